#pragma once

// The logic of the "プラグイン設定" dialog and of the main window's plug-in set bar: the
// named plug-in sets, the use bits and ViewSPI lists of the plug-in host, and what is stored.
// Every edit goes straight to the host; closing stores the set shown and makes it current.
// Like the host, all of it reads and writes the program's settings store (Profile::App()).

#include <string>
#include <vector>

namespace tamro {

class CSpiHost;

// The set names of "SPISetList" in list order (empty fields skipped).
std::vector<std::string> LoadPluginSetNames();
// What the plug-in set bar offers: the list, and the host's set at the end when it lacks it.
std::vector<std::string> PluginSetBarNames(const CSpiHost &host);
// Makes `name` the host's current set: its flags and ViewSPI lists replace the ones held (a
// list is not merged with the previous set's), dynamic loading follows, "SPISet" records it.
void SwitchPluginSet(CSpiHost &host, const std::string &name);
// A set name becomes a section name and a field of "SPISetList", so it may not hold "\",
// ",", a double quote, brackets or control characters, and may not be empty.
bool IsValidPluginSetName(const std::string &name);

// One row of a plug-in list.
struct PluginRow {
  int position = -1;
  std::string name;
  std::string info;    // information string 1
  std::string filter;  // the extension patterns
  bool use = false;
  bool hasSettings = false;  // the plug-in has a ConfigurationDlg entry point
};

class CPluginSetOption {
 public:
  // Column widths of the picture list, the archive list and the ViewSPI list.
  static constexpr const char *kPictureColumns = "20,85,360,100";
  static constexpr const char *kArchiveColumns = "20,85,270,100";
  static constexpr const char *kViewColumns = "80";
  struct Columns {
    std::vector<int> picture, archive, view;
  };

  // Opening: the set names, the host's current set as the text shown, the column widths.
  explicit CPluginSetOption(CSpiHost &host);

  const std::vector<std::string> &Names() const { return names_; }
  const std::string &Shown() const { return shown_; }
  const Columns &ColumnWidths() const { return columns_; }

  std::vector<PluginRow> Rows(int kind) const;
  // The picture plug-ins of an archive plug-in's ViewSPI list, as rows.
  std::vector<PluginRow> ViewRows(int archive) const;

  // Another set chosen in the set box: the flags so far are saved under the set shown until
  // now (the default set when the text was empty), then the chosen set is loaded.
  void Choose(const std::string &name);
  // The set box lost the focus with `text` in it: the name goes first in the list, becomes
  // the text shown, and the current flags are saved under it. False (nothing changed) for an
  // empty text or one that cannot be a set name.
  bool Commit(const std::string &text);
  // "X": asks whether to delete the set named `text`; on Yes deletes its section with
  // everything below it, removes the name, clears the text and loads the default set.
  bool Delete(const std::string &text);

  void SetUse(int position, int kind, bool use);
  // "使用状態": flips the use bit of each plug-in given.
  void FlipUse(const std::vector<int> &positions, int kind);
  // "↓追加": puts the picture plug-ins into the archive plug-in's list (once each), which
  // restricts its members to that list.
  void AddToViewList(int archive, const std::vector<int> &pictures);
  // "↑解除": takes the picture plug-ins out of the list.
  void RemoveFromViewList(int archive, const std::vector<int> &pictures);
  // "全表示用ﾌﾟﾗｸﾞｲﾝ使用": on lets every picture plug-in read the members and empties the
  // list; off restricts them to the list again.
  void SetUseAllPictures(int archive, bool on);
  bool UsesAllPictures(int archive) const;

  // "プラグイン設定": the plug-in's own dialog (function 1); -1 when it has none.
  int Configure(int position, int kind, void *parentWindow);
  // "プロパティ": the facts of the plug-in's file, and showing them.
  std::string FileFacts(int position, int kind) const;
  void ShowProperties(int position, int kind) const;

  // Closing: stores the list and the widths, saves the flags under the set shown, and makes
  // that set the host's current one (SwitchPluginSet).
  void Close(const Columns &widths);

 private:
  CSpiHost &host_;
  std::vector<std::string> names_;
  std::string shown_;
  Columns columns_;
};

}  // namespace tamro
