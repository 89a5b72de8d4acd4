#include "views/gifanimation.h"

#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <cstring>

#include "catalogue/workerpool.h"
#include "decode/builtin/gif.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "picture/transform.h"

namespace tamro {

namespace {

std::atomic<uint64_t> nextTag{0x47494600000000ull};

int DepthOf(int colourBits) { return colourBits < 2 ? 1 : colourBits <= 4 ? 4 : 8; }

// The colour bits of the first image's table (its own, else the file's), found without
// decoding anything; 0 when the file holds no image.
int FirstImageBits(const std::string &bytes) {
  const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
  const std::size_t size = bytes.size();
  const int screenBits = (p[10] & 7) + 1;
  std::size_t at = 13 + ((p[10] & 0x80) ? std::size_t{3} << screenBits : 0);
  while (at < size && p[at] == 0x21) {
    at += 2;
    while (at < size && p[at] != 0) at += std::size_t{p[at]} + 1;
    ++at;
  }
  if (at + 10 > size || p[at] != ',') return 0;
  return (p[at + 9] & 0x80) ? (p[at + 9] & 7) + 1 : screenBits;
}

// A display frame of the composed screen, as the window scales a still picture.
QImage DisplayFrame(HDIB screen, const GifLook &look) {
  HDIB scaled = ScaleDibByMode(screen, look.size.width(), look.size.height(), look.angle, look.scaleMode,
                               look.autoFactor, false);
  GlobalHandle own(scaled != screen ? scaled : nullptr);
  return DibToImage(scaled);
}

}  // namespace

// The running composition of one animation: its screen and the next frame to draw on it.
// Used by one thread at a time, handed between the GUI thread and a worker.
class GifComposer {
 public:
  GifComposer(std::shared_ptr<const std::string> bytes, QSize screen)
      : bytes_(std::move(bytes)), screen_(screen) {}

  int Next() const { return next_; }
  HDIB Screen() const { return screen24_.get(); }
  bool HasScreen() const { return static_cast<bool>(screen24_); }
  // Back to frame 0 on a black screen; the screen's block is given back until then.
  void Restart() {
    screen24_.reset();
    next_ = 0;
  }

  // Draws frame Next() over the screen; false at the end of the file, at the frame limit
  // or on bad data.
  bool Compose(int &delay, int &disposal) {
    if (next_ >= GifAnimation::kMaxFrames) return false;
    if (!screen24_) screen24_.reset(CreateDib(screen_.width(), screen_.height(), 24));
    DibLock lock(screen24_.get());
    if (!lock) return false;
    auto state = std::make_unique<builtin::GifDecodeState>();
    state->frameIndex = next_;
    state->indicesOnly = true;
    if (builtin::GifDecodeFrame(*state, reinterpret_cast<const unsigned char *>(bytes_->data()),
                                bytes_->size()) != 0)
      return false;
    uint8_t colour[256][3];
    for (unsigned i = 0; i < 256; ++i) {
      const uint32_t c = builtin::GifIndexColour(*state, i);
      colour[i][0] = static_cast<uint8_t>(c >> 16);
      colour[i][1] = static_cast<uint8_t>(c >> 8);
      colour[i][2] = static_cast<uint8_t>(c);
    }
    const bool masked = builtin::GifFrameMasked(*state);
    const int64_t rowBytes = DibRowBytes(lock.header());
    const std::size_t maskRowBytes = (static_cast<std::size_t>(state->width) + 7) / 8;
    // Only the part of the frame that lies on the screen is drawn.
    const int x0 = std::max(0, -state->left), x1 = std::min(state->width, screen_.width() - state->left);
    for (int y = std::max(0, -state->top); y < state->height && state->top + y < screen_.height(); ++y) {
      const unsigned char *index = state->index.data() + static_cast<std::size_t>(y) * state->width;
      const unsigned char *mask = state->mask.data() + static_cast<std::size_t>(y) * maskRowBytes;
      uint8_t *row = lock.bits() + rowBytes * (screen_.height() - 1 - (state->top + y));
      for (int x = x0; x < x1; ++x) {
        if (masked && !(mask[x >> 3] & (0x80u >> (x & 7)))) continue;  // transparent: what was there stays
        std::memcpy(row + static_cast<std::size_t>(state->left + x) * 3, colour[index[x]], 3);
      }
    }
    delay = state->delay;
    disposal = state->disposal;
    ++next_;
    return true;
  }

  // Disposal methods 2 and 3 clear the screen to black once the frame has been taken.
  void Dispose(int disposal) {
    if (disposal != 2 && disposal != 3) return;
    DibLock lock(screen24_.get());
    if (lock)
      std::memset(lock.bits(), 0, static_cast<std::size_t>(DibRowBytes(lock.header())) * screen_.height());
  }

 private:
  std::shared_ptr<const std::string> bytes_;
  QSize screen_;
  GlobalHandle screen24_;  // 24 bits, bottom row first
  int next_ = 0;
};

// What a worker hands back: frame `frame` at the display size, or, when the file ended or
// broke first, frame -1 and the number of frames it holds.
struct GifAnimation::Made {
  uint64_t open = 0, look = 0;
  int frame = -1, end = 0, delay = 0;
  QImage image;
};

namespace {

// Runs on a worker: composes up to frame `frame` (from frame 0 again when the composer has
// passed it) and makes that one's display frame.
void MakeFrame(GifComposer &composer, int frame, const GifLook &look, int &made, int &end, int &delay,
               QImage &image) {
  if (frame < composer.Next()) composer.Restart();
  while (composer.Next() <= frame) {
    const int at = composer.Next();
    int frameDelay = 0, disposal = 0;
    if (!composer.Compose(frameDelay, disposal)) {
      end = composer.Next();
      return;
    }
    if (at == frame) {
      image = DisplayFrame(composer.Screen(), look);
      made = frame;
      delay = frameDelay;
    }
    composer.Dispose(disposal);
  }
}

}  // namespace

bool LooksLikeGif(const std::string &head) {
  return head.size() >= 6 && (head.compare(0, 6, "GIF87a") == 0 || head.compare(0, 6, "GIF89a") == 0);
}

GifAnimation::GifAnimation(WorkerPool &pool) : pool_(pool), mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->owner = this;
}

GifAnimation::~GifAnimation() {
  Close();
  std::lock_guard lock(mailbox_->mutex);
  mailbox_->owner = nullptr;
}

bool GifAnimation::Open(std::string bytes) {
  Close();
  if (!LooksLikeGif(bytes) || bytes.size() < 13) return false;
  const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
  const int width = p[6] | p[7] << 8, height = p[8] | p[9] << 8;
  // A lying screen size must not cost gigabytes: 64 megapixels is far beyond any animation.
  if (width < 1 || height < 1 || static_cast<int64_t>(width) * height > (int64_t{64} << 20)) return false;
  const int bits = FirstImageBits(bytes);
  if (bits == 0) return false;
  bytes_ = std::make_shared<const std::string>(std::move(bytes));
  screen_ = QSize(width, height);
  composer_ = std::make_shared<GifComposer>(bytes_, screen_);
  bitCount_ = DepthOf(bits);
  tag_ = ++nextTag;
  return true;
}

void GifAnimation::Close() {
  if (busy_) pool_.Cancel(tag_);
  ++open_;
  bytes_.reset();
  composer_.reset();
  busy_ = false;
  shape_ = GifLook();
  count_ = 0;
  ended_ = false;
  delays_.clear();
  stored_.clear();
  seen_.clear();
  aheadFrame_ = -1;
  ahead_ = QImage();
  current_ = 0;
  shownFrame_ = -1;
  shown_ = QImage();
  everShown_ = false;
  displayed_.reset();
}

void GifAnimation::SetLook(const GifLook &look) {
  if (!Active() || look == shape_) return;
  shape_ = look;
  ++look_;
  for (QImage &frame : stored_) frame = QImage();
  seen_.assign(seen_.size(), false);
  aheadFrame_ = -1;
  ahead_ = QImage();
  Pump();
}

int GifAnimation::Delay() const {
  return current_ < static_cast<int>(delays_.size()) ? delays_[current_] : 0;
}

bool GifAnimation::Tick() {
  if (!Active() || !everShown_) return true;
  int next = current_ + 1;
  if (ended_ && next >= count_) next = 0;
  if (next == current_) return false;
  const QImage image = Stored(next) ? stored_[next] : aheadFrame_ == next ? ahead_ : QImage();
  if (image.isNull()) {
    Pump();
    return true;  // not made yet: look again soon
  }
  if (aheadFrame_ == next) {
    aheadFrame_ = -1;
    ahead_ = QImage();
  }
  const bool firstTime = Show(next, image);
  Pump();
  // The first round at a look goes at the clock's pace, as the frames are still being made;
  // after that each frame keeps its own time, whether it was kept or is made again.
  return firstTime;
}

void GifAnimation::Rewind() {
  if (!Active() || current_ == 0) return;
  current_ = 0;
  if (Stored(0)) Show(0, stored_[0]);
  Pump();
}

bool GifAnimation::Show(int frame, const QImage &image) {
  current_ = frame;
  shownFrame_ = frame;
  shownLook_ = look_;
  shown_ = image;
  displayed_.reset();
  const bool firstTime = !seen_[frame];
  seen_[frame] = true;
  return firstTime;
}

// The first frame after the shown one that is not kept; -1 when all of them are.
int GifAnimation::FirstMissing() const {
  for (int i = 1; !ended_ || i < count_; ++i) {
    const int frame = ended_ ? (current_ + i) % count_ : current_ + i;
    if (!Stored(frame)) return frame;
  }
  return -1;
}

// Asks a worker for the frame that is wanted most: the shown one when it is not there at
// the current look, else the first one after it that is not at hand. One at a time, and
// none while a frame made ahead waits to be shown.
void GifAnimation::Pump() {
  if (!Active() || busy_ || !composer_ || shape_.size.isEmpty()) return;
  int want = current_;
  if (shownFrame_ == current_ && shownLook_ == look_) {
    want = FirstMissing();
    if (want >= 0 && want == aheadFrame_) return;
    aheadFrame_ = -1;  // made for a step that no longer comes next
    ahead_ = QImage();
  }
  if (want >= 0)
    Request(want);
  else
    composer_->Restart();  // every frame is at hand: the screen is not needed until the look changes
}

void GifAnimation::Request(int frame) {
  busy_ = true;
  std::shared_ptr<GifComposer> composer = std::move(composer_);  // the worker's until it answers
  std::weak_ptr<Mailbox> box = mailbox_;
  const uint64_t open = open_, look = look_;
  const GifLook shape = shape_;
  pool_.Post(WorkerPool::kNow, tag_, [box, composer, frame, shape, open, look]() {
    Made made;
    made.open = open;
    made.look = look;
    MakeFrame(*composer, frame, shape, made.frame, made.end, made.delay, made.image);
    auto mailbox = box.lock();
    if (!mailbox) return;
    std::lock_guard lock(mailbox->mutex);
    if (GifAnimation *owner = mailbox->owner)
      QMetaObject::invokeMethod(
          owner, [owner, composer, made]() { owner->Arrived(composer, made); }, Qt::QueuedConnection);
  });
}

int64_t GifAnimation::ScreenBytes() const {
  return (static_cast<int64_t>(screen_.width()) * 3 + 3) / 4 * 4 * screen_.height() + 40;
}

// The budget holds the file, the screen, the shown frame, one made ahead and one asked for
// as a picture; what is left of it keeps frames.
int64_t GifAnimation::Reserved() const {
  const int64_t w = shape_.size.width(), h = shape_.size.height();
  return static_cast<int64_t>(bytes_->size()) + ScreenBytes() + 2 * (4 * w * h) +
         ((w * 3 + 3) / 4 * 4 * h + 40);
}

void GifAnimation::Arrived(const std::shared_ptr<GifComposer> &composer, const Made &made) {
  if (made.open != open_) return;  // made for a file no longer shown
  busy_ = false;
  composer_ = composer;
  if (made.frame < 0) {
    if (!everShown_) {
      Close();
      if (onFailed_) onFailed_();
      return;
    }
    if (!ended_ && made.end >= count_) {
      ended_ = true;
      count_ = made.end;
    } else {
      composer_.reset();  // failed where it worked before (no memory): play what is at hand
    }
    Pump();
    return;
  }
  const int frame = made.frame;
  if (frame >= count_) {
    count_ = frame + 1;
    delays_.resize(count_);
    stored_.resize(count_);
    seen_.resize(count_);
    if (count_ >= kMaxFrames) ended_ = true;
  }
  delays_[frame] = made.delay;
  if (made.look != look_ || made.image.isNull()) {
    Pump();
    return;
  }
  int64_t kept = 0;
  for (const QImage &f : stored_) kept += f.sizeInBytes();
  if (kept + made.image.sizeInBytes() + Reserved() <= budget_) stored_[frame] = made.image;
  const bool toShow = frame == current_ && (shownFrame_ != current_ || shownLook_ != look_);
  if (toShow) {
    const bool first = !everShown_;
    everShown_ = true;
    Show(frame, made.image);
    if (onShown_) onShown_(first);
  } else if (!Stored(frame)) {
    aheadFrame_ = frame;
    ahead_ = made.image;
  }
  Pump();
}

HDIB GifAnimation::Displayed() const {
  if (!displayed_ && !shown_.isNull()) displayed_.reset(BitmapToDib(shown_));
  return displayed_.get();
}

void GifAnimation::Sharpen() {
  HDIB picture = Displayed();
  HDIB sharp = picture ? SharpenDib(picture, 0.3) : nullptr;
  if (!sharp) return;
  displayed_.reset(sharp);
  shown_ = DibToImage(sharp);
  if (Stored(current_)) stored_[current_] = shown_;
}

int64_t GifAnimation::BytesHeld() const {
  if (!Active()) return 0;
  int64_t held = static_cast<int64_t>(bytes_->size()) + static_cast<int64_t>(displayed_.size());
  // A screen away on a worker is counted as held.
  if (busy_ || (composer_ && composer_->HasScreen())) held += ScreenBytes();
  for (const QImage &f : stored_) held += f.sizeInBytes();
  if (!Stored(shownFrame_) || stored_[shownFrame_].cacheKey() != shown_.cacheKey())
    held += shown_.sizeInBytes();
  return held + ahead_.sizeInBytes();
}

}  // namespace tamro
