#include <gtest/gtest.h>

#include <QLocale>
#include <regex>

#include "catalogue/macros.h"
#include "catalogue/notestore.h"
#include "catalogue/picentry.h"
#include "output_macros/exifjpeg.h"
#include "output_macros/testfolder.h"

namespace tamro {
namespace {

struct Entry : CPicEntry {
  Entry(const std::string &folder, const std::string &file) {
    SetFolder(folder);
    name = file;
  }
};

TEST(ExpandMacros, TextWithoutMacrosComesBackUnchangedAndNoEntryLeavesOnlyTheClock) {
  Entry e("/pics", "a.jpg");
  for (const char *text : {"", "plain text", "$ ( PN )", "100% $x$", "$(", "$(pn) $(PicNameX) $(Unknown)"})
    EXPECT_EQ(std::tuple(ExpandMacros(&e, text), ExpandMacros(nullptr, text)), std::tuple(text, text));
  // Without an entry only the clock is known.
  EXPECT_EQ(ExpandMacros(nullptr, "$(PicName) $(TodayDate)"), " " + TodayDateText());
  EXPECT_EQ(ExpandMacros(nullptr, "$(W)|$(S)|$(L)|$(CP)|$(N)"), "||||");
}

TEST(ExpandMacros, NamesAndPaths) {
  Entry e("/home/ユーザー/写真 集", "photo.01.jpg");
  EXPECT_EQ(ExpandMacros(&e, "$(PN)$(PN)|$(FileName)|$(FN)"), "photo.01.jpgphoto.01.jpg|photo.01|photo.01");
  EXPECT_EQ(
      ExpandMacros(&e, "$(PicPath)|\"$(PP)\" $(PD)"),
      "/home/ユーザー/写真 集/photo.01.jpg|\"/home/ユーザー/写真 集/photo.01.jpg\" /home/ユーザー/写真 集");
  // No short names here: the long forms stand in.
  EXPECT_EQ(ExpandMacros(&e, "$(ShortPicPath)|$(SPN)"), "/home/ユーザー/写真 集/photo.01.jpg|photo.01.jpg");
  EXPECT_EQ(ExpandMacros(&e, "[$(ArcPath)][$(AN)]"), "[][]");
  Entry root("/", "x.png");
  EXPECT_EQ(ExpandMacros(&root, "$(PicPath)"), "/x.png");
  // An archive member: its path inside the archive.
  Entry m("/data", "sub/inner.gif");
  m.SetArchiveName("pack.zip");
  EXPECT_EQ(ExpandMacros(&m, "$(PicPath)|$(ArcPath)|$(ArcName)|$(FileName)"),
            "sub/inner.gif|/data/pack.zip|pack.zip|inner");
}

TEST(ExpandMacros, PictureAndFileFacts) {
  Entry e("/p", "a.bmp");
  e.facts.width = 640, e.facts.height = 480, e.facts.bitCount = 24, e.size = 1000;
  e.lastWriteTime = test::LocalFileTime(2003, 1, 2, 10, 20, 30);
  e.SetDescription("info text");
  EXPECT_EQ(ExpandMacros(&e, "$(W)x$(Height) $(Color)bit $(D) $(Time) [$(I)]"),
            "640x480 24bit 2003/01/02 10:20:30 [info text]");
  EXPECT_EQ(ExpandMacros(&e, "$(Length) $(Size)"), "1KB 1,000");
  e.size = 12345678901ull;  // beyond 32 bits, still exact
  EXPECT_EQ(ExpandMacros(&e, "$(L) $(S)"), "11.5GB 12,345,678,901");
}

TEST(ExpandMacros, LaterRowsSearchInsertedValuesAndAValueHoldingItsTokenEnds) {
  Entry e("/p", "a.jpg");
  e.facts.width = 7;
  // Width comes before Note: the note's "$(W)" stays; TodayDate comes after: expanded.
  e.SetNote("w=$(W) d=$(TD)");
  EXPECT_EQ(ExpandMacros(&e, "$(N)"), "w=$(W) d=" + TodayDateText());
  // A value holding its own token ends.
  Entry own("/p", "$(PicName).jpg");
  EXPECT_EQ(ExpandMacros(&own, "<$(PicName)>"), "<$(PicName).jpg>");
  EXPECT_EQ(ExpandMacros(&own, "$(PicName)$(PicName)"), "$(PicName).jpg$(PicName).jpg");
  // The short form's row comes later and still searches the long form's value.
  Entry both("/p", "$(PN).jpg");
  EXPECT_EQ(ExpandMacros(&both, "$(PicName)"), "$(PN).jpg.jpg");
}

TEST(ExpandMacros, TheNoteIsReadFromTheFolderOnlyWhenAskedFor) {
  test::Sandbox box;
  ASSERT_TRUE(WriteNote(box.root().string(), "", "a.jpg", "one\r\ntwo"));
  Entry e(box.root().string(), "a.jpg");
  EXPECT_EQ(ExpandMacros(&e, "$(PN)"), "a.jpg");
  EXPECT_FALSE(e.noteRead) << "a format without a note reads none";
  EXPECT_EQ(ExpandMacros(&e, "[$(Note)]"), "[one\r\ntwo]");
}

TEST(ExpandMacros, TodayInTheUsersLocale) {
  QLocale old;
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  std::string date = TodayDateText(), time = TodayTimeText();
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  std::string us = TodayTimeText();
  QLocale::setDefault(old);
  // Day, Japanese and American time of day, each followed by a blank.
  EXPECT_TRUE(
      std::regex_match(date + " " + time + " " + us + " ",
                       std::regex(R"(\d{4}/\d{2}/\d{2} \d{1,2}:\d{2}:\d{2} \d{1,2}:\d{2}:\d{2}\s?[AP]M )")))
      << date << " " << time << " " << us;
  EXPECT_FALSE(ExpandMacros(nullptr, "$(TT)").empty());
}

TEST(ExpandMacros, CameraFactsOnlyForPlainJpegFiles) {
  test::Sandbox box;
  std::string exif = test::BuildExif({test::AsciiTag(0x010F, "NIKON"), test::AsciiTag(0x0110, "D70")},
                                     {test::ShortTag(0x8827, 400)});
  box.write("shot.jpg", test::WrapJpeg(exif, "\xFF\xD9"));
  Entry e(box.root().string(), "shot.jpg");
  e.facts.decoder = kBuiltinJpegDecoder;
  EXPECT_EQ(ExpandMacros(&e, "$(CP)|"), "[NIKON] [D70] [ISO400] |");
  // Asked once and kept with the entry: a caption painted again does not read the file.
  std::filesystem::remove(box.path("shot.jpg"));
  EXPECT_EQ(ExpandMacros(&e, "$(CP)"), "[NIKON] [D70] [ISO400] ");
  e.facts.decoder = 1000;  // read by another decoder
  EXPECT_EQ(ExpandMacros(&e, "$(CP)"), "");
  Entry member(box.root().string(), "shot.jpg");
  member.SetArchiveName("x.zip");
  member.facts.decoder = kBuiltinJpegDecoder;
  EXPECT_EQ(ExpandMacros(&member, "$(CP)"), "");
}

}  // namespace
}  // namespace tamro
