#pragma once

// "HTMLの作成": the face of CHtmlOption, and the command that runs the catalogue.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace tamro {

class CCellPainter;
class CHtmlOption;
class CRXDoc;

class CHtmlDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows the option's values; "作成" hands them back and closes when the option takes
  // them. The option outlives the dialog.
  explicit CHtmlDialog(CHtmlOption &option, QWidget *parent = nullptr);

 private:
  void OnCreate();
  void BrowseTemplate();

  CHtmlOption &option_;
  QComboBox *folder_, *fileName_, *template_;
  QSpinBox *pageCount_, *quality_;
  QCheckBox *jpegSave_, *resize_;
};

// The catalogue of the document's selection: the dialog, the output folder (offered for
// creation when missing), then the pages with a progress window. The pictures are decoded
// by the builder of the window's cell painter.
void MakeHtmlCatalogue(CRXDoc &doc, CCellPainter &cells, QWidget *parent);

}  // namespace tamro
