#pragma once

// The print dialog: the print-definition file with its history, the printer (or PDF file)
// chosen through the system's print dialog, and a preview of the pages the definition
// gives. The main window and the picture window open it on the document's selection.

#include <QDialog>
#include <memory>

#include "output/printoption.h"

class QComboBox;
class QPrinter;

namespace tamro {

class CCellPainter;
class CRXDoc;

class CPrintDialog : public QDialog {
  Q_OBJECT

 public:
  // Neither owned. The builder of the window's cell painter decodes the pictures; its
  // icons stand for a picture that cannot be decoded.
  CPrintDialog(CRXDoc &doc, CCellPainter &cells, QWidget *parent = nullptr);
  ~CPrintDialog() override;

  // The printer the job goes to; chosen through the system's dialog on "印刷...".
  QPrinter &Printer() { return *printer_; }
  // The selection on `printer` by the chosen definition: the pages that went out, or -1
  // after a message. `fromPreview` for the print preview's printer.
  int PrintTo(QPrinter &printer, bool fromPreview);

 private:
  void OnPrint();
  void OnPreview();
  void Browse();
  void TakeDefinition();

  CRXDoc &doc_;
  CCellPainter &cells_;
  CPrintOption option_;
  std::unique_ptr<QPrinter> printer_;
  QComboBox *definition_;
};

// The print command: the dialog, then the job on the chosen printer.
void PrintPictures(CRXDoc &doc, CCellPainter &cells, QWidget *parent);

}  // namespace tamro
