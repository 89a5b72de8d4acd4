#include "app/dialogs/outputcommand.h"

#include <QCoreApplication>

#include "catalogue/rxdoc.h"
#include "catalogue/updatehint.h"
#include "fileops/foldermonitor.h"

namespace tamro {

OutputCommandScope::OutputCommandScope(CRXDoc &doc, bool redrawViews) : doc_(doc), redraw_(redrawViews) {
  SetMonitorMode(kMonitorIgnore);
}

OutputCommandScope::~OutputCommandScope() {
  QCoreApplication::processEvents();
  SetMonitorMode(kMonitorNormal);
  if (redraw_) doc_.UpdateAllViews(nullptr, kHintRedrawAll);
}

}  // namespace tamro
