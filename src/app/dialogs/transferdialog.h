#pragma once

// The destination dialogs of copy ("ファイルの複写") and move ("ファイルの移動").

#include <QDialog>
#include <string>

class QComboBox;
class QRadioButton;

namespace tamro {

class CTransferOption;

class CTransferDialog : public QDialog {
  Q_OBJECT

 public:
  // `option` has been loaded; `currentFolder` is the document's folder shown as the current
  // location.
  CTransferDialog(QWidget *parent, CTransferOption &option, const std::string &currentFolder);

  void accept() override;

 private:
  void Browse();

  CTransferOption &option_;
  QComboBox *folder_;
  QRadioButton *all_, *onlyExisting_;
};

// Loads the option, makes `currentFolder` the process's current folder (a relative
// destination is taken from there) and shows the dialog. True when it was confirmed;
// `option.destination` then holds the absolute folder and the settings are written.
bool AskTransferDestination(QWidget *parent, CTransferOption &option, const std::string &currentFolder);

}  // namespace tamro
