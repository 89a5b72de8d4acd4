#pragma once

// The thumbnail grid: one fixed-size cell per displayed entry, painted quickly first
// (captions, icons, thumbnails already made), then filled with thumbnails in idle time.

#include <QAbstractScrollArea>
#include <QImage>
#include <cstdint>
#include <vector>

#include "catalogue/updatehint.h"
#include "picture/dibcanvas.h"
#include "views/gridgeometry.h"

namespace tamro {

class CatalogueEngine;
class CCellPainter;
class CRXDoc;
class CThumbScheduler;
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

 signals:
  void statusText(int pane, const QString &text);
  void statusGauge(int percent);
  void currentFolder(const QString &folder);
  void firstPainted();
  void idleWorkWanted();

 protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void scrollContentsBy(int dx, int dy) override;

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
  int DrawStep(Cursor &cursor, int phase);
  void Advance(Cursor &cursor) const;
  bool PaintAt(int index, int gridX, int gridY, int mode);
  void RepaintEntry(int index);
  // Asks the workers for the entry's thumbnail; true when it has one already.
  int AskThumbnail(int index, int priority);
  void OnThumbnailDone(int index);
  int BackgroundStep();
  void SetPhase(int phase);
  void SetFocusStatus(const QString &text) { emit statusText(3, text); }

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
  int clientLeft_ = -1, clientTop_ = -1;
};

}  // namespace tamro
