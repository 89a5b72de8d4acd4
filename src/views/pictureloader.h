#pragma once

// Full-size pictures for the picture windows, decoded on the engine's workers: the picture
// asked for first, then the pictures next to it in the listing read ahead, so that stepping
// through a folder shows each picture at once. A few pictures are kept; results come back on
// the GUI thread.

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/thumbbuilder.h"
#include "platform/globalhandle.h"

namespace tamro {

class CatalogueEngine;

// A decoded picture with what the decoders told about it; shared by the loader's cache and
// the window that shows it.
struct LoadedPicture {
  GlobalHandle picture;  // null when no decoder could read it
  PictureFacts facts;
};
using LoadedPicturePtr = std::shared_ptr<const LoadedPicture>;

class PictureLoader : public QObject {
  Q_OBJECT

 public:
  // Keeps the picture shown and at most this many read ahead.
  static constexpr int kAhead = 2;

  explicit PictureLoader(CatalogueEngine &engine, QObject *parent = nullptr);
  // Queued reads are dropped; a read under way finishes on its worker and is thrown away.
  ~PictureLoader() override;

  using Done = std::function<void(const LoadedPicturePtr &)>;
  // The picture of `entry`: `done` runs on the GUI thread once it is decoded, at once when
  // it was read ahead. A later Load drops the wish of an earlier one that has not finished.
  void Load(const CPicEntry &entry, Done done);
  // Drops the wish of the last Load (its picture is still kept when it comes).
  void Abandon() { done_ = nullptr; }
  // Reads the pictures ahead (the nearest first), forgetting older ones beyond kAhead.
  void Preload(const std::vector<const CPicEntry *> &entries);
  // Forgets everything (the files may have changed).
  void Clear();
  int Pending() const;
  // The key pictures are kept under: the file or member and the switches that change it.
  static std::string KeyOf(const CPicEntry &entry);

 private:
  struct Slot {
    std::string key;
    uint64_t tag = 0;  // the slot's queued read, for cancelling
    int priority = 0;
    bool done = false;
    DecodeJob job;
    PictureFacts facts;
    LoadedPicturePtr result;
  };
  struct Mailbox {
    std::mutex mutex;
    PictureLoader *owner = nullptr;
  };
  std::shared_ptr<Slot> Start(const CPicEntry &entry, int priority);
  void Post(const std::shared_ptr<Slot> &slot);
  void Drop(const std::shared_ptr<Slot> &slot);
  void Finished(const std::shared_ptr<Slot> &slot, LoadedPicturePtr result);
  void Trim();

  CatalogueEngine &engine_;
  std::shared_ptr<Mailbox> mailbox_;
  std::vector<std::shared_ptr<Slot>> slots_;  // the wanted one first, then the newest read ahead
  std::shared_ptr<Slot> wanted_;
  Done done_;
};

}  // namespace tamro
