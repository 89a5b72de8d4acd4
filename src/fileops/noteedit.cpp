#include "fileops/noteedit.h"

#include "catalogue/notestore.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "platform/ui.h"

namespace tamro {

CNoteOption::CNoteOption(CRXDoc &doc, int visibleIndex) : doc_(doc), hint_(visibleIndex) {
  CPicEntry *entry = doc.GetEntry(visibleIndex);
  if (!entry) return;
  picture_ = EntryId::Of(*entry);
  ReadEntryNote(*entry);
  text = entry->Note();
  crlf_ = text.find("\r\n") != std::string::npos;
}

bool CNoteOption::Accept() {
  std::string note;
  note.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (crlf_ && text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) note += '\r';
    note += text[i];
  }
  if (picture_.Empty()) return false;
  if (!WriteNote(picture_.folder, picture_.archive, picture_.name, note)) {
    Ui().MessageBox(picture_.folder + "\nコメントを保存できませんでした", kCaption, MB_OK | MB_ICONSTOP);
    return false;
  }
  text = note;
  if (CPicEntry *entry = doc_.GetEntry(FindEntry(doc_, picture_, hint_))) entry->SetNote(std::move(note));
  return true;
}

}  // namespace tamro
