#include "catalogue/macros.h"

#include <gtest/gtest.h>

namespace tamro {
namespace {

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
  const char *p = "/home/ユーザー/写真 集/photo.01.jpg";
  std::string parts;
  for (unsigned mask : {3, 2, 12, 4, 8, 1, 6}) parts += PathPart(p, mask) + "|";
  EXPECT_EQ(parts,
            "/home/ユーザー/写真 集|/home/ユーザー/写真 集/|photo.01.jpg|photo.01|.jpg||"
            "/home/ユーザー/写真 集/photo.01|");
  // The root keeps its slash; a dot in the folder is no extension.
  EXPECT_EQ(PathPart("/photo.jpg", 3) + "|" + PathPart("noext", 12) + "|" + PathPart("noext", 3) + "|" +
                PathPart("dir.d/file", 8),
            "/|noext||");
}

}  // namespace
}  // namespace tamro
