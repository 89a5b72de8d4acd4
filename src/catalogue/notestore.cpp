#include "catalogue/notestore.h"

#include <cstring>

#include "catalogue/lockedinifile.h"
#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
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
