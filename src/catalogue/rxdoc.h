#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "catalogue/displayfilter.h"
#include "catalogue/docsettings.h"
#include "catalogue/picentry.h"
#include "catalogue/sortstate.h"
#include "catalogue/updatehint.h"
#include "decode/spihost.h"

namespace tamro {

class PictureDecoders;
class InterruptSource;
class Profile;
class ThumbCache;

// What one listing pass asks for. Built from the document settings each time.
struct ScanRequest {
  std::string folder;
  std::string pattern;   // pattern list: ";" or "," between patterns
  bool literal = false;  // the pattern is one file's own name (an archive opened by its path)
  bool archives = false;
  bool subFolders = false;
  bool useInfo = false;  // read the old folder index first
  int count = 0;         // entries added so far
  bool reuse = false;    // look for each file among the previous entries (refresh)
  bool fileFacts = true;  // read each file's size and times; off: names and kinds only
  DisplayFilter filter;
};

// A file the folder search found.
struct FoundFile {
  std::string name;
  uint64_t size = 0;
  FileTime creationTime = 0, lastWriteTime = 0;
};

// The regular files of one folder with their facts, read on any thread (SnapshotFolder),
// for a listing to take instead of reading the folder itself.
struct FolderSnapshot {
  std::string folder;
  std::vector<FoundFile> files;
  bool read = false;  // the folder could be read
};
FolderSnapshot SnapshotFolder(const std::string &folder);

// How a new reading of a folder differs from the files a listing read, found on any thread.
struct FolderChanges {
  std::shared_ptr<const FolderSnapshot> listed, now;
  std::vector<int> oldPlace;  // per file of `now`: its place among the listed files, -1 when new
  std::vector<int> removed;   // places among the listed files of the files gone
  std::vector<int> changed;   // places in `now` of files whose size or time differ
  std::vector<int> added;     // places in `now` of new files
  std::size_t Count() const { return removed.size() + changed.size() + added.size(); }
};
FolderChanges CompareFolder(std::shared_ptr<const FolderSnapshot> listed, std::shared_ptr<const FolderSnapshot> now);

// An entry as the old folder index describes it.
struct IndexedEntry {
  PictureFacts facts;
  std::string folder, name;
  uint64_t size = 0;
  FileTime creationTime = 0, lastWriteTime = 0;
  std::string description;
  int sizeBoxWidth = 0, sizeBoxHeight = 0;
  int archiveDecoderIndex = -1;
  std::string archiveName;
  uint32_t position = 0;
};

// Listing results.
enum ListResult : int {
  kListOk = 0,
  kListNotArchive = 1,
  kListInterrupted = 2,
  kListNoMemory = 3,
  kListFailed = -1
};

// The folder document: the entries of the current folder, the display order the views show,
// the selection, the folder history and the settings that steer listing and drawing. It runs
// on the main thread and nowhere else: workers are handed plain copies of what they need.
class CRXDoc {
 public:
  static constexpr const char *kInfoFileName = "DIRINFO.RXI";
  static constexpr const char *kThumbStoreName = "_THUMBS_.RXI";
  static constexpr const char *kNoteFileName = "_NOTE_.RXI";

  // Loads the settings from `profile` (the program's store when none is given).
  explicit CRXDoc(Profile *profile = nullptr);
  // Writes nothing: SaveSettings does, at shutdown.
  virtual ~CRXDoc();
  CRXDoc(const CRXDoc &) = delete;
  CRXDoc &operator=(const CRXDoc &) = delete;

  // --- collaborators (not owned; null for none)
  void SetDecoders(PictureDecoders *decoders) { decoders_ = decoders; }
  PictureDecoders *Decoders() const { return decoders_; }
  void SetThumbCache(ThumbCache *cache) { thumbCache_ = cache; }
  ThumbCache *GetThumbCache() const { return thumbCache_; }
  void SetInterruptSource(InterruptSource *source) { interrupt_ = source; }

  // --- views
  void AddObserver(UpdateObserver *observer);
  void RemoveObserver(UpdateObserver *observer);
  // Tells every observer but the sender.
  void UpdateAllViews(UpdateObserver *sender, int hint, const UpdateArgument &arg = {});

  // --- settings
  const DocSettings &Settings() const { return settings_; }
  // Takes new settings (the option dialogs): rebuilds the look and caption items, copies
  // the drawing switches into every displayed entry and writes the settings.
  void ApplySettings(const DocSettings &settings);
  bool SaveSettings();
  const std::vector<std::string> &CaptionItems() const { return captionItems_; }
  const FontDescription &CaptionFont() const { return look_->font; }
  const FontDescription &ViewFont() const { return viewFont_; }
  const EntryLookPtr &Look() const { return look_; }
  DrawSwitches Switches() const;
  CellSize ThumbsSize() const { return settings_.thumbsSize; }
  CellSize FolderCellSize() const { return folderCellSize_; }
  const DisplayFilter &Filter() const { return filter_; }

  // --- entries
  int GetEntryCount() const;
  // The entry at a visible index with the current colours and font, or null.
  CPicEntry *GetEntry(int visibleIndex);
  int GetEntryIndex(int visibleIndex) const;
  // The visible index of an entry by its index in all entries; -1 when it is not displayed.
  int VisibleIndexOf(int index) const;
  bool SetEntryIndex(int visibleIndex, int index);
  // All entries, displayed or not, by their index.
  // Whether any picture decoder accepts the entry's first bytes (an entry not yet examined).
  bool AcceptedByDecoder(const CPicEntry &e);
  int GetAllEntryCount() const;
  CPicEntry *GetEntryAt(int index);
  void SetEntryFlags(int visibleIndex, int flags);
  int CountSelected(bool recount);
  void SetCurrent(int visibleIndex);
  int Current() const { return current_; }
  void RemoveEntryAt(int visibleIndex);
  void ClearEntries(bool deleteObjects);
  CPicEntry *AddEntry(const IndexedEntry &e);

  bool IsBusy() const { return busy_.load() != 0; }
  void SetBusy(bool busy) { busy_.store(busy ? 1 : 0); }

  // --- listing
  const std::string &Folder() const { return folder_; }
  const std::string &Pattern() const { return pattern_; }
  std::string SearchText() const;
  const std::string &Title() const { return title_; }
  bool UseInfo() const { return useInfo_; }
  void SetUseInfo(bool on) { useInfo_ = on; }
  // Off: listings leave sizes and times unread (zero) unless the filters or the sort need
  // them, which saves a lookup per file for a tool that lists once and only writes names
  // (a later sort by size or time would sort zeros).
  void SetFileFactsWanted(bool wanted) { fileFactsWanted_ = wanted; }

  // A path that names an existing file opens it as an archive, one that names a folder
  // lists it, whatever characters either name holds; only a path to nothing may carry a
  // pattern in its name part.
  void ChangeFolder(std::string_view path, UpdateObserver *sender, bool useInfo);
  void RefreshFolder();
  // The same with the folder's files read already (on another thread); the snapshot is
  // used for that folder only, subfolders are read as usual.
  void RefreshFolder(std::shared_ptr<const FolderSnapshot> snapshot);
  // The files the listing read of its folder, for a new reading to be compared with (on
  // another thread); null when the listing is more than one plain folder read once.
  std::shared_ptr<const FolderSnapshot> ListedFiles() const { return listed_; }
  // Takes changes found against ListedFiles() into the listing a few at a time, so that the
  // views go on between steps: removed entries go, changed ones are read again, new files
  // are listed in their sorted places; the selection, the current entry and the order of
  // the others stay. False (nothing done) when the changes are not against this listing or
  // cannot be taken in parts; the folder is then to be read again as a whole.
  bool BeginChanges(FolderChanges changes);
  // Takes in changes for about `budgetMs`; true when none are left.
  bool ApplyChanges(int budgetMs);
  bool ApplyingChanges() const { return changes_ != nullptr; }
  // Opens a folder as at start: a file path opens its folder; a path that does not exist
  // climbs to the nearest existing parent. False (nothing changed) when nothing is left.
  bool OpenFolder(std::string_view path);
  ScanRequest BuildRequest(bool useInfo) const;
  // The listing shows the members of the archive named by folder + pattern.
  bool ListsArchive() const { return archiveListed_; }
  int ListFolder(ScanRequest &request);
  int ScanFolder(ScanRequest &request);
  int ScanFiles(ScanRequest &request);
  int ListArchive(ScanRequest &request, const FoundFile &file, int firstPlugin);
  int AddFileEntry(ScanRequest &request, const FoundFile &file, int archivePosition,
                   const ArchiveMember *member);
  // Reads the old folder index of a folder; answers the number of entries it added.
  int ReadFolderInfo(const std::string &folder);
  // The files Tamro keeps in a folder (index, thumbnail store, notes, their lock files and
  // temporaries): never listed, and a change to them is no change of the folder's pictures.
  static bool IsOwnFileName(std::string_view name);

  // --- folder history
  const std::vector<std::string> &History() const { return history_; }
  int HistoryPosition() const { return historyPos_; }
  bool CanGoBack() const { return historyPos_ > 0; }
  bool CanGoForward() const {
    return historyPos_ >= 0 && historyPos_ + 1 < static_cast<int>(history_.size());
  }
  void HistoryBack();
  void HistoryForward();
  void HistoryMoveTo(int position);
  // Non-zero while a history move is being shown; the listing it causes is not recorded.
  static int HistoryMoveCount();

  // --- sorting
  CSortState &Sort() { return sort_; }
  const CSortState &Sort() const { return sort_; }
  // Moves the sort state (CSortState::SortBy) and sorts the display order by it.
  void SortBy(int column, int state, UpdateObserver *sender = nullptr);
  void OnSortCommand(SortCommand command, UpdateObserver *sender = nullptr);
  bool IsSortCommandChecked(SortCommand command) const { return sort_.IsCommandChecked(command); }
  // Sorts by every history key from the oldest to the newest (after a listing, re-sort).
  void ApplySortHistory(UpdateObserver *sender = nullptr);
  // Makes `order` (entry indices) the display order: busy meanwhile, then hint 0.
  void WriteOrderBack(const std::vector<int> &order, UpdateObserver *sender);

  // --- display filter
  // Takes the filter (and pattern) the filter dialog confirmed; refreshes when either changed.
  void ApplyDisplayFilter(const DisplayFilter &filter, const std::string &pattern);

 private:
  // Sets the busy flag for a scope and puts back what was there, so that a nested step
  // that ends does not clear the flag of the listing around it.
  struct BusyScope {
    explicit BusyScope(CRXDoc &d) : doc(d), old(d.busy_.exchange(1)) {}
    ~BusyScope() { doc.busy_.store(old); }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;
    CRXDoc &doc;
    int old;
  };
  void RebuildLook();
  void AppendHistory();
  void ShowHistoryItem();
  bool CheckInterrupt();
  void BuildDisplayOrder(ScanRequest &request);
  // A complete listing is put in the order of the sort history here, whichever views there
  // are yet, so that no view ever shows it unsorted; the views hear of it with hint 2.
  void SortListing();
  void SetDisplayOrder(const std::vector<int> &order);
  void AppendEntry(std::unique_ptr<CPicEntry> entry);
  std::shared_ptr<const std::string> FolderRef(const std::string &folder);
  static std::string ReuseKey(const std::string &folder, const std::string &archive, const std::string &name,
                              uint32_t position, bool member);

  Profile *profile_;
  DocSettings settings_;
  EntryLookPtr look_;      // what entries are handed now
  EntryLookPtr baseLook_;  // what the settings give
  FontDescription viewFont_;
  std::vector<std::string> captionItems_;
  CellSize folderCellSize_;
  DisplayFilter filter_;

  PictureDecoders *decoders_ = nullptr;
  ThumbCache *thumbCache_ = nullptr;
  InterruptSource *interrupt_ = nullptr;
  std::vector<UpdateObserver *> observers_;

  std::vector<std::unique_ptr<CPicEntry>> entries_;
  std::vector<uint32_t> order_;
  mutable std::vector<int> visibleOf_;  // order_ reversed, made when first asked after a change
  mutable bool visibleOfStale_ = true;
  // The entries of the listing being refreshed, by path, until a file claims its entry.
  std::vector<std::unique_ptr<CPicEntry>> previous_;
  std::unordered_map<std::string, std::size_t> previousIndex_;
  // Files the old folder index supplied in this listing; the search does not add them again.
  std::unordered_set<std::string> supplied_;
  std::unordered_set<std::string> infoRead_;                             // folders whose index was read
  std::set<std::pair<unsigned long long, unsigned long long>> visited_;  // folders (device, inode)
  std::shared_ptr<const std::string> folderRef_;
  std::shared_ptr<const std::string> archiveRef_;
  int selected_ = 0;
  int current_ = -1;
  std::atomic<int> busy_{1};

  std::string folder_;
  std::string pattern_ = "*.*";
  std::string title_;
  bool useInfo_ = false;
  bool fileFactsWanted_ = true;
  std::shared_ptr<const FolderSnapshot> snapshot_;  // during a refresh given one
  // What the listing read of its folder, and per file the entry it made (-1 none, -2 an
  // archive's members), for changes to be taken in without reading it all again.
  std::shared_ptr<const FolderSnapshot> listed_;
  std::vector<int> listedEntry_;
  bool plainListing_ = false;  // this listing may record listed_
  struct ChangeWork {
    FolderChanges c;
    int phase = 0;
    std::size_t step = 0;
    std::string thumbsFile;
    std::vector<int> retake;       // places in `now` of changed files that had no entry
    std::vector<int> placeEntry;   // per file of `now` listed anew: its entry (-1 none, -2 members), else -3
  };
  std::unique_ptr<ChangeWork> changes_;
  // Where an entry goes in the display order: by the sort history, then by name.
  std::size_t SortedPlace(int index);
  void TakeOutOfOrder(const std::vector<int> &indices);
  void PutInOrder(int index);
  bool archiveListed_ = false;

  std::vector<std::string> history_;
  int historyPos_ = -1;

  CSortState sort_;
};

// The document is busy for a scope; what was there before comes back.
class DocBusy {
 public:
  explicit DocBusy(CRXDoc &doc) : doc_(doc), old_(doc.IsBusy()) { doc.SetBusy(true); }
  ~DocBusy() { doc_.SetBusy(old_); }
  DocBusy(const DocBusy &) = delete;
  DocBusy &operator=(const DocBusy &) = delete;

 private:
  CRXDoc &doc_;
  bool old_;
};

}  // namespace tamro
