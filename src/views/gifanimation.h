#pragma once

// An animated GIF as the picture window plays it. Frames are composed one after another on
// the logical screen (each drawn over what the frames before left, the screen cleared to
// black after a frame whose disposal asks for it) and scaled to the display size on the
// engine's workers; the GUI thread only swaps finished frames in. Only display-size frames
// are kept, and only as many as a byte budget allows: the frames beyond it are composed again
// from the file each time round, the composition starting over at frame 0 when the loop wraps.

#include <QImage>
#include <QObject>
#include <QSize>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "picture/dibtypes.h"
#include "platform/globalhandle.h"

namespace tamro {

class WorkerPool;
class GifComposer;

// How frames are displayed: what the window's scaling of a still picture is given.
struct GifLook {
  QSize size;  // of the display frames
  double angle = 0.0;
  int scaleMode = 0;
  double autoFactor = 1.0;  // the scale the automatic method chooses by
  bool operator==(const GifLook &) const = default;
};

class GifAnimation : public QObject {
 public:
  static constexpr int kMaxFrames = 256;
  static constexpr int64_t kDefaultBudget = int64_t{256} << 20;

  explicit GifAnimation(WorkerPool &pool);
  ~GifAnimation() override;

  // Runs when the shown frame was made (or made again for a new look); `first` for the
  // first frame of the file.
  void OnShown(std::function<void(bool first)> shown) { onShown_ = std::move(shown); }
  // Runs when not even the first frame can be composed; the animation is closed by then.
  void OnFailed(std::function<void()> failed) { onFailed_ = std::move(failed); }

  // Takes the file's bytes; false when they are no GIF with a picture, or the screen is
  // unreasonably large. Nothing is composed before the first SetLook.
  bool Open(std::string bytes);
  // Forgets the file; what is still being made for it is thrown away when it comes.
  void Close();
  bool Active() const { return bytes_ != nullptr; }
  // Open, but the first frame is not there yet.
  bool Pending() const { return Active() && !everShown_; }
  // The logical screen and the colour depth of the first frame's table (1, 4 or 8 bits).
  QSize ScreenSize() const { return screen_; }
  int BitCount() const { return bitCount_; }

  // Frames of another look are dropped; the shown one is made again (and stays on screen,
  // stretched, until then).
  void SetLook(const GifLook &look);
  // One step of the clock: the next frame is shown when it is ready. True while frames are
  // shown for the first time or waited for (the clock then runs at its quickest).
  bool Tick();
  // Back to frame 0.
  void Rewind();

  int Count() const { return count_; }   // frames known so far
  bool Ended() const { return ended_; }  // ... and whether that is all of them
  int Current() const { return current_; }
  int Delay() const;  // of the current frame, hundredths of a second
  // The shown frame; null until the first is made.
  const QImage &Image() const { return shown_; }
  // The same as a picture, made when asked for; null without a frame.
  HDIB Displayed() const;
  void Sharpen();

  // Everything the animation holds: the file, the composing screen, the frames.
  int64_t BytesHeld() const;
  void SetBudget(int64_t bytes) { budget_ = bytes; }

 private:
  struct Mailbox {
    std::mutex mutex;
    GifAnimation *owner = nullptr;
  };
  struct Made;
  void Pump();
  void Request(int frame);
  void Arrived(const std::shared_ptr<GifComposer> &composer, const Made &made);
  // True when the frame is shown for the first time at this look.
  bool Show(int frame, const QImage &image);
  bool Stored(int frame) const {
    return frame >= 0 && frame < static_cast<int>(stored_.size()) && !stored_[frame].isNull();
  }
  int FirstMissing() const;
  int64_t Reserved() const;
  int64_t ScreenBytes() const;

  WorkerPool &pool_;
  std::shared_ptr<Mailbox> mailbox_;
  std::function<void(bool)> onShown_;
  std::function<void()> onFailed_;
  int64_t budget_ = kDefaultBudget;

  std::shared_ptr<const std::string> bytes_;
  std::shared_ptr<GifComposer> composer_;  // null while a worker has it
  QSize screen_;
  int bitCount_ = 0;
  uint64_t open_ = 0, look_ = 0, tag_ = 0;  // what results must match to be taken
  GifLook shape_;
  bool busy_ = false;

  int count_ = 0;
  bool ended_ = false;
  std::vector<int> delays_;
  std::vector<QImage> stored_;  // by frame; null when not kept
  int aheadFrame_ = -1;         // one frame made ahead that the budget did not keep
  QImage ahead_;
  int current_ = 0;
  int shownFrame_ = -1;
  uint64_t shownLook_ = 0;
  QImage shown_;
  std::vector<bool> seen_;  // by frame: shown at this look
  bool everShown_ = false;
  mutable GlobalHandle displayed_;
};

// Whether the first bytes are a GIF signature.
bool LooksLikeGif(const std::string &head);

}  // namespace tamro
