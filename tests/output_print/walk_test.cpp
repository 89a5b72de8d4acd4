// The print job: capability checks, job start, the walk over the selected entries, page-end
// errors and the progress window.
#include <gtest/gtest.h>

#include "output/printlayout.h"
#include "platform/ui.h"
#include "support/sandbox.h"
#include "printtest.h"

namespace tamro {
namespace {

using test::FakeSource;
using test::ImagePrintDevice;

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
    CPrintLayout layout(source);
    return layout.PrintSelected(device, path);
  }

  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
  FakeSource source;
  ImagePrintDevice device{test::MeasuresFor(300, 400, 254)};
};

TEST_F(PrintJobTest, EachSelectedPictureGetsAPage) {
  EXPECT_EQ(Print(), 3);
  EXPECT_EQ(device.docName, "Tamro:印刷");
  ASSERT_EQ(device.pages.size(), 3u);
  EXPECT_TRUE(test::IsColour(device.pages[0].pixel(150, 200), Qt::red));
  EXPECT_TRUE(test::IsColour(device.pages[1].pixel(150, 200), Qt::blue));
  EXPECT_TRUE(test::IsColour(device.pages[2].pixel(150, 200), Qt::black));
  EXPECT_TRUE(device.ended);
  EXPECT_FALSE(device.aborted);
  for (const auto *c : ui.Messages()) ADD_FAILURE() << c->text;
  EXPECT_EQ(ui.progress, (std::vector<std::string>{"open:ファイル印刷中...", "range:0,3", "text:one.bmp",
                                                   "step:1", "text:three.bmp", "step:1", "text:four.bmp",
                                                   "step:1", "close"}));
  EXPECT_EQ(source.log.front(), "busy:1");
  EXPECT_EQ(source.log.back(), "busy:0");
}

TEST_F(PrintJobTest, NextPictureMovesTheWalkAndPageNumbersFollowPages) {
  // Two pictures a page; the page number is drawn as a line at $PAGE * 10 mm.
  EXPECT_EQ(Print("P,0,0,10,10,0\nN\nP,10,0,20,10,0\nLET,Y,$PAGE*10\nL,0,Y,1,Y,0,1\n"), 2);
  ASSERT_EQ(device.pages.size(), 2u);
  EXPECT_TRUE(test::IsColour(device.pages[0].pixel(50, 50), Qt::red));
  EXPECT_TRUE(test::IsColour(device.pages[0].pixel(150, 50), Qt::blue));
  EXPECT_TRUE(test::IsColour(device.pages[1].pixel(50, 50), Qt::black));
  EXPECT_TRUE(test::IsWhite(device.pages[1].pixel(150, 50)));  // white placeholder
  EXPECT_TRUE(test::IsColour(device.pages[0].pixel(5, 100), Qt::black));
  EXPECT_TRUE(test::IsWhite(device.pages[0].pixel(5, 200)));
  EXPECT_TRUE(test::IsColour(device.pages[1].pixel(5, 200), Qt::black));
  // Next picture reports the picture it takes and moves the bar.
  EXPECT_EQ(ui.progress, (std::vector<std::string>{"open:ファイル印刷中...", "range:0,3", "text:one.bmp",
                                                   "text:three.bmp", "step:1", "step:1", "text:four.bmp",
                                                   "step:1", "close"}));
}

TEST_F(PrintJobTest, MissingCapabilityIsReportedAndNothingStarts) {
  const struct {
    unsigned missing;
    const char *message;
  } cases[] = {
      {RC_BITBLT, "デバイスがビットマップ転送を未サポート"},
      {RC_BITMAP64, "64KB を超えるビットマップがデバイスで未サポート"},
      {RC_DIBTODEV, "Windows 関数 SetDIBitsToDevice と getDIBitsToDevice がデバイスで未サポート"},
      {RC_STRETCHDIB, "デバイスが Windows 関数 StretchDIBits を未サポート"},
  };
  for (const auto &c : cases) {
    ui.calls.clear();
    device.caps = RC_PRINTING_NEEDS & ~c.missing;
    EXPECT_EQ(Print(), -1);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0]->text, c.message);
  }
  EXPECT_TRUE(device.docName.empty());
  EXPECT_TRUE(device.pages.empty());
  EXPECT_TRUE(ui.progress.empty());
}

TEST_F(PrintJobTest, JobThatCannotStartIsReportedWithItsReason) {
  device.failStart = true;
  EXPECT_EQ(Print(), -1);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0]->text, "印刷開始できませんでした\n\nno paper");
  EXPECT_EQ(ui.Messages()[0]->style & MB_ICONMASK, unsigned(MB_ICONINFORMATION));
  EXPECT_TRUE(device.pages.empty());
  EXPECT_EQ(source.log.back(), "busy:0");
}

TEST_F(PrintJobTest, PageEndErrorIsReportedOnceAndTheJobAborted) {
  const struct {
    int result;
    const char *message;
  } cases[] = {
      {-1, "一般的なエラーです"},
      {-2, "アプリケーションのアボート関数が 0 を返したために、ジョブを終了したことを示します"},
      {-3, "ユーザーが、プリント マネージャを使ってジョブを終了させたことを示します"},
      {-4, "現在、スプールに必要なディスク領域が十分でなく、領域が回復される見込みがないことを示します"},
      {-5, "スプールに必要なメモリが十分にないことを示します"},
  };
  for (const auto &c : cases) {
    ui.calls.clear();
    device.pages.clear();
    device.aborted = device.ended = false;
    device.endResults = {1, c.result, c.result};
    EXPECT_EQ(Print(), -1);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0]->text, c.message);
    EXPECT_EQ(device.pages.size(), 2u);
    EXPECT_TRUE(device.aborted);
    EXPECT_FALSE(device.ended);
  }
}

TEST_F(PrintJobTest, AbortingTheProgressWindowEndsTheWalkButKeepsPrintedPages) {
  ui.abortAfter = 1;  // the second question says stop
  EXPECT_EQ(Print(), 2);
  EXPECT_EQ(device.pages.size(), 2u);
  EXPECT_TRUE(device.ended);
  EXPECT_FALSE(device.aborted);
}

TEST_F(PrintJobTest, NothingSelectedThrowsTheEmptyJobAway) {
  for (auto &e : source.entries) e.selected = false;
  EXPECT_EQ(Print(), 0);
  EXPECT_TRUE(device.pages.empty());
  EXPECT_TRUE(device.aborted);
  EXPECT_TRUE(ui.Messages().empty());
}

}  // namespace
}  // namespace tamro
