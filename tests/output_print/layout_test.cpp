// Pages drawn by print definitions onto QImage pages. 254 dpi makes 1 mm exactly 10 pixels.
#include <gtest/gtest.h>

#include "output/printlayout.h"
#include "platform/text.h"
#include "support/sandbox.h"
#include "printtest.h"

namespace tamro {
namespace {

using test::FakeSource;
using test::ImagePrintDevice;

class PrintPageTest : public ::testing::Test {
 protected:
  void SetUp() override { test::EnsureGuiApp(); }

  // Draws page `pageNumber` from entry `index` with `definition` (written to a file unless
  // it is null) and answers the page.
  QImage Draw(const char *definition, int index = 0, int pageNumber = 1) {
    std::string path = definition ? box.write("page.dps", definition).string() : std::string();
    ImagePrintDevice device(test::MeasuresFor(2000, 2800, 254));
    CPrintLayout layout(source);
    EXPECT_TRUE(device.StartPage());
    layout.PrintPage(device, path, index, pageNumber);
    device.EndPage();
    lastIndex = index;
    return device.pages.at(0);
  }

  test::Sandbox box;
  FakeSource source;
  int lastIndex = -1;
};

TEST_F(PrintPageTest, WithoutDefinitionThePictureFitsTheAreaCentred) {
  source.entries = {{"wide.bmp", true, 3000, 2000, Qt::blue}};
  ImagePrintDevice device(test::MeasuresFor(4800, 6800, 600));
  CPrintLayout layout(source);
  ASSERT_TRUE(device.StartPage());
  int index = 0;
  layout.PrintPage(device, (box.root() / "missing.dps").string(), index, 1);
  device.EndPage();
  const QImage &page = device.pages.at(0);
  EXPECT_EQ(test::InkBox(page, test::IsInk), QRect(0, 1800, 4800, 3200));
  EXPECT_TRUE(test::IsColour(page.pixel(2400, 3400), Qt::blue));
  EXPECT_EQ(index, 0);

  EXPECT_EQ(FitPictureRect(3000, 2000, 4800, 6800), QRect(0, 1800, 4800, 3200));
  EXPECT_EQ(FitPictureRect(100, 400, 1000, 1000), QRect(375, 0, 250, 1000));
  EXPECT_EQ(FitPictureRect(0, 10, 100, 100), QRect());
}

TEST_F(PrintPageTest, WithoutDefinitionAnUndecodablePictureLeavesThePageBlank) {
  source.entries = {{"broken.jpg", true, 30, 20, Qt::blue, QColor(), false}};
  QImage page = Draw(nullptr);
  EXPECT_TRUE(test::InkBox(page, test::IsInk).isNull());
}

TEST_F(PrintPageTest, VariableThenLineAcrossHalfThePage) {
  source.entries = {{"a.bmp"}};
  QImage page = Draw("LET,W,PAGEMAX_X/2\nL,0,0,W,0,0,1\n");
  // A 1 mm pen centred on the top edge: half of it lies on the page.
  for (int x : {0, 500, 990}) {
    EXPECT_TRUE(test::IsColour(page.pixel(x, 0), Qt::black)) << x;
    EXPECT_TRUE(test::IsColour(page.pixel(x, 4), Qt::black)) << x;
    EXPECT_TRUE(test::IsWhite(page.pixel(x, 8))) << x;
  }
  EXPECT_TRUE(test::IsWhite(page.pixel(1010, 0)));
  QRect ink = test::InkBox(page, test::IsInk);
  EXPECT_EQ(ink.left(), 0);
  EXPECT_NEAR(ink.right(), 1000, 6);
}

TEST_F(PrintPageTest, ColoursAreBgrWithRedInTheLowByte) {
  source.entries = {{"a.bmp"}};
  QImage page = Draw("L,10,10,50,10,FF,1\nL,10,30,50,30,FF0000,1\nL,10,50,50,50,  00ff00,1\n");
  EXPECT_TRUE(test::IsColour(page.pixel(300, 100), QColor(255, 0, 0)));
  EXPECT_TRUE(test::IsColour(page.pixel(300, 300), QColor(0, 0, 255)));
  EXPECT_TRUE(test::IsColour(page.pixel(300, 500), QColor(0, 255, 0)));
}

TEST_F(PrintPageTest, BoxIsAnOutlineAndWidthsAreAtLeastOnePixel) {
  source.entries = {{"a.bmp"}};
  QImage page = Draw("B,10,10,50,40,0,0\n");
  EXPECT_TRUE(test::IsColour(page.pixel(300, 100), Qt::black));  // top edge
  EXPECT_TRUE(test::IsColour(page.pixel(500, 250), Qt::black));  // right edge
  EXPECT_TRUE(test::IsColour(page.pixel(300, 400), Qt::black));  // bottom edge
  EXPECT_TRUE(test::IsColour(page.pixel(100, 250), Qt::black));  // left edge
  EXPECT_TRUE(test::IsWhite(page.pixel(300, 250)));              // not filled
  EXPECT_TRUE(test::IsWhite(page.pixel(300, 102)));               // 1 pixel wide
}

TEST_F(PrintPageTest, CommandLettersIgnoreCaseAndOtherLinesAreComments) {
  source.entries = {{"a.bmp"}};
  QImage page = Draw(
      "; a comment\r\n"
      "# L,0,0,200,200,0,1\r\n"
      "\r\n"
      " L,0,0,200,200,0,1\r\n"
      "let,  H  ,10\r\n"
      "line,0,H,100,H,FF,1\r\n"
      "b,0,0,0,0\r\n");
  // "line" is a Line (second letter not E); the name is trimmed.
  EXPECT_TRUE(test::IsColour(page.pixel(500, 100), QColor(255, 0, 0)));
  QRect ink = test::InkBox(page, test::IsInk);
  EXPECT_LE(ink.bottom(), 110);
  EXPECT_LE(ink.right(), 1010);
}

TEST_F(PrintPageTest, DefinitionsFromOlderInstallationsAreReadAsShiftJis) {
  source.entries = {{"a.bmp"}};
  std::string text = Utf8ToCp932("LET,幅,50\nL,0,10,幅,10,FF,1\n");
  ASSERT_FALSE(IsValidUtf8(text));
  QImage page = Draw(text.c_str());
  QRect ink = test::InkBox(page, test::IsInk);
  EXPECT_NEAR(ink.right(), 500, 6);
  // A byte-order mark does not hide the first command.
  page = Draw("\xEF\xBB\xBFL,0,10,20,10,FF,1\n");
  EXPECT_NEAR(test::InkBox(page, test::IsInk).right(), 200, 6);
}

TEST_F(PrintPageTest, UnreadableDefinitionPrintsThePageWithoutCommands) {
  source.entries = {{"a.bmp"}};
  std::filesystem::create_directories(box.path("folder.dps"));
  ImagePrintDevice device(test::MeasuresFor(500, 500, 254));
  CPrintLayout layout(source);
  ASSERT_TRUE(device.StartPage());
  int index = 0;
  layout.PrintPage(device, box.path("folder.dps").string(), index, 1);
  device.EndPage();
  EXPECT_TRUE(test::InkBox(device.pages.at(0), test::IsInk).isNull());
}

TEST_F(PrintPageTest, PlacementStretchesFitsAndAligns) {
  // 20 x 10 picture, left half red, right half blue.
  source.entries = {{"two.bmp", true, 20, 10, Qt::red, Qt::blue}};
  // Box 100 x 100 px at (100, 100).
  QImage stretched = Draw("P,10,10,20,20,0\n");
  EXPECT_EQ(test::InkBox(stretched, test::IsInk), QRect(100, 100, 100, 100));
  EXPECT_TRUE(test::IsColour(stretched.pixel(120, 190), Qt::red));
  EXPECT_TRUE(test::IsColour(stretched.pixel(180, 110), Qt::blue));

  QImage centred = Draw("P,10,10,20,20,15\n");
  EXPECT_EQ(test::InkBox(centred, test::IsInk), QRect(100, 125, 100, 50));
  QImage topLeft = Draw("P,10,10,20,20,5\n");
  EXPECT_EQ(test::InkBox(topLeft, test::IsInk), QRect(100, 100, 100, 50));
  QImage bottomRight = Draw("P,10,10,20,20,10\n");
  EXPECT_EQ(test::InkBox(bottomRight, test::IsInk), QRect(100, 150, 100, 50));
  // Horizontal stretch with vertical centring.
  QImage wide = Draw("P,10,10,40,20,12\n");
  EXPECT_EQ(test::InkBox(wide, test::IsInk), QRect(100, 100, 300, 100));
  QImage narrowRight = Draw("P,10,10,40,20,2\n");
  EXPECT_EQ(test::InkBox(narrowRight, test::IsInk), QRect(200, 100, 200, 100));
  // Corners given the other way round mirror the stretched picture.
  QImage mirrored = Draw("P,20,10,10,20,0\n");
  EXPECT_EQ(test::InkBox(mirrored, test::IsInk), QRect(100, 100, 100, 100));
  EXPECT_TRUE(test::IsColour(mirrored.pixel(120, 150), Qt::blue));
  EXPECT_TRUE(test::IsColour(mirrored.pixel(180, 150), Qt::red));
}

TEST_F(PrintPageTest, UndecodablePictureShowsItsIconPlaceholder) {
  source.entries = {{"broken.jpg", true, 30, 20, Qt::blue, QColor(), false}};
  source.icon = QImage(16, 16, QImage::Format_RGB32);
  source.icon.fill(Qt::green);
  // 254 dpi: the placeholder grows at most 254/72 times, to 112 pixels.
  QImage page = Draw("P,0,0,100,100,5\n");
  EXPECT_EQ(test::InkBox(page, [](QRgb p) { return test::IsColour(p, Qt::green); }), QRect(0, 0, 56, 56));
  // The rest of the white square is white on white; the stretch (placement 0) ignores the icon's size.
  QImage small = Draw("P,0,0,3.2,3.2,0\n");
  EXPECT_EQ(test::InkBox(small, test::IsInk), QRect(0, 0, 16, 16));
}

TEST_F(PrintPageTest, TextCentredInItsBoxInRed) {
  source.entries = {{"a.bmp"}};
  QImage page = Draw("S,10,10,100,20,Page $PAGE,FF,ＭＳ ゴシック,12,12\n");
  QRect red = test::InkBox(page, test::IsReddish);
  ASSERT_FALSE(red.isNull());
  // Box 100..1000 x 100..200; 12 points at 254 dpi are 42 pixels.
  EXPECT_GE(red.top(), 100);
  EXPECT_LE(red.bottom(), 100 + 45);
  EXPECT_GT(red.height(), 20);
  EXPECT_NEAR((red.left() + red.right()) / 2.0, 550, 8);
  EXPECT_TRUE(test::InkBox(page, [](QRgb p) { return test::IsInk(p) && qBlue(p) > qRed(p); }).isNull());
}

TEST_F(PrintPageTest, TextAlignmentClippingAndStyle) {
  source.entries = {{"a.bmp"}};
  QRect left = test::InkBox(Draw("S,10,10,100,20,Text,0,Sans,12,4\n"), test::IsInk);
  QRect right = test::InkBox(Draw("S,10,10,100,20,Text,0,Sans,12,8\n"), test::IsInk);
  ASSERT_FALSE(left.isNull());
  ASSERT_FALSE(right.isNull());
  EXPECT_NEAR(left.left(), 100, 6);
  EXPECT_NEAR(right.right(), 1000, 6);
  EXPECT_NEAR(left.width(), right.width(), 1);
  // Bold is wider than regular.
  QRect bold = test::InkBox(Draw("S,10,10,100,20,Text,0,Sans,12,5\n"), test::IsInk);
  EXPECT_GT(bold.width(), left.width());
  // Clipped to a box lower than the text.
  QRect clipped = test::InkBox(Draw("S,10,10,100,11,Text,0,Sans,12,4\n"), test::IsInk);
  EXPECT_LE(clipped.bottom(), 109);
  // Without alignment the text runs past the box.
  QRect free = test::InkBox(Draw("S,10,10,11,11,Text,0,Sans,24,0\n"), test::IsInk);
  EXPECT_GT(free.right(), 150);
  EXPECT_GT(free.bottom(), 150);
  // Wider than the box: starts at x1 whatever the alignment, clipped at x2.
  QRect tooWide = test::InkBox(Draw("S,10,10,12,20,Text,0,Sans,12,8\n"), test::IsInk);
  EXPECT_NEAR(tooWide.left(), 100, 6);
  EXPECT_LE(tooWide.right(), 119);
  // A negative size is 1 point.
  QRect tiny = test::InkBox(Draw("S,10,10,100,20,Text,0,Sans,-5,4\n"), test::IsInk);
  EXPECT_LT(tiny.height(), 6);
}

TEST_F(PrintPageTest, NamesNeedAPictureButPlainTextsDoNot) {
  source.entries = {{"only.bmp"}};
  const char *named = "S,10,10,100,20,$(PicName),0,Sans,12,4\n";
  EXPECT_FALSE(test::InkBox(Draw(named), test::IsInk).isNull());
  // After "N" has taken the last picture nothing is current.
  std::string after = std::string("N\n") + named;
  EXPECT_TRUE(test::InkBox(Draw(after.c_str()), test::IsInk).isNull());
  EXPECT_EQ(lastIndex, 1);
  EXPECT_TRUE(test::InkBox(Draw("N\nS,10,10,100,20,Page $PAGE,0,Sans,12,4\n"), test::IsInk).isNull());
  EXPECT_FALSE(test::InkBox(Draw("N\nS,10,10,100,20,The End,0,Sans,12,4\n"), test::IsInk).isNull());
}

TEST_F(PrintPageTest, NextPictureSkipsUnselectedEntries) {
  source.entries = {{"a.bmp", true, 10, 10, Qt::red},
                    {"b.bmp", false, 10, 10, Qt::green},
                    {"c.bmp", true, 10, 10, Qt::blue}};
  QImage page = Draw("P,0,0,10,10,0\nN\nP,10,0,20,10,0\nN\nP,20,0,30,10,0\n");
  EXPECT_TRUE(test::IsColour(page.pixel(50, 50), Qt::red));
  EXPECT_TRUE(test::IsColour(page.pixel(150, 50), Qt::blue));
  // The third box has no picture: a white placeholder.
  EXPECT_TRUE(test::IsWhite(page.pixel(250, 50)));
  EXPECT_EQ(lastIndex, 3);
  EXPECT_EQ(source.log, (std::vector<std::string>{"load:0", "load:2"}));
}

TEST_F(PrintPageTest, PageNumberReachesTheDefinition) {
  source.entries = {{"a.bmp"}};
  QImage page = Draw("LET,X,$PAGE*10\nL,X,5,X,6,0,1\n", 0, 7);
  QRect ink = test::InkBox(page, test::IsInk);
  EXPECT_NEAR((ink.left() + ink.right()) / 2.0, 700, 2);
}

TEST_F(PrintPageTest, HostileNumbersStayOnThePage) {
  source.entries = {{"a.bmp"}};
  QImage page = Draw(
      "L,-1e300,0,1e300,0,0,1e300\n"
      "B,1/0,(((,)))),*,0,-5\n"
      "P,0,0,1e30,1e30,-1\n"
      "S,0,0,1e30,1e30,x,0,,1e30,-1\n"
      "LET,,1\nLET\nN\nN\nN\nP\nS\nB\nL\n");
  EXPECT_EQ(page.size(), QSize(2000, 2800));
}

}  // namespace
}  // namespace tamro
