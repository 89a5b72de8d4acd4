#include "views/pictureloader.h"

#include <QMetaObject>
#include <algorithm>
#include <atomic>

#include "catalogue/engine.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "picture/transform.h"

namespace tamro {

namespace {
std::atomic<uint64_t> nextTag{0x50494300000000ull};
}

DisplayPtr MakeDisplay(const LoadedPicturePtr &from, const ViewLook &look, int sharpen, DisplayPtr base) {
  auto d = std::make_shared<DisplayPicture>();
  d->from = from;
  d->look = look;
  d->sharpened = sharpen;  // what was asked for: a sharpening that fails leaves the picture as it was
  HDIB source = from ? from->picture.get() : nullptr;
  if (!source) return d;
  d->display = ComputeDisplaySize(look, DibWidth(source), DibHeight(source));
  int done = 0;
  if (base && base->from == from && base->look == look && base->dib && base->sharpened < sharpen) {
    d->base = std::move(base);
    d->dib = d->base->dib;
    done = d->base->sharpened;
  } else {
    const QSize size = FrameSize(d->display, look.budget);
    const double reduced = static_cast<double>(size.width()) / d->display.width;
    HDIB scaled = ScaleDibByMode(source, size.width(), size.height(), look.angle, look.scaleMode,
                                 d->display.scale * reduced, false);
    d->own.reset(scaled != source ? scaled : nullptr);
    d->dib = scaled;
  }
  for (; done < sharpen; ++done) {
    HDIB sharp = SharpenDib(d->dib, 0.3);
    if (!sharp) break;
    d->own.reset(sharp);
    d->dib = sharp;
  }
  d->image = DibToImage(d->dib);
  return d;
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

std::shared_ptr<PictureLoader::Slot> PictureLoader::Start(const CPicEntry &e, int priority,
                                                          const ViewLook &look) {
  const std::string key = KeyOf(e);
  for (auto &s : slots_) {
    if (s->key != key) continue;
    s->look = look;
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
  slot->look = look;
  slot->job = engine_.Builder().DecodeJobFor(e);
  slot->facts = e.facts;
  slots_.push_back(slot);
  Post(slot);
  return slot;
}

void PictureLoader::Run(int priority, uint64_t tag, std::function<DisplayPtr()> work,
                        std::function<void(const DisplayPtr &)> then) {
  std::weak_ptr<Mailbox> box = mailbox_;
  engine_.Pool().Post(priority, tag, [box, work = std::move(work), then = std::move(then)]() {
    DisplayPtr made = work();
    auto mailbox = box.lock();
    if (!mailbox) return;
    std::lock_guard lock(mailbox->mutex);
    if (PictureLoader *owner = mailbox->owner)
      QMetaObject::invokeMethod(
          owner, [then, made]() { then(made); }, Qt::QueuedConnection);
  });
}

void PictureLoader::Post(const std::shared_ptr<Slot> &slot) {
  slot->tag = ++nextTag;
  PictureDecoders &decoders = engine_.Decoders();
  // The decode and the display picture at the look wanted now, in one go.
  Run(
      slot->priority, slot->tag,
      [job = slot->job, facts = slot->facts, look = slot->look, describe = engine_.Builder().Describe(),
       &decoders]() {
        auto result = std::make_shared<LoadedPicture>();
        result->facts.picture = facts;
        result->picture = DecodePicture(decoders, job, nullptr, result->facts, describe);
        return MakeDisplay(result, look);
      },
      [this, slot](const DisplayPtr &made) { Finished(slot, made->from, made); });
}

void PictureLoader::Remake(const std::shared_ptr<Slot> &slot) {
  if (!Held(slot) || slot->making || !slot->result || !slot->result->picture ||
      (slot->display && slot->display->look == slot->look))
    return;
  slot->making = true;
  slot->tag = ++nextTag;
  Run(
      slot->priority, slot->tag,
      [from = slot->result, look = slot->look]() { return MakeDisplay(from, look); },
      [this, slot](const DisplayPtr &made) {
        slot->making = false;
        slot->display = made;
        Remake(slot);  // the look changed again meanwhile
      });
}

void PictureLoader::Make(const LoadedPicturePtr &from, const ViewLook &look, int sharpen, DisplayPtr base,
                         Made made) {
  if (makeTag_) engine_.Pool().Cancel(makeTag_);
  makeTag_ = ++nextTag;
  Run(
      WorkerPool::kNow, makeTag_,
      [from, look, sharpen, base = std::move(base)]() { return MakeDisplay(from, look, sharpen, base); },
      std::move(made));
}

void PictureLoader::Drop(std::shared_ptr<Slot> slot) {
  engine_.Pool().Cancel(slot->tag);
  Discard(std::move(slot));
}

void PictureLoader::Discard(std::shared_ptr<const void> held) {
  if (held) engine_.Pool().Post(WorkerPool::kNow, 0, [held = std::move(held)]() {});
}

void PictureLoader::Load(const CPicEntry &entry, const ViewLook &look, Done done) {
  wanted_ = Start(entry, WorkerPool::kNow, look);
  done_ = std::move(done);
  if (wanted_->done) {
    // Read ahead already: shown without a trip through the event loop.
    auto slot = wanted_;
    Finished(slot, slot->result, slot->display);
  }
}

void PictureLoader::Preload(const std::vector<const CPicEntry *> &entries, const ViewLook &look) {
  for (const CPicEntry *e : entries)
    if (e) Remake(Start(*e, WorkerPool::kAhead, look));
  // The newest wishes count: drop what is neither wanted nor among them.
  std::vector<std::string> keep;
  for (const CPicEntry *e : entries)
    if (e) keep.push_back(KeyOf(*e));
  std::vector<std::shared_ptr<Slot>> kept;
  for (auto &s : slots_) {
    if (s == wanted_ || std::find(keep.begin(), keep.end(), s->key) != keep.end())
      kept.push_back(std::move(s));
    else
      Drop(std::move(s));
  }
  slots_ = std::move(kept);
  Trim();
}

void PictureLoader::Trim() {
  while (static_cast<int>(slots_.size()) > kAhead + 1) {
    auto victim = std::find_if(slots_.begin(), slots_.end(), [&](const auto &s) { return s != wanted_; });
    if (victim == slots_.end()) break;
    std::shared_ptr<Slot> gone = std::move(*victim);
    slots_.erase(victim);
    Drop(std::move(gone));
  }
}

bool PictureLoader::Held(const std::shared_ptr<Slot> &slot) const {
  return std::find(slots_.begin(), slots_.end(), slot) != slots_.end();
}

void PictureLoader::Finished(const std::shared_ptr<Slot> &slot, LoadedPicturePtr result, DisplayPtr display) {
  if (!Held(slot)) return;  // forgotten while a worker read it
  slot->done = true;
  slot->result = std::move(result);
  slot->display = std::move(display);
  if (slot != wanted_ || !done_) return Remake(slot);  // read ahead while the look changed
  Done done = std::move(done_);
  done_ = nullptr;
  done(slot->result, slot->display);
}

void PictureLoader::Clear() {
  if (makeTag_) engine_.Pool().Cancel(makeTag_);
  wanted_.reset();
  done_ = nullptr;
  for (auto &s : slots_) Drop(std::move(s));
  slots_.clear();
}

bool PictureLoader::Reading(const CPicEntry &entry) const {
  const std::string key = KeyOf(entry);
  return std::any_of(slots_.begin(), slots_.end(), [&](const auto &s) { return !s->done && s->key == key; });
}

int PictureLoader::Pending() const {
  return static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [](const auto &s) { return !s->done; }));
}

}  // namespace tamro
