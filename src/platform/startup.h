#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class Profile;

// Folder of the running executable (from /proc/self/exe), without a trailing "/".
std::string ExecutableFolder();

// Folder of Tamro's own shared libraries and plug-ins for an executable in `exeFolder`: that
// folder itself when the libraries lie beside it (the build folder), else "../lib/tamro" from
// it when that exists (an installed tree), else the executable's folder.
std::string ProgramLibraryFolder(std::string_view exeFolder);
// The same for the running executable.
std::string LibraryFolder();

// Absolute, normalised form of a path with one trailing "/" dropped (the root stays "/").
// Components keep the names the file system gives them; there are no short names here.
std::string GetLongFolderPath(std::string_view path);

// Folder of Tamro's shared data (example templates) for an executable in `exeFolder`:
// "../share/tamro" from it, in an installed tree and in the build folder alike. Empty when
// there is none.
std::string ProgramDataFolder(std::string_view exeFolder);
// The same for the running executable.
std::string DataFolder();

// Folder of the user guide, "../share/doc/tamro" from the executable's folder, found the same
// way. Empty when there is none.
std::string ProgramDocFolder(std::string_view exeFolder);
std::string DocFolder();

// `SPI`/`SPIDIR`; empty or "$(ExeDir)" means the program's own plug-in folder, the library
// folder of the executable in `exeFolder`.
std::string LookupPluginFolder(const Profile &profile, std::string_view exeFolder);

// True when an argument is the switch "nologo" after "/" or "-", in exactly that case.
bool HasNoLogoSwitch(const std::vector<std::string> &args);

// A command-line argument as a path: a "file:" URL (as a desktop entry's %U hands it over)
// becomes the local path it names, empty when it names another host; anything else is a
// path already.
std::string CommandLinePath(std::string_view arg);

// The folder (or file) to open at start. `args` are the command-line arguments without the
// program name. The first argument that is not a switch is taken whole (the shell already
// removed any quotes; a "file:" URL stands for its path) in its long form; otherwise
// `RXDoc`/`HomeFolder` ("$(ExeDir)" = the executable's folder, empty = the current folder),
// replaced by `DrvView`/`Path` when `RXDoc`/`RestoreFolder` is on.
std::string ChooseStartingFolder(const std::vector<std::string> &args, const Profile &profile,
                                 std::string_view exeFolder, std::string_view currentFolder);

}  // namespace tamro
