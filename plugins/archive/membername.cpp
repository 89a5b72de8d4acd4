#include "archive/membername.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace tamro::plugin::archive {

bool IsValidUtf8(std::string_view text) {
  const auto *p = reinterpret_cast<const unsigned char *>(text.data());
  const auto *end = p + text.size();
  while (p < end) {
    unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra;
    unsigned cp;
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
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    p += extra + 1;
  }
  return true;
}

namespace {

class Iconv {
 public:
  Iconv(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv &) = delete;
  Iconv &operator=(const Iconv &) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

namespace {

// libarchive turns every backslash of a RAR name into "/" before we see it, including the
// 0x5C that is the second byte of CP932 characters such as "表". A CP932 lead byte is never
// followed by "/", so that pair is put back.
std::string RestoreCp932Trails(std::string_view raw) {
  std::string out(raw);
  for (size_t i = 0; i + 1 < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (!lead) continue;
    if (out[i + 1] == '/') out[i + 1] = '\\';
    ++i;
  }
  return out;
}

}  // namespace

std::string NameToUtf8(std::string_view stored) {
  if (IsValidUtf8(stored)) return std::string(stored);
  const std::string repaired = RestoreCp932Trails(stored);
  const std::string_view raw = repaired;
  std::string out;
  Iconv cd("UTF-8", "CP932");
  if (!cd.ok()) {
    for (unsigned char c : raw) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }
  std::vector<char> buffer(raw.size() * 4 + 16);
  char *in = const_cast<char *>(raw.data());
  size_t inLeft = raw.size();
  while (inLeft > 0) {
    char *o = buffer.data();
    size_t oLeft = buffer.size();
    size_t rc = iconv(cd.get(), &in, &inLeft, &o, &oLeft);
    out.append(buffer.data(), static_cast<size_t>(o - buffer.data()));
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A byte that is not CP932 (or a lead byte cut off at the end): mark it and go on.
    out += '?';
    ++in;
    --inLeft;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

void SplitMemberPath(std::string_view utf8, std::string &folder, std::string &name) {
  folder.clear();
  name.clear();
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= utf8.size(); ++i) {
    if (i == utf8.size() || utf8[i] == '/' || utf8[i] == '\\') {
      std::string_view part = utf8.substr(start, i - start);
      if (!part.empty() && part != "." && part != "..") parts.push_back(part);
      start = i + 1;
    }
  }
  // A name ending in a separator is a folder, not a file.
  if (parts.empty() || utf8.back() == '/' || utf8.back() == '\\') return;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    folder.append(parts[i]);
    folder += '/';
  }
  name.assign(parts.back());
}

std::string_view Utf8Cut(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

std::string CutFileName(std::string_view name, size_t limit) {
  if (name.size() <= limit) return std::string(name);
  constexpr size_t kLongestExtension = 16;  // with its dot
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= kLongestExtension &&
      name.size() - dot < limit) {
    const std::string_view extension = name.substr(dot);
    const std::string_view stem = Utf8Cut(name.substr(0, dot), limit - extension.size());
    if (!stem.empty()) return std::string(stem) + std::string(extension);
  }
  return std::string(Utf8Cut(name, limit));
}

}  // namespace tamro::plugin::archive
