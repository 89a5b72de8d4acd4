#include "output/report.h"

#include <gtest/gtest.h>

#include "output_macros/testfolder.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/mounts.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

TEST(ReportMacroInsertion, ReplacesTheRememberedSelection) {
  int caret = -1;
  EXPECT_EQ(InsertMacro("A B", 2, 2, "$(Size)", &caret), "A $(Size)B");
  EXPECT_EQ(caret, 9);
  EXPECT_EQ(InsertMacro("A B C", 1, 4, "$(PicName)"), "A$(PicName)C");
  EXPECT_EQ(InsertMacro("A B C", 4, 1, "$(PicName)"), "A$(PicName)C");  // selected backwards
  EXPECT_EQ(InsertMacro("", 0, 0, "$(Note)"), "$(Note)");
  EXPECT_EQ(InsertMacro("ab", -5, 99, "$(W)"), "$(W)");               // clamped to the text
  // A position inside a multibyte character backs off to its start.
  EXPECT_EQ(InsertMacro("写真", 4, 4, "$(D)"), "写$(D)真");
}

TEST(ReportMacroInsertion, MenuOffersTheLongForms) {
  std::vector<std::string> macros;
  int separators = 0;
  for (const ReportMacroItem &item : ReportMacroMenu()) {
    if (*item.label == '\0') ++separators;
    else macros.push_back(item.macro);
  }
  EXPECT_EQ(separators, 2);
  EXPECT_EQ(macros, (std::vector<std::string>{"$(PicPath)", "$(PicDir)", "$(PicName)", "$(Length)", "$(Size)",
                                               "$(Date)", "$(Time)", "$(Width)", "$(Height)", "$(Color)", "$(Info)",
                                               "$(Note)", "$(ArcName)"}));
}

TEST(ReportOption, HistoryMovesAndDefault) {
  test::Sandbox box;
  CReportOption option;
  option.Load();
  EXPECT_EQ(option.format, std::string(kDefaultReportFormat));
  EXPECT_TRUE(option.History().empty());

  option.Accept("$(PN)");
  option.Accept("$(S)");
  option.Accept("$(PN)");  // used again: to the top, not twice
  CReportOption again;
  again.Load();
  EXPECT_EQ(again.History(), (std::vector<std::string>{"$(PN)", "$(S)"}));
  EXPECT_EQ(again.format, "$(PN)");
  Profile &p = Profile::App();
  EXPECT_EQ(p.GetString("ReportFile", "0", "?"), "$(PN)");
  EXPECT_EQ(p.GetString("ReportFile", "1", "?"), "$(S)");
  EXPECT_TRUE(p.Has("ReportFile", "99"));
  EXPECT_EQ(p.GetString("ReportFile", "2", "?"), "");
  EXPECT_FALSE(p.Has("ReportFile", "100"));
}

TEST(ReportOption, EmptyKeysAreSkippedAndTheListIsCapped) {
  test::Sandbox box;
  Profile &p = Profile::App();
  p.WriteString("ReportFile", "0", "");
  p.WriteString("ReportFile", "5", "five");
  p.WriteString("ReportFile", "7", "seven");
  CReportOption option;
  option.Load();
  EXPECT_EQ(option.History(), (std::vector<std::string>{"five", "seven"}));
  for (int i = 0; i < 120; ++i) option.Accept("f" + std::to_string(i));
  CReportOption again;
  again.Load();
  ASSERT_EQ(again.History().size(), 100u);
  EXPECT_EQ(again.History().front(), "f119");
  EXPECT_EQ(again.History().back(), "f20");
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
  EXPECT_EQ(test::ReadFile(out), expected);
  EXPECT_EQ(ui.progress.front(), "open:レポートファイル作成中...");
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(ReportFileTest, NoSelectionWritesAnEmptyFile) {
  auto out = box.path("empty.txt");
  box.write("empty.txt", "old contents");
  EXPECT_TRUE(WriteReportFile(*doc, out.string(), std::string(kDefaultReportFormat)));
  EXPECT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(test::ReadFile(out), "");
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
