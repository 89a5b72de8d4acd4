#include "catalogue/wildcard.h"

#include "platform/text.h"

namespace tamro {

namespace {

std::size_t SequenceLength(std::string_view s, std::size_t i) {
  auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  // A cut sequence counts as what is left of it.
  for (std::size_t k = 1; k < n; ++k)
    if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return k;
  return n;
}

}  // namespace

bool NameMatchesWildcard(std::string_view p, std::string_view s) {
  std::size_t pi = 0, si = 0;
  std::size_t starP = std::string_view::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == '*') {
      starP = ++pi;
      starS = si;
      continue;
    }
    if (pi < p.size() && p[pi] == '?') {
      ++pi;
      si += SequenceLength(s, si);
      continue;
    }
    if (pi < p.size() && AsciiLower(p[pi]) == AsciiLower(s[si])) {
      ++pi;
      ++si;
      continue;
    }
    if (starP == std::string_view::npos) return false;
    // Let the last "*" take one more character and try again from there.
    starS += SequenceLength(s, starS);
    si = starS;
    pi = starP;
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

bool SearchPatternMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (NameMatchesWildcard(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" && name.find('.') == std::string_view::npos)
    return NameMatchesWildcard(pattern.substr(0, pattern.size() - 2), name);
  return false;
}

bool NameMatchesExtensionList(std::string_view list, std::string_view name) {
  std::size_t nameDot = name.rfind('.');
  std::string_view nameBase = nameDot == std::string_view::npos ? name : name.substr(0, nameDot);
  std::string_view nameExt = nameDot == std::string_view::npos ? std::string_view() : name.substr(nameDot + 1);
  while (!list.empty()) {
    std::size_t semi = list.find(';');
    std::string_view element = TrimBlanks(list.substr(0, semi));
    list = semi == std::string_view::npos ? std::string_view() : list.substr(semi + 1);
    if (element.empty()) continue;
    std::size_t dot = element.rfind('.');
    if ((dot == std::string_view::npos) != (nameDot == std::string_view::npos)) continue;
    if (dot == std::string_view::npos) {
      if (NameMatchesWildcard(element, name)) return true;
      continue;
    }
    if (NameMatchesWildcard(element.substr(0, dot), nameBase) && NameMatchesWildcard(element.substr(dot + 1), nameExt))
      return true;
  }
  return false;
}

}  // namespace tamro
