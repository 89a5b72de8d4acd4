#pragma once

// Full-size pictures for the picture windows, decoded on the engine's workers and scaled there
// to the window: the picture asked for first, then the pictures next to it in the listing read
// ahead, so that stepping through a folder shows each picture at once and the GUI thread only
// paints. A few pictures are kept; results come back on the GUI thread.

#include <QImage>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/thumbbuilder.h"
#include "platform/globalhandle.h"
#include "views/onepicture.h"

namespace tamro {

class CatalogueEngine;

// A decoded picture with what the decoders told about it; shared by the loader's cache and
// the window that shows it.
struct LoadedPicture {
  GlobalHandle picture;  // null when no decoder could read it
  DecodeFacts facts;
};
using LoadedPicturePtr = std::shared_ptr<const LoadedPicture>;

// A decoded picture scaled and turned for a window (and sharpened when asked): what is painted.
struct DisplayPicture {
  LoadedPicturePtr from;
  ViewLook look;
  int sharpened = 0;
  DisplaySize display;
  GlobalHandle own;    // when the picture is not from's or base's own
  HDIB dib = nullptr;  // null without a picture
  QImage image;
  std::shared_ptr<const DisplayPicture> base;  // when dib is base's
};
using DisplayPtr = std::shared_ptr<const DisplayPicture>;

// Makes the display picture of `from` (any thread): scaled as the look says, then sharpened
// `sharpen` times, starting from `base` when that is the same picture less sharpened.
DisplayPtr MakeDisplay(const LoadedPicturePtr &from, const ViewLook &look, int sharpen = 0,
                       DisplayPtr base = {});

class PictureLoader : public QObject {
  Q_OBJECT

 public:
  // Keeps the picture shown and at most this many read ahead.
  static constexpr int kAhead = 2;

  explicit PictureLoader(CatalogueEngine &engine, QObject *parent = nullptr);
  // Queued reads are dropped; a read under way finishes on its worker and is thrown away.
  ~PictureLoader() override;

  // The display picture comes with the decode, made for the look asked for then; it is null
  // when nothing could be decoded.
  using Done = std::function<void(const LoadedPicturePtr &, const DisplayPtr &)>;
  // The picture of `entry`: `done` runs on the GUI thread once it is decoded, at once when
  // it was read ahead. A later Load drops the wish of an earlier one that has not finished.
  void Load(const CPicEntry &entry, const ViewLook &look, Done done);
  // Drops the wish of the last Load (its picture is still kept when it comes).
  void Abandon() { done_ = nullptr; }
  // Reads the pictures ahead (the nearest first), forgetting older ones beyond kAhead; those
  // already read are made again for a new look.
  void Preload(const std::vector<const CPicEntry *> &entries, const ViewLook &look);
  // The display picture of a picture at hand, made on a worker (see MakeDisplay); `made` runs
  // on the GUI thread. A later Make takes back one that has not started.
  using Made = std::function<void(const DisplayPtr &)>;
  void Make(const LoadedPicturePtr &from, const ViewLook &look, int sharpen, DisplayPtr base, Made made);
  // Forgets everything (the files may have changed).
  void Clear();
  int Pending() const;
  // Lets go of a picture on a worker: freeing tens of megabytes costs the GUI thread
  // milliseconds.
  void Discard(std::shared_ptr<const void> held);
  // The entry's picture is asked for and not decoded yet.
  bool Reading(const CPicEntry &entry) const;
  // The key pictures are kept under: the file or member and the switches that change it.
  static std::string KeyOf(const CPicEntry &entry);

 private:
  struct Slot {
    std::string key;
    uint64_t tag = 0;  // the slot's queued read, for cancelling
    int priority = 0;
    bool done = false;
    DecodeJob job;
    PictureFacts facts;  // the entry's, which the decode starts from
    ViewLook look;  // what its display picture is wanted at
    bool making = false;
    LoadedPicturePtr result;
    DisplayPtr display;
  };
  struct Mailbox {
    std::mutex mutex;
    PictureLoader *owner = nullptr;
  };
  std::shared_ptr<Slot> Start(const CPicEntry &entry, int priority, const ViewLook &look);
  void Post(const std::shared_ptr<Slot> &slot);
  // Runs `work` on a worker and `then` with its answer on the GUI thread, unless the loader
  // is gone by then.
  void Run(int priority, uint64_t tag, std::function<DisplayPtr()> work,
           std::function<void(const DisplayPtr &)> then);
  void Remake(const std::shared_ptr<Slot> &slot);
  void Drop(std::shared_ptr<Slot> slot);
  bool Held(const std::shared_ptr<Slot> &slot) const;
  void Finished(const std::shared_ptr<Slot> &slot, LoadedPicturePtr result, DisplayPtr display);
  void Trim();

  CatalogueEngine &engine_;
  std::shared_ptr<Mailbox> mailbox_;
  std::vector<std::shared_ptr<Slot>> slots_;  // the wanted one first, then the newest read ahead
  std::shared_ptr<Slot> wanted_;
  Done done_;
  uint64_t makeTag_ = 0;
};

}  // namespace tamro
