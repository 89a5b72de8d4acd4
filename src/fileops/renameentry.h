#pragma once

#include <string_view>

namespace tamro {

class CPicEntry;
class CRXDoc;

// Whether `name` can stand as a file name inside one folder: not empty, not "." or "..",
// and without "/" (which would move the file elsewhere) or a zero byte.
bool IsPlainFileName(std::string_view name);

// Renames one plain file inside its folder and makes the entry follow: its record in the
// thumbnail store is dropped, its note moves to the new name and the entry takes the new
// name. 0 on success; -1 for an archive member, a missing file, a name that is no plain
// file name, a new path naming the same file, a name already taken (nothing is ever
// replaced) or a refusal of the system. With a document the entry is changed under its
// entry lock and its thumbnail store is told.
int RenameEntryFile(CPicEntry &entry, std::string_view newName, CRXDoc *doc = nullptr);

}  // namespace tamro
