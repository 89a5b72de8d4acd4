#include "decode/orientation.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decode/builtin/decoders.h"
#include "decode/spi.h"
#include "picture/dib.h"
#include "platform/globalhandle.h"

namespace tamro {

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShort = 3;

int ValidOrientation(uint32_t value) { return value >= 1 && value <= 8 ? static_cast<int>(value) : 1; }

// The orientation tag of IFD0 of the TIFF structure in t[0, n).
int TiffOrientation(const unsigned char *t, std::size_t n) {
  if (n < 8) return 1;
  bool little;
  if (t[0] == 'I' && t[1] == 'I')
    little = true;
  else if (t[0] == 'M' && t[1] == 'M')
    little = false;
  else
    return 1;
  auto u16 = [&](std::size_t at) -> uint32_t {
    return little ? t[at] | (t[at + 1] << 8) : (t[at] << 8) | t[at + 1];
  };
  auto u32 = [&](std::size_t at) -> uint32_t {
    return little ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
  };
  if (u16(2) != 42) return 1;
  const std::size_t ifd = u32(4);
  if (ifd >= n || n - ifd < 2) return 1;
  const std::size_t count = u16(ifd);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = ifd + 2 + 12 * i;
    if (at > n || n - at < 12) break;
    if (u16(at) != kOrientationTag) continue;
    // One SHORT, held in the first two bytes of the value field.
    if (u16(at + 2) != kShort || u32(at + 4) < 1) return 1;
    return ValidOrientation(u16(at + 8));
  }
  return 1;
}

// The orientation of the first Exif segment before the picture data of the JPEG stream at
// p[0, n) (which starts with its start-of-image marker).
int JpegOrientation(const unsigned char *p, std::size_t n) {
  std::size_t at = 2;
  while (at < n && n - at >= 4) {
    if (p[at] != 0xFF) return 1;
    const unsigned marker = p[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length follows
      at += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return 1;  // the picture data comes first
    const std::size_t length = (std::size_t{p[at + 2]} << 8) | p[at + 3];
    if (length < 2) return 1;
    const std::size_t body = at + 4, bodyBytes = std::min(length - 2, n - body);
    if (marker == 0xE1 && bodyBytes >= 6 && std::memcmp(p + body, "Exif\0\0", 6) == 0)
      return TiffOrientation(p + body + 6, bodyBytes - 6);
    at = body + (length - 2);
  }
  return 1;
}

}  // namespace

int ReadOrientation(const unsigned char *data, std::size_t size) {
  if (!data || size < 8) return 1;
  if ((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))
    return TiffOrientation(data, size);
  // The JPEG decoder finds a picture behind a few leading bytes (a MacBinary header, say);
  // the head it looks at is enough for that.
  const std::size_t start = builtin::JpegFindStart(data, std::min<std::size_t>(size, SPI_HEAD_BYTES));
  if (size - start < 4 || data[start] != 0xFF || data[start + 1] != 0xD8) return 1;
  return JpegOrientation(data + start, size - start);
}

HDIB OrientDib(HDIB dib, int orientation) {
  if (!dib || orientation < 2 || orientation > 8) return dib;
  GlobalHandle converted;
  HDIB source = dib;
  {
    DibLock in(dib);
    if (!in) return nullptr;
    const BitmapInfoHeader *bi = in.header();
    const bool direct = bi->size >= sizeof(BitmapInfoHeader) && bi->compression == 0 &&
                        (bi->bitCount == 8 || bi->bitCount == 24);
    if (!direct) {
      HDIB bgr = DibTo24Bit(dib);
      if (!bgr) return nullptr;
      if (bgr != dib) converted.reset(bgr);
      source = bgr;
    }
  }
  DibLock in(source);
  if (!in) return nullptr;
  const BitmapInfoHeader *bi = in.header();
  const int bits = bi->bitCount;
  const std::ptrdiff_t pixel = bits / 8;
  const int width = bi->width, height = std::abs(bi->height);
  const std::ptrdiff_t rowBytes = DibRowBytes(bi);
  const uint8_t *pixels = DibBits(bi);
  // Where the picture's row y (counted from the top) is, and the step one row down.
  const bool bottomUp = bi->height > 0;
  auto row = [&](int y) { return pixels + (bottomUp ? height - 1 - y : y) * rowBytes; };
  const std::ptrdiff_t down = bottomUp ? -rowBytes : rowBytes;

  const bool swap = OrientationSwapsSides(orientation);
  const int outWidth = swap ? height : width, outHeight = swap ? width : height;
  const uint32_t colours = bits == 8 ? DibNumColors(bi) : 0;
  HDIB out = CreateDib(outWidth, outHeight, bits, colours);
  if (!out) return nullptr;
  DibLock o(out);
  if (!o) {
    GlobalFree(out);
    return nullptr;
  }
  if (colours)
    std::memcpy(o.bytes() + sizeof(BitmapInfoHeader), reinterpret_cast<const uint8_t *>(bi) + bi->size,
                colours * sizeof(RgbQuad));
  const std::ptrdiff_t outRowBytes = DibRowBytes(o.header());
  uint8_t *outPixels = DibBits(o.header());
  for (int y = 0; y < outHeight; ++y) {
    // The source pixel of the row's first pixel and the step to the next one.
    const uint8_t *s;
    std::ptrdiff_t step;
    switch (orientation) {
      case 2:
        s = row(y) + (width - 1) * pixel, step = -pixel;
        break;
      case 3:
        s = row(height - 1 - y) + (width - 1) * pixel, step = -pixel;
        break;
      case 4:
        s = row(height - 1 - y), step = pixel;
        break;
      case 5:
        s = row(0) + y * pixel, step = down;
        break;
      case 6:
        s = row(height - 1) + y * pixel, step = -down;
        break;
      case 7:
        s = row(height - 1) + (width - 1 - y) * pixel, step = -down;
        break;
      default:
        s = row(0) + (width - 1 - y) * pixel, step = down;
        break;  // 8
    }
    uint8_t *d = outPixels + (outHeight - 1 - y) * outRowBytes;
    if (pixel == 3) {
      for (int x = 0; x < outWidth; ++x, d += 3, s += step) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
    } else {
      for (int x = 0; x < outWidth; ++x, ++d, s += step) *d = *s;
    }
  }
  return out;
}

}  // namespace tamro
