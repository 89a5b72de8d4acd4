#include "platform/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/fileio.h"
#include "platform/text.h"

namespace tamro {

namespace {

std::unique_ptr<Profile> &AppSlot() {
  static std::unique_ptr<Profile> app;
  return app;
}
std::mutex &AppMutex() {
  static std::mutex m;
  return m;
}

Profile::Section *FindSection(std::vector<Profile::Section> &sections, std::string_view name) {
  for (auto &s : sections)
    if (EqualsNoCase(s.name, name)) return &s;
  return nullptr;
}

const Profile::Entry *FindEntry(const std::vector<Profile::Section> &sections, std::string_view section,
                                std::string_view key) {
  for (const auto &s : sections) {
    if (!EqualsNoCase(s.name, section)) continue;
    for (const auto &e : s.entries)
      if (EqualsNoCase(e.key, key)) return &e;
    return nullptr;
  }
  return nullptr;
}

// A value may not break the line form.
std::string OneLine(std::string_view v) {
  std::string r(v);
  for (char &c : r)
    if (c == '\n' || c == '\r') c = ' ';
  return r;
}

}  // namespace

std::vector<Profile::Section> ParseProfileText(std::string_view text) {
  std::vector<Profile::Section> sections;
  Profile::Section *current = nullptr;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::size_t close = line.find(']');
      std::string_view name = line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1);
      current = FindSection(sections, name);
      if (!current) {
        sections.push_back({std::string(name), {}});
        current = &sections.back();
      }
      continue;
    }
    std::size_t eq = line.find('=');
    if (!current || eq == std::string_view::npos) continue;
    std::string_view key = TrimBlanks(line.substr(0, eq));
    std::string_view value = TrimBlanks(line.substr(eq + 1));
    bool found = false;
    for (auto &e : current->entries)
      if (EqualsNoCase(e.key, key)) {
        found = true;  // the first line of a key wins, as readers see it
        break;
      }
    if (!found) current->entries.push_back({std::string(key), std::string(value)});
  }
  return sections;
}

std::string FormatProfileText(const std::vector<Profile::Section> &sections) {
  std::string out;
  for (const auto &s : sections) {
    if (s.entries.empty()) continue;
    if (!out.empty()) out += '\n';
    out += '[';
    out += s.name;
    out += "]\n";
    for (const auto &e : s.entries) {
      out += e.key;
      out += '=';
      out += e.value;
      out += '\n';
    }
  }
  return out;
}

Profile::Profile(std::string path) : path_(std::move(path)) {}

std::string Profile::DefaultPath() {
  std::string base;
  if (const char *x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
    base = x;
  } else {
    const char *home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return base + "/QEV/Tamro.ini";
}

Profile &Profile::App() {
  std::lock_guard lock(AppMutex());
  auto &slot = AppSlot();
  if (!slot) slot = std::make_unique<Profile>(DefaultPath());
  return *slot;
}

void Profile::ResetApp() {
  std::lock_guard lock(AppMutex());
  AppSlot() = std::make_unique<Profile>(DefaultPath());
}

void Profile::RefreshLocked() const {
  struct stat st {};
  Stamp now;
  if (stat(path_.c_str(), &st) == 0) {
    now = {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
           static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
           static_cast<long long>(st.st_mtim.tv_nsec)};
  }
  if (loaded_ && now == stamp_) return;
  sections_.clear();
  if (now.size >= 0) {
    std::string text;
    if (ReadRegularFile(path_, text)) sections_ = ParseProfileText(text);
  }
  stamp_ = now;
  loaded_ = true;
}

int Profile::GetInt(std::string_view section, std::string_view key, int def) const {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  const Entry *e = FindEntry(sections_, section, key);
  if (!e) return def;
  const char *s = e->value.c_str();
  char *end = nullptr;
  errno = 0;
  long long v = std::strtoll(s, &end, 10);
  if (end == s) return def;
  // Stored colours may exceed INT_MAX; keep the 32 bits as the registry would.
  return static_cast<int>(static_cast<unsigned int>(static_cast<unsigned long long>(v)));
}

std::string Profile::GetString(std::string_view section, std::string_view key, std::string_view def) const {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  const Entry *e = FindEntry(sections_, section, key);
  return e ? e->value : std::string(def);
}

bool Profile::Has(std::string_view section, std::string_view key) const {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  return FindEntry(sections_, section, key) != nullptr;
}

std::vector<std::string> Profile::Keys(std::string_view section) const {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  std::vector<std::string> keys;
  for (const auto &s : sections_)
    if (EqualsNoCase(s.name, section))
      for (const auto &e : s.entries) keys.push_back(e.key);
  return keys;
}

std::vector<std::string> Profile::SubSections(std::string_view parent) const {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  std::vector<std::string> names;
  for (const auto &s : sections_) {
    if (s.name.size() <= parent.size() + 1 || !StartsWithNoCase(s.name, parent) || s.name[parent.size()] != '\\')
      continue;
    std::string child = s.name.substr(parent.size() + 1);
    if (auto slash = child.find('\\'); slash != std::string::npos) child.resize(slash);
    bool seen = false;
    for (const auto &n : names) seen = seen || EqualsNoCase(n, child);
    if (!seen && !child.empty()) names.push_back(child);
  }
  return names;
}

template <class Edit>
bool Profile::Modify(Edit edit) {
  std::lock_guard lock(mutex_);
  std::filesystem::path file(path_);
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);

  // Writers serialise on a lock of the folder: it never changes under them, unlike the
  // file, which each writer replaces. Readers need no lock since replacement is atomic.
  int fd = open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd);
      return false;
    }
  }

  bool ok = false;
  std::string text;
  bool readable = true;
  if (!ReadRegularFile(path_, text)) readable = errno == ENOENT;
  if (readable) {
    auto sections = ParseProfileText(text);
    edit(sections);
    std::string out = FormatProfileText(sections);
    if (ReplaceFileAtomically(path_, out)) {
      ok = true;
      sections_ = std::move(sections);
      loaded_ = false;  // the stamp is taken again on the next read
    }
  }
  close(fd);
  return ok;
}

bool Profile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return WriteStrings(section, {{std::string(key), std::string(value)}});
}

bool Profile::WriteStrings(std::string_view section, const std::vector<Entry> &values) {
  if (values.empty()) return true;
  return Modify([&](std::vector<Section> &sections) {
    Section *s = FindSection(sections, section);
    if (!s) {
      sections.push_back({std::string(section), {}});
      s = &sections.back();
    }
    for (const Entry &value : values) {
      std::string v = OneLine(value.value);
      auto it = std::find_if(s->entries.begin(), s->entries.end(),
                             [&](const Entry &e) { return EqualsNoCase(e.key, value.key); });
      if (it != s->entries.end())
        it->value = std::move(v);
      else
        s->entries.push_back({value.key, std::move(v)});
    }
  });
}

bool Profile::WriteInt(std::string_view section, std::string_view key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool Profile::DeleteKey(std::string_view section, std::string_view key) {
  return Modify([&](std::vector<Section> &sections) {
    if (Section *s = FindSection(sections, section))
      std::erase_if(s->entries, [&](const Entry &e) { return EqualsNoCase(e.key, key); });
  });
}

bool Profile::DeleteSection(std::string_view section) {
  return Modify([&](std::vector<Section> &sections) {
    std::erase_if(sections, [&](const Section &s) {
      return EqualsNoCase(s.name, section) ||
             (s.name.size() > section.size() && StartsWithNoCase(s.name, section) && s.name[section.size()] == '\\');
    });
  });
}

}  // namespace tamro
