#include "decode/fileimagemap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamro {

bool FileImageMap::Open(const std::string &path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  void *view = MAP_FAILED;
  // Only regular files: a pipe or device has no size to map.
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    view = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  // The mapping keeps the file's pages; the descriptor is not needed any more.
  ::close(fd);
  if (view == MAP_FAILED) return false;
  view_ = view;
  size_ = static_cast<std::size_t>(st.st_size);
  return true;
}

void FileImageMap::Close() {
  if (view_) ::munmap(view_, size_);
  view_ = nullptr;
  size_ = 0;
}

}  // namespace tamro
