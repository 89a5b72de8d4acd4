#pragma once

// Arithmetic and variables of print definitions: the per-page variable list, the text
// substitution used by text items and the expression evaluator used by every numeric field.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tamro {

class CPrintVariables {
 public:
  // Evaluation gives 0 past these limits, so a hostile definition cannot exhaust the stack
  // or the time: values pending on the stack, parenthesis nesting, variable chains and
  // variable look-ups per evaluation.
  static constexpr int kStackSize = 64;
  static constexpr int kMaxNesting = 128;
  static constexpr int kMaxVariableDepth = 16;
  static constexpr int kMaxLookups = 1024;

  // Names compare exactly. Setting an existing name replaces its value; a new one is
  // appended, so the list keeps the order of first definition.
  void Set(std::string_view name, std::string_view value);
  // Stored with "%f", as the Variable command does.
  void SetNumber(std::string_view name, double value);
  const std::string *Find(std::string_view name) const;
  void Clear() { vars_.clear(); }
  const std::vector<std::pair<std::string, std::string>> &Items() const { return vars_; }

  // Starts a page: the list becomes PAGEMAX_X, PAGEMAX_Y, $PAGEMAX_X, $PAGEMAX_Y (the
  // printable area in millimetres) and $PAGE, all written with "%d".
  void StartPage(int widthMm, int heightMm, int page);

  // Cuts the text at "(", "+", "-", "*", "/", ")" and blanks and replaces every piece that
  // is a variable name by the variable's value text; the separators stay.
  std::string SubstituteVariables(std::string_view text) const;

  // Evaluates "+ - * /" with parentheses over decimal numbers and variable names (a
  // variable's value is itself an expression). Division by 0 gives 0, blanks join digits
  // ("1 2" is 12), a missing ")" is supplied. Text outside that grammar still gives a
  // value: an empty operand counts 0 (so "-5" is -5), a stray ")" is skipped, and too many
  // pending values, too deep nesting or an endless variable chain give 0.
  double EvaluateExpression(std::string_view text) const;

 private:
  struct Budget;
  double Evaluate(std::string_view text, int depth, Budget &budget) const;

  std::vector<std::pair<std::string, std::string>> vars_;
};

// The postfix form the evaluator works on: each operand and operator followed by ",".
// Answers false (and a partial text) when the nesting limit was passed.
bool ExpressionToPostfix(std::string_view text, std::string &postfix);

// Leading decimal number of a text (blanks skipped, optional sign, fraction, exponent);
// 0 when the text has none. Never reads hexadecimal, "inf" or "nan", whatever the locale.
double LeadingDecimal(std::string_view text);

// Writes like printf's "%f", whatever the locale.
std::string FormatFixed(double value);

// A hexadecimal colour field: blanks and tabs skipped, hexadecimal digits in either case
// up to the first other character, kept as 0x00BBGGRR (the low byte is red). Digits
// beyond 32 bits shift the oldest ones out.
uint32_t ParseHexColour(std::string_view text);

// Whole-number value of a double, with NaN as 0 and the range limited to +-`limit`.
int ClampToInt(double value, int limit = 1 << 30);

}  // namespace tamro
