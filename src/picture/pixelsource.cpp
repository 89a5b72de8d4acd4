#include "picture/pixelsource.h"

#include <algorithm>
#include <cstring>

#include "platform/globalhandle.h"

namespace tamro::detail {

bool OpenSource(const DibLock &lock, PixelSource &source) {
  if (!lock) return false;
  const BitmapInfoHeader *bi = lock.header();
  const int bits = DibBitCount(bi);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
  if (DibHeight(bi) <= 0) return false;
  const bool core = DibHeaderSize(bi) == 12;
  if (DibCompression(bi) != BI_RGB) return false;
  source.bits = DibBits(bi);
  source.rowBytes = DibRowBytes(bi);
  source.width = DibWidth(bi);
  source.height = DibHeight(bi);
  source.bitCount = bits;
  if (bits <= 8) {
    std::memset(source.table, 0, sizeof source.table);
    const uint32_t count = std::min<uint32_t>(DibNumColors(bi), 256);
    const uint8_t *pal = lock.bytes() + DibHeaderSize(bi);
    for (uint32_t i = 0; i < count; ++i) std::memcpy(source.table[i], pal + i * (core ? 3 : 4), 3);
  }
  return true;
}

HDIB NewDibLike(const BitmapInfoHeader *source, int width, int height, int bitCount) {
  const bool core = DibHeaderSize(source) == 12;
  const uint32_t full = bitCount <= 8 ? 1u << bitCount : 0;
  const uint32_t colours = bitCount <= 8 ? std::min(DibNumColors(source), full) : 0;
  GlobalHandle h(CreateDib(width, height, bitCount, colours == full ? 0 : colours));
  DibLock lock(h.get());
  if (!lock) return nullptr;
  BitmapInfoHeader *bi = lock.header();
  if (!core) {
    bi->xPelsPerMeter = source->xPelsPerMeter;
    bi->yPelsPerMeter = source->yPelsPerMeter;
  }
  if (bitCount <= 8) {
    const uint8_t *from = reinterpret_cast<const uint8_t *>(source) + DibHeaderSize(source);
    auto *to = reinterpret_cast<RgbQuad *>(lock.bytes() + 40);
    for (uint32_t i = 0; i < colours; ++i, from += core ? 3 : 4)
      to[i] = RgbQuad{from[0], from[1], from[2], 0};
  }
  return h.release();
}

}  // namespace tamro::detail
