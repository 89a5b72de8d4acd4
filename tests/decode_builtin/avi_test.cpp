#include <gtest/gtest.h>

#include "decode/builtin/builtin.h"
#include "helpers.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

using test::Picture;

// Raw BGR video of 10 solid 6 x 4 frames (red = 20 x frame number, blue marking the
// top-left pixel), and an AVI of silence only; written once with libavformat.
const std::string kAviData = std::string(TAMRO_BUILTIN_DATA) + "/avi/";

TEST(Avi, MiddleFrameOfTheFirstVideoStreamBottomRowFirst) {
  const std::string path = kAviData + "video.avi";
  const std::string bytes = test::ReadFile(path);
  EXPECT_EQ(test::Claims(kAvi, "v.avi", bytes), 1);

  SpiPictureInfo info{};
  ASSERT_EQ(GetPictureInfo(kAvi, path.c_str(), 0, SPI_SOURCE_FILE, &info, nullptr), 0);
  EXPECT_EQ(std::tuple(+info.width, +info.height, +info.colorDepth), std::tuple(6, 4, 0));
  EXPECT_EQ(test::InfoOf(kAvi, bytes, info), SPI_NO_FUNCTION);

  Picture pic;
  ASSERT_EQ(GetPicture(kAvi, path.c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), 0);
  const BitmapInfoHeader h = test::HeaderOf(pic.h);
  EXPECT_EQ(std::tuple(h.width, h.height, h.bitCount), std::tuple(6, 4, 24));
  // Frame 5 of 10; the top-left pixel stays top-left.
  const auto c = test::PixelAt(pic.h, 3, 2);
  EXPECT_EQ(std::tuple(c.r, c.g, test::PixelAt(pic.h, 0, 0).b), std::tuple(100, 50, 255));
  Picture mem;
  EXPECT_EQ(test::Decode(kAvi, bytes, mem), SPI_NO_PICTURE);
}

TEST(Avi, NoVideoOrNoFileGivesNoPicture) {
  test::Sandbox box;
  const std::string path = kAviData + "silence.avi";
  Picture pic;
  EXPECT_EQ(GetPicture(kAvi, path.c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), SPI_READ_ERROR);
  EXPECT_EQ(GetPicture(kAvi, box.path("none.avi").c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0),
            SPI_READ_ERROR);
  const auto junk = box.write("j.avi", "RIFF\x10\0\0\0AVI LIST");
  EXPECT_EQ(GetPicture(kAvi, junk.c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), SPI_READ_ERROR);
  SpiPictureInfo info{};
  EXPECT_EQ(GetPictureInfo(kAvi, box.path("none.avi").c_str(), 0, SPI_SOURCE_FILE, &info, nullptr),
            SPI_NO_FUNCTION);
  EXPECT_EQ(pic.h, nullptr);
}

TEST(Mpeg, NeverClaimsAndGivesNoPicture) {
  test::Sandbox box;
  std::string head(SPI_HEAD_BYTES, '\0');
  head.replace(0, 4, "\0\0\x01\xBA", 4);
  EXPECT_EQ(IsSupported(kMpeg, "a.mpg", reinterpret_cast<uintptr_t>(head.data())), 0);
  SpiPictureInfo info{};
  EXPECT_EQ(GetPictureInfo(kMpeg, head.data(), 4, SPI_SOURCE_MEMORY, &info, nullptr), SPI_NO_FUNCTION);
  Picture pic;
  const auto path = box.write("a.mpg", head);
  EXPECT_EQ(GetPicture(kMpeg, path.c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), SPI_READ_ERROR);
  EXPECT_EQ(GetPicture(kMpeg, head.data(), 4, SPI_SOURCE_MEMORY, pic.out(), 0, 0, nullptr, 0),
            SPI_NO_PICTURE);
  EXPECT_EQ(Name(kMpeg), std::string("--MPG--"));
  EXPECT_EQ(Patterns(kJpeg), std::string("*.JPG;*.JPEG;*.JPE;*.JIFF"));
  EXPECT_EQ(Name(999), nullptr);
}

}  // namespace
}  // namespace tamro::builtin
