#include "app/dialogs/wallpaperdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialogs/formparts.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "platform/ui.h"

namespace tamro {

namespace {

// The desktop behind the preview picture.
const QColor kDesktop(0x3A, 0x6E, 0xA5);

// Forwards to the installed services; a message during the apply step first gives the
// normal cursor back, so the box is not shown under the wait cursor.
class CursorRestoringUi : public UiServices {
 public:
  explicit CursorRestoringUi(UiServices &inner) : inner_(inner) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~CursorRestoringUi() override { Restore(); }
  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override {
    Restore();
    return inner_.MessageBox(text, caption, style);
  }
  bool InputText(std::string_view caption, std::string_view prompt, std::string &value) override {
    Restore();
    return inner_.InputText(caption, prompt, value);
  }
  std::unique_ptr<ProgressWindow> OpenProgress(std::string_view caption) override {
    return inner_.OpenProgress(caption);
  }
  bool AskSameName(SameNameQuestion &question) override {
    Restore();
    return inner_.AskSameName(question);
  }
  void StatusText(std::string_view text) override { inner_.StatusText(text); }

 private:
  void Restore() {
    if (waiting_) QApplication::restoreOverrideCursor();
    waiting_ = false;
  }
  UiServices &inner_;
  bool waiting_ = true;
};

QSize PixelSize(const QScreen *screen) {
  if (!screen) return {1024, 768};
  return screen->geometry().size() * screen->devicePixelRatio();
}

}  // namespace

// The screen in small: the desktop colour in the screen's proportions, the picture placed
// on it as the wallpaper will be.
class CWallpaperDialog::Preview : public QFrame {
 public:
  explicit Preview(QWidget *parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Sunken);
    setFixedSize(244, 184);
  }
  QRect Area(const QSize &screen) const { return CWallpaperOption::PreviewArea(rect(), screen); }

  QImage image;
  int mode = kWallpaperCentred;
  QSize screen{1024, 768};

 protected:
  void paintEvent(QPaintEvent *event) override {
    QFrame::paintEvent(event);
    QPainter p(this);
    const QRect area = Area(screen);
    p.fillRect(area, kDesktop);
    if (image.isNull()) return;
    p.setClipRect(area);
    if (mode == kWallpaperTiled) {
      for (int y = area.top(); y <= area.bottom(); y += image.height())
        for (int x = area.left(); x <= area.right(); x += image.width()) p.drawImage(x, y, image);
      return;
    }
    // The other placements are centred; the enlarging ones already fill the area.
    p.drawImage(area.left() + (area.width() - image.width()) / 2,
                area.top() + (area.height() - image.height()) / 2, image);
  }
};

CWallpaperDialog::CWallpaperDialog(HDIB picture, QWidget *parent) : QDialog(parent), picture_(picture) {
  setWindowTitle(QString::fromUtf8(CWallpaperOption::kTitle));
  option_.Load();
  screen_ = PixelSize(parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen());

  preview_ = new Preview(this);
  preview_->setObjectName("preview");
  auto *grid = new QGridLayout;
  static const char *const kLabels[4] = {"輝度調節", "赤の調節", "緑の調節", "青の調節"};
  static const char *const kNames[4] = {"bright", "red", "green", "blue"};
  for (int i = 0; i < 4; ++i) {
    const int limit = i == 0 ? CWallpaperOption::kBrightLimit : CWallpaperOption::kColourLimit;
    spins_[i] = new QSpinBox(this);
    spins_[i]->setObjectName(kNames[i]);
    spins_[i]->setRange(-limit, limit);
    sliders_[i] = new QSlider(Qt::Horizontal, this);
    sliders_[i]->setObjectName(QString::fromUtf8(kNames[i]) + "Slider");
    sliders_[i]->setRange(-limit, limit);
    sliders_[i]->setTickInterval(10);
    sliders_[i]->setTickPosition(QSlider::TicksBelow);
    sliders_[i]->setPageStep(10);
    sliders_[i]->setMinimumWidth(200);
    auto *label = new QLabel(QString::fromUtf8(kLabels[i]), this);
    label->setBuddy(spins_[i]);
    grid->addWidget(label, i, 0);
    grid->addWidget(spins_[i], i, 1);
    grid->addWidget(sliders_[i], i, 2);
    connect(spins_[i], &QSpinBox::valueChanged, sliders_[i], &QSlider::setValue);
    connect(sliders_[i], &QSlider::valueChanged, spins_[i], &QSpinBox::setValue);
    connect(spins_[i], &QSpinBox::valueChanged, this, &CWallpaperDialog::ShowPreview);
  }
  placement_ = new QComboBox(this);
  placement_->setObjectName("placement");
  for (const char *name : CWallpaperOption::kPlacementNames) placement_->addItem(QString::fromUtf8(name));
  auto *placementLabel = new QLabel(QStringLiteral("表示位置(&D):"), this);
  placementLabel->setBuddy(placement_);
  previewBox_ = new QCheckBox(QStringLiteral("プレビュー"), this);
  previewBox_->setObjectName("previewBox");
  auto *placementRow = new QHBoxLayout;
  placementRow->addWidget(placementLabel);
  placementRow->addWidget(placement_);
  placementRow->addSpacing(16);
  placementRow->addWidget(previewBox_);
  placementRow->addStretch();
  grid->addLayout(placementRow, 4, 0, 1, 3);

  auto *apply = new QPushButton(QStringLiteral("実行"), this);
  apply->setObjectName("apply");
  apply->setDefault(true);
  auto *close = new QPushButton(QStringLiteral("閉じる"), this);
  close->setObjectName("close");
  auto *reset = new QPushButton(QStringLiteral("リセット"), this);
  reset->setObjectName("reset");
  auto *buttons = new QVBoxLayout;
  buttons->addWidget(apply);
  buttons->addWidget(close);
  buttons->addSpacing(12);
  buttons->addWidget(reset);
  buttons->addStretch();

  auto *all = new QHBoxLayout(this);
  all->addWidget(preview_, 0, Qt::AlignTop);
  all->addLayout(grid);
  all->addLayout(buttons);
  all->setSizeConstraint(QLayout::SetFixedSize);

  const int values[4] = {option_.bright, option_.red, option_.green, option_.blue};
  for (int i = 0; i < 4; ++i) spins_[i]->setValue(values[i]);
  placement_->setCurrentIndex(option_.mode);
  previewBox_->setChecked(option_.preview != 0);

  connect(placement_, &QComboBox::currentIndexChanged, this, &CWallpaperDialog::RebuildPreview);
  connect(previewBox_, &QCheckBox::toggled, this, &CWallpaperDialog::ShowPreview);
  connect(apply, &QPushButton::clicked, this, &CWallpaperDialog::OnApply);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(reset, &QPushButton::clicked, this, &CWallpaperDialog::OnReset);
  ChainTabOrder({spins_[0], sliders_[0], spins_[1], sliders_[1], spins_[2], sliders_[2], spins_[3],
                 sliders_[3], placement_, previewBox_, apply, close, reset});
  RebuildPreview();
}

CWallpaperDialog::~CWallpaperDialog() = default;

void CWallpaperDialog::SetScreenSize(const QSize &screen) {
  if (screen.isEmpty()) return;
  screen_ = screen;
  RebuildPreview();
}

void CWallpaperDialog::TakeValues() {
  option_.bright = spins_[0]->value();
  option_.red = spins_[1]->value();
  option_.green = spins_[2]->value();
  option_.blue = spins_[3]->value();
  option_.mode = placement_->currentIndex();
  option_.preview = previewBox_->isChecked() ? 1 : 0;
}

void CWallpaperDialog::RebuildPreview() {
  TakeValues();
  preview_->screen = screen_;
  preview_->mode = option_.mode;
  scaled_.reset(option_.MakePreview(picture_, preview_->Area(screen_).size(), screen_));
  ShowPreview();
}

void CWallpaperDialog::ShowPreview() {
  TakeValues();
  // Unchecked, the preview shows the placement only; checked, the adjusted colours too.
  GlobalHandle shown;
  if (scaled_ && option_.preview && (option_.bright || option_.red || option_.green || option_.blue)) {
    shown.reset(CopyDib(scaled_.get()));
    option_.AdjustColours(shown.get());
  }
  preview_->image = DibToImage(shown ? shown.get() : scaled_.get());
  preview_->update();
}

void CWallpaperDialog::OnApply() {
  TakeValues();
  int result = -1;
  {
    CursorRestoringUi ui(Ui());
    ScopedUi scope(ui);
    result = option_.Apply(picture_, screen_);
  }
  // The dialog stays open; the status bar says what happened.
  Ui().StatusText(result == 0 ? "壁紙を設定しました" : "壁紙の変更に失敗しました");
}

void CWallpaperDialog::OnReset() {
  for (QSpinBox *spin : spins_) spin->setValue(0);
}

void SetWallpaperDialog(HDIB picture, QWidget *parent) {
  CWallpaperDialog dialog(picture, parent);
  dialog.exec();
}

}  // namespace tamro
