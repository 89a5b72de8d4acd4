#include <gtest/gtest.h>

#include <algorithm>

#include "decode/builtin/builtin.h"
#include "decode/builtin/decoders.h"
#include "helpers.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

using test::Bytes;
using test::Picture;

int DecodeMemory(const Bytes &file, Picture &pic, long reduction = 1, ProgressProc progress = nullptr,
                 long user = 0) {
  return test::Decode(kJpeg, file, pic, reduction, progress, user);
}
int Claims(const Bytes &file, const char *name = "x.dat") { return test::Claims(kJpeg, name, file); }

TEST(JpegScan, FindsThePictureAfterJunkAndRejectsFalseStarts) {
  const auto start = [](const Bytes &b) { return JpegFindStart(b.data(), b.size()); };
  const Bytes jpeg = test::MakeJpeg(16, 16, 3, test::Gradient(16, 16));
  EXPECT_EQ(start(jpeg), 0u);
  Bytes junk(128 + jpeg.size(), 0x55);
  junk[10] = 0xFF;
  junk[11] = 0xD8;  // a false start: no marker follows
  std::copy(jpeg.begin(), jpeg.end(), junk.begin() + 128);
  EXPECT_EQ(start(junk), 128u);
  EXPECT_EQ(start(Bytes{1, 2, 3}), 0u);
  EXPECT_EQ(start(Bytes{1}), 0u);
  // Data that ends after two segments is accepted; after one it is not.
  EXPECT_EQ(start(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF, 0xE1, 0, 50, 1, 2}), 0u);
  EXPECT_EQ(start(Bytes{9, 0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF, 0xE1, 0, 50}), 1u);
  EXPECT_EQ(start(Bytes{9, 0xFF, 0xD8, 0xFF, 0xE1, 0, 50, 1}), 0u);
}

TEST(JpegSupport, ClaimsPicturesWithLargeHeadSegments) {
  const Bytes jpeg = test::MakeJpeg(16, 16, 3, test::Gradient(16, 16));
  EXPECT_EQ(Claims(jpeg), 1);  // after 128 bytes of junk: host_test.cpp
  EXPECT_EQ(Claims(Bytes{'G', 'I', 'F', '8', '9', 'a'}), 0);
  // A big Exif segment right after the start: the head bytes end inside it.
  const Bytes exif =
      test::MakeJpeg(16, 16, 3, test::Gradient(16, 16), 90, {}, "Exif" + std::string(5000, 'e'));
  EXPECT_EQ(Claims(exif, "photo.jpg"), 1);
  EXPECT_EQ(Claims(exif, "photo.bin"), 1);
}

TEST(JpegPicture, FourColourPicturesBecomeTheirColours) {
  // Left half magenta ink, right half half-strength black: as stored, Adobe's inverted.
  auto inks = [](bool inverted) {
    Bytes b;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 32; ++x) {
        const Bytes ink = x < 16 ? Bytes{0, 255, 0, 0} : Bytes{0, 0, 0, 128};
        for (unsigned char v : ink) b.push_back(inverted ? static_cast<unsigned char>(255 - v) : v);
      }
    return b;
  };
  const struct {
    const char *name;
    Bytes file;
  } cases[] = {{"Adobe CMYK", test::MakeJpeg(32, 16, 4, inks(true), 100)},
               {"Adobe YCCK", test::MakeJpeg(32, 16, 4, inks(true), 100, {}, {}, test::Inks::kYcck)},
               {"plain CMYK", test::MakeJpeg(32, 16, 4, inks(false), 100, {}, {}, test::Inks::kCmyk, false)}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Picture pic;
    ASSERT_EQ(DecodeMemory(c.file, pic), 0);
    EXPECT_EQ(test::HeaderOf(pic.h).width, 32);
    const test::Rgb magenta = test::PixelAt(pic.h, 4, 8), grey = test::PixelAt(pic.h, 28, 8);
    for (auto [got, want] : {std::pair(magenta.r, 255),
                             {magenta.g, 0},
                             {magenta.b, 255},
                             {grey.r, 127},
                             {grey.g, 127},
                             {grey.b, 127}})
      EXPECT_NEAR(got, want, 3);
  }
}

// Colours, row order and grey pictures are compared with Qt in the conformance test; here the
// scales and the block's layout: packed 24-bit rows.
TEST(JpegPicture, ReductionPicksOneOfFourScales) {
  const Bytes jpeg = test::MakeJpeg(64, 48, 3, test::Gradient(64, 48));
  const struct {
    long reduction;
    int width;
  } cases[] = {{0, 64}, {1, 64}, {2, 32}, {3, 32}, {4, 16}, {7, 16}, {8, 8}, {100, 8}};
  for (const auto &c : cases) {
    Picture pic;
    ASSERT_EQ(DecodeMemory(jpeg, pic, c.reduction), 0);
    const BitmapInfoHeader h = test::HeaderOf(pic.h);
    EXPECT_EQ(std::tuple(h.width, h.height, h.bitCount, h.sizeImage, GlobalSize(pic.h)),
              std::tuple(c.width, c.width * 3 / 4, 24, c.width * 3u * h.height, 40u + h.sizeImage))
        << c.reduction;
  }
  Picture thumb;
  ASSERT_EQ(JpegDecodeThumbnail(thumb.out(), jpeg.data(), jpeg.size(), 4, nullptr, 0), 0);
  EXPECT_EQ(test::HeaderOf(thumb.h).width, 16);
  Picture none;
  const Bytes junk(100, 7);
  EXPECT_EQ(JpegDecodeThumbnail(none.out(), junk.data(), junk.size(), 1, nullptr, 0), SPI_NO_FUNCTION);
}

TEST(JpegPicture, TruncatedMemoryImageStillDecodesToFullSize) {
  const Bytes jpeg = test::MakeJpeg(64, 64, 3, test::Gradient(64, 64), 90);
  Picture full;
  ASSERT_EQ(DecodeMemory(jpeg, full), 0);
  Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 3 / 4));
  Picture pic;
  ASSERT_EQ(DecodeMemory(cut, pic), 0);
  EXPECT_EQ(std::tuple(test::HeaderOf(pic.h).width, test::HeaderOf(pic.h).height), std::tuple(64, 64));
  // The top rows are the picture's own; the rows never reached are not.
  const test::Rgb top = test::PixelAt(pic.h, 5, 0), fullTop = test::PixelAt(full.h, 5, 0);
  EXPECT_EQ(std::tuple(top.r, top.b), std::tuple(fullTop.r, fullTop.b));
  EXPECT_NE(test::PixelAt(pic.h, 63, 63).r, test::PixelAt(full.h, 63, 63).r);

  Picture empty;
  EXPECT_EQ(DecodeMemory(Bytes{0xFF, 0xD8}, empty), SPI_NO_PICTURE);
  const unsigned char nothing[1] = {};
  EXPECT_EQ(GetPicture(kJpeg, reinterpret_cast<const char *>(nothing), 0, SPI_SOURCE_MEMORY, empty.out(), 0,
                       1, nullptr, 0),
            SPI_NO_PICTURE);
  EXPECT_EQ(empty.h, nullptr);
}

std::vector<std::pair<int, int>> gCalls;
int cancelAt = -1;
int Record(int done, int total, long user) {
  EXPECT_EQ(user, 42);
  gCalls.emplace_back(done, total);
  return static_cast<int>(gCalls.size()) - 1 == cancelAt;
}

TEST(JpegPicture, ReportsProgressEveryTenPercentAndCancels) {
  const Bytes jpeg = test::MakeJpeg(16, 40, 3, test::Gradient(16, 40));
  gCalls.clear();
  cancelAt = -1;
  Picture pic;
  ASSERT_EQ(DecodeMemory(jpeg, pic, 1, Record, 42), 0);
  std::vector<std::pair<int, int>> expected;
  for (int done = 0; done <= 40; done += 4) expected.emplace_back(done, 40);
  EXPECT_EQ(gCalls, expected);

  gCalls.clear();
  cancelAt = 2;
  const std::size_t before = GlobalLiveBlockCount();
  Picture cancelled;
  EXPECT_EQ(DecodeMemory(jpeg, cancelled, 1, Record, 42), SPI_NO_PICTURE);
  EXPECT_EQ(cancelled.h, nullptr);
  EXPECT_EQ(gCalls.size(), 3u);
  EXPECT_EQ(GlobalLiveBlockCount(), before) << "a cancelled decode keeps nothing";
}

TEST(JpegInfo, SizeDepthCommentAndApp1) {
  const Bytes jpeg =
      test::MakeJpeg(20, 10, 3, test::Gradient(20, 10), 90, "a note", std::string("Exif\0\0MM", 8));
  SpiPictureInfo info{};
  uint32_t extra = 0;
  ASSERT_EQ(test::InfoOf(kJpeg, jpeg, info, &extra), 0);
  EXPECT_EQ(std::tuple(+info.width, +info.height, +info.colorDepth, test::TakeText(info.hInfo)),
            std::tuple(20, 10, 24, "a note"));
  ASSERT_NE(extra, 0u);
  GlobalHandle app1(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(extra)));
  // The APP1 bytes and a terminating 0.
  EXPECT_EQ(std::string(GlobalLockGuard(app1.get()).as<char>(), app1.size()), std::string("Exif\0\0MM\0", 9));

  test::Sandbox box;
  Bytes grey(8 * 8, 9);
  const Bytes g = test::MakeJpeg(8, 8, 1, grey);
  const auto path = box.write("g.jpg", std::string(3, 'x') + std::string(g.begin(), g.end()));
  SpiPictureInfo gi{};
  ASSERT_EQ(GetPictureInfo(kJpeg, path.c_str(), 3, SPI_SOURCE_FILE, &gi, nullptr), 0);
  EXPECT_EQ(std::tuple(+gi.colorDepth, +gi.hInfo), std::tuple(8, 0u));
  EXPECT_EQ(test::InfoOf(kJpeg, Bytes(64, 3), gi), SPI_FORMAT_ERROR);
  EXPECT_EQ(gi.colorDepth, 24) << "nothing read";
}

TEST(JpegPicture, FileFormFromTheOffsetAndTheHeadScanSwitch) {
  test::Sandbox box;
  const Bytes jpeg = test::MakeJpeg(24, 16, 3, test::Gradient(24, 16));
  const auto path = box.write("o.jpg", std::string(128, 'j') + std::string(jpeg.begin(), jpeg.end()));
  Picture pic;
  ASSERT_EQ(GetPicture(kJpeg, path.c_str(), 128, SPI_SOURCE_FILE, pic.out(), 0, 2, nullptr, 0), 0);
  EXPECT_EQ(test::HeaderOf(pic.h).width, 12);
  Picture fromStart;
  EXPECT_EQ(GetPicture(kJpeg, path.c_str(), 0, SPI_SOURCE_FILE, fromStart.out(), 0, 1, nullptr, 0),
            SPI_NO_PICTURE)
      << "a file is read from its offset as it is";
  EXPECT_EQ(JpegSetHeadScan(1), 0);
  Picture scanned;
  EXPECT_EQ(GetPicture(kJpeg, path.c_str(), 0, SPI_SOURCE_FILE, scanned.out(), 0, 1, nullptr, 0), 0);
  EXPECT_EQ(JpegSetHeadScan(0), 1);
}

TEST(JpegSettings, SkipListKeepsAtMostFourHundred) {
  std::vector<int> many(450);
  for (int i = 0; i < 450; ++i) many[i] = i;
  JpegSetSkipList(many);
  const auto kept = JpegGetSkipList();
  ASSERT_EQ(kept.size(), 400u);
  EXPECT_EQ(kept.back(), 399);
  JpegSetSkipList({});
  EXPECT_TRUE(JpegGetSkipList().empty());
}

}  // namespace
}  // namespace tamro::builtin
