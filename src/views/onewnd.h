#pragma once

// A picture window (COneWnd): the picture view with its menu, tool bar, status bar and keys,
// and the list of open picture windows the grid and the details list show entries through.
// Commands that need the application's dialogs go to a PictureWindowHost.

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <vector>

#include "catalogue/entryid.h"
#include "picture/dibtypes.h"
#include "views/onepicture.h"
#include "views/picturewindows.h"

class QLabel;
class QMenu;
class QToolBar;

namespace tamro {

class CatalogueEngine;
class COneView;
class CPictureWindows;
class CRXDoc;
class Profile;

// What a picture window asks of the application.
class PictureWindowHost {
 public:
  virtual ~PictureWindowHost() = default;
  // The picture is named by its identity: the listing may change while a dialog is open, so
  // the host looks it up again after the dialog (and refuses when it is gone).
  // Copy or move of the picture after the destination dialog; -1 when cancelled or gone,
  // else the number of files transferred.
  virtual int Transfer(QWidget *parent, const EntryId &picture, bool move) = 0;
  // The note dialog for the picture; true when a note was stored.
  virtual bool EditNote(QWidget *parent, const EntryId &picture) = 0;
  // "表示モード設定" over this window's values; true when confirmed.
  virtual bool DisplayMode(QWidget *parent, OneViewSettings &settings, int &interval) = 0;
  virtual void Wallpaper(QWidget *parent, HDIB picture) = 0;
  virtual void Print(QWidget *parent, const EntryId &picture) = 0;
  virtual void ActivateMain() = 0;
  // Where a new window should not go, in screen coordinates: the main window's menu bar.
  virtual QRect KeepClear() const { return {}; }
};

class COneWnd : public QMainWindow {
  Q_OBJECT

 public:
  enum Command : int {
    kFirst = 32787, kPrevious = 32788, kNext = 32789, kLast = 32790, kSlideShow = 32796,
    kTurnRight = 10044, kTurnLeft = 10118, kZoomIn = 10100, kZoomOut = 10101,
    kFitAsIs = 10143, kFitPicture = 10144, kFitStretch = 10145, kFitAspect = 10146,
    kScalePlain = 10147, kScaleNearest = 10148, kScaleLinear = 10149, kScaleAverage = 10163, kScaleAuto = 10166,
    kFullScreen = 10150, kRepeat = 10158, kDisplayMode = 10002,
    kCopy = 10104, kMove = 10105, kDelete = 10077, kSave = 10107, kClipboard = 10106, kNote = 10168,
    kSelect = 10076, kUnsharp = 10169, kWallpaper = 10123, kPrint = 57607, kClose = 10167,
    kCloseAll = 10196, kNextWindow = 125, kPreviousWindow = 10197, kMainWindow = 127, kTile = 126,
    kTopMost = 10194,
  };

  COneWnd(CatalogueEngine &engine, Profile &profile, CPictureWindows &list, PictureWindowHost *host);
  ~COneWnd() override;

  COneView *View() const { return view_; }
  // Shows the entry at a visible index: title, status panes, then the picture.
  void ShowIndex(int index);
  bool OnCommand(int id);
  bool IsCommandEnabled(int id) const;
  bool IsCommandChecked(int id) const;
  QString StatusText(int pane) const;
  bool TopMost() const { return topMost_; }
  // Saves the displayed picture: JPEG when `jpeg`, else BMP. False after the failure message.
  bool SaveDisplayed(const QString &path, bool jpeg);
  // Runs the full-screen show to its end (the command with AllView on).
  void RunFullScreen();
  // Closes the window, or, while one of its commands runs (a dialog or the full-screen show
  // may be open inside it), as soon as that command returns.
  void CloseSoon();
  // Moves and sizes the window so that its frame, title bar included, covers `outer`.
  void PlaceFrame(const QRect &outer);
  // The frame and title bar around the client (nothing before the window manager framed it).
  QMargins FrameMargins() const;
  // The free area of the window's screen (less panels and docks).
  QRect Available() const;

 protected:
  void closeEvent(QCloseEvent *event) override;
  void changeEvent(QEvent *event) override;
  bool event(QEvent *event) override;

 private:
  bool Execute(int id);
  static void TellGone();
  void BuildMenus();
  QAction *Add(QMenu *menu, int id, const QString &text, const QList<QKeySequence> &keys = {});
  void UpdateActions();
  void UpdateStatus();
  void FitTo(const QSize &client);
  void Step(int direction);
  void Delete();
  void Save();
  void AfterRemoval(int index);
  // The shown picture's index now; -1 after telling the user it has left the listing.
  int LocateOrRefuse();
  bool RestorePlacement();
  void SavePlacement();

  CatalogueEngine &engine_;
  CRXDoc &doc_;
  Profile &profile_;
  CPictureWindows &list_;
  PictureWindowHost *host_;
  COneView *view_;
  QLabel *panes_[4];
  QToolBar *bar_ = nullptr;
  std::map<int, QAction *> actions_;
  bool topMost_ = true;
  bool saved_ = false;
  bool listed_ = true;  // in the list until closed
  int commandDepth_ = 0;    // commands running (each may hold a nested event loop)
  bool closeWanted_ = false;
  bool keyHeld_ = false;  // the last key press was the key's own repeat
};

class CPictureWindows : public PictureWindowList {
 public:
  CPictureWindows(CatalogueEngine &engine, Profile &profile, PictureWindowHost *host = nullptr);
  // Deletes the windows still open. Closed ones go with the next pass of the event loop, or
  // with QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete), which must
  // come before the engine goes.
  ~CPictureWindows() override;

  bool Show(int visibleIndex, bool newWindow) override;
  void Synchronise(int visibleIndex) override;
  void CloseAll() override;
  void Unbind() override;
  int Count() const override { return static_cast<int>(windows_.size()); }

  COneWnd *At(int i) const { return windows_.at(static_cast<std::size_t>(i)); }
  // Tab and Shift+Tab: the window after (or before) `from`, wrapping around.
  void Activate(COneWnd *from, int direction);
  // Tiles the windows over the screen's available area, in list order.
  void Tile() override;
  // Window bookkeeping: a window leaves the list when it closes (it is deleted later).
  void SetActive(COneWnd *window) { active_ = window; }
  void Remove(COneWnd *window);

 private:
  COneWnd *Make();

  CatalogueEngine &engine_;
  Profile &profile_;
  PictureWindowHost *host_;
  std::vector<COneWnd *> windows_;
  QPointer<COneWnd> active_;
};

}  // namespace tamro
