#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamro {

// Section-and-key text files kept in picture folders (the note file, the old folder index),
// optionally guarded by a lock file beside them so that two programs sharing a folder do not
// read a half-written file. Every operation opens and closes the file itself.
//
// Text form: ";" at the start of a line is a comment; "[name]" opens a section that lasts up
// to the next line starting with "["; other lines are key=value with blanks trimmed, and a ";"
// outside double quotes ends the value. Keys compare ignoring case, section names exactly
// (they carry file names). Lines end with CR LF when written; a lone LF is accepted.
class CLockedIniFile {
 public:
  // Retry counts: 0 ignores the lock entirely, -1 waits for it without limit, N looks N times.
  static constexpr int kNoLock = 0;
  static constexpr int kWaitForever = -1;
  static constexpr int kSleepMs = 55;

  CLockedIniFile() = default;
  virtual ~CLockedIniFile() = default;
  CLockedIniFile(const CLockedIniFile &) = delete;
  CLockedIniFile &operator=(const CLockedIniFile &) = delete;

  // Remembers the path and retry count and forms the lock path; touches no file.
  void Open(std::string path, int retries);

  const std::string &path() const { return path_; }
  const std::string &lockPath() const { return lockPath_; }
  int retries() const { return retries_; }

  // 0 and the value when the section and key exist, -1 (and empty `out`) otherwise.
  int GetValue(std::string_view section, std::string_view key, std::string &out);
  // The same for free text (notes): the whole value after "=", blanks at both ends trimmed,
  // without the ";" comment cut.
  int GetRawValue(std::string_view section, std::string_view key, std::string &out);
  // Replaces the key's line, or adds it as the section's last line, or appends the section.
  bool SetValue(std::string_view section, std::string_view key, std::string_view value);
  // Drop a section (header and lines) or one key line; a file left empty is deleted.
  bool RemoveSection(std::string_view section);
  bool RemoveKey(std::string_view section, std::string_view key);

 protected:
  // Seams for tests that count looks and sleeps.
  virtual bool LockExists() const;
  virtual void SleepBeforeNextLook();

 private:
  class LockHold;
  int Lookup(std::string_view section, std::string_view key, std::string &out, bool raw);
  bool ReadLines(std::vector<std::string> &lines) const;
  bool WriteLines(const std::vector<std::string> &lines) const;
  template <class Edit>
  bool Rewrite(Edit edit);

  std::string path_;
  std::string lockPath_;
  int retries_ = 0;
};

// The one line of a lock file.
extern const char kLockFileText[];

// The lock file beside `path`: same folder and base name, extension ".ACF".
std::string LockPathFor(std::string_view path);

// Splits file text into lines: CR LF or LF end a line, a final line without an end counts.
// Text that is not UTF-8 is taken as code page 932 (files from older installations).
std::vector<std::string> SplitIniLines(std::string_view text);

// Reads a key line: false for comments, section headers and lines without "=". The key and
// value are trimmed and the value ends at a ";" outside double quotes.
bool ParseIniKeyLine(std::string_view line, std::string_view &key, std::string_view &value);

// True when the line is "[" + section + "]" at its start (what follows is ignored).
bool IsSectionHeader(std::string_view line, std::string_view section);


}  // namespace tamro
