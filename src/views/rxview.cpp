#include "views/rxview.h"

#include <unistd.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "catalogue/cellpainter.h"
#include "catalogue/engine.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/thumbscheduler.h"
#include "catalogue/workerpool.h"
#include "platform/profile.h"
#include "views/commands.h"
#include "views/picturewindows.h"

namespace tamro {

namespace {

QColor FromColorRef(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
uint32_t ToColorRef(const QColor &c) {
  return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
         (static_cast<uint32_t>(c.blue()) << 16);
}

double PhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGE_SIZE);
  return pages > 0 && size > 0 ? static_cast<double>(pages) * static_cast<double>(size) : 0.0;
}

// Idle steps give the event loop back after this long. Decoding itself runs on the workers;
// the steps only hand out work and paint what came back.
constexpr int kIdleBudgetMs = 8;

}  // namespace

int CRXView::phase_ = CRXView::kIdle;

CRXView::CRXView(CatalogueEngine &engine, Profile &profile, QWidget *parent)
    : QAbstractScrollArea(parent),
      doc_(engine.Doc()),
      painter_(engine.Painter()),
      thumbs_(engine.Thumbs()),
      profile_(profile),
      inFlightLimit_(2 * engine.Pool().Threads() + 2) {
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setFrameShape(QFrame::NoFrame);
  thumbs_.SetFinished([this](int index, CPicEntry &, int result) { OnThumbnailDone(index, result); });
  SetupInput();
}

CRXView::~CRXView() {
  if (pictures_) pictures_->CloseAll();
  thumbs_.SetFinished(nullptr);
  doc_.RemoveObserver(this);
  phase_ = kIdle;
  marks_.clear();
  page_.Destroy();
}

void CRXView::SaveSettings() { profile_.WriteInt("RXView", "colBackground", static_cast<int>(background_)); }

void CRXView::OnInitialUpdate() {
  const uint32_t face = ToColorRef(palette().color(QPalette::Button));
  background_ =
      static_cast<uint32_t>(profile_.GetInt("RXView", "colBackground", static_cast<int>(face))) & 0xFFFFFF;
  doc_.AddObserver(this);
  grid_ = GridGeometry{};
  RecalcLayout();
  UpdateScrollBars();
  SetTop(0);
  ResetCursors();
  pass_ = Cursor{};
  Invalidate();
}

int CRXView::RecalcLayout() {
  const CellSize cell = doc_.ThumbsSize();
  grid_.cellWidth = std::max(cell.width, 1);
  grid_.cellHeight = std::max(cell.height, 1);
  return grid_.Recompute(doc_.GetEntryCount(), viewport()->width(), viewport()->height());
}

void CRXView::UpdateScrollBars() {
  settingBar_ = true;
  const double s = grid_.scrollScale;
  QScrollBar *v = verticalScrollBar(), *h = horizontalScrollBar();
  h->setRange(0, grid_.MaxLeft());
  h->setPageStep(std::max(grid_.pageWidth, 1));
  h->setSingleStep(std::min(grid_.cellWidth, std::max(grid_.clientWidth, 1)));
  v->setRange(0, static_cast<int>(grid_.MaxTop() / s));
  v->setPageStep(std::max(grid_.ScaledPageHeight(), 1));
  v->setSingleStep(std::max(grid_.ScaledLineHeight(), 1));
  top_ = std::clamp(top_, 0, grid_.MaxTop());
  v->setValue(grid_.ToBar(top_));
  settingBar_ = false;
}

void CRXView::SetTop(int pixels) {
  top_ = std::clamp(pixels, 0, grid_.MaxTop());
  settingBar_ = true;
  verticalScrollBar()->setValue(grid_.ToBar(top_));
  settingBar_ = false;
  Invalidate();
}

int CRXView::Left() const { return horizontalScrollBar()->value(); }

void CRXView::scrollContentsBy(int, int) {
  // A bar request that asked for an exact position keeps it; the thumb gives scaled units.
  if (!settingBar_)
    top_ =
        wantTop_ >= 0 ? wantTop_ : std::clamp(grid_.FromBar(verticalScrollBar()->value()), 0, grid_.MaxTop());
  wantTop_ = -1;
  Invalidate();
}

void CRXView::resizeEvent(QResizeEvent *event) {
  QAbstractScrollArea::resizeEvent(event);
  Invalidate();
}

void CRXView::Invalidate() {
  fullPaint_ = true;
  viewport()->update();
}

void CRXView::SetPhase(int phase) {
  const bool start = phase_ == kIdle && phase != kIdle;
  phase_ = phase;
  if (start) emit idleWorkWanted();
}

void CRXView::ResetCursors() {
  const int first = grid_.FirstIndexAt(top_);
  quick_ = visible_ = Cursor{first, 0, (top_ / grid_.cellHeight) * grid_.cellHeight};
  // What was asked for the cells shown before waits behind the new ones.
  thumbs_.Demote();
  emit statusText(3, QString());
}

void CRXView::RebuildCanvas() {
  marks_.clear();
  page_.Destroy();
  const int overMem = doc_.Settings().overMem;
  // Cells are painted at the screen's device pixels; the grid stays in logical ones.
  ratio_ = std::max<qreal>(1, viewport()->devicePixelRatioF());
  if (painter_.Builder()) painter_.Builder()->SetDisplayRatio(ratio_);
  const double need = static_cast<double>(grid_.totalWidth) * grid_.totalHeight * 3.0 * ratio_ * ratio_;
  if (overMem * (PhysicalMemory() / 100.0) > need && grid_.scrollScale == 1.0) {
    const int w = std::max(grid_.clientWidth, grid_.totalWidth),
              h = std::max(grid_.clientHeight, grid_.totalHeight);
    if (w > 0 && h > 0 && page_.Create(Device(w), Device(h), background_)) {
      page_.Image().setDevicePixelRatio(ratio_);
      marks_.assign(static_cast<std::size_t>(doc_.GetEntryCount()), 0);
    }
  }
  {
    const int n = doc_.GetEntryCount();
    for (int i = 0; i < n; ++i)
      if (CPicEntry *e = doc_.GetEntry(i)) e->cellX = CPicEntry::kNotPlaced, e->cellY = 0;
  }
  direct_ = doc_.Settings().memDraw == 1 && !page_.IsValid();
  client_ = QImage();
}

void CRXView::Advance(Cursor &c) const {
  ++c.index;
  c.x += grid_.cellWidth;
  if (c.x + grid_.cellWidth > grid_.columns * grid_.cellWidth) {
    c.x = 0;
    c.y += grid_.cellHeight;
  }
}

// Paints one cell at its grid position: into the full canvas, or into the visible-area
// canvas. Answers false when the entry is gone or busy.
bool CRXView::PaintAt(int index, int gridX, int gridY, int mode) {
  CPicEntry *e = doc_.GetEntry(index);
  if (!e || e->IsBusy()) return false;
  e->cellX = gridX;
  e->cellY = gridY;
  paintingCell_ = true;
  ProgressPause quiet(painter_.Builder() ? painter_.Builder()->Decoders() : nullptr);
  const int cw = grid_.cellWidth, ch = grid_.cellHeight;
  QRect dirty;
  if (page_.IsValid()) {
    painter_.PaintCell(*e, page_, gridX, gridY, cw, ch, mode);
    if (static_cast<std::size_t>(index) < marks_.size())
      marks_[static_cast<std::size_t>(index)] |= mode == 2 ? 1 : 2;
    dirty = QRect(gridX - Left(), gridY - top_, cw, ch);
  } else if (!client_.isNull()) {
    QPainter p(&client_);
    painter_.PaintCell(*e, p, gridX - clientLeft_, gridY - clientTop_, cw, ch, mode);
    dirty = QRect(gridX - Left(), gridY - top_, cw, ch);
  } else if (mode == 3) {
    painter_.BuildCell(*e, cw, ch);
  }
  paintingCell_ = false;
  if (!dirty.isEmpty()) viewport()->update(dirty);
  return true;
}

int CRXView::DrawStep(Cursor &c, int phase) {
  if (c.index >= doc_.GetEntryCount()) return kStepFinished;
  const QRect client = viewport()->rect();
  if (client.isEmpty()) return kStepNoClient;
  const int wy = c.y - top_;
  const bool above = phase == kQuick ? 0 >= wy + grid_.cellHeight : 0 > wy + grid_.cellHeight / 2;
  if (above) {
    Advance(c);
    return kStepSkipped;
  }
  if (client.height() <= wy) return kStepFinished;
  if (phase == kQuick) {
    if (!PaintAt(c.index, c.x, c.y, kCellQuick)) return kStepWait;
  } else {
    CPicEntry *e = doc_.GetEntry(c.index);
    if (!e || e->IsBusy()) return kStepWait;
    e->cellX = c.x;
    e->cellY = c.y;
    AskThumbnail(c.index, WorkerPool::kVisible);
  }
  Advance(c);
  return kStepPainted;
}

int CRXView::AskThumbnail(int index, int priority) {
  CPicEntry *e = doc_.GetEntry(index);
  if (!e) return CThumbScheduler::kGone;
  const CellLayout l = painter_.Layout(*e, 0, 0, grid_.cellWidth, grid_.cellHeight);
  const int r = thumbs_.Ask(index, l.picture, priority);
  if (r == CThumbScheduler::kReady && static_cast<std::size_t>(index) < marks_.size())
    marks_[static_cast<std::size_t>(index)] |= 2;
  return r;
}

void CRXView::OnThumbnailDone(int index, int result) {
  if (index < 0) return;
  // A file that gave no picture shows its icon; asking again would only fail again.
  RepaintEntry(index, result == 0);
  if (static_cast<std::size_t>(index) < marks_.size()) marks_[static_cast<std::size_t>(index)] |= 2;
  doc_.UpdateAllViews(this, kHintEntryChanged, UpdateArgument{index, 0, {}});
  // The visible and background phases wait for results; each one lets them go on.
  if (phase_ == kThumbs || phase_ == kBackground) emit idleWorkWanted();
}

// Hands the next entry of the folder to the workers, keeping only a few queued so that what
// the user scrolls to comes first. A thumbnail already there is painted into the full canvas.
int CRXView::BackgroundStep() {
  const int count = doc_.GetEntryCount();
  if (pass_.index >= count) return thumbs_.InFlight() == 0 ? kStepFinished : kStepWait;
  if (thumbs_.InFlight() >= inFlightLimit_) return kStepWait;
  CPicEntry *e = doc_.GetEntry(pass_.index);
  if (e && e->IsBusy()) return kStepWait;
  if (e && grid_.cellWidth > 0 && grid_.cellHeight > 0) {
    e->cellX = pass_.x;
    e->cellY = pass_.y;
    const std::size_t i = static_cast<std::size_t>(pass_.index);
    if (AskThumbnail(pass_.index, WorkerPool::kBackground) == CThumbScheduler::kReady && page_.IsValid() &&
        i < marks_.size() && (marks_[i] & 1) == 0)
      PaintAt(pass_.index, pass_.x, pass_.y, kCellQuick);
  }
  Advance(pass_);
  const int percent = static_cast<int>(static_cast<int64_t>(pass_.index) * 100 / std::max(count, 1));
  emit statusText(3, QString::number(percent) + "%");
  emit statusGauge(percent);
  return kStepPainted;
}

void CRXView::paintEvent(QPaintEvent *event) {
  QPainter out(viewport());
  if (doc_.IsBusy()) {
    out.fillRect(event->rect(), FromColorRef(background_));
    return;
  }
  emit currentFolder(QString::fromStdString(doc_.Folder()));
  if (firstPaint_) {
    firstPaint_ = false;
    emit firstPainted();
  }
  const int flags = RecalcLayout();
  if (flags & GridGeometry::kTotalChanged) {
    RebuildCanvas();
  } else if (std::max<qreal>(1, viewport()->devicePixelRatioF()) != ratio_) {
    // Moved to a screen of another density: everything is painted again for it.
    RebuildCanvas();
    fullPaint_ = true;
  }
  if (doc_.Settings().syncJump) {
    // The details list scrolls to the first entry shown here.
    const int first = grid_.FirstIndexAt(top_);
    if (first != lastFirstVisible_) {
      lastFirstVisible_ = first;
      doc_.UpdateAllViews(this, kHintFirstVisible, UpdateArgument{first, 0, {}});
    }
  }
  if (flags) {
    // Drawn at once rather than at a further paint: asking for one from inside a paint is
    // not dependable here.
    UpdateScrollBars();
    fullPaint_ = true;
  }
  const int left = Left();
  if (fullPaint_) {
    fullPaint_ = false;
    ResetCursors();
    SetPhase(kQuick);
    emit idleWorkWanted();
    if (page_.IsValid()) {
      client_ = QImage();
      const int n = doc_.GetEntryCount();
      const int last = std::min(n, grid_.columns * ((grid_.clientHeight + top_) / grid_.cellHeight + 1));
      bool missing = marks_.size() < static_cast<std::size_t>(n);
      for (int i = quick_.index; !missing && i < last; ++i)
        missing = marks_[static_cast<std::size_t>(i)] == 0;
      if (missing) {
        int r;
        while ((r = DrawStep(quick_, kQuick)) == kStepPainted || r == kStepSkipped) {
        }
        if (r == kStepFinished) SetPhase(kThumbs);
      } else {
        SetPhase(kThumbs);
      }
    } else {
      client_ = QImage(Device(viewport()->width()), Device(viewport()->height()), QImage::Format_RGB32);
      client_.setDevicePixelRatio(ratio_);
      client_.fill(FromColorRef(background_));
      clientLeft_ = left;
      clientTop_ = top_;
      int r;
      while ((r = DrawStep(quick_, kQuick)) == kStepPainted || r == kStepSkipped) {
        // Direct painting gives way to waiting input after every cell.
        if (direct_) break;
      }
      if (r == kStepFinished) SetPhase(kThumbs);
    }
  }
  // The canvases hold device pixels: their source rectangles are scaled to them.
  auto device = [this](const QRect &r) {
    return QRectF(r.x() * ratio_, r.y() * ratio_, r.width() * ratio_, r.height() * ratio_);
  };
  if (page_.IsValid()) {
    const QRect r = event->rect();
    const QRect source = r.translated(left, top_);
    if (!QRectF(QPointF(0, 0), page_.Image().deviceIndependentSize()).contains(source))
      out.fillRect(r, FromColorRef(background_));
    out.drawImage(QRectF(r), page_.Image(), device(source));
  } else if (!client_.isNull()) {
    out.drawImage(QRectF(event->rect()), client_, device(event->rect()));
  } else {
    out.fillRect(event->rect(), FromColorRef(background_));
  }
}

bool CRXView::ContinueDrawing() {
  if (doc_.IsBusy()) return phase_ != kIdle;
  QElapsedTimer clock;
  clock.start();
  int r = kStepFinished;
  switch (phase_) {
    case kIdle:
      return false;
    case kQuick:
      do r = DrawStep(quick_, kQuick);
      while ((r == kStepPainted || r == kStepSkipped) && clock.elapsed() < kIdleBudgetMs);
      if (r == kStepFinished) SetPhase(kThumbs);
      break;
    case kThumbs:
      do r = DrawStep(visible_, kThumbs);
      while ((r == kStepPainted || r == kStepSkipped) && clock.elapsed() < kIdleBudgetMs);
      if (r == kStepFinished) SetPhase(doc_.Settings().thumbsCreate ? kBackground : kIdle);
      break;
    case kBackground:
      do r = BackgroundStep();
      while (r == kStepPainted && clock.elapsed() < kIdleBudgetMs);
      if (r == kStepFinished) {
        SetPhase(kIdle);
        emit statusGauge(0);
        emit statusText(3, QString());
      }
      // Waiting for the workers: their results call for more idle work.
      if (r == kStepWait) return false;
      break;
    default:
      SetPhase(kIdle);
      return false;
  }
  // A phase that ran off its end has already moved to the next one; the next phase keeps
  // the idle handler going, so the background pass does not wait for the user to act.
  if (r == kStepNoClient) return false;
  return phase_ != kIdle;
}

void CRXView::RepaintEntry(int index, bool askThumbnail) {
  if (index < 0 || index >= doc_.GetEntryCount() || grid_.columns < 1) return;
  const int x = (index % grid_.columns) * grid_.cellWidth, y = (index / grid_.columns) * grid_.cellHeight;
  if (!page_.IsValid()) {
    // Only what is on the screen can be painted without a full canvas.
    if (client_.isNull() || y + grid_.cellHeight <= clientTop_ ||
        y >= clientTop_ + client_.deviceIndependentSize().height())
      return;
  }
  if (PaintAt(index, x, y, kCellQuick) && askThumbnail) AskThumbnail(index, WorkerPool::kVisible);
}

void CRXView::OnUpdate(UpdateObserver *sender, int hint, const UpdateArgument &arg) {
  if (sender == this) {
    Invalidate();
    return;
  }
  const DocSettings &s = doc_.Settings();
  switch (hint) {
    case kHintRedrawAll:
      RecalcLayout();
      UpdateScrollBars();
      RebuildCanvas();
      pass_ = Cursor{};
      Invalidate();
      break;
    case kHintCleared:
      // Picture windows show the old listing's entries: they go unless asked to stay.
      if (pictures_ && !s.stay) pictures_->CloseAll();
      if (pictures_ && s.stay) pictures_->Unbind();
      OnListing();
      SetPhase(kIdle);
      if (s.syncFind) {
        SetTop(0);
        ResetCursors();
        pass_ = Cursor{};
        Invalidate();
      }
      break;
    case kHintListed:
      OnListing();
      // A folder read again keeps its current entry; the keys go on from there.
      if (doc_.GetEntry(doc_.Current())) anchor_ = doc_.Current();
      RecalcLayout();
      UpdateScrollBars();
      if (arg.value) SetTop(0);
      RebuildCanvas();
      ResetCursors();
      pass_ = Cursor{};
      if (!s.syncFind) Invalidate();
      break;
    case kHintStopDrawing:
      SetPhase(kIdle);
      break;
    case kHintContinueDrawing:
      ContinueDrawing();
      break;
    case kHintEntryChanged:
      RepaintEntry(static_cast<int>(arg.value));
      break;
    case kHintEntryAdded:
      if (doc_.ApplyingChanges()) {
        OnEntryInserted(static_cast<int>(arg.value));
        break;
      }
      if (s.syncFind && doc_.GetEntryCount() > profile_.GetInt("RXView", "SyncFileCount", 200)) {
        RepaintEntry(static_cast<int>(arg.value));
        Advance(visible_);
      }
      break;
    case kHintOpenFromList:
      OpenEntry(static_cast<int>(arg.value), false);
      break;
    case kHintSelection:
      if (CPicEntry *e = doc_.GetEntry(static_cast<int>(arg.value))) {
        const int flags = arg.extra ? (e->flags | CPicEntry::kSelected) : (e->flags & ~CPicEntry::kSelected);
        doc_.SetEntryFlags(static_cast<int>(arg.value), flags);
        RepaintEntry(static_cast<int>(arg.value));
      }
      break;
    case kHintSelectionAll: {
      const int n = doc_.GetEntryCount();
      for (int i = 0; i < n; ++i)
        if (CPicEntry *e = doc_.GetEntry(i))
          doc_.SetEntryFlags(
              i, arg.value ? (e->flags | CPicEntry::kSelected) : (e->flags & ~CPicEntry::kSelected));
      std::fill(marks_.begin(), marks_.end(), 0);
      Invalidate();
      break;
    }
    case kHintCurrentChanged:
      // The details list's current row is where the keys go on from here as well.
      if (doc_.GetEntry(static_cast<int>(arg.value))) anchor_ = static_cast<int>(arg.value);
      if (s.synchronous) FollowList(static_cast<int>(arg.value));
      break;
    case kHintOpenEntry: {
      const int index = static_cast<int>(arg.value);
      if (!doc_.GetEntry(index)) break;
      hover_ = index;
      const bool shift = QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
      Command(shift ? kCmdRunAssociated : s.idViewer, QGuiApplication::keyboardModifiers());
      break;
    }
    case kHintEntryRemoved:
      OnEntryRemoved(static_cast<int>(arg.value));
      break;
    default:
      break;
  }
}

void CRXView::SetCellSize(int width, int height) {
  const int cw = viewport()->width(), ch = viewport()->height();
  if (cw > 0) width = std::min(width, cw);
  if (ch > 0) height = std::min(height, ch);
  DocSettings s = doc_.Settings();
  width = std::max(width, s.thumbsLimitSize.width);
  height = std::max(height, s.thumbsLimitSize.height);
  s.thumbsSize = CellSize{width, height};
  doc_.ApplySettings(s);
  pass_ = Cursor{};
  RecalcLayout();
  UpdateScrollBars();
  RebuildCanvas();
  SetTop(0);
}

void CRXView::Enlarge() {
  const CellSize c = doc_.ThumbsSize();
  const int step = doc_.Settings().scaleStep;
  SetCellSize(c.width + step, c.height + step);
}

void CRXView::Shrink() {
  const CellSize c = doc_.ThumbsSize();
  const int step = doc_.Settings().scaleStep;
  SetCellSize(c.width - step, c.height - step);
}

void CRXView::FitColumns(int n) {
  const FitSize f = tamro::FitColumns(n, viewport()->width(), viewport()->height());
  SetCellSize(f.width, f.height);
}

}  // namespace tamro
