#include "output/report.h"

#include <gtest/gtest.h>

#include "catalogue/fakedecoders.h"
#include "catalogue/macros.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/workerpool.h"
#include "output_macros/testfolder.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/mounts.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

TEST(ReportMacroInsertion, ReplacesTheRememberedSelectionFromMenusOfTheLongForms) {
  int caret = -1;
  EXPECT_EQ(InsertMacro("A B", 2, 2, "$(Size)", &caret), "A $(Size)B");
  EXPECT_EQ(caret, 9);
  // Selected backwards; clamped to the text; a position inside a multibyte character backs off to its start.
  EXPECT_EQ(InsertMacro("A B C", 1, 4, "$(PicName)") + "|" + InsertMacro("A B C", 4, 1, "$(PicName)") + "|" +
                InsertMacro("", 0, 0, "$(Note)") + "|" + InsertMacro("ab", -5, 99, "$(W)") + "|" +
                InsertMacro("写真", 4, 4, "$(D)"),
            "A$(PicName)C|A$(PicName)C|$(Note)|$(W)|写$(D)真");
  // The menus offer the long forms from the macro table.
  auto menu = [](MacroMenu which) {
    std::string text;
    for (const MacroMenuItem &item : MacroMenuItems(which))
      text += item.macro.empty() ? "|" : std::string(item.macro);
    return text;
  };
  EXPECT_EQ(
      menu(MacroMenu::kReport),
      "$(PicPath)$(PicDir)$(PicName)$(Length)$(Size)$(Date)$(Time)|$(Width)$(Height)$(Color)$(Info)$(Note)|"
      "$(ArcName)");
  EXPECT_EQ(menu(MacroMenu::kArguments),
            "$(PicPath)$(PicDir)$(PicName)$(ShortPicPath)$(ShortPicName)|$(ArcPath)");
  EXPECT_EQ(menu(MacroMenu::kFolder), "$(PicDir)");
  EXPECT_EQ(MacroMenuItems(MacroMenu::kReport).front().label, "パス名");
}

TEST(ReportOption, HistoryMovesSkipsEmptyKeysAndIsCapped) {
  test::Sandbox box;
  CReportOption option;
  option.Load();
  EXPECT_TRUE(option.format == kDefaultReportFormat && option.History().empty());
  for (const char *format : {"$(PN)", "$(S)", "$(PN)"}) option.Accept(format);  // used again: to the top
  CReportOption again;
  again.Load();
  EXPECT_EQ(again.History(), (std::vector<std::string>{"$(PN)", "$(S)"}));
  EXPECT_EQ(again.format, "$(PN)");
  Profile &p = Profile::App();
  EXPECT_EQ(
      std::tuple(p.GetString("ReportFile", "0", "?"), p.GetString("ReportFile", "1", "?"),
                 p.GetString("ReportFile", "2", "?"), p.Has("ReportFile", "99"), p.Has("ReportFile", "100")),
      std::tuple("$(PN)", "$(S)", "", true, false));

  for (auto [key, format] : {std::pair{"0", ""}, {"5", "five"}, {"7", "seven"}})
    p.WriteString("ReportFile", key, format);
  option.Load();
  EXPECT_EQ(option.History(), (std::vector<std::string>{"$(S)", "five", "seven"}));
  for (int i = 0; i < 120; ++i) option.Accept("f" + std::to_string(i));
  again.Load();
  ASSERT_EQ(again.History().size(), 100u);
  EXPECT_EQ(again.History().front() + again.History().back(), "f119f20");
}

class ReportFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.write("pics/a.jpg", "aaa");
    box.write("pics/b 100%.jpg", "bb");
    box.write("pics/c.jpg", std::string(1500, 'c'));
    doc = test::ListFolder(box.path("pics"));
  }
  test::Sandbox box;
  std::unique_ptr<CRXDoc> doc;
  ScriptedUi ui;
  ScopedUi scope{ui};
};

TEST_F(ReportFileTest, OneLinePerSelectedEntryInListOrder) {
  test::Select(*doc, {"c.jpg", "b 100%.jpg"});
  std::string expected;
  for (const std::string &name : test::EntryNames(*doc)) {
    if (name == "a.jpg") continue;
    expected += name + "\t" + (name == "c.jpg" ? "1,500\t1.5KB" : "2\t2B") + "\r\n";
  }
  auto out = box.path("out/報告 書.txt");
  std::filesystem::create_directories(out.parent_path());
  EXPECT_TRUE(WriteReportFile(*doc, out.string(), "$(PN)\t$(S)\t$(L)"));
  EXPECT_EQ(std::tuple(test::ReadFile(out), ui.progress.front(), ui.Messages().empty()),
            std::tuple(expected, "open:レポートファイル作成中...", true));
}

// Decoders that tell one size for every fake picture and count the files asked about.
struct SizedDecoders : test::FakeDecoders {
  int GetPictureInfo(int position, const PictureSource &, SpiPictureInfo &info, std::string &text) override {
    if (position != 0) return -1;
    info.width = 64, info.height = 48, info.colorDepth = 24;
    text = "fake";
    return 0;
  }
};

TEST_F(ReportFileTest, PictureFilesAreReadOnlyWhenTheFormatShowsTheirFacts) {
  box.write("pics/d.jpg", "PIC");
  doc = test::ListFolder(box.path("pics"));
  test::Select(*doc, test::EntryNames(*doc));
  SizedDecoders decoders;
  CThumbBuilder builder(&decoders, nullptr, nullptr);
  WorkerPool pool(1);
  const auto out = box.path("r.txt");
  ASSERT_TRUE(WriteReportFile(*doc, out.string(), "$(PN)\t$(S)\t$(D)", {&builder, &pool}));
  EXPECT_EQ(decoders.pictureQueries, 0);

  ASSERT_TRUE(WriteReportFile(*doc, out.string(), "$(PN) $(W)x$(H) $(C) $(I)", {&builder, &pool}));
  std::string expected;
  for (const std::string &name : test::EntryNames(*doc))
    expected += name + (name == "d.jpg" ? " 64x48 24 fake\r\n" : " 0x0 0 \r\n");
  EXPECT_EQ(std::tuple(test::ReadFile(out), decoders.pictureQueries), std::tuple(expected, 4));
}

TEST_F(ReportFileTest, NoSelectionWritesAnEmptyFile) {
  auto out = box.write("empty.txt", "old contents");
  EXPECT_TRUE(WriteReportFile(*doc, out.string(), std::string(kDefaultReportFormat)));
  EXPECT_TRUE(std::filesystem::exists(out) && test::ReadFile(out).empty());
}

TEST_F(ReportFileTest, FileThatCannotBeCreatedEndsQuietly) {
  test::Select(*doc, {"a.jpg"});
  EXPECT_FALSE(WriteReportFile(*doc, box.path("no such folder/r.txt").string(), "$(PN)"));
  EXPECT_TRUE(ui.calls.empty());
}

TEST_F(ReportFileTest, AFullDiskKeepsThePreviousReport) {
  test::TmpfsMount disk(box.path("small"), "16k");
  if (!disk.ok()) GTEST_SKIP() << disk.reason();
  const auto out = box.path("small/report.txt");
  test::Select(*doc, {"a.jpg", "b 100%.jpg", "c.jpg"});
  ASSERT_TRUE(WriteReportFile(*doc, out.string(), "$(PN)"));
  const std::string before = test::ReadFile(out);
  test::FillUp(box.path("small"));
  EXPECT_FALSE(WriteReportFile(*doc, out.string(), std::string(3000, 'x')));
  EXPECT_EQ(test::ReadFile(out), before);
}

TEST_F(ReportFileTest, AbortKeepsTheLinesWritten) {
  test::Select(*doc, {"a.jpg", "b 100%.jpg", "c.jpg"});
  ui.abortAfter = 2;  // the third picture is refused
  auto out = box.path("partial.txt");
  WriteReportFile(*doc, out.string(), "$(FN)");
  std::vector<std::string> names = test::EntryNames(*doc);
  EXPECT_EQ(test::ReadFile(out), names[0].substr(0, names[0].rfind('.')) + "\r\n" +
                                     names[1].substr(0, names[1].rfind('.')) + "\r\n");
}

}  // namespace
}  // namespace tamro
