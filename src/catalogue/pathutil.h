#pragma once

#include <string>
#include <string_view>

namespace tamro {

// folder + "/" + name, without doubling a "/" that the folder already ends with.
std::string JoinPath(std::string_view folder, std::string_view name);
// The folder part ("/" for a file in the root; empty when there is no "/") and the name part.
std::string_view DirPart(std::string_view path);
std::string_view NamePart(std::string_view path);
// Drops trailing "/" (the root stays "/").
std::string_view TrimTrailingSlash(std::string_view path);
bool HasWildcard(std::string_view text);

bool IsDirectory(const std::string &path);
bool IsRegularFile(const std::string &path);
// Last-write time in whole seconds, or false when the file cannot be looked at.
bool LastWriteSeconds(const std::string &path, long long &seconds);

}  // namespace tamro
