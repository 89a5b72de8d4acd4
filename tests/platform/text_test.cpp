#include <gtest/gtest.h>

#include "platform/text.h"

namespace tamro {
namespace {

TEST(Text, Cp932AndUtf8) {
  // "写真.jpg" in Shift-JIS, as an old note file or archive would hold it.
  const std::string sjis = "\x8E\xCA\x90\x5E.jpg";
  EXPECT_FALSE(IsValidUtf8(sjis));
  EXPECT_EQ(Cp932ToUtf8(sjis), "写真.jpg");
  EXPECT_EQ(LegacyToUtf8(sjis), "写真.jpg");
  EXPECT_EQ(LegacyToUtf8("写真.jpg"), "写真.jpg");
  // Half-width katakana and the CP932-only characters (NEC row 13, IBM extensions).
  EXPECT_EQ(Cp932ToUtf8("\xBC\xDE\xAC\xB9\xAF\xC4"), "ｼﾞｬｹｯﾄ");
  EXPECT_EQ(Cp932ToUtf8("\x87\x40"), "①");
  EXPECT_EQ(Utf8ToCp932("写真①ｱ"), "\x8E\xCA\x90\x5E\x87\x40\xB1");
  // A cut double-byte character at the end does not stop the conversion.
  EXPECT_EQ(Cp932ToUtf8("ab\x8E"), "ab\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToCp932("a😀b"), "a?b");

  EXPECT_TRUE(IsValidUtf8("plain"));
  // An overlong "/", a surrogate, a cut sequence.
  for (const char *bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE5\x86"}) EXPECT_FALSE(IsValidUtf8(bad)) << bad;
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
}

TEST(Text, CaseInsensitiveOnlyForAscii) {
  EXPECT_EQ(CompareNoCase("_THUMBS_.RXI", "_thumbs_.rxi"), 0);
  EXPECT_LT(CompareNoCase("a", "B"), 0);
  EXPECT_GT(CompareNoCase("ab", "A"), 0);
  EXPECT_FALSE(EqualsNoCase("Ä", "ä")) << "non-ASCII bytes are compared as they are";
  EXPECT_TRUE(StartsWithNoCase("SPISET\\x", "spiset"));
  EXPECT_TRUE(EndsWithNoCase("a.SPI", ".spi"));
  EXPECT_FALSE(EndsWithNoCase("spi", ".spi"));
  EXPECT_EQ(TrimBlanks(" \t a b \r\n"), "a b");
}

}  // namespace
}  // namespace tamro
