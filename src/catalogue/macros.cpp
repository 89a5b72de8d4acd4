#include "catalogue/macros.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "catalogue/notestore.h"
#include "catalogue/picentry.h"
#include "platform/cpdecode.h"

namespace tamro {

namespace {

// Plain decimal notation with at most ten significant digits, trailing zeros dropped.
// Built from the "%.9e" digits so that no magnitude ever produces an exponent.
std::string PlainDecimal(double value) {
  if (!std::isfinite(value) || std::fabs(value) < 1e-10) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.9e", value);
  std::string text(buffer);
  bool negative = text[0] == '-';
  if (negative) text.erase(0, 1);
  std::size_t e = text.find('e');
  if (e == std::string::npos) return "0";
  int exponent = std::atoi(text.c_str() + e + 1);
  std::string digits;
  for (std::size_t i = 0; i < e; ++i)
    if (text[i] != '.') digits += text[i];

  std::string integer, fraction;
  int point = exponent + 1;  // digits before the decimal point
  if (point <= 0) {
    integer = "0";
    fraction = std::string(static_cast<std::size_t>(-point), '0') + digits;
  } else if (point >= static_cast<int>(digits.size())) {
    integer = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
  } else {
    integer = digits.substr(0, static_cast<std::size_t>(point));
    fraction = digits.substr(static_cast<std::size_t>(point));
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (integer == "0" && fraction.empty()) return "0";
  std::string result = negative ? "-" : "";
  result += integer;
  if (!fraction.empty()) result += "." + fraction;
  return result;
}

}  // namespace

std::string GroupThousands(double value, int decimals) {
  if (decimals >= 0 && std::isfinite(value)) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals > 20 ? 20 : decimals, value);
    value = std::strtod(buffer, nullptr);
  }
  std::string text = PlainDecimal(value);
  std::string sign;
  if (!text.empty() && text[0] == '-') {
    sign = "-";
    text.erase(0, 1);
  }
  std::size_t point = text.find('.');
  std::string integer = text.substr(0, point);
  std::string fraction = point == std::string::npos ? std::string() : text.substr(point);
  if (integer.size() >= 4) {
    std::string grouped;
    std::size_t first = integer.size() % 3;
    if (first == 0) first = 3;
    grouped = integer.substr(0, first);
    for (std::size_t i = first; i < integer.size(); i += 3) grouped += "," + integer.substr(i, 3);
    integer = grouped;
  }
  return sign + integer + fraction;
}

std::string FormatByteCount(uint32_t low, uint32_t high, bool withUnit, int decimals, int firstUnit,
                            int lastUnit) {
  static const char *const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
  constexpr int kLast = 4;
  double value = static_cast<double>(low) + static_cast<double>(high) * 4294967296.0;
  int unit = firstUnit < 0 ? 0 : (firstUnit > kLast ? kLast : firstUnit);
  int limit = (lastUnit < 0 || lastUnit > kLast) ? kLast : lastUnit;
  // The test is against 1000, not 1024: 1000 bytes already read as "1KB".
  while (value >= 1000.0 && unit < limit) {
    value /= 1024.0;
    ++unit;
  }
  std::string text = GroupThousands(value, decimals < 0 ? 0 : decimals);
  if (withUnit) text += kUnits[unit];
  return text;
}

std::string PathPart(std::string_view path, unsigned mask) {
  std::size_t slash = path.rfind('/');
  std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
  std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::size_t dot = file.rfind('.');
  std::string_view name = dot == std::string_view::npos ? file : file.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : file.substr(dot);

  std::string result;
  if (mask & kPathFolder) result += folder;
  if (mask & kPathName) result += name;
  if (mask & kPathExt) result += ext;
  if ((mask & 0xF) == (kPathDrive | kPathFolder) && result.size() > 1 && result.back() == '/')
    result.pop_back();
  return result;
}

std::string GroupDigits(uint64_t value) {
  std::string digits = std::to_string(value), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string TodayDateText() {
  return QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
}

std::string TodayTimeText() {
  // The locale's short time form with seconds added (its long form carries the time zone,
  // and some locales write it in words), separated as hours and minutes are.
  QString format = QLocale().timeFormat(QLocale::ShortFormat);
  if (!format.contains(QLatin1Char('s'))) {
    qsizetype at = format.indexOf(QLatin1String("mm"));
    if (at >= 0) {
      QString separator = at > 0 ? format.mid(at - 1, 1) : QStringLiteral(":");
      format.insert(at + 2, separator + QStringLiteral("ss"));
    }
  }
  return QLocale().toString(QTime::currentTime(), format).toStdString();
}

namespace {

enum Macro {
  kCP,
  kPicPath,
  kShortPicPath,
  kPicDir,
  kPicName,
  kShortPicName,
  kFileName,
  kArcPath,
  kArcName,
  kWidth,
  kHeight,
  kColor,
  kDate,
  kTime,
  kLength,
  kSize,
  kInfo,
  kNote,
  kTodayDate,
  kTodayTime
};

// One macro: its two forms, what its value reads, and where the dialogs' menus offer it
// (menu order; a new tens digit starts a group after a separator; 0: not offered).
struct MenuSlot {
  int order = 0;
  std::string_view label;
};
struct MacroInfo {
  Macro macro;
  std::string_view longForm, shortForm;
  unsigned needs;
  MenuSlot report, arguments, folder;
};

// In the order of expansion.
constexpr MacroInfo kMacros[] = {
    {kCP, "$(CP)", "$(CP)", kNeedsPictureFacts | kReadsPicture, {}, {}, {}},
    {kPicPath, "$(PicPath)", "$(PP)", 0, {1, "パス名"}, {1, "画像パス(&P)"}, {}},
    {kShortPicPath, "$(ShortPicPath)", "$(SPP)", 0, {}, {4, "画像ショートパス(&S)"}, {}},
    {kPicDir, "$(PicDir)", "$(PD)", 0, {2, "フォルダ名"}, {2, "画像フォルダ(&D)"}, {1, "画像フォルダ(&D)"}},
    {kPicName, "$(PicName)", "$(PN)", 0, {3, "ファイル名"}, {3, "画像ファイル名(&F)"}, {}},
    {kShortPicName, "$(ShortPicName)", "$(SPN)", 0, {}, {5, "画像ショートファイル名(&N)"}, {}},
    {kFileName, "$(FileName)", "$(FN)", 0, {}, {}, {}},
    {kArcPath, "$(ArcPath)", "$(AP)", 0, {}, {11, "書庫パス(&A)"}, {}},
    {kArcName, "$(ArcName)", "$(AN)", 0, {21, "書庫ファイル名"}, {}, {}},
    {kWidth, "$(Width)", "$(W)", kNeedsPictureFacts, {11, "画像幅"}, {}, {}},
    {kHeight, "$(Height)", "$(H)", kNeedsPictureFacts, {12, "画像高さ"}, {}, {}},
    {kColor, "$(Color)", "$(C)", kNeedsPictureFacts, {13, "色数ビット"}, {}, {}},
    {kDate, "$(Date)", "$(D)", kNeedsFileFacts, {6, "年月日"}, {}, {}},
    {kTime, "$(Time)", "$(T)", kNeedsFileFacts, {7, "時間"}, {}, {}},
    {kLength, "$(Length)", "$(L)", kNeedsFileFacts, {4, "ファイルサイズ(単位)"}, {}, {}},
    {kSize, "$(Size)", "$(S)", kNeedsFileFacts, {5, "ファイルサイズ"}, {}, {}},
    {kInfo, "$(Info)", "$(I)", kNeedsPictureFacts, {14, "画像情報"}, {}, {}},
    {kNote, "$(Note)", "$(N)", kNeedsNote, {15, "コメント"}, {}, {}},
    {kTodayDate, "$(TodayDate)", "$(TD)", 0, {}, {}, {}},
    {kTodayTime, "$(TodayTime)", "$(TT)", 0, {}, {}, {}},
};
static_assert(std::size(kMacros) == 20);

std::string LocalTime(FileTime nanos, const char *format) {
  std::time_t seconds = static_cast<std::time_t>(nanos / kNanosPerSecond);
  if (nanos % kNanosPerSecond < 0) --seconds;  // floor for times before 1970
  std::tm tm{};
  if (!localtime_r(&seconds, &tm)) return {};
  char buffer[64];
  std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
  return std::string(buffer, n);
}

std::string Value(Macro macro, CPicEntry *e, MacroReads reads) {
  switch (macro) {
    case kTodayDate:
      return TodayDateText();
    case kTodayTime:
      return TodayTimeText();
    default:
      break;
  }
  if (!e) return {};
  switch (macro) {
    case kCP:
      if (e->IsArchiveMember() || e->facts.decoder != kBuiltinJpegDecoder) return {};
      // Asked of the library once per entry, not on every paint of a caption.
      if (!e->cameraRead && reads == MacroReads::kReadFiles) e->SetCameraText(CpDecodeText(e->FullPath()));
      return e->CameraText();
    case kPicPath:
    case kShortPicPath:  // there are no short names here: the long form stands in
      return e->FullPath();
    case kPicDir:
      return e->Folder();
    case kPicName:
      return e->name;
    case kShortPicName:
      return PathPart(e->FullPath(), kPathName | kPathExt);
    case kFileName:
      return PathPart(e->name, kPathName);
    case kArcPath:
      return e->IsArchiveMember() ? e->ArchivePath() : e->ArchiveName();
    case kArcName:
      return e->ArchiveName();
    case kWidth:
      return std::to_string(e->facts.width);
    case kHeight:
      return std::to_string(e->facts.height);
    case kColor:
      return std::to_string(e->facts.bitCount);
    case kDate:
      return LocalTime(e->lastWriteTime, "%Y/%m/%d");
    case kTime:
      return LocalTime(e->lastWriteTime, "%H:%M:%S");
    case kLength:
      return FormatByteCount(static_cast<uint32_t>(e->size), static_cast<uint32_t>(e->size >> 32), true, 1, 0,
                             -1);
    case kSize:
      return GroupDigits(e->size);
    case kInfo:
      return e->Description();
    case kNote:
      // Nothing else may have read it yet (no thumbnail made); formats without a note
      // never get here, so long reports of names stay free of note reads.
      ReadEntryNote(*e);
      return e->Note();
    default:
      return {};
  }
}

std::string EscapeValue(std::string value, MacroEscape escape) {
  if (escape != MacroEscape::kCommandLine || value.find('"') == std::string::npos) return value;
  std::string out;
  out.reserve(value.size() + 8);
  for (char c : value) {
    if (c == '"')
      out += "\"\"\"";
    else
      out += c;
  }
  return out;
}

const MenuSlot &SlotOf(const MacroInfo &m, MacroMenu menu) {
  switch (menu) {
    case MacroMenu::kReport:
      return m.report;
    case MacroMenu::kArguments:
      return m.arguments;
    case MacroMenu::kFolder:
      return m.folder;
  }
  return m.report;
}

}  // namespace

std::string ExpandMacros(CPicEntry *entry, std::string_view format, MacroEscape escape, MacroReads reads) {
  std::string text(format);
  for (const MacroInfo &m : kMacros) {
    for (std::string_view token : {m.longForm, m.shortForm}) {
      // Plain texts (most captions) stop here at once.
      if (text.find("$(") == std::string::npos) return text;
      std::size_t at = text.find(token);
      if (at == std::string::npos) continue;
      const std::string value = EscapeValue(Value(m.macro, entry, reads), escape);
      // The search goes on behind the inserted value, so a value holding its own token
      // (a file named "$(PicName).jpg") cannot make the expansion run for ever.
      while (at != std::string::npos) {
        text.replace(at, token.size(), value);
        at = text.find(token, at + value.size());
      }
    }
  }
  return text;
}

unsigned MacroNeeds(std::string_view format) {
  unsigned needs = 0;
  if (format.find("$(") == std::string_view::npos) return needs;
  for (const MacroInfo &m : kMacros)
    if (format.find(m.longForm) != std::string_view::npos ||
        format.find(m.shortForm) != std::string_view::npos)
      needs |= m.needs;
  return needs;
}

bool MayInsertMacros(const CPicEntry &entry, std::string_view format) {
  // Only the names come before the picture facts in the table; a note or a description
  // is inserted after them, and the note is read where its macro is met anyway.
  constexpr std::string_view kOpen = "$(";
  if (format.find(kOpen) == std::string_view::npos) return false;
  return entry.Folder().find(kOpen) != std::string::npos || entry.name.find(kOpen) != std::string::npos ||
         entry.ArchiveName().find(kOpen) != std::string::npos;
}

std::vector<MacroMenuItem> MacroMenuItems(MacroMenu menu) {
  std::vector<const MacroInfo *> offered;
  for (const MacroInfo &m : kMacros)
    if (SlotOf(m, menu).order > 0) offered.push_back(&m);
  std::sort(offered.begin(), offered.end(), [menu](const MacroInfo *a, const MacroInfo *b) {
    return SlotOf(*a, menu).order < SlotOf(*b, menu).order;
  });
  std::vector<MacroMenuItem> items;
  int group = -1;
  for (const MacroInfo *m : offered) {
    const MenuSlot &slot = SlotOf(*m, menu);
    if (group >= 0 && slot.order / 10 != group) items.push_back({});
    group = slot.order / 10;
    items.push_back({slot.label, m->longForm});
  }
  return items;
}

}  // namespace tamro
