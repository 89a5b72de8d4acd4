#pragma once

// The client of a picture window: one entry of the listing at full size, fitted or zoomed,
// turned, dragged, animated when it is an animated GIF, and stepped through on a timer in
// the slide show. Pictures are decoded, scaled and turned on the engine's workers; the window
// keeps answering meanwhile and shows the previous picture until the new one is there.
// The display is laid out and painted in device pixels: at x1 one picture pixel is one pixel
// of the screen, and the fit modes fit the client as the screen counts it.

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/entryid.h"
#include "views/gifanimation.h"
#include "views/onepicture.h"
#include "views/pictureloader.h"

namespace tamro {

class CatalogueEngine;
class CRXDoc;

class COneView : public QWidget {
  Q_OBJECT

 public:
  enum Mouse : int { kIdle = 0, kCanGrab = 1, kPressed = 2, kSlidePressed = 3, kDragging = 4 };
  enum Slide : int { kSlideOff = 0, kSlideRunning = 1, kSlideHeld = 2 };

  COneView(CatalogueEngine &engine, const OneViewSettings &settings, QWidget *parent = nullptr);
  ~COneView() override;

  // What the window shows of its entry: copied, so that the listing may change under it.
  struct Shown {
    std::string name, path;  // display name; the file (or archive) for file commands
    bool member = false;
    uint64_t size = 0;
    PictureFacts facts;
    std::string description;
  };

  // Shows the entry at a visible index of the listing (and binds the window to it). `held`:
  // a step by a key held down, which reads the next two pictures that way ahead.
  void ShowEntry(int index, bool held = false);
  // The entry's picture is being read ahead and not there yet.
  bool ReadingAhead(int index);
  // The listing was replaced while the window stays open.
  void Unbind() { bound_ = false; }
  bool Bound() const { return bound_; }
  // Where the shown picture was last seen in the listing (it may have moved or left since).
  int Index() const { return index_; }
  // The shown picture looked up again by its identity: its visible index now, -1 when the
  // listing no longer holds it. Commands that act on the picture ask this just before acting.
  int Locate();
  // Where stepping starts: the shown picture's place now, or the place it left.
  int ListPosition();
  const EntryId &Id() const { return id_; }
  const Shown &Entry() const { return shown_; }
  // A decode for the shown entry, or its display picture, is under way.
  bool Loading() const { return loading_ || Making() || gif_.Pending(); }
  bool HasPicture() const { return gif_.Active() || Still(); }
  int FrameCount() const { return gif_.Active() ? gif_.Count() : Still() ? 1 : 0; }
  int CurrentFrame() const { return gif_.Active() ? gif_.Current() : 0; }

  OneViewSettings &Settings() { return settings_; }
  int Interval() const { return interval_; }
  void SetInterval(int ms) { interval_ = ms; }

  void ZoomIn();
  void ZoomOut();
  void TurnRight();
  void TurnLeft();
  // Fit mode and scaling method; the display is rebuilt when either changes.
  void SetFitAndScale(int fit, int scaleMode);
  // Sharpens what is displayed.
  void Unsharp();
  // The picture as displayed (scaled, turned, sharpened); null without one. One still being
  // made on a worker is made here at once, so that what is saved is what the window shows.
  HDIB DisplayedPicture();

  void StartSlideShow();
  void StopSlideShow();
  int SlideState() const { return slide_; }
  bool SlideShowRunning() const { return slide_ != kSlideOff; }
  // The slide show's step: the next showable entry after the shown one, -1 to stop.
  int NextSlide();
  // An entry a decoder accepts (examined first while its decoder is unknown): stepping and the
  // slide show pass over the others, which would only show that nothing can be shown.
  bool Showable(int index);
  enum Step : int { kToFirst, kToPrevious, kToNext, kToLast };
  // Where a step from the shown picture goes; -1 when there is no other showable entry.
  int StepTarget(Step step);

  double Angle() const { return angle_; }
  int Zoom() const { return zoom_; }
  // In device pixels, as are Position() and Client().
  QSize DisplaySize() const { return {display_.width, display_.height}; }
  QPoint Position() const { return pos_; }
  QSize Client() const { return ToDevice(size(), devicePixelRatioF()); }
  QString ScaleText() const { return tamro::ScaleText(display_.scale); }
  int MouseState() const { return mouse_; }
  // The next click is the one that activated the window: it does not step.
  void NoteActivation();
  // At most this many pixels in a display picture (kFramePixelBudget; tests make it small).
  void SetFrameBudget(int64_t pixels) { frameBudget_ = pixels; }
  // Pictures next to the shown one are read ahead unless turned off (to measure without).
  void SetPreload(bool on) { preload_ = on; }
  // One tick of the animation clock: the next frame shown once a worker has made it.
  void AnimationTick();
  // The bytes an animation holds, and at most how many (GifAnimation::kDefaultBudget).
  int64_t AnimationBytes() const { return gif_.BytesHeld(); }
  void SetAnimationBudget(int64_t bytes) { gif_.SetBudget(bytes); }

 signals:
  // Title and status texts may change: an entry was asked for or its picture arrived.
  void entryChanged();
  // Fit mode 1 wants the client this size.
  void fitWanted(const QSize &client);
  // Previous (-1) or next (+1) by a mouse button; first/last steps come from the window.
  void stepWanted(int direction);
  void slideShowChanged(bool running);
  void pictureShown();

 protected:
  bool event(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void timerEvent(QTimerEvent *event) override;

 private:
  bool Still() const { return loaded_ && loaded_->picture; }
  // Made for the shown picture as it is wanted now.
  bool Current(const DisplayPtr &d) const {
    return d && d->from == loaded_ && d->look == look_ && d->sharpened == sharpen_;
  }
  bool Making() const { return Still() && !Current(painted_); }
  void TakePicture(const LoadedPicturePtr &loaded, const DisplayPtr &display);
  bool StartAnimation(const CPicEntry &entry);
  void Preload();
  // The look a new picture is shown at: the window's fit mode and zoom, unturned.
  ViewLook NewLook() const;
  // Display size from the fit mode (or the zoom formula), display picture asked for, window
  // fitted, picture centred and clamped, repainted.
  void Relayout(bool zoomFormula);
  // The look and display size for a fit mode; the display picture (or animation frames) asked for.
  void Layout(int fit);
  // Asks a worker for the display picture wanted now unless it is there or asked for.
  void Request();
  void Arrived(const DisplayPtr &made);
  void SetBusy(bool busy);
  // The window went to a screen of another pixel ratio: laid out again for it.
  void FollowRatio();
  void Centre();
  void Clamp();
  void SlideTick();

  CatalogueEngine &engine_;
  CRXDoc &doc_;
  OneViewSettings settings_;
  PictureLoader loader_;
  int interval_ = 100;
  bool preload_ = true;
  int travel_ = 0;  // +1 or -1 while a held key steps
  int64_t frameBudget_ = kFramePixelBudget;

  bool bound_ = false;
  int index_ = -1;
  EntryId id_;
  Shown shown_;
  bool loading_ = false;
  LoadedPicturePtr loaded_;  // the shown picture; the previous one's until it is decoded
  DisplayPtr painted_;       // painted stretched to the display size until the one wanted comes
  ViewLook look_;
  int sharpen_ = 0;  // unsharp steps on the display picture
  // What a worker was last asked to make (forgotten when the picture changes).
  struct Wish {
    const LoadedPicture *from = nullptr;
    ViewLook look;
    int sharpen = -1;
    bool operator==(const Wish &) const = default;
  } asked_;
  bool busy_ = false;

  GifAnimation gif_;
  QBasicTimer animation_;

  int sourceWidth_ = 0, sourceHeight_ = 0;
  double angle_ = 0.0;
  int zoom_ = 0;
  tamro::DisplaySize display_;
  QPoint pos_;
  qreal ratio_ = 1.0;  // the device pixel ratio the display was laid out for

  int mouse_ = kIdle;
  QPoint pressPos_, lastPos_;
  bool activationClick_ = false;
  QElapsedTimer activated_;

  int slide_ = kSlideOff;
  QBasicTimer slideTimer_;
  QElapsedTimer lastChange_;
};

}  // namespace tamro
