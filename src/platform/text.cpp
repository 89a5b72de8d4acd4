#include "platform/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace tamro {

bool IsValidUtf8(std::string_view s) {
  const auto *p = reinterpret_cast<const unsigned char *>(s.data());
  const auto *end = p + s.size();
  while (p < end) {
    unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra;
    std::uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (end - p <= extra) return false;
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    p += extra + 1;
  }
  return true;
}

namespace {

// Converts with iconv, replacing what cannot be converted by `replacement` and going on.
std::string Convert(const char *to, const char *from, std::string_view s, std::string_view replacement,
                    std::size_t skip) {
  iconv_t cd = iconv_open(to, from);
  std::string out;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // Without the converter ASCII is still right; nothing else is guessed at.
    for (unsigned char c : s) {
      if (c < 0x80)
        out += static_cast<char>(c);
      else
        out.append(replacement);
    }
    return out;
  }
  out.reserve(s.size() * 3 / 2 + 4);
  char *in = const_cast<char *>(s.data());
  std::size_t inLeft = s.size();
  char buffer[4096];
  while (inLeft > 0) {
    char *o = buffer;
    std::size_t oLeft = sizeof buffer;
    std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buffer, static_cast<std::size_t>(o - buffer));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a cut sequence at the end): replace one unit and go on.
      out.append(replacement);
      std::size_t n = skip < inLeft ? skip : inLeft;
      in += n;
      inLeft -= n;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::size_t Utf8SequenceLength(unsigned char c) {
  if (c < 0x80) return 1;
  if (c >= 0xF0) return 4;
  if (c >= 0xE0) return 3;
  if (c >= 0xC0) return 2;
  return 1;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view s, std::string_view replacement) {
  bool ascii = true;
  for (unsigned char c : s) ascii = ascii && c < 0x80;
  if (ascii) return std::string(s);
  return Convert("UTF-8", "CP932", s, replacement, 1);
}

std::string Utf8ToCp932(std::string_view s) {
  if (!IsValidUtf8(s)) return {};
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(s);
  std::string out;
  char *in = const_cast<char *>(s.data());
  std::size_t inLeft = s.size();
  char buffer[4096];
  while (inLeft > 0) {
    char *o = buffer;
    std::size_t oLeft = sizeof buffer;
    std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buffer, static_cast<std::size_t>(o - buffer));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out.push_back('?');
      std::size_t n = Utf8SequenceLength(static_cast<unsigned char>(*in));
      if (n > inLeft) n = inLeft;
      in += n;
      inLeft -= n;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::string LegacyToUtf8(std::string_view s) {
  if (IsValidUtf8(s)) return std::string(s);
  return Cp932ToUtf8(s);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string AsciiLower(std::string_view s) {
  std::string r(s);
  for (char &c : r) c = AsciiLower(c);
  return r;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(AsciiLower(a[i]));
    auto y = static_cast<unsigned char>(AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

std::string_view TrimBlanks(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace tamro
