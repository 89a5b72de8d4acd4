#include "fileops/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "catalogue/pathutil.h"
#include "platform/fileio.h"

namespace fs = std::filesystem;

namespace tamro {

namespace {

struct TrashPlace {
  std::string folder;  // holds files/ and info/
  std::string top;     // the mount top for relative paths; empty for the home trash
};

bool MakeFolder(const std::string &path, mode_t mode) {
  if (::mkdir(path.c_str(), mode) == 0) return true;
  struct stat st {};
  return errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Usable(const std::string &folder, dev_t device) {
  if (!MakeFolder(folder + "/files", 0700) || !MakeFolder(folder + "/info", 0700)) return false;
  struct stat st {};
  return ::stat((folder + "/files").c_str(), &st) == 0 && st.st_dev == device;
}

bool MakeParents(const std::string &path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return IsDirectory(path);
}

// The folder at the top of the mount holding `path` (which exists).
std::string MountTop(const std::string &path, dev_t device) {
  std::string top = path;
  for (;;) {
    std::string up(DirPart(top));
    if (up.empty() || up == top) return top;
    struct stat st {};
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != device) return top;
    top = up;
  }
}

bool FindTrash(const std::string &path, dev_t device, TrashPlace &place) {
  const std::string home = HomeTrashFolder();
  if (!home.empty() && MakeParents(home) && Usable(home, device)) {
    place = {home, {}};
    return true;
  }
  const std::string top = MountTop(std::string(DirPart(path)), device);
  const std::string uid = std::to_string(::getuid());
  const std::string shared = JoinPath(top, ".Trash");
  struct stat st {};
  // An administrator's shared trash must be a real sticky folder, never a link.
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    const std::string mine = JoinPath(shared, uid);
    if (MakeFolder(mine, 0700) && Usable(mine, device)) {
      place = {mine, top};
      return true;
    }
  }
  const std::string own = JoinPath(top, ".Trash-" + uid);
  if (MakeFolder(own, 0700) && ::lstat(own.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
      st.st_uid == ::getuid() && Usable(own, device)) {
    place = {own, top};
    return true;
  }
  return false;
}

std::string DeletionDate() {
  std::tm tm{};
  const time_t now = ::time(nullptr);
  ::localtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  return text;
}


}  // namespace

std::string HomeTrashFolder() {
  const char *data = std::getenv("XDG_DATA_HOME");
  if (data && *data == '/') return JoinPath(data, "Trash");
  const char *home = std::getenv("HOME");
  if (!home || *home != '/') return {};
  return JoinPath(JoinPath(home, ".local/share"), "Trash");
}

std::string TrashPathEncode(const std::string &path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

bool ShellDelete(const std::string &path, bool toTrash) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return false;
  if (toTrash) {
    MoveToTrash(path);
  } else {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

int MoveToTrash(const std::string &given) {
  std::error_code ec;
  // The folder part is resolved, the name itself is not: a link goes to the trash, not its target.
  const fs::path absolute = fs::absolute(given, ec);
  if (ec) return kTrashFailed;
  const std::string name = absolute.filename().string();
  if (name.empty() || name == "." || name == "..") {
    errno = EINVAL;
    return kTrashFailed;
  }
  const fs::path parent = fs::weakly_canonical(absolute.parent_path(), ec);
  if (ec) return kTrashFailed;
  const std::string path = JoinPath(parent.string(), name);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return kTrashFailed;

  TrashPlace place;
  if (!FindTrash(path, st.st_dev, place)) return kTrashNoTrash;
  if (place.folder.compare(0, path.size() + 1, path + "/") == 0 || place.folder == path) {
    errno = EINVAL;  // the trash itself, or a folder holding it
    return kTrashFailed;
  }

  std::string shown = path;
  if (!place.top.empty()) {
    const std::string prefix = place.top == "/" ? "/" : place.top + "/";
    if (shown.compare(0, prefix.size(), prefix) == 0) shown = shown.substr(prefix.size());
  }
  const std::string info =
      "[Trash Info]\nPath=" + TrashPathEncode(shown) + "\nDeletionDate=" + DeletionDate() + "\n";

  // Claim a name through the information file, then move the file under it.
  for (int n = 1; n < 100000; ++n) {
    std::string entry = name;
    if (n > 1) {
      const auto dot = name.rfind('.');
      entry = dot == std::string::npos || dot == 0
                  ? name + "." + std::to_string(n)
                  : name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
    }
    const std::string infoPath = place.folder + "/info/" + entry + ".trashinfo";
    const std::string filePath = place.folder + "/files/" + entry;
    const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return kTrashFailed;
    }
    const bool written = WriteAll(fd, info) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    struct stat taken {};
    if (!written || !closed || ::lstat(filePath.c_str(), &taken) == 0) {
      const int error = errno;
      ::unlink(infoPath.c_str());
      if (written && closed) continue;  // a stray file without information holds this name
      errno = error;
      return kTrashFailed;
    }
    if (::rename(path.c_str(), filePath.c_str()) != 0) {
      const int error = errno;
      ::unlink(infoPath.c_str());
      errno = error;
      return kTrashFailed;
    }
    return kTrashed;
  }
  errno = EEXIST;
  return kTrashFailed;
}

}  // namespace tamro
