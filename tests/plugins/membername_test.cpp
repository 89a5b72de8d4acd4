#include "archive/membername.h"

#include <gtest/gtest.h>

namespace tamro::plugin::archive {
namespace {

// UTF-8 names kept and CP932 names converted (with "表", whose second byte is a backslash's)
// are listed through the host in host_test.cpp; here what only odd bytes show.
TEST(MemberName, Cp932KanaAndBadBytes) {
  // Half-width katakana are single bytes in CP932.
  EXPECT_EQ(NameToUtf8("\xb6\xc5"), "ｶﾅ");
  // A cut-off lead byte and a byte CP932 does not use become "?".
  EXPECT_EQ(NameToUtf8("a\x82"), "a?");
  EXPECT_EQ(NameToUtf8("\xa0x"), "?x");
}

TEST(MemberName, ValidUtf8RejectsOverlongsSurrogatesAndCutSequences) {
  EXPECT_TRUE(IsValidUtf8("abc"));
  EXPECT_TRUE(IsValidUtf8("\xf0\x9f\x98\x80"));
  // Two overlong "/", a surrogate, past U+10FFFF, cut short.
  for (const char *bad : {"\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe3\x81"})
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

TEST(MemberName, SplitDropsClimbingAndEmptyComponents) {
  // Plain paths split into folder and name in every listing test.
  std::string folder, name;
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

// Long names cut on character boundaries: LongNamesAreCutOnCharacterBoundaries in
// archive_test.cpp.

}  // namespace
}  // namespace tamro::plugin::archive
