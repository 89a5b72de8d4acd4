#pragma once

#include <cstdint>

#include "platform/globalmem.h"

namespace tamro {

// A packed device-independent bitmap in one movable global-memory block.
using HDIB = HGLOBAL;

// Progress callback: (steps done, total, user value); a non-zero answer cancels.
using ProgressProc = int (*)(int done, int total, long user);

#pragma pack(push, 1)
struct BitmapFileHeader {
  uint16_t type;  // "BM"
  uint32_t size;
  uint16_t reserved1, reserved2;
  uint32_t offBits;
};
struct BitmapInfoHeader {
  uint32_t size;  // 40
  int32_t width, height;
  uint16_t planes, bitCount;
  uint32_t compression;
  uint32_t sizeImage;
  int32_t xPelsPerMeter, yPelsPerMeter;
  uint32_t clrUsed, clrImportant;
};
struct BitmapCoreHeader {
  uint32_t size;  // 12
  uint16_t width, height, planes, bitCount;
};
struct RgbQuad {
  uint8_t blue, green, red, reserved;
};
#pragma pack(pop)
static_assert(sizeof(BitmapFileHeader) == 14);
static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(sizeof(BitmapCoreHeader) == 12);

// A Windows colour value, 0x00BBGGRR (red in the low byte), as settings store colours.
using COLORREF = uint32_t;
constexpr COLORREF MakeColorRef(uint8_t red, uint8_t green, uint8_t blue) {
  return red | (uint32_t{green} << 8) | (uint32_t{blue} << 16);
}
constexpr uint8_t RedOf(COLORREF c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GreenOf(COLORREF c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t BlueOf(COLORREF c) { return static_cast<uint8_t>(c >> 16); }

enum DibCompression : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

}  // namespace tamro
