#include "archive/membername.h"

#include <vector>

namespace tamro::plugin::archive {

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
  return Cp932ToUtf8(RestoreCp932Trails(stored), "?");
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
