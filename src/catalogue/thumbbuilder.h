#pragma once

// The thumbnail builder: how one entry gets its thumbnail (from the thumbnail store, kept
// from before, or decoded and scaled), when a thumbnail is thrown away, and which decoder
// reads an entry. Everything runs on the main thread, between events.

#include <functional>
#include <string>

#include "catalogue/docsettings.h"
#include "catalogue/picentry.h"
#include "picture/dibtypes.h"
#include "platform/globalhandle.h"

class QPainter;

namespace tamro {

class CRXDoc;
class CThumbStore;
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

// Whether a thumbnail made for a cell picture area of boxWidth x boxHeight, with `scaleMode`
// and `unsharp`, may stand for the entry drawn in `rect`: the same area, a scale mode not
// lower than the entry's own, the same unsharp switch. The one rule for a thumbnail kept
// from before and for a record of the thumbnail store, in the window and in batch runs.
bool ThumbnailFits(int boxWidth, int boxHeight, int scaleMode, bool unsharp, const CPicEntry &entry,
                   const CellRect &rect);

class CThumbBuilder {
 public:
  // The text the optional description library gives for a JPEG file ("[a] [b] "), or "".
  // By default the library beside the executable is asked (and is simply absent mostly).
  using DescriptionLookup = std::function<std::string(const std::string &path)>;

  // None of them owned; `store` and `settings` may be null (no store, no CacheFolder/CP).
  CThumbBuilder(PictureDecoders *decoders, CThumbStore *store, const DocSettings *settings);

  PictureDecoders *Decoders() const { return decoders_; }
  CThumbStore *Store() const { return store_; }
  void SetDescriptionLookup(DescriptionLookup lookup) { describe_ = std::move(lookup); }

  // Makes sure the entry has a thumbnail for a cell picture area of `rect`'s size: asks the
  // store once when the listing used the folder cache (taking a record only when it fits,
  // ThumbnailFits), drops a thumbnail that does not fit, and builds one when `build` is set. With a
  // surface the thumbnail is drawn fitted into `rect`. 0: there is a thumbnail (or nothing
  // had to be built); -1: decoding failed; 1: no thumbnail and no build asked.
  int EnsureThumbnail(CPicEntry &entry, QPainter *surface, const CellRect &rect, bool build);
  // Decodes toward the size of `rect` and scales into the fitted rectangle. 0 or -1.
  int MakeThumbnail(CPicEntry &entry, const CellRect &rect);
  // The full picture, reduced by a whole factor toward `target` when given, through the
  // entry's decoder or the first one that accepts it, falling back to the next accepting
  // decoder when one fails (the one that succeeds is remembered). Empty on failure.
  GlobalHandle DecodeEntry(CPicEntry &entry, const CellSize *target);
  // What drawing a cell in build mode does: EnsureThumbnail with build, then a thumbnail
  // just made goes into the store (with CacheFolder on) and the note is read the first time.
  int BuildForCell(CPicEntry &entry, const CellRect &rect);

 private:
  bool ReadPictureFacts(CPicEntry &entry, int decoder, const PictureSource &source);
  int FindNext(CPicEntry &entry, const PictureSource &source, const unsigned char *head, int start);

  PictureDecoders *decoders_;
  CThumbStore *store_;
  const DocSettings *settings_;
  DescriptionLookup describe_;
};

// "ｻﾑﾈｲﾙの再作成": every displayed entry takes the current drawing switches, forgets its
// decoder, description and pictures and does not look in the store again; then hint 0.
void RebuildAllThumbnails(CRXDoc &doc, UpdateObserver *sender);

// "ﾌｫﾙﾀﾞ情報を保存": every displayed entry with a thumbnail not yet stored goes into the
// store, then the store is written.
void SaveFolderInfo(CRXDoc &doc, CThumbStore &store);

}  // namespace tamro
