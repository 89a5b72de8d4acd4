#pragma once

// Notes: a free text per picture, kept in "_NOTE_.RXI" beside the pictures. Each noted
// picture has a section named archive name + ":" + file name (so a plain file's section
// starts with ":") with the key "Note". A note of several lines stays on one line of the
// file: CR is stored as the byte 0x04 and LF as 0x05.
//
// Notes travel with copied files on the clipboard as "CF_QEVxNOTE": for each copied plain
// file, in order, its note followed by one zero byte, and one more zero byte at the end.

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class CPicEntry;
class CRXDoc;

inline constexpr char kNoteFileName[] = "_NOTE_.RXI";
inline constexpr char kQevxNoteFormat[] = "CF_QEVxNOTE";
inline constexpr char kQevxNoteMimeType[] = "application/x-qevxnote";

// CR to 0x04 and LF to 0x05, and back.
std::string EncodeNote(std::string_view text);
std::string DecodeNote(std::string_view stored);
// The section of a picture. Line ends in names are mapped like those of notes, and names
// that are not UTF-8 are converted, so that one odd name cannot spoil the file's text.
std::string NoteSection(std::string_view archive, std::string_view name);

// 0 and the note when the picture has one, else -1 and an empty text.
int ReadNote(const std::string &folder, std::string_view archive, std::string_view name, std::string &text);
// Stores the note; an empty text deletes it (and a file left without lines).
bool WriteNote(const std::string &folder, std::string_view archive, std::string_view name,
               std::string_view text);
bool DeleteNote(const std::string &folder, std::string_view archive, std::string_view name);

// Carries notes file by file from one folder's note file to others, as a folder's files are
// copied or moved (the note file itself is never copied: the destination may hold notes of its
// own). Each note file's section names are read once.
class NoteCarrier {
 public:
  explicit NoteCarrier(std::string from);

  // `name` of the source folder was written as `toName` in `toFolder`: the notes `toName` had
  // there go with the file it replaced, and the file's own note and, for an archive, its
  // members' notes follow it. On a move they leave the source once the destination holds them.
  // False when a note could not be carried.
  bool Carry(std::string_view name, const std::string &toFolder, std::string_view toName, bool move);
  // After a move left nothing but Tamro's own files in the source: the notes still there (of
  // files gone meanwhile) join `toFolder`'s when it has neither a note nor a file of that
  // name. True when the source keeps no notes.
  bool MoveLeftovers(const std::string &toFolder);

 private:
  std::set<std::string> &Sections(const std::string &folder);

  std::string from_;
  std::map<std::string, std::set<std::string>> sections_;  // by folder
};

// Reads the entry's note into it once; later calls keep what it has.
void ReadEntryNote(CPicEntry &entry);

// The clipboard block of these notes.
std::string BuildQevxNoteBlock(const std::vector<std::string> &notes);
// The block of the selected plain entries of the document, in display order (notes not
// read yet are read first).
std::string BuildQevxNoteBlock(CRXDoc &doc);
// The notes of a block. With `expected` >= 0 exactly that many are taken (the number of
// files that came with it), so an empty note in the middle does not end the list; with -1
// the list ends at the first empty note. Nothing is read past `size`; a block cut short
// gives what it holds.
std::vector<std::string> ParseQevxNoteBlock(const void *data, std::size_t size, int expected = -1);

}  // namespace tamro
