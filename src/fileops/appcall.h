#pragma once

// External programs registered by the user, started for the selected pictures.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class CPicEntry;
class CRXDoc;
class Profile;

inline constexpr char kAppCallSection[] = "AppCall";
inline constexpr int kFirstAppCommand = 20000;
inline constexpr char kStartFailedTitle[] = "起動に失敗しました";

// One registered program.
struct CAppEntry {
  std::string title;
  std::string command;    // program path, optionally with fixed arguments
  std::string arguments;  // name macros
  std::string folder;     // working folder, name macros
  int perFile = 0;        // 1: one process per picture
  bool operator==(const CAppEntry &) const = default;
};

// The list up to the first empty title ("App%d\Title" and its four neighbours).
std::vector<CAppEntry> LoadApplications(Profile *profile = nullptr);
// Writes the list: for n up to the larger of `oldCount` and the list's size, the five keys
// of application n, emptied beyond the list.
void SaveApplications(const std::vector<CAppEntry> &apps, int oldCount, Profile *profile = nullptr);

// The command, in double quotes when it holds a blank and is not quoted yet.
std::string ProgramText(std::string_view command);
// The command's first token: inside its leading double quotes, else up to a blank or tab.
std::string ProgramPath(std::string_view command);

// One process to start.
struct AppLaunch {
  std::string commandLine;
  std::string folder;
};
// The processes for the given pictures (archive members are left out): one per picture,
// or one for all of them (also when there are none). The patterns' macros are expanded
// with command-line escaping; a note is read into its entry when a pattern asks for it.
std::vector<AppLaunch> BuildLaunches(const CAppEntry &app, const std::vector<CPicEntry *> &pictures);

// Starts one process, not waiting for it; false and the reason when it could not start.
using ProcessStarter = std::function<bool(const AppLaunch &launch, std::string &error)>;
// The command line split as QProcess::splitCommand does, never through a shell.
bool StartDetachedProcess(const AppLaunch &launch, std::string &error);

// Runs application commandNumber - 20000 for the selected entries of the document in list
// order. Stops at the first process that fails to start and reports it as "%s\n\n[%s]"
// titled "起動に失敗しました". Answers the number of processes started, -1 when there is
// no such application.
int RunApplication(CRXDoc &doc, int commandNumber, const ProcessStarter &start = StartDetachedProcess);

// The registration dialog's state.
class CAppCallOption {
 public:
  explicit CAppCallOption(Profile *profile = nullptr);
  // Reads the list and selects its last item.
  void Load();

  const std::vector<CAppEntry> &Apps() const { return apps_; }
  int Current() const { return current_; }
  // The edit boxes; they belong to the current item.
  CAppEntry fields;

  // Stores the edit boxes into the current item, then shows item `index`.
  void Select(int index);
  // Stores the edit boxes and adds an empty item at the end, which becomes current.
  void Add();
  // Removes the current item; its neighbour (or the new last one) becomes current.
  void Delete();
  // Moves the current item: to the top, one up, one down, to the bottom.
  void MoveTop();
  void MoveUp();
  void MoveDown();
  void MoveBottom();
  // "閉じる": refuses an empty title or command of the current item with its message;
  // otherwise stores the fields and writes the whole list. Items without a title (added and
  // never named) are not written, since the list ends at the first empty title.
  bool Close();

 private:
  void Store();
  void Show();
  void Move(int to);

  Profile &profile_;
  std::vector<CAppEntry> apps_;
  int oldCount_ = 0;
  int current_ = -1;
};

}  // namespace tamro
