#include "app/qtui.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>
#include <vector>

namespace tamro {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

class QtProgress : public ProgressWindow {
 public:
  QtProgress(QWidget *parent, std::string_view caption) : dialog_(parent) {
    dialog_.setWindowTitle(Q(caption));
    dialog_.setCancelButtonText(QStringLiteral("キャンセル"));
    dialog_.setMinimumDuration(0);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setRange(0, 100);
    dialog_.setValue(0);
    dialog_.show();
  }
  void SetText(std::string_view text) override { dialog_.setLabelText(Q(text)); }
  void SetRange(int lower, int upper) override { dialog_.setRange(lower, std::max(lower, upper)); }
  void SetPos(int pos) override { dialog_.setValue(std::clamp(pos, dialog_.minimum(), dialog_.maximum())); }
  void Step(int by) override { SetPos(dialog_.value() + by); }
  bool Aborted() override {
    QApplication::processEvents();
    return dialog_.wasCanceled();
  }

 private:
  QProgressDialog dialog_;
};

}  // namespace

int QtUi::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  QMessageBox box(parent_);
  box.setWindowTitle(caption.empty() ? QStringLiteral("Tamro") : Q(caption));
  box.setText(Q(text));
  switch (style & MB_ICONMASK) {
    case MB_ICONSTOP: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  struct Button {
    const char *text;
    int answer;
  };
  std::vector<Button> buttons;
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = {{"OK", IDOK}, {"キャンセル", IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE: buttons = {{"中止(&A)", IDABORT}, {"再試行(&R)", IDRETRY}, {"無視(&I)", IDIGNORE}}; break;
    case MB_YESNOCANCEL: buttons = {{"はい(&Y)", IDYES}, {"いいえ(&N)", IDNO}, {"キャンセル", IDCANCEL}}; break;
    case MB_YESNO: buttons = {{"はい(&Y)", IDYES}, {"いいえ(&N)", IDNO}}; break;
    case MB_RETRYCANCEL: buttons = {{"再試行(&R)", IDRETRY}, {"キャンセル", IDCANCEL}}; break;
    default: buttons = {{"OK", IDOK}}; break;
  }
  std::vector<QPushButton *> made;
  for (const Button &b : buttons) made.push_back(box.addButton(QString::fromUtf8(b.text), QMessageBox::ActionRole));
  const std::size_t def = (style & 0xF00) >> 8;
  if (def < made.size()) box.setDefaultButton(made[def]);
  box.exec();
  for (std::size_t i = 0; i < made.size(); ++i)
    if (box.clickedButton() == made[i]) return buttons[i].answer;
  // Closed without a button: the cautious answer.
  return CautiousAnswer(style);
}

bool QtUi::InputText(std::string_view caption, std::string_view prompt, std::string &value) {
  bool ok = false;
  const QString text = QInputDialog::getText(parent_, Q(caption), Q(prompt), QLineEdit::Normal, Q(value), &ok);
  if (ok) value = text.toStdString();
  return ok;
}

std::unique_ptr<ProgressWindow> QtUi::OpenProgress(std::string_view caption) {
  return std::make_unique<QtProgress>(parent_, caption);
}

void QtUi::StatusText(std::string_view text) {
  if (status_) status_(text);
}

}  // namespace tamro
