// The thumbnail grid under the user's hands: hit testing, the selection with its anchor,
// keys, mouse, bar and wheel, the context menus, dragging out, dropping in, the clipboard,
// and opening entries.

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>

#include "catalogue/cellpainter.h"
#include "catalogue/entryid.h"
#include "catalogue/macros.h"
#include "catalogue/pathutil.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "fileops/appcall.h"
#include "fileops/filecommands.h"
#include "fileops/unpack.h"
#include "picture/dibdraw.h"
#include "platform/ui.h"
#include "views/appmenu.h"
#include "views/commands.h"
#include "views/fileinterchange.h"
#include "views/picturewindows.h"
#include "views/rxview.h"

namespace tamro {

namespace {

// The grid's pointer: an arrow beside a small picture frame; with a tick in the frame where
// a click toggles the selection (a caption, Ctrl held).
QCursor MakeCursor(bool toggle) {
  // Drawn for the densest screen; the hot spot stays in logical pixels.
  const qreal ratio = std::max<qreal>(1, qGuiApp ? qGuiApp->devicePixelRatio() : 1);
  QPixmap pixmap(QSize(32, 32) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath arrow;
  arrow.moveTo(1, 1);
  arrow.lineTo(1, 17);
  arrow.lineTo(5, 13);
  arrow.lineTo(8, 20);
  arrow.lineTo(11, 19);
  arrow.lineTo(8, 12);
  arrow.lineTo(13, 12);
  arrow.closeSubpath();
  p.setPen(QPen(Qt::white, 1.5));
  p.setBrush(Qt::black);
  p.drawPath(arrow);
  const QRect frame(14, 16, 14, 12);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(toggle ? QColor(0x8C, 0x8C, 0xFF) : QColor(Qt::white));
  p.drawRect(frame);
  if (toggle) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 0x80), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(16.5, 22), QPointF(20, 25.5), QPointF(26, 18)}));
  } else {
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(16, 25, 20, 20);
    p.drawLine(20, 20, 23, 23);
    p.drawLine(23, 23, 26, 19);
  }
  p.end();
  return QCursor(pixmap, 1, 1);
}

QString FromUtf8(const std::string &s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

const QCursor &CRXView::NormalCursor() {
  static const QCursor cursor = MakeCursor(false);
  return cursor;
}

const QCursor &CRXView::ToggleCursor() {
  static const QCursor cursor = MakeCursor(true);
  return cursor;
}

void CRXView::SetupInput() {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAcceptDrops(true);
  viewport()->setCursor(NormalCursor());
  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &CRXView::OnBarAction);
}

CThumbBuilder *CRXView::Builder() const { return painter_.Builder(); }

// --- hit testing

int CRXView::HitTest(const QPoint &point) const {
  const int count = doc_.GetEntryCount();
  const int cw = grid_.cellWidth, ch = grid_.cellHeight;
  if (count <= 0 || cw <= 0 || ch <= 0 || grid_.columns < 1) return -1;
  const int x = point.x() + Left(), y = point.y() + top_;
  if (x < 0 || y < 0) return -1;
  // Cells touch: a point on a shared edge lies in both, and the lower index wins. Only the
  // cells around the point can hold it.
  const int col = x / cw, row = y / ch;
  int best = -1;
  for (int r = row - 1; r <= row; ++r)
    for (int c = col - 1; c <= col; ++c) {
      if (r < 0 || c < 0 || c >= grid_.columns) continue;
      const int i = r * grid_.columns + c;
      if (i >= count || (best >= 0 && i >= best)) continue;
      const CPicEntry *e = doc_.GetEntry(i);
      if (!e || e->cellX == CPicEntry::kNotPlaced) continue;
      if (x >= e->cellX && x <= e->cellX + cw && y >= e->cellY && y <= e->cellY + ch) best = i;
    }
  return best;
}

bool CRXView::OnCaption(int index, const QPoint &point) const {
  const CPicEntry *e = doc_.GetEntry(index);
  if (!e || e->cellX == CPicEntry::kNotPlaced) return false;
  const CellRect &c = e->captionRect;
  if (c.right <= c.left || c.bottom <= c.top) return false;
  const int x = point.x() + Left() - e->cellX, y = point.y() + top_ - e->cellY;
  return x >= c.left && x <= c.right && y >= c.top && y <= c.bottom;
}

int CRXView::CommandTarget() const {
  if (doc_.GetEntry(hover_)) return hover_;
  return doc_.GetEntry(anchor_) ? anchor_ : -1;
}

// --- the selection

namespace {
// Above this many cells a change repaints the view once instead of cell by cell.
constexpr int kCellByCell = 64;
}  // namespace

void CRXView::SetSelected(int index, bool on, bool repaint) {
  CPicEntry *e = doc_.GetEntry(index);
  if (!e || e->IsSelected() == on) return;
  doc_.SetEntryFlags(index, on ? (e->flags | CPicEntry::kSelected) : (e->flags & ~CPicEntry::kSelected));
  if (repaint) RepaintEntry(index);
  doc_.UpdateAllViews(this, kHintSelection, UpdateArgument{index, on ? 1 : 0, {}});
}

void CRXView::SelectRange(int from, int to, bool on) {
  if (from > to) std::swap(from, to);
  from = std::max(from, 0);
  to = std::min(to, doc_.GetEntryCount() - 1);
  const bool each = to - from < kCellByCell;
  for (int i = from; i <= to; ++i) SetSelected(i, on, each);
  if (!each) {
    std::fill(marks_.begin(), marks_.end(), 0);
    Invalidate();
  }
}

void CRXView::ClearSelection() {
  const int count = doc_.GetEntryCount();
  const int selected = doc_.CountSelected(false);
  if (selected == 0) return;
  // The usual case, the one picture a key moved away from: no walk over a large folder.
  if (const CPicEntry *e = doc_.GetEntry(doc_.Current()); selected == 1 && e && e->IsSelected()) {
    SetSelected(doc_.Current(), false);
    return;
  }
  if (selected < kCellByCell) {
    for (int i = 0; i < count; ++i)
      if (const CPicEntry *e = doc_.GetEntry(i); e && e->IsSelected()) SetSelected(i, false);
    return;
  }
  SelectRange(0, count - 1, false);
}

void CRXView::SelectAllOrNone() {
  const bool select = doc_.CountSelected(true) < 2;
  const int count = doc_.GetEntryCount();
  for (int i = 0; i < count; ++i)
    if (CPicEntry *e = doc_.GetEntry(i))
      doc_.SetEntryFlags(i, select ? (e->flags | CPicEntry::kSelected) : (e->flags & ~CPicEntry::kSelected));
  doc_.CountSelected(true);
  doc_.UpdateAllViews(this, kHintSelectionAll, UpdateArgument{select ? 1 : 0, 0, {}});
  // Every cell changes: the canvas repaints them as they come into view.
  std::fill(marks_.begin(), marks_.end(), 0);
  Invalidate();
}

void CRXView::SetAnchor(int index) {
  anchor_ = index;
  doc_.SetCurrent(index);
  doc_.UpdateAllViews(this, kHintCurrentChanged, UpdateArgument{index, 0, {}});
}

void CRXView::Synchronise(int index) {
  if (pictures_ && doc_.Settings().synchronous && pictures_->Count() > 0) pictures_->Synchronise(index);
}

void CRXView::ClickSelect(int index, Qt::KeyboardModifiers keys, bool onCaption) {
  pendingSingle_ = false;
  CPicEntry *e = doc_.GetEntry(index);
  if (!e) return;
  if ((keys & Qt::ControlModifier) || onCaption) {
    const bool on = !e->IsSelected();
    SetSelected(index, on);
    if (on) Synchronise(index);
    SetAnchor(index);
  } else if (keys & Qt::ShiftModifier) {
    const int from = doc_.GetEntry(anchor_) ? anchor_ : index;
    SelectRange(from, index, true);
    Synchronise(index);
    SetAnchor(index);
  } else if (e->IsSelected()) {
    // Decided at the release, so that the whole selection can still be dragged.
    pendingSingle_ = true;
  } else {
    ClearSelection();
    SetSelected(index, true);
    SetAnchor(index);
    Synchronise(index);
  }
}

void CRXView::Navigate(int target, Qt::KeyboardModifiers keys) {
  if (target < 0 || target >= doc_.GetEntryCount()) return;
  CPicEntry *e = doc_.GetEntry(target);
  if (!e) return;
  if (keys & Qt::ControlModifier) {
    SetSelected(target, !e->IsSelected());
    doc_.SetCurrent(target);
  } else if (keys & Qt::ShiftModifier) {
    doc_.SetCurrent(target);
    const int from = doc_.GetEntry(anchor_) ? anchor_ : target;
    SelectRange(from, target, true);
  } else {
    ClearSelection();
    doc_.SetCurrent(target);
    SetSelected(target, true);
  }
  anchor_ = hover_ = target;
  doc_.UpdateAllViews(this, kHintCurrentChanged, UpdateArgument{target, 0, {}});
  Synchronise(target);
  ScrollIntoView(target);
}

// The smallest scroll that shows the whole cell.
void CRXView::ScrollIntoView(int index) {
  if (index < 0 || grid_.columns < 1) return;
  const int cw = grid_.cellWidth, ch = grid_.cellHeight;
  const int x = (index % grid_.columns) * cw, y = (index / grid_.columns) * ch;
  int top = top_;
  if (y < top)
    top = y;
  else if (y + ch > top + grid_.clientHeight)
    top = std::min(y + ch - grid_.clientHeight, grid_.rows * ch);
  QScrollBar *h = horizontalScrollBar();
  int left = Left();
  if (x < left)
    left = x;
  else if (x + cw > left + grid_.clientWidth)
    left = std::min(x + cw - grid_.clientWidth, grid_.columns * cw);
  if (left != Left()) h->setValue(std::max(left, 0));
  if (top != top_) SetTop(std::max(top, 0));
}

// The details list moved its current entry: its cell's top comes to the top of the view
// when it lies outside it.
void CRXView::FollowList(int index) {
  if (index < 0 || index >= doc_.GetEntryCount() || grid_.columns < 1) return;
  const int x = (index % grid_.columns) * grid_.cellWidth, y = (index / grid_.columns) * grid_.cellHeight;
  if (grid_.needVertical && (y < top_ || y > top_ + grid_.clientHeight)) SetTop(y);
  if (grid_.needHorizontal && (x < Left() || x > Left() + grid_.clientWidth))
    horizontalScrollBar()->setValue(x);
}

// --- scrolling

void CRXView::ScrollToTop(int top) {
  top = std::clamp(top, 0, grid_.MaxTop());
  if (top != top_) SetTop(top);
}

void CRXView::ScrollLine(int direction, bool shift) {
  if (!grid_.needVertical) return;
  ScrollToTop(top_ + direction * (shift ? 1 : grid_.cellHeight));
}

void CRXView::ScrollPage(int direction, bool shift) {
  if (!grid_.needVertical) return;
  int top = top_ + direction * grid_.pageHeight;
  if (shift && grid_.cellHeight > 0) top = std::max(top, 0) / grid_.cellHeight * grid_.cellHeight;
  ScrollToTop(top);
}

void CRXView::Wheel(int delta) {
  if (!grid_.needVertical || delta == 0) return;
  int n = doc_.Settings().wheelScrollCount;
  if (n == 0) n = QApplication::wheelScrollLines();
  int move;
  if (n == -1) {
    // A page per notch; the small steps of a touch pad add up to notches.
    wheelRest_ += delta;
    const int notches = wheelRest_ / 120;
    wheelRest_ -= notches * 120;
    if (notches == 0) return;
    move = notches * grid_.pageHeight;
  } else {
    move = static_cast<int>(static_cast<int64_t>(grid_.cellHeight) * delta * n / 120);
  }
  ScrollToTop(top_ - move);
}

void CRXView::OnBarAction(int action) {
  const bool shift = QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
  int top;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
    case QAbstractSlider::SliderSingleStepSub:
      top = top_ + (action == QAbstractSlider::SliderSingleStepAdd ? 1 : -1) * (shift ? 1 : grid_.cellHeight);
      break;
    case QAbstractSlider::SliderPageStepAdd:
    case QAbstractSlider::SliderPageStepSub:
      top = top_ + (action == QAbstractSlider::SliderPageStepAdd ? 1 : -1) * grid_.pageHeight;
      if (shift && grid_.cellHeight > 0) top = std::max(top, 0) / grid_.cellHeight * grid_.cellHeight;
      break;
    case QAbstractSlider::SliderToMinimum:
      top = 0;
      break;
    case QAbstractSlider::SliderToMaximum:
      top = grid_.totalHeight;
      break;
    default:
      return;  // the thumb: its position times the scroll scale
  }
  top = std::clamp(top, 0, grid_.MaxTop());
  QScrollBar *v = verticalScrollBar();
  const int bar = grid_.ToBar(top);
  // The bar moves after this; where its value does not change, nothing follows.
  if (bar != v->value()) wantTop_ = top;
  v->setSliderPosition(bar);
  if (top != top_) {
    top_ = top;
    Invalidate();
  }
}

// --- commands

bool CRXView::OnCommand(int id, Qt::KeyboardModifiers keys) {
  const int count = doc_.GetEntryCount();
  const int anchor = anchor_ >= 0 && anchor_ < count ? anchor_ : -1;
  switch (id) {
    case kCmdLeft:
    case kCmdRight:
    case kCmdUp:
    case kCmdDown: {
      // Without an anchor the first move lands on the first entry.
      const int step = id == kCmdLeft    ? -1
                       : id == kCmdRight ? 1
                       : id == kCmdUp    ? -grid_.columns
                                         : grid_.columns;
      Navigate(anchor < 0 ? 0 : anchor + step, keys);
      return true;
    }
    case kCmdOpenAnchor:
      if (anchor >= 0) doc_.UpdateAllViews(nullptr, kHintOpenEntry, UpdateArgument{anchor, 0, {}});
      return true;
    case kCmdViewer:
      OpenEntry(CommandTarget(), (keys & Qt::ControlModifier) || doc_.Settings().multiPicView);
      return true;
    case kCmdRunAssociated:
      RunAssociated(CommandTarget());
      return true;
    case kCmdReload:
      Reload(CommandTarget());
      return true;
    case kCmdNextPage:
      if (grid_.needVertical && top_ < grid_.MaxTop()) ScrollToTop(top_ + grid_.pageHeight);
      return true;
    case kCmdPreviousPage:
      if (grid_.needVertical && top_ > 0) ScrollToTop(top_ - grid_.pageHeight);
      return true;
    case kCmdScrollTop:
      ScrollToTop(top_ - grid_.totalHeight);
      return true;
    case kCmdScrollBottom:
      ScrollToTop(top_ + grid_.totalHeight);
      return true;
    case kCmdEnlarge:
      Enlarge();
      return true;
    case kCmdShrink:
      Shrink();
      return true;
    case kCmdSelectAll:
      SelectAllOrNone();
      return true;
    case kCmdCopyClipboard:
      CopyToClipboard();
      return true;
    default:
      break;
  }
  if (IsAppCommand(id)) {
    RunApplication(doc_, id);
    return true;
  }
  return false;
}

bool CRXView::IsCommandEnabled(int id) const {
  const int target = CommandTarget();
  switch (id) {
    case kCmdViewer:
    case kCmdReload:
      return target >= 0;
    case kCmdRunAssociated: {
      const CPicEntry *e = doc_.GetEntry(target);
      return e && IsRegularFile(e->IsArchiveMember() ? e->ArchivePath() : e->FullPath());
    }
    case kCmdOpenAnchor:
      return doc_.GetEntry(anchor_) != nullptr;
    case kCmdCopyClipboard:
      return doc_.CountSelected(false) > 0;
    case kCmdSelectAll:
      return doc_.GetEntryCount() > 0;
    default:
      return IsAppCommand(id) ? doc_.CountSelected(false) > 0 : true;
  }
}

void CRXView::Command(int id, Qt::KeyboardModifiers keys) {
  if (!OnCommand(id, keys)) emit commandRequested(id);
}

void CRXView::OpenEntry(int index, bool newWindow) {
  CPicEntry *e = doc_.GetEntry(index);
  if (!e) return;
  if (e->facts.decoder < 0 && grid_.cellWidth > 0) {
    // Not examined yet: building its thumbnail tells which decoder reads it.
    const bool had = static_cast<bool>(e->thumbnail);
    {
      QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
      painter_.BuildCell(*e, grid_.cellWidth, grid_.cellHeight);
      QApplication::restoreOverrideCursor();
    }
    if (!had && e->thumbnail) {
      RepaintEntry(index);
      doc_.UpdateAllViews(this, kHintEntryChanged, UpdateArgument{index, 0, {}});
    }
  }
  if (e->facts.decoder < 0 || !pictures_) {
    RunAssociated(index);
    return;
  }
  pictures_->Show(index, newWindow);
}

void CRXView::RunAssociated(int index) {
  const CPicEntry *e = doc_.GetEntry(index);
  if (!e) return;
  const std::string path = e->IsArchiveMember() ? e->ArchivePath() : e->FullPath();
  if (!IsRegularFile(path)) return;
  QDesktopServices::openUrl(QUrl::fromEncoded(FileUrl(path)));
}

void CRXView::Reload(int index) {
  CPicEntry *e = doc_.GetEntry(index);
  if (!e) return;
  e->Reset();
  e->SetNote(std::string());
  e->noteRead = false;
  e->iconIndex = -1;
  e->useCache = false;
  doc_.UpdateAllViews(nullptr, kHintRedrawAll);
}

// --- listing changes

void CRXView::OnListing() {
  hover_ = anchor_ = lastMoveHover_ = -1;
  pendingSingle_ = false;
  capture_ = 0;
  wheelRest_ = 0;
  lastFirstVisible_ = -1;
}

void CRXView::OnEntryRemoved(int index) {
  auto shift = [index](int &i) {
    if (i == index)
      i = -1;
    else if (i > index)
      --i;
  };
  shift(hover_);
  shift(anchor_);
  shift(lastMoveHover_);
  // The cells from here on show other entries now.
  if (index >= 0 && static_cast<std::size_t>(index) < marks_.size()) {
    marks_.erase(marks_.begin() + index);
    std::fill(marks_.begin() + index, marks_.end(), 0);
  }
  Invalidate();
}

void CRXView::OnEntryInserted(int index) {
  for (int *i : {&hover_, &anchor_, &lastMoveHover_})
    if (*i >= index) ++*i;
  // The cells from here on show other entries now.
  if (static_cast<std::size_t>(index) <= marks_.size()) {
    marks_.insert(marks_.begin() + index, 0);
    std::fill(marks_.begin() + index, marks_.end(), 0);
  }
  Invalidate();
}

// --- mouse and keys

bool CRXView::viewportEvent(QEvent *event) {
  // The entry under the cursor is gone when the cursor leaves; commands from the main menu
  // then act on the anchor.
  if (event->type() == QEvent::Leave && !capture_) hover_ = -1;
  return QAbstractScrollArea::viewportEvent(event);
}

void CRXView::mousePressEvent(QMouseEvent *event) {
  setFocus(Qt::MouseFocusReason);
  if (paintingCell_) return;
  const QPoint pos = event->position().toPoint();
  const int hit = HitTest(pos);
  hover_ = lastMoveHover_ = hit;
  if (hit < 0 || (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)) return;
  ClickSelect(hit, event->modifiers(), OnCaption(hit, pos));
  capture_ = event->button() == Qt::LeftButton ? 1 : 2;
  grabbed_ = hit;
  pressTime_ = QDateTime::currentMSecsSinceEpoch();
  pressPos_ = pos;
}

void CRXView::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() == Qt::LeftButton) {
    capture_ = 0;
    if (pendingSingle_) {
      pendingSingle_ = false;
      if (doc_.GetEntry(hover_)) {
        ClearSelection();
        SetSelected(hover_, true);
        SetAnchor(hover_);
        Synchronise(hover_);
      }
    }
  } else if (event->button() == Qt::RightButton) {
    capture_ = 0;
    ShowContextMenu(event->globalPosition().toPoint());
  }
}

void CRXView::mouseDoubleClickEvent(QMouseEvent *event) {
  const int hit = HitTest(event->position().toPoint());
  hover_ = lastMoveHover_ = hit;
  if (hit >= 0 && event->button() == Qt::LeftButton)
    doc_.UpdateAllViews(nullptr, kHintOpenEntry, UpdateArgument{hit, 0, {}});
}

void CRXView::mouseMoveEvent(QMouseEvent *event) {
  const QPoint pos = event->position().toPoint();
  const int hit = HitTest(pos);
  if (capture_ && !dragging_) {
    // A drag: the cursor went to another entry, or stayed pressed a second and moved.
    const bool held = QDateTime::currentMSecsSinceEpoch() - pressTime_ >= 1000 &&
                      (pos - pressPos_).manhattanLength() >= QApplication::startDragDistance();
    if (held || hit != lastMoveHover_) {
      hover_ = lastMoveHover_ = hit;
      StartDrag();
      return;
    }
  }
  hover_ = lastMoveHover_ = hit;
  UpdateCursor(event->modifiers());
}

void CRXView::UpdateCursor(Qt::KeyboardModifiers keys) {
  const QPoint at = viewport()->mapFromGlobal(QCursor::pos());
  const bool toggle = (keys & Qt::ControlModifier) || (hover_ >= 0 && OnCaption(hover_, at));
  if (toggle == toggleCursor_) return;
  toggleCursor_ = toggle;
  viewport()->setCursor(toggle ? ToggleCursor() : NormalCursor());
}

void CRXView::wheelEvent(QWheelEvent *event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) {
    QAbstractScrollArea::wheelEvent(event);
    return;
  }
  Wheel(delta);
  event->accept();
}

void CRXView::keyPressEvent(QKeyEvent *event) {
  const Qt::KeyboardModifiers keys = event->modifiers();
  const bool ctrl = keys & Qt::ControlModifier, shift = keys & Qt::ShiftModifier;
  const bool plain = !(keys & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  int id = 0;
  switch (event->key()) {
    case Qt::Key_Left:
      id = kCmdLeft;
      break;
    case Qt::Key_Right:
      id = kCmdRight;
      break;
    case Qt::Key_Up:
      id = kCmdUp;
      break;
    case Qt::Key_Down:
      id = kCmdDown;
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      id = kCmdOpenAnchor;
      break;
    case Qt::Key_PageUp:
      id = kCmdPreviousPage;
      break;
    case Qt::Key_PageDown:
      id = kCmdNextPage;
      break;
    case Qt::Key_Home:
      id = kCmdScrollTop;
      break;
    case Qt::Key_End:
      id = kCmdScrollBottom;
      break;
    case Qt::Key_Plus:
      id = plain ? kCmdEnlarge : 0;
      break;
    case Qt::Key_Minus:
      id = plain ? kCmdShrink : 0;
      break;
    case Qt::Key_A:
      id = ctrl && !shift ? kCmdSelectAll : 0;
      break;
    case Qt::Key_C:
      id = ctrl && !shift ? kCmdCopyClipboard : 0;
      break;
    case Qt::Key_V:
      id = ctrl && !shift ? kCmdPaste : plain && !shift ? kCmdViewer : 0;
      break;
    case Qt::Key_Insert:
      id = ctrl ? kCmdCopyClipboard : shift ? kCmdPaste : 0;
      break;
    case Qt::Key_U:
      id = plain && !shift ? kCmdUnpackSelected : 0;
      break;
    case Qt::Key_Delete:
      id = plain && !shift ? kCmdDeleteFiles : 0;
      break;
    case Qt::Key_F2:
      id = plain && !shift ? kCmdRenameEach : 0;
      break;
    case Qt::Key_Control:
      UpdateCursor(keys | Qt::ControlModifier);
      break;
    default:
      break;
  }
  if (id == 0) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  event->accept();
  Command(id, keys);
}

void CRXView::keyReleaseEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Control) UpdateCursor(event->modifiers() & ~Qt::ControlModifier);
  QAbstractScrollArea::keyReleaseEvent(event);
}

// --- the context menu

std::unique_ptr<QMenu> CRXView::MakeContextMenu() {
  capture_ = 0;
  int target = doc_.GetEntry(hover_) ? hover_ : -1;
  if (target >= 0 && !doc_.GetEntry(target)->IsSelected()) {
    ClearSelection();
    SetSelected(target, true);
    SetAnchor(target);
  }
  const int selected = doc_.CountSelected(true);
  if (selected <= 1) {
    if (target < 0)
      for (int i = 0; i < doc_.GetEntryCount() && target < 0; ++i)
        if (doc_.GetEntry(i)->IsSelected()) target = i;
    if (target < 0) return nullptr;
    // The menu is about that entry alone.
    if (selected == 0 || !doc_.GetEntry(target)->IsSelected()) {
      ClearSelection();
      SetSelected(target, true);
      SetAnchor(target);
    }
  }

  auto menu = std::make_unique<QMenu>(window());
  // The menu runs its own event loop, in which the folder may change: its commands find their
  // picture again by name when chosen.
  auto aim = [this, picture = EntryId::Of(*doc_.GetEntry(target)), target] {
    hover_ = FindEntry(doc_, picture, target);
    if (hover_ < 0) Ui().MessageBox(kEntryGoneText, "Tamro", MB_OK | MB_ICONEXCLAMATION);
    return hover_ >= 0;
  };
  auto add = [this, &menu, aim](const QString &text, int id, bool enabled = true) {
    QAction *a = menu->addAction(text);
    a->setData(id);
    a->setEnabled(enabled);
    connect(a, &QAction::triggered, this, [this, aim, id] {
      if (aim()) Command(id, QGuiApplication::keyboardModifiers());
    });
    return a;
  };
  auto title = [&menu](const QString &text) {
    QAction *a = menu->addAction(text);
    QFont bold = a->font();
    bold.setBold(true);
    a->setFont(bold);
    a->setEnabled(false);
  };
  auto applications = [this, &menu, aim] {
    auto *apps = new QMenu(menu.get());
    const int n = FillApplicationMenu(apps, [this, aim](int command) {
      if (aim()) Command(command);
    });
    if (n > 0) {
      menu->addMenu(apps);
      menu->addSeparator();
    } else {
      delete apps;
    }
  };

  const bool many = selected > 1;
  const CPicEntry *e = many ? nullptr : doc_.GetEntry(target);
  if (many) {
    uint64_t total = 0;
    const int count = doc_.GetEntryCount();
    for (int i = 0; i < count; ++i)
      if (const CPicEntry *s = doc_.GetEntry(i); s && s->IsSelected()) total += s->size;
    const std::string size =
        FormatByteCount(static_cast<uint32_t>(total), static_cast<uint32_t>(total >> 32), true, 1, 0, -1);
    title(QStringLiteral("選択 %1ﾌｧｲﾙ(%2)").arg(selected).arg(FromUtf8(size)));
  } else {
    title(FromUtf8(e->name));
  }
  menu->addSeparator();
  applications();
  const bool plain = many || !e->IsArchiveMember();
  add(QStringLiteral("複写(&C)..."), kCmdCopyFiles);
  add(QStringLiteral("移動(&M)..."), kCmdMoveFiles, plain);
  add(QStringLiteral("名前の変更(&R)..."), kCmdRenameEach, plain);
  add(QStringLiteral("削除(&D)..."), kCmdDeleteFiles, plain);
  if (!many) {
    menu->addSeparator();
    add(QStringLiteral("書庫解凍(&U)..."), kCmdUnpackEntry, CanUnpackEntry(e));
    menu->addSeparator();
    add(QStringLiteral("画像表示"), kCmdViewer);
    add(QStringLiteral("再読み込み"), kCmdReload);
    menu->addSeparator();
    add(QStringLiteral("クリップボードへコピー"), kCmdCopyClipboard, plain);
    add(QStringLiteral("コメント入力(&N)"), kCmdEditNote);
    add(QStringLiteral("壁紙設定(&W)..."), kCmdWallpaper);
    menu->addSeparator();
    add(QStringLiteral("関連付け実行(&X)"), kCmdRunAssociated,
        IsRegularFile(e->IsArchiveMember() ? e->ArchivePath() : e->FullPath()));
  }
  return menu;
}

void CRXView::ShowContextMenuFor(int index, const QPoint &globalPos) {
  hover_ = doc_.GetEntry(index) ? index : -1;
  ShowContextMenu(globalPos);
}

void CRXView::ShowContextMenu(const QPoint &globalPos) {
  if (std::unique_ptr<QMenu> menu = MakeContextMenu()) menu->exec(globalPos);
}

void CRXView::contextMenuEvent(QContextMenuEvent *event) {
  event->accept();
  // The mouse's menu comes at the right button's release; the key's opens here.
  if (event->reason() == QContextMenuEvent::Keyboard) ShowContextMenu(viewport()->mapToGlobal(QPoint(5, 5)));
}

// --- dragging out

std::unique_ptr<QMimeData> CRXView::MakeDragData() {
  return std::make_unique<FileDragData>(CollectSelectedFiles(doc_), doc_.Decoders(),
                                        std::make_shared<DragWorkFolder>());
}

void CRXView::StartDrag() {
  SelectedFiles selection = CollectSelectedFiles(doc_);
  if (selection.files.empty() && selection.members.empty()) {
    capture_ = 0;
    pendingSingle_ = false;
    return;
  }
  auto work = std::make_shared<DragWorkFolder>();
  const std::vector<std::string> dragged = selection.files;
  auto *data = new FileDragData(std::move(selection), doc_.Decoders(), work);
  // The pointer has already reached another cell when a mouse drag starts: the picture is
  // the one the button grabbed.
  const int shown = capture_ == 1 && doc_.GetEntry(grabbed_) ? grabbed_ : hover_;
  QPixmap &picture = dragPicture_;
  picture = QPixmap();
  if (const CPicEntry *e = doc_.GetEntry(shown); e && e->thumbnail) {
    const qreal ratio = std::max<qreal>(1, devicePixelRatioF());
    const QImage image = DibToImage(e->displayThumbnail ? e->displayThumbnail.get() : e->thumbnail.get());
    if (!image.isNull()) {
      picture = QPixmap::fromImage(image.scaled(QSize(64, 64) * ratio, Qt::KeepAspectRatio));
      picture.setDevicePixelRatio(ratio);
    }
  }
  dragging_ = true;
  Qt::DropAction result;
  if (dragRunner_) {
    result = dragRunner_(data, Qt::CopyAction | Qt::MoveAction);
  } else {
    auto *drag = new QDrag(viewport());
    drag->setMimeData(data);
    if (!picture.isNull()) {
      drag->setPixmap(picture);
      drag->setHotSpot(QPoint(picture.width() / 2, picture.height() / 2) / picture.devicePixelRatio());
    }
    result = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
  }
  dragging_ = false;
  dragPicture_ = QPixmap();

  FollowDraggedFiles(doc_, this, dragged, result, std::move(work));
  if (result == Qt::IgnoreAction)
    if (CPicEntry *e = doc_.GetEntry(hover_); e && (e->flags & 4)) {
      anchor_ = 0;
      doc_.SetCurrent(0);
      doc_.UpdateAllViews(this, kHintCurrentChanged, UpdateArgument{0, 0, {}});
      SetSelected(hover_, false);
    }
  capture_ = 0;
  pendingSingle_ = false;
}

// --- dropping in

namespace {

bool FromThisView(const QDropEvent *event, const QWidget *view) {
  const QObject *source = event->source();
  return source && (source == view || source->parent() == view);
}

}  // namespace

void CRXView::dragEnterEvent(QDragEnterEvent *event) {
  if (dragging_ || FromThisView(event, this) || !HasFiles(event->mimeData())) {
    event->ignore();
    return;
  }
  // No effect until the pointer moves over the grid.
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
}

void CRXView::dragMoveEvent(QDragMoveEvent *event) {
  const Qt::DropAction effect =
      DropEffectFor(HasFiles(event->mimeData()), dragging_ || FromThisView(event, this), event->modifiers(),
                    doc_.Settings().dadMove != 0, event->possibleActions());
  if (effect == Qt::IgnoreAction || doc_.Folder().empty() || doc_.IsBusy()) {
    event->ignore();
    return;
  }
  event->setDropAction(effect);
  event->accept();
}

void CRXView::dropEvent(QDropEvent *event) {
  const Qt::DropAction effect =
      DropEffectFor(HasFiles(event->mimeData()), dragging_ || FromThisView(event, this), event->modifiers(),
                    doc_.Settings().dadMove != 0, event->possibleActions());
  if (effect == Qt::IgnoreAction || doc_.Folder().empty() || doc_.IsBusy()) {
    event->ignore();
    return;
  }
  event->setDropAction(effect);
  event->accept();
  FileDrop drop = ReadFileDrop(event->mimeData());
  const bool move = effect == Qt::MoveAction;
  if (event->source()) {
    // A drag of this program's: its source looks at the files when the drop is done.
    DropFileList(drop, move);
  } else {
    // Another program waits for the drop to finish; questions and progress come after.
    QTimer::singleShot(0, this, [this, drop = std::move(drop), move] { DropFileList(drop, move); });
  }
}

int CRXView::DropFiles(const QMimeData *data, Qt::DropAction action) {
  return DropFileList(ReadFileDrop(data), action == Qt::MoveAction);
}

int CRXView::DropFileList(const FileDrop &drop, bool move) { return DropIntoFolder(doc_, drop, move); }

// --- the clipboard

void CRXView::CopyToClipboard() {
  if (doc_.CountSelected(true) == 0) return;
  const SelectedFiles selection = CollectSelectedFiles(doc_);
  if (selection.files.empty()) return;
  QImage picture;
  if (CThumbBuilder *builder = Builder())
    if (CPicEntry *last = doc_.GetEntry(selection.lastPlain)) {
      QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
      GlobalHandle decoded = builder->DecodeEntry(*last, nullptr);
      if (decoded) picture = DibToImage(decoded.get());
      QApplication::restoreOverrideCursor();
    }
  auto *data = new QMimeData;
  PutClipboardFiles(*data, selection.files, selection.notes, picture.isNull() ? nullptr : &picture);
  QGuiApplication::clipboard()->setMimeData(data);
}

}  // namespace tamro
