#pragma once

// The text histories of the output dialogs: most recent first, kept in the settings store
// under numbered keys ("Folder0" ... "Folder9", or "0" ... "99").

#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class TextHistory {
 public:
  // `keyPrefix` followed by the number names a key: ("Html", "Folder", 10) or ("ReportFile", "", 100).
  TextHistory(std::string section, std::string keyPrefix, int capacity);

  // Reads the keys in order; empty values are left out.
  void Load();
  // Writes all keys; those beyond the list get "".
  void Save() const;
  // Moves `text` to the top (removing it wherever it stands) and drops what falls off the end.
  void Promote(const std::string &text);

  const std::vector<std::string> &items() const { return items_; }
  // The first item, or `fallback` when the list is empty.
  std::string First(std::string_view fallback = {}) const;
  int capacity() const { return capacity_; }

 private:
  std::string Key(int n) const;

  std::string section_, prefix_;
  int capacity_;
  std::vector<std::string> items_;
};

}  // namespace tamro
