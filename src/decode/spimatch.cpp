// Wildcard names and extension lists, matched the way plug-in filters are written.
#include <string_view>

#include "decode/spihost.h"
#include "platform/text.h"

namespace tamro {

namespace {

// Length of the UTF-8 sequence starting at s[i] (1 for a stray byte), so "?" takes one
// character and never splits one.
std::size_t CharLength(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (i + n > s.size()) return 1;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  return n;
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0;
  std::size_t starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      t += CharLength(text, t);
    } else if (p < pattern.size() && AsciiLower(pattern[p]) == AsciiLower(text[t])) {
      ++p;
      ++t;
    } else if (starP != std::string_view::npos) {
      // Let the last star take one more character and try again.
      p = starP + 1;
      starT += CharLength(text, starT);
      t = starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool MatchExtensionList(std::string_view fileName, std::string_view patterns) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
  const std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);

  std::size_t i = 0;
  while (i <= patterns.size()) {
    const std::size_t semi = std::min(patterns.find(';', i), patterns.size());
    const std::string_view element = TrimBlanks(patterns.substr(i, semi - i));
    i = semi + 1;
    if (element.empty()) continue;
    const std::size_t edot = element.rfind('.');
    if ((edot == std::string_view::npos) != (dot == std::string_view::npos)) continue;
    if (edot == std::string_view::npos) {
      if (WildcardMatch(element, base)) return true;
    } else if (WildcardMatch(element.substr(0, edot), base) && WildcardMatch(element.substr(edot + 1), ext)) {
      return true;
    }
  }
  return false;
}

}  // namespace tamro
