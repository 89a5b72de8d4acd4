#include "picture/dibcanvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "platform/globalhandle.h"

namespace tamro {

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor ToQColor(COLORREF c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

uint32_t PackBgr(uint8_t b, uint8_t g, uint8_t r) { return b | (uint32_t{g} << 8) | (uint32_t{r} << 16); }

qreal TabDistance(const QFont &font, int tabChars) {
  return tabChars > 0 ? qreal(tabChars) * QFontMetrics(font).averageCharWidth() : qreal(0);
}

}  // namespace

QFont CanvasFont(std::string_view face, int height, bool bold, bool italic) {
  // The Windows faces and their metric-compatible IPA stand-ins.
  static const struct {
    const char *windows;
    const char *ipa;
  } kFaces[] = {
      {"ＭＳ ゴシック", "IPAGothic"}, {"MS Gothic", "IPAGothic"},         {"ＭＳ Ｐゴシック", "IPAPGothic"},
      {"MS PGothic", "IPAPGothic"},   {"ＭＳ ＵＩ Gothic", "IPAPGothic"}, {"MS UI Gothic", "IPAPGothic"},
      {"ＭＳ 明朝", "IPAMincho"},     {"MS Mincho", "IPAMincho"},         {"ＭＳ Ｐ明朝", "IPAPMincho"},
      {"MS PMincho", "IPAPMincho"},
  };
  QString family = ToQString(face);
  for (const auto &f : kFaces)
    if (face == f.windows) family = QString::fromLatin1(f.ipa);
  QFont font(family);
  font.setPixelSize(std::max(1, std::abs(height)));
  font.setBold(bold);
  font.setItalic(italic);
  return font;
}

bool CDibCanvas::Create(int width, int height, COLORREF fill) { return Create(width, height, 24, fill); }

bool CDibCanvas::Create(int width, int height, int bitCount, COLORREF fill, HDIB palette) {
  if (width <= 0 || height <= 0) return false;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) return false;
  if (valid_ && image_.width() == width && image_.height() == height && bitCount_ == bitCount) {
    Fill(fill);
    return true;
  }
  Destroy();
  QImage image(width, height, QImage::Format_BGR888);
  if (image.isNull()) return false;
  std::vector<RgbQuad> table;
  if (bitCount <= 8) {
    const uint32_t full = 1u << bitCount;
    DibLock lock(palette);
    if (lock && DibBitCount(lock.header()) <= 8) {
      const uint32_t count = std::min(DibNumColors(lock.header()), full);
      const bool core = DibHeaderSize(lock.header()) == 12;
      const uint8_t *src = lock.bytes() + DibHeaderSize(lock.header());
      for (uint32_t i = 0; i < count; ++i, src += core ? 3 : 4)
        table.push_back(RgbQuad{src[0], src[1], src[2], 0});
    }
    if (table.empty()) {
      const uint32_t step = 256 / (full - 1);
      for (uint32_t i = 0; i < full; ++i) {
        const uint8_t v = static_cast<uint8_t>(std::min<uint32_t>(i * step, 255));
        table.push_back(RgbQuad{v, v, v, 0});
      }
    }
  }
  image_ = std::move(image);
  table_ = std::move(table);
  bitCount_ = bitCount;
  valid_ = true;
  Fill(fill);
  return true;
}

bool CDibCanvas::CreateFromDib(int width, int height, HDIB picture, COLORREF fill) {
  int bits;
  {
    DibLock lock(picture);
    if (!lock) return false;
    bits = DibBitCount(lock.header());
    if (width == 0 && height == 0) {
      width = DibWidth(lock.header());
      height = std::abs(DibHeight(lock.header()));
    }
  }
  if (bits == 16 || bits == 32) bits = 24;
  return Create(width, height, bits, fill, bits <= 8 ? picture : nullptr);
}

void CDibCanvas::Destroy() {
  valid_ = false;
  bitCount_ = 0;
  image_ = QImage();
  table_.clear();
  nearest_.clear();
}

uint8_t CDibCanvas::NearestIndex(uint32_t bgr) const {
  auto it = nearest_.find(bgr);
  if (it != nearest_.end()) return it->second;
  const int b = bgr & 0xFF, g = (bgr >> 8) & 0xFF, r = (bgr >> 16) & 0xFF;
  int best = 0;
  int bestDistance = 1 << 30;
  for (std::size_t i = 0; i < table_.size(); ++i) {
    const int db = b - table_[i].blue, dg = g - table_[i].green, dr = r - table_[i].red;
    const int d = db * db + dg * dg + dr * dr;
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  nearest_.emplace(bgr, static_cast<uint8_t>(best));
  return static_cast<uint8_t>(best);
}

void CDibCanvas::MapToTable(const QRect &rect) {
  if (!valid_ || bitCount_ > 8) return;
  const QRect r = rect.intersected(image_.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    uint8_t *p = image_.scanLine(y) + 3 * r.left();
    for (int x = r.left(); x <= r.right(); ++x, p += 3) {
      const RgbQuad &q = table_[NearestIndex(PackBgr(p[0], p[1], p[2]))];
      p[0] = q.blue;
      p[1] = q.green;
      p[2] = q.red;
    }
  }
}

void CDibCanvas::Fill(COLORREF colour) { Fill(image_.rect(), colour); }

void CDibCanvas::Fill(const QRect &rect, COLORREF colour) {
  if (!valid_) return;
  uint8_t bgr[3] = {BlueOf(colour), GreenOf(colour), RedOf(colour)};
  if (bitCount_ <= 8) {
    const RgbQuad &q = table_[NearestIndex(PackBgr(bgr[0], bgr[1], bgr[2]))];
    bgr[0] = q.blue, bgr[1] = q.green, bgr[2] = q.red;
  }
  const QRect r = rect.normalized().intersected(image_.rect());
  if (r.isEmpty()) return;
  // Build one row, then copy it down.
  uint8_t *first = image_.scanLine(r.top()) + 3 * r.left();
  for (int x = 0; x < r.width(); ++x) std::memcpy(first + 3 * x, bgr, 3);
  for (int y = r.top() + 1; y <= r.bottom(); ++y)
    std::memcpy(image_.scanLine(y) + 3 * r.left(), first, 3 * static_cast<std::size_t>(r.width()));
}

void CDibCanvas::DrawDib(HDIB picture, const QRect &dest) {
  if (!valid_) return;
  {
    QPainter painter(&image_);
    DrawDibStretched(painter, dest, picture);
  }
  MapToTable(dest.normalized());
}

void CDibCanvas::DrawDib(HDIB picture, QPoint topLeft) {
  if (!valid_) return;
  const int width = DibWidth(picture);
  const int height = std::abs(DibHeight(picture));
  DrawDib(picture, QRect(topLeft.x(), topLeft.y(), width, height));
}

void CDibCanvas::BlitTo(QPainter &target, int x, int y) const {
  if (!valid_) return;
  target.save();
  target.setCompositionMode(QPainter::CompositionMode_Source);
  target.drawImage(x, y, image_);
  target.restore();
}

void CDibCanvas::StretchTo(QPainter &target, const QRect &dest) const {
  if (!valid_) return;
  target.save();
  target.setRenderHint(QPainter::SmoothPixmapTransform, false);
  target.setCompositionMode(QPainter::CompositionMode_Source);
  target.drawImage(dest, image_);
  target.restore();
}

int CDibCanvas::DrawText(const QRect &rect, std::string_view text, const QFont &font, COLORREF colour,
                         int tabChars) {
  const int lineHeight = QFontMetrics(font).height();
  if (!valid_) return lineHeight;
  {
    QPainter painter(&image_);
    painter.setClipRect(rect);
    painter.setFont(font);
    painter.setPen(ToQColor(colour));
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::NoWrap);
    if (tabChars > 0) option.setTabStopDistance(TabDistance(font, tabChars));
    // The layout rectangle is wide enough never to wrap or elide; the clip does the cutting.
    painter.drawText(QRectF(rect.left(), rect.top(), 1 << 20, lineHeight), ToQString(text), option);
  }
  MapToTable(rect);
  return lineHeight;
}

void CDibCanvas::DrawTextAt(int x, int baseline, std::string_view text, const QFont &font, COLORREF colour,
                            const QRect &clip) {
  if (!valid_) return;
  {
    QPainter painter(&image_);
    painter.setClipRect(clip);
    painter.setFont(font);
    painter.setPen(ToQColor(colour));
    painter.drawText(QPoint(x, baseline), ToQString(text));
  }
  MapToTable(clip);
}

QSize CDibCanvas::MeasureText(std::string_view text, const QFont &font, int tabChars) {
  const QFontMetrics metrics(font);
  const int tabPixels = static_cast<int>(TabDistance(font, tabChars));
  const int width = metrics.size(Qt::TextSingleLine | Qt::TextExpandTabs, ToQString(text), tabPixels).width();
  return QSize(width, metrics.height());
}

void CDibCanvas::DrawLine(QPoint from, QPoint to, COLORREF colour) {
  if (!valid_) return;
  uint8_t bgr[3] = {BlueOf(colour), GreenOf(colour), RedOf(colour)};
  if (bitCount_ <= 8) {
    const RgbQuad &q = table_[NearestIndex(PackBgr(bgr[0], bgr[1], bgr[2]))];
    bgr[0] = q.blue, bgr[1] = q.green, bgr[2] = q.red;
  }
  // Bresenham; the end point is left out, so joined segments draw each corner once.
  int x = from.x(), y = from.y();
  const int dx = std::abs(to.x() - x), dy = -std::abs(to.y() - y);
  const int stepX = x < to.x() ? 1 : -1, stepY = y < to.y() ? 1 : -1;
  int error = dx + dy;
  const int w = image_.width(), h = image_.height();
  while (x != to.x() || y != to.y()) {
    if (x >= 0 && x < w && y >= 0 && y < h) std::memcpy(image_.scanLine(y) + 3 * x, bgr, 3);
    const int e2 = 2 * error;
    if (e2 >= dy) {
      error += dy;
      x += stepX;
    }
    if (e2 <= dx) {
      error += dx;
      y += stepY;
    }
  }
}

HDIB CDibCanvas::GetDib() const {
  if (!valid_) return nullptr;
  const int width = image_.width(), height = image_.height();
  const uint32_t full = bitCount_ <= 8 ? 1u << bitCount_ : 0;
  const uint32_t colours = bitCount_ <= 8 && table_.size() < full ? static_cast<uint32_t>(table_.size()) : 0;
  GlobalHandle h(CreateDib(width, height, bitCount_, colours));
  DibLock lock(h.get());
  if (!lock) return nullptr;
  uint8_t *bits = lock.bits();
  const int64_t rowBytes = DibRowBytes(lock.header());
  if (bitCount_ == 24) {
    for (int y = 0; y < height; ++y)
      std::memcpy(bits + rowBytes * (height - 1 - y), image_.constScanLine(y),
                  3 * static_cast<std::size_t>(width));
    return h.release();
  }
  std::memcpy(lock.bytes() + 40, table_.data(), table_.size() * sizeof(RgbQuad));
  for (int y = 0; y < height; ++y) {
    const uint8_t *p = image_.constScanLine(y);
    uint8_t *row = bits + rowBytes * (height - 1 - y);
    for (int x = 0; x < width; ++x, p += 3) {
      const uint8_t index = NearestIndex(PackBgr(p[0], p[1], p[2]));
      if (bitCount_ == 8) {
        row[x] = index;
      } else if (bitCount_ == 4) {
        row[x >> 1] |= (x & 1) ? index : static_cast<uint8_t>(index << 4);
      } else if (index & 1) {
        row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      }
    }
  }
  return h.release();
}

int CDibCanvas::SaveAsBmp(const std::string &path) const {
  GlobalHandle picture(GetDib());
  if (!picture) return -1;
  return SaveDibFile(path, picture.get()) == 1 ? 0 : -1;
}

}  // namespace tamro
