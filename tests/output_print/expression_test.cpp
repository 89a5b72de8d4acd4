#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "output/printexpression.h"

namespace tamro {
namespace {

double Eval(const char *text) { return CPrintVariables().EvaluateExpression(text); }

TEST(PrintExpression, GrammarGivesPrecedenceLeftGroupingAndJoinedDigits) {
  EXPECT_DOUBLE_EQ(Eval("2+3*4"), 14);
  EXPECT_DOUBLE_EQ(Eval("10-4-3"), 3);
  EXPECT_DOUBLE_EQ(Eval("8/2/2"), 2);
  EXPECT_DOUBLE_EQ(Eval("(2+3)*4"), 20);
  EXPECT_DOUBLE_EQ(Eval("2*(3+4)-1"), 13);
  EXPECT_DOUBLE_EQ(Eval("1.5*3"), 4.5);
  EXPECT_DOUBLE_EQ(Eval("1 2+1"), 13);
  EXPECT_DOUBLE_EQ(Eval(" \t7 \t"), 7);
  EXPECT_DOUBLE_EQ(Eval("(1+2"), 3);
  EXPECT_DOUBLE_EQ(Eval("((4"), 4);
  // Several expressions in a row: the first one counts.
  EXPECT_DOUBLE_EQ(Eval("(1)(2)"), 1);
}

TEST(PrintExpression, DivisionByZeroAndNonNumbersGiveZero) {
  EXPECT_DOUBLE_EQ(Eval("10/0"), 0);
  EXPECT_DOUBLE_EQ(Eval("10/(3-3)"), 0);
  EXPECT_DOUBLE_EQ(Eval("5+10/0"), 5);
  EXPECT_DOUBLE_EQ(Eval("UNKNOWN"), 0);
  EXPECT_DOUBLE_EQ(Eval("UNKNOWN+4"), 4);
  EXPECT_DOUBLE_EQ(Eval("12abc"), 12);
  // Only decimal numbers: no hexadecimal, no infinities.
  EXPECT_DOUBLE_EQ(Eval("0x10"), 0);
  EXPECT_DOUBLE_EQ(Eval("inf"), 0);
  EXPECT_DOUBLE_EQ(Eval("nan*2"), 0);
  EXPECT_DOUBLE_EQ(Eval("2e3"), 2000);
}

TEST(PrintExpression, TextOutsideTheGrammarEndsWithADefinedValue) {
  EXPECT_DOUBLE_EQ(Eval(""), 0);
  EXPECT_DOUBLE_EQ(Eval("   "), 0);
  // An operator without a left operand takes 0 for it.
  EXPECT_DOUBLE_EQ(Eval("-5"), -5);
  EXPECT_DOUBLE_EQ(Eval("*3"), 0);
  EXPECT_DOUBLE_EQ(Eval("+"), 0);
  EXPECT_DOUBLE_EQ(Eval("*/-+"), 0);
  EXPECT_DOUBLE_EQ(Eval("()"), 0);
  // A ")" without "(" is stepped over instead of stopping the conversion for good.
  EXPECT_DOUBLE_EQ(Eval(")"), 0);
  EXPECT_DOUBLE_EQ(Eval(")7"), 7);
  EXPECT_DOUBLE_EQ(Eval("2)+3"), 2);
  EXPECT_DOUBLE_EQ(Eval("))))1+1"), 2);
}

// "1+(1+(1+ ... ))" keeps one value pending per level.
std::string Nested(int ones) {
  std::string s;
  for (int i = 1; i < ones; ++i) s += "1+(";
  s += "1";
  s.append(static_cast<std::size_t>(ones - 1), ')');
  return s;
}

TEST(PrintExpression, StackAndNestingLimitsGiveZeroInsteadOfOverrunning) {
  EXPECT_DOUBLE_EQ(Eval(Nested(CPrintVariables::kStackSize).c_str()), CPrintVariables::kStackSize);
  EXPECT_DOUBLE_EQ(Eval(Nested(CPrintVariables::kStackSize + 1).c_str()), 0);
  std::string many;
  for (int i = 0; i < 100; ++i) many += "(1)";
  EXPECT_DOUBLE_EQ(Eval(many.c_str()), 0);

  std::string deep(CPrintVariables::kMaxNesting, '(');
  EXPECT_DOUBLE_EQ(Eval((deep + "5").c_str()), 5);
  EXPECT_DOUBLE_EQ(Eval((deep + "(5").c_str()), 0);
  std::string huge(1 << 20, '(');
  EXPECT_DOUBLE_EQ(Eval(huge.c_str()), 0);
}

TEST(PrintExpression, PostfixTextHasEveryOperandFollowedByAComma) {
  std::string postfix;
  ASSERT_TRUE(ExpressionToPostfix("2+3*4", postfix));
  EXPECT_EQ(postfix, "2,3,4,*,+,");
  ASSERT_TRUE(ExpressionToPostfix("a b-(c)", postfix));
  EXPECT_EQ(postfix, "ab,c,-,");
  ASSERT_TRUE(ExpressionToPostfix("-5", postfix));
  EXPECT_EQ(postfix, ",5,-,");
}

TEST(PrintVariables, PageVariablesAndTheVariableCommandsStorage) {
  CPrintVariables v;
  v.StartPage(210, 297, 3);
  ASSERT_EQ(v.Items().size(), 5u);
  EXPECT_EQ(v.Items()[0], (std::pair<std::string, std::string>("PAGEMAX_X", "210")));
  EXPECT_EQ(v.Items()[1], (std::pair<std::string, std::string>("PAGEMAX_Y", "297")));
  EXPECT_EQ(*v.Find("$PAGEMAX_X"), "210");
  EXPECT_EQ(*v.Find("$PAGEMAX_Y"), "297");
  EXPECT_EQ(*v.Find("$PAGE"), "3");
  EXPECT_EQ(v.Find("pagemax_x"), nullptr);  // names are case-sensitive

  v.SetNumber("W", v.EvaluateExpression("PAGEMAX_X/2"));
  EXPECT_EQ(*v.Find("W"), "105.000000");
  v.SetNumber("A", 1.0 / 3);
  EXPECT_EQ(*v.Find("A"), "0.333333");
  v.SetNumber("N", -2.5);
  EXPECT_EQ(*v.Find("N"), "-2.500000");
  // Replacing keeps the place; a new name goes last.
  v.SetNumber("W", 1);
  EXPECT_EQ(v.Items()[5].first, "W");
  EXPECT_EQ(v.Items()[5].second, "1.000000");
  EXPECT_EQ(v.Items().back().first, "N");

  // A new page starts from the five page variables again.
  v.StartPage(100, 100, 4);
  EXPECT_EQ(v.Find("W"), nullptr);
  EXPECT_EQ(*v.Find("$PAGE"), "4");
}

TEST(PrintVariables, ExpressionsUseVariableValues) {
  CPrintVariables v;
  v.StartPage(200, 280, 2);
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("PAGEMAX_X/2"), 100);
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("$PAGE*10+$PAGEMAX_Y"), 300);
  v.SetNumber("N", -2.5);
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("4*N"), -10);
  // A value is an expression, with the names inside it replaced by their value texts first.
  v.Set("B", "1+1");
  v.Set("A", "B*2");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("B*3"), 6);
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("A"), 3);  // "1+1*2"
}

TEST(PrintVariables, SelfReferenceStopsAtAFixedDepth) {
  CPrintVariables v;
  v.Set("A", "A+1");
  double a = v.EvaluateExpression("A");
  EXPECT_TRUE(std::isfinite(a));
  EXPECT_GT(a, 0);
  EXPECT_LE(a, 2 * CPrintVariables::kMaxVariableDepth);

  v.Set("X", "Y");
  v.Set("Y", "X");
  EXPECT_DOUBLE_EQ(v.EvaluateExpression("X+5"), 5);
  // Each level multiplies the work; the look-up budget ends it.
  v.Set("F", "F+F+F+F+F+F+F+F");
  EXPECT_TRUE(std::isfinite(v.EvaluateExpression("F")));
}

TEST(PrintVariables, SubstitutionReplacesWholePiecesAndKeepsSeparators) {
  CPrintVariables v;
  v.StartPage(210, 297, 1);
  v.SetNumber("W", 50);
  EXPECT_EQ(v.SubstituteVariables("Page $PAGE"), "Page 1");
  EXPECT_EQ(v.SubstituteVariables("(W)*2-W/W+W"), "(50.000000)*2-50.000000/50.000000+50.000000");
  EXPECT_EQ(v.SubstituteVariables("Wx xW W_ $PAGES"), "Wx xW W_ $PAGES");
  EXPECT_EQ(v.SubstituteVariables("  W  "), "  50.000000  ");
  EXPECT_EQ(v.SubstituteVariables(""), "");
  // Values are not substituted again.
  v.Set("P", "W");
  EXPECT_EQ(v.SubstituteVariables("P"), "W");
  // Commas, tabs and other punctuation are part of a piece.
  EXPECT_EQ(v.SubstituteVariables("W,W\tW"), "W,W\tW");
}

TEST(PrintFields, HexColoursAndNumbers) {
  EXPECT_EQ(ParseHexColour("FF"), 0xFFu);  // red is the low byte
  EXPECT_EQ(ParseHexColour("FF0000"), 0xFF0000u);
  EXPECT_EQ(ParseHexColour(" \tff00"), 0xFF00u);
  EXPECT_EQ(ParseHexColour("12G3"), 0x12u);
  EXPECT_EQ(ParseHexColour(""), 0u);
  EXPECT_EQ(ParseHexColour("x12"), 0u);
  EXPECT_EQ(ParseHexColour("123456789"), 0x23456789u);

  EXPECT_DOUBLE_EQ(LeadingDecimal("  -1.5e2xyz"), -150);
  EXPECT_DOUBLE_EQ(LeadingDecimal(".5"), 0.5);
  EXPECT_DOUBLE_EQ(LeadingDecimal("."), 0);
  EXPECT_DOUBLE_EQ(LeadingDecimal("-"), 0);
  EXPECT_DOUBLE_EQ(LeadingDecimal("1e999999"), 0);

  EXPECT_EQ(FormatFixed(0), "0.000000");
  EXPECT_EQ(FormatFixed(2.0000004), "2.000000");
  EXPECT_EQ(FormatFixed(1e20), "100000000000000000000.000000");

  EXPECT_EQ(ClampToInt(NAN), 0);
  EXPECT_EQ(ClampToInt(1e300, 1000), 1000);
  EXPECT_EQ(ClampToInt(-1e300, 1000), -1000);
  EXPECT_EQ(ClampToInt(-7.9), -7);
}

}  // namespace
}  // namespace tamro
