#include <gtest/gtest.h>

#include "platform/listfield.h"

#include <string>

namespace tamro {
namespace {

TEST(ListField, FieldsAndIntegersFromOneTable) {
  // Field `index` of `text`: the answer of GetListField and the field, then of GetListInt
  // and the number (0 for a missing or bad field).
  const struct {
    const char *text;
    int index;
    int field;
    const char *out;
    int integer, value;
  } rows[] = {
      {"150,60,70", 1, 2, "60", 2, 60},
      // A quoted run protects its commas; the quotes themselves are dropped.
      {R"("a,b",c)", 0, 3, "a,b", -1, 0},
      {R"("a,b",c)", 1, 1, "c", -1, 0},
      // Blanks are kept; text around the quotes is not.
      {" x , y", 1, 2, " y", -1, 0},
      {R"(pre"in"post)", 0, 2, "in", -1, 0},
      {R"(ab"cd)", 0, 0, "", -1, 0},  // one quote alone gives the empty text
      // Empty fields exist; fields past the end are missing.
      {"a,,c", 1, 0, "", -1, 0},
      {"a,b", 2, -1, "", -1, 0},
      {"", 0, 0, "", -1, 0},
      {"", 1, -1, "", -1, 0},
      {R"x("$(PicName)","$(Size)",)x", 1, 7, "$(Size)", -1, 0},
      {"5,300", 0, 1, "5", 1, 5},
      {"5,-300", 1, 4, "-300", 4, -300},
      {"5,+7", 1, 2, "+7", 2, 7},
      {"5", 1, -1, "", -1, 0},  // a missing second coordinate reads as 0
      {"abc,1", 0, 3, "abc", -1, 0},
      {",1", 0, 0, "", -1, 0},
      {"12px", 0, 4, "12px", 4, 12},
      {R"("40",x)", 0, 2, "40", 2, 40},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(std::string(row.text) + " #" + std::to_string(row.index));
    std::string out = "stale";
    EXPECT_EQ(GetListField(row.text, row.index, out), row.field);
    EXPECT_EQ(out, row.out);
    int v = 99;
    EXPECT_EQ(GetListInt(row.text, row.index, v), row.integer);
    EXPECT_EQ(v, row.value);
  }
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
