// Pages drawn by print definitions onto QImage pages. At 254 dpi 1 mm is exactly 10 pixels.
#include <gtest/gtest.h>

#include <QPaintEngine>

#include "output/printlayout.h"
#include "platform/text.h"
#include "printtest.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

using test::InkBox;
using test::IsInk;

class PrintPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureGuiApp();
    source.entries = {{"a.bmp", true, 20, 10, Qt::red, Qt::blue}};
  }

  // Page 1 from entry 0 by `definition` (a file unless null) on `measures`.
  QImage Draw(const char *definition, PrintMeasures measures = test::MeasuresFor(2000, 2800, 254)) {
    test::ImagePrintDevice device(measures);
    PrintOn(device, definition ? box.write("page.dps", definition).string() : std::string());
    return device.pages.at(0);
  }
  // Page 1 from entry 0 by the definition file `path` (none when empty) on `device`.
  void PrintOn(CPrintDevice &device, const std::string &path) {
    ASSERT_TRUE(device.StartPage());
    lastIndex = 0;
    CPrintLayout(source).PrintPage(device, path, lastIndex, 1);
    device.EndPage();
  }
  static bool Red(QRgb p) { return test::IsColour(p, Qt::red); }

  test::Sandbox box;
  test::FakeSource source;
  int lastIndex = -1;
};

TEST_F(PrintPageTest, WithoutDefinitionThePictureFitsTheAreaCentred) {
  source.entries = {{"wide.bmp", true, 3000, 2000, Qt::blue}};
  QImage page = Draw(nullptr, test::MeasuresFor(4800, 6800, 600));
  EXPECT_EQ(InkBox(page, IsInk), QRect(0, 1800, 4800, 3200));
  EXPECT_TRUE(test::IsColour(page.pixel(2400, 3400), Qt::blue));
  // A definition file that does not exist is no definition; an undecodable picture no page.
  source.entries = {{"broken.jpg", true, 30, 20, Qt::blue, QColor(), false}};
  EXPECT_TRUE(InkBox(Draw(nullptr), IsInk).isNull());
}

// A preview's page: it keeps the pictures drawn on it, so it notes their sizes.
class PreviewDevice : public test::ImagePrintDevice {
 public:
  using ImagePrintDevice::ImagePrintDevice;
  struct Page : QPaintDevice, QPaintEngine {
    Page() : QPaintEngine(AllFeatures) {}  // as a preview's engine, it takes pictures at any scale
    std::vector<QSize> kept;
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override {}
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawImage(const QRectF &, const QImage &i, const QRectF &, Qt::ImageConversionFlags) override {
      kept.push_back(i.size());
    }
    Type type() const override { return Picture; }
    QPaintEngine *paintEngine() const override { return const_cast<Page *>(this); }
    int metric(PaintDeviceMetric m) const override {
      return m == PdmDepth ? 32 : m == PdmDpiX || m == PdmDpiY ? 96 : 4000;
    }
  } page;
  bool Preview() const override { return true; }
  bool StartPage() override { return (painter_ = std::make_unique<QPainter>(&page))->isActive(); }
  QPainter *Painter() override { return painter_.get(); }
  int EndPage() override { return painter_.reset(), 1; }

 private:
  std::unique_ptr<QPainter> painter_;
};

TEST_F(PrintPageTest, APreviewKeepsPicturesAtTheSizeTheyCover) {
  source.entries = {{"photo.jpg", true, 3000, 2000, Qt::blue}};
  PreviewDevice device(test::MeasuresFor(480, 680, 254));
  const std::string boxed = box.write("page.dps", "P,0,0,30,30,15\n").string();
  for (const std::string &definition : {std::string(), boxed}) PrintOn(device, definition);
  // The page's width, then a 30 mm square's.
  EXPECT_EQ(device.page.kept, (std::vector<QSize>{{480, 320}, {300, 200}}));
}

TEST_F(PrintPageTest, LinesBoxesAndColours) {
  QImage page = Draw("LET,W,PAGEMAX_X/2\nL,0,0,W,0,0,1\n");
  // A 1 mm pen centred on the top edge: half of it lies on the page, up to x = 1000.
  for (int x : {0, 500, 990})
    EXPECT_TRUE(test::IsColour(page.pixel(x, 4), Qt::black) && test::IsWhite(page.pixel(x, 8))) << x;
  EXPECT_NEAR(InkBox(page, IsInk).right(), 1000, 6);

  page = Draw("L,10,10,50,10,FF,1\nL,10,30,50,30,FF0000,1\nB,10,50,50,80,  00ff00,0\n");
  EXPECT_TRUE(test::IsColour(page.pixel(300, 100), QColor(255, 0, 0)) &&
              test::IsColour(page.pixel(300, 300), QColor(0, 0, 255)));
  for (QPoint edge : {QPoint(300, 500), QPoint(500, 650), QPoint(300, 800), QPoint(100, 650)})
    EXPECT_TRUE(test::IsColour(page.pixel(edge), QColor(0, 255, 0))) << edge.x() << "," << edge.y();
  // A box is not filled; width 0 is 1 pixel.
  EXPECT_TRUE(test::IsWhite(page.pixel(300, 650)) && test::IsWhite(page.pixel(300, 502)));
}

TEST_F(PrintPageTest, CommandLettersCommentsAndFileEncodings) {
  QImage page = Draw(
      "; comment\r\n# L,0,0,200,200,0,1\r\n\r\n L,0,0,200,200,0,1\r\nlet,  H  "
      ",10\r\nline,0,H,100,H,FF,1\r\n");
  EXPECT_TRUE(Red(page.pixel(500, 100)));  // "line" is a Line: its second letter is not E
  EXPECT_EQ(InkBox(page, IsInk), InkBox(page, [](QRgb p) { return Red(p); }));
  // Files from older installations are Shift-JIS; a byte-order mark hides no command.
  std::string sjis = Utf8ToCp932("LET,幅,50\nL,0,10,幅,10,FF,1\n");
  ASSERT_FALSE(IsValidUtf8(sjis));
  EXPECT_NEAR(InkBox(Draw(sjis.c_str()), IsInk).right(), 500, 6);
  EXPECT_NEAR(InkBox(Draw("\xEF\xBB\xBFL,0,10,20,10,FF,1\n"), IsInk).right(), 200, 6);
  // A file that cannot be read gives its page without commands (and without the fitted picture).
  std::filesystem::create_directories(box.path("folder.dps"));
  test::ImagePrintDevice device(test::MeasuresFor(500, 500, 254));
  PrintOn(device, box.path("folder.dps").string());
  EXPECT_TRUE(InkBox(device.pages.at(0), IsInk).isNull());
}

TEST_F(PrintPageTest, PicturePlacement) {
  // The 20 x 10 picture (red left half, blue right half) in the box (100,100)-(200,200).
  // Stretched both ways; centred; left, top; right, bottom; stretched across, centred down; right,
  // stretched down.
  const std::pair<const char *, QRect> cases[] = {
      {"P,10,10,20,20,0\n", QRect(100, 100, 100, 100)},  {"P,10,10,20,20,15\n", QRect(100, 125, 100, 50)},
      {"P,10,10,20,20,5\n", QRect(100, 100, 100, 50)},   {"P,10,10,20,20,10\n", QRect(100, 150, 100, 50)},
      {"P,10,10,40,20,12\n", QRect(100, 100, 300, 100)}, {"P,10,10,40,20,2\n", QRect(200, 100, 200, 100)}};
  for (const auto &[line, drawn] : cases) EXPECT_EQ(InkBox(Draw(line), IsInk), drawn) << line;
  QImage stretched = Draw(cases[0].first);
  EXPECT_TRUE(Red(stretched.pixel(120, 190)) && test::IsColour(stretched.pixel(180, 110), Qt::blue));
  // Corners given the other way round mirror the stretched picture.
  QImage mirrored = Draw("P,20,10,10,20,0\n");
  EXPECT_EQ(InkBox(mirrored, IsInk), QRect(100, 100, 100, 100));
  EXPECT_TRUE(test::IsColour(mirrored.pixel(120, 150), Qt::blue));
}

TEST_F(PrintPageTest, UndecodablePictureShowsItsIconInAWhiteSquare) {
  source.entries = {{"broken.jpg", true, 30, 20, Qt::blue, QColor(), false}};
  source.icon = QImage(16, 16, QImage::Format_RGB32);
  source.icon.fill(Qt::green);
  auto green = [](QRgb p) { return test::IsColour(p, Qt::green); };
  // The 32 x 32 square grows at most 254/72 times, to 112 pixels; its icon half to 56.
  EXPECT_EQ(InkBox(Draw("P,0,0,100,100,5\n"), green), QRect(0, 0, 56, 56));
  EXPECT_EQ(InkBox(Draw("P,0,0,6.4,3.2,0\n"), green), QRect(0, 0, 32, 16));
}

TEST_F(PrintPageTest, TextPlacementColourAndStyle) {
  QRect page1 = InkBox(Draw("S,10,10,100,20,Page $PAGE,FF,ＭＳ ゴシック,12,12\n"), test::IsReddish);
  // Box 100..1000 x 100..200; 12 points at 254 dpi are 42 pixels.
  EXPECT_TRUE(page1.top() >= 100 && page1.bottom() <= 145 && page1.height() > 20)
      << page1.top() << "-" << page1.bottom();
  EXPECT_NEAR((page1.left() + page1.right()) / 2.0, 550, 8);

  QRect left = InkBox(Draw("S,10,10,100,20,Text,0,Sans,12,4\n"), IsInk);
  QRect right = InkBox(Draw("S,10,10,100,20,Text,0,Sans,12,8\n"), IsInk);
  EXPECT_NEAR(left.left(), 100, 6);
  EXPECT_NEAR(right.right(), 1000, 6);
  EXPECT_GT(InkBox(Draw("S,10,10,100,20,Text,0,Sans,12,5\n"), IsInk).width(), left.width());  // bold
  EXPECT_LE(InkBox(Draw("S,10,10,100,11,Text,0,Sans,12,4\n"), IsInk).bottom(), 109);          // clipped
  QRect free = InkBox(Draw("S,10,10,11,11,Text,0,Sans,24,0\n"), IsInk);  // no box: not clipped
  EXPECT_TRUE(free.right() > 150 && free.bottom() > 150) << free.right() << "," << free.bottom();
  QRect tooWide = InkBox(Draw("S,10,10,12,20,Text,0,Sans,12,8\n"), IsInk);  // starts at x1
  EXPECT_NEAR(tooWide.left(), 100, 6);
  EXPECT_LE(tooWide.right(), 119);
  EXPECT_LT(InkBox(Draw("S,10,10,100,20,Text,0,Sans,-5,4\n"), IsInk).height(), 6);  // 1 point
}

TEST_F(PrintPageTest, NextPictureWalksSelectedEntriesAndEndsTheNames) {
  source.entries = {{"a.bmp", true, 10, 10, Qt::red},
                    {"b.bmp", false, 10, 10, Qt::green},
                    {"c.bmp", true, 10, 10, Qt::blue}};
  QImage page =
      Draw("P,0,0,10,10,0\nN\nP,10,0,20,10,0\nS,30,0,60,10,$(PicName),0,Sans,12,4\nN\nP,20,0,30,10,0\n");
  // No picture left: a blank square.
  EXPECT_TRUE(Red(page.pixel(50, 50)) && test::IsColour(page.pixel(150, 50), Qt::blue) &&
              test::IsWhite(page.pixel(250, 50)));
  EXPECT_FALSE(InkBox(page.copy(300, 0, 300, 100), IsInk).isNull());
  EXPECT_EQ(std::tuple(lastIndex, source.log), std::tuple(3, std::vector<std::string>{"load:0", "load:2"}));
  // After the last picture, a text that names picture or page facts is not printed.
  for (const auto &[text, printed] :
       {std::pair("$(PicName)", false), {"Page $PAGE", false}, {"The End", true}})
    EXPECT_NE(InkBox(Draw(("N\nN\nN\nS,10,10,100,20," + std::string(text) + ",0,Sans,12,4\n").c_str()), IsInk)
                  .isNull(),
              printed)
        << text;
}

TEST_F(PrintPageTest, HostileNumbersStayOnThePage) {
  QImage page = Draw(
      "L,-1e300,0,1e300,0,0,1e300\nB,1/0,(((,)))),*,0,-5\nP,0,0,1e30,1e30,-1\n"
      "S,0,0,1e30,1e30,x,0,,1e30,-1\nLET,,1\nLET\nN\nN\nP\nS\nB\nL\n");
  EXPECT_EQ(page.size(), QSize(2000, 2800));
}

}  // namespace
}  // namespace tamro
