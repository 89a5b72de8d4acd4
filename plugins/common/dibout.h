#pragma once

// The picture a picture plug-in hands back: a 40-byte bitmap information block and a block
// of 24-bit rows in blue, green, red order, bottom row first, each padded to 4 bytes. The
// host takes the pixel block over as the picture itself, so a decoder that writes into it
// directly never holds the picture twice.

#include <cstddef>
#include <cstdint>

#include "common/pluginbase.h"

namespace tamro::plugin {

#pragma pack(push, 1)
struct DibInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(DibInfoHeader) == 40, "bitmap information header is 40 bytes");

// Bytes of one 24-bit row padded to 4 bytes; 0 when the width is not positive.
size_t DibStride(int width);

class DibOutput {
 public:
  // Allocates both blocks (pixels zero-filled). SPI_FORMAT_ERROR for a size that is not
  // positive, SPI_OUT_OF_MEMORY when the pixels would exceed the decode budget or cannot be
  // had. Densities are in dots per inch, 0 when unknown.
  int Create(int width, int height, int xDpi = 0, int yDpi = 0);
  // The same for decoders that must hold the whole picture with its alpha before it can be
  // composited (interlaced PNG, WebP with alpha): until Hand, the pixel block holds rows of
  // red, green, blue, alpha (RgbaRow), zero-filled, that is transparent. Hand composites
  // them on white into the 24-bit rows in place and shrinks the block.
  int CreateRgba(int width, int height, int xDpi = 0, int yDpi = 0);

  int width() const { return width_; }
  int height() const { return height_; }
  size_t stride() const { return stride_; }
  // The row `fromTop` rows below the top of the picture (24-bit rows).
  uint8_t *Row(int fromTop) { return bits_ + static_cast<size_t>(height_ - 1 - fromTop) * stride_; }
  // The same with CreateRgba: rows of width x 4 bytes, also bottom row first.
  size_t rgbaStride() const { return static_cast<size_t>(width_) * 4u; }
  uint8_t *RgbaRow(int fromTop) { return bits_ + static_cast<size_t>(height_ - 1 - fromTop) * rgbaStride(); }

  // Stores a row of red, green, blue bytes.
  void PutRgb(int fromTop, const uint8_t *rgb);
  // Stores a row of red, green, blue, alpha bytes composited on white.
  void PutRgba(int fromTop, const uint8_t *rgba) { PutRgbaRun(fromTop, 0, width_, rgba); }
  // The same for `count` pixels from column `x`; pixels outside the picture are dropped.
  void PutRgbaRun(int fromTop, int x, int count, const uint8_t *rgba);

  // Hands both blocks to the caller; they are then the caller's to free.
  void Hand(HLOCAL *info, HLOCAL *bits);

 private:
  int Allocate(int width, int height, int xDpi, int yDpi, uint64_t pixelBytes);
  // Turns the RGBA rows into the 24-bit rows in place.
  void CompositeRgba();

  OwnedBlock infoBlock_, bitsBlock_;
  uint8_t *bits_ = nullptr;
  int width_ = 0, height_ = 0;
  size_t stride_ = 0;
  bool rgba_ = false;
};

// Colour value `c` with coverage `a` over white, rounded: (c*a + 255*(255-a)) / 255.
inline uint8_t OverWhite(unsigned c, unsigned a) {
  unsigned x = c * a + 255u * (255u - a) + 128u;
  return static_cast<uint8_t>((x + (x >> 8)) >> 8);
}

}  // namespace tamro::plugin
