#pragma once

// The sequential rename dialog ("連番で名前変更"), the single rename ("名前の変更") and the
// "Report" list shown after a sequential rename.

#include <QDialog>
#include <string>
#include <string_view>
#include <vector>

#include "fileops/rename.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tamro {

class CRenameDialog : public QDialog {
  Q_OBJECT

 public:
  // `option` has been loaded.
  CRenameDialog(QWidget *parent, CRenameOption &option);

  void accept() override;

 private:
  CRenameOption &option_;
  QComboBox *pattern_;
  QSpinBox *first_;
};

// Loads the option and shows the dialog; true when confirmed with a valid pattern
// (`option.pattern` and `option.firstNumber` then hold what to use; the settings are written).
bool AskRenamePattern(QWidget *parent, CRenameOption &option);

// The question of the single rename for one file.
class CRenameEachDialog : public QDialog {
  Q_OBJECT

 public:
  // With `moreFollow` the cancel button reads "スキップ" and "中止" is offered.
  CRenameEachDialog(QWidget *parent, std::string_view prompt, const std::string &name, bool moreFollow);

  std::string Name() const;
  // 1 OK, 0 cancel or skip, -1 abort.
  int Answer() const { return answer_; }

 private:
  QLineEdit *name_;
  int answer_ = 0;
};

// The single rename's question through the dialog, for RenameEach.
RenameQuestion RenameEachQuestion(QWidget *parent);

// A list of lines under a caption with an OK button ("Report").
class CRenameReportList : public QDialog {
  Q_OBJECT

 public:
  CRenameReportList(QWidget *parent, std::string_view caption, const std::vector<std::string> &lines);
};

void ShowReportList(QWidget *parent, std::string_view caption, const std::vector<std::string> &lines);

}  // namespace tamro
