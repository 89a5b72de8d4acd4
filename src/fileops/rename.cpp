#include "fileops/rename.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "catalogue/pathutil.h"
#include "catalogue/rxdoc.h"
#include "fileops/filecommands.h"
#include "fileops/foldermonitor.h"
#include "platform/listfield.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace tamro {

namespace {

// A digit count beyond any file name's length only wastes memory.
constexpr int kMaxDigits = 255;
constexpr std::size_t kMaxDateResult = 127;

// A selected plain file that still exists takes part in both renames.
bool TakesPart(const CPicEntry *e) {
  return e && e->IsSelected() && !e->IsArchiveMember() && IsRegularFile(e->FullPath());
}

// Renames under the entry lock, so that no other thread reads the name while it changes.
int RenameListed(CRXDoc &doc, CPicEntry &e, const std::string &name) {
  return RenameEntryFile(e, name, doc.GetThumbCache());
}

int ParseWholeNumber(std::string_view text) {
  std::string s(text);
  long v = std::strtol(s.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
}

}  // namespace

RenamePattern ParseRenamePattern(std::string_view text) {
  RenamePattern p;
  p.text = std::string(text);
  p.useDate = text.find('%') != std::string_view::npos;
  std::size_t first = text.find('#');
  std::size_t second = first == std::string_view::npos ? first : text.find('#', first + 1);
  if (second != std::string_view::npos) {
    p.useNumber = true;
    p.prefix = std::string(text.substr(0, first));
    p.suffix = std::string(text.substr(second + 1));
    std::string count(text.substr(first + 1, second - first - 1));
    p.digits = std::clamp(std::atoi(count.c_str()), 0, kMaxDigits);
  }
  return p;
}

bool IsValidRenamePattern(std::string_view text) {
  auto hashes = std::count(text.begin(), text.end(), '#');
  return hashes == 0 || hashes == 2 || text.find('%') != std::string_view::npos;
}

std::string FormatRenameNumber(int number, int digits) {
  char buffer[kMaxDigits + 16];
  if (digits > 0)
    std::snprintf(buffer, sizeof buffer, "%0*d", std::min(digits, kMaxDigits), number);
  else
    std::snprintf(buffer, sizeof buffer, "%d", number);
  return buffer;
}

std::string FormatFileDate(std::string_view format, FileTime time) {
  std::time_t seconds = static_cast<std::time_t>(time / kNanosPerSecond);
  if (time % kNanosPerSecond < 0) --seconds;
  std::tm tm{};
  if (!localtime_r(&seconds, &tm)) return {};
  // One byte more than allowed, so that a result of exactly the limit is told apart from
  // one that does not fit (strftime answers 0 for both a full buffer and an empty result).
  char buffer[kMaxDateResult + 2];
  std::string fmt(format);
  std::size_t n = std::strftime(buffer, sizeof buffer, fmt.c_str(), &tm);
  if (n > kMaxDateResult) return {};
  return std::string(buffer, n);
}

std::string ReplaceExtension(std::string_view oldName, std::string_view extension) {
  std::size_t dot = oldName.rfind('.');
  std::string base(dot == std::string_view::npos ? oldName : oldName.substr(0, dot));
  return base + "." + std::string(extension);
}

std::string SequentialName(const RenamePattern &pattern, int number, FileTime lastWrite,
                           std::string_view oldName) {
  if (!pattern.useNumber && !pattern.useDate) return ReplaceExtension(oldName, pattern.text);
  std::string name = pattern.text;
  if (pattern.useNumber) name = pattern.prefix + FormatRenameNumber(number, pattern.digits) + pattern.suffix;
  if (pattern.useDate) name = FormatFileDate(name, lastWrite);
  return name;
}

const std::vector<std::string> &RenameHelpLines() {
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> l = {
        "",
        "連番変更したい位置に\"##\"を指定します",
        "#と#の間に数値を指定すると桁数指定になります",
        "",
        "",
        "\"#3#\"とすると001,002,003...の様に名前変更されます",
        "ex. AAA#3#.JPG",
        "AAA001.JPG, AAA002.JPG...",
        "",
        "",
        "ファイル日付で名前変更",
        "",
    };
    static const char *const codes[][2] = {
        {"%a", "曜日の省略名"},
        {"%A", "曜日の正式名"},
        {"%b", "月の省略名"},
        {"%B", "月の正式名"},
        {"%c", "ロケールに応じた日付と時間の表現"},
        {"%d", "10進数で表す月の日付 (01～31)"},
        {"%H", "24時間表記の時間 (00～23)"},
        {"%I", "12時間表記の時間 (01～12)"},
        {"%j", "10進数で表す年頭からの日数 (001～366)"},
        {"%m", "10進数で表す月 (01～12)"},
        {"%M", "10進数で表す分 (00～59)"},
        {"%p", "現在のロケールの AM/PM"},
        {"%S", "10進数で表す秒 (00～59)"},
        {"%U", "10進数で表す週の通し番号。日曜日を週の最初の日とする (00～53)"},
        {"%w", "10進数で表す曜日。日曜日を 0 とする (0～6)"},
        {"%W", "10進数で表す週の通し番号。月曜日を週の最初の日とする (00～53)"},
        {"%x", "現在のロケールの日付表示"},
        {"%X", "現在のロケールの時刻表示"},
        {"%y", "10進数で表す西暦の下 2 桁 (00～99)"},
        {"%Y", "10進数で表す 4 桁の西暦"},
        {"%z %Z", "時間帯の名前またはその省略名"},
        {"%%", "パーセント記号"},
    };
    for (const auto &c : codes) {
      std::string code = c[0];
      l.push_back(code + (code.size() > 2 ? " " : "  ") + c[1]);
    }
    return l;
  }();
  return lines;
}

// ---- the dialog's state

CRenameOption::CRenameOption(Profile *profile) : profile_(profile ? *profile : Profile::App()) {}

void CRenameOption::Load() {
  firstNumber = profile_.GetInt(kRenameSection, kRenameFirstKey, 1);
  std::string list = profile_.GetString(kRenameSection, kRenameFormatKey, "");
  pattern = GetListField(list, 0);
  history_.clear();
  for (int n = 1;; ++n) {
    std::string item;
    if (GetListField(list, n, item) <= 0) break;
    history_.push_back(item);
  }
}

bool CRenameOption::Accept(std::string_view typed, std::string_view firstNumberText) {
  int first = ParseWholeNumber(firstNumberText);
  if (!IsValidRenamePattern(typed)) {
    Ui().MessageBox(kBadRenamePattern, "連番で名前変更", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  pattern = std::string(typed);
  firstNumber = first;
  std::erase(history_, pattern);
  history_.insert(history_.begin(), pattern);
  std::erase(history_, std::string());

  // A pattern holding "," is quoted so that it reads back as one item; one that also
  // holds a double quote cannot be kept in the list at all.
  auto storable = [](const std::string &s) {
    return s.find(',') == std::string::npos || s.find('"') == std::string::npos;
  };
  std::string list;
  int field = 0;
  auto add = [&](const std::string &s) { SetListField(list, field++, s, s.find(',') != std::string::npos); };
  add(storable(pattern) ? pattern : std::string());
  for (const std::string &item : history_)
    if (storable(item)) add(item);
  profile_.WriteInt(kRenameSection, kRenameFirstKey, firstNumber);
  profile_.WriteString(kRenameSection, kRenameFormatKey, list);
  return true;
}

// ---- the commands

RenameRun RenameSequential(CRXDoc &doc, std::string_view text, int firstNumber) {
  RenameRun run;
  const RenamePattern pattern = ParseRenamePattern(text);
  {
    MonitorIgnoreScope ignore;
    DocBusy busy(doc);
    int number = firstNumber;
    for (int i = 0; i < doc.GetEntryCount(); ++i) {
      CPicEntry *e = doc.GetEntry(i);
      if (!TakesPart(e)) continue;
      long long seconds = 0;
      FileTime time = LastWriteSeconds(e->FullPath(), seconds) ? seconds * kNanosPerSecond : e->lastWriteTime;
      std::string name = SequentialName(pattern, number, time, e->name);
      if (pattern.useNumber) ++number;
      const std::string oldName = e->name;
      if (RenameListed(doc, *e, name) == 0) {
        ++run.renamed;
        UpdateArgument arg;
        arg.value = i;
        doc.UpdateAllViews(nullptr, kHintEntryChanged, arg);
      } else {
        run.failures.push_back(oldName + " -> " + name + " :failed rename");
      }
    }
  }
  if (!run.failures.empty()) Ui().ShowList("Report", run.failures);
  return run;
}

int AskNewNameByInput(std::string_view prompt, std::string &name, bool) {
  return Ui().InputText("名前の変更", prompt, name) ? 1 : 0;
}

int RenameEach(CRXDoc &doc, const RenameQuestion &ask) {
  int total = 0;
  for (int i = 0; i < doc.GetEntryCount(); ++i)
    if (TakesPart(doc.GetEntry(i))) ++total;
  MonitorIgnoreScope ignore;
  DocBusy busy(doc);
  int renamed = 0, asked = 0;
  for (int i = 0; i < doc.GetEntryCount(); ++i) {
    CPicEntry *e = doc.GetEntry(i);
    if (!TakesPart(e)) continue;
    ++asked;
    std::string prompt = "'" + e->name + "'の新しい名前を指定してください";
    std::string name = e->name;
    int answer;
    // OK with an empty name leaves the question open.
    do {
      answer = ask(prompt, name, asked < total);
    } while (answer == 1 && name.empty());
    if (answer < 0) break;
    if (answer == 0) continue;
    if (RenameListed(doc, *e, name) == 0) {
      ++renamed;
      UpdateArgument arg;
      arg.value = i;
      doc.UpdateAllViews(nullptr, kHintEntryChanged, arg);
    } else {
      Ui().MessageBox("名前の変更に失敗しました", "名前の変更", MB_OK | MB_ICONEXCLAMATION);
    }
  }
  return renamed;
}

}  // namespace tamro
