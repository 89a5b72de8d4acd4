// Printing into a PDF file through the paged-device adapter.
#include <gtest/gtest.h>

#include <QImage>
#include <QPdfWriter>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "output/printdevice.h"
#include "output/printlayout.h"
#include "platform/ui.h"
#include "printtest.h"
#include "support/mounts.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

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

}  // namespace
}  // namespace tamro
