#pragma once

// The thumbnail store: "_THUMBS_.RXI" in each picture folder keeps every built thumbnail as
// JPEG data with the facts of its file, so a folder seen before opens without decoding.
//
// The file is a plain run of records, no file header. Each record is a header (680 bytes
// when written; little-endian) followed by the JPEG data:
//    0  u16 header size         2 u16 treatment      4 u32 data size
//    8  u32 file size          12 u32 last-write time (seconds since 1970, UTC)
//   16  char[260] file name (member name for an archive member)
//  276  u32 member position   280 i32 x 2 thumbnail size   288 i32 x 2 size box
//  296  i32 x 3 picture width, height, bit count          308 char[16] decoder name
//  324  char[260] archive file name                       584 char[16] archive plug-in name
//  600  60-byte logical-font record of the caption font
//  660  i32 Frame   664 i32 Name   668 i32 NameFrame   672 i32 scale mode   676 i32 unsharp
// Shorter headers (older writers) read the missing fields as 0, except NameFrame as 1.
//
// The treatment (ThumbTreatment in picentry.h: bit 0 turned by the orientation tag, bit 1
// colours converted from the embedded profile, bit 2 made from the file's embedded preview)
// sits in what older writers left 0, so their
// records read as made with neither. Every reader takes the header size as 16 bits, older
// ones of ours too, and they pass over it: such a reader may show a turned thumbnail, and
// a record it writes again says 0, which is what it made.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue/captionfont.h"
#include "catalogue/thumbcache.h"
#include "picture/dibtypes.h"
#include "platform/globalhandle.h"

namespace tamro {

class CPicEntry;
class PictureDecoders;

inline constexpr std::size_t kThumbHeaderBytes = 680;

// The fields of one record header.
struct ThumbRecordHeader {
  uint32_t headerSize = kThumbHeaderBytes;
  uint32_t treatment = 0;
  uint32_t dataSize = 0;
  uint32_t fileSize = 0;
  uint32_t lastWrite = 0;
  std::string name;
  uint32_t position = 0;
  int32_t thumbWidth = 0, thumbHeight = 0;
  int32_t boxWidth = 0, boxHeight = 0;
  int32_t pictureWidth = 0, pictureHeight = 0, bitCount = 0;
  std::string decoderName;
  std::string archiveName;
  std::string archiveDecoderName;
  FontDescription font;
  int32_t frame = 0, nameSwitch = 0, nameFrame = 1, scaleMode = 0, unsharp = 0;
};

// Reads a header from the `size` bytes it has (at most 680 are looked at). Texts are taken
// as UTF-8 when valid, else as code page 932 (stores written by older installations).
ThumbRecordHeader ParseThumbHeader(const unsigned char *bytes, std::size_t size);
// Writes the 680 header bytes. Texts are cut on a character boundary so that each keeps
// its terminating zero.
void WriteThumbHeader(const ThumbRecordHeader &header, unsigned char *out);

// Blocks for store files, taken plainly from the heap: the file is read on a worker, where
// huge pages would only make its faults contend with the main thread's frees.
void *AllocateStoreBytes(std::size_t bytes);
void FreeStoreBytes(void *p, std::size_t bytes);

// Leaves new elements uninitialised: a store file of many megabytes is read straight into
// its block without being cleared first.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <class U>
  UninitialisedAllocator(const UninitialisedAllocator<U> &) noexcept {}
  T *allocate(std::size_t n) { return static_cast<T *>(AllocateStoreBytes(n * sizeof(T))); }
  void deallocate(T *p, std::size_t n) noexcept { FreeStoreBytes(p, n * sizeof(T)); }
  template <class U>
  void construct(U *p) noexcept {
    ::new (static_cast<void *>(p)) U;
  }
  template <class U, class... Args>
  void construct(U *p, Args &&...args) {
    ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
  }
};

// The bytes of a store file, or of one record made in memory.
using ThumbBytes = std::vector<unsigned char, UninitialisedAllocator<unsigned char>>;

// One record: header and data in one block, so writing it is one plain write.
struct ThumbRecord {
  ThumbRecordHeader header;  // names reduced to their name parts
  std::shared_ptr<const ThumbBytes> block;
  std::size_t offset = 0;  // where the record starts in the block

  std::size_t Bytes() const { return std::size_t{header.headerSize} + header.dataSize; }
  const unsigned char *Begin() const { return block->data() + offset; }
  const unsigned char *Data() const { return Begin() + header.headerSize; }
};

// The records of a whole file image, in file order. Reading stops at the first record whose
// sizes run past the end (or that is too short to say its data size); the records before
// it are kept and `damaged` tells.
struct ThumbFileScan {
  std::vector<ThumbRecord> records;
  bool damaged = false;
};
ThumbFileScan ParseThumbFile(std::shared_ptr<const ThumbBytes> file);

// The records of one folder.
class CThumbFolder {
 public:
  explicit CThumbFolder(std::string path) : path_(std::move(path)) {}

  const std::string &Path() const { return path_; }
  bool Changed() const { return changed_; }
  // The file existed but could not be read; such a file is never deleted unasked.
  bool ReadFailed() const { return readFailed_; }
  bool Damaged() const { return damaged_; }
  std::size_t Count() const { return index_.size(); }
  // The record of a file (archive name empty for a plain file), or null.
  const ThumbRecord *Find(std::string_view name, std::string_view archive) const;
  // Live records in file order.
  std::vector<const ThumbRecord *> Records() const;

 private:
  friend class CThumbStore;
  static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);
  static std::string Key(std::string_view name, std::string_view archive);
  static std::string RawKey(const ThumbRecord &record);
  static std::string TextKey(const ThumbRecord &record);
  std::size_t Slot(const std::string &key) const;
  bool Register(std::size_t i);
  void Unregister(std::size_t i);
  void Reindex();
  void Load();
  // Only the records within the first `bytes` of a larger file; false when there are none
  // or the file is no larger.
  bool LoadFirstPart(std::size_t bytes);
  void Put(ThumbRecord record);
  bool Erase(std::string_view name, std::string_view archive);
  // Records in name order, as a folder is listed first: its first screen is then at the
  // front of the file, which a reading answers from before the rest is in.
  void SortByName();
  bool Write();

  std::string path_;
  std::vector<ThumbRecord> records_;                      // removed ones have no block
  std::unordered_map<std::string, std::size_t> index_;    // by the names as stored: one per record
  std::unordered_map<std::string, std::size_t> aliases_;  // by the names as text, where they differ
  bool changed_ = false;
  bool readFailed_ = false;
  bool damaged_ = false;
};

// Every folder store used since the last Clear. Runs on the main thread; only the reading
// of a folder's file ahead of use runs elsewhere.
class CThumbStore : public ThumbCache {
 public:
  static constexpr const char *kFileName = "_THUMBS_.RXI";
  static constexpr int kQuality = 95;
  // Starts a task on another thread.
  using Runner = std::function<void(std::function<void()>)>;

  explicit CThumbStore(PictureDecoders *decoders = nullptr) : decoders_(decoders) {}
  ~CThumbStore() override;
  void SetDecoders(PictureDecoders *decoders) { decoders_ = decoders; }

  // Reading ahead: without a runner (tools, tests) a folder's file is read when first used.
  // `arrived` is called on the reading thread when a file is in; it must have TakeArrived
  // run on the main thread soon. Setting it empty stops calls to the old one.
  void SetReader(Runner run);
  void SetArrival(std::function<void()> arrived);
  // Starts reading the folder's file on the runner (a listing starts).
  void ReadAhead(const std::string &folder) override;
  // Whether the folder's file is still being read; one read already is taken in here.
  bool Reading(const std::string &folder);
  // While it is: whether the part of the file read first holds the entry's record.
  bool InFirstPart(const CPicEntry &entry);
  // How much of a large file is read and answered from before the rest (0: none).
  void SetFirstPartBytes(std::size_t bytes) { firstPartBytes_ = bytes; }
  // Takes in every file read meanwhile; true when any was, or the first part of one.
  bool TakeArrived();

  // The store of a folder, loaded from its file the first time it is asked for (a file being
  // read ahead is waited for, or read here when its task has not started yet).
  CThumbFolder &GetFolder(const std::string &folder);
  // Encodes the entry's thumbnail and puts its record into the folder's store, replacing
  // the record of the same file; marks the entry stored. 1 on success, 0 when there is no
  // thumbnail or it cannot be encoded.
  int Add(CPicEntry &entry, int quality) override;
  // The same with the JPEG data already made (EncodeThumbRecordData), for workers that
  // encode off the main thread.
  int Put(CPicEntry &entry, std::shared_ptr<ThumbBytes> block);
  void Remove(CPicEntry &entry) override;
  // Fills the entry from its record when the record still fits the file (time, size and
  // member position equal; for a plain file its decoder still there and in use) and its
  // data decodes: the picture facts, the thumbnail and what it was made with. The entry's
  // own switches are left as they are. 1 when it did; otherwise the entry is untouched and 0.
  int Load(CPicEntry &entry);
  // The record Load would take (and the decoder it names), without decoding it; null when none.
  const ThumbRecord *Accept(const CPicEntry &entry, int &decoder);
  // Writes every changed store with records and deletes the file of every store without.
  void Flush() override { WriteAll(); }
  // The same; false when a store's file could not be written or deleted.
  bool WriteAll();
  void Clear() override;

  std::size_t FolderCount() const { return folders_.size(); }
  static std::string FilePath(const std::string &folder);

 private:
  // One file being read ahead; shared with its task, which may outlive a Clear.
  struct PendingRead {
    std::string path;
    std::mutex mutex;
    std::condition_variable done;
    bool started = false, finished = false;
    std::unique_ptr<CThumbFolder> folder;
    std::unique_ptr<CThumbFolder> firstPart;
    bool firstPartTaken = false;  // TakeArrived has told of it
    // Reads the file unless another thread has begun to; false when one had.
    bool Run();
    // Reads the front of the file unless the whole is being read; false when nothing came.
    bool RunFirstPart(std::size_t bytes);
  };
  // The runner, also for a reading task that goes on in a second one; empty once it is gone.
  struct Reader {
    std::mutex mutex;
    Runner run;
  };
  // Calls the arrival hook, or nothing once it is gone.
  struct Arrival {
    std::mutex mutex;
    std::function<void()> call;
  };
  CThumbFolder &Adopt(std::unique_ptr<CThumbFolder> folder);
  const CThumbFolder *FirstPart(std::string_view folder);

  PictureDecoders *decoders_;
  std::vector<std::unique_ptr<CThumbFolder>> folders_;
  std::shared_ptr<Reader> reader_ = std::make_shared<Reader>();
  std::shared_ptr<Arrival> arrival_ = std::make_shared<Arrival>();
  std::vector<std::shared_ptr<PendingRead>> pending_;
  std::size_t firstPartBytes_ = std::size_t{2} << 20;
};

// The pure steps of adding and loading, safe on any thread: a thumbnail encoded as a record's
// JPEG data (room for the header left in front; null when it cannot be encoded), and a
// record's data decoded into a 24-bit picture (empty when it does not decode).
std::shared_ptr<ThumbBytes> EncodeThumbRecordData(HDIB thumbnail, int quality);
GlobalHandle DecodeThumbRecord(const ThumbRecord &record);
// Fills the entry from a record Accept took and the picture its data decoded to.
void ApplyThumbRecord(CPicEntry &entry, const ThumbRecordHeader &header, int decoder, GlobalHandle thumbnail);

// Whole seconds of a time in nanoseconds, as the store keeps it.
uint32_t StoreSeconds(int64_t nanos);

}  // namespace tamro
