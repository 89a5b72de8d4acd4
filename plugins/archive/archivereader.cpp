#include "archive/archivereader.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "archive/membername.h"
#include "decode/spi.h"

namespace tamro::plugin::archive {

namespace {

// libarchive converts names into the character set of the calling thread's locale. Names
// must come out as UTF-8 whatever locale the host runs in, so every call switches this
// thread (only) to a UTF-8 locale for its duration.
class Utf8Locale {
 public:
  Utf8Locale() {
    static const Owned utf8;
    if (utf8.loc != static_cast<locale_t>(0)) previous_ = uselocale(utf8.loc);
  }
  ~Utf8Locale() {
    if (previous_ != static_cast<locale_t>(0)) uselocale(previous_);
  }
  Utf8Locale(const Utf8Locale &) = delete;
  Utf8Locale &operator=(const Utf8Locale &) = delete;

 private:
  // Made once, freed when the module is unloaded.
  struct Owned {
    locale_t loc = static_cast<locale_t>(0);
    Owned() {
      for (const char *name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
        loc = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
        if (loc != static_cast<locale_t>(0)) break;
      }
    }
    ~Owned() {
      if (loc != static_cast<locale_t>(0)) freelocale(loc);
    }
  };
  locale_t previous_ = static_cast<locale_t>(0);
};

// One libarchive reader over a source. Files are read with pread through our own callbacks
// so that an offset into the file and seeking (ZIP's central directory) both work.
class Reader {
 public:
  Reader() = default;
  ~Reader() {
    if (a_ != nullptr) archive_read_free(a_);
  }
  Reader(const Reader &) = delete;
  Reader &operator=(const Reader &) = delete;

  int Open(const Source &source);
  struct archive *get() const {
    return a_;
  }

  // Reads the next header, counting positions the same way for listing and extraction.
  // Answers ARCHIVE_OK (entry usable, `position` its position), ARCHIVE_EOF, or
  // ARCHIVE_FATAL when the archive cannot be read further.
  int Next(archive_entry **entry, uint32_t &position);

 private:
  static la_ssize_t OnRead(struct archive *, void *self, const void **buffer);
  static la_int64_t OnSkip(struct archive *, void *self, la_int64_t request);
  static la_int64_t OnSeek(struct archive *, void *self, la_int64_t offset, int whence);

  struct archive *a_ = nullptr;
  UniqueFd fd_;
  uint64_t base_ = 0, size_ = 0, pos_ = 0;
  std::vector<uint8_t> buffer_;
  uint32_t next_ = 0;
  int badHeaders_ = 0;
};

void EnableFormats(struct archive *a) {
  // Only formats and filters that libarchive reads by itself: no format that may refer to
  // files outside the archive (mtree) and no filter that runs an outside program.
  archive_read_support_format_zip(a);
  archive_read_support_format_7zip(a);
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  archive_read_support_format_lha(a);
  archive_read_support_format_tar(a);
  archive_read_support_format_cab(a);
  archive_read_support_format_iso9660(a);
  archive_read_support_filter_gzip(a);
  archive_read_support_filter_bzip2(a);
  archive_read_support_filter_xz(a);
  archive_read_support_filter_lzma(a);
  archive_read_support_filter_lzip(a);
  archive_read_support_filter_zstd(a);
  archive_read_support_filter_compress(a);
  // LHA headers carry no character set and Japanese archivers wrote CP932; libarchive
  // gives up on such names unless told. Other formats hand us their bytes as stored.
  archive_read_set_options(a, "lha:hdrcharset=CP932");
}

int Reader::Open(const Source &source) {
  a_ = archive_read_new();
  if (a_ == nullptr) return SPI_OUT_OF_MEMORY;
  EnableFormats(a_);
  int r;
  if (source.path == nullptr) {
    if (source.data == nullptr || source.size == 0) return SPI_FORMAT_ERROR;
    r = archive_read_open_memory(a_, source.data, source.size);
  } else {
    // Regular files only, opened without waiting on a FIFO.
    fd_ = OpenRegularFile(source.path);
    struct stat st {};
    if (!fd_ || ::fstat(fd_.get(), &st) != 0) return SPI_READ_ERROR;
    if (source.offset >= static_cast<uint64_t>(st.st_size)) return SPI_DATA_ENDED;
    base_ = source.offset;
    size_ = static_cast<uint64_t>(st.st_size) - base_;
    try {
      buffer_.resize(64 * 1024);
    } catch (const std::bad_alloc &) {
      return SPI_OUT_OF_MEMORY;
    }
    archive_read_set_read_callback(a_, &Reader::OnRead);
    archive_read_set_skip_callback(a_, &Reader::OnSkip);
    archive_read_set_seek_callback(a_, &Reader::OnSeek);
    archive_read_set_callback_data(a_, this);
    r = archive_read_open1(a_);
  }
  if (r != ARCHIVE_OK) return archive_errno(a_) == ENOMEM ? SPI_OUT_OF_MEMORY : SPI_FORMAT_ERROR;
  return SPI_OK;
}

la_ssize_t Reader::OnRead(struct archive *a, void *data, const void **buffer) {
  auto *self = static_cast<Reader *>(data);
  size_t want = static_cast<size_t>(
      std::min<uint64_t>(self->buffer_.size(), self->size_ - std::min(self->pos_, self->size_)));
  *buffer = self->buffer_.data();
  if (want == 0) return 0;
  for (;;) {
    ssize_t got =
        ::pread(self->fd_.get(), self->buffer_.data(), want, static_cast<off_t>(self->base_ + self->pos_));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      archive_set_error(a, errno, "read failed");
      return -1;
    }
    self->pos_ += static_cast<uint64_t>(got);
    return got;
  }
}

la_int64_t Reader::OnSkip(struct archive *, void *data, la_int64_t request) {
  auto *self = static_cast<Reader *>(data);
  if (request <= 0) return 0;
  uint64_t room = self->size_ - std::min(self->pos_, self->size_);
  uint64_t step = std::min<uint64_t>(static_cast<uint64_t>(request), room);
  self->pos_ += step;
  return static_cast<la_int64_t>(step);
}

la_int64_t Reader::OnSeek(struct archive *, void *data, la_int64_t offset, int whence) {
  auto *self = static_cast<Reader *>(data);
  la_int64_t origin = 0;
  if (whence == SEEK_CUR)
    origin = static_cast<la_int64_t>(self->pos_);
  else if (whence == SEEK_END)
    origin = static_cast<la_int64_t>(self->size_);
  else if (whence != SEEK_SET)
    return ARCHIVE_FATAL;
  if ((offset > 0 && origin > LLONG_MAX - offset) || origin + offset < 0) return ARCHIVE_FATAL;
  self->pos_ = std::min<uint64_t>(static_cast<uint64_t>(origin + offset), self->size_);
  return static_cast<la_int64_t>(self->pos_);
}

int Reader::Next(archive_entry **entry, uint32_t &position) {
  for (;;) {
    if (next_ == UINT32_MAX) return ARCHIVE_EOF;
    int r = archive_read_next_header(a_, entry);
    if (r == ARCHIVE_EOF) return ARCHIVE_EOF;
    if (r == ARCHIVE_FATAL || *entry == nullptr) return ARCHIVE_FATAL;
    position = next_++;
    if (r >= ARCHIVE_WARN) {
      badHeaders_ = 0;
      return ARCHIVE_OK;
    }
    // A header libarchive could not use (ARCHIVE_RETRY, ARCHIVE_FAILED) still takes a
    // position; too many in a row means the archive is garbage.
    if (++badHeaders_ > 64) return ARCHIVE_FATAL;
  }
}

// Text between the first "(" and the following ")" of a format name.
std::string_view Parenthesised(std::string_view text) {
  size_t open = text.find('(');
  if (open == std::string_view::npos) return {};
  size_t close = text.find(')', open + 1);
  if (close == std::string_view::npos) return {};
  return text.substr(open + 1, close - open - 1);
}

std::string MethodText(struct archive *a) {
  const char *nameText = archive_format_name(a);
  std::string_view name = nameText != nullptr ? nameText : "";
  switch (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_ZIP: {
      std::string_view m = Parenthesised(name);
      struct {
        std::string_view from, to;
      } static constexpr kZip[] = {
          {"uncompressed", "Store"}, {"deflation", "Deflate"}, {"deflation-64-bit", "Deflat64"},
          {"bzip2", "BZip2"},        {"lzma", "LZMA"},         {"xz", "XZ"},
          {"zstd", "Zstd"},          {"ppmd8", "PPMd"},        {"shrinking", "Shrink"},
          {"imploding", "Implode"}};
      for (const auto &z : kZip)
        if (m == z.from) return std::string(z.to);
      if (!m.empty()) return std::string(m.substr(0, 8));
      return "ZIP";
    }
    case ARCHIVE_FORMAT_LHA: {
      // "lha -lh5-": the method mark itself.
      size_t dash = name.find('-');
      if (dash != std::string_view::npos) return std::string(name.substr(dash, 5));
      return "LHA";
    }
    case ARCHIVE_FORMAT_CAB: {
      std::string_view m = Parenthesised(name);
      if (m == "NONE" || m.empty()) return m.empty() ? "CAB" : "Store";
      return std::string(m.substr(0, 8));
    }
    case ARCHIVE_FORMAT_7ZIP:
      return "7z";
    case ARCHIVE_FORMAT_RAR:
      return "RAR";
    case ARCHIVE_FORMAT_RAR_V5:
      return "RAR5";
    case ARCHIVE_FORMAT_ISO9660:
      return "ISO9660";
    case ARCHIVE_FORMAT_TAR:
      switch (archive_filter_code(a, 0)) {
        case ARCHIVE_FILTER_GZIP:
          return "Tar.gz";
        case ARCHIVE_FILTER_BZIP2:
          return "Tar.bz2";
        case ARCHIVE_FILTER_XZ:
          return "Tar.xz";
        case ARCHIVE_FILTER_LZMA:
          return "Tar.lzma";
        case ARCHIVE_FILTER_LZIP:
          return "Tar.lz";
        case ARCHIVE_FILTER_ZSTD:
          return "Tar.zst";
        case ARCHIVE_FILTER_COMPRESS:
          return "Tar.Z";
        default:
          return "Tar";
      }
    default:
      return name.empty() ? std::string("?") : std::string(name.substr(0, 8));
  }
}

// Turns a header into a member; false for anything that is not a regular file with a name.
bool DescribeEntry(struct archive *a, archive_entry *entry, uint32_t position, Member &m) {
  mode_t type = archive_entry_filetype(entry);
  if (type != AE_IFREG && type != 0) return false;
  if (archive_entry_hardlink(entry) != nullptr) return false;  // its bytes belong to another member
  const char *raw = archive_entry_pathname(entry);
  if (raw == nullptr) raw = archive_entry_pathname_utf8(entry);
  if (raw == nullptr) return false;
  SplitMemberPath(NameToUtf8(raw), m.folder, m.name);
  if (m.name.empty()) return false;
  m.position = position;
  m.size = archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0
               ? static_cast<uint64_t>(archive_entry_size(entry))
               : 0;
  m.mtime = archive_entry_mtime_is_set(entry) ? static_cast<int64_t>(archive_entry_mtime(entry)) : 0;
  m.method = MethodText(a);
  // libarchive tells neither compressed sizes nor CRCs; a stored member's is its own size.
  m.compressedSize = m.method == "Store" || m.method == "-lh0-" ? m.size : 0;
  m.crc = 0;
  return true;
}

bool HasPrefix(const uint8_t *head, size_t size, std::string_view mark, size_t at = 0) {
  return size >= at + mark.size() && std::memcmp(head + at, mark.data(), mark.size()) == 0;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char a = text[text.size() - suffix.size() + i], b = suffix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// True when the head bytes decompress to the start of a tar archive.
bool HeadIsCompressedTar(const uint8_t *head, size_t size) {
  struct archive *a = archive_read_new();
  if (a == nullptr) return false;
  archive_read_support_format_tar(a);
  archive_read_support_filter_gzip(a);
  archive_read_support_filter_bzip2(a);
  archive_read_support_filter_xz(a);
  archive_read_support_filter_lzma(a);
  archive_read_support_filter_lzip(a);
  archive_read_support_filter_zstd(a);
  archive_read_support_filter_compress(a);
  bool ok = false;
  if (archive_read_open_memory(a, head, size) == ARCHIVE_OK) {
    archive_entry *entry = nullptr;
    int r = archive_read_next_header(a, &entry);
    ok = r == ARCHIVE_OK || r == ARCHIVE_WARN;
  }
  archive_read_free(a);
  return ok;
}

}  // namespace

bool Recognise(const uint8_t *head, size_t size, const char *fileName, ReadAt readAt, void *context) {
  using namespace std::string_view_literals;
  if (HasPrefix(head, size, "PK\x03\x04"sv) || HasPrefix(head, size, "PK\x05\x06"sv) ||
      HasPrefix(head, size, "PK\x07\x08PK\x03\x04"sv))
    return true;
  if (HasPrefix(head, size, "7z\xBC\xAF\x27\x1C"sv)) return true;
  if (HasPrefix(head, size, "Rar!\x1A\x07\x00"sv) || HasPrefix(head, size, "Rar!\x1A\x07\x01\x00"sv))
    return true;
  if (HasPrefix(head, size, "MSCF\0\0\0\0"sv)) return true;
  // LHA: "-lh?-", "-lz?-" or "-pm?-" at offset 2, closing dash at 6.
  if (size >= 7 && head[2] == '-' && head[6] == '-' &&
      (HasPrefix(head, size, "-lh"sv, 2) || HasPrefix(head, size, "-lz"sv, 2) ||
       HasPrefix(head, size, "-pm"sv, 2)))
    return true;
  if (HasPrefix(head, size, "ustar"sv, 257)) return true;
  const bool compressed = HasPrefix(head, size, "\x1F\x8B"sv) || HasPrefix(head, size, "BZh"sv) ||
                          HasPrefix(head, size,
                                    "\xFD"
                                    "7zXZ\0"sv) ||
                          HasPrefix(head, size, "\x28\xB5\x2F\xFD"sv) || HasPrefix(head, size, "LZIP"sv) ||
                          HasPrefix(head, size, "\x1F\x9D"sv) || HasPrefix(head, size, "\x5D\0\0"sv);
  if (compressed) {
    std::string_view name = fileName != nullptr ? fileName : "";
    for (std::string_view ext :
         {".tar.gz"sv, ".tgz"sv, ".tar.bz2"sv, ".tbz"sv, ".tbz2"sv, ".tar.xz"sv, ".txz"sv, ".tar.zst"sv,
          ".tzst"sv, ".tar.lz"sv, ".tar.lzma"sv, ".tlz"sv, ".tar.z"sv, ".taz"sv})
      if (EndsWithNoCase(name, ext)) return true;
    return HeadIsCompressedTar(head, size);
  }
  // ISO 9660: the first volume descriptor lies at 32 KiB, past the head.
  if (readAt != nullptr) {
    char mark[5];
    if (readAt(context, 0x8001, mark, sizeof mark) == sizeof mark && std::memcmp(mark, "CD001", 5) == 0)
      return true;
  }
  return false;
}

int ListMembers(const Source &source, std::vector<Member> &members) {
  members.clear();
  Utf8Locale locale;
  Reader reader;
  int rc = reader.Open(source);
  if (rc != SPI_OK) return rc;
  archive_entry *entry = nullptr;
  uint32_t position = 0;
  for (;;) {
    int r = reader.Next(&entry, position);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK) {
      // What was read before the damage stays listed; a damaged member fails on its own.
      if (members.empty() && position == 0) return SPI_FORMAT_ERROR;
      break;
    }
    Member m;
    if (DescribeEntry(reader.get(), entry, position, m)) {
      members.push_back(std::move(m));
      if (members.size() >= kMaxMembers) break;
    }
  }
  return SPI_OK;
}

int BuildInfoBlock(const std::vector<Member> &members, HLOCAL *block) {
  *block = nullptr;
  const uint64_t bytes = (static_cast<uint64_t>(members.size()) + 1) * sizeof(SpiArchiveInfo);
  if (bytes > TAMRO_GLOBALMEM_MAX_BLOCK) return SPI_OUT_OF_MEMORY;
  OwnedBlock owned;
  if (!owned.Allocate(static_cast<size_t>(bytes))) return SPI_OUT_OF_MEMORY;
  auto *records = static_cast<SpiArchiveInfo *>(owned.Lock());
  if (records == nullptr) return SPI_MEMORY_ERROR;
  auto clamp32 = [](uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX)); };
  for (size_t i = 0; i < members.size(); ++i) {
    const Member &m = members[i];
    SpiArchiveInfo &r = records[i];
    std::memcpy(r.method, m.method.data(), std::min(m.method.size(), sizeof r.method));
    r.position = m.position;
    r.compsize = clamp32(m.compressedSize);
    r.filesize = clamp32(m.size);
    r.timestamp = static_cast<int32_t>(std::clamp<int64_t>(m.mtime, 0, INT32_MAX));
    std::string_view folder = Utf8Cut(m.folder, sizeof r.path - 1);
    std::memcpy(r.path, folder.data(), folder.size());
    const std::string name = CutFileName(m.name, sizeof r.filename - 1);
    std::memcpy(r.filename, name.data(), name.size());
    r.crc = m.crc;
  }
  owned.Unlock();
  *block = owned.Release();
  return SPI_OK;
}

namespace {

// What makes an archive file the same one as before: a cached reader is only reused for
// the very file, unchanged, it was opened on.
struct FileIdentity {
  std::string path;
  uint64_t offset = 0;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};

  bool operator==(const FileIdentity &o) const {
    return path == o.path && offset == o.offset && device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

bool IdentityOf(const Source &source, FileIdentity &id) {
  if (source.path == nullptr) return false;
  struct stat st {};
  if (::stat(source.path, &st) != 0) return false;
  id.path = source.path;
  id.offset = source.offset;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.modified = st.st_mtim;
  return true;
}

// Members are mostly fetched in order (thumbnails of a whole archive), and reaching member n
// means reading the n headers before it, or in solid archives decompressing everything
// before it. The reader of the last extraction is kept, so the next member further on
// continues from there instead of starting over.
class ReaderCache {
 public:
  // The kept reader when it is on `id` and has not passed `position`; else null.
  std::unique_ptr<Reader> Take(const FileIdentity &id, uint32_t position) {
    std::lock_guard<std::mutex> hold(mutex_);
    std::unique_ptr<Reader> reader = std::move(reader_);
    if (reader && id == id_ && position > last_) return reader;
    return nullptr;
  }
  void Put(std::unique_ptr<Reader> reader, const FileIdentity &id, uint32_t last) {
    std::lock_guard<std::mutex> hold(mutex_);
    reader_ = std::move(reader);
    id_ = id;
    last_ = last;
  }

 private:
  std::mutex mutex_;
  std::unique_ptr<Reader> reader_;
  FileIdentity id_;
  uint32_t last_ = 0;
};

ReaderCache &Cache() {
  static ReaderCache cache;
  return cache;
}

int ExtractCurrent(Reader &reader, archive_entry *entry, uint32_t position, MemberSink &sink,
                   Progress &progress);

}  // namespace

int Extract(const Source &source, uint32_t position, MemberSink &sink, Progress &progress) {
  Utf8Locale locale;
  FileIdentity id;
  const bool cacheable = IdentityOf(source, id);
  std::unique_ptr<Reader> reader;
  if (cacheable) reader = Cache().Take(id, position);
  if (!reader) {
    reader = std::make_unique<Reader>();
    int rc = reader->Open(source);
    if (rc != SPI_OK) return rc;
  }
  archive_entry *entry = nullptr;
  uint32_t at = 0;
  for (;;) {
    int r = reader->Next(&entry, at);
    if (r != ARCHIVE_OK) return SPI_FORMAT_ERROR;  // ended or broke before the member
    if (at == position) break;
    if (at > position) return SPI_FORMAT_ERROR;
  }
  int rc = ExtractCurrent(*reader, entry, position, sink, progress);
  if (rc == SPI_OK && cacheable) Cache().Put(std::move(reader), id, position);
  return rc;
}

namespace {

int ExtractCurrent(Reader &reader, archive_entry *entry, uint32_t position, MemberSink &sink,
                   Progress &progress) {
  Member m;
  if (!DescribeEntry(reader.get(), entry, position, m)) return SPI_FORMAT_ERROR;
  if (archive_entry_is_encrypted(entry)) return SPI_FORMAT_ERROR;  // no passphrase to offer
  int rc = sink.Begin(m, m.size);
  if (rc != SPI_OK) return rc;

  // Progress in bytes, or KiB when the size does not fit an int.
  const int shift = m.size > static_cast<uint64_t>(INT_MAX) ? 10 : 0;
  const int total = static_cast<int>(m.size >> shift);
  if (progress.Report(0, total)) return SPI_FORMAT_ERROR;
  std::vector<uint8_t> chunk(256 * 1024);
  uint64_t done = 0;
  for (;;) {
    la_ssize_t got = archive_read_data(reader.get(), chunk.data(), chunk.size());
    if (got == 0) break;
    if (got < 0) return SPI_FORMAT_ERROR;  // damaged, encrypted, or a bad CRC
    rc = sink.Write(chunk.data(), static_cast<size_t>(got));
    if (rc != SPI_OK) return rc;
    done += static_cast<uint64_t>(got);
    // A member longer than declared keeps its total level with what was done.
    const int now = static_cast<int>(std::min<uint64_t>(done >> shift, INT_MAX));
    if (progress.Report(now, std::max(total, now))) return SPI_FORMAT_ERROR;
  }
  return sink.Finish();
}

}  // namespace

int MemorySink::Begin(const Member &, uint64_t declared) {
  // Start from the declared size only up to a modest reservation: a lying header must not
  // make us allocate gigabytes before a single byte has arrived.
  constexpr uint64_t kFirstReservation = 16u << 20;
  capacity_ = static_cast<size_t>(std::clamp<uint64_t>(declared, 4096, kFirstReservation));
  used_ = 0;
  if (!block_.Allocate(capacity_, false)) return SPI_OUT_OF_MEMORY;
  bytes_ = static_cast<uint8_t *>(block_.Lock());
  return bytes_ != nullptr ? SPI_OK : SPI_MEMORY_ERROR;
}

int MemorySink::Write(const void *data, size_t size) {
  if (size > kDecodeBudgetBytes - used_) return SPI_OUT_OF_MEMORY;
  if (used_ + size > capacity_) {
    size_t grown = static_cast<size_t>(
        std::min<uint64_t>(std::max<uint64_t>(capacity_ * 2ull, used_ + size), kDecodeBudgetBytes));
    block_.Unlock();
    bytes_ = nullptr;
    if (!block_.Resize(grown)) return SPI_OUT_OF_MEMORY;
    bytes_ = static_cast<uint8_t *>(block_.Lock());
    if (bytes_ == nullptr) return SPI_MEMORY_ERROR;
    capacity_ = grown;
  }
  std::memcpy(bytes_ + used_, data, size);
  used_ += size;
  return SPI_OK;
}

int MemorySink::Finish() {
  block_.Unlock();
  bytes_ = nullptr;
  // The caller takes the block's size as the member's length.
  if (used_ != capacity_ && !block_.Resize(used_)) return SPI_OUT_OF_MEMORY;
  capacity_ = used_;
  return SPI_OK;
}

int FolderSink::Begin(const Member &member, uint64_t) {
  if (folder_.empty()) return SPI_READ_ERROR;
  std::string base = folder_;
  if (base.back() != '/') base += '/';
  mtime_ = member.mtime;
  file_ = std::make_unique<AtomicFile>(base + member.name);
  return file_->ok() ? SPI_OK : SPI_READ_ERROR;
}

int FolderSink::Write(const void *data, size_t size) {
  return file_ && file_->Write(std::string_view(static_cast<const char *>(data), size)) ? SPI_OK
                                                                                        : SPI_READ_ERROR;
}

int FolderSink::Finish() {
  if (!file_) return SPI_READ_ERROR;
  if (mtime_ > 0) {
    struct timespec times[2] = {{static_cast<time_t>(mtime_), 0}, {static_cast<time_t>(mtime_), 0}};
    ::futimens(file_->fd(), times);
  }
  return file_->Commit() ? SPI_OK : SPI_READ_ERROR;
}

}  // namespace tamro::plugin::archive
