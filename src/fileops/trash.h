#pragma once

#include <string>

namespace tamro {

enum TrashResult : int {
  kTrashed = 0,       // the file is in a trash folder with its information file
  kTrashNoTrash = 1,  // no trash folder on the file's file system could be used
  kTrashFailed = 2,   // a trash was there but the file could not be put into it (errno)
};

// Moves a file, link or folder into the freedesktop.org trash: the home trash
// ($XDG_DATA_HOME/Trash) when it lies on the same file system, else the trash at the top of
// the file's mount ($top/.Trash/$uid when the administrator made a sticky .Trash, else
// $top/.Trash-$uid). The information file (Path= percent-encoded, DeletionDate=) is written
// first and claims the name, so two deletions of the same name never collide. Nothing is
// ever copied: a file that cannot be renamed into a trash stays where it is.
int MoveToTrash(const std::string &path);

// One deletion for the picture window and the folder tree: into the trash when `toTrash`,
// else for good (a folder with everything in it). Success means the path is gone.
bool ShellDelete(const std::string &path, bool toTrash);

// The home trash folder ($XDG_DATA_HOME/Trash, ~/.local/share/Trash by default).
std::string HomeTrashFolder();

// Path text as the information file holds it: bytes outside the unreserved set and "/"
// as %XX.
std::string TrashPathEncode(const std::string &path);

}  // namespace tamro
