// The picture plug-ins driven through their entry points, as the host calls them.

#include <gtest/gtest.h>
#include <lcms2.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <cstdlib>
#include <cstring>

#include "plugins/picturemodule.h"
#include "plugins/spimodule.h"
#include "plugins/testfiles.h"
#include "support/sandbox.h"

namespace tamro::test {
namespace {

// ---- PNG ----

using PngPlugin = Loaded<kPng>;

// Palette with transparency, 16-bit colour and alpha composited on white: decoded through the
// host in host_test.cpp.

TEST_F(PngPlugin, DensityDepthLowBitGreyAndInterlaced) {
  PngDesc rgb16{.width = 3, .height = 2, .colorType = PNG_COLOR_TYPE_RGB, .bitDepth = 16, .dpi = 300};
  rgb16.rows.assign(2, std::vector<uint8_t>(18, 0x40));
  const std::string png16 = WritePng(rgb16);
  Facts info = Info(png16);
  EXPECT_EQ(std::pair(info.colorDepth, info.x_density), std::pair(48, 300));
  Picture p;
  ASSERT_EQ(DecodeMemory(*spi, png16, p), SPI_OK);
  EXPECT_EQ(p.xPelsPerMeter, 11811);

  PngDesc grey1{.width = 10, .height = 1, .colorType = PNG_COLOR_TYPE_GRAY, .bitDepth = 1};
  grey1.rows = {{0xA5, 0x80}};  // 1010 0101 10
  ASSERT_EQ(DecodeMemory(*spi, WritePng(grey1), p), SPI_OK);
  const uint32_t expect[10] = {0xFFFFFF, 0, 0xFFFFFF, 0, 0, 0xFFFFFF, 0, 0xFFFFFF, 0xFFFFFF, 0};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(p.At(x, 0), expect[x]) << x;

  // Interlaced RGBA and RGB: the same pictures as the plain ones.
  for (bool alpha : {true, false}) {
    const RgbaImage q = Quadrants(13, 11, 200);
    Picture plain, laced;
    ASSERT_EQ(DecodeMemory(*spi, PngFromRgba(q, false, {}, alpha), plain), SPI_OK);
    ASSERT_EQ(DecodeMemory(*spi, PngFromRgba(q, true, {}, alpha), laced), SPI_OK);
    EXPECT_EQ(plain.bgr, laced.bgr) << alpha;
    ExpectQuadrants(laced, alpha ? 200 : 255, 0);
  }
}

// Entries, marks, facts and cuts: the round trip table at the end.
TEST_F(PngPlugin, FileAndDescriptorFormsReadFromTheOffset) {
  const std::string png = PngFromRgba(Quadrants(6, 6));
  EXPECT_EQ(spi->IsSupportedHead("x.png", "GIF89a"), 0);
  const Facts facts = Info(png);
  EXPECT_EQ(std::pair(facts.left, facts.hInfo), std::pair(0, 0u));
  auto file = box.write("mac.bin", std::string(128, '\0') + png);
  EXPECT_EQ(std::pair(spi->IsSupportedFd(file, 128), spi->IsSupportedFd(file, 0)), std::pair(1, 0));
  Picture p;
  ASSERT_EQ(DecodeFile(*spi, file, 128, p), SPI_OK);
  ExpectQuadrants(p, 255, 0);
  SpiPictureInfo info;
  ASSERT_EQ(spi->getPictureInfo(file.c_str(), 128, SPI_SOURCE_FILE, &info), SPI_OK);
  EXPECT_EQ(Unpack(info).width, 6);
  EXPECT_NE(DecodeFile(*spi, file, 0, p), SPI_OK);
  EXPECT_EQ(DecodeFile(*spi, box.path("missing.png"), 0, p), SPI_READ_ERROR);
  EXPECT_NE(DecodeFile(*spi, file, 1 << 20, p), SPI_OK);  // offset past the end
}

TEST_F(PngPlugin, BrokenAndLyingFilesFailCleanly) {
  std::string png = PngFromRgba(Quadrants(40, 40, 128));
  ExpectCutsFailCleanly(png);
  // The header's size set to `side` x `side` pixels, its CRC made good again.
  const auto square = [&png](uint32_t side) {
    std::string out = png;
    const auto put = [&out](int at, uint32_t v) {
      for (int k = 0; k < 4; ++k) out[at + k] = static_cast<char>(v >> (24 - 8 * k));
    };
    for (int at : {16, 20}) put(at, side);
    put(29, Crc32(out.substr(12, 17)));
    return out;
  };
  // 100000 x 100000 pixels: refused or data ended, quickly and without a block.
  Picture p;
  EXPECT_NE(DecodeMemory(*spi, square(100000), p), SPI_OK);
  // 20000 x 20000 pixels would take 1.2 GB: beyond the decode budget, refused as such.
  EXPECT_EQ(DecodeMemory(*spi, square(20000), p), SPI_OUT_OF_MEMORY);
  // A damaged image-data CRC.
  std::string bad = png;
  bad[bad.find("IDAT") + 10] ^= 0x40;
  EXPECT_NE(DecodeMemory(*spi, bad, p), SPI_OK);
  SpiPictureInfo info;
  EXPECT_EQ(spi->getPictureInfo(nullptr, 10, SPI_SOURCE_MEMORY, &info), SPI_FORMAT_ERROR);
  EXPECT_EQ(spi->getPictureInfo(png.data(), static_cast<long>(png.size()), SPI_SOURCE_MEMORY, nullptr),
            SPI_NO_FUNCTION);
}

int CancelAtHalf(int done, int total, long user) {
  ++*reinterpret_cast<int *>(user);
  return total > 0 && done * 2 >= total ? 1 : 0;
}

// PNG progress rises by rows; PNG and lossy WebP stop when cancelled.
TEST_F(PictureModule, ProgressRisesAndCancelStops) {
  Load(kPng);
  const std::string png = PngFromRgba(Quadrants(50, 400));
  std::vector<std::pair<int, int>> calls;
  Picture p;
  ASSERT_EQ(DecodeMemory(*spi, png, p, &RecordProgress, reinterpret_cast<long>(&calls)), SPI_OK);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.front().first, 0);
  EXPECT_EQ(calls.back(), std::make_pair(400, 400));
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_GE(calls[i].first, calls[i - 1].first);
  // PNG asks again before it stops; WebP may stop at its first question.
  for (const auto &[module, bytes] : {std::pair{kPng, png}, std::pair{kWebp, Webp(Quadrants(64, 300), 95)}}) {
    Load(module);
    int asked = 0;
    EXPECT_EQ(DecodeMemory(*spi, bytes, p, &CancelAtHalf, reinterpret_cast<long>(&asked)), SPI_FORMAT_ERROR)
        << module;
    EXPECT_GE(asked, module == kPng ? 2 : 1) << module;
  }
}

// Every corpus file of the kind that the plug-in takes decodes to the size its facts give: every
// PNG that decodes at all (some are broken on purpose), and every TIFF file the TIFF plug-in
// takes, which on the shared corpus are the 65 of 197 that no other decoder read.
TEST_F(PictureModule, EveryCorpusPngAndTiffDecodesToItsStatedSize) {
  if (!std::filesystem::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  int decoded = 0;
  for (const auto &[module, tiff] : {std::pair{kPng, false}, std::pair{kTiff, true}}) {
    Load(module);
    for (const auto &e : std::filesystem::recursive_directory_iterator(CorpusDir())) {
      const std::string ext = e.path().extension().string();
      if (tiff ? ext != ".tif" && ext != ".tiff" : ext != ".png") continue;
      if (tiff && spi->IsSupportedFd(e.path()) == 0) continue;
      SCOPED_TRACE(e.path().string());
      const std::string bytes = ReadFile(e.path());
      Picture p;
      const int rc = DecodeMemory(*spi, bytes, p);
      if (rc != SPI_OK && !tiff) continue;
      ASSERT_EQ(rc, SPI_OK);
      ++decoded;
      const Facts info = Info(bytes);
      EXPECT_EQ(std::pair(p.width, p.height), std::pair(info.width, info.height));
    }
  }
  if (decoded == 0) GTEST_SKIP() << "no PNG or TIFF file in the corpus that the plug-ins take";
}

// ---- GIF ----

using GifPlugin = Loaded<kGif>;

// Red, green, blue, black.
const std::vector<Rgba> kGifColours = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {0, 0, 0, 255}};

TEST_F(GifPlugin, FirstImageOnItsLogicalScreen) {
  spi->ExpectPatterns("00IN", {"*.gif"});
  const GifFrame first{2, 1, 3, 2, false, 3, {0, 1, 3, 2, 2, 0}};  // index 3 is transparent
  const GifFrame second{0, 0, 6, 4, false, -1, std::vector<uint8_t>(24, 2)};
  const std::string gif = WriteGif(6, 4, kGifColours, {first, second});
  ASSERT_FALSE(gif.empty());
  EXPECT_EQ(spi->IsSupportedHead("a.gif", gif), 1);
  EXPECT_EQ(spi->IsSupportedHead("a.gif", "GIF88a"), 0);
  EXPECT_EQ(Shape(gif), "6x4, 2");
  Picture p;
  ASSERT_EQ(DecodeMemory(*spi, gif, p), SPI_OK);
  ASSERT_EQ(std::pair(p.width, p.height), std::pair(6, 4));
  // The first image only, where it lies; the rest of the screen and its transparent pixel white.
  const uint32_t W = 0xFFFFFF, R = 0xFF0000, G = 0x00FF00, B = 0x0000FF;
  const uint32_t want[4][6] = {
      {W, W, W, W, W, W}, {W, W, R, G, W, W}, {W, W, B, B, R, W}, {W, W, W, W, W, W}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(p.At(x, y), want[y][x]) << x << "," << y;
  ExpectCutsFailCleanly(gif);
}

TEST_F(GifPlugin, InterlacedRowsAndAPictureCutShort) {
  GifFrame frame{0, 0, 40, 64, true, -1, {}};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 40; ++x) frame.indices.push_back(static_cast<uint8_t>((x * 7 + y * 5) % 3));
  const std::string gif = WriteGif(40, 64, kGifColours, {frame});
  Picture p;
  ASSERT_EQ(DecodeMemory(*spi, gif, p), SPI_OK);
  for (int y : {0, 1, 4, 37, 63})
    for (int x : {0, 3, 39})
      EXPECT_EQ(p.At(x, y), OnWhite(kGifColours[(x * 7 + y * 5) % 3])) << x << "," << y;
  // Cut inside the second pass: rows not reached repeat rows above them, so none stays blank.
  ASSERT_EQ(DecodeMemory(*spi, gif.substr(0, gif.size() * 3 / 10), p), SPI_OK);
  for (int y = 0; y < 64; ++y) EXPECT_NE(p.At(20, y), 0xFFFFFFu) << "row " << y;
}

// ---- Qt's readers ----

// Builds a file of little-endian fields.
struct Bytes {
  std::string data;
  Bytes &str(std::string_view s) { return data.append(s), *this; }
  Bytes &u8(unsigned v) { return str(std::string(1, static_cast<char>(v))); }
  Bytes &u16(uint32_t v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
  Bytes &u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes &zeros(size_t n) { return str(std::string(n, '\0')); }
  Bytes &bgr(Rgba c) { return u8(c.b).u8(c.g).u8(c.r); }
};

class QtPlugin : public Loaded<kQt> {
 protected:
  // The pixels are bytes red, green, blue, alpha: Qt's RGBA8888.
  static QImage ToQImage(const RgbaImage &image) {
    return QImage(reinterpret_cast<const uchar *>(image.pixels.data()), image.width, image.height,
                  image.width * 4, QImage::Format_RGBA8888)
        .copy();
  }
  static std::string Written(const QImage &image, const char *format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << format;
    return bytes.toStdString();
  }
  // A BMP with the 124-byte header and 32-bit pixels with alpha, bottom row first.
  static std::string BmpV5(const RgbaImage &image) {
    Bytes b;
    const uint32_t pixels = static_cast<uint32_t>(image.width * image.height * 4);
    b.str("BM").u32(14 + 124 + pixels).u32(0).u32(14 + 124);
    b.u32(124).u32(image.width).u32(image.height).u16(1).u16(32).u32(3).u32(pixels).u32(2835).u32(2835);
    b.u32(0).u32(0).u32(0x00FF0000).u32(0x0000FF00).u32(0x000000FF).u32(0xFF000000).u32(0x73524742);
    b.zeros(36 + 12).u32(4).u32(0).u32(0).u32(0);
    for (int y = image.height - 1; y >= 0; --y)
      for (int x = 0; x < image.width; ++x) b.bgr(image.at(x, y)).u8(image.at(x, y).a);
    return b.data;
  }
  // An uncompressed 24-bit Targa picture, top row first, with the footer of version 2.
  static std::string Targa(const RgbaImage &image) {
    Bytes b;
    b.u8(0).u8(0).u8(2).zeros(5).u16(0).u16(0).u16(image.width).u16(image.height).u8(24).u8(0x20);
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) b.bgr(image.at(x, y));
    b.u32(0).u32(0).str("TRUEVISION-XFILE.").u8(0);
    return b.data;
  }
  // A Windows icon whose entries are PNG pictures of the given sizes.
  static std::string IconOf(const std::vector<int> &sizes) {
    Bytes b;
    b.u16(0).u16(1).u16(static_cast<uint16_t>(sizes.size()));
    std::vector<std::string> pngs;
    for (int size : sizes) pngs.push_back(PngFromRgba(Quadrants(size, size)));
    uint32_t at = 6 + 16 * static_cast<uint32_t>(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
      b.u8(static_cast<uint8_t>(sizes[i])).u8(static_cast<uint8_t>(sizes[i])).u8(0).u8(0).u16(1).u16(32);
      b.u32(static_cast<uint32_t>(pngs[i].size())).u32(at);
      at += static_cast<uint32_t>(pngs[i].size());
    }
    for (const std::string &png : pngs) b.str(png);
    return b.data;
  }
};

TEST_F(QtPlugin, TakesOnlyWhatNoOtherDecoderReads) {
  // Square: Apple icons come in square sizes only.
  const RgbaImage quadrants = Quadrants(16, 16);
  const QImage q = ToQImage(quadrants);
  for (const char *format : {"png", "jpeg", "tiff", "webp"})
    EXPECT_EQ(spi->IsSupportedHead(std::string("x.") + format, Written(q, format)), 0) << format;
  EXPECT_EQ(
      spi->IsSupportedHead("x.gif", WriteGif(2, 2, kGifColours, {{0, 0, 2, 2, false, -1, {0, 1, 2, 3}}})), 0);
  // Qt writes an opaque BMP as the built-in decoder reads it: 40-byte header, 24 bits.
  EXPECT_EQ(spi->IsSupportedHead("x.bmp", Written(q.convertToFormat(QImage::Format_RGB32), "bmp")), 0);
  EXPECT_EQ(spi->IsSupportedHead("x.txt", "P7 not a picture"), 0);

  const struct {
    std::string name, bytes;
  } cases[] = {{"v5.bmp", BmpV5(quadrants)}, {"x.ico", Written(q, "ico")}, {"x.icns", Written(q, "icns")},
               {"x.ppm", Written(q, "ppm")}, {"x.xpm", Written(q, "xpm")}, {"x.TGA", Targa(quadrants)}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(spi->IsSupportedHead(c.name, c.bytes), 1);
    EXPECT_EQ(Shape(c.bytes).substr(0, 6), "16x16,");
    Picture p;
    ASSERT_EQ(DecodeMemory(*spi, c.bytes, p), SPI_OK);
    ExpectQuadrants(p, 255, 0);
  }
  // Targa pictures have no mark: only their name tells them.
  EXPECT_EQ(spi->IsSupportedHead("x.dat", Targa(quadrants)), 0);
  ExpectCutsFailCleanly(BmpV5(quadrants));
}

TEST_F(QtPlugin, AlphaIconSizesAndNoFloatingPointTiff) {
  Picture p;
  ASSERT_EQ(DecodeMemory(*spi, BmpV5(Quadrants(4, 4, 128)), p), SPI_OK);
  ExpectQuadrants(p, 128, 1);
  // The largest picture of an icon stands for it.
  const std::string icon = IconOf({16, 48, 32});
  EXPECT_EQ(Info(icon).width, 48);
  ASSERT_EQ(DecodeMemory(*spi, icon, p), SPI_OK);
  EXPECT_EQ(p.width, 48);

  // Floating-point TIFF is the TIFF plug-in's, which reads the samples' stated range.
  const std::string floats = Written(ToQImage(Quadrants(64, 64)).convertToFormat(QImage::Format_RGBA32FPx4), "tiff");
  EXPECT_EQ(spi->IsSupportedFd(box.write("float.tif", floats)), 0);
}

// ---- WebP ----

using WebpPlugin = Loaded<kWebp>;

// A lossless picture of any size in 28 bytes, all green: no transforms, and each of the five
// codes (green, red, blue, alpha, distance) a single symbol, so that no pixel takes a bit.
std::string WebpAllGreen(int width, int height) {
  uint64_t bits = 0;
  int used = 0;
  const auto put = [&](uint64_t value, int count) {
    bits |= value << used;
    used += count;
  };
  put(width - 1, 14);
  put(height - 1, 14);
  put(0, 4 + 3);                   // no alpha, version 0; no transform, colour cache or meta codes
  put(1 | 1 << 2 | 255 << 3, 11);  // simple code, one 8-bit symbol: 255
  for (int code = 0; code < 4; ++code) put(1, 4);  // simple code, one 1-bit symbol: 0
  std::string payload = "\x2f";
  for (int i = 0; i < (used + 7) / 8; ++i) payload += static_cast<char>(bits >> (8 * i));
  if (payload.size() % 2) payload += '\0';
  const auto le32 = [](std::size_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  return "RIFF" + le32(12 + payload.size()) + "WEBPVP8L" + le32(payload.size()) + payload;
}

TEST_F(WebpPlugin, TinyLosslessFileOfTheLargestSizeIsRefusedBeforeDecoding) {
  Picture p;
  ASSERT_EQ(DecodeMemory(*spi, WebpAllGreen(300, 200), p), SPI_OK);
  EXPECT_EQ(p.width, 300);
  EXPECT_EQ(p.At(299, 199), 0x00FF00u);
  // libwebp would hold its own copy of these 268 megapixels, beyond the decode budget.
  EXPECT_EQ(DecodeMemory(*spi, WebpAllGreen(16383, 16383), p), SPI_OUT_OF_MEMORY);
}

TEST_F(WebpPlugin, AnimationShowsItsFirstFrame) {
  const std::string anim = WebpAnimation(20, 10, {{0, 0, 255, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}});
  ASSERT_FALSE(anim.empty());
  EXPECT_EQ(spi->IsSupportedHead("a.webp", anim), 1);
  EXPECT_EQ(Shape(anim).substr(0, 6), "20x10,");
  Picture p;
  ASSERT_EQ(DecodeMemory(*spi, anim, p), SPI_OK);
  EXPECT_EQ(p.At(0, 0), 0x0000FFu);
  EXPECT_EQ(p.At(19, 9), 0x0000FFu);
  ExpectCutsFailCleanly(anim);
}

// ---- camera RAW ----

class RawPlugin : public Loaded<kRaw> {
 protected:
  void SetUp() override {
    Loaded::SetUp();
    ASSERT_NE(spi->getPreview, nullptr);
  }
  // The pixel at the middle of each quarter (top left, top right, bottom left, bottom right)
  // as 'B' when bright (mean brightness above 200 of 255), 'D' when dark (below 100), else '?'.
  static std::string Quarters(const Picture &p) {
    std::string out;
    for (int qy : {1, 3})
      for (int qx : {1, 3}) {
        const uint32_t c = p.At(p.width * qx / 4, p.height * qy / 4);
        const uint32_t mean = ((c >> 16) + ((c >> 8) & 0xFF) + (c & 0xFF)) / 3;
        out += mean > 200 ? 'B' : mean < 100 ? 'D' : '?';
      }
    return out;
  }
};

// The developed picture and the embedded preview (a bitmap or a JPEG), each turned by the
// orientation: the bright top left quarter of the sensor lands where the turn puts it.
TEST_F(RawPlugin, DevelopedPictureAndPreviewStandUpright) {
  spi->ExpectPatterns("00IN", {"*.dng", "*.cr3", "*.nef", "*.raf"});
  const struct {
    int orientation;
    const char *quarters;
    bool jpegPreview;
  } turns[] = {{1, "BDDD", false}, {3, "DDDB", true}, {6, "DBDD", false}, {8, "DDBD", true}};
  for (const auto &t : turns) {
    SCOPED_TRACE(t.orientation);
    const std::string dng = WriteDng({.orientation = t.orientation, .jpegPreview = t.jpegPreview});
    ASSERT_FALSE(dng.empty());
    const bool upright = t.orientation < 5;
    const Facts info = Info(dng);
    EXPECT_EQ(std::pair(info.width, info.height), upright ? std::pair(64, 48) : std::pair(48, 64));
    // The information text, in a block of its own.
    const auto text = reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(info.hInfo));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(static_cast<const char *>(GlobalLock(text)), "Tamro Testcam, 1/250 s F5.6 50 mm");
    GlobalUnlock(text);
    GlobalFree(text);
    Picture full, preview;
    ASSERT_EQ(DecodeMemory(*spi, dng, full), SPI_OK);
    ASSERT_EQ(PreviewMemory(*spi, dng, preview), SPI_OK);
    EXPECT_EQ(std::pair(full.width, full.height), std::pair(info.width, info.height));
    EXPECT_EQ(preview.width, upright ? 160 : 120);
    EXPECT_EQ(Quarters(full), t.quarters);
    EXPECT_EQ(Quarters(preview), t.quarters);
  }
}

// A preview smaller than a thumbnail cell, or of other proportions (letterboxed), is passed
// over: the preview entry then develops the picture.
TEST_F(RawPlugin, PreviewTooSmallOrLetterboxedIsPassedOver) {
  for (auto [w, h] : {std::pair{40, 30}, std::pair{160, 90}}) {
    Picture p;
    ASSERT_EQ(PreviewMemory(*spi, WriteDng({.previewWidth = w, .previewHeight = h}), p), SPI_OK);
    EXPECT_EQ(std::pair(p.width, p.height), std::pair(64, 48)) << w << "x" << h;
  }
}

TEST_F(RawPlugin, RecognitionAndBrokenFiles) {
  const std::string dng = WriteDng({});
  // libtiff puts the directories after the pixels, beyond the head: the name decides, or the
  // descriptor, which reaches them.
  EXPECT_EQ(spi->IsSupportedHead("a.DNG", dng), 1);
  EXPECT_EQ(spi->IsSupportedHead("a.tif", dng), 0);
  EXPECT_EQ(spi->IsSupportedFd(box.write("dng.tif", dng)), 1);
  // Other TIFF files are not taken whatever their name; a camera maker's are.
  const auto tiffByMaker = [](const std::string &make) {
    Bytes b;
    b.str("II*").u8(0).u32(8).u16(1).u16(0x010F).u16(2).u32(static_cast<uint32_t>(make.size()) + 1);
    return b.u32(26).u32(0).str(make).u8(0).data;
  };
  EXPECT_EQ(spi->IsSupportedHead("a.dng", tiffByMaker("Acme Scanner")), 0);
  EXPECT_EQ(spi->IsSupportedHead("a.tif", tiffByMaker("NIKON CORPORATION")), 1);
  using namespace std::string_literals;
  for (const std::string &head : {"II*\0\x10\0\0\0CR\x02\0"s, "FUJIFILMCCD-RAW 0201"s, "IIRO\x08\0\0\0"s,
                                  "IIU\0\x08\0\0\0"s, "\0\0\0\030ftypcrx \0\0\0\x01"s})
    EXPECT_EQ(spi->IsSupportedHead("a", head), 1) << head;
  EXPECT_EQ(spi->IsSupportedHead("a.nef", PngFromRgba(Quadrants(4, 4))), 0);

  ExpectCutsFailCleanly(dng);
  // The sensor's directory claiming 30000 x 30000 pixels, whose data LibRaw's blocks could
  // not hold within the decode budget: refused before any is read.
  std::string lying = dng;
  for (const char *entry :
       {"\x00\x01\x03\x00\x01\x00\x00\x00\x40\x00", "\x01\x01\x03\x00\x01\x00\x00\x00\x30\x00"}) {
    const size_t at = lying.find(std::string(entry, 10));
    ASSERT_NE(at, std::string::npos);
    lying[at + 8] = 0x30;
    lying[at + 9] = 0x75;
  }
  Picture p;
  EXPECT_EQ(DecodeMemory(*spi, lying, p), SPI_OUT_OF_MEMORY);
  EXPECT_NE(PreviewMemory(*spi, lying.substr(0, lying.size() / 2), p), SPI_OK);
}

// ---- colour profiles ----

// A Display P3 profile made by lcms2, as an editor embeds one.
std::string WideGamutProfile() {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const cmsFloat64Number srgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve *curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
  cmsToneCurve *curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::string bytes(size, '\0');
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

TEST_F(PictureModule, PngWebpAndHeifHandOutTheirEmbeddedColourProfile) {
  const std::string icc = WideGamutProfile();
  ASSERT_FALSE(icc.empty());
  const RgbaImage image = Quadrants(16, 16);
  const struct {
    const char *module;
    std::string with, without;
  } cases[] = {
      {"ifpng.spi", PngFromRgba(image, false, icc), PngFromRgba(image)},
      {"ifwebp.spi", Webp(image, 0, icc), Webp(image)},
      {"ifheif.spi", HeifEncode(image, false, false, icc), HeifEncode(image, false, false)},
  };
  HLOCAL block = nullptr;
  const auto profile = [&](const std::string &bytes) {
    return spi->getColorProfile(bytes.data(), static_cast<long>(bytes.size()), SPI_SOURCE_MEMORY, &block);
  };
  for (const auto &c : cases) {
    if (c.with.empty()) continue;  // no HEIF encoder on this machine
    SCOPED_TRACE(c.module);
    Load(c.module);
    ASSERT_NE(spi->getColorProfile, nullptr);
    block = nullptr;
    ASSERT_EQ(profile(c.with), SPI_OK);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(static_cast<const char *>(GlobalLock(block)), GlobalSize(block)), icc);
    GlobalUnlock(block);
    GlobalFree(block);
    block = reinterpret_cast<HLOCAL>(1);
    EXPECT_EQ(profile(c.without), SPI_OK);
    EXPECT_EQ(block, nullptr) << "without a profile";
  }
}

// ---- PNG, WebP, JPEG XL, HEIF ----

// Each file is claimed by its name and mark (and one of another kind not), its facts and
// decoded size agree, its picture comes with the alpha composited on white, and cut files fail
// cleanly. Files without an encoder on this machine are left out.
TEST_F(PictureModule, PngWebpJxlHeicAndAvifFilesRoundTrip) {
  using namespace std::string_literals;
  // The PNG mark one byte short; a sound file; a JPEG; another ISO media file.
  const std::string notPng = "\x89PNG\r\n\x1a", notWebp = "RIFF\0\0\0\0WAVEfmt "s,
                    notJxl = "\xFF\xD8\xFF\xE0", notHeif = "\0\0\0\030ftypisom\0\0\0\0isommp41"s;
  const struct {
    const char *module, *name;
    std::string bytes;
    const char *shape;  // "width x height, depth" of the facts; null: not checked
    uint8_t alpha;
    int tolerance;
    std::string notOurs;  // a head of another kind
  } cases[] = {
      {kPng, "a.png", PngFromRgba(Quadrants(4, 4)), "4x4, 32", 255, 0, notPng},
      {kWebp, "a.webp", Webp(Quadrants(33, 17, 100)), "33x17, 32", 100, 0, notWebp},
      {kWebp, "a.webp", Webp(Quadrants(64, 48), 95), "64x48, 24", 255, 12, notWebp},
      {kJxl, "a.jxl", JxlEncode(Quadrants(30, 20), false), "30x20, 24", 255, 0, notJxl},
      {kJxl, "a.jxl", JxlEncode(Quadrants(30, 20, 77), true), "30x20, 32", 77, 0, notJxl},
      {kHeif, "a.heic", HeifEncode(Quadrants(64, 48), false, false), "64x48, 24", 255, 24, notHeif},
      {kHeif, "a.heic", HeifEncode(Quadrants(64, 48, 128), false, true), nullptr, 128, 24, notHeif},
      {kHeif, "a.avif", HeifEncode(Quadrants(64, 48), true, false), "64x48, 24", 255, 24, notHeif},
      {kHeif, "a.avif", HeifEncode(Quadrants(64, 48, 128), true, true), nullptr, 128, 24, notHeif},
  };
  for (const auto &c : cases) {
    if (c.bytes.empty()) continue;
    SCOPED_TRACE(std::string(c.name) + ", alpha " + std::to_string(c.alpha));
    Load(c.module);
    spi->ExpectPatterns("00IN", {("*" + std::string(c.name).substr(1)).c_str()});
    EXPECT_EQ(spi->IsSupportedHead(c.name, c.bytes), 1);
    EXPECT_EQ(spi->IsSupportedHead(c.name, c.notOurs), 0);
    const std::string shape = Shape(c.bytes);
    if (c.shape != nullptr) {
      EXPECT_EQ(shape, c.shape);
    }
    Picture p;
    ASSERT_EQ(DecodeMemory(*spi, c.bytes, p), SPI_OK);
    EXPECT_EQ(std::to_string(p.width) + "x" + std::to_string(p.height), shape.substr(0, shape.find(',')));
    ExpectQuadrants(p, c.alpha, c.tolerance);
    ExpectCutsFailCleanly(c.bytes);
  }
}

// True when the plug-ins' file forms refuse `fifo`; a wait for its writer never ends.
bool FileFormsRefuse(const std::string &fifo) {
  SpiModule png("ifpng.spi"), archive("axarchive.spi");
  Picture p;
  SpiPictureInfo info;
  HLOCAL block = nullptr;
  const std::string noSignature(8, '\0');  // the ISO mark is then looked for in the named file
  return png.loaded() && archive.loaded() && DecodeFile(png, fifo, 0, p) != SPI_OK &&
         png.getPictureInfo(fifo.c_str(), 0, SPI_SOURCE_FILE, &info) != SPI_OK &&
         archive.getArchiveInfo(fifo.c_str(), 0, SPI_SOURCE_FILE, &block) != SPI_OK &&
         archive.IsSupportedHead(fifo, noSignature) == 0;
}

// Run in a child that an alarm ends, should anything wait.
TEST(PluginFifo, FileFormsDoNotWaitForAWriter) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Sandbox box;
  const std::string fifo = box.path("pipe.zip").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EXIT(
      {
        alarm(20);
        std::exit(FileFormsRefuse(fifo) ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tamro::test
