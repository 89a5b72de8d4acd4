#include "app/dialogs/transferdialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/filedialogtools.h"
#include "app/dialogs/formparts.h"
#include "fileops/filecommands.h"

namespace tamro {

CTransferDialog::CTransferDialog(QWidget *parent, CTransferOption &option, const std::string &currentFolder)
    : QDialog(parent), option_(option) {
  setWindowTitle(QString::fromUtf8(option_.Caption()));

  auto *label =
      new QLabel(option_.IsMove() ? QStringLiteral("移動先(&D)：") : QStringLiteral("複写先(&D)："), this);
  folder_ = new QComboBox(this);
  folder_->setObjectName(QStringLiteral("folder"));
  folder_->setEditable(true);
  folder_->setInsertPolicy(QComboBox::NoInsert);
  folder_->setMinimumWidth(380);
  folder_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  for (const std::string &item : option_.Folders().items()) folder_->addItem(Q(item));
  ProposeOnlyCompletion(folder_);
  folder_->setEditText(Q(option_.folder));
  label->setBuddy(folder_);
  auto *browse = new QPushButton(QStringLiteral("参照"), this);
  browse->setObjectName(QStringLiteral("browse"));
  connect(browse, &QPushButton::clicked, this, &CTransferDialog::Browse);

  const QString current = Q(CTransferOption::CurrentFolderText(currentFolder));
  auto *where = new QLabel(this);
  where->setTextFormat(Qt::PlainText);
  where->setText(where->fontMetrics().elidedText(current, Qt::ElideMiddle, 460));
  where->setToolTip(current);

  all_ = new QRadioButton(QString::fromUtf8(CTransferOption::AllFilesLabel()), this);
  all_->setObjectName(QStringLiteral("all"));
  onlyExisting_ = new QRadioButton(QString::fromUtf8(option_.OnlyExistingLabel()), this);
  onlyExisting_->setObjectName(QStringLiteral("onlyExisting"));
  (option_.onlyExisting == 1 ? onlyExisting_ : all_)->setChecked(true);

  QDialogButtonBox *buttons = OkCancelButtons(this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CTransferDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CTransferDialog::reject);

  auto *grid = new QGridLayout;
  grid->addWidget(label, 0, 0, 1, 2);
  grid->addWidget(folder_, 1, 0);
  grid->addWidget(browse, 1, 1);
  grid->addWidget(where, 2, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(6);
  layout->addWidget(all_);
  layout->addWidget(onlyExisting_);
  layout->addSpacing(6);
  layout->addWidget(buttons);
  folder_->setFocus();
  folder_->lineEdit()->selectAll();
}

void CTransferDialog::Browse() {
  const QString chosen = ChooseFolder(this, QString::fromUtf8(option_.BrowseCaption()),
                                      folder_->currentText().trimmed(), option_.currentFolder);
  if (!chosen.isEmpty()) folder_->setEditText(chosen);
}

void CTransferDialog::accept() {
  option_.folder = S(folder_->currentText());
  option_.onlyExisting = onlyExisting_->isChecked() ? 1 : 0;
  // A text that cannot be made a folder keeps the dialog open.
  if (option_.Accept()) QDialog::accept();
}

bool AskTransferDestination(QWidget *parent, CTransferOption &option, const std::string &currentFolder) {
  option.Load();
  option.currentFolder = currentFolder;
  CAskingCursor arrow;
  CTransferDialog dialog(parent, option, currentFolder);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace tamro
