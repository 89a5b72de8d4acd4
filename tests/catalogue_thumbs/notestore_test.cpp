#include "catalogue/notestore.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue_thumbs/thumbtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

class NoteTest : public ::testing::Test {
 protected:
  std::string Folder() const { return box.root().string(); }
  std::string NoteFileText() const { return test::ReadFile(box.path(kNoteFileName)); }
  // The note read back, "(none)" when there is none (and nothing was left in the text).
  std::string Note(const std::string &archive, const std::string &name, std::string folder = "") const {
    std::string text = "stale";
    const int r = ReadNote(folder.empty() ? Folder() : folder, archive, name, text);
    return r == 0 ? text : text.empty() && r == -1 ? "(none)" : "(failed)";
  }
  test::Sandbox box;
};

TEST_F(NoteTest, TwoLineNotesAreStoredOnOneLineAndReadBackWithTheirLineEnds) {
  ASSERT_TRUE(WriteNote(Folder(), "", "lf.jpg", "first\nsecond"));
  ASSERT_TRUE(WriteNote(Folder(), "", "crlf.jpg", "first\r\nsecond"));
  const std::string file = NoteFileText();
  EXPECT_NE(file.find("[:lf.jpg]\r\nNote=first\x05second\r\n"), std::string::npos) << file;
  EXPECT_NE(file.find("[:crlf.jpg]\r\nNote=first\x04\x05second\r\n"), std::string::npos) << file;
  EXPECT_EQ(std::tuple(Note("", "lf.jpg"), Note("", "crlf.jpg")),
            std::tuple("first\nsecond", "first\r\nsecond"));
}

TEST_F(NoteTest, PlainFileAndArchiveMemberOfTheSameNameKeepSeparateNotes) {
  ASSERT_TRUE(WriteNote(Folder(), "", "same.jpg", "plain"));
  ASSERT_TRUE(WriteNote(Folder(), "box.zip", "same.jpg", "member"));
  EXPECT_EQ(std::tuple(Note("", "same.jpg"), Note("box.zip", "same.jpg")), std::tuple("plain", "member"));
  EXPECT_NE(NoteFileText().find("[box.zip:same.jpg]"), std::string::npos);
  ASSERT_TRUE(DeleteNote(Folder(), "box.zip", "same.jpg"));
  EXPECT_EQ(std::tuple(Note("box.zip", "same.jpg"), Note("", "same.jpg")), std::tuple("(none)", "plain"));
}

TEST_F(NoteTest, EmptyNoteOfTheOnlyNotedPictureDeletesTheFile) {
  ASSERT_TRUE(WriteNote(Folder(), "", "a.jpg", "x"));
  ASSERT_TRUE(WriteNote(Folder(), "", "b.jpg", "y"));
  ASSERT_TRUE(WriteNote(Folder(), "", "a.jpg", ""));
  EXPECT_EQ(std::tuple(fs::exists(box.path(kNoteFileName)), Note("", "a.jpg")), std::tuple(true, "(none)"));
  ASSERT_TRUE(WriteNote(Folder(), "", "b.jpg", ""));
  EXPECT_FALSE(fs::exists(box.path(kNoteFileName)));
  // Deleting where there is no file creates none.
  EXPECT_TRUE(DeleteNote(Folder(), "", "b.jpg"));
  EXPECT_TRUE(WriteNote(Folder(), "", "b.jpg", ""));
  EXPECT_FALSE(fs::exists(box.path(kNoteFileName)));
}

TEST_F(NoteTest, FreeTextSurvivesSemicolonsQuotesAndOddNames) {
  const std::string note = "see \"a; b\"; then c ; 100% ＝ done";
  const std::string name = "名前 with ] and ; and % .jpg";
  ASSERT_TRUE(WriteNote(Folder(), "", name, note));
  EXPECT_EQ(Note("", name), note);
  // A name that is not UTF-8 does not turn the file into code page 932 for the others.
  ASSERT_TRUE(WriteNote(Folder(), "", "caf\xE9.jpg", "latin"));
  EXPECT_EQ(std::tuple(Note("", name), Note("", "caf\xE9.jpg")), std::tuple(note, "latin"));
  // Line ends in a name cannot break a section header apart.
  ASSERT_TRUE(WriteNote(Folder(), "", "two\nlines.jpg", "n"));
  EXPECT_EQ(std::tuple(Note("", "two\nlines.jpg"), Note("", name)), std::tuple("n", note));
}

TEST_F(NoteTest, NotesFromOlderInstallationsAreRead) {
  // Code page 932 text: [:テスト.jpg] Note=メモ
  box.write(kNoteFileName, "[:\x83\x65\x83\x58\x83\x67.jpg]\r\nNote=\x83\x81\x83\x82\x05x\r\n");
  EXPECT_EQ(Note("", "テスト.jpg"), "メモ\nx");
  EXPECT_EQ(Note("", "テスト.jpg", box.path("missing").string()), "(none)");
}

TEST_F(NoteTest, EntryNoteIsReadOnce) {
  ASSERT_TRUE(WriteNote(Folder(), "", "e.jpg", "one"));
  CPicEntry e;
  e.SetFolder(Folder());
  e.name = "e.jpg";
  ReadEntryNote(e);
  EXPECT_EQ(std::tuple(e.Note(), e.noteRead), std::tuple("one", true));
  ASSERT_TRUE(WriteNote(Folder(), "", "e.jpg", "two"));
  ReadEntryNote(e);
  EXPECT_EQ(e.Note(), "one");
}

TEST(QevxNoteBlock, NotesEachEndWithAZeroAndTheBlockWithOneMore) {
  const std::string block = BuildQevxNoteBlock({"a", "", "b\r\nc"});
  EXPECT_EQ(block, std::string("a\0\0b\r\nc\0\0", 9));
  EXPECT_EQ(ParseQevxNoteBlock(block.data(), block.size(), 3), (std::vector<std::string>{"a", "", "b\r\nc"}));
  // Without a count the list ends at the first empty note.
  EXPECT_EQ(ParseQevxNoteBlock(block.data(), block.size()), (std::vector<std::string>{"a"}));
  EXPECT_EQ(BuildQevxNoteBlock({}), std::string(1, '\0'));
  // A zero inside a note cannot shift the following notes.
  const std::string withZero = BuildQevxNoteBlock({std::string("x\0y", 3), "z"});
  EXPECT_EQ(ParseQevxNoteBlock(withZero.data(), withZero.size(), 2), (std::vector<std::string>{"x", "z"}));
}

TEST(QevxNoteBlock, ShortOrUnterminatedBlocksAreReadOnlyAsFarAsTheyGo) {
  const char cut[] = {'a', 'b', 'c'};  // no terminator at all
  EXPECT_EQ(ParseQevxNoteBlock(cut, sizeof cut, 2), (std::vector<std::string>{"abc", ""}));
  EXPECT_EQ(ParseQevxNoteBlock(cut, sizeof cut), (std::vector<std::string>{"abc"}));
  EXPECT_EQ(ParseQevxNoteBlock(nullptr, 10, 1), (std::vector<std::string>{""}));
  EXPECT_TRUE(ParseQevxNoteBlock(cut, 0).empty());
  const std::string more = BuildQevxNoteBlock({"a", "b", "c"});
  EXPECT_EQ(ParseQevxNoteBlock(more.data(), more.size(), 2), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace tamro
