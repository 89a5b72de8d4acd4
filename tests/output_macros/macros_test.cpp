#include "catalogue/macros.h"

#include <gtest/gtest.h>

namespace tamro {
namespace {

TEST(FormatByteCount, ScalesByThousandsOfBinaryUnits) {
  auto length = [](uint32_t n) { return FormatByteCount(n, 0, true, 1, 0, -1); };
  EXPECT_EQ(length(0), "0B");
  EXPECT_EQ(length(999), "999B");
  EXPECT_EQ(length(1000), "1KB");  // tested against 1000, not 1024
  EXPECT_EQ(length(1536), "1.5KB");
  EXPECT_EQ(length(102297), "99.9KB");
  EXPECT_EQ(length(1023999), "1,000KB");
  EXPECT_EQ(length(1048575), "1MB");
  EXPECT_EQ(length(4294967295u), "4GB");
  EXPECT_EQ(FormatByteCount(0, 0x100, true, 1, 0, -1), "1TB");               // 2^40
  EXPECT_EQ(FormatByteCount(0, 0x40000000, true, 1, 0, -1), "4,194,304TB");  // stops at TB
}

TEST(FormatByteCount, OptionsOfTheCaller) {
  EXPECT_EQ(FormatByteCount(1536, 0, false, 1, 0, -1), "1.5");
  EXPECT_EQ(FormatByteCount(1536, 0, true, -3, 0, -1), "2KB");  // below 0 counts as 0
  EXPECT_EQ(FormatByteCount(1600000, 0, true, 2, 0, 1), "1,562.5KB");
  EXPECT_EQ(FormatByteCount(1500, 0, true, 1, 1, -1), "1.5MB");  // already in KB
}

TEST(GroupThousands, GroupsTheIntegerDigits) {
  EXPECT_EQ(GroupThousands(0), "0");
  EXPECT_EQ(GroupThousands(999), "999");
  EXPECT_EQ(GroupThousands(1000), "1,000");
  EXPECT_EQ(GroupThousands(123456), "123,456");
  EXPECT_EQ(GroupThousands(4294967295.0), "4,294,967,295");
  EXPECT_EQ(GroupThousands(1234.5), "1,234.5");
  EXPECT_EQ(GroupThousands(1e-11), "0");
  EXPECT_EQ(GroupThousands(-1234), "-1,234");
  EXPECT_EQ(GroupThousands(0.00012), "0.00012");                      // never an exponent
  EXPECT_EQ(GroupThousands(12345678901234.0), "12,345,678,900,000");  // ten significant digits
  EXPECT_EQ(GroupThousands(2.26, 1), "2.3");
  EXPECT_EQ(GroupThousands(999.96, 1), "1,000");
}

TEST(PathPart, SelectsAndJoinsParts) {
  const char *p = "/home/ユーザー/写真 集/photo.01.jpg";
  EXPECT_EQ(PathPart(p, 3), "/home/ユーザー/写真 集");
  EXPECT_EQ(PathPart(p, 2), "/home/ユーザー/写真 集/");
  EXPECT_EQ(PathPart(p, 12), "photo.01.jpg");
  EXPECT_EQ(PathPart(p, 4), "photo.01");
  EXPECT_EQ(PathPart(p, 8), ".jpg");
  EXPECT_EQ(PathPart(p, 1), "");
  EXPECT_EQ(PathPart(p, 6), "/home/ユーザー/写真 集/photo.01");
  EXPECT_EQ(PathPart("/photo.jpg", 3), "/");  // the root keeps its slash
  EXPECT_EQ(PathPart("noext", 12), "noext");
  EXPECT_EQ(PathPart("noext", 3), "");
  EXPECT_EQ(PathPart("dir.d/file", 8), "");  // a dot in the folder is no extension
}

}  // namespace
}  // namespace tamro
