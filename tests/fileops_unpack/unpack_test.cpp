#include "fileops/unpack.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "catalogue/fakedecoders.h"
#include "catalogue/hostdecoders.h"
#include "catalogue/rxdoc.h"
#include "decode/spi.h"
#include "decode/spihost.h"
#include "fileops/samename.h"
#include "output_macros/testfolder.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/mounts.h"
#include "support/sandbox.h"
#include "support/zipwriter.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;
using Member = test::FakeDecoders::Member;

TEST(FileError, TextsAndCauses) {
  for (int code : {0, 15, -2}) EXPECT_EQ(FileErrorText(code), nullptr) << code;
  const std::pair<int, const char *> texts[] = {{-1, "ﾌｧｲﾙ操作に失敗"},
                                                {2, "ﾌｧｲﾙ未定義"},
                                                {5, "ﾌｧｲﾙ ｱｸｾｽ禁止"},
                                                {13, "[ﾃﾞｨｽｸ ﾌﾙ]　これ以上書き込むことができません"},
                                                {14, "ﾌｧｲﾙの終わりに到達"}};
  for (auto [code, text] : texts) EXPECT_STREQ(FileErrorText(code), text) << code;
  for (auto [error, cause] :
       {std::pair{ENOENT, 2}, {ENOTDIR, 3}, {EMFILE, 4}, {EACCES, 5}, {ENOSPC, 13}, {EPROTO, 1}})
    EXPECT_EQ(FileErrorCause(error), cause) << error;
}

TEST(FolderInput, BrowseAnswerReplacesOnlyWhenGiven) {
  CFolderInput input{"書庫解凍", "解凍先フォルダを入力してください", "/old"};
  input.Browsed("");
  EXPECT_EQ(input.folder, "/old");
  input.Browsed("/new folder");
  EXPECT_EQ(input.folder, "/new folder");
}

// Fake decoders whose plug-in fails on chosen members with the result it would give.
struct FailingDecoders : test::FakeDecoders {
  std::map<uint32_t, int> failures;  // member position -> the plug-in's result
  int ExtractMember(int position, const std::string &path, uint32_t member, GlobalHandle &block) override {
    if (auto f = failures.find(member); f != failures.end()) return f->second;
    return FakeDecoders::ExtractMember(position, path, member, block);
  }
};

class UnpackTest : public ::testing::Test {
 protected:
  std::string Archive(const std::string &name, const std::vector<Member> &members) {
    return box.write("pics/" + name, test::FakeDecoders::MakeArchive(members)).string();
  }
  std::string Out(const std::string &name = "") const { return box.path("out/" + name).string(); }
  // Lists the pictures folder and selects `select`; with `archives` the members become entries.
  void List(bool archives, const std::vector<std::string> &select = {}) {
    Profile::App().WriteInt("RXDoc", "Archive", archives ? 1 : 0);
    doc = test::ListFolder(box.path("pics"), &decoders);
    test::Select(*doc, select);
  }
  static long long MTime(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtime) : -1;
  }

  test::Sandbox box;
  FailingDecoders decoders;
  ScriptedUi ui;
  ScopedUi scope{ui};
  std::unique_ptr<CRXDoc> doc;
};

TEST_F(UnpackTest, BlockLengthRulesAndTimeStamp) {
  // The fake plug-in hands over the content; the recorded size is given separately.
  std::string arc = Archive("a.arc", {{"ten.bin", 5, 1000, "0123456789ABCDE"},
                                      {"four.bin", 5, 2000, "012345678"},
                                      {"short.bin", 20, 3000, "012345678"}});
  fs::create_directories(Out());
  ASSERT_EQ(ExtractArchiveMember(decoders, 0, arc, 0, Out("ten.bin"), 5, 1000), 0);
  EXPECT_EQ(test::ReadFile(Out("ten.bin")), "0123456789ABCDE");  // 10 more: written whole
  ASSERT_EQ(ExtractArchiveMember(decoders, 0, arc, 100, Out("four.bin"), 5, 2000), 0);
  EXPECT_EQ(test::ReadFile(Out("four.bin")), "01234");  // 4 more: cut to the size
  ASSERT_EQ(ExtractArchiveMember(decoders, 0, arc, 200, Out("short.bin"), 20, 3000), 0);
  EXPECT_EQ(test::ReadFile(Out("short.bin")), "012345678");  // never beyond the block
  EXPECT_EQ(std::tuple(MTime(Out("ten.bin")), MTime(Out("four.bin"))), std::tuple(1000, 2000));

  // An existing file is replaced; a member the plug-in cannot give leaves it alone and says so.
  box.write("out/keep.bin", "old");
  EXPECT_EQ(ExtractArchiveMember(decoders, 0, arc, 100, Out("keep.bin"), 5, 2000), 0);
  EXPECT_EQ(test::ReadFile(Out("keep.bin")), "01234");
  EXPECT_EQ(ExtractArchiveMember(decoders, 0, arc, 900, Out("keep.bin"), 5, 2000), kUnpackUnreadable);
  EXPECT_EQ(test::ReadFile(Out("keep.bin")), "01234");
  // No temporary files are left behind.
  EXPECT_EQ(test::FileNames(Out()),
            (std::vector<std::string>{"four.bin", "keep.bin", "short.bin", "ten.bin"}));
}

TEST_F(UnpackTest, MissingOrReadOnlyFolderIsReportedAndKeepsItsFile) {
  std::string arc = Archive("a.arc", {{"x.bin", 3, 1, "abc"}});
  // A folder that is not there: the cause of a missing path.
  EXPECT_EQ(ExtractArchiveMember(decoders, 0, arc, 0, Out("none/x.bin"), 3, 1), 2);
  // Root writes into folders without write permission, so as root the folder is a
  // read-only file system instead.
  std::unique_ptr<test::TmpfsMount> mount;
  if (geteuid() == 0) {
    mount = std::make_unique<test::TmpfsMount>(box.path("ro"), "64k", true, [](const fs::path &folder) {
      std::ofstream(folder / "x.bin") << "old";
    });
    if (!mount->ok()) GTEST_SKIP() << mount->reason();
  } else {
    box.write("ro/x.bin", "old");
    fs::permissions(box.path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  }
  EXPECT_EQ(ExtractArchiveMember(decoders, 0, arc, 0, box.path("ro/x.bin").string(), 3, 1), 5);
  EXPECT_EQ(test::ReadFile(box.path("ro/x.bin")), "old");
  if (!mount) fs::permissions(box.path("ro"), fs::perms::owner_all);
}

TEST_F(UnpackTest, WholeArchiveIsFlattenedAndANameMetTwiceIsAsked) {
  std::string arc = Archive("a.arc", {{"one/same.pic", 1, 10, "1"},
                                      {"two/same.pic", 1, 20, "2"},
                                      {"same.pic", 1, 25, "3"},
                                      {"../up.pic", 1, 30, "u"},
                                      {"inner/", 0, 40, ""},
                                      {"名前 100%.pic", 1, 50, "n"}});
  box.write("out/up.pic", "there before");  // replaced without a question, as always
  ui.sameNameAnswers.push_back({kSameNumbered, "", false});
  ui.sameNameAnswers.push_back({kSameSkip, "", true});
  EXPECT_EQ(ExtractArchiveFile(decoders, arc, Out()), 0);
  // Nothing written in this run is silently replaced; nothing lands outside the folder.
  EXPECT_EQ(test::FileNames(Out()),
            (std::vector<std::string>{"same(2).pic", "same.pic", "up.pic", "名前 100%.pic"}));
  EXPECT_EQ(
      std::tuple(test::ReadFile(Out("same.pic")), test::ReadFile(Out("same(2).pic")),
                 MTime(Out("same(2).pic")), test::ReadFile(Out("up.pic")), fs::exists(box.path("up.pic"))),
      std::tuple("1", "2", 20, "u", false));
  ASSERT_EQ(ui.sameNameQuestions.size(), 2u);
  const SameNameQuestion &q = ui.sameNameQuestions[0];
  EXPECT_EQ(std::tuple(q.sourceName, q.sourceSize, q.destinationName),
            std::tuple(arc + ":two/same.pic", "ｻｲｽﾞ: 1 ﾊﾞｲﾄ", Out("same.pic")));

  // A cancelled question ends the run.
  fs::create_directories(Out("again"));
  EXPECT_EQ(ExtractArchiveFile(decoders, arc, Out("again")), kUnpackCancelled);
  EXPECT_EQ(test::FileNames(Out("again")), (std::vector<std::string>{"same.pic"}));
  // Not an archive: nothing, silently.
  EXPECT_EQ(ExtractArchiveFile(decoders, box.write("pics/plain.bin", "PIC data").string(), Out("other")), 0);
  EXPECT_FALSE(fs::exists(Out("other")));
}

TEST_F(UnpackTest, TheArchiveBeingReadIsNeverReplaced) {
  std::string arc = Archive("pack.arc", {{"a.pic", 3, 10, "PIC"}, {"sub/pack.arc", 5, 20, "inner"}});
  const std::string before = test::ReadFile(arc);
  EXPECT_EQ(ExtractArchiveFile(decoders, arc, box.path("pics").string()), kUnpackOverArchive);
  EXPECT_EQ(std::tuple(test::ReadFile(arc), test::ReadFile(box.path("pics/a.pic"))),
            std::tuple(before, "PIC"));
  EXPECT_STREQ(UnpackErrorText(kUnpackOverArchive), "書庫ファイル自身には書き込めません");
}

TEST_F(UnpackTest, MembersThePlugInCannotGiveAreReported) {
  // The second member is damaged, the third more than the plug-in hands over at once.
  Archive("set.arc", {{"m1.pic", 3, 100, "PIC"}, {"m2.pic", 3, 200, "PIC"}, {"m3.pic", 3, 300, "PIC"}});
  decoders.failures = {{100, SPI_FORMAT_ERROR}, {200, SPI_OUT_OF_MEMORY}};
  box.write("out/m2.pic", "older");
  List(true, {"m1.pic", "m2.pic", "m3.pic"});
  ui.inputs = {Out()};
  EXPECT_EQ(UnpackSelected(*doc), kUnpackUnreadable);
  ASSERT_EQ(ui.Messages().size(), 1u);
  // The failure ended the run.
  EXPECT_EQ(std::tuple(ui.Messages()[0]->text, test::ReadFile(Out("m2.pic")), fs::exists(Out("m3.pic"))),
            std::tuple("書庫から取り出せません", "older", false));

  ui.inputs = {Out()};
  EXPECT_EQ(UnpackEntry(*doc, test::FindEntry(*doc, "m3.pic")), kUnpackTooLarge);
  EXPECT_EQ(ui.Messages().back()->text, "大きすぎて取り出せません");
}

TEST_F(UnpackTest, SelectedMembersGoUnderARelativeFolder) {
  Archive("set.arc", {{"m1.pic", 3, 100, "PIC"}, {"m2.pic", 0, 200, ""}, {"m3.pic", 4, 300, "PIC3"}});
  box.write("pics/a.jpg", "PICa");
  List(true, {"m1.pic", "m2.pic", "a.jpg"});
  ui.inputs = {"out/sub dir"};
  EXPECT_EQ(UnpackSelected(*doc), 0);
  fs::path dest = box.path("pics/out/sub dir");
  // The empty member is written too; the picture file is skipped.
  EXPECT_EQ(std::tuple(test::FileNames(dest), MTime((dest / "m1.pic").string()),
                       Profile::App().GetString("Folder", "Unpack", ""), ui.progress.front()),
            std::tuple(std::vector<std::string>{"m1.pic", "m2.pic"}, 100, "out/sub dir", "open:書庫の解凍"));
  // The picture counts too.
  EXPECT_EQ(std::tuple(std::count(ui.progress.begin(), ui.progress.end(), "range:0,3") > 0,
                       std::count(ui.progress.begin(), ui.progress.end(), "step:1"), ui.Messages().empty(),
                       doc->IsBusy()),
            std::tuple(true, 3, true, false));

  // The stored folder is offered next time; cancel writes nothing.
  ui.calls.clear();
  ui.inputs = {"\x18"};
  fs::remove_all(dest);
  EXPECT_EQ(std::tuple(UnpackSelected(*doc), fs::exists(dest)), std::tuple(-1, false));

  // An abort stops before the next entry: here, right after the first selected member.
  int first = std::min(test::FindEntry(*doc, "m1.pic"), test::FindEntry(*doc, "m2.pic"));
  ui.inputs = {"out/abort"};
  ui.abortAfter = ui.abortedCalls + first + 1;
  UnpackSelected(*doc);
  EXPECT_EQ(test::FileNames(box.path("pics/out/abort")).size(), 1u);
}

TEST_F(UnpackTest, ArchivesListedAsFilesUnpackWhole) {
  Archive("set.arc", {{"in/a.pic", 3, 100, "PIC"}, {"b.pic", 3, 200, "PIC"}});
  List(false, {"set.arc"});
  ui.inputs = {Out("whole")};
  EXPECT_EQ(UnpackSelected(*doc), 0);
  EXPECT_EQ(test::FileNames(Out("whole")), (std::vector<std::string>{"a.pic", "b.pic"}));
}

TEST_F(UnpackTest, AWriteFailureIsShownAndEndsTheRun) {
  Archive("set.arc", {{"m1.pic", 3, 100, "PIC"}, {"m2.pic", 3, 200, "PIC"}});
  List(true, {"m1.pic", "m2.pic"});
  fs::create_directories(Out("m1.pic"));  // a folder stands where the first file goes
  ui.inputs = {Out()};
  EXPECT_EQ(UnpackSelected(*doc), 5);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0]->text, "ﾌｧｲﾙ ｱｸｾｽ禁止");
  EXPECT_EQ(test::FileNames(Out()), (std::vector<std::string>{"m1.pic"})) << "no m2.pic, no temporary file";
}

TEST_F(UnpackTest, ContextMenuEntry) {
  Archive("set.arc", {{"m1.pic", 3, 100, "PIC"}, {"empty.pic", 0, 0, ""}});
  box.write("pics/a.jpg", "PICa");
  List(true);
  const int member = test::FindEntry(*doc, "m1.pic"), empty = test::FindEntry(*doc, "empty.pic"),
            picture = test::FindEntry(*doc, "a.jpg");
  doc->GetEntry(picture)->facts.decoder = 0;
  // Not offered for an empty member.
  EXPECT_EQ(std::tuple(CanUnpackEntry(doc->GetEntry(member)), CanUnpackEntry(doc->GetEntry(empty)),
                       CanUnpackEntry(doc->GetEntry(picture))),
            std::tuple(true, false, false));
  EXPECT_EQ(UnpackEntry(*doc, picture), -1);
  EXPECT_TRUE(ui.calls.empty());

  ui.inputs = {"\x18"};
  EXPECT_EQ(UnpackEntry(*doc, member), -1);
  fs::create_directories(Out());
  ui.inputs = {Out()};
  EXPECT_EQ(UnpackEntry(*doc, member), 0);
  // No progress window here.
  EXPECT_EQ(std::tuple(test::FileNames(Out()), ui.calls.back().caption, ui.progress.empty(),
                       Profile::App().GetString("Folder", "Unpack", "")),
            std::tuple(std::vector<std::string>{"m1.pic"}, "解凍先の選択", true, Out()));
}

// Unpacking through the archive plug-in shipped with the program.
TEST(ShippedArchivePlugin, ZipUnpacksFlatWithMemberTimes) {
  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
  fs::create_directories(box.path("spi"));
  fs::copy_file(fs::path(TAMRO_BIN_DIR) / "axarchive.spi", box.path("spi/axarchive.spi"));
  CSpiHost host;
  host.ScanPlugins(
      box.path("spi/*.spi").string(), [](int, std::string_view) {}, "");
  host.LoadPluginSet("");
  ASSERT_GE(host.FindDecoderByName("axarchive", kSpiArchive), 0);
  HostDecoders decoders(host);

  const std::string big(100000, 'z');
  // Two names that differ only past what a member record holds (199 bytes).
  const std::string longStem(230, 'n');
  std::string zip = test::WriteZip(box.path("pics/set 1.zip"), {{"one/same.jpg", "first", 1000000000},
                                                                {"two/same.jpg", "second", 1100000000},
                                                                {"deep/er/写真 100%.jpg", big, 1200000000},
                                                                {longStem + "1.jpg", "long 1", 1300000000},
                                                                {longStem + "2.jpg", "long 2", 1300000000}});
  fs::create_directories(box.path("out"));
  ui.sameNameAnswers = {{kSameNumbered, "", true}};
  ASSERT_EQ(ExtractArchiveFile(decoders, zip, box.path("out").string()), 0);
  const std::vector<std::string> names = test::FileNames(box.path("out"));
  // Cut names keep their extension; names met twice in the run were asked about.
  const std::string cut = longStem.substr(0, 195);
  EXPECT_EQ(names, (std::vector<std::string>{cut + "(2).jpg", cut + ".jpg", "same(2).jpg", "same.jpg",
                                             "写真 100%.jpg"}));
  EXPECT_EQ(ui.sameNameQuestions.size(), 1u);
  EXPECT_EQ(test::ReadFile(box.path("out/same.jpg")), "first");
  EXPECT_EQ(test::ReadFile(box.path("out/same(2).jpg")), "second");
  EXPECT_EQ(test::ReadFile(box.path("out/" + cut + "(2).jpg")), "long 2");
  EXPECT_TRUE(test::ReadFile(box.path("out/写真 100%.jpg")) == big);
  struct stat st;
  ASSERT_EQ(stat(box.path("out/same.jpg").c_str(), &st), 0);
  // Archivers keep local times with two-second steps; the member's stamp is what counts.
  std::vector<ArchiveMember> members;
  ASSERT_EQ(decoders.ListArchive(host.FindDecoderByName("axarchive", kSpiArchive), zip, members), 0);
  ASSERT_EQ(members.size(), 5u);
  EXPECT_EQ(st.st_mtime, members[0].timeStamp);
  host.FreeDLL();
}

}  // namespace
}  // namespace tamro
