#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "picture/dib.h"
#include "picture/pixelsource.h"
#include "picture/transform.h"
#include "platform/globalhandle.h"

namespace tamro {

DibRotation::DibRotation(double degrees) : angle(degrees) {
  const double radians = degrees * kDegreeFactor;
  cos = std::cos(radians);
  sin = std::sin(radians);
}

RotatedBox RotatedBounds(int width, int height, double angle) {
  const DibRotation rotation(angle);
  const double corners[4][2] = {
      {0, 0}, {double(width), 0}, {0, double(height)}, {double(width), double(height)}};
  RotatedBox box;
  for (int i = 0; i < 4; ++i) {
    double x, y;
    rotation.Apply(corners[i][0], corners[i][1], x, y);
    if (i == 0 || x < box.left) box.left = x;
    if (i == 0 || x > box.right) box.right = x;
    if (i == 0 || y < box.top) box.top = y;
    if (i == 0 || y > box.bottom) box.bottom = y;
  }
  return box;
}

namespace {

int TruncatedSize(double extent) {
  if (!(extent >= 1.0)) return 1;  // also catches NaN
  if (extent >= double(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(extent);
}

}  // namespace

DibSize RotatedSize(int width, int height, double angle) {
  const RotatedBox box = RotatedBounds(width, height, angle);
  return {TruncatedSize(box.width()), TruncatedSize(box.height())};
}

HDIB RotateDib(HDIB h, double angle) {
  if (angle == 0.0 || !std::isfinite(angle)) return h;
  DibLock lock(h);
  detail::PixelSource src;
  if (!detail::OpenSource(lock, src)) return h;
  const RotatedBox box = RotatedBounds(src.width, src.height, angle);
  const DibSize size = RotatedSize(src.width, src.height, angle);
  GlobalHandle out(detail::NewDibLike(lock.header(), size.width, size.height, src.bitCount));
  DibLock dst(out.get());
  if (!dst) return h;
  // Each result pixel looks up where it came from: its centre turned back by the angle.
  // Turning corners instead would land a quarter turn exactly on the boundary between two
  // source rows, and rounding noise would pick the wrong one (a lost row, a black edge).
  const DibRotation back(360.0 - angle);
  uint8_t *bits = dst.bits();
  const int64_t rowBytes = DibRowBytes(dst.header());
  for (int y = 0; y < size.height; ++y) {
    uint8_t *row = bits + rowBytes * (size.height - 1 - y);
    for (int x = 0; x < size.width; ++x) {
      double px, py;
      back.Apply((x + 0.5) + box.left, (y + 0.5) + box.top, px, py);
      const int64_t ix = static_cast<int64_t>(std::floor(px)), iy = static_cast<int64_t>(std::floor(py));
      if (ix < 0 || iy < 0 || ix >= src.width || iy >= src.height) continue;  // stays 0
      const uint8_t *from = src.Row(static_cast<int>(iy));
      if (src.bitCount == 24) {
        std::memcpy(row + 3 * static_cast<int64_t>(x), from + 3 * ix, 3);
      } else {
        SetDibPixel(dst.header(), x, y, src.Index(from, static_cast<int>(ix)));
      }
    }
  }
  return out.release();
}

}  // namespace tamro
