#include "fileops/renameentry.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "catalogue/notestore.h"
#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbcache.h"
#include "fileops/folders.h"

namespace tamro {

namespace {

// rename() replaces an existing target; a rename here must fail instead.
bool RenameNoReplace(const std::string &from, const std::string &to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
  // File systems without the flag: a hard link fails on an existing name as well.
  if (link(from.c_str(), to.c_str()) == 0) {
    if (unlink(from.c_str()) == 0) return true;
    unlink(to.c_str());
    return false;
  }
  if (errno == EEXIST) return false;
  // No hard links either (some FUSE and FAT mounts): check, then rename.
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

int RenameEntryFile(CPicEntry &entry, std::string_view newName, CRXDoc *doc) {
  if (entry.IsArchiveMember()) return -1;
  const std::string oldPath = entry.FullPath();
  if (!IsRegularFile(oldPath) || !IsPlainFileName(newName)) return -1;
  const std::string folder = entry.Folder();
  const std::string newPath = JoinPath(folder, newName);
  // Another spelling of the same file (a case-insensitive mount) is no new name.
  if (SameFile(oldPath, newPath)) return -1;

  std::unique_lock<std::recursive_mutex> lock;
  if (doc) lock = std::unique_lock<std::recursive_mutex>(doc->EntryLock());
  ReadEntryNote(entry);
  if (!RenameNoReplace(oldPath, newPath)) return -1;

  // The store keys its record by the old name, so it goes before the name changes.
  if (doc && doc->GetThumbCache()) doc->GetThumbCache()->Remove(entry);
  entry.stored = false;
  const std::string oldName = entry.name;
  const std::string note = entry.Note();
  if (!note.empty()) DeleteNote(folder, "", oldName);
  entry.name = std::string(newName);
  if (!note.empty()) WriteNote(folder, "", entry.name, note);
  return 0;
}

}  // namespace tamro
