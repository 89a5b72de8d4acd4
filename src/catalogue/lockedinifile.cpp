#include "catalogue/lockedinifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/fileio.h"
#include "platform/text.h"

namespace tamro {

const char kLockFileText[] = "this file is enviroment access key file. don't modify it.";



std::string LockPathFor(std::string_view path) {
  std::size_t slash = path.rfind('/');
  std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind('.');
  std::string out;
  if (dot != std::string_view::npos && dot > nameStart)
    out.assign(path.substr(0, dot));
  else
    out.assign(path);
  out += ".ACF";
  return out;
}

std::vector<std::string> SplitIniLines(std::string_view raw) {
  std::string converted;
  std::string_view text = raw;
  if (!IsValidUtf8(raw)) {
    converted = Cp932ToUtf8(raw);
    text = converted;
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    std::size_t stop = end == std::string_view::npos ? text.size() : end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.emplace_back(text.substr(start, stop - start));
    start = next;
  }
  return lines;
}

bool ParseIniKeyLine(std::string_view line, std::string_view &key, std::string_view &value) {
  if (line.empty() || line[0] == ';' || line[0] == '[') return false;
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = TrimBlanks(line.substr(0, eq));
  std::string_view rest = line.substr(eq + 1);
  bool quoted = false;
  std::size_t end = rest.size();
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '"')
      quoted = !quoted;
    else if (rest[i] == ';' && !quoted) {
      end = i;
      break;
    }
  }
  value = TrimBlanks(rest.substr(0, end));
  return true;
}

bool IsSectionHeader(std::string_view line, std::string_view section) {
  return line.size() >= section.size() + 2 && line[0] == '[' && line.substr(1, section.size()) == section &&
         line[section.size() + 1] == ']';
}


// Holds the lock file for one operation; removes it only when this operation made it.
class CLockedIniFile::LockHold {
 public:
  explicit LockHold(CLockedIniFile &f) : f_(f) {}
  ~LockHold() {
    if (made_) ::unlink(f_.lockPath_.c_str());
  }
  LockHold(const LockHold &) = delete;
  LockHold &operator=(const LockHold &) = delete;

  // Waits by the retry rule, then makes the lock file. The lock is made with O_EXCL, so a
  // program that made it between our look and our create counts as one more look that saw
  // it. A folder where no lock can be made (read-only media) is read without one.
  bool Acquire() {
    if (f_.retries_ == kNoLock) return true;
    for (int look = 0;; ++look) {
      if (f_.retries_ != kWaitForever && look >= f_.retries_) return false;
      if (look > 0 && f_.retries_ == kWaitForever) f_.SleepBeforeNextLook();
      if (f_.LockExists()) continue;
      int fd = ::open(f_.lockPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        return true;
      }
      std::string line = std::string(kLockFileText) + "\r\n";
      WriteAll(fd, line);
      ::close(fd);
      made_ = true;
      return true;
    }
  }

 private:
  CLockedIniFile &f_;
  bool made_ = false;
};

void CLockedIniFile::Open(std::string path, int retries) {
  path_ = std::move(path);
  lockPath_ = LockPathFor(path_);
  retries_ = retries;
}

bool CLockedIniFile::LockExists() const {
  struct stat st {};
  return ::lstat(lockPath_.c_str(), &st) == 0;
}

void CLockedIniFile::SleepBeforeNextLook() {
  std::this_thread::sleep_for(std::chrono::milliseconds(kSleepMs));
}

bool CLockedIniFile::ReadLines(std::vector<std::string> &lines) const {
  std::string text;
  if (!ReadRegularFile(path_, text)) return false;
  lines = SplitIniLines(text);
  return true;
}

bool CLockedIniFile::WriteLines(const std::vector<std::string> &lines) const {
  if (lines.empty()) return ::unlink(path_.c_str()) == 0 || errno == ENOENT;
  std::string out;
  std::size_t total = 0;
  for (const auto &l : lines) total += l.size() + 2;
  out.reserve(total);
  for (const auto &l : lines) {
    out += l;
    out += "\r\n";
  }
  return ReplaceFileAtomically(path_, out);
}

int CLockedIniFile::GetValue(std::string_view section, std::string_view key, std::string &out) {
  return Lookup(section, key, out, false);
}

int CLockedIniFile::GetRawValue(std::string_view section, std::string_view key, std::string &out) {
  return Lookup(section, key, out, true);
}

int CLockedIniFile::Lookup(std::string_view section, std::string_view key, std::string &out, bool raw) {
  out.clear();
  LockHold hold(*this);
  if (path_.empty() || !hold.Acquire()) return -1;
  std::vector<std::string> lines;
  if (!ReadLines(lines)) return -1;
  bool inSection = false;
  for (const auto &line : lines) {
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (inSection) break;
      inSection = IsSectionHeader(line, section);
      continue;
    }
    if (!inSection) continue;
    std::string_view k, v;
    if (ParseIniKeyLine(line, k, v) && EqualsNoCase(k, key)) {
      if (raw) v = TrimBlanks(std::string_view(line).substr(line.find('=') + 1));
      out.assign(v);
      return 0;
    }
  }
  return -1;
}

template <class Edit>
bool CLockedIniFile::Rewrite(Edit edit) {
  LockHold hold(*this);
  if (path_.empty() || !hold.Acquire()) return false;
  std::vector<std::string> lines;
  if (!ReadLines(lines)) lines.clear();  // a missing file starts empty
  if (!edit(lines)) return true;         // nothing to change
  return WriteLines(lines);
}

namespace {

bool IsKeyLine(std::string_view line, std::string_view key) {
  std::string_view k, v;
  return ParseIniKeyLine(line, k, v) && EqualsNoCase(k, key);
}

}  // namespace

bool CLockedIniFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  std::string newLine = std::string(key) + "=" + std::string(value);
  return Rewrite([&](std::vector<std::string> &lines) {
    std::size_t i = 0;
    while (i < lines.size() && !IsSectionHeader(lines[i], section)) ++i;
    if (i == lines.size()) {
      lines.push_back("[" + std::string(section) + "]");
      lines.push_back(newLine);
      return true;
    }
    for (++i; i < lines.size() && (lines[i].empty() || lines[i][0] != '['); ++i) {
      if (lines[i].empty() || lines[i][0] == ';') continue;
      if (IsKeyLine(lines[i], key)) {
        lines[i] = newLine;
        return true;
      }
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i), newLine);
    return true;
  });
}

bool CLockedIniFile::RemoveSection(std::string_view section) {
  return Rewrite([&](std::vector<std::string> &lines) {
    bool changed = false;
    std::vector<std::string> kept;
    kept.reserve(lines.size());
    bool dropping = false;
    for (auto &line : lines) {
      if (!line.empty() && line[0] == '[') dropping = IsSectionHeader(line, section);
      if (dropping) {
        changed = true;
        continue;
      }
      kept.push_back(std::move(line));
    }
    lines = std::move(kept);
    return changed;
  });
}

bool CLockedIniFile::RemoveKey(std::string_view section, std::string_view key) {
  return Rewrite([&](std::vector<std::string> &lines) {
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto &line = lines[i];
      if (!line.empty() && line[0] == '[') {
        inSection = IsSectionHeader(line, section);
        continue;
      }
      if (inSection && !line.empty() && line[0] != ';' && IsKeyLine(line, key)) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
      }
    }
    return false;
  });
}

}  // namespace tamro
