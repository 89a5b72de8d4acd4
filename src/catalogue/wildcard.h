#pragma once

#include <string_view>

namespace tamro {

// "*" matches any run of characters, "?" one character (a whole UTF-8 sequence); letters
// match ignoring ASCII case.
bool NameMatchesWildcard(std::string_view pattern, std::string_view name);

// A folder search pattern as the file-find service reads it: like NameMatchesWildcard, except that
// a pattern ending in ".*" also matches names without a dot ("*.*" matches every name).
bool SearchPatternMatch(std::string_view pattern, std::string_view name);

// An extension list ("*.jpg;*.jpeg"): the name matches when it matches one element, the
// parts before and after the last "." compared separately; a name without "." matches only
// an element without "." and the reverse.
bool NameMatchesExtensionList(std::string_view list, std::string_view name);

}  // namespace tamro
