#include "app/dialogs/filedialogtools.h"

#include <QDir>
#include <QFileDialog>

namespace tamro {

QString ChooseFolder(QWidget *parent, const QString &title, const QString &start) {
  CAskingCursor arrow;
  return QFileDialog::getExistingDirectory(parent, title, start.isEmpty() ? QDir::currentPath() : start);
}

QDialogButtonBox *OkCancelButtons(QWidget *parent, const QString &cancelText) {
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, parent);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(cancelText);
  return buttons;
}

QWidget *QuestionOwner(QWidget *fallback) {
  if (QWidget *modal = QApplication::activeModalWidget()) return modal;
  return fallback;
}

}  // namespace tamro
