#include "platform/listfield.h"

#include <cstdlib>

namespace tamro {

namespace {

// Finds the bounds of field n; false when the list has fewer fields. Counts the fields
// seen in `count` (used by the writer to pad with separators).
bool FieldBounds(std::string_view text, int n, std::size_t &begin, std::size_t &end, int &count) {
  if (n < 0) return false;
  std::size_t start = 0;
  int index = 0;
  bool quoted = false;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size()) {
      char c = text[i];
      if (c == '"') quoted = !quoted;
      if (c != ',' || quoted) continue;
    }
    if (index == n) {
      begin = start;
      end = i;
      count = index + 1;
      return true;
    }
    ++index;
    start = i + 1;
  }
  count = index;
  return false;
}

}  // namespace

int GetListField(std::string_view text, int n, std::string &out) {
  std::size_t b = 0, e = 0;
  int count = 0;
  out.clear();
  if (!FieldBounds(text, n, b, e, count)) return -1;
  std::string_view field = text.substr(b, e - b);
  std::size_t first = field.find('"');
  if (first != std::string_view::npos) {
    std::size_t last = field.rfind('"');
    field = last > first ? field.substr(first + 1, last - first - 1) : std::string_view{};
  }
  out.assign(field);
  return static_cast<int>(out.size());
}

std::string GetListField(std::string_view text, int n) {
  std::string out;
  GetListField(text, n, out);
  return out;
}

int GetListInt(std::string_view text, int n, int &out) {
  std::string field;
  int len = GetListField(text, n, field);
  long long v = std::strtoll(field.c_str(), nullptr, 10);
  out = static_cast<int>(static_cast<unsigned int>(static_cast<unsigned long long>(v)));
  if (len < 0 || field.empty()) return -1;
  char c = field.front();
  if (!((c >= '0' && c <= '9') || c == '-' || c == '+')) return -1;
  return len;
}

void SetListField(std::string &record, int n, std::string_view value, bool quote) {
  if (n < 0) return;
  std::string v;
  if (quote) v.push_back('"');
  v.append(value);
  if (quote) v.push_back('"');
  std::size_t b = 0, e = 0;
  int count = 0;
  if (FieldBounds(record, n, b, e, count)) {
    record.replace(b, e - b, v);
    return;
  }
  // `count` fields exist (the empty record has one); add separators up to field n.
  record.append(static_cast<std::size_t>(n - count + 1), ',');
  record.append(v);
}

}  // namespace tamro
