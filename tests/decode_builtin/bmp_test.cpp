#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "decode/builtin/builtin.h"
#include "decode/builtin/decoders.h"
#include "helpers.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

using test::Bytes;
using test::MakeBmp;
using test::Picture;

int Supported(const Bytes &file) { return test::Claims(kBmp, "x.bmp", file); }
int Decode(const Bytes &file, Picture &pic) { return test::Decode(kBmp, file, pic); }

TEST(BmpSupport, ClaimsFortyByteHeadersOfTheDepthsItReads) {
  for (int bits : {1, 4, 8, 24}) EXPECT_EQ(Supported(MakeBmp(2, 2, bits, 0, Bytes(16))), 1) << bits;
  for (int bits : {16, 32}) EXPECT_EQ(Supported(MakeBmp(2, 2, bits, 0, Bytes(16))), 0) << bits;
  for (unsigned char header : {12, 124}) {  // OS/2 core header, version 5
    Bytes other = MakeBmp(2, 2, 8, 0, Bytes(8));
    other[14] = header;
    EXPECT_EQ(Supported(other), 0) << int{header};
  }
  EXPECT_EQ(Supported(Bytes{'B', 'A'}), 0);
}

TEST(BmpSupport, ReadsTheHeadFromADescriptorWithoutMovingIt) {
  test::Sandbox box;
  const Bytes file = MakeBmp(3, 1, 24, 0, Bytes(12));
  const auto path = box.write("a.bmp", std::string(file.begin(), file.end()));
  const int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(IsSupported(kBmp, "a.bmp", static_cast<uintptr_t>(fd)), 1);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
  close(fd);
}

TEST(BmpInfo, FillsSizeAndDepthInBothFormsAndTheFileIsReadFromItsOffset) {
  test::Sandbox box;
  Bytes rows(8 * 7);
  rows[8 * 6 + 4] = 4;  // top row
  const Bytes file = MakeBmp(5, 7, 8, 0, rows);
  SpiPictureInfo info{};
  info.x_density = 77;
  info.hInfo = 99;
  ASSERT_EQ(test::InfoOf(kBmp, file, info), 0);
  // The density is left alone.
  EXPECT_EQ(std::tuple(+info.width, +info.height, +info.colorDepth, +info.hInfo, +info.x_density),
            std::tuple(5, 7, 8, 0u, 77));

  // File form at an offset, as after a 128-byte MacBinary header.
  std::string withHeader(128, 'M');
  withHeader.append(file.begin(), file.end());
  const auto path = box.write("m.bmp", withHeader);
  SpiPictureInfo fi{};
  ASSERT_EQ(GetPictureInfo(kBmp, path.c_str(), 128, SPI_SOURCE_FILE, &fi, nullptr), 0);
  EXPECT_EQ(fi.width, 5);
  EXPECT_EQ(GetPictureInfo(kBmp, path.c_str(), 0, SPI_SOURCE_FILE, &fi, nullptr), SPI_NO_FUNCTION) << "no BM";
  const auto tiny = box.write("tiny.bmp", std::string(file.begin(), file.begin() + 54));
  EXPECT_EQ(GetPictureInfo(kBmp, tiny.c_str(), 0, SPI_SOURCE_FILE, &fi, nullptr), SPI_READ_ERROR)
      << "nothing beyond the headers";
  EXPECT_EQ(GetPictureInfo(kBmp, path.c_str(), 128, SPI_SOURCE_FILE, nullptr, nullptr), SPI_NO_FUNCTION);
  // The picture entry reads the file from the offset as well.
  Picture pic;
  ASSERT_EQ(GetPicture(kBmp, path.c_str(), 128, SPI_SOURCE_FILE, pic.out(), 0, 500, nullptr, 0), 0);
  EXPECT_EQ(test::IndexAt(pic.h, 4, 0), 4u);
}

TEST(BmpPicture, CopiesHeaderPaletteAndRows) {
  // 3x2 8-bit: bottom row 1 2 3, top row 4 5 6.
  const Bytes file = MakeBmp(3, 2, 8, 0, Bytes{1, 2, 3, 0, 4, 5, 6, 0});
  Picture pic;
  ASSERT_EQ(Decode(file, pic), 0);
  EXPECT_EQ(std::tuple(test::IndexAt(pic.h, 0, 0), test::IndexAt(pic.h, 2, 1), test::PaletteAt(pic.h, 255)),
            std::tuple(4u, 3u, 0xFFFF00u));
  EXPECT_EQ(GlobalSize(pic.h), 40u + 1024 + 8);
}

// Top-down files and a pixel offset beyond the table: the corpus's pal8topdown.bmp and
// pal8offs.bmp in the conformance test.
TEST(BmpPicture, RefusesWhatItWouldMisread) {
  Picture pic;
  EXPECT_EQ(Decode(MakeBmp(2, 2, 16, 0, Bytes(8)), pic), SPI_NO_FUNCTION);
  EXPECT_EQ(Decode(MakeBmp(2, 2, 32, 3, Bytes(16)), pic), SPI_NO_FUNCTION);
  Bytes core = MakeBmp(2, 2, 8, 0, Bytes(8));
  core[14] = 12;
  EXPECT_EQ(Decode(core, pic), SPI_NO_FUNCTION);
  EXPECT_EQ(Decode(Bytes{'X', 'X', 0, 0}, pic), SPI_NO_FUNCTION);
  EXPECT_EQ(pic.h, nullptr);
}

TEST(BmpPicture, SurvivesLyingAndTruncatedHeaders) {
  Picture pic;
  // Truncated pixel data: what is there is kept, the rest is black.
  Bytes cut = MakeBmp(4, 4, 8, 0, Bytes(16, 5));
  cut.resize(cut.size() - 8);
  ASSERT_EQ(Decode(cut, pic), 0);
  EXPECT_EQ(std::tuple(test::IndexAt(pic.h, 0, 3), test::IndexAt(pic.h, 0, 0)), std::tuple(5u, 0u));
  // A palette larger than the file, an enormous picture, headers cut short.
  Picture none;
  Bytes pal = MakeBmp(1, 1, 8, 0, Bytes(4));
  pal[46] = pal[47] = pal[48] = 0xFF;
  EXPECT_NE(Decode(pal, none), 0);
  EXPECT_NE(Decode(MakeBmp(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, Bytes(4)), none), 0);
  EXPECT_EQ(Decode(MakeBmp(0, 5, 8, 0, Bytes(4)), none), SPI_FORMAT_ERROR);
  EXPECT_EQ(Decode(Bytes(pal.begin(), pal.begin() + 30), none), SPI_DATA_ENDED);
  EXPECT_EQ(none.h, nullptr);
}

// RLE8 6x3: row 0 = run of 3 x 7 then literal 1 2 3; EOL; row 1 skipped by a delta (0, 1); row 2
// = delta (2, 0) then a literal of 3 (padded) then end of picture. RLE4 5x2: run of 5 pixels
// alternating 0xA and 0xB, EOL, literal of 3 pixels 1 2 3 (2 bytes, even).
TEST(BmpRle, ExpandsRunsLiteralsDeltasAndLineEnds) {
  const struct {
    uint32_t compression;
    int bits;
    Bytes rle;
    std::vector<std::vector<uint32_t>> rows;  // from the top
  } cases[] = {
      {BI_RLE8,
       8,
       {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 0, 1, 0, 2, 2, 0, 0, 3, 4, 5, 6, 0, 0, 1},
       {{0, 0, 4, 5, 6, 0}, {0, 0, 0, 0, 0, 0}, {7, 7, 7, 1, 2, 3}}},
      {BI_RLE4, 4, {5, 0xAB, 0, 0, 0, 3, 0x12, 0x30, 0, 1}, {{1, 2, 3, 0, 0}, {0xA, 0xB, 0xA, 0xB, 0xA}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.bits);
    const int w = static_cast<int>(c.rows[0].size()), h = static_cast<int>(c.rows.size());
    Picture pic;
    ASSERT_EQ(Decode(MakeBmp(w, h, c.bits, c.compression, c.rle), pic), 0);
    const BitmapInfoHeader header = test::HeaderOf(pic.h);
    EXPECT_EQ(std::tuple(header.compression, header.sizeImage), std::tuple(0u, 0u));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) EXPECT_EQ(test::IndexAt(pic.h, x, y), c.rows[y][x]) << x << "," << y;
  }
}

TEST(BmpRle8, DeltaPastTheRowDeliversTheCompressedPicture) {
  const Bytes rle{0, 2, 9, 0, 1, 5, 0, 1};  // move 9 right in a 4-pixel row, then write
  Picture pic;
  ASSERT_EQ(Decode(MakeBmp(4, 2, 8, BI_RLE8, rle), pic), 0);
  const BitmapInfoHeader h = test::HeaderOf(pic.h);
  EXPECT_EQ(std::tuple(h.compression, h.sizeImage), std::tuple(uint32_t{BI_RLE8}, rle.size()));
  EXPECT_EQ(GlobalSize(pic.h), 40 + 1024 + rle.size());
}

TEST(BmpRle, RowsPastThePictureCutDataAndOddLiterals) {
  unsigned char rows[8] = {};
  // Three line ends in a two-row picture, then a pixel: refused, nothing written outside.
  const unsigned char over[] = {0, 0, 0, 0, 0, 0, 1, 9};
  EXPECT_FALSE(ExpandRle(BI_RLE8, over, sizeof over, rows, 4, 2));
  // A literal promising more bytes than there are: what is there stands.
  const unsigned char cut[] = {0, 5, 1, 2};
  EXPECT_TRUE(ExpandRle(BI_RLE8, cut, sizeof cut, rows, 4, 2));
  EXPECT_EQ(std::tuple(rows[0], rows[1]), std::tuple(1, 2));
  EXPECT_FALSE(ExpandRle(0, cut, sizeof cut, rows, 4, 2));

  // An RLE4 literal of 5 pixels takes 3 bytes plus one of padding; the run after the padding
  // continues at pixel 5.
  const unsigned char odd[] = {0, 5, 0x12, 0x34, 0x50, 0xEE, 2, 0x77, 0, 1};
  ASSERT_TRUE(ExpandRle(BI_RLE4, odd, sizeof odd, rows, 8, 1));
  EXPECT_EQ(std::tuple(rows[0], rows[2], rows[3]), std::tuple(0x12, 0x57, 0x70));
}

}  // namespace
}  // namespace tamro::builtin
