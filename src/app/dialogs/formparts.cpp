#include "app/dialogs/formparts.h"

#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "output/history.h"

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

}  // namespace tamro
