#include "app/dialogs/renamedialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialogs/filedialogtools.h"

namespace tamro {

CRenameDialog::CRenameDialog(QWidget *parent, CRenameOption &option) : QDialog(parent), option_(option) {
  setWindowTitle(QStringLiteral("連番で名前変更"));

  auto *intro = new QLabel(QStringLiteral("下記の形式で連番にて名前変更をします"), this);
  auto *patternLabel = new QLabel(QStringLiteral("連番ファイル名形式："), this);
  pattern_ = new QComboBox(this);
  pattern_->setObjectName(QStringLiteral("pattern"));
  pattern_->setEditable(true);
  pattern_->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string &item : option_.History()) pattern_->addItem(Q(item));
  pattern_->setEditText(Q(option_.pattern));
  patternLabel->setBuddy(pattern_);

  auto *firstLabel = new QLabel(QStringLiteral("連番開始番号："), this);
  first_ = new QSpinBox(this);
  first_->setObjectName(QStringLiteral("first"));
  first_->setRange(0, 10000);
  first_->setValue(option_.firstNumber);
  firstLabel->setBuddy(first_);
  auto *firstRow = new QHBoxLayout;
  firstRow->addWidget(firstLabel);
  firstRow->addWidget(first_);
  firstRow->addStretch(1);

  auto *notes = new QGroupBox(QStringLiteral("補足説明"), this);
  auto *help = new QListWidget(notes);
  help->setObjectName(QStringLiteral("help"));
  for (const std::string &line : RenameHelpLines()) help->addItem(Q(line));
  help->setMinimumSize(520, 220);
  auto *notesLayout = new QVBoxLayout(notes);
  notesLayout->addWidget(help);

  QDialogButtonBox *buttons = OkCancelButtons(this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CRenameDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CRenameDialog::reject);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addSpacing(4);
  layout->addWidget(patternLabel);
  layout->addWidget(pattern_);
  layout->addLayout(firstRow);
  layout->addWidget(notes, 1);
  layout->addWidget(buttons);
  pattern_->setFocus();
}

void CRenameDialog::accept() {
  // The option refuses a bad pattern with its own message; the dialog then stays open.
  CAskingCursor arrow;
  if (option_.Accept(S(pattern_->currentText()), S(first_->cleanText()))) QDialog::accept();
}

bool AskRenamePattern(QWidget *parent, CRenameOption &option) {
  option.Load();
  CAskingCursor arrow;
  CRenameDialog dialog(parent, option);
  return dialog.exec() == QDialog::Accepted;
}

CRenameEachDialog::CRenameEachDialog(QWidget *parent, std::string_view prompt, const std::string &name,
                                     bool moreFollow)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("名前の変更"));
  auto *label = new QLabel(Q(prompt), this);
  label->setTextFormat(Qt::PlainText);
  name_ = new QLineEdit(Q(name), this);
  name_->setObjectName(QStringLiteral("name"));
  name_->setMinimumWidth(360);
  // The bare name is what is usually changed; the extension stays unselected.
  const int dot = name_->text().lastIndexOf(QLatin1Char('.'));
  name_->setSelection(0, dot > 0 ? dot : name_->text().size());

  auto *ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  auto *cancel =
      new QPushButton(moreFollow ? QStringLiteral("スキップ") : QStringLiteral("キャンセル"), this);
  cancel->setObjectName(QStringLiteral("cancel"));
  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  if (moreFollow) {
    auto *abort = new QPushButton(QStringLiteral("中止"), this);
    abort->setObjectName(QStringLiteral("abort"));
    buttons->addWidget(abort);
    connect(abort, &QPushButton::clicked, this, [this] {
      answer_ = -1;
      reject();
    });
  }
  // OK with an empty name does nothing.
  connect(ok, &QPushButton::clicked, this, [this] {
    if (name_->text().isEmpty()) return;
    answer_ = 1;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(name_);
  layout->addLayout(buttons);
  name_->setFocus();
}

std::string CRenameEachDialog::Name() const { return S(name_->text()); }

RenameQuestion RenameEachQuestion(QWidget *parent) {
  return [parent](std::string_view prompt, std::string &name, bool moreFollow) {
    CAskingCursor arrow;
    CRenameEachDialog dialog(QuestionOwner(parent), prompt, name, moreFollow);
    dialog.exec();
    if (dialog.Answer() == 1) name = dialog.Name();
    return dialog.Answer();
  };
}

CRenameReportList::CRenameReportList(QWidget *parent, std::string_view caption, const std::vector<std::string> &lines)
    : QDialog(parent) {
  setWindowTitle(Q(caption));
  auto *list = new QListWidget(this);
  list->setObjectName(QStringLiteral("lines"));
  for (const std::string &line : lines) list->addItem(Q(line));
  list->setMinimumSize(460, 200);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(list, 1);
  layout->addWidget(buttons);
}

void ShowReportList(QWidget *parent, std::string_view caption, const std::vector<std::string> &lines) {
  CAskingCursor arrow;
  CRenameReportList dialog(QuestionOwner(parent), caption, lines);
  dialog.exec();
}

}  // namespace tamro
