#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>

#include "decode/builtin/builtin.h"
#include "helpers.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

using test::Bytes;
using test::Picture;

struct TiffLayout {
  uint32_t width = 4, height = 4, rowsPerStrip = 0;
  uint16_t bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK;
  std::vector<uint16_t> map{};  // red, green, blue arrays one after another
  Bytes pixels{};               // rows one after another, top first
};

Bytes WriteTiff(const test::Sandbox &box, const TiffLayout &s) {
  const auto path = box.path("w.tif");
  TIFF *t = TIFFOpen(path.c_str(), "w");
  EXPECT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, s.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, s.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.samples);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, s.rowsPerStrip ? s.rowsPerStrip : s.height);
  if (!s.map.empty()) {
    const std::size_t n = s.map.size() / 3;
    TIFFSetField(t, TIFFTAG_COLORMAP, s.map.data(), s.map.data() + n, s.map.data() + 2 * n);
  }
  const tmsize_t line = TIFFScanlineSize(t);
  for (uint32_t y = 0; y < s.height; ++y) {
    Bytes row(s.pixels.begin() + static_cast<long>(y * line),
              s.pixels.begin() + static_cast<long>((y + 1) * line));
    TIFFWriteScanline(t, row.data(), y, 0);
  }
  TIFFClose(t);
  const std::string data = test::ReadFile(path);
  return Bytes(data.begin(), data.end());
}

int Decode(const Bytes &file, Picture &pic) { return test::Decode(kTiff, file, pic); }

TEST(TiffSupport, ClaimsBothByteOrdersOnly) {
  auto claims = [](std::initializer_list<unsigned char> start) {
    return test::Claims(kTiff, "a.tif", Bytes(start));
  };
  EXPECT_EQ(claims({'M', 'M', 0, 0x2A}), 1);
  EXPECT_EQ(claims({'I', 'I', 0x2A, 0}), 1);
  EXPECT_EQ(claims({'I', 'I', 0x2B, 0}), 0);
  EXPECT_EQ(claims({'M', 'M', 0x2A, 0}), 0);
}

// Strip reading, red-blue exchange, row order and 16-bit grey values are compared with Qt in the
// conformance test (multi-strip, RGB and 16-bit files of the corpus); here the block's layout.
TEST(TiffPicture, RgbGivesTwentyFourBitsAndTheDefaultDensity) {
  test::Sandbox box;
  // Three strips, the last one short.
  TiffLayout s{.width = 2, .height = 5, .rowsPerStrip = 2, .samples = 3, .photometric = PHOTOMETRIC_RGB,
               .pixels = Bytes(30, 7)};
  Picture pic;
  ASSERT_EQ(Decode(WriteTiff(box, s), pic), 0);
  const BitmapInfoHeader h = test::HeaderOf(pic.h);
  EXPECT_EQ(h.bitCount, 24);
  EXPECT_EQ(h.xPelsPerMeter, 2834);
  EXPECT_EQ(h.yPelsPerMeter, 2834);
}

TEST(TiffPicture, PaletteMapsOfSixteenAndEightBits) {
  test::Sandbox box;
  TiffLayout s{
      .width = 2, .height = 1, .photometric = PHOTOMETRIC_PALETTE, .map = std::vector<uint16_t>(3 * 256)};
  s.map[1] = 65535;        // red of entry 1
  s.map[256 + 1] = 32768;  // green
  s.map[512 + 1] = 256;    // blue
  s.pixels = {1, 0};
  Picture wide;
  ASSERT_EQ(Decode(WriteTiff(box, s), wide), 0);
  EXPECT_EQ(test::HeaderOf(wide.h).bitCount, 8);
  EXPECT_EQ(test::PaletteAt(wide.h, 1), 0xFF7F00u) << "values x 255 / 65535";
  EXPECT_EQ(test::IndexAt(wide.h, 0, 0), 1u);

  // A map of small values is taken as 8-bit values.
  s.bits = 4;
  s.map.assign(3 * 16, 0);
  s.map[2] = 200;
  s.map[16 + 2] = 100;
  s.map[32 + 2] = 7;
  s.pixels = {0x20};
  Picture narrow;
  ASSERT_EQ(Decode(WriteTiff(box, s), narrow), 0);
  EXPECT_EQ(test::HeaderOf(narrow.h).bitCount, 4);
  EXPECT_EQ(test::PaletteAt(narrow.h, 2), 0xC86407u);
  EXPECT_EQ(test::IndexAt(narrow.h, 0, 0), 2u);
}

TEST(TiffPicture, GreyRampsRiseOrFallWithThePhotometric) {
  test::Sandbox box;
  TiffLayout s{.width = 8, .height = 1, .bits = 4, .pixels = {0x0F, 0x12, 0x34, 0x56}};
  Picture black;
  ASSERT_EQ(Decode(WriteTiff(box, s), black), 0);
  EXPECT_EQ(test::PaletteAt(black.h, 1), 0x111111u);
  EXPECT_EQ(test::PaletteAt(black.h, 15), 0xFFFFFFu);
  EXPECT_EQ(test::IndexAt(black.h, 1, 0), 15u);

  s.bits = 1;
  s.photometric = PHOTOMETRIC_MINISWHITE;
  s.pixels = {0x80};
  Picture white;
  ASSERT_EQ(Decode(WriteTiff(box, s), white), 0);
  EXPECT_EQ(test::HeaderOf(white.h).bitCount, 1);
  EXPECT_EQ(test::PaletteAt(white.h, 0), 0xFFFFFFu);
  EXPECT_EQ(test::PaletteAt(white.h, 1), 0u);
  EXPECT_EQ(test::PixelAt(white.h, 0, 0).r, 0);
  EXPECT_EQ(test::PixelAt(white.h, 1, 0).r, 255);
}

TEST(TiffPicture, OtherLayoutsGoThroughTheRgbaReader) {
  test::Sandbox box;
  // Little-endian 16-bit grey.
  TiffLayout s{
      .width = 2, .height = 2, .bits = 16, .pixels = {0x00, 0xFF, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF}};
  Picture pic;
  ASSERT_EQ(Decode(WriteTiff(box, s), pic), 0);
  EXPECT_EQ(test::HeaderOf(pic.h).bitCount, 24);

  SpiPictureInfo info{};
  ASSERT_EQ(test::InfoOf(kTiff, WriteTiff(box, s), info), 0);
  EXPECT_EQ(info.width, 2);
  EXPECT_EQ(info.colorDepth, 16) << "samples x bits";
}

// Points the second strip outside the file: the first strip's rows stand.
TEST(TiffPicture, AStripErrorKeepsTheRowsRead) {
  test::Sandbox box;
  TiffLayout s{.width = 4, .height = 4, .rowsPerStrip = 2, .pixels = Bytes(16, 200)};
  Bytes file = WriteTiff(box, s);
  ASSERT_EQ(file[0], 'I');
  const uint32_t ifd = file[4] | file[5] << 8 | file[6] << 16 | static_cast<uint32_t>(file[7]) << 24;
  const unsigned entries = file[ifd] | file[ifd + 1] << 8;
  bool patched = false;
  for (unsigned i = 0; i < entries; ++i) {
    unsigned char *e = &file[ifd + 2 + i * 12];
    if ((e[0] | e[1] << 8) != TIFFTAG_STRIPOFFSETS) continue;
    ASSERT_EQ(e[4], 2) << "two strips, offsets inside the entry (SHORT) or behind it (LONG)";
    const unsigned type = e[2];
    unsigned char *second = type == TIFF_SHORT ? e + 10 : &file[e[8] | e[9] << 8] + 4;
    second[0] = second[1] = 0xF0;
    if (type == TIFF_LONG) second[2] = 0x0F;
    patched = true;
  }
  ASSERT_TRUE(patched);
  Picture pic;
  ASSERT_EQ(Decode(file, pic), 0);
  EXPECT_EQ(test::IndexAt(pic.h, 0, 0), 200u);
  EXPECT_EQ(test::IndexAt(pic.h, 3, 1), 200u);
  EXPECT_EQ(test::IndexAt(pic.h, 0, 2), 0u);
}

TEST(TiffPicture, FileFormAndBrokenInput) {
  test::Sandbox box;
  TiffLayout s{.width = 3, .height = 2, .pixels = Bytes(6, 50)};
  const Bytes file = WriteTiff(box, s);
  const auto path = box.write("x.tif", std::string(5, 'q') + std::string(file.begin(), file.end()));
  Picture pic;
  ASSERT_EQ(GetPicture(kTiff, path.c_str(), 5, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), 0);
  EXPECT_EQ(test::HeaderOf(pic.h).width, 3);
  SpiPictureInfo info{};
  EXPECT_EQ(GetPictureInfo(kTiff, path.c_str(), 5, SPI_SOURCE_FILE, &info, nullptr), 0);
  EXPECT_EQ(info.colorDepth, 8);
  EXPECT_EQ(GetPictureInfo(kTiff, path.c_str(), 0, SPI_SOURCE_FILE, &info, nullptr), SPI_READ_ERROR);
  Picture none;
  for (std::size_t cut : {std::size_t{8}, file.size() / 2, file.size() - 20}) {
    const Bytes part(file.begin(), file.begin() + static_cast<long>(cut));
    const int r = Decode(part, none);
    if (r == 0) {
      GlobalFree(none.h);
      none.h = nullptr;
    }
  }
  EXPECT_EQ(Decode(Bytes{'I', 'I', 0x2A, 0, 0xFF, 0xFF, 0xFF, 0x7F}, none), SPI_READ_ERROR);
}

}  // namespace
}  // namespace tamro::builtin
