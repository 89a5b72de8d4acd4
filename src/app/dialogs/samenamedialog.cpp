#include "app/dialogs/samenamedialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/filedialogtools.h"

namespace tamro {

namespace {

constexpr const char *kActionTexts[6] = {"新しい日付のみ(&T)", "上書き(&O)",   "スキップ(&S)",
                                         "名前変更(&R)",       "自動連番(&N)", "大きなサイズ(&B)"};

QLabel *PathLabel(const std::string &path, QWidget *parent) {
  auto *label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  const QString full = Q(path);
  label->setText(label->fontMetrics().elidedText(full, Qt::ElideMiddle, 460));
  label->setToolTip(full);
  return label;
}

}  // namespace

CSameNameDialog::CSameNameDialog(QWidget *parent, SameNameQuestion &question)
    : QDialog(parent), q_(question) {
  setWindowTitle(Q(q_.caption));

  auto *source = new QGroupBox(QStringLiteral("元のファイル"), this);
  auto *sourceLayout = new QGridLayout(source);
  sourceLayout->addWidget(PathLabel(q_.sourceName, source), 0, 0, 1, 2);
  sourceLayout->addWidget(new QLabel(Q(q_.sourceSize), source), 1, 0);
  sourceLayout->addWidget(new QLabel(Q(q_.sourceDate), source), 1, 1);
  sourceLayout->setColumnMinimumWidth(0, 200);
  sourceLayout->setColumnStretch(1, 1);

  auto *destination = new QGroupBox(QStringLiteral("宛先のファイル"), this);
  auto *destinationLayout = new QGridLayout(destination);
  auto *nameLabel = new QLabel(QStringLiteral("ファイル名(&F)："), destination);
  name_ = new QLineEdit(Q(q_.name), destination);
  name_->setObjectName(QStringLiteral("name"));
  name_->setMinimumWidth(400);
  name_->installEventFilter(this);
  nameLabel->setBuddy(name_);
  destinationSize_ = new QLabel(destination);
  destinationSize_->setObjectName(QStringLiteral("destinationSize"));
  destinationDate_ = new QLabel(destination);
  destinationLayout->addWidget(nameLabel, 0, 0, 1, 2);
  destinationLayout->addWidget(name_, 1, 0, 1, 2);
  destinationLayout->addWidget(destinationSize_, 2, 0);
  destinationLayout->addWidget(destinationDate_, 2, 1);
  destinationLayout->setColumnMinimumWidth(0, 200);
  destinationLayout->setColumnStretch(1, 1);

  auto *how = new QGroupBox(QStringLiteral("対処方法"), this);
  auto *howLayout = new QGridLayout(how);
  actions_ = new QButtonGroup(this);
  for (int i = 0; i < 6; ++i) {
    auto *button = new QRadioButton(QString::fromUtf8(kActionTexts[i]), how);
    button->setObjectName(QStringLiteral("action%1").arg(i));
    actions_->addButton(button, i);
    howLayout->addWidget(button, i / 2, i % 2);
  }

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  all_ = new QPushButton(QStringLiteral("以降全て(&A)"), this);
  all_->setObjectName(QStringLiteral("all"));
  auto *cancel = new QPushButton(QStringLiteral("キャンセル"), this);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(all_);
  buttons->addWidget(cancel);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(source);
  layout->addWidget(destination);
  layout->addWidget(how);
  layout->addLayout(buttons);

  connect(actions_, &QButtonGroup::idClicked, this, [this](int id) {
    if (q_.rules)
      q_.rules->ChooseAction(q_, id);
    else
      q_.action = id;
    Refresh();
  });
  connect(name_, &QLineEdit::textEdited, this, [this](const QString &text) {
    if (q_.rules)
      q_.rules->EditName(q_, S(text));
    else
      q_.name = S(text);
    Refresh();
  });
  connect(ok_, &QPushButton::clicked, this, [this] { Finish(false); });
  connect(all_, &QPushButton::clicked, this, [this] { Finish(true); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  Refresh();
  name_->setFocus();
}

void CSameNameDialog::Refresh() {
  if (S(name_->text()) != q_.name) name_->setText(Q(q_.name));
  for (int i = 0; i < 6; ++i) {
    QAbstractButton *button = actions_->button(i);
    button->setEnabled((q_.disabledActions & (1u << i)) == 0);
    button->setChecked(i == q_.action);
  }
  all_->setEnabled(!q_.rules || q_.rules->ApplyToAllEnabled());
  destinationSize_->setText(Q(q_.destinationSize));
  destinationDate_->setText(Q(q_.destinationDate));
}

void CSameNameDialog::Finish(bool applyToAll) {
  q_.name = S(name_->text());
  q_.applyToAll = applyToAll;
  accept();
}

// Escape in the name box takes back the edit instead of closing the dialog.
bool CSameNameDialog::eventFilter(QObject *watched, QEvent *event) {
  if (watched == name_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
    if (q_.rules) q_.rules->RestoreName(q_);
    Refresh();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

bool AskSameNameDialog(QWidget *parent, SameNameQuestion &question) {
  CAskingCursor arrow;
  CSameNameDialog dialog(parent, question);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace tamro
