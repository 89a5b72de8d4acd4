// Printing. Pages drawn by print definitions (at 254 dpi 1 mm is exactly 10
// pixels); the print job: capability checks, job start, the walk over the selected entries,
// page-end errors and the progress window; the expressions and fields of the definitions;
// printing into a PDF file through the paged-device adapter; printing the selection of a real
// folder document, and the print dialog's file history.
#include <gtest/gtest.h>

#include <QImage>
#include <QPaintEngine>
#include <QPdfWriter>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "catalogue/rxdoc.h"
#include "output/printdevice.h"
#include "output/printdocsource.h"
#include "output/printexpression.h"
#include "output/printlayout.h"
#include "output/printoption.h"
#include "picture/dibdraw.h"
#include "platform/profile.h"
#include "platform/startup.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "printtest.h"
#include "support/mounts.h"
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
  QPaintDevice *NextPage() override { return &page; }
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

class PrintJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureGuiApp();
    source.entries = {{"one.bmp", true, 10, 10, Qt::red},
                      {"two.bmp", false, 10, 10, Qt::green},
                      {"three.bmp", true, 10, 10, Qt::blue},
                      {"four.bmp", true, 10, 10, Qt::black}};
  }
  int Print(const char *definition = nullptr) {
    std::string path = definition ? box.write("job.dps", definition).string() : std::string();
    return CPrintLayout(source).PrintSelected(device, path);
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto *c : ui.Messages()) texts.push_back(c->text);
    return texts;
  }

  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
  test::FakeSource source;
  test::ImagePrintDevice device{test::MeasuresFor(300, 400, 254)};
};

TEST_F(PrintJobTest, EachSelectedPictureGetsAPage) {
  EXPECT_EQ(Print(), 3);
  EXPECT_EQ(device.docName, "Tamro:印刷");
  ASSERT_EQ(device.pages.size(), 3u);
  const Qt::GlobalColor colours[] = {Qt::red, Qt::blue, Qt::black};
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(test::IsColour(device.pages[i].pixel(150, 200), colours[i]));
  EXPECT_TRUE(device.ended && !device.aborted && Messages().empty());
  EXPECT_EQ(ui.progress,
            (std::vector<std::string>{"open:ファイル印刷中...", "range:0,3", "text:one.bmp", "step:1",
                                      "text:three.bmp", "step:1", "text:four.bmp", "step:1", "close"}));
  EXPECT_EQ(source.log.front() + source.log.back(), "busy:1busy:0");
}

TEST_F(PrintJobTest, NextPictureMovesTheWalkAndPageNumbersFollowPages) {
  // Two pictures a page; the page number is drawn as a line at $PAGE * 10 mm.
  EXPECT_EQ(Print("P,0,0,10,10,0\nN\nP,10,0,20,10,0\nLET,Y,$PAGE*10\nL,0,Y,1,Y,0,1\n"), 2);
  ASSERT_EQ(device.pages.size(), 2u);
  const std::vector<QImage> &p = device.pages;
  EXPECT_TRUE(test::IsColour(p[0].pixel(150, 50), Qt::blue) && test::IsColour(p[1].pixel(50, 50), Qt::black));
  EXPECT_TRUE(test::IsColour(p[0].pixel(5, 100), Qt::black) && test::IsWhite(p[0].pixel(5, 200)) &&
              test::IsColour(p[1].pixel(5, 200), Qt::black));
  // Next picture names the picture it takes and moves the bar.
  EXPECT_EQ(ui.progress,
            (std::vector<std::string>{"open:ファイル印刷中...", "range:0,3", "text:one.bmp", "text:three.bmp",
                                      "step:1", "step:1", "text:four.bmp", "step:1", "close"}));
}

TEST_F(PrintJobTest, MissingCapabilityOrJobStartIsReportedAndNothingPrints) {
  const std::pair<unsigned, const char *> cases[] = {
      {RC_BITBLT, "デバイスがビットマップ転送を未サポート"},
      {RC_BITMAP64, "64KB を超えるビットマップがデバイスで未サポート"},
      {RC_DIBTODEV, "Windows 関数 SetDIBitsToDevice と getDIBitsToDevice がデバイスで未サポート"},
      {RC_STRETCHDIB, "デバイスが Windows 関数 StretchDIBits を未サポート"}};
  for (const auto &[missing, message] : cases) {
    ui.calls.clear();
    device.caps = RC_PRINTING_NEEDS & ~missing;
    EXPECT_EQ(Print(), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{message});
  }
  EXPECT_TRUE(device.docName.empty() && ui.progress.empty());

  ui.calls.clear();
  device.caps = RC_PRINTING_NEEDS, device.failStart = true;
  EXPECT_EQ(Print(), -1);
  EXPECT_EQ(Messages(), std::vector<std::string>{"印刷開始できませんでした\n\nno paper"});
  EXPECT_EQ(ui.Messages()[0]->style & MB_ICONMASK, unsigned(MB_ICONINFORMATION));
  EXPECT_TRUE(device.pages.empty() && source.log.back() == "busy:0");
}

TEST_F(PrintJobTest, PageEndErrorIsReportedOnceAndTheJobAborted) {
  const char *messages[] = {
      "一般的なエラーです",
      "アプリケーションのアボート関数が 0 を返したために、ジョブを終了したことを示します",
      "ユーザーが、プリント マネージャを使ってジョブを終了させたことを示します",
      "現在、スプールに必要なディスク領域が十分でなく、領域が回復される見込みがないことを示します",
      "スプールに必要なメモリが十分にないことを示します"};
  for (int code = -1; code >= -5; --code) {
    ui.calls.clear();
    device.pages.clear();
    device.aborted = device.ended = false;
    device.endResults = {1, code, code};
    EXPECT_EQ(Print(), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{messages[-code - 1]});
    EXPECT_EQ(std::tuple(device.pages.size(), device.aborted && !device.ended), std::tuple(2u, true));
  }
}

TEST_F(PrintJobTest, AbortedProgressKeepsPrintedPagesAndAnEmptyJobIsDropped) {
  ui.abortAfter = 1;  // the second question says stop
  EXPECT_EQ(Print(), 2);
  EXPECT_TRUE(device.ended && !device.aborted);

  device = test::ImagePrintDevice(test::MeasuresFor(300, 400, 254));
  for (auto &e : source.entries) e.selected = false;
  EXPECT_EQ(Print(), 0);
  EXPECT_TRUE(device.pages.empty() && device.aborted && Messages().empty());
}

double Eval(const std::string &text) { return CPrintVariables().EvaluateExpression(text); }

TEST(PrintExpression, GrammarAndTextOutsideIt) {
  // Blanks join digits, ")" may be missing, the first value wins; outside the grammar a missing left
  // operand is 0 and a stray ")" is stepped over.
  const std::pair<const char *, double> cases[] = {
      {"2+3*4", 14}, {"10-4-3", 3},    {"8/2/2", 2},  {"2*(3+4)-1", 13}, {"1.5*3", 4.5},
      {" \t7 ", 7},  {"1 2+1", 13},    {"(1+2", 3},   {"(1)(2)", 1},     {"10/0", 0},
      {"5+10/0", 5}, {"UNKNOWN+4", 4}, {"12abc", 12}, {"0x10", 0},       {"inf", 0},
      {"2e3", 2000}, {"", 0},          {"-5", -5},    {"*3", 0},         {"*/-+", 0},
      {"()", 0},     {")", 0},         {")7", 7},     {"2)+3", 2},       {"))))1+1", 2}};
  for (const auto &[text, value] : cases) EXPECT_DOUBLE_EQ(Eval(text), value) << text;
}

TEST(PrintExpression, StackAndNestingLimitsGiveZero) {
  auto nested = [](int ones) {  // "1+(1+(1+ ... ))": one value pending per level
    std::string s;
    for (int i = 1; i < ones; ++i) s += "1+(";
    return s + "1" + std::string(static_cast<std::size_t>(ones - 1), ')');
  };
  EXPECT_DOUBLE_EQ(Eval(nested(CPrintVariables::kStackSize)), CPrintVariables::kStackSize);
  EXPECT_DOUBLE_EQ(Eval(nested(CPrintVariables::kStackSize + 1)), 0);
  std::string deep(CPrintVariables::kMaxNesting, '(');
  EXPECT_DOUBLE_EQ(Eval(deep + "5"), 5);
  EXPECT_DOUBLE_EQ(Eval(deep + "(5"), 0);
  EXPECT_DOUBLE_EQ(Eval(std::string(1 << 20, '(')), 0);
}

TEST(PrintVariables, PageVariablesAndStoredValues) {
  CPrintVariables v;
  v.StartPage(210, 297, 3);
  ASSERT_EQ(v.Items().size(), 5u);
  EXPECT_EQ(std::vector(v.Items().begin(), v.Items().begin() + 2),
            (std::vector<std::pair<std::string, std::string>>{{"PAGEMAX_X", "210"}, {"PAGEMAX_Y", "297"}}));
  EXPECT_EQ(*v.Find("$PAGEMAX_X") + *v.Find("$PAGEMAX_Y") + *v.Find("$PAGE"), "2102973");
  EXPECT_EQ(v.Find("pagemax_x"), nullptr);

  v.SetNumber("W", v.EvaluateExpression("PAGEMAX_X/2"));
  v.SetNumber("N", -1.0 / 3);
  EXPECT_EQ(*v.Find("W") + " " + *v.Find("N"), "105.000000 -0.333333");
  v.SetNumber("W", 1);  // replaced in place; new names go last
  EXPECT_EQ(v.Items()[5], (std::pair<std::string, std::string>("W", "1.000000")));
  EXPECT_EQ(v.Items().back().first, "N");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("$PAGE*10+W"), 31);
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("3*N"), -0.999999);

  // A value is an expression, with the names in it replaced by their value texts first.
  v.Set("B", "1+1"), v.Set("A", "B*2");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("A"), 3);
  v.StartPage(100, 100, 4);
  EXPECT_EQ(v.Find("W"), nullptr);
}

TEST(PrintVariables, SelfReferenceEndsAndSubstitutionKeepsSeparators) {
  CPrintVariables v;
  v.Set("A", "A+1");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("A"), 2 * CPrintVariables::kMaxVariableDepth);
  v.Set("X", "Y"), v.Set("Y", "X");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("X+5"), 5);
  v.Set("F", "F+F+F+F+F+F+F+F");  // each level multiplies the work until the budget ends it
  EXPECT_TRUE(std::isfinite(v.EvaluateExpression("F")));

  v.StartPage(210, 297, 1);
  v.SetNumber("W", 50);
  v.Set("P", "W");
  EXPECT_EQ(v.SubstituteVariables("Page $PAGE"), "Page 1");
  EXPECT_EQ(v.SubstituteVariables("(W)*2-W/P+W"), "(50.000000)*2-50.000000/W+50.000000");
  EXPECT_EQ(v.SubstituteVariables("  Wx xW $PAGES W,W\tW "), "  Wx xW $PAGES W,W\tW ");
}

TEST(PrintFields, HexColoursNumbersAndClamping) {
  // Red is the low byte.
  EXPECT_EQ(
      (std::vector<uint32_t>{ParseHexColour("FF"), ParseHexColour("FF0000"), ParseHexColour(" \tff00"),
                             ParseHexColour("12G3"), ParseHexColour("x12"), ParseHexColour("123456789")}),
      (std::vector<uint32_t>{0xFF, 0xFF0000, 0xFF00, 0x12, 0, 0x23456789}));
  EXPECT_EQ((std::vector<double>{LeadingDecimal("  -1.5e2xyz"), LeadingDecimal(".5"), LeadingDecimal("-."),
                                 LeadingDecimal("1e999999")}),
            (std::vector<double>{-150, 0.5, 0, 0}));
  EXPECT_EQ(FormatFixed(2.0000004) + "|" + FormatFixed(1e20), "2.000000|100000000000000000000.000000");
  EXPECT_EQ(std::tuple(ClampToInt(NAN), ClampToInt(-1e300, 1000), ClampToInt(-7.9)),
            std::tuple(0, -1000, -7));
}

class PdfPrintTest : public ::testing::Test {
 protected:
  void SetUp() override { test::EnsureGuiApp(); }
  // Page `n` (from 1) rendered at 20 dpi; a null image when pdftoppm is not installed.
  QImage Render(const std::string &pdf, int n) {
    if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) return {};
    std::string cmd = "pdftoppm -r 20 -png '" + pdf + "' '" + box.path("page").string() + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return QImage(QString::fromStdString(box.path("page-" + std::to_string(n) + ".png").string()));
  }
  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
  test::FakeSource source;
};

TEST_F(PdfPrintTest, MeasuresComeFromThePageLayout) {
  PrintMeasures m = CPdfPrintDevice(box.path("m.pdf").string(), 300).Measures();
  // A4 with 10 mm margins at 300 dpi.
  EXPECT_EQ(std::tuple(m.horzSizeMm, m.vertSizeMm, m.logPixelsX, m.logPixelsY),
            std::tuple(190, 277, 300, 300));
  // Resolutions, physical size and offset: value, expected, tolerance.
  const std::array<int, 3> near[] = {{m.horzRes, 2244, 3},        {m.vertRes, 3272, 3},
                                     {m.physicalWidth, 2480, 1},  {m.physicalHeight, 3508, 1},
                                     {m.physicalOffsetX, 118, 1}, {m.physicalOffsetY, 118, 1}};
  for (const auto &[value, expected, within] : near) EXPECT_NEAR(value, expected, within) << expected;
}

TEST_F(PdfPrintTest, TwoSelectedPicturesMakeATwoPagePdf) {
  source.entries = {{"red.bmp", true, 300, 200, Qt::red}, {"blue.bmp", true, 200, 300, Qt::blue}};
  std::string path = box.path("job.pdf").string();
  {
    CPdfPrintDevice device(path, 100);
    EXPECT_EQ(CPrintLayout(source).PrintSelected(device, ""), 2);
  }
  EXPECT_TRUE(ui.Messages().empty());
  std::string pdf = test::ReadFile(path);
  static const std::regex page("/Type\\s*/Page[^s]");
  EXPECT_EQ(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()), 2);

  QImage first = Render(path, 1), second = Render(path, 2);
  if (first.isNull()) GTEST_SKIP() << "pdftoppm is not installed; pages not looked at";
  ASSERT_FALSE(second.isNull());
  QPoint centre(first.width() / 2, first.height() / 2);
  auto bluish = [](QRgb p) { return qBlue(p) > 180 && qRed(p) < 90 && qGreen(p) < 90; };
  // The landscape picture spans the width between the margins, the portrait one the height.
  EXPECT_TRUE(test::IsReddish(first.pixel(centre)) && test::IsReddish(first.pixel(10, centre.y())));
  EXPECT_TRUE(test::IsWhite(first.pixel(centre.x(), 15)) && test::IsWhite(first.pixel(2, centre.y())));
  EXPECT_TRUE(bluish(second.pixel(centre)) && bluish(second.pixel(centre.x(), 15)));
}

TEST_F(PdfPrintTest, FileThatCannotBeWrittenIsReportedWithItsReason) {
  source.entries = {{"a.bmp"}};
  std::string path = box.path("no/such/folder/x.pdf").string();
  CPdfPrintDevice device(path);
  EXPECT_EQ(CPrintLayout(source).PrintSelected(device, ""), -1);
  ASSERT_EQ(ui.Messages().size(), 1u);
  const std::string head = "印刷開始できませんでした\n\n";
  EXPECT_TRUE(ui.Messages()[0]->text.starts_with(head) && ui.Messages()[0]->text.size() > head.size());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(PdfPrintTest, AJobThatDoesNotReachTheDiskFailsAndKeepsTheOldFile) {
  const std::filesystem::path dir = box.path("small");
  test::TmpfsMount mount(dir, "256k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  source.entries = {{"red.bmp", true, 300, 200, Qt::red}};
  const std::string path = (dir / "job.pdf").string();
  box.write("small/job.pdf", "previous");
  test::FillUp(dir);
  {
    CPdfPrintDevice device(path, 100);
    EXPECT_EQ(CPrintLayout(source).PrintSelected(device, ""), -1);
  }
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(std::tuple(ui.Messages()[0]->text, test::ReadFile(path)),
            std::tuple("一般的なエラーです", "previous"));
  EXPECT_EQ(test::FileNames(dir).size(), 2u) << "no temporary file left";
}

TEST_F(PdfPrintTest, PagesOpenOneAtATimeAndAbortRemovesTheFile) {
  std::string path = box.path("abort.pdf").string();
  CPdfPrintDevice device(path);
  EXPECT_FALSE(device.StartPage());  // no job yet
  std::string error;
  ASSERT_TRUE(device.StartDoc(CPrintLayout::kDocName, error));
  EXPECT_EQ(device.writer().title(), QString::fromUtf8("Tamro:印刷"));
  EXPECT_FALSE(device.StartDoc("again", error));
  ASSERT_TRUE(device.StartPage());
  EXPECT_NE(device.Painter(), nullptr);
  EXPECT_FALSE(device.StartPage());  // still open
  EXPECT_EQ(device.EndPage(), 1);
  EXPECT_EQ(device.EndPage(), SP_ERROR);  // nothing open
  EXPECT_EQ(device.Painter(), nullptr);
  device.AbortDoc();
  EXPECT_FALSE(std::filesystem::exists(path));

  // Aborting the job of a name that was taken leaves that file as it was.
  box.write("abort.pdf", "previous");
  ASSERT_TRUE(device.StartDoc(CPrintLayout::kDocName, error));
  ASSERT_TRUE(device.StartPage());
  device.AbortDoc();
  EXPECT_EQ(test::ReadFile(path), "previous");
}

TEST(PrintDocSource, PrintsTheDocumentsSelectionWithItsNames) {
  test::EnsureGuiApp();
  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope(ui);
  const std::pair<const char *, Qt::GlobalColor> files[] = {
      {"a.bmp", Qt::red}, {"b.bmp", Qt::green}, {"c.bmp", Qt::blue}};
  for (const auto &[name, colour] : files) {
    GlobalHandle dib(test::SolidDib(8, 8, colour));
    std::filesystem::create_directories(box.path("pics"));
    ASSERT_EQ(SaveDibFile(box.path(std::string("pics/") + name).string(), dib.get()), 1);
  }
  Profile profile(box.configFile());
  CRXDoc doc(&profile);
  doc.ChangeFolder(box.path("pics").string(), nullptr, false);
  ASSERT_EQ(doc.GetEntryCount(), 3);
  int b = -1;
  for (int i = 0; i < 3; ++i) {
    if (doc.GetEntry(i)->name == "b.bmp")
      b = i;
    else
      doc.SetEntryFlags(i, CPicEntry::kSelected);
  }

  std::vector<int> modes;
  bool busyWhileLoading = false;
  CPrintDocSource source(
      doc,
      [&](CPicEntry &e) {
        busyWhileLoading = doc.IsBusy();
        return BitmapToDib(QImage(QString::fromStdString(e.FullPath())));
      },
      nullptr, [&](int mode) { modes.push_back(mode); });
  EXPECT_EQ(std::tuple(source.CountSelected(), source.IsSelected(b), source.IsSelected(3)),
            std::tuple(2, false, false));
  EXPECT_EQ(source.ExpandText(b, "$(PicName)/$(W)") + source.ExpandText(-1, "[$(PicName)]"), "b.bmp/0[]");

  // Each page shows the picture and, at the top, its name: page 2 has no third picture.
  test::ImagePrintDevice device(test::MeasuresFor(400, 400, 254));
  std::string def = box.write("doc.dps", "P,0,10,40,40,0\nS,0,0,40,10,$(PicName),0,Sans,8,4\nN\n").string();
  EXPECT_EQ(CPrintLayout(source).PrintSelected(device, def), 1);
  ASSERT_EQ(device.pages.size(), 1u);
  QColor first = doc.GetEntry(b == 0 ? 1 : 0)->name == "a.bmp" ? Qt::red : Qt::blue;
  EXPECT_TRUE(test::IsColour(device.pages[0].pixel(200, 250), first));
  EXPECT_FALSE(test::InkBox(device.pages[0].copy(0, 0, 400, 100), test::IsInk).isNull());
  EXPECT_EQ(std::tuple(busyWhileLoading && !doc.IsBusy(), modes), std::tuple(true, std::vector<int>{2, 0}));

  // An entry that cannot be decoded prints its icon: something dark inside the white square.
  CPrintDocSource undecodable(doc, [](CPicEntry &) { return HDIB(); });
  device.pages.clear();
  int index = b;
  ASSERT_TRUE(device.StartPage());
  CPrintLayout(undecodable).PrintDefinitionPage(device, "P,0,0,40,40,0\n", index, 1);
  EXPECT_FALSE(test::InkBox(device.pages[0], test::IsInk).isNull());
}

TEST(PrintOption, DefinitionFileHistoryMostRecentFirst) {
  test::Sandbox box;
  CPrintOption o;
  o.Load();
  EXPECT_TRUE(o.definitionFile.empty());
  o.Accept();  // no file: nothing written
  EXPECT_FALSE(std::filesystem::exists(box.configFile()));
  for (const char *f : {"/d/x.dps", "/d/y.dps", "/d/x.dps"}) {
    o.definitionFile = f;
    o.Accept();
  }
  CPrintOption again;
  again.Load();
  EXPECT_EQ(again.Files().items(), (std::vector<std::string>{"/d/x.dps", "/d/y.dps"}));
  EXPECT_EQ(std::tuple(again.definitionFile, Profile::App().GetString("Print", "File1", "")),
            std::tuple("/d/x.dps", "/d/y.dps"));
  EXPECT_EQ(CPrintOption::BrowseFolder(), ExecutableFolder());
}

}  // namespace
}  // namespace tamro
