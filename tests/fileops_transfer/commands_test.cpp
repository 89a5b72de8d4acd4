#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "catalogue/docfixture.h"
#include "catalogue/notestore.h"
#include "fileops/filecommands.h"
#include "fileops/foldermonitor.h"
#include "fileops/noteedit.h"
#include "fileops/samename.h"
#include "fileops/trash.h"
#include "platform/fileio.h"
#include "platform/ui.h"
#include "support/mounts.h"

namespace fs = std::filesystem;

namespace tamro::test {
namespace {

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
  auto doc = Open({"a.pic"}, 1);
  EXPECT_EQ(DeleteSelected(*doc), 1);
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
  CPicEntry &b = *ro->GetEntry(0);
  CNoteOption locked(*ro, 0);
  locked.text = "new";
  EXPECT_FALSE(locked.Accept());
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0]->caption + "|" + b.Note(), "コメント入力|old");
}

}  // namespace
}  // namespace tamro::test
