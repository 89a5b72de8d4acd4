#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tamro {

// A section-and-key file read once into memory (the text form of CLockedIniFile, without the
// lock) and then asked many times, as the old folder index is. Lookups of one section in a
// row reuse the section found last.
class CIniCache {
 public:
  struct Key {
    std::string name, value;
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
  };

  // Reads every line of the file. False (and nothing kept) when it cannot be read.
  bool ReadAll(const std::string &path);
  // Same, from text already in memory.
  void ParseText(std::string_view text);

  // 0 and the value when found, -1 and empty `out` otherwise.
  int GetValue(std::string_view section, std::string_view key, std::string &out);
  std::string GetString(std::string_view section, std::string_view key, std::string_view def);
  // Decimal value of the text (leading blanks and sign allowed, stops at the first non-digit,
  // clamped to the int range); `def` when the key is missing.
  int GetInt(std::string_view section, std::string_view key, int def);

  const std::vector<Section> &sections() const { return sections_; }
  std::size_t SectionCount() const { return sections_.size(); }

 private:
  const Section *FindSection(std::string_view name);

  std::vector<Section> sections_;
  // First section of each name; a file may repeat a header, the first one answers.
  std::unordered_map<std::string, std::size_t> index_;
  const Section *last_ = nullptr;
};

// The decimal value of a text as GetInt reads it.
int ParseDecimal(std::string_view text);

}  // namespace tamro
