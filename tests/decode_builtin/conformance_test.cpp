// Every picture of the public conformance sets is decoded through the decoder host with the
// built-in decoders switched on and, where Qt's own decoders also read it, compared with
// Qt's result pixel by pixel.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "decode/builtin/builtin.h"
#include "decode/spihost.h"
#include "helpers.h"
#include "picture/dib.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

namespace fs = std::filesystem;

// Files whose pictures differ from Qt's, by name relative to the corpus, and why. A
// tolerance of 0 or more still compares with that tolerance; -1 only reports.
struct Expected {
  int tolerance;
  const char *why;
};
constexpr const char *kCompressed = "bad RLE data: the compressed picture is delivered, as designed";
constexpr const char *kUninitialised =
    "Qt leaves the pixels the file does not set uninitialised; ours are colour 0";
constexpr const char *kColour0 = "pixels the data never reaches are colour 0 here, black or background in Qt";
constexpr const char *kFrame =
    "the built-in picture is the first frame at its own size, not the composed screen";
constexpr const char *kMap16 = "16-bit colour maps scale by 255/65535 here and round in Qt";
constexpr const char *kGrey16 = "16-bit samples keep their high byte in libtiff, Qt rounds";
const std::map<std::string, Expected> kExpectedDifferences = {
    {"jpeg-pillow/truncated_app14.jpg",
     {-1,
      "a segment length that overruns makes the start-of-image scan pass over the main picture, so "
      "the Exif thumbnail (of the same size) is decoded"}},
    {"bmp-bmpsuite/b/badrle.bmp", {-1, kCompressed}},
    {"bmp-bmpsuite/b/badrlebis.bmp", {-1, kCompressed}},
    {"bmp-bmpsuite/b/badrleter.bmp", {-1, kCompressed}},
    {"bmp-bmpsuite/b/badrle4.bmp", {-1, kCompressed}},
    {"bmp-bmpsuite/b/badrle4bis.bmp", {-1, kCompressed}},
    {"bmp-bmpsuite/b/badrle4ter.bmp", {-1, kCompressed}},
    {"bmp-pillow/hopper_rle8_row_overflow.bmp", {-1, kCompressed}},
    {"bmp-bmpsuite/b/shortfile.bmp", {-1, kUninitialised}},
    {"bmp-bmpsuite/q/pal4rletrns.bmp", {-1, kUninitialised}},
    {"bmp-bmpsuite/q/pal8rletrns.bmp", {-1, kUninitialised}},
    {"bmp-bmpsuite/q/pal4rlecut.bmp", {-1, kUninitialised}},
    {"bmp-bmpsuite/q/pal8rlecut.bmp", {-1, kUninitialised}},
    {"gif-wuffs/hippopotamus.interlaced.truncated.gif", {-1, kColour0}},
    {"gif-wuffs/artificial-gif/pixel-data-none.gif", {-1, kColour0}},
    {"gif-wuffs/artificial-gif/pixel-data-not-enough.gif", {-1, kColour0}},
    {"gif-wuffs/artificial-gif/metadata-full.gif", {-1, kFrame}},
    {"gif-wuffs/artificial-gif/metadata-empty.gif", {-1, kFrame}},
    {"gif-wuffs/artificial-gif/frame-out-of-bounds.gif", {-1, kFrame}},
    {"gif-wuffs/artificial-gif/background-color.gif", {-1, kFrame}},
    {"gif-wuffs/artificial-gif/small-frame-interlaced.gif", {-1, kFrame}},
    {"gif-wuffs/artificial-gif/multiple-loop-counts.gif", {-1, kFrame}},
    {"gif-pillow/first_frame_transparency.gif", {-1, kFrame}},
    {"gif-pillow/dispose_bgnd_transparency.gif", {-1, kFrame}},
    {"tiff-libtiffpic/depth/flower-rgb-planar-16.tif",
     {-1, "Qt mis-decodes 16-bit planar RGB; ours matches flower-rgb-contig-16.tif"}},
    {"tiff-libtiff/palette-1c-8b.tiff", {1, kMap16}},
    {"tiff-libtiff/palette-1c-4b.tiff", {1, kMap16}},
    {"tiff-libtiffpic/depth/flower-palette-08.tif", {1, kMap16}},
    {"tiff-libtiffpic/depth/flower-palette-04.tif", {1, kMap16}},
    {"tiff-libtiffpic/ladoga.tif", {1, kMap16}},
    {"tiff-libtiff/minisblack-1c-16b.tiff", {1, kGrey16}},
    {"tiff-libtiffpic/depth/flower-minisblack-16.tif", {1, kGrey16}},
    {"tiff-image-tiff/seq/seq-1c-16b-bigendian-68f373a0.tiff", {1, kGrey16}},
    {"tiff-image-tiff/seq/seq-1c-16b-deflate-68f373a0.tiff", {1, kGrey16}},
    {"tiff-image-tiff/seq/seq-1c-16b-lzw-68f373a0.tiff", {1, kGrey16}},
    {"tiff-image-tiff/seq/seq-1c-16b-multistrip-68f373a0.tiff", {1, kGrey16}},
    {"tiff-image-tiff/seq/seq-1c-16b-tiled-68f373a0.tiff", {1, kGrey16}},
    {"tiff-image-tiff/misc/issue_69_lzw.tiff", {1, kGrey16}},
    {"tiff-image-tiff/misc/issue_69_packbits.tiff", {1, kGrey16}},
};

// Files Qt reads that the built-ins refuse on purpose (besides the BMP headers and depths
// left to plug-ins, which are checked by rule).
const std::map<std::string, const char *> kRefused = {
    {"bmp-bmpsuite/b/rletopdown.bmp", "RLE pictures cannot be stored top row first"},
    {"gif-wuffs/artificial-gif/zero-width-frame.gif", "a frame without pixels is no picture"},
    {"tiff-image-tiff/seq/seq-3c-32f-9a471c2b.tiff",
     "floating-point samples: libtiff has no RGBA reading for them"},
    {"tiff-image-tiff/misc/predictor-3-rgb-f32.tif",
     "floating-point samples: libtiff has no RGBA reading for them"},
    {"jpeg-jpeg-decoder/reftest/mozilla/jpg-size-6x6.jpg", "a PNG file with a JPEG name"},
};

// Files left to plug-ins: BMP headers other than 40 bytes, BMP of 16 or 32 bits per pixel,
// and BigTIFF (its signature is not the TIFF one).
bool LeftToPlugins(const std::string &bytes) {
  if (bytes.size() >= 4 && (bytes.compare(0, 4, "II+\0", 4) == 0 || bytes.compare(0, 4, "MM\0+", 4) == 0))
    return true;
  if (bytes.size() < 30 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const auto u8 = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
  const unsigned headerSize = u8(14) | u8(15) << 8 | u8(16) << 16 | u8(17) << 24;
  const unsigned bits = u8(28) | u8(29) << 8;
  return headerSize != 40 || bits == 16 || bits == 32;
}

struct Outcome {
  int position = -1;
  int result = -1;
  bool compared = false;
  bool same = false;
  bool qtReads = false;
  bool leftToPlugins = false;
  std::string detail;
};

// The decoder host with every built-in switched on and no plug-ins.
CSpiHost &Host() {
  static test::Sandbox box;  // the host reads its switches from a settings store of its own
  static CSpiHost host;
  [[maybe_unused]] static bool ready = [] {
    host.LoadSwitches();
    for (int position = kFirst; position <= kAvi; ++position) host.SetUse(position, kSpiPicture, true);
    return true;
  }();
  return host;
}

// Compares the decoded picture with Qt's, skipping pixels that Qt shows as not opaque.
bool Compare(HDIB dib, const QImage &qt, int tolerance, std::string &detail) {
  HDIB rgb = DibTo24Bit(dib);
  GlobalHandle converted(rgb != dib ? rgb : nullptr);  // freed on return
  DibLock lock(rgb);
  if (!lock) {
    detail = "not convertible";
    return false;
  }
  const int w = DibWidth(lock.header()), h = DibHeight(lock.header());
  if (w != qt.width() || h != qt.height()) {
    detail = "size " + std::to_string(w) + "x" + std::to_string(h) + " vs " + std::to_string(qt.width()) +
             "x" + std::to_string(qt.height());
    return false;
  }
  const QImage ref = qt.convertToFormat(QImage::Format_ARGB32);
  long worst = 0, count = 0;
  for (int y = 0; y < h; ++y) {
    const auto *line = reinterpret_cast<const QRgb *>(ref.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      if (qAlpha(line[x]) != 255) continue;
      const uint32_t c = GetDibPixel(lock.header(), x, y);
      const long d = std::max({std::labs(static_cast<long>(c & 0xFF) - qRed(line[x])),
                               std::labs(static_cast<long>((c >> 8) & 0xFF) - qGreen(line[x])),
                               std::labs(static_cast<long>((c >> 16) & 0xFF) - qBlue(line[x]))});
      worst = std::max(worst, d);
      if (d > tolerance) ++count;
    }
  }
  if (count) detail = std::to_string(count) + " pixels differ, worst by " + std::to_string(worst);
  return count == 0;
}

Outcome Check(const fs::path &file, const std::string &rel) {
  Outcome o;
  const std::string bytes = test::ReadFile(file);
  QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  QImage qt = reader.read();
  o.qtReads = !qt.isNull();
  o.leftToPlugins = LeftToPlugins(bytes);
  o.position = test::FindDecoder(Host(), file.filename().string(), bytes);
  if (o.position < 0) return o;
  EXPECT_GE(o.position, kFirst) << "only built-ins are there";
  HDIB dib = nullptr;
  o.result = Host().GetPicture(o.position, bytes.data(), &dib, 0, 1, SPI_SOURCE_MEMORY,
                               static_cast<long>(bytes.size()));
  if (o.result != 0) {
    EXPECT_EQ(dib, nullptr);
    return o;
  }
  EXPECT_NE(dib, nullptr);
  if (!qt.isNull()) {
    o.compared = true;
    // JPEG decoders may round the colour conversion differently.
    int tolerance = o.position == kJpeg ? 4 : 0;
    if (const auto e = kExpectedDifferences.find(rel);
        e != kExpectedDifferences.end() && e->second.tolerance >= 0)
      tolerance = e->second.tolerance;
    o.same = Compare(dib, qt, tolerance, o.detail);
  }
  GlobalFree(dib);
  return o;
}

TEST(Conformance, CorpusAgreesWithQt) {
  const fs::path root = test::CorpusDir();
  if (!fs::exists(root)) GTEST_SKIP() << "no corpus at " << root;
  int decoded = 0, compared = 0, refused = 0;
  for (const auto &entry : fs::recursive_directory_iterator(root)) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    const auto known = {".bmp", ".gif", ".jpg", ".jpeg", ".tif", ".tiff"};
    if (!entry.is_regular_file() || std::find(known.begin(), known.end(), ext) == known.end()) continue;
    const std::string rel = fs::relative(entry.path(), root).string();
    const Outcome o = Check(entry.path(), rel);
    ++(o.result == 0 ? decoded : refused);
    // (Another built-in may still read them: the JPEG scan finds the JPEG inside a BMP.)
    EXPECT_FALSE(o.leftToPlugins && o.result == 0 && (o.position == kBmp || o.position == kTiff))
        << rel << " is left to plug-ins";
    if (o.qtReads && o.result != 0 && !o.leftToPlugins) {
      EXPECT_TRUE(kRefused.count(rel)) << rel << " is read by Qt but refused (" << o.result << ")";
    }
    if (std::getenv("TAMRO_CONFORMANCE_VERBOSE"))
      std::printf("%-70s pos %d result %d %s %s\n", rel.c_str(), o.position, o.result,
                  !o.compared ? (o.qtReads ? "(not compared) QT READS" : "(not compared)")
                  : o.same    ? "same"
                              : "DIFF",
                  o.detail.c_str());
    if (!o.compared) continue;
    ++compared;
    const auto expected = kExpectedDifferences.find(rel);
    if (expected == kExpectedDifferences.end() || expected->second.tolerance >= 0) {
      EXPECT_TRUE(o.same) << rel << ": " << o.detail;
    }
  }
  std::printf("decoded %d, compared %d, refused %d\n", decoded, compared, refused);
  EXPECT_GT(compared, 100);
}

}  // namespace
}  // namespace tamro::builtin
