#include "catalogue/thumbstore.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <numeric>

#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/picturedecoders.h"
#include "decode/builtin/builtin.h"
#include "picture/dib.h"
#include "picture/dibjpeg.h"
#include "platform/fileio.h"
#include "platform/text.h"

namespace tamro {

namespace {

// Field offsets of a record header.
enum : std::size_t {
  kHeaderSizeAt = 0,
  kTreatmentAt = 2,
  kDataSizeAt = 4,
  kFileSizeAt = 8,
  kTimeAt = 12,
  kNameAt = 16,
  kNameBytes = 260,
  kPositionAt = 276,
  kThumbSizeAt = 280,
  kBoxAt = 288,
  kPictureAt = 296,
  kDecoderAt = 308,
  kDecoderBytes = 16,
  kArchiveAt = 324,
  kArchiveDecoderAt = 584,
  kFontAt = 600,
  kFaceAt = kFontAt + 28,
  kFaceBytes = 32,
  kFrameAt = 660,
  kNameSwitchAt = 664,
  kNameFrameAt = 668,
  kScaleModeAt = 672,
  kUnsharpAt = 676,
};
static_assert(kUnsharpAt + 4 == kThumbHeaderBytes);
static_assert(kFaceAt + kFaceBytes == kFrameAt);

uint32_t Get32(const unsigned char *p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
int32_t GetI32(const unsigned char *p) { return static_cast<int32_t>(Get32(p)); }
void Put32(unsigned char *p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
void PutI32(unsigned char *p, int32_t v) { Put32(p, static_cast<uint32_t>(v)); }

std::string GetText(const unsigned char *p, std::size_t field) {
  const auto *c = reinterpret_cast<const char *>(p);
  return LegacyToUtf8(std::string_view(c, strnlen(c, field)));
}

// Copies at most field - 1 bytes, never splitting a UTF-8 sequence; the rest stays zero.
void PutText(unsigned char *p, std::size_t field, std::string_view text) {
  std::size_t n = std::min(text.size(), field - 1);
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(p, text.data(), n);
}

// The name part as a reader takes it: stores written on other systems hold "\" paths.
std::string NameOnly(const std::string &path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A text field exactly as the record holds it, reduced to what follows its last "/". This is
// what a file name on this system looks like, whether or not it is valid UTF-8.
std::string_view RawNamePart(const ThumbRecord &r, std::size_t at, std::size_t field) {
  if (r.header.headerSize <= at) return {};
  const auto *c = reinterpret_cast<const char *>(r.Begin() + at);
  std::string_view text(c, strnlen(c, std::min<std::size_t>(field, r.header.headerSize - at)));
  const std::size_t slash = text.rfind('/');
  return slash == std::string_view::npos ? text : text.substr(slash + 1);
}

// One JPEG thumbnail: it is encoded into a buffer of the picture's own bytes plus 1 KiB, so
// even a 4096 x 4096 cell stays below this. A record claiming more is no record.
constexpr uint64_t kMaxRecordData = uint64_t{64} << 20;
// What one folder's store may hold in memory: a hundred thousand thumbnails of a large cell
// at about 10 KiB each, beyond any folder anyone browses. Records past it are not read.
constexpr uint64_t kMaxStoreBytes = uint64_t{1} << 30;
// Files up to this size are read in one piece; larger ones are first walked header by header,
// so a file that is mostly a hole or junk is not read whole.
constexpr uint64_t kWholeReadBytes = uint64_t{64} << 20;

// The bytes of the record whose first 8 bytes are at `p` when it is well formed and ends
// within `left`; 0 when it is not.
uint64_t RecordSpan(const unsigned char *p, uint64_t left) {
  if (left < kDataSizeAt + 4) return 0;
  const uint64_t headerSize = p[0] | (p[1] << 8);
  const uint64_t dataSize = Get32(p + kDataSizeAt);
  if (headerSize < kDataSizeAt + 4 || headerSize > left || dataSize > left - headerSize ||
      dataSize > kMaxRecordData)
    return 0;
  return headerSize + dataSize;
}

// How far the chain of well-formed records of a file goes, at most kMaxStoreBytes.
uint64_t RecordedLength(int fd, uint64_t size) {
  uint64_t at = 0;
  unsigned char head[kDataSizeAt + 4];
  while (size - at >= sizeof head) {
    ssize_t n = ::pread(fd, head, sizeof head, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof head)) break;
    const uint64_t span = RecordSpan(head, size - at);
    if (span == 0 || at + span > kMaxStoreBytes) break;
    at += span;
  }
  return at;
}

// Reads as much of a store file as its records account for. `trimmed` tells that bytes were
// left unread (junk, a hole, or records past the cap): the file is to be written again.
// With `limit` only that many bytes at most: the first part of a large file, its last record
// probably cut (the parse stops before it).
bool ReadStoreFile(const std::string &path, ThumbBytes &out, bool &exists, bool &trimmed,
                   uint64_t limit = UINT64_MAX) {
  exists = trimmed = false;
  // A FIFO or device in the store's place is refused, never waited on.
  UniqueFd fd = OpenRegularFile(path);
  if (!fd) {
    exists = errno != ENOENT && errno != ENOTDIR;
    return false;
  }
  exists = true;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return false;
  const auto size = static_cast<uint64_t>(st.st_size);
  const uint64_t want =
      size > limit ? limit
                   : std::min(size > kWholeReadBytes ? RecordedLength(fd.get(), size) : size, kMaxStoreBytes);
  trimmed = want < size;
  try {
    out.resize(static_cast<std::size_t>(want));
  } catch (const std::bad_alloc &) {
    return false;
  }
  std::size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::read(fd.get(), out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  // A file that shrank meanwhile is taken as far as it went.
  out.resize(got);
  return true;
}

// Writes the records through a temporary file in the same folder, renamed over the old one.
bool WriteRecordsAtomically(const std::string &path, const std::vector<ThumbRecord> &records) {
  AtomicFile file(path);
  if (!file.ok()) return false;
  const int fd = file.fd();
  bool ok = true;
  std::vector<iovec> batch;
  batch.reserve(IOV_MAX);
  auto writeBatch = [&]() {
    std::size_t i = 0;
    while (ok && i < batch.size()) {
      ssize_t n =
          ::writev(fd, batch.data() + i, static_cast<int>(std::min<std::size_t>(batch.size() - i, IOV_MAX)));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
        break;
      }
      // Step over what was written, which may end inside one record.
      auto left = static_cast<std::size_t>(n);
      while (i < batch.size() && left >= batch[i].iov_len) left -= batch[i++].iov_len;
      if (left > 0) {
        batch[i].iov_base = static_cast<char *>(batch[i].iov_base) + left;
        batch[i].iov_len -= left;
      }
    }
    batch.clear();
  };
  for (const ThumbRecord &r : records) {
    if (!r.block) continue;
    batch.push_back(iovec{const_cast<unsigned char *>(r.Begin()), r.Bytes()});
    if (batch.size() == IOV_MAX) writeBatch();
  }
  writeBatch();
  return ok && file.Commit();
}

}  // namespace

void *AllocateStoreBytes(std::size_t bytes) {
  if (void *p = std::malloc(bytes ? bytes : 1)) return p;
  throw std::bad_alloc();
}

void FreeStoreBytes(void *p, std::size_t) { std::free(p); }

uint32_t StoreSeconds(int64_t nanos) {
  int64_t s = nanos / kNanosPerSecond;
  if (nanos % kNanosPerSecond < 0) --s;
  return static_cast<uint32_t>(s);
}

// --- header

ThumbRecordHeader ParseThumbHeader(const unsigned char *bytes, std::size_t size) {
  unsigned char h[kThumbHeaderBytes] = {};
  std::size_t n = std::min(size, kThumbHeaderBytes);
  if (n) std::memcpy(h, bytes, n);
  ThumbRecordHeader r;
  r.headerSize = static_cast<uint32_t>(h[kHeaderSizeAt] | (h[kHeaderSizeAt + 1] << 8));
  r.treatment = static_cast<uint32_t>(h[kTreatmentAt] | (h[kTreatmentAt + 1] << 8));
  r.dataSize = Get32(h + kDataSizeAt);
  r.fileSize = Get32(h + kFileSizeAt);
  r.lastWrite = Get32(h + kTimeAt);
  r.name = GetText(h + kNameAt, kNameBytes);
  r.position = Get32(h + kPositionAt);
  r.thumbWidth = GetI32(h + kThumbSizeAt);
  r.thumbHeight = GetI32(h + kThumbSizeAt + 4);
  r.boxWidth = GetI32(h + kBoxAt);
  r.boxHeight = GetI32(h + kBoxAt + 4);
  r.pictureWidth = GetI32(h + kPictureAt);
  r.pictureHeight = GetI32(h + kPictureAt + 4);
  r.bitCount = GetI32(h + kPictureAt + 8);
  r.decoderName = GetText(h + kDecoderAt, kDecoderBytes);
  r.archiveName = GetText(h + kArchiveAt, kNameBytes);
  r.archiveDecoderName = GetText(h + kArchiveDecoderAt, kDecoderBytes);
  FontDescription &f = r.font;
  f.height = GetI32(h + kFontAt);
  f.width = GetI32(h + kFontAt + 4);
  f.escapement = GetI32(h + kFontAt + 8);
  f.orientation = GetI32(h + kFontAt + 12);
  f.weight = GetI32(h + kFontAt + 16);
  f.italic = h[kFontAt + 20];
  f.underline = h[kFontAt + 21];
  f.strikeOut = h[kFontAt + 22];
  f.charSet = h[kFontAt + 23];
  f.outPrecision = h[kFontAt + 24];
  f.clipPrecision = h[kFontAt + 25];
  f.quality = h[kFontAt + 26];
  f.pitchAndFamily = h[kFontAt + 27];
  f.faceName = GetText(h + kFaceAt, kFaceBytes);
  r.frame = GetI32(h + kFrameAt);
  r.nameSwitch = GetI32(h + kNameSwitchAt);
  r.nameFrame = size >= kNameFrameAt + 4 ? GetI32(h + kNameFrameAt) : 1;
  r.scaleMode = GetI32(h + kScaleModeAt);
  r.unsharp = GetI32(h + kUnsharpAt);
  return r;
}

void WriteThumbHeader(const ThumbRecordHeader &r, unsigned char *h) {
  std::memset(h, 0, kThumbHeaderBytes);
  h[kHeaderSizeAt] = static_cast<unsigned char>(r.headerSize);
  h[kHeaderSizeAt + 1] = static_cast<unsigned char>(r.headerSize >> 8);
  h[kTreatmentAt] = static_cast<unsigned char>(r.treatment);
  h[kTreatmentAt + 1] = static_cast<unsigned char>(r.treatment >> 8);
  Put32(h + kDataSizeAt, r.dataSize);
  Put32(h + kFileSizeAt, r.fileSize);
  Put32(h + kTimeAt, r.lastWrite);
  PutText(h + kNameAt, kNameBytes, r.name);
  Put32(h + kPositionAt, r.position);
  PutI32(h + kThumbSizeAt, r.thumbWidth);
  PutI32(h + kThumbSizeAt + 4, r.thumbHeight);
  PutI32(h + kBoxAt, r.boxWidth);
  PutI32(h + kBoxAt + 4, r.boxHeight);
  PutI32(h + kPictureAt, r.pictureWidth);
  PutI32(h + kPictureAt + 4, r.pictureHeight);
  PutI32(h + kPictureAt + 8, r.bitCount);
  PutText(h + kDecoderAt, kDecoderBytes, r.decoderName);
  PutText(h + kArchiveAt, kNameBytes, r.archiveName);
  PutText(h + kArchiveDecoderAt, kDecoderBytes, r.archiveDecoderName);
  const FontDescription &f = r.font;
  PutI32(h + kFontAt, f.height);
  PutI32(h + kFontAt + 4, f.width);
  PutI32(h + kFontAt + 8, f.escapement);
  PutI32(h + kFontAt + 12, f.orientation);
  PutI32(h + kFontAt + 16, f.weight);
  const uint8_t flags[8] = {f.italic,       f.underline,     f.strikeOut, f.charSet,
                            f.outPrecision, f.clipPrecision, f.quality,   f.pitchAndFamily};
  std::memcpy(h + kFontAt + 20, flags, sizeof flags);
  PutText(h + kFaceAt, kFaceBytes, f.faceName);
  PutI32(h + kFrameAt, r.frame);
  PutI32(h + kNameSwitchAt, r.nameSwitch);
  PutI32(h + kNameFrameAt, r.nameFrame);
  PutI32(h + kScaleModeAt, r.scaleMode);
  PutI32(h + kUnsharpAt, r.unsharp);
}

ThumbFileScan ParseThumbFile(std::shared_ptr<const ThumbBytes> file) {
  ThumbFileScan scan;
  if (!file) return scan;
  const std::size_t total = file->size();
  // Counted first, so ten thousand records are not moved about while the list grows.
  std::size_t count = 0;
  for (std::size_t at = 0; at < total; ++count) {
    const uint64_t span = RecordSpan(file->data() + at, total - at);
    if (span == 0) break;
    at += static_cast<std::size_t>(span);
  }
  scan.records.reserve(count);
  std::size_t at = 0;
  while (at < total) {
    const unsigned char *p = file->data() + at;
    // A record must at least tell its sizes, and they must fit what is left.
    if (RecordSpan(p, total - at) == 0) {
      scan.damaged = true;
      break;
    }
    const std::size_t headerSize = p[0] | (p[1] << 8);
    const std::size_t dataSize = Get32(p + kDataSizeAt);
    ThumbRecord r;
    r.header = ParseThumbHeader(p, headerSize);
    r.header.headerSize = static_cast<uint32_t>(headerSize);
    r.header.dataSize = static_cast<uint32_t>(dataSize);
    r.header.name = NameOnly(r.header.name);
    r.header.archiveName = NameOnly(r.header.archiveName);
    r.block = file;
    r.offset = at;
    scan.records.push_back(std::move(r));
    at += headerSize + dataSize;
  }
  return scan;
}

// --- one folder

std::string CThumbFolder::Key(std::string_view name, std::string_view archive) {
  std::string key;
  key.reserve(archive.size() + 1 + name.size());
  key.append(archive);
  key += '\0';
  key.append(name);
  return key;
}

// A record answers to two keys: its names exactly as stored (cut at "/"), which is how a file
// of this system is named even when the name is not UTF-8; and the names as text (converted
// from code page 932 when they are not UTF-8, cut at "\" as well), which is how the entries
// name files that a store from an older installation describes.
std::string CThumbFolder::RawKey(const ThumbRecord &r) {
  return Key(RawNamePart(r, kNameAt, kNameBytes), RawNamePart(r, kArchiveAt, kNameBytes));
}

std::string CThumbFolder::TextKey(const ThumbRecord &r) { return Key(r.header.name, r.header.archiveName); }

std::size_t CThumbFolder::Slot(const std::string &key) const {
  auto it = index_.find(key);
  if (it != index_.end()) return it->second;
  auto alias = aliases_.find(key);
  return alias != aliases_.end() ? alias->second : kNoSlot;
}

bool CThumbFolder::Register(std::size_t i) {
  const ThumbRecord &r = records_[i];
  const std::string raw = RawKey(r);
  if (!index_.try_emplace(raw, i).second) return false;
  std::string text = TextKey(r);
  if (text != raw) aliases_.try_emplace(std::move(text), i);
  return true;
}

void CThumbFolder::Unregister(std::size_t i) {
  const ThumbRecord &r = records_[i];
  auto raw = index_.find(RawKey(r));
  if (raw != index_.end() && raw->second == i) index_.erase(raw);
  auto text = aliases_.find(TextKey(r));
  if (text != aliases_.end() && text->second == i) aliases_.erase(text);
}

void CThumbFolder::Reindex() {
  index_.clear();
  aliases_.clear();
  index_.reserve(records_.size());
  for (std::size_t i = 0; i < records_.size(); ++i) {
    // A later record of the same file could never be found; it is left out.
    if (records_[i].block && !Register(i)) records_[i].block.reset();
  }
}

const ThumbRecord *CThumbFolder::Find(std::string_view name, std::string_view archive) const {
  const std::size_t i = Slot(Key(name, archive));
  return i == kNoSlot ? nullptr : &records_[i];
}

std::vector<const ThumbRecord *> CThumbFolder::Records() const {
  std::vector<const ThumbRecord *> out;
  out.reserve(index_.size());
  for (const ThumbRecord &r : records_)
    if (r.block) out.push_back(&r);
  return out;
}

void CThumbFolder::Load() {
  records_.clear();
  index_.clear();
  aliases_.clear();
  auto file = std::make_shared<ThumbBytes>();
  bool exists = false, trimmed = false;
  if (!ReadStoreFile(CThumbStore::FilePath(path_), *file, exists, trimmed)) {
    readFailed_ = exists;
    return;
  }
  ThumbFileScan scan = ParseThumbFile(std::move(file));
  damaged_ = scan.damaged || trimmed;
  records_ = std::move(scan.records);
  Reindex();
  // A damaged file is written again, with the records that could be read, at the next flush.
  changed_ = damaged_;
}

bool CThumbFolder::LoadFirstPart(std::size_t bytes) {
  auto file = std::make_shared<ThumbBytes>();
  bool exists = false, more = false;
  // Only worth it when the file goes on past the part.
  if (!ReadStoreFile(CThumbStore::FilePath(path_), *file, exists, more, bytes) || !more) return false;
  records_ = ParseThumbFile(std::move(file)).records;
  Reindex();
  return !records_.empty();
}

void CThumbFolder::Put(ThumbRecord record) {
  // The record this one replaces may be one found by its names as text (a store from an
  // older installation): then it goes, rather than staying beside the new one for ever.
  std::size_t i = Slot(RawKey(record));
  if (i == kNoSlot) {
    i = records_.size();
    records_.push_back(std::move(record));
  } else {
    Unregister(i);
    records_[i] = std::move(record);
  }
  if (!Register(i)) records_[i].block.reset();
  changed_ = true;
}

bool CThumbFolder::Erase(std::string_view name, std::string_view archive) {
  const std::size_t i = Slot(Key(name, archive));
  if (i == kNoSlot) return false;
  Unregister(i);
  records_[i].block.reset();
  changed_ = true;
  return true;
}

void CThumbFolder::SortByName() {
  // Plain files by name, an archive's members after its name in their order within it.
  auto before = [this](std::size_t a, std::size_t b) {
    const ThumbRecordHeader &x = records_[a].header, &y = records_[b].header;
    const int c = CompareNoCase(x.archiveName.empty() ? x.name : x.archiveName,
                                y.archiveName.empty() ? y.name : y.archiveName);
    return c != 0 ? c < 0 : x.position < y.position;
  };
  std::vector<std::size_t> order(records_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (std::is_sorted(order.begin(), order.end(), before)) return;
  std::stable_sort(order.begin(), order.end(), before);
  std::vector<ThumbRecord> sorted;
  sorted.reserve(records_.size());
  for (std::size_t i : order) sorted.push_back(std::move(records_[i]));
  records_ = std::move(sorted);
  Reindex();
}

bool CThumbFolder::Write() {
  const std::string file = CThumbStore::FilePath(path_);
  if (index_.empty()) {
    // Without records the file goes, unless it could not even be read and nothing changed.
    if (readFailed_ && !changed_) return true;
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) return false;
    changed_ = false;
    return true;
  }
  if (!changed_) return true;
  SortByName();
  if (!WriteRecordsAtomically(file, records_)) return false;
  // The removed records are gone for good now.
  std::vector<ThumbRecord> kept;
  kept.reserve(index_.size());
  for (ThumbRecord &r : records_)
    if (r.block) kept.push_back(std::move(r));
  records_ = std::move(kept);
  Reindex();
  changed_ = false;
  readFailed_ = false;
  return true;
}

// --- the store

std::string CThumbStore::FilePath(const std::string &folder) { return JoinPath(folder, kFileName); }

bool CThumbStore::PendingRead::RunFirstPart(std::size_t bytes) {
  {
    std::lock_guard lock(mutex);
    if (started) return false;
  }
  auto f = std::make_unique<CThumbFolder>(path);
  if (!f->LoadFirstPart(bytes)) return false;
  std::lock_guard lock(mutex);
  if (started) return false;
  firstPart = std::move(f);
  return true;
}

bool CThumbStore::PendingRead::Run() {
  {
    std::lock_guard lock(mutex);
    if (started) return false;
    started = true;
  }
  auto f = std::make_unique<CThumbFolder>(path);
  f->Load();
  std::lock_guard lock(mutex);
  folder = std::move(f);
  finished = true;
  done.notify_all();
  return true;
}

CThumbStore::~CThumbStore() { SetArrival({}); }

void CThumbStore::SetArrival(std::function<void()> arrived) {
  std::lock_guard lock(arrival_->mutex);
  arrival_->call = std::move(arrived);
}

void CThumbStore::SetReader(Runner run) {
  std::lock_guard lock(reader_->mutex);
  reader_->run = std::move(run);
}

void CThumbStore::ReadAhead(const std::string &folder) {
  Runner run;
  {
    std::lock_guard lock(reader_->mutex);
    run = reader_->run;
  }
  if (!run) return;
  std::string path(TrimTrailingSlash(folder));
  for (auto &f : folders_)
    if (f->Path() == path) return;
  for (auto &p : pending_)
    if (p->path == path) return;
  auto read = std::make_shared<PendingRead>();
  read->path = std::move(path);
  pending_.push_back(read);
  auto tell = [arrival = arrival_] {
    std::lock_guard lock(arrival->mutex);
    if (arrival->call) arrival->call();
  };
  auto rest = [read, tell] {
    if (read->Run()) tell();
  };
  // The records at the front of a large file (those of the first screen, when the store was
  // made by scrolling through the folder) come in first, without waiting for the whole file.
  run([read, tell, rest, reader = reader_, bytes = firstPartBytes_] {
    if (!read->RunFirstPart(bytes)) return rest();
    tell();
    {
      // The rest as a task of its own, so that a reader holding tasks back can hold it too.
      std::lock_guard lock(reader->mutex);
      if (reader->run) return reader->run(rest);
    }
    rest();
  });
}

CThumbFolder &CThumbStore::Adopt(std::unique_ptr<CThumbFolder> folder) {
  folders_.push_back(std::move(folder));
  return *folders_.back();
}

bool CThumbStore::Reading(const std::string &folder) {
  if (pending_.empty()) return false;
  const std::string_view path = TrimTrailingSlash(folder);
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if ((*it)->path != path) continue;
    std::unique_ptr<CThumbFolder> read;
    {
      std::lock_guard lock((*it)->mutex);
      if (!(*it)->finished) return true;
      read = std::move((*it)->folder);
    }
    pending_.erase(it);
    Adopt(std::move(read));
    return false;
  }
  return false;
}

bool CThumbStore::TakeArrived() {
  bool any = false;
  for (std::size_t i = 0; i < pending_.size();) {
    std::unique_ptr<CThumbFolder> read;
    {
      std::lock_guard lock(pending_[i]->mutex);
      if (pending_[i]->finished) read = std::move(pending_[i]->folder);
      if (pending_[i]->firstPart && !pending_[i]->firstPartTaken) any = pending_[i]->firstPartTaken = true;
    }
    if (!read) {
      ++i;
      continue;
    }
    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
    Adopt(std::move(read));
    any = true;
  }
  return any;
}

void CThumbStore::Clear() {
  // A read not started yet is not made at all; one running finishes into its own record,
  // which nobody takes any more.
  for (auto &p : pending_) {
    std::lock_guard lock(p->mutex);
    p->started = true;
  }
  pending_.clear();
  folders_.clear();
}

CThumbFolder &CThumbStore::GetFolder(const std::string &folder) {
  std::string path(TrimTrailingSlash(folder));
  for (auto &f : folders_)
    if (f->Path() == path) return *f;
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if ((*it)->path != path) continue;
    // Needed now (a record is put or taken out): read here unless a worker already reads it.
    std::shared_ptr<PendingRead> read = *it;
    pending_.erase(it);
    read->Run();
    std::unique_lock lock(read->mutex);
    read->done.wait(lock, [&] { return read->finished; });
    return Adopt(std::move(read->folder));
  }
  auto f = std::make_unique<CThumbFolder>(path);
  f->Load();
  return Adopt(std::move(f));
}

std::shared_ptr<ThumbBytes> EncodeThumbRecordData(HDIB thumbnail, int quality) {
  if (!thumbnail) return nullptr;
  HDIB bgr = DibTo24Bit(thumbnail);
  if (!bgr) return nullptr;
  GlobalHandle converted(bgr != thumbnail ? bgr : nullptr);
  const std::size_t room = GlobalSize(bgr) + 1024;
  auto block = std::make_shared<ThumbBytes>();
  try {
    block->resize(kThumbHeaderBytes + room);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
  std::size_t size = room;
  if (EncodeDibAsJpeg(block->data() + kThumbHeaderBytes, &size, bgr, 1, quality, nullptr, 0) != 1 ||
      size > UINT32_MAX)
    return nullptr;
  block->resize(kThumbHeaderBytes + size);
  return block;
}

GlobalHandle DecodeThumbRecord(const ThumbRecord &record) {
  HDIB picture = nullptr;
  if (!record.block ||
      builtin::JpegDecodeThumbnail(&picture, record.Data(), record.header.dataSize, 1, nullptr, 0) != 0 ||
      !picture) {
    if (picture) GlobalFree(picture);
    return {};
  }
  GlobalHandle thumb(picture);
  if (DibBitCount(thumb.get()) != 24) {
    HDIB bgr = DibTo24Bit(thumb.get());
    if (!bgr) return {};
    if (bgr != thumb.get()) thumb = GlobalHandle(bgr);
  }
  return thumb;
}

int CThumbStore::Add(CPicEntry &entry, int quality) {
  if (!entry.thumbnail) return 0;
  // The record tells the picture's own size, whatever the entry was told before.
  entry.thumbWidth = DibWidth(entry.thumbnail.get());
  entry.thumbHeight = std::abs(DibHeight(entry.thumbnail.get()));
  return Put(entry, EncodeThumbRecordData(entry.thumbnail.get(), quality));
}

int CThumbStore::Put(CPicEntry &entry, std::shared_ptr<ThumbBytes> block) {
  if (!block || block->size() < kThumbHeaderBytes) return 0;
  const std::size_t size = block->size() - kThumbHeaderBytes;
  ThumbRecordHeader h;
  h.dataSize = static_cast<uint32_t>(size);
  h.fileSize = static_cast<uint32_t>(entry.size);
  h.lastWrite = StoreSeconds(entry.lastWriteTime);
  h.name = entry.name;
  h.position = entry.position;
  h.thumbWidth = entry.thumbWidth;
  h.thumbHeight = entry.thumbHeight;
  h.boxWidth = entry.sizeBoxWidth;
  h.boxHeight = entry.sizeBoxHeight;
  h.pictureWidth = entry.facts.width;
  h.pictureHeight = entry.facts.height;
  h.bitCount = entry.facts.bitCount;
  if (decoders_ && entry.facts.decoder >= 0)
    h.decoderName = decoders_->DecoderName(entry.facts.decoder, PictureDecoders::kPicture);
  h.archiveName = entry.ArchiveName();
  if (decoders_ && entry.IsArchiveMember() && entry.archiveDecoderIndex >= 0)
    h.archiveDecoderName = decoders_->DecoderName(entry.archiveDecoderIndex, PictureDecoders::kArchive);
  h.font = entry.Font();
  h.frame = entry.switches.frame;
  h.nameSwitch = entry.switches.name;
  h.nameFrame = entry.switches.nameFrame;
  h.scaleMode = entry.thumbScaleMode;
  h.unsharp = entry.thumbUnsharp;
  h.treatment = static_cast<uint32_t>(entry.thumbTreatment);
  WriteThumbHeader(h, block->data());
  // The header as a reader will see it, so that finding the record matches what was read.
  ThumbRecord r;
  r.header = ParseThumbHeader(block->data(), kThumbHeaderBytes);
  r.header.name = NameOnly(r.header.name);
  r.header.archiveName = NameOnly(r.header.archiveName);
  r.block = std::move(block);
  GetFolder(entry.Folder()).Put(std::move(r));
  entry.stored = true;
  return 1;
}

void CThumbStore::Remove(CPicEntry &entry) {
  GetFolder(entry.Folder()).Erase(entry.name, entry.ArchiveName());
}

const CThumbFolder *CThumbStore::FirstPart(std::string_view folder) {
  folder = TrimTrailingSlash(folder);
  for (auto &p : pending_) {
    if (p->path != folder) continue;
    std::lock_guard lock(p->mutex);
    // Set once and never changed afterwards, so it is read without the lock from here on.
    return p->finished ? nullptr : p->firstPart.get();
  }
  return nullptr;
}

bool CThumbStore::InFirstPart(const CPicEntry &entry) {
  const CThumbFolder *part = FirstPart(entry.Folder());
  return part && part->Find(entry.name, entry.ArchiveName());
}

const ThumbRecord *CThumbStore::Accept(const CPicEntry &entry, int &decoder) {
  decoder = -1;
  const CThumbFolder *part = FirstPart(entry.Folder());
  const ThumbRecord *r = part ? part->Find(entry.name, entry.ArchiveName()) : nullptr;
  if (!r) r = GetFolder(entry.Folder()).Find(entry.name, entry.ArchiveName());
  if (!r) return nullptr;
  const ThumbRecordHeader &h = r->header;
  if (decoders_ && !h.decoderName.empty())
    decoder = decoders_->FindDecoderByName(h.decoderName, PictureDecoders::kPicture);
  if (h.lastWrite != StoreSeconds(entry.lastWriteTime) || h.fileSize != static_cast<uint32_t>(entry.size) ||
      h.position != entry.position)
    return nullptr;
  if (!entry.IsArchiveMember() && (decoder < 0 || !decoders_->IsInUse(decoder, PictureDecoders::kPicture)))
    return nullptr;
  return r;
}

int CThumbStore::Load(CPicEntry &entry) {
  int decoder = -1;
  const ThumbRecord *r = Accept(entry, decoder);
  if (!r) return 0;
  GlobalHandle thumb = DecodeThumbRecord(*r);
  if (!thumb) return 0;
  ApplyThumbRecord(entry, r->header, decoder, std::move(thumb));
  return 1;
}

void ApplyThumbRecord(CPicEntry &entry, const ThumbRecordHeader &h, int decoder, GlobalHandle thumb) {
  entry.facts.width = h.pictureWidth;
  entry.facts.height = h.pictureHeight;
  entry.facts.bitCount = h.bitCount;
  entry.sizeBoxWidth = h.boxWidth;
  entry.sizeBoxHeight = h.boxHeight;
  // The picture's own size, whatever the header says.
  entry.thumbWidth = DibWidth(thumb.get());
  entry.thumbHeight = std::abs(DibHeight(thumb.get()));
  entry.facts.decoder = decoder;
  // What the thumbnail was made with; the entry's own switches stay what the settings gave it,
  // so that a record made otherwise (from the old folder index, say) is judged by them.
  entry.thumbScaleMode = h.scaleMode;
  entry.thumbUnsharp = static_cast<int8_t>(h.unsharp != 0);
  entry.thumbTreatment = static_cast<uint16_t>(h.treatment);
  entry.FreePictures();
  entry.thumbnail = std::move(thumb);
}

bool CThumbStore::WriteAll() {
  // A store whose file cannot be written is skipped; the others are still written.
  bool all = true;
  for (auto &f : folders_) all = f->Write() && all;
  return all;
}

}  // namespace tamro
