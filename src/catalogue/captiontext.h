#pragma once

#include <string>
#include <string_view>

namespace tamro {

class CPicEntry;

// Turns one caption line of the name format into the text drawn for an entry. The output
// layer installs the full name-macro expander; until it does, only "$(PicName)" is known.
using CaptionExpander = std::string (*)(const CPicEntry *entry, std::string_view format);

// Installs `expander` (null puts the built-in one back); answers the previous one.
CaptionExpander SetCaptionExpander(CaptionExpander expander);
std::string ExpandCaption(const CPicEntry *entry, std::string_view format);

// The built-in expander: every "$(PicName)" becomes the entry's name (empty without one).
std::string ExpandPicNameOnly(const CPicEntry *entry, std::string_view format);

}  // namespace tamro
