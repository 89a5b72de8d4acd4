#pragma once

// Paths the user types. A relative one is taken from the folder the user is looking at,
// never from the process's working directory, which the program neither reads nor changes.

#include <string>

namespace tamro {

// `text` made absolute against `base` and normalised, without a trailing "/" ("/" itself
// stays). Empty when `text` is empty or holds a NUL byte, or is relative while `base` is
// not absolute.
std::string ResolvePath(const std::string &text, const std::string &base);

}  // namespace tamro
