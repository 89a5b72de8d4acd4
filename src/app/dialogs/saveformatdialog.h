#pragma once

// The dialog of saving pictures in a chosen format ("画像形式を指定してファイル保存").

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace tamro {

class CFileSaveOption;

class CSaveFormatDialog : public QDialog {
  Q_OBJECT

 public:
  // `option` has been loaded.
  CSaveFormatDialog(QWidget *parent, CFileSaveOption &option);

  void accept() override;

 private:
  void Browse();
  void EnableFields();

  CFileSaveOption &option_;
  QComboBox *folder_, *format_;
  QButtonGroup *sizeMode_, *scaleMode_, *rotation_;
  QSpinBox *width_, *height_, *quality_, *angle_;
  QCheckBox *aspect_, *unsharp_;
  QLineEdit *scale_;
};

// Loads the option and shows the dialog; true when it was confirmed (the option then holds
// the absolute output folder and the settings are written).
bool AskSaveFormat(QWidget *parent, CFileSaveOption &option);

}  // namespace tamro
