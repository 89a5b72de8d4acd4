#include "fileops/filecommands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "catalogue/notestore.h"
#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbcache.h"
#include "fileops/foldermonitor.h"
#include "fileops/folders.h"
#include "fileops/transfer.h"
#include "fileops/trash.h"
#include "fileops/unpack.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace fs = std::filesystem;

namespace tamro {

namespace {

constexpr const char *kCaption = "Tamro";

bool Exists(const std::string &path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Members extracted for one copy, removed with their folder at the end.
class TemporaryMembers {
 public:
  ~TemporaryMembers() {
    if (root_.empty()) return;
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  // Writes the member under its own name as unpacking does (its time stamp, the usual
  // permission bits), so the copy made from it looks like the member; "" on failure.
  std::string Put(PictureDecoders &decoders, const CPicEntry &e) {
    if (root_.empty()) {
      std::error_code ec;
      std::string base = fs::temp_directory_path(ec).string();
      if (ec || base.empty()) base = "/tmp";
      std::string pattern = JoinPath(base, "tamro-copy-XXXXXX");
      if (!::mkdtemp(pattern.data())) return {};
      root_ = pattern;
    }
    // Archives may name members with either separator; only the last part is a file name.
    std::string name = e.name;
    const auto cut = name.find_last_of("/\\");
    if (cut != std::string::npos) name = name.substr(cut + 1);
    if (name.empty() || name == "." || name == "..") name = "member";
    // Each member in a folder of its own, so members of the same name stay apart.
    const std::string folder = JoinPath(root_, std::to_string(++count_));
    if (::mkdir(folder.c_str(), 0700) != 0) return {};
    const std::string path = JoinPath(folder, name);
    if (ExtractArchiveMember(decoders, e.archiveDecoderIndex, e.ArchivePath(), e.position, path, e.size,
                             e.lastWriteTime / kNanosPerSecond) != 0)
      return {};
    return path;
  }

 private:
  std::string root_;
  int count_ = 0;
};

}  // namespace

CTransferOption::CTransferOption(bool move) : move_(move), folders_("Filer", "Folder", 100) {}

void CTransferOption::Load() {
  folders_.Load();
  folder = folders_.First();
  const int stored = Profile::App().GetInt("Filer", move_ ? "MoveOption" : "CopyOption", 0);
  onlyExisting = stored == 1 ? 1 : 0;
}

bool CTransferOption::Accept() {
  const std::string absolute = AbsoluteFolder(folder, currentFolder);
  if (absolute.empty()) return false;
  folders_.Promote(folder);
  folders_.Save();
  onlyExisting = onlyExisting == 1 ? 1 : 0;
  Profile::App().WriteInt("Filer", move_ ? "MoveOption" : "CopyOption", onlyExisting);
  destination = absolute;
  return true;
}

std::string CTransferOption::CurrentFolderText(const std::string &folder) { return "現在の位置： " + folder; }

namespace {
std::vector<int> SelectedIndices(CRXDoc &doc) {
  std::vector<int> indices;
  for (int i = 0; i < doc.GetEntryCount(); ++i)
    if (const CPicEntry *e = doc.GetEntry(i); e && e->IsSelected()) indices.push_back(i);
  return indices;
}
}  // namespace

int CopySelected(CRXDoc &doc, const CTransferOption &option) { return CopyEntries(doc, option, SelectedIndices(doc)); }

int CopyEntries(CRXDoc &doc, const CTransferOption &option, const std::vector<int> &indices) {
  DocBusy busy(doc);
  TemporaryMembers temporary;
  std::vector<std::string> records;
  for (int i : indices) {
    CPicEntry *e = doc.GetEntry(i);
    if (!e) continue;
    ReadEntryNote(*e);
    if (!e->IsArchiveMember()) {
      const std::string path = e->FullPath();
      if (IsRegularFile(path)) records.push_back(MakeTransferRecord(path, e->Note()));
      continue;
    }
    PictureDecoders *decoders = doc.Decoders();
    if (!decoders) continue;
    const std::string path = temporary.Put(*decoders, *e);
    if (!path.empty()) records.push_back(MakeTransferRecord(path, e->Note()));
  }
  MonitorIgnoreScope ignore;
  return TransferFiles(option.destination, records, option.onlyExisting, 0);
}

int MoveSelected(CRXDoc &doc, const CTransferOption &option) { return MoveEntries(doc, option, SelectedIndices(doc)); }

int MoveEntries(CRXDoc &doc, const CTransferOption &option, const std::vector<int> &indices) {
  DocBusy busy(doc);
  std::vector<std::string> records;
  std::vector<int> moved;
  for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
    CPicEntry *e = doc.GetEntry(*it);
    if (!e || e->IsArchiveMember()) continue;
    const std::string path = e->FullPath();
    if (!IsRegularFile(path)) continue;
    ReadEntryNote(*e);
    records.push_back(MakeTransferRecord(path, e->Note()));
    moved.push_back(*it);
  }
  MonitorIgnoreScope ignore;
  const int count = TransferFiles(option.destination, records, option.onlyExisting, 1);
  // TransferFiles has moved the notes; one it could not write stays where it was.
  if (count > 0) RemoveVanishedAt(doc, moved, false);
  return count;
}

int DeletePictureFile(const CRXDoc &doc, const std::string &path) {
  const std::filesystem::path p(path);
  const std::string name = p.filename().string();
  // A picture is one file: a name that has meanwhile become a folder is never removed with
  // what it holds. Checked again after the question, just before the file goes.
  const auto isPictureFile = [&path] { return Exists(path) && !IsDirectory(path); };
  bool deleted = false;
  {
    MonitorIgnoreScope ignore;
    if (doc.Settings().trashCan) {
      deleted = isPictureFile() && ShellDelete(path, true);
    } else {
      if (doc.Settings().delQA == 0 &&
          Ui().MessageBox(name + "を削除してもよろしいですか？", kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;
      deleted = isPictureFile() && ShellDelete(path, false);
    }
  }
  if (!deleted) {
    Ui().MessageBox("ﾌｧｲﾙ削除に失敗しました", kCaption, MB_OK | MB_ICONSTOP);
    return 0;
  }
  DeleteNote(p.parent_path().string(), "", name);
  return 1;
}

int DeleteSelected(CRXDoc &doc) {
  return doc.Settings().trashCan ? DeleteSelectedToTrash(doc) : DeleteSelectedDirect(doc);
}

int DeleteSelectedDirect(CRXDoc &doc) {
  if (doc.Settings().delQA == 0 && Ui().MessageBox("選択データを削除してもよろしいですか？", kCaption,
                                                   MB_YESNO | MB_ICONQUESTION) != IDYES)
    return 0;
  DocBusy busy(doc);
  std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress("ファイル削除中...");
  if (progress) progress->SetRange(0, doc.CountSelected(true));
  MonitorIgnoreScope ignore;
  int removed = 0;
  for (int i = doc.GetEntryCount() - 1; i >= 0; --i) {
    CPicEntry *e = doc.GetEntry(i);
    if (!e || !e->IsSelected() || e->IsArchiveMember()) continue;
    const std::string path = e->FullPath();
    if (!Exists(path) || IsDirectory(path)) continue;
    if (progress) progress->SetText(e->name);
    if (DeleteFileForced(path)) {
      DeleteNote(e->Folder(), "", e->name);
      doc.RemoveEntryAt(i);
      doc.UpdateAllViews(nullptr, kHintEntryRemoved, UpdateArgument{i, 0, {}});
      ++removed;
    }
    if (progress) {
      progress->Step(1);
      if (progress->Aborted()) break;
    }
  }
  progress.reset();
  if (removed) doc.UpdateAllViews(nullptr, kHintRedrawAll);
  return removed;
}

int DeleteSelectedToTrash(CRXDoc &doc) {
  DocBusy busy(doc);
  std::vector<std::string> paths;
  for (int i = 0; i < doc.GetEntryCount(); ++i) {
    CPicEntry *e = doc.GetEntry(i);
    if (!e || !e->IsSelected() || e->IsArchiveMember()) continue;
    const std::string path = e->FullPath();
    if (Exists(path) && !IsDirectory(path)) paths.push_back(path);
  }
  if (paths.empty()) return 0;
  MonitorIgnoreScope ignore;
  std::vector<std::string> noTrash;
  for (const std::string &path : paths) {
    const int result = MoveToTrash(path);
    if (result == kTrashNoTrash) {
      noTrash.push_back(path);
    } else if (result == kTrashFailed) {
      const int error = errno;
      Ui().MessageBox(std::string(std::strerror(error)) + "\n" + path, kCaption, MB_OK | MB_ICONSTOP);
    }
  }
  // No trash on that file system: as the desktop's file managers do, offer to delete for good.
  if (!noTrash.empty() && Ui().MessageBox("ごみ箱に移動できないファイルがあります．完全に削除しますか？",
                                          kCaption, MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
    for (const std::string &path : noTrash) DeleteFileForced(path);
  }
  return RemoveVanished(doc, true);
}

int RenameEntryFile(CPicEntry &entry, const std::string &newName, ThumbCache *cache) {
  if (entry.IsArchiveMember()) return -1;
  if (newName.empty() || newName == "." || newName == ".." || newName.find('/') != std::string::npos ||
      newName.find('\0') != std::string::npos)
    return -1;
  const std::string oldPath = entry.FullPath();
  if (!Exists(oldPath) || IsDirectory(oldPath)) return -1;
  const std::string newPath = JoinPath(entry.Folder(), newName);
  if (newPath == oldPath) return -1;
  // Another file of that name is never replaced; the same file under another spelling (a
  // case-only rename on a file system that ignores case) is a rename.
  const bool sameFile = SameFile(oldPath, newPath);
  if (Exists(newPath) && !sameFile) return -1;
  if (!sameFile && ::renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0) {
    // renamed without any chance of replacing a file that appeared meanwhile
  } else if (!sameFile && errno != EINVAL && errno != ENOSYS) {
    return -1;
  } else if (::rename(oldPath.c_str(), newPath.c_str()) != 0) {
    return -1;
  }
  ReadEntryNote(entry);
  const std::string note = entry.Note();
  if (cache) cache->Remove(entry);
  entry.stored = false;
  // The note goes under the new name first, so a failed write never loses it.
  const std::string oldName = entry.name;
  entry.name = newName;
  if (note.empty() || WriteNote(entry.Folder(), "", entry.name, note))
    DeleteNote(entry.Folder(), "", oldName);
  return 0;
}

int RemoveVanished(CRXDoc &doc, bool deleteNotes) {
  std::vector<int> indices = SelectedIndices(doc);
  std::reverse(indices.begin(), indices.end());
  return RemoveVanishedAt(doc, indices, deleteNotes);
}

int RemoveVanishedAt(CRXDoc &doc, const std::vector<int> &indices, bool deleteNotes) {
  int removed = 0;
  for (int i : indices) {
    CPicEntry *e = doc.GetEntry(i);
    if (!e || e->IsArchiveMember() || Exists(e->FullPath())) continue;
    if (deleteNotes) DeleteNote(e->Folder(), "", e->name);
    doc.RemoveEntryAt(i);
    doc.UpdateAllViews(nullptr, kHintEntryRemoved, UpdateArgument{i, 0, {}});
    ++removed;
  }
  if (removed) doc.UpdateAllViews(nullptr, kHintRedrawAll);
  return removed;
}

int TransferDropped(const std::vector<std::string> &files, const std::vector<std::string> &notes, bool move,
                    const std::string &targetFolder) {
  std::vector<std::string> records;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i].empty()) continue;
    records.push_back(MakeTransferRecord(files[i], i < notes.size() ? notes[i] : std::string()));
  }
  MonitorIgnoreScope ignore;
  return TransferFiles(targetFolder, records, 0, move ? 1 : 0);
}

}  // namespace tamro
