#pragma once

// The print dialog's own part: the history of print-definition files, section "Print".

#include <string>

#include "output/history.h"

namespace tamro {

class CPrintOption {
 public:
  static constexpr const char *kFilterName = "印刷定義ﾌｧｲﾙ (*.dps)";
  static constexpr const char *kFilterPattern = "*.dps";

  CPrintOption() : files_("Print", "File", 10) {}

  // The history ("File0" ... "File9"); the chosen file starts as its first item.
  void Load();
  // On printing: a chosen file moves to the top of the history, which is written. No file
  // chosen prints one fitted picture a page and leaves the history alone.
  void Accept();

  const TextHistory &Files() const { return files_; }
  // Where the file chooser starts: the program's folder.
  static std::string BrowseFolder();

  std::string definitionFile;  // as chosen

 private:
  TextHistory files_;
};

}  // namespace tamro
