#pragma once

// Member names as archives store them, made into UTF-8 folder and file names.

#include <string>
#include <string_view>

#include "platform/text.h"

namespace tamro::plugin::archive {

// A stored name as UTF-8: kept when it already is valid UTF-8, otherwise read as CP932
// (old Japanese archivers write CP932 without saying so); bytes that are neither become "?".
std::string NameToUtf8(std::string_view raw);

// Splits an inner path into its folder (ending in "/", empty at the top) and its file name.
// Backslashes count as separators; empty, "." and ".." components are dropped, so the
// result never climbs out of a destination folder.
void SplitMemberPath(std::string_view utf8, std::string &folder, std::string &name);

// The longest prefix of `text` of at most `limit` bytes that ends on a character boundary.
std::string_view Utf8Cut(std::string_view text, size_t limit);

// A file name of at most `limit` bytes: a longer one loses the end of its stem, not its
// extension, so the cut name still says what it holds.
std::string CutFileName(std::string_view name, size_t limit);

}  // namespace tamro::plugin::archive
