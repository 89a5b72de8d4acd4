#include "common/pluginbase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/fileio.h"

namespace tamro::plugin {

namespace {

// Length of the longest prefix of `text` not over `limit` bytes that does not split a
// UTF-8 sequence.
size_t Utf8Prefix(const char *text, size_t length, size_t limit) {
  if (length <= limit) return length;
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

// pread that retries short reads and interruptions; answers the bytes read.
size_t ReadFully(int fd, void *out, size_t size, off_t offset) {
  size_t done = 0;
  while (done < size) {
    ssize_t got =
        ::pread(fd, static_cast<char *>(out) + done, size - done, offset + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace

int CopyPluginInfo(const char *const *table, int infono, char *buf, int buflen) {
  if (table == nullptr || infono < 0 || buf == nullptr || buflen <= 0) return 0;
  for (int i = 0; i < infono; ++i) {
    if (table[i] == nullptr) return 0;
  }
  const char *text = table[infono];
  if (text == nullptr) return 0;
  size_t n = Utf8Prefix(text, std::strlen(text), static_cast<size_t>(buflen) - 1);
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

bool ReadHead(uintptr_t dw, unsigned char (&head)[SPI_HEAD_BYTES]) {
  std::memset(head, 0, sizeof head);
  if (!SPI_DATA_IS_FD(dw)) {
    std::memcpy(head, reinterpret_cast<const void *>(dw), sizeof head);
    return true;
  }
  int fd = static_cast<int>(dw);
  off_t here = ::lseek(fd, 0, SEEK_CUR);
  if (here < 0) return false;
  return ReadFully(fd, head, sizeof head, here) > 0;
}

size_t ReadAtFromFd(uintptr_t dw, uint64_t offset, void *out, size_t size) {
  if (!SPI_DATA_IS_FD(dw)) return 0;
  int fd = static_cast<int>(dw);
  off_t here = ::lseek(fd, 0, SEEK_CUR);
  if (here < 0 || offset > static_cast<uint64_t>(INT64_MAX - here)) return 0;
  return ReadFully(fd, out, size, here + static_cast<off_t>(offset));
}

int SourceBytes::Load(const char *buf, long len, unsigned flag) {
  owned_.clear();
  data_ = nullptr;
  size_ = 0;
  if (buf == nullptr) return SPI_FORMAT_ERROR;
  switch (flag & SPI_SOURCE_MASK) {
    case SPI_SOURCE_MEMORY:
      if (len <= 0) return SPI_DATA_ENDED;
      data_ = reinterpret_cast<const uint8_t *>(buf);
      size_ = static_cast<size_t>(len);
      return SPI_OK;
    case SPI_SOURCE_FILE:
      break;
    default:
      return SPI_NO_FUNCTION;
  }
  if (len < 0) return SPI_READ_ERROR;
  // Regular files only, opened without waiting on a FIFO.
  const UniqueFd fd = OpenRegularFile(buf);
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0) return SPI_READ_ERROR;
  uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  uint64_t offset = static_cast<uint64_t>(len);
  if (offset >= fileSize) return SPI_DATA_ENDED;
  uint64_t want = fileSize - offset;
  if (!WithinDecodeBudget(want)) return SPI_OUT_OF_MEMORY;
  try {
    owned_.resize(static_cast<size_t>(want));
  } catch (const std::bad_alloc &) {
    return SPI_OUT_OF_MEMORY;
  }
  // The file may shrink while it is read; what was there is what we decode.
  size_t got = ReadFully(fd.get(), owned_.data(), owned_.size(), static_cast<off_t>(offset));
  if (got == 0) return SPI_READ_ERROR;
  owned_.resize(got);
  data_ = owned_.data();
  size_ = got;
  return SPI_OK;
}

bool OwnedBlock::Allocate(size_t bytes, bool zero) {
  Reset();
  handle_ = GlobalAlloc(GMEM_MOVEABLE | (zero ? GMEM_ZEROINIT : 0u), bytes);
  return handle_ != nullptr;
}

bool OwnedBlock::Resize(size_t bytes) {
  if (handle_ == nullptr || locked_) return false;
  return GlobalReAlloc(handle_, bytes, GMEM_MOVEABLE) != nullptr;
}

void *OwnedBlock::Lock() {
  if (handle_ == nullptr) return nullptr;
  void *p = GlobalLock(handle_);
  if (p != nullptr) {
    if (locked_) GlobalUnlock(handle_);  // keep a single lock
    locked_ = true;
  }
  return p;
}

void OwnedBlock::Unlock() {
  if (handle_ != nullptr && locked_) GlobalUnlock(handle_);
  locked_ = false;
}

HLOCAL OwnedBlock::Release() {
  Unlock();
  HLOCAL h = handle_;
  handle_ = nullptr;
  return h;
}

void OwnedBlock::Reset() {
  Unlock();
  if (handle_ != nullptr) GlobalFree(handle_);
  handle_ = nullptr;
}

}  // namespace tamro::plugin
