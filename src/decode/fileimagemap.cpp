#include "decode/fileimagemap.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include "platform/fileio.h"

namespace tamro {

bool FileImageMap::Open(const std::string &path) {
  Close();
  // Only regular files, opened without waiting: a FIFO would block the open itself, and a
  // pipe or device has no size to map.
  struct stat st {};
  const UniqueFd fd = OpenRegularFile(path, st);
  if (!fd || st.st_size <= 0) return false;
  // The mapping keeps the file's pages; the descriptor is not needed any more.
  void *view = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
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
