#include <gtest/gtest.h>
#include <tiffio.h>

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

// One row of `width` pixels; `map` holds `n` entries, all black but entry `i`.
TiffLayout Row(uint32_t width, uint16_t bits, Bytes pixels, uint16_t photometric = PHOTOMETRIC_MINISBLACK,
               std::size_t n = 0, std::size_t i = 0, uint16_t r = 0, uint16_t g = 0, uint16_t b = 0) {
  TiffLayout s{.width = width, .height = 1, .bits = bits, .photometric = photometric, .pixels = pixels};
  if (n) s.map.resize(3 * n), s.map[i] = r, s.map[n + i] = g, s.map[2 * n + i] = b;
  return s;
}

// Strip reading, red-blue exchange, row order and 16-bit grey values are compared with Qt in the
// conformance test (multi-strip, RGB and 16-bit files of the corpus); here the block's layout.
TEST(TiffPicture, RgbAndOtherLayoutsGiveTwentyFourBitsAndTheDefaultDensity) {
  test::Sandbox box;
  const TiffLayout layouts[] = {
      // Three strips, the last one short.
      {.height = 5, .rowsPerStrip = 2, .samples = 3, .photometric = PHOTOMETRIC_RGB, .pixels = Bytes(60, 7)},
      // Little-endian 16-bit grey, through the RGBA reader.
      {.width = 2, .height = 2, .bits = 16, .pixels = {0x00, 0xFF, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF}}};
  for (const TiffLayout &s : layouts) {
    SCOPED_TRACE(s.bits);
    const Bytes file = WriteTiff(box, s);
    Picture pic;
    ASSERT_EQ(Decode(file, pic), 0);
    const BitmapInfoHeader h = test::HeaderOf(pic.h);
    EXPECT_EQ(std::tuple(h.bitCount, h.xPelsPerMeter, h.yPelsPerMeter), std::tuple(24, 2834, 2834));
    // The depth: samples x bits.
    SpiPictureInfo info{};
    ASSERT_EQ(test::InfoOf(kTiff, file, info), 0);
    EXPECT_EQ(std::tuple(+info.width, +info.colorDepth),
              std::tuple(static_cast<int>(s.width), s.samples * s.bits));
  }
}

// Palette and grey pictures keep their indices; the table comes from the map (values x 255 /
// 65535, or taken as 8-bit values when all are small) or rises or falls with the photometric.
TEST(TiffPicture, IndexedPicturesKeepTheirIndicesAndGetTheirTable) {
  test::Sandbox box;
  const struct {
    const char *name;
    TiffLayout layout;
    uint16_t bitCount;
    std::vector<std::pair<int, uint32_t>> palette;  // entry, 0xRRGGBB
    std::vector<uint32_t> indices;                  // of the first row from the left
  } cases[] = {
      {"wide", Row(2, 8, {1, 0}, PHOTOMETRIC_PALETTE, 256, 1, 65535, 32768, 256), 8, {{1, 0xFF7F00}}, {1}},
      {"narrow", Row(2, 4, {0x20}, PHOTOMETRIC_PALETTE, 16, 2, 200, 100, 7), 4, {{2, 0xC86407}}, {2}},
      {"min-is-black", Row(8, 4, {0x0F, 0x12, 0x34, 0x56}), 4, {{1, 0x111111}, {15, 0xFFFFFF}}, {0, 15}},
      {"min-is-white", Row(8, 1, {0x80}, PHOTOMETRIC_MINISWHITE), 1, {{0, 0xFFFFFF}, {1, 0}}, {1, 0}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Picture pic;
    ASSERT_EQ(Decode(WriteTiff(box, c.layout), pic), 0);
    EXPECT_EQ(test::HeaderOf(pic.h).bitCount, c.bitCount);
    for (const auto &[entry, colour] : c.palette) EXPECT_EQ(test::PaletteAt(pic.h, entry), colour) << entry;
    for (std::size_t x = 0; x < c.indices.size(); ++x)
      EXPECT_EQ(test::IndexAt(pic.h, static_cast<int>(x), 0), c.indices[x]) << x;
  }
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
  EXPECT_EQ(std::tuple(test::IndexAt(pic.h, 0, 0), test::IndexAt(pic.h, 3, 1), test::IndexAt(pic.h, 0, 2)),
            std::tuple(200u, 200u, 0u));
}

TEST(TiffPicture, FileFormAndBrokenInput) {
  test::Sandbox box;
  TiffLayout s{.width = 3, .height = 2, .pixels = Bytes(6, 50)};
  const Bytes file = WriteTiff(box, s);
  const auto path = box.write("x.tif", std::string(5, 'q') + std::string(file.begin(), file.end()));
  Picture pic;
  ASSERT_EQ(GetPicture(kTiff, path.c_str(), 5, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), 0);
  SpiPictureInfo info{};
  EXPECT_EQ(GetPictureInfo(kTiff, path.c_str(), 5, SPI_SOURCE_FILE, &info, nullptr), 0);
  EXPECT_EQ(std::tuple(test::HeaderOf(pic.h).width, +info.colorDepth), std::tuple(3, 8));
  EXPECT_EQ(GetPictureInfo(kTiff, path.c_str(), 0, SPI_SOURCE_FILE, &info, nullptr), SPI_READ_ERROR);
  for (std::size_t cut : {std::size_t{8}, file.size() / 2, file.size() - 20}) {
    Picture part;
    Decode(Bytes(file.begin(), file.begin() + static_cast<long>(cut)), part);
  }
  Picture none;
  EXPECT_EQ(Decode(Bytes{'I', 'I', 0x2A, 0, 0xFF, 0xFF, 0xFF, 0x7F}, none), SPI_READ_ERROR);
}

}  // namespace
}  // namespace tamro::builtin
