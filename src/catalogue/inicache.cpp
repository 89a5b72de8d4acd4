#include "catalogue/inicache.h"

#include <climits>

#include "catalogue/lockedinifile.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace tamro {

int ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  return static_cast<int>(v);
}

bool CIniCache::ReadAll(const std::string &path) {
  sections_.clear();
  index_.clear();
  last_ = nullptr;
  std::string text;
  if (!ReadRegularFile(path, text)) return false;
  ParseText(text);
  return true;
}

void CIniCache::ParseText(std::string_view text) {
  sections_.clear();
  index_.clear();
  last_ = nullptr;
  Section *current = nullptr;
  for (const auto &line : SplitIniLines(text)) {
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      std::size_t close = line.find(']', 1);
      std::string name = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      index_.try_emplace(name, sections_.size());
      sections_.push_back(Section{std::move(name), {}});
      current = &sections_.back();
      continue;
    }
    std::string_view k, v;
    if (current && ParseIniKeyLine(line, k, v)) current->keys.push_back(Key{std::string(k), std::string(v)});
  }
}

const CIniCache::Section *CIniCache::FindSection(std::string_view name) {
  if (last_ && last_->name == name) return last_;
  auto it = index_.find(std::string(name));
  if (it == index_.end()) return nullptr;
  last_ = &sections_[it->second];
  return last_;
}

int CIniCache::GetValue(std::string_view section, std::string_view key, std::string &out) {
  out.clear();
  const Section *s = FindSection(section);
  if (!s) return -1;
  for (const auto &k : s->keys)
    if (EqualsNoCase(k.name, key)) {
      out = k.value;
      return 0;
    }
  return -1;
}

std::string CIniCache::GetString(std::string_view section, std::string_view key, std::string_view def) {
  std::string v;
  if (GetValue(section, key, v) != 0) return std::string(def);
  return v;
}

int CIniCache::GetInt(std::string_view section, std::string_view key, int def) {
  std::string v;
  if (GetValue(section, key, v) != 0) return def;
  return ParseDecimal(v);
}

}  // namespace tamro
