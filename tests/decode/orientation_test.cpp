#include "decode/orientation.h"

#include <gtest/gtest.h>

#include <string>

#include "output_macros/exifjpeg.h"
#include "picture/dib.h"
#include "picture/dibtest.h"

namespace tamro {
namespace {

int Orientation(const std::string &bytes) {
  return ReadOrientation(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

// A JPEG head: start of image, the Exif segment, the start of the picture data.
std::string ExifJpeg(uint16_t orientation) {
  return test::WrapJpeg(
      test::BuildExif({test::AsciiTag(0x010F, "maker"), test::ShortTag(0x0112, orientation)}, {}),
      std::string("\xFF\xDA\x00\x02", 4));
}

TEST(Orientation, ReadsTheTagOfAJpegsExifSegmentAndOfATiffFile) {
  EXPECT_EQ(Orientation(ExifJpeg(6)), 6);
  // Behind a JFIF segment, and behind 128 bytes of something else as the JPEG decoder finds it.
  std::string jfif = ExifJpeg(3);
  jfif.insert(2, std::string("\xFF\xE0\x00\x07JFIF\0", 9));
  EXPECT_EQ(Orientation(jfif), 3);
  EXPECT_EQ(Orientation(std::string(128, 'm') + ExifJpeg(8)), 8);
  // Values outside 1 to 8 mean upright; so does a segment after the picture data.
  EXPECT_EQ(Orientation(ExifJpeg(0)), 1);
  EXPECT_EQ(Orientation(ExifJpeg(9)), 1);
  EXPECT_EQ(Orientation(test::WrapJpeg("", std::string("\xFF\xDA\x00\x02", 4) + ExifJpeg(6).substr(2))), 1);
  // A segment cut short by the end of the data is read as far as it goes, never beyond.
  const std::string whole = ExifJpeg(5);
  EXPECT_EQ(Orientation(whole.substr(0, whole.size() - 4)), 5);
  for (std::size_t n = 0; n < whole.size(); ++n) EXPECT_GE(Orientation(whole.substr(0, n)), 1);

  // A big-endian TIFF file with the tag in its first directory.
  std::string tiff("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x07\0\0\0\0\0\0", 26);
  EXPECT_EQ(Orientation(tiff), 7);
  EXPECT_EQ(Orientation(std::string("\x89PNG\r\n\x1a\n", 8) + tiff), 1);
}

TEST(Orientation, TheSameReaderGivesTheCameraExposureAndDates) {
  const std::string jpeg = test::WrapJpeg(
      test::BuildExif({test::AsciiTag(0x010F, "Maker"), test::AsciiTag(0x0110, "Model 7"),
                       test::AsciiTag(0x0132, "2024:06:01 09:00:00")},
                      {test::RationalTag(0x829A, 1, 250), test::RationalTag(0x829D, 56, 10),
                       test::ShortTag(0x8827, 400), test::AsciiTag(0x9003, "0000:00:00 00:00:00")}),
      std::string("\xFF\xDA\x00\x02", 4));
  ExifFacts f;
  ASSERT_TRUE(ReadPictureExif(reinterpret_cast<const unsigned char *>(jpeg.data()), jpeg.size(), f));
  EXPECT_DOUBLE_EQ(f.exposureTime, 1.0 / 250);
  EXPECT_DOUBLE_EQ(f.fNumber, 5.6);
  // A camera without a clock.
  EXPECT_EQ(std::tuple(f.make, f.model, f.iso, f.modifyDate, f.dateTimeOriginal, f.thumbnailLength),
            std::tuple("Maker", "Model 7", 400u, "2024:06:01 09:00:00", "", 0u));
}

// Colours that tell every pixel of a 3 x 2 picture apart.
uint32_t Mark(int x, int y) {
  return test::Rgb(static_cast<uint8_t>(10 + x), static_cast<uint8_t>(20 + y), 30);
}

TEST(Orientation, TurnsAndMirrorsPicturesUpright) {
  // 6: the stored picture is turned a quarter clockwise to be shown; 2: mirrored left to right.
  // (The corpus's pictures of every orientation are checked in the thumbnail tests, when present.)
  GlobalHandle stored = test::Picture24(3, 2, Mark);
  GlobalHandle shown(OrientDib(stored.get(), 6)), mirrored(OrientDib(stored.get(), 2));
  ASSERT_TRUE(shown && mirrored);
  EXPECT_EQ(std::tuple(DibWidth(shown.get()), DibHeight(shown.get()), test::PixelAt(shown.get(), 0, 0),
                       test::PixelAt(shown.get(), 1, 0), test::PixelAt(shown.get(), 1, 2),
                       test::PixelAt(mirrored.get(), 0, 1)),
            std::tuple(2, 3, Mark(0, 1), Mark(0, 0), Mark(2, 0), Mark(2, 1)));
  EXPECT_EQ(OrientDib(stored.get(), 1), stored.get());

  // Each orientation undone by its inverse gives the stored picture back, 8-bit pictures
  // stored top row first too (they keep their depth and colour table).
  GlobalHandle indexed(CreateDib(3, 2, 8, 6));
  {
    DibLock lock(indexed.get());
    lock.header()->height = -2;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) lock.bits()[y * 4 + x] = static_cast<uint8_t>(y * 3 + x);
  }
  const int inverse[9] = {0, 1, 2, 3, 4, 5, 8, 7, 6};
  const struct {
    HDIB picture;
    uint32_t (*at)(int, int);
  } cases[] = {{stored.get(), Mark},
               {indexed.get(), [](int x, int y) { return static_cast<uint32_t>(y * 3 + x); }}};
  for (const auto &c : cases) {
    for (int o = 2; o <= 8; ++o) {
      GlobalHandle turned(OrientDib(c.picture, o));
      GlobalHandle back(OrientDib(turned.get(), inverse[o]));
      ASSERT_TRUE(back) << o;
      EXPECT_EQ(DibBitCount(back.get()), DibBitCount(c.picture)) << o;
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
          EXPECT_EQ(test::PixelAt(back.get(), x, y), c.at(x, y)) << o << " " << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace tamro
