#include "app/dialogs/notedialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/dialogs/filedialogtools.h"
#include "fileops/noteedit.h"

namespace tamro {

CNoteDialog::CNoteDialog(QWidget *parent, CNoteOption &option, const QString &name)
    : QDialog(parent), option_(option) {
  setWindowTitle(QString::fromUtf8(CNoteOption::kCaption));
  auto *label = new QLabel(this);
  label->setTextFormat(Qt::PlainText);
  label->setText(label->fontMetrics().elidedText(name, Qt::ElideMiddle, 400));
  label->setToolTip(name);
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("note"));
  text_->setPlainText(Q(option_.text));
  // Tab leaves the box for the buttons; the note itself is plain lines.
  text_->setTabChangesFocus(true);
  text_->setMinimumSize(400, 160);
  label->setBuddy(text_);
  QDialogButtonBox *buttons = OkCancelButtons(this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CNoteDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CNoteDialog::reject);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(text_, 1);
  layout->addWidget(buttons);
  text_->setFocus();
  text_->moveCursor(QTextCursor::End);
}

void CNoteDialog::accept() {
  option_.text = S(text_->toPlainText());
  // A note that cannot be written was reported; the text stays here to be kept or dropped.
  CAskingCursor arrow;
  if (option_.Accept()) QDialog::accept();
}

bool EditNoteDialog(QWidget *parent, CNoteOption &option, const QString &name) {
  CAskingCursor arrow;
  CNoteDialog dialog(parent, option, name);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace tamro
