#pragma once

// Which picture an action means, kept across events: the listing may be re-sorted, refreshed
// or shortened while a dialog is open or a result is on its way, so a list position taken
// earlier can name another picture by then. The identity is looked up again just before acting.

#include <cstdint>
#include <string>

namespace tamro {

class CPicEntry;
class CRXDoc;

struct EntryId {
  std::string folder, archive, name;  // archive empty for a plain file
  uint32_t position = 0;              // a member's place in its archive (names may repeat)

  static EntryId Of(const CPicEntry &entry);
  bool Matches(const CPicEntry &entry) const;
  bool Empty() const { return name.empty(); }
  bool operator==(const EntryId &) const = default;
};

// What the user is told when the picture an action meant has left the listing.
inline constexpr const char *kEntryGoneText = "その画像はもう一覧にありません";

// The visible index of the entry `id` names, -1 when the listing no longer shows it. `hint`
// (where it was last seen) is tried first, so the usual case costs one comparison.
int FindEntry(CRXDoc &doc, const EntryId &id, int hint = -1);

}  // namespace tamro
