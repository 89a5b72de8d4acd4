#include "catalogue/thumbbuilder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QPainter>
#include <QRect>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "catalogue/notestore.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbstore.h"
#include "catalogue/updatehint.h"
#include "decode/builtin/builtin.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "picture/transform.h"
#include "platform/cpdecode.h"
#include "platform/fileio.h"

namespace tamro {

namespace {

// A file accepted by one decoder after another never needs more tries than this.
constexpr int kMaxDecoderTries = 64;

// Gives other threads (the folder monitor) a turn, as every step of building does.
void Pause() { std::this_thread::yield(); }

// Sets the entry's decoding-now flag for a scope and puts back what was there, so a
// decode started from inside another one does not clear the outer one's flag.
class DecodingScope {
 public:
  explicit DecodingScope(CPicEntry &e) : e_(e), old_(e.decodingNow) { e.decodingNow = true; }
  ~DecodingScope() { e_.decodingNow = old_; }
  DecodingScope(const DecodingScope &) = delete;
  DecodingScope &operator=(const DecodingScope &) = delete;

 private:
  CPicEntry &e_;
  bool old_;
};

// The first 2048 bytes of a file, zero-filled past its end.
void ReadHead(const std::string &path, unsigned char *head) {
  std::memset(head, 0, SPI_HEAD_BYTES);
  std::string bytes;
  if (ReadFileHead(path, SPI_HEAD_BYTES, bytes))
    std::memcpy(head, bytes.data(), std::min<std::size_t>(bytes.size(), SPI_HEAD_BYTES));
}

// Takes size and times from the file again, in the listing's terms.
void RefreshFileFacts(CPicEntry &e) {
  struct statx sx {};
  if (::statx(AT_FDCWD, e.FilePath().c_str(), AT_STATX_SYNC_AS_STAT, STATX_SIZE | STATX_MTIME | STATX_BTIME,
              &sx) != 0)
    return;
  auto time = [](const struct statx_timestamp &t) {
    return static_cast<FileTime>(t.tv_sec) * kNanosPerSecond + t.tv_nsec;
  };
  e.size = sx.stx_size;
  e.lastWriteTime = time(sx.stx_mtime);
  e.creationTime = (sx.stx_mask & STATX_BTIME) ? time(sx.stx_btime) : e.lastWriteTime;
}

int Width(const CellRect &r) { return r.right - r.left; }
int Height(const CellRect &r) { return r.bottom - r.top; }

}  // namespace

CellRect FitThumbnailRect(int width, int height, const CellRect &area, bool limitCheck) {
  const int aw = Width(area), ah = Height(area);
  double s = 1.0;
  if (width != 0 && static_cast<double>(aw) / width < 1.0) s = static_cast<double>(aw) / width;
  if (height != 0 && static_cast<double>(ah) / height < s) s = static_cast<double>(ah) / height;
  if (!limitCheck && s == 1.0 && width != 0 && height != 0)
    s = std::min(static_cast<double>(aw) / width, static_cast<double>(ah) / height);
  // Wrapped pictures stay in int; the clamp only guards absurd sizes.
  const double fw = std::clamp(width * s + 0.5, 0.0, 1e9), fh = std::clamp(height * s + 0.5, 0.0, 1e9);
  const int w = std::max(1, static_cast<int>(fw)), h = std::max(1, static_cast<int>(fh));
  CellRect r;
  r.left = (area.left + area.right) / 2 - w / 2;
  r.top = (area.top + area.bottom) / 2 - h / 2;
  r.right = r.left + w;
  r.bottom = r.top + h;
  return r;
}

bool ThumbnailFits(int boxWidth, int boxHeight, int scaleMode, bool unsharp, const CPicEntry &e,
                   const CellRect &rect) {
  return boxWidth == Width(rect) && boxHeight == Height(rect) && scaleMode >= e.switches.scaleMode &&
         unsharp == (e.switches.unsharp != 0);
}

HDIB ScaleThumbnail(const CPicEntry &entry, int width, int height, HDIB picture) {
  if (!picture) return nullptr;
  if (width < 2) width = 1;
  if (height < 2) height = 1;
  const int mode = entry.switches.scaleMode;
  double factor = 1.0;
  if (mode == kScaleAuto) {
    const int pw = DibWidth(picture), ph = std::abs(DibHeight(picture));
    if (pw > 0) factor = std::min(factor, static_cast<double>(width) / pw);
    if (ph > 0) factor = std::min(factor, static_cast<double>(height) / ph);
  }
  HDIB out = ScaleDibByMode(picture, width, height, entry.rotation, mode, factor, true);
  if (!out) return nullptr;
  if (entry.switches.unsharp) {
    HDIB sharp = SharpenDib(out, 0.3);
    if (sharp) {
      if (out != picture) GlobalFree(out);
      out = sharp;
    }
  }
  return out;
}

CThumbBuilder::CThumbBuilder(PictureDecoders *decoders, CThumbStore *store, const DocSettings *settings)
    : decoders_(decoders),
      store_(store),
      settings_(settings),
      describe_([](const std::string &path) { return CpDecodeText(path); }) {}

int CThumbBuilder::EnsureThumbnail(CPicEntry &e, QPainter *surface, const CellRect &rect, bool build) {
  Pause();
  e.justBuilt = false;
  const int rw = Width(rect), rh = Height(rect);
  bool fromStore = false;
  if (build && e.useCache) {
    const ThumbRecord *record =
        e.thumbnail || !store_ ? nullptr : store_->GetFolder(e.Folder()).Find(e.name, e.ArchiveName());
    if (record &&
        ThumbnailFits(record->header.boxWidth, record->header.boxHeight, record->header.scaleMode,
                      record->header.unsharp != 0, e, rect) &&
        store_->Load(e) == 1) {
      e.justBuilt = true;
      e.stored = true;
      e.sizeBoxWidth = rw;
      e.sizeBoxHeight = rh;
      fromStore = true;
    }
    // The store is asked once per entry.
    e.useCache = false;
  }
  if (e.thumbnail && !fromStore) {
    if (!ThumbnailFits(e.sizeBoxWidth, e.sizeBoxHeight, e.thumbScaleMode, e.thumbUnsharp != 0, e, rect))
      e.FreePictures();
  }
  int result = 0;
  if (!e.thumbnail) {
    if (!build) return 1;
    e.stored = false;
    result = MakeThumbnail(e, rect);
    // A member keeps the member's own size and time stamp, not the archive's.
    if (!e.IsArchiveMember()) RefreshFileFacts(e);
    if (e.thumbnail) {
      e.sizeBoxWidth = rw;
      e.sizeBoxHeight = rh;
      e.justBuilt = true;
    }
  }
  if (e.thumbnail && surface) {
    const int tw = DibWidth(e.thumbnail.get()), th = std::abs(DibHeight(e.thumbnail.get()));
    CellRect fit = FitThumbnailRect(tw, th, rect, e.switches.limitCheck != 0);
    DrawDibStretched(*surface, QRect(fit.left, fit.top, Width(fit), Height(fit)), e.thumbnail.get());
  }
  return result;
}

int CThumbBuilder::MakeThumbnail(CPicEntry &e, const CellRect &rect) {
  Pause();
  const CellSize target{Width(rect), Height(rect)};
  GlobalHandle picture = DecodeEntry(e, &target);
  if (!picture) return -1;
  const int pw = DibWidth(picture.get()), ph = std::abs(DibHeight(picture.get()));
  if (e.pictureWidth <= 0) e.pictureWidth = pw;
  if (e.pictureHeight <= 0) e.pictureHeight = ph;
  if (e.bitCount <= 0) e.bitCount = DibBitCount(picture.get());

  const DibSize turned = RotatedSize(pw, ph, e.rotation);
  CellRect area = rect;
  if (Width(area) <= 0) area.right = area.left + turned.width;
  if (Height(area) <= 0) area.bottom = area.top + turned.height;
  const CellRect fit = FitThumbnailRect(turned.width, turned.height, area, e.switches.limitCheck != 0);
  HDIB scaled = ScaleThumbnail(e, Width(fit), Height(fit), picture.get());
  if (!scaled) return -1;
  e.FreePictures();
  if (scaled == picture.get())
    e.thumbnail = std::move(picture);
  else
    e.thumbnail.reset(scaled);
  e.thumbWidth = DibWidth(e.thumbnail.get());
  e.thumbHeight = std::abs(DibHeight(e.thumbnail.get()));
  e.thumbScaleMode = e.switches.scaleMode;
  e.thumbUnsharp = e.switches.unsharp;
  return 0;
}

bool CThumbBuilder::ReadPictureFacts(CPicEntry &e, int decoder, const PictureSource &source) {
  SpiPictureInfo info{};
  std::string text;
  if (decoders_->GetPictureInfo(decoder, source, info, text) != 0) return false;
  e.pictureWidth = info.width;
  e.pictureHeight = info.height;
  e.bitCount = info.colorDepth;
  std::string description;
  if (settings_ && settings_->cp && !e.IsArchiveMember() && decoder == builtin::kJpeg && describe_)
    description = describe_(source.path);
  description += text;
  e.SetDescription(std::move(description));
  return true;
}

int CThumbBuilder::FindNext(CPicEntry &e, const PictureSource &source, const unsigned char *head, int start) {
  const int archive = e.IsArchiveMember() ? e.archiveDecoderIndex : -1;
  return decoders_->FindPictureDecoder(source.path, head, SPI_HEAD_BYTES, start, archive);
}

GlobalHandle CThumbBuilder::DecodeEntry(CPicEntry &e, const CellSize *target) {
  Pause();
  DecodingScope decoding(e);
  if (!decoders_) return {};

  PictureSource source;
  unsigned char head[SPI_HEAD_BYTES];
  GlobalHandle member;
  std::unique_ptr<GlobalLockGuard> memberLock;
  if (e.IsArchiveMember()) {
    if (e.archiveDecoderIndex < 0 ||
        decoders_->ExtractMember(e.archiveDecoderIndex, e.ArchivePath(), e.position, member) != 0 ||
        !member) {
      e.decoderIndex = -1;
      return {};
    }
    memberLock = std::make_unique<GlobalLockGuard>(member.get());
    if (!*memberLock) {
      e.decoderIndex = -1;
      return {};
    }
    source.path = e.name;
    source.memory = memberLock->as<unsigned char>();
    source.length = member.size();
    std::memset(head, 0, sizeof head);
    std::memcpy(head, source.memory, std::min<std::size_t>(source.length, sizeof head));
  } else {
    source.path = e.FilePath();
    ReadHead(source.path, head);
  }

  int decoder = e.decoderIndex >= 0 ? e.decoderIndex : FindNext(e, source, head, 0);
  for (int tries = 0; decoder >= 0 && tries < kMaxDecoderTries; ++tries) {
    bool known = e.pictureWidth > 0 && e.pictureHeight > 0;
    if (!known) known = ReadPictureFacts(e, decoder, source);
    if (known) {
      // The reduction is worked out once the size is known, so that a picture met for the
      // first time is not decoded at full size either.
      long factor = 1;
      if (target && target->width > 0 && target->height > 0 && e.pictureWidth > 0 && e.pictureHeight > 0)
        factor = std::max(e.pictureWidth / target->width, e.pictureHeight / target->height);
      GlobalHandle picture;
      if (decoders_->GetPicture(decoder, source, factor, picture) == 0 && picture) {
        e.decoderIndex = decoder;
        return picture;
      }
    }
    e.decoderIndex = -1;
    e.SetDescription(std::string());
    const int next = FindNext(e, source, head, decoder + 1);
    // The search only ever moves on; anything else would try the same decoders again.
    if (next <= decoder) break;
    decoder = next;
  }
  e.decoderIndex = -1;
  return {};
}

int CThumbBuilder::BuildForCell(CPicEntry &e, const CellRect &rect) {
  const int result = EnsureThumbnail(e, nullptr, rect, true);
  if (e.justBuilt && settings_ && settings_->cacheFolder && !e.stored && store_ &&
      store_->Add(e, CThumbStore::kQuality) == 1)
    e.stored = true;
  ReadEntryNote(e);
  return result;
}

void RebuildAllThumbnails(CRXDoc &doc, UpdateObserver *sender) {
  {
    std::lock_guard<std::recursive_mutex> hold(doc.EntryLock());
    const DrawSwitches switches = doc.Switches();
    const int count = doc.GetEntryCount();
    for (int i = 0; i < count; ++i) {
      CPicEntry *e = doc.GetEntry(i);
      if (!e) continue;
      e->switches = switches;
      e->Reset();
      e->useCache = false;
    }
  }
  doc.UpdateAllViews(sender, kHintRedrawAll);
}

void SaveFolderInfo(CRXDoc &doc, CThumbStore &store) {
  {
    std::lock_guard<std::recursive_mutex> hold(doc.EntryLock());
    const int count = doc.GetEntryCount();
    for (int i = 0; i < count; ++i) {
      CPicEntry *e = doc.GetEntry(i);
      if (e && !e->stored && e->thumbnail && store.Add(*e, CThumbStore::kQuality) == 1) e->stored = true;
    }
  }
  store.Flush();
}

}  // namespace tamro
