// Joining a plug-in's two blocks into one picture.
#include <cstring>

#include "picture/dib.h"
#include "picture/dibtest.h"
#include "platform/globalhandle.h"
#include "testspi.h"

namespace tamro::test {
namespace {

HLOCAL Block(const std::vector<uint8_t> &bytes) { return BlockOf(bytes).release(); }

// A header of `size` bytes (the fields of the 40-byte one filled), then `extra` zero bytes.
std::vector<uint8_t> InfoHeader(uint32_t size, int32_t w, int32_t h, uint16_t bits, uint32_t compression = 0,
                                uint32_t used = 0, std::size_t extra = 0) {
  BitmapInfoHeader bi = Header(w, h, bits, compression, used);
  bi.size = size;
  std::vector<uint8_t> b(std::max<std::size_t>(size, 40) + extra, 0);
  std::memcpy(b.data(), &bi, 40);
  return b;
}

class AppendHandleTest : public ::testing::Test {
 protected:
  std::size_t before = GlobalLiveBlockCount();
  // Joins and answers the result; both input blocks must be gone afterwards, unless the
  // pixel block became the picture.
  int Join(const std::vector<uint8_t> &info, std::size_t pixelBytes, GlobalHandle *out, uint8_t fill = 0x5A,
           HLOCAL *pixelBlock = nullptr) {
    out->reset();
    const std::size_t start = GlobalLiveBlockCount();
    HDIB dib = nullptr;
    HLOCAL pixels = Block(std::vector<uint8_t>(pixelBytes, fill));
    if (pixelBlock) *pixelBlock = pixels;
    const int r = CSpiHost::AppendHandle(Block(info), pixels, &dib);
    out->reset(dib);
    EXPECT_EQ(GlobalLiveBlockCount(), start + (dib ? 1 : 0));
    return r;
  }
};

// The host hands every plug-in's blocks to this join (spihost_test.cpp decodes through it).
TEST_F(AppendHandleTest, JoinsHeaderColoursAndRows) {
  // The plug-in's pixel block becomes the picture: the rows are never held twice. Extra
  // bytes after the rows are cut off.
  GlobalHandle dib;
  HLOCAL pixels = nullptr;
  auto table = InfoHeader(40, 3, 2, 8, 0, 0, 256 * 4);
  table[40 + 4 * 255] = 0x77;
  ASSERT_EQ(Join(table, 8 + 5, &dib, 0x5A, &pixels), 0);
  EXPECT_EQ(std::tuple(dib.get(), dib.size()), std::tuple(pixels, 40u + 1024u + 8u));
  {
    GlobalLockGuard lock(dib.get());
    const auto *p = lock.as<uint8_t>();
    EXPECT_EQ(std::tuple(p[40 + 4 * 255], p[40 + 1024], p[40 + 1024 + 7]), std::tuple(0x77, 0x5A, 0x5A));
  }

  // A short colour table (colours used) and a top-down picture.
  auto small = InfoHeader(40, 1, -2, 4, 0, 3, 3 * 4);
  ASSERT_EQ(Join(small, 8, &dib), 0);
  EXPECT_EQ(std::tuple(dib.size(), DibHeight(dib.get())), std::tuple(40u + 12u + 8u, -2));
}

TEST_F(AppendHandleTest, OtherHeaderFormsBecomeTheUsualOne) {
  // 12-byte core header (5 x 2, 1 bit) with three-byte colours; colour 1's green is 0xEE.
  const std::vector<uint8_t> core = {12, 0, 0, 0, 5, 0, 2, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0xEE, 0};
  GlobalHandle dib;
  ASSERT_EQ(Join(core, 8, &dib), 0);
  DibLock lock(dib.get());
  ASSERT_TRUE(lock);
  EXPECT_EQ(std::tuple(DibHeaderSize(lock.header()), DibWidth(lock.header()), lock.bytes()[40 + 4 + 1]),
            std::tuple(40u, 5, 0xEE));

  // A 124-byte header with bit-field masks inside it.
  auto v5 = InfoHeader(124, 2, 2, 16, BI_BITFIELDS);
  const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
  std::memcpy(v5.data() + 40, masks, 12);
  GlobalHandle dib2;
  ASSERT_EQ(Join(v5, 8, &dib2), 0);
  DibLock lock2(dib2.get());
  ASSERT_TRUE(lock2);
  uint32_t green;
  std::memcpy(&green, lock2.bytes() + 44, 4);
  EXPECT_EQ(std::tuple(DibHeaderSize(lock2.header()), dib2.size(), green),
            std::tuple(40u, 40u + 12u + 8u, 0x07E0u));
}

TEST_F(AppendHandleTest, RefusesBlocksThatDoNotHoldThePicture) {
  GlobalHandle dib;
  EXPECT_EQ(Join(InfoHeader(40, 4, 4, 24), 47, &dib), 1);     // rows cut short
  EXPECT_EQ(Join(InfoHeader(40, 0, 4, 24), 64, &dib), 1);     // no width
  EXPECT_EQ(Join(InfoHeader(40, 4, 0, 24), 64, &dib), 1);     // no height
  EXPECT_EQ(Join(InfoHeader(40, 4, 4, 7), 64, &dib), 1);      // no such depth
  EXPECT_EQ(Join(InfoHeader(40, 4, 4, 8), 64, &dib), 1);      // colour table missing
  EXPECT_EQ(Join(InfoHeader(40, 4, 4, 24, 9), 64, &dib), 1);  // unknown compression
  EXPECT_EQ(Join(InfoHeader(40, 4, 4, 24, BI_BITFIELDS), 64, &dib), 1);
  EXPECT_EQ(Join(InfoHeader(40, 1, 1, 24, 0, 100000), 4, &dib), 1);  // absurd colour count
  auto cut = InfoHeader(200, 1, 1, 24);
  cut.resize(100);
  EXPECT_EQ(Join(cut, 4, &dib), 1);  // header longer than its block
  EXPECT_EQ(Join({1, 2, 3}, 4, &dib), 1);
  // Beyond the decode budget whatever the block holds.
  EXPECT_EQ(Join(InfoHeader(41, 0x7FFFFFFF, 0x7FFFFFFF, 32), 4, &dib), 4);
  EXPECT_EQ(Join(InfoHeader(40, 20000, 20000, 24), 64, &dib), 4);
  EXPECT_FALSE(dib);

  HDIB out = reinterpret_cast<HDIB>(1);
  EXPECT_EQ(CSpiHost::AppendHandle(nullptr, Block({1, 2}), &out), 1);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(GlobalLiveBlockCount(), before);
}

}  // namespace
}  // namespace tamro::test
