#include "views/gifanimation.h"

#include <cstring>
#include <memory>

#include "decode/builtin/gif.h"
#include "picture/dibdraw.h"

namespace tamro {

bool LooksLikeGif(const std::string &head) {
  return head.size() >= 6 && (head.compare(0, 6, "GIF87a") == 0 || head.compare(0, 6, "GIF89a") == 0);
}

bool GifAnimation::Open(std::string bytes) {
  Close();
  if (!LooksLikeGif(bytes) || bytes.size() < 13) return false;
  const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
  const int width = p[6] | p[7] << 8, height = p[8] | p[9] << 8;
  // A lying screen size must not cost gigabytes: 64 megapixels is far beyond any animation.
  if (width < 1 || height < 1 || static_cast<int64_t>(width) * height > (int64_t{64} << 20)) return false;
  canvas_ = QImage(width, height, QImage::Format_RGB32);
  if (canvas_.isNull()) return false;
  canvas_.fill(Qt::black);
  data_ = std::move(bytes);
  screen_ = QSize(width, height);
  bitCount_ = 0;
  index_ = 0;
  return true;
}

void GifAnimation::Close() {
  data_.clear();
  data_.shrink_to_fit();
  canvas_ = QImage();
}

bool GifAnimation::Next(GlobalHandle &frame, int &delay) {
  if (data_.empty() || index_ >= kMaxFrames) {
    Close();
    return false;
  }
  auto state = std::make_unique<builtin::GifDecodeState>();
  state->frameIndex = index_;
  const int r =
      builtin::GifDecodeFrame(*state, reinterpret_cast<const unsigned char *>(data_.data()), data_.size());
  if (r != 0 || !state->picture) {
    Close();
    return false;
  }
  const QImage picture = DibToImage(state->picture.get());
  const QImage mask = state->maskPicture ? DibToImage(state->maskPicture.get()) : QImage();
  for (int y = 0; y < picture.height(); ++y) {
    const int cy = state->top + y;
    if (cy < 0 || cy >= canvas_.height()) continue;
    const auto *src = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
    const auto *m = mask.isNull() ? nullptr : reinterpret_cast<const QRgb *>(mask.constScanLine(y));
    auto *dst = reinterpret_cast<QRgb *>(canvas_.scanLine(cy));
    for (int x = 0; x < picture.width(); ++x) {
      const int cx = state->left + x;
      if (cx < 0 || cx >= canvas_.width()) continue;
      if (m && qRed(m[x]) < 128) continue;  // transparent: what was there shows through
      dst[cx] = src[x];
    }
  }
  frame.reset(BitmapToDib(canvas_));
  delay = state->delay;
  if (index_ == 0) bitCount_ = state->colourBits < 2 ? 1 : state->colourBits <= 4 ? 4 : 8;
  if (state->disposal == 2 || state->disposal == 3) canvas_.fill(Qt::black);
  ++index_;
  return static_cast<bool>(frame);
}

}  // namespace tamro
