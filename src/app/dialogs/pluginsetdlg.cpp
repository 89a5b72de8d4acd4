#include "app/dialogs/pluginsetdlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "decode/spihost.h"

namespace tamro {

namespace {

QString Q(const std::string &s) { return QString::fromStdString(s); }

QPushButton *Button(const QString &text, const char *name, QWidget *parent) {
  auto *button = new QPushButton(text, parent);
  button->setObjectName(QString::fromUtf8(name));
  button->setAutoDefault(false);
  return button;
}

QLabel *Label(const QString &text, QWidget *buddy, QWidget *parent) {
  auto *label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

void SetUpList(QTableWidget *list, const QStringList &headers, const std::vector<int> &widths) {
  list->setColumnCount(static_cast<int>(headers.size()));
  list->setHorizontalHeaderLabels(headers);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->verticalHeader()->hide();
  list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
  list->horizontalHeader()->setHighlightSections(false);
  list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int i = 0; i < list->columnCount() && i < static_cast<int>(widths.size()); ++i)
    list->horizontalHeader()->resizeSection(i, widths[static_cast<std::size_t>(i)]);
}

std::vector<int> Widths(const QTableWidget *list) {
  std::vector<int> widths;
  for (int i = 0; i < list->columnCount(); ++i) widths.push_back(list->horizontalHeader()->sectionSize(i));
  return widths;
}

int PositionOf(const QTableWidget *list, int row) {
  const QTableWidgetItem *item = list->item(row, 0);
  return item ? item->data(Qt::UserRole).toInt() : -1;
}

}  // namespace

CPluginSetDlg::CPluginSetDlg(CSpiHost &host, QWidget *parent) : QDialog(parent), option_(host) {
  setWindowTitle(QStringLiteral("プラグイン設定"));
  auto *top = new QVBoxLayout(this);

  auto *setRow = new QHBoxLayout;
  top->addLayout(setRow);
  sets_ = new QComboBox(this);
  sets_->setObjectName(QStringLiteral("SPISet"));
  sets_->setEditable(true);
  sets_->setInsertPolicy(QComboBox::NoInsert);
  sets_->setMinimumContentsLength(20);
  // The box itself holds the focus; its line edit only hears of it second hand.
  sets_->installEventFilter(this);
  auto *remove = Button(QStringLiteral("X"), "DeleteSet", this);
  remove->setFixedWidth(remove->fontMetrics().horizontalAdvance(QStringLiteral("XX")) + 12);
  setRow->addStretch(1);
  setRow->addWidget(Label(QStringLiteral("プラグインセット: "), sets_, this));
  setRow->addWidget(sets_);
  setRow->addWidget(remove);

  const QStringList headers = {QStringLiteral("/"), QStringLiteral("ﾌﾟﾗｸﾞｲﾝ名"),
                               QStringLiteral("ﾌﾟﾗｸﾞｲﾝ情報"), QStringLiteral("対応拡張子")};
  pictures_ = new QTableWidget(this);
  pictures_->setObjectName(QStringLiteral("PictureList"));
  SetUpList(pictures_, headers, option_.ColumnWidths().picture);
  top->addWidget(Label(QStringLiteral("表示用SPI"), pictures_, this));
  top->addWidget(pictures_, 1);
  auto *pictureRow = new QHBoxLayout;
  top->addLayout(pictureRow);
  pictureUse_ = Button(QStringLiteral("使用状態"), "PictureUse", this);
  pictureConfig_ = Button(QStringLiteral("プラグイン設定"), "PictureConfig", this);
  pictureProps_ = Button(QStringLiteral("プロパティ"), "PictureProperties", this);
  add_ = Button(QStringLiteral("↓追加"), "AddView", this);
  remove_ = Button(QStringLiteral("↑解除"), "RemoveView", this);
  pictureRow->addWidget(pictureUse_);
  pictureRow->addWidget(pictureConfig_);
  pictureRow->addWidget(pictureProps_);
  pictureRow->addStretch(1);
  pictureRow->addWidget(add_);
  pictureRow->addWidget(remove_);

  auto *lower = new QGridLayout;
  top->addLayout(lower, 1);
  archives_ = new QTableWidget(this);
  archives_->setObjectName(QStringLiteral("ArchiveList"));
  SetUpList(archives_, headers, option_.ColumnWidths().archive);
  view_ = new QTableWidget(this);
  view_->setObjectName(QStringLiteral("ViewList"));
  SetUpList(view_, {QStringLiteral("ﾌﾟﾗｸﾞｲﾝ名")}, option_.ColumnWidths().view);
  lower->addWidget(Label(QStringLiteral("展開用SPI"), archives_, this), 0, 0);
  lower->addWidget(Label(QStringLiteral("展開後表示SPI"), view_, this), 0, 1);
  lower->addWidget(archives_, 1, 0);
  lower->addWidget(view_, 1, 1);
  lower->setColumnStretch(0, 4);
  lower->setColumnStretch(1, 1);
  auto *archiveRow = new QHBoxLayout;
  archiveUse_ = Button(QStringLiteral("使用状態"), "ArchiveUse", this);
  archiveConfig_ = Button(QStringLiteral("プラグイン設定"), "ArchiveConfig", this);
  archiveProps_ = Button(QStringLiteral("プロパティ"), "ArchiveProperties", this);
  useAll_ = new QCheckBox(QStringLiteral("全表示用ﾌﾟﾗｸﾞｲﾝ使用"), this);
  useAll_->setObjectName(QStringLiteral("UseAllPictures"));
  auto *close = Button(QStringLiteral("閉じる"), "CloseButton", this);
  close->setDefault(true);
  archiveRow->addWidget(archiveUse_);
  archiveRow->addWidget(archiveConfig_);
  archiveRow->addWidget(archiveProps_);
  archiveRow->addSpacing(12);
  archiveRow->addWidget(useAll_);
  archiveRow->addStretch(1);
  lower->addLayout(archiveRow, 2, 0);
  lower->addWidget(close, 2, 1);

  // The set box: choosing, naming (on leaving the box) and deleting sets.
  connect(sets_, &QComboBox::activated, this, [this](int index) {
    const std::string name = sets_->itemText(index).toStdString();
    if (name == option_.Shown()) return;
    option_.Choose(name);
    FillSets();
    FillLists();
  });
  connect(sets_->lineEdit(), &QLineEdit::returnPressed, this, &CPluginSetDlg::CommitSetText);
  connect(remove, &QPushButton::clicked, this, [this] {
    if (!option_.Delete(sets_->currentText().toStdString())) return;
    FillSets();
    FillLists();
  });

  // The use bits: the check boxes and "使用状態".
  auto useChanged = [this](QTableWidget *list, int kind) {
    connect(list, &QTableWidget::itemChanged, this, [this, list, kind](QTableWidgetItem *item) {
      if (filling_ || item->column() != 0) return;
      option_.SetUse(PositionOf(list, item->row()), kind, item->checkState() == Qt::Checked);
    });
  };
  useChanged(pictures_, kSpiPicture);
  useChanged(archives_, kSpiArchive);
  auto flip = [this](QTableWidget *list, int kind) {
    option_.FlipUse(Selected(list), kind);
    filling_ = true;
    for (const PluginRow &r : option_.Rows(kind))
      if (QTableWidgetItem *item = list->item(r.position, 0))
        item->setCheckState(r.use ? Qt::Checked : Qt::Unchecked);
    filling_ = false;
  };
  connect(pictureUse_, &QPushButton::clicked, this, [this, flip] { flip(pictures_, kSpiPicture); });
  connect(archiveUse_, &QPushButton::clicked, this, [this, flip] { flip(archives_, kSpiArchive); });
  connect(pictureConfig_, &QPushButton::clicked, this, [this] { Configure(pictures_, kSpiPicture); });
  connect(archiveConfig_, &QPushButton::clicked, this, [this] { Configure(archives_, kSpiArchive); });
  connect(pictureProps_, &QPushButton::clicked, this, [this] { Properties(pictures_, kSpiPicture); });
  connect(archiveProps_, &QPushButton::clicked, this, [this] { Properties(archives_, kSpiArchive); });

  // The ViewSPI list of the selected archive plug-in.
  connect(add_, &QPushButton::clicked, this, &CPluginSetDlg::AddToView);
  connect(remove_, &QPushButton::clicked, this, &CPluginSetDlg::RemoveFromView);
  connect(pictures_, &QTableWidget::cellDoubleClicked, this, [this] { AddToView(); });
  connect(view_, &QTableWidget::cellDoubleClicked, this, [this] { RemoveFromView(); });
  connect(useAll_, &QCheckBox::clicked, this, [this](bool on) {
    const int archive = SelectedArchive();
    if (archive < 0) return;
    option_.SetUseAllPictures(archive, on);
    FillViewList();
  });
  connect(archives_, &QTableWidget::itemSelectionChanged, this, [this] {
    FillViewList();
    UpdateButtons();
  });
  for (QTableWidget *list : {pictures_, view_})
    connect(list, &QTableWidget::itemSelectionChanged, this, &CPluginSetDlg::UpdateButtons);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  FillSets();
  FillLists();
  resize(660, 560);
}

void CPluginSetDlg::FillSets() {
  sets_->blockSignals(true);
  sets_->clear();
  for (const std::string &name : option_.Names()) sets_->addItem(Q(name));
  sets_->setCurrentIndex(sets_->findText(Q(option_.Shown())));
  sets_->setEditText(Q(option_.Shown()));
  sets_->blockSignals(false);
}

void CPluginSetDlg::FillLists() {
  filling_ = true;
  for (auto [list, kind] : {std::pair{pictures_, int(kSpiPicture)}, std::pair{archives_, int(kSpiArchive)}}) {
    const std::vector<PluginRow> rows = option_.Rows(kind);
    list->clearContents();
    list->setRowCount(static_cast<int>(rows.size()));
    for (const PluginRow &r : rows) {
      auto *check = new QTableWidgetItem;
      check->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      check->setCheckState(r.use ? Qt::Checked : Qt::Unchecked);
      check->setData(Qt::UserRole, r.position);
      check->setData(Qt::UserRole + 1, r.hasSettings);
      list->setItem(r.position, 0, check);
      list->setItem(r.position, 1, new QTableWidgetItem(Q(r.name)));
      list->setItem(r.position, 2, new QTableWidgetItem(Q(r.info)));
      list->setItem(r.position, 3, new QTableWidgetItem(Q(r.filter)));
    }
  }
  filling_ = false;
  FillViewList();
  UpdateButtons();
}

void CPluginSetDlg::FillViewList() {
  const int archive = SelectedArchive();
  view_->clearContents();
  view_->setRowCount(0);
  useAll_->setEnabled(archive >= 0);
  if (archive < 0) {
    useAll_->setChecked(false);
    view_->setEnabled(false);
    UpdateButtons();
    return;
  }
  const std::vector<PluginRow> rows = option_.ViewRows(archive);
  view_->setRowCount(static_cast<int>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    auto *item = new QTableWidgetItem(Q(rows[i].name));
    item->setData(Qt::UserRole, rows[i].position);
    view_->setItem(static_cast<int>(i), 0, item);
  }
  const bool all = option_.UsesAllPictures(archive);
  useAll_->setChecked(all);
  view_->setEnabled(!all);
  UpdateButtons();
}

void CPluginSetDlg::UpdateButtons() {
  auto update = [this](QTableWidget *list, QPushButton *use, QPushButton *config, QPushButton *props) {
    const bool any = !Selected(list).empty();
    use->setEnabled(any);
    props->setEnabled(any);
    const QTableWidgetItem *current = any ? list->item(list->currentRow(), 0) : nullptr;
    config->setEnabled(current && current->isSelected() && current->data(Qt::UserRole + 1).toBool());
  };
  update(pictures_, pictureUse_, pictureConfig_, pictureProps_);
  update(archives_, archiveUse_, archiveConfig_, archiveProps_);
  add_->setEnabled(SelectedArchive() >= 0 && !Selected(pictures_).empty());
  remove_->setEnabled(view_->isEnabled() && !Selected(view_).empty());
}

std::vector<int> CPluginSetDlg::Selected(QTableWidget *list) const {
  std::vector<int> positions;
  for (int row = 0; row < list->rowCount(); ++row)
    if (const QTableWidgetItem *item = list->item(row, 0); item && item->isSelected())
      positions.push_back(item->data(Qt::UserRole).toInt());
  return positions;
}

int CPluginSetDlg::SelectedArchive() const {
  const std::vector<int> selected = Selected(archives_);
  return selected.empty() ? -1 : selected.front();
}

void CPluginSetDlg::Configure(QTableWidget *list, int kind) {
  const int position = PositionOf(list, list->currentRow());
  // The plug-in gets the platform handle of this window as its parent.
  if (position >= 0) option_.Configure(position, kind, reinterpret_cast<void *>(winId()));
}

void CPluginSetDlg::Properties(QTableWidget *list, int kind) {
  const int position = PositionOf(list, list->currentRow());
  if (position >= 0) option_.ShowProperties(position, kind);
}

void CPluginSetDlg::AddToView() {
  const int archive = SelectedArchive();
  const std::vector<int> pictures = Selected(pictures_);
  if (archive < 0 || pictures.empty()) return;
  option_.AddToViewList(archive, pictures);
  FillViewList();
}

void CPluginSetDlg::RemoveFromView() {
  const int archive = SelectedArchive();
  const std::vector<int> names = Selected(view_);
  if (archive < 0 || names.empty() || !view_->isEnabled()) return;
  option_.RemoveFromViewList(archive, names);
  FillViewList();
}

void CPluginSetDlg::CommitSetText() {
  const std::string text = sets_->currentText().toStdString();
  if (text.empty()) return;
  if (!option_.Commit(text)) {
    // Not a name a set can have: the box shows the set it showed before.
    QApplication::beep();
  }
  FillSets();
}

bool CPluginSetDlg::eventFilter(QObject *watched, QEvent *event) {
  if (watched == sets_ && event->type() == QEvent::FocusOut &&
      static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
    CommitSetText();
  return QDialog::eventFilter(watched, event);
}

void CPluginSetDlg::done(int result) {
  if (!closed_) {
    closed_ = true;
    // A name typed and left by closing is taken as if the box had lost the focus.
    if (sets_->currentText().toStdString() != option_.Shown()) CommitSetText();
    option_.Close(CPluginSetOption::Columns{Widths(pictures_), Widths(archives_), Widths(view_)});
  }
  QDialog::done(result);
}

void RunPluginSetDialog(CSpiHost &host, QWidget *parent) {
  CPluginSetDlg dialog(host, parent);
  dialog.exec();
}

}  // namespace tamro
