#include "platform/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace tamro {

bool UniqueFd::reset(int fd) {
  bool ok = true;
  if (fd_ >= 0) ok = ::close(fd_) == 0;
  fd_ = fd;
  return ok;
}

UniqueFd OpenRegularFile(const std::string &path, struct stat &st) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) return fd;
  if (::fstat(fd.get(), &st) != 0) return UniqueFd();
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return UniqueFd();
  }
  // The only status flag the open set is O_NONBLOCK, so no F_GETFL is needed to clear it.
  ::fcntl(fd.get(), F_SETFL, 0);
  return fd;
}

UniqueFd OpenRegularFile(const std::string &path) {
  struct stat st {};
  return OpenRegularFile(path, st);
}

bool WriteAll(int fd, const void *data, std::size_t size) {
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

bool ReadRest(int fd, std::string &out, std::size_t limit) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (out.size() + static_cast<std::size_t>(n) > limit) {
      out.clear();
      errno = EFBIG;
      return false;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
}

}  // namespace

bool ReadAll(int fd, const struct stat &st, std::string &out, std::size_t limit) {
  out.clear();
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    if (static_cast<unsigned long long>(st.st_size) > limit) {
      errno = EFBIG;
      return false;
    }
    out.reserve(static_cast<std::size_t>(st.st_size));
  }
  return ReadRest(fd, out, limit);
}

bool ReadAll(int fd, std::string &out, std::size_t limit) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) st = {};
  return ReadAll(fd, st, out, limit);
}

bool ReadRegularFile(const std::string &path, std::string &out, std::size_t limit) {
  out.clear();
  struct stat st {};
  UniqueFd fd = OpenRegularFile(path, st);
  return fd && ReadAll(fd.get(), st, out, limit);
}

bool ReadFileHead(const std::string &path, std::size_t count, std::string &out) {
  out.clear();
  UniqueFd fd = OpenRegularFile(path);
  if (!fd) return false;
  out.resize(count);
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = ::read(fd.get(), out.data() + got, count - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      out.clear();
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return true;
}

unsigned NewFileMode() {
  static const unsigned mode = [] {
    // The kernel reports the umask here; changing it to look would race with other threads.
    unsigned mask = 022;
    if (FILE *f = std::fopen("/proc/self/status", "re")) {
      char line[256];
      while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
      std::fclose(f);
    }
    return 0666u & ~mask;
  }();
  return mode;
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  const std::size_t slash = path_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
  std::vector<char> name;
  const std::string pattern = dir + std::string(kTempPrefix) + "part-XXXXXX";
  name.assign(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_.reset(::mkostemp(name.data(), O_CLOEXEC));
  if (fd_) temp_ = name.data();
}

AtomicFile::~AtomicFile() { Abort(); }

void AtomicFile::Abort() {
  if (done_) return;
  done_ = true;
  fd_.reset();
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool AtomicFile::Finish() {
  if (done_ || !ok()) return false;
  bool good = ::fsync(fd_.get()) == 0;
  good = fd_.reset() && good;
  if (good) {
    finished_ = true;
    return true;
  }
  const int keep = errno;
  Abort();
  errno = keep;
  return false;
}

bool AtomicFile::Commit() {
  if (done_ || !(ok() || finished_)) return false;
  struct stat old {};
  const mode_t mode = mode_ >= 0                         ? static_cast<mode_t>(mode_)
                      : ::stat(path_.c_str(), &old) == 0 ? (old.st_mode & 07777)
                                                         : NewFileMode();
  bool good;
  if (finished_) {
    good = ::chmod(temp_.c_str(), mode) == 0 || errno == EPERM;
  } else {
    good = ::fchmod(fd_.get(), mode) == 0 || errno == EPERM;
    good = ::fsync(fd_.get()) == 0 && good;
    good = fd_.reset() && good;
  }
  if (good && ::rename(temp_.c_str(), path_.c_str()) == 0) {
    done_ = true;
    return true;
  }
  const int keep = errno;
  Abort();
  errno = keep;
  return false;
}

bool ReplaceFileAtomically(const std::string &path, std::string_view bytes) {
  AtomicFile file(path);
  return file.Write(bytes) && file.Commit();
}

bool MayReplace(const std::string &path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

bool IsTamroTempName(std::string_view fileName) {
  return fileName.substr(0, kTempPrefix.size()) == kTempPrefix;
}

}  // namespace tamro
