#include "catalogue/sortstate.h"

#include "platform/listfield.h"
#include "platform/profile.h"

namespace tamro {

namespace {

const char *const kPixelSuffixes[] = {"+w", "-w", "+h", "-h", "+c", "-c", "+wxh", "-wxh"};

bool ValidKey(const SortKey &k) {
  return k.column >= 0 && k.column < kSortColumnCount && k.state >= 0 && k.state < SortStateCount(k.column);
}

}  // namespace

int SortStateCount(int column) {
  return column >= 0 && column < kSortColumnCount ? ColumnSpecOf(column).states : 3;
}

std::string SortHeaderText(int column, int state) {
  if (column < 0 || column >= kSortColumnCount) return {};
  std::string label = ColumnSpecOf(column).label;
  if (state <= 0 || state >= SortStateCount(column)) return label;
  if (column == kSortPixels) return label + kPixelSuffixes[state - 1];
  const char *sign = state == 1 ? "+" : "-";
  // A label with a trailing blank (the right-aligned size column) keeps the blank last.
  if (!label.empty() && label.back() == ' ') return label.substr(0, label.size() - 1) + sign + " ";
  return label + sign;
}

SortKey CSortState::SortBy(int column, int state) {
  if (column < 0 || column >= kSortColumnCount) column = 0;
  if (column != column_) state_ = 0;
  column_ = column;
  int count = SortStateCount(column);
  if (state == 0)
    state_ = 0;
  else if (state < 0)
    state_ = (state_ + 1) % count;
  else
    state_ = ((state - 1) % (count - 1)) + 1;
  SortKey key{column_, state_};
  PushHistory(key);
  return key;
}

void CSortState::PushHistory(SortKey key) {
  std::erase_if(history_, [&](const SortKey &k) { return k.column == key.column; });
  history_.insert(history_.begin(), key);
  if (history_.size() > kHistoryMax) history_.resize(kHistoryMax);
}

void CSortState::SetHistory(std::vector<SortKey> keys) {
  history_.clear();
  // Oldest first, so that each column keeps its newest key.
  for (auto it = keys.rbegin(); it != keys.rend(); ++it)
    if (ValidKey(*it)) PushHistory(*it);
}

void CSortState::TakeNewestKey() {
  if (history_.empty()) return;
  column_ = history_.front().column;
  state_ = history_.front().state;
}

SortKey CSortState::CommandTarget(SortCommand command) const {
  // The direction of the current state: odd ascending, even (not 0) descending.
  bool down = state_ != 0 && state_ % 2 == 0;
  int atLeastOne = state_ < 1 ? 1 : state_;
  auto pixels = [&](int firstState) { return SortKey{kSortPixels, firstState + (down ? 1 : 0)}; };
  switch (command) {
    case SortCommand::kNoSort:
      return {kSortName, 0};
    case SortCommand::kByName:
      return {kSortName, atLeastOne};
    case SortCommand::kByExtension:
      return {kSortExtension, atLeastOne};
    case SortCommand::kBySize:
      return {kSortSize, atLeastOne};
    case SortCommand::kByTime:
      return {kSortTime, atLeastOne};
    case SortCommand::kByArchive:
      return {kSortArchive, atLeastOne};
    case SortCommand::kByPixelWidth:
      return pixels(kPixelWidthUp);
    case SortCommand::kByPixelHeight:
      return pixels(kPixelHeightUp);
    case SortCommand::kByPixelColours:
      return pixels(kPixelColoursUp);
    case SortCommand::kByPixelArea:
      return pixels(kPixelAreaUp);
    case SortCommand::kAscending:
    case SortCommand::kDescending: {
      // The same key of the column (width, height, ...), in the asked direction.
      int keyIndex = state_ < 1 ? 0 : (state_ - 1) / 2;
      return {column_, keyIndex * 2 + (command == SortCommand::kAscending ? 1 : 2)};
    }
    case SortCommand::kReapply:
      return {column_, state_};
  }
  return {column_, state_};
}

bool CSortState::IsCommandChecked(SortCommand command) const {
  auto pixelKey = [&](int firstState) {
    return column_ == kSortPixels && (state_ == firstState || state_ == firstState + 1);
  };
  // The column a command sorts by is ticked while the list is sorted by it.
  const auto byColumn = [&](int column) { return column_ == column && state_ != 0; };
  switch (command) {
    case SortCommand::kNoSort:
      return state_ == 0;
    case SortCommand::kByName:
      return byColumn(kSortName);
    case SortCommand::kByExtension:
      return byColumn(kSortExtension);
    case SortCommand::kBySize:
      return byColumn(kSortSize);
    case SortCommand::kByTime:
      return byColumn(kSortTime);
    case SortCommand::kByArchive:
      return byColumn(kSortArchive);
    case SortCommand::kAscending:
      return state_ % 2 == 1;
    case SortCommand::kDescending:
      return state_ != 0 && state_ % 2 == 0;
    case SortCommand::kByPixelWidth:
      return pixelKey(kPixelWidthUp);
    case SortCommand::kByPixelHeight:
      return pixelKey(kPixelHeightUp);
    case SortCommand::kByPixelColours:
      return pixelKey(kPixelColoursUp);
    case SortCommand::kByPixelArea:
      return pixelKey(kPixelAreaUp);
    default:
      return false;
  }
}

std::string CSortState::HeaderText(int column) const {
  return SortHeaderText(column, column == column_ ? state_ : 0);
}

std::vector<SortKey> CSortState::ParseHistory(std::string_view text) {
  std::vector<SortKey> keys;
  for (int n = 0; keys.size() < kHistoryMax; ++n) {
    int v = 0;
    std::string field;
    if (GetListField(text, n, field) < 0) break;
    if (GetListInt(text, n, v) < 0) continue;
    SortKey k = SortKey::Unpack(v);
    if (!ValidKey(k)) continue;
    bool repeat = false;
    for (const auto &old : keys) repeat = repeat || old.column == k.column;
    if (!repeat) keys.push_back(k);
  }
  return keys;
}

std::string CSortState::FormatHistory(const std::vector<SortKey> &keys) {
  std::string out;
  for (const auto &k : keys) {
    if (!out.empty()) out += ',';
    out += std::to_string(k.Packed());
  }
  return out;
}

void CSortState::LoadHistory(const Profile &p) {
  history_ = ParseHistory(p.GetString("LstView", "SortHistory", ""));
}

bool CSortState::SaveHistory(Profile &p) const {
  return p.WriteString("LstView", "SortHistory", FormatHistory(history_));
}

}  // namespace tamro
