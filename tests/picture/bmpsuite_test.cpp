#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "picture/dib.h"
#include "picture/dibtest.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

fs::path Suite() { return test::CorpusDir() / "bmp-bmpsuite"; }

using test::ReadBmp;

// The 24-bit rows of a picture, top row first, without padding.
std::vector<uint32_t> Pixels24(HDIB h) {
  std::vector<uint32_t> out;
  HDIB c = DibTo24Bit(h);
  GlobalHandle full(c != h ? c : nullptr);
  for (int y = 0; y < DibHeight(c); ++y)
    for (int x = 0; x < DibWidth(c); ++x) out.push_back(test::PixelAt(c, x, y));
  return out;
}

TEST(BmpSuite, EveryFileIsReadOrRefusedAndWhatIsReadConverts) {
  if (!fs::exists(Suite())) GTEST_SKIP() << "no corpus at " << Suite();
  int read = 0;
  for (const char *folder : {"g", "q", "b"}) {
    for (const auto &entry : fs::directory_iterator(Suite() / folder)) {
      GlobalHandle h = ReadBmp(entry.path());
      if (!h) continue;
      ++read;
      DibLock lock(h.get());
      ASSERT_TRUE(lock) << entry.path();
      // A picture that was read fits its block, so every later step may walk it.
      EXPECT_LE(DibHeaderSize(lock.header()) + DibPaletteSize(lock.header()) + DibImageSize(lock.header()),
                static_cast<int64_t>(lock.size()))
          << entry.path();
      HDIB c = DibTo24Bit(h.get());
      GlobalHandle full(c != h.get() ? c : nullptr);
      EXPECT_TRUE(!c || DibBitCount(c) == 24) << entry.path();
    }
  }
  EXPECT_GT(read, 20);
}

TEST(BmpSuite, LayoutsOfOnePictureConvertAlike) {
  if (!fs::exists(Suite())) GTEST_SKIP() << "no corpus at " << Suite();
  const fs::path g = Suite() / "g";
  // The 8-bit picture as stored bottom-up, top-down, with a 12-byte header and with the
  // colour count left 0.
  GlobalHandle pal8 = ReadBmp(g / "pal8.bmp");
  ASSERT_TRUE(pal8);
  const std::vector<uint32_t> expected = Pixels24(pal8.get());
  ASSERT_EQ(expected.size(), 127u * 64u);
  for (const char *name : {"pal8topdown.bmp", "pal8os2.bmp", "pal8-0.bmp"}) {
    GlobalHandle h = ReadBmp(g / name);
    ASSERT_TRUE(h) << name;
    EXPECT_EQ(Pixels24(h.get()), expected) << name;
  }
  // Straight 24 bits, 32 bits and 32 bits with default bit fields give the same pixels.
  GlobalHandle rgb24 = ReadBmp(g / "rgb24.bmp");
  ASSERT_TRUE(rgb24);
  const std::vector<uint32_t> truecolour = Pixels24(rgb24.get());
  for (const char *name : {"rgb32.bmp", "rgb32bf.bmp", "rgb32bfdef.bmp", "rgb24pal.bmp"}) {
    GlobalHandle h = ReadBmp(g / name);
    ASSERT_TRUE(h) << name;
    EXPECT_EQ(Pixels24(h.get()), truecolour) << name;
  }
  // RLE data is left to the decoders: it reads, but is not converted here.
  GlobalHandle rle = ReadBmp(g / "pal8rle.bmp");
  ASSERT_TRUE(rle);
  EXPECT_EQ(DibTo24Bit(rle.get()), nullptr);
  // Headers of other sizes are refused.
  EXPECT_FALSE(ReadBmp(g / "pal8v5.bmp"));
}

}  // namespace
}  // namespace tamro
