#include "decode/builtin/gif.h"

#include <gtest/gtest.h>

#include "decode/builtin/builtin.h"
#include "helpers.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

using test::Bytes;
using test::GifFrame;
using test::MakeGif;
using test::Picture;

const std::vector<uint32_t> kFour = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

GifFrame Frame(int w, int h, std::vector<unsigned char> indices) {
  GifFrame f;
  f.width = w;
  f.height = h;
  f.indices = std::move(indices);
  return f;
}

// One decoding state for the frames a test decodes.
class GifFrames : public ::testing::Test {
 protected:
  int DecodeFrame(const Bytes &file) { return GifDecodeFrame(*s, file.data(), file.size()); }
  HDIB Pic() const { return s->picture.get(); }
  HDIB Mask() const { return s->maskPicture.get(); }
  std::unique_ptr<GifDecodeState> s = std::make_unique<GifDecodeState>();
};

TEST_F(GifFrames, DecodesTheChosenFrameWithItsOwnTableAndControl) {
  GifFrame first = Frame(2, 1, {1, 2});
  GifFrame second = Frame(3, 2, {1, 1, 0, 0, 1, 1});
  second.left = 4;
  second.top = 5;
  second.localBits = 1;
  second.localColours = {0x102030, 0xA0B0C0};
  second.delay = 25;
  second.disposal = 2;
  second.graphicControl = true;
  const Bytes file = MakeGif(8, 8, 2, kFour, {first, second});

  s->frameIndex = 1;
  ASSERT_EQ(DecodeFrame(file), 0);
  EXPECT_EQ(std::tie(s->left, s->top, s->width, s->height, s->delay, s->disposal, s->transparentIndex,
                     s->colourBits),
            std::make_tuple(4, 5, 3, 2, 25, 2, -1, 1));
  ASSERT_TRUE(s->picture);
  EXPECT_FALSE(s->maskPicture);
  const auto c = test::PixelAt(Pic(), 0, 0);
  EXPECT_EQ(std::tuple(test::HeaderOf(Pic()).bitCount, test::PaletteAt(Pic(), 1), c.r, c.b,
                       test::IndexAt(Pic(), 2, 0)),
            std::tuple(1, 0xA0B0C0u, 0xA0, 0xC0, 0u));

  // Frame 0 of the same state: the global table again, no delay left over.
  s->frameIndex = 0;
  ASSERT_EQ(DecodeFrame(file), 0);
  // A 2-bit table gives 4 bits.
  EXPECT_EQ(std::tuple(s->delay, test::HeaderOf(Pic()).bitCount, test::PixelAt(Pic(), 1, 0).g),
            std::tuple(0, 4, 0xFF));

  s->frameIndex = 2;
  EXPECT_EQ(DecodeFrame(file), SPI_NO_PICTURE) << "no third frame";
}

TEST_F(GifFrames, TransparencyMasksAllButTwoColourPicturesWithATable) {
  GifFrame f = Frame(9, 2, {0, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 0});
  f.transparent = 3;
  ASSERT_EQ(DecodeFrame(MakeGif(9, 2, 2, kFour, {f})), 0);
  // Blue, as a colour reference.
  EXPECT_EQ(std::tuple(s->transparentIndex, s->transparentColour), std::tuple(3, 0xFF0000u));
  ASSERT_TRUE(s->maskPicture);
  EXPECT_EQ(
      std::tuple(test::HeaderOf(Mask()).bitCount, test::PaletteAt(Mask(), 0), test::PaletteAt(Mask(), 1)),
      std::tuple(1, 0u, 0xFFFFFFu));
  // 1 drawn, 0 transparent.
  EXPECT_EQ(std::tuple(test::IndexAt(Mask(), 0, 0), test::IndexAt(Mask(), 1, 0), test::IndexAt(Mask(), 8, 1),
                       test::IndexAt(Mask(), 8, 0)),
            std::tuple(1u, 0u, 1u, 0u));

  const GifFrame two{.width = 2, .height = 1, .indices = {0, 1}, .transparent = 1};
  ASSERT_EQ(DecodeFrame(MakeGif(2, 1, 1, {0, 0xFFFFFF}, {two})), 0);
  EXPECT_EQ(test::HeaderOf(Pic()).bitCount, 1);
  EXPECT_FALSE(s->maskPicture) << "1-bit with a colour table never gets a mask";
}

// The row order of whole interlaced pictures is compared with Qt in the conformance test
// (hippopotamus.interlaced.gif, animated_loop_interlaced.gif); here a picture too short for
// some passes.
TEST_F(GifFrames, InterlacedPassesBeyondAShortPictureAreSkipped) {
  std::vector<uint32_t> grey(16);
  for (int i = 0; i < 16; ++i) grey[i] = static_cast<uint32_t>(i * 0x111111);
  // Three rows: the passes starting at rows 4 and 2... are skipped, not written to nowhere.
  const GifFrame small{.width = 1, .height = 3, .indices = {0, 2, 1}, .interlaced = true};
  ASSERT_EQ(DecodeFrame(MakeGif(1, 3, 4, grey, {small})), 0);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(test::IndexAt(Pic(), 0, y), static_cast<uint32_t>(y)) << y;
}

TEST_F(GifFrames, DataEndingEarlyKeepsTheRowsDecoded) {
  std::vector<unsigned char> px(40 * 40, 2);
  Bytes file = MakeGif(40, 40, 2, kFour, {Frame(40, 40, px)});
  // Cut in the middle of the picture data.
  file.resize(file.size() / 2);
  ASSERT_EQ(DecodeFrame(file), 0);
  // Rows never decoded are colour 0.
  EXPECT_EQ(std::tuple(test::IndexAt(Pic(), 0, 0), test::IndexAt(Pic(), 39, 39)), std::tuple(2u, 0u));

  // A zero-length block before the end code ends the data as well: the last data byte,
  // which holds the end code, is dropped from the only sub-block.
  Bytes file2 = MakeGif(8, 1, 2, kFour, {Frame(8, 1, {1, 2, 3, 1, 2, 3, 1, 2})});
  file2.resize(file2.size() - 2);  // the trailer and the terminator
  // Signature, screen and table take 25 bytes, the descriptor 10; then the code size.
  ASSERT_EQ(file2[35], 2) << "code size byte where expected";
  ASSERT_EQ(file2.size(), 37u + file2[36]) << "one sub-block";
  --file2[36];
  file2.back() = 0;
  ASSERT_EQ(DecodeFrame(file2), 0);
  EXPECT_EQ(std::tuple(test::IndexAt(Pic(), 0, 0), test::IndexAt(Pic(), 2, 0)), std::tuple(1u, 3u));
}

TEST_F(GifFrames, ResultCodesOfBrokenFiles) {
  Bytes good = MakeGif(2, 1, 2, kFour, {Frame(2, 1, {1, 2})});
  Bytes sig = good;
  sig[3] = sig[4] = '7';
  EXPECT_EQ(DecodeFrame(sig), SPI_FORMAT_ERROR);
  EXPECT_EQ(DecodeFrame(Bytes(good.begin(), good.begin() + 15)), SPI_DATA_ENDED) << "inside the table";
  Bytes noSeparator = good;
  noSeparator[13 + 12] = '!';
  EXPECT_EQ(DecodeFrame(noSeparator), SPI_NO_PICTURE);
  Bytes codeSize = good;
  codeSize[13 + 12 + 10] = 12;
  EXPECT_EQ(DecodeFrame(codeSize), SPI_FORMAT_ERROR);
  EXPECT_EQ(DecodeFrame(MakeGif(2, 1, 2, kFour, {Frame(0, 1, {})})), SPI_FORMAT_ERROR) << "zero width";
  EXPECT_EQ(DecodeFrame(Bytes{}), SPI_FORMAT_ERROR);
  EXPECT_FALSE(s->picture);
}

TEST_F(GifFrames, AFullCodeTableWithoutAClearKeepsDecoding) {
  // An encoder that never clears: once the table holds 4096 entries, 12-bit codes go on
  // without adding any (a deferred clear), and the picture decodes to its end.
  std::vector<unsigned char> px(100 * 100);
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>((i * 7 + i / 100) % 4);
  const GifFrame f{.width = 100, .height = 100, .indices = px, .neverClear = true};
  ASSERT_EQ(DecodeFrame(MakeGif(100, 100, 2, kFour, {f})), 0);
  for (int y : {0, 45, 99})
    for (int x : {0, 61, 99})
      EXPECT_EQ(test::IndexAt(Pic(), x, y), px[static_cast<std::size_t>(y) * 100 + x]) << x << "," << y;
}

TEST_F(GifFrames, DepthFollowsTheColourBitsAndGreyStandsInForAMissingTable) {
  std::vector<uint32_t> many(256, 0x123456);
  ASSERT_EQ(DecodeFrame(MakeGif(2, 1, 5, many, {Frame(2, 1, {31, 0})})), 0);
  EXPECT_EQ(std::tuple(test::HeaderOf(Pic()).bitCount, test::IndexAt(Pic(), 0, 0), s->grey),
            std::tuple(8, 31u, true));

  // No table at all, 4 colour bits on the screen: a 16-step grey ramp.
  ASSERT_EQ(DecodeFrame(MakeGif(2, 1, 0, {}, {Frame(2, 1, {15, 1})}, {}, 4)), 0);
  EXPECT_EQ(std::tuple(s->grey, test::HeaderOf(Pic()).bitCount, test::PaletteAt(Pic(), 1),
                       test::PixelAt(Pic(), 0, 0).r),
            std::tuple(false, 4, 0x111111u, 255));
}

TEST(GifPicture, FirstFrameThroughBothFormsAndMaskFreed) {
  test::Sandbox box;
  const GifFrame f{.width = 2, .height = 2, .indices = {1, 2, 3, 0}, .transparent = 0};
  const Bytes file = MakeGif(2, 2, 2, kFour, {f, Frame(1, 1, {3})});
  const auto path = box.write("a.gif", std::string(10, 'x') + std::string(file.begin(), file.end()));
  const std::size_t before = GlobalLiveBlockCount();
  {
    Picture pic;
    ASSERT_EQ(GetPicture(kGif, path.c_str(), 10, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), 0);
    EXPECT_EQ(std::tuple(test::HeaderOf(pic.h).width, test::PixelAt(pic.h, 1, 0).g), std::tuple(2, 255));
    EXPECT_EQ(GlobalLiveBlockCount(), before + 1) << "only the picture is left";
  }
  Picture mem;
  ASSERT_EQ(test::Decode(kGif, file, mem), 0);
  Picture none;
  const auto empty = box.write("e.gif", "GIF89a");
  EXPECT_EQ(GetPicture(kGif, empty.c_str(), 6, SPI_SOURCE_FILE, none.out(), 0, 0, nullptr, 0),
            SPI_READ_ERROR);
}

TEST(GifInfo, ScreenThenFirstImageAndTheCommentInBothForms) {
  test::Sandbox box;
  const GifFrame f{.width = 3, .height = 2, .indices = {1, 1, 1, 1, 1, 1}, .localBits = 3};
  const Bytes file = MakeGif(50, 40, 2, kFour, {f}, "hello");
  const auto path = box.write("c.gif", std::string(file.begin(), file.end()));
  SpiPictureInfo info{};
  ASSERT_EQ(GetPictureInfo(kGif, path.c_str(), 0, SPI_SOURCE_FILE, &info, nullptr), 0);
  EXPECT_EQ(std::tuple(+info.width, +info.height, +info.colorDepth, test::TakeText(info.hInfo)),
            std::tuple(3, 2, 3, "hello"));
  SpiPictureInfo mem{};
  ASSERT_EQ(test::InfoOf(kGif, file, mem), 0);
  // The host hands decoders memory images of files: the comment is read there too.
  EXPECT_EQ(std::tuple(+mem.width, test::TakeText(mem.hInfo)), std::tuple(3, "hello"));
  EXPECT_EQ(
      GetPictureInfo(kGif, reinterpret_cast<const char *>(file.data()), 16, SPI_SOURCE_MEMORY, &mem, nullptr),
      SPI_READ_ERROR)
      << "ends within the colour table";

  EXPECT_EQ(test::Claims(kGif, "c.gif", file), 1);
  Bytes other = file;
  other[4] = '8';
  EXPECT_EQ(test::Claims(kGif, "c.gif", other), 0);
}

}  // namespace
}  // namespace tamro::builtin
