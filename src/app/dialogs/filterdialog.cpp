#include "app/dialogs/filterdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "catalogue/rxdoc.h"
#include "platform/profile.h"

namespace tamro {

namespace {

QString Q(const std::string &s) { return QString::fromStdString(s); }

QComboBox *HistoryBox(const std::vector<std::string> &items, const std::string &current, QWidget *parent) {
  auto *box = new QComboBox(parent);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string &item : items) box->addItem(Q(item));
  box->setEditText(Q(current));
  return box;
}

QComboBox *UnitBox(int unit, QWidget *parent) {
  auto *box = new QComboBox(parent);
  for (const char *name : {"B", "KB", "MB", "GB", "TB"}) box->addItem(QString::fromLatin1(name));
  box->setCurrentIndex(std::clamp(unit, 0, 4));
  return box;
}

QDate DayOf(FileTime t) { return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t / 1000000)).date(); }

}  // namespace

CFilterDialog::CFilterDialog(CRXDoc &doc, Profile &profile, QWidget *parent)
    : QDialog(parent), profile_(profile) {
  setWindowTitle(QStringLiteral("表示ﾌｨﾙﾀの設定"));
  option_.Load(profile_, doc.Settings().pathMask);
  filter_ = doc.Filter();

  auto *top = new QVBoxLayout(this);
  auto *grid = new QGridLayout;
  top->addLayout(grid);

  nameOn_ = new QCheckBox(QStringLiteral("ファイル名(&N)"), this);
  nameOn_->setObjectName(QStringLiteral("FileName"));
  nameOn_->setChecked(option_.nameOn);
  pattern_ = HistoryBox(option_.patterns, option_.pattern, this);
  pattern_->setObjectName(QStringLiteral("Pattern"));
  pattern_->setToolTip(QStringLiteral("例: *.jpg;*.png"));
  grid->addWidget(nameOn_, 0, 0);
  grid->addWidget(pattern_, 0, 1, 1, 5);

  dateOn_ = new QCheckBox(QStringLiteral("更新日付(&D)"), this);
  dateOn_->setObjectName(QStringLiteral("FileDate"));
  dateOn_->setChecked(option_.dateOn);
  const QDate today = QDate::currentDate();
  firstDay_ = new QDateEdit(filter_.haveDates ? DayOf(filter_.firstDate) : today, this);
  lastDay_ = new QDateEdit(filter_.haveDates ? DayOf(filter_.lastDate) : today, this);
  for (QDateEdit *d : {firstDay_, lastDay_}) {
    d->setCalendarPopup(true);
    d->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
  }
  firstDay_->setObjectName(QStringLiteral("FirstDay"));
  lastDay_->setObjectName(QStringLiteral("LastDay"));
  grid->addWidget(dateOn_, 1, 0);
  grid->addWidget(firstDay_, 1, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("～"), this), 1, 3);
  grid->addWidget(lastDay_, 1, 4, 1, 2);

  sizeOn_ = new QCheckBox(QStringLiteral("ファイルサイズ(&S)"), this);
  sizeOn_->setObjectName(QStringLiteral("FileSize"));
  sizeOn_->setChecked(option_.sizeOn);
  sizeBegin_ =
      HistoryBox(option_.sizesBegin, option_.sizesBegin.empty() ? "" : option_.sizesBegin.front(), this);
  sizeEnd_ = HistoryBox(option_.sizesEnd, option_.sizesEnd.empty() ? "" : option_.sizesEnd.front(), this);
  sizeBegin_->setObjectName(QStringLiteral("SizeBegin"));
  sizeEnd_->setObjectName(QStringLiteral("SizeEnd"));
  unitBegin_ = UnitBox(option_.unitBegin, this);
  unitEnd_ = UnitBox(option_.unitEnd, this);
  unitBegin_->setObjectName(QStringLiteral("UnitBegin"));
  unitEnd_->setObjectName(QStringLiteral("UnitEnd"));
  grid->addWidget(sizeOn_, 2, 0);
  grid->addWidget(sizeBegin_, 2, 1);
  grid->addWidget(unitBegin_, 2, 2);
  grid->addWidget(new QLabel(QStringLiteral("～"), this), 2, 3);
  grid->addWidget(sizeEnd_, 2, 4);
  grid->addWidget(unitEnd_, 2, 5);

  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton *clear = buttons->addButton(QStringLiteral("クリア(&C)"), QDialogButtonBox::ResetRole);
  clear->setObjectName(QStringLiteral("Clear"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CFilterDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(clear, &QPushButton::clicked, this, &CFilterDialog::ClearFilter);
  top->addWidget(buttons);
}

void CFilterDialog::accept() {
  CFilterOption::Input in;
  in.nameOn = nameOn_->isChecked();
  in.dateOn = dateOn_->isChecked();
  in.sizeOn = sizeOn_->isChecked();
  in.pattern = pattern_->currentText().trimmed().toStdString();
  in.firstDay = firstDay_->date();
  in.lastDay = lastDay_->date();
  in.sizeBegin = sizeBegin_->currentText().trimmed().toStdString();
  in.sizeEnd = sizeEnd_->currentText().trimmed().toStdString();
  in.unitBegin = unitBegin_->currentIndex();
  in.unitEnd = unitEnd_->currentIndex();
  DisplayFilter out = filter_;
  if (!option_.Confirm(in, profile_, out)) {
    // The first day lies after the last: the user corrects it here.
    firstDay_->setFocus();
    return;
  }
  filter_ = out;
  QDialog::accept();
}

void CFilterDialog::ClearFilter() {
  option_.Clear(profile_, filter_);
  QDialog::accept();
}

bool RunFilterDialog(CRXDoc &doc, Profile &profile, QWidget *parent) {
  CFilterDialog dialog(doc, profile, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  doc.ApplyDisplayFilter(dialog.Filter(), dialog.Pattern());
  return true;
}

}  // namespace tamro
