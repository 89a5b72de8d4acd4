#pragma once

// Helpers shared by the built-in decoders: the source forms, file access and the making of
// packed pictures. Internal to the built-in decoders.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "decode/budget.h"
#include "decode/spi.h"
#include "picture/dibtypes.h"
#include "platform/globalhandle.h"

namespace tamro::builtin {

inline uint16_t Le16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// The 2048 head bytes handed to is-supported: read from a descriptor (below 0x10000) at its
// current position without moving it, or copied from the caller's buffer. Missing bytes are 0.
struct HeadBytes {
  unsigned char bytes[SPI_HEAD_BYTES] = {};
  std::size_t read = 0;  // bytes that really came from the source
};
HeadBytes ReadHead(uintptr_t data);

// A read-only view of a file from an offset to its end. Empty (ok() false) when the file
// cannot be opened, is empty past the offset or cannot be mapped.
class FileView {
 public:
  FileView(const char *path, long offset);
  ~FileView();
  FileView(const FileView &) = delete;
  FileView &operator=(const FileView &) = delete;
  bool ok() const { return data_ != nullptr; }
  const unsigned char *data() const { return data_; }
  std::size_t size() const { return size_; }
  // True when the file opened but there is nothing past the offset.
  bool empty() const { return opened_ && data_ == nullptr; }

 private:
  void *base_ = nullptr;
  std::size_t mapped_ = 0;
  const unsigned char *data_ = nullptr;
  std::size_t size_ = 0;
  bool opened_ = false;
};

// The bytes a decoder works on: either a memory image or a mapped file.
struct Bytes {
  const unsigned char *data = nullptr;
  std::size_t size = 0;
};

// Row length of a stored picture row, padded to 4 bytes; 0 for nonsensical input.
inline uint64_t RowBytes(int64_t width, int bits) {
  if (width <= 0 || bits <= 0) return 0;
  return ((static_cast<uint64_t>(width) * static_cast<uint64_t>(bits) + 31) / 32) * 4;
}

// A new picture block: 40-byte header, `colours` palette entries and the padded rows,
// zero-filled. `bits` is 1, 4, 8 or 24. Empty when the size is refused or allocation fails.
struct NewDib {
  GlobalHandle handle;
  BitmapInfoHeader *header = nullptr;
  RgbQuad *palette = nullptr;
  unsigned char *bits = nullptr;
  uint64_t rowBytes = 0;
  explicit operator bool() const { return bits != nullptr; }
  ~NewDib();
  NewDib() = default;
  NewDib(NewDib &&o) noexcept { *this = std::move(o); }
  NewDib &operator=(NewDib &&o) noexcept;
  // Unlocks and hands the block over.
  HDIB Release();
};
NewDib MakeDib(int width, int height, int bits, int colours);

// A moveable block holding `text` and a terminating 0; null on failure.
HGLOBAL MakeTextBlock(const std::string &text);

// Case-insensitive match of a file name against "*.a;*.b" style patterns (only "*.ext").
bool NameHasExtension(const char *fileName, const char *extensions);

}  // namespace tamro::builtin
