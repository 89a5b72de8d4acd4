// Listing a folder: the file search, archive members, reuse on refresh and the decoder checks.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <new>
#include <unordered_map>

#include "catalogue/entrysort.h"
#include "catalogue/updatehint.h"
#include "catalogue/interrupt.h"
#include "catalogue/lockedinifile.h"
#include "catalogue/pathutil.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbcache.h"
#include "catalogue/wildcard.h"
#include "platform/fileio.h"
#include "platform/listfield.h"
#include "platform/text.h"

namespace tamro {

namespace {

class DirStream {
 public:
  explicit DirStream(const std::string &path) : d_(::opendir(path.c_str())) {}
  ~DirStream() {
    if (d_) ::closedir(d_);
  }
  DirStream(const DirStream &) = delete;
  DirStream &operator=(const DirStream &) = delete;
  explicit operator bool() const { return d_ != nullptr; }
  struct dirent *Next() {
    return ::readdir(d_);
  }
  int fd() const { return ::dirfd(d_); }

 private:
  DIR *d_;
};

bool IsDotName(const char *n) { return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)); }

FileTime ToFileTime(const struct statx_timestamp &t) {
  return static_cast<FileTime>(t.tv_sec) * kNanosPerSecond + t.tv_nsec;
}

// The facts of a directory's entry when it is a regular file: a pipe or a device would
// block or never end when read.
bool StatRegularFile(int dfd, const char *name, FoundFile &f) {
  struct statx sx {};
  if (::statx(dfd, name, AT_STATX_SYNC_AS_STAT, STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_BTIME,
              &sx) != 0 ||
      !S_ISREG(sx.stx_mode))
    return false;
  f.name.assign(name);
  f.size = sx.stx_size;
  f.lastWriteTime = ToFileTime(sx.stx_mtime);
  f.creationTime = (sx.stx_mask & STATX_BTIME) ? ToFileTime(sx.stx_btime) : f.lastWriteTime;
  return true;
}

// The same without the lookup when the directory tells the kind: the name alone.
bool NameRegularFile(int dfd, const struct dirent &de, FoundFile &f) {
  if (de.d_type == DT_UNKNOWN || de.d_type == DT_LNK) return StatRegularFile(dfd, de.d_name, f);
  if (de.d_type != DT_REG) return false;
  f.name.assign(de.d_name);
  f.size = 0;
  f.creationTime = f.lastWriteTime = 0;
  return true;
}

// The first 2048 bytes of a file, zero-filled past its end, as decoders expect to see them.
bool ReadHead(const std::string &path, unsigned char (&head)[SPI_HEAD_BYTES]) {
  std::string bytes;
  if (!ReadFileHead(path, sizeof head, bytes)) return false;
  std::memset(head, 0, sizeof head);
  std::memcpy(head, bytes.data(), std::min(bytes.size(), sizeof head));
  return true;
}

// The cache and lock files a folder may hold; never listed, whatever their case.
class HiddenNames {
 public:
  explicit HiddenNames(const std::string &thumbsFile) {
    for (const char *n : {CRXDoc::kInfoFileName, CRXDoc::kThumbStoreName, CRXDoc::kNoteFileName}) Add(n);
    if (!thumbsFile.empty()) Add(thumbsFile);
  }
  bool Contains(std::string_view name) const {
    for (const auto &n : names_)
      if (EqualsNoCase(n, name)) return true;
    return IsTemporary(name);
  }

 private:
  // What an atomic write leaves behind when it is cut short: Tamro's own temporaries, and
  // those of older versions (a cache file's name, ".", six characters).
  static bool IsTemporary(std::string_view name) {
    if (IsTamroTempName(name)) return true;
    for (std::string_view cache : {CRXDoc::kInfoFileName, CRXDoc::kThumbStoreName, CRXDoc::kNoteFileName})
      if (name.size() == cache.size() + 7 && name[cache.size()] == '.' && StartsWithNoCase(name, cache))
        return true;
    return false;
  }

  void Add(const std::string &name) {
    names_.push_back(name);
    names_.push_back(LockPathFor(name));
  }
  std::vector<std::string> names_;
};

// Member names from archives made on older systems may be in code page 932.
std::string MemberName(const ArchiveMember &m) { return LegacyToUtf8(m.name); }

}  // namespace

FolderSnapshot SnapshotFolder(const std::string &folder) {
  FolderSnapshot snapshot;
  snapshot.folder = folder;
  DirStream dir(folder);
  if (!dir) return snapshot;
  FoundFile f;
  while (struct dirent *de = dir.Next())
    if (de->d_type != DT_DIR && !IsDotName(de->d_name) && StatRegularFile(dir.fd(), de->d_name, f))
      snapshot.files.push_back(f);
  snapshot.read = true;
  return snapshot;
}

bool CRXDoc::IsOwnFileName(std::string_view name) {
  static const HiddenNames names{std::string(kInfoFileName)};
  return names.Contains(name);
}

bool CRXDoc::CheckInterrupt() { return interrupt_ && interrupt_->CheckInterrupt(); }

int CRXDoc::ListFolder(ScanRequest &request) {
  changes_.reset();
  listed_.reset();
  listedEntry_.clear();
  if (thumbCache_) {
    thumbCache_->Clear();
    // Read while the folder is searched, so that no thumbnail request waits for the file.
    if (useInfo_ || settings_.cacheFolder || settings_.autoCacheFolder) thumbCache_->ReadAhead(request.folder);
  }
  supplied_.clear();
  infoRead_.clear();
  std::vector<std::string> patterns;
  if (!request.filter.nameOn) {
    patterns.emplace_back("*.*");
  } else if (request.literal) {
    patterns.push_back(request.pattern);
  } else {
    std::string list = request.pattern;
    std::replace(list.begin(), list.end(), ';', ',');
    std::string field;
    for (int n = 0; GetListField(list, n, field) >= 0; ++n) {
      field = std::string(TrimBlanks(field));
      if (!field.empty()) patterns.push_back(field);
    }
  }
  // Only a listing of one folder read once, file by file, can take changes in later.
  plainListing_ = patterns.size() == 1 && !request.subFolders && !request.literal && !archiveListed_;
  int result = 0;
  for (std::size_t n = 0; result == 0 && n < patterns.size(); ++n) {
    ScanRequest one = request;
    one.pattern = patterns[n];
    one.literal = request.literal && request.filter.nameOn;
    visited_.clear();
    result = ScanFolder(one);
    request.count = one.count;
  }
  if (result == kListInterrupted) {
    ClearEntries(true);
    UpdateAllViews(nullptr, kHintCleared, UpdateArgument{0, 0, folder_});
    return result;
  }
  if (result != 0) {
    listed_.reset();
    return result;
  }
  // Entries the old folder index supplied are not in the files read.
  if (!supplied_.empty()) listed_.reset();
  BuildDisplayOrder(request);
  return 0;
}

int CRXDoc::ScanFolder(ScanRequest &request) {
  // The old index is read once per folder and listing, however many patterns there are;
  // reading it for each pattern would add its entries once per pattern.
  if (request.useInfo) {
    std::string info = JoinPath(request.folder, kInfoFileName);
    if (IsRegularFile(info) && infoRead_.insert(request.folder).second)
      request.count += ReadFolderInfo(request.folder);
  }
  look_ = baseLook_;
  folderCellSize_ = settings_.thumbsSize;

  int result = ScanFiles(request);
  if (!request.subFolders || result != 0) return result;

  std::vector<std::string> subFolders;
  {
    DirStream dir(request.folder);
    if (!dir) return 0;
    while (struct dirent *de = dir.Next()) {
      if (IsDotName(de->d_name)) continue;
      bool isDir = de->d_type == DT_DIR;
      if (de->d_type == DT_UNKNOWN || de->d_type == DT_LNK) {
        struct stat st {};
        isDir = ::fstatat(dir.fd(), de->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
      }
      if (isDir) subFolders.emplace_back(de->d_name);
    }
  }
  {
    const std::vector<std::string_view> names(subFolders.begin(), subFolders.end());
    std::vector<std::string> sorted;
    sorted.reserve(subFolders.size());
    for (std::size_t i : NameOrder(names, settings_.naturalSort != 0)) sorted.push_back(subFolders[i]);
    subFolders = std::move(sorted);
  }
  struct stat self {};
  if (::stat(request.folder.c_str(), &self) == 0) visited_.insert({self.st_dev, self.st_ino});
  for (const auto &name : subFolders) {
    ScanRequest sub = request;
    sub.folder = JoinPath(request.folder, name);
    // A link back up the tree would be listed without end; each folder is visited once.
    struct stat st {};
    if (::stat(sub.folder.c_str(), &st) != 0) continue;
    if (!visited_.insert({st.st_dev, st.st_ino}).second) continue;
    result = ScanFolder(sub);
    request.count = sub.count;
    if (result != 0) return result;
  }
  return 0;
}

int CRXDoc::ScanFiles(ScanRequest &request) {
  std::string thumbsFile = kInfoFileName;
  {
    CLockedIniFile info;
    info.Open(JoinPath(request.folder, kInfoFileName), CLockedIniFile::kNoLock);
    std::string v;
    if (info.GetValue("Document", "ThumbsFile", v) == 0) {
      std::string name;
      GetListField(v, 0, name);
      if (!name.empty()) thumbsFile = std::string(NamePart(name));
    }
  }
  HiddenNames hidden(thumbsFile);
  bool archives = request.archives && decoders_ && decoders_->HasArchiveDecoders();

  // One file found: listed as an archive's members or as a picture entry.
  auto take = [&](const FoundFile &f) -> int {
    if (!request.filter.KeepsTime(f.lastWriteTime) || !request.filter.KeepsSize(f.size)) return 0;
    int result = kListNotArchive;
    if (archives) {
      result = ListArchive(request, f, 0);
      if (result == kListInterrupted || result == kListNoMemory) return result;
    }
    if (result == kListNotArchive) {
      result = AddFileEntry(request, f, -1, nullptr);
      if (result == 0) ++request.count;
    }
    // A file that could not be listed (an unreadable archive, no memory for one entry) is
    // left out and the search goes on.
    if (result == 0 && CheckInterrupt()) return kListInterrupted;
    return 0;
  };
  auto wanted = [&](std::string_view name) {
    const bool match = request.literal ? name == request.pattern : SearchPatternMatch(request.pattern, name);
    return match && !hidden.Contains(name);
  };

  // The files in name order: the order a directory gives is the file system's own (a hash
  // or the newest first), which shows every folder shuffled.
  std::vector<FoundFile> read;
  std::vector<const FoundFile *> found;
  const bool fromSnapshot = snapshot_ && snapshot_->read && snapshot_->folder == request.folder;
  if (fromSnapshot) {
    for (const FoundFile &f : snapshot_->files)
      if (wanted(f.name)) found.push_back(&f);
  } else {
    DirStream dir(request.folder);
    if (!dir) return 0;
    FoundFile f;
    while (struct dirent *de = dir.Next()) {
      if (de->d_type == DT_DIR || IsDotName(de->d_name) || !wanted(de->d_name)) continue;
      if (request.fileFacts ? StatRegularFile(dir.fd(), de->d_name, f) : NameRegularFile(dir.fd(), *de, f))
        read.push_back(f);
    }
    for (const FoundFile &file : read) found.push_back(&file);
  }
  std::vector<std::string_view> names;
  names.reserve(found.size());
  for (const FoundFile *f : found) names.push_back(f->name);
  // Changes are found by size and time, so a listing without them cannot take any in.
  const bool record = plainListing_ && request.folder == folder_ && request.fileFacts;
  const FoundFile *base = fromSnapshot ? snapshot_->files.data() : read.data();
  if (record) listedEntry_.assign(fromSnapshot ? snapshot_->files.size() : read.size(), -1);
  for (std::size_t i : NameOrder(names, settings_.naturalSort != 0)) {
    const std::size_t before = entries_.size();
    if (const int r = take(*found[i]); r != 0) return r;
    if (record && entries_.size() > before)
      listedEntry_[static_cast<std::size_t>(found[i] - base)] =
          entries_.size() == before + 1 && !entries_.back()->IsArchiveMember() ? static_cast<int>(before) : -2;
  }
  if (record) {
    if (fromSnapshot) {
      listed_ = snapshot_;
    } else {
      auto files = std::make_shared<FolderSnapshot>();
      files->folder = request.folder;
      files->files = std::move(read);
      files->read = true;
      listed_ = std::move(files);
    }
  }
  return 0;
}

int CRXDoc::ListArchive(ScanRequest &request, const FoundFile &file, int firstPlugin) {
  if (!decoders_) return kListNotArchive;
  std::string path = JoinPath(request.folder, file.name);
  unsigned char head[SPI_HEAD_BYTES];
  if (!ReadHead(path, head)) return kListNotArchive;
  for (int start = firstPlugin;;) {
    int position = decoders_->FindArchiveDecoder(path, head, sizeof head, start);
    if (position < 0 || position < start) return kListNotArchive;
    std::vector<ArchiveMember> members;
    int r = decoders_->ListArchive(position, path, members);
    if (r == 1) {
      start = position + 1;  // not this plug-in's format after all: the next one may take it
      continue;
    }
    if (r != 0) return kListFailed;
    for (const auto &m : members) {
      int a = AddFileEntry(request, file, position, &m);
      if (a == 0) ++request.count;
      if (CheckInterrupt()) return kListInterrupted;
    }
    return kListOk;
  }
}

int CRXDoc::AddFileEntry(ScanRequest &request, const FoundFile &file, int archivePosition,
                         const ArchiveMember *member) {
  try {
    bool isMember = member != nullptr;
    std::string name = isMember ? MemberName(*member) : file.name;
    // A record without a name (a folder inside the archive) is no picture.
    if (name.empty()) return kListNotArchive;
    uint64_t size = isMember ? member->fileSize : file.size;
    FileTime stamp = isMember ? static_cast<FileTime>(member->timeStamp) * kNanosPerSecond : 0;
    FileTime creation = isMember ? stamp : file.creationTime;
    FileTime lastWrite = isMember ? stamp : file.lastWriteTime;
    uint32_t position = isMember ? member->position : 0;
    std::string key;
    if (!supplied_.empty() || !previousIndex_.empty())
      key = ReuseKey(request.folder, isMember ? file.name : std::string(), name, position, isMember);
    // Files the old folder index already supplied are not listed twice.
    if (!supplied_.empty() && supplied_.count(key)) return kListNotArchive;

    if (request.reuse && !previousIndex_.empty()) {
      auto it = previousIndex_.find(key);
      if (it != previousIndex_.end() && it->second < previous_.size() && previous_[it->second]) {
        std::unique_ptr<CPicEntry> e = std::move(previous_[it->second]);
        previousIndex_.erase(it);
        if (e->size != size || e->lastWriteTime != lastWrite) {
          e->Reset();
          e->size = size;
          e->creationTime = creation;
          e->lastWriteTime = lastWrite;
        }
        e->switches = Switches();
        AppendEntry(std::move(e));
        return 0;
      }
    }

    auto e = std::make_unique<CPicEntry>();
    e->SetFolder(FolderRef(request.folder));
    if (isMember) {
      if (!archiveRef_ || *archiveRef_ != file.name)
        archiveRef_ = std::make_shared<const std::string>(file.name);
      e->SetArchiveName(archiveRef_);
      e->archiveDecoderIndex = archivePosition;
      e->position = position;
    }
    e->name = std::move(name);
    e->size = size;
    e->creationTime = creation;
    e->lastWriteTime = lastWrite;
    e->switches = Switches();
    e->SetLook(look_);
    e->useCache = useInfo_;
    AppendEntry(std::move(e));
    return 0;
  } catch (const std::bad_alloc &) {
    return kListNoMemory;
  }
}

bool CRXDoc::AcceptedByDecoder(const CPicEntry &e) {
  unsigned char head[SPI_HEAD_BYTES];
  if (!e.IsArchiveMember()) {
    std::string path = e.FullPath();
    if (!ReadHead(path, head)) return false;
    return decoders_->FindPictureDecoder(path, head, sizeof head, 0, -1) >= 0;
  }
  GlobalHandle block;
  if (decoders_->ExtractMember(e.archiveDecoderIndex, e.ArchivePath(), e.position, block) != 0) return false;
  GlobalLockGuard bytes(block.get());
  std::memset(head, 0, sizeof head);
  if (bytes) std::memcpy(head, bytes.get(), std::min(block.size(), sizeof head));
  return decoders_->FindPictureDecoder(e.name, head, sizeof head, 0, e.archiveDecoderIndex) >= 0;
}

void CRXDoc::BuildDisplayOrder(ScanRequest &request) {
  bool scanSpi = settings_.scanSpi != 0 && decoders_;
  bool pluginExt = settings_.pluginExt != 0 && decoders_;
  if (!scanSpi && !pluginExt) {
    order_.resize(entries_.size());
    visibleOfStale_ = true;
    for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<uint32_t>(i);
    entries_.shrink_to_fit();
    return;
  }
  std::string extensions;
  if (pluginExt) {
    extensions = decoders_->PictureFilter();
    if (request.archives) extensions += ";" + decoders_->ArchiveFilter();
  }
  std::map<int, std::string> memberFilters;
  std::size_t count;
  { count = entries_.size(); }
  // Kept entries move down over the dropped ones; the order only ever names moved ones.
  std::size_t kept = 0;
  std::vector<int> keptAs(listedEntry_.empty() ? 0 : count, -1);
  bool stopped = false;
  for (std::size_t i = 0; i < count; ++i) {
    CPicEntry *e;
    { e = entries_[i].get(); }
    bool keep = true;
    if (!stopped) {
      if (scanSpi) keep = AcceptedByDecoder(*e);
      if (keep && pluginExt) {
        const std::string *list = &extensions;
        if (e->IsArchiveMember()) {
          auto it = memberFilters.find(e->archiveDecoderIndex);
          if (it == memberFilters.end())
            it = memberFilters
                     .emplace(e->archiveDecoderIndex, decoders_->ArchiveMemberFilter(e->archiveDecoderIndex))
                     .first;
          list = &it->second;
        }
        keep = MatchExtensionList(e->name, *list);
      }
    }
    {
      if (!keep) {
        entries_[i].reset();
        continue;
      }
      if (kept != i) entries_[kept] = std::move(entries_[i]);
      if (i < keptAs.size()) keptAs[i] = static_cast<int>(kept);
      if (!stopped) order_.push_back(static_cast<uint32_t>(kept));
      visibleOfStale_ = true;
      ++kept;
    }
    if (stopped) continue;
    if (settings_.syncFind)
      UpdateAllViews(nullptr, kHintEntryAdded, UpdateArgument{static_cast<long>(order_.size()) - 1, 0, {}});
    if (CheckInterrupt()) stopped = true;
  }
  entries_.resize(kept);
  entries_.shrink_to_fit();
  if (stopped) listed_.reset();
  for (int &i : listedEntry_)
    if (i >= 0) i = static_cast<std::size_t>(i) < keptAs.size() ? keptAs[static_cast<std::size_t>(i)] : -1;
}

// --- changes taken in without reading the folder again

FolderChanges CompareFolder(std::shared_ptr<const FolderSnapshot> listed, std::shared_ptr<const FolderSnapshot> now) {
  FolderChanges c;
  c.listed = std::move(listed);
  c.now = std::move(now);
  if (!c.listed || !c.now) return c;
  const auto &before = c.listed->files;
  const auto &after = c.now->files;
  std::unordered_map<std::string_view, int> place;
  place.reserve(before.size());
  for (std::size_t i = 0; i < before.size(); ++i) place.emplace(before[i].name, static_cast<int>(i));
  std::vector<char> seen(before.size(), 0);
  c.oldPlace.assign(after.size(), -1);
  for (std::size_t i = 0; i < after.size(); ++i) {
    auto it = place.find(after[i].name);
    if (it == place.end()) {
      c.added.push_back(static_cast<int>(i));
      continue;
    }
    const FoundFile &old = before[static_cast<std::size_t>(it->second)];
    seen[static_cast<std::size_t>(it->second)] = 1;
    c.oldPlace[i] = it->second;
    if (old.size != after[i].size || old.lastWriteTime != after[i].lastWriteTime) c.changed.push_back(static_cast<int>(i));
  }
  for (std::size_t i = 0; i < before.size(); ++i)
    if (!seen[i]) c.removed.push_back(static_cast<int>(i));
  return c;
}

bool CRXDoc::BeginChanges(FolderChanges changes) {
  if (IsBusy() || !listed_ || changes.listed != listed_ || !changes.now || !changes.now->read ||
      changes.now->folder != folder_ || listedEntry_.size() != listed_->files.size())
    return false;
  // More changes than files: reading the folder again is cheaper.
  if (changes.Count() > listed_->files.size()) return false;
  // Only keys that entries can be placed by one at a time; a file that gave archive members
  // takes them all along, which a new reading does best.
  for (const SortKey &key : sort_.history())
    if (key.state == 0 || key.column == kSortDecoder || key.column == kSortNote) return false;
  for (int p : changes.removed)
    if (listedEntry_[static_cast<std::size_t>(p)] == -2) return false;
  for (int p : changes.changed)
    if (listedEntry_[static_cast<std::size_t>(changes.oldPlace[static_cast<std::size_t>(p)])] == -2) return false;
  auto work = std::make_unique<ChangeWork>();
  work->thumbsFile = kInfoFileName;
  {
    CLockedIniFile info;
    info.Open(JoinPath(folder_, kInfoFileName), CLockedIniFile::kNoLock);
    std::string v, name;
    if (info.GetValue("Document", "ThumbsFile", v) == 0 && (GetListField(v, 0, name), !name.empty()))
      work->thumbsFile = std::string(NamePart(name));
  }
  work->placeEntry.assign(changes.now->files.size(), -3);
  work->c = std::move(changes);
  changes_ = std::move(work);
  return true;
}

std::size_t CRXDoc::SortedPlace(int index) {
  const CPicEntry &a = *entries_[static_cast<std::size_t>(index)];
  const bool natural = settings_.naturalSort != 0;
  const auto &history = sort_.history();
  static const std::string kNoName;
  // Before `b` in the order a new listing sorted by the history would give.
  auto before = [&](uint32_t ib) {
    const CPicEntry &b = *entries_[ib];
    for (const SortKey &key : history)
      if (const int c = CompareEntries(a, index, b, static_cast<int>(ib), key, kNoName, kNoName, natural))
        return c < 0;
    const std::vector<std::string_view> two{a.name, b.name};
    return NameOrder(two, natural)[0] == 0;
  };
  return static_cast<std::size_t>(
      std::partition_point(order_.begin(), order_.end(), [&](uint32_t ib) { return !before(ib); }) -
      order_.begin());
}

void CRXDoc::TakeOutOfOrder(const std::vector<int> &indices) {
  if (indices.empty()) return;
  std::vector<char> gone(entries_.size(), 0);
  for (int i : indices) gone[static_cast<std::size_t>(i)] = 1;
  std::vector<int> places;
  std::size_t kept = 0;
  for (std::size_t v = 0; v < order_.size(); ++v) {
    if (gone[order_[v]]) {
      // Only what is displayed counts; an entry a command took out already is left alone.
      if (entries_[order_[v]]->IsSelected() && selected_ > 0) --selected_;
      places.push_back(static_cast<int>(v));
      continue;
    }
    order_[kept++] = order_[v];
  }
  order_.resize(kept);
  visibleOfStale_ = true;
  if (current_ >= 0) {
    const auto below = std::lower_bound(places.begin(), places.end(), current_);
    current_ = below != places.end() && *below == current_ ? -1 : current_ - static_cast<int>(below - places.begin());
  }
  // The last first, so that each index names the entry as the views still count.
  for (auto it = places.rbegin(); it != places.rend(); ++it)
    UpdateAllViews(nullptr, kHintEntryRemoved, UpdateArgument{*it, 0, {}});
}

void CRXDoc::PutInOrder(int index) {
  const std::size_t v = SortedPlace(index);
  order_.insert(order_.begin() + static_cast<std::ptrdiff_t>(v), static_cast<uint32_t>(index));
  visibleOfStale_ = true;
  const CPicEntry &e = *entries_[static_cast<std::size_t>(index)];
  if (e.IsSelected()) ++selected_;
  if (e.IsCurrent())
    current_ = static_cast<int>(v);
  else if (current_ >= static_cast<int>(v))
    ++current_;
  UpdateAllViews(nullptr, kHintEntryAdded, UpdateArgument{static_cast<long>(v), 0, {}});
}

bool CRXDoc::ApplyChanges(int budgetMs) {
  if (!changes_) return true;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(budgetMs);
  ChangeWork &w = *changes_;
  const FolderChanges &c = w.c;
  const std::vector<FoundFile> &files = c.now->files;
  auto step = [&]() -> bool {
    switch (w.phase) {
      case 0: {  // files gone, a few at a time
        std::vector<int> gone;
        while (w.step < c.removed.size() && gone.size() < 64) {
          const int e = listedEntry_[static_cast<std::size_t>(c.removed[w.step++])];
          if (e >= 0) gone.push_back(e);
        }
        TakeOutOfOrder(gone);
        for (int i : gone) {
          CPicEntry &e = *entries_[static_cast<std::size_t>(i)];
          if (thumbCache_) thumbCache_->Remove(e);
          e.stored = false;
          e.FreePictures();
          e.flags &= ~(CPicEntry::kCurrent | CPicEntry::kSelected);
        }
        if (w.step >= c.removed.size()) w.phase = 1, w.step = 0;
        return true;
      }
      case 1: {  // files rewritten: read again, placed again
        if (w.step >= c.changed.size()) {
          w.phase = 2, w.step = 0;
          return true;
        }
        const int p = c.changed[w.step++];
        const FoundFile &f = files[static_cast<std::size_t>(p)];
        const int i = listedEntry_[static_cast<std::size_t>(c.oldPlace[static_cast<std::size_t>(p)])];
        if (i < 0) {
          w.retake.push_back(p);
          return true;
        }
        CPicEntry &e = *entries_[static_cast<std::size_t>(i)];
        // Its selection and current mark go along to its new place.
        TakeOutOfOrder({i});
        if (thumbCache_) thumbCache_->Remove(e);
        e.Reset();
        e.size = f.size;
        e.creationTime = f.creationTime;
        e.lastWriteTime = f.lastWriteTime;
        e.switches = Switches();
        w.placeEntry[static_cast<std::size_t>(p)] = i;
        PutInOrder(i);
        return true;
      }
      case 2: {  // new files, and rewritten ones that were not listed before
        const std::size_t total = c.added.size() + w.retake.size();
        if (w.step >= total) {
          w.phase = 3;
          return true;
        }
        const int p = w.step < c.added.size() ? c.added[w.step] : w.retake[w.step - c.added.size()];
        ++w.step;
        const FoundFile &f = files[static_cast<std::size_t>(p)];
        w.placeEntry[static_cast<std::size_t>(p)] = -1;
        const HiddenNames hidden(w.thumbsFile);
        ScanRequest r = BuildRequest(false);
        const bool match = SearchPatternMatch(r.pattern, f.name) && !hidden.Contains(f.name);
        if (!match || !r.filter.KeepsTime(f.lastWriteTime) || !r.filter.KeepsSize(f.size)) return true;
        const std::size_t before = entries_.size();
        int result = kListNotArchive;
        if (r.archives && decoders_ && decoders_->HasArchiveDecoders()) result = ListArchive(r, f, 0);
        if (result == kListNotArchive) AddFileEntry(r, f, -1, nullptr);
        if (entries_.size() == before) return true;
        w.placeEntry[static_cast<std::size_t>(p)] =
            entries_.size() == before + 1 && !entries_.back()->IsArchiveMember() ? static_cast<int>(before) : -2;
        const bool scanSpi = settings_.scanSpi != 0 && decoders_;
        const bool pluginExt = settings_.pluginExt != 0 && decoders_;
        for (std::size_t i = before; i < entries_.size(); ++i) {
          CPicEntry &e = *entries_[i];
          bool keep = !scanSpi || AcceptedByDecoder(e);
          if (keep && pluginExt) {
            std::string list = e.IsArchiveMember() ? decoders_->ArchiveMemberFilter(e.archiveDecoderIndex)
                                                   : decoders_->PictureFilter();
            if (!e.IsArchiveMember() && r.archives) list += ";" + decoders_->ArchiveFilter();
            keep = MatchExtensionList(e.name, list);
          }
          // An entry left out stays outside the order, as a removed one does.
          if (keep) PutInOrder(static_cast<int>(i));
        }
        return true;
      }
      default: {  // the new reading is what the listing read now
        std::vector<int> now(files.size(), -1);
        for (std::size_t p = 0; p < files.size(); ++p) {
          const int set = w.placeEntry[p];
          const int old = c.oldPlace[p];
          now[p] = set != -3 ? set : old >= 0 ? listedEntry_[static_cast<std::size_t>(old)] : -1;
        }
        listedEntry_ = std::move(now);
        listed_ = c.now;
        return false;
      }
    }
  };
  while (step())
    if (Clock::now() >= end) return false;
  changes_.reset();
  return true;
}

}  // namespace tamro
