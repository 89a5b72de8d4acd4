#pragma once

#include <string>
#include <string_view>

namespace tamro {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view s);

// Converts Shift-JIS (code page 932) bytes to UTF-8. Each byte that does not convert becomes
// `replacement`, so the result is always valid UTF-8.
std::string Cp932ToUtf8(std::string_view s, std::string_view replacement = "\xEF\xBF\xBD");

// Converts UTF-8 to code page 932; characters it cannot hold become "?". Empty on bad UTF-8.
std::string Utf8ToCp932(std::string_view s);

// Text from files that older installations may have written: UTF-8 when it is valid,
// otherwise taken as code page 932.
std::string LegacyToUtf8(std::string_view s);

// ASCII-only case folding and comparisons; bytes of 0x80 and above compare as they are,
// so multibyte text is never split or folded.
char AsciiLower(char c);
std::string AsciiLower(std::string_view s);
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

// Blanks (space, tab, CR, LF) removed from both ends.
std::string_view TrimBlanks(std::string_view s);

}  // namespace tamro
