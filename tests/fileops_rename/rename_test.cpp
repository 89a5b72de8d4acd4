#include "fileops/rename.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/docfixture.h"
#include "catalogue/fakedecoders.h"
#include "catalogue/notestore.h"
#include "catalogue/rxdoc.h"
#include "fileops/filecommands.h"
#include "output_macros/testfolder.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

TEST(RenamePattern, NumberSlotDigitsValidityDatesExtensionsAndHelpLines) {
  RenamePattern p = ParseRenamePattern("AAA#3#.JPG");
  EXPECT_EQ(std::tuple(p.useNumber, p.useDate, SequentialName(p, 1, 0, "x.jpg"),
                       SequentialName(p, 1234, 0, "x.jpg")),
            std::tuple(true, false, "AAA001.JPG", "AAA1234.JPG"));
  // No count, a zero count and a count that is no number all write the plain number.
  for (const char *text : {"AAA##.JPG", "AAA#0#.JPG", "AAA#x#.JPG"})
    EXPECT_EQ(SequentialName(ParseRenamePattern(text), 7, 0, "x"), "AAA7.JPG") << text;
  // A third "#" stays in the suffix.
  EXPECT_EQ(SequentialName(ParseRenamePattern("a#2#b#c"), 5, 0, "x"), "a05b#c");
  // An absurd digit count is capped instead of filling memory.
  EXPECT_LE(SequentialName(ParseRenamePattern("#999999999#"), 1, 0, "x").size(), 255u);

  for (auto [text, valid] :
       {std::pair{"jpg", true}, {"A#2#", true}, {"A#2", false}, {"A#2#3#", false}, {"A#2%d", true}})
    EXPECT_EQ(IsValidRenamePattern(text), valid) << text;
  RenamePattern dated = ParseRenamePattern("A#2%d");
  // One "#": no number slot.
  EXPECT_EQ(std::tuple(dated.useNumber, dated.useDate), std::tuple(false, true));
  FileTime t = test::LocalFileTime(2004, 3, 9, 7, 5, 1);
  EXPECT_EQ(SequentialName(ParseRenamePattern("%Y%m%d_#2#.jpg"), 3, t, "x"), "20040309_03.jpg");
  EXPECT_EQ(FormatFileDate("%H%M%S 100%%", t), "070501 100%");
  EXPECT_EQ(FormatFileDate(std::string(127, 'a'), t).size(), 127u);
  EXPECT_EQ(FormatFileDate(std::string(100, 'a') + "%Y%Y%Y%Y%Y%Y%Y", t), "");  // 128 bytes: too long

  EXPECT_EQ(ReplaceExtension("a.b.c", "d"), "a.b.d");

  const auto &lines = RenameHelpLines();
  ASSERT_EQ(lines.size(), 12u + 22u);
  EXPECT_EQ(std::tuple(lines[1], lines[12], lines[32], lines.back()),
            std::tuple("連番変更したい位置に\"##\"を指定します", "%a  曜日の省略名",
                       "%z %Z 時間帯の名前またはその省略名", "%%  パーセント記号"));
}

TEST(RenameOption, ValidationHistoryAndSettings) {
  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
  Profile &p = Profile::App();
  CRenameOption option;
  option.Load();
  EXPECT_EQ(std::tuple(option.firstNumber, option.pattern, option.History().size()), std::tuple(1, "", 0u));

  EXPECT_FALSE(option.Accept("A#2", "5"));
  ASSERT_EQ(ui.Messages().size(), 1u);
  // Nothing written for a refused pattern.
  EXPECT_EQ(std::tuple(ui.Messages()[0]->text, p.Has("RXDoc", "RenameFormat"), p.Has("RXDoc", "First#")),
            std::tuple(kBadRenamePattern, false, false));

  // The pattern used again goes to the top, not twice.
  for (auto [pattern, first] : {std::pair{"A#2%d", "5"}, {"B#3#", "98"}, {"A#2%d", "12"}})
    EXPECT_TRUE(option.Accept(pattern, first)) << pattern << " " << first;
  EXPECT_EQ(std::tuple(p.GetString("RXDoc", "RenameFormat", "?"), p.GetInt("RXDoc", "First#", 0)),
            std::tuple("A#2%d,A#2%d,B#3#", 12));

  // A pattern holding "," comes back as one item.
  EXPECT_TRUE(option.Accept("x,y##", "1"));
  CRenameOption again;
  again.Load();
  EXPECT_EQ(std::tuple(again.pattern, again.History(), again.firstNumber),
            std::tuple("x,y##", std::vector<std::string>{"x,y##", "A#2%d", "B#3#"}, 1));
}

// Pictures in a folder, listed by a document; archives are listed as members.
class RenameRunTest : public ::testing::Test {
 protected:
  void SetUp() override { Profile::App().WriteInt("RXDoc", "Archive", 1); }
  void List() { doc = test::ListFolder(Folder(), &decoders); }
  std::string Folder() const { return box.path("pics").string(); }
  fs::path Pic(const std::string &name) const { return box.path("pics/" + name); }
  void Write(const std::string &name, const std::string &bytes = "data") { box.write("pics/" + name, bytes); }
  // Selects everything listed, in list order; answers the plain names in that order.
  std::vector<std::string> SelectAll() {
    std::vector<std::string> names;
    for (int i = 0; i < doc->GetEntryCount(); ++i) {
      CPicEntry *e = doc->GetEntry(i);
      doc->SetEntryFlags(i, e->flags | CPicEntry::kSelected);
      if (!e->IsArchiveMember()) names.push_back(e->name);
    }
    return names;
  }
  std::vector<std::string> FilesOnDisk() const {
    std::vector<std::string> n = test::FileNames(box.path("pics"));
    std::erase_if(n, [&](const std::string &f) { return f == "_NOTE_.RXI" || !fs::is_regular_file(Pic(f)); });
    return n;
  }

  test::Sandbox box;
  test::FakeDecoders decoders;
  ScriptedUi ui;
  ScopedUi scope{ui};
  test::HintLog log;
  std::unique_ptr<CRXDoc> doc;
};

TEST_F(RenameRunTest, NumbersFollowListOrderAndEntriesFollowTheirFiles) {
  for (const char *n : {"c.jpg", "a.jpg", "b.jpg"}) Write(n, n);
  Write("set.arc", test::FakeDecoders::MakeArchive({{"m.pic", 3, 1, "PIC"}}));
  List();
  std::vector<std::string> order = SelectAll();
  ASSERT_EQ(order.size(), 3u);
  ASSERT_EQ(doc->GetEntryCount(), 4);  // the member is listed and selected too
  ASSERT_TRUE(WriteNote(Folder(), "", order[1], "second picture"));
  doc->AddObserver(&log);

  RenameRun run = RenameSequential(*doc, "AAA#3#.JPG", 1);
  // The member is left out without a line.
  EXPECT_EQ(std::tuple(run.renamed, run.failures.empty(), ui.Messages().empty(), FilesOnDisk()),
            std::tuple(3, true, true,
                       std::vector<std::string>{"AAA001.JPG", "AAA002.JPG", "AAA003.JPG", "set.arc"}));
  // Each file kept its own bytes, numbered in list order.
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(test::ReadFile(Pic("AAA00" + std::to_string(k + 1) + ".JPG")), order[k]);
  // The entries carry the new names and were redrawn; the note moved along.
  std::vector<int> redrawn;
  for (const auto &s : log.seen)
    if (s.hint == kHintEntryChanged) redrawn.push_back(static_cast<int>(s.value));
  EXPECT_EQ(redrawn.size(), 3u);
  for (int i : redrawn) EXPECT_EQ(doc->GetEntry(i)->name.substr(0, 3), "AAA");
  std::string note;
  EXPECT_EQ(ReadNote(Folder(), "", "AAA002.JPG", note), 0);
  EXPECT_EQ(note, "second picture");
  EXPECT_EQ(std::tuple(ReadNote(Folder(), "", order[1], note), doc->IsBusy()), std::tuple(-1, false));
}

TEST_F(RenameRunTest, NumbersOutgrowTheirDigitsDatesAreEachFilesOwnAndExtensionsAreReplacedOrAdded) {
  const FileTime feb3 = test::LocalFileTime(2001, 2, 3, 12, 0, 0);
  const FileTime nov30 = test::LocalFileTime(2010, 11, 30, 12, 0, 0);
  const struct {
    std::vector<const char *> files;
    std::vector<FileTime> times;  // the files' times in list order
    const char *pattern;
    int first;
    std::vector<std::string> after;
  } rows[] = {
      {{"1.jpg", "2.jpg", "3.jpg"}, {}, "IMG#2#.jpg", 98, {"IMG100.jpg", "IMG98.jpg", "IMG99.jpg"}},
      {{"x.jpg", "y.jpg"}, {feb3, nov30}, "%Y%m%d_#2#.jpg", 1, {"20010203_01.jpg", "20101130_02.jpg"}},
      {{"photo.JPEG", "scan"}, {}, "jpg", 1, {"photo.jpg", "scan.jpg"}}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.pattern);
    fs::remove_all(box.path("pics"));
    for (const char *n : row.files) Write(n);
    List();
    const std::vector<std::string> order = SelectAll();
    for (std::size_t i = 0; i < row.times.size(); ++i)
      fs::last_write_time(Pic(order[i]),
                          fs::file_time_type::clock::now() +
                              std::chrono::seconds(row.times[i] / kNanosPerSecond - std::time(nullptr)));
    EXPECT_EQ(RenameSequential(*doc, row.pattern, row.first).renamed, static_cast<int>(row.files.size()));
    EXPECT_EQ(FilesOnDisk(), row.after);
  }
}

TEST_F(RenameRunTest, TakenNamesAreReportedAndNothingIsOverwritten) {
  for (const char *n : {"a.jpg", "b.jpg", "c.jpg"}) Write(n, n);
  Write("keep 100%.jpg", "KEEP");
  fs::create_directories(box.path("pics/sub"));
  List();
  for (const char *n : {"a.jpg", "b.jpg", "c.jpg"}) test::Select(*doc, {n});
  // Every file wants the same name: the first gets it, the others fail and stay.
  RenameRun run = RenameSequential(*doc, "keep 100%%.jpg", 1);
  EXPECT_EQ(run.renamed, 0);
  ASSERT_EQ(run.failures.size(), 3u);
  EXPECT_EQ(test::ReadFile(Pic("keep 100%.jpg")), "KEEP");
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0]->caption, "Report");
  EXPECT_NE(ui.Messages()[0]->text.find(" -> keep 100%.jpg :failed rename"), std::string::npos);

  ui.calls.clear();
  run = RenameSequential(*doc, "same.jpg%%", 1);
  EXPECT_EQ(run.renamed, 1);
  ASSERT_EQ(run.failures.size(), 2u);
  // No file was lost.
  EXPECT_EQ(std::tuple(run.failures[0].substr(run.failures[0].find(" -> ")), FilesOnDisk().size()),
            std::tuple(" -> same.jpg% :failed rename", 4u));

  // A name with "/" would move the file elsewhere: refused.
  run = RenameSequential(*doc, "sub/#2#.jpg", 1);
  EXPECT_EQ(std::tuple(run.renamed, fs::is_empty(box.path("pics/sub"))), std::tuple(0, true));
}

TEST_F(RenameRunTest, FilesThatVanishedAreLeftOutAndSameNameFails) {
  for (const char *n : {"a.jpg", "gone.jpg"}) Write(n);
  List();
  SelectAll();
  fs::remove(Pic("gone.jpg"));
  RenameRun run = RenameSequential(*doc, "#2#.jpg", 1);
  EXPECT_EQ(std::tuple(run.renamed, run.failures.empty(), fs::exists(Pic("01.jpg"))),
            std::tuple(1, true, true));

  CPicEntry *e = doc->GetEntry(test::FindEntry(*doc, "01.jpg"));
  for (const char *refused : {"01.jpg", "", ".."}) EXPECT_EQ(RenameEntryFile(*e, refused), -1) << refused;
  EXPECT_EQ(RenameEntryFile(*e, "名前 \"引用\".jpg"), 0);
  EXPECT_TRUE(fs::exists(Pic("名前 \"引用\".jpg")));
}

TEST_F(RenameRunTest, SingleRenameAsksPerFile) {
  for (const char *n : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) Write(n, n);
  List();
  std::vector<std::string> order = SelectAll();
  // First: an empty OK asks again, then a taken name fails; second: skipped; third: renamed;
  // fourth: aborted.
  std::vector<std::pair<int, std::string>> answers = {
      {1, ""}, {1, order[3]}, {0, ""}, {1, "新しい.jpg"}, {-1, ""}};
  std::vector<std::string> prompts;
  std::vector<bool> more;
  auto ask = [&](std::string_view prompt, std::string &name, bool moreFollow) {
    prompts.emplace_back(prompt);
    more.push_back(moreFollow);
    auto [answer, text] = answers.front();
    answers.erase(answers.begin());
    if (answer == 1) name = text;
    return answer;
  };
  EXPECT_EQ(RenameEach(*doc, ask), 1);
  EXPECT_EQ(std::tuple(answers.empty(), prompts.front(), more),
            std::tuple(true, "'" + order[0] + "'の新しい名前を指定してください",
                       std::vector<bool>{true, true, true, true, false}));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(
      std::tuple(ui.Messages()[0]->text, test::ReadFile(Pic("新しい.jpg")), test::ReadFile(Pic(order[3]))),
      std::tuple("名前の変更に失敗しました", order[2], order[3]));

  // Through the input box a cancel skips.
  ui.inputs = {"\x18", "z.jpg"};
  EXPECT_EQ(RenameEach(*doc), 1);
  EXPECT_TRUE(fs::exists(Pic("z.jpg")));
}

}  // namespace
}  // namespace tamro
