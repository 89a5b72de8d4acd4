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

// The 24-bit rows of the picture in a file, top row first, without padding (none when it is
// not read or not converted).
std::vector<uint32_t> Pixels24(const fs::path &path) {
  std::vector<uint32_t> out;
  GlobalHandle h = ReadBmp(path);
  HDIB c = DibTo24Bit(h.get());
  GlobalHandle full(c != h.get() ? c : nullptr);
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
  const std::vector<uint32_t> expected = Pixels24(g / "pal8.bmp");
  ASSERT_EQ(expected.size(), 127u * 64u);
  for (const char *name : {"pal8topdown.bmp", "pal8os2.bmp", "pal8-0.bmp"})
    EXPECT_EQ(Pixels24(g / name), expected) << name;
  // Straight 24 bits, 32 bits and 32 bits with default bit fields give the same pixels.
  const std::vector<uint32_t> truecolour = Pixels24(g / "rgb24.bmp");
  ASSERT_FALSE(truecolour.empty());
  for (const char *name : {"rgb32.bmp", "rgb32bf.bmp", "rgb32bfdef.bmp", "rgb24pal.bmp"})
    EXPECT_EQ(Pixels24(g / name), truecolour) << name;
  // RLE data is left to the decoders: it reads, but is not converted here.
  GlobalHandle rle = ReadBmp(g / "pal8rle.bmp");
  ASSERT_TRUE(rle);
  EXPECT_EQ(DibTo24Bit(rle.get()), nullptr);
  // Headers of other sizes are refused.
  EXPECT_FALSE(ReadBmp(g / "pal8v5.bmp"));
}

}  // namespace
}  // namespace tamro
