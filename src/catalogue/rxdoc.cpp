#include "catalogue/rxdoc.h"

#include <algorithm>

#include "catalogue/pathutil.h"
#include "catalogue/thumbcache.h"
#include "decode/builtin/builtin.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace tamro {

namespace {

std::atomic<int> g_historyMoves{0};

// Counts a history move for as long as its hint is being handled.
struct HistoryMoveScope {
  HistoryMoveScope() { ++g_historyMoves; }
  ~HistoryMoveScope() { --g_historyMoves; }
};

int8_t Small(int v) { return static_cast<int8_t>(std::clamp(v, -128, 127)); }

}  // namespace

CRXDoc::CRXDoc(Profile *profile) : profile_(profile ? profile : &Profile::App()) {
  settings_.Load(*profile_);
  // The text decoder draws its pictures at the size the settings give.
  builtin::TextSetSettings(std::max(settings_.txtSize.width, 0), std::max(settings_.txtSize.height, 0), 0,
                           nullptr);
  filter_.nameOn = settings_.filterFileName != 0;
  filter_.dateOn = settings_.filterFileDate != 0;
  filter_.sizeOn = settings_.filterFileSize != 0;
  // The sizes the filter dialog last confirmed are the tops of its histories; the dates are
  // not kept, so a date filter has no range until the dialog gives one.
  std::string begin = profile_->GetString("Filter", "SizeBegin0", "");
  std::string end = profile_->GetString("Filter", "SizeEnd0", "");
  filter_.smallest = ScaleSize(begin, profile_->GetInt("Filter", "UnitBegin", 0));
  filter_.largest =
      TrimBlanks(end).empty() ? UINT64_MAX : ScaleSize(end, profile_->GetInt("Filter", "UnitEnd", 0));
  sort_.LoadHistory(*profile_);
  RebuildLook();
  folderCellSize_ = settings_.thumbsSize;
  pattern_ = settings_.pathMask.empty() ? std::string("*.*") : settings_.pathMask;
}

CRXDoc::~CRXDoc() {
  order_.clear();
  visibleOfStale_ = true;
  entries_.clear();
  previous_.clear();
}

void CRXDoc::RebuildLook() {
  auto look = std::make_shared<EntryLook>();
  look->colours = settings_.colours;
  look->font = LookupCaptionFont(settings_.fontFaceName, settings_.fontWidth, settings_.fontHeight,
                                 settings_.fontItalic, settings_.fontWeight);
  viewFont_ = look->font;
  baseLook_ = std::move(look);
  look_ = baseLook_;
  captionItems_ = SplitNameFormat(settings_.nameFormat);
}

bool CRXDoc::SaveSettings() {
  bool ok = settings_.Save(*profile_);
  std::string history = CSortState::FormatHistory(sort_.history());
  if (history != profile_->GetString("LstView", "SortHistory", "")) ok = sort_.SaveHistory(*profile_) && ok;
  return ok;
}

DrawSwitches CRXDoc::Switches() const {
  DrawSwitches s;
  s.scaleMode = settings_.scaleMode;
  s.limitCheck = Small(settings_.limitCheck);
  s.frame = Small(settings_.frame);
  s.nameFrame = Small(settings_.nameFrame);
  s.name = Small(settings_.name);
  s.unsharp = Small(settings_.unsharp);
  s.exifRotate = Small(settings_.exifRotate);
  s.colorManage = Small(settings_.colorManage);
  s.embeddedPreview = Small(settings_.embeddedPreview);
  return s;
}

void CRXDoc::ApplySettings(const DocSettings &settings) {
  settings_ = settings;
  ClampCellSizes(settings_.thumbsLimitSize, settings_.thumbsSize);
  RebuildLook();
  DrawSwitches sw = Switches();
  {
    for (uint32_t i : order_)
      if (i < entries_.size()) entries_[i]->switches = sw;
  }
  SaveSettings();
}

// --- views

void CRXDoc::AddObserver(UpdateObserver *observer) {
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void CRXDoc::RemoveObserver(UpdateObserver *observer) { std::erase(observers_, observer); }

void CRXDoc::UpdateAllViews(UpdateObserver *sender, int hint, const UpdateArgument &arg) {
  // A copy, so an observer may register or leave while being told.
  std::vector<UpdateObserver *> observers = observers_;
  for (UpdateObserver *o : observers)
    if (o != sender && std::find(observers_.begin(), observers_.end(), o) != observers_.end())
      o->OnUpdate(sender, hint, arg);
}

// --- entries

int CRXDoc::GetEntryCount() const { return static_cast<int>(order_.size()); }

CPicEntry *CRXDoc::GetEntry(int visibleIndex) {
  if (visibleIndex < 0 || visibleIndex >= static_cast<int>(order_.size())) return nullptr;
  uint32_t index = order_[static_cast<std::size_t>(visibleIndex)];
  if (index >= entries_.size() || !entries_[index]) return nullptr;
  CPicEntry *e = entries_[index].get();
  e->SetLook(look_);
  return e;
}

int CRXDoc::GetEntryIndex(int visibleIndex) const {
  if (visibleIndex < 0 || visibleIndex >= static_cast<int>(order_.size())) return -1;
  return static_cast<int>(order_[static_cast<std::size_t>(visibleIndex)]);
}

bool CRXDoc::SetEntryIndex(int visibleIndex, int index) {
  if (visibleIndex < 0 || visibleIndex >= static_cast<int>(order_.size())) return false;
  if (index < 0 || index >= static_cast<int>(entries_.size())) return false;
  order_[static_cast<std::size_t>(visibleIndex)] = static_cast<uint32_t>(index);
  visibleOfStale_ = true;
  return true;
}

int CRXDoc::VisibleIndexOf(int index) const {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return -1;
  auto cached = [&]() -> int {
    if (static_cast<std::size_t>(index) >= visibleOf_.size()) return -1;
    const int v = visibleOf_[static_cast<std::size_t>(index)];
    return v >= 0 && v < static_cast<int>(order_.size()) &&
                   order_[static_cast<std::size_t>(v)] == static_cast<uint32_t>(index)
               ? v
               : -1;
  };
  if (!visibleOfStale_) return cached();
  visibleOf_.assign(entries_.size(), -1);
  for (std::size_t v = 0; v < order_.size(); ++v)
    if (order_[v] < visibleOf_.size()) visibleOf_[order_[v]] = static_cast<int>(v);
  visibleOfStale_ = false;
  return cached();
}

int CRXDoc::GetAllEntryCount() const { return static_cast<int>(entries_.size()); }

CPicEntry *CRXDoc::GetEntryAt(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return nullptr;
  return entries_[static_cast<std::size_t>(index)].get();
}

void CRXDoc::SetEntryFlags(int visibleIndex, int flags) {
  CPicEntry *e = GetEntry(visibleIndex);
  if (!e) return;
  bool was = e->IsSelected();
  e->flags = flags;
  bool now = e->IsSelected();
  if (was != now) selected_ += now ? 1 : -1;
  if (selected_ < 0) selected_ = 0;
}

int CRXDoc::CountSelected(bool recount) {
  if (recount) {
    int n = 0;
    for (uint32_t i : order_)
      if (i < entries_.size() && entries_[i]->IsSelected()) ++n;
    selected_ = n;
  }
  return selected_;
}

void CRXDoc::SetCurrent(int visibleIndex) {
  if (CPicEntry *old = GetEntry(current_)) old->flags &= ~CPicEntry::kCurrent;
  CPicEntry *now = GetEntry(visibleIndex);
  if (now) now->flags |= CPicEntry::kCurrent;
  current_ = now ? visibleIndex : -1;
}

void CRXDoc::RemoveEntryAt(int visibleIndex) {
  if (visibleIndex < 0 || visibleIndex >= static_cast<int>(order_.size())) return;
  uint32_t index = order_[static_cast<std::size_t>(visibleIndex)];
  order_.erase(order_.begin() + visibleIndex);
  visibleOfStale_ = true;
  if (current_ == visibleIndex)
    current_ = -1;
  else if (current_ > visibleIndex)
    --current_;
  if (index >= entries_.size()) return;
  CPicEntry &e = *entries_[index];
  if (e.IsSelected() && selected_ > 0) --selected_;
  if (thumbCache_) thumbCache_->Remove(e);
  e.stored = false;
}

void CRXDoc::ClearEntries(bool deleteObjects) {
  BusyScope busy(*this);
  if (deleteObjects && thumbCache_) {
    if (settings_.autoCacheFolder) {
      for (uint32_t i : order_) {
        if (i >= entries_.size()) continue;
        CPicEntry &e = *entries_[i];
        if (!e.stored && e.thumbnail && thumbCache_->Add(e, 95) == 1) e.stored = true;
      }
      thumbCache_->Flush();
    }
    thumbCache_->Clear();
  }
  if (current_ >= 0 && current_ < static_cast<int>(order_.size()) &&
      order_[static_cast<std::size_t>(current_)] < entries_.size())
    entries_[order_[static_cast<std::size_t>(current_)]]->flags &= ~CPicEntry::kCurrent;
  current_ = -1;
  if (!deleteObjects) {
    // The objects survive among the previous entries, for a refresh to take back.
    previous_.reserve(previous_.size() + entries_.size());
    for (auto &e : entries_)
      if (e) previous_.push_back(std::move(e));
  }
  entries_.clear();
  entries_.shrink_to_fit();
  order_.clear();
  visibleOfStale_ = true;
  order_.shrink_to_fit();
  selected_ = 0;
}

void CRXDoc::AppendEntry(std::unique_ptr<CPicEntry> entry) { entries_.push_back(std::move(entry)); }

std::shared_ptr<const std::string> CRXDoc::FolderRef(const std::string &folder) {
  if (!folderRef_ || *folderRef_ != folder) folderRef_ = std::make_shared<const std::string>(folder);
  return folderRef_;
}

CPicEntry *CRXDoc::AddEntry(const IndexedEntry &in) {
  auto e = std::make_unique<CPicEntry>();
  e->facts = in.facts;
  e->SetFolder(FolderRef(in.folder));
  e->name = in.name;
  e->size = in.size;
  e->creationTime = in.creationTime;
  e->lastWriteTime = in.lastWriteTime;
  e->SetDescription(in.description);
  e->sizeBoxWidth = in.sizeBoxWidth;
  e->sizeBoxHeight = in.sizeBoxHeight;
  e->archiveDecoderIndex = in.archiveDecoderIndex;
  e->SetArchiveName(in.archiveName);
  e->position = in.position;
  e->switches = Switches();
  e->SetLook(look_);
  e->useCache = useInfo_;
  CPicEntry *raw = e.get();
  AppendEntry(std::move(e));
  return raw;
}

// --- listing

std::string CRXDoc::SearchText() const { return JoinPath(folder_, pattern_); }

ScanRequest CRXDoc::BuildRequest(bool useInfo) const {
  ScanRequest r;
  r.folder = folder_;
  r.pattern = pattern_;
  r.archives = settings_.archive != 0;
  r.subFolders = settings_.downScan != 0;
  r.useInfo = useInfo;
  r.filter = filter_;
  r.fileFacts = fileFactsWanted_ || filter_.dateOn || filter_.sizeOn;
  for (const SortKey &k : sort_.history())
    if (k.column == kSortSize || k.column == kSortTime) r.fileFacts = true;
  if (archiveListed_) {
    // The archive's own name: one file, never a pattern list.
    r.archives = true;
    r.filter.nameOn = true;
    r.subFolders = false;
    r.literal = true;
  }
  return r;
}

void CRXDoc::ChangeFolder(std::string_view path, UpdateObserver *sender, bool useInfo) {
  useInfo_ = useInfo;
  std::string search = SearchText();
  std::string given(TrimTrailingSlash(path));
  if (!given.empty()) {
    if (given == search) {
      UpdateAllViews(sender, kHintRedrawAll);
      return;
    }
    search = given;
  }
  ClearEntries(true);
  UpdateAllViews(sender, kHintCleared, UpdateArgument{0, 0, folder_});

  // A path that names an existing file or folder is never a pattern, whatever its name
  // holds; without a path the listing shown is listed again as it was.
  const bool archive = (given.empty() ? archiveListed_ : !NamePart(search).empty()) && IsRegularFile(search);
  if (archive) {
    // A file: list the members of the archive it is.
    folder_ = std::string(DirPart(search));
    pattern_ = std::string(NamePart(search));
  } else if (!given.empty() && !IsDirectory(given) && HasWildcard(NamePart(given))) {
    // A search text: its name part is the pattern of this listing.
    folder_ = std::string(DirPart(given));
    pattern_ = std::string(NamePart(given));
  } else {
    if (!given.empty()) folder_ = given;
    pattern_ = settings_.pathMask.empty() ? std::string("*.*") : settings_.pathMask;
  }
  archiveListed_ = archive;
  {
    ScanRequest r = BuildRequest(useInfo);
    BusyScope busy(*this);
    ListFolder(r);
    SortListing();
  }
  SetBusy(false);
  UpdateAllViews(sender, kHintListed, UpdateArgument{0, 0, folder_});
  AppendHistory();
  title_ = SearchText();
}

std::string CRXDoc::ReuseKey(const std::string &folder, const std::string &archive, const std::string &name,
                             uint32_t position, bool member) {
  std::string key = JoinPath(folder, member ? archive : name);
  if (member) {
    key += '\0';
    key += name;
    key += '\0';
    key += std::to_string(position);
  }
  return key;
}

void CRXDoc::RefreshFolder() { RefreshFolder(nullptr); }

void CRXDoc::RefreshFolder(std::shared_ptr<const FolderSnapshot> snapshot) {
  {
    BusyScope busy(*this);
    // The current entry stays current when its file is still there.
    const CPicEntry *current = GetEntry(current_);
    ClearEntries(false);
    {
      previousIndex_.clear();
      previousIndex_.reserve(previous_.size());
      for (std::size_t i = 0; i < previous_.size(); ++i) {
        const CPicEntry &e = *previous_[i];
        previousIndex_.try_emplace(
            ReuseKey(e.Folder(), e.ArchiveName(), e.name, e.position, e.IsArchiveMember()), i);
      }
    }
    UpdateAllViews(nullptr, kHintCleared, UpdateArgument{0, 0, folder_});

    useInfo_ = false;
    ScanRequest r = BuildRequest(false);
    r.reuse = true;
    snapshot_ = std::move(snapshot);
    ListFolder(r);
    snapshot_.reset();
    SortListing();
    CountSelected(true);
    if (current)
      for (std::size_t v = 0; v < order_.size(); ++v)
        if (entries_[order_[v]].get() == current) SetCurrent(static_cast<int>(v));
    // Files that are gone take their entries with them.
    previous_.clear();
    previousIndex_.clear();
  }
  SetBusy(false);
  UpdateAllViews(nullptr, kHintListed, UpdateArgument{0, 0, folder_});
  AppendHistory();
  title_ = SearchText();
}

bool CRXDoc::OpenFolder(std::string_view path) {
  std::string p(TrimTrailingSlash(path));
  if (p.empty()) return false;
  if (!IsDirectory(p)) {
    // Climb: a file opens its folder, a path that is gone its nearest existing parent.
    for (;;) {
      std::string parent(DirPart(p));
      if (parent.empty() || parent == p) return false;
      p = parent;
      if (IsDirectory(p)) break;
    }
  }
  ChangeFolder(p, nullptr, settings_.cacheFolder != 0);
  return true;
}

// --- history

void CRXDoc::AppendHistory() {
  if (g_historyMoves.load() > 0) return;
  std::string item = SearchText();
  history_.resize(static_cast<std::size_t>(historyPos_ + 1));
  history_.push_back(std::move(item));
  historyPos_ = static_cast<int>(history_.size()) - 1;
}

int CRXDoc::HistoryMoveCount() { return g_historyMoves.load(); }

void CRXDoc::ShowHistoryItem() {
  const std::string &item = history_[static_cast<std::size_t>(historyPos_)];
  HistoryMoveScope moving;
  if (IsRegularFile(item)) {
    UpdateAllViews(nullptr, kHintShowFolder, UpdateArgument{0, 0, item});
    return;
  }
  settings_.pathMask = std::string(NamePart(item));
  std::string folder(DirPart(item));
  UpdateAllViews(nullptr, kHintShowFolder, UpdateArgument{0, 0, folder});
}

void CRXDoc::HistoryBack() {
  if (!CanGoBack()) return;
  --historyPos_;
  ShowHistoryItem();
}

void CRXDoc::HistoryForward() {
  if (!CanGoForward()) return;
  ++historyPos_;
  ShowHistoryItem();
}

void CRXDoc::HistoryMoveTo(int position) {
  if (position < 0 || position >= static_cast<int>(history_.size()) || position == historyPos_) return;
  historyPos_ = position;
  ShowHistoryItem();
}

// --- display filter

void CRXDoc::ApplyDisplayFilter(const DisplayFilter &filter, const std::string &pattern) {
  bool changed = !(filter == filter_);
  std::string mask = pattern.empty() ? std::string("*.*") : pattern;
  if (mask != settings_.pathMask) {
    settings_.pathMask = mask;
    changed = true;
  }
  filter_ = filter;
  settings_.filterFileName = filter.nameOn;
  settings_.filterFileDate = filter.dateOn;
  settings_.filterFileSize = filter.sizeOn;
  if (!changed) return;
  // An archive being shown keeps its name as the pattern.
  if (!archiveListed_) pattern_ = mask;
  RefreshFolder();
}

}  // namespace tamro
