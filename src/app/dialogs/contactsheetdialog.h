#pragma once

// "コンタクトシートの作成": the face of CContactSheetOption, and the command that draws
// the sheets.

#include <QDialog>

class QComboBox;
class QSpinBox;

namespace tamro {

class CCellPainter;
class CContactSheetOption;
class CRXDoc;

class CContactSheetDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows the option's values; "作成" hands them back and closes when the option takes
  // them. The option outlives the dialog.
  explicit CContactSheetDialog(CContactSheetOption &option, QWidget *parent = nullptr);

 private:
  void OnCreate();

  CContactSheetOption &option_;
  QComboBox *folder_, *fileName_, *fileType_;
  QSpinBox *columns_, *rows_, *quality_;
};

// The sheets of the document's selection, drawn as `cells` draws the thumbnail view's
// cells: the dialog, the output folder (offered for creation when missing), the sheets.
void MakeContactSheet(CRXDoc &doc, CCellPainter &cells, QWidget *parent);

}  // namespace tamro
