#pragma once

// "レポートファイルの作成": a save dialog that also carries the report format box, with its
// history and the menu of name macros, over CReportOption.

#include <QFileDialog>

class QComboBox;

namespace tamro {

class CatalogueEngine;
class CReportOption;
class CRXDoc;

class CReportDialog : public QFileDialog {
  Q_OBJECT

 public:
  // Starts in `folder` with the name "report.txt"; the format box shows the option's
  // history. Closing with "保存" puts the box's text into the option and its history.
  CReportDialog(CReportOption &option, const QString &folder, QWidget *parent = nullptr);

  QString ChosenFile() const;
  void accept() override;

 private:
  void RememberSelection();
  void InsertFromMenu(std::string_view macro);

  CReportOption &option_;
  QComboBox *format_;
  int selStart_ = 0, selEnd_ = 0;  // the edit field's selection as it was last seen
};

// The report of the document's selection: the dialog, then one line per selected picture,
// with the picture facts the format needs read on the engine's workers.
void WriteReport(CRXDoc &doc, CatalogueEngine &engine, QWidget *parent);

}  // namespace tamro
