#pragma once

// Pictures made from pictures: resizing (nearest pixel, bilinear, area average) combined
// with a rotation by any angle, rotation alone, sharpening and colour adjustment.
//
// Each operation may answer its input handle unchanged (same size and no angle, failure,
// a depth it does not work on); the caller frees a result only when it differs from the
// input. None frees its input. Pictures stored top row first are answered unchanged:
// DibTo24Bit turns them bottom-up.

#include "picture/dibtypes.h"

namespace tamro {

// Degrees to radians as the program has always converted them (a little above pi / 180).
inline constexpr double kDegreeFactor = 0.01745329252111111;

// A rotation by `angle` degrees; positive turns clockwise on screen (y counts downward).
struct DibRotation {
  double angle = 0.0;
  double cos = 1.0;
  double sin = 0.0;

  explicit DibRotation(double degrees);
  // (x cos - y sin, x sin + y cos); the point itself when the angle is 0.
  void Apply(double x, double y, double &outX, double &outY) const {
    if (angle == 0.0) {
      outX = x;
      outY = y;
    } else {
      outX = x * cos - y * sin;
      outY = x * sin + y * cos;
    }
  }
};

// Smallest and largest x and y of the corners (0, 0), (w, 0), (0, h), (w, h) rotated.
struct RotatedBox {
  double left = 0, top = 0, right = 0, bottom = 0;
  double width() const { return right - left; }
  double height() const { return bottom - top; }
};
RotatedBox RotatedBounds(int width, int height, double angle);

// Size in pixels of a picture rotated by `angle`: the box truncated, at least 1.
struct DibSize {
  int width = 0;
  int height = 0;
  bool operator==(const DibSize &) const = default;
};
DibSize RotatedSize(int width, int height, double angle);

// Nearest source pixel; keeps the depth (1, 4, 8 or 24 bits).
HDIB ScaleNearest(HDIB h, int width, int height, double angle);
// Bilinear with 8-bit fixed-point weights; 24 bits only (others answered unchanged).
HDIB ScaleBilinear(HDIB h, int width, int height, double angle);
// Area average of samples spread over each target pixel's footprint; the result has 24
// bits (1, 4, 8 and 24-bit sources). `fine` picks the sampling steps for thumbnails.
HDIB ScaleAverage(HDIB h, int width, int height, double angle, bool fine);
// Rotation into the bounding box; corners outside the source are black (index 0).
HDIB RotateDib(HDIB h, double angle);
// A sharpened copy (only 24-bit pictures are filtered, others are just copied); null when
// the copy cannot be made.
HDIB SharpenDib(HDIB h, double strength);
// Contrast, then per-channel offsets, in place: every pixel of a 24-bit picture, or the
// colour table of a 1, 4 or 8-bit one. Answers `h`.
HDIB AdjustDibColors(HDIB h, int red, int green, int blue, double factor);

// The "ScaleMode" values.
enum ScaleModeValue : int {
  kScalePlain = 0,
  kScaleNearest = 1,
  kScaleBilinear = 2,
  kScaleAverage = 3,
  kScaleAuto = 10,
};

// Resizes by a "ScaleMode" value: 1, 2 and 3 as above (fine sampling off), 10 the area
// average when `autoFactor` is 0.5 or less (with `autoFine`) and bilinear otherwise, any
// other value the plain stretch: rotated when the angle is not 0, then drawn stretched
// into a 24-bit canvas of the target size. Modes 1, 2, 3 and 10 convert to 24 bits first.
// Intermediate pictures are freed here; the answer may be `h` itself.
HDIB ScaleDibByMode(HDIB h, int width, int height, double angle, int mode, double autoFactor, bool autoFine);

}  // namespace tamro
