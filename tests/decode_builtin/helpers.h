#pragma once

// Makers of small pictures for the decoder tests, and readers of the pictures decoded.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/builtin/builtin.h"
#include "decode/spi.h"
#include "decode/spihost.h"
#include "picture/dibtypes.h"
#include "platform/globalhandle.h"
#include "support/bytes.h"

namespace tamro::test {

using Bytes = std::vector<unsigned char>;

// A BMP file: 14 + 40-byte headers, a full palette (grey ramp) up to 8 bits, then `pixels`; the
// size of the compressed pixels when they are.
Bytes MakeBmp(int width, int height, int bits, uint32_t compression, const Bytes &pixels);

// GIF pieces. Codes are written literal by literal, with a clear code whenever the table
// would grow past 12 bits (unless `neverClear`), so any index sequence can be encoded.
Bytes LzwEncode(const std::vector<unsigned char> &indices, int codeSize, bool neverClear = false);
struct GifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<unsigned char> indices{};  // top row first, in the order they are stored
  int localBits = 0;                     // 0 = no local table
  std::vector<uint32_t> localColours{};  // 0xRRGGBB
  bool interlaced = false;
  int transparent = -1;
  int delay = 0, disposal = 0;
  bool graphicControl = false;
  bool neverClear = false;  // codes that overflow the 4096-entry table
};
// `globalBits` 0 = no global table; `screenBits` is the depth field of the screen. A comment
// takes one sub-block: at most 255 characters.
Bytes MakeGif(int width, int height, int globalBits, const std::vector<uint32_t> &globalColours,
              const std::vector<GifFrame> &frames, const std::string &comment = {}, int screenBits = 0);

// JPEG via libjpeg: `components` 1 (grey), 3 (colour) or 4 (inks: cyan, magenta, yellow,
// black as stored). Pixels in the order of the components, top row first. Optional comment
// and APP1 data. Inks are stored as `inks` says; `adobe` writes Adobe's marker (whose inks are
// inverted, 255 meaning no ink); YCCK needs it to be told apart.
enum class Inks { kCmyk, kYcck };
Bytes MakeJpeg(int width, int height, int components, const Bytes &pixels, int quality = 95,
               const std::string &comment = {}, const std::string &app1 = {}, Inks inks = Inks::kCmyk,
               bool adobe = true);
// A colour picture with smooth content, RGB order.
Bytes Gradient(int width, int height);

// Decoded pictures.
struct Rgb {
  int r, g, b;
};
// Colour at (x, y) counted from the top row, through the picture core's 24-bit conversion.
Rgb PixelAt(HDIB h, int x, int y);
// The stored index at (x, y) from the top row of a 1, 4 or 8-bit picture.
uint32_t IndexAt(HDIB h, int x, int y);
BitmapInfoHeader HeaderOf(HDIB h);
// Palette entry i as 0xRRGGBB.
uint32_t PaletteAt(HDIB h, int i);

// Owns a decoded picture for the length of a test.
struct Picture {
  HDIB h = nullptr;
  ~Picture() { GlobalFree(h); }
  HDIB *out() { return &h; }
};

// The first SPI_HEAD_BYTES of a memory image (a std::string or Bytes), zero-filled past the data.
template <class Data>
std::string Head(const Data &file) {
  std::string head(reinterpret_cast<const char *>(file.data()),
                   std::min<size_t>(file.size(), SPI_HEAD_BYTES));
  head.resize(SPI_HEAD_BYTES, '\0');
  return head;
}
// The decoder the host's search picks for a memory image, handed its head as callers do.
template <class Data>
int FindDecoder(CSpiHost &host, const std::string &name, const Data &file) {
  const std::string head = Head(file);
  SpiQuery query;
  query.fileName = name;
  query.data = reinterpret_cast<uintptr_t>(head.data());
  query.length = SPI_HEAD_BYTES;
  return host.FindDecoder(query);
}

// A built-in decoder's entries on a memory image. Claims hands IsSupported the head.
template <class Data>
int Claims(int position, const char *name, const Data &file) {
  return builtin::IsSupported(position, name, reinterpret_cast<uintptr_t>(Head(file).data()));
}
template <class Data>
int Decode(int position, const Data &file, Picture &pic, long reduction = 0, ProgressProc progress = nullptr,
           long user = 0) {
  return builtin::GetPicture(position, reinterpret_cast<const char *>(file.data()),
                             static_cast<long>(file.size()), SPI_SOURCE_MEMORY, pic.out(), 0, reduction,
                             progress, user);
}
template <class Data>
int InfoOf(int position, const Data &file, SpiPictureInfo &info, uint32_t *extra = nullptr) {
  return builtin::GetPictureInfo(position, reinterpret_cast<const char *>(file.data()),
                                 static_cast<long>(file.size()), SPI_SOURCE_MEMORY, &info, extra);
}
// The text of an information block, which is then freed; "" when there is none.
std::string TakeText(uint32_t hInfo);

}  // namespace tamro::test
