#pragma once

// The details list above the grid: one row per displayed entry with a column of file or
// picture facts for each row of the column table (catalogue/sortstate.h). Rows are not
// copied out of the document: the model answers each cell from the entry when the list
// paints it, so a folder of any size opens at once. Selection and the current entry are
// shared with the grid through the document's hints; a header click sorts the document's
// display order, which the grid shows as well.

#include <QAbstractTableModel>
#include <QTreeView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/sortstate.h"
#include "catalogue/updatehint.h"

class QMimeData;

namespace tamro {

class CRXDoc;
class PictureWindowList;
class Profile;

// The document's displayed entries as a table; its row count follows the hints.
class CLstModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kColumns = kSortColumnCount;

  explicit CLstModel(CRXDoc &doc, QObject *parent = nullptr);

  int rowCount(const QModelIndex &parent = QModelIndex()) const override;
  int columnCount(const QModelIndex &parent = QModelIndex()) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;

  // The text of a cell as the list shows it.
  QString CellText(int row, int column) const;
  // Headers show the sort state, or all plain while a listing runs.
  void SetPlainHeaders(bool plain);

  void Reset(int rows);
  void InsertRow(int row);
  void RemoveRow(int row);
  void RowChanged(int row);
  void AllChanged();

 private:
  CRXDoc &doc_;
  int rows_ = 0;
  bool plainHeaders_ = false;
  mutable QHash<QString, QIcon> icons_;  // per extension: the theme is slow to ask
};

class CLstView : public QTreeView, public UpdateObserver {
  Q_OBJECT

 public:
  // Reads `LstView` (columns, order, colours) and registers with the document.
  CLstView(CRXDoc &doc, Profile &profile, QWidget *parent = nullptr);
  // Removes itself from the document; settings are written by SaveSettings.
  ~CLstView() override;

  void OnUpdate(UpdateObserver *sender, int hint, const UpdateArgument &arg) override;
  // The list styles, by their command ids; `Style` keeps the last one.
  enum ListStyleCommand : int { kLargeIcons = 110, kSmallIcons = 111, kList = 112, kReport = 113 };
  // Icons and lists show the name alone without a header, large icons at 32 pixels; an
  // unknown style is the report.
  void SetListStyle(int command);
  int ListStyle() const { return style_; }

  // Writes `Window`, `Column`, `Index`, `Style`, `ColorBackground` and `ColorText`.
  void SaveSettings();

  // The picture windows that follow the selection with `Synchronous` on (not owned).
  void SetPictureWindows(PictureWindowList *windows) { pictures_ = windows; }
  // Shows the context menu for a row at a screen position; the grid's menu is used.
  using MenuHandler = std::function<void(int row, const QPoint &globalPos)>;
  void SetContextMenuHandler(MenuHandler handler) { menu_ = std::move(handler); }

  CLstModel &Model() { return model_; }
  // A header click: the column's next sort state.
  void SortByColumn(int column);
  // The first row shown, and the row that would be shown first after scrolling to `row`.
  int TopRow() const;
  // Brings `row` to the top; unless forced, only when it is not visible.
  void ScrollToRow(int row, bool force);
  // Runs a drag; QDrag::exec unless a test puts another in. The runner owns `data`.
  using DragRunner = std::function<Qt::DropAction(QMimeData *data, Qt::DropActions allowed)>;
  void SetDragRunner(DragRunner runner) { dragRunner_ = std::move(runner); }

 signals:
  // A main-window command from the list's keys (delete, rename, copy, paste).
  void commandRequested(int id);

 protected:
  void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
  void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dragLeaveEvent(QDragLeaveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

 private:
  void ReadColours();
  void ReadColumns();
  // Rows, headers, selection and current row as the document has them now.
  void Resync();
  void SyncSelection();
  void SyncCurrent();
  void Open(int row);
  Qt::DropAction DropEffect(const QDropEvent *event) const;

  CRXDoc &doc_;
  Profile &profile_;
  CLstModel model_;
  PictureWindowList *pictures_ = nullptr;
  MenuHandler menu_;
  DragRunner dragRunner_;
  std::string lastFolder_;  // of the listing before: a refresh keeps the scroll position
  int keepScroll_ = 0;
  int syncing_ = 0;        // the list follows the document: nothing is told back
  bool dragging_ = false;  // this list is the source of the drag under way
  int style_ = kReport;
};

}  // namespace tamro
