// Listing a folder: the file search, archive members, reuse on refresh and the decoder checks.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <new>

#include "catalogue/entrysort.h"
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
  if (result != 0) return result;
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
  if (snapshot_ && snapshot_->read && snapshot_->folder == request.folder) {
    for (const FoundFile &f : snapshot_->files)
      if (wanted(f.name)) found.push_back(&f);
  } else {
    DirStream dir(request.folder);
    if (!dir) return 0;
    FoundFile f;
    while (struct dirent *de = dir.Next()) {
      if (de->d_type == DT_DIR || IsDotName(de->d_name) || !wanted(de->d_name)) continue;
      if (StatRegularFile(dir.fd(), de->d_name, f)) read.push_back(f);
    }
    for (const FoundFile &file : read) found.push_back(&file);
  }
  std::vector<std::string_view> names;
  names.reserve(found.size());
  for (const FoundFile *f : found) names.push_back(f->name);
  for (std::size_t i : NameOrder(names, settings_.naturalSort != 0))
    if (const int r = take(*found[i]); r != 0) return r;
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
}

}  // namespace tamro
