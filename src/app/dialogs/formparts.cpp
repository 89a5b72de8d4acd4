#include "app/dialogs/formparts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "output/history.h"
#include "platform/paths.h"

namespace tamro {

QComboBox *MakeHistoryBox(QWidget *parent) {
  auto *box = new QComboBox(parent);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  box->setMinimumContentsLength(32);
  ProposeOnlyCompletion(box);
  return box;
}

void ProposeOnlyCompletion(QComboBox *box) {
  auto *completer = new QCompleter(box->model(), box);
  completer->setCompletionMode(QCompleter::PopupCompletion);
  // Case-sensitive as file names are; the box also takes this to match a finished text
  // against its items, and would otherwise swap in an item differing only in case.
  completer->setCaseSensitivity(Qt::CaseSensitive);
  box->setCompleter(completer);
}

void FillHistoryBox(QComboBox *box, const TextHistory &history, const std::string &text) {
  box->clear();
  for (const std::string &item : history.items()) box->addItem(QString::fromStdString(item));
  box->setEditText(QString::fromStdString(text));
}

std::string BoxText(const QComboBox *box) { return box->currentText().toStdString(); }

QCheckBox *SettingChecks::Add(const char *key, const QString &label, int *value, QWidget *parent) {
  auto *box = new QCheckBox(label, parent);
  box->setObjectName(QString::fromUtf8(key));
  box->setChecked(*value != 0);
  checks_.emplace_back(box, value);
  return box;
}

void SettingChecks::Store() const {
  for (const auto &[box, value] : checks_) *value = box->isChecked() ? 1 : 0;
}

void ChainTabOrder(std::initializer_list<QWidget *> widgets) {
  QWidget *previous = nullptr;
  for (QWidget *w : widgets) {
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

CreateCancelRow MakeCreateCancelRow(QWidget *parent) {
  auto *create = new QPushButton(QStringLiteral("作成"), parent);
  create->setObjectName("create");
  create->setDefault(true);
  auto *cancel = new QPushButton(QStringLiteral("キャンセル"), parent);
  auto *row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(create);
  row->addWidget(cancel);
  return {create, cancel, row};
}

OutputFileRows::OutputFileRows(QWidget *owner, int fieldColumns) : parent(owner), grid(new QGridLayout) {
  folder = MakeHistoryBox(parent);
  folder->setObjectName("folder");
  browseFolder = new QPushButton(QStringLiteral("参照..."), parent);
  browseFolder->setObjectName("browseFolder");
  fileName = MakeHistoryBox(parent);
  fileName->setObjectName("fileName");
  Label("保存先フォルダ：", folder);
  grid->addWidget(folder, row, 1, 1, fieldColumns);
  grid->addWidget(browseFolder, row++, 1 + fieldColumns);
  Label("ファイル名書式：", fileName);
  grid->addWidget(fileName, row++, 1, 1, fieldColumns);
}

void OutputFileRows::Label(const char *text, QWidget *buddy) {
  auto *label = new QLabel(QString::fromUtf8(text), parent);
  label->setBuddy(buddy);
  grid->addWidget(label, row, 0);
}

CreateCancelRow FinishOutputDialog(QDialog *dialog, QGridLayout *grid, std::initializer_list<QLayout *> more,
                                   std::function<void()> onCreate) {
  const CreateCancelRow actions = MakeCreateCancelRow(dialog);
  auto *all = new QVBoxLayout(dialog);
  all->addLayout(grid);
  for (QLayout *layout : more) all->addLayout(layout);
  all->addSpacing(6);
  all->addLayout(actions.row);
  all->setSizeConstraint(QLayout::SetFixedSize);
  QObject::connect(actions.create, &QPushButton::clicked, dialog, std::move(onCreate));
  QObject::connect(actions.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return actions;
}

void BrowseOutputFolder(QWidget *parent, QComboBox *folder, const std::string &currentFolder) {
  const std::string typed = ResolvePath(folder->currentText().toStdString(), currentFolder);
  QFileDialog chooser(parent, QStringLiteral("保存先を選択してください"),
                      QString::fromStdString(typed.empty() ? currentFolder : typed));
  chooser.setFileMode(QFileDialog::Directory);
  chooser.setOption(QFileDialog::ShowDirsOnly);
  if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
    folder->setEditText(chooser.selectedFiles().front());
}

}  // namespace tamro
