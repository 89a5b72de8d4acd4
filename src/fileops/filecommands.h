#pragma once

#include <string>
#include <vector>

#include "output/history.h"

namespace tamro {

class CPicEntry;
class CRXDoc;
class ThumbCache;

// The logic of the "ファイルの複写" and "ファイルの移動" dialogs: the destination history
// ("Filer", "Folder0" to "Folder99", shared by both) and the option "CopyOption" or
// "MoveOption" (1: only files with a namesake at the destination).
class CTransferOption {
 public:
  explicit CTransferOption(bool move);
  void Load();
  // OK: false (the dialog stays open) when the text cannot be made an absolute folder.
  // Otherwise the text goes to the top of the history, the history and the option are
  // written and `destination` holds the absolute folder.
  bool Accept();

  bool IsMove() const { return move_; }
  const char *Caption() const { return move_ ? "ファイルの移動" : "ファイルの複写"; }
  const char *BrowseCaption() const { return move_ ? "移動先の選択" : "複写先の選択"; }
  const char *OnlyExistingLabel() const {
    return move_ ? "移動先に同名ファイルが存在するファイル" : "複写先に同名ファイルが存在するファイル";
  }
  static const char *AllFilesLabel() { return "全てのファイル"; }
  // "現在の位置： %s" for the document's folder.
  static std::string CurrentFolderText(const std::string &folder);
  const TextHistory &Folders() const { return folders_; }

  std::string folder;    // as typed; starts as the first history item
  int onlyExisting = 0;  // 0 all files, 1 only namesakes
  std::string destination;
  std::string currentFolder;  // the folder shown; a relative text is taken from it

 private:
  bool move_;
  TextHistory folders_;
};

// Copies the selected entries (archive members through a temporary file) with their notes.
// Answers the count TransferFiles gives.
int CopySelected(CRXDoc &doc, const CTransferOption &option);
// Moves the selected plain files; entries whose files left are removed (hint 17 each, then
// hint 0) and their notes deleted.
int MoveSelected(CRXDoc &doc, const CTransferOption &option);
// The same for the entries at visible indices (ascending): a picture window's one entry.
int CopyEntries(CRXDoc &doc, const CTransferOption &option, const std::vector<int> &indices);
int MoveEntries(CRXDoc &doc, const CTransferOption &option, const std::vector<int> &indices);
// The picture window's delete of one file: to the trash with TrashCan, else after
// "%sを削除してもよろしいですか？" unless DELQA; "ﾌｧｲﾙ削除に失敗しました" when it fails. The
// note goes with the file. 1 when the file is gone; the caller takes the entry out.
int DeletePictureFile(const CRXDoc &doc, const std::string &path);
// To the trash when "TrashCan" is on, else directly. Answers the number of entries removed.
int DeleteSelected(CRXDoc &doc);
int DeleteSelectedDirect(CRXDoc &doc);
int DeleteSelectedToTrash(CRXDoc &doc);

// Renames one plain file within its folder: 0, or -1 when it is a member, missing, the name
// is empty, holds "/", is the same, or another file already has it. The note follows.
int RenameEntryFile(CPicEntry &entry, const std::string &newName, ThumbCache *cache = nullptr);

// Removes the selected plain entries whose files are gone, last to first (hint 17 each,
// then hint 0 when any went), deleting their notes unless `deleteNotes` is false (a move
// that carried them). Answers the number removed.
int RemoveVanished(CRXDoc &doc, bool deleteNotes);
// The same for the entries at visible indices given last to first, selected or not.
int RemoveVanishedAt(CRXDoc &doc, const std::vector<int> &indices, bool deleteNotes);

// Files dropped or pasted into a view, with the notes that came with them (same order; may
// be shorter). Copies, or moves when `move`.
int TransferDropped(const std::vector<std::string> &files, const std::vector<std::string> &notes, bool move,
                    const std::string &targetFolder);

}  // namespace tamro
