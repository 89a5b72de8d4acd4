// Printing into a PDF file through the paged-device adapter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include <QImage>
#include <QPdfWriter>

#include "output/printdevice.h"
#include "output/printlayout.h"
#include "platform/ui.h"
#include "support/sandbox.h"
#include "printtest.h"

namespace tamro {
namespace {

int CountPages(const std::string &pdf) {
  static const std::regex page("/Type\\s*/Page[^s]");
  return static_cast<int>(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

// The renderer may shade pure colours by a step or two.
bool IsBluish(QRgb p) { return qBlue(p) > 180 && qRed(p) < 90 && qGreen(p) < 90; }

bool HavePdfToPpm() { return std::system("command -v pdftoppm >/dev/null 2>&1") == 0; }

class PdfPrintTest : public ::testing::Test {
 protected:
  void SetUp() override { test::EnsureGuiApp(); }
  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
};

TEST_F(PdfPrintTest, MeasuresComeFromThePageLayout) {
  CPdfPrintDevice device(box.path("m.pdf").string(), 300);
  PrintMeasures m = device.Measures();
  // A4 with 10 mm margins at 300 dpi.
  EXPECT_EQ(m.horzSizeMm, 190);
  EXPECT_EQ(m.vertSizeMm, 277);
  EXPECT_EQ(m.logPixelsX, 300);
  EXPECT_EQ(m.logPixelsY, 300);
  EXPECT_NEAR(m.horzRes, 2244, 3);
  EXPECT_NEAR(m.vertRes, 3272, 3);
  EXPECT_NEAR(m.physicalWidth, 2480, 1);
  EXPECT_NEAR(m.physicalHeight, 3508, 1);
  EXPECT_NEAR(m.physicalOffsetX, 118, 1);
  EXPECT_NEAR(m.physicalOffsetY, 118, 1);
}

TEST_F(PdfPrintTest, TwoSelectedPicturesMakeATwoPagePdf) {
  test::FakeSource source;
  source.entries = {{"red.bmp", true, 300, 200, Qt::red}, {"blue.bmp", true, 200, 300, Qt::blue}};
  std::string path = box.path("job.pdf").string();
  {
    CPdfPrintDevice device(path, 100);
    CPrintLayout layout(source);
    EXPECT_EQ(layout.PrintSelected(device, ""), 2);
  }
  std::string pdf = test::ReadFile(path);
  ASSERT_TRUE(pdf.starts_with("%PDF-"));
  EXPECT_EQ(CountPages(pdf), 2);
  for (const auto *c : ui.Messages()) ADD_FAILURE() << c->text;

  if (!HavePdfToPpm()) GTEST_SKIP() << "pdftoppm is not installed; pages not rendered";
  std::string cmd = "pdftoppm -r 20 -png '" + path + "' '" + box.path("page").string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  QImage first(QString::fromStdString(box.path("page-1.png").string()));
  QImage second(QString::fromStdString(box.path("page-2.png").string()));
  ASSERT_FALSE(first.isNull());
  ASSERT_FALSE(second.isNull());
  QPoint centre(first.width() / 2, first.height() / 2);
  EXPECT_TRUE(test::IsReddish(first.pixel(centre)));
  EXPECT_TRUE(IsBluish(second.pixel(centre)));
  // The landscape picture fills the width between the margins and leaves the top white;
  // the portrait one fills the height.
  EXPECT_TRUE(test::IsWhite(first.pixel(centre.x(), 15)));
  EXPECT_TRUE(IsBluish(second.pixel(centre.x(), 15)));
  EXPECT_TRUE(test::IsWhite(first.pixel(2, centre.y())));
}

TEST_F(PdfPrintTest, DefinitionPagesGoToThePdfToo) {
  test::FakeSource source;
  source.entries = {{"a.bmp", true, 10, 10, Qt::green}, {"b.bmp", true, 10, 10, Qt::green}};
  std::string path = box.path("def.pdf").string();
  std::string def = box.write("two.dps", "B,0,0,PAGEMAX_X,PAGEMAX_Y,FF,2\nS,10,10,100,30,Page $PAGE,0,Sans,20,4\n").string();
  {
    CPdfPrintDevice device(path, 150);
    EXPECT_EQ(CPrintLayout(source).PrintSelected(device, def), 2);
  }
  EXPECT_EQ(CountPages(test::ReadFile(path)), 2);
  if (!HavePdfToPpm()) GTEST_SKIP() << "pdftoppm is not installed; pages not rendered";
  std::string cmd = "pdftoppm -r 30 -png '" + path + "' '" + box.path("d").string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  QImage page(QString::fromStdString(box.path("d-1.png").string()));
  ASSERT_FALSE(page.isNull());
  // The frame runs along the margins (10 mm = 12 pixels at 30 dpi), in red.
  QRect red = test::InkBox(page, test::IsReddish);
  EXPECT_NEAR(red.left(), 12, 2);
  EXPECT_NEAR(red.top(), 12, 2);
  EXPECT_NEAR(red.right(), page.width() - 13, 2);
  // The text sits inside the frame.
  QRect dark = test::InkBox(page, [](QRgb p) { return qRed(p) < 100 && qGreen(p) < 100; });
  EXPECT_FALSE(dark.isNull());
  EXPECT_GT(dark.left(), red.left());
}

TEST_F(PdfPrintTest, FileThatCannotBeWrittenIsReportedAndNothingIsLeft) {
  test::FakeSource source;
  source.entries = {{"a.bmp"}};
  std::string path = box.path("no/such/folder/x.pdf").string();
  CPdfPrintDevice device(path);
  EXPECT_EQ(CPrintLayout(source).PrintSelected(device, ""), -1);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_TRUE(ui.Messages()[0]->text.starts_with("印刷開始できませんでした\n\n"));
  EXPECT_GT(ui.Messages()[0]->text.size(), std::string("印刷開始できませんでした\n\n").size());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(PdfPrintTest, PagesAreOpenedOneAtATimeAndAbortRemovesTheFile) {
  std::string path = box.path("abort.pdf").string();
  CPdfPrintDevice device(path);
  EXPECT_EQ(device.Painter(), nullptr);
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
}

}  // namespace
}  // namespace tamro
