#pragma once

// The file commands of the main menu, the thumbnail view's context menu and the picture
// window, each with its dialog: what a menu item calls. `parent` owns the dialogs.
//
// Questions, folder choosers and progress windows of the core come through the installed
// QtUi. RunApplication (commands 20000 + n) needs nothing more and is called directly.

#include <QWidget>

namespace tamro {

class CRXDoc;
class PictureDecoders;

// Copy and move of the selected entries: the destination dialog, then the run. -1 when the
// dialog was cancelled, else the number of files transferred.
int CopyCommand(QWidget *parent, CRXDoc &doc);
int MoveCommand(QWidget *parent, CRXDoc &doc);
// Delete of the selected entries, to the trash or (after the question unless "DELQA" says
// otherwise) for good; the number of entries removed.
int DeleteCommand(CRXDoc &doc);
// Unpacking the selected entries (the folder input dialog "書庫解凍") or the entry at a
// visible index (the folder chooser "解凍先の選択"); the core's answers.
int UnpackSelectedCommand(CRXDoc &doc);
int UnpackEntryCommand(CRXDoc &doc, int index);
// The numbered rename: -1 when cancelled, else the number of files renamed (failures are
// listed in the "Report" window).
int RenameSequentialCommand(QWidget *parent, CRXDoc &doc);
// The rename that asks for each file's name; the number of files renamed.
int RenameEachCommand(QWidget *parent, CRXDoc &doc);
// Save in picture format: -1 when cancelled, else the number of files written.
int SaveInFormatCommand(QWidget *parent, CRXDoc &doc, PictureDecoders &decoders);
// The registration dialog of external applications; true when the list was written.
bool RegisterApplicationsCommand(QWidget *parent);
// The note of the entry at `index`: true when a new note was stored (the views were told to
// redraw the entry).
bool EditNoteCommand(QWidget *parent, CRXDoc &doc, int index);

}  // namespace tamro
