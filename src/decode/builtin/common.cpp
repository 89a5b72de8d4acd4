#include "decode/builtin/common.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fileio.h"
#include "platform/text.h"

namespace tamro::builtin {

HeadBytes ReadHead(uintptr_t data) {
  HeadBytes head;
  if (SPI_DATA_IS_FD(data)) {
    const int fd = static_cast<int>(data);
    // pread keeps the caller's position; a pipe cannot do that, so it is read instead.
    off_t at = lseek(fd, 0, SEEK_CUR);
    while (head.read < sizeof head.bytes) {
      ssize_t n = at >= 0 ? pread(fd, head.bytes + head.read, sizeof head.bytes - head.read,
                                  at + static_cast<off_t>(head.read))
                          : read(fd, head.bytes + head.read, sizeof head.bytes - head.read);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      head.read += static_cast<std::size_t>(n);
    }
  } else {
    std::memcpy(head.bytes, reinterpret_cast<const void *>(data), sizeof head.bytes);
    head.read = sizeof head.bytes;
  }
  return head;
}

FileView::FileView(const char *path, long offset) {
  if (!path || offset < 0) return;
  // Only regular files, opened without waiting: a FIFO would block the open itself.
  struct stat st {};
  const UniqueFd fd = OpenRegularFile(path, st);
  if (!fd) return;
  opened_ = true;
  const auto fileSize = static_cast<uint64_t>(st.st_size);
  if (fileSize > static_cast<uint64_t>(offset)) {
    void *p = mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (p != MAP_FAILED) {
      base_ = p;
      mapped_ = fileSize;
      data_ = static_cast<const unsigned char *>(p) + offset;
      size_ = fileSize - static_cast<uint64_t>(offset);
    }
  }
}

FileView::~FileView() {
  if (base_) munmap(base_, mapped_);
}

NewDib::~NewDib() {
  if (handle && header) GlobalUnlock(handle.get());
}

NewDib &NewDib::operator=(NewDib &&o) noexcept {
  if (this != &o) {
    if (handle && header) GlobalUnlock(handle.get());
    handle = std::move(o.handle);
    header = std::exchange(o.header, nullptr);
    palette = std::exchange(o.palette, nullptr);
    bits = std::exchange(o.bits, nullptr);
    rowBytes = o.rowBytes;
  }
  return *this;
}

HDIB NewDib::Release() {
  if (handle && header) GlobalUnlock(handle.get());
  header = nullptr;
  palette = nullptr;
  bits = nullptr;
  return handle.release();
}

NewDib MakeDib(int width, int height, int bits, int colours) {
  NewDib dib;
  if (width <= 0 || height <= 0 || colours < 0 || colours > 256) return dib;
  const uint64_t row = RowBytes(width, bits);
  const uint64_t image = row * static_cast<uint64_t>(height);
  if (row == 0 || !WithinDecodeBudget(image)) return dib;
  const uint64_t total = sizeof(BitmapInfoHeader) + static_cast<uint64_t>(colours) * 4 + image;
  dib.handle = GlobalHandle::Allocate(static_cast<std::size_t>(total));
  if (!dib.handle) return dib;
  auto *p = static_cast<unsigned char *>(GlobalLock(dib.handle.get()));
  if (!p) {
    dib.handle.reset();
    return dib;
  }
  // Large pictures are written once, row by row, into fresh memory: asking for huge pages
  // saves thousands of page faults, which cost more than the decoding of a big JPEG.
  if (total >= (uint64_t{8} << 20)) {
    const uintptr_t page = 4096;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + total) & ~(page - 1);
    if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
  }
  dib.header = reinterpret_cast<BitmapInfoHeader *>(p);
  dib.header->size = sizeof(BitmapInfoHeader);
  dib.header->width = width;
  dib.header->height = height;
  dib.header->planes = 1;
  dib.header->bitCount = static_cast<uint16_t>(bits);
  dib.header->compression = BI_RGB;
  dib.header->sizeImage = static_cast<uint32_t>(image);
  dib.palette = reinterpret_cast<RgbQuad *>(p + sizeof(BitmapInfoHeader));
  dib.bits = p + sizeof(BitmapInfoHeader) + static_cast<std::size_t>(colours) * 4;
  dib.rowBytes = row;
  return dib;
}

HGLOBAL MakeTextBlock(const std::string &text) {
  GlobalHandle h = GlobalHandle::Allocate(text.size() + 1);
  if (!h) return nullptr;
  GlobalLockGuard lock(h.get());
  if (!lock) return nullptr;
  std::memcpy(lock.get(), text.data(), text.size());
  return h.release();
}

bool NameHasExtension(const char *fileName, const char *extensions) {
  if (!fileName) return false;
  std::string_view name(fileName);
  std::string_view list(extensions);
  while (!list.empty()) {
    const auto semi = list.find(';');
    std::string_view pattern = list.substr(0, semi);
    list = semi == std::string_view::npos ? std::string_view{} : list.substr(semi + 1);
    if (pattern.starts_with("*")) pattern.remove_prefix(1);
    if (!pattern.empty() && EndsWithNoCase(name, pattern)) return true;
  }
  return false;
}

}  // namespace tamro::builtin
