#pragma once

// A printer chosen in the print dialog (CUPS, or a PDF file) as a print device; the
// print preview hands its own printer through the same class.

#include "output/printdevice.h"

class QPrinter;

namespace tamro {

class CPrinterDevice : public CPagedPrintDevice {
 public:
  // `fromPreview` for the printer of the print preview, whose output file (if any) is left
  // untouched before the job opens: the preview may only be drawing pages.
  explicit CPrinterDevice(QPrinter &printer, bool fromPreview = false);
  // The preview's printer while it gathers the pages to show (not when its print button prints).
  bool Preview() const override;

 protected:
  void SetDocName(const QString &name) override;
  bool CanStart(std::string &error) override;
  void AbortDevice() override;

 private:
  QPrinter &printer_;
  bool fromPreview_;
};

}  // namespace tamro
