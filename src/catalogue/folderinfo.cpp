// The old folder index "DIRINFO.RXI": read only, never written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "catalogue/inicache.h"
#include "catalogue/packeddib.h"
#include "catalogue/pathutil.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "decode/builtin/builtin.h"
#include "picture/dib.h"
#include "platform/fileio.h"
#include "platform/listfield.h"
#include "platform/ui.h"

namespace tamro {

namespace {

class ReadOnlyFile {
 public:
  // Only a regular file: the index must not leave the listing waiting on a FIFO.
  explicit ReadOnlyFile(const std::string &path) : fd_(OpenRegularFile(path)) {
    struct stat st {};
    if (fd_ && ::fstat(fd_.get(), &st) == 0)
      size_ = static_cast<uint64_t>(st.st_size);
    else
      fd_.reset();
  }
  explicit operator bool() const { return static_cast<bool>(fd_); }
  uint64_t size() const { return size_; }

  // Reads up to `n` bytes at `offset`; fewer when the file ends first.
  std::vector<unsigned char> ReadAt(uint64_t offset, std::size_t n) const {
    std::vector<unsigned char> out;
    if (!fd_ || offset >= size_) return out;
    if (n > size_ - offset) n = static_cast<std::size_t>(size_ - offset);
    out.resize(n);
    std::size_t got = 0;
    while (got < n) {
      ssize_t r = ::pread(fd_.get(), out.data() + got, n - got, static_cast<off_t>(offset + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    out.resize(got);
    return out;
  }

 private:
  UniqueFd fd_;
  uint64_t size_ = 0;
};

// A file's own size and times, as the listing takes them.
bool ReadFileFacts(const std::string &path, uint64_t &size, FileTime &created, FileTime &written) {
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT,
              STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME, &sx) != 0 ||
      !S_ISREG(sx.stx_mode))
    return false;
  auto time = [](const struct statx_timestamp &t) {
    return static_cast<FileTime>(t.tv_sec) * kNanosPerSecond + t.tv_nsec;
  };
  size = sx.stx_size;
  written = time(sx.stx_mtime);
  created = (sx.stx_mask & STATX_BTIME) ? time(sx.stx_btime) : written;
  return true;
}

// A text value of the index: field 0 of a comma list, so quotes may enclose it.
std::string TextValue(CIniCache &ini, std::string_view section, std::string_view key) {
  std::string raw;
  if (ini.GetValue(section, key, raw) != 0) return {};
  std::string out;
  GetListField(raw, 0, out);
  return out;
}

// A pair such as "20,20", quoted or not.
CellSize PairValue(CIniCache &ini, std::string_view section, std::string_view key) {
  std::string raw;
  ini.GetValue(section, key, raw);
  if (raw.size() >= 2 && raw.front() == '"') GetListField(std::string(raw), 0, raw);
  CellSize s;
  GetListInt(raw, 0, s.width);
  GetListInt(raw, 1, s.height);
  return s;
}

long long LongValue(CIniCache &ini, std::string_view section, std::string_view key, long long def) {
  std::string raw;
  if (ini.GetValue(section, key, raw) != 0) return def;
  errno = 0;
  long long v = std::strtoll(raw.c_str(), nullptr, 10);
  if (errno == ERANGE) return def;
  return v;
}

// Seconds of the index as a file time; a lying value must not overflow.
FileTime Nanos(long long seconds) {
  constexpr long long kMax = INT64_MAX / kNanosPerSecond;
  return std::clamp(seconds, -kMax, kMax) * kNanosPerSecond;
}

// A name from the index must stay inside the folder it describes.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

GlobalHandle ReadThumbnail(const ReadOnlyFile &data, uint64_t offset, int version, long long jpegSize, int &w,
                           int &h) {
  w = h = 0;
  if (version == 1) {
    constexpr std::size_t kProbe = 14 + 124;
    std::vector<unsigned char> head = data.ReadAt(offset, kProbe);
    std::size_t need = PackedDibSize(head.data(), head.size());
    if (need == 0) return {};
    std::vector<unsigned char> all = data.ReadAt(offset, need);
    return ReadPackedDib(all.data(), all.size(), w, h);
  }
  if (version == 2) {
    if (jpegSize < 1 || static_cast<uint64_t>(jpegSize) > data.size()) return {};
    std::vector<unsigned char> bytes = data.ReadAt(offset, static_cast<std::size_t>(jpegSize));
    if (bytes.empty()) return {};
    HDIB out = nullptr;
    if (builtin::JpegDecodeThumbnail(&out, bytes.data(), bytes.size(), 1, nullptr, 0) != 0 || !out) return {};
    GlobalHandle picture(out);
    HDIB rgb = DibTo24Bit(picture.get());
    if (!rgb) return {};
    if (rgb != picture.get()) picture.reset(rgb);
    GlobalLockGuard lock(picture.get());
    if (!lock || GlobalSize(picture.get()) < sizeof(BitmapInfoHeader)) return {};
    const auto *info = lock.as<BitmapInfoHeader>();
    w = info->width;
    h = info->height < 0 ? -info->height : info->height;
    return picture;
  }
  return {};
}

}  // namespace

int CRXDoc::ReadFolderInfo(const std::string &folder) {
  BusyScope busy(*this);
  std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress("フォルダ情報ファイルにアクセスしています...");

  CIniCache ini;
  ini.ReadAll(JoinPath(folder, kInfoFileName));
  int maxCount = ini.GetInt("Document", "MaxCount", 0);
  int version = ini.GetInt("Document", "DataVersion", 0);
  CellSize docSize = PairValue(ini, "Document", "DocSize");
  if (docSize.width < settings_.thumbsLimitSize.width) docSize.width = settings_.thumbsLimitSize.width;
  if (docSize.height < settings_.thumbsLimitSize.height) docSize.height = settings_.thumbsLimitSize.height;
  folderCellSize_ = docSize;
  std::string thumbsName = TextValue(ini, "Document", "ThumbsFile");
  // Only a name in this folder: the index must not send us reading elsewhere.
  ReadOnlyFile data(IsPlainName(NamePart(thumbsName)) ? JoinPath(folder, NamePart(thumbsName))
                                                      : std::string());

  // A lying count must not make us walk billions of absent sections: no section past the
  // highest numbered one present can add an entry.
  int last = 0;
  for (const auto &s : ini.sections()) {
    char *end = nullptr;
    long n = std::strtol(s.name.c_str(), &end, 10);
    if (!s.name.empty() && end && *end == 0 && n > last && n <= maxCount) last = static_cast<int>(n);
  }
  if (progress) progress->SetRange(1, maxCount > 0 ? (maxCount < INT_MAX ? maxCount + 1 : INT_MAX) : 1);

  int added = 0;
  for (long long i = 1; i <= last; ++i) {
    if (progress && progress->Aborted()) break;
    std::string section = std::to_string(i);
    std::string position;
    bool mayThumb = data && ini.GetValue(section, "ThumbsPosition", position) == 0;
    IndexedEntry e;
    e.folder = folder;
    e.name = TextValue(ini, section, "FileName");
    if (progress) progress->SetText(e.name);
    std::string spiName = TextValue(ini, section, "SPIName");
    std::string arcSpiName = TextValue(ini, section, "ArchiveSPIName");
    e.facts.decoder = decoders_ ? decoders_->FindDecoderByName(spiName, PictureDecoders::kPicture) : -1;
    e.archiveDecoderIndex = decoders_ && !arcSpiName.empty()
                                ? decoders_->FindDecoderByName(arcSpiName, PictureDecoders::kArchive)
                                : -1;
    e.archiveName = TextValue(ini, section, "ArchiveFileName");

    if (e.archiveDecoderIndex >= 0) {
      long long stamp = 0;
      if (!settings_.archive || !IsPlainName(e.archiveName) || e.name.empty()) continue;
      std::string archivePath = JoinPath(folder, e.archiveName);
      if (!IsRegularFile(archivePath) || !LastWriteSeconds(archivePath, stamp) ||
          stamp != LongValue(ini, section, "ArchiveLastWriteTime", LLONG_MIN))
        continue;
      if (e.facts.decoder < 0) continue;
    }
    long long length = LongValue(ini, section, "Length", 0);
    e.size = length > 0 ? static_cast<uint64_t>(length) : 0;
    e.creationTime = Nanos(LongValue(ini, section, "CreateTime", 0));
    e.lastWriteTime = Nanos(LongValue(ini, section, "LastWriteTime", 0));
    e.facts.width = ini.GetInt(section, "Width", 0);
    e.facts.height = ini.GetInt(section, "Height", 0);
    e.facts.bitCount = ini.GetInt(section, "BitCount", 0);
    e.description = TextValue(ini, section, "Document");
    if (e.archiveDecoderIndex < 0) {
      e.archiveName.clear();
      uint64_t size = 0;
      FileTime created = 0, written = 0;
      if (e.facts.decoder < 0 || !IsPlainName(e.name) ||
          !ReadFileFacts(JoinPath(folder, e.name), size, created, written))
        continue;
      long long seconds = written / kNanosPerSecond;
      if (written % kNanosPerSecond < 0) --seconds;
      const long long given = LongValue(ini, section, "Length", LLONG_MIN);
      const bool sameSize = given == LLONG_MIN || (given >= 0 && static_cast<uint64_t>(given) == size);
      if (seconds != LongValue(ini, section, "LastWriteTime", LLONG_MIN) || !sameSize) {
        // Changed since the index was written: the file's own facts, and nothing the index
        // says about its picture; the thumbnail is rebuilt later.
        mayThumb = false;
        e.size = size;
        e.creationTime = created;
        e.lastWriteTime = written;
        e.facts.width = e.facts.height = e.facts.bitCount = 0;
        e.description.clear();
      }
    }
    CellSize box = PairValue(ini, section, "SizeBox");
    e.sizeBoxWidth = box.width;
    e.sizeBoxHeight = box.height;
    long long memberPosition = LongValue(ini, section, "Position", 0);
    e.position = static_cast<uint32_t>(memberPosition);
    CPicEntry *entry = AddEntry(e);
    ++added;
    supplied_.insert(ReuseKey(folder, e.archiveName, e.name, e.position, !e.archiveName.empty()));

    if (mayThumb) {
      long long offset = std::strtoll(position.c_str(), nullptr, 10);
      // The decoder is found again on the next full decode; the picture facts of an
      // unchanged file stay.
      entry->facts.decoder = -1;
      entry->SetDescription(std::string());
      entry->FreePictures();
      int w = 0, h = 0;
      if (offset >= 0)
        entry->thumbnail = ReadThumbnail(data, static_cast<uint64_t>(offset), version,
                                         LongValue(ini, section, "ThumbsSize", 0), w, h);
      if (entry->thumbnail) {
        entry->thumbWidth = w;
        entry->thumbHeight = h;
      }
    }
    if (progress) progress->SetPos(static_cast<int>(i));
  }
  return added;
}

}  // namespace tamro
