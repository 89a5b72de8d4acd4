#pragma once

// Writing archive members out as plain files: the selected members (or whole archives
// listed as plain files) into a folder the user names, flattened, with the members' times.

#include <cstdint>
#include <string>
#include <string_view>

namespace tamro {

class CPicEntry;
class CRXDoc;
class DecoderAccess;

inline constexpr char kUnpackSection[] = "Folder";
inline constexpr char kUnpackKey[] = "Unpack";

// The message of a file error: -1 and the causes 1 to 14; null for 0 and anything else.
const char *FileErrorText(int code);
// The cause number (1 to 14) of a system error number; 1 for one without its own cause.
int FileErrorCause(int error);

// Writes one member to `destination` with `size` bytes (the whole block when the plug-in
// hands over more than 4 bytes beyond it, never more than the block holds) and gives it
// the time stamp (seconds since 1970). The bytes go to a temporary file beside it that
// replaces any file of that name only when complete. 0 on success and when the plug-in
// could not extract the member; otherwise the cause of the failed create, write, close or
// time setting.
int ExtractArchiveMember(DecoderAccess &decoders, int archiveDecoderIndex, const std::string &archivePath,
                         uint32_t position, const std::string &destination, uint64_t size, int64_t timeStamp);

// Writes every member of an archive directly into `destinationFolder` (inner folders are
// dropped; a later member of the same name wins). 0 when done or when no plug-in reads
// the archive; the first non-zero result of ExtractArchiveMember otherwise.
int ExtractArchiveFile(DecoderAccess &decoders, const std::string &archivePath,
                       const std::string &destinationFolder);

// Whether the context menu offers unpacking for an entry: a member, or a plain file that
// no picture decoder reads, with a size above 0.
bool CanUnpackEntry(const CPicEntry *entry);
bool CanUnpackSelected(CRXDoc &doc);

// The main menu's unpack command over the selected entries: asks the destination (a
// relative one is taken under the document's folder), creates it, and writes with a
// progress window. Answers 0, the file error that ended the run (shown to the user), or -1
// when cancelled or the folder could not be made.
int UnpackSelected(CRXDoc &doc);
// The context menu's command for the entry at a visible index, into a folder chosen by
// the user; no progress window, the folder is not created. Same answers.
int UnpackEntry(CRXDoc &doc, int visibleIndex);

// The folder input dialog shared by commands that ask for a folder.
struct CFolderInput {
  static constexpr const char *kBrowseTitle = "フォルダの選択";
  std::string title;  // replaces "フォルダ" in the template
  std::string prompt;
  std::string folder;  // the edit box
  // The browse button's answer: a non-empty one replaces the edit box.
  void Browsed(std::string_view chosen) {
    if (!chosen.empty()) folder = std::string(chosen);
  }
};

}  // namespace tamro
