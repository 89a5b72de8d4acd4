#pragma once

#include <string_view>

namespace tamro {

// A folder search pattern as the file-find service reads it: the plug-in host's wildcard
// match ("*", "?" for one character, ASCII case ignored), except that a pattern ending in
// ".*" also matches names without a dot ("*.*" matches every name).
bool SearchPatternMatch(std::string_view pattern, std::string_view name);

}  // namespace tamro
