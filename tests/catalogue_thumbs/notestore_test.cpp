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
  test::Sandbox box;
};

TEST_F(NoteTest, TwoLineNotesAreStoredOnOneLineAndReadBackWithTheirLineEnds) {
  ASSERT_TRUE(WriteNote(Folder(), "", "lf.jpg", "first\nsecond"));
  ASSERT_TRUE(WriteNote(Folder(), "", "crlf.jpg", "first\r\nsecond"));
  const std::string file = NoteFileText();
  EXPECT_NE(file.find("[:lf.jpg]\r\nNote=first\x05second\r\n"), std::string::npos) << file;
  EXPECT_NE(file.find("[:crlf.jpg]\r\nNote=first\x04\x05second\r\n"), std::string::npos) << file;
  std::string text;
  ASSERT_EQ(ReadNote(Folder(), "", "lf.jpg", text), 0);
  EXPECT_EQ(text, "first\nsecond");
  ASSERT_EQ(ReadNote(Folder(), "", "crlf.jpg", text), 0);
  EXPECT_EQ(text, "first\r\nsecond");
}

TEST_F(NoteTest, PlainFileAndArchiveMemberOfTheSameNameKeepSeparateNotes) {
  ASSERT_TRUE(WriteNote(Folder(), "", "same.jpg", "plain"));
  ASSERT_TRUE(WriteNote(Folder(), "box.zip", "same.jpg", "member"));
  std::string text;
  ASSERT_EQ(ReadNote(Folder(), "", "same.jpg", text), 0);
  EXPECT_EQ(text, "plain");
  ASSERT_EQ(ReadNote(Folder(), "box.zip", "same.jpg", text), 0);
  EXPECT_EQ(text, "member");
  EXPECT_NE(NoteFileText().find("[box.zip:same.jpg]"), std::string::npos);
  ASSERT_TRUE(DeleteNote(Folder(), "box.zip", "same.jpg"));
  EXPECT_EQ(ReadNote(Folder(), "box.zip", "same.jpg", text), -1);
  EXPECT_EQ(text, "");
  ASSERT_EQ(ReadNote(Folder(), "", "same.jpg", text), 0);
  EXPECT_EQ(text, "plain");
}

TEST_F(NoteTest, EmptyNoteOfTheOnlyNotedPictureDeletesTheFile) {
  ASSERT_TRUE(WriteNote(Folder(), "", "a.jpg", "x"));
  ASSERT_TRUE(WriteNote(Folder(), "", "b.jpg", "y"));
  ASSERT_TRUE(WriteNote(Folder(), "", "a.jpg", ""));
  EXPECT_TRUE(fs::exists(box.path(kNoteFileName)));
  std::string text;
  EXPECT_EQ(ReadNote(Folder(), "", "a.jpg", text), -1);
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
  std::string text;
  ASSERT_EQ(ReadNote(Folder(), "", name, text), 0);
  EXPECT_EQ(text, note);
  // A name that is not UTF-8 does not turn the file into code page 932 for the others.
  ASSERT_TRUE(WriteNote(Folder(), "", "caf\xE9.jpg", "latin"));
  ASSERT_EQ(ReadNote(Folder(), "", name, text), 0);
  EXPECT_EQ(text, note);
  ASSERT_EQ(ReadNote(Folder(), "", "caf\xE9.jpg", text), 0);
  EXPECT_EQ(text, "latin");
  // Line ends in a name cannot break a section header apart.
  ASSERT_TRUE(WriteNote(Folder(), "", "two\nlines.jpg", "n"));
  ASSERT_EQ(ReadNote(Folder(), "", "two\nlines.jpg", text), 0);
  EXPECT_EQ(text, "n");
  ASSERT_EQ(ReadNote(Folder(), "", name, text), 0);
  EXPECT_EQ(text, note);
}

TEST_F(NoteTest, NotesFromOlderInstallationsAreRead) {
  // Code page 932 text: [:テスト.jpg] Note=メモ
  box.write(kNoteFileName, "[:\x83\x65\x83\x58\x83\x67.jpg]\r\nNote=\x83\x81\x83\x82\x05x\r\n");
  std::string text;
  ASSERT_EQ(ReadNote(Folder(), "", "テスト.jpg", text), 0);
  EXPECT_EQ(text, "メモ\nx");
  EXPECT_EQ(ReadNote(box.path("missing").string(), "", "テスト.jpg", text), -1);
}

TEST_F(NoteTest, EntryNoteIsReadOnce) {
  ASSERT_TRUE(WriteNote(Folder(), "", "e.jpg", "one"));
  CPicEntry e;
  e.SetFolder(Folder());
  e.name = "e.jpg";
  ReadEntryNote(e);
  EXPECT_EQ(e.Note(), "one");
  EXPECT_TRUE(e.noteRead);
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
