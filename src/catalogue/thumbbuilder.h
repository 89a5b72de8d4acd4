#pragma once

// The thumbnail builder: how one entry gets its thumbnail (from the thumbnail store, kept
// from before, or decoded and scaled), when a thumbnail is thrown away, and which decoder
// reads an entry. Entries are only touched on the main thread; the decoding and scaling
// itself (MakeThumbnail, DecodePicture) runs on any thread with plain inputs.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/docsettings.h"
#include "catalogue/picentry.h"
#include "catalogue/thumbstore.h"
#include "decode/spi.h"
#include "picture/dibtypes.h"
#include "platform/globalhandle.h"

class QPainter;

namespace tamro {

class CRXDoc;
class CThumbStore;
class FdThumbCache;
class PictureDecoders;
class UpdateObserver;
struct PictureSource;

// Where a picture of width x height goes in `area`: scaled down to fit, and, with
// `limitCheck` off, scaled up until it touches two sides; centred (halves truncate toward
// zero) and at least 1 x 1. Right and bottom are outside the rectangle.
CellRect FitThumbnailRect(int width, int height, const CellRect &area, bool limitCheck);

// The decoded picture resized to width x height by the entry's ScaleMode and rotation
// angle, then sharpened (strength 0.3) when the entry's Unsharp is on. May answer `picture`
// itself; null when no picture could be made.
HDIB ScaleThumbnail(const CPicEntry &entry, int width, int height, HDIB picture);
HDIB ScaleThumbnail(const DrawSwitches &switches, int rotation, int width, int height, HDIB picture);

// Whether a thumbnail made for a cell picture area of boxWidth x boxHeight, with `scaleMode`,
// `unsharp` and the decoding switches `treatment` (TreatmentOf), may stand for the entry
// drawn in `rect`: the same area, a scale mode not lower than the entry's own, the same
// unsharp and decoding switches. The one rule for a thumbnail kept from before and for a
// record of the thumbnail store, in the window and in batch runs.
bool ThumbnailFits(int boxWidth, int boxHeight, int scaleMode, bool unsharp, int treatment,
                   const CPicEntry &entry, const CellRect &rect);

// The text the optional description library gives for a JPEG file ("[a] [b] "), or "".
using DescriptionLookup = std::function<std::string(const std::string &path)>;

// What an entry's picture needs for a decode, copied out of the entry so that a worker
// thread never touches it.
struct DecodeJob {
  std::string path;        // the plain file, or the archive that holds the member
  std::string memberName;  // the member's name; empty for a plain file
  bool member = false;
  uint32_t memberPosition = 0;
  int archiveDecoder = -1;
  bool describeJpeg = false;  // ask the description library about JPEG files (CP on)
  bool exifRotate = true;     // turn JPEG and TIFF pictures as their orientation tag says
  bool colorManage = true;    // convert colours from an embedded profile to sRGB
  // For a thumbnail: take the preview the file embeds when it will do (EmbeddedPreview), and
  // the angle the thumbnail is turned by afterwards.
  bool embeddedPreview = false;
  int32_t rotation = 0;
  bool readCamera = false;  // the captions show "$(CP)": the description library's text too
};

// What a decode learnt: the picture's facts (a decode starts from the entry's and updates
// them; they do not change with the switches), its description and the decode's extras.
struct DecodeFacts {
  PictureFacts picture;
  std::string description;
  bool descriptionChanged = false;
  bool fromPreview = false;  // the picture was the file's embedded preview
  bool cameraRead = false;   // "$(CP)" was asked of the description library
  std::string camera;
};

// The full picture, reduced by a whole factor toward `target` when given, through the
// decoder `facts` names or the first one that accepts it, falling back to the next accepting
// decoder when one fails; then, as the job's switches say, its colours converted from its
// embedded profile to sRGB and the picture turned upright by its orientation tag (the factor
// fits the turned picture into `target`). `facts` ends with the decoder that succeeded (-1
// on failure), the picture's size and depth, and its description. Safe on any thread.
GlobalHandle DecodePicture(PictureDecoders &decoders, const DecodeJob &job, const CellSize *target,
                           DecodeFacts &facts, const DescriptionLookup &describe,
                           ProgressProc progress = nullptr);

// The facts an entry holds, and storing what a decode learnt back into it (GUI thread).
DecodeFacts FactsOf(const CPicEntry &entry);
void TakeFacts(CPicEntry &entry, const DecodeFacts &facts);

// One thumbnail to make: a stored record to decode, or the picture to decode and scale.
struct ThumbJob {
  DecodeJob decode;
  DecodeFacts facts;
  CellRect rect;
  DrawSwitches switches;
  int32_t rotation = 0;
  std::shared_ptr<const ThumbRecord> stored;  // take this record's picture instead
  int storedDecoder = -1;
  int encodeQuality = 0;  // above 0: also encode the thumbnail for the thumbnail store
  // Encoded for the store as well, not to keep it there: the memory budget is nearly spent and
  // a thumbnail let go goes into the store, which should not encode it on the main thread.
  bool encodeToLetGo = false;
  ProgressProc progress = nullptr;
  // The desktop's shared cache to read first and, when the folder's store will not keep the
  // thumbnail (or the folder cannot be written), to write; null for none.
  const FdThumbCache *shared = nullptr;
  bool sharedWriteOnly = false;  // asked to make it again: the picture is decoded, the cache only written
  bool keepInFolder = false;  // CacheFolder puts it into the folder's store
  // Device pixels per cell pixel of the screen the thumbnail is shown on; above 1 a second,
  // sharper thumbnail is made for display from the same decoded picture.
  double displayRatio = 1;
  bool cameraOnly = false;  // the entry keeps its thumbnail; only "$(CP)" is read
};

struct ThumbResult {
  int result = -1;  // 0: a thumbnail
  GlobalHandle thumbnail;
  DecodeFacts facts;
  bool haveFileFacts = false;  // the file's size and times, read again after decoding
  uint64_t size = 0;
  FileTime creationTime = 0, lastWriteTime = 0;
  std::shared_ptr<ThumbBytes> encoded;  // record data for the store, when asked
  GlobalHandle display;  // the thumbnail at the job's displayRatio, when one was made
};

// Makes the thumbnail a job describes. Safe on any thread.
ThumbResult MakeThumbnail(PictureDecoders &decoders, const ThumbJob &job, const DescriptionLookup &describe);

class CThumbBuilder {
 public:
  using DescriptionLookup = tamro::DescriptionLookup;

  // None of them owned; `store` and `settings` may be null (no store, no CacheFolder/CP).
  CThumbBuilder(PictureDecoders *decoders, CThumbStore *store, const DocSettings *settings);

  PictureDecoders *Decoders() const { return decoders_; }
  CThumbStore *Store() const { return store_; }
  void SetDescriptionLookup(DescriptionLookup lookup) { describe_ = std::move(lookup); }
  // The shared thumbnail cache, used while the document's SharedThumbCache is on; not owned.
  void SetSharedCache(const FdThumbCache *cache) { shared_ = cache; }
  const DescriptionLookup &Describe() const { return describe_; }
  // Device pixels per pixel of the screen the cells are shown on (1 and above). Thumbnails
  // kept for the cells stay at the cell's size; display ones are made at this ratio, and an
  // entry whose display thumbnail was made for another ratio is built again.
  void SetDisplayRatio(double ratio) { displayRatio_ = ratio > 1 ? ratio : 1; }
  double DisplayRatio() const { return displayRatio_; }
  // The caption lines (the document's items of NameFormat); not owned, may be null. When they
  // show "$(CP)" the text is read on the workers with the thumbnail, once per entry.
  void SetCaptionLines(const std::vector<std::string> *lines) { lines_ = lines; }
  // Whether the entry's captions still lack the "$(CP)" text a worker can read.
  bool WantsCamera(const CPicEntry &entry) const;
  // A job that only reads that text, for an entry that keeps its thumbnail.
  ThumbJob CameraJobFor(const CPicEntry &entry) const;

  // Makes sure the entry has a thumbnail for a cell picture area of `rect`'s size: asks the
  // store once when the listing used the folder cache (taking a record only when it fits,
  // ThumbnailFits), drops a thumbnail that does not fit, and builds one when `build` is set.
  // With a surface the thumbnail is drawn fitted into `rect`. 0: there is a thumbnail (or
  // nothing had to be built); -1: decoding failed; 1: no thumbnail and no build asked.
  int EnsureThumbnail(CPicEntry &entry, QPainter *surface, const CellRect &rect, bool build);
  // The full picture (see DecodePicture); the entry keeps what the decode learnt.
  GlobalHandle DecodeEntry(CPicEntry &entry, const CellSize *target);
  // What drawing a cell in build mode does: EnsureThumbnail with build, then a thumbnail
  // just made goes into the store (with CacheFolder on) and the note is read the first time.
  int BuildForCell(CPicEntry &entry, const CellRect &rect);

  // The same split for thumbnail workers. KeepsFitting drops a thumbnail that does not fit
  // `rect` and answers whether one is left. JobFor copies what building needs out of the
  // entry (taking the store's record once, when the listing used the cache); Apply stores a
  // result into the entry as BuildForCell would have. Both on the main thread.
  bool KeepsFitting(CPicEntry &entry, const CellRect &rect);
  ThumbJob JobFor(CPicEntry &entry, const CellRect &rect);
  int Apply(CPicEntry &entry, const ThumbJob &job, ThumbResult &result);
  // Apply, then the store and the note as BuildForCell.
  int ApplyForCell(CPicEntry &entry, const ThumbJob &job, ThumbResult &result);

  DecodeJob DecodeJobFor(const CPicEntry &entry) const;

 private:
  PictureDecoders *decoders_;
  CThumbStore *store_;
  const DocSettings *settings_;
  DescriptionLookup describe_;
  const FdThumbCache *shared_ = nullptr;
  double displayRatio_ = 1;
  const std::vector<std::string> *lines_ = nullptr;
  mutable std::vector<std::string> linesSeen_;  // the lines WantsCamera looked through last
  mutable bool linesReadPicture_ = false;
};

// "ｻﾑﾈｲﾙの再作成": every displayed entry takes the current drawing switches, forgets its
// decoder, description and pictures and does not look in the store again; then hint 0.
void RebuildAllThumbnails(CRXDoc &doc, UpdateObserver *sender);

// "ﾌｫﾙﾀﾞ情報を保存": every displayed entry with a thumbnail not yet stored goes into the
// store, then the store is written. False when a store could not be written.
bool SaveFolderInfo(CRXDoc &doc, CThumbStore &store);

}  // namespace tamro
