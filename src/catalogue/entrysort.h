#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/sortstate.h"

namespace tamro {

class CPicEntry;

// Compares two entries for a sort key: below 0 when `a` goes first. `ia` and `ib` are their
// places in the listing (the order of state 0); `nameA`/`nameB` their decoder names, used
// only by the decoder column. Equal keys compare equal, so the comparison is a strict weak
// order and a stable sort keeps the order of an earlier key among them. With `natural`
// the name and extension columns compare runs of digits by their value ("img2" before
// "img10"; "img02" equals "img2").
int CompareEntries(const CPicEntry &a, int ia, const CPicEntry &b, int ib, SortKey key,
                   const std::string &nameA, const std::string &nameB, bool natural = false);

// Sorts entry indices stably by one key. `entries[i]` is the entry of index i;
// `decoderNames` (indexed the same way) is only read for the decoder column.
void SortEntryIndices(std::vector<int> &order, const std::vector<const CPicEntry *> &entries, SortKey key,
                      const std::vector<std::string> &decoderNames, bool natural = false);

// The text key of a name or extension as the sort compares it bytewise: folded to lower
// case, and with `natural` each run of digits written as a mark, its length and its digits
// without leading zeros, so that shorter numbers go first.
void AppendTextKey(std::string &out, std::string_view text, bool natural);

// The positions of `names` in the order the name column sorts them ascending (stem, then
// extension), ties broken by the bytes of the name so that a listing comes the same each time.
std::vector<std::size_t> NameOrder(const std::vector<std::string_view> &names, bool natural);

// The name part before the last "." and the extension after it (empty without a ".").
std::string_view NameStem(std::string_view name);
std::string_view NameExtension(std::string_view name);

}  // namespace tamro
