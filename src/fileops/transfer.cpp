#include "fileops/transfer.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "catalogue/notestore.h"
#include "catalogue/pathutil.h"
#include "catalogue/rxdoc.h"
#include "fileops/folders.h"
#include "fileops/samename.h"
#include "platform/fileio.h"
#include "platform/listfield.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace fs = std::filesystem;

namespace tamro {

namespace {

constexpr const char *kCaption = "Tamro";
constexpr std::size_t kMaxPath = 4096;

bool Lstat(const std::string &path, struct stat &st) { return ::lstat(path.c_str(), &st) == 0; }
bool Exists(const std::string &path) {
  struct stat st {};
  return Lstat(path, st);
}
// A file that is not a folder (a link to a folder counts as a folder).
bool IsFileNotFolder(const std::string &path) {
  struct stat st {};
  return Lstat(path, st) && !S_ISDIR(st.st_mode) && !IsDirectory(path);
}

bool IsLink(const std::string &path) {
  struct stat st {};
  return Lstat(path, st) && S_ISLNK(st.st_mode);
}

std::string FolderOf(const std::string &path) {
  std::string folder(DirPart(path));
  return folder.empty() ? std::string(".") : folder;
}

// Keeps errno across clean-up steps.
struct ErrnoKeeper {
  int saved = errno;
  ~ErrnoKeeper() { errno = saved; }
};

// Recreates a symbolic link at `destination` (replacing what is there) without following it.
bool CopyLink(const std::string &source, const std::string &destination) {
  std::vector<char> target(kMaxPath + 1);
  const ssize_t n = ::readlink(source.c_str(), target.data(), target.size() - 1);
  if (n < 0) return false;
  target[static_cast<std::size_t>(n)] = '\0';
  for (int attempt = 0; attempt < 100; ++attempt) {
    // A temporary name the listings leave out, renamed over the destination.
    const std::string temp =
        JoinPath(FolderOf(destination), std::string(kTempPrefix) + "link-" + std::to_string(::getpid()) +
                                            "-" + std::to_string(attempt));
    if (::symlink(target.data(), temp.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (::rename(temp.c_str(), destination.c_str()) == 0) return true;
    ErrnoKeeper keep;
    ::unlink(temp.c_str());
    return false;
  }
  errno = EEXIST;
  return false;
}

std::string ErrorText(int error, const std::string &source) {
  return std::string(std::strerror(error)) + "\n" + source;
}

// Asks until the answer can be carried out; false when cancelled.
bool AskAboutNamesake(const std::string &source, std::string &destination, TransferContext &context) {
  CSameNameLogic logic = CSameNameLogic::ForTransfer();
  SameNameQuestion q;
  if (!logic.Ask(source, destination, q)) return false;
  context.sameNameAction = q.action;
  context.applyToAll = q.applyToAll ? 1 : 0;
  return true;
}

// The real path of a folder for comparing places; the text itself when it cannot be resolved.
std::string Canonical(const std::string &path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(path, ec);
  return ec ? path : p.string();
}

bool IsSameOrBelow(const std::string &folder, const std::string &base) {
  const std::string f = Canonical(folder), b = Canonical(base);
  if (f == b) return true;
  const std::string prefix = b.back() == '/' ? b : b + "/";
  return f.compare(0, prefix.size(), prefix) == 0;
}

bool IsMountRoot(const std::string &path) {
  struct stat self {
  }, parent{};
  if (::stat(path.c_str(), &self) != 0) return false;
  const std::string up = JoinPath(path, "..");
  if (::stat(up.c_str(), &parent) != 0) return false;
  return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

}  // namespace

std::string MakeTransferRecord(std::string_view path, std::string_view note) {
  std::string record;
  SetListField(record, 0, path, true);
  SetListField(record, 1, note, true);
  return record;
}

std::string AbsoluteFolder(const std::string &text, const std::string &base) {
  const std::string out = ResolvePath(text, base);
  return out.size() > kMaxPath ? std::string() : out;
}

bool CopyFileSafely(const std::string &source, const std::string &destination) {
  UniqueFd in = OpenRegularFile(source);
  if (!in) return false;
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) return false;
  AtomicFile out(destination);
  if (!out.ok()) return false;
  auto fail = [&out] {
    ErrnoKeeper keep;
    out.Abort();
    return false;
  };
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail();
    }
    if (n == 0) break;
    if (!WriteAll(out.fd(), buffer.data(), static_cast<std::size_t>(n))) return fail();
  }
  // The copy is the source's: its permission bits and times, not those of what it replaces.
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.fd(), times) != 0) return fail();
  out.SetMode(st.st_mode & 0777);
  return out.Commit();
}

bool MoveFileSafely(const std::string &source, const std::string &destination) {
  if (::rename(source.c_str(), destination.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  // Another file system: the source goes only once the copy is complete and flushed.
  struct stat st {};
  if (!Lstat(source, st)) return false;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  const bool copied =
      S_ISLNK(st.st_mode) ? CopyLink(source, destination) : CopyFileSafely(source, destination);
  if (!copied) return false;
  if (::unlink(source.c_str()) != 0 && errno != ENOENT) return false;
  return true;
}

int TransferFile(const std::string &source, const std::string &destination, TransferContext &context) {
  context.written.clear();
  if (source == destination || SameFile(source, destination)) return 0;

  std::string target = destination;
  bool transfer = true;
  if (IsFileNotFolder(target)) {
    if (!context.applyToAll && !AskAboutNamesake(source, target, context)) return -1;
    {
      struct stat from {};
      if (::stat(source.c_str(), &from) != 0) from = {};  // neither newer nor larger then
      transfer = SameNameActionWrites(
          context.sameNameAction, static_cast<uint64_t>(from.st_size),
          static_cast<int64_t>(from.st_mtim.tv_sec) * 1000000000 + from.st_mtim.tv_nsec, target);
    }
  } else if (context.onlyExisting == 1) {
    transfer = false;
  }

  if (context.progress) {
    context.progress->SetText(NamePart(source));
    context.progress->Step(1);
    if (context.progress->Aborted()) return -1;
  }
  if (!transfer) return 0;
  if (SameFile(source, target)) return 0;  // the name box named the source itself

  for (;;) {
    const bool ok = context.isMove ? MoveFileSafely(source, target) : CopyFileSafely(source, target);
    if (ok) break;
    const int error = errno;
    const int answer = Ui().MessageBox(ErrorText(error, source), kCaption, MB_ABORTRETRYIGNORE | MB_ICONSTOP);
    if (answer == IDRETRY) continue;
    if (answer == IDIGNORE) return 0;  // nothing was written: a cut must not count it as moved
    return -1;
  }
  context.written = target;
  return 1;
}

namespace {

int WalkFolder(const std::string &source, const std::string &destination, TransferContext &context,
               bool &made);

// A folder as its parent counts it: what was written in it, and 1 for the folder itself when
// it was made at the destination or received anything. -1 stops the run.
int CountedFolder(const std::string &source, const std::string &destination, TransferContext &context) {
  bool made = false;
  const int r = WalkFolder(source, destination, context, made);
  if (r < 0) return -1;
  return r + (made || r > 0 ? 1 : 0);
}

// After a move, the source folder goes once nothing of the user's is left in it: the notes
// still there join the destination's, the caches (rebuilt from the pictures) and stale locks
// and temporaries are deleted. Anything else keeps the folder.
void RemoveMovedFolder(const std::string &source, const std::string &destination, NoteCarrier &notes) {
  if (::rmdir(source.c_str()) == 0 || (errno != ENOTEMPTY && errno != EEXIST)) return;
  std::vector<std::string> own;
  if (DIR *dir = ::opendir(source.c_str())) {
    bool onlyOwn = true;
    while (dirent *e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      struct stat st {};
      // A note file in another letter case is not the one the notes were read from.
      if (!Lstat(JoinPath(source, name), st) || S_ISDIR(st.st_mode) || !CRXDoc::IsOwnFileName(name) ||
          (EqualsNoCase(name, kNoteFileName) && name != kNoteFileName)) {
        onlyOwn = false;
        break;
      }
      own.push_back(name);
    }
    ::closedir(dir);
    if (!onlyOwn) return;
  }
  if (!notes.MoveLeftovers(destination)) return;
  for (const std::string &name : own) ::unlink(JoinPath(source, name).c_str());
  ::rmdir(source.c_str());
}

int WalkFolder(const std::string &source, const std::string &destination, TransferContext &context,
               bool &made) {
  if (source == destination || SameFile(source, destination)) return 0;
  if (!IsDirectory(destination)) {
    if (Exists(destination) || !EnsureFolder(destination, true)) return -1;
    made = true;
  }
  std::vector<std::string> names;
  if (DIR *dir = ::opendir(source.c_str())) {
    while (dirent *e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  NoteCarrier notes(source);
  int count = 0;
  bool hadFiles = false;
  for (const std::string &name : names) {
    const std::string from = JoinPath(source, name), to = JoinPath(destination, name);
    struct stat st {};
    if (!Lstat(from, st)) continue;
    if (S_ISDIR(st.st_mode)) {
      hadFiles = true;
      const int r = CountedFolder(from, to, context);
      if (r < 0) return -1;
      count += r;
    } else if (S_ISLNK(st.st_mode) && IsDirectory(from)) {
      continue;  // a link to a folder is not walked: it could lead back here
    } else if (CRXDoc::IsOwnFileName(name)) {
      // Notes follow their pictures one by one and the caches are rebuilt; copied whole, one
      // folder's note file would replace the other's.
      continue;
    } else {
      hadFiles = true;
      const int r = TransferFile(from, to, context);
      if (r < 0) return -1;
      count += r;
      if (!context.written.empty())
        notes.Carry(name, FolderOf(context.written), NamePart(context.written), context.isMove != 0);
    }
  }
  // A folder made for files of which none arrived is not left behind empty.
  if (made && count == 0 && hadFiles && ::rmdir(destination.c_str()) == 0) made = false;
  // A folder that could not be emptied stays; a mount root is never removed.
  if (context.isMove && !IsMountRoot(source)) RemoveMovedFolder(source, destination, notes);
  return count;
}

}  // namespace

int TransferFolder(const std::string &source, const std::string &destination, TransferContext &context) {
  bool made = false;
  return WalkFolder(source, destination, context, made);
}

int TransferFiles(const std::string &destination, const std::vector<std::string> &records, int onlyExisting,
                  int isMove) {
  if (records.empty()) return 0;
  const std::string folder = AbsoluteFolder(destination);
  if (folder.empty()) {
    std::string text = destination + " \nフォルダの指定が正しくありません";
    Ui().MessageBox(text, kCaption, MB_OK | MB_ICONSTOP);
    return 0;
  }
  if (!EnsureFolder(folder, false)) return 0;

  std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress("ファイル操作実行中");
  int total = 0;
  for (const std::string &record : records) {
    const std::string source = GetListField(record, 0);
    if (source.empty() || !Exists(source)) continue;
    total += IsDirectory(source) ? 1 + CountFiles(source, "*.*", -1) : 1;
  }
  if (progress) progress->SetRange(0, total);

  TransferContext context;
  context.onlyExisting = onlyExisting == 1 ? 1 : 0;
  context.isMove = isMove ? 1 : 0;
  context.progress = progress.get();

  int count = 0;
  for (const std::string &record : records) {
    if (progress && progress->Aborted()) break;
    std::string source = GetListField(record, 0);
    std::string note = GetListField(record, 1);
    while (source.size() > 1 && source.back() == '/') source.pop_back();
    if (source.empty() || !Exists(source)) continue;
    const std::string target = JoinPath(folder, NamePart(source));
    // A link to a folder is walked when copying; a move takes the link itself.
    if (IsDirectory(source) && !(context.isMove && IsLink(source))) {
      if (IsSameOrBelow(folder, source)) continue;  // never into itself or below itself
      const int r = CountedFolder(source, target, context);
      if (r < 0) break;
      count += r;
      continue;
    }
    // A note file or cache dropped on its own would replace the destination's.
    if (CRXDoc::IsOwnFileName(NamePart(source))) continue;
    const int r = TransferFile(source, target, context);
    if (r < 0) break;
    count += r;
    if (context.written.empty()) continue;
    // The note follows the file to the name it was written under; a file replaced by one
    // without a note loses the old note.
    const std::string writtenFolder(DirPart(context.written));
    const std::string writtenName(NamePart(context.written));
    std::string old;
    bool carried = true;
    if (!note.empty() || ReadNote(writtenFolder, "", writtenName, old) == 0)
      carried = WriteNote(writtenFolder, "", writtenName, note) || note.empty();
    // A moved file's note leaves its old place only once the new place holds it (a full disk
    // or an unwritable note file there must not cost the note).
    if (context.isMove && carried && !Exists(source))
      DeleteNote(std::string(DirPart(source)), "", NamePart(source));
  }
  if (progress) progress->SetPos(count);
  return count;
}

}  // namespace tamro
