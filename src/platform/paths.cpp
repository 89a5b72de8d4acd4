#include "platform/paths.h"

#include <filesystem>

namespace tamro {

std::string ResolvePath(const std::string &text, const std::string &base) {
  namespace fs = std::filesystem;
  if (text.empty() || text.find('\0') != std::string::npos) return {};
  fs::path p(text);
  if (p.is_relative()) {
    if (base.find('\0') != std::string::npos || !fs::path(base).is_absolute()) return {};
    p = fs::path(base) / p;
  }
  std::string out = p.lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace tamro
