#include "app/dialogs/displaymodedialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ui.h"

namespace tamro {

CDisplayModeForm::CDisplayModeForm(const ViewerDefaults &settings, int interval, QWidget *parent)
    : QWidget(parent) {
  auto *all = new QVBoxLayout(this);
  all->setContentsMargins(0, 0, 0, 0);

  auto *fitBox = new QGroupBox(QStringLiteral(" ウインドウと画像サイズの相関"), this);
  auto *fitLayout = new QVBoxLayout(fitBox);
  fit_ = new QButtonGroup(this);
  const char *fits[] = {"そのまま", "画像サイズ", "画像をウインドウサイズに伸縮", "縦横比固定して伸縮"};
  for (int i = 0; i < 4; ++i) {
    auto *b = new QRadioButton(QString::fromUtf8(fits[i]), fitBox);
    fit_->addButton(b, i);
    b->setObjectName(QStringLiteral("fit%1").arg(i));
    fitLayout->addWidget(b);
  }
  zoomUp_ = new QCheckBox(QStringLiteral("拡大を許可"), fitBox);
  zoomUp_->setObjectName(QStringLiteral("ZoomUp"));
  zoomDw_ = new QCheckBox(QStringLiteral("縮小を許可"), fitBox);
  zoomDw_->setObjectName(QStringLiteral("ZoomDw"));
  fitLayout->addWidget(zoomUp_);
  fitLayout->addWidget(zoomDw_);
  all->addWidget(fitBox);

  auto *scaleBox = new QGroupBox(QStringLiteral(" 画像の伸縮手法"), this);
  auto *scaleLayout = new QVBoxLayout(scaleBox);
  scale_ = new QButtonGroup(this);
  const std::pair<int, const char *> scales[] = {{0, "通常　（低品質）"},
                                                 {1, "最近傍法　（低中品質）"},
                                                 {2, "線形補間法　（高品質）"},
                                                 {3, "RGB平均法　（縮小時に美麗）"},
                                                 {10, "自動判定　美麗モード"}};
  for (const auto &[id, text] : scales) {
    auto *b = new QRadioButton(QString::fromUtf8(text), scaleBox);
    scale_->addButton(b, id);
    b->setObjectName(QStringLiteral("scale%1").arg(id));
    scaleLayout->addWidget(b);
  }
  auto *stepRow = new QHBoxLayout;
  stepRow->addWidget(new QLabel(QStringLiteral(" 伸縮きざみ"), scaleBox));
  step_ = new QLineEdit(scaleBox);
  step_->setObjectName(QStringLiteral("ZoomStep"));
  stepRow->addWidget(step_);
  stepRow->addWidget(new QLabel(QStringLiteral("0.5=1.0-1.5-2.0-2.5..."), scaleBox));
  scaleLayout->addLayout(stepRow);
  all->addWidget(scaleBox);

  auto *optionBox = new QGroupBox(QStringLiteral(" オプション"), this);
  auto *optionLayout = new QGridLayout(optionBox);
  allView_ = new QCheckBox(QStringLiteral("全画面表示"), optionBox);
  allView_->setObjectName(QStringLiteral("AllView"));
  repeat_ = new QCheckBox(QStringLiteral("くり返し再生"), optionBox);
  repeat_->setObjectName(QStringLiteral("Repeat"));
  wait_ = new QSpinBox(optionBox);
  wait_->setRange(0, 3600000);
  wait_->setObjectName(QStringLiteral("SleepDraw"));
  optionLayout->addWidget(allView_, 0, 0);
  optionLayout->addWidget(repeat_, 0, 1);
  optionLayout->addWidget(new QLabel(QStringLiteral("表示ウエイト（ms）"), optionBox), 1, 0);
  optionLayout->addWidget(wait_, 1, 1);
  all->addWidget(optionBox);

  auto *turnBox = new QGroupBox(QStringLiteral(" 回転オプション"), this);
  auto *turnLayout = new QHBoxLayout(turnBox);
  angle_ = new QSpinBox(turnBox);
  angle_->setRange(1, 359);
  angle_->setObjectName(QStringLiteral("AngleUnit"));
  turnLayout->addWidget(new QLabel(QStringLiteral("回転時の角度単位（度数）"), turnBox));
  turnLayout->addWidget(angle_);
  all->addWidget(turnBox);

  if (QAbstractButton *b = fit_->button(settings.fitSize)) b->setChecked(true);
  if (QAbstractButton *b = scale_->button(settings.scaleMode)) b->setChecked(true);
  zoomUp_->setChecked(settings.zoomUp);
  zoomDw_->setChecked(settings.zoomDw);
  step_->setText(QString::number(settings.zoomStep, 'g', 6));
  allView_->setChecked(settings.allView);
  repeat_->setChecked(settings.repeat);
  wait_->setValue(interval);
  angle_->setValue(std::clamp(settings.angleUnit, 1, 359));
}

bool CDisplayModeForm::Take(ViewerDefaults &values, int &interval) {
  double step = 0.0;
  if (!ParseZoomStep(step_->text().toStdString(), step)) {
    Ui().MessageBox(kZoomStepRefusedText, window()->windowTitle().toStdString(), MB_OK | MB_ICONWARNING);
    step_->setFocus();
    return false;
  }
  if (fit_->checkedId() >= 0) values.fitSize = fit_->checkedId();
  if (scale_->checkedId() >= 0) values.scaleMode = scale_->checkedId();
  values.zoomUp = zoomUp_->isChecked();
  values.zoomDw = zoomDw_->isChecked();
  values.zoomStep = step;
  values.allView = allView_->isChecked();
  values.repeat = repeat_->isChecked();
  values.angleUnit = angle_->value();
  interval = wait_->value();
  return true;
}

CDisplayModeDialog::CDisplayModeDialog(const OneViewSettings &settings, int interval, QWidget *parent)
    : QDialog(parent), settings_(settings), interval_(interval) {
  setWindowTitle(QStringLiteral("表示モード設定"));
  auto *all = new QVBoxLayout(this);
  form_ = new CDisplayModeForm(settings, interval, this);
  all->addWidget(form_);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  all->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDisplayModeDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CDisplayModeDialog::accept() {
  if (form_->Take(settings_, interval_)) QDialog::accept();
}

bool AskDisplayMode(QWidget *parent, OneViewSettings &settings, int &interval) {
  CDisplayModeDialog dialog(settings, interval, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  settings = dialog.Settings();
  interval = dialog.Interval();
  return true;
}

}  // namespace tamro
