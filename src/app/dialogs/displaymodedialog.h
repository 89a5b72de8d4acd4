#pragma once

// "表示モード設定": a picture window's fit mode, scaling method, zoom step, full-screen and
// repeat switches, slide show wait and rotation unit. The values are the window's own; they
// apply to it alone and only when confirmed. The same fields edit the defaults of new windows
// on a page of "動作設定".

#include <QDialog>

#include "views/onepicture.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace tamro {

class CDisplayModeForm : public QWidget {
  Q_OBJECT

 public:
  CDisplayModeForm(const ViewerDefaults &values, int interval, QWidget *parent = nullptr);
  // The fields into `values` and `interval`; false, after saying why, when the step is refused
  // (nothing is changed then).
  bool Take(ViewerDefaults &values, int &interval);

 private:
  QButtonGroup *fit_, *scale_;
  QCheckBox *zoomUp_, *zoomDw_, *allView_, *repeat_;
  QLineEdit *step_;
  QSpinBox *wait_, *angle_;
};

class CDisplayModeDialog : public QDialog {
  Q_OBJECT

 public:
  CDisplayModeDialog(const OneViewSettings &settings, int interval, QWidget *parent = nullptr);
  const OneViewSettings &Settings() const { return settings_; }
  int Interval() const { return interval_; }
  void accept() override;

 private:
  OneViewSettings settings_;
  int interval_;
  CDisplayModeForm *form_;
};

// The dialog over a window's values; true (and the values changed) when confirmed.
bool AskDisplayMode(QWidget *parent, OneViewSettings &settings, int &interval);

}  // namespace tamro
