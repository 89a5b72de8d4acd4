#include "output/report.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "catalogue/macros.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "platform/fileio.h"
#include "platform/ui.h"

namespace tamro {

const std::vector<ReportMacroItem> &ReportMacroMenu() {
  static const std::vector<ReportMacroItem> kMenu = {
      {"パス名", "$(PicPath)"},
      {"フォルダ名", "$(PicDir)"},
      {"ファイル名", "$(PicName)"},
      {"ファイルサイズ(単位)", "$(Length)"},
      {"ファイルサイズ", "$(Size)"},
      {"年月日", "$(Date)"},
      {"時間", "$(Time)"},
      {"", ""},
      {"画像幅", "$(Width)"},
      {"画像高さ", "$(Height)"},
      {"色数ビット", "$(Color)"},
      {"画像情報", "$(Info)"},
      {"コメント", "$(Note)"},
      {"", ""},
      {"書庫ファイル名", "$(ArcName)"},
  };
  return kMenu;
}

namespace {

// Clamps a position to the text and backs it off a UTF-8 continuation byte.
std::size_t CharBoundary(std::string_view text, int pos) {
  std::size_t p = pos < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(pos), text.size());
  while (p > 0 && p < text.size() && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) --p;
  return p;
}

}  // namespace

std::string InsertMacro(std::string_view text, int selStart, int selEnd, std::string_view macro, int *caret) {
  std::size_t a = CharBoundary(text, selStart), b = CharBoundary(text, selEnd);
  if (a > b) std::swap(a, b);
  std::string result;
  result.reserve(text.size() + macro.size());
  result.append(text.substr(0, a)).append(macro).append(text.substr(b));
  if (caret) *caret = static_cast<int>(a + macro.size());
  return result;
}

CReportOption::CReportOption() : history_("ReportFile", "", 100) {}

void CReportOption::Load() {
  history_.Load();
  format = InitialFormat();
}

std::string CReportOption::InitialFormat() const { return history_.First(kDefaultReportFormat); }

void CReportOption::Accept(const std::string &text) {
  format = text;
  if (text.empty()) return;  // an empty format is not worth a history slot
  history_.Promote(text);
  history_.Save();
}

bool WriteReportFile(CRXDoc &doc, const std::string &path, const std::string &format) {
  // Written beside and renamed over the old report only when complete: a full disk keeps it.
  if (!MayReplace(path)) return false;
  AtomicFile file(path);
  if (!file.ok()) return false;

  const int count = doc.GetEntryCount();
  std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress("レポートファイル作成中...");
  progress->SetRange(0, doc.CountSelected(true));
  bool ok = true;
  for (int i = 0; i < count && ok; ++i) {
    CPicEntry *entry = doc.GetEntry(i);
    if (!entry || !entry->IsSelected()) continue;
    if (progress->Aborted()) break;
    progress->SetText(entry->name);
    ok = file.Write(ExpandMacros(entry, format) + "\r\n");
    progress->Step(1);
  }
  progress.reset();
  return ok && file.Commit();
}

}  // namespace tamro
