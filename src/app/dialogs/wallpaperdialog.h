#pragma once

// "壁紙設定": the face of CWallpaperOption with a live preview of the placement and the
// colour adjustments.

#include <QDialog>
#include <QImage>

#include "output/wallpaper.h"
#include "platform/globalhandle.h"

class QCheckBox;
class QComboBox;
class QSlider;
class QSpinBox;

namespace tamro {

class CWallpaperDialog : public QDialog {
  Q_OBJECT

 public:
  // `picture` (not owned) is the current picture of the picture window and outlives the
  // dialog. The screen is the one the dialog opens on.
  explicit CWallpaperDialog(HDIB picture, QWidget *parent = nullptr);
  ~CWallpaperDialog() override;

  // The screen the wallpaper is made for, in pixels.
  QSize ScreenSize() const { return screen_; }
  void SetScreenSize(const QSize &screen);

 private:
  class Preview;
  void OnApply();
  void OnReset();
  void TakeValues();
  void RebuildPreview();
  void ShowPreview();

  HDIB picture_;
  CWallpaperOption option_;
  QSize screen_;
  GlobalHandle scaled_;  // the picture at preview size, unadjusted
  Preview *preview_;
  QSpinBox *spins_[4];
  QSlider *sliders_[4];
  QComboBox *placement_;
  QCheckBox *previewBox_;
};

// The wallpaper command of the picture window.
void SetWallpaperDialog(HDIB picture, QWidget *parent);

}  // namespace tamro
