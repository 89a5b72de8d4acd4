#pragma once

// What every output command does around its dialog and its run.

#include <QString>

namespace tamro {

class CRXDoc;

// From construction on, relative paths typed in the dialog start at the document's folder
// and the folder change monitor ignores what the command writes. At the end pending
// events run, the monitor returns to its normal mode, the views redraw (when asked) and
// the program's own current folder comes back.
class OutputCommandScope {
 public:
  OutputCommandScope(CRXDoc &doc, bool redrawViews);
  ~OutputCommandScope();
  OutputCommandScope(const OutputCommandScope &) = delete;
  OutputCommandScope &operator=(const OutputCommandScope &) = delete;

 private:
  CRXDoc &doc_;
  bool redraw_;
  QString previous_;
};

}  // namespace tamro
