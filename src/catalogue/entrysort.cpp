#include "catalogue/entrysort.h"

#include <algorithm>

#include "catalogue/decoderaccess.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "platform/text.h"

namespace tamro {

namespace {

template <class T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

std::string_view NameStem(std::string_view name) {
  std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

std::string_view NameExtension(std::string_view name) {
  std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

int CompareEntries(const CPicEntry &a, int ia, const CPicEntry &b, int ib, SortKey key, const std::string &nameA,
                   const std::string &nameB) {
  if (key.state == 0) return Sign(ia, ib);
  bool down = key.state % 2 == 0;
  const CPicEntry &x = down ? b : a;
  const CPicEntry &y = down ? a : b;
  switch (key.column) {
    case kSortName: return CompareNoCase(NameStem(x.name), NameStem(y.name));
    case kSortExtension: return CompareNoCase(NameExtension(x.name), NameExtension(y.name));
    case kSortSize: return Sign(x.size, y.size);
    case kSortTime: return Sign(x.lastWriteTime, y.lastWriteTime);
    case kSortPixels:
      switch ((key.state - 1) / 2) {
        case 0: return Sign(x.pictureWidth, y.pictureWidth);
        case 1: return Sign(x.pictureHeight, y.pictureHeight);
        case 2: return Sign(x.bitCount, y.bitCount);
        default:
          return Sign(static_cast<int64_t>(x.pictureWidth) * x.pictureHeight,
                      static_cast<int64_t>(y.pictureWidth) * y.pictureHeight);
      }
    case kSortArchive: return CompareNoCase(x.ArchiveName(), y.ArchiveName());
    case kSortDescription: return CompareNoCase(x.Description(), y.Description());
    case kSortDecoder: return down ? CompareNoCase(nameB, nameA) : CompareNoCase(nameA, nameB);
    case kSortNote: return CompareNoCase(x.Note(), y.Note());
    case kSortFolder: return CompareNoCase(x.Folder(), y.Folder());
    default: return 0;
  }
}

void SortEntryIndices(std::vector<int> &order, const std::vector<const CPicEntry *> &entries, SortKey key,
                      const std::vector<std::string> &decoderNames) {
  static const std::string kNone;
  bool names = key.column == kSortDecoder && key.state != 0;
  std::stable_sort(order.begin(), order.end(), [&](int ia, int ib) {
    const std::string &na = names ? decoderNames[static_cast<std::size_t>(ia)] : kNone;
    const std::string &nb = names ? decoderNames[static_cast<std::size_t>(ib)] : kNone;
    return CompareEntries(*entries[static_cast<std::size_t>(ia)], ia, *entries[static_cast<std::size_t>(ib)], ib, key,
                          na, nb) < 0;
  });
}

// --- the document's sorting

namespace {

// Sorts the display order by keys given oldest first.
std::vector<int> SortedOrder(CRXDoc &doc, const std::vector<SortKey> &keysOldestFirst) {
  std::lock_guard<std::recursive_mutex> hold(doc.EntryLock());
  int all = doc.GetAllEntryCount();
  std::vector<const CPicEntry *> entries(static_cast<std::size_t>(all));
  for (int i = 0; i < all; ++i) entries[static_cast<std::size_t>(i)] = doc.GetEntryAt(i);
  std::vector<int> order;
  int n = doc.GetEntryCount();
  order.reserve(static_cast<std::size_t>(n));
  for (int v = 0; v < n; ++v) {
    int i = doc.GetEntryIndex(v);
    if (i >= 0 && entries[static_cast<std::size_t>(i)]) order.push_back(i);
  }
  std::vector<std::string> names;
  for (const SortKey &key : keysOldestFirst) {
    if (key.column == kSortDecoder && key.state != 0 && names.empty()) {
      names.resize(entries.size());
      if (DecoderAccess *d = doc.Decoders())
        for (int i : order) {
          int pos = entries[static_cast<std::size_t>(i)]->decoderIndex;
          if (pos >= 0) names[static_cast<std::size_t>(i)] = d->DecoderName(pos);
        }
    }
    SortEntryIndices(order, entries, key, names);
  }
  return order;
}

}  // namespace

void CRXDoc::WriteOrderBack(const std::vector<int> &order, UpdateObserver *sender) {
  {
    BusyScope busy(*this);
    std::lock_guard<std::recursive_mutex> hold(lock_);
    int n = std::min(static_cast<int>(order.size()), GetEntryCount());
    for (int i = 0; i < n; ++i) SetEntryIndex(i, order[static_cast<std::size_t>(i)]);
    // The current entry is the same entry in its new place.
    current_ = -1;
    for (int i = 0; i < n; ++i)
      if (entries_[order_[static_cast<std::size_t>(i)]]->IsCurrent()) current_ = i;
  }
  UpdateAllViews(sender, kHintRedrawAll);
}

void CRXDoc::SortBy(int column, int state, UpdateObserver *sender) {
  SortKey key = sort_.SortBy(column, state);
  WriteOrderBack(SortedOrder(*this, {key}), sender);
}

void CRXDoc::OnSortCommand(SortCommand command, UpdateObserver *sender) {
  SortKey target = sort_.CommandTarget(command);
  SortBy(target.column, target.state, sender);
}

void CRXDoc::ApplySortHistory(UpdateObserver *sender) {
  const auto &history = sort_.history();
  if (history.empty()) return;
  std::vector<SortKey> oldestFirst(history.rbegin(), history.rend());
  sort_.TakeNewestKey();
  WriteOrderBack(SortedOrder(*this, oldestFirst), sender);
}

}  // namespace tamro
