#include "app/picturehost.h"

#include <QMainWindow>

#include "app/dialogs/displaymodedialog.h"
#include "app/dialogs/printdialog.h"
#include "app/dialogs/transferdialog.h"
#include "app/dialogs/wallpaperdialog.h"
#include "app/filecommandui.h"
#include "catalogue/engine.h"
#include "fileops/filecommands.h"
#include "platform/ui.h"

namespace tamro {

int CPictureHost::Transfer(QWidget *parent, const EntryId &picture, bool move) {
  CRXDoc &doc = engine_.Doc();
  // A member cannot be moved out of its archive: its extracted copy is copied instead.
  const bool reallyMove = move && picture.archive.empty();
  CTransferOption option(reallyMove);
  if (!AskTransferDestination(parent, option, doc.Folder())) return -1;
  // Found again after the dialog: the folder may have changed while it was open.
  const int index = FindEntry(doc, picture);
  if (index < 0) {
    Ui().MessageBox(kEntryGoneText, "Tamro", MB_OK | MB_ICONEXCLAMATION);
    return -1;
  }
  return reallyMove ? MoveEntries(doc, option, {index}) : CopyEntries(doc, option, {index});
}

bool CPictureHost::EditNote(QWidget *parent, const EntryId &picture) {
  return EditNoteCommand(parent, engine_.Doc(), FindEntry(engine_.Doc(), picture));
}

bool CPictureHost::DisplayMode(QWidget *parent, OneViewSettings &settings, int &interval) {
  return AskDisplayMode(parent, settings, interval);
}

void CPictureHost::Wallpaper(QWidget *parent, HDIB picture) {
  if (picture) SetWallpaperDialog(picture, parent);
}

// The document's selection prints, as from the main window; with nothing selected, the picture
// the window shows does (selected for the print and unselected after).
void CPictureHost::Print(QWidget *parent, const EntryId &picture) {
  CRXDoc &doc = engine_.Doc();
  const int index = FindEntry(doc, picture);
  const CPicEntry *shown = doc.GetEntry(index);
  const bool alone = shown && doc.CountSelected(true) == 0;
  if (alone) doc.SetEntryFlags(index, shown->flags | CPicEntry::kSelected);
  PrintPictures(doc, engine_.Painter(), parent);
  // Unselected again wherever the listing holds it now (a refresh may have come meanwhile).
  const int now = alone ? FindEntry(doc, picture, index) : -1;
  if (const CPicEntry *e = doc.GetEntry(now)) {
    doc.SetEntryFlags(now, e->flags & ~CPicEntry::kSelected);
    doc.CountSelected(true);
  }
}

void CPictureHost::ActivateMain() {
  if (!main_) return;
  main_->raise();
  main_->activateWindow();
}

QRect CPictureHost::KeepClear() const {
  auto *frame = qobject_cast<QMainWindow *>(main_);
  const QWidget *menu = frame ? frame->menuWidget() : nullptr;
  if (!menu || !menu->isVisible()) return {};
  return {menu->mapToGlobal(QPoint(0, 0)), menu->size()};
}

}  // namespace tamro
