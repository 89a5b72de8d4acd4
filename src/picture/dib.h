#pragma once

// The packed picture (HDIB): header, colour table and 4-byte padded rows, bottom row first,
// in one movable global-memory block. Geometry queries, 24-bit conversion, pixel access and
// BMP file reading and writing.
//
// Every query comes in two forms. The address form takes the locked header and trusts it;
// the handle form locks the block, checks that the header bytes it reads are inside the
// block, answers and unlocks (0 for a null handle, a failed lock or a block too short).
// Pass the address form a `BitmapInfoHeader *` (a `void *` would pick the handle form).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "picture/dibtypes.h"

namespace tamro {

// Rejects byte pointers at compile time, so a locked address is never taken for a handle.
#define TAMRO_DIB_NO_BYTE_POINTERS(name)                                                                  \
  template <class T>                                                                                      \
  requires(!std::is_void_v<T> && !std::is_same_v<std::remove_cv_t<T>, BitmapInfoHeader>) void name(T *) = \
      delete;

uint32_t DibHeaderSize(const BitmapInfoHeader *bi);
uint32_t DibHeaderSize(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibHeaderSize)
// Width and height as stored (16-bit fields of a 12-byte header); a negative height marks
// rows stored top row first.
int32_t DibWidth(const BitmapInfoHeader *bi);
int32_t DibWidth(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibWidth)
int32_t DibHeight(const BitmapInfoHeader *bi);
int32_t DibHeight(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibHeight)
// 24 when the header size is neither 40 nor 12 or the stored bit count is 0.
int DibBitCount(const BitmapInfoHeader *bi);
int DibBitCount(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibBitCount)
// The compression field of any header but the 12-byte one (which has none: 0).
uint32_t DibCompression(const BitmapInfoHeader *bi);
TAMRO_DIB_NO_BYTE_POINTERS(DibCompression)
// Colours used when set (40-byte header), else 2, 16 or 256 for 1, 4, 8 bits, else 0.
uint32_t DibNumColors(const BitmapInfoHeader *bi);
uint32_t DibNumColors(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibNumColors)
// Bytes of the colour table, with the three masks of a bit-field picture.
int64_t DibPaletteSize(const BitmapInfoHeader *bi);
int64_t DibPaletteSize(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibPaletteSize)
// ((width x bits + 31) / 32) x 4, in 64 bits so no header can overflow it.
int64_t DibRowBytes(const BitmapInfoHeader *bi);
int64_t DibRowBytes(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibRowBytes)
// Stored image size for RLE pictures, else row bytes x |height| (saturating).
int64_t DibImageSize(const BitmapInfoHeader *bi);
int64_t DibImageSize(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibImageSize)
// 40 + palette + image.
int64_t DibTotalSize(const BitmapInfoHeader *bi);
int64_t DibTotalSize(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibTotalSize)
// First pixel byte: header + header size + palette size.
uint8_t *DibBits(BitmapInfoHeader *bi);
const uint8_t *DibBits(const BitmapInfoHeader *bi);
// Address inside the block, valid until it is resized or freed; null when the offset is
// outside the block.
uint8_t *DibBits(HDIB h);
TAMRO_DIB_NO_BYTE_POINTERS(DibBits)

#undef TAMRO_DIB_NO_BYTE_POINTERS

// True when the header describes a picture the program can work on (header size 12 or at
// least 40, width > 0, height != 0, depth 1, 4, 8, 16, 24 or 32) and header, colour table
// and pixels all lie within `blockBytes`. Every operation that walks pixels checks this.
// For RLE data only its stated size is checked: a reader of uncompressed rows must also
// see that DibCompression is not BI_RLE8 or BI_RLE4.
bool DibFits(const BitmapInfoHeader *bi, std::size_t blockBytes);

// Locks a block for one scope and tells whether its header fits the block.
class DibLock {
 public:
  explicit DibLock(HDIB h);
  ~DibLock();
  DibLock(const DibLock &) = delete;
  DibLock &operator=(const DibLock &) = delete;

  // The block is locked and DibFits holds.
  explicit operator bool() const { return ok_; }
  // Locked at all (the header may still be unusable).
  bool locked() const { return p_ != nullptr; }
  BitmapInfoHeader *header() const { return static_cast<BitmapInfoHeader *>(p_); }
  uint8_t *bytes() const { return static_cast<uint8_t *>(p_); }
  uint8_t *bits() const { return ok_ ? DibBits(header()) : nullptr; }
  std::size_t size() const { return size_; }

 private:
  HDIB h_;
  void *p_ = nullptr;
  std::size_t size_ = 0;
  bool ok_ = false;
};

// A zero-filled picture with a 40-byte header and room for the full colour table of its
// depth (2, 16 or 256 entries for 1, 4, 8 bits, or `colours` entries when not 0), all
// black. Null for a bad size or depth or when the block would exceed the allocator's limit.
HDIB CreateDib(int width, int height, int bitCount, uint32_t colours = 0);

// A new block of the same size with the same bytes; null for null or on failure.
HDIB CopyDib(HDIB h);

// The same handle when the picture already has 24 bits (rows stored bottom row first),
// else a new 24-bit picture; null on failure or for an unsupported depth or compression.
// A top-down picture comes back as a new bottom-up one, whatever its depth.
HDIB DibTo24Bit(HDIB h);

// Writes the pixels of a picture that DibFits as 24-bit rows of `dstRowBytes`, bottom row
// first whatever the source order: the conversion step of DibTo24Bit. False for a depth
// or compression it cannot read.
bool ConvertDibPixelsTo24(const BitmapInfoHeader *bi, uint8_t *dst, int64_t dstRowBytes);

// y counts from the top row. Positions outside the picture are ignored (set) or read 0.
// 24 bits take and give a colour reference (0x00BBGGRR); 1, 4, 8 bits the index.
void SetDibPixel(BitmapInfoHeader *bi, int x, int y, uint32_t value);
uint32_t GetDibPixel(const BitmapInfoHeader *bi, int x, int y);

// A write to the stream failed part-way.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// BMP file image of a 40-byte-header picture: 1 written, 0 refused (null, failed lock,
// 12-byte header, sizes outside the block). Throws FileError when the stream fails.
int WriteDibToStream(std::FILE *file, HDIB h);
// Writes the BMP to `path` (UTF-8) under a temporary name and renames it into place when
// complete; 1 or 0. Whatever failed, the file that was there stays as it was, no partial
// file is left behind and no exception escapes. A file the user may not write is refused.
int SaveDibFile(const std::string &path, HDIB h);
// Reads a BMP file image from the stream's current position; null when it is not one or
// its sizes do not fit the file.
HDIB ReadDibFromStream(std::FILE *file);

}  // namespace tamro
