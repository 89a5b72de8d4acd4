#include "views/pictureloader.h"

#include <QMetaObject>
#include <algorithm>
#include <atomic>

#include "catalogue/engine.h"

namespace tamro {

namespace {
std::atomic<uint64_t> nextTag{0x50494300000000ull};
}

PictureLoader::PictureLoader(CatalogueEngine &engine, QObject *parent)
    : QObject(parent), engine_(engine), mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->owner = this;
}

PictureLoader::~PictureLoader() {
  Clear();
  std::lock_guard lock(mailbox_->mutex);
  mailbox_->owner = nullptr;
}

std::string PictureLoader::KeyOf(const CPicEntry &e) {
  std::string key = e.IsArchiveMember() ? e.ArchivePath() + '\n' + e.name + '\n' + std::to_string(e.position)
                                        : e.FullPath();
  key += '\n' + std::to_string(e.switches.exifRotate) + std::to_string(e.switches.colorManage) + '\n' +
         std::to_string(e.size) + ':' + std::to_string(e.lastWriteTime);
  return key;
}

std::shared_ptr<PictureLoader::Slot> PictureLoader::Start(const CPicEntry &e, int priority) {
  const std::string key = KeyOf(e);
  for (auto &s : slots_) {
    if (s->key != key) continue;
    // Read ahead but wanted now: to the front of the queue unless a worker has it already.
    if (!s->done && priority < s->priority && engine_.Pool().Cancel(s->tag) > 0) {
      s->priority = priority;
      Post(s);
    }
    return s;
  }
  auto slot = std::make_shared<Slot>();
  slot->key = key;
  slot->priority = priority;
  slot->job = engine_.Builder().DecodeJobFor(e);
  slot->facts = FactsOf(e);
  slots_.push_back(slot);
  Post(slot);
  return slot;
}

void PictureLoader::Post(const std::shared_ptr<Slot> &slot) {
  slot->tag = ++nextTag;
  PictureDecoders &decoders = engine_.Decoders();
  std::weak_ptr<Mailbox> box = mailbox_;
  engine_.Pool().Post(slot->priority, slot->tag,
                      [box, slot, job = slot->job, facts = slot->facts, describe = engine_.Builder().Describe(),
                       &decoders]() {
                        auto result = std::make_shared<LoadedPicture>();
                        result->facts = facts;
                        result->picture = DecodePicture(decoders, job, nullptr, result->facts, describe);
                        auto mailbox = box.lock();
                        if (!mailbox) return;
                        std::lock_guard lock(mailbox->mutex);
                        if (PictureLoader *owner = mailbox->owner)
                          QMetaObject::invokeMethod(
                              owner, [owner, slot, result]() { owner->Finished(slot, result); },
                              Qt::QueuedConnection);
                      });
}

void PictureLoader::Drop(const std::shared_ptr<Slot> &slot) {
  if (!slot->done) engine_.Pool().Cancel(slot->tag);
}

void PictureLoader::Load(const CPicEntry &entry, Done done) {
  wanted_ = Start(entry, WorkerPool::kNow);
  done_ = std::move(done);
  if (wanted_->done) {
    // Read ahead already: shown without a trip through the event loop.
    auto slot = wanted_;
    Finished(slot, slot->result);
  }
}

void PictureLoader::Preload(const std::vector<const CPicEntry *> &entries) {
  for (const CPicEntry *e : entries)
    if (e) Start(*e, WorkerPool::kAhead);
  // The newest wishes count: drop what is neither wanted nor among them.
  std::vector<std::string> keep;
  for (const CPicEntry *e : entries)
    if (e) keep.push_back(KeyOf(*e));
  std::erase_if(slots_, [&](const std::shared_ptr<Slot> &s) {
    const bool gone = s != wanted_ && std::find(keep.begin(), keep.end(), s->key) == keep.end();
    if (gone) Drop(s);
    return gone;
  });
  Trim();
}

void PictureLoader::Trim() {
  while (static_cast<int>(slots_.size()) > kAhead + 1) {
    auto victim = std::find_if(slots_.begin(), slots_.end(), [&](const auto &s) { return s != wanted_; });
    if (victim == slots_.end()) break;
    Drop(*victim);
    slots_.erase(victim);
  }
}

void PictureLoader::Finished(const std::shared_ptr<Slot> &slot, LoadedPicturePtr result) {
  slot->done = true;
  slot->result = std::move(result);
  if (slot != wanted_ || !done_) return;
  Done done = std::move(done_);
  done_ = nullptr;
  done(slot->result);
}

void PictureLoader::Clear() {
  for (auto &s : slots_) Drop(s);
  slots_.clear();
  wanted_.reset();
  done_ = nullptr;
}

int PictureLoader::Pending() const {
  return static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [](const auto &s) { return !s->done; }));
}

}  // namespace tamro
