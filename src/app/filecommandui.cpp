#include "app/filecommandui.h"

#include "app/dialogs/appcalldialog.h"
#include "app/dialogs/filedialogtools.h"
#include "app/dialogs/notedialog.h"
#include "app/dialogs/renamedialog.h"
#include "app/dialogs/saveformatdialog.h"
#include "app/dialogs/transferdialog.h"
#include "catalogue/entryid.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "fileops/filecommands.h"
#include "fileops/noteedit.h"
#include "fileops/rename.h"
#include "fileops/saveformat.h"
#include "fileops/unpack.h"

namespace tamro {

int CopyCommand(QWidget *parent, CRXDoc &doc) {
  CTransferOption option(false);
  if (!AskTransferDestination(parent, option, doc.Folder())) return -1;
  return CopySelected(doc, option);
}

int MoveCommand(QWidget *parent, CRXDoc &doc) {
  CTransferOption option(true);
  if (!AskTransferDestination(parent, option, doc.Folder())) return -1;
  return MoveSelected(doc, option);
}

// The busy cursor shows while the core works; its questions bring the arrow back.
int DeleteCommand(CRXDoc &doc) {
  CBusyCursor busy;
  return DeleteSelected(doc);
}

int UnpackSelectedCommand(CRXDoc &doc) {
  CBusyCursor busy;
  return UnpackSelected(doc);
}

int UnpackEntryCommand(CRXDoc &doc, int index) {
  CBusyCursor busy;
  return UnpackEntry(doc, index);
}

int RenameSequentialCommand(QWidget *parent, CRXDoc &doc) {
  CRenameOption option;
  if (!AskRenamePattern(parent, option)) return -1;
  CBusyCursor busy;
  return RenameSequential(doc, option.pattern, option.firstNumber).renamed;
}

int RenameEachCommand(QWidget *parent, CRXDoc &doc) {
  return RenameEach(doc, RenameEachQuestion(parent));
}

int SaveInFormatCommand(QWidget *parent, CRXDoc &doc, PictureDecoders &decoders) {
  CFileSaveOption option;
  option.currentFolder = doc.Folder();
  if (!AskSaveFormat(parent, option)) return -1;
  return SaveSelectedInFormat(doc, decoders, option);
}

bool RegisterApplicationsCommand(QWidget *parent) { return EditApplications(parent); }

bool EditNoteCommand(QWidget *parent, CRXDoc &doc, int index) {
  const CPicEntry *entry = doc.GetEntry(index);
  if (!entry) return false;
  CNoteOption option(doc, index);
  if (!EditNoteDialog(parent, option, Q(entry->name))) return false;
  // The cell is redrawn where the entry is now; a refresh may have moved or removed it.
  UpdateArgument arg;
  arg.value = FindEntry(doc, option.Picture(), index);
  if (arg.value >= 0) doc.UpdateAllViews(nullptr, kHintEntryChanged, arg);
  return true;
}

}  // namespace tamro
