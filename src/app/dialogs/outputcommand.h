#pragma once

// What every output command does around its dialog and its run.

#include <QDialog>
#include <string>

class QWidget;

namespace tamro {

class CRXDoc;

// From construction on the folder change monitor ignores what the command writes. At the
// end pending events run, the monitor returns to its normal mode and the views redraw
// (when asked).
class OutputCommandScope {
 public:
  OutputCommandScope(CRXDoc &doc, bool redrawViews);
  ~OutputCommandScope();
  OutputCommandScope(const OutputCommandScope &) = delete;
  OutputCommandScope &operator=(const OutputCommandScope &) = delete;

 private:
  CRXDoc &doc_;
  bool redraw_;
};

// Loads `option`, takes its relative paths from `currentFolder` (the folder shown) and
// shows `Dialog` over it; true when the dialog was confirmed.
template <class Dialog, class Option>
bool AskOutputOption(Option &option, const std::string &currentFolder, QWidget *parent) {
  option.Load();
  option.currentFolder = currentFolder;
  Dialog dialog(option, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace tamro
