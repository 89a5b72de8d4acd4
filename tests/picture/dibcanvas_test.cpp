#include "picture/dibcanvas.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <filesystem>

#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "picture/dibtest.h"
#include "support/guiapp.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

using test::Header;
using test::Picture;
using test::Picture24;
using test::PixelAt;
using test::PixelsAt;
using Pixels = std::vector<uint32_t>;
using test::Rgb;

TEST(CanvasTest, CreateFillsAndGivesBackA24BitPicture) {
  CDibCanvas canvas;
  EXPECT_TRUE(!canvas.Create(0, 0, 0) && !canvas.IsValid());
  ASSERT_TRUE(canvas.Create(5, 3, Rgb(10, 20, 30)) && canvas.Size() == QSize(5, 3));
  canvas.Fill(QRect(1, 0, 2, 1), Rgb(200, 0, 0));
  canvas.Fill(QRect(4, 2, 10, 10), Rgb(0, 0, 200));  // clipped at the surface edge
  GlobalHandle h(canvas.GetDib());
  EXPECT_EQ(
      std::tuple(DibBitCount(h.get()), DibHeaderSize(h.get()), static_cast<int64_t>(GlobalSize(h.get()))),
      std::tuple(24, 40u, DibTotalSize(h.get())));
  const uint32_t back = Rgb(10, 20, 30), red = Rgb(200, 0, 0);
  EXPECT_EQ(PixelsAt(h.get(), {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 2}, {4, 1}}),
            (Pixels{back, red, red, back, Rgb(0, 0, 200), back}));

  // Same size and depth: only refilled.
  ASSERT_TRUE(canvas.Create(5, 3, 24, Rgb(1, 1, 1)));
  GlobalHandle again(canvas.GetDib());
  EXPECT_EQ(PixelAt(again.get(), 1, 0), Rgb(1, 1, 1));
  canvas.Destroy();
  EXPECT_TRUE(!canvas.IsValid() && !canvas.GetDib());
}

TEST(CanvasTest, LowDepthsUseTheGreyRampOrThePicturesTable) {
  CDibCanvas c1, c4, c8;
  ASSERT_TRUE(c1.Create(9, 2, 1, Rgb(200, 200, 200)) && c4.Create(3, 2, 4, Rgb(32, 32, 32)) &&
              c8.Create(2, 2, 8, Rgb(77, 77, 77)));
  GlobalHandle p1(c1.GetDib()), p4(c4.GetDib()), p8(c8.GetDib());
  ASSERT_TRUE(p1 && p4 && p8);
  EXPECT_EQ(std::tuple(DibBitCount(p1.get()), DibBitCount(p4.get()), DibBitCount(p8.get())),
            std::tuple(1, 4, 8));
  {
    // 32 is nearest to entry 2 (34).
    DibLock l4(p4.get());
    auto *table = reinterpret_cast<RgbQuad *>(l4.bytes() + 40);
    EXPECT_EQ(std::tuple(table[1].red, table[15].green, GetDibPixel(l4.header(), 2, 1)),
              std::tuple(17, 255, 2u));
    DibLock l1(p1.get());
    auto *t1 = reinterpret_cast<RgbQuad *>(l1.bytes() + 40);
    EXPECT_EQ(std::tuple(t1[0].blue, t1[1].blue, GetDibPixel(l1.header(), 8, 0), DibBits(l1.header())[0],
                         DibBits(l1.header())[1]),
              std::tuple(0, 255, 1u, 0xFF, 0x80));
  }
  EXPECT_EQ(PixelAt(p8.get(), 1, 1), 77u);

  // A picture's own table, and its size when none is asked for.
  std::vector<uint8_t> table = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
  BitmapInfoHeader bi = Header(3, 2, 8, BI_RGB, 3);
  bi.sizeImage = 8;  // the canvas states its image size
  GlobalHandle pal = Picture(bi, table, {0, 1, 2, 0, 2, 1, 0, 0});
  CDibCanvas fromPic;
  ASSERT_TRUE(fromPic.CreateFromDib(0, 0, pal.get(), Rgb(250, 10, 10)));
  EXPECT_EQ(std::tuple(fromPic.BitCount(), fromPic.Size()), std::tuple(8, QSize(3, 2)));
  fromPic.DrawDib(pal.get(), QPoint(0, 0));
  GlobalHandle back(fromPic.GetDib());
  ASSERT_TRUE(back);
  EXPECT_EQ(test::BytesOf(back.get()), test::BytesOf(pal.get())) << "three colours, as the picture's table";
  EXPECT_FALSE(fromPic.Create(3, 3, 16, 0));
}

TEST(CanvasTest, DrawingAPictureKeepsItsOrientationAndStretchesByNearestPixel) {
  // 2 x 2: red, green on top; blue, white below.
  GlobalHandle pic = Picture24(2, 2, [](int x, int y) {
    static const uint32_t c[2][2] = {{Rgb(255, 0, 0), Rgb(0, 255, 0)}, {Rgb(0, 0, 255), Rgb(255, 255, 255)}};
    return c[y][x];
  });
  CDibCanvas canvas;
  ASSERT_TRUE(canvas.Create(6, 5, 0));
  canvas.DrawDib(pic.get(), QRect(0, 0, 4, 4));
  canvas.DrawDib(pic.get(), QPoint(4, 3));
  GlobalHandle h(canvas.GetDib());
  const uint32_t red = Rgb(255, 0, 0), green = Rgb(0, 255, 0), blue = Rgb(0, 0, 255);
  EXPECT_EQ(PixelsAt(h.get(), {{0, 0}, {1, 1}, {2, 0}, {1, 2}, {3, 3}, {4, 4}, {5, 3}, {4, 0}}),
            (Pixels{red, red, green, blue, Rgb(255, 255, 255), blue, green, 0}));

  // Depths Qt cannot read directly, and rows stored top-down, draw the same way.
  std::vector<uint8_t> t16(64);
  t16[4 * 3 + 2] = 255;  // entry 3 red
  GlobalHandle four = Picture(Header(2, -1, 4), t16, {0x30, 0, 0, 0});
  CDibCanvas small;
  ASSERT_TRUE(small.Create(2, 1, Rgb(9, 9, 9)));
  small.DrawDib(four.get(), QPoint(0, 0));
  GlobalHandle s(small.GetDib());
  EXPECT_EQ(PixelsAt(s.get(), {{0, 0}, {1, 0}}), (Pixels{red, 0}));
  // A picture whose block is too short draws nothing.
  GlobalHandle lying = Picture(Header(50, 50, 24), {}, {1, 2, 3});
  small.DrawDib(lying.get(), QPoint(0, 0));
  GlobalHandle rle = test::ShortRlePicture();
  small.DrawDib(rle.get(), QRect(0, 0, 2, 1));
  GlobalHandle same(small.GetDib());
  EXPECT_EQ(PixelAt(same.get(), 0, 0), red);
}

TEST(CanvasTest, LinesLeaveOutTheirEndPoint) {
  CDibCanvas canvas;
  ASSERT_TRUE(canvas.Create(5, 5, 0));
  canvas.DrawLine(QPoint(0, 3), QPoint(0, 0), Rgb(255, 255, 255));
  canvas.DrawLine(QPoint(0, 0), QPoint(4, 0), Rgb(255, 255, 255));
  canvas.DrawLine(QPoint(-3, 4), QPoint(9, 4), Rgb(0, 0, 255));  // clipped, not written outside
  GlobalHandle h(canvas.GetDib());
  const uint32_t white = Rgb(255, 255, 255), blue = Rgb(0, 0, 255);
  EXPECT_EQ(PixelsAt(h.get(), {{0, 3}, {0, 0}, {3, 0}, {4, 0}, {0, 4}, {4, 4}}),
            (Pixels{white, white, white, 0, blue, blue}));
}

int CountColour(HDIB h, uint32_t colour, QRect area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += PixelAt(h, x, y) == colour;
  return n;
}

TEST(CanvasTest, TextIsTransparentClippedAndTabsExpand) {
  test::EnsureGuiApp();  // text needs it for its fonts
  const QFont font = CanvasFont("ＭＳ ゴシック", -14);
  EXPECT_EQ(font.pixelSize(), 14);
  const QSize plain = CDibCanvas::MeasureText("ab", font, 4);
  const QSize tabbed = CDibCanvas::MeasureText("a\tb", font, 4);
  EXPECT_TRUE(plain.width() > 0 && plain.height() > 10) << plain.width() << "x" << plain.height();
  EXPECT_GE(tabbed.width(), 4 * QFontMetrics(font).averageCharWidth());

  CDibCanvas canvas;
  ASSERT_TRUE(canvas.Create(120, 40, Rgb(255, 255, 255)));
  const int line = canvas.DrawText(QRect(2, 2, 60, 20), "日本語 WWWWWWWWWWWWWWW", font, Rgb(0, 0, 0), 4);
  EXPECT_EQ(line, plain.height());
  canvas.DrawTextAt(70, 35, "Hg", font, Rgb(0, 0, 0), QRect(60, 20, 60, 20));
  GlobalHandle h(canvas.GetDib());
  const uint32_t white = Rgb(255, 255, 255);
  // Something was drawn inside each clip, nothing outside them, and the background
  // between glyphs stayed white.
  const int firstClip = CountColour(h.get(), white, QRect(2, 2, 60, 20));
  EXPECT_TRUE(firstClip > 0 && firstClip < 60 * 20) << firstClip;
  EXPECT_LT(CountColour(h.get(), white, QRect(60, 20, 60, 20)), 60 * 20);
  EXPECT_EQ(std::tuple(CountColour(h.get(), white, QRect(62, 0, 58, 20)),
                       CountColour(h.get(), white, QRect(0, 22, 60, 18))),
            std::tuple(58 * 20, 60 * 18));
}

TEST(CanvasTest, CopiesToAPainterAndSavesBmp) {
  GlobalHandle pic = Picture24(3, 2, [](int x, int y) { return Rgb(uint8_t(x * 80), uint8_t(y * 100), 7); });
  CDibCanvas canvas;
  ASSERT_TRUE(canvas.CreateFromDib(0, 0, pic.get(), 0));
  canvas.DrawDib(pic.get(), QPoint(0, 0));
  QImage target(6, 4, QImage::Format_RGB32);
  target.fill(Qt::black);
  QPainter painter(&target);
  canvas.BlitTo(painter, 1, 1);
  painter.end();
  EXPECT_EQ(std::tuple(target.pixel(1, 1), target.pixel(3, 2), target.pixel(0, 0)),
            std::tuple(qRgb(0, 0, 7), qRgb(160, 100, 7), qRgb(0, 0, 0)));
  painter.begin(&target);
  canvas.StretchTo(painter, QRect(0, 0, 6, 4));
  painter.end();
  EXPECT_EQ(target.pixel(5, 3), qRgb(160, 100, 7));

  test::Sandbox box;
  EXPECT_EQ(canvas.SaveAsBmp(box.path("c.bmp")), 0);
  GlobalHandle back = test::ReadBmp(box.path("c.bmp"));
  EXPECT_EQ(test::BytesOf(back.get()), test::BytesOf(pic.get()));
  CDibCanvas invalid;
  EXPECT_EQ(std::tuple(canvas.SaveAsBmp(box.path("missing/c.bmp")), invalid.SaveAsBmp(box.path("d.bmp"))),
            std::tuple(-1, -1));
  EXPECT_FALSE(std::filesystem::exists(box.path("d.bmp")));
}

TEST(CanvasTest, ImagesConvertBothWays) {
  QImage image(3, 2, QImage::Format_ARGB32);
  image.fill(qRgba(10, 20, 30, 40));
  image.setPixel(2, 0, qRgb(200, 100, 50));
  GlobalHandle h(BitmapToDib(image));
  EXPECT_EQ(
      std::tuple(DibBitCount(h.get()), PixelsAt(h.get(), {{2, 0}, {0, 1}}), DibToImage(h.get()).pixel(2, 0)),
      std::tuple(24, Pixels{Rgb(200, 100, 50), Rgb(10, 20, 30)}, qRgb(200, 100, 50)));

  QImage indexed(2, 1, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
  indexed.setPixel(0, 0, 1);
  indexed.setPixel(1, 0, 0);
  GlobalHandle h8(BitmapToDib(indexed));
  EXPECT_EQ(std::tuple(DibBitCount(h8.get()), DibNumColors(h8.get()), PixelAt(h8.get(), 0, 0),
                       DibToImage(h8.get()).pixel(0, 0)),
            std::tuple(8, 2u, 1u, qRgb(4, 5, 6)));

  // 32-bit rows are wrapped in place; the image must outlive the block.
  GlobalHandle p32 = Picture(Header(1, 1, 32), {}, {1, 2, 3, 0});
  QImage img32 = DibToImage(p32.get());
  p32.reset();
  EXPECT_TRUE(img32.pixel(0, 0) == qRgb(3, 2, 1) && DibToImage(HDIB{}).isNull() && !BitmapToDib(QImage()));
}

}  // namespace
}  // namespace tamro
