#include "app/dialogs/progressdialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/dialogs/filedialogtools.h"

namespace tamro {

CProgressDialog::CProgressDialog(QWidget *parent, std::string_view caption) : QDialog(parent) {
  setWindowTitle(Q(caption));
  setObjectName(QStringLiteral("progress"));
  // The operation runs on this thread; nothing else may start meanwhile.
  setWindowModality(Qt::ApplicationModal);
  name_ = new QLabel(this);
  name_->setFixedWidth(400);
  name_->setTextFormat(Qt::PlainText);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  percent_ = new QLabel(this);
  percent_->setAlignment(Qt::AlignCenter);
  abort_ = new QPushButton(QStringLiteral("中止"), this);
  abort_->setObjectName(QStringLiteral("abort"));
  connect(abort_, &QPushButton::clicked, this, &CProgressDialog::Abort);

  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(abort_);
  buttons->addStretch(1);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(name_);
  layout->addWidget(bar_);
  layout->addWidget(percent_);
  layout->addLayout(buttons);
  ShowPercent();
  // The arrow and the busy mark: the abort button stays usable.
  QApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
  show();
  QApplication::processEvents();
}

CProgressDialog::~CProgressDialog() { QApplication::restoreOverrideCursor(); }

void CProgressDialog::SetText(std::string_view text) {
  const QString full = Q(text);
  name_->setText(name_->fontMetrics().elidedText(full, Qt::ElideMiddle, name_->width()));
  name_->setToolTip(full);
}

void CProgressDialog::SetRange(int lower, int upper) {
  bar_->setRange(lower, std::max(lower, upper));
  bar_->setValue(lower);
  ShowPercent();
}

void CProgressDialog::SetPos(int pos) {
  bar_->setValue(std::clamp(pos, bar_->minimum(), bar_->maximum()));
  ShowPercent();
}

void CProgressDialog::Step(int by) { SetPos(bar_->value() + by); }

bool CProgressDialog::Aborted() {
  QApplication::processEvents();
  return aborted_;
}

int CProgressDialog::Value() const { return bar_->value(); }

QString CProgressDialog::PercentText() const { return percent_->text(); }

void CProgressDialog::ShowPercent() {
  const long long span = static_cast<long long>(bar_->maximum()) - bar_->minimum();
  const long long done = static_cast<long long>(bar_->value()) - bar_->minimum();
  const int percent = span > 0 ? static_cast<int>(done * 100 / span) : 0;
  percent_->setText(QString::number(percent) + QStringLiteral("％"));
}

void CProgressDialog::Abort() {
  aborted_ = true;
  abort_->setEnabled(false);
}

// Closing the window or pressing Escape asks to stop; the window stays until the operation
// has stopped and closes it.
void CProgressDialog::closeEvent(QCloseEvent *event) {
  Abort();
  event->ignore();
}

void CProgressDialog::reject() { Abort(); }

}  // namespace tamro
