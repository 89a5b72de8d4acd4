#include "catalogue/wildcard.h"

#include "decode/spihost.h"

namespace tamro {

bool SearchPatternMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (SpiWildcardMatch(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos)
    return SpiWildcardMatch(pattern.substr(0, pattern.size() - 2), name);
  return false;
}

}  // namespace tamro
