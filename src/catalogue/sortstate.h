#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class Profile;

// Columns of the details list, which are also the sort keys.
enum SortColumn : int {
  kSortName = 0,
  kSortExtension = 1,
  kSortSize = 2,
  kSortTime = 3,
  kSortPixels = 4,
  kSortArchive = 5,
  kSortDescription = 6,
  kSortDecoder = 7,
  kSortNote = 8,
  kSortFolder = 9,
  kSortColumnCount = 10,
};

// States of the pixel column: width, height, colours (bit count), area; each up and down.
enum PixelSortState : int {
  kPixelWidthUp = 1,
  kPixelWidthDown,
  kPixelHeightUp,
  kPixelHeightDown,
  kPixelColoursUp,
  kPixelColoursDown,
  kPixelAreaUp,
  kPixelAreaDown,
};

// Number of states of a column, counting the unsorted state 0: 3, or 9 for the pixel column.
int SortStateCount(int column);
// Header text of a column in a state (state 0: the plain label).
std::string SortHeaderText(int column, int state);

// One key of the sort history, stored as state * 65536 + column.
struct SortKey {
  int column = 0, state = 0;
  int32_t Packed() const { return state * 65536 + column; }
  static SortKey Unpack(int32_t v) { return SortKey{v & 0xFFFF, v >> 16}; }
  bool operator==(const SortKey &) const = default;
};

// The document's sort commands, from the sort menu.
enum class SortCommand {
  kNoSort,
  kByName,
  kByExtension,
  kBySize,
  kByTime,
  kByArchive,
  kByPixelWidth,
  kByPixelHeight,
  kByPixelColours,
  kByPixelArea,
  kAscending,
  kDescending,
  kReapply,
};

// The sorted column, its state and the history of keys (newest first, one per column, ten
// at most). Only the state lives here; sorting the entries is CRXDoc's.
class CSortState {
 public:
  // Ten is the history's own limit, not the number of columns: with one key per column and
  // ten columns it is never reached today, and a column added later does not raise it.
  static constexpr std::size_t kHistoryMax = 10;

  int column() const { return column_; }
  int state() const { return state_; }
  const std::vector<SortKey> &history() const { return history_; }

  // Moves to `column`: state 0 is unsorted, a negative state the next state in turn
  // (wrapping to 0), a positive n the state ((n - 1) mod (count - 1)) + 1. Another column
  // starts from state 0. The key goes to the front of the history.
  SortKey SortBy(int column, int state);

  // The column and state a command asks for; the caller then sorts with SortBy.
  SortKey CommandTarget(SortCommand command) const;
  // Whether the command's menu item carries a check mark now (false for plain commands).
  bool IsCommandChecked(SortCommand command) const;

  // Headers as the details list shows them: the sorted column with its state, the rest plain.
  std::string HeaderText(int column) const;

  // Makes the newest history key the current column and state (after applying the history).
  void TakeNewestKey();
  void PushHistory(SortKey key);
  void SetHistory(std::vector<SortKey> keys);

  // `LstView`/`SortHistory`: a comma list of packed keys, newest first. Keys naming no
  // column or state, and repeats of a column, are left out when read.
  void LoadHistory(const Profile &p);
  bool SaveHistory(Profile &p) const;
  static std::vector<SortKey> ParseHistory(std::string_view text);
  static std::string FormatHistory(const std::vector<SortKey> &keys);

 private:
  int column_ = 0;
  int state_ = 0;
  std::vector<SortKey> history_;
};

}  // namespace tamro
