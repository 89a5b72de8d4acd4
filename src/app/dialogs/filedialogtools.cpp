#include "app/dialogs/filedialogtools.h"

#include <QDir>
#include <QFileDialog>

#include "platform/paths.h"

namespace tamro {

QString ChooseFolder(QWidget *parent, const QString &title, const QString &start, const std::string &base) {
  CAskingCursor arrow;
  const std::string resolved = ResolvePath(S(start), base);
  QString from = start;
  if (!resolved.empty())
    from = Q(resolved);
  else if (start.isEmpty())
    from = base.empty() ? QDir::homePath() : Q(base);
  return QFileDialog::getExistingDirectory(parent, title, from);
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
