#include "catalogue/entryid.h"

#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"

namespace tamro {

EntryId EntryId::Of(const CPicEntry &e) {
  return EntryId{e.Folder(), e.ArchiveName(), e.name, e.IsArchiveMember() ? e.position : 0};
}

bool EntryId::Matches(const CPicEntry &e) const {
  return e.name == name && e.Folder() == folder && e.ArchiveName() == archive &&
         (archive.empty() || e.position == position);
}

int FindEntry(CRXDoc &doc, const EntryId &id, int hint) {
  if (id.Empty()) return -1;
  if (const CPicEntry *e = doc.GetEntry(hint); e && id.Matches(*e)) return hint;
  const int count = doc.GetEntryCount();
  for (int i = 0; i < count; ++i)
    if (const CPicEntry *e = doc.GetEntry(i); e && id.Matches(*e)) return i;
  return -1;
}

}  // namespace tamro
