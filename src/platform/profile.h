#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tamro {

// The settings store: one text file of "[section]" headers and "key=value" lines.
// Section and key names compare ignoring ASCII case and keep the case they were first
// written with; names such as "SPISET\_Default\x.spi" or "#InnerGIF" are plain names.
// Reads answer from a cache that is re-read when the file changes on disk. Every write
// locks the file, re-reads it, changes one value and replaces the file atomically, so
// several processes may write different keys at once. Nothing is written until a caller
// writes. Thread-safe.
class Profile {
 public:
  explicit Profile(std::string path);

  // $XDG_CONFIG_HOME/QEV/Tamro.ini, with ~/.config when the variable is unset or empty.
  static std::string DefaultPath();
  // The program's store at DefaultPath(), resolved on first use.
  static Profile &App();
  // Resolves App() anew from the environment (tests change XDG_CONFIG_HOME).
  static void ResetApp();

  const std::string &path() const { return path_; }

  int GetInt(std::string_view section, std::string_view key, int def) const;
  std::string GetString(std::string_view section, std::string_view key, std::string_view def) const;
  bool Has(std::string_view section, std::string_view key) const;
  // Key names of a section in file order; empty when the section is missing.
  std::vector<std::string> Keys(std::string_view section) const;
  // Names of the sections directly below `parent` ("SPISET" gives "_Default", ...).
  std::vector<std::string> SubSections(std::string_view parent) const;

  // Writes answer false when the file cannot be written; the old file is then unchanged.
  bool WriteInt(std::string_view section, std::string_view key, int value);
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Several keys of one section in one replacement of the file (a history of many lines).
  struct Entry;
  bool WriteStrings(std::string_view section, const std::vector<Entry> &values);
  bool DeleteKey(std::string_view section, std::string_view key);
  // Deletes the section and every section below it ("A" takes "A\B" and "A\B\C" along).
  bool DeleteSection(std::string_view section);

  struct Entry {
    std::string key, value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };

 private:
  struct Stamp {
    unsigned long long dev = 0, ino = 0;
    long long size = -1, mtimeSec = 0, mtimeNsec = 0;
    bool operator==(const Stamp &) const = default;
  };
  void RefreshLocked() const;
  template <class Edit>
  bool Modify(Edit edit);

  std::string path_;
  mutable std::mutex mutex_;
  mutable std::vector<Section> sections_;
  mutable Stamp stamp_;
  mutable bool loaded_ = false;
};

// Parses the text form: ";" at the start of a line is a comment, "[name]" opens a section,
// "key=value" lines have blanks trimmed around key and value. CR LF and LF are accepted.
std::vector<Profile::Section> ParseProfileText(std::string_view text);
std::string FormatProfileText(const std::vector<Profile::Section> &sections);

}  // namespace tamro
