#include "app/dialogs/saveformatdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/filedialogtools.h"
#include "fileops/saveformat.h"

namespace tamro {

namespace {

QRadioButton *Radio(QButtonGroup *group, int id, const char *text, const char *name, QWidget *parent) {
  auto *button = new QRadioButton(QString::fromUtf8(text), parent);
  button->setObjectName(QString::fromUtf8(name));
  group->addButton(button, id);
  return button;
}

QSpinBox *Spin(int lowest, int highest, int value, const char *name, QWidget *parent) {
  auto *spin = new QSpinBox(parent);
  spin->setObjectName(QString::fromUtf8(name));
  spin->setRange(lowest, highest);
  spin->setValue(value);
  return spin;
}

}  // namespace

CSaveFormatDialog::CSaveFormatDialog(QWidget *parent, CFileSaveOption &option)
    : QDialog(parent), option_(option) {
  setWindowTitle(QStringLiteral("画像形式を指定してファイル保存"));

  auto *folderLabel = new QLabel(QStringLiteral("保存先フォルダを指定してください："), this);
  folder_ = new QComboBox(this);
  folder_->setObjectName(QStringLiteral("folder"));
  folder_->setEditable(true);
  folder_->setInsertPolicy(QComboBox::NoInsert);
  folder_->setMinimumWidth(360);
  folder_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  for (const std::string &item : option_.Folders().items()) folder_->addItem(Q(item));
  folder_->setEditText(Q(option_.folder));
  folderLabel->setBuddy(folder_);
  auto *browse = new QPushButton(QStringLiteral("参照"), this);
  browse->setObjectName(QStringLiteral("browse"));
  connect(browse, &QPushButton::clicked, this, &CSaveFormatDialog::Browse);

  auto *formatLabel = new QLabel(QStringLiteral("保存画像形式："), this);
  format_ = new QComboBox(this);
  format_->setObjectName(QStringLiteral("format"));
  format_->addItem(QStringLiteral("BMP ﾌｧｲﾙ形式"));
  format_->addItem(QStringLiteral("JPEG ﾌｧｲﾙ形式"));
  format_->setCurrentIndex(option_.format == CFileSaveOption::kJpeg ? 1 : 0);
  formatLabel->setBuddy(format_);

  auto *tabs = new QTabWidget(this);

  // Size.
  auto *sizePage = new QWidget(tabs);
  sizeMode_ = new QButtonGroup(this);
  QRadioButton *keep = Radio(sizeMode_, CFileSaveOption::kKeepSize, "サイズ変更しない", "keepSize", sizePage);
  QRadioButton *given =
      Radio(sizeMode_, CFileSaveOption::kGivenSize, "サイズを指定する", "givenSize", sizePage);
  width_ = Spin(0, 99999, option_.width, "width", sizePage);
  height_ = Spin(0, 99999, option_.height, "height", sizePage);
  aspect_ = new QCheckBox(QStringLiteral("縦横比を保持する"), sizePage);
  aspect_->setObjectName(QStringLiteral("aspect"));
  aspect_->setChecked(option_.aspect != 0);
  QRadioButton *factor =
      Radio(sizeMode_, CFileSaveOption::kScaleFactor, "倍率を指定する", "scaleFactor", sizePage);
  scale_ = new QLineEdit(Q(option_.ScaleText()), sizePage);
  scale_->setObjectName(QStringLiteral("scale"));
  scale_->setMaximumWidth(90);
  if (QAbstractButton *b = sizeMode_->button(option_.sizeMode)) b->setChecked(true);
  auto *widthLabel = new QLabel(QStringLiteral("幅"), sizePage);
  widthLabel->setBuddy(width_);
  auto *heightLabel = new QLabel(QStringLiteral("高"), sizePage);
  heightLabel->setBuddy(height_);
  auto *sizeRow = new QHBoxLayout;
  sizeRow->addSpacing(24);
  sizeRow->addWidget(widthLabel);
  sizeRow->addWidget(width_);
  sizeRow->addSpacing(12);
  sizeRow->addWidget(heightLabel);
  sizeRow->addWidget(height_);
  sizeRow->addStretch(1);
  auto *aspectRow = new QHBoxLayout;
  aspectRow->addSpacing(24);
  aspectRow->addWidget(aspect_);
  aspectRow->addStretch(1);
  auto *factorRow = new QHBoxLayout;
  factorRow->addWidget(factor);
  factorRow->addWidget(scale_);
  factorRow->addStretch(1);
  auto *sizeLayout = new QVBoxLayout(sizePage);
  sizeLayout->addWidget(keep);
  sizeLayout->addWidget(given);
  sizeLayout->addLayout(sizeRow);
  sizeLayout->addLayout(aspectRow);
  sizeLayout->addLayout(factorRow);
  sizeLayout->addStretch(1);
  tabs->addTab(sizePage, QStringLiteral("サイズ指定"));

  // Scaling method.
  auto *scalePage = new QWidget(tabs);
  scaleMode_ = new QButtonGroup(this);
  auto *scaleLayout = new QVBoxLayout(scalePage);
  scaleLayout->addWidget(Radio(scaleMode_, 0, "通常　（低品質）", "scaleNormal", scalePage));
  scaleLayout->addWidget(Radio(scaleMode_, 1, "最近傍法　（低中品質）", "scaleNearest", scalePage));
  scaleLayout->addWidget(Radio(scaleMode_, 2, "線形補間法　（高品質）", "scaleLinear", scalePage));
  scaleLayout->addWidget(Radio(scaleMode_, 3, "RGB平均法　（縮小時に美麗）", "scaleAverage", scalePage));
  scaleLayout->addWidget(Radio(scaleMode_, 10, "自動判定　美麗モード", "scaleAuto", scalePage));
  unsharp_ = new QCheckBox(QStringLiteral("アンシャープマスクを適用"), scalePage);
  unsharp_->setObjectName(QStringLiteral("unsharp"));
  unsharp_->setChecked(option_.unsharp != 0);
  scaleLayout->addSpacing(6);
  scaleLayout->addWidget(unsharp_);
  scaleLayout->addStretch(1);
  if (QAbstractButton *b = scaleMode_->button(option_.scaleMode)) b->setChecked(true);
  tabs->addTab(scalePage, QStringLiteral("伸縮手法"));

  // JPEG.
  auto *jpegPage = new QWidget(tabs);
  auto *qualityLabel = new QLabel(QStringLiteral("JPEG圧縮品質\n（0:低品質～100:高品質）"), jpegPage);
  quality_ = Spin(0, 100, option_.jpegQuality, "quality", jpegPage);
  qualityLabel->setBuddy(quality_);
  auto *jpegLayout = new QHBoxLayout(jpegPage);
  jpegLayout->addWidget(qualityLabel);
  jpegLayout->addWidget(quality_);
  jpegLayout->addStretch(1);
  jpegLayout->setAlignment(Qt::AlignTop);
  tabs->addTab(jpegPage, QStringLiteral("JPEG"));

  // Rotation.
  auto *rotatePage = new QWidget(tabs);
  rotation_ = new QButtonGroup(this);
  auto *rotateGrid = new QGridLayout(rotatePage);
  rotateGrid->addWidget(Radio(rotation_, 0, "回転しない", "rotateNone", rotatePage), 0, 0, 1, 2);
  rotateGrid->addWidget(Radio(rotation_, 1, "右90° 回転", "rotateRight", rotatePage), 1, 0, 1, 2);
  rotateGrid->addWidget(Radio(rotation_, 2, "180°回転", "rotate180", rotatePage), 2, 0, 1, 2);
  rotateGrid->addWidget(Radio(rotation_, 3, "左90° 回転", "rotateLeft", rotatePage), 3, 0, 1, 2);
  rotateGrid->addWidget(Radio(rotation_, 4, "角度指定", "rotateAngle", rotatePage), 4, 0);
  angle_ = Spin(0, 360, option_.rotateAngle, "angle", rotatePage);
  rotateGrid->addWidget(angle_, 4, 1);
  rotateGrid->setColumnStretch(2, 1);
  rotateGrid->setRowStretch(5, 1);
  rotation_->button(option_.RotationButton())->setChecked(true);
  tabs->addTab(rotatePage, QStringLiteral("回転"));

  QDialogButtonBox *buttons = OkCancelButtons(this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CSaveFormatDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CSaveFormatDialog::reject);

  auto *top = new QGridLayout;
  top->addWidget(folderLabel, 0, 0, 1, 2);
  top->addWidget(folder_, 1, 0);
  top->addWidget(browse, 1, 1);
  top->setColumnStretch(0, 1);
  auto *formatRow = new QHBoxLayout;
  formatRow->addWidget(formatLabel);
  formatRow->addWidget(format_);
  formatRow->addStretch(1);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(formatRow);
  layout->addWidget(tabs, 1);
  layout->addWidget(buttons);

  connect(sizeMode_, &QButtonGroup::idToggled, this, [this] { EnableFields(); });
  connect(rotation_, &QButtonGroup::idToggled, this, [this] { EnableFields(); });
  EnableFields();
  folder_->setFocus();
}

void CSaveFormatDialog::EnableFields() {
  const int mode = sizeMode_->checkedId();
  width_->setEnabled(mode == CFileSaveOption::kGivenSize);
  height_->setEnabled(mode == CFileSaveOption::kGivenSize);
  aspect_->setEnabled(mode == CFileSaveOption::kGivenSize);
  scale_->setEnabled(mode == CFileSaveOption::kScaleFactor);
  angle_->setEnabled(rotation_->checkedId() == 4);
}

void CSaveFormatDialog::Browse() {
  const QString chosen = ChooseFolder(this, QStringLiteral("保存先を選択してください"),
                                      folder_->currentText().trimmed(), option_.currentFolder);
  if (!chosen.isEmpty()) folder_->setEditText(chosen);
}

void CSaveFormatDialog::accept() {
  option_.folder = S(folder_->currentText());
  option_.format = format_->currentIndex() == 1 ? CFileSaveOption::kJpeg : CFileSaveOption::kBmp;
  option_.sizeMode = std::max(sizeMode_->checkedId(), 0);
  option_.width = width_->value();
  option_.height = height_->value();
  option_.aspect = aspect_->isChecked() ? 1 : 0;
  // A factor that is not a number counts as 0, which the option refuses.
  bool number = false;
  const double scale = scale_->text().trimmed().toDouble(&number);
  option_.scale = number ? scale : 0.0;
  option_.scaleMode = std::max(scaleMode_->checkedId(), 0);
  option_.unsharp = unsharp_->isChecked() ? 1 : 0;
  option_.jpegQuality = quality_->value();
  const int rotation = rotation_->checkedId();
  if (rotation == 4)
    option_.rotateAngle = angle_->value();
  else
    option_.SetRotationButton(std::max(rotation, 0));
  const bool ok = option_.Accept();
  // The folder text became absolute when it could.
  folder_->setEditText(Q(option_.folder));
  if (ok) QDialog::accept();
}

bool AskSaveFormat(QWidget *parent, CFileSaveOption &option) {
  option.Load();
  CAskingCursor arrow;
  CSaveFormatDialog dialog(parent, option);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace tamro
