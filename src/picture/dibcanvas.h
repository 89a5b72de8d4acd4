#pragma once

// An off-screen drawing surface: pictures, fills, text and lines are composed on it and
// read back as a packed picture.
//
// The surface is a QImage of Format_BGR888 (rows padded to 4 bytes, as in a 24-bit DIB,
// but top row first). A canvas of 1, 4 or 8 bits keeps a colour table; every drawing
// operation of this class maps the pixels it touched to the nearest table colour, so the
// surface only ever shows table colours and GetDib hands back indices of the right depth.
// Callers that paint on Image() directly on such a canvas get their colours mapped when
// the picture is taken.

#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "picture/dibtypes.h"

class QPainter;

namespace tamro {

// A font for the canvas. `face` may be a Windows face name ("ＭＳ ゴシック", "MS PGothic",
// ...), which is replaced by its metric-compatible IPA face. `height` follows the Windows
// rule: negative is the character height in pixels, positive the cell height.
QFont CanvasFont(std::string_view face, int height, bool bold = false, bool italic = false);

class CDibCanvas {
 public:
  CDibCanvas() = default;
  ~CDibCanvas() = default;
  CDibCanvas(const CDibCanvas &) = delete;
  CDibCanvas &operator=(const CDibCanvas &) = delete;
  CDibCanvas(CDibCanvas &&) = default;
  CDibCanvas &operator=(CDibCanvas &&) = default;

  // A 24-bit surface filled with `fill`. False for an empty size or when no memory.
  bool Create(int width, int height, COLORREF fill);
  // 1, 4, 8 or 24 bits. The colour table of 1, 4 and 8 bits is the one of `palette` when
  // given (a picture of at most that many colours), else a grey ramp. An existing surface
  // of the same size and depth is only refilled.
  bool Create(int width, int height, int bitCount, COLORREF fill, HDIB palette = nullptr);
  // Depth and colour table of the picture (16 and 32 bits give 24); 0 x 0 takes its size.
  bool CreateFromDib(int width, int height, HDIB picture, COLORREF fill);
  void Destroy();

  bool IsValid() const { return valid_; }
  int BitCount() const { return bitCount_; }
  QSize Size() const { return image_.size(); }
  // The surface itself, for painting with a QPainter of one's own.
  QImage &Image() { return image_; }
  const QImage &Image() const { return image_; }

  // The whole surface, or the rectangle (clipped to the surface).
  void Fill(COLORREF colour);
  void Fill(const QRect &rect, COLORREF colour);
  // The whole picture stretched into `dest` (nearest pixel), or at its own size.
  void DrawDib(HDIB picture, const QRect &dest);
  void DrawDib(HDIB picture, QPoint topLeft);
  // Copies the surface to the target at (x, y), or stretched into `dest`.
  void BlitTo(QPainter &target, int x, int y) const;
  void StretchTo(QPainter &target, const QRect &dest) const;

  // One line of text (UTF-8) with a transparent background, its top at rect's top-left,
  // clipped to `rect`; tabs advance to multiples of `tabChars` average character widths
  // (0: tabs are not expanded). Answers the line height of the font.
  int DrawText(const QRect &rect, std::string_view text, const QFont &font, COLORREF colour,
               int tabChars = 0);
  // One line with its baseline at (x, baseline), clipped to `clip`.
  void DrawTextAt(int x, int baseline, std::string_view text, const QFont &font, COLORREF colour,
                  const QRect &clip);
  // Width of the text and height of the font's line (ascent + descent).
  static QSize MeasureText(std::string_view text, const QFont &font, int tabChars = 0);
  // A 1-pixel line from `from` up to but not including `to`, as a pen moved to `from` and
  // drawn to `to` leaves it.
  void DrawLine(QPoint from, QPoint to, COLORREF colour);

  // A new packed picture of the surface (40-byte header, the canvas's depth and colour
  // table); null when invalid or out of memory.
  HDIB GetDib() const;
  // Writes the surface as a BMP file: 0 written, -1 failed.
  int SaveAsBmp(const std::string &path) const;

 private:
  void MapToTable(const QRect &rect);
  uint8_t NearestIndex(uint32_t bgr) const;

  bool valid_ = false;
  int bitCount_ = 0;
  QImage image_;
  std::vector<RgbQuad> table_;
  mutable std::unordered_map<uint32_t, uint8_t> nearest_;
};

}  // namespace tamro
