#include "app/dialogs/outputcommand.h"

#include <QCoreApplication>
#include <QDir>

#include "catalogue/rxdoc.h"
#include "catalogue/updatehint.h"
#include "fileops/foldermonitor.h"

namespace tamro {

OutputCommandScope::OutputCommandScope(CRXDoc &doc, bool redrawViews)
    : doc_(doc), redraw_(redrawViews), previous_(QDir::currentPath()) {
  if (!doc.Folder().empty()) QDir::setCurrent(QString::fromStdString(doc.Folder()));
  SetMonitorMode(kMonitorIgnore);
}

OutputCommandScope::~OutputCommandScope() {
  QCoreApplication::processEvents();
  SetMonitorMode(kMonitorNormal);
  if (redraw_) doc_.UpdateAllViews(nullptr, kHintRedrawAll);
  QDir::setCurrent(previous_);
}

}  // namespace tamro
