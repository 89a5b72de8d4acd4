#include "views/oneview.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "catalogue/engine.h"
#include "picture/dib.h"
#include "platform/fileio.h"
#include "views/rxview.h"

namespace tamro {

namespace {
constexpr int kTick = 55;              // animation and slide show clock, ms
constexpr int kActivationClickMs = 400;  // a press this soon after activation activated the window
constexpr int kBusyCursorPixels = 4 << 20;
}  // namespace

COneView::COneView(CatalogueEngine &engine, const OneViewSettings &settings, QWidget *parent)
    : QWidget(parent),
      engine_(engine),
      doc_(engine.Doc()),
      settings_(settings),
      loader_(engine),
      gif_(engine.Pool()) {
  gif_.OnShown([this](bool first) {
    if (first && slide_ == kSlideOff) animation_.start(kTick, this);
    if (first) emit pictureShown();
    update();
  });
  // A file that looked like an animation but whose first frame cannot be composed: the
  // decoders may still read it.
  gif_.OnFailed([this] {
    CPicEntry *e = doc_.GetEntry(index_);
    if (e && !e->IsArchiveMember() && e->FullPath() == shown_.path)
      loader_.Load(*e, NewLook(),
                   [this](const LoadedPicturePtr &l, const DisplayPtr &d) { TakePicture(l, d); });
    else
      update();
  });
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(CRXView::NormalCursor());
  ratio_ = devicePixelRatioF();
}

COneView::~COneView() { SetBusy(false); }

void COneView::ShowEntry(int index, bool held) {
  CPicEntry *e = doc_.GetEntry(index);
  if (!e) return;
  travel_ = held ? (index < index_ ? -1 : 1) : 0;
  bound_ = true;
  index_ = index;
  id_ = EntryId::Of(*e);
  shown_ = Shown{e->name, e->IsArchiveMember() ? e->ArchivePath() : e->FullPath(), e->IsArchiveMember(), e->size,
                 e->facts, e->Description()};
  animation_.stop();
  gif_.Close();
  // An animated GIF plays from its file, its frames made on workers; anything else is decoded.
  if (slide_ == kSlideOff && !e->IsArchiveMember() && StartAnimation(*e)) {
    loader_.Abandon();  // a picture still decoding for an earlier step must not replace it
    loading_ = false;
    emit entryChanged();
    Preload();
    return;
  }
  loading_ = true;
  emit entryChanged();
  loader_.Load(*e, NewLook(), [this](const LoadedPicturePtr &l, const DisplayPtr &d) { TakePicture(l, d); });
  // Read ahead once the picture read ahead for this step is painted.
  QMetaObject::invokeMethod(this, [this] { Preload(); }, Qt::QueuedConnection);
}

bool COneView::StartAnimation(const CPicEntry &e) {
  std::string head;
  const std::string path = e.FullPath();
  if (!ReadFileHead(path, 6, head) || !LooksLikeGif(head)) return false;
  QFile file(QString::fromStdString(path));
  // Animations beyond this size are shown as their first picture.
  if (!file.open(QIODevice::ReadOnly) || file.size() > (int64_t{256} << 20)) return false;
  const QByteArray data = file.readAll();
  if (!gif_.Open(std::string(data.constData(), static_cast<std::size_t>(data.size())))) return false;
  loaded_.reset();
  painted_.reset();
  asked_ = {};
  // What the status bar tells comes from the file here, not from a decoder.
  sourceWidth_ = shown_.facts.width = gif_.ScreenSize().width();
  sourceHeight_ = shown_.facts.height = gif_.ScreenSize().height();
  shown_.facts.bitCount = gif_.BitCount();
  angle_ = 0.0;
  Relayout(false);  // the first frame is composed on a worker and shown as soon as it is made
  return true;
}

int COneView::Locate() {
  if (id_.Empty()) return -1;
  const int at = FindEntry(doc_, id_, index_);
  if (at >= 0) index_ = at;
  return at;
}

int COneView::ListPosition() {
  const int at = Locate();
  return at >= 0 ? at : index_;
}

void COneView::Preload() {
  std::vector<const CPicEntry *> ahead;
  if (!preload_) return loader_.Preload(ahead, NewLook());
  // Both neighbours; while a key is held, the next two the way it goes.
  const int near[] = {index_ + (travel_ ? travel_ : 1), index_ + (travel_ ? 2 * travel_ : -1)};
  for (const int at : near)
    if (CPicEntry *e = doc_.GetEntry(at)) ahead.push_back(e);
  loader_.Preload(ahead, NewLook());
}

bool COneView::ReadingAhead(int index) {
  const CPicEntry *e = doc_.GetEntry(index);
  return e && loader_.Reading(*e);
}

ViewLook COneView::NewLook() const {
  return ViewLook::Of(settings_, settings_.fitSize, zoom_, 0.0, Client(), frameBudget_);
}

void COneView::TakePicture(const LoadedPicturePtr &loaded, const DisplayPtr &display) {
  loading_ = false;
  if (const int at = Locate(); at >= 0) TakeFacts(*doc_.GetEntry(at), loaded->facts);
  shown_.facts = loaded->facts.picture;
  if (loaded->facts.descriptionChanged) shown_.description = loaded->facts.description;
  loader_.Discard(std::exchange(loaded_, loaded));
  loader_.Discard(std::exchange(painted_, loaded->picture ? display : nullptr));
  asked_ = {};
  sourceWidth_ = loaded->picture ? DibWidth(loaded->picture.get()) : 0;
  sourceHeight_ = loaded->picture ? DibHeight(loaded->picture.get()) : 0;
  angle_ = 0.0;
  Relayout(false);
  if (slide_ != kSlideOff) lastChange_.restart();  // the interval counts from the picture on screen
  emit entryChanged();
  emit pictureShown();
}

void COneView::Relayout(bool zoomFormula) {
  if (!HasPicture()) {
    SetBusy(false);
    update();
    return;
  }
  Layout(zoomFormula ? static_cast<int>(OneViewSettings::kAsIs) : settings_.fitSize);
  if (settings_.fitSize == OneViewSettings::kPictureSize)
    emit fitWanted(ToLogical(QSize(display_.width, display_.height), ratio_));
  Centre();
  Clamp();
  update();
}

void COneView::Layout(int fit) {
  ratio_ = devicePixelRatioF();
  look_ = ViewLook::Of(settings_, fit, zoom_, angle_, Client(), frameBudget_);
  display_ = ComputeDisplaySize(look_, sourceWidth_, sourceHeight_);
  zoom_ = display_.zoom;
  sharpen_ = 0;
  if (!gif_.Active()) return Request();
  SetBusy(false);
  const QSize size = FrameSize(display_, frameBudget_);
  gif_.SetLook({size, angle_, settings_.scaleMode, display_.scale * size.width() / display_.width});
}

void COneView::Request() {
  if (!Still() || Current(painted_)) return SetBusy(false);
  const Wish wish{loaded_.get(), look_, sharpen_};
  if (wish == asked_) return;
  asked_ = wish;
  SetBusy(static_cast<int64_t>(sourceWidth_) * sourceHeight_ > kBusyCursorPixels);
  loader_.Make(loaded_, look_, sharpen_, painted_, [this](const DisplayPtr &made) { Arrived(made); });
}

void COneView::Arrived(const DisplayPtr &made) {
  // Made for a picture, look or sharpening no longer wanted: never painted.
  if (!Current(made) || Current(painted_)) return;
  loader_.Discard(std::exchange(painted_, made));
  SetBusy(false);
  update();
}

void COneView::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  // The window still answers while a worker scales; the cursor only says that it works.
  if (busy)
    QApplication::setOverrideCursor(Qt::BusyCursor);
  else
    QApplication::restoreOverrideCursor();
}

void COneView::Centre() {
  const QSize client = Client();
  pos_ = QPoint(std::max(0, (client.width() - display_.width) / 2),
                std::max(0, (client.height() - display_.height) / 2));
}

void COneView::Clamp() {
  const QSize client = Client();
  pos_ = QPoint(ClampPlacement(pos_.x(), client.width(), display_.width),
                ClampPlacement(pos_.y(), client.height(), display_.height));
}

void COneView::FollowRatio() {
  if (devicePixelRatioF() == ratio_) return;
  ratio_ = devicePixelRatioF();
  if (!HasPicture()) return update();
  Relayout(false);
  if (bound_) Preload();  // the pictures read ahead are made for the new client too
}

void COneView::ZoomIn() {
  if (!HasPicture() || slide_ != kSlideOff || !CanZoomIn(zoom_, settings_.zoomStep)) return;
  ++zoom_;
  Relayout(true);
  if (bound_) Preload();  // the pictures read ahead are made again at the new zoom
}

void COneView::ZoomOut() {
  if (!HasPicture() || slide_ != kSlideOff || !CanZoomOut(zoom_, settings_.zoomStep)) return;
  --zoom_;
  Relayout(true);
  if (bound_) Preload();
}

void COneView::TurnRight() {
  if (!HasPicture() || slide_ != kSlideOff) return;
  angle_ = tamro::TurnRight(angle_, settings_.angleUnit);
  Relayout(false);
}

void COneView::TurnLeft() {
  if (!HasPicture() || slide_ != kSlideOff) return;
  angle_ = tamro::TurnLeft(angle_, settings_.angleUnit);
  Relayout(false);
}

void COneView::SetFitAndScale(int fit, int scaleMode) {
  if (fit == settings_.fitSize && scaleMode == settings_.scaleMode) return;
  settings_.fitSize = fit;
  settings_.scaleMode = scaleMode;
  Relayout(false);
  if (bound_) Preload();
}

void COneView::Unsharp() {
  if (!HasPicture() || slide_ != kSlideOff) return;
  if (gif_.Active()) {
    gif_.Sharpen();
    return update();
  }
  ++sharpen_;
  Request();
}

HDIB COneView::DisplayedPicture() {
  if (gif_.Active()) return gif_.Displayed();
  if (!Still()) return nullptr;
  if (!Current(painted_)) {
    painted_ = MakeDisplay(loaded_, look_, sharpen_, painted_);
    SetBusy(false);
    update();
  }
  return painted_->dib;
}

bool COneView::event(QEvent *event) {
  if (event->type() == QEvent::ScreenChangeInternal)
    QMetaObject::invokeMethod(
        this, [this] { FollowRatio(); }, Qt::QueuedConnection);
  return QWidget::event(event);
}

void COneView::paintEvent(QPaintEvent *) {
  // A ratio that changed without telling (the screen's scaling was set anew) is caught here.
  if (devicePixelRatioF() != ratio_)
    QMetaObject::invokeMethod(
        this, [this] { FollowRatio(); }, Qt::QueuedConnection);
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  const QImage image = gif_.Active() ? gif_.Image() : painted_ ? painted_->image : QImage();
  if (!image.isNull()) {
    // From here on in device pixels: the display picture goes onto them one to one.
    const qreal r = devicePixelRatioF();
    p.scale(1.0 / r, 1.0 / r);
    if (image.size() == DisplaySize())
      p.drawImage(pos_, image);
    else  // made smaller than displayed (a far zoom), or not made again yet: stretched
      p.drawImage(QRect(pos_, DisplaySize()), image);
    return;
  }
  if (Loading() || index_ < 0) return;
  p.setPen(Qt::white);
  p.drawText(rect(), Qt::AlignCenter, QStringLiteral("画像表示できません"));
}

void COneView::resizeEvent(QResizeEvent *) {
  if (!HasPicture()) return;
  if (devicePixelRatioF() != ratio_) return FollowRatio();
  if (settings_.fitSize == OneViewSettings::kStretch || settings_.fitSize == OneViewSettings::kKeepAspect) {
    Layout(settings_.fitSize);
    Centre();
  } else {
    const QSize client = Client();
    if (display_.width < client.width()) pos_.setX((client.width() - display_.width) / 2);
    if (display_.height < client.height()) pos_.setY((client.height() - display_.height) / 2);
  }
  Clamp();
  update();
}

void COneView::NoteActivation() { activated_.restart(); }

void COneView::mousePressEvent(QMouseEvent *event) {
  activationClick_ = activated_.isValid() && activated_.elapsed() < kActivationClickMs;
  activated_.invalidate();
  if (event->button() != Qt::LeftButton) return;
  pressPos_ = lastPos_ = event->position().toPoint();
  if (slide_ != kSlideOff) {
    slide_ = kSlideHeld;
    mouse_ = kSlidePressed;
    setCursor(Qt::PointingHandCursor);
    return;
  }
  if (mouse_ == kCanGrab) {
    mouse_ = kPressed;
    setCursor(Qt::ClosedHandCursor);
  } else {
    mouse_ = kIdle;
  }
}

void COneView::mouseMoveEvent(QMouseEvent *event) {
  // The hand's thresholds are in logical pixels (what the mouse moves by); the picture moves
  // in device pixels, as far as the pointer went on the screen.
  const QPoint at = event->position().toPoint();
  const QPoint delta = at - lastPos_;
  const QSize client = Client();
  if (mouse_ == kSlidePressed) {
    // Dragging while the show is held steps by hand; the reference moves with each step.
    const int dx = at.x() - lastPos_.x();
    if (dx >= 33 || dx < -32) {
      lastPos_ = at;
      const int target = StepTarget(dx > 0 ? kToNext : kToPrevious);
      if (target >= 0) ShowEntry(target);
    }
    return;
  }
  lastPos_ = at;
  if (mouse_ == kPressed || mouse_ == kDragging) {
    if (mouse_ == kPressed && ((at - pressPos_).x() >= 2 || (at - pressPos_).x() <= -2 ||
                               (at - pressPos_).y() >= 2 || (at - pressPos_).y() <= -2))
      mouse_ = kDragging;
    if (display_.width > client.width()) pos_.rx() += qRound(delta.x() * ratio_);
    if (display_.height > client.height()) pos_.ry() += qRound(delta.y() * ratio_);
    Clamp();
    update();
    return;
  }
  if (event->buttons() != Qt::NoButton) return;
  const bool larger = HasPicture() && (display_.width > client.width() || display_.height > client.height());
  if (larger && slide_ == kSlideOff) {
    mouse_ = kCanGrab;
    setCursor(Qt::OpenHandCursor);
  } else {
    mouse_ = kIdle;
    setCursor(CRXView::NormalCursor());
  }
}

void COneView::mouseReleaseEvent(QMouseEvent *event) {
  const bool activating = std::exchange(activationClick_, false);
  if (event->button() == Qt::LeftButton) {
    const int state = std::exchange(mouse_, kIdle);
    setCursor(CRXView::NormalCursor());
    if (state == kSlidePressed) {
      if (slide_ == kSlideHeld) slide_ = kSlideRunning;
      return;
    }
    if ((state == kIdle || state == kPressed || state == kCanGrab) && !activating && slide_ == kSlideOff)
      emit stepWanted(-1);
  } else if (event->button() == Qt::RightButton) {
    if (slide_ == kSlideOff && !activating) emit stepWanted(+1);
  }
}

void COneView::wheelEvent(QWheelEvent *event) {
  // A notch moves the picture as far on the screen at any ratio.
  const int notch = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
  const int delta = qRound(notch * ratio_);
  const QSize client = Client();
  if (display_.height > client.height())
    pos_.ry() += delta;
  else if (display_.width > client.width())
    pos_.rx() += delta;
  Clamp();
  update();
  event->accept();
}

void COneView::timerEvent(QTimerEvent *event) {
  if (event->timerId() == animation_.timerId())
    AnimationTick();
  else if (event->timerId() == slideTimer_.timerId())
    SlideTick();
}

void COneView::AnimationTick() {
  if (slide_ != kSlideOff) return;
  if (!gif_.Active() || (gif_.Ended() && gif_.Count() < 2)) {
    animation_.stop();
    return;
  }
  const bool making = gif_.Tick();
  update();
  // With every frame ready, the clock slows to the frame's own time instead of sleeping in here.
  const int wait = making ? kTick : std::max({settings_.delayTime, 3 * gif_.Delay(), kTick});
  animation_.start(wait, this);
}

void COneView::StartSlideShow() {
  if (!bound_ || slide_ != kSlideOff) return;
  slide_ = kSlideRunning;
  animation_.stop();
  if (gif_.Current() != 0) {
    gif_.Rewind();
    update();
  }
  slideTimer_.start(kTick, this);
  lastChange_.restart();
  emit slideShowChanged(true);
}

void COneView::StopSlideShow() {
  if (slide_ == kSlideOff) return;
  slideTimer_.stop();
  slide_ = kSlideOff;
  lastChange_.restart();
  if (gif_.Active()) animation_.start(kTick, this);
  emit slideShowChanged(false);
}

int COneView::NextSlide() {
  const int count = doc_.GetEntryCount();
  if (!bound_ || count <= 0) return -1;
  return SeekIndex(ListPosition(), count, +1, settings_.repeat, [this](int i) { return Showable(i); });
}

bool COneView::Showable(int index) {
  CPicEntry *e = doc_.GetEntry(index);
  return e && (e->facts.decoder >= 0 || doc_.AcceptedByDecoder(*e));
}

int COneView::StepTarget(Step step) {
  const int count = doc_.GetEntryCount();
  if (!bound_ || count <= 0) return -1;
  const int at = ListPosition();
  const auto showable = [this](int i) { return Showable(i); };
  int target = -1;
  switch (step) {
    case kToFirst: target = SeekIndex(-1, count, +1, false, showable); break;
    case kToPrevious: target = SeekIndex(at, count, -1, false, showable); break;
    case kToNext: target = SeekIndex(at, count, +1, false, showable); break;
    case kToLast: target = SeekIndex(count, count, -1, false, showable); break;
  }
  return target == at ? -1 : target;
}

void COneView::SlideTick() {
  if (slide_ != kSlideRunning || loading_ || lastChange_.elapsed() < interval_) return;
  const int next = NextSlide();
  if (next < 0) {
    StopSlideShow();
    return;
  }
  ShowEntry(next);
}

}  // namespace tamro
