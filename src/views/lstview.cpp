#include "views/lstview.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

#include "catalogue/entrysort.h"
#include "catalogue/macros.h"
#include "catalogue/notestore.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "platform/listfield.h"
#include "platform/profile.h"
#include "views/commands.h"
#include "views/fileinterchange.h"
#include "views/picturewindows.h"

// Every column has its cell text: a column added without one does not build.
#pragma GCC diagnostic error "-Wswitch"

namespace tamro {

namespace {

// Descriptions and notes are cut to what a row shows.
constexpr std::size_t kTextCut = 260;
// Above this many rows a selection change is told as one redraw, not row by row.
constexpr int kRowByRow = 64;
// Pixels a row has beyond its text: a margin above and below, and the grid line.
constexpr int kRowPadding = 5;
// Pixels a cell has beyond its text, as the style places it, with room to spare.
constexpr int kCellPadding = 12;
// The widest texts of the date and pixel columns, which their default widths must show.
constexpr std::pair<int, const char *> kWidestCells[] = {{kSortTime, "0000/00/00 00:00:00"},
                                                         {kSortPixels, "00000x00000 32bits"}};

QString FromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

Qt::Alignment ColumnAlignment(int column) {
  const bool right = column >= 0 && column < kSortColumnCount && ColumnSpecOf(column).alignRight;
  return (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

QColor FromColorRef(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// At most `cut` bytes, not ending inside a UTF-8 sequence; lines run on with blanks.
QString OneLine(const std::string &text, std::size_t cut) {
  std::size_t n = std::min(text.size(), cut);
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  QString s = FromUtf8(std::string_view(text).substr(0, n));
  s.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  s.replace(QLatin1Char('\n'), QLatin1Char(' '));
  s.replace(QLatin1Char('\r'), QLatin1Char(' '));
  return s;
}

QString TimeText(FileTime t) {
  const std::time_t seconds =
      static_cast<std::time_t>(t / kNanosPerSecond - (t % kNanosPerSecond < 0 ? 1 : 0));
  std::tm local{};
  if (!localtime_r(&seconds, &local)) return QString();
  char text[64];
  const std::size_t n = std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
  return QString::fromLatin1(text, static_cast<qsizetype>(n));
}

// Rows as tall as the font asks: the grid line along a row's bottom would otherwise cut
// off the underscores and descenders of its text.
class RowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), option.fontMetrics.height() + kRowPadding));
    return size;
  }
};

}  // namespace

// --- the model

CLstModel::CLstModel(CRXDoc &doc, QObject *parent) : QAbstractTableModel(parent), doc_(doc) {}

int CLstModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : rows_; }

int CLstModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : kColumns; }

Qt::ItemFlags CLstModel::flags(const QModelIndex &index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QString CLstModel::CellText(int row, int column) const {
  CPicEntry *e = doc_.GetEntry(row);
  if (!e) return QString();
  switch (static_cast<SortColumn>(column)) {
    case kSortName:
      return FromUtf8(NameStem(e->name));
    case kSortExtension:
      return FromUtf8(NameExtension(e->name));
    case kSortSize:
      return QString::fromStdString(GroupDigits(e->size));
    case kSortTime:
      return TimeText(e->lastWriteTime);
    case kSortPixels:
      return QStringLiteral("%1x%2 %3bits")
          .arg(static_cast<uint32_t>(e->facts.width))
          .arg(static_cast<uint32_t>(e->facts.height))
          .arg(static_cast<uint32_t>(e->facts.bitCount));
    case kSortArchive:
      return FromUtf8(e->ArchiveName());
    case kSortDescription:
      return OneLine(e->Description(), kTextCut);
    case kSortDecoder: {
      PictureDecoders *d = doc_.Decoders();
      if (!d || e->facts.decoder < 0) return QString();
      std::string name = d->DecoderName(e->facts.decoder, PictureDecoders::kPicture);
      if (e->IsArchiveMember() && e->archiveDecoderIndex >= 0)
        name += "/" + d->DecoderName(e->archiveDecoderIndex, PictureDecoders::kArchive);
      return FromUtf8(name);
    }
    case kSortNote:
      ReadEntryNote(*e);
      return OneLine(e->Note(), kTextCut);
    case kSortFolder:
      return FromUtf8(e->Folder());
  }
  return QString();  // not a column
}

QVariant CLstModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return QVariant();
  switch (role) {
    case Qt::DisplayRole:
      return CellText(index.row(), index.column());
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(ColumnAlignment(index.column()));
    case Qt::DecorationRole: {
      if (index.column() != kSortName) return QVariant();
      const CPicEntry *e = doc_.GetEntry(index.row());
      if (!e) return QVariant();
      const QString suffix = FromUtf8(NameExtension(e->name)).toLower();
      auto it = icons_.find(suffix);
      if (it == icons_.end()) {
        static const QMimeDatabase mimes;
        const QMimeType type = mimes.mimeTypeForFile(FromUtf8(e->name), QMimeDatabase::MatchExtension);
        it = icons_.insert(suffix,
                           QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName())));
      }
      return it->isNull() ? QVariant() : QVariant(*it);
    }
    default:
      return QVariant();
  }
}

QVariant CLstModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return QVariant();
  if (role == Qt::DisplayRole)
    return QString::fromStdString(plainHeaders_ ? SortHeaderText(section, 0)
                                                : doc_.Sort().HeaderText(section));
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ColumnAlignment(section));
  return QVariant();
}

void CLstModel::SetPlainHeaders(bool plain) {
  plainHeaders_ = plain;
  emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

void CLstModel::Reset(int rows) {
  beginResetModel();
  rows_ = std::max(rows, 0);
  endResetModel();
}

void CLstModel::InsertRow(int row) {
  row = std::clamp(row, 0, rows_);
  beginInsertRows(QModelIndex(), row, row);
  ++rows_;
  endInsertRows();
}

void CLstModel::RemoveRow(int row) {
  if (row < 0 || row >= rows_) return;
  beginRemoveRows(QModelIndex(), row, row);
  --rows_;
  endRemoveRows();
}

void CLstModel::RowChanged(int row) {
  if (row >= 0 && row < rows_) emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

void CLstModel::AllChanged() {
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, kColumns - 1));
  emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

// --- the view

CLstView::CLstView(CRXDoc &doc, Profile &profile, QWidget *parent)
    : QTreeView(parent), doc_(doc), profile_(profile), model_(doc) {
  setObjectName(QStringLiteral("LstView"));
  setModel(&model_);
  setItemDelegate(new RowDelegate(this));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTextElideMode(Qt::ElideRight);
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  setDragDropMode(QAbstractItemView::DragDrop);
  setFocusPolicy(Qt::StrongFocus);
  QHeaderView *h = header();
  h->setSectionsMovable(true);
  h->setSectionsClickable(true);
  h->setSortIndicatorShown(false);
  h->setStretchLastSection(false);
  h->setHighlightSections(false);
  connect(h, &QHeaderView::sectionClicked, this, &CLstView::SortByColumn);
  ReadColumns();
  ReadColours();
  SetListStyle(profile_.GetInt("LstView", "Style", kReport));
  doc_.AddObserver(this);
  Resync();
}

CLstView::~CLstView() { doc_.RemoveObserver(this); }

void CLstView::ReadColumns() {
  QHeaderView *h = header();
  const std::string widths = profile_.GetString("LstView", "Column", "");
  const bool stored = !widths.empty();
  for (int c = 0; c < CLstModel::kColumns; ++c) {
    int w = ColumnSpecOf(c).defaultWidth;
    if (stored && (GetListInt(widths, c, w) < 0 || w < 1)) w = 50;
    h->resizeSection(c, w);
  }
  // The default widths are wide enough for a date and a picture's size in the list's font.
  if (!stored)
    for (const auto &[column, text] : kWidestCells)
      h->resizeSection(column,
                       std::max(h->sectionSize(column),
                                fontMetrics().horizontalAdvance(QString::fromLatin1(text)) + kCellPadding));
  // The order the header was dragged into; a value missing or out of place keeps the
  // column where it is, so without one every column stays in its own place.
  const std::string order = profile_.GetString("LstView", "Index", "");
  std::vector<bool> placed(CLstModel::kColumns, false);
  for (int v = 0; v < CLstModel::kColumns; ++v) {
    int logical = -1;
    if (GetListInt(order, v, logical) < 0 || logical < 0 || logical >= CLstModel::kColumns ||
        placed[static_cast<std::size_t>(logical)])
      continue;
    placed[static_cast<std::size_t>(logical)] = true;
    const int from = h->visualIndex(logical);
    if (from != v) h->moveSection(from, v);
  }
}

void CLstView::SetListStyle(int command) {
  style_ = command >= kLargeIcons && command <= kReport ? command : kReport;
  const bool report = style_ == kReport;
  header()->setVisible(report);
  // Hidden columns keep their widths for the report to come back to.
  for (int c = 1; c < CLstModel::kColumns; ++c) setColumnHidden(c, !report);
  const int icon = style_ == kLargeIcons ? 32 : 16;
  setIconSize(QSize(icon, icon));
}

void CLstView::ReadColours() {
  const auto background =
      static_cast<uint32_t>(profile_.GetInt("LstView", "ColorBackground", 0xFFFFFF)) & 0xFFFFFF;
  const auto text = static_cast<uint32_t>(profile_.GetInt("LstView", "ColorText", 0)) & 0xFFFFFF;
  QPalette p = palette();
  p.setColor(QPalette::Base, FromColorRef(background));
  p.setColor(QPalette::Window, FromColorRef(background));
  p.setColor(QPalette::AlternateBase, FromColorRef(background));
  p.setColor(QPalette::Text, FromColorRef(text));
  setPalette(p);
}

void CLstView::SaveSettings() {
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d", x(), y(), width(), height());
  profile_.WriteString("LstView", "Window", text);
  profile_.WriteInt("LstView", "Style", style_);
  // The widths are read in the report, where every column shows.
  const int style = style_;
  SetListStyle(kReport);
  QHeaderView *h = header();
  std::string widths, order;
  for (int c = 0; c < CLstModel::kColumns; ++c) {
    if (c) widths += ',', order += ',';
    widths += std::to_string(h->sectionSize(c));
    order += std::to_string(h->logicalIndex(c));
  }
  SetListStyle(style);
  profile_.WriteString("LstView", "Column", widths);
  profile_.WriteString("LstView", "Index", order);
  const auto colorRef = [](const QColor &c) {
    return static_cast<int>(static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
                            (static_cast<uint32_t>(c.blue()) << 16));
  };
  profile_.WriteInt("LstView", "ColorBackground", colorRef(palette().color(QPalette::Base)));
  profile_.WriteInt("LstView", "ColorText", colorRef(palette().color(QPalette::Text)));
}

// --- following the document

void CLstView::Resync() {
  ++syncing_;
  // The rows are the document's even while a file command keeps it busy: the entries it
  // removed are gone from the display order by the time it asks for a redraw.
  if (model_.rowCount() != doc_.GetEntryCount())
    model_.Reset(doc_.GetEntryCount());
  else
    model_.AllChanged();
  SyncSelection();
  SyncCurrent();
  --syncing_;
}

void CLstView::SyncSelection() {
  ++syncing_;
  QItemSelection selection;
  const int n = model_.rowCount();
  const int last = CLstModel::kColumns - 1;
  for (int i = 0; i < n;) {
    const CPicEntry *e = doc_.GetEntry(i);
    if (!e || !e->IsSelected()) {
      ++i;
      continue;
    }
    int j = i + 1;
    while (j < n && doc_.GetEntry(j) && doc_.GetEntry(j)->IsSelected()) ++j;
    selection.select(model_.index(i, 0), model_.index(j - 1, last));
    i = j;
  }
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  --syncing_;
}

void CLstView::SyncCurrent() {
  ++syncing_;
  const int current = doc_.Current();
  // Following the document moves the focus row only; scrolling is the hints' to ask for.
  const bool scroll = hasAutoScroll();
  setAutoScroll(false);
  if (current >= 0 && current < model_.rowCount())
    selectionModel()->setCurrentIndex(model_.index(current, 0), QItemSelectionModel::NoUpdate);
  setAutoScroll(scroll);
  --syncing_;
}

int CLstView::TopRow() const {
  const QModelIndex top = indexAt(QPoint(1, 1));
  return top.isValid() ? top.row() : 0;
}

void CLstView::ScrollToRow(int row, bool force) {
  if (row < 0 || row >= model_.rowCount()) return;
  const int top = TopRow();
  const int height = std::max(sizeHintForRow(0), 1);
  const int visible = viewport()->height() / height;
  if (!force && row >= top && row < top + visible) return;
  scrollTo(model_.index(row, 0), QAbstractItemView::PositionAtTop);
}

void CLstView::OnUpdate(UpdateObserver *, int hint, const UpdateArgument &arg) {
  const int row = static_cast<int>(arg.value);
  switch (hint) {
    case kHintRedrawAll:
      Resync();
      break;
    case kHintCleared:
      ++syncing_;
      keepScroll_ = verticalScrollBar()->value();
      model_.SetPlainHeaders(true);
      model_.Reset(0);
      --syncing_;
      break;
    case kHintListed: {
      // A folder read again keeps its place in the list; a new one starts at the top.
      const bool same = !lastFolder_.empty() && lastFolder_ == doc_.Folder();
      lastFolder_ = doc_.Folder();
      ++syncing_;
      // The document has put the listing in the order of the sort history already; the
      // headers show its newest key.
      model_.Reset(doc_.GetEntryCount());
      model_.SetPlainHeaders(false);
      Resync();
      --syncing_;
      if (same) {
        // The bar's range follows the new rows only once the view has laid them out.
        updateGeometries();
        verticalScrollBar()->setValue(keepScroll_);
      } else {
        scrollToTop();
      }
      break;
    }
    case kHintSelection:
      if (row >= 0 && row < model_.rowCount()) {
        ++syncing_;
        selectionModel()->select(model_.index(row, 0),
                                 (arg.extra ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                     QItemSelectionModel::Rows);
        --syncing_;
      }
      break;
    case kHintSelectionAll:
      ++syncing_;
      if (arg.value)
        selectAll();
      else
        selectionModel()->clearSelection();
      --syncing_;
      break;
    case kHintFirstVisible:
      ScrollToRow(row, true);
      break;
    case kHintEntryChanged:
      model_.RowChanged(row);
      break;
    case kHintEntryAdded:
      if ((doc_.Settings().syncFind || doc_.ApplyingChanges()) && model_.rowCount() < doc_.GetEntryCount()) {
        ++syncing_;
        model_.InsertRow(row);
        --syncing_;
      }
      break;
    case kHintCurrentChanged:
      // The entry the grid made current is brought into view here as well.
      SyncCurrent();
      ScrollToRow(row, false);
      break;
    case kHintStartupDone:
      setFocus(Qt::OtherFocusReason);
      break;
    case kHintEntryRemoved:
      ++syncing_;
      model_.RemoveRow(row);
      --syncing_;
      break;
    default:
      break;
  }
}

// --- sorting

void CLstView::SortByColumn(int column) {
  if (doc_.IsBusy() || column < 0 || column >= CLstModel::kColumns) return;
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  doc_.SortBy(column, -1, this);
  model_.SetPlainHeaders(false);
  Resync();
  QApplication::restoreOverrideCursor();
}

// --- the user's selection

void CLstView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) {
  QTreeView::selectionChanged(selected, deselected);
  if (syncing_ || doc_.IsBusy()) return;
  std::vector<std::pair<int, bool>> changes;
  const auto collect = [&](const QItemSelection &ranges, bool on) {
    for (const QItemSelectionRange &r : ranges)
      for (int i = r.top(); i <= r.bottom(); ++i) {
        CPicEntry *e = doc_.GetEntry(i);
        if (e && e->IsSelected() != on) changes.emplace_back(i, on);
      }
  };
  collect(deselected, false);
  collect(selected, true);
  if (changes.empty()) return;
  for (const auto &[i, on] : changes) {
    CPicEntry *e = doc_.GetEntry(i);
    doc_.SetEntryFlags(i, on ? (e->flags | CPicEntry::kSelected) : (e->flags & ~CPicEntry::kSelected));
  }
  if (changes.size() <= static_cast<std::size_t>(kRowByRow)) {
    for (const auto &[i, on] : changes)
      doc_.UpdateAllViews(this, kHintSelection, UpdateArgument{i, on ? 1 : 0, {}});
    return;
  }
  // Many rows at once: the other views draw them all again rather than one by one.
  const int selectedCount = doc_.CountSelected(true);
  if (selectedCount == doc_.GetEntryCount() || selectedCount == 0)
    doc_.UpdateAllViews(this, kHintSelectionAll, UpdateArgument{selectedCount ? 1 : 0, 0, {}});
  else
    doc_.UpdateAllViews(this, kHintRedrawAll);
}

void CLstView::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
  QTreeView::currentChanged(current, previous);
  if (syncing_ || doc_.IsBusy() || !current.isValid() || current.row() == previous.row()) return;
  const int row = current.row();
  doc_.SetCurrent(row);
  doc_.UpdateAllViews(this, kHintCurrentChanged, UpdateArgument{row, 0, {}});
  // The picture window follows a row the user chose (after the selection has moved).
  if (pictures_ && doc_.Settings().synchronous && pictures_->Count() > 0)
    QTimer::singleShot(0, this, [this, row] {
      if (const CPicEntry *e = doc_.GetEntry(row); e && e->IsSelected() && pictures_)
        pictures_->Synchronise(row);
    });
}

void CLstView::Open(int row) {
  if (doc_.GetEntry(row)) doc_.UpdateAllViews(this, kHintOpenFromList, UpdateArgument{row, 0, {}});
}

void CLstView::mouseDoubleClickEvent(QMouseEvent *event) {
  const QModelIndex at = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && at.isValid()) {
    event->accept();
    Open(at.row());
    return;
  }
  QTreeView::mouseDoubleClickEvent(event);
}

void CLstView::keyPressEvent(QKeyEvent *event) {
  const Qt::KeyboardModifiers keys = event->modifiers() & ~Qt::KeypadModifier;
  int id = 0;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (keys == Qt::NoModifier) {
        event->accept();
        Open(currentIndex().row());
        return;
      }
      break;
    case Qt::Key_Delete:
      id = keys == Qt::NoModifier ? kCmdDeleteFiles : 0;
      break;
    case Qt::Key_F2:
      id = keys == Qt::NoModifier ? kCmdRenameEach : 0;
      break;
    case Qt::Key_C:
      id = keys == Qt::ControlModifier ? kCmdCopyClipboard : 0;
      break;
    case Qt::Key_V:
      id = keys == Qt::ControlModifier ? kCmdPaste : 0;
      break;
    case Qt::Key_Insert:
      id = keys == Qt::ControlModifier ? kCmdCopyClipboard : keys == Qt::ShiftModifier ? kCmdPaste : 0;
      break;
    default:
      break;
  }
  if (id) {
    event->accept();
    emit commandRequested(id);
    return;
  }
  QTreeView::keyPressEvent(event);
}

void CLstView::contextMenuEvent(QContextMenuEvent *event) {
  event->accept();
  if (!menu_) return;
  int row;
  QPoint at;
  if (event->reason() == QContextMenuEvent::Keyboard) {
    row = currentIndex().row();
    at = viewport()->mapToGlobal(QPoint(5, 5));
  } else {
    row = indexAt(viewport()->mapFrom(this, event->pos())).row();
    at = event->globalPos();
  }
  if (row < 0) return;
  menu_(row, at);
}

void CLstView::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                       const QModelIndex &index) const {
  QTreeView::drawRow(painter, option, index);
  if (style_ != kReport) return;
  // Grid lines between the cells, as a report list draws them.
  painter->save();
  painter->setPen(palette().color(QPalette::Midlight));
  const QRect r = option.rect;
  painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  const QHeaderView *h = header();
  for (int v = 0; v < h->count(); ++v) {
    const int x = h->sectionViewportPosition(h->logicalIndex(v)) + h->sectionSize(h->logicalIndex(v)) - 1;
    if (x >= r.left() && x <= r.right()) painter->drawLine(x, r.top(), x, r.bottom());
  }
  painter->restore();
}

void CLstView::focusInEvent(QFocusEvent *event) {
  // Another program may have changed the colours meanwhile.
  ReadColours();
  QTreeView::focusInEvent(event);
}

// --- drag and drop

void CLstView::startDrag(Qt::DropActions) {
  SelectedFiles selection = CollectSelectedFiles(doc_);
  if (selection.files.empty() && selection.members.empty()) return;
  auto work = std::make_shared<DragWorkFolder>();
  const std::vector<std::string> dragged = selection.files;
  auto *data = new FileDragData(std::move(selection), doc_.Decoders(), work);
  dragging_ = true;
  Qt::DropAction result;
  if (dragRunner_) {
    result = dragRunner_(data, Qt::CopyAction | Qt::MoveAction);
  } else {
    auto *drag = new QDrag(viewport());
    drag->setMimeData(data);
    result = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
  }
  dragging_ = false;
  FollowDraggedFiles(doc_, this, dragged, result, std::move(work));
}

Qt::DropAction CLstView::DropEffect(const QDropEvent *event) const {
  const QObject *source = event->source();
  const bool fromSelf = dragging_ || (source && (source == this || source == viewport()));
  if (doc_.Folder().empty() || doc_.IsBusy()) return Qt::IgnoreAction;
  return DropEffectFor(HasFiles(event->mimeData()), fromSelf, event->modifiers(),
                       doc_.Settings().dadMove != 0, event->possibleActions());
}

void CLstView::dragEnterEvent(QDragEnterEvent *event) {
  if (DropEffect(event) == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  // No effect until the pointer moves over the list.
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
}

void CLstView::dragMoveEvent(QDragMoveEvent *event) {
  const Qt::DropAction effect = DropEffect(event);
  if (effect == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  event->setDropAction(effect);
  event->accept();
}

void CLstView::dragLeaveEvent(QDragLeaveEvent *event) { event->accept(); }

void CLstView::dropEvent(QDropEvent *event) {
  const Qt::DropAction effect = DropEffect(event);
  if (effect == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  event->setDropAction(effect);
  event->accept();
  FileDrop drop = ReadFileDrop(event->mimeData());
  const bool move = effect == Qt::MoveAction;
  if (event->source()) {
    DropIntoFolder(doc_, drop, move);
  } else {
    // Another program waits for the drop to finish; questions and progress come after.
    QTimer::singleShot(0, this, [this, drop = std::move(drop), move] { DropIntoFolder(doc_, drop, move); });
  }
}

}  // namespace tamro
