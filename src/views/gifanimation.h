#pragma once

// The frames of an animated GIF file composed one at a time on its logical screen, as the
// picture window plays them: each frame drawn over what the frames before left, the screen
// cleared to black after a frame whose disposal asks for it.

#include <QImage>
#include <string>

#include "platform/globalhandle.h"

namespace tamro {

class GifAnimation {
 public:
  static constexpr int kMaxFrames = 256;

  // Takes the file's bytes; false when they are no GIF or the screen is unreasonably large.
  bool Open(std::string bytes);
  // The next frame as a 24-bit picture of the screen's size and its delay (hundredths of a
  // second). False at the end of the file, at the frame limit, or on bad data: the file's
  // copy is then released.
  bool Next(GlobalHandle &frame, int &delay);
  bool Active() const { return !data_.empty(); }
  int Composed() const { return index_; }
  // The logical screen and the colour depth of the first frame's table (1, 4 or 8 bits).
  QSize ScreenSize() const { return screen_; }
  int BitCount() const { return bitCount_; }

 private:
  void Close();

  std::string data_;
  QImage canvas_;
  QSize screen_;
  int bitCount_ = 0;
  int index_ = 0;
};

// Whether the first bytes are a GIF signature.
bool LooksLikeGif(const std::string &head);

}  // namespace tamro
