#include "catalogue/thumbstore.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

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

std::string NameOnly(const std::string &path) { return std::string(NamePart(path)); }

bool ReadWholeFile(const std::string &path, ThumbBytes &out, bool &exists) {
  exists = false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    exists = errno != ENOENT && errno != ENOTDIR;
    return false;
  }
  exists = true;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    try {
      out.resize(static_cast<std::size_t>(st.st_size));
      std::size_t got = 0;
      while (got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
      // A file that shrank meanwhile is taken as far as it went.
      out.resize(got);
    } catch (const std::bad_alloc &) {
      ok = false;
    }
  }
  ::close(fd);
  return ok;
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

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void *AllocateStoreBytes(std::size_t bytes) {
  if (bytes < 2 * kHugePage) {
    if (void *p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
  }
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void *p = std::aligned_alloc(kHugePage, rounded);
  if (!p) throw std::bad_alloc();
  ::madvise(p, rounded, MADV_HUGEPAGE);
  return p;
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
  for (std::size_t at = 0; total - at >= kDataSizeAt + 4;) {
    const unsigned char *p = file->data() + at;
    const std::size_t headerSize = p[0] | (p[1] << 8);
    if (headerSize < kDataSizeAt + 4 || headerSize > total - at ||
        Get32(p + kDataSizeAt) > total - at - headerSize)
      break;
    at += headerSize + Get32(p + kDataSizeAt);
    ++count;
  }
  scan.records.reserve(count);
  std::size_t at = 0;
  while (at < total) {
    const std::size_t left = total - at;
    const unsigned char *p = file->data() + at;
    // A record must at least tell its data size.
    if (left < kDataSizeAt + 4) {
      scan.damaged = true;
      break;
    }
    const std::size_t headerSize = p[0] | (p[1] << 8);
    if (headerSize < kDataSizeAt + 4 || headerSize > left) {
      scan.damaged = true;
      break;
    }
    const std::size_t dataSize = Get32(p + kDataSizeAt);
    if (dataSize > left - headerSize) {
      scan.damaged = true;
      break;
    }
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

const ThumbRecord *CThumbFolder::Find(std::string_view name, std::string_view archive) const {
  auto it = index_.find(Key(name, archive));
  return it == index_.end() ? nullptr : &records_[it->second];
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
  auto file = std::make_shared<ThumbBytes>();
  bool exists = false;
  if (!ReadWholeFile(CThumbStore::FilePath(path_), *file, exists)) {
    readFailed_ = exists;
    return;
  }
  ThumbFileScan scan = ParseThumbFile(std::move(file));
  damaged_ = scan.damaged;
  records_ = std::move(scan.records);
  index_.reserve(records_.size());
  for (std::size_t i = 0; i < records_.size(); ++i) {
    // A later record of the same file could never be found; it is left out.
    if (!index_.try_emplace(Key(records_[i].header.name, records_[i].header.archiveName), i).second)
      records_[i].block.reset();
  }
  changed_ = false;
}

void CThumbFolder::Put(ThumbRecord record) {
  auto [it, fresh] = index_.try_emplace(Key(record.header.name, record.header.archiveName), records_.size());
  if (fresh)
    records_.push_back(std::move(record));
  else
    records_[it->second] = std::move(record);
  changed_ = true;
}

bool CThumbFolder::Erase(std::string_view name, std::string_view archive) {
  auto it = index_.find(Key(name, archive));
  if (it == index_.end()) return false;
  records_[it->second].block.reset();
  index_.erase(it);
  changed_ = true;
  return true;
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
  if (!WriteRecordsAtomically(file, records_)) return false;
  // The removed records are gone for good now.
  std::vector<ThumbRecord> kept;
  kept.reserve(index_.size());
  for (ThumbRecord &r : records_)
    if (r.block) kept.push_back(std::move(r));
  records_ = std::move(kept);
  index_.clear();
  for (std::size_t i = 0; i < records_.size(); ++i)
    index_.emplace(Key(records_[i].header.name, records_[i].header.archiveName), i);
  changed_ = false;
  readFailed_ = false;
  return true;
}

// --- the store

std::string CThumbStore::FilePath(const std::string &folder) { return JoinPath(folder, kFileName); }

CThumbFolder &CThumbStore::GetFolder(const std::string &folder) {
  std::string path(TrimTrailingSlash(folder));
  for (auto &f : folders_)
    if (f->Path() == path) return *f;
  folders_.push_back(std::make_unique<CThumbFolder>(path));
  CThumbFolder &f = *folders_.back();
  f.Load();
  return f;
}

int CThumbStore::Add(CPicEntry &entry, int quality) {
  if (!entry.thumbnail) return 0;
  HDIB source = entry.thumbnail.get();
  HDIB bgr = DibTo24Bit(source);
  if (!bgr) return 0;
  GlobalHandle converted(bgr != source ? bgr : nullptr);

  ThumbRecordHeader h;
  const std::size_t room = GlobalSize(bgr) + 1024;
  auto block = std::make_shared<ThumbBytes>();
  try {
    block->resize(kThumbHeaderBytes + room);
  } catch (const std::bad_alloc &) {
    return 0;
  }
  std::size_t size = room;
  if (EncodeDibAsJpeg(block->data() + kThumbHeaderBytes, &size, bgr, 1, quality, nullptr, 0) != 1 ||
      size > UINT32_MAX)
    return 0;
  block->resize(kThumbHeaderBytes + size);

  h.dataSize = static_cast<uint32_t>(size);
  h.fileSize = static_cast<uint32_t>(entry.size);
  h.lastWrite = StoreSeconds(entry.lastWriteTime);
  h.name = entry.name;
  h.position = entry.position;
  h.thumbWidth = DibWidth(bgr);
  h.thumbHeight = std::abs(DibHeight(bgr));
  h.boxWidth = entry.sizeBoxWidth;
  h.boxHeight = entry.sizeBoxHeight;
  h.pictureWidth = entry.pictureWidth;
  h.pictureHeight = entry.pictureHeight;
  h.bitCount = entry.bitCount;
  if (decoders_ && entry.decoderIndex >= 0)
    h.decoderName = decoders_->DecoderName(entry.decoderIndex, PictureDecoders::kPicture);
  h.archiveName = entry.ArchiveName();
  if (decoders_ && entry.IsArchiveMember() && entry.archiveDecoderIndex >= 0)
    h.archiveDecoderName = decoders_->DecoderName(entry.archiveDecoderIndex, PictureDecoders::kArchive);
  h.font = entry.Font();
  h.frame = entry.switches.frame;
  h.nameSwitch = entry.switches.name;
  h.nameFrame = entry.switches.nameFrame;
  h.scaleMode = entry.thumbScaleMode;
  h.unsharp = entry.thumbUnsharp;
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

int CThumbStore::Load(CPicEntry &entry) {
  const ThumbRecord *r = GetFolder(entry.Folder()).Find(entry.name, entry.ArchiveName());
  if (!r) return 0;
  const ThumbRecordHeader &h = r->header;
  const bool member = entry.IsArchiveMember();
  int decoder = -1;
  if (decoders_ && !h.decoderName.empty())
    decoder = decoders_->FindDecoderByName(h.decoderName, PictureDecoders::kPicture);
  if (h.lastWrite != StoreSeconds(entry.lastWriteTime) || h.fileSize != static_cast<uint32_t>(entry.size) ||
      h.position != entry.position)
    return 0;
  if (!member && (decoder < 0 || !decoders_->IsInUse(decoder, PictureDecoders::kPicture))) return 0;

  HDIB picture = nullptr;
  if (builtin::JpegDecodeThumbnail(&picture, r->Data(), h.dataSize, 1, nullptr, 0) != 0 || !picture) {
    if (picture) GlobalFree(picture);
    return 0;
  }
  GlobalHandle thumb(picture);
  if (DibBitCount(thumb.get()) != 24) {
    HDIB bgr = DibTo24Bit(thumb.get());
    if (!bgr) return 0;
    if (bgr != thumb.get()) thumb = GlobalHandle(bgr);
  }

  entry.pictureWidth = h.pictureWidth;
  entry.pictureHeight = h.pictureHeight;
  entry.bitCount = h.bitCount;
  entry.sizeBoxWidth = h.boxWidth;
  entry.sizeBoxHeight = h.boxHeight;
  // The picture's own size, whatever the header says.
  entry.thumbWidth = DibWidth(thumb.get());
  entry.thumbHeight = std::abs(DibHeight(thumb.get()));
  entry.decoderIndex = decoder;
  // What the thumbnail was made with; the entry's own switches stay what the settings gave it,
  // so that a record made otherwise (from the old folder index, say) is judged by them.
  entry.thumbScaleMode = h.scaleMode;
  entry.thumbUnsharp = static_cast<int8_t>(h.unsharp != 0);
  entry.FreePictures();
  entry.thumbnail = std::move(thumb);
  return 1;
}

void CThumbStore::Flush() {
  // A store whose file cannot be written is skipped; the others are still written.
  for (auto &f : folders_) f->Write();
}

}  // namespace tamro
