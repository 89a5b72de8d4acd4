#include "output/printexpression.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace tamro {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsExpressionOperator(char c) {
  return c == '(' || c == '+' || c == '-' || c == '*' || c == '/' || c == ')';
}

// Recursive descent from infix to postfix text. Every operand is written even when it is
// empty, so each operator always has two operands in the output.
class PostfixWriter {
 public:
  PostfixWriter(std::string_view text, std::string &out) : s_(text), out_(out) {}

  bool Run() {
    for (;;) {
      SkipBlanks();
      if (pos_ >= s_.size()) break;
      // A ")" without its "(" would stop every rule where it stands; step over it so the
      // conversion goes on with the rest of the text.
      if (s_[pos_] == ')') {
        ++pos_;
        continue;
      }
      Expression(0);
    }
    return ok_;
  }

 private:
  void SkipBlanks() {
    while (pos_ < s_.size() && IsBlank(s_[pos_])) ++pos_;
  }
  bool At(char a, char b) {
    SkipBlanks();
    return pos_ < s_.size() && (s_[pos_] == a || s_[pos_] == b);
  }
  void Emit(char op) {
    out_ += op;
    out_ += ',';
  }
  void Expression(int depth) {
    Term(depth);
    while (At('+', '-')) {
      char op = s_[pos_++];
      Term(depth);
      Emit(op);
    }
  }
  void Term(int depth) {
    Factor(depth);
    while (At('*', '/')) {
      char op = s_[pos_++];
      Factor(depth);
      Emit(op);
    }
  }
  void Factor(int depth) {
    SkipBlanks();
    if (pos_ < s_.size() && s_[pos_] == '(') {
      if (depth >= CPrintVariables::kMaxNesting) {
        ok_ = false;
        pos_ = s_.size();
        return;
      }
      ++pos_;
      Expression(depth + 1);
      if (At(')', ')')) ++pos_;
      return;
    }
    while (pos_ < s_.size() && !IsExpressionOperator(s_[pos_])) {
      if (!IsBlank(s_[pos_])) out_ += s_[pos_];
      ++pos_;
    }
    out_ += ',';
  }

  std::string_view s_;
  std::string &out_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// Walks a comma list field by field with the same rules as GetListField (a double quote
// protects commas up to the next one; a quoted field yields the text between its first and
// last quote), without rescanning the list for every field.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view text) : s_(text) {}

  // False when no field is left. The empty remainder after a final "," is no field.
  bool Next(std::string_view &field) {
    if (done_) return false;
    std::size_t start = pos_;
    bool quoted = false;
    while (pos_ < s_.size() && (quoted || s_[pos_] != ',')) {
      if (s_[pos_] == '"') quoted = !quoted;
      ++pos_;
    }
    std::string_view raw = s_.substr(start, pos_ - start);
    if (pos_ < s_.size()) {
      ++pos_;
    } else {
      done_ = true;
      if (raw.empty()) return false;
    }
    std::size_t first = raw.find('"');
    if (first != std::string_view::npos) {
      std::size_t last = raw.rfind('"');
      raw = last > first ? raw.substr(first + 1, last - first - 1) : std::string_view{};
    }
    field = raw;
    return true;
  }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
  bool done_ = false;
};

}  // namespace

struct CPrintVariables::Budget {
  int lookups = 0;
};

void CPrintVariables::Set(std::string_view name, std::string_view value) {
  for (auto &v : vars_) {
    if (v.first == name) {
      v.second.assign(value);
      return;
    }
  }
  vars_.emplace_back(std::string(name), std::string(value));
}

void CPrintVariables::SetNumber(std::string_view name, double value) { Set(name, FormatFixed(value)); }

const std::string *CPrintVariables::Find(std::string_view name) const {
  for (const auto &v : vars_)
    if (v.first == name) return &v.second;
  return nullptr;
}

void CPrintVariables::StartPage(int widthMm, int heightMm, int page) {
  vars_.clear();
  Set("PAGEMAX_X", std::to_string(widthMm));
  Set("PAGEMAX_Y", std::to_string(heightMm));
  Set("$PAGEMAX_X", std::to_string(widthMm));
  Set("$PAGEMAX_Y", std::to_string(heightMm));
  Set("$PAGE", std::to_string(page));
}

std::string CPrintVariables::SubstituteVariables(std::string_view text) const {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  auto flush = [&](std::size_t end) {
    std::string_view piece = text.substr(start, end - start);
    const std::string *value = piece.empty() ? nullptr : Find(piece);
    if (value)
      out += *value;
    else
      out += piece;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (IsExpressionOperator(c) || c == ' ') {
      flush(i);
      out += c;
      start = i + 1;
    }
  }
  flush(text.size());
  return out;
}

double CPrintVariables::EvaluateExpression(std::string_view text) const {
  Budget budget;
  return Evaluate(text, 0, budget);
}

double CPrintVariables::Evaluate(std::string_view text, int depth, Budget &budget) const {
  std::string postfix;
  if (!ExpressionToPostfix(text, postfix)) return 0;

  double stack[kStackSize];
  int top = 0;
  auto pop = [&]() { return top > 0 ? stack[--top] : 0.0; };
  FieldCursor cursor(postfix);
  std::string_view field;
  while (cursor.Next(field)) {
    char c = field.empty() ? '\0' : field.front();
    if (c == '+' || c == '-' || c == '*' || c == '/') {
      double b = pop();
      double a = pop();
      double r = 0;
      switch (c) {
        case '+':
          r = a + b;
          break;
        case '-':
          r = a - b;
          break;
        case '*':
          r = a * b;
          break;
        default:
          r = b == 0 ? 0 : a / b;
          break;
      }
      stack[top++] = r;
      continue;
    }
    if (top >= kStackSize) return 0;
    double value = 0;
    if (const std::string *v = field.empty() ? nullptr : Find(field)) {
      // A variable's value is an expression of its own; chains that come back to where
      // they started end at the depth limit instead of recursing for ever.
      if (depth < kMaxVariableDepth && ++budget.lookups <= kMaxLookups)
        value = Evaluate(SubstituteVariables(*v), depth + 1, budget);
    } else {
      value = LeadingDecimal(field);
    }
    stack[top++] = value;
  }
  return top > 0 ? stack[0] : 0;
}

bool ExpressionToPostfix(std::string_view text, std::string &postfix) {
  postfix.clear();
  return PostfixWriter(text, postfix).Run();
}

double LeadingDecimal(std::string_view text) {
  std::size_t i = 0, n = text.size();
  while (i < n && (IsBlank(text[i]) || text[i] == '\r' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= n) return 0;
  if (!IsDigit(text[i]) && !(text[i] == '.' && i + 1 < n && IsDigit(text[i + 1]))) return 0;
  double v = 0;
  auto r = std::from_chars(text.data() + i, text.data() + n, v, std::chars_format::general);
  if (r.ec != std::errc()) return 0;
  return negative ? -v : v;
}

std::string FormatFixed(double value) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
  if (r.ec != std::errc()) return "0.000000";
  return std::string(buf, r.ptr);
}

uint32_t ParseHexColour(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  uint32_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    uint32_t d;
    if (c >= '0' && c <= '9')
      d = static_cast<uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'F')
      d = static_cast<uint32_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      d = static_cast<uint32_t>(c - 'a' + 10);
    else
      break;
    v = (v << 4) | d;
  }
  return v;
}

int ClampToInt(double value, int limit) {
  if (std::isnan(value)) return 0;
  if (value >= limit) return limit;
  if (value <= -limit) return -limit;
  return static_cast<int>(value);
}

}  // namespace tamro
