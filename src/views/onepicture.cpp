#include "views/onepicture.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "picture/transform.h"
#include "platform/profile.h"

namespace tamro {

OneViewSettings OneViewSettings::Load(const Profile &p) {
  OneViewSettings s;
  s.Read(p);
  s.topMost = p.GetInt("OnePic", "TopMost", 1) != 0;
  s.jpegQuality = std::clamp(p.GetInt("FileSave", "JpegQuality", 80), 1, 100);
  return s;
}

DisplaySize ComputeDisplaySize(const OneViewSettings &s, int fit, int zoom, int width, int height, double angle,
                               int cw, int ch) {
  const RotatedBox box = RotatedBounds(width, height, angle);
  const double w = angle == 0.0 ? width : box.width();
  const double h = angle == 0.0 ? height : box.height();
  DisplaySize d;
  d.zoom = zoom;
  double dw, dh;
  if (fit == OneViewSettings::kStretch || fit == OneViewSettings::kKeepAspect) {
    d.zoom = 0;
    if (fit == OneViewSettings::kStretch) {
      d.scale = 1.0;
      dw = cw;
      dh = ch;
    } else {
      d.scale = w > 0 ? cw / w : 0.0;
      const double sy = h > 0 ? ch / h : 0.0;
      if (sy < d.scale) d.scale = sy;
      dw = std::trunc(w * d.scale);
      dh = std::trunc(h * d.scale);
    }
    if (!s.zoomUp) dw = std::min(dw, std::trunc(w)), dh = std::min(dh, std::trunc(h));
    if (!s.zoomDw) dw = std::max(dw, std::trunc(w)), dh = std::max(dh, std::trunc(h));
  } else {
    if (zoom > 0)
      d.scale = zoom * s.zoomStep + 1.0;
    else if (zoom < 0)
      d.scale = 1.0 / (-zoom * s.zoomStep + 1.0);
    dw = std::trunc(w * d.scale);
    dh = std::trunc(h * d.scale);
  }
  // Beyond what an int holds nothing could be drawn anyway.
  d.width = dw < 2 ? 1 : static_cast<int>(std::min(dw, 1e9));
  d.height = dh < 2 ? 1 : static_cast<int>(std::min(dh, 1e9));
  return d;
}

ViewLook ViewLook::Of(const OneViewSettings &s, int fit, int zoom, double angle, QSize client,
                      int64_t budget) {
  ViewLook l;
  l.angle = angle;
  l.scaleMode = s.scaleMode;
  l.budget = budget;
  if (fit == OneViewSettings::kStretch || fit == OneViewSettings::kKeepAspect) {
    l.fit = fit;
    l.client = client;
    l.zoomUp = s.zoomUp;
    l.zoomDw = s.zoomDw;
  } else {  // every other mode sizes by the zoom alone
    l.zoom = zoom;
    if (zoom != 0) l.zoomStep = s.zoomStep;
  }
  return l;
}

DisplaySize ComputeDisplaySize(const ViewLook &l, int width, int height) {
  OneViewSettings s;
  s.zoomUp = l.zoomUp;
  s.zoomDw = l.zoomDw;
  s.zoomStep = l.zoomStep;
  return ComputeDisplaySize(s, l.fit, l.zoom, width, height, l.angle, l.client.width(), l.client.height());
}

QSize FrameSize(const DisplaySize &d, int64_t budget) {
  const double pixels = static_cast<double>(d.width) * d.height;
  if (pixels <= static_cast<double>(budget)) return {d.width, d.height};
  const double k = std::sqrt(static_cast<double>(budget) / pixels);
  return {std::max(1, static_cast<int>(d.width * k)), std::max(1, static_cast<int>(d.height * k))};
}

QSize ToDevice(const QSize &logical, double ratio) {
  return {static_cast<int>(std::lround(logical.width() * ratio)),
          static_cast<int>(std::lround(logical.height() * ratio))};
}

QSize ToLogical(const QSize &device, double ratio) {
  // A hair below the exact quotient still rounds down: 3 device pixels at 1.5 are 2 logical.
  const auto up = [ratio](int v) { return static_cast<int>(std::ceil(v / ratio - 1e-9)); };
  return {up(device.width()), up(device.height())};
}

QString ScaleText(double scale) {
  if (scale >= 1.0) return QStringLiteral("x%1").arg(scale, 0, 'g', 6);
  if (scale > 0.0) return QStringLiteral("x1/%1").arg(1.0 / scale, 0, 'g', 6);
  return {};
}

bool CanZoomIn(int zoom, double step) { return zoom * step < 8.0; }
bool CanZoomOut(int zoom, double step) { return -zoom * step < 8.0; }

double TurnRight(double angle, int unit) { return std::fmod(angle + unit, 360.0); }
double TurnLeft(double angle, int unit) { return std::fmod(angle + 360.0 - unit, 360.0); }

int ClampPlacement(int position, int client, int display) {
  if (client <= display) return std::clamp(position, client - display, 0);
  return std::clamp(position, 0, client - display);
}

int SeekIndex(int from, int count, int direction, bool wrap, const std::function<bool(int)> &showable) {
  if (count <= 0) return -1;
  // A place beyond the end (entries have gone) steps back to the last one.
  const int start = std::clamp(from, -1, count);
  int i = start;
  for (int tries = 0; tries <= count; ++tries) {
    i += direction;
    if (i < 0 || i >= count) {
      if (!wrap) return -1;
      i = direction > 0 ? 0 : count - 1;
    }
    if (i == start) return -1;
    if (showable(i)) return i;
  }
  return -1;
}

QRect FitWindowFrame(const QSize &inner, const QMargins &m, const QPoint &at, const QRect &available) {
  const QSize outer = (inner.grownBy(m)).boundedTo(available.size());
  const int x =
      std::clamp(at.x(), available.left(), std::max(available.left(), available.right() + 1 - outer.width()));
  const int y =
      std::clamp(at.y(), available.top(), std::max(available.top(), available.bottom() + 1 - outer.height()));
  return {QPoint(x, y), outer};
}

std::vector<QRect> TileCells(int count, const QRect &area) {
  std::vector<QRect> cells;
  if (count <= 0) return cells;
  const int rows = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(count))));
  const int columns = (count + rows - 1) / rows;
  for (int i = 0; i < count; ++i) {
    const int r = i / columns, c = i % columns;
    const int x = area.left() + c * area.width() / columns, y = area.top() + r * area.height() / rows;
    cells.emplace_back(x, y, area.width() / columns, area.height() / rows);
  }
  return cells;
}

}  // namespace tamro
