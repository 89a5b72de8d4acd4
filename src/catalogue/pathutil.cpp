#include "catalogue/pathutil.h"

#include <sys/stat.h>

namespace tamro {

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string p;
  p.reserve(folder.size() + 1 + name.size());
  p.append(folder);
  if (p.empty() || p.back() != '/') p += '/';
  p.append(name);
  return p;
}

std::string_view DirPart(std::string_view path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

std::string_view NamePart(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view TrimTrailingSlash(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

bool IsDirectory(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool LastWriteSeconds(const std::string &path, long long &seconds) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  seconds = static_cast<long long>(st.st_mtim.tv_sec);
  return true;
}

}  // namespace tamro
