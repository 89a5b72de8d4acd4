#include "platform/startup.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/profile.h"

namespace tamro {

namespace {

bool IsSwitch(std::string_view a, std::string_view word) {
  return a.size() == word.size() + 1 && (a[0] == '/' || a[0] == '-') && a.substr(1) == word;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsThisHost(std::string_view host) {
  if (host.empty() || host == "localhost") return true;
  char name[256] = {};
  return gethostname(name, sizeof name - 1) == 0 && host == name;
}

}  // namespace

std::string ExecutableFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

std::string ProgramLibraryFolder(std::string_view exeFolder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exe(exeFolder);
  // Every program links the global-memory library, so where it lies the plug-ins lie too.
  if (fs::exists(exe / TAMRO_GLOBALMEM_FILE, ec)) return std::string(exeFolder);
  const fs::path installed = (exe / TAMRO_LIBDIR_FROM_BINDIR).lexically_normal();
  if (fs::is_directory(installed, ec)) {
    std::string s = installed.string();
    if (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
  }
  return std::string(exeFolder);
}

std::string LibraryFolder() { return ProgramLibraryFolder(ExecutableFolder()); }

namespace {

std::string FolderFromBin(std::string_view exeFolder, const char *relative) {
  std::error_code ec;
  const std::filesystem::path data = (std::filesystem::path(exeFolder) / relative).lexically_normal();
  if (!std::filesystem::is_directory(data, ec)) return {};
  std::string s = data.string();
  if (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

std::string ProgramDataFolder(std::string_view exeFolder) {
  return FolderFromBin(exeFolder, TAMRO_DATADIR_FROM_BINDIR);
}

std::string DataFolder() { return ProgramDataFolder(ExecutableFolder()); }

std::string ProgramDocFolder(std::string_view exeFolder) {
  return FolderFromBin(exeFolder, TAMRO_DOCDIR_FROM_BINDIR);
}

std::string DocFolder() { return ProgramDocFolder(ExecutableFolder()); }

std::string GetLongFolderPath(std::string_view path) {
  if (path.empty()) return {};
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
  if (ec) p = std::filesystem::path(path);
  std::string s = p.lexically_normal().string();
  if (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string LookupPluginFolder(const Profile &profile, std::string_view exeFolder) {
  std::string dir = profile.GetString("SPI", "SPIDIR", "");
  if (dir.empty() || dir == "$(ExeDir)") return ProgramLibraryFolder(exeFolder);
  return dir;
}

bool HasNoLogoSwitch(const std::vector<std::string> &args) {
  for (const auto &a : args)
    if (IsSwitch(a, "nologo")) return true;
  return false;
}

std::string CommandLinePath(std::string_view arg) {
  if (!StartsWithNoCase(arg, "file:")) return std::string(arg);
  std::string_view rest = arg.substr(5);
  rest = rest.substr(0, std::min(rest.find_first_of("?#"), rest.size()));
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const std::size_t slash = std::min(rest.find('/'), rest.size());
    if (!IsThisHost(rest.substr(0, slash))) return {};
    rest.remove_prefix(slash);
  }
  std::string path;
  path.reserve(rest.size());
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const int hi = rest[i] == '%' && i + 2 < rest.size() ? HexDigit(rest[i + 1]) : -1;
    const int lo = hi >= 0 ? HexDigit(rest[i + 2]) : -1;
    if (lo >= 0) {
      path += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      path += rest[i];
    }
  }
  return path;
}

std::string ChooseStartingFolder(const std::vector<std::string> &args, const Profile &profile,
                                 std::string_view exeFolder, std::string_view currentFolder) {
  for (const auto &a : args) {
    // "/nologo" would otherwise be taken for a folder of that name at the root.
    if (a.empty() || IsSwitch(a, "nologo") || a[0] == '-') continue;
    const std::string path = CommandLinePath(a);
    if (!path.empty()) return GetLongFolderPath(path);
  }
  std::string folder = profile.GetString("RXDoc", "HomeFolder", "");
  if (folder == "$(ExeDir)")
    folder = std::string(exeFolder);
  else if (folder.empty())
    folder = std::string(currentFolder);
  if (profile.GetInt("RXDoc", "RestoreFolder", 1) != 0) folder = profile.GetString("DrvView", "Path", folder);
  return folder;
}

}  // namespace tamro
