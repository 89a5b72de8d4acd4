#pragma once

// The folder input dialog shared by the commands that ask for a folder (unpacking asks
// "書庫解凍"): a prompt, an edit box and the browse button "...".

#include <QDialog>

class QLineEdit;

namespace tamro {

struct CFolderInput;

class CFolderInputDialog : public QDialog {
  Q_OBJECT

 public:
  CFolderInputDialog(QWidget *parent, CFolderInput &input);

  void accept() override;

 private:
  void Browse();

  CFolderInput &input_;
  QLineEdit *folder_;
};

// True on OK; `input.folder` then holds the edit box's text.
bool AskFolder(QWidget *parent, CFolderInput &input);

}  // namespace tamro
