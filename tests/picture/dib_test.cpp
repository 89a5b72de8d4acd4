#include "picture/dib.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <limits>

#include "picture/dibjpeg.h"
#include "picture/dibtest.h"
#include "support/bytes.h"
#include "support/mounts.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

using test::BlockOf;
using test::BytesOf;
using test::Header;
using test::Picture;
using test::PixelAt;
using test::PixelsAt;
using test::ReadBmp;
using Pixels = std::vector<uint32_t>;
using test::Rgb;

TEST(DibGeometry, AnswersForBothHeaderKinds) {
  BitmapInfoHeader bi = Header(10, 7, 8, BI_RGB, 20);
  EXPECT_EQ(std::tuple(DibNumColors(&bi), DibPaletteSize(&bi), DibRowBytes(&bi), DibImageSize(&bi),
                       DibTotalSize(&bi), DibBits(&bi) - reinterpret_cast<uint8_t *>(&bi)),
            std::tuple(20u, 80, 12, 84, 40 + 80 + 84, 120));
  // Bits, width: colours and row length.
  for (const auto &[bits, width, colours, row] : {std::array{1, 3, 2, 4}, {4, 9, 16, 8}, {24, 5, 0, 16}}) {
    bi = Header(width, 2, uint16_t(bits));
    EXPECT_EQ(std::tuple(DibNumColors(&bi), DibRowBytes(&bi)), std::tuple(uint32_t(colours), row)) << bits;
  }
  // A 16-bit row is its true length: 3 pixels are 6 bytes, padded to 8.
  bi = Header(3, 2, 16, BI_BITFIELDS);
  EXPECT_EQ(std::tuple(DibRowBytes(&bi), DibPaletteSize(&bi)), std::tuple(8, 12));
  // RLE pictures state their own image size; a top-down picture counts its rows once.
  bi = Header(100, 100, 8, BI_RLE8);
  bi.sizeImage = 777;
  EXPECT_EQ(DibImageSize(&bi), 777);
  bi = Header(4, -3, 24);
  EXPECT_EQ(std::tuple(DibHeight(&bi), DibImageSize(&bi)), std::tuple(-3, 36));
  // A stored bit count of 0 and an unknown header size both read as 24 bits.
  bi = Header(4, 3, 0);
  EXPECT_EQ(DibBitCount(&bi), 24);
  bi = Header(4, 3, 8);
  bi.size = 108;
  EXPECT_EQ(std::tuple(DibBitCount(&bi), DibNumColors(&bi)), std::tuple(24, 0u));

  BitmapCoreHeader core{12, 70, 300, 1, 8};
  auto *asInfo = reinterpret_cast<BitmapInfoHeader *>(&core);
  EXPECT_EQ(std::tuple(DibWidth(asInfo), DibHeight(asInfo), DibBitCount(asInfo), DibPaletteSize(asInfo)),
            std::tuple(70, 300, 8, 768));
}

TEST(DibGeometry, HandleFormsLockCheckAndAnswerZero) {
  // The handle forms hand the locked header to the forms above.
  GlobalHandle h(CreateDib(33, 5, 4));
  EXPECT_EQ(std::tuple(DibHeaderSize(h.get()), DibTotalSize(h.get()), GlobalSize(h.get())),
            std::tuple(40u, 204, 204u));
  EXPECT_EQ(GlobalLockCount(h.get()), 0u);

  EXPECT_TRUE(DibWidth(HDIB{}) == 0 && DibBits(HDIB{}) == nullptr);
  // A block too short for the header it claims is never read past its end.
  GlobalHandle shortBlock = BlockOf({40, 0, 0, 0, 9, 0, 0, 0});
  EXPECT_EQ(std::tuple(DibHeaderSize(shortBlock.get()), DibWidth(shortBlock.get())), std::tuple(40u, 0));
  // A freed handle is refused.
  HDIB stale = CreateDib(2, 2, 24);
  GlobalFree(stale);
  EXPECT_EQ(DibWidth(stale), 0);
}

TEST(DibGeometry, FitsRefusesHeadersThatLieAboutSizes) {
  GlobalHandle h(CreateDib(16, 16, 8));
  {
    DibLock lock(h.get());
    ASSERT_TRUE(lock);
    EXPECT_FALSE(DibFits(lock.header(), lock.size() - 1));
  }
  auto fits = [](BitmapInfoHeader bi, std::size_t block) { return DibFits(&bi, block); };
  const std::size_t big = std::size_t{1} << 40;
  EXPECT_FALSE(fits(Header(0x7FFFFFFF, 0x7FFFFFFF, 32), big));
  EXPECT_FALSE(fits(Header(0x7FFFFFFF, std::numeric_limits<int32_t>::min(), 24), big));
  for (const BitmapInfoHeader &bi : {Header(4, 4, 8, BI_RGB, 0xFFFFFFFF), Header(-4, 4, 24), Header(4, 0, 24),
                                     Header(4, 4, 2), Header(4, 4, 64)})
    EXPECT_FALSE(fits(bi, 4096)) << bi.width << "x" << bi.height << "x" << bi.bitCount;
  EXPECT_TRUE(fits(Header(4, -4, 24), 40 + 48) && !fits(Header(4, -4, 24), 40 + 47));
  EXPECT_TRUE(!CreateDib(0, 5, 24) && !CreateDib(5, 5, 3) && !CreateDib(100000, 100000, 32));
}

TEST(DibPixels, SetCountsFromTheTopRowAndIgnoresOutside) {
  GlobalHandle h(CreateDib(3, 2, 24));
  DibLock lock(h.get());
  BitmapInfoHeader *bi = lock.header();
  SetDibPixel(bi, 1, 0, Rgb(0x11, 0x22, 0x33));
  // y = 0 is the last stored row; bytes are blue, green, red.
  const uint8_t *top = DibBits(bi) + DibRowBytes(bi);
  EXPECT_EQ(std::vector<uint8_t>(top + 3, top + 6), (std::vector<uint8_t>{0x33, 0x22, 0x11}));
  EXPECT_EQ(std::tuple(GetDibPixel(bi, 1, 0), GetDibPixel(bi, 1, 1)), std::tuple(Rgb(0x11, 0x22, 0x33), 0u));

  std::vector<uint8_t> before = BytesOf(h.get());
  SetDibPixel(bi, 3, 0, 0xFFFFFF);
  SetDibPixel(bi, 0, 2, 0xFFFFFF);
  SetDibPixel(bi, -1, 0, 0xFFFFFF);
  EXPECT_EQ(BytesOf(h.get()), before);
  EXPECT_EQ(GetDibPixel(bi, 3, 0) | GetDibPixel(bi, 0, -1), 0u);
}

TEST(DibPixels, PackedDepthsTouchOnlyTheirBits) {
  GlobalHandle h4(CreateDib(3, 1, 4));
  DibLock l4(h4.get());
  SetDibPixel(l4.header(), 0, 0, 0xA);
  SetDibPixel(l4.header(), 1, 0, 0x5);
  SetDibPixel(l4.header(), 2, 0, 0xFF);  // only the low nibble counts
  EXPECT_EQ(std::tuple(DibBits(l4.header())[0], DibBits(l4.header())[1], GetDibPixel(l4.header(), 1, 0)),
            std::tuple(0xA5, 0xF0, 0x5u));

  GlobalHandle h1(CreateDib(10, 1, 1));
  DibLock l1(h1.get());
  SetDibPixel(l1.header(), 0, 0, 1);
  SetDibPixel(l1.header(), 9, 0, 3);
  EXPECT_EQ(std::tuple(DibBits(l1.header())[0], DibBits(l1.header())[1]), std::tuple(0x80, 0x40));
  SetDibPixel(l1.header(), 0, 0, 0);
  EXPECT_EQ(std::tuple(DibBits(l1.header())[0], GetDibPixel(l1.header(), 9, 0)), std::tuple(0x00, 1u));
}

// Colour table: entry i is (blue, green, red, 0).
std::vector<uint8_t> Table(std::initializer_list<uint32_t> rgbs) {
  std::vector<uint8_t> t;
  for (uint32_t c : rgbs) t.insert(t.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0});
  return t;
}

TEST(DibTo24Bit, PalettedDepthsLookUpTheirTable) {
  // 1 bit: 0b10100000 gives entries 1, 0, 1.
  GlobalHandle one = Picture(Header(3, 1, 1), Table({Rgb(1, 2, 3), Rgb(200, 100, 50)}), {0xA0, 0, 0, 0});
  GlobalHandle c1(DibTo24Bit(one.get()));
  EXPECT_TRUE(c1 && c1.get() != one.get());
  EXPECT_EQ(std::tuple(DibBitCount(c1.get()), DibNumColors(c1.get()), GlobalSize(c1.get())),
            std::tuple(24, 0u, 52u));
  EXPECT_EQ(PixelsAt(c1.get(), {{0, 0}, {1, 0}, {2, 0}}),
            (Pixels{Rgb(200, 100, 50), Rgb(1, 2, 3), Rgb(200, 100, 50)}));

  // 4 bits: the high nibble is the left pixel.
  std::vector<uint8_t> t16 = Table({0, Rgb(10, 0, 0), Rgb(0, 20, 0)});
  t16.resize(64);
  GlobalHandle four = Picture(Header(3, 1, 4), t16, {0x21, 0x10, 0, 0});
  GlobalHandle c4(DibTo24Bit(four.get()));
  EXPECT_EQ(PixelsAt(c4.get(), {{0, 0}, {1, 0}, {2, 0}}),
            (Pixels{Rgb(0, 20, 0), Rgb(10, 0, 0), Rgb(10, 0, 0)}));

  // 8 bits with a short table: rows advance by the padded length, and an index past the
  // table reads black instead of pixel bytes.
  GlobalHandle eight =
      Picture(Header(2, 2, 8, BI_RGB, 2), Table({Rgb(5, 6, 7), Rgb(8, 9, 10)}), {1, 0, 0, 0, 0, 200, 0, 0});
  GlobalHandle c8(DibTo24Bit(eight.get()));
  EXPECT_EQ(PixelsAt(c8.get(), {{0, 1}, {1, 1}, {0, 0}, {1, 0}}),
            (Pixels{Rgb(8, 9, 10), Rgb(5, 6, 7), Rgb(5, 6, 7), 0}));

  // A 12-byte header carries 3-byte entries right after it.
  std::vector<uint8_t> core = {12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 8, 0};
  core.resize(12 + 768);
  core[15] = 30, core[16] = 20, core[17] = 10;  // entry 1: red 10, green 20, blue 30
  core.insert(core.end(), {1, 0, 0, 0});
  GlobalHandle coreDib = BlockOf(core);
  GlobalHandle cc(DibTo24Bit(coreDib.get()));
  EXPECT_EQ(DibHeaderSize(cc.get()), 40u);
  EXPECT_EQ(PixelsAt(cc.get(), {{0, 0}, {1, 0}}), (Pixels{Rgb(10, 20, 30), 0}));
}

TEST(DibTo24Bit, BitFieldsGatherAndFillTheLowBits) {
  // 16 bits, no masks: 5 bits per channel, x1rrrrrgggggbbbbb.
  // 0x7C00: pure red 31; 0x03FF: green and blue 31, red 0.
  std::vector<uint8_t> rows, masks;
  for (uint32_t p : {0x7C00, 0x03FF}) test::PutLe16(rows, p);
  GlobalHandle p16 = Picture(Header(2, 1, 16), {}, rows);
  GlobalHandle c16(DibTo24Bit(p16.get()));
  EXPECT_EQ(PixelsAt(c16.get(), {{0, 0}, {1, 0}}), (Pixels{Rgb(255, 7, 7), Rgb(7, 255, 255)}));

  // 5-6-5 masks: green has 6 bits, so 0 becomes 0x03 and 1 becomes 0x07.
  rows.clear();
  for (uint32_t p : {0x0020, 0xF800}) test::PutLe16(rows, p);
  for (uint32_t m : {0xF800, 0x07E0, 0x001F}) test::PutLe32(masks, m);
  GlobalHandle b16 = Picture(Header(2, 1, 16, BI_BITFIELDS), masks, rows);
  GlobalHandle cb16(DibTo24Bit(b16.get()));
  EXPECT_EQ(PixelsAt(cb16.get(), {{0, 0}, {1, 0}}), (Pixels{Rgb(7, 0x07, 7), Rgb(255, 0x03, 7)}));

  // 32 bits: masks wider than 8 bits give their top 8; a scattered mask is gathered from
  // its highest bit down; an empty mask gathers nothing and reads all ones.
  masks.clear();
  for (uint32_t m : {0x3FF00000, 0x00000505, 0}) test::PutLe32(masks, m);
  // Red bits 1010101011 -> top 8 = 0xAA; green bits 1,0,0,1 -> 1001.
  std::vector<uint8_t> px;
  test::PutLe32(px, 0x2AB00401);
  GlobalHandle b32 = Picture(Header(1, 1, 32, BI_BITFIELDS), masks, px);
  GlobalHandle cb32(DibTo24Bit(b32.get()));
  EXPECT_EQ(PixelAt(cb32.get(), 0, 0), Rgb(0xAA, 0x9F, 0xFF));

  // Plain 32 bits are blue, green, red, unused.
  GlobalHandle p32 = Picture(Header(1, 1, 32), {}, {1, 2, 3, 4});
  GlobalHandle c32(DibTo24Bit(p32.get()));
  EXPECT_EQ(PixelAt(c32.get(), 0, 0), Rgb(3, 2, 1));
  GlobalHandle rle32 = Picture(Header(1, 1, 32, BI_RLE8), {}, {1, 2, 3, 4});
  EXPECT_EQ(DibTo24Bit(rle32.get()), nullptr);
}

TEST(DibTo24Bit, SameHandleRefusalsAndTopDown) {
  GlobalHandle p24(CreateDib(3, 3, 24));
  EXPECT_EQ(DibTo24Bit(p24.get()), p24.get());
  // Two bits, and too short a block for its rows (not read past): refused.
  GlobalHandle two = Picture(Header(4, 1, 2), Table({0, 0, 0, 0}), {0, 0, 0, 0});
  GlobalHandle truncated = Picture(Header(64, 64, 8), std::vector<uint8_t>(1024), std::vector<uint8_t>(100));
  for (HDIB h : {HDIB{}, two.get(), truncated.get()}) EXPECT_EQ(DibTo24Bit(h), nullptr);

  // Top-down rows come back bottom-up, as a new picture even at 24 bits.
  GlobalHandle td = Picture(Header(1, -2, 24), {}, {1, 2, 3, 0, 4, 5, 6, 0});
  GlobalHandle ctd(DibTo24Bit(td.get()));
  EXPECT_TRUE(ctd.get() != td.get() && DibHeight(ctd.get()) == 2);
  EXPECT_EQ(PixelsAt(ctd.get(), {{0, 0}, {0, 1}}), (Pixels{Rgb(3, 2, 1), Rgb(6, 5, 4)}));
}

std::vector<uint8_t> Bmp(uint32_t fileSize, uint32_t offBits, const std::vector<uint8_t> &rest) {
  std::vector<uint8_t> f = {'B', 'M'};
  for (uint32_t v : {fileSize, 0u, offBits}) test::PutLe32(f, v);
  f.insert(f.end(), rest.begin(), rest.end());
  return f;
}

std::vector<uint8_t> HeaderBytes(const BitmapInfoHeader &bi) { return BytesOf(Picture(bi, {}, {}).get()); }

TEST(DibBmpFile, WriteThenReadGivesTheSameBytes) {
  test::Sandbox box;
  GlobalHandle pic(CreateDib(5, 3, 8, 3));
  {
    DibLock lock(pic.get());
    uint8_t *pal = reinterpret_cast<uint8_t *>(lock.header()) + 40;
    for (int i = 0; i < 12; ++i) pal[i] = uint8_t(i * 20);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) SetDibPixel(lock.header(), x, y, (x + y) % 3);
  }
  const std::string path = box.path("a.bmp");
  ASSERT_EQ(SaveDibFile(path, pic.get()), 1);
  std::string file = test::ReadFile(path);
  ASSERT_EQ(file.size(), 14u + 40 + 12 + 24);
  EXPECT_EQ(std::tuple(file.substr(0, 2), uint8_t(file[2]), uint8_t(file[10])),
            std::tuple("BM", 14 + 40 + 12 + 24, 14 + 40 + 12));

  GlobalHandle back = ReadBmp(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(BytesOf(back.get()), BytesOf(pic.get()));
}

TEST(DibBmpFile, WriteRefusesWhatItCannotWriteAndLeavesNoFile) {
  test::Sandbox box;
  GlobalHandle coreDib = BlockOf({12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 24, 0, 1, 2, 3, 0});
  const std::string path = box.path("core.bmp");
  // Sizes that do not fit the block are refused too.
  GlobalHandle lying = Picture(Header(100, 100, 24), {}, {1, 2, 3});
  for (HDIB h : {coreDib.get(), HDIB{}, lying.get()})
    EXPECT_TRUE(SaveDibFile(path, h) == 0 && !std::filesystem::exists(path)) << DibWidth(h);
  GlobalHandle ok(CreateDib(2, 2, 24));
  EXPECT_EQ(SaveDibFile(box.path("no/such/folder/x.bmp"), ok.get()), 0);
  // A file that exists but cannot be opened for writing is not deleted.
  if (::geteuid() != 0) {
    const auto ro = box.write("ro.bmp", "keep");
    std::filesystem::permissions(ro, std::filesystem::perms::owner_read);
    EXPECT_TRUE(SaveDibFile(ro, ok.get()) == 0 && std::filesystem::exists(ro));
  }
}

TEST(DibBmpFile, FailedWritesKeepTheFileThatWasThere) {
  test::Sandbox box;
  const std::filesystem::path dir = box.path("small");
  test::TmpfsMount mount(dir, "64k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  const std::string bmp = (dir / "sheet.bmp").string(), jpg = (dir / "sheet.jpg").string();
  for (const char *name : {"small/sheet.bmp", "small/sheet.jpg"}) box.write(name, "previous");
  GlobalHandle small = test::Picture24(16, 16, [](int x, int y) { return Rgb(x * 16, y * 16, 0); });

  // A cancelled JPEG costs nothing either.
  EXPECT_EQ(SaveDibAsJpeg(
                small.get(), jpg, 1, 80, [](int, int, long) { return 1; }, 0),
            0);
  EXPECT_EQ(test::ReadFile(jpg), "previous");

  test::FillUp(dir);
  EXPECT_EQ(SaveDibFile(bmp, small.get()), 0);
  EXPECT_EQ(SaveDibAsJpeg(small.get(), jpg, 1, 80, nullptr, 0), 0);
  EXPECT_EQ(test::ReadFile(bmp) + test::ReadFile(jpg), "previousprevious");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 3)
      << "no temporary file left behind";

  std::filesystem::remove(dir / "filler");
  EXPECT_TRUE(SaveDibFile(bmp, small.get()) == 1 && test::ReadFile(bmp).substr(0, 2) == "BM");
}

TEST(DibBmpFile, StreamFailureIsThrownAsFileError) {
  std::FILE *full = std::fopen("/dev/full", "wb");
  if (!full) GTEST_SKIP() << "no /dev/full";
  std::setvbuf(full, nullptr, _IONBF, 0);
  GlobalHandle ok(CreateDib(2, 2, 24));
  EXPECT_THROW(WriteDibToStream(full, ok.get()), FileError);
  std::fclose(full);
  EXPECT_EQ(GlobalLockCount(ok.get()), 0u);
}

TEST(DibBmpFile, ReadKeepsBitFieldMasksAndRefusesLies) {
  test::Sandbox box;
  auto read = [&](const std::vector<uint8_t> &bytes, long at = 0) {
    return ReadBmp(box.write("t.bmp", std::string(bytes.begin(), bytes.end())), at);
  };
  // Pixels are found after the bit-field masks, after a gap past the table, and from the
  // stream's position when the file is embedded.
  std::vector<uint8_t> masks = HeaderBytes(Header(1, 1, 16, BI_BITFIELDS));
  for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) test::PutLe32(masks, m);
  masks.insert(masks.end(), {0x00, 0xF8, 0, 0});
  std::vector<uint8_t> gap =
      BytesOf(Picture(Header(2, 1, 8, BI_RGB, 2), Table({Rgb(1, 1, 1), Rgb(2, 2, 2)}), {}).get());
  gap.insert(gap.end(), 6, 0xEE);
  gap.insert(gap.end(), {1, 0, 0, 0});
  std::vector<uint8_t> embedded = {'p', 'r', 'e', 'f', 'i', 'x'}, plain = HeaderBytes(Header(1, 1, 24));
  plain.insert(plain.end(), {7, 8, 9, 0});
  for (uint8_t b : Bmp(14 + 44, 54, plain)) embedded.push_back(b);
  // Name, file, where the file starts in the stream, the pixel read.
  const std::tuple<const char *, std::vector<uint8_t>, long, uint32_t> rows[] = {
      {"masks", Bmp(14 + 56, 14 + 52, masks), 0, Rgb(255, 3, 7)},
      {"gap", Bmp(14 + 40 + 8 + 6 + 4, 14 + 40 + 8 + 6, gap), 0, Rgb(2, 2, 2)},
      {"embedded", embedded, 6, Rgb(9, 8, 7)}};
  for (const auto &[name, file, at, pixel] : rows) {
    GlobalHandle h = read(file, at);
    HDIB c = DibTo24Bit(h.get());
    GlobalHandle converted(c != h.get() ? c : nullptr);
    EXPECT_EQ(PixelAt(c, 0, 0), pixel) << name;
  }

  BitmapInfoHeader bi = Header(2, 2, 24);
  std::vector<uint8_t> good = HeaderBytes(bi);
  good.resize(40 + 16, 9);
  // A size field far beyond the file is held to what the file has; 0 too.
  for (uint32_t size : {14u + 56, 0xFFFFFFF0u, 0u}) EXPECT_TRUE(read(Bmp(size, 54, good))) << size;
  EXPECT_FALSE(read(Bmp(14 + 56, 54, {good.begin(), good.end() - 1})));  // pixels short
  EXPECT_FALSE(read(Bmp(14 + 56, 0xFFFFFF00, good)));                    // offset past the end
  // Header size, a huge width, colours used at 8 bits.
  for (const std::vector<std::pair<int, uint8_t>> &lie :
       {std::vector<std::pair<int, uint8_t>>{{0, 64}},
        {{4, 0xFF}, {5, 0xFF}, {6, 0xFF}, {7, 0x7F}},
        {{14, 8}, {32, 0xFF}, {33, 0xFF}, {34, 0xFF}, {35, 0xFF}}}) {
    std::vector<uint8_t> bad = good;
    for (const auto &[at, value] : lie) bad[at] = value;
    EXPECT_FALSE(read(Bmp(14 + 56, 54, bad))) << lie[0].first;
  }
  EXPECT_FALSE(read({'B', 'M', 1, 2}));
  std::vector<uint8_t> notBmp = Bmp(14 + 56, 54, good);
  notBmp[0] = 'X';
  EXPECT_TRUE(!read(notBmp) && !ReadDibFromStream(nullptr));
}

}  // namespace
}  // namespace tamro
