// Copying and moving files and folders, the same-name question, and the file commands on a
// folder document: copy, move, delete to the trash or for good, rename, drop, note editing.
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
#include "fileops/filecommands.h"
#include "fileops/foldermonitor.h"
#include "fileops/folders.h"
#include "fileops/noteedit.h"
#include "fileops/samename.h"
#include "fileops/trash.h"
#include "platform/fileio.h"
#include "platform/listfield.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/mounts.h"
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
  long Steps() const {
    return std::ranges::count_if(ui.progress, [](const std::string &p) { return p.starts_with("step:"); });
  }
  // Nothing left over from a copy under a temporary name.
  static bool NoPartFiles(const std::string &folder) {
    return std::ranges::none_of(FileNames(folder),
                                [](const std::string &n) { return n.starts_with(".tamro-"); });
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
      {1, kSameRename, "a2.jpg", 3, "d:a2.jpg=A d:a.jpg=oldA d:d.jpg=D d:gone.jpg=G"}};
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
  ui.answers.push_back(IDNO);
  EXPECT_EQ(TransferFiles(P("nowhere"), {Rec(W("src/a.jpg", "A"))}, 0, 0), 0);
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

struct ModeLog : FolderMonitorControl {
  std::vector<int> modes;
  int mode = 0;
  int SetMonitorMode(int m) override {
    modes.push_back(m);
    return std::exchange(mode, m);
  }
};

class CommandsTest : public DocTest {
 protected:
  ScriptedUi ui;
  ScopedUi scoped{ui};
  ModeLog monitor;
  FolderMonitorControl *oldMonitor = SetFolderMonitor(&monitor);
  ~CommandsTest() override { SetFolderMonitor(oldMonitor); }

  // A document over pics/ with every entry named in `select` selected; `trashCan` (0 or 1) says
  // whether deleting goes to the trash, and deleting always asks first.
  std::unique_ptr<CRXDoc> Open(const std::vector<std::string> &select, int trashCan = -1) {
    auto doc = ListedDoc();
    for (int i = 0; i < doc->GetEntryCount(); ++i)
      if (std::ranges::count(select, doc->GetEntry(i)->name)) doc->SetEntryFlags(i, CPicEntry::kSelected);
    log.seen.clear();
    if (trashCan >= 0) {
      DocSettings s = doc->Settings();
      s.trashCan = trashCan, s.delQA = 0;
      doc->ApplySettings(s);
    }
    return doc;
  }
  CTransferOption Option(bool move, const std::string &folder) {
    fs::create_directories(folder);
    CTransferOption o(move);
    o.Load();
    o.folder = folder;
    EXPECT_TRUE(o.Accept());
    return o;
  }
  // The note kept for `name` in `folder`, or kNoNote.
  static std::string NoteOf(const std::string &folder, const std::string &name) {
    std::string note;
    const int result = ReadNote(folder, "", name, note);
    return result == 0 ? note : "no note: " + std::to_string(result);
  }
  static constexpr const char *kNoNote = "no note: -1";
};

TEST_F(CommandsTest, OptionKeepsHistoryAndOption) {
  CTransferOption o(false);
  o.Load();
  o.folder = "";
  EXPECT_FALSE(o.Accept());
  o.onlyExisting = 1;
  for (const char *folder : {"one", "two", "one"}) {
    o.folder = box.path(folder).string();
    EXPECT_TRUE(o.Accept()) << folder;
  }
  CTransferOption again(true);
  again.Load();
  ASSERT_EQ(again.Folders().items().size(), 2u);
  // The move dialog keeps its own option.
  EXPECT_EQ(std::tuple(again.folder, again.onlyExisting, profile.GetInt("Filer", "CopyOption", -1),
                       profile.GetString("Filer", "Folder1", "")),
            std::tuple(box.path("one").string(), 0, 1, box.path("two").string()));
}

TEST_F(CommandsTest, CopyCarriesNotesAndMembersAndLeavesTheList) {
  Write("pics/a.pic", "PICa");
  Write("pics/set.arc", FakeDecoders::MakeArchive({{"in.pic", 4, 1000, "PICm"}, {"", 0, 0, ""}}));
  WriteNote(Folder(), "", "a.pic", "note of a");
  profile.WriteInt("RXDoc", "Archive", 1);
  auto doc = Open({"a.pic", "in.pic"});
  ASSERT_EQ(doc->CountSelected(true), 2);
  EXPECT_EQ(CopySelected(*doc, Option(false, box.path("out").string())), 2);
  EXPECT_EQ(std::tuple(ReadFile(box.path("out/a.pic")), NoteOf(box.path("out").string(), "a.pic"),
                       ReadFile(box.path("out/in.pic"))),
            std::tuple("PICa", "note of a", "PICm"));
  // The member's copy looks like an unpacked one: its time stamp, the usual permission bits.
  struct stat st {};
  ASSERT_EQ(::stat(box.path("out/in.pic").c_str(), &st), 0);
  EXPECT_EQ(std::tuple(st.st_mtime, st.st_mode & 0777, doc->GetEntryCount(), monitor.modes),
            std::tuple(1000, NewFileMode(), 2, std::vector<int>{kMonitorIgnore, kMonitorNormal}));
  for (const auto &e : fs::directory_iterator(fs::temp_directory_path()))
    EXPECT_EQ(e.path().filename().string().rfind("tamro-copy-", 0), std::string::npos) << e.path();
}

TEST_F(CommandsTest, MoveTakesNotesAndRemovesEntries) {
  for (std::string n : {"a", "b"}) Write("pics/" + n + ".pic", "PIC" + n);
  WriteNote(Folder(), "", "a.pic", "travels");
  auto doc = Open({"a.pic"});
  EXPECT_EQ(MoveSelected(*doc, Option(true, box.path("out").string())), 1);
  EXPECT_EQ(std::tuple(Names(*doc), log.Hints(), NoteOf(box.path("out").string(), "a.pic"),
                       NoteOf(Folder(), "a.pic")),
            std::tuple(std::vector<std::string>{"b.pic"}, std::vector<int>{kHintEntryRemoved, kHintRedrawAll},
                       "travels", kNoNote));
}

TEST_F(CommandsTest, MoveKeepsTheNoteWhereItWasWhenTheNewPlaceCannotHoldIt) {
  // One full file system: the file is renamed in it, but the note file beside it cannot grow.
  TmpfsMount mount(box.path("pics"), "64k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  Write("pics/a.pic", "PICa");
  WriteNote(Folder(), "", "a.pic", "keep me");
  fs::create_directories(box.path("pics/out"));
  auto doc = Open({"a.pic"});
  CTransferOption option = Option(true, box.path("pics/out").string());
  FillUp(box.path("pics"));
  EXPECT_EQ(MoveSelected(*doc, option), 1);
  EXPECT_EQ(std::tuple(ReadFile(box.path("pics/out/a.pic")), Names(*doc).empty(), NoteOf(Folder(), "a.pic")),
            std::tuple("PICa", true, "keep me"));
}

TEST_F(CommandsTest, DirectDeleteAsksTakesReadOnlyFilesAndNotes) {
  for (std::string n : {"a", "b"}) Write("pics/" + n + ".pic", "PIC" + n);
  ::chmod(box.path("pics/a.pic").c_str(), 0444);
  WriteNote(Folder(), "", "a.pic", "gone too");
  auto doc = Open({"a.pic"}, 0);
  ui.answers.push_back(IDNO);
  EXPECT_EQ(DeleteSelected(*doc), 0);
  EXPECT_TRUE(fs::exists(box.path("pics/a.pic")));
  ui.answers.push_back(IDYES);
  EXPECT_EQ(DeleteSelected(*doc), 1);
  EXPECT_EQ(std::tuple(ui.Messages().back()->text, fs::exists(box.path("pics/a.pic")),
                       NoteOf(Folder(), "a.pic"), Names(*doc)),
            std::tuple("選択データを削除してもよろしいですか？", false, kNoNote,
                       std::vector<std::string>{"b.pic"}));
}

TEST_F(CommandsTest, TrashDeleteWritesTheFreedesktopTrash) {
  const std::string odd = "a b%#日本.pic";
  Write("pics/" + odd, "PICa");
  Write("other/" + odd, "PICo");
  auto doc = Open({odd}, 1);
  EXPECT_EQ(DeleteSelected(*doc), 1);
  const fs::path trash = box.path("data/Trash");
  // No question of our own.
  EXPECT_EQ(std::tuple(ui.Messages().empty(), Names(*doc).empty(), ReadFile(trash / "files" / odd)),
            std::tuple(true, true, "PICa"));
  const std::string info = ReadFile(trash / "info" / (odd + ".trashinfo"));
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u);
  for (const std::string &part : {"Path=" + TrashPathEncode(Folder() + "/" + odd) + "\n",
                                  std::string("a%20b%25%23%E6%97%A5"), std::string("\nDeletionDate=20")})
    EXPECT_NE(info.find(part), std::string::npos) << part;
  // A second file of the same name gets a name of its own.
  EXPECT_EQ(MoveToTrash(box.path("other/" + odd).string()), kTrashed);
  EXPECT_EQ(
      std::tuple(ReadFile(trash / "files" / "a b%#日本.2.pic"),
                 fs::exists(trash / "info" / "a b%#日本.2.pic.trashinfo"), ReadFile(trash / "files" / odd)),
      std::tuple("PICo", true, "PICa"));
}

TEST_F(CommandsTest, TrashOnAnotherFileSystemUsesItsTopTrashOrAsks) {
  TmpfsMount mount(box.path("pics"), "1m");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  Write("pics/a.pic", "PICa");
  EXPECT_EQ(DeleteSelected(*Open({"a.pic"}, 1)), 1);
  const fs::path trash = box.path("pics/.Trash-" + std::to_string(::getuid()));
  EXPECT_EQ(ReadFile(trash / "files/a.pic"), "PICa");
  // Beside the top of its mount the path is written relative to it.
  EXPECT_NE(ReadFile(trash / "info/a.pic.trashinfo").find("\nPath=a.pic\n"), std::string::npos);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(CommandsTest, NoUsableTrashAsksBeforeDeletingForGood) {
  TmpfsMount mount(box.path("pics"), "1m", true,
                   [](const fs::path &f) { std::ofstream(f / "a.pic") << "PICa"; });
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  auto doc = Open({"a.pic"}, 1);
  ui.answers.push_back(IDNO);
  EXPECT_EQ(DeleteSelected(*doc), 0);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(std::tuple(ui.Messages()[0]->text, ReadFile(box.path("pics/a.pic")), Names(*doc)),
            std::tuple("ごみ箱に移動できないファイルがあります．完全に削除しますか？", "PICa",
                       std::vector<std::string>{"a.pic"}));
}

TEST_F(CommandsTest, ShellDeleteJudgesByThePathBeingGone) {
  Write("gone/x/y.pic", "PIC");
  EXPECT_TRUE(ShellDelete(box.path("gone").string(), false));
  EXPECT_FALSE(ShellDelete(box.path("gone").string(), false));
  Write("t.pic", "PIC");
  EXPECT_TRUE(ShellDelete(box.path("t.pic").string(), true));
  EXPECT_TRUE(fs::exists(box.path("data/Trash/files/t.pic")));
}

TEST_F(CommandsTest, RenameIsExactAboutLetterCaseAndNeverReplaces) {
  for (std::string n : {"a", "b"}) Write("pics/" + n + ".pic", "PIC" + n);
  WriteNote(Folder(), "", "a.pic", "renamed with it");
  auto doc = Open({});
  const std::vector<std::string> names = Names(*doc);
  CPicEntry *a = doc->GetEntry(static_cast<int>(std::ranges::find(names, "a.pic") - names.begin()));
  ASSERT_TRUE(a && a->name == "a.pic");
  EXPECT_EQ(RenameEntryFile(*a, "b.pic"), -1);
  EXPECT_EQ(ReadFile(box.path("pics/b.pic")), "PICb");
  for (const char *refused : {"a.pic", "x/y.pic"}) EXPECT_EQ(RenameEntryFile(*a, refused), -1) << refused;
  EXPECT_EQ(RenameEntryFile(*a, "A.PIC"), 0);
  EXPECT_EQ(std::tuple(a->name, ReadFile(box.path("pics/A.PIC")), NoteOf(Folder(), "A.PIC"),
                       NoteOf(Folder(), "a.pic")),
            std::tuple("A.PIC", "PICa", "renamed with it", kNoNote));
}

TEST_F(CommandsTest, DroppedFilesCarryTheirNotes) {
  const std::string a = Write("from/a.pic", "PICa"), b = Write("from/b.pic", "PICb");
  fs::create_directories(Folder());
  EXPECT_EQ(TransferDropped({a, b}, {"first"}, true, Folder()), 2);
  EXPECT_EQ(std::tuple(fs::exists(a), NoteOf(Folder(), "a.pic"), NoteOf(Folder(), "b.pic")),
            std::tuple(false, "first", kNoNote));
}

TEST_F(CommandsTest, NoteEditKeepsLineEndsDeletesEmptyNotesAndKeepsTheOldOneOnFailure) {
  Write("pics/a.pic", "PICa");
  ASSERT_TRUE(WriteNote(Folder(), "", "a.pic", "one\r\ntwo"));
  auto doc = Open({});
  CPicEntry &entry = *doc->GetEntry(0);
  CNoteOption note(*doc, 0);
  EXPECT_EQ(note.text, "one\r\ntwo");
  // An editor hands back bare line feeds; the note keeps the line ends it came with.
  note.text = "one\nthree\r\n";
  ASSERT_TRUE(note.Accept());
  EXPECT_EQ(NoteOf(Folder(), "a.pic") + "|" + entry.Note(), "one\r\nthree\r\n|one\r\nthree\r\n");
  note.text.clear();
  ASSERT_TRUE(note.Accept());
  EXPECT_EQ(std::tuple(fs::exists(box.path("pics/_NOTE_.RXI")), entry.Note()), std::tuple(false, ""));

  TmpfsMount mount(box.path("ro"), "1m", true, [](const fs::path &f) {
    std::ofstream(f / "b.pic") << "PICb";
    ASSERT_TRUE(WriteNote(f.string(), "", "b.pic", "old"));
  });
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  auto ro = ListedDoc(Folder("ro"));
  CNoteOption locked(*ro, 0);
  locked.text = "new";
  EXPECT_FALSE(locked.Accept());
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0]->caption + "|" + ro->GetEntry(0)->Note(), "コメント入力|old");
}

}  // namespace
}  // namespace tamro::test
