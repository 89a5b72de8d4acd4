#include "app/qtui.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <vector>

#include "app/dialogs/filedialogtools.h"
#include "app/dialogs/folderinputdialog.h"
#include "app/dialogs/progressdialog.h"
#include "app/dialogs/renamedialog.h"
#include "app/dialogs/samenamedialog.h"
#include "fileops/unpack.h"

namespace tamro {

QWidget *QtUi::Owner() const { return QuestionOwner(parent_); }

namespace {

// Widgets live on the main thread. A worker that reports something (a plug-in that faulted
// while a thumbnail was being made) hands the box to the main thread and never waits.
bool OnWorker() { return qApp && QThread::currentThread() != qApp->thread(); }

}  // namespace

int QtUi::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  if (OnWorker()) {
    QMetaObject::invokeMethod(
        qApp, [t = std::string(text), c = std::string(caption), style] { Ui().MessageBox(t, c, style); },
        Qt::QueuedConnection);
    return CautiousAnswer(style);
  }
  CAskingCursor arrow;
  QMessageBox box(Owner());
  box.setWindowTitle(caption.empty() ? QStringLiteral("Tamro") : Q(caption));
  box.setText(Q(text));
  switch (style & MB_ICONMASK) {
    case MB_ICONSTOP:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  struct Button {
    const char *text;
    int answer;
  };
  std::vector<Button> buttons;
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
      buttons = {{"OK", IDOK}, {"キャンセル", IDCANCEL}};
      break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{"中止(&A)", IDABORT}, {"再試行(&R)", IDRETRY}, {"無視(&I)", IDIGNORE}};
      break;
    case MB_YESNOCANCEL:
      buttons = {{"はい(&Y)", IDYES}, {"いいえ(&N)", IDNO}, {"キャンセル", IDCANCEL}};
      break;
    case MB_YESNO:
      buttons = {{"はい(&Y)", IDYES}, {"いいえ(&N)", IDNO}};
      break;
    case MB_RETRYCANCEL:
      buttons = {{"再試行(&R)", IDRETRY}, {"キャンセル", IDCANCEL}};
      break;
    default:
      buttons = {{"OK", IDOK}};
      break;
  }
  std::vector<QPushButton *> made;
  const int cautious = CautiousAnswer(style);
  for (const Button &b : buttons) {
    made.push_back(box.addButton(QString::fromUtf8(b.text), QMessageBox::ActionRole));
    // Escape gives the cautious answer, as closing the box does.
    if (b.answer == cautious) box.setEscapeButton(made.back());
  }
  const std::size_t def = (style & 0xF00) >> 8;
  if (def < made.size()) box.setDefaultButton(made[def]);
  box.exec();
  for (std::size_t i = 0; i < made.size(); ++i)
    if (box.clickedButton() == made[i]) return buttons[i].answer;
  // Closed without a button: the cautious answer.
  return cautious;
}

bool QtUi::InputText(std::string_view caption, std::string_view prompt, std::string &value) {
  CAskingCursor arrow;
  bool ok = false;
  const QString text =
      QInputDialog::getText(Owner(), Q(caption), Q(prompt), QLineEdit::Normal, Q(value), &ok);
  if (ok) value = text.toStdString();
  return ok;
}

std::unique_ptr<ProgressWindow> QtUi::OpenProgress(std::string_view caption) {
  return std::make_unique<CProgressDialog>(Owner(), caption);
}

bool QtUi::AskSameName(SameNameQuestion &question) { return AskSameNameDialog(Owner(), question); }

bool QtUi::InputFolder(std::string_view caption, std::string_view prompt, std::string &folder) {
  CFolderInput input{std::string(caption), std::string(prompt), folder};
  if (!AskFolder(Owner(), input)) return false;
  folder = input.folder;
  return true;
}

bool QtUi::BrowseFolder(std::string_view caption, std::string &folder) {
  const QString chosen = ChooseFolder(Owner(), Q(caption), Q(folder));
  if (chosen.isEmpty()) return false;
  folder = S(chosen);
  return true;
}

void QtUi::ShowList(std::string_view caption, const std::vector<std::string> &lines) {
  ShowReportList(Owner(), caption, lines);
}

void QtUi::StatusText(std::string_view text) {
  if (status_) status_(text);
}

}  // namespace tamro
