#include "app/dialogs/appcalldialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/dialogs/filedialogtools.h"
#include "catalogue/macros.h"
#include "fileops/appcall.h"

namespace tamro {

namespace {

QToolButton *MenuButton(QMenu *menu, const char *name, QWidget *parent) {
  auto *button = new QToolButton(parent);
  button->setObjectName(QString::fromUtf8(name));
  button->setArrowType(Qt::DownArrow);
  button->setPopupMode(QToolButton::InstantPopup);
  button->setMenu(menu);
  return button;
}

QLineEdit *Field(const char *name, QWidget *parent) {
  auto *edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromUtf8(name));
  edit->setMinimumWidth(300);
  return edit;
}

}  // namespace

CAppCallDialog::CAppCallDialog(QWidget *parent, CAppCallOption &option) : QDialog(parent), option_(option) {
  setWindowTitle(QStringLiteral("外部アプリケーション登録"));

  auto *listBox = new QGroupBox(QStringLiteral(" 外部アプリケーション一覧"), this);
  list_ = new QListWidget(listBox);
  list_->setObjectName(QStringLiteral("apps"));
  list_->setMinimumWidth(170);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  auto *listLayout = new QVBoxLayout(listBox);
  listLayout->addWidget(list_);

  title_ = Field("title", this);
  command_ = Field("command", this);
  auto *browse = new QPushButton(QStringLiteral("..."), this);
  browse->setObjectName(QStringLiteral("browseCommand"));
  browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  arguments_ = Field("arguments", this);
  // Both menus come from the macro table; the folder menu ends in a folder chooser.
  auto macroMenu = [this](MacroMenu which, QLineEdit *box) {
    auto *menu = new QMenu(this);
    for (const MacroMenuItem &item : MacroMenuItems(which)) {
      if (item.macro.empty()) {
        menu->addSeparator();
        continue;
      }
      const QString macro = QString::fromUtf8(item.macro.data(), static_cast<qsizetype>(item.macro.size()));
      menu->addAction(QString::fromUtf8(item.label.data(), static_cast<qsizetype>(item.label.size())), this,
                      [box, macro] { box->insert(macro); });
    }
    return menu;
  };
  QToolButton *argumentButton =
      MenuButton(macroMenu(MacroMenu::kArguments, arguments_), "argumentMenu", this);
  folder_ = Field("folder", this);
  QMenu *folderMenu = macroMenu(MacroMenu::kFolder, folder_);
  folderMenu->addSeparator();
  folderMenu->addAction(QStringLiteral("参照(&R)..."), this, &CAppCallDialog::BrowseFolder);
  QToolButton *folderButton = MenuButton(folderMenu, "folderMenu", this);
  perFile_ = new QCheckBox(QStringLiteral("複数ファイル時、多重起動する"), this);
  perFile_->setObjectName(QStringLiteral("perFile"));

  auto *fields = new QGridLayout;
  const struct {
    const char *text;
    QLineEdit *edit;
    QWidget *extra;
  } rows[] = {{"タイトル(&T)：", title_, nullptr},
              {"コマンド(&C)：", command_, browse},
              {"引数(&P)：", arguments_, argumentButton},
              {"実行時のフォルダ(&F)：", folder_, folderButton}};
  int row = 0;
  for (const auto &r : rows) {
    auto *label = new QLabel(QString::fromUtf8(r.text), this);
    label->setBuddy(r.edit);
    fields->addWidget(label, row, 0);
    fields->addWidget(r.edit, row, 1);
    if (r.extra) fields->addWidget(r.extra, row, 2);
    ++row;
  }
  fields->addWidget(perFile_, row++, 1, 1, 2);
  fields->setRowStretch(row, 1);

  auto *add = new QPushButton(QStringLiteral("新規追加(&A)"), this);
  add->setObjectName(QStringLiteral("add"));
  remove_ = new QPushButton(QStringLiteral("登録削除(&D)"), this);
  remove_->setObjectName(QStringLiteral("remove"));
  auto *close = new QPushButton(QStringLiteral("閉じる"), this);
  close->setObjectName(QStringLiteral("close"));
  close->setDefault(true);
  auto *cancel = new QPushButton(QStringLiteral("キャンセル"), this);
  auto *buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(remove_);
  buttons->addStretch(1);
  buttons->addWidget(close);
  buttons->addWidget(cancel);

  auto *body = new QHBoxLayout;
  body->addWidget(listBox);
  body->addLayout(fields, 1);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addLayout(buttons);

  connect(list_, &QListWidget::currentRowChanged, this, &CAppCallDialog::Select);
  connect(list_, &QListWidget::customContextMenuRequested, this, &CAppCallDialog::ListMenu);
  // The list follows the title as it is typed.
  connect(title_, &QLineEdit::textEdited, this, [this](const QString &text) {
    if (QListWidgetItem *item = list_->item(option_.Current())) item->setText(text);
  });
  connect(browse, &QPushButton::clicked, this, &CAppCallDialog::BrowseCommand);
  connect(add, &QPushButton::clicked, this, [this] { Edit(&CAppCallOption::Add); });
  connect(remove_, &QPushButton::clicked, this, [this] { Edit(&CAppCallOption::Delete); });
  connect(close, &QPushButton::clicked, this, &CAppCallDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &CAppCallDialog::reject);
  auto *up = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up), this);
  connect(up, &QShortcut::activated, this, [this] { Edit(&CAppCallOption::MoveUp); });
  auto *down = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down), this);
  connect(down, &QShortcut::activated, this, [this] { Edit(&CAppCallOption::MoveDown); });

  ShowList();
  title_->setFocus();
}

void CAppCallDialog::Edit(void (CAppCallOption::*step)()) {
  StoreFields();
  (option_.*step)();
  ShowList();
}

void CAppCallDialog::StoreFields() {
  option_.fields.title = S(title_->text());
  option_.fields.command = S(command_->text());
  option_.fields.arguments = S(arguments_->text());
  option_.fields.folder = S(folder_->text());
  option_.fields.perFile = perFile_->isChecked() ? 1 : 0;
}

void CAppCallDialog::ShowList() {
  showing_ = true;
  list_->clear();
  for (const CAppEntry &app : option_.Apps()) list_->addItem(Q(app.title));
  list_->setCurrentRow(option_.Current());
  showing_ = false;
  ShowFields();
}

void CAppCallDialog::ShowFields() {
  title_->setText(Q(option_.fields.title));
  command_->setText(Q(option_.fields.command));
  arguments_->setText(Q(option_.fields.arguments));
  folder_->setText(Q(option_.fields.folder));
  perFile_->setChecked(option_.fields.perFile != 0);
  // Without an application there is nothing the fields could belong to.
  const bool any = option_.Current() >= 0;
  for (QWidget *w :
       {static_cast<QWidget *>(title_), static_cast<QWidget *>(command_), static_cast<QWidget *>(arguments_),
        static_cast<QWidget *>(folder_), static_cast<QWidget *>(perFile_), static_cast<QWidget *>(remove_)})
    w->setEnabled(any);
  for (QWidget *w : findChildren<QToolButton *>()) w->setEnabled(any);
  if (QWidget *b = findChild<QPushButton *>(QStringLiteral("browseCommand"))) b->setEnabled(any);
}

void CAppCallDialog::Select(int row) {
  if (showing_ || row < 0 || row == option_.Current()) return;
  StoreFields();
  option_.Select(row);
  // The list itself is left alone while it is being clicked; its titles follow the typing.
  ShowFields();
}

void CAppCallDialog::ListMenu(const QPoint &at) {
  if (QListWidgetItem *item = list_->itemAt(at)) list_->setCurrentItem(item);
  QMenu menu(this);
  auto step = [this](void (CAppCallOption::*s)()) {
    return [this, s] {
      StoreFields();
      (option_.*s)();
      ShowList();
    };
  };
  menu.addAction(QStringLiteral("新規追加(&N)"), this, step(&CAppCallOption::Add));
  const bool any = option_.Current() >= 0;
  menu.addAction(QStringLiteral("削除(&D)"), this, step(&CAppCallOption::Delete))->setEnabled(any);
  menu.addSeparator();
  menu.addAction(QStringLiteral("先頭へ(&T)"), this, step(&CAppCallOption::MoveTop))->setEnabled(any);
  menu.addAction(QStringLiteral("上へ(&P)"), this, step(&CAppCallOption::MoveUp))->setEnabled(any);
  menu.addAction(QStringLiteral("下へ(&N)"), this, step(&CAppCallOption::MoveDown))->setEnabled(any);
  menu.addAction(QStringLiteral("末尾へ(&B)"), this, step(&CAppCallOption::MoveBottom))->setEnabled(any);
  menu.exec(list_->viewport()->mapToGlobal(at));
}

void CAppCallDialog::BrowseCommand() {
  CAskingCursor arrow;
  QFileDialog dialog(this, QStringLiteral("コマンド"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // Programs carry no extension here: the first filter shows what may be run.
  const QString programs = QStringLiteral("実行ﾌｧｲﾙ (*)");
  dialog.setNameFilters({programs, QStringLiteral("all files(*)")});
  auto showOnly = [&dialog, programs](const QString &filter) {
    dialog.setFilter(filter == programs
                         ? QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot
                         : QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
  };
  connect(&dialog, &QFileDialog::filterSelected, &dialog, showOnly);
  showOnly(programs);
  const std::string program = ProgramPath(S(command_->text()));
  if (!program.empty()) dialog.setDirectory(QFileInfo(Q(program)).absolutePath());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  command_->setText(dialog.selectedFiles().front());
}

void CAppCallDialog::BrowseFolder() {
  const QString chosen = ChooseFolder(this, QStringLiteral("フォルダの選択"), folder_->text());
  if (!chosen.isEmpty()) folder_->setText(chosen);
}

void CAppCallDialog::accept() {
  StoreFields();
  CAskingCursor arrow;
  if (option_.Close()) QDialog::accept();
}

bool EditApplications(QWidget *parent, Profile *profile) {
  CAppCallOption option(profile);
  option.Load();
  CAskingCursor arrow;
  CAppCallDialog dialog(parent, option);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace tamro
