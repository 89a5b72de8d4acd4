#pragma once

// The same-name dialog of copy and move ("同名ファイルが存在しています") and the overwrite
// dialog of saving in a picture format ("重ね書き"): one face on the question the core asks.

#include <QDialog>

#include "platform/ui.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tamro {

class CSameNameDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows `question`; the answer is written back into it. The question's rules (when it has
  // any) decide what each click and each edit does.
  CSameNameDialog(QWidget *parent, SameNameQuestion &question);

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void Refresh();
  void Finish(bool applyToAll);

  SameNameQuestion &q_;
  QLineEdit *name_;
  QLabel *destinationSize_, *destinationDate_;
  QButtonGroup *actions_;
  QPushButton *ok_, *all_;
};

// Asks the question in the dialog; false when it was cancelled.
bool AskSameNameDialog(QWidget *parent, SameNameQuestion &question);

}  // namespace tamro
