#pragma once

// The note dialog ("コメント入力(&N)" of the thumbnail view and the picture window).

#include <QDialog>

class QPlainTextEdit;

namespace tamro {

class CNoteOption;

class CNoteDialog : public QDialog {
  Q_OBJECT

 public:
  // `name` is the picture's name, shown above the note.
  CNoteDialog(QWidget *parent, CNoteOption &option, const QString &name);

  void accept() override;

 private:
  CNoteOption &option_;
  QPlainTextEdit *text_;
};

// True when OK stored the note.
bool EditNoteDialog(QWidget *parent, CNoteOption &option, const QString &name);

}  // namespace tamro
