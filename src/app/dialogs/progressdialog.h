#pragma once

// The progress window of the file operations: a name line, a bar, a percentage line and the
// abort button "中止". It keeps the rest of the program from being used while the operation
// runs on the interface thread, and shows the busy cursor meanwhile.

#include <QDialog>
#include <string_view>

#include "platform/ui.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tamro {

class CProgressDialog : public QDialog, public ProgressWindow {
  Q_OBJECT

 public:
  CProgressDialog(QWidget *parent, std::string_view caption);
  ~CProgressDialog() override;

  void SetText(std::string_view text) override;
  void SetRange(int lower, int upper) override;
  void SetPos(int pos) override;
  void Step(int by = 1) override;
  // Lets pending events run (the window repaints, the abort button can be pressed) and
  // answers whether the user asked to stop.
  bool Aborted() override;

  QString PercentText() const;
  int Value() const;

 protected:
  void closeEvent(QCloseEvent *event) override;
  void reject() override;

 private:
  void Abort();
  void ShowPercent();

  QLabel *name_;
  QProgressBar *bar_;
  QLabel *percent_;
  QPushButton *abort_;
  bool aborted_ = false;
};

}  // namespace tamro
