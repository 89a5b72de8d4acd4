#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class ProgressWindow;

// One source of a copy or move: "\"path\",\"note\"", written and read with the comma-list
// field operations.
std::string MakeTransferRecord(std::string_view path, std::string_view note);

// What one copy or move run carries from file to file.
struct TransferContext {
  int onlyExisting = 0;    // 1: only files that have a namesake at the destination
  int isMove = 0;          // 0 copy, 1 move
  int applyToAll = 0;      // "以降全て(&A)" was pressed in this run
  int sameNameAction = 0;  // the action chosen last
  ProgressWindow *progress = nullptr;
  // Where the last file step wrote, when it really wrote (else empty): the note goes there.
  std::string written;
};

// Copies or moves the sources of `records` into `destination` (made absolute, created after a
// question when missing) with a progress window, asking about namesakes. Notes travel with
// the files that were written. Answers the number of files written, a folder adding 1 when it
// was made at the destination or received anything. Tamro's own files (notes, caches, locks,
// temporaries) are never transferred as files.
int TransferFiles(const std::string &destination, const std::vector<std::string> &records, int onlyExisting,
                  int isMove);
// 1 transferred, 0 not transferred (also a failure the user ignored), -1 stop the whole run.
int TransferFile(const std::string &source, const std::string &destination, TransferContext &context);
// Merges a folder into `destination`: each picture's notes follow it into the destination's
// note file. The count, or -1 to stop the whole run.
int TransferFolder(const std::string &source, const std::string &destination, TransferContext &context);

// The file operations underneath, with errno set on failure. The destination is replaced
// only by a complete copy (written under a temporary name beside it, flushed, then renamed
// over it); the copy keeps the source's modification time and permission bits.
bool CopyFileSafely(const std::string &source, const std::string &destination);
// A rename; across file systems a complete, flushed copy first and the source deleted after.
bool MoveFileSafely(const std::string &source, const std::string &destination);

// The absolute form of a folder text, or "" when it cannot be made. A relative text is
// taken from `base` (the folder shown), never from the process's working directory, so
// without an absolute base it cannot be made.
std::string AbsoluteFolder(const std::string &text, const std::string &base = {});

}  // namespace tamro
