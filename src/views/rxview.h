#pragma once

// The thumbnail grid: one fixed-size cell per displayed entry, painted quickly first
// (captions, icons, thumbnails already made), then filled with thumbnails in idle time.
// Drawing is rxview.cpp; selection, keys, mouse, menus, drag and drop and the clipboard
// are rxviewinput.cpp.

#include <QAbstractScrollArea>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/updatehint.h"
#include "picture/dibcanvas.h"
#include "views/gridgeometry.h"

class QMenu;
class QMimeData;

namespace tamro {

class CatalogueEngine;
class CCellPainter;
class CRXDoc;
class CThumbBuilder;
class CThumbScheduler;
class DragWorkFolder;
struct FileDrop;
class PictureWindowList;
class Profile;

class CRXView : public QAbstractScrollArea, public UpdateObserver {
  Q_OBJECT

 public:
  enum Phase : int { kIdle = 0, kQuick = 1, kThumbs = 2, kBackground = 3 };

  // Neither owned; both outlive the view. Thumbnails are made by the engine's workers.
  CRXView(CatalogueEngine &engine, Profile &profile, QWidget *parent = nullptr);
  ~CRXView() override;

  // Reads the background colour, registers with the document, resets position and cursors.
  void OnInitialUpdate();
  void OnUpdate(UpdateObserver *sender, int hint, const UpdateArgument &arg) override;

  // One idle step of the current phase; true while more idle work is wanted. Phases 2 and 3
  // hand thumbnails to the workers and go on as results come in.
  bool ContinueDrawing();
  // Writes the view's settings (at shutdown).
  void SaveSettings();

  void SetCellSize(int width, int height);
  void Enlarge();
  void Shrink();
  void FitColumns(int n);

  static int DrawPhase() { return phase_; }
  const GridGeometry &Grid() const { return grid_; }
  int Top() const { return top_; }
  void SetTop(int pixels);
  bool HasFullCanvas() const { return page_.IsValid(); }
  const std::vector<uint8_t> &DrawnMarks() const { return marks_; }
  uint32_t Background() const { return background_; }
  bool PaintingCell() const { return paintingCell_; }
  // Lays the grid out for the current client size now (paint does this too).
  int RecalcLayout();

  // --- under the user's hands (rxviewinput.cpp)

  // The picture windows entries open in (not owned; null opens them with the associated
  // program instead).
  void SetPictureWindows(PictureWindowList *windows) { pictures_ = windows; }
  PictureWindowList *PictureWindows() const { return pictures_; }

  // The entry under the mouse at the last press, double click or move (-1 for none), the
  // focus of keyboard moves and Shift ranges, and the choice left to the button release.
  int Hover() const { return hover_; }
  void SetHover(int index) { hover_ = index; }
  int Anchor() const { return anchor_; }
  // The entry the commands for "the entry under the cursor" act on: the hover entry, else
  // the anchor (the mouse has left the grid, the main menu is used); -1 for none.
  int CommandTarget() const;
  bool PendingSingleSelect() const { return pendingSingle_; }
  // The entry whose last painted cell holds a point of the viewport (ends inclusive, the
  // lowest index first); -1 for none.
  int HitTest(const QPoint &point) const;
  // Whether the point lies on the caption of that entry's last paint.
  bool OnCaption(int index, const QPoint &point) const;

  // A button press on an entry with these keys (a press on the caption counts as Ctrl).
  void ClickSelect(int index, Qt::KeyboardModifiers keys, bool onCaption);
  // Runs a command of the view's own (keys, its menus, the main menu); false for any other
  // command, which the view's keys and menus send out as commandRequested.
  bool OnCommand(int id, Qt::KeyboardModifiers keys = Qt::NoModifier);
  bool IsCommandEnabled(int id) const;
  // The vertical bar's line and page requests (Shift: one pixel, whole rows), the wheel.
  void ScrollLine(int direction, bool shift);
  void ScrollPage(int direction, bool shift);
  void Wheel(int angleDelta);
  // Opens the entry: a picture window (a new one when asked), or the associated program
  // when no decoder reads it or no picture windows are there.
  void OpenEntry(int index, bool newWindow);
  // Makes the entry the only one selected, the anchor and the current entry, and scrolls it
  // into view, as a key press moving to it does (a picture named at start).
  void SelectOnly(int index) { Navigate(index, Qt::NoModifier); }

  // The context menu for the current selection and hover entry (null when there is none to
  // show); its actions send their commands when triggered.
  std::unique_ptr<QMenu> MakeContextMenu();
  // The same menu for an entry chosen elsewhere (the details list), shown at a screen point.
  void ShowContextMenuFor(int index, const QPoint &globalPos);
  // What a drag out of the grid carries for the selection (also used by tests).
  std::unique_ptr<QMimeData> MakeDragData();
  // Files dropped or pasted with a drop effect: copied or moved into the folder shown, the
  // folder read again when any arrived. The count transferred.
  int DropFiles(const QMimeData *data, Qt::DropAction action);
  // Starts a drag of the selection and handles its end.
  void StartDrag();
  // Runs the drag itself and owns `data`; QDrag::exec unless a test puts another in.
  using DragRunner = std::function<Qt::DropAction(QMimeData *data, Qt::DropActions allowed)>;
  void SetDragRunner(DragRunner runner) { dragRunner_ = std::move(runner); }
  // The picture the drag under way shows (null when none).
  const QPixmap &DragPicture() const { return dragPicture_; }
  // The grid's cursors: the ordinary one, and the one over a caption or with Ctrl held.
  static const QCursor &NormalCursor();
  static const QCursor &ToggleCursor();

 signals:
  void statusText(int pane, const QString &text);
  void statusGauge(int percent);
  void currentFolder(const QString &folder);
  void firstPainted();
  void idleWorkWanted();
  // A command that is not the view's own, from its keys or its context menu.
  void commandRequested(int id);

 protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void keyReleaseEvent(QKeyEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

 private:
  struct Cursor {
    int index = 0, x = 0, y = 0;
  };
  enum StepResult : int {
    kStepPainted = 0,
    kStepSkipped = 1,
    kStepFinished = 2,
    kStepNoClient = -1,
    kStepWait = 3
  };

  void Invalidate();
  void UpdateScrollBars();
  void RebuildCanvas();
  void ResetCursors();
  int Left() const;
  // A length of the grid in the canvases' device pixels.
  int Device(int logical) const { return static_cast<int>(std::ceil(logical * ratio_)); }
  int DrawStep(Cursor &cursor, int phase);
  void Advance(Cursor &cursor) const;
  bool PaintAt(int index, int gridX, int gridY, int mode);
  // Paints the entry's cell again and asks for its thumbnail when it has none (unless told not to).
  void RepaintEntry(int index, bool askThumbnail = true);
  // Asks the workers for the entry's thumbnail; true when it has one already.
  int AskThumbnail(int index, int priority);
  void OnThumbnailDone(int index, int result);
  int BackgroundStep();
  void SetPhase(int phase);
  void SetFocusStatus(const QString &text) { emit statusText(3, text); }

  // Interaction (rxviewinput.cpp).
  void SetupInput();
  void Command(int id, Qt::KeyboardModifiers keys = Qt::NoModifier);
  // Sets or clears an entry's selected bit, tells the other views, and repaints its cell
  // unless the caller repaints the view once after many.
  void SetSelected(int index, bool on, bool repaint = true);
  void SelectRange(int from, int to, bool on);
  void ClearSelection();
  void SelectAllOrNone();
  void SetAnchor(int index);
  void Synchronise(int index);
  void Navigate(int target, Qt::KeyboardModifiers keys);
  void ScrollIntoView(int index);
  void FollowList(int index);
  int DropFileList(const FileDrop &drop, bool move);
  void ScrollToTop(int top);
  void OnBarAction(int action);
  void OnListing();
  void OnEntryRemoved(int index);
  // An entry was put in at `index` while the folder's changes are taken in.
  void OnEntryInserted(int index);
  void ShowContextMenu(const QPoint &globalPos);
  void UpdateCursor(Qt::KeyboardModifiers keys);
  void CopyToClipboard();
  void RunAssociated(int index);
  void Reload(int index);
  CThumbBuilder *Builder() const;

  static int phase_;

  CRXDoc &doc_;
  CCellPainter &painter_;
  CThumbScheduler &thumbs_;
  Profile &profile_;
  GridGeometry grid_;
  int top_ = 0;  // exact vertical position in grid pixels
  bool settingBar_ = false;
  bool fullPaint_ = true;
  bool firstPaint_ = true;
  bool paintingCell_ = false;
  bool direct_ = false;
  uint32_t background_ = 0xC0C0C0;
  int inFlightLimit_ = 4;
  Cursor quick_, visible_, pass_;  // the background pass goes over every entry
  CDibCanvas page_;                // the whole grid, when memory allows
  std::vector<uint8_t> marks_;     // per entry: bit 0 quick, bit 1 thumbnail
  QImage client_;                  // the visible area, without a full canvas
  qreal ratio_ = 1;                // device pixels per pixel of the screen the canvases are for
  int clientLeft_ = -1, clientTop_ = -1;
  int lastFirstVisible_ = -1;  // told to the details list last

  // Interaction state.
  PictureWindowList *pictures_ = nullptr;
  int hover_ = -1, anchor_ = -1;
  bool pendingSingle_ = false;
  int capture_ = 0;  // 0 none, 1 left button, 2 right button
  qint64 pressTime_ = 0;
  int lastMoveHover_ = -1;
  QPoint pressPos_;
  bool dragging_ = false;  // this view is the source of the drag under way
  bool toggleCursor_ = false;
  int wantTop_ = -1;   // the exact position a bar request asked for
  int wheelRest_ = 0;  // wheel turns below one notch, in page mode
  DragRunner dragRunner_;
  QPixmap dragPicture_;
  int grabbed_ = -1;  // the entry the left button pressed on
};

}  // namespace tamro
