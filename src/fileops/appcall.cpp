#include "fileops/appcall.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstring>

#include "catalogue/macros.h"
#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace tamro {

namespace {

std::string Key(int n, const char *name) { return "App" + std::to_string(n) + "\\" + name; }

}  // namespace

std::vector<CAppEntry> LoadApplications(Profile *profile) {
  Profile &p = profile ? *profile : Profile::App();
  std::vector<CAppEntry> apps;
  for (int n = 0;; ++n) {
    CAppEntry a;
    a.title = p.GetString(kAppCallSection, Key(n, "Title"), "");
    if (a.title.empty()) break;
    a.command = p.GetString(kAppCallSection, Key(n, "Cmd"), "");
    a.arguments = p.GetString(kAppCallSection, Key(n, "Argv"), "");
    a.folder = p.GetString(kAppCallSection, Key(n, "Dir"), "");
    a.perFile = p.GetInt(kAppCallSection, Key(n, "Dup"), 0);
    apps.push_back(std::move(a));
  }
  return apps;
}

void SaveApplications(const std::vector<CAppEntry> &apps, int oldCount, Profile *profile) {
  Profile &p = profile ? *profile : Profile::App();
  const int count = std::max(oldCount, static_cast<int>(apps.size()));
  for (int n = 0; n < count; ++n) {
    CAppEntry a = n < static_cast<int>(apps.size()) ? apps[n] : CAppEntry{};
    p.WriteString(kAppCallSection, Key(n, "Title"), a.title);
    p.WriteString(kAppCallSection, Key(n, "Cmd"), a.command);
    p.WriteString(kAppCallSection, Key(n, "Argv"), a.arguments);
    p.WriteString(kAppCallSection, Key(n, "Dir"), a.folder);
    p.WriteInt(kAppCallSection, Key(n, "Dup"), a.perFile);
  }
}

std::string ProgramText(std::string_view command) {
  if (!command.starts_with('"') && command.find(' ') != std::string_view::npos)
    return "\"" + std::string(command) + "\"";
  return std::string(command);
}

std::string ProgramPath(std::string_view command) {
  if (command.starts_with('"')) {
    std::size_t end = command.find('"', 1);
    return std::string(command.substr(1, end == std::string_view::npos ? end : end - 1));
  }
  return std::string(command.substr(0, command.find_first_of(" \t")));
}

std::vector<AppLaunch> BuildLaunches(const CAppEntry &app, const std::vector<CPicEntry *> &pictures) {
  std::vector<AppLaunch> launches;
  const std::string program = ProgramText(app.command);
  // The folder comes from the quoted program text, so that a path with blanks is taken
  // whole ("/opt/My Tools/edit" lives in "/opt/My Tools").
  const std::string programFolder(DirPart(ProgramPath(program)));
  AppLaunch current{program, {}};
  for (CPicEntry *e : pictures) {
    if (!e || e->IsArchiveMember()) continue;
    current.commandLine += " " + ExpandMacros(e, app.arguments, MacroEscape::kCommandLine);
    current.folder = ExpandMacros(e, app.folder, MacroEscape::kCommandLine);
    if (app.perFile) {
      if (current.folder.empty()) current.folder = programFolder;
      launches.push_back(current);
      current = AppLaunch{program, {}};
    }
  }
  if (!app.perFile) {
    if (current.folder.empty()) current.folder = programFolder;
    launches.push_back(current);
  }
  return launches;
}

bool StartDetachedProcess(const AppLaunch &launch, std::string &error) {
  QStringList args = QProcess::splitCommand(QString::fromStdString(launch.commandLine));
  if (args.isEmpty()) {
    error = "コマンドが空です";
    return false;
  }
  QProcess process;
  process.setProgram(args.takeFirst());
  process.setArguments(args);
  if (!launch.folder.empty()) process.setWorkingDirectory(QString::fromStdString(launch.folder));
  if (process.startDetached()) return true;
  error = process.errorString().toStdString();
  if (error.empty()) error = "プログラムを起動できません";
  return false;
}

int RunApplication(CRXDoc &doc, int commandNumber, const ProcessStarter &start) {
  std::vector<CAppEntry> apps = LoadApplications();
  const int n = commandNumber - kFirstAppCommand;
  if (n < 0 || n >= static_cast<int>(apps.size())) return -1;
  std::vector<CPicEntry *> pictures;
  for (int i = 0; i < doc.GetEntryCount(); ++i)
    if (CPicEntry *e = doc.GetEntry(i); e && e->IsSelected()) pictures.push_back(e);
  int started = 0;
  for (const AppLaunch &launch : BuildLaunches(apps[n], pictures)) {
    std::string error;
    if (!start(launch, error)) {
      Ui().MessageBox(error + "\n\n[" + launch.commandLine + "]", kStartFailedTitle,
                      MB_OK | MB_ICONINFORMATION);
      break;
    }
    ++started;
  }
  return started;
}

// ---- the registration dialog

CAppCallOption::CAppCallOption(Profile *profile) : profile_(profile ? *profile : Profile::App()) {}

void CAppCallOption::Load() {
  apps_ = LoadApplications(&profile_);
  oldCount_ = static_cast<int>(apps_.size());
  current_ = static_cast<int>(apps_.size()) - 1;
  Show();
}

void CAppCallOption::Store() {
  if (current_ >= 0 && current_ < static_cast<int>(apps_.size())) apps_[current_] = fields;
}

void CAppCallOption::Show() {
  fields = current_ >= 0 && current_ < static_cast<int>(apps_.size()) ? apps_[current_] : CAppEntry{};
}

void CAppCallOption::Select(int index) {
  if (index < 0 || index >= static_cast<int>(apps_.size())) return;
  Store();
  current_ = index;
  Show();
}

void CAppCallOption::Add() {
  Store();
  apps_.push_back({});
  current_ = static_cast<int>(apps_.size()) - 1;
  Show();
}

void CAppCallOption::Delete() {
  if (current_ < 0 || current_ >= static_cast<int>(apps_.size())) return;
  apps_.erase(apps_.begin() + current_);
  current_ = std::min(current_, static_cast<int>(apps_.size()) - 1);
  Show();
}

void CAppCallOption::Move(int to) {
  const int count = static_cast<int>(apps_.size());
  if (current_ < 0 || current_ >= count) return;
  to = std::clamp(to, 0, count - 1);
  Store();
  CAppEntry moving = apps_[current_];
  apps_.erase(apps_.begin() + current_);
  apps_.insert(apps_.begin() + to, moving);
  current_ = to;
  Show();
}

void CAppCallOption::MoveTop() { Move(0); }
void CAppCallOption::MoveUp() { Move(current_ - 1); }
void CAppCallOption::MoveDown() { Move(current_ + 1); }
void CAppCallOption::MoveBottom() { Move(static_cast<int>(apps_.size()) - 1); }

bool CAppCallOption::Close() {
  if (current_ >= 0) {
    if (fields.title.empty()) {
      Ui().MessageBox("タイトルを設定してください", "外部アプリケーション登録", MB_OK | MB_ICONEXCLAMATION);
      return false;
    }
    if (fields.command.empty()) {
      Ui().MessageBox("コマンドを設定してください", "外部アプリケーション登録", MB_OK | MB_ICONEXCLAMATION);
      return false;
    }
  }
  Store();
  std::vector<CAppEntry> named;
  for (const CAppEntry &a : apps_)
    if (!a.title.empty()) named.push_back(a);
  SaveApplications(named, oldCount_, &profile_);
  oldCount_ = static_cast<int>(named.size());
  return true;
}

}  // namespace tamro
