#pragma once

// The file helpers everything else calls: one owner for descriptors, one way to write all
// bytes, one way to read a file that may turn out to be a FIFO or a device, and one atomic
// replace.

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace tamro {

// Owns one file descriptor; closes it once.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd &&o) noexcept : fd_(o.release()) {}
  UniqueFd &operator=(UniqueFd &&o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the old descriptor; false when close reported an error (a lost write, say).
  bool reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Opens an existing regular file for reading without ever blocking: a FIFO, socket or device
// is refused (errno EINVAL), a directory too (EISDIR). The descriptor is blocking again after.
// `st` receives what the one fstat of the open saw, for callers that need the size.
UniqueFd OpenRegularFile(const std::string &path);
UniqueFd OpenRegularFile(const std::string &path, struct stat &st);

// Writes every byte, going on after EINTR and short writes.
bool WriteAll(int fd, const void *data, std::size_t size);
inline bool WriteAll(int fd, std::string_view bytes) { return WriteAll(fd, bytes.data(), bytes.size()); }

// Reads from the current position to the end. False on a read error or when the file holds
// more than `limit` bytes (then `out` is cleared and errno is EFBIG).
bool ReadAll(int fd, std::string &out, std::size_t limit = static_cast<std::size_t>(-1));
// The same for a regular file whose stat is known already (no second fstat).
bool ReadAll(int fd, const struct stat &st, std::string &out,
             std::size_t limit = static_cast<std::size_t>(-1));

// The whole of a regular file, at most `limit` bytes (see ReadAll).
bool ReadRegularFile(const std::string &path, std::string &out,
                     std::size_t limit = static_cast<std::size_t>(-1));

// The first `count` bytes of a regular file (fewer when it is shorter).
bool ReadFileHead(const std::string &path, std::size_t count, std::string &out);

// The permission bits a newly created file gets (0666 less the umask), read without
// changing the umask, so that it is safe while other threads create files.
unsigned NewFileMode();

// A file written under a temporary name beside its final path and renamed over it only when
// complete, so a failed or interrupted write never costs the file that was there. The
// replaced file's permission bits are kept; a new file gets NewFileMode(). Without Commit the
// temporary file is removed.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile &) = delete;
  AtomicFile &operator=(const AtomicFile &) = delete;

  // False when the temporary file could not be made (errno tells why).
  bool ok() const { return fd_.get() >= 0; }
  int fd() const { return fd_.get(); }
  // Writers that open files by name (libjpeg's stdio, Qt) write here.
  const std::string &tempPath() const { return temp_; }
  const std::string &path() const { return path_; }

  bool Write(std::string_view bytes) { return ok() && WriteAll(fd_.get(), bytes); }
  // The permission bits Commit gives the file instead (a copy keeping its source's).
  void SetMode(unsigned mode) { mode_ = static_cast<int>(mode & 07777); }
  // Flushes to disk and closes the descriptor but keeps the temporary file for Commit, so a
  // writer can finish many files before it puts any of them in place. False (and the
  // temporary removed) on any error.
  bool Finish();
  // Flushes to disk (unless finished) and renames into place; false (and the temporary
  // removed) on any error.
  bool Commit();
  void Abort();

 private:
  std::string path_;
  std::string temp_;
  UniqueFd fd_;
  int mode_ = -1;
  bool finished_ = false;
  bool done_ = false;
};

bool ReplaceFileAtomically(const std::string &path, std::string_view bytes);

// Whether a writer may put a file at `path`: nothing is there yet (a dangling link counts as
// nothing) or the user may write what is there. A rename needs only the folder's permission,
// so without this check an atomic write would replace a file that the user made read-only.
bool MayReplace(const std::string &path);

// Names Tamro gives its temporary files (".tamro-..."): never listed, never taken as pictures.
bool IsTamroTempName(std::string_view fileName);
inline constexpr std::string_view kTempPrefix = ".tamro-";

}  // namespace tamro
