#include "fileops/transfer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/docfixture.h"
#include "catalogue/notestore.h"
#include "fileops/folders.h"
#include "fileops/samename.h"
#include "support/mounts.h"
#include "platform/listfield.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace tamro::test {
namespace {

class TransferTest : public ::testing::Test {
 protected:
  Sandbox box;
  ScriptedUi ui;
  ScopedUi scoped{ui};

  std::string W(const std::string &rel, const std::string &bytes) { return box.write(rel, bytes).string(); }
  std::string P(const std::string &rel) const { return box.path(rel).string(); }
  static std::string Rec(const std::string &path, const std::string &note = "") {
    return MakeTransferRecord(path, note);
  }
  int Steps() const {
    int n = 0;
    for (const auto &p : ui.progress) n += p.rfind("step:", 0) == 0;
    return n;
  }
  // Nothing left over from a copy under a temporary name.
  static bool NoPartFiles(const std::string &folder) {
    for (const auto &e : fs::directory_iterator(folder))
      if (e.path().filename().string().rfind(".tamro-", 0) == 0) return false;
    return true;
  }
};

TEST_F(TransferTest, RecordsRoundTripPathsWithCommasQuotesAndBlanks) {
  const std::string record = Rec("/p/a, b%.jpg", "line1\r\nline2, more");
  EXPECT_EQ(GetListField(record, 0), "/p/a, b%.jpg");
  EXPECT_EQ(GetListField(record, 1), "line1\r\nline2, more");
}

TEST_F(TransferTest, CopyOntoItselfIsFoundByIdentityAndCountsZero) {
  const std::string a = W("pics/a.jpg", "AAAA");
  EXPECT_EQ(TransferFiles(P("pics"), {Rec(a)}, 0, 0), 0);
  // The same folder reached through a link is the same file too.
  fs::create_directory_symlink(P("pics"), P("link"));
  EXPECT_EQ(TransferFiles(P("link"), {Rec(a)}, 0, 0), 0);
  EXPECT_EQ(std::tuple(ui.sameNameQuestions.empty(), ReadFile(a)), std::tuple(true, "AAAA"));
}

TEST_F(TransferTest, OnlyExistingSkipsNewNamesButStillAdvances) {
  const std::string a = W("src/a.jpg", "new a"), b = W("src/b.jpg", "new b");
  W("dst/b.jpg", "old b");
  ui.sameNameAnswers.push_back({kSameOverwrite, "", false});
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(a), Rec(b)}, 1, 0), 1);
  EXPECT_EQ(std::tuple(fs::exists(P("dst/a.jpg")), ReadFile(P("dst/b.jpg")), Steps(), NoPartFiles(P("dst"))),
            std::tuple(false, "new b", 2, true));
}

TEST_F(TransferTest, NumberedActionTakesTheFirstFreeNumber) {
  const std::string a = W("src/a.jpg", "source");
  for (auto [name, bytes] : {std::pair{"dst/a.jpg", "first"}, {"dst/a(2).jpg", "second"}}) W(name, bytes);
  ui.sameNameAnswers.push_back({kSameNumbered, "", false});
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(a, "memo")}, 0, 0), 1);
  EXPECT_EQ(std::tuple(ReadFile(P("dst/a(3).jpg")), ReadFile(P("dst/a.jpg")), ReadFile(P("dst/a(2).jpg"))),
            std::tuple("source", "first", "second"));
  // The note goes with the file to the name it got, not to the namesake.
  std::string note;
  EXPECT_EQ(ReadNote(P("dst"), "", "a(3).jpg", note), 0);
  EXPECT_EQ(note, "memo");
  EXPECT_EQ(ReadNote(P("dst"), "", "a.jpg", note), -1);
  EXPECT_EQ(NumberedFreeName("/x/noext"), "/x/noext(2)");
}

TEST_F(TransferTest, NewerAndLargerActionsCompareStrictly) {
  const std::string a = W("src/a.jpg", "1234"), b = W("src/b.jpg", "1234");
  for (const char *name : {"dst/a.jpg", "dst/b.jpg"}) W(name, "abcd");
  for (const std::string &path : {a, P("dst/a.jpg")}) SetTimes(path, 1000000);
  for (int action : {kSameNewerOnly, kSameLarger}) ui.sameNameAnswers.push_back({action, "", false});
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(a), Rec(b)}, 0, 0), 0);
  EXPECT_EQ(ReadFile(P("dst/a.jpg")) + "|" + ReadFile(P("dst/b.jpg")), "abcd|abcd");

  // A newer source and a larger source do go.
  SetTimes(a, 1000001);
  W("src/b.jpg", "12345");
  for (int action : {kSameNewerOnly, kSameLarger}) ui.sameNameAnswers.push_back({action, "", false});
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(a), Rec(b)}, 0, 0), 2);
  EXPECT_EQ(ReadFile(P("dst/a.jpg")) + "|" + ReadFile(P("dst/b.jpg")), "1234|12345");
  // The copy keeps the source's modification time.
  struct stat st {};
  ASSERT_EQ(::stat(P("dst/a.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1000001);
}

TEST_F(TransferTest, AllFollowingLastsOneRunAndTheActionIsStored) {
  const std::string a = W("src/a.jpg", "A"), b = W("src/b.jpg", "B");
  for (const char *name : {"dst/a.jpg", "dst/b.jpg"}) W(name, "old");
  ui.sameNameAnswers.push_back({kSameSkip, "", true});
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(a), Rec(b)}, 0, 0), 0);
  EXPECT_EQ(ui.sameNameQuestions.size(), 1u);
  EXPECT_EQ(Profile::App().GetInt("Filer", "SameOption", -1), kSameSkip);

  // The next run asks again, starting with the stored action.
  ui.sameNameAnswers.insert(ui.sameNameAnswers.end(), 2, {kSameOverwrite, "", false});
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(a), Rec(b)}, 0, 0), 2);
  ASSERT_EQ(ui.sameNameQuestions.size(), 3u);
  EXPECT_EQ(
      std::tuple(ui.sameNameQuestions[1].action, ui.sameNameQuestions[1].caption, ReadFile(P("dst/b.jpg"))),
      std::tuple(kSameSkip, "同名ファイルが存在しています", "B"));
}

TEST_F(TransferTest, RenameAnswerMustNameAFreeFileAndCancelStops) {
  const std::string a = W("src/a.jpg", "A"), b = W("src/b.jpg", "B");
  W("dst/a.jpg", "old a");
  W("dst/taken.jpg", "taken");
  W("dst/b.jpg", "old b");
  // A rename onto a taken name is asked again; then a free name in a new sub-folder (asked
  // about and created) is taken.
  ui.sameNameAnswers.push_back({kSameRename, P("dst/taken.jpg"), false});
  ui.sameNameAnswers.push_back({kSameRename, P("dst/new dir/a 100%.jpg"), false});
  ui.answers.push_back(IDYES);
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(a), Rec(b)}, 0, 0), 1);  // b: no answer left, cancelled
  EXPECT_EQ(std::tuple(ui.sameNameQuestions.size(), ReadFile(P("dst/new dir/a 100%.jpg")),
                       ReadFile(P("dst/taken.jpg")), ReadFile(P("dst/b.jpg"))),
            std::tuple(3u, "A", "taken", "old b"));
}

TEST_F(TransferTest, FolderIntoItsOwnSubFolderIsSkippedButASiblingWithTheSamePrefixIsNot) {
  for (auto [name, bytes] : {std::pair{"tree/one.jpg", "1"}, {"tree/sub/two.jpg", "2"}}) W(name, bytes);
  EXPECT_EQ(TransferFiles(P("tree/sub"), {Rec(P("tree"))}, 0, 1), 0);
  EXPECT_EQ(std::tuple(fs::exists(P("tree/one.jpg")), fs::exists(P("tree/sub/tree"))),
            std::tuple(true, false));

  ui.answers.push_back(IDYES);                                      // create tree2
  EXPECT_EQ(TransferFiles(P("tree2"), {Rec(P("tree"))}, 0, 0), 4);  // tree, one, sub, two
  EXPECT_EQ(ReadFile(P("tree2/tree/sub/two.jpg")), "2");
}

TEST_F(TransferTest, MoveLeavesAFolderThatCouldNotBeEmptied) {
  W("tree/keep.jpg", "keep");
  W("tree/go.jpg", "go");
  W("dst/tree/keep.jpg", "namesake");
  ui.sameNameAnswers.push_back({kSameSkip, "", false});
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(P("tree"))}, 0, 1), 2);  // the folder and go.jpg
  EXPECT_EQ(std::tuple(fs::exists(P("tree/keep.jpg")), fs::exists(P("tree/go.jpg")),
                       ReadFile(P("dst/tree/go.jpg")), ReadFile(P("dst/tree/keep.jpg"))),
            std::tuple(true, false, "go", "namesake"));
}

TEST_F(TransferTest, FolderMergeCarriesNotesPerPictureAndNeverAsksAboutTamroFiles) {
  struct Row {
    int move, action;
    const char *renameTo;
    int count;
    const char *notes;  // afterwards: "s:" or "d:" + name + "=" + note ("" none)
  };
  const Row rows[] = {
      {0, kSameOverwrite, "", 3, "d:a.jpg=A d:b.jpg=B d:d.jpg=D s:a.jpg=A s:gone.jpg=G"},
      {0, kSameSkip, "", 2, "d:a.jpg=oldA d:b.jpg=B d:d.jpg=D s:b.jpg=B"},
      {0, kSameRename, "a2.jpg", 3, "d:a2.jpg=A d:a.jpg=oldA d:d.jpg=D s:a.jpg=A"},
      {1, kSameOverwrite, "", 3, "d:a.jpg=A d:b.jpg=B d:d.jpg=D d:gone.jpg=G"},
      {1, kSameSkip, "", 2, "d:a.jpg=oldA d:b.jpg=B s:a.jpg=A s:b.jpg= d:gone.jpg= s:gone.jpg=G"},
      {1, kSameRename, "a2.jpg", 3, "d:a2.jpg=A d:a.jpg=oldA d:d.jpg=D d:gone.jpg=G"},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row &row = rows[i];
    const std::string at = "m" + std::to_string(i) + "/", src = P(at + "src/trip"), dst = P(at + "dst/trip");
    W(at + "src/trip/a.jpg", "new a");
    W(at + "src/trip/b.jpg", "b");
    W(at + "src/trip/_THUMBS_.RXI", "source thumbs");
    W(at + "dst/trip/a.jpg", "old a");
    W(at + "dst/trip/d.jpg", "d");
    W(at + "dst/trip/_THUMBS_.RXI", "destination thumbs");
    // Calls `f(folder, name, note)` for each item of a notes text.
    auto each = [&](const char *notes, auto f) {
      std::istringstream items(notes);
      for (std::string item; items >> item;) {
        const std::size_t eq = item.find('=');
        f(item[0] == 's' ? src : dst, item.substr(2, eq - 2), item.substr(eq + 1), item);
      }
    };
    each("s:a.jpg=A s:b.jpg=B s:gone.jpg=G d:a.jpg=oldA d:d.jpg=D",
         [](auto folder, auto name, auto note, auto) { WriteNote(folder, "", name, note); });
    ui.sameNameQuestions.clear();
    ui.sameNameAnswers.push_back({row.action, *row.renameTo ? dst + "/" + row.renameTo : "", false});

    EXPECT_EQ(TransferFiles(P(at + "dst"), {Rec(src)}, 0, row.move), row.count) << i;
    ASSERT_EQ(ui.sameNameQuestions.size(), 1u) << i;
    EXPECT_EQ(ui.sameNameQuestions[0].sourceName, src + "/a.jpg") << i;
    EXPECT_EQ(ReadFile(dst + "/_THUMBS_.RXI"), "destination thumbs") << i;
    each(row.notes, [i](auto folder, auto name, auto note, auto item) {
      std::string text;
      ReadNote(folder, "", name, text);
      EXPECT_EQ(text, note) << i << " " << item;
    });
    // A move takes the folder along unless a skipped picture stays in it.
    EXPECT_EQ(fs::exists(src), !row.move || row.action == kSameSkip) << i;
  }
  // A note file on its own is not copied over the destination's either.
  ui.sameNameAnswers.push_back({kSameOverwrite, "", false});
  EXPECT_EQ(TransferFiles(P("m0/dst/trip"), {Rec(P("m0/src/trip/_NOTE_.RXI"))}, 0, 0), 0);
  std::string text;
  EXPECT_EQ(ReadNote(P("m0/dst/trip"), "", "d.jpg", text), 0);
}

TEST_F(TransferTest, MissingDestinationIsOfferedAndRefusalTransfersNothing) {
  const std::string a = W("src/a.jpg", "A");
  ui.answers.push_back(IDNO);
  EXPECT_EQ(TransferFiles(P("nowhere"), {Rec(a)}, 0, 0), 0);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0]->text, P("nowhere") + " \nフォルダが存在しません．新しく作成しますか？");
  EXPECT_FALSE(fs::exists(P("nowhere")));
  // A file standing where the folder should be: creation fails and says so.
  W("plain", "x");
  ui.answers.push_back(IDYES);
  EXPECT_FALSE(EnsureFolder(P("plain/sub"), false));
  EXPECT_EQ(ui.Messages().back()->text, P("plain/sub") + " \nフォルダの作成に失敗しました");
  EXPECT_TRUE(EnsureFolder(P("deep/er/folder"), true));
}

TEST_F(TransferTest, HelpersCountDeleteAndMatch) {
  for (const char *name : {"c/a.jpg", "c/b.JPG", "c/d.png", "c/s/e.jpg"}) W(name, "");
  EXPECT_EQ(std::tuple(CountFiles(P("c"), "*.*", -1), CountFiles(P("c"), "*.*", 0),
                       CountFiles(P("c"), "*.jpg", -1)),
            std::tuple(5, 4, 2));
  EXPECT_TRUE(DeleteMatching(P("c/*.jpg")));
  EXPECT_EQ(std::tuple(fs::exists(P("c/a.jpg")), fs::exists(P("c/b.JPG")), fs::exists(P("c/d.png")),
                       fs::exists(P("c/s"))),
            std::tuple(false, false, true, true));
  // Without wildcards exactly one name, letter case included.
  W("c/X.png", "");
  EXPECT_TRUE(DeleteMatching(P("c/x.png")));
  EXPECT_TRUE(fs::exists(P("c/X.png")));
  EXPECT_TRUE(DeleteFileForced(P("c/gone.png")));
  EXPECT_FALSE(DeleteFileForced(P("c/s")));
}

TEST_F(TransferTest, FailedStepOffersAbortRetryIgnore) {
  const std::string a = W("src/a.jpg", "A"), b = W("src/b.jpg", "B");
  fs::create_directories(P("dst/a.jpg"));  // a folder in the way of a file: the copy fails
  ui.answers = {IDRETRY, IDIGNORE};
  // An ignored failure wrote nothing, so it does not count (a cut would be taken as done).
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(a), Rec(b)}, 0, 0), 1);
  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(std::tuple(ui.Messages()[0]->style, ReadFile(P("dst/b.jpg"))),
            std::tuple(MB_ABORTRETRYIGNORE | MB_ICONSTOP, "B"));
  // Nor does a folder none of whose files could be written (a pipe is no file to copy).
  fs::create_directories(P("pipes"));
  ASSERT_EQ(::mkfifo(P("pipes/p").c_str(), 0600), 0);
  ui.answers.push_back(IDIGNORE);
  EXPECT_EQ(TransferFiles(P("dst"), {Rec(P("pipes"))}, 0, 0), 0);
  EXPECT_FALSE(fs::exists(P("dst/pipes")));
  ui.answers.push_back(IDABORT);
  EXPECT_EQ(TransferFiles(P("dst2"), {Rec(P("dst")), Rec(b)}, 0, 0), 0);
  ui.answers.clear();
}

TEST_F(TransferTest, MoveAcrossFileSystemsCopiesThenDeletes) {
  fs::path other;
  std::unique_ptr<TmpfsMount> mount = std::make_unique<TmpfsMount>(box.path("mnt"), "4m");
  if (mount->ok()) {
    other = box.path("mnt");
  } else if (fs::is_directory("/dev/shm") && !SameDevice("/dev/shm", box.root())) {
    other = fs::path("/dev/shm") / box.root().filename();
    fs::create_directories(other);
  } else {
    GTEST_SKIP() << mount->reason() << "; /dev/shm is missing or on the same device";
  }
  const std::string a = W("src/a.jpg", std::string(300000, 'x'));
  SetTimes(a, 1234567);
  const std::string dest = (other / "dst").string();
  fs::create_directories(dest);
  EXPECT_EQ(TransferFiles(dest, {Rec(a, "note")}, 0, 1), 1);
  EXPECT_EQ(
      std::tuple(fs::exists(a), ReadFile(dest + "/a.jpg") == std::string(300000, 'x'), NoPartFiles(dest)),
      std::tuple(false, true, true));
  struct stat st {};
  ASSERT_EQ(::stat((dest + "/a.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1234567);
  if (!mount->ok()) fs::remove_all(other);
}

TEST_F(TransferTest, FullDiskLosesNothing) {
  TmpfsMount mount(box.path("tiny"), "64k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  W("tiny/a.jpg", "old contents");
  const std::string a = W("src/a.jpg", std::string(1 << 20, 'y'));
  ui.sameNameAnswers.insert(ui.sameNameAnswers.end(), 2, {kSameOverwrite, "", false});
  ui.answers.push_back(IDABORT);
  EXPECT_EQ(TransferFiles(P("tiny"), {Rec(a)}, 0, 0), 0);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(std::tuple(ui.Messages()[0]->style, ReadFile(P("tiny/a.jpg")), NoPartFiles(P("tiny"))),
            std::tuple(MB_ABORTRETRYIGNORE | MB_ICONSTOP, "old contents", true));
  // A move across onto the full disk keeps the source.
  ui.answers.push_back(IDIGNORE);
  TransferFiles(P("tiny"), {Rec(a)}, 0, 1);
  EXPECT_EQ(std::tuple(fs::file_size(a), ReadFile(P("tiny/a.jpg"))), std::tuple(1u << 20, "old contents"));
}

TEST_F(TransferTest, ReadOnlyDestinationLosesNothing) {
  TmpfsMount mount(box.path("ro"), "1m", true,
                   [](const fs::path &f) { std::ofstream(f / "a.jpg") << "old contents"; });
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  const std::string a = W("src/a.jpg", "new");
  ui.sameNameAnswers.push_back({kSameOverwrite, "", false});
  ui.answers.push_back(IDABORT);
  EXPECT_EQ(TransferFiles(P("ro"), {Rec(a, "memo")}, 0, 1), 0);
  EXPECT_EQ(ReadFile(P("ro/a.jpg")) + "|" + ReadFile(a), "old contents|new");
  EXPECT_NE(ui.Messages().at(0)->text.find(std::strerror(EROFS)), std::string::npos);
}

TEST(SameNameLogic, StartingActionsNumberedNameAndEditing) {
  Sandbox box;
  for (auto [name, bytes] : {std::pair{"d/a.jpg", "12345"}, {"s/a.jpg", "1234567"}}) box.write(name, bytes);
  const std::string target = box.path("d/a.jpg").string();
  CSameNameLogic logic = CSameNameLogic::ForTransfer();
  for (int stored : {3, 77}) {
    Profile::App().WriteInt("Filer", "SameOption", stored);
    EXPECT_EQ(logic.StartAction(), kSameNewerOnly) << stored;
  }
  Profile::App().WriteInt("Filer", "SameOption", 4);
  SameNameQuestion q = logic.Open(box.path("s/a.jpg").string(), target);
  // The numbered name has no file yet.
  EXPECT_EQ(std::tuple(q.name, q.sourceSize, q.destinationSize, logic.IsEnabled(q, kSameRename)),
            std::tuple(box.path("d/a(2).jpg").string(), "ｻｲｽﾞ: 7 ﾊﾞｲﾄ", "", false));

  logic.ChooseAction(q, kSameOverwrite);
  EXPECT_EQ(std::tuple(q.name, q.destinationSize, q.destinationDate.rfind("日時: ", 0)),
            std::tuple(target, "ｻｲｽﾞ: 5 ﾊﾞｲﾄ", 0u));
  logic.EditName(q, box.path("d/b.jpg").string());
  EXPECT_EQ(std::tuple(q.action, logic.IsEnabled(q, kSameRename), logic.ApplyToAllEnabled()),
            std::tuple(kSameRename, true, false));
  logic.RestoreName(q);
  EXPECT_EQ(std::tuple(q.action, logic.ApplyToAllEnabled()), std::tuple(kSameOverwrite, true));
  logic.Store(kSameLarger);
  EXPECT_EQ(Profile::App().GetInt("Filer", "SameOption", -1), kSameLarger);

  CSameNameLogic over = CSameNameLogic::ForOverwrite();
  for (auto [stored, start] : {std::pair{0, 1}, {2, 2}, {3, 1}, {4, 4}, {5, 1}, {-1, 1}}) {
    Profile::App().WriteInt("Filer", "OverWriteOption", stored);
    EXPECT_EQ(over.StartAction(), start) << stored;
  }
  SameNameQuestion o = over.Open(box.path("s/a.jpg").string(), target);
  EXPECT_EQ(std::tuple(o.caption, over.IsEnabled(o, kSameNewerOnly), over.IsEnabled(o, kSameLarger)),
            std::tuple("重ね書き", false, false));
}

}  // namespace
}  // namespace tamro::test
