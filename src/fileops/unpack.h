#pragma once

// Writing archive members out as plain files: the selected members (or whole archives
// listed as plain files) into a folder the user names, flattened, with the members' times.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace tamro {

class CPicEntry;
class CRXDoc;
class PictureDecoders;

inline constexpr char kUnpackSection[] = "Folder";
inline constexpr char kUnpackKey[] = "Unpack";

// The message of a file error: -1 and the causes 1 to 14; null for 0 and anything else.
const char *FileErrorText(int code);
// The cause number (1 to 14) of a system error number; 1 for one without its own cause.
int FileErrorCause(int error);

// Answers of the unpack steps besides 0 (written) and the file error causes.
enum UnpackResult : int {
  kUnpackUnreadable = -2,   // the plug-in could not give the member (damaged data, ...)
  kUnpackTooLarge = -3,     // the member is more than the plug-in hands over at once
  kUnpackOverArchive = -4,  // the member would replace the archive it is read from
  kUnpackSkipped = -5,      // the same-name answer kept the file that was there
  kUnpackCancelled = -6,    // the same-name question was cancelled: the run ends
};
// FileErrorText, and the texts of the failures above; null for success, a skip, a cancel.
const char *UnpackErrorText(int code);

// Writes one member to `destination` with `size` bytes (the whole block when the plug-in
// hands over more than 4 bytes beyond it, never more than the block holds) and gives it
// the time stamp (seconds since 1970). The bytes go to a temporary file beside it that
// replaces any file of that name only when complete; the archive itself is never replaced.
// 0 when written; kUnpackUnreadable, kUnpackTooLarge or kUnpackOverArchive; otherwise the
// cause of the failed create, write or time setting.
int ExtractArchiveMember(PictureDecoders &decoders, int archiveDecoderIndex, const std::string &archivePath,
                         uint32_t position, const std::string &destination, uint64_t size, int64_t timeStamp);

// One run of an unpack command. Members land in the destination folder under their own
// names (the archive's inner folders dropped); files that were there before the run are
// replaced without a question, unless `askAboutExisting`. A file this run has written
// already is never replaced silently by another member of that name: that one goes
// through the same-name question (its answer may apply to all following).
class UnpackRun {
 public:
  explicit UnpackRun(PictureDecoders &decoders, bool askAboutExisting = false)
      : decoders_(decoders), askAboutExisting_(askAboutExisting) {}

  // One member. 0 when written (or when its name names no file), kUnpackSkipped,
  // kUnpackCancelled, or a failure (UnpackErrorText). `written` gets the path written.
  int Member(int archiveDecoderIndex, const std::string &archivePath, uint32_t position,
             std::string_view name, uint64_t size, int64_t timeStamp, const std::string &folder,
             std::string *written = nullptr);
  // Every member of an archive. 0 when done or when no plug-in reads the archive; the
  // first failure or a cancel ends the walk and is the answer.
  int Archive(const std::string &archivePath, const std::string &folder);

 private:
  PictureDecoders &decoders_;
  bool askAboutExisting_;
  std::set<std::pair<unsigned long long, unsigned long long>> written_;  // device, inode
  int action_ = 0;
  bool applyToAll_ = false;
};

// Writes every member of an archive directly into `destinationFolder` as one run of its
// own (see UnpackRun::Archive).
int ExtractArchiveFile(PictureDecoders &decoders, const std::string &archivePath,
                       const std::string &destinationFolder);

// Whether the context menu offers unpacking for an entry: a member, or a plain file that
// no picture decoder reads, with a size above 0.
bool CanUnpackEntry(const CPicEntry *entry);
bool CanUnpackSelected(CRXDoc &doc);

// The main menu's unpack command over the selected entries: asks the destination (a
// relative one is taken under the document's folder), creates it, and writes with a
// progress window. Answers 0, the failure that ended the run (shown to the user), or -1
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
