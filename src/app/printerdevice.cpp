#include "app/printerdevice.h"

#include <QFile>
#include <QPaintEngine>
#include <QPrinter>

namespace tamro {

CPrinterDevice::CPrinterDevice(QPrinter &printer, bool fromPreview)
    : CPagedPrintDevice(printer), printer_(printer), fromPreview_(fromPreview) {}

bool CPrinterDevice::Preview() const {
  // Gathering pages, the preview's printer paints through a recording engine.
  const QPaintEngine *engine = fromPreview_ ? printer_.paintEngine() : nullptr;
  return engine && engine->type() == QPaintEngine::Picture;
}

void CPrinterDevice::SetDocName(const QString &name) { printer_.setDocName(name); }

bool CPrinterDevice::CanStart(std::string &error) {
  if (!printer_.isValid()) {
    error = "プリンタを使用できません";
    return false;
  }
  // A PDF file only says that it failed; opening it first gives the reason.
  if (!fromPreview_ && printer_.outputFormat() == QPrinter::PdfFormat &&
      !printer_.outputFileName().isEmpty()) {
    QFile probe(printer_.outputFileName());
    if (!probe.open(QIODevice::WriteOnly)) {
      error = probe.errorString().toStdString();
      return false;
    }
  }
  return true;
}

void CPrinterDevice::AbortDevice() { printer_.abort(); }

}  // namespace tamro
