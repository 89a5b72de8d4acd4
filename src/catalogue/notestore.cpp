#include "catalogue/notestore.h"

#include <sys/stat.h>

#include <cstring>

#include "catalogue/lockedinifile.h"
#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace tamro {

namespace {

constexpr char kCrByte = 0x04;
constexpr char kLfByte = 0x05;
constexpr char kNoteKey[] = "Note";

void OpenNoteFile(CLockedIniFile &f, const std::string &folder) {
  f.Open(JoinPath(folder, kNoteFileName), CLockedIniFile::kNoLock);
}

}  // namespace

std::string EncodeNote(std::string_view text) {
  std::string out(text);
  for (char &c : out) {
    if (c == '\r')
      c = kCrByte;
    else if (c == '\n')
      c = kLfByte;
  }
  return out;
}

std::string DecodeNote(std::string_view stored) {
  std::string out(stored);
  for (char &c : out) {
    if (c == kCrByte)
      c = '\r';
    else if (c == kLfByte)
      c = '\n';
  }
  return out;
}

std::string NoteSection(std::string_view archive, std::string_view name) {
  std::string section = LegacyToUtf8(archive);
  section += ':';
  section += LegacyToUtf8(name);
  return EncodeNote(section);
}

int ReadNote(const std::string &folder, std::string_view archive, std::string_view name, std::string &text) {
  text.clear();
  CLockedIniFile f;
  OpenNoteFile(f, folder);
  if (!IsRegularFile(f.path())) return -1;
  std::string stored;
  // A note is free text: a ";" in it is no comment.
  if (f.GetRawValue(NoteSection(archive, name), kNoteKey, stored) != 0) return -1;
  text = DecodeNote(stored);
  return 0;
}

bool WriteNote(const std::string &folder, std::string_view archive, std::string_view name,
               std::string_view text) {
  if (text.empty()) return DeleteNote(folder, archive, name);
  CLockedIniFile f;
  OpenNoteFile(f, folder);
  // Text that is not UTF-8 would turn the whole file into code page 932 for its readers.
  std::string clean = LegacyToUtf8(text);
  // A zero byte would end the note early wherever it is read next.
  clean.resize(strnlen(clean.c_str(), clean.size()));
  if (clean.empty()) return DeleteNote(folder, archive, name);
  return f.SetValue(NoteSection(archive, name), kNoteKey, EncodeNote(clean));
}

bool DeleteNote(const std::string &folder, std::string_view archive, std::string_view name) {
  CLockedIniFile f;
  OpenNoteFile(f, folder);
  if (!IsRegularFile(f.path())) return true;
  return f.RemoveSection(NoteSection(archive, name));
}

NoteCarrier::NoteCarrier(std::string from) : from_(std::move(from)) {}

std::set<std::string> &NoteCarrier::Sections(const std::string &folder) {
  auto found = sections_.find(folder);
  if (found != sections_.end()) return found->second;
  std::set<std::string> &names = sections_[folder];
  std::string text;
  if (!ReadRegularFile(JoinPath(folder, kNoteFileName), text)) return names;
  for (const std::string &line : SplitIniLines(text)) {
    // Headers are written "[" + section + "]", and a file name may hold a "]" of its own.
    const std::size_t close = line.rfind(']');
    if (!line.empty() && line[0] == '[' && close != std::string::npos && close > 0)
      names.insert(line.substr(1, close - 1));
  }
  return names;
}

bool NoteCarrier::Carry(std::string_view name, const std::string &toFolder, std::string_view toName,
                        bool move) {
  std::set<std::string> &from = Sections(from_);
  std::set<std::string> &to = Sections(toFolder);
  // The section of the file itself, and those of its members should it be an archive.
  auto owned = [](const std::set<std::string> &names, std::string_view file) {
    std::vector<std::string> out;
    const std::string plain = NoteSection("", file), prefix = NoteSection(file, "");
    if (names.count(plain)) out.push_back(plain);
    for (auto it = names.lower_bound(prefix); it != names.end() && it->starts_with(prefix); ++it)
      out.push_back(*it);
    return out;
  };
  const std::string plain = NoteSection("", name), prefix = NoteSection(name, "");
  const std::string toPrefix = NoteSection(toName, "");
  auto renamed = [&](const std::string &section) {
    return section == plain ? NoteSection("", toName) : toPrefix + section.substr(prefix.size());
  };
  const std::vector<std::string> carried = owned(from, name);
  const std::vector<std::string> replaced = owned(to, toName);
  if (carried.empty() && replaced.empty()) return true;

  CLockedIniFile source, target;
  OpenNoteFile(source, from_);
  OpenNoteFile(target, toFolder);
  bool ok = true;
  for (const std::string &section : replaced) {
    bool overwritten = false;
    for (const std::string &c : carried) overwritten = overwritten || renamed(c) == section;
    if (overwritten) continue;
    if (target.RemoveSection(section))
      to.erase(section);
    else
      ok = false;
  }
  for (const std::string &section : carried) {
    std::string value;
    if (source.GetRawValue(section, kNoteKey, value) != 0) continue;
    const std::string newSection = renamed(section);
    if (!target.SetValue(newSection, kNoteKey, value)) {
      ok = false;
      continue;
    }
    to.insert(newSection);
    if (move && source.RemoveSection(section)) from.erase(section);
  }
  return ok;
}

bool NoteCarrier::MoveLeftovers(const std::string &toFolder) {
  sections_.erase(from_);  // read again: what is left is what counts
  std::set<std::string> &from = Sections(from_);
  std::set<std::string> &to = Sections(toFolder);
  CLockedIniFile source, target;
  OpenNoteFile(source, from_);
  OpenNoteFile(target, toFolder);
  for (auto it = from.begin(); it != from.end();) {
    const std::string section = *it++;
    // A plain file's section is ":" + name, a member's archive + ":" + member.
    const std::size_t colon = section.find(':');
    const std::string owner = DecodeNote(colon == 0 ? section.substr(1) : section.substr(0, colon));
    struct stat st {};
    if (to.count(section) || owner.empty() || ::lstat(JoinPath(toFolder, owner).c_str(), &st) == 0) continue;
    std::string value;
    if (source.GetRawValue(section, kNoteKey, value) != 0 || !target.SetValue(section, kNoteKey, value))
      continue;
    to.insert(section);
    if (source.RemoveSection(section)) from.erase(section);
  }
  return !IsRegularFile(source.path());
}

void ReadEntryNote(CPicEntry &entry) {
  if (entry.noteRead) return;
  std::string note;
  ReadNote(entry.Folder(), entry.ArchiveName(), entry.name, note);
  entry.SetNote(std::move(note));
  entry.noteRead = true;
}

std::string BuildQevxNoteBlock(const std::vector<std::string> &notes) {
  std::string block;
  for (const std::string &n : notes) {
    block.append(n.c_str(), strnlen(n.c_str(), n.size()));
    block += '\0';
  }
  block += '\0';
  return block;
}

std::string BuildQevxNoteBlock(CRXDoc &doc) {
  std::vector<std::string> notes;
  const int count = doc.GetEntryCount();
  for (int i = 0; i < count; ++i) {
    CPicEntry *e = doc.GetEntry(i);
    if (!e || !e->IsSelected() || e->IsArchiveMember()) continue;
    ReadEntryNote(*e);
    notes.push_back(e->Note());
  }
  return BuildQevxNoteBlock(notes);
}

std::vector<std::string> ParseQevxNoteBlock(const void *data, std::size_t size, int expected) {
  std::vector<std::string> notes;
  const char *p = static_cast<const char *>(data);
  if (!p) size = 0;
  std::size_t at = 0;
  while (expected < 0 || static_cast<int>(notes.size()) < expected) {
    if (at >= size) break;
    std::size_t n = strnlen(p + at, size - at);
    if (n == 0 && expected < 0) break;
    notes.emplace_back(p + at, n);
    at += n + 1;
  }
  // Files beyond what the block holds get no note.
  if (expected > 0 && static_cast<int>(notes.size()) < expected)
    notes.resize(static_cast<std::size_t>(expected));
  return notes;
}

}  // namespace tamro
