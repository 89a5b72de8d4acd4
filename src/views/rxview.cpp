#include "views/rxview.h"

#include <unistd.h>

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "catalogue/cellpainter.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "platform/profile.h"

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

// Thumbnail building in idle time gives the event loop back after this long, so that input
// never waits for more than about one decode.
constexpr int kIdleBudgetMs = 8;

}  // namespace

int CRXView::phase_ = CRXView::kIdle;

CRXView::CRXView(CRXDoc &doc, CCellPainter &painter, Profile &profile, QWidget *parent)
    : QAbstractScrollArea(parent), doc_(doc), painter_(painter), profile_(profile), bgCursor_(doc, painter) {
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setFrameShape(QFrame::NoFrame);
  bgCursor_.SetProgressSink([this](int pane, int percent) {
    emit statusText(pane, QString::number(percent) + "%");
    emit statusGauge(percent);
  });
}

CRXView::~CRXView() {
  doc_.RemoveObserver(this);
  phase_ = kIdle;
  marks_.clear();
  page_.Destroy();
  profile_.WriteInt("RXView", "colBackground", static_cast<int>(background_));
}

void CRXView::OnInitialUpdate() {
  const uint32_t face = ToColorRef(palette().color(QPalette::Button));
  background_ = static_cast<uint32_t>(profile_.GetInt("RXView", "colBackground", static_cast<int>(face))) & 0xFFFFFF;
  doc_.AddObserver(this);
  grid_ = GridGeometry{};
  RecalcLayout();
  UpdateScrollBars();
  SetTop(0);
  ResetCursors();
  bgCursor_.Reset();
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
  if (!settingBar_) top_ = std::clamp(grid_.FromBar(verticalScrollBar()->value()), 0, grid_.MaxTop());
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
  quick_ = thumbs_ = Cursor{first, 0, (top_ / grid_.cellHeight) * grid_.cellHeight};
  emit statusText(3, QString());
}

void CRXView::RebuildCanvas() {
  marks_.clear();
  page_.Destroy();
  const int overMem = doc_.Settings().overMem;
  const double need = static_cast<double>(grid_.totalWidth) * grid_.totalHeight * 3.0;
  if (overMem * (PhysicalMemory() / 100.0) > need && grid_.scrollScale == 1.0) {
    const int w = std::max(grid_.clientWidth, grid_.totalWidth), h = std::max(grid_.clientHeight, grid_.totalHeight);
    if (w > 0 && h > 0 && page_.Create(w, h, background_)) marks_.assign(static_cast<std::size_t>(doc_.GetEntryCount()), 0);
  }
  {
    std::lock_guard<std::recursive_mutex> hold(doc_.EntryLock());
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
  std::lock_guard<std::recursive_mutex> hold(doc_.EntryLock());
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
    if (static_cast<std::size_t>(index) < marks_.size()) marks_[static_cast<std::size_t>(index)] |= mode == 2 ? 1 : 2;
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
  if (!PaintAt(c.index, c.x, c.y, phase == kQuick ? kCellQuick : kCellBuild)) return kStepWait;
  if (phase == kThumbs) doc_.UpdateAllViews(this, kHintEntryChanged, UpdateArgument{c.index, 0, {}});
  Advance(c);
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
  if (flags & GridGeometry::kTotalChanged) RebuildCanvas();
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
      for (int i = quick_.index; !missing && i < last; ++i) missing = marks_[static_cast<std::size_t>(i)] == 0;
      if (missing) {
        int r;
        while ((r = DrawStep(quick_, kQuick)) == kStepPainted || r == kStepSkipped) {
        }
        if (r == kStepFinished) SetPhase(kThumbs);
      } else {
        SetPhase(kThumbs);
      }
    } else {
      client_ = QImage(viewport()->size(), QImage::Format_RGB32);
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
  if (page_.IsValid()) {
    const QRect r = event->rect();
    const QRect source = r.translated(left, top_);
    if (!QRect(QPoint(0, 0), page_.Size()).contains(source)) out.fillRect(r, FromColorRef(background_));
    out.drawImage(r, page_.Image(), source);
  } else if (!client_.isNull()) {
    out.drawImage(event->rect(), client_, event->rect());
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
      do r = DrawStep(thumbs_, kThumbs);
      while ((r == kStepPainted || r == kStepSkipped) && clock.elapsed() < kIdleBudgetMs);
      if (r == kStepFinished) SetPhase(doc_.Settings().thumbsCreate ? kBackground : kIdle);
      break;
    case kBackground: {
      const CursorGrid g{grid_.columns, grid_.cellWidth, grid_.cellHeight};
      do {
        const int x = bgCursor_.X(), y = bgCursor_.Y();
        const bool onPage = page_.IsValid();
        paintingCell_ = true;
        r = bgCursor_.Step(g, onPage ? &page_ : nullptr, onPage ? &marks_ : nullptr, this);
        paintingCell_ = false;
        if (r == kStepDone && onPage) viewport()->update(QRect(x - Left(), y - top_, grid_.cellWidth, grid_.cellHeight));
      } while (r == kStepDone && clock.elapsed() < kIdleBudgetMs);
      if (r == kStepEnd) {
        SetPhase(kIdle);
        emit statusGauge(0);
        r = kStepFinished;
      } else {
        r = kStepPainted;
      }
      break;
    }
    default:
      SetPhase(kIdle);
      return false;
  }
  // A phase that ran off its end has already moved to the next one; the next phase keeps
  // the idle handler going, so the background pass does not wait for the user to act.
  if (r == kStepNoClient) return false;
  return phase_ != kIdle;
}

void CRXView::RepaintEntry(int index) {
  if (index < 0 || index >= doc_.GetEntryCount() || grid_.columns < 1) return;
  const int x = (index % grid_.columns) * grid_.cellWidth, y = (index / grid_.columns) * grid_.cellHeight;
  if (!page_.IsValid()) {
    // Only what is on the screen can be painted without a full canvas.
    if (client_.isNull() || y + grid_.cellHeight <= clientTop_ || y >= clientTop_ + client_.height()) return;
  }
  PaintAt(index, x, y, kCellBuild);
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
      bgCursor_.Reset();
      Invalidate();
      break;
    case kHintCleared:
      SetPhase(kIdle);
      if (s.syncFind) {
        SetTop(0);
        ResetCursors();
        bgCursor_.Reset();
        Invalidate();
      }
      break;
    case kHintListed:
      RecalcLayout();
      UpdateScrollBars();
      if (arg.value) SetTop(0);
      RebuildCanvas();
      ResetCursors();
      bgCursor_.Reset();
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
      if (s.syncFind && doc_.GetEntryCount() > profile_.GetInt("RXView", "SyncFileCount", 200)) {
        RepaintEntry(static_cast<int>(arg.value));
        Advance(thumbs_);
      }
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
  bgCursor_.Reset();
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
