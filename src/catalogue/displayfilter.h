#pragma once

#include <QDate>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/picentry.h"

namespace tamro {

class Profile;

// Which files a listing keeps besides the name patterns.
struct DisplayFilter {
  bool nameOn = false;  // use the document's pattern; off: every file
  bool dateOn = false;
  bool sizeOn = false;
  // Last-write range, both ends included. With no range known the date filter keeps all.
  bool haveDates = false;
  FileTime firstDate = 0, lastDate = 0;
  uint64_t smallest = 0, largest = UINT64_MAX;

  bool KeepsTime(FileTime lastWrite) const {
    return !dateOn || !haveDates || (lastWrite >= firstDate && lastWrite <= lastDate);
  }
  bool KeepsSize(uint64_t size) const { return !sizeOn || (size >= smallest && size <= largest); }
  bool operator==(const DisplayFilter &) const = default;
};

// Local midnight of the first day, and the last day's 23:59:59.999.
FileTime StartOfDay(const QDate &day);
FileTime EndOfDay(const QDate &day);

// A decimal size text times 1024 to the power of the unit (0 bytes, 1 KB, 2 MB, ...);
// non-digits end the number; a result beyond 64 bits is the largest value.
uint64_t ScaleSize(std::string_view number, int unit);

// The logic of the display filter dialog: its histories, its checks and what it writes to
// section `Filter`. The Qt dialog and the command line are faces on it.
class CFilterOption {
 public:
  static constexpr int kHistoryMax = 10;

  // What the dialog shows.
  std::vector<std::string> patterns;              // `Filter%d`, newest first, non-empty only
  std::vector<std::string> sizesBegin, sizesEnd;  // `SizeBegin%d`, `SizeEnd%d`
  int unitBegin = 0, unitEnd = 0;
  bool nameOn = false, dateOn = false, sizeOn = false;
  std::string pattern = "*.*";

  // The user's choice.
  struct Input {
    bool nameOn = false, dateOn = false, sizeOn = false;
    std::string pattern;
    QDate firstDay, lastDay;
    std::string sizeBegin, sizeEnd;
    int unitBegin = 0, unitEnd = 0;
  };

  // Reads the histories, units and switches; `currentPattern` is the document's pattern.
  void Load(const Profile &p, std::string_view currentPattern);

  // Confirms the dialog: false (nothing written, dialog stays open) when the date filter is
  // on and the first day is after the last. Otherwise the pattern and both sizes move to the
  // top of their histories, everything is written and `out` holds the filter to apply.
  bool Confirm(const Input &in, Profile &p, DisplayFilter &out);

  // The clear command: switches off, pattern "*.*", histories written again.
  void Clear(Profile &p, DisplayFilter &out);

  bool Save(Profile &p) const;

 private:
  static void MoveToTop(std::vector<std::string> &history, const std::string &value);
};

}  // namespace tamro
