#include "app/dialogs/thumboptiondlg.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>
#include <tuple>

#include "catalogue/captionfont.h"

namespace tamro {

namespace {

// Settings hold colours as 0x00BBGGRR.
QColor ToQColor(uint32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }
uint32_t FromQColor(const QColor &c) {
  return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
         static_cast<uint32_t>(c.blue()) << 16;
}

// A 40 x 14 patch with a black frame, drawn at the pixel ratio of each screen so that it is
// not stretched on a high-density one.
QIcon Swatch(uint32_t colour) {
  QIcon icon;
  QList<qreal> ratios{1.0};
  for (const QScreen *screen : QGuiApplication::screens())
    if (!ratios.contains(screen->devicePixelRatio())) ratios.append(screen->devicePixelRatio());
  for (const qreal ratio : ratios) {
    QPixmap pixmap(qRound(40 * ratio), qRound(14 * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::black);
    QPainter painter(&pixmap);
    painter.fillRect(QRectF(1, 1, 38, 12), ToQColor(colour));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

// The scale modes with the names the picture window gives them, in CThumbOption's order.
const char *const kScaleModeNames[] = {"通常　（低品質）", "最近傍法　（低中品質）", "線形補間法　（高品質）",
                                       "RGB平均法　（縮小時に美麗）", "自動判定　美麗モード"};
static_assert(std::size(kScaleModeNames) == std::size(CThumbOption::kScaleModes));

QSpinBox *SizeBox(const char *name, int value, QWidget *parent) {
  auto *box = new QSpinBox(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setRange(10, 2000);
  box->setValue(value);
  return box;
}

}  // namespace

CThumbOptionDlg::CThumbOptionDlg(CRXDoc &doc, UpdateObserver *sender, QWidget *parent)
    : QDialog(parent), doc_(doc), sender_(sender), option_(doc) {
  setWindowTitle(QStringLiteral("サムネイル設定"));
  auto *top = new QVBoxLayout(this);
  auto *columns = new QHBoxLayout;
  top->addLayout(columns);
  auto *left = new QVBoxLayout;
  auto *right = new QVBoxLayout;
  columns->addLayout(left);
  columns->addLayout(right);

  auto *size = new QGroupBox(QStringLiteral("サイズ"), this);
  left->addWidget(size);
  auto *grid = new QGridLayout(size);
  auto pair = [&](int row, const QString &label, QSpinBox *w, QSpinBox *h) {
    auto *text = new QLabel(label, size);
    text->setBuddy(w);
    grid->addWidget(text, row, 0);
    grid->addWidget(w, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("×"), size), row, 2);
    grid->addWidget(h, row, 3);
  };
  width_ = SizeBox("ThumbsSizeWidth", option_.thumbsSize.width, size);
  height_ = SizeBox("ThumbsSizeHeight", option_.thumbsSize.height, size);
  pair(0, QStringLiteral("セルの大きさ(&S):"), width_, height_);
  limitWidth_ = SizeBox("ThumbsLimitSizeWidth", option_.thumbsLimitSize.width, size);
  limitHeight_ = SizeBox("ThumbsLimitSizeHeight", option_.thumbsLimitSize.height, size);
  pair(1, QStringLiteral("最小の大きさ(&L):"), limitWidth_, limitHeight_);
  // The cell is never smaller than its lower limit.
  width_->setMinimum(limitWidth_->value());
  height_->setMinimum(limitHeight_->value());
  connect(limitWidth_, &QSpinBox::valueChanged, width_, &QSpinBox::setMinimum);
  connect(limitHeight_, &QSpinBox::valueChanged, height_, &QSpinBox::setMinimum);
  scaleStep_ = new QSpinBox(size);
  scaleStep_->setObjectName(QStringLiteral("ScaleStep"));
  scaleStep_->setRange(1, 1000);
  scaleStep_->setValue(std::max(1, option_.scaleStep));
  auto *stepLabel = new QLabel(QStringLiteral("拡大縮小のきざみ(&T):"), size);
  stepLabel->setBuddy(scaleStep_);
  grid->addWidget(stepLabel, 2, 0);
  grid->addWidget(scaleStep_, 2, 1);

  auto *draw = new QGroupBox(QStringLiteral("描画"), this);
  left->addWidget(draw);
  auto *drawForm = new QFormLayout(draw);
  for (const auto &[key, label, value] : {
           std::tuple{"Frame", QStringLiteral("セルに枠を付ける(&F)"), &option_.frame},
           std::tuple{"Name", QStringLiteral("名前欄を表示する(&N)"), &option_.name},
           std::tuple{"NameFrame", QStringLiteral("名前欄に枠を付ける(&R)"), &option_.nameFrame},
           std::tuple{"LimitCheck", QStringLiteral("小さい画像を拡大しない(&E)"), &option_.limitCheck},
           std::tuple{"Unsharp", QStringLiteral("縮小後にシャープにする(&U)"), &option_.unsharp},
           std::tuple{"EmbeddedPreview", QStringLiteral("埋め込みプレビューを使う(&V)"),
                      &option_.embeddedPreview},
           std::tuple{"SharedThumbCache", QStringLiteral("共有サムネイルキャッシュを使う(&H)"),
                      &option_.sharedThumbCache},
       })
    drawForm->addRow(checks_.Add(key, label, value, draw));
  scaleMode_ = new QComboBox(draw);
  scaleMode_->setObjectName(QStringLiteral("ScaleMode"));
  int current = 0;  // another stored value draws as a plain stretch, like mode 0
  for (std::size_t i = 0; i < std::size(CThumbOption::kScaleModes); ++i) {
    scaleMode_->addItem(QString::fromUtf8(kScaleModeNames[i]), CThumbOption::kScaleModes[i]);
    if (CThumbOption::kScaleModes[i] == option_.scaleMode) current = static_cast<int>(i);
  }
  scaleMode_->setCurrentIndex(current);
  drawForm->addRow(QStringLiteral("伸縮手法(&M):"), scaleMode_);
  left->addStretch(1);

  auto *colours = new QGroupBox(QStringLiteral("色"), this);
  right->addWidget(colours);
  auto *colourForm = new QFormLayout(colours);
  auto colour = [&](const char *key, const QString &label, uint32_t *value) {
    QPushButton *button = AddColour(key, value);
    button->setParent(colours);
    colourForm->addRow(label, button);
  };
  colour("colBackGround", QStringLiteral("背景(&B):"), &option_.colBackGround);
  colour("colText", QStringLiteral("文字(&X):"), &option_.colText);
  colour("colNormalDraw", QStringLiteral("名前欄・通常(&O):"), &option_.colNormalDraw);
  colour("colArcDraw", QStringLiteral("名前欄・書庫内(&A):"), &option_.colArcDraw);
  colour("colCantDraw", QStringLiteral("名前欄・表示不可(&C):"), &option_.colCantDraw);

  auto *caption = new QGroupBox(QStringLiteral("キャプション"), this);
  right->addWidget(caption);
  auto *captionForm = new QFormLayout(caption);
  font_ = new QPushButton(caption);
  font_->setObjectName(QStringLiteral("CaptionFont"));
  font_->setAutoDefault(false);
  connect(font_, &QPushButton::clicked, this, &CThumbOptionDlg::PickFont);
  captionForm->addRow(QStringLiteral("フォント(&P):"), font_);
  nameFormat_ = new QLineEdit(QString::fromStdString(option_.nameFormat), caption);
  nameFormat_->setObjectName(QStringLiteral("NameFormat"));
  nameFormat_->setToolTip(QStringLiteral("例: \"$(PicName)\",\"$(PicSize)\""));
  captionForm->addRow(QStringLiteral("書式(&Y):"), nameFormat_);
  // Room for a long face name and a format of several items.
  nameFormat_->setMinimumWidth(nameFormat_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 32);
  // The macros most captions use, each beside what it stands for.
  auto *help = new QWidget(caption);
  help->setObjectName(QStringLiteral("NameFormatHelp"));
  auto *helpGrid = new QGridLayout(help);
  helpGrid->setContentsMargins(0, 0, 0, 0);
  helpGrid->setVerticalSpacing(0);
  const char *const helpLines[][2] = {{"$(PicName)", " ファイル名"},
                                      {"$(Width) $(Height)", "　幅 高さ"},
                                      {"$(Color)", " 色数ビット"},
                                      {"$(Date) $(Time)", " 年月日 時間"},
                                      {"$(Length) $(Size)", " 99.9 KB  99,999"}};
  int helpRow = 0;
  for (const auto &[macro, meaning] : helpLines) {
    helpGrid->addWidget(new QLabel(QString::fromUtf8(macro), help), helpRow, 0);
    helpGrid->addWidget(new QLabel(QString::fromUtf8(meaning), help), helpRow++, 1);
  }
  helpGrid->setColumnStretch(1, 1);
  captionForm->addRow(QString(), help);
  right->addStretch(1);
  ShowFont();

  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  top->addWidget(buttons);
}

QPushButton *CThumbOptionDlg::AddColour(const char *key, uint32_t *value) {
  auto *button = new QPushButton;
  button->setObjectName(QString::fromUtf8(key));
  button->setAutoDefault(false);
  button->setIcon(Swatch(*value));
  button->setIconSize(QSize(40, 14));
  connect(button, &QPushButton::clicked, this, [this, button, value] {
    const QColor chosen = QColorDialog::getColor(ToQColor(*value), this, QStringLiteral("色の設定"));
    if (!chosen.isValid()) return;
    *value = FromQColor(chosen);
    button->setIcon(Swatch(*value));
  });
  return button;
}

void CThumbOptionDlg::ShowFont() {
  QString text = QString::fromStdString(option_.fontFaceName) +
                 QStringLiteral("  %1px").arg(std::abs(option_.fontHeight));
  if (option_.fontWeight >= 600) text += QStringLiteral("  太字");
  if (option_.fontItalic) text += QStringLiteral("  斜体");
  font_->setText(text);
}

void CThumbOptionDlg::PickFont() {
  const FontDescription shown = LookupCaptionFont(option_.fontFaceName, option_.fontWidth, option_.fontHeight,
                                                  option_.fontItalic, option_.fontWeight);
  bool ok = false;
  const QFont f = QFontDialog::getFont(&ok, ToQFont(shown), this, QStringLiteral("キャプションのフォント"));
  if (!ok) return;
  option_.fontFaceName = f.family().toStdString();
  int pixels = f.pixelSize();
  if (pixels <= 0) pixels = QFontInfo(f).pixelSize();
  // Negative: the character height in pixels; the width follows the face.
  option_.fontHeight = -std::max(1, pixels);
  option_.fontWidth = 0;
  option_.fontWeight = f.weight();
  option_.fontItalic = f.italic() ? 1 : 0;
  ShowFont();
}

void CThumbOptionDlg::Store() {
  option_.thumbsSize = CellSize{width_->value(), height_->value()};
  option_.thumbsLimitSize = CellSize{limitWidth_->value(), limitHeight_->value()};
  option_.scaleStep = scaleStep_->value();
  checks_.Store();
  option_.scaleMode = scaleMode_->currentData().toInt();
  option_.nameFormat = nameFormat_->text().toStdString();
}

void CThumbOptionDlg::accept() {
  Store();
  changes_ = option_.Confirm(doc_, sender_);
  QDialog::accept();
}

ThumbChanges RunThumbOptionDialog(CRXDoc &doc, UpdateObserver *sender, QWidget *parent) {
  CThumbOptionDlg dialog(doc, sender, parent);
  dialog.exec();
  return dialog.Changes();
}

}  // namespace tamro
