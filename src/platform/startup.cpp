#include "platform/startup.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/profile.h"

namespace tamro {

namespace {

bool IsSwitch(std::string_view a, std::string_view word) {
  return a.size() == word.size() + 1 && (a[0] == '/' || a[0] == '-') && a.substr(1) == word;
}

}  // namespace

std::string ExecutableFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

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
  if (dir.empty() || dir == "$(ExeDir)") return std::string(exeFolder);
  return dir;
}

bool HasNoLogoSwitch(const std::vector<std::string> &args) {
  for (const auto &a : args)
    if (IsSwitch(a, "nologo")) return true;
  return false;
}

std::string ChooseStartingFolder(const std::vector<std::string> &args, const Profile &profile,
                                 std::string_view exeFolder, std::string_view currentFolder) {
  for (const auto &a : args) {
    // "/nologo" would otherwise be taken for a folder of that name at the root.
    if (a.empty() || IsSwitch(a, "nologo") || a[0] == '-') continue;
    return GetLongFolderPath(a);
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
