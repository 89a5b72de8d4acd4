// The macros of captions, reports and command lines: expansion, byte counts and path parts; and
// the camera facts from the description library and its loader.
#include <gtest/gtest.h>

#include <QLocale>
#include <algorithm>
#include <regex>

#include "catalogue/macros.h"
#include "catalogue/notestore.h"
#include "catalogue/picentry.h"
#include "describe.h"
#include "output_macros/exifjpeg.h"
#include "output_macros/testfolder.h"
#include "platform/cpdecode.h"
#include "support/sandbox.h"

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

TEST(FormatByteCount, ScalesByThousandsOfBinaryUnitsWithTheCallersOptions) {
  // Low and high words, each length followed by a blank: 1000 is tested against 1000, not 1024; a high
  // word of 0x100 is 2^40; TB is the last unit.
  std::string lengths;
  for (uint32_t low : {0u, 999u, 1000u, 1536u, 102297u, 1023999u, 1048575u, 4294967295u})
    lengths += FormatByteCount(low, 0, true, 1, 0, -1) + " ";
  for (uint32_t high : {0x100u, 0x40000000u}) lengths += FormatByteCount(0, high, true, 1, 0, -1) + " ";
  EXPECT_EQ(lengths, "0B 999B 1KB 1.5KB 99.9KB 1,000KB 1MB 4GB 1TB 4,194,304TB ");
  // Decimals below 0 count as 0; a first unit of 1 means the count is already in KB.
  EXPECT_EQ(FormatByteCount(1536, 0, false, 1, 0, -1) + " " + FormatByteCount(1536, 0, true, -3, 0, -1) +
                " " + FormatByteCount(1600000, 0, true, 2, 0, 1) + " " +
                FormatByteCount(1500, 0, true, 1, 1, -1),
            "1.5 2KB 1,562.5KB 1.5MB");
}

TEST(GroupThousands, GroupsTheIntegerDigits) {
  // Each value followed by a blank: never an exponent, ten significant digits.
  std::string grouped;
  for (double v :
       {0.0, 999.0, 1000.0, 123456.0, 4294967295.0, 1234.5, 1e-11, -1234.0, 0.00012, 12345678901234.0})
    grouped += GroupThousands(v) + " ";
  EXPECT_EQ(grouped, "0 999 1,000 123,456 4,294,967,295 1,234.5 0 -1,234 0.00012 12,345,678,900,000 ");
  EXPECT_EQ(GroupThousands(2.26, 1) + " " + GroupThousands(999.96, 1), "2.3 1,000");
}

TEST(PathPart, SelectsAndJoinsParts) {
  std::string parts;
  for (unsigned mask : {3, 2, 12, 4, 8, 1, 6})
    parts += PathPart("/home/ユーザー/写真 集/photo.01.jpg", mask) + "|";
  EXPECT_EQ(parts,
            "/home/ユーザー/写真 集|/home/ユーザー/写真 集/|photo.01.jpg|photo.01|.jpg||"
            "/home/ユーザー/写真 集/photo.01|");
  // The root keeps its slash; a dot in the folder is no extension.
  EXPECT_EQ(PathPart("/photo.jpg", 3) + "|" + PathPart("noext", 12) + "|" + PathPart("noext", 3) + "|" +
                PathPart("dir.d/file", 8),
            "/|noext||");
}

using test::AsciiTag;
using test::BuildExif;
using test::RationalTag;
using test::ShortTag;
using test::WrapJpeg;

std::string Bin(const char *name) { return std::string(TAMRO_BIN_DIR) + "/" + name; }

std::string Describe(const std::string &jpeg, std::size_t size = std::string::npos) {
  return cpdecode::DescribeExif(reinterpret_cast<const unsigned char *>(jpeg.data()),
                                std::min(size, jpeg.size()));
}

std::string CameraExif() {
  return BuildExif(
      {AsciiTag(0x010F, "Canon"), AsciiTag(0x0110, "Canon EOS 5D"), AsciiTag(0x0132, "2003:01:02 10:20:30")},
      {RationalTag(0x829A, 1, 125), RationalTag(0x829D, 56, 10), ShortTag(0x8827, 200),
       AsciiTag(0x9003, "2001:02:03 04:05:06")});
}

TEST(CpDecodeLibrary, AnswersCameraFactsOfAJpegFile) {
  test::Sandbox box;
  auto jpeg = box.write("写真 100%.jpg", WrapJpeg(CameraExif(), "\xFF\xD9"));
  EXPECT_EQ(CpDecodeText(jpeg.string()),
            "[Canon] [Canon EOS 5D] [1/125s] [F5.6] [ISO200] [2001/02/03 04.05.06] ");
  EXPECT_EQ(CpDecodeLibraryPath(), Bin("libcpdecode.so"));
}

TEST(CpDecodeLibrary, RealCameraFiles) {
  auto dir = test::CorpusDir() / "jpeg-pillow";
  if (!std::filesystem::exists(dir / "flower.jpg")) GTEST_SKIP() << "corpus not here";
  EXPECT_EQ(CpDecodeText((dir / "flower.jpg").string()),
            "[Canon] [Canon PowerShot S40] [1/500s] [F4.9] [2003/12/14 12.01.44] ");
  EXPECT_EQ(CpDecodeText((dir / "broken_exif_dpi.jpg").string()),
            "[NIKON CORPORATION] [NIKON D800] [1/250s] [F8] [ISO400] [2013/09/11 16.45.13] ");
}

TEST(CpDecodeLibrary, NothingToSayGivesEmpty) {
  test::Sandbox box;
  // No EXIF block, no file, no picture, an EXIF block without any of the facts.
  for (const std::filesystem::path &file :
       {box.write("plain.jpg", WrapJpeg("", "\xFF\xD9")), box.path("missing.jpg"),
        box.write("text.jpg", "not a picture at all"),
        box.write("bare.jpg", WrapJpeg(BuildExif({ShortTag(0x0112, 1)}, {}), "\xFF\xD9"))})
    EXPECT_EQ(CpDecodeText(file.string()), "") << file;
}

TEST(CpDecodeLibrary, SeparatorsInsideValuesDoNotMakeFields) {
  std::string exif = BuildExif({AsciiTag(0x010F, "Maker, Inc.:\"X\"  "), AsciiTag(0x0110, "M\xff\x01odel")},
                               {AsciiTag(0x9003, "    :  :     :  :  ")});
  // Bad date dropped, bad UTF-8 masked.
  EXPECT_EQ(Describe(WrapJpeg(exif, "\xFF\xD9")), "Maker Inc. X:M? odel");
}

TEST(CpDecodeLibrary, ExposureAndApertureForms) {
  auto describe = [](std::vector<test::ExifTag> tags) {
    return Describe(WrapJpeg(BuildExif({}, tags), "\xFF\xD9"));
  };
  // A zero denominator gives no exposure.
  EXPECT_EQ(
      (std::vector<std::string>{
          describe({RationalTag(0x829A, 10, 1250)}), describe({RationalTag(0x829A, 5, 2)}),
          describe({RationalTag(0x829A, 1, 0), RationalTag(0x829D, 8, 1)}), describe({ShortTag(0x8827, 0)})}),
      (std::vector<std::string>{"1/125s", "2.5s", "F8", ""}));
}

TEST(CpDecodeLibrary, LyingHeadersAreSurvived) {
  std::string exif = CameraExif();
  // Every truncation of the block, and offsets and counts made huge.
  std::string whole = WrapJpeg(exif, "\xFF\xD9");
  for (std::size_t n = 0; n <= whole.size(); n += 3) Describe(whole, n);
  std::string liar = BuildExif({{0x010F, 2, 0x7FFFFFFF, "abcdefgh"}, {0x0110, 2, 5, "\xF0\xFF\xFF\x7F"}},
                               {{0x829A, 5, 0xFFFFFFF0, "12345678"}});
  EXPECT_EQ(Describe(WrapJpeg(liar, "\xFF\xD9")).find(':'), std::string::npos);
  std::string jpeg = WrapJpeg(exif, "");
  jpeg[4] = '\xFF';  // APP1 length far beyond the data
  Describe(jpeg);
}

TEST(CpDecodeAnswer, KeepsWholeFieldsThatFit) {
  char buffer[16];
  EXPECT_EQ(cpdecode::Answer("Canon:EOS:1/125s", buffer, 16), 1);
  EXPECT_STREQ(buffer, "Canon:EOS");  // the third field would need 17 bytes
  EXPECT_EQ(cpdecode::Answer("", buffer, 16), 0);
  EXPECT_STREQ(buffer, "");
  // A lone long field is cut, never inside a character (each kana is three bytes).
  EXPECT_EQ(cpdecode::Answer("ああああああ", buffer, 8), 1);
  EXPECT_STREQ(buffer, "ああ");
  EXPECT_EQ(std::tuple(cpdecode::Answer("abc", buffer, 0), cpdecode::Answer("abc", nullptr, 8)),
            std::tuple(0, 0));
}

TEST(CpDecodeLoader, ParsesFieldsAsTheFormatAllows) {
  std::string fake = Bin("libfake_cpdecode.so");
  // Quotes protect commas in the first pass; the joined text is split again.
  EXPECT_EQ(CpDecodeText("quoted", fake) + "|" + CpDecodeText("zero", fake) + "|" +
                CpDecodeText("empty", fake) + "|" + CpDecodeText("size", fake),
            "[a] [b] [c] [d] |||[told 128] ");
  // An answer that fills the buffer without an end is cut at the buffer.
  EXPECT_EQ(CpDecodeText("unterminated", fake), "[" + std::string(128, 'x') + "] ");
  // A missing library or export gives nothing.
  EXPECT_EQ(CpDecodeText("quoted", Bin("libno_such_cpdecode.so")) +
                CpDecodeText("quoted", Bin("libnoexport_cpdecode.so")) + CpDecodeText("quoted", ""),
            "");
}

}  // namespace
}  // namespace tamro
