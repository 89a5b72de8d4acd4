#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class Profile;

// Folder of the running executable (from /proc/self/exe), without a trailing "/".
std::string ExecutableFolder();

// Absolute, normalised form of a path with one trailing "/" dropped (the root stays "/").
// Components keep the names the file system gives them; there are no short names here.
std::string GetLongFolderPath(std::string_view path);

// `SPI`/`SPIDIR`; empty or "$(ExeDir)" means the executable's folder.
std::string LookupPluginFolder(const Profile &profile, std::string_view exeFolder);

// True when an argument is the switch "nologo" after "/" or "-", in exactly that case.
bool HasNoLogoSwitch(const std::vector<std::string> &args);

// The folder (or file) to open at start. `args` are the command-line arguments without the
// program name. The first argument that is not a switch is taken whole (the shell already
// removed any quotes) in its long form; otherwise `RXDoc`/`HomeFolder` ("$(ExeDir)" = the
// executable's folder, empty = the current folder), replaced by `DrvView`/`Path` when
// `RXDoc`/`RestoreFolder` is on.
std::string ChooseStartingFolder(const std::vector<std::string> &args, const Profile &profile,
                                 std::string_view exeFolder, std::string_view currentFolder);

}  // namespace tamro
