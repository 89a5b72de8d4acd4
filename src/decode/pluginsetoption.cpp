#include "decode/pluginsetoption.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "decode/spihost.h"
#include "platform/listfield.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tamro {

namespace {

constexpr const char *kSection = "SPI";

std::vector<int> ParseWidths(const std::string &text, const char *defaults) {
  std::vector<int> widths;
  for (int n = 0;; ++n) {
    int def = 0;
    if (GetListInt(defaults, n, def) < 0) break;
    int w = 0;
    // A width missing from the stored list, or below 1, takes the column's default.
    if (GetListInt(text, n, w) < 0 || w < 1) w = def;
    widths.push_back(w);
  }
  return widths;
}

std::string JoinWidths(const std::vector<int> &widths) {
  std::string text;
  for (int w : widths) {
    if (!text.empty()) text += ',';
    text += std::to_string(w);
  }
  return text;
}

// Every write replaces the settings file, so a value the store already answers is left alone.
void WriteIfChanged(Profile &p, const char *key, const std::string &value, const std::string &def) {
  if (p.Has(kSection, key) ? p.GetString(kSection, key, "") == value : value == def) return;
  p.WriteString(kSection, key, value);
}

}  // namespace

std::vector<std::string> LoadPluginSetNames() {
  const std::string list = Profile::App().GetString(kSection, "SPISetList", "");
  std::vector<std::string> names;
  for (int i = 0;; ++i) {
    std::string name;
    if (GetListField(list, i, name) < 0) break;
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

std::vector<std::string> PluginSetBarNames(const CSpiHost &host) {
  std::vector<std::string> names = LoadPluginSetNames();
  const std::string current = host.CurrentSetName();
  if (!current.empty() && std::find(names.begin(), names.end(), current) == names.end())
    names.push_back(current);
  return names;
}

void SwitchPluginSet(CSpiHost &host, const std::string &name) {
  // Loading adds the stored names to each ViewSPI list; emptied first, the lists become the
  // set's own instead of gathering every set's members.
  for (int a = 0; a < host.Count(kSpiArchive); ++a) host.ClearViewSpi(a);
  host.LoadPluginSet(name);
  host.ApplyDynamicLoading();
  WriteIfChanged(Profile::App(), "SPISet", name, "");
}

bool IsValidPluginSetName(const std::string &name) {
  if (name.empty()) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == '\\' || c == ',' || c == '"' || c == '[' || c == ']') return false;
  return true;
}

CPluginSetOption::CPluginSetOption(CSpiHost &host) : host_(host) {
  const Profile &p = Profile::App();
  names_ = LoadPluginSetNames();
  shown_ = host_.CurrentSetName();
  columns_.picture = ParseWidths(p.GetString(kSection, "SPIColumn", kPictureColumns), kPictureColumns);
  columns_.archive = ParseWidths(p.GetString(kSection, "ARCSPIColumn", kArchiveColumns), kArchiveColumns);
  columns_.view = ParseWidths(p.GetString(kSection, "USESPIColumn", kViewColumns), kViewColumns);
}

std::vector<PluginRow> CPluginSetOption::Rows(int kind) const {
  std::vector<PluginRow> rows;
  for (int i = 0; i < host_.Count(kind); ++i) {
    PluginRow r;
    r.position = i;
    r.name = host_.GetDecoderName(i, kind);
    r.info = host_.GetInfoString(i, kind, 1);
    r.filter = host_.GetDecoderFilter(i, kind);
    r.use = host_.GetUse(i, kind);
    r.hasSettings = host_.HasConfigurationDlg(i, kind);
    rows.push_back(std::move(r));
  }
  return rows;
}

std::vector<PluginRow> CPluginSetOption::ViewRows(int archive) const {
  std::vector<PluginRow> rows;
  for (int position : host_.GetViewSpi(archive)) {
    PluginRow r;
    r.position = position;
    r.name = host_.GetDecoderName(position, kSpiPicture);
    r.use = host_.GetUse(position, kSpiPicture);
    rows.push_back(std::move(r));
  }
  return rows;
}

void CPluginSetOption::Choose(const std::string &name) {
  host_.SavePluginSet(shown_);
  shown_ = name;
  if (name.empty()) return;
  for (int a = 0; a < host_.Count(kSpiArchive); ++a) host_.ClearViewSpi(a);
  host_.LoadPluginSet(name);
}

bool CPluginSetOption::Commit(const std::string &text) {
  const std::string name(TrimBlanks(text));
  if (!IsValidPluginSetName(name)) return false;
  std::erase(names_, name);
  names_.insert(names_.begin(), name);
  shown_ = name;
  host_.SavePluginSet(name);
  return true;
}

bool CPluginSetOption::Delete(const std::string &text) {
  const std::string name(TrimBlanks(text));
  if (name.empty()) return false;
  const std::string question = "プラグインセット：[" + name + "]を削除します。よろしいですか？";
  if (Ui().MessageBox(question, "", MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
  // An invalid name never had a section of its own; "a\b" would name a plug-in's sub-section.
  if (IsValidPluginSetName(name)) Profile::App().DeleteSection(CSpiHost::SetSection(name));
  std::erase(names_, name);
  shown_.clear();
  for (int a = 0; a < host_.Count(kSpiArchive); ++a) host_.ClearViewSpi(a);
  host_.LoadPluginSet("");
  return true;
}

void CPluginSetOption::SetUse(int position, int kind, bool use) { host_.SetUse(position, kind, use); }

void CPluginSetOption::FlipUse(const std::vector<int> &positions, int kind) {
  for (int p : positions) host_.SetUse(p, kind, !host_.GetUse(p, kind));
}

void CPluginSetOption::AddToViewList(int archive, const std::vector<int> &pictures) {
  for (int p : pictures) host_.AddViewSpi(archive, p);
}

void CPluginSetOption::RemoveFromViewList(int archive, const std::vector<int> &pictures) {
  for (auto it = pictures.rbegin(); it != pictures.rend(); ++it) host_.RemoveViewSpi(archive, *it);
}

void CPluginSetOption::SetUseAllPictures(int archive, bool on) {
  if (on) {
    host_.SetAllUse(archive, 0);
    host_.ClearViewSpi(archive);
  } else {
    host_.SetAllUse(archive, 1);
  }
}

bool CPluginSetOption::UsesAllPictures(int archive) const { return host_.GetAllUse(archive) == 0; }

int CPluginSetOption::Configure(int position, int kind, void *parentWindow) {
  return host_.ConfigurationDlg(position, kind, parentWindow, 1);
}

std::string CPluginSetOption::FileFacts(int position, int kind) const {
  const std::string path = host_.GetModulePath(position, kind);
  std::string text = "ファイル: " + path + "\n";
  struct stat st {};
  if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
    text += "サイズ: " + std::to_string(static_cast<unsigned long long>(st.st_size)) + " バイト\n";
    char when[64] = "";
    std::tm tm{};
    const std::time_t t = st.st_mtime;
    if (localtime_r(&t, &tm)) std::strftime(when, sizeof when, "%Y/%m/%d %H:%M:%S", &tm);
    text += std::string("更新日時: ") + when + "\n";
  }
  text += "種類: " + host_.GetInfoString(position, kind, 0) + "\n";
  text += "説明: " + host_.GetInfoString(position, kind, 1) + "\n";
  text += "対応拡張子: " + host_.GetDecoderFilter(position, kind);
  return text;
}

void CPluginSetOption::ShowProperties(int position, int kind) const {
  Ui().MessageBox(FileFacts(position, kind), "プロパティ", MB_OK | MB_ICONINFORMATION);
}

void CPluginSetOption::Close(const Columns &widths) {
  Profile &p = Profile::App();
  auto join = [](const std::vector<int> &given, const std::vector<int> &opened) {
    return JoinWidths(given.empty() ? opened : given);
  };
  std::string list;
  for (const std::string &name : names_) {
    if (!list.empty()) list += ',';
    list += name;
  }
  WriteIfChanged(p, "SPISetList", list, "");
  WriteIfChanged(p, "SPIColumn", join(widths.picture, columns_.picture), kPictureColumns);
  WriteIfChanged(p, "ARCSPIColumn", join(widths.archive, columns_.archive), kArchiveColumns);
  WriteIfChanged(p, "USESPIColumn", join(widths.view, columns_.view), kViewColumns);
  host_.SavePluginSet(shown_);
  SwitchPluginSet(host_, shown_);
}

}  // namespace tamro
