#include "picture/transform.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "picture/dib.h"
#include "picture/dibtest.h"

namespace tamro {
namespace {

using test::BytesOf;
using test::Header;
using test::Picture;
using test::Picture24;
using test::PixelAt;
using test::PixelsAt;
using Pixels = std::vector<uint32_t>;
using test::Rgb;

uint32_t Grey(int v) { return Rgb(uint8_t(v), uint8_t(v), uint8_t(v)); }

// Owns a result unless it is the input.
struct Result {
  HDIB input, h;
  Result(HDIB in, HDIB out) : input(in), h(out) {}
  ~Result() {
    if (h && h != input) GlobalFree(h);
  }
  bool same() const { return h == input; }
  int width() const { return DibWidth(h); }
  int height() const { return DibHeight(h); }
  uint32_t at(int x, int y) const { return PixelAt(h, x, y); }
};

TEST(DibRotation, UsesTheStoredFactorAndBoundingBox) {
  const DibRotation r(90);
  EXPECT_LT(r.cos, 0.0);  // the factor is a little above pi / 180
  double x, y;
  r.Apply(10, 0, x, y);
  // Clockwise on screen: right turns to down.
  EXPECT_TRUE(std::abs(x) < 1e-6 && std::abs(y - 10) < 1e-6) << x << "," << y;
  const DibRotation none(0);
  none.Apply(3.5, -2, x, y);
  EXPECT_EQ(std::tuple(x, y), std::tuple(3.5, -2));

  const RotatedBox box = RotatedBounds(100, 50, 90);
  EXPECT_NEAR(box.left, -50, 1e-6);
  EXPECT_NEAR(box.right, 0, 1e-6);
  EXPECT_NEAR(box.bottom, 100, 1e-6);
  EXPECT_EQ(
      (std::vector<DibSize>{RotatedSize(100, 50, 90), RotatedSize(100, 50, -90), RotatedSize(100, 50, 180),
                            RotatedSize(100, 50, 270), RotatedSize(100, 100, 45), RotatedSize(7, 3, 0)}),
      (std::vector<DibSize>{{50, 100}, {50, 100}, {100, 50}, {50, 100}, {141, 141}, {7, 3}}));
}

TEST(Transforms, SameSizeWithoutAngleAnswersTheInput) {
  GlobalHandle pic = Picture24(100, 100, [](int x, int y) { return Grey((x + y) & 0xFF); });
  for (HDIB r : {ScaleNearest(pic.get(), 100, 100, 0), ScaleBilinear(pic.get(), 100, 100, 0),
                 ScaleAverage(pic.get(), 100, 100, 0, true), RotateDib(pic.get(), 0)})
    EXPECT_EQ(r, pic.get());
  // A quarter turn at the same size goes to the rotation: a new 100 x 100 picture.
  for (HDIB out : {ScaleNearest(pic.get(), 100, 100, 90), ScaleBilinear(pic.get(), 100, 100, 90),
                   ScaleAverage(pic.get(), 100, 100, 90, false)}) {
    Result r(pic.get(), out);
    EXPECT_FALSE(r.same());
    EXPECT_EQ(std::tuple(r.width(), r.height(), r.at(99, 0)), std::tuple(100, 100, PixelAt(pic.get(), 0, 0)));
  }
  // Bilinear works on 24 bits only; a bad target size or angle changes nothing.
  GlobalHandle p8(CreateDib(4, 4, 8));
  EXPECT_EQ(ScaleBilinear(p8.get(), 8, 8, 0), p8.get());
  for (HDIB r : {ScaleNearest(pic.get(), 0, 10, 0), ScaleAverage(pic.get(), 10, -1, 0, false),
                 RotateDib(pic.get(), std::numeric_limits<double>::quiet_NaN()),
                 ScaleBilinear(pic.get(), 10, 10, std::numeric_limits<double>::infinity())})
    EXPECT_EQ(r, pic.get());
}

TEST(Transforms, RefuseWhatTheyCannotReadWithoutTouchingIt) {
  GlobalHandle topDown = Picture(Header(2, -2, 24), {}, std::vector<uint8_t>(16, 7));
  GlobalHandle lying = Picture(Header(500, 500, 24), {}, {1, 2, 3, 4});
  GlobalHandle p16 = Picture(Header(2, 2, 16), {}, std::vector<uint8_t>(8, 1));
  GlobalHandle rle = test::ShortRlePicture();
  for (HDIB h : {topDown.get(), lying.get(), p16.get(), rle.get(), HDIB{}}) {
    EXPECT_EQ(std::vector({ScaleNearest(h, 5, 5, 0), ScaleBilinear(h, 5, 5, 30),
                           ScaleAverage(h, 5, 5, 0, true), RotateDib(h, 90), AdjustDibColors(h, 1, 1, 1, 0)}),
              std::vector(5, h));
  }
  EXPECT_EQ(BytesOf(lying.get()).size(), 44u);
  // Sharpening answers a copy of what it cannot filter.
  Result copy(p16.get(), SharpenDib(p16.get(), 0.3));
  EXPECT_EQ(std::tuple(copy.same(), BytesOf(copy.h)), std::tuple(false, BytesOf(p16.get())));
  EXPECT_EQ(SharpenDib(HDIB{}, 0.3), nullptr);
}

TEST(RotateDib, QuarterTurnsMovePixelsWithoutLoss) {
  // 3 x 2: 1 2 3 / 4 5 6
  GlobalHandle pic = Picture24(3, 2, [](int x, int y) { return uint32_t(y * 3 + x + 1); });
  // Angle, width, height, pixels row by row.
  const std::tuple<double, int, int, Pixels> cases[] = {{90, 2, 3, {4, 1, 5, 2, 6, 3}},
                                                        {180, 3, 2, {6, 5, 4, 3, 2, 1}},
                                                        {270, 2, 3, {3, 6, 2, 5, 1, 4}},
                                                        {-90, 2, 3, {3, 6, 2, 5, 1, 4}},
                                                        {360, 3, 2, {1, 2, 3, 4, 5, 6}}};
  for (const auto &[angle, w, h, rows] : cases) {
    Result r(pic.get(), RotateDib(pic.get(), angle));
    ASSERT_EQ(std::tuple(r.width(), r.height()), std::tuple(w, h)) << angle;
    Pixels got;
    for (int i = 0; i < w * h; ++i) got.push_back(r.at(i % w, i / w));
    EXPECT_EQ(got, rows) << angle;
  }

  // A one-row picture turns into one column, every pixel kept.
  GlobalHandle strip = Picture24(5, 1, [](int x, int) { return uint32_t(x + 10); });
  Result col(strip.get(), RotateDib(strip.get(), 90));
  ASSERT_EQ(std::tuple(col.width(), col.height()), std::tuple(1, 5));
  EXPECT_EQ(PixelsAt(col.h, {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}}), (Pixels{10, 11, 12, 13, 14}));

  // Paletted pictures keep their depth and table.
  std::vector<uint8_t> table(16 * 4);
  table[4 * 3] = 99;
  GlobalHandle four = Picture(Header(2, 1, 4), table, {0x30, 0, 0, 0});
  Result r4(four.get(), RotateDib(four.get(), 90));
  EXPECT_EQ(std::tuple(DibBitCount(r4.h), r4.at(0, 0), r4.at(0, 1)), std::tuple(4, 3u, 0u));
  DibLock l4(r4.h);
  EXPECT_EQ(l4.bytes()[40 + 12], 99);
}

TEST(RotateDib, FortyFiveDegreesGrowsWithBlackCorners) {
  GlobalHandle pic = Picture24(100, 100, [](int, int) { return Rgb(200, 150, 100); });
  Result r(pic.get(), RotateDib(pic.get(), 45));
  EXPECT_EQ(std::tuple(r.width(), r.height()), std::tuple(141, 141));
  EXPECT_EQ(PixelsAt(r.h, {{0, 0}, {140, 0}, {0, 140}, {140, 140}}), (Pixels{0, 0, 0, 0}));
  const uint32_t c = Rgb(200, 150, 100);
  EXPECT_EQ(PixelsAt(r.h, {{70, 70}, {70, 2}, {2, 70}}), (Pixels{c, c, c}));
}

TEST(ScaleNearest, PicksTheSampledPixelAndKeepsTheDepth) {
  GlobalHandle pic = Picture24(4, 2, [](int x, int y) { return uint32_t(y * 10 + x); });
  Result half(pic.get(), ScaleNearest(pic.get(), 2, 1, 0)), up(pic.get(), ScaleNearest(pic.get(), 8, 4, 0));
  EXPECT_EQ(std::tuple(PixelsAt(half.h, {{0, 0}, {1, 0}}), PixelsAt(up.h, {{7, 3}, {2, 1}})),
            std::tuple(Pixels{0, 2}, Pixels{13, 1}));

  std::vector<uint8_t> table(256 * 4, 0);
  GlobalHandle p8 = Picture(Header(2, 1, 8), table, {5, 9, 0, 0});
  Result r8(p8.get(), ScaleNearest(p8.get(), 4, 2, 0));
  EXPECT_EQ(std::tuple(DibBitCount(r8.h), r8.at(0, 1), r8.at(3, 0)), std::tuple(8, 5u, 9u));

  // A turned reduction keeps every edge: no row of black where the picture ends.
  GlobalHandle uniform = Picture24(40, 20, [](int, int) { return Rgb(9, 9, 9); });
  Result turned(uniform.get(), ScaleNearest(uniform.get(), 10, 20, 90));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(turned.at(x, y), Rgb(9, 9, 9)) << x << "," << y;
}

TEST(ScaleBilinear, EnlargingFadesTheFarEdgesTowardBlack) {
  GlobalHandle pic = Picture24(4, 4, [](int, int) { return Grey(200); });
  Result r(pic.get(), ScaleBilinear(pic.get(), 8, 8, 0));
  // x = 7 samples 3.5: halfway to the black beyond the right edge.
  EXPECT_EQ(PixelsAt(r.h, {{0, 0}, {6, 5}, {7, 0}, {0, 7}, {7, 7}}),
            (Pixels{Grey(200), Grey(200), Grey(100), Grey(100), Grey(50)}));

  // Weights are 8-bit fixed point with arithmetic shifts: 0 -> 255 at a third is
  // 0 + (255 * 85 >> 8) = 84; 255 -> 0 at a third is 255 + (-255 * 85 >> 8) = 170.
  for (const auto &[left, right, atAThird] : {std::array{0, 255, 84}, std::array{255, 0, 170}}) {
    GlobalHandle ramp = Picture24(2, 1, [l = left, r = right](int x, int) { return Grey(x ? r : l); });
    Result third(ramp.get(), ScaleBilinear(ramp.get(), 6, 1, 0));
    EXPECT_EQ(third.at(1, 0), Grey(atAThird)) << left << " to " << right;
  }
}

TEST(ScaleBilinear, TurnedPicturesStayWithinTheSourceValues) {
  // A sharp pattern turned by odd angles: blending never leaves 0..max and the inside of a
  // quarter turn is exact.
  GlobalHandle pic =
      Picture24(30, 20, [](int x, int y) { return ((x / 3 + y / 3) & 1) ? Grey(240) : Grey(16); });
  for (double angle : {30.0, 90.0, 200.0, -45.0}) {
    Result r(pic.get(), ScaleBilinear(pic.get(), 25, 25, angle));
    for (int y = 0; y < 25; ++y)
      for (int x = 0; x < 25; ++x) ASSERT_LE(r.at(x, y) & 0xFF, 240u) << angle;
  }
  Result quarter(pic.get(), ScaleBilinear(pic.get(), 20, 30, 90));
  for (int y = 1; y < 29; ++y)
    for (int x = 1; x < 19; ++x) {
      const uint32_t v = quarter.at(x, y);
      ASSERT_TRUE(v == Grey(240) || v == Grey(16)) << x << "," << y;
    }
}

TEST(ScaleAverage, SamplingStepsFollowTheFactor) {
  // Column x holds x * x, so the chosen columns show in the average.
  GlobalHandle pic = Picture24(64, 8, [](int x, int) { return Grey(x * x / 16); });
  auto first = [&](int width, bool fine) {
    Result r(pic.get(), ScaleAverage(pic.get(), width, 1, 0, fine));
    return int(r.at(0, 0) & 0xFF);
  };
  auto avg = [](std::initializer_list<int> cols) {
    int s = 0;
    for (int c : cols) s += c * c / 16;
    return s / int(cols.size());
  };
  // Factor 8, fine: every 2.5 pixels, columns 0, 2, 5, 7.
  EXPECT_EQ(first(8, true), avg({0, 2, 5, 7}));
  // Factor 8, coarse: step 1, columns 0 to 7.
  EXPECT_EQ(first(8, false), avg({0, 1, 2, 3, 4, 5, 6, 7}));
  // Factor 16, fine: step 1.
  EXPECT_EQ(first(4, true), avg({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  // Factor 5.333, fine: step 5 / 3: columns 0, 1, 3, 5.
  EXPECT_EQ(first(12, true), avg({0, 1, 3, 5}));
  // Factor 2, fine: step 1; coarse: step 2 / 3, columns 0, 0, 1.
  EXPECT_EQ(first(32, true), avg({0, 1}));
  Result coarse2(pic.get(), ScaleAverage(pic.get(), 32, 1, 0, false));
  EXPECT_EQ(int(coarse2.at(1, 0) & 0xFF), avg({2, 2, 3}));
  // Factor 13, fine: step 8 / 3: columns 0, 2, 5, 8, 10.
  GlobalHandle wide = Picture24(130, 1, [](int x, int) { return Grey(x); });
  Result r13(wide.get(), ScaleAverage(wide.get(), 10, 1, 0, true));
  EXPECT_EQ(int(r13.at(1, 0) & 0xFF), (13 + 15 + 18 + 21 + 23) / 5);
}

TEST(ScaleAverage, PalettedSourcesGiveTwentyFourBits) {
  std::vector<uint8_t> table(8, 0);
  table[0] = 10;                  // entry 0: blue 10
  table[4] = 30, table[6] = 200;  // entry 1: blue 30, red 200
  GlobalHandle p1 = Picture(Header(2, 1, 1, BI_RGB, 2), table, {0x40, 0, 0, 0});
  Result r(p1.get(), ScaleAverage(p1.get(), 1, 1, 0, false));
  EXPECT_EQ(std::tuple(DibBitCount(r.h), DibNumColors(r.h)), std::tuple(24, 0u));
  // Factor 2, step 2 / 3: samples at 0, 0.67, 1.33 -> entries 0, 0, 1.
  EXPECT_EQ(r.at(0, 0), Rgb(200 / 3, 0, (10 + 10 + 30) / 3));
  // Turned samples falling outside the source are skipped, not counted as black.
  GlobalHandle uniform = Picture24(50, 50, [](int, int) { return Grey(90); });
  Result turned(uniform.get(), ScaleAverage(uniform.get(), 20, 20, 30, true));
  EXPECT_EQ(PixelsAt(turned.h, {{10, 10}, {0, 0}}), (Pixels{Grey(90), 0}));
}

TEST(SharpenDib, UniformStaysAndEdgesUseTheirOwnNeighbours) {
  GlobalHandle flat = Picture24(5, 4, [](int, int) { return Rgb(10, 128, 250); });
  Result same(flat.get(), SharpenDib(flat.get(), 0.3));
  EXPECT_EQ(std::tuple(same.same(), BytesOf(same.h)), std::tuple(false, BytesOf(flat.get())));

  // 3 x 3 of 50 with 100 in the middle.
  GlobalHandle dot = Picture24(3, 3, [](int x, int y) { return Grey(x == 1 && y == 1 ? 100 : 50); });
  Result s(dot.get(), SharpenDib(dot.get(), 0.3));
  // Centre: 100 + ((50 * 76) >> 8) = 114; top middle: (50 + 50 + 100) / 3 = 66; 50 + ((-16 * 76) >> 8) = 50
  // - 5.
  EXPECT_EQ(PixelsAt(s.h, {{1, 1}, {0, 0}, {1, 0}}), (Pixels{Grey(114), Grey(50), Grey(45)}));
  EXPECT_EQ(PixelAt(dot.get(), 1, 1), Grey(100));  // the input is untouched

  GlobalHandle spike = Picture24(3, 1, [](int x, int) { return Grey(x == 1 ? 250 : 0); });
  Result clipped(spike.get(), SharpenDib(spike.get(), 0.3));
  EXPECT_EQ(PixelsAt(clipped.h, {{1, 0}, {0, 0}}), (Pixels{Grey(255), Grey(0)}));
}

TEST(AdjustDibColors, ContrastThenOffsetsInPlace) {
  GlobalHandle pic = Picture24(2, 1, [](int x, int) { return x ? Rgb(100, 100, 100) : Rgb(0, 255, 16); });
  EXPECT_EQ(AdjustDibColors(pic.get(), 0, 0, 0, 0.0), pic.get());
  EXPECT_EQ(PixelAt(pic.get(), 1, 0), Rgb(100, 100, 100));
  EXPECT_EQ(AdjustDibColors(pic.get(), 0, 10, -200, 1.0), pic.get());
  // 100 -> (100 - 10) * 1 + 100 = 190, then the offsets.
  EXPECT_EQ(PixelAt(pic.get(), 1, 0), Rgb(190, 200, 0));
  // 255 -> 255 + 239 is held at 255; 16 -> 28, less 200 is held at 0; 0 stays 0.
  EXPECT_EQ(PixelAt(pic.get(), 0, 0), Rgb(0, 255, 0));

  GlobalHandle dim = Picture24(1, 1, [](int, int) { return Rgb(100, 50, 9); });
  AdjustDibColors(dim.get(), 0, 0, 0, -0.5);
  // (100 - 10) * -0.5 + 100 = 55; (50 - 7.07) * -0.5 + 50 = 28.5 -> 28; (9 - 3) * -0.5 + 9 = 6.
  EXPECT_EQ(PixelAt(dim.get(), 0, 0), Rgb(55, 28, 6));

  // Paletted: the table changes, the pixels do not, and a short table is not overrun.
  std::vector<uint8_t> table = {100, 100, 100, 0, 1, 2, 3, 0};
  GlobalHandle p8 = Picture(Header(2, 1, 8, BI_RGB, 2), table, {1, 0, 0, 0});
  AdjustDibColors(p8.get(), 5, 5, 5, 0.0);
  std::vector<uint8_t> bytes = BytesOf(p8.get());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 40, bytes.end()),
            (std::vector<uint8_t>{105, 105, 105, 0, 6, 7, 8, 0, 1, 0, 0, 0}));
}

TEST(ScaleDibByMode, DispatchesAndFreesWhatItMade) {
  GlobalHandle pic = Picture24(4, 4, [](int x, int y) { return Grey(x * 60 + y); });
  std::vector<uint8_t> table(16 * 4, 0);
  table[4] = 77;
  GlobalHandle four = Picture(Header(2, 2, 4), table, {0x11, 0, 0, 0, 0x11, 0, 0, 0});
  const std::size_t live = GlobalLiveBlockCount();
  {
    Result plain(pic.get(), ScaleDibByMode(pic.get(), 8, 8, 0, kScalePlain, 1.0, false));
    // A nearest stretch: source (3, 3) at the far corner.
    EXPECT_EQ(std::tuple(plain.width(), PixelsAt(plain.h, {{7, 7}, {7, 0}})),
              std::tuple(8, Pixels{Grey(183), Grey(180)}));
    Result turned(pic.get(), ScaleDibByMode(pic.get(), 4, 4, 90, 7, 1.0, false));
    EXPECT_EQ(turned.at(3, 0), PixelAt(pic.get(), 0, 0));
    Result bilinear(pic.get(), ScaleDibByMode(pic.get(), 8, 8, 0, kScaleBilinear, 1.0, false));
    EXPECT_EQ(bilinear.at(7, 0), Grey(90));  // the bilinear fade, not a stretch
    Result automatic(pic.get(), ScaleDibByMode(pic.get(), 2, 2, 0, kScaleAuto, 0.5, true));
    // Factor 2 fine: step 1, samples 0 and 1 each way.
    EXPECT_EQ(automatic.at(0, 0), Grey((0 + 60 + 1 + 61) / 4));
    EXPECT_EQ(ScaleDibByMode(pic.get(), 4, 4, 0, kScaleAverage, 1.0, false), pic.get());
  }
  // A paletted picture goes through a 24-bit copy that does not outlive the call.
  {
    Result r(four.get(), ScaleDibByMode(four.get(), 1, 1, 0, kScaleNearest, 1.0, false));
    EXPECT_EQ(std::tuple(DibBitCount(r.h), r.at(0, 0)), std::tuple(24, Rgb(0, 0, 77)));
    Result same(four.get(), ScaleDibByMode(four.get(), 2, 2, 0, kScaleNearest, 1.0, false));
    EXPECT_EQ(DibBitCount(same.h), 24);  // the conversion is the answer
  }
  EXPECT_EQ(GlobalLiveBlockCount(), live);
}

}  // namespace
}  // namespace tamro
