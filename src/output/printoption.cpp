#include "output/printoption.h"

#include "platform/startup.h"

namespace tamro {

void CPrintOption::Load() {
  files_.Load();
  definitionFile = files_.First();
}

void CPrintOption::Accept() {
  if (definitionFile.empty()) return;
  files_.Promote(definitionFile);
  files_.Save();
}

std::string CPrintOption::BrowseFolder() { return ExecutableFolder(); }

}  // namespace tamro
