#pragma once

// The full-screen slide show: a frameless window over the screen of a picture window that
// steps through the listing on a timer with that window's fit mode and scaling method. The
// last good picture stays on screen when an entry cannot be decoded.

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include "catalogue/entryid.h"
#include "views/pictureloader.h"

namespace tamro {

class CatalogueEngine;
class COneView;

class CFullShow : public QWidget {
  Q_OBJECT

 public:
  CFullShow(CatalogueEngine &engine, COneView &view, int startIndex);
  ~CFullShow() override;
  // Shows the window over `screen` and returns when it closes: the index reached.
  int Run(const QRect &screen);
  int Index() const { return index_; }
  // The picture the show is on: the listing may change under it, the name stays.
  const EntryId &Reached() const { return reached_; }
  bool Running() const { return timer_.isActive(); }

 protected:
  void paintEvent(QPaintEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void timerEvent(QTimerEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

 private:
  void ShowIndex(int index);
  // Pictures are scaled with their decode on the workers, for the look of the screen.
  ViewLook Look() const;
  void Take(const DisplayPtr &made);

  CatalogueEngine &engine_;
  COneView &view_;
  PictureLoader loader_;
  int index_;
  EntryId reached_;
  bool loading_ = false;
  QImage picture_;
  QSize shownSize_;  // the display size; the picture may be smaller (see FrameSize)
  QPoint pos_;       // device pixels, as the display size
  QBasicTimer timer_;
  QElapsedTimer lastChange_;
  bool open_ = false;
};

}  // namespace tamro
