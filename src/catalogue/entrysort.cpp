#include "catalogue/entrysort.h"

#include <algorithm>
#include <cstring>

#include "catalogue/notestore.h"
#include "catalogue/picentry.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "platform/text.h"

// Every switch over the columns names each of them: a column added without its key is an
// error here, not a silent sort by something else.
#pragma GCC diagnostic error "-Wswitch"

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

void AppendTextKey(std::string &out, std::string_view text, bool natural) {
  if (!natural) {
    for (char c : text) out += AsciiLower(c);
    return;
  }
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c < '0' || c > '9') {
      out += AsciiLower(c);
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    std::size_t first = i;
    while (first + 1 < end && text[first] == '0') ++first;
    // The mark is '0', which stands against any other character where the first digit
    // would; two length bytes then order the numbers by their count of digits.
    const std::size_t length = std::min<std::size_t>(end - first, 0xFFFF);
    out += '0';
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(length & 0xFF);
    out.append(text.substr(first, length));
    i = end;
  }
}

std::vector<std::size_t> NameOrder(const std::vector<std::string_view> &names, bool natural) {
  struct Key {
    std::string stem, extension;
  };
  std::vector<Key> keys(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    AppendTextKey(keys[i].stem, NameStem(names[i]), natural);
    AppendTextKey(keys[i].extension, NameExtension(names[i]), natural);
  }
  std::vector<std::size_t> order(names.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (const int c = keys[a].stem.compare(keys[b].stem)) return c < 0;
    if (const int c = keys[a].extension.compare(keys[b].extension)) return c < 0;
    return names[a] < names[b];
  });
  return order;
}

namespace {

int CompareTextKeys(std::string_view a, std::string_view b, bool natural) {
  if (!natural) return CompareNoCase(a, b);
  std::string ka, kb;
  AppendTextKey(ka, a, true);
  AppendTextKey(kb, b, true);
  return ka.compare(kb) < 0 ? -1 : (ka == kb ? 0 : 1);
}

}  // namespace

int CompareEntries(const CPicEntry &a, int ia, const CPicEntry &b, int ib, SortKey key,
                   const std::string &nameA, const std::string &nameB, bool natural) {
  if (key.state == 0) return Sign(ia, ib);
  bool down = key.state % 2 == 0;
  const CPicEntry &x = down ? b : a;
  const CPicEntry &y = down ? a : b;
  switch (static_cast<SortColumn>(key.column)) {
    case kSortName:
      return CompareTextKeys(NameStem(x.name), NameStem(y.name), natural);
    case kSortExtension:
      return CompareTextKeys(NameExtension(x.name), NameExtension(y.name), natural);
    case kSortSize:
      return Sign(x.size, y.size);
    case kSortTime:
      return Sign(x.lastWriteTime, y.lastWriteTime);
    case kSortPixels:
      switch ((key.state - 1) / 2) {
        case 0:
          return Sign(x.facts.width, y.facts.width);
        case 1:
          return Sign(x.facts.height, y.facts.height);
        case 2:
          return Sign(x.facts.bitCount, y.facts.bitCount);
        default:
          return Sign(static_cast<int64_t>(x.facts.width) * x.facts.height,
                      static_cast<int64_t>(y.facts.width) * y.facts.height);
      }
    case kSortArchive:
      return CompareNoCase(x.ArchiveName(), y.ArchiveName());
    case kSortDescription:
      return CompareNoCase(x.Description(), y.Description());
    case kSortDecoder:
      return down ? CompareNoCase(nameB, nameA) : CompareNoCase(nameA, nameB);
    case kSortNote:
      return CompareNoCase(x.Note(), y.Note());
    case kSortFolder:
      return CompareNoCase(x.Folder(), y.Folder());
  }
  return 0;  // not a column
}

namespace {

// One row of a sort pass: its key copied out of the entry, so that comparing does not chase
// two entries and their names through memory for every one of the million comparisons of
// a large folder. Text keys are folded to lower case once into one contiguous buffer;
// comparing them bytewise then gives what CompareNoCase gives.
struct SortItem {
  int64_t number;
  uint32_t offset, length;
  int index;
};

bool IsTextColumn(int column) {
  return column >= 0 && column < kSortColumnCount && ColumnSpecOf(column).key == ColumnKey::kText;
}

std::string_view TextKey(const CPicEntry &e, int column, const std::string &decoderName) {
  switch (static_cast<SortColumn>(column)) {
    case kSortName:
      return NameStem(e.name);
    case kSortExtension:
      return NameExtension(e.name);
    case kSortArchive:
      return e.ArchiveName();
    case kSortDescription:
      return e.Description();
    case kSortDecoder:
      return decoderName;
    case kSortNote:
      return e.Note();
    case kSortFolder:
      return e.Folder();
    case kSortSize:
    case kSortTime:
    case kSortPixels:
      break;  // number keys
  }
  return {};
}

int64_t NumberKey(const CPicEntry &e, int column, int state) {
  switch (static_cast<SortColumn>(column)) {
    case kSortSize:
      return static_cast<int64_t>(std::min<uint64_t>(e.size, INT64_MAX));
    case kSortTime:
      return e.lastWriteTime;
    case kSortPixels:
      switch ((state - 1) / 2) {
        case 0:
          return e.facts.width;
        case 1:
          return e.facts.height;
        case 2:
          return e.facts.bitCount;
        default:
          return static_cast<int64_t>(e.facts.width) * e.facts.height;
      }
    case kSortName:
    case kSortExtension:
    case kSortArchive:
    case kSortDescription:
    case kSortDecoder:
    case kSortNote:
    case kSortFolder:
      break;  // text keys
  }
  return 0;
}

}  // namespace

void SortEntryIndices(std::vector<int> &order, const std::vector<const CPicEntry *> &entries, SortKey key,
                      const std::vector<std::string> &decoderNames, bool natural) {
  static const std::string kNone;
  std::vector<SortItem> items;
  items.reserve(order.size());
  std::string folded;
  bool text = key.state != 0 && IsTextColumn(key.column);
  // Numbers in names count by their value only where the user asked for it.
  const bool naturalKey = natural && (key.column == kSortName || key.column == kSortExtension);
  for (int i : order) {
    const CPicEntry &e = *entries[static_cast<std::size_t>(i)];
    SortItem item{0, 0, 0, i};
    if (key.state == 0) {
      item.number = i;
    } else if (text) {
      const std::string &name =
          key.column == kSortDecoder && static_cast<std::size_t>(i) < decoderNames.size()
              ? decoderNames[static_cast<std::size_t>(i)]
              : kNone;
      std::string_view t = TextKey(e, key.column, name);
      item.offset = static_cast<uint32_t>(folded.size());
      AppendTextKey(folded, t, naturalKey);
      item.length = static_cast<uint32_t>(folded.size() - item.offset);
    } else {
      item.number = NumberKey(e, key.column, key.state);
    }
    items.push_back(item);
  }
  const char *base = folded.data();
  auto textLess = [base](const SortItem &a, const SortItem &b) {
    std::size_t n = std::min(a.length, b.length);
    int c = n ? std::memcmp(base + a.offset, base + b.offset, n) : 0;
    return c != 0 ? c < 0 : a.length < b.length;
  };
  bool down = key.state != 0 && key.state % 2 == 0;
  if (text) {
    if (down)
      std::stable_sort(items.begin(), items.end(),
                       [&](const SortItem &a, const SortItem &b) { return textLess(b, a); });
    else
      std::stable_sort(items.begin(), items.end(), textLess);
  } else if (down) {
    std::stable_sort(items.begin(), items.end(),
                     [](const SortItem &a, const SortItem &b) { return b.number < a.number; });
  } else {
    std::stable_sort(items.begin(), items.end(),
                     [](const SortItem &a, const SortItem &b) { return a.number < b.number; });
  }
  for (std::size_t k = 0; k < items.size(); ++k) order[k] = items[k].index;
}

// --- the document's sorting

namespace {

// Sorts the display order by keys given oldest first.
std::vector<int> SortedOrder(CRXDoc &doc, const std::vector<SortKey> &keysOldestFirst) {
  const bool natural = doc.Settings().naturalSort != 0;
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
    const ColumnSource source = key.state != 0 && key.column >= 0 && key.column < kSortColumnCount
                                    ? ColumnSpecOf(key.column).source
                                    : ColumnSource::kEntry;
    // Notes are read when first wanted; sorting by them wants them all.
    if (source == ColumnSource::kNote)
      for (int i : order) ReadEntryNote(*doc.GetEntryAt(i));
    if (source == ColumnSource::kDecoderName && names.empty()) {
      names.resize(entries.size());
      if (PictureDecoders *d = doc.Decoders())
        for (int i : order) {
          int pos = entries[static_cast<std::size_t>(i)]->facts.decoder;
          if (pos >= 0) names[static_cast<std::size_t>(i)] = d->DecoderName(pos, PictureDecoders::kPicture);
        }
    }
    SortEntryIndices(order, entries, key, names, natural);
  }
  return order;
}

}  // namespace

void CRXDoc::SetDisplayOrder(const std::vector<int> &order) {
  BusyScope busy(*this);
  int n = std::min(static_cast<int>(order.size()), GetEntryCount());
  for (int i = 0; i < n; ++i) SetEntryIndex(i, order[static_cast<std::size_t>(i)]);
  // The current entry is the same entry in its new place.
  current_ = -1;
  for (int i = 0; i < n; ++i)
    if (entries_[order_[static_cast<std::size_t>(i)]]->IsCurrent()) current_ = i;
}

void CRXDoc::WriteOrderBack(const std::vector<int> &order, UpdateObserver *sender) {
  SetDisplayOrder(order);
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

void CRXDoc::SortListing() {
  // Without keys the listing stays in the name order it was read in.
  const auto &history = sort_.history();
  if (history.empty()) return;
  sort_.TakeNewestKey();
  if (GetEntryCount() > 1) SetDisplayOrder(SortedOrder(*this, {history.rbegin(), history.rend()}));
}

void CRXDoc::ApplySortHistory(UpdateObserver *sender) {
  const auto &history = sort_.history();
  if (history.empty()) return;
  std::vector<SortKey> oldestFirst(history.rbegin(), history.rend());
  sort_.TakeNewestKey();
  WriteOrderBack(SortedOrder(*this, oldestFirst), sender);
}

}  // namespace tamro
