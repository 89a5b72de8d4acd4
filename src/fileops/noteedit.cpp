#include "fileops/noteedit.h"

#include "catalogue/notestore.h"
#include "catalogue/picentry.h"
#include "platform/ui.h"

namespace tamro {

CNoteOption::CNoteOption(CPicEntry &entry) : entry_(entry) {
  ReadEntryNote(entry);
  text = entry.Note();
  crlf_ = text.find("\r\n") != std::string::npos;
}

bool CNoteOption::Accept() {
  std::string note;
  note.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (crlf_ && text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) note += '\r';
    note += text[i];
  }
  if (!WriteNote(entry_.Folder(), entry_.ArchiveName(), entry_.name, note)) {
    Ui().MessageBox(entry_.Folder() + "\nコメントを保存できませんでした", kCaption, MB_OK | MB_ICONSTOP);
    return false;
  }
  text = note;
  entry_.SetNote(std::move(note));
  return true;
}

}  // namespace tamro
