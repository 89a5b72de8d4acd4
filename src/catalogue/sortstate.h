#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class Profile;

// Columns of the details list, which are also the sort keys. A new column gets a row in
// kColumnTable below; the switches over columns (cell text, sort keys) name every column and
// are compiled with missing cases as errors, so one left out does not build.
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
  kSortLastColumn = kSortFolder,
};

// How a column sorts: by text (case folded) or by number.
enum class ColumnKey : uint8_t { kText, kNumber };
// What must be read beyond the entry's own fields to show or sort by a column.
enum class ColumnSource : uint8_t { kEntry, kNote, kDecoderName };

struct ColumnSpec {
  SortColumn column;
  const char *label;  // header text while unsorted
  int states;         // sort states counting the unsorted one
  int defaultWidth;   // pixels, before the user drags it
  bool alignRight;
  ColumnKey key;
  ColumnSource source;
};

// One row per column, in SortColumn order.
inline constexpr ColumnSpec kColumnTable[] = {
    {kSortName, " ﾌｧｲﾙ名", 3, 150, false, ColumnKey::kText, ColumnSource::kEntry},
    {kSortExtension, " 拡張子", 3, 60, false, ColumnKey::kText, ColumnSource::kEntry},
    {kSortSize, "ｻｲｽﾞ ", 3, 70, true, ColumnKey::kNumber, ColumnSource::kEntry},
    {kSortTime, " 更新日付", 3, 120, false, ColumnKey::kNumber, ColumnSource::kEntry},
    {kSortPixels, " 画素", 9, 90, false, ColumnKey::kNumber, ColumnSource::kEntry},
    {kSortArchive, " ｱｰｶｲﾌﾞ", 3, 80, false, ColumnKey::kText, ColumnSource::kEntry},
    {kSortDescription, " 情報", 3, 100, false, ColumnKey::kText, ColumnSource::kEntry},
    {kSortDecoder, " SPI名", 3, 90, false, ColumnKey::kText, ColumnSource::kDecoderName},
    {kSortNote, " ｺﾒﾝﾄ", 3, 60, false, ColumnKey::kText, ColumnSource::kNote},
    {kSortFolder, "ﾌｫﾙﾀﾞ名", 3, 70, false, ColumnKey::kText, ColumnSource::kEntry},
};
inline constexpr int kSortColumnCount = static_cast<int>(std::size(kColumnTable));

constexpr bool ColumnTableInOrder() {
  for (int c = 0; c < kSortColumnCount; ++c)
    if (kColumnTable[c].column != c) return false;
  return kSortColumnCount == kSortLastColumn + 1;
}
static_assert(ColumnTableInOrder(), "one row per SortColumn, in order");

// The row of a valid column.
inline const ColumnSpec &ColumnSpecOf(int column) { return kColumnTable[column]; }

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
