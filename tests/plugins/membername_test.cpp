#include "archive/membername.h"

#include <gtest/gtest.h>

namespace tamro::plugin::archive {
namespace {

TEST(MemberName, Utf8IsKeptAndCp932IsConverted) {
  EXPECT_EQ(NameToUtf8("plain.png"), "plain.png");
  EXPECT_EQ(NameToUtf8("画像.png"), "画像.png");
  // "画像.png" in CP932.
  EXPECT_EQ(NameToUtf8("\x89\xe6\x91\x9c.png"), "画像.png");
  // "表" ends in 0x5C, the byte of a backslash: it must stay one character.
  EXPECT_EQ(NameToUtf8("\x95\x5c.txt"), "表.txt");
  // Half-width katakana are single bytes in CP932.
  EXPECT_EQ(NameToUtf8("\xb6\xc5"), "ｶﾅ");
  // A cut-off lead byte and a byte CP932 does not use become "?".
  EXPECT_EQ(NameToUtf8("a\x82"), "a?");
  EXPECT_EQ(NameToUtf8("\xa0x"), "?x");
}

TEST(MemberName, ValidUtf8RejectsOverlongsSurrogatesAndCutSequences) {
  EXPECT_TRUE(IsValidUtf8("abc"));
  EXPECT_TRUE(IsValidUtf8("\xf0\x9f\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));          // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xe0\x80\xaf"));      // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xf4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xe3\x81"));          // cut short
}

TEST(MemberName, SplitDropsClimbingAndEmptyComponents) {
  std::string folder, name;
  SplitMemberPath("a/b/c.png", folder, name);
  EXPECT_EQ(folder, "a/b/");
  EXPECT_EQ(name, "c.png");
  SplitMemberPath("top.png", folder, name);
  EXPECT_EQ(folder, "");
  EXPECT_EQ(name, "top.png");
  SplitMemberPath("../../etc/passwd", folder, name);
  EXPECT_EQ(folder, "etc/");
  EXPECT_EQ(name, "passwd");
  SplitMemberPath("/abs//./x\\y.png", folder, name);
  EXPECT_EQ(folder, "abs/x/");
  EXPECT_EQ(name, "y.png");
  SplitMemberPath("folder/", folder, name);
  EXPECT_EQ(name, "");
  SplitMemberPath("..", folder, name);
  EXPECT_EQ(name, "");
}

TEST(MemberName, CutKeepsWholeCharacters) {
  EXPECT_EQ(Utf8Cut("abc", 10), "abc");
  EXPECT_EQ(Utf8Cut("ab画像", 4), "ab");  // "画" takes 3 bytes
  EXPECT_EQ(Utf8Cut("ab画像", 5), "ab画");
}

}  // namespace
}  // namespace tamro::plugin::archive
