#include "picture/dibjpeg.h"

#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/dib.h"
#include "picture/dibtest.h"
#include "support/guiapp.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

using test::Picture24;
using test::Rgb;

// What Qt's JPEG reader makes of a file; a null image when it is none.
QImage Decode(const std::string &bytes) {
  test::EnsureGuiApp();
  return QImage::fromData(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), "JPEG");
}

// Red top half, blue bottom half; 8-pixel blocks keep JPEG error small.
GlobalHandle Halves(int width, int height) {
  return Picture24(width, height,
                   [height](int, int y) { return y < height / 2 ? Rgb(220, 30, 20) : Rgb(20, 40, 230); });
}

TEST(DibJpeg, FileDecodesToTheSizeColoursAndOrientation) {
  test::Sandbox box;
  GlobalHandle pic = Halves(37, 32);  // 37 * 3 needs row padding
  const std::string path = box.path("a.jpg");
  ASSERT_EQ(SaveDibAsJpeg(pic.get(), path, 1, 95, nullptr, 0), 1);
  const QImage d = Decode(test::ReadFile(path));
  ASSERT_EQ(std::tuple(d.size(), d.format()), std::tuple(QSize(37, 32), QImage::Format_RGB32));
  for (const auto &[x, y, r, g, b] : {std::array{3, 3, 220, 30, 20}, std::array{30, 28, 20, 40, 230}}) {
    const QRgb p = d.pixel(x, y);
    EXPECT_LE(std::max({std::abs(qRed(p) - r), std::abs(qGreen(p) - g), std::abs(qBlue(p) - b)}), 6)
        << x << "," << y;
  }
  EXPECT_EQ(d.text().toStdString(), std::string("Description: ") + kJpegMakersMark)
      << "one comment, the maker's";
}

TEST(DibJpeg, GreyOutputHasOneComponentWithTheWeightedValue) {
  test::Sandbox box;
  GlobalHandle pic = Picture24(16, 16, [](int, int) { return Rgb(200, 100, 50); });
  const std::string path = box.path("g.jpg");
  ASSERT_EQ(SaveDibAsJpeg(pic.get(), path, 0, 100, nullptr, 0), 1);
  const QImage d = Decode(test::ReadFile(path));
  EXPECT_EQ(d.format(), QImage::Format_Grayscale8);
  // 0.114 * 50 + 0.587 * 100 + 0.299 * 200 = 124.2 -> 124
  EXPECT_NEAR(qGray(d.pixel(8, 8)), 124, 1);
}

struct ProgressLog {
  std::vector<std::pair<int, int>> calls;
  int cancelAt = -1;  // answer non-zero on this call
};

int Record(int done, int total, long user) {
  auto *log = reinterpret_cast<ProgressLog *>(user);
  log->calls.emplace_back(done, total);
  return static_cast<int>(log->calls.size()) - 1 == log->cancelAt;
}

TEST(DibJpeg, ProgressEveryTenPercentAndCancelLeavesNoFile) {
  test::Sandbox box;
  GlobalHandle pic = Halves(8, 25);
  ProgressLog log;
  ASSERT_EQ(SaveDibAsJpeg(pic.get(), box.path("p.jpg"), 1, 80, Record, reinterpret_cast<long>(&log)), 1);
  // Rows 0, 3 (12 %), 6 (24 %), 9 (36 %), 12 (48 %), 15 (60 %), 18 (72 %), 21 (84 %), 24 (96 %).
  std::vector<std::pair<int, int>> expected = {{0, 25},  {3, 25},  {6, 25},  {9, 25},  {12, 25},
                                               {15, 25}, {18, 25}, {21, 25}, {24, 25}, {25, 25}};
  EXPECT_EQ(log.calls, expected);

  const std::string path = box.path("c.jpg");
  for (int at : {0, 5}) {
    ProgressLog cancel{{}, at};
    EXPECT_EQ(SaveDibAsJpeg(pic.get(), path, 1, 80, Record, reinterpret_cast<long>(&cancel)), 0) << at;
    EXPECT_EQ(cancel.calls.size(), at + 1u);
    EXPECT_FALSE(std::filesystem::exists(path)) << at;
  }
}

TEST(DibJpeg, RefusesWhatItCannotWrite) {
  test::Sandbox box;
  GlobalHandle p8(CreateDib(4, 4, 8));
  const std::string path = box.path("x.jpg");
  GlobalHandle lying = test::Picture(test::Header(64, 64, 24), {}, {1, 2, 3});
  for (HDIB h : {p8.get(), HDIB{}, lying.get()}) EXPECT_EQ(SaveDibAsJpeg(h, path, 1, 80, nullptr, 0), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  // Rows not all there (found by fuzzing).
  GlobalHandle rle = test::ShortRlePicture();
  EXPECT_EQ(SaveDibAsJpeg(rle.get(), path, 1, 80, nullptr, 0), 0);
  std::vector<uint8_t> block(4096);
  std::size_t n = block.size();
  EXPECT_EQ(EncodeDibAsJpeg(block.data(), &n, rle.get(), 1, 80, nullptr, 0), 0);
  GlobalHandle ok = Halves(4, 4);
  EXPECT_EQ(SaveDibAsJpeg(ok.get(), box.path("none/x.jpg"), 1, 80, nullptr, 0), 0);
  // Out-of-range qualities are held to what the library accepts.
  for (int quality : {500, -3}) {
    EXPECT_EQ(SaveDibAsJpeg(ok.get(), path, 1, quality, nullptr, 0), 1);
    EXPECT_FALSE(Decode(test::ReadFile(path)).isNull()) << quality;
  }
}

TEST(DibJpeg, MemoryEncoderMatchesTheFileAndFailsWhenTheBlockIsSmall) {
  test::Sandbox box;
  // Noise makes the stream span several 4096-byte work buffers.
  GlobalHandle pic = Picture24(120, 90, [](int x, int y) {
    uint32_t v = static_cast<uint32_t>(x * 7919 + y * 104729);
    v ^= v >> 7;
    v *= 2654435761u;
    return v & 0xFFFFFF;
  });
  const std::string path = box.path("m.jpg");
  ASSERT_EQ(SaveDibAsJpeg(pic.get(), path, 1, 95, nullptr, 0), 1);
  const std::string file = test::ReadFile(path);
  ASSERT_GT(file.size(), 3u * 4096);

  std::vector<uint8_t> block(file.size() + 100);
  auto encode = [&](uint8_t *into, std::size_t room) {
    const int done = EncodeDibAsJpeg(into, &room, pic.get(), 1, 95, nullptr, 0);
    return std::pair(done, room);
  };
  ASSERT_EQ(encode(block.data(), block.size()), std::pair(1, file.size()));
  EXPECT_EQ(std::string(block.begin(), block.begin() + file.size()), file);

  // Exactly enough room; one byte short (the size stays as given); not even one work buffer; none; no block.
  EXPECT_EQ(encode(block.data(), file.size()).first, 1);
  EXPECT_EQ(encode(block.data(), file.size() - 1), std::pair(0, file.size() - 1));
  EXPECT_EQ(encode(block.data(), 4095).first + encode(block.data(), 0).first + encode(nullptr, 100).first, 0);
  ProgressLog cancel{{}, 0};
  std::size_t size = block.size();
  EXPECT_EQ(EncodeDibAsJpeg(block.data(), &size, pic.get(), 1, 95, Record, reinterpret_cast<long>(&cancel)),
            0);
}

}  // namespace
}  // namespace tamro
