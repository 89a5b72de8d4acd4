#pragma once

// The main window: folder tree left, details list above the thumbnail grid right, the main
// tool bar, the plug-in-set bar, the status bar and the menus.

#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/updatehint.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QProgressBar;
class QSocketNotifier;
class QSplitter;
class QToolBar;
class QToolButton;

namespace tamro {

class CatalogueEngine;
class CFolderMonitor;
class FolderMonitorControl;
class CFolderTree;
class CLstView;
class MountTableNotifier;
class PictureWindowList;
class RecentFileList;
class CRXDoc;
class CRXView;
class CSpiHost;
class Profile;

class CMainFrame : public QMainWindow, public UpdateObserver {
  Q_OBJECT

 public:
  static constexpr int kStatusPanes = 4;

  // Neither owned.
  CMainFrame(CatalogueEngine &engine, Profile &profile, QWidget *parent = nullptr);
  ~CMainFrame() override;

  CRXView *View() const { return view_; }
  CFolderTree *Tree() const { return tree_; }
  CLstView *List() const { return list_; }
  // The picture windows entries open in; the grid and the details list both use them.
  void SetPictureWindows(PictureWindowList *windows);
  CFolderMonitor &Monitor() const { return *monitor_; }

  // One step of idle work; true while more is wanted.
  bool OnIdle(int count);
  void SetStatusText(int pane, const QString &text);
  void SetStatusGauge(int percent);
  QString StatusText(int pane) const;
  // A passing message (what a command did) over the panes for a few seconds.
  void ShowStatusMessage(const QString &text);
  // The folder the grid shows; the change monitor will follow it.
  void SetCurrentFolder(const QString &folder);
  QString CurrentFolder() const { return currentFolder_; }
  // Fills the plug-in-set combo from the host's sets.
  void ReloadPluginSets();

  // Writes placement, geometry, bar states and the views' settings.
  void SaveState();

  // The menu commands (views/commands.h): the grid's own go to it, the others run here.
  // A disabled command does nothing.
  void RunCommand(int id);
  bool IsCommandEnabled(int id) const;
  // The main menu's action of a command (null for none).
  QAction *Action(int id) const;
  // Brings every action's enabled and checked state, and the status bar, up to date now.
  void UpdateCommandStates();
  // The sort menu's actions, in menu order.
  const std::vector<QAction *> &SortActions() const { return sortActions_; }
  QAction *FilterAction() const { return filterAction_; }
  // Looks at the mount table now; a change tells the views (hint 15).
  void CheckMounts();
  // Pictures opened by name (the command line, Open, the recent list): the first one's folder
  // is shown (an archive is listed instead), every one listed there is selected, the first
  // current, and the first kMaxOpenWindows each get a picture window. False when none is listed.
  static constexpr int kMaxOpenWindows = 8;
  bool OpenFiles(const std::vector<std::string> &files);
  // The files of the recent list in menu order (newest first).
  std::vector<std::string> RecentFiles() const;

  // Selection and listing changes make the commands' states follow.
  void OnUpdate(UpdateObserver *sender, int hint, const UpdateArgument &arg) override;

 signals:
  void idleWorkWanted();

 protected:
  void closeEvent(QCloseEvent *event) override;

 private:
  void BuildMenus();
  void BuildToolBars();
  void FillHistoryMenu(QMenu *menu, bool back);
  void FillThumbSizeMenu(QMenu *menu);
  void OnPluginSet(int index);
  void ShowAbout();
  QAction *AddCommand(QMenu *menu, const QString &text, int id, const QString &keys = QString());
  void Paste();
  void SetWallpaperFromEntry(int index);
  void BehaviourSettings();
  void ThumbnailSettings();
  void PluginSettings();
  // After the decoder switches or the plug-in set changed: the folder is read again.
  void DecodersChanged();
  void BuildSortMenu(QMenu *view);
  // What the commands and the status bar need to know of the entries, from one walk.
  struct Facts {
    int count = 0, selected = 0, selectedPlain = 0;
    uint64_t total = 0, selectedSize = 0;
  };
  Facts GatherFacts() const;
  bool IsCommandEnabled(int id, const Facts &facts) const;
  void UpdateStatus(const Facts &facts);
  // Commands that act on the selection, disabled without one.
  static bool NeedsSelection(int id);
  void WatchMounts();
  void OpenFileCommand();
  void OpenRecent(int slot);
  void FillRecentMenu();

  CatalogueEngine &engine_;
  CRXDoc &doc_;
  Profile &profile_;
  CSpiHost *host_;
  QSplitter *split_ = nullptr, *right_ = nullptr;
  CFolderTree *tree_ = nullptr;
  CLstView *list_ = nullptr;
  CRXView *view_ = nullptr;
  QToolBar *toolBar_ = nullptr, *pluginBar_ = nullptr;
  QComboBox *pluginSets_ = nullptr;
  QLabel *panes_[kStatusPanes] = {};
  QProgressBar *gauge_ = nullptr;
  QString currentFolder_;
  bool saved_ = false;
  std::map<int, QAction *> actions_;
  QMenu *applications_ = nullptr;
  QTimer states_;  // the commands' states are brought up to date once the events settle
  std::vector<QAction *> sortActions_;
  QAction *filterAction_ = nullptr;
  int filteredOut_ = -1;  // files the display filter hides in the shown folder; -1: not counted yet
  std::unique_ptr<CFolderMonitor> monitor_;
  FolderMonitorControl *previousMonitor_ = nullptr;
  std::unique_ptr<MountTableNotifier> mountTable_;
  std::unique_ptr<QSocketNotifier> mountNotifier_;
  QTimer mountSettle_;  // mount changes come in bursts: the table is read once they settle
  std::vector<std::string> mounts_;
  std::unique_ptr<RecentFileList> recent_;
  QAction *recentEnd_ = nullptr;  // the separator after the recent files
  std::vector<QAction *> recentItems_;
};

}  // namespace tamro
