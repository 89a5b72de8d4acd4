#include "fileops/folders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <utility>

#include "catalogue/pathutil.h"
#include "catalogue/wildcard.h"
#include "platform/ui.h"

namespace tamro {

namespace {

constexpr const char *kCaption = "Tamro";

std::string FillIn(std::string_view format, std::string_view value) {
  std::string out(format);
  const auto at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, value);
  return out;
}

bool Exists(const std::string &path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Creates the folder and the missing folders above it; errno tells why it failed.
bool MakeFolders(const std::string &path) {
  std::string p(TrimTrailingSlash(path));
  if (p.empty()) {
    errno = ENOENT;
    return false;
  }
  if (IsDirectory(p)) return true;
  if (::mkdir(p.c_str(), 0777) == 0) return true;
  if (errno == EEXIST) return IsDirectory(p) || (errno = ENOTDIR, false);
  if (errno != ENOENT) return false;
  const std::string parent(DirPart(p));
  if (parent.empty() || parent == p) return false;
  if (!MakeFolders(parent)) return false;
  if (::mkdir(p.c_str(), 0777) == 0) return true;
  return errno == EEXIST && IsDirectory(p);
}

int CountIn(const std::string &folder, std::string_view pattern, int depth,
            std::set<std::pair<dev_t, ino_t>> &visited) {
  struct stat self {};
  if (::stat(folder.c_str(), &self) != 0 || !visited.insert({self.st_dev, self.st_ino}).second) return 0;
  DIR *dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  int count = 0;
  while (dirent *e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || !SearchPatternMatch(pattern, name)) continue;
    const std::string path = JoinPath(folder, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    ++count;
    if (S_ISDIR(st.st_mode) && depth != 0)
      count += CountIn(path, pattern, depth < 0 ? -1 : depth - 1, visited);
  }
  ::closedir(dir);
  return count;
}

}  // namespace

bool EnsureFolder(const std::string &path, bool quiet) {
  if (!path.empty() && IsDirectory(path)) return true;
  if (!quiet && Ui().MessageBox(FillIn("%s \nフォルダが存在しません．新しく作成しますか？", path), kCaption,
                                MB_YESNO | MB_ICONQUESTION) != IDYES)
    return false;
  const bool made = MakeFolders(path);
  if (!made && !quiet)
    Ui().MessageBox(FillIn("%s \nフォルダの作成に失敗しました", path), kCaption, MB_OK | MB_ICONSTOP);
  return made;
}

int CountFiles(const std::string &folder, std::string_view pattern, int depth) {
  std::set<std::pair<dev_t, ino_t>> visited;
  return CountIn(folder, pattern.empty() ? "*.*" : pattern, depth, visited);
}

bool DeleteFileForced(const std::string &path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (S_ISDIR(st.st_mode)) return false;
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  // A read-only file: make it writable and try once more.
  if (!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0 && ::chmod(path.c_str(), st.st_mode | 0200) == 0) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    ::chmod(path.c_str(), st.st_mode & 07777);
  }
  return false;
}

bool DeleteMatching(const std::string &pattern) {
  const std::string_view name = NamePart(pattern);
  if (!HasWildcard(name) || Exists(pattern)) return DeleteFileForced(pattern);
  std::string folder(DirPart(pattern));
  if (folder.empty()) folder = ".";
  DIR *dir = ::opendir(folder.c_str());
  if (!dir) return true;  // nothing matched
  bool ok = true;
  while (dirent *e = ::readdir(dir)) {
    const std::string entry = e->d_name;
    if (entry == "." || entry == ".." || !SearchPatternMatch(name, entry)) continue;
    const std::string path = JoinPath(folder, entry);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    if (ok && !DeleteFileForced(path)) ok = false;
  }
  ::closedir(dir);
  return ok;
}

bool SameFile(const std::string &a, const std::string &b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string NumberedFreeName(const std::string &path) {
  const std::string_view name = NamePart(path);
  const std::string prefix = path.substr(0, path.size() - name.size());
  auto dot = name.rfind('.');
  if (dot == 0) dot = std::string_view::npos;  // ".hidden" has no extension
  const std::string bare(name.substr(0, dot == std::string_view::npos ? name.size() : dot));
  const std::string ext(dot == std::string_view::npos ? std::string_view() : name.substr(dot));
  for (long n = 2;; ++n) {
    std::string candidate = prefix + bare + "(" + std::to_string(n) + ")" + ext;
    if (!Exists(candidate)) return candidate;
  }
}

}  // namespace tamro
