#include <gtest/gtest.h>

#include "platform/listfield.h"

namespace tamro {
namespace {

TEST(ListField, FieldsQuotesAndMissingFields) {
  std::string out;
  EXPECT_EQ(GetListField("150,60,70", 1, out), 2);
  EXPECT_EQ(out, "60");
  // A quoted run protects its commas; the quotes themselves are dropped.
  EXPECT_EQ(GetListField(R"("a,b",c)", 0, out), 3);
  EXPECT_EQ(out, "a,b");
  EXPECT_EQ(GetListField(R"("a,b",c)", 1, out), 1);
  EXPECT_EQ(out, "c");
  // Blanks are kept; text around the quotes is not.
  EXPECT_EQ(GetListField(" x , y", 1, out), 2);
  EXPECT_EQ(out, " y");
  EXPECT_EQ(GetListField(R"(pre"in"post)", 0, out), 2);
  EXPECT_EQ(out, "in");
  // One quote alone gives the empty text.
  EXPECT_EQ(GetListField(R"(ab"cd)", 0, out), 0);
  EXPECT_EQ(out, "");
  // Empty fields exist; fields past the end are missing.
  EXPECT_EQ(GetListField("a,,c", 1, out), 0);
  EXPECT_EQ(GetListField("a,b", 2, out), -1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(GetListField("", 0, out), 0);
  EXPECT_EQ(GetListField("", 1, out), -1);
  EXPECT_EQ(GetListField(R"x("$(PicName)","$(Size)",)x", 1, out), 7);
  EXPECT_EQ(out, "$(Size)");
}

TEST(ListField, IntegersStoreZeroForMissingOrBadFields) {
  int v = 99;
  EXPECT_EQ(GetListInt("5,300", 0, v), 1);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(GetListInt("5,-300", 1, v), 4);
  EXPECT_EQ(v, -300);
  EXPECT_EQ(GetListInt("5,+7", 1, v), 2);
  EXPECT_EQ(v, 7);
  v = 99;
  EXPECT_EQ(GetListInt("5", 1, v), -1);
  EXPECT_EQ(v, 0);  // a missing second coordinate reads as 0
  v = 99;
  EXPECT_EQ(GetListInt("abc,1", 0, v), -1);
  EXPECT_EQ(v, 0);
  v = 99;
  EXPECT_EQ(GetListInt(",1", 0, v), -1);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(GetListInt("12px", 0, v), 4);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(GetListInt(R"("40",x)", 0, v), 2);
  EXPECT_EQ(v, 40);
}

TEST(ListField, SetReplacesOrAppendsWithSeparators) {
  std::string r;
  SetListField(r, 0, "C:/a b.jpg", true);
  EXPECT_EQ(r, R"("C:/a b.jpg")");
  SetListField(r, 1, "note, with comma", true);
  EXPECT_EQ(r, R"("C:/a b.jpg","note, with comma")");
  EXPECT_EQ(GetListField(r, 1), "note, with comma");
  SetListField(r, 0, "/x", true);
  EXPECT_EQ(r, R"("/x","note, with comma")");
  std::string s = "1";
  SetListField(s, 3, "4", false);
  EXPECT_EQ(s, "1,,,4");
  SetListField(s, 1, "2", false);
  EXPECT_EQ(s, "1,2,,4");
  std::string e;
  SetListField(e, 2, "z", false);
  EXPECT_EQ(e, ",,z");
}

}  // namespace
}  // namespace tamro
