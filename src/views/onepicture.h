#pragma once

// The arithmetic of a picture window, apart from any widget: its settings, the display size
// for a fit mode and zoom level, the scale text, zoom and rotation steps, the placement clamp,
// stepping through the listing, and tiling windows.

#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "catalogue/behaviouroption.h"

namespace tamro {

class Profile;

// A window's own values: the defaults it starts with, and what it keeps of its own.
struct OneViewSettings : ViewerDefaults {
  bool topMost = true;
  int jpegQuality = 80;

  // Read when a window is made; a window never writes them back.
  static OneViewSettings Load(const Profile &profile);
};

struct DisplaySize {
  int zoom = 0;        // the level after the computation (fit modes 2 and 3 reset it)
  double scale = 1.0;  // what the scale text shows
  int width = 1, height = 1;
};

// The display size of a width x height picture turned by `angle` degrees in a client of
// clientWidth x clientHeight, by fit mode `fit` and zoom level `zoom`.
DisplaySize ComputeDisplaySize(const OneViewSettings &s, int fit, int zoom, int width, int height, double angle,
                               int clientWidth, int clientHeight);
// What a display picture is made for, apart from the picture itself: with the picture's size
// it gives the display size. Values that cannot change the result are left at their defaults,
// so that equal looks make the same picture.
struct ViewLook {
  int fit = OneViewSettings::kAsIs;  // what the size is computed by (zoom steps: the zoom formula)
  int zoom = 0;
  double angle = 0.0;
  QSize client;  // fit modes 2 and 3
  bool zoomUp = true, zoomDw = true;
  double zoomStep = 0.5;
  int scaleMode = 0;
  int64_t budget = 0;  // FrameSize's
  bool operator==(const ViewLook &) const = default;

  static ViewLook Of(const OneViewSettings &s, int fit, int zoom, double angle, QSize client, int64_t budget);
};
DisplaySize ComputeDisplaySize(const ViewLook &look, int width, int height);

// The size a display picture is actually made at: the display size, or, beyond `budget`
// pixels, the largest size of the same shape within it (painted stretched to the display
// size), so that zooming far into a large picture never asks for gigabytes.
QSize FrameSize(const DisplaySize &display, int64_t budget);
inline constexpr int64_t kFramePixelBudget = int64_t{32} << 20;

// A picture window lays out in device pixels, so that one picture pixel at x1 is one pixel
// of the screen whatever its scaling: a logical size in device pixels (rounded as the
// window system rounds), and the logical size that holds a device size (rounded up).
QSize ToDevice(const QSize &logical, double ratio);
QSize ToLogical(const QSize &device, double ratio);

// "x1.5", "x1/1.25", or nothing for a scale of 0.
QString ScaleText(double scale);
// Whether one more level is allowed (the scale stops at 9x either way with a step of 0.5).
bool CanZoomIn(int zoom, double step);
bool CanZoomOut(int zoom, double step);
double TurnRight(double angle, int unit);
double TurnLeft(double angle, int unit);
// The picture's left (or top) kept so that a picture larger than the client leaves no gap and
// a smaller one stays inside.
int ClampPlacement(int position, int client, int display);

// Stepping through `count` entries: the nearest entry after (`direction` +1) or before (-1)
// `from` that `showable` takes, going on at the other end when `wrap`; -1 when there is none
// but `from`. The first entry is a step forward from -1, the last one a step back from `count`.
int SeekIndex(int from, int count, int direction, bool wrap, const std::function<bool(int)> &showable);

// A window's outer rectangle, frame and title bar included, for a client area of `inner` in a
// frame of `margins`: no larger than `available` (the screen less its panels) and moved from
// `at`, its outer top-left now, just far enough to lie inside it.
QRect FitWindowFrame(const QSize &inner, const QMargins &margins, const QPoint &at, const QRect &available);

// Cells for `count` windows tiled over `area`: rows = integer square root, row by row.
std::vector<QRect> TileCells(int count, const QRect &area);

}  // namespace tamro
