#include "catalogue/displayfilter.h"

#include <QDateTime>
#include <QTime>

#include "platform/profile.h"
#include "platform/text.h"

namespace tamro {

namespace {

std::vector<std::string> ReadHistory(const Profile &p, const char *prefix) {
  std::vector<std::string> out;
  for (int i = 0; i < CFilterOption::kHistoryMax; ++i) {
    std::string v = p.GetString("Filter", prefix + std::to_string(i), "");
    if (!v.empty()) out.push_back(std::move(v));
  }
  return out;
}

// Each write replaces the settings file, so values the store already answers are skipped.
bool WriteText(Profile &p, const std::string &key, const std::string &value) {
  if (p.GetString("Filter", key, "") == value) return true;
  return p.WriteString("Filter", key, value);
}

bool WriteNumber(Profile &p, const char *key, int value) {
  if (p.Has("Filter", key) ? p.GetInt("Filter", key, 0) == value : value == 0) return true;
  return p.WriteInt("Filter", key, value);
}

bool WriteHistory(Profile &p, const char *prefix, const std::vector<std::string> &history) {
  bool ok = true;
  for (int i = 0; i < CFilterOption::kHistoryMax; ++i) {
    const std::string &v =
        i < static_cast<int>(history.size()) ? history[static_cast<std::size_t>(i)] : std::string();
    ok = WriteText(p, prefix + std::to_string(i), v) && ok;
  }
  return ok;
}

}  // namespace

FileTime StartOfDay(const QDate &day) {
  return static_cast<FileTime>(day.startOfDay().toMSecsSinceEpoch()) * 1000000;
}

FileTime EndOfDay(const QDate &day) {
  QDateTime end(day, QTime(23, 59, 59, 999));
  // The last nanosecond of that millisecond, so a time stamp of 23:59:59.9995 still counts.
  return static_cast<FileTime>(end.toMSecsSinceEpoch()) * 1000000 + 999999;
}

uint64_t ScaleSize(std::string_view number, int unit) {
  std::size_t i = 0;
  while (i < number.size() && (number[i] == ' ' || number[i] == '\t')) ++i;
  uint64_t v = 0;
  for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
    if (v > (UINT64_MAX - 9) / 10) return UINT64_MAX;
    v = v * 10 + static_cast<uint64_t>(number[i] - '0');
  }
  if (unit < 0) unit = 0;
  for (int u = 0; u < unit; ++u) {
    if (v > (UINT64_MAX >> 10)) return UINT64_MAX;
    v <<= 10;
  }
  return v;
}

void CFilterOption::Load(const Profile &p, std::string_view currentPattern) {
  patterns = ReadHistory(p, "Filter");
  sizesBegin = ReadHistory(p, "SizeBegin");
  sizesEnd = ReadHistory(p, "SizeEnd");
  unitBegin = p.GetInt("Filter", "UnitBegin", 0);
  unitEnd = p.GetInt("Filter", "UnitEnd", 0);
  nameOn = p.GetInt("Filter", "FileName", 0) != 0;
  dateOn = p.GetInt("Filter", "FileDate", 0) != 0;
  sizeOn = p.GetInt("Filter", "FileSize", 0) != 0;
  pattern = std::string(currentPattern);
}

void CFilterOption::MoveToTop(std::vector<std::string> &history, const std::string &value) {
  if (value.empty()) return;
  std::erase(history, value);
  history.insert(history.begin(), value);
  if (history.size() > static_cast<std::size_t>(kHistoryMax)) history.resize(kHistoryMax);
}

bool CFilterOption::Confirm(const Input &in, Profile &p, DisplayFilter &out) {
  DisplayFilter f;
  f.nameOn = in.nameOn;
  f.dateOn = in.dateOn;
  f.sizeOn = in.sizeOn;
  if (in.firstDay.isValid() && in.lastDay.isValid()) {
    f.haveDates = true;
    f.firstDate = StartOfDay(in.firstDay);
    f.lastDate = EndOfDay(in.lastDay);
    if (in.dateOn && f.firstDate > f.lastDate) return false;
  } else if (in.dateOn) {
    return false;
  }
  f.smallest = ScaleSize(in.sizeBegin, in.unitBegin);
  // An empty upper size means no upper bound rather than "only empty files".
  f.largest = TrimBlanks(in.sizeEnd).empty() ? UINT64_MAX : ScaleSize(in.sizeEnd, in.unitEnd);

  pattern = in.pattern.empty() ? std::string("*.*") : in.pattern;
  MoveToTop(patterns, pattern);
  MoveToTop(sizesBegin, in.sizeBegin);
  MoveToTop(sizesEnd, in.sizeEnd);
  unitBegin = in.unitBegin;
  unitEnd = in.unitEnd;
  nameOn = in.nameOn;
  dateOn = in.dateOn;
  sizeOn = in.sizeOn;
  Save(p);
  out = f;
  return true;
}

void CFilterOption::Clear(Profile &p, DisplayFilter &out) {
  nameOn = dateOn = sizeOn = false;
  pattern = "*.*";
  Save(p);
  DisplayFilter f = out;
  f.nameOn = f.dateOn = f.sizeOn = false;
  out = f;
}

bool CFilterOption::Save(Profile &p) const {
  bool ok = WriteHistory(p, "Filter", patterns);
  ok = WriteHistory(p, "SizeBegin", sizesBegin) && ok;
  ok = WriteHistory(p, "SizeEnd", sizesEnd) && ok;
  ok = WriteNumber(p, "UnitBegin", unitBegin) && ok;
  ok = WriteNumber(p, "UnitEnd", unitEnd) && ok;
  ok = WriteNumber(p, "FileName", nameOn ? 1 : 0) && ok;
  ok = WriteNumber(p, "FileDate", dateOn ? 1 : 0) && ok;
  ok = WriteNumber(p, "FileSize", sizeOn ? 1 : 0) && ok;
  return ok;
}

}  // namespace tamro
