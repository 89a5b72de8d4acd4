#pragma once

// Name macros: "$(PicName)" and its relatives turn one picture entry into text for
// captions, the report file, print definitions and external programs.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class CPicEntry;

// Position of the built-in JPEG decoder; "$(CP)" asks the description library only for
// pictures it reads.
inline constexpr int kBuiltinJpegDecoder = 1001;

// How values are written into the text.
enum class MacroEscape {
  kNone,
  // For a command line: a double quote becomes the triple quote that the command
  // splitting reads as one literal quote, so a file name cannot end the quoted run it
  // stands in.
  kCommandLine,
};

// The format with every name macro replaced by the entry's value. The 20 macros are
// tried in their fixed order, each long form before its short form; a value inserted by
// one macro is searched by the later ones (a note holding "$(TD)" shows the date), never
// by the macro that inserted it. Without an entry every value is empty except the
// current date and time. Unknown tokens stay as they are. The entry's note is read from
// its folder's note file the first time a note macro is expanded for it, and only then.
// Values are read from the entry itself; `escape` applies only to what is inserted.
// With `reads` kCachedOnly a macro that opens the picture file ("$(CP)") gives what was read
// for the entry before, or nothing: captions are painted often and never wait on a file.
enum class MacroReads { kReadFiles, kCachedOnly };
std::string ExpandMacros(CPicEntry *entry, std::string_view format, MacroEscape escape = MacroEscape::kNone,
                         MacroReads reads = MacroReads::kReadFiles);

// What the expansion of a format reads beyond the entry's listed file facts.
enum MacroNeed : unsigned {
  kNeedsPictureFacts = 1,  // decoder, width, height, depth or information text
  kNeedsNote = 2,
  kReadsPicture = 4,    // opens the picture file itself ("$(CP)")
  kNeedsFileFacts = 8,  // the file's size or last-write time
};
// The needs of the macros `format` holds. A value may itself hold a token that a later
// macro expands (a file named "$(W).jpg"); MayInsertMacros tells when that can happen.
unsigned MacroNeeds(std::string_view format);
// Whether expanding `format` for `entry` can insert a name that holds "$(" before the
// picture facts are expanded.
bool MayInsertMacros(const CPicEntry &entry, std::string_view format);

// The dialogs' macro menus.
enum class MacroMenu { kReport, kArguments, kFolder };
struct MacroMenuItem {
  std::string_view label;
  std::string_view macro;  // the long form; empty for a separator
};
std::vector<MacroMenuItem> MacroMenuItems(MacroMenu menu);

// The current date and time as the user's locale writes them.
std::string TodayDateText();
std::string TodayTimeText();

// Digits of an exact byte count grouped by three: 12345678901 gives "12,345,678,901".
std::string GroupDigits(uint64_t value);

// A byte count as "99.9KB": divided by 1024 while it is 1000 or more (at most up to
// `lastUnit`, -1 meaning "TB"), written with `decimals` digits after the point (below 0
// counts as 0), grouped, and followed by "B", "KB", "MB", "GB" or "TB" when `withUnit`.
// `firstUnit` is the unit the count is already in. The count is low + high * 2^32.
std::string FormatByteCount(uint32_t low, uint32_t high, bool withUnit, int decimals, int firstUnit,
                            int lastUnit);

// A number with "," between groups of three integer digits: 1234.5 gives "1,234.5".
// With `decimals` of 0 or more the value is first rounded to that many digits. At most
// ten significant digits, no trailing zeros, never an exponent.
std::string GroupThousands(double value, int decimals = -1);

// Bits of PathPart's mask.
enum PathPartMask : unsigned {
  kPathDrive = 1,   // always empty here: there are no drive letters
  kPathFolder = 2,  // up to and including the last "/"
  kPathName = 4,    // file name without its extension
  kPathExt = 8,     // the extension with its "."
};

// The parts of a path selected by `mask`, joined in drive, folder, name, extension
// order. Drive plus folder (mask 3) drops the trailing "/" unless the folder is the root.
std::string PathPart(std::string_view path, unsigned mask);

}  // namespace tamro
