// The print job: capability checks, job start, the walk over the selected entries, page-end
// errors and the progress window.
#include <gtest/gtest.h>

#include "output/printlayout.h"
#include "platform/ui.h"
#include "printtest.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

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
      {RC_STRETCHDIB, "デバイスが Windows 関数 StretchDIBits を未サポート"},
  };
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
      "スプールに必要なメモリが十分にないことを示します",
  };
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

}  // namespace
}  // namespace tamro
