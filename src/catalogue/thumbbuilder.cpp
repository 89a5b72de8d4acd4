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

#include "catalogue/fdthumbcache.h"
#include "catalogue/macros.h"
#include "catalogue/notestore.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbstore.h"
#include "catalogue/updatehint.h"
#include "decode/builtin/builtin.h"
#include "decode/fileimagemap.h"
#include "decode/orientation.h"
#include "decode/srgb.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "picture/exif.h"
#include "picture/transform.h"
#include "platform/cpdecode.h"
#include "platform/fileio.h"

namespace tamro {

namespace {

// A file accepted by one decoder after another never needs more tries than this.
constexpr int kMaxDecoderTries = 64;

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

// The EXIF facts of the picture's bytes, and the bytes (a file is mapped into `map`, so that
// only the pages the tags and the thumbnail need are read).
const unsigned char *SourceExif(const PictureSource &source, FileImageMap &map, ExifFacts &exif) {
  const unsigned char *bytes = source.memory;
  std::size_t size = source.length;
  if (!bytes) {
    if (!map.Open(source.path)) return nullptr;
    bytes = reinterpret_cast<const unsigned char *>(map.data());
    size = map.size();
  }
  ReadPictureExif(bytes, size, exif);
  return bytes;
}

// The first 2048 bytes of a file, zero-filled past its end.
void ReadHead(const std::string &path, unsigned char *head) {
  std::memset(head, 0, SPI_HEAD_BYTES);
  std::string bytes;
  if (ReadFileHead(path, SPI_HEAD_BYTES, bytes))
    std::memcpy(head, bytes.data(), std::min<std::size_t>(bytes.size(), SPI_HEAD_BYTES));
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

bool ThumbnailFits(int boxWidth, int boxHeight, int scaleMode, bool unsharp, int treatment,
                   const CPicEntry &e, const CellRect &rect) {
  return boxWidth == Width(rect) && boxHeight == Height(rect) && scaleMode >= e.switches.scaleMode &&
         unsharp == (e.switches.unsharp != 0) && (treatment & ~kTreatPreview) == TreatmentOf(e.switches) &&
         (!(treatment & kTreatPreview) || e.switches.embeddedPreview);
}

HDIB ScaleThumbnail(const CPicEntry &entry, int width, int height, HDIB picture) {
  return ScaleThumbnail(entry.switches, entry.rotation, width, height, picture);
}

HDIB ScaleThumbnail(const DrawSwitches &switches, int rotation, int width, int height, HDIB picture) {
  if (!picture) return nullptr;
  if (width < 2) width = 1;
  if (height < 2) height = 1;
  const int mode = switches.scaleMode;
  double factor = 1.0;
  if (mode == kScaleAuto) {
    const int pw = DibWidth(picture), ph = std::abs(DibHeight(picture));
    if (pw > 0) factor = std::min(factor, static_cast<double>(width) / pw);
    if (ph > 0) factor = std::min(factor, static_cast<double>(height) / ph);
  }
  HDIB out = ScaleDibByMode(picture, width, height, rotation, mode, factor, true);
  if (!out) return nullptr;
  if (switches.unsharp) {
    HDIB sharp = SharpenDib(out, 0.3);
    if (sharp) {
      if (out != picture) GlobalFree(out);
      out = sharp;
    }
  }
  return out;
}

namespace {

bool ReadPictureFacts(PictureDecoders &decoders, const DecodeJob &job, int decoder,
                      const PictureSource &source, DecodeFacts &facts, const DescriptionLookup &describe) {
  SpiPictureInfo info{};
  std::string text;
  if (decoders.GetPictureInfo(decoder, source, info, text) != 0) return false;
  facts.picture.width = info.width;
  facts.picture.height = info.height;
  facts.picture.bitCount = info.colorDepth;
  std::string description;
  if (job.describeJpeg && !job.member && decoder == builtin::kJpeg && describe)
    description = describe(source.path);
  description += text;
  facts.description = std::move(description);
  facts.descriptionChanged = true;
  return true;
}

// The preview `decoder` or the EXIF block holds in place of the picture, turned upright; null
// unless it has the picture's proportions (within 1 %, so letterboxed ones are refused), is
// at least as large as the thumbnail to be made of the picture for `target`, and (EXIF) is
// not older than the picture's last change.
GlobalHandle EmbeddedPreview(PictureDecoders &decoders, const DecodeJob &job, int decoder,
                             const PictureSource &source, const ExifFacts &exif, const unsigned char *bytes,
                             int orientation, const DecodeFacts &facts, const CellSize &target) {
  const bool swap = OrientationSwapsSides(orientation);
  const double shownWidth = swap ? facts.picture.height : facts.picture.width,
               shownHeight = swap ? facts.picture.width : facts.picture.height;
  const DibSize turned = RotatedSize(static_cast<int>(shownWidth), static_cast<int>(shownHeight), job.rotation);
  if (turned.width <= 0 || turned.height <= 0) return {};
  // The scale of the thumbnail; it is never larger than the picture.
  const double scale = std::min({1.0, static_cast<double>(target.width) / turned.width,
                                 static_cast<double>(target.height) / turned.height});
  const int needWidth = static_cast<int>(shownWidth * scale + 0.5),
            needHeight = static_cast<int>(shownHeight * scale + 0.5);
  GlobalHandle preview;
  bool upright = false;
  const bool plugin = decoder < builtin::kFirst || decoder > builtin::kLast;
  if (plugin && decoders.GetPreview(decoder, source, needWidth, needHeight, preview) == 0) {
    upright = decoders.OrientsPictures(decoder);
  } else if (exif.thumbnailLength > 0 && bytes) {
    // A program that changed the picture but kept the camera's thumbnail leaves it stale.
    const std::string &made = !exif.thumbnailDate.empty() ? exif.thumbnailDate : exif.dateTimeOriginal;
    if (!exif.modifyDate.empty() && !made.empty() && exif.modifyDate > made) return {};
    HDIB out = nullptr;
    const int r = builtin::GetPicture(builtin::kJpeg, reinterpret_cast<const char *>(bytes + exif.thumbnailOffset),
                                      static_cast<long>(exif.thumbnailLength), SPI_SOURCE_MEMORY, &out, 0, 0,
                                      &QuietProgress, 0);
    preview.reset(out);
    if (r != 0) return {};
  }
  if (!preview) return {};
  if (!upright && orientation != 1) {
    HDIB turnedPreview = OrientDib(preview.get(), orientation);
    if (!turnedPreview) return {};
    if (turnedPreview != preview.get()) preview.reset(turnedPreview);
  }
  const int pw = DibWidth(preview.get()), ph = std::abs(DibHeight(preview.get()));
  // One larger than the picture would make a thumbnail larger than the picture's own.
  if (pw < needWidth || ph < needHeight || pw <= 0 || ph <= 0 || pw > shownWidth || ph > shownHeight) return {};
  const double want = shownWidth / shownHeight, got = static_cast<double>(pw) / ph;
  if (std::abs(got - want) > 0.01 * want) return {};
  return preview;
}

}  // namespace

GlobalHandle DecodePicture(PictureDecoders &decoders, const DecodeJob &job, const CellSize *target,
                           DecodeFacts &facts, const DescriptionLookup &describe, ProgressProc progress) {
  PictureSource source;
  unsigned char head[SPI_HEAD_BYTES];
  GlobalHandle member;
  std::unique_ptr<GlobalLockGuard> memberLock;
  if (job.member) {
    if (job.archiveDecoder < 0 ||
        decoders.ExtractMember(job.archiveDecoder, job.path, job.memberPosition, member) != 0 || !member) {
      facts.picture.decoder = -1;
      return {};
    }
    memberLock = std::make_unique<GlobalLockGuard>(member.get());
    if (!*memberLock) {
      facts.picture.decoder = -1;
      return {};
    }
    source.path = job.memberName;
    source.memory = memberLock->as<unsigned char>();
    source.length = member.size();
    std::memset(head, 0, sizeof head);
    std::memcpy(head, source.memory, std::min<std::size_t>(source.length, sizeof head));
  } else {
    source.path = job.path;
    ReadHead(source.path, head);
  }
  const int archive = job.member ? job.archiveDecoder : -1;
  // The tag belongs to the file, whichever decoder reads it.
  FileImageMap map;
  ExifFacts exif;
  const unsigned char *bytes = job.exifRotate || job.embeddedPreview ? SourceExif(source, map, exif) : nullptr;
  facts.fromPreview = false;
  auto findNext = [&](int start) {
    return decoders.FindPictureDecoder(source.path, head, SPI_HEAD_BYTES, start, archive);
  };

  int decoder = facts.picture.decoder >= 0 ? facts.picture.decoder : findNext(0);
  for (int tries = 0; decoder >= 0 && tries < kMaxDecoderTries; ++tries) {
    bool known = facts.picture.width > 0 && facts.picture.height > 0;
    if (!known) known = ReadPictureFacts(decoders, job, decoder, source, facts, describe);
    // A decoder that turns pictures itself tells their size upright, too.
    const int orientation = job.exifRotate && !decoders.OrientsPictures(decoder) ? exif.orientation : 1;
    const bool swap = OrientationSwapsSides(orientation);
    if (known && job.embeddedPreview && target && target->width > 0 && target->height > 0) {
      GlobalHandle preview = EmbeddedPreview(decoders, job, decoder, source, exif, bytes, orientation, facts, *target);
      if (preview) {
        facts.picture.decoder = decoder;
        facts.fromPreview = true;
        return preview;
      }
    }
    if (known) {
      // The reduction is worked out once the size is known, so that a picture met for the
      // first time is not decoded at full size either.
      long factor = 1;
      if (target && target->width > 0 && target->height > 0 && facts.picture.width > 0 &&
          facts.picture.height > 0) {
        const int32_t shownWidth = swap ? facts.picture.height : facts.picture.width,
                      shownHeight = swap ? facts.picture.width : facts.picture.height;
        factor = std::max(shownWidth / target->width, shownHeight / target->height);
      }
      GlobalHandle picture;
      if (decoders.GetPicture(decoder, source, factor, picture, progress) == 0 && picture) {
        if (facts.picture.bitCount <= 0) facts.picture.bitCount = DibBitCount(picture.get());
        if (job.colorManage) {
          std::string profile;
          if (decoders.GetColorProfile(decoder, source, profile) == 0 && !profile.empty())
            ConvertToSrgb(picture.get(), profile);
        }
        if (orientation != 1) {
          HDIB turned = OrientDib(picture.get(), orientation);
          // A picture that cannot be turned is not passed off as turned.
          if (!turned) break;
          if (turned != picture.get()) picture.reset(turned);
        }
        facts.picture.decoder = decoder;
        return picture;
      }
    }
    facts.picture.decoder = -1;
    facts.description.clear();
    facts.descriptionChanged = true;
    const int next = findNext(decoder + 1);
    // The search only ever moves on; anything else would try the same decoders again.
    if (next <= decoder) break;
    decoder = next;
  }
  facts.picture.decoder = -1;
  return {};
}

namespace {

// The file's size and times, read again after decoding; a member keeps the member's own.
void ReadFileFacts(const ThumbJob &job, ThumbResult &out) {
  if (job.decode.member) return;
  struct statx sx {};
  if (::statx(AT_FDCWD, job.decode.path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_SIZE | STATX_MTIME | STATX_BTIME,
              &sx) != 0)
    return;
  auto time = [](const struct statx_timestamp &t) {
    return static_cast<FileTime>(t.tv_sec) * kNanosPerSecond + t.tv_nsec;
  };
  out.haveFileFacts = true;
  out.size = sx.stx_size;
  out.lastWriteTime = time(sx.stx_mtime);
  out.creationTime = (sx.stx_mask & STATX_BTIME) ? time(sx.stx_btime) : out.lastWriteTime;
}

// The job's cell at its display ratio; the cell itself at ratio 1.
CellRect DisplayRect(const ThumbJob &job) {
  if (job.displayRatio <= 1) return job.rect;
  auto scaled = [&](int v) { return static_cast<int>(v * job.displayRatio + 0.5); };
  return CellRect{0, 0, scaled(Width(job.rect)), scaled(Height(job.rect))};
}

// The display thumbnail: the picture scaled for the cell at device pixels exactly as the
// thumbnail is for the cell, when that gives a larger one.
void ScaleForDisplay(const ThumbJob &job, HDIB picture, ThumbResult &out) {
  if (job.displayRatio <= 1 || Width(job.rect) <= 0 || Height(job.rect) <= 0) return;
  const int pw = DibWidth(picture), ph = std::abs(DibHeight(picture));
  const DibSize turned = RotatedSize(pw, ph, job.rotation);
  const CellRect fit = FitThumbnailRect(turned.width, turned.height, DisplayRect(job), job.switches.limitCheck != 0);
  const CellRect cell = FitThumbnailRect(turned.width, turned.height, job.rect, job.switches.limitCheck != 0);
  if (Width(fit) <= Width(cell) && Height(fit) <= Height(cell)) return;
  HDIB scaled = ScaleThumbnail(job.switches, job.rotation, Width(fit), Height(fit), picture);
  out.display.reset(scaled == picture ? CopyDib(picture) : scaled);
}

// The upright picture fitted into the job's cell, scaled and sharpened as its switches say.
void ScaleIntoCell(const ThumbJob &job, GlobalHandle picture, ThumbResult &out) {
  ScaleForDisplay(job, picture.get(), out);
  const int pw = DibWidth(picture.get()), ph = std::abs(DibHeight(picture.get()));
  const DibSize turned = RotatedSize(pw, ph, job.rotation);
  CellRect area = job.rect;
  if (Width(area) <= 0) area.right = area.left + turned.width;
  if (Height(area) <= 0) area.bottom = area.top + turned.height;
  const CellRect fit = FitThumbnailRect(turned.width, turned.height, area, job.switches.limitCheck != 0);
  HDIB scaled = ScaleThumbnail(job.switches, job.rotation, Width(fit), Height(fit), picture.get());
  if (!scaled) return;
  if (scaled == picture.get())
    out.thumbnail = std::move(picture);
  else
    out.thumbnail.reset(scaled);
  const int quality = job.encodeQuality > 0 ? job.encodeQuality : job.encodeToLetGo ? CThumbStore::kQuality : 0;
  if (quality > 0) out.encoded = EncodeThumbRecordData(out.thumbnail.get(), quality);
  out.result = 0;
}

// The decoded (upright) picture as the shared cache keeps it: within edge x edge, never
// enlarged, neither turned by the entry's angle nor sharpened, so other programs can use it.
QImage SharedImage(HDIB picture, int edge) {
  const int pw = DibWidth(picture), ph = std::abs(DibHeight(picture));
  const CellRect fit = FitThumbnailRect(pw, ph, CellRect{0, 0, edge, edge}, true);
  DrawSwitches plain;
  plain.scaleMode = kScaleAuto;
  plain.unsharp = 0;
  GlobalHandle owned;
  HDIB scaled = ScaleThumbnail(plain, 0, Width(fit), Height(fit), picture);
  if (scaled && scaled != picture) owned.reset(scaled);
  return scaled ? DibToImage(scaled) : QImage();
}

// What a thumbnail from the shared cache leaves unknown: the decoder that reads the file and
// the picture's facts, from its header only, so that the entry (and a store record made of
// it) knows as much as after a decode.
void LearnFacts(PictureDecoders &decoders, const ThumbJob &job, DecodeFacts &facts,
                const DescriptionLookup &describe) {
  if (facts.picture.decoder >= 0 && facts.picture.width > 0 && facts.picture.height > 0) return;
  PictureSource source;
  source.path = job.decode.path;
  unsigned char head[SPI_HEAD_BYTES];
  ReadHead(source.path, head);
  int decoder = decoders.FindPictureDecoder(source.path, head, SPI_HEAD_BYTES, 0, -1);
  for (int tries = 0; decoder >= 0 && tries < kMaxDecoderTries; ++tries) {
    if (ReadPictureFacts(decoders, job.decode, decoder, source, facts, describe)) {
      facts.picture.decoder = decoder;
      return;
    }
    const int next = decoders.FindPictureDecoder(source.path, head, SPI_HEAD_BYTES, decoder + 1, -1);
    if (next <= decoder) return;
    decoder = next;
  }
}

// The description library's text for "$(CP)", when the job asks for it and `decoder` is the
// built-in JPEG one (the only pictures the library knows).
void ReadCamera(const ThumbJob &job, int decoder, DecodeFacts &facts, const DescriptionLookup &describe) {
  if (!job.decode.readCamera || job.decode.member || decoder != builtin::kJpeg || !describe) return;
  facts.camera = describe(job.decode.path);
  facts.cameraRead = true;
}

}  // namespace

ThumbResult MakeThumbnail(PictureDecoders &decoders, const ThumbJob &job, const DescriptionLookup &describe) {
  ThumbResult out;
  out.facts = job.facts;
  if (job.cameraOnly) {
    ReadCamera(job, job.facts.picture.decoder, out.facts, describe);
    out.result = 0;
    return out;
  }
  if (job.stored) {
    out.thumbnail = DecodeThumbRecord(*job.stored);
    out.result = out.thumbnail ? 0 : -1;
    ReadCamera(job, job.storedDecoder, out.facts, describe);
    return out;
  }
  // The shared cache knows plain files only, by their time in whole seconds before decoding,
  // so a file changed meanwhile is never cached under its new time.
  const FdThumbCache *shared = job.decode.member || job.decode.path.rfind('/', 0) != 0 ? nullptr : job.shared;
  struct stat before {};
  if (shared && (::stat(job.decode.path.c_str(), &before) != 0 || !S_ISREG(before.st_mode))) shared = nullptr;
  // Used when the folder's store will not keep the thumbnail, or cannot.
  if (shared && (job.keepInFolder || job.encodeQuality > 0) &&
      ::access(job.decode.path.substr(0, job.decode.path.find_last_of('/') + 1).c_str(), W_OK) == 0)
    shared = nullptr;
  // Shared thumbnails serve the cell as shown, at device pixels.
  const CellRect shown = DisplayRect(job);
  if (shared && !job.sharedWriteOnly) {
    QImage cached;
    const int found = shared->Find(job.decode.path, before.st_mtim.tv_sec, Width(shown), Height(shown),
                                   job.switches.limitCheck != 0, cached);
    if (found != FdThumbCache::kMiss) {
      if (found == FdThumbCache::kHit) {
        LearnFacts(decoders, job, out.facts, describe);
        ReadCamera(job, out.facts.picture.decoder, out.facts, describe);
        if (GlobalHandle picture(BitmapToDib(cached)); picture) ScaleIntoCell(job, std::move(picture), out);
      }
      ReadFileFacts(job, out);
      return out;
    }
  }
  const bool toShared = shared != nullptr;
  const int edge = FdThumbCache::EdgeFor(Width(shown), Height(shown));
  // Decoded for the larger of the cell as shown and the shared size, so all are made from it.
  const CellSize target = toShared ? CellSize{std::max(Width(shown), edge), std::max(Height(shown), edge)}
                                   : CellSize{Width(shown), Height(shown)};
  GlobalHandle picture = DecodePicture(decoders, job.decode, &target, out.facts, describe, job.progress);
  ReadFileFacts(job, out);
  const bool unchanged = out.haveFileFacts &&
                         out.lastWriteTime == static_cast<FileTime>(before.st_mtim.tv_sec) * kNanosPerSecond +
                                                  before.st_mtim.tv_nsec;
  if (toShared && unchanged) {
    if (picture) {
      const int pw = DibWidth(picture.get()), ph = std::abs(DibHeight(picture.get()));
      // The facts are the picture as stored; the cache says its upright size.
      const bool swapped = (out.facts.picture.width > out.facts.picture.height) != (pw > ph);
      shared->Save(job.decode.path, before.st_mtim.tv_sec, out.size, SharedImage(picture.get(), edge), edge,
                   swapped ? out.facts.picture.height : out.facts.picture.width,
                   swapped ? out.facts.picture.width : out.facts.picture.height);
    } else if (out.facts.descriptionChanged) {
      // Only when some decoder took the file and failed: one missing (plug-ins not loaded
      // yet) says nothing about the file.
      shared->SaveFailure(job.decode.path, before.st_mtim.tv_sec);
    }
  }
  if (!picture) return out;
  ReadCamera(job, out.facts.picture.decoder, out.facts, describe);
  ScaleIntoCell(job, std::move(picture), out);
  return out;
}

CThumbBuilder::CThumbBuilder(PictureDecoders *decoders, CThumbStore *store, const DocSettings *settings)
    : decoders_(decoders),
      store_(store),
      settings_(settings),
      describe_([](const std::string &path) { return CpDecodeText(path); }) {}

DecodeJob CThumbBuilder::DecodeJobFor(const CPicEntry &e) const {
  DecodeJob job;
  job.member = e.IsArchiveMember();
  job.path = job.member ? e.ArchivePath() : e.FilePath();
  if (job.member) job.memberName = e.name;
  job.memberPosition = e.position;
  job.archiveDecoder = e.archiveDecoderIndex;
  job.describeJpeg = settings_ && settings_->cp;
  job.exifRotate = e.switches.exifRotate != 0;
  job.colorManage = e.switches.colorManage != 0;
  return job;
}

DecodeFacts FactsOf(const CPicEntry &e) {
  DecodeFacts f;
  f.picture = e.facts;
  return f;
}

void TakeFacts(CPicEntry &e, const DecodeFacts &f) {
  e.facts = f.picture;
  if (f.descriptionChanged) e.SetDescription(f.description);
}

GlobalHandle CThumbBuilder::DecodeEntry(CPicEntry &e, const CellSize *target) {
  DecodingScope decoding(e);
  if (!decoders_) return {};
  DecodeFacts facts = FactsOf(e);
  GlobalHandle picture = DecodePicture(*decoders_, DecodeJobFor(e), target, facts, describe_);
  TakeFacts(e, facts);
  return picture;
}

bool CThumbBuilder::KeepsFitting(CPicEntry &e, const CellRect &rect) {
  // One made for another screen's ratio is made again; one from the store has no other size.
  const bool otherRatio = displayRatio_ > 1 && e.displayRatio != 0 && e.displayRatio != static_cast<float>(displayRatio_);
  if (e.thumbnail && (otherRatio || !ThumbnailFits(e.sizeBoxWidth, e.sizeBoxHeight, e.thumbScaleMode,
                                                   e.thumbUnsharp != 0, e.thumbTreatment, e, rect)))
    e.FreePictures();
  return static_cast<bool>(e.thumbnail);
}

ThumbJob CThumbBuilder::JobFor(CPicEntry &e, const CellRect &rect) {
  ThumbJob job;
  job.rect = rect;
  job.displayRatio = displayRatio_;
  job.switches = e.switches;
  job.rotation = e.rotation;
  job.facts = FactsOf(e);
  if (e.useCache) {
    int decoder = -1;
    const ThumbRecord *record = !e.thumbnail && store_ ? store_->Accept(e, decoder) : nullptr;
    const ThumbRecordHeader *h = record ? &record->header : nullptr;
    if (h && ThumbnailFits(h->boxWidth, h->boxHeight, h->scaleMode, h->unsharp != 0, h->treatment, e, rect)) {
      job.stored = std::make_shared<const ThumbRecord>(*record);
      job.storedDecoder = decoder;
    }
    // The store is asked once per entry.
    e.useCache = false;
  }
  if (!job.stored) {
    job.decode = DecodeJobFor(e);
    job.decode.embeddedPreview = e.switches.embeddedPreview != 0;
    job.decode.rotation = e.rotation;
    job.keepInFolder = settings_ && settings_->cacheFolder && store_;
    if (job.keepInFolder) job.encodeQuality = CThumbStore::kQuality;
    // Shared thumbnails are upright, as file managers make them.
    if (settings_ && settings_->sharedThumbCache && !job.decode.member && job.decode.exifRotate) job.shared = shared_;
    job.sharedWriteOnly = e.rebuild;
  }
  if (WantsCamera(e)) {
    // A stored record is not decoded: the job only needs to know the file.
    if (job.stored) job.decode = DecodeJobFor(e);
    job.decode.readCamera = true;
  }
  return job;
}

bool CThumbBuilder::WantsCamera(const CPicEntry &e) const {
  // Before the first decode the decoder is not known yet: the decode tells.
  if (e.cameraRead || !lines_ || e.IsArchiveMember() ||
      (e.facts.decoder >= 0 && e.facts.decoder != builtin::kJpeg))
    return false;
  // Asked for every cell shown: the lines are looked through again only when they changed.
  if (*lines_ != linesSeen_) {
    linesSeen_ = *lines_;
    linesReadPicture_ = false;
    for (const std::string &line : linesSeen_)
      linesReadPicture_ = linesReadPicture_ || (MacroNeeds(line) & kReadsPicture);
  }
  return linesReadPicture_;
}

ThumbJob CThumbBuilder::CameraJobFor(const CPicEntry &e) const {
  ThumbJob job;
  job.cameraOnly = true;
  job.facts = FactsOf(e);
  job.decode = DecodeJobFor(e);
  job.decode.readCamera = true;
  return job;
}

int CThumbBuilder::Apply(CPicEntry &e, const ThumbJob &job, ThumbResult &r) {
  e.justBuilt = false;
  // Asked once: a picture the library does not know (not a JPEG after all) has no text.
  if (job.decode.readCamera) e.SetCameraText(std::move(r.facts.camera));
  if (job.cameraOnly) return 0;
  if (job.sharedWriteOnly) e.rebuild = false;
  const int rw = Width(job.rect), rh = Height(job.rect);
  if (job.stored) {
    if (!r.thumbnail) {
      // A record that no longer decodes is built afresh next time.
      return -1;
    }
    ApplyThumbRecord(e, job.stored->header, job.storedDecoder, std::move(r.thumbnail));
    e.stored = true;
    e.displayThumbnail.reset();
    e.displayRatio = 0;
  } else {
    e.stored = false;
    TakeFacts(e, r.facts);
    if (r.haveFileFacts) {
      e.size = r.size;
      e.creationTime = r.creationTime;
      e.lastWriteTime = r.lastWriteTime;
    }
    if (!r.thumbnail) return -1;
    e.FreePictures();
    e.thumbnail = std::move(r.thumbnail);
    e.displayThumbnail = std::move(r.display);
    e.displayRatio = static_cast<float>(job.displayRatio);
    e.thumbWidth = DibWidth(e.thumbnail.get());
    e.thumbHeight = std::abs(DibHeight(e.thumbnail.get()));
    e.thumbScaleMode = job.switches.scaleMode;
    e.thumbUnsharp = job.switches.unsharp;
    e.thumbTreatment =
        static_cast<uint16_t>(TreatmentOf(job.switches) | (r.facts.fromPreview ? kTreatPreview : 0));
  }
  e.sizeBoxWidth = rw;
  e.sizeBoxHeight = rh;
  e.justBuilt = true;
  return 0;
}

int CThumbBuilder::ApplyForCell(CPicEntry &e, const ThumbJob &job, ThumbResult &r) {
  const int result = Apply(e, job, r);
  if (e.justBuilt && !e.stored && r.encoded && store_ && store_->Put(e, std::move(r.encoded)) == 1)
    e.stored = true;
  ReadEntryNote(e);
  return result;
}

int CThumbBuilder::EnsureThumbnail(CPicEntry &e, QPainter *surface, const CellRect &rect, bool build) {
  e.justBuilt = false;
  bool fromStore = false;
  if (build && e.useCache && !e.thumbnail) {
    ThumbJob job = JobFor(e, rect);
    if (job.stored) {
      ThumbResult r = MakeThumbnail(*decoders_, job, describe_);
      fromStore = Apply(e, job, r) == 0;
    }
  }
  e.useCache = e.useCache && !build;
  if (!fromStore) KeepsFitting(e, rect);
  int result = 0;
  if (!e.thumbnail) {
    if (!build) return 1;
    if (!decoders_) return -1;
    DecodingScope decoding(e);
    ThumbJob job = JobFor(e, rect);
    job.encodeQuality = 0;  // BuildForCell stores what it keeps
    ThumbResult r = MakeThumbnail(*decoders_, job, describe_);
    result = Apply(e, job, r);
  }
  if (e.thumbnail && surface) {
    const int tw = DibWidth(e.thumbnail.get()), th = std::abs(DibHeight(e.thumbnail.get()));
    CellRect fit = FitThumbnailRect(tw, th, rect, e.switches.limitCheck != 0);
    DrawDibStretched(*surface, QRect(fit.left, fit.top, Width(fit), Height(fit)), e.thumbnail.get());
  }
  return result;
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
    const DrawSwitches switches = doc.Switches();
    const int count = doc.GetEntryCount();
    for (int i = 0; i < count; ++i) {
      CPicEntry *e = doc.GetEntry(i);
      if (!e) continue;
      e->switches = switches;
      e->Reset();
      e->useCache = false;
      e->rebuild = true;
    }
  }
  doc.UpdateAllViews(sender, kHintRedrawAll);
}

bool SaveFolderInfo(CRXDoc &doc, CThumbStore &store) {
  {
    const int count = doc.GetEntryCount();
    for (int i = 0; i < count; ++i) {
      CPicEntry *e = doc.GetEntry(i);
      if (e && !e->stored && e->thumbnail && store.Add(*e, CThumbStore::kQuality) == 1) e->stored = true;
    }
  }
  return store.WriteAll();
}

}  // namespace tamro
