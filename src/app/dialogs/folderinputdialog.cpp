#include "app/dialogs/folderinputdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialogs/filedialogtools.h"
#include "fileops/unpack.h"

namespace tamro {

CFolderInputDialog::CFolderInputDialog(QWidget *parent, CFolderInput &input)
    : QDialog(parent), input_(input) {
  setWindowTitle(Q(input_.title));
  auto *prompt = new QLabel(Q(input_.prompt), this);
  prompt->setTextFormat(Qt::PlainText);
  folder_ = new QLineEdit(Q(input_.folder), this);
  folder_->setObjectName(QStringLiteral("folder"));
  folder_->setMinimumWidth(360);
  prompt->setBuddy(folder_);
  auto *browse = new QPushButton(QStringLiteral("..."), this);
  browse->setObjectName(QStringLiteral("browse"));
  browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  connect(browse, &QPushButton::clicked, this, &CFolderInputDialog::Browse);

  QDialogButtonBox *buttons = OkCancelButtons(this, QStringLiteral("ｷｬﾝｾﾙ"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CFolderInputDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CFolderInputDialog::reject);

  auto *row = new QHBoxLayout;
  row->addWidget(folder_, 1);
  row->addWidget(browse);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addLayout(row);
  layout->addWidget(buttons);
  folder_->setFocus();
  folder_->selectAll();
}

void CFolderInputDialog::Browse() {
  input_.folder = S(folder_->text());
  input_.Browsed(S(ChooseFolder(this, QString::fromUtf8(CFolderInput::kBrowseTitle), folder_->text())));
  folder_->setText(Q(input_.folder));
}

void CFolderInputDialog::accept() {
  input_.folder = S(folder_->text());
  QDialog::accept();
}

bool AskFolder(QWidget *parent, CFolderInput &input) {
  CAskingCursor arrow;
  CFolderInputDialog dialog(parent, input);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace tamro
