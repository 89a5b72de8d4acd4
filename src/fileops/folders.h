#pragma once

#include <string>
#include <string_view>

namespace tamro {

// Answers true when the folder exists or was created. Unless `quiet`, a missing folder is
// first offered for creation with a Yes/No question, and a creation that fails after a Yes
// is reported. Missing parents are created along the way.
bool EnsureFolder(const std::string &path, bool quiet);

// Files below `folder` whose names match `pattern` (wildcards, case ignored); every matching
// sub-folder counts 1 plus its contents down to `depth` levels (-1: no limit, 0: this folder
// only). "." and ".." are not counted; symbolic links to folders count 1 and are not entered.
int CountFiles(const std::string &folder, std::string_view pattern, int depth);

// Deletes one file (never a folder). A file that is already gone counts as deleted; a
// read-only file is made writable and tried again.
bool DeleteFileForced(const std::string &path);

// Deletes every non-folder match of `pattern` (wildcards in the name part, case ignored; a
// name without wildcards names exactly one file). Keeps listing after a failure but stops
// deleting; true when all deletions succeeded, also when nothing matched.
bool DeleteMatching(const std::string &pattern);

// True when both paths exist and name the same file (same device and inode).
bool SameFile(const std::string &a, const std::string &b);

// "%s(%d)%s": the first free numbered name for `path`, n from 2 ("a.jpg" -> "a(2).jpg").
std::string NumberedFreeName(const std::string &path);

}  // namespace tamro
