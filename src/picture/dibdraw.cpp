#include "picture/dibdraw.h"

#include <QPainter>
#include <cstring>
#include <limits>
#include <vector>

#include "picture/dib.h"
#include "platform/globalhandle.h"

namespace tamro {

namespace {

// The picture's stored rows as an image, first stored row on top, and whether those rows
// run bottom-up (so the image must be drawn mirrored). Depths Qt can read in place are
// wrapped without copying; the rest are converted into `storage`.
struct StoredImage {
  QImage image;
  bool bottomUp = true;
};

StoredImage WrapStoredRows(const BitmapInfoHeader *bi) {
  StoredImage out;
  const int bits = DibBitCount(bi);
  const int width = DibWidth(bi);
  const int stored = DibHeight(bi);
  const int height = stored < 0 ? -stored : stored;
  out.bottomUp = stored > 0;
  const int64_t rowBytes = DibRowBytes(bi);
  if (rowBytes > std::numeric_limits<qsizetype>::max() || rowBytes > std::numeric_limits<int>::max())
    return out;
  const uint32_t compression = DibCompression(bi);
  const uchar *bits0 = DibBits(bi);
  if (bits == 24 && compression == BI_RGB) {
    out.image = QImage(bits0, width, height, static_cast<qsizetype>(rowBytes), QImage::Format_BGR888);
    return out;
  }
  if (bits == 32 && compression == BI_RGB) {
    out.image = QImage(bits0, width, height, static_cast<qsizetype>(rowBytes), QImage::Format_RGB32);
    return out;
  }
  // Everything else goes through the 24-bit conversion, which always yields bottom-up rows.
  QImage converted(width, height, QImage::Format_BGR888);
  if (converted.isNull()) return out;
  std::vector<uint8_t> rows(static_cast<std::size_t>(converted.bytesPerLine()) * height);
  if (!ConvertDibPixelsTo24(bi, rows.data(), converted.bytesPerLine())) return out;
  for (int r = 0; r < height; ++r)
    std::memcpy(converted.scanLine(r), rows.data() + static_cast<std::size_t>(converted.bytesPerLine()) * r,
                static_cast<std::size_t>(converted.bytesPerLine()));
  out.image = std::move(converted);
  out.bottomUp = true;
  return out;
}

bool Drawable(const BitmapInfoHeader *bi) {
  if (!bi) return false;
  const int64_t width = DibWidth(bi);
  const int64_t height = DibHeight(bi);
  return width > 0 && height != 0 && height != std::numeric_limits<int32_t>::min();
}

}  // namespace

int DisplayColorDepth() { return 24; }

void DrawDibStretched(QPainter &painter, int dx, int dy, int dw, int dh, const BitmapInfoHeader *bi, int sx,
                      int sy, int sw, int sh) {
  if (!Drawable(bi) || dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
  StoredImage stored = WrapStoredRows(bi);
  if (stored.image.isNull()) return;
  const int height = stored.image.height();
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  if (stored.bottomUp) {
    // Stored rows run bottom-up: draw the mirrored source band upside down.
    painter.translate(dx, dy + dh);
    painter.scale(1, -1);
    painter.drawImage(QRectF(0, 0, dw, dh), stored.image, QRectF(sx, height - sy - sh, sw, sh));
  } else {
    painter.drawImage(QRectF(dx, dy, dw, dh), stored.image, QRectF(sx, sy, sw, sh));
  }
  painter.restore();
}

void DrawDibStretched(QPainter &painter, int dx, int dy, int dw, int dh, HDIB h, int sx, int sy, int sw,
                      int sh) {
  DibLock lock(h);
  if (lock) DrawDibStretched(painter, dx, dy, dw, dh, lock.header(), sx, sy, sw, sh);
}

void DrawDibStretched(QPainter &painter, const QRect &dest, const BitmapInfoHeader *bi) {
  if (!Drawable(bi)) return;
  const int height = DibHeight(bi) < 0 ? -DibHeight(bi) : DibHeight(bi);
  DrawDibStretched(painter, dest.x(), dest.y(), dest.width(), dest.height(), bi, 0, 0, DibWidth(bi), height);
}

void DrawDibStretched(QPainter &painter, const QRect &dest, HDIB h) {
  DibLock lock(h);
  if (lock) DrawDibStretched(painter, dest, lock.header());
}

void DrawDibAt(QPainter &painter, int x, int y, const BitmapInfoHeader *bi) {
  if (!Drawable(bi)) return;
  const int height = DibHeight(bi) < 0 ? -DibHeight(bi) : DibHeight(bi);
  DrawDibStretched(painter, x, y, DibWidth(bi), height, bi, 0, 0, DibWidth(bi), height);
}

void DrawDibAt(QPainter &painter, int x, int y, HDIB h) {
  DibLock lock(h);
  if (lock) DrawDibAt(painter, x, y, lock.header());
}

HDIB BitmapToDib(const QImage &image) {
  if (image.isNull()) return nullptr;
  const int width = image.width();
  const int height = image.height();
  if (image.format() == QImage::Format_Indexed8) {
    const QList<QRgb> table = image.colorTable();
    const uint32_t count = static_cast<uint32_t>(std::min<qsizetype>(table.size(), 256));
    GlobalHandle h(CreateDib(width, height, 8, count == 256 ? 0 : count));
    DibLock lock(h.get());
    if (!lock) return nullptr;
    auto *pal = reinterpret_cast<RgbQuad *>(lock.bytes() + 40);
    for (uint32_t i = 0; i < count; ++i)
      pal[i] = RgbQuad{uint8_t(qBlue(table[i])), uint8_t(qGreen(table[i])), uint8_t(qRed(table[i])), 0};
    const int64_t rowBytes = DibRowBytes(lock.header());
    for (int y = 0; y < height; ++y)
      std::memcpy(lock.bits() + rowBytes * (height - 1 - y), image.constScanLine(y),
                  static_cast<std::size_t>(width));
    return h.release();
  }
  const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
  if (bgr.isNull()) return nullptr;
  GlobalHandle h(CreateDib(width, height, 24));
  DibLock lock(h.get());
  if (!lock) return nullptr;
  const int64_t rowBytes = DibRowBytes(lock.header());
  for (int y = 0; y < height; ++y)
    std::memcpy(lock.bits() + rowBytes * (height - 1 - y), bgr.constScanLine(y),
                static_cast<std::size_t>(width) * 3);
  return h.release();
}

QImage DibToImage(HDIB h) {
  DibLock lock(h);
  if (!lock) return {};
  StoredImage stored = WrapStoredRows(lock.header());
  if (stored.image.isNull()) return {};
  // Both mirrored() and copy() detach from the block before the lock is dropped.
  QImage own = stored.bottomUp ? stored.image.mirrored(false, true) : stored.image.copy();
  return own.convertToFormat(QImage::Format_RGB32);
}

}  // namespace tamro
