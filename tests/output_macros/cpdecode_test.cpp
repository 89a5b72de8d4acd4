#include "platform/cpdecode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "describe.h"
#include "output_macros/exifjpeg.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

using test::AsciiTag;
using test::BuildExif;
using test::RationalTag;
using test::ShortTag;
using test::WrapJpeg;

std::string Bin(const char *name) { return std::string(TAMRO_BIN_DIR) + "/" + name; }

std::string Describe(const std::string &jpeg, std::size_t size = std::string::npos) {
  return cpdecode::DescribeExif(reinterpret_cast<const unsigned char *>(jpeg.data()), std::min(size, jpeg.size()));
}

std::string CameraExif() {
  return BuildExif({AsciiTag(0x010F, "Canon"), AsciiTag(0x0110, "Canon EOS 5D"), AsciiTag(0x0132, "2003:01:02 10:20:30")},
                   {RationalTag(0x829A, 1, 125), RationalTag(0x829D, 56, 10), ShortTag(0x8827, 200),
                    AsciiTag(0x9003, "2001:02:03 04:05:06")});
}

TEST(CpDecodeLibrary, AnswersCameraFactsOfAJpegFile) {
  test::Sandbox box;
  auto jpeg = box.write("写真 100%.jpg", WrapJpeg(CameraExif(), "\xFF\xD9"));
  EXPECT_EQ(CpDecodeText(jpeg.string()), "[Canon] [Canon EOS 5D] [1/125s] [F5.6] [ISO200] [2001/02/03 04.05.06] ");
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
