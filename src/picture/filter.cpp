#include <algorithm>
#include <cmath>
#include <cstring>

#include "picture/dib.h"
#include "picture/pixelsource.h"
#include "picture/transform.h"
#include "platform/globalhandle.h"

namespace tamro {

namespace {

inline uint8_t Clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

HDIB SharpenDib(HDIB h, double strength) {
  GlobalHandle out(CopyDib(h));
  if (!out) return nullptr;
  DibLock lock(h);
  detail::PixelSource src;
  if (!detail::OpenSource(lock, src) || src.bitCount != 24) return out.release();
  DibLock dst(out.get());
  if (!dst) return out.release();
  // The strength as an 8-bit fixed-point weight.
  const int weight = static_cast<int>(strength * 256);
  uint8_t *bits = dst.bits();
  const int w = src.width, hgt = src.height;
  const int64_t rowBytes = src.rowBytes;
  // Rows are walked in stored order; above and below are symmetric, so it does not matter
  // which way up they are.
  auto sharpen = [weight](int v, int sum, int count) {
    return Clamp255(v + (((v - sum / count) * weight) >> 8));
  };
  for (int r = 0; r < hgt; ++r) {
    const uint8_t *mid = src.bits + rowBytes * r;
    const uint8_t *prev = r > 0 ? mid - rowBytes : nullptr;
    const uint8_t *next = r + 1 < hgt ? mid + rowBytes : nullptr;
    uint8_t *to = bits + rowBytes * r;
    // Border pixels count the neighbours they have.
    auto edgePixel = [&](int x) {
      const int i = 3 * x;
      const bool hasLeft = x > 0, hasRight = x + 1 < w;
      const int count = (prev ? 1 : 0) + (next ? 1 : 0) + hasLeft + hasRight;
      for (int ch = 0; ch < 3; ++ch) {
        const int v = mid[i + ch];
        int sum = 0;
        if (hasLeft) sum += mid[i + ch - 3];
        if (hasRight) sum += mid[i + ch + 3];
        if (prev) sum += prev[i + ch];
        if (next) sum += next[i + ch];
        to[i + ch] = count ? sharpen(v, sum, count) : static_cast<uint8_t>(v);
      }
    };
    edgePixel(0);
    if (w > 1) edgePixel(w - 1);
    if (!prev || !next) {
      for (int x = 1; x + 1 < w; ++x) edgePixel(x);
      continue;
    }
    // Inside, every channel byte has four neighbours: a flat loop over the bytes.
    const int end = 3 * (w - 1);
    for (int i = 3; i < end; ++i) {
      const int v = mid[i];
      const int sum = mid[i - 3] + mid[i + 3] + prev[i] + next[i];
      const int value = v + (((v - (sum >> 2)) * weight) >> 8);
      to[i] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
  }
  return out.release();
}

HDIB AdjustDibColors(HDIB h, int red, int green, int blue, double factor) {
  if (red == 0 && green == 0 && blue == 0 && factor == 0.0) return h;
  if (!std::isfinite(factor)) return h;
  DibLock lock(h);
  if (!lock) return h;
  const BitmapInfoHeader *bi = lock.header();
  const int bits = DibBitCount(bi);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return h;
  if (DibCompression(bi) != BI_RGB) return h;

  // Every channel value goes through the same two steps, so each channel gets a table.
  uint8_t table[3][256];  // blue, green, red
  const int offsets[3] = {blue, green, red};
  for (int v = 0; v < 256; ++v) {
    int contrasted = v;
    if (factor != 0.0) {
      const double value = (v - std::sqrt(double(v))) * factor + v;
      contrasted = value >= 255.0 ? 255 : value <= 0.0 ? 0 : static_cast<int>(value);
    }
    for (int ch = 0; ch < 3; ++ch) {
      const int64_t shifted = int64_t{contrasted} + offsets[ch];
      table[ch][v] = static_cast<uint8_t>(shifted < 0 ? 0 : shifted > 255 ? 255 : shifted);
    }
  }

  if (bits == 24) {
    const int width = DibWidth(bi);
    const int height = std::abs(DibHeight(bi));
    const int64_t rowBytes = DibRowBytes(bi);
    uint8_t *rows = DibBits(lock.header());
    for (int r = 0; r < height; ++r) {
      uint8_t *p = rows + rowBytes * r;
      for (int x = 0; x < width; ++x, p += 3) {
        p[0] = table[0][p[0]];
        p[1] = table[1][p[1]];
        p[2] = table[2][p[2]];
      }
    }
    return h;
  }
  // Only the entries the table really has: a short table is followed by pixels.
  const bool core = DibHeaderSize(bi) == 12;
  const uint32_t count = std::min(DibNumColors(bi), 1u << bits);
  uint8_t *entry = lock.bytes() + DibHeaderSize(bi);
  for (uint32_t i = 0; i < count; ++i, entry += core ? 3 : 4)
    for (int ch = 0; ch < 3; ++ch) entry[ch] = table[ch][entry[ch]];
  return h;
}

}  // namespace tamro
