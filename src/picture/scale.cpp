#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "picture/dib.h"
#include "picture/pixelsource.h"
#include "picture/transform.h"
#include "platform/globalhandle.h"

namespace tamro {

namespace {

// What the three resizing operations share: the picture answered as it is, the picture
// handed to RotateDib, or the mapping of target pixels onto the rotated bounding box.
struct ScaleStart {
  enum Kind { kAnswerInput, kRotate, kScale } kind = kAnswerInput;
  RotatedBox box;
  double sx = 0, sy = 0;
};

ScaleStart StartScale(const detail::PixelSource &src, int width, int height, double angle) {
  ScaleStart start;
  if (width <= 0 || height <= 0 || !std::isfinite(angle)) return start;
  if (width == src.width && height == src.height) {
    if (angle == 0.0) return start;
    if (std::fabs(std::fmod(angle, 90.0)) < 0.0001) {
      start.kind = ScaleStart::kRotate;
      return start;
    }
  }
  start.kind = ScaleStart::kScale;
  start.box = RotatedBounds(src.width, src.height, angle);
  start.sx = start.box.width() / width;
  start.sy = start.box.height() / height;
  return start;
}

// Source positions map back through the opposite turn; no angle means no turn at all.
DibRotation BackRotation(double angle) { return DibRotation(angle == 0.0 ? 0.0 : 360.0 - angle); }

bool Inside(int64_t ix, int64_t iy, const detail::PixelSource &src) {
  return ix >= 0 && iy >= 0 && ix < src.width && iy < src.height;
}

// Sampling step of the area average along one axis.
double AverageStep(double factor, bool fine) {
  if (!fine) return std::min(factor / 3.0, 1.0);
  static const double kSteps[12] = {4.0 / 3.0, 5.0 / 3.0, 1.5, 2.0,       2.5,        1.5,
                                    2.0,       2.5,       2.0, 8.0 / 3.0, 10.0 / 3.0, 2.0};
  const double n = std::trunc(factor);
  if (n < 1) return 1.0;
  if (n <= 3) return factor * 0.5;
  if (n <= 15) return kSteps[static_cast<int>(n) - 4];
  return 1.0;
}

// Offsets 0, step, 2 x step, ... below the factor.
std::vector<double> SampleOffsets(double factor, double step) {
  std::vector<double> offsets;
  for (int k = 0; k * step < factor; ++k) offsets.push_back(k * step);
  if (offsets.empty()) offsets.push_back(0.0);
  return offsets;
}

// Rounding noise of the turn is dropped, so a quarter turn lands on whole pixels.
double SnapToWhole(double v) {
  const double whole = std::round(v);
  return std::fabs(v - whole) < 1e-7 ? whole : v;
}

// The 8-bit fixed-point blend of two values.
inline int Blend(int a, int b, int weight) { return weight ? a + (((b - a) * weight) >> 8) : a; }

}  // namespace

static HDIB ScaleNearestImpl(HDIB h, int width, int height, double angle) {
  DibLock lock(h);
  detail::PixelSource src;
  if (!detail::OpenSource(lock, src)) return h;
  const ScaleStart start = StartScale(src, width, height, angle);
  if (start.kind == ScaleStart::kAnswerInput) return h;
  if (start.kind == ScaleStart::kRotate) return RotateDib(h, angle);
  GlobalHandle out(detail::NewDibLike(lock.header(), width, height, src.bitCount));
  DibLock dst(out.get());
  if (!dst) return h;
  uint8_t *bits = dst.bits();
  const int64_t rowBytes = DibRowBytes(dst.header());

  if (angle == 0.0) {
    // Without a turn, columns and rows map independently.
    std::vector<int64_t> cols(width), rows(height);
    for (int x = 0; x < width; ++x) cols[x] = static_cast<int64_t>(x * start.sx + start.box.left);
    for (int y = 0; y < height; ++y) rows[y] = static_cast<int64_t>(y * start.sy + start.box.top);
    for (int y = 0; y < height; ++y) {
      if (rows[y] < 0 || rows[y] >= src.height) continue;
      const uint8_t *from = src.Row(static_cast<int>(rows[y]));
      uint8_t *row = bits + rowBytes * (height - 1 - y);
      for (int x = 0; x < width; ++x) {
        const int64_t ix = cols[x];
        if (ix < 0 || ix >= src.width) continue;
        if (src.bitCount == 24)
          std::memcpy(row + 3 * int64_t{x}, from + 3 * ix, 3);
        else
          SetDibPixel(dst.header(), x, y, src.Index(from, static_cast<int>(ix)));
      }
    }
    return out.release();
  }

  // Turned pictures are sampled at the centre of each target pixel (see RotateDib).
  const DibRotation back = BackRotation(angle);
  for (int y = 0; y < height; ++y) {
    uint8_t *row = bits + rowBytes * (height - 1 - y);
    const double py0 = (y + 0.5) * start.sy + start.box.top;
    for (int x = 0; x < width; ++x) {
      double px, py;
      back.Apply((x + 0.5) * start.sx + start.box.left, py0, px, py);
      const int64_t ix = static_cast<int64_t>(std::floor(px)), iy = static_cast<int64_t>(std::floor(py));
      if (!Inside(ix, iy, src)) continue;
      const uint8_t *from = src.Row(static_cast<int>(iy));
      if (src.bitCount == 24)
        std::memcpy(row + 3 * int64_t{x}, from + 3 * ix, 3);
      else
        SetDibPixel(dst.header(), x, y, src.Index(from, static_cast<int>(ix)));
    }
  }
  return out.release();
}

static HDIB ScaleBilinearImpl(HDIB h, int width, int height, double angle) {
  DibLock lock(h);
  detail::PixelSource src;
  if (!detail::OpenSource(lock, src) || src.bitCount != 24) return h;
  const ScaleStart start = StartScale(src, width, height, angle);
  if (start.kind == ScaleStart::kAnswerInput) return h;
  if (start.kind == ScaleStart::kRotate) return RotateDib(h, angle);
  GlobalHandle out(detail::NewDibLike(lock.header(), width, height, 24));
  DibLock dst(out.get());
  if (!dst) return h;
  uint8_t *bits = dst.bits();
  const int64_t rowBytes = DibRowBytes(dst.header());
  static const uint8_t kBlack[3] = {0, 0, 0};

  // One target pixel from the cell at (ix, iy) with weights fx, fy; neighbours outside the
  // picture read 0.
  auto blendCell = [&](int64_t ix, int64_t iy, int fx, int fy, uint8_t *to) {
    const bool x0 = ix >= 0 && ix < src.width, x1 = ix + 1 >= 0 && ix + 1 < src.width;
    const bool y0 = iy >= 0 && iy < src.height, y1 = iy + 1 >= 0 && iy + 1 < src.height;
    const uint8_t *r0 = y0 ? src.Row(static_cast<int>(iy)) : nullptr;
    const uint8_t *r1 = y1 ? src.Row(static_cast<int>(iy + 1)) : nullptr;
    const uint8_t *a = (y0 && x0) ? r0 + 3 * ix : kBlack;
    const uint8_t *b = (y0 && x1) ? r0 + 3 * (ix + 1) : kBlack;
    const uint8_t *c = (y1 && x0) ? r1 + 3 * ix : kBlack;
    const uint8_t *d = (y1 && x1) ? r1 + 3 * (ix + 1) : kBlack;
    for (int ch = 0; ch < 3; ++ch) {
      const int upper = Blend(a[ch], b[ch], fx);
      const int lower = Blend(c[ch], d[ch], fx);
      to[ch] = static_cast<uint8_t>(Blend(upper, lower, fy));
    }
  };

  if (angle == 0.0) {
    // Without a turn every column and row has one cell and weight, worked out once.
    std::vector<int64_t> cols(width);
    std::vector<int> fxs(width);
    for (int x = 0; x < width; ++x) {
      const double px = x * start.sx + start.box.left;
      cols[x] = static_cast<int64_t>(px);
      fxs[x] = static_cast<int>((px - cols[x]) * 256);
    }
    for (int y = 0; y < height; ++y) {
      const double py = y * start.sy + start.box.top;
      const int64_t iy = static_cast<int64_t>(py);
      const int fy = static_cast<int>((py - iy) * 256);
      uint8_t *row = bits + rowBytes * (height - 1 - y);
      if (iy < -1 || iy >= src.height) continue;
      const bool inner = iy >= 0 && iy + 1 < src.height;
      const uint8_t *r0 = inner ? src.Row(static_cast<int>(iy)) : nullptr;
      const uint8_t *r1 = inner ? src.Row(static_cast<int>(iy + 1)) : nullptr;
      for (int x = 0; x < width; ++x) {
        const int64_t ix = cols[x];
        if (ix < -1 || ix >= src.width) continue;
        uint8_t *to = row + 3 * int64_t{x};
        if (inner && ix >= 0 && ix + 1 < src.width) {
          const uint8_t *a = r0 + 3 * ix, *c = r1 + 3 * ix;
          const int fx = fxs[x];
          for (int ch = 0; ch < 3; ++ch) {
            const int upper = Blend(a[ch], a[ch + 3], fx);
            const int lower = Blend(c[ch], c[ch + 3], fx);
            to[ch] = static_cast<uint8_t>(Blend(upper, lower, fy));
          }
        } else {
          blendCell(ix, iy, fxs[x], fy, to);
        }
      }
    }
    return out.release();
  }

  // Turned pictures: the centre of each target pixel is turned back and made relative to
  // the source pixel centres, where the blended values sit. The cell is the one at or
  // before the point, also just outside the top and left edges, so that every edge fades
  // from black with weights in 0..255.
  const DibRotation back = BackRotation(angle);
  for (int y = 0; y < height; ++y) {
    uint8_t *row = bits + rowBytes * (height - 1 - y);
    const double py0 = (y + 0.5) * start.sy + start.box.top;
    for (int x = 0; x < width; ++x) {
      double px, py;
      back.Apply((x + 0.5) * start.sx + start.box.left, py0, px, py);
      px = SnapToWhole(px - 0.5);
      py = SnapToWhole(py - 0.5);
      const double fpx = std::floor(px), fpy = std::floor(py);
      if (fpx < -1 || fpy < -1 || fpx >= src.width || fpy >= src.height) continue;
      const int64_t ix = static_cast<int64_t>(fpx), iy = static_cast<int64_t>(fpy);
      blendCell(ix, iy, static_cast<int>((px - fpx) * 256), static_cast<int>((py - fpy) * 256),
                row + 3 * int64_t{x});
    }
  }
  return out.release();
}

static HDIB ScaleAverageImpl(HDIB h, int width, int height, double angle, bool fine) {
  DibLock lock(h);
  detail::PixelSource src;
  if (!detail::OpenSource(lock, src)) return h;
  const ScaleStart start = StartScale(src, width, height, angle);
  if (start.kind == ScaleStart::kAnswerInput) return h;
  if (start.kind == ScaleStart::kRotate) return RotateDib(h, angle);
  GlobalHandle out(detail::NewDibLike(lock.header(), width, height, 24));
  DibLock dst(out.get());
  if (!dst) return h;
  uint8_t *bits = dst.bits();
  const int64_t rowBytes = DibRowBytes(dst.header());
  const std::vector<double> offX = SampleOffsets(start.sx, AverageStep(start.sx, fine));
  const std::vector<double> offY = SampleOffsets(start.sy, AverageStep(start.sy, fine));

  if (angle == 0.0) {
    // Without a turn the samples of a pixel are the columns of its column times the rows
    // of its row: both lists are worked out once, outside samples already dropped.
    std::vector<int> colStart(width + 1), rowStart(height + 1);
    std::vector<int> colSamples, rowSamples;
    for (int x = 0; x < width; ++x) {
      colStart[x] = static_cast<int>(colSamples.size());
      const double base = x * start.sx + start.box.left;
      for (double o : offX) {
        const int64_t ix = static_cast<int64_t>(base + o);
        if (ix >= 0 && ix < src.width) colSamples.push_back(static_cast<int>(ix));
      }
    }
    colStart[width] = static_cast<int>(colSamples.size());
    for (int y = 0; y < height; ++y) {
      rowStart[y] = static_cast<int>(rowSamples.size());
      const double base = y * start.sy + start.box.top;
      for (double o : offY) {
        const int64_t iy = static_cast<int64_t>(base + o);
        if (iy >= 0 && iy < src.height) rowSamples.push_back(static_cast<int>(iy));
      }
    }
    rowStart[height] = static_cast<int>(rowSamples.size());
    if (src.bitCount == 24)
      for (int &ix : colSamples) ix *= 3;  // byte offsets

    for (int y = 0; y < height; ++y) {
      uint8_t *row = bits + rowBytes * (height - 1 - y);
      const int rowCount = rowStart[y + 1] - rowStart[y];
      for (int x = 0; x < width; ++x) {
        const int c0 = colStart[x], c1 = colStart[x + 1];
        const uint64_t count = static_cast<uint64_t>(rowCount) * static_cast<uint64_t>(c1 - c0);
        if (count == 0) continue;
        uint64_t sb = 0, sg = 0, sr = 0;
        for (int r = rowStart[y]; r < rowStart[y + 1]; ++r) {
          const uint8_t *from = src.Row(rowSamples[r]);
          if (src.bitCount == 24) {
            for (int c = c0; c < c1; ++c) {
              const uint8_t *p = from + colSamples[c];
              sb += p[0];
              sg += p[1];
              sr += p[2];
            }
          } else {
            for (int c = c0; c < c1; ++c) {
              const uint8_t *p = src.table[src.Index(from, colSamples[c])];
              sb += p[0];
              sg += p[1];
              sr += p[2];
            }
          }
        }
        uint8_t *to = row + 3 * int64_t{x};
        to[0] = static_cast<uint8_t>(sb / count);
        to[1] = static_cast<uint8_t>(sg / count);
        to[2] = static_cast<uint8_t>(sr / count);
      }
    }
    return out.release();
  }

  // Turned pictures: the samples are centred in each target pixel's footprint, so a
  // quarter turn maps them inside source pixels rather than onto their edges.
  const DibRotation back = BackRotation(angle);
  const double shiftX = (start.sx - offX.back()) / 2, shiftY = (start.sy - offY.back()) / 2;
  for (int y = 0; y < height; ++y) {
    uint8_t *row = bits + rowBytes * (height - 1 - y);
    const double baseY = y * start.sy + start.box.top;
    for (int x = 0; x < width; ++x) {
      const double baseX = x * start.sx + start.box.left;
      uint64_t sb = 0, sg = 0, sr = 0, count = 0;
      for (double oy : offY) {
        for (double ox : offX) {
          double px, py;
          back.Apply(baseX + ox + shiftX, baseY + oy + shiftY, px, py);
          const int64_t ix = static_cast<int64_t>(std::floor(px)), iy = static_cast<int64_t>(std::floor(py));
          if (!Inside(ix, iy, src)) continue;
          const uint8_t *p = src.Bgr(src.Row(static_cast<int>(iy)), static_cast<int>(ix));
          sb += p[0];
          sg += p[1];
          sr += p[2];
          ++count;
        }
      }
      if (count == 0) continue;
      uint8_t *to = row + 3 * int64_t{x};
      to[0] = static_cast<uint8_t>(sb / count);
      to[1] = static_cast<uint8_t>(sg / count);
      to[2] = static_cast<uint8_t>(sr / count);
    }
  }
  return out.release();
}

// Working lists that cannot be allocated leave the input as the answer.
HDIB ScaleNearest(HDIB h, int width, int height, double angle) {
  try {
    return ScaleNearestImpl(h, width, height, angle);
  } catch (const std::bad_alloc &) {
    return h;
  }
}

HDIB ScaleBilinear(HDIB h, int width, int height, double angle) {
  try {
    return ScaleBilinearImpl(h, width, height, angle);
  } catch (const std::bad_alloc &) {
    return h;
  }
}

HDIB ScaleAverage(HDIB h, int width, int height, double angle, bool fine) {
  try {
    return ScaleAverageImpl(h, width, height, angle, fine);
  } catch (const std::bad_alloc &) {
    return h;
  }
}

}  // namespace tamro
