#pragma once

// The "サムネイル設定" dialog: the face of CThumbOption.

#include <QDialog>
#include <cstdint>

#include "app/dialogs/formparts.h"
#include "catalogue/thumboption.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tamro {

class CRXDoc;
class UpdateObserver;

class CThumbOptionDlg : public QDialog {
  Q_OBJECT

 public:
  CThumbOptionDlg(CRXDoc &doc, UpdateObserver *sender = nullptr, QWidget *parent = nullptr);

  // What OK changed (nothing before OK).
  const ThumbChanges &Changes() const { return changes_; }
  // OK: the widgets' values go into the option, which confirms them.
  void accept() override;

 private:
  QPushButton *AddColour(const char *key, uint32_t *value);
  void ShowFont();
  void PickFont();
  void Store();

  CRXDoc &doc_;
  UpdateObserver *sender_;
  CThumbOption option_;
  ThumbChanges changes_;
  QSpinBox *width_ = nullptr, *height_ = nullptr, *limitWidth_ = nullptr, *limitHeight_ = nullptr;
  QSpinBox *scaleStep_ = nullptr;
  SettingChecks checks_;
  QComboBox *scaleMode_ = nullptr;
  QPushButton *font_ = nullptr;
  QLineEdit *nameFormat_ = nullptr;
};

// Shows the dialog modally; answers what OK changed.
ThumbChanges RunThumbOptionDialog(CRXDoc &doc, UpdateObserver *sender, QWidget *parent);

}  // namespace tamro
