#include "app/picturehost.h"

#include "app/dialogs/displaymodedialog.h"
#include "app/dialogs/printdialog.h"
#include "app/dialogs/transferdialog.h"
#include "app/dialogs/wallpaperdialog.h"
#include "app/filecommandui.h"
#include "catalogue/engine.h"
#include "fileops/filecommands.h"

namespace tamro {

int CPictureHost::Transfer(QWidget *parent, int index, bool move) {
  CRXDoc &doc = engine_.Doc();
  const CPicEntry *e = doc.GetEntry(index);
  if (!e) return -1;
  // A member cannot be moved out of its archive: its extracted copy is copied instead.
  const bool reallyMove = move && !e->IsArchiveMember();
  CTransferOption option(reallyMove);
  if (!AskTransferDestination(parent, option, doc.Folder())) return -1;
  return reallyMove ? MoveEntries(doc, option, {index}) : CopyEntries(doc, option, {index});
}

bool CPictureHost::EditNote(QWidget *parent, int index) { return EditNoteCommand(parent, engine_.Doc(), index); }

bool CPictureHost::DisplayMode(QWidget *parent, OneViewSettings &settings, int &interval) {
  return AskDisplayMode(parent, settings, interval);
}

void CPictureHost::Wallpaper(QWidget *parent, HDIB picture) {
  if (picture) SetWallpaperDialog(picture, parent);
}

// The document's selection prints, as from the main window; with nothing selected, the picture
// the window shows does (selected for the print and unselected after).
void CPictureHost::Print(QWidget *parent, int index) {
  CRXDoc &doc = engine_.Doc();
  CPicEntry *shown = doc.GetEntry(index);
  const bool alone = shown && doc.CountSelected(true) == 0;
  if (alone) doc.SetEntryFlags(index, shown->flags | CPicEntry::kSelected);
  PrintPictures(doc, engine_.Painter(), parent);
  // Only when the listing still holds that entry there (a refresh may have come meanwhile).
  if (alone && doc.GetEntry(index) == shown) {
    doc.SetEntryFlags(index, shown->flags & ~CPicEntry::kSelected);
    doc.CountSelected(true);
  }
}

void CPictureHost::ActivateMain() {
  if (!main_) return;
  main_->raise();
  main_->activateWindow();
}

}  // namespace tamro
