#include "output/printdocsource.h"

#include "catalogue/cellpainter.h"
#include "catalogue/macros.h"
#include "catalogue/rxdoc.h"

namespace tamro {

CPrintDocSource::CPrintDocSource(CRXDoc &doc, PictureLoader loader, FileIconSource *icons,
                                 MonitorMode monitor)
    : doc_(doc), loader_(std::move(loader)), icons_(icons), monitor_(std::move(monitor)) {}

int CPrintDocSource::EntryCount() const { return doc_.GetEntryCount(); }

bool CPrintDocSource::IsSelected(int index) const {
  const CPicEntry *e = doc_.GetEntry(index);
  return e && e->IsSelected();
}

int CPrintDocSource::CountSelected() const { return doc_.CountSelected(true); }

std::string CPrintDocSource::EntryName(int index) const {
  const CPicEntry *e = doc_.GetEntry(index);
  return e ? e->name : std::string();
}

HDIB CPrintDocSource::LoadPicture(int index) {
  CPicEntry *e = doc_.GetEntry(index);
  return e && loader_ ? loader_(*e) : nullptr;
}

std::string CPrintDocSource::ExpandText(int index, std::string_view format) const {
  return ExpandMacros(index >= 0 ? doc_.GetEntry(index) : nullptr, format);
}

bool CPrintDocSource::DrawFileIcon(QPainter &painter, const QRect &rect, int index) {
  const CPicEntry *e = doc_.GetEntry(index);
  if (!e) return false;
  static GlyphIconSource glyphs;
  return (icons_ ? *icons_ : static_cast<FileIconSource &>(glyphs)).DrawIcon(painter, rect, *e);
}

void CPrintDocSource::SetBusy(bool busy) {
  doc_.SetBusy(busy);
  if (monitor_) monitor_(busy ? 2 : 0);
}

}  // namespace tamro
