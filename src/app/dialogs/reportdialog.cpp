#include "app/dialogs/reportdialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "app/dialogs/outputcommand.h"
#include "catalogue/engine.h"
#include "catalogue/macros.h"
#include "catalogue/rxdoc.h"
#include "output/report.h"
#include "platform/ui.h"

namespace tamro {

namespace {

constexpr const char *kTitle = "レポートファイルの作成";

// UTF-8 byte offset of a UTF-16 position in `text`, and back.
int BytesBefore(const QString &text, int position) {
  return static_cast<int>(text.left(position).toUtf8().size());
}
int UnitsBefore(const std::string &text, int bytes) {
  return static_cast<int>(QString::fromStdString(text.substr(0, static_cast<std::size_t>(bytes))).size());
}

}  // namespace

CReportDialog::CReportDialog(CReportOption &option, const QString &folder, QWidget *parent)
    : QFileDialog(parent, QString::fromUtf8(kTitle), folder), option_(option) {
  // The format box lives inside the dialog, so it is always Qt's own.
  setOption(QFileDialog::DontUseNativeDialog);
  // The question comes in the program's words (below).
  setOption(QFileDialog::DontConfirmOverwrite);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  setNameFilter(QStringLiteral("TEXT形式(*.txt)"));
  setDefaultSuffix(QStringLiteral("txt"));
  setLabelText(QFileDialog::LookIn, QStringLiteral("保存する場所:"));
  setLabelText(QFileDialog::FileName, QStringLiteral("ファイル名(&N):"));
  setLabelText(QFileDialog::FileType, QStringLiteral("ファイルの種類(&T):"));
  setLabelText(QFileDialog::Accept, QStringLiteral("保存(&S)"));
  setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
  selectFile(QStringLiteral("report.txt"));

  format_ = new QComboBox(this);
  format_->setObjectName("format");
  format_->setEditable(true);
  format_->setInsertPolicy(QComboBox::NoInsert);
  format_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  format_->setMinimumContentsLength(40);
  for (const std::string &item : option.History()) format_->addItem(QString::fromStdString(item));
  format_->setEditText(QString::fromStdString(option.InitialFormat()));
  // The format's beginning in view; a macro goes there until the caret moves.
  format_->lineEdit()->setCursorPosition(0);

  auto *menu = new QMenu(this);
  menu->setObjectName("macroMenu");
  for (const MacroMenuItem &item : MacroMenuItems(MacroMenu::kReport)) {
    if (item.macro.empty()) {
      menu->addSeparator();
      continue;
    }
    const std::string_view macro = item.macro;  // the table's own text, never freed
    menu->addAction(QString::fromUtf8(item.label.data(), static_cast<qsizetype>(item.label.size())), this,
                    [this, macro] { InsertFromMenu(macro); });
  }
  auto *macros = new QPushButton(QStringLiteral("マクロ"), this);
  macros->setObjectName("macros");
  macros->setMenu(menu);

  auto *label = new QLabel(QStringLiteral("レポート形式:"), this);
  label->setBuddy(format_);
  // Below the usual controls, in the same columns.
  if (auto *grid = qobject_cast<QGridLayout *>(layout())) {
    const int row = grid->rowCount();
    grid->addWidget(label, row, 0);
    grid->addWidget(format_, row, 1);
    grid->addWidget(macros, row, 2);
  }
  // Tab reaches the box after the file type, before the dialog's buttons.
  if (auto *type = findChild<QComboBox *>(QStringLiteral("fileTypeCombo"))) {
    QWidget::setTabOrder(type, format_);
    QWidget::setTabOrder(format_, macros);
  }

  QLineEdit *edit = format_->lineEdit();
  connect(edit, &QLineEdit::textChanged, this, [this] { RememberSelection(); });
  // Moving the caret counts too; leaving the box (which clears the selection) does not.
  auto follow = [this, edit] {
    if (edit->hasFocus()) RememberSelection();
  };
  connect(edit, &QLineEdit::cursorPositionChanged, this, follow);
  connect(edit, &QLineEdit::selectionChanged, this, follow);
  RememberSelection();
}

void CReportDialog::RememberSelection() {
  const QLineEdit *edit = format_->lineEdit();
  if (edit->hasSelectedText()) {
    selStart_ = edit->selectionStart();
    selEnd_ = selStart_ + static_cast<int>(edit->selectedText().size());
  } else {
    selStart_ = selEnd_ = edit->cursorPosition();
  }
}

void CReportDialog::InsertFromMenu(std::string_view macro) {
  format_->setFocus();
  const QString text = format_->currentText();
  int caret = 0;
  const std::string result = InsertMacro(text.toStdString(), BytesBefore(text, selStart_),
                                         BytesBefore(text, selEnd_), macro, &caret);
  format_->setEditText(QString::fromStdString(result));
  format_->lineEdit()->setCursorPosition(UnitsBefore(result, caret));
  RememberSelection();
}

QString CReportDialog::ChosenFile() const {
  const QStringList files = selectedFiles();
  return files.isEmpty() ? QString() : files.front();
}

void CReportDialog::accept() {
  const QFileInfo chosen(ChosenFile());
  if (chosen.exists() && !chosen.isDir()) {
    const std::string question = chosen.fileName().toStdString() + " は既に存在します。\n上書きしますか?";
    if (Ui().MessageBox(question, kTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
  }
  QFileDialog::accept();
  if (result() == QDialog::Accepted) option_.Accept(format_->currentText().toStdString());
}

void WriteReport(CRXDoc &doc, CatalogueEngine &engine, QWidget *parent) {
  OutputCommandScope scope(doc, false);
  CReportOption option;
  option.Load();
  QString file;
  {
    CReportDialog dialog(option, QString::fromStdString(doc.Folder()), parent);
    if (dialog.exec() != QDialog::Accepted) return;
    file = dialog.ChosenFile();
  }
  // A file that cannot be created ends the command quietly.
  WriteReportFile(doc, file.toStdString(), option.format, {&engine.Builder(), &engine.Pool()});
}

}  // namespace tamro
