// The TIFF plug-in: the depths, sample kinds and layouts the built-in TIFF decoder leaves,
// read from files libtiff writes here and compared with values the test works out.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "plugins/picturemodule.h"
#include "plugins/spimodule.h"
#include "plugins/testfiles.h"
#include "support/bytes.h"
#include "support/sandbox.h"

namespace tamro::test {
namespace {

// A picture as libtiff is asked to write it; `value` gives sample s of pixel (x, y), by default
// a ramp along the row.
struct TiffDesc {
  int width = 8, height = 2, bits = 8, samples = 1;
  uint16_t format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
  uint16_t compression = COMPRESSION_NONE, predictor = PREDICTOR_NONE;
  int rowsPerStrip = 1, tile = 0;  // square tiles of this size instead of strips when not 0
  int alpha = -1;                  // the extra sample's kind
  double low = 0, high = 0;        // written as SMin/SMaxSampleValue when high > low
  std::function<double(int x, int y, int s)> value = [](int x, int, int) { return x; };
};

// Whole-byte samples in the machine's order (little-endian: the low bytes of the 64-bit
// integer), others packed from the most significant bit.
void PutSample(uint8_t *row, size_t index, const TiffDesc &d, double v) {
  const float f = static_cast<float>(v);
  const auto u = static_cast<uint64_t>(v);
  const void *from = &u;
  if (d.format == SAMPLEFORMAT_IEEEFP) from = d.bits == 32 ? static_cast<const void *>(&f) : &v;
  if (d.bits % 8 == 0) {
    std::memcpy(row + index * d.bits / 8, from, d.bits / 8);
    return;
  }
  for (int b = 0; b < d.bits; ++b)
    if (u >> (d.bits - 1 - b) & 1) {
      const size_t at = index * d.bits + b;
      row[at / 8] |= static_cast<uint8_t>(0x80 >> at % 8);
    }
}

std::string WriteTiff(const Sandbox &box, const TiffDesc &d) {
  const std::string path = box.path("written.tif").string();
  TIFF *t = TIFFOpen(path.c_str(), "w");
  EXPECT_NE(t, nullptr);
  if (t == nullptr) return {};
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, d.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, d.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, d.bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, d.samples);
  TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, d.format);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, d.photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, d.planar);
  TIFFSetField(t, TIFFTAG_COMPRESSION, d.compression);
  if (d.predictor != PREDICTOR_NONE) TIFFSetField(t, TIFFTAG_PREDICTOR, d.predictor);
  if (d.alpha >= 0) {
    const uint16_t kinds[1] = {static_cast<uint16_t>(d.alpha)};
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, kinds);
  }
  if (d.high > d.low) {
    TIFFSetField(t, TIFFTAG_SMINSAMPLEVALUE, d.low);
    TIFFSetField(t, TIFFTAG_SMAXSAMPLEVALUE, d.high);
  }
  if (d.tile) {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, d.tile);
    TIFFSetField(t, TIFFTAG_TILELENGTH, d.tile);
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, d.rowsPerStrip);
  }
  const bool planar = d.planar == PLANARCONFIG_SEPARATE;
  const int planes = planar ? d.samples : 1, perBlock = planar ? 1 : d.samples;
  const int bw = d.tile ? d.tile : d.width, bh = d.tile ? d.tile : d.rowsPerStrip;
  const size_t rowBytes = (static_cast<size_t>(bw) * perBlock * d.bits + 7) / 8;
  for (int plane = 0; plane < planes; ++plane)
    for (int top = 0; top < d.height; top += bh)
      for (int left = 0; left < d.width; left += bw) {
        std::vector<uint8_t> block(rowBytes * bh);
        for (int r = 0; r < bh && top + r < d.height; ++r)
          for (int c = 0; c < bw && left + c < d.width; ++c)
            for (int s = 0; s < perBlock; ++s)
              PutSample(block.data() + r * rowBytes, static_cast<size_t>(c) * perBlock + s, d,
                        d.value(left + c, top + r, planar ? plane : s));
        const auto p = static_cast<uint16_t>(plane);
        const tmsize_t written =
            d.tile ? TIFFWriteEncodedTile(t, TIFFComputeTile(t, left, top, 0, p), block.data(),
                                          static_cast<tmsize_t>(block.size()))
                   : TIFFWriteEncodedStrip(t, TIFFComputeStrip(t, top, p), block.data(),
                                           static_cast<tmsize_t>(rowBytes * std::min(bh, d.height - top)));
        EXPECT_GE(written, 0);
      }
  TIFFClose(t);
  return ReadFile(path);
}

// Sets a tag of the first directory of a little-endian file to one LONG value.
void Patch(std::string &tiff, uint16_t tag, uint32_t value) {
  auto at = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(tiff[i])); };
  auto u16 = [&](size_t i) { return at(i) | at(i + 1) << 8; };
  const uint32_t dir = u16(4) | u16(6) << 16;
  for (uint32_t i = 0, n = u16(dir); i < n; ++i) {
    const size_t e = dir + 2 + 12 * i;
    if (u16(e) != tag) continue;
    std::string entry("\4\0\1\0\0\0", 6);  // LONG, one value
    PutLe32(entry, value);
    tiff.replace(e + 2, 10, entry);
  }
}

uint32_t Grey(long v) { return static_cast<uint32_t>(v) * 0x010101u; }
// An integer sample of `bits` bits reduced to 8 by rounding.
uint8_t Round8(uint64_t v, int bits) {
  const uint64_t max = (uint64_t{1} << bits) - 1;
  return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

using TiffPlugin = Loaded<kTiff>;

TEST_F(TiffPlugin, DepthsAndSampleKindsAreRoundedToEightBits) {
  auto gradient12 = [](int x, int y) { return y == 0 ? x * 65 : 4095 - x * 65; };
  auto rgb64 = [](int x, int, int s) { return -1 + 0.25 * (x + s); };
  const struct {
    const char *name;
    TiffDesc desc;
    std::function<uint32_t(int x, int y)> expect;
  } cases[] = {
      {"12-bit gradient",
       {.width = 64, .bits = 12, .value = [&](int x, int y, int) { return gradient12(x, y); }},
       [&](int x, int y) { return Grey(Round8(gradient12(x, y), 12)); }},
      {"float ramp in tiles, floating-point predictor",
       {.width = 40,
        .height = 3,
        .bits = 32,
        .format = SAMPLEFORMAT_IEEEFP,
        .compression = COMPRESSION_ADOBE_DEFLATE,
        .predictor = PREDICTOR_FLOATINGPOINT,
        .tile = 16,
        .value = [](int x, int, int) { return x / 39.0; }},
       [](int x, int) { return Grey(std::lround(x / 39.0 * 255)); }},
      {"floats past 0 to 1 and no stated range: the range they span",
       {.width = 6,
        .bits = 32,
        .format = SAMPLEFORMAT_IEEEFP,
        .value = [](int x, int, int) { return x * 100.0; }},
       [](int x, int) { return Grey(std::lround(x / 5.0 * 255)); }},
      {"min-is-white 3-bit",
       {.bits = 3, .photometric = PHOTOMETRIC_MINISWHITE},
       [](int x, int) { return Grey(255 - Round8(x, 3)); }},
      {"planar 64-bit float RGB scaled from its sample range",
       {.width = 5,
        .bits = 64,
        .samples = 3,
        .format = SAMPLEFORMAT_IEEEFP,
        .photometric = PHOTOMETRIC_RGB,
        .planar = PLANARCONFIG_SEPARATE,
        .rowsPerStrip = 2,
        .low = -1,
        .high = 1,
        .value = rgb64},
       [&](int x, int y) {
         uint32_t c = 0;
         for (int s = 0; s < 3; ++s)
           c = c << 8 | static_cast<uint32_t>(std::lround((rgb64(x, y, s) + 1) / 2 * 255));
         return c;
       }},
      {"10-bit RGB with alpha",
       {.width = 4,
        .bits = 10,
        .samples = 4,
        .photometric = PHOTOMETRIC_RGB,
        .alpha = EXTRASAMPLE_UNASSALPHA,
        .value = [](int x, int, int s) { return s == 3 ? x * 341 : 1023 - 511 * s; }},
       [](int x, int) {
         return OnWhite({Round8(1023, 10), Round8(512, 10), Round8(1, 10), Round8(x * 341, 10)});
       }},
      {"32-bit integers, horizontal predictor",
       {.width = 16,
        .bits = 32,
        .compression = COMPRESSION_LZW,
        .predictor = PREDICTOR_HORIZONTAL,
        .value = [](int x, int, int) { return x * 268435455.0; }},
       [](int x, int) { return Grey(Round8(x * uint64_t{268435455}, 32)); }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string tiff = WriteTiff(box, c.desc);
    EXPECT_EQ(spi->IsSupportedHead("x.tif", tiff), 1);
    EXPECT_EQ(Info(tiff).colorDepth, c.desc.samples * c.desc.bits);
    Picture p;
    ASSERT_EQ(DecodeMemory(*spi, tiff, p), SPI_OK);
    ASSERT_EQ(std::pair(p.width, p.height), std::pair(c.desc.width, c.desc.height));
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x)
        ASSERT_EQ(p.At(x, y), c.expect(x, y)) << std::hex << "pixel " << std::dec << x << "," << y;
  }
}

TEST_F(TiffPlugin, TakesOnlyWhatTheBuiltInDecoderLeaves) {
  for (auto [bits, samples] : {std::pair{8, 1}, std::pair{16, 1}, std::pair{8, 3}}) {
    const TiffDesc d{
        .bits = bits,
        .samples = samples,
        .photometric = static_cast<uint16_t>(samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK)};
    EXPECT_EQ(spi->IsSupportedHead("x.tif", WriteTiff(box, d)), 0) << bits << " bits";
  }
  // Camera raw files are TIFF files whose first directory is not the picture.
  const std::string small = WriteTiff(box, {.bits = 12});
  EXPECT_EQ(spi->IsSupportedHead("x.tif", small), 1);
  EXPECT_EQ(spi->IsSupportedHead("x.NEF", small), 0);
  // A directory past the head bytes is found in the file the call names, or through the
  // descriptor; from the head alone the file is left to the built-in decoder.
  const std::string large = WriteTiff(box, {.width = 64, .height = 64, .bits = 12});
  ASSERT_GT(large.size(), size_t{SPI_HEAD_BYTES});
  const auto file = box.write("large.tif", large);
  EXPECT_EQ(spi->IsSupportedHead("", large), 0);
  EXPECT_EQ(spi->IsSupportedHead(file.string(), large), 1);
  EXPECT_EQ(spi->IsSupportedFd(file), 1);
}

TEST_F(TiffPlugin, CutAndLyingFilesFailCleanlyAndCancelStops) {
  TiffDesc d{.width = 64, .height = 64, .bits = 12, .value = [](int x, int y, int) { return x * y; }};
  std::string tiff = WriteTiff(box, d);
  Picture p;
  EXPECT_EQ(DecodeMemory(*spi, tiff, p, [](int, int, long) { return 1; }), SPI_FORMAT_ERROR);
  ExpectCutsFailCleanly(tiff);  // the directory comes last: cuts lose it or the strips before it
  // Twice the rows the strips hold: the rows read stand. A size past the decode budget is
  // refused.
  Patch(tiff, TIFFTAG_IMAGELENGTH, 128);
  ASSERT_EQ(DecodeMemory(*spi, tiff, p), SPI_OK);
  ASSERT_EQ(p.height, 128);
  for (int y : {0, 33, 63}) EXPECT_EQ(p.At(40, y), Grey(Round8(40 * y, 12))) << y;
  Patch(tiff, TIFFTAG_IMAGEWIDTH, 100000);
  Patch(tiff, TIFFTAG_IMAGELENGTH, 100000);
  EXPECT_NE(DecodeMemory(*spi, tiff, p), SPI_OK);
}

}  // namespace
}  // namespace tamro::test
