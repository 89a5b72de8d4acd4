#include "catalogue/hostdecoders.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QImage>
#include <cstdlib>
#include <filesystem>

#include "catalogue/thumbbuilder.h"
#include "catalogue_thumbs/thumbtest.h"
#include "decode/builtin/builtin.h"
#include "decode/spihost.h"
#include "output_macros/exifjpeg.h"
#include "picture/dibjpeg.h"
#include "picture/dibtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

// A JPEG file written by Tamro's own writer: of one colour, or red left of x = 8 and green beyond.
fs::path Jpeg(test::Sandbox &box, const std::string &name, int width, int height, int64_t colour = -1) {
  GlobalHandle p = test::Picture24(width, height, [colour](int x, int) {
    return colour >= 0 ? static_cast<uint32_t>(colour) : x < 8 ? 0x0000FFu : 0x00FF00u;
  });
  fs::path path = box.path(name);
  EXPECT_EQ(SaveDibAsJpeg(p.get(), path.string(), 1, 90, nullptr, 0), 1);
  return path;
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureGuiApp();
    host.LoadSwitches();
  }

  test::Sandbox box;
  CSpiHost host;
  HostDecoders decoders{host};
  CThumbBuilder builder{&decoders, nullptr, nullptr};
};

TEST_F(HostTest, BuildsAThumbnailThroughTheBuiltInJpegDecoderWithAReducedDecode) {
  auto e = test::FileEntry(Jpeg(box, "photo.jpg", 1600, 1200));
  ASSERT_EQ(builder.EnsureThumbnail(*e, nullptr, test::Rect(0, 0, 100, 100), true), 0);
  EXPECT_EQ(std::tuple(e->facts.decoder, e->facts.width, e->facts.height, e->facts.bitCount,
                       test::WidthOf(e->thumbnail.get()), test::HeightOf(e->thumbnail.get())),
            std::tuple(builtin::kJpeg, 1600, 1200, 24, 100, 75));
  // The decoder itself hands back the reduced picture.
  GlobalHandle reduced;
  PictureSource source{e->FilePath(), nullptr, 0};
  ASSERT_EQ(decoders.GetPicture(builtin::kJpeg, source, 16, reduced), 0);
  EXPECT_EQ(test::WidthOf(reduced.get()), 200);
}

TEST_F(HostTest, NamesUseAndTheFactsText) {
  const int kPicture = PictureDecoders::kPicture;
  EXPECT_EQ(decoders.DecoderName(builtin::kJpeg, kPicture), "--JPG--");
  EXPECT_EQ(
      std::tuple(decoders.FindDecoderByName("--jpg--", kPicture), decoders.FindDecoderByName("", kPicture),
                 decoders.FindDecoderByName("no-such-plugin1", kPicture)),
      std::tuple(builtin::kJpeg, -1, -1));
  EXPECT_TRUE(decoders.IsInUse(builtin::kJpeg, kPicture) && !decoders.IsInUse(7, kPicture));
  host.SetUse(builtin::kJpeg, kSpiPicture, false);
  EXPECT_FALSE(decoders.IsInUse(builtin::kJpeg, kPicture));

  fs::path path = Jpeg(box, "f.jpg", 40, 30);
  SpiPictureInfo info{};
  std::string text = "stale";
  const std::size_t blocks = GlobalLiveBlockCount();
  ASSERT_EQ(decoders.GetPictureInfo(builtin::kJpeg, PictureSource{path.string(), nullptr, 0}, info, text), 0);
  // Copies: the record is packed, and the assertions take references.
  const long width = info.width;
  const auto hInfo = info.hInfo;
  // The text is the comment marker Tamro writes, and its block was freed.
  EXPECT_EQ(std::tuple(width, hInfo, text, GlobalLiveBlockCount()),
            std::tuple(40, 0u, std::string(kJpegMakersMark), blocks));
}

// Mean difference of the colour bytes of two 24-bit pictures of the same size.
double MeanDifference(HDIB a, HDIB b) {
  const int w = test::WidthOf(a), h = test::HeightOf(a);
  long total = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p = test::PixelAt(a, x, y), q = test::PixelAt(b, x, y);
      for (int shift = 0; shift < 24; shift += 8)
        total += std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF));
    }
  return static_cast<double>(total) / (3.0 * w * h);
}

TEST_F(HostTest, PicturesTurnUprightByTheirExifOrientation) {
  const fs::path dir = test::CorpusDir() / "jpeg-exif-orientation";
  if (!fs::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
  auto thumbnail = [&](const std::string &name, bool turn) {
    auto e = test::FileEntry(dir / name);
    e->switches.exifRotate = turn;
    EXPECT_EQ(builder.EnsureThumbnail(*e, nullptr, test::Rect(0, 0, 90, 90), true), 0) << name;
    return e;
  };
  for (const std::string kind : {"Landscape", "Portrait"}) {
    auto upright = thumbnail(kind + "_1.jpg", true);
    // 0 is no orientation at all; 2 to 8 are stored mirrored or turned.
    for (int o : {0, 2, 3, 4, 5, 6, 7, 8}) {
      const std::string name = kind + "_" + std::to_string(o) + ".jpg";
      auto e = thumbnail(name, true);
      ASSERT_EQ(std::tuple(test::WidthOf(e->thumbnail.get()), test::HeightOf(e->thumbnail.get())),
                std::tuple(test::WidthOf(upright->thumbnail.get()), test::HeightOf(upright->thumbnail.get())))
          << name;
      EXPECT_LT(MeanDifference(e->thumbnail.get(), upright->thumbnail.get()), 8.0) << name;
      // The facts are the picture's as stored.
      EXPECT_EQ(e->facts.width == upright->facts.width, o < 5) << name;
    }
  }
  // Switched off, a picture stays as it is stored.
  auto stored = thumbnail("Landscape_6.jpg", false);
  EXPECT_EQ(std::tuple(test::WidthOf(stored->thumbnail.get()), test::HeightOf(stored->thumbnail.get())),
            std::tuple(60, 90));
}

// A camera JPEG: a red picture, and in its EXIF block a green thumbnail in the second
// directory, with the main directory's orientation and modify date and the original date.
std::string CameraJpeg(test::Sandbox &box, int width, int height, int thumbWidth, int thumbHeight,
                       uint16_t orientation, const std::string &modified) {
  const std::string thumb = test::ReadFile(Jpeg(box, "part.jpg", thumbWidth, thumbHeight, 0x00FF00u));
  std::vector<test::ExifTag> ifd0 = {test::ShortTag(0x0112, orientation), test::AsciiTag(0x0132, modified),
                                     {0x8769, 4, 1, test::Le32(0)}};
  const std::vector<test::ExifTag> exif = {test::AsciiTag(0x9003, "2024:05:01 10:00:00")};
  std::vector<test::ExifTag> ifd1 = {{0x0201, 4, 1, test::Le32(0)},
                                     {0x0202, 4, 1, test::Le32(static_cast<uint32_t>(thumb.size()))}};
  // Sizes do not depend on the values, so the places are known before they are filled in.
  const uint32_t exifAt = 8 + static_cast<uint32_t>(test::BuildIfd(ifd0, 8).size());
  const uint32_t ifd1At = exifAt + static_cast<uint32_t>(test::BuildIfd(exif, exifAt).size());
  const uint32_t thumbAt = ifd1At + static_cast<uint32_t>(test::BuildIfd(ifd1, ifd1At).size());
  ifd0.back().data = test::Le32(exifAt);
  ifd1[0].data = test::Le32(thumbAt);
  std::string first = test::BuildIfd(ifd0, 8);
  first.replace(2 + 12 * ifd0.size(), 4, test::Le32(ifd1At));  // the next directory
  const std::string tiff = "II*" + std::string(1, '\0') + test::Le32(8) + first + test::BuildIfd(exif, exifAt) +
                           test::BuildIfd(ifd1, ifd1At) + thumb +
                           std::string(3000, '\0');  // the segment ends past the head bytes, as cameras' do
  return test::WrapJpeg(std::string("Exif\0\0", 6) + tiff,
                        test::ReadFile(Jpeg(box, "part.jpg", width, height, 0x0000FFu)).substr(2));
}

TEST_F(HostTest, EmbeddedPreviewsStandInOnlyWhenTheyFit) {
  const struct {
    const char *name;
    int width, height, thumbWidth, thumbHeight;
    uint16_t orientation;
    const char *modified;
    bool switchedOn, fromPreview;
    int shownWidth, shownHeight;
  } rows[] = {
      {"fits", 800, 600, 160, 120, 1, "2024:05:01 10:00:00", true, true, 100, 75},
      {"turned", 800, 600, 160, 120, 6, "2024:05:01 10:00:00", true, true, 75, 100},
      {"letterboxed", 800, 533, 160, 120, 1, "2024:05:01 10:00:00", true, false, 100, 67},
      {"too small", 800, 600, 80, 60, 1, "2024:05:01 10:00:00", true, false, 100, 75},
      {"stale", 800, 600, 160, 120, 1, "2024:06:01 09:00:00", true, false, 100, 75},
      {"switched off", 800, 600, 160, 120, 1, "2024:05:01 10:00:00", false, false, 100, 75},
  };
  const CellRect cell = test::Rect(0, 0, 100, 100);
  // Only the preview is green.
  auto green = [](const GlobalHandle &t) { return ((test::PixelAt(t.get(), 20, 20) >> 8) & 0xFF) > 128; };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    const fs::path path = box.write(std::string(r.name) + ".jpg",
                                    CameraJpeg(box, r.width, r.height, r.thumbWidth, r.thumbHeight, r.orientation,
                                               r.modified));
    auto e = test::FileEntry(path);
    e->switches.embeddedPreview = r.switchedOn;
    ASSERT_EQ(builder.EnsureThumbnail(*e, nullptr, cell, true), 0);
    EXPECT_EQ(std::tuple(test::WidthOf(e->thumbnail.get()), test::HeightOf(e->thumbnail.get()),
                         green(e->thumbnail), (e->thumbTreatment & kTreatPreview) != 0),
              std::tuple(r.shownWidth, r.shownHeight, r.fromPreview, r.fromPreview));
    // Switching previews off makes a thumbnail made from one again, from the picture.
    e->switches.embeddedPreview = 0;
    ASSERT_EQ(builder.EnsureThumbnail(*e, nullptr, cell, true), 0);
    EXPECT_FALSE(green(e->thumbnail));
  }
}

TEST_F(HostTest, EmbeddedColourProfilesAreConvertedToSrgb) {
  // A JPEG file of one colour in Display P3 as Qt writes it, with its profile.
  QImage image(32, 32, QImage::Format_RGB32);
  image.fill(QColor(200, 120, 40));
  image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
  const QColor expected = image.convertedToColorSpace(QColorSpace(QColorSpace::SRgb)).pixelColor(16, 16);
  const fs::path file = box.path("p3.jpg");
  ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "JPEG", 100));
  ASSERT_NE(expected, QColor(200, 120, 40)) << "the test colour must change";
  auto decode = [&](bool convert) {
    DecodeJob job;
    job.path = file.string(), job.colorManage = convert;
    DecodeFacts facts;
    GlobalHandle picture = DecodePicture(decoders, job, nullptr, facts, nullptr);
    EXPECT_EQ(facts.picture.decoder, builtin::kJpeg);
    const uint32_t p = test::PixelAt(picture.get(), 16, 16);
    return QColor(p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF);
  };
  auto near = [](const QColor &a, const QColor &b) {
    return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3 &&
           std::abs(a.blue() - b.blue()) <= 3;
  };
  const QColor converted = decode(true), asStored = decode(false);
  EXPECT_TRUE(near(converted, expected))
      << converted.name().toStdString() << " for " << expected.name().toStdString();
  EXPECT_TRUE(near(asStored, QColor(200, 120, 40))) << asStored.name().toStdString();
}

}  // namespace
}  // namespace tamro
