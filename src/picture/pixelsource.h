#pragma once

// Shared by the transforms: direct row access to a locked picture and a maker of result
// blocks that inherit the source's header.

#include <cstdint>

#include "picture/dib.h"

namespace tamro::detail {

// A picture the transforms work on: it fits its block, rows are stored bottom row first,
// uncompressed, 1, 4, 8 or 24 bits.
struct PixelSource {
  const uint8_t *bits = nullptr;
  int64_t rowBytes = 0;
  int width = 0;
  int height = 0;
  int bitCount = 0;
  uint8_t table[256][3] = {};  // blue, green, red; entries past the stored table are black

  // Row y counted from the top.
  const uint8_t *Row(int y) const { return bits + rowBytes * (height - 1 - y); }
  uint32_t Index(const uint8_t *row, int x) const {
    switch (bitCount) {
      case 8:
        return row[x];
      case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
      default:
        return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    }
  }
  // Blue, green, red of pixel x of a row.
  const uint8_t *Bgr(const uint8_t *row, int x) const {
    return bitCount == 24 ? row + 3 * static_cast<int64_t>(x) : table[Index(row, x)];
  }
};

// False when the locked picture is not one the transforms work on.
bool OpenSource(const DibLock &lock, PixelSource &source);

// A zero-filled picture with the source's 40-byte header fields (resolution kept), the
// given size and depth, and for 1, 4 and 8 bits the source's colour table. Null on failure.
HDIB NewDibLike(const BitmapInfoHeader *source, int width, int height, int bitCount);

}  // namespace tamro::detail
