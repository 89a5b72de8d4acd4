#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "output/printexpression.h"

namespace tamro {
namespace {

double Eval(const std::string &text) { return CPrintVariables().EvaluateExpression(text); }

TEST(PrintExpression, GrammarAndTextOutsideIt) {
  // Blanks join digits, ")" may be missing, the first value wins; outside the grammar a missing left
  // operand is 0 and a stray ")" is stepped over.
  const std::pair<const char *, double> cases[] = {
      {"2+3*4", 14}, {"10-4-3", 3},    {"8/2/2", 2},  {"2*(3+4)-1", 13}, {"1.5*3", 4.5},
      {" \t7 ", 7},  {"1 2+1", 13},    {"(1+2", 3},   {"(1)(2)", 1},     {"10/0", 0},
      {"5+10/0", 5}, {"UNKNOWN+4", 4}, {"12abc", 12}, {"0x10", 0},       {"inf", 0},
      {"2e3", 2000}, {"", 0},          {"-5", -5},    {"*3", 0},         {"*/-+", 0},
      {"()", 0},     {")", 0},         {")7", 7},     {"2)+3", 2},       {"))))1+1", 2}};
  for (const auto &[text, value] : cases) EXPECT_DOUBLE_EQ(Eval(text), value) << text;
}

TEST(PrintExpression, StackAndNestingLimitsGiveZero) {
  auto nested = [](int ones) {  // "1+(1+(1+ ... ))": one value pending per level
    std::string s;
    for (int i = 1; i < ones; ++i) s += "1+(";
    return s + "1" + std::string(static_cast<std::size_t>(ones - 1), ')');
  };
  EXPECT_DOUBLE_EQ(Eval(nested(CPrintVariables::kStackSize)), CPrintVariables::kStackSize);
  EXPECT_DOUBLE_EQ(Eval(nested(CPrintVariables::kStackSize + 1)), 0);
  std::string deep(CPrintVariables::kMaxNesting, '(');
  EXPECT_DOUBLE_EQ(Eval(deep + "5"), 5);
  EXPECT_DOUBLE_EQ(Eval(deep + "(5"), 0);
  EXPECT_DOUBLE_EQ(Eval(std::string(1 << 20, '(')), 0);
}

TEST(PrintVariables, PageVariablesAndStoredValues) {
  CPrintVariables v;
  v.StartPage(210, 297, 3);
  ASSERT_EQ(v.Items().size(), 5u);
  EXPECT_EQ(std::vector(v.Items().begin(), v.Items().begin() + 2),
            (std::vector<std::pair<std::string, std::string>>{{"PAGEMAX_X", "210"}, {"PAGEMAX_Y", "297"}}));
  EXPECT_EQ(*v.Find("$PAGEMAX_X") + *v.Find("$PAGEMAX_Y") + *v.Find("$PAGE"), "2102973");
  EXPECT_EQ(v.Find("pagemax_x"), nullptr);

  v.SetNumber("W", v.EvaluateExpression("PAGEMAX_X/2"));
  v.SetNumber("N", -1.0 / 3);
  EXPECT_EQ(*v.Find("W") + " " + *v.Find("N"), "105.000000 -0.333333");
  v.SetNumber("W", 1);  // replaced in place; new names go last
  EXPECT_EQ(v.Items()[5], (std::pair<std::string, std::string>("W", "1.000000")));
  EXPECT_EQ(v.Items().back().first, "N");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("$PAGE*10+W"), 31);
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("3*N"), -0.999999);

  // A value is an expression, with the names in it replaced by their value texts first.
  v.Set("B", "1+1"), v.Set("A", "B*2");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("A"), 3);
  v.StartPage(100, 100, 4);
  EXPECT_EQ(v.Find("W"), nullptr);
}

TEST(PrintVariables, SelfReferenceEndsAndSubstitutionKeepsSeparators) {
  CPrintVariables v;
  v.Set("A", "A+1");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("A"), 2 * CPrintVariables::kMaxVariableDepth);
  v.Set("X", "Y"), v.Set("Y", "X");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("X+5"), 5);
  v.Set("F", "F+F+F+F+F+F+F+F");  // each level multiplies the work until the budget ends it
  EXPECT_TRUE(std::isfinite(v.EvaluateExpression("F")));

  v.StartPage(210, 297, 1);
  v.SetNumber("W", 50);
  v.Set("P", "W");
  EXPECT_EQ(v.SubstituteVariables("Page $PAGE"), "Page 1");
  EXPECT_EQ(v.SubstituteVariables("(W)*2-W/P+W"), "(50.000000)*2-50.000000/W+50.000000");
  EXPECT_EQ(v.SubstituteVariables("  Wx xW $PAGES W,W\tW "), "  Wx xW $PAGES W,W\tW ");
}

TEST(PrintFields, HexColoursNumbersAndClamping) {
  // Red is the low byte.
  EXPECT_EQ(
      (std::vector<uint32_t>{ParseHexColour("FF"), ParseHexColour("FF0000"), ParseHexColour(" \tff00"),
                             ParseHexColour("12G3"), ParseHexColour("x12"), ParseHexColour("123456789")}),
      (std::vector<uint32_t>{0xFF, 0xFF0000, 0xFF00, 0x12, 0, 0x23456789}));
  EXPECT_EQ((std::vector<double>{LeadingDecimal("  -1.5e2xyz"), LeadingDecimal(".5"), LeadingDecimal("-."),
                                 LeadingDecimal("1e999999")}),
            (std::vector<double>{-150, 0.5, 0, 0}));
  EXPECT_EQ(FormatFixed(2.0000004) + "|" + FormatFixed(1e20), "2.000000|100000000000000000000.000000");
  EXPECT_EQ(std::tuple(ClampToInt(NAN), ClampToInt(-1e300, 1000), ClampToInt(-7.9)),
            std::tuple(0, -1000, -7));
}

}  // namespace
}  // namespace tamro
