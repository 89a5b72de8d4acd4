#include "decode/orientation.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decode/builtin/decoders.h"
#include "decode/spi.h"
#include "picture/dib.h"
#include "picture/exif.h"
#include "platform/globalhandle.h"

namespace tamro {

bool ReadPictureExif(const unsigned char *data, std::size_t size, ExifFacts &facts) {
  facts = ExifFacts{};
  if (!data || size < 8) return false;
  std::size_t start = 0;
  const bool tiff = (data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M');
  if (!tiff && !(data[0] == 0xFF && data[1] == 0xD8)) {
    // The JPEG decoder finds a picture behind a few leading bytes (a MacBinary header, say);
    // the head it looks at is enough for that. One that starts at once is not searched for:
    // the search would pass over a start whose Exif segment runs past the head and find the
    // thumbnail's.
    start = builtin::JpegFindStart(data, std::min<std::size_t>(size, SPI_HEAD_BYTES));
    if (size - start < 4 || data[start] != 0xFF || data[start + 1] != 0xD8) return false;
  }
  if (!ReadExif(data + start, size - start, facts)) return false;
  // A TIFF file's second directory is its second page, not a thumbnail.
  if (tiff) facts.thumbnailOffset = facts.thumbnailLength = 0;
  if (facts.thumbnailLength) facts.thumbnailOffset += start;
  return true;
}

int ReadOrientation(const unsigned char *data, std::size_t size) {
  ExifFacts facts;
  ReadPictureExif(data, size, facts);
  return facts.orientation;
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
