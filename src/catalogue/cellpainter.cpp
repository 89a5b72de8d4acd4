#include "catalogue/cellpainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "catalogue/macros.h"
#include "catalogue/thumbbuilder.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"

namespace tamro {

namespace {

// Measured for the caption line height: tall capitals, descenders and the tallest marks.
constexpr char kMeasureText[] = "QEMygj'`~|";
constexpr int kIconSize = 32;

QColor ToQColor(uint32_t c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
QRect ToQRect(const CellRect &r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }
QString ToQString(const std::string &s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

void FillRect(QPainter &p, const CellRect &r, uint32_t colour) {
  if (r.right > r.left && r.bottom > r.top) p.fillRect(ToQRect(r), ToQColor(colour));
}

// A 1-pixel edge as a pen leaves it: `first` down the left side and along the top, `second`
// down the right side and back along the bottom (raised when first is the light one).
void DrawEdge(QPainter &p, const CellRect &r, uint32_t first, uint32_t second) {
  const int l = r.left, t = r.top, rt = r.right, b = r.bottom;
  if (rt - l < 1 || b - t < 1) return;
  FillRect(p, CellRect{l, t, l + 1, b - 1}, first);
  FillRect(p, CellRect{l, t, rt - 1, t + 1}, first);
  FillRect(p, CellRect{rt - 1, t, rt, b - 1}, second);
  FillRect(p, CellRect{l, b - 1, rt, b}, second);
}

void Shrink(CellRect &r, int by) {
  r.left += by;
  r.top += by;
  r.right -= by;
  r.bottom -= by;
}

uint8_t Shift(uint8_t v, int by) { return static_cast<uint8_t>(std::clamp(v + by, 0, 255)); }

// The icon picture an entry keeps between paints, in the second working picture.
GlobalHandle &IconPicture(CPicEntry &e) { return e.work2; }

// Marks the entry as being painted for a scope.
class PaintingScope {
 public:
  explicit PaintingScope(CPicEntry &e) : e_(e), old_(e.paintingNow) { e.paintingNow = true; }
  ~PaintingScope() { e_.paintingNow = old_; }
  PaintingScope(const PaintingScope &) = delete;
  PaintingScope &operator=(const PaintingScope &) = delete;

 private:
  CPicEntry &e_;
  bool old_;
};

}  // namespace

uint32_t DarkerShade(uint32_t c) {
  return MakeColorRef(Shift(RedOf(c), -0x40), Shift(GreenOf(c), -0x40), Shift(BlueOf(c), -0x40));
}
uint32_t LighterShade(uint32_t c) {
  return MakeColorRef(Shift(RedOf(c), 0x40), Shift(GreenOf(c), 0x40), Shift(BlueOf(c), 0x40));
}

bool GlyphIconSource::DrawIcon(QPainter &p, const QRect &rect, const CPicEntry &entry) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  const int l = rect.left() + 5, t = rect.top() + 2, r = rect.right() - 5, b = rect.bottom() - 1;
  const int fold = 7;
  QPolygon page;
  page << QPoint(l, t) << QPoint(r - fold, t) << QPoint(r, t + fold) << QPoint(r, b) << QPoint(l, b);
  p.setPen(QColor(0x40, 0x40, 0x40));
  p.setBrush(QColor(0xFF, 0xFF, 0xFF));
  p.drawPolygon(page);
  p.drawLine(r - fold, t, r - fold, t + fold);
  p.drawLine(r - fold, t + fold, r, t + fold);
  if (entry.IsArchiveMember()) p.fillRect(QRect(l + 1, b - 7, r - l - 1, 4), QColor(0x80, 0x80, 0xC0));
  p.restore();
  return true;
}

CCellPainter::CCellPainter(CThumbBuilder *builder, FileIconSource *icons)
    : builder_(builder), icons_(icons) {}

void CCellPainter::SelectFont(const FontDescription &font) {
  if (haveFont_ && font == fontDescription_) return;
  font_ = ToQFont(font);
  lineHeight_ = CDibCanvas::MeasureText(kMeasureText, font_).height();
  descent_ = QFontMetrics(font_).descent();
  fontDescription_ = font;
  haveFont_ = true;
}

CellLayout CCellPainter::Layout(const CPicEntry &entry, int x, int y, int width, int height) {
  CellLayout l;
  l.cell = CellRect{x, y, x + width, y + height};
  CellRect r = l.cell;
  Shrink(r, 2);
  l.picture = r;
  if (entry.switches.name) {
    SelectFont(entry.Font());
    const int count = lines_ ? static_cast<int>(lines_->size()) : 0;
    measuredLines_ = count;
    l.lineHeight = lineHeight_;
    const int tall = count > 1 ? l.lineHeight * count : l.lineHeight;
    l.caption = CellRect{r.left, r.bottom - tall - 4, r.right, r.bottom};
    l.picture.bottom = l.caption.top - 2;
  }
  return l;
}

int CCellPainter::PaintCell(CPicEntry &entry, QPainter &target, int x, int y, int width, int height,
                            int mode) {
  if (width <= 0 || height <= 0) return 0;
  PaintingScope painting(entry);
  const uint32_t fill = entry.Colours().backGround;
  // Painted at the target's device pixels, laid out in its logical ones.
  const qreal ratio = target.device() ? std::max<qreal>(1, target.device()->devicePixelRatioF()) : 1;
  if (cell_.Create(static_cast<int>(std::ceil(width * ratio)), static_cast<int>(std::ceil(height * ratio)), fill)) {
    cell_.Image().setDevicePixelRatio(ratio);
    int result;
    {
      QPainter p(&cell_.Image());
      result = PaintInto(entry, p, 0, 0, width, height, mode);
    }
    cell_.BlitTo(target, x, y);
    return result;
  }
  // No cell canvas: straight onto the target, kept inside the cell.
  target.save();
  target.setClipRect(QRect(x, y, width, height), Qt::IntersectClip);
  const int result = PaintInto(entry, target, x, y, width, height, mode);
  target.restore();
  return result;
}

int CCellPainter::PaintCell(CPicEntry &entry, CDibCanvas &target, int x, int y, int width, int height,
                            int mode) {
  if (!target.IsValid()) return 0;
  QPainter p(&target.Image());
  return PaintCell(entry, p, x, y, width, height, mode);
}

int CCellPainter::BuildCell(CPicEntry &entry, int width, int height) {
  if (!builder_ || width <= 0 || height <= 0) return 0;
  const CellLayout layout = Layout(entry, 0, 0, width, height);
  return builder_->BuildForCell(entry, layout.picture);
}

int CCellPainter::PaintInto(CPicEntry &e, QPainter &p, int x, int y, int width, int height, int mode) {
  const EntryColours &c = e.Colours();
  const bool selected = e.IsSelected();
  const CellLayout layout = Layout(e, x, y, width, height);
  FillRect(p, layout.cell, selected ? c.selectBackGround : c.backGround);
  if (e.switches.frame) DrawEdge(p, layout.cell, 0xFFFFFF, 0x808080);

  int result = 0;
  uint32_t bar = c.normalDraw;
  bool showIcon = false;
  switch (mode) {
    case kCellCaptionOnly:
      break;
    case kCellIcon:
      showIcon = true;
      break;
    case kCellQuick:
    case kCellBuild:
      if (builder_)
        result = mode == kCellBuild ? builder_->BuildForCell(e, layout.picture)
                                    : builder_->EnsureThumbnail(e, nullptr, layout.picture, false);
      else
        result = e.thumbnail ? 0 : 1;
      if (e.thumbnail) {
        // The display thumbnail where the surface has the pixels for it.
        const bool sharp = e.displayThumbnail && p.device() && p.device()->devicePixelRatioF() > 1;
        const HDIB thumb = e.thumbnail.get();
        const CellRect place =
            FitThumbnailRect(DibWidth(thumb), std::abs(DibHeight(thumb)), layout.picture, true);
        DrawDibStretched(p, ToQRect(place), sharp ? e.displayThumbnail.get() : thumb);
        bar = e.IsArchiveMember() ? c.arcDraw : c.normalDraw;
      } else {
        showIcon = true;
      }
      break;
    default:
      break;
  }
  if (showIcon) {
    DrawIcon(e, p, layout.picture);
    bar = c.cantDraw;
  }
  if (selected) bar = c.selectCheck;
  // Cells drawn for the screen never wait on a file; sheets and prints built here may.
  if (e.switches.name)
    DrawCaption(e, p, layout.caption, bar, mode == kCellBuild ? MacroReads::kReadFiles : MacroReads::kCachedOnly);

  e.captionRect = CellRect{layout.caption.left - x, layout.caption.top - y, layout.caption.right - x,
                           layout.caption.bottom - y};
  e.captionLineHeight = layout.lineHeight;
  e.drawnMode = static_cast<int8_t>(mode);
  return result;
}

bool CCellPainter::DrawIcon(CPicEntry &e, QPainter &p, const CellRect &area) {
  GlobalHandle &icon = IconPicture(e);
  if (!icon) {
    if (!icons_) return false;
    // Drawn at the surface's device pixels; kept for the entry at that size.
    const qreal ratio = p.device() ? std::max<qreal>(1, p.device()->devicePixelRatioF()) : 1;
    const int side = static_cast<int>(std::ceil(kIconSize * ratio));
    CDibCanvas canvas;
    if (!canvas.Create(side, side, e.Colours().backGround)) return false;
    canvas.Image().setDevicePixelRatio(ratio);
    bool drawn;
    {
      QPainter ip(&canvas.Image());
      drawn = icons_->DrawIcon(ip, QRect(0, 0, kIconSize, kIconSize), e);
    }
    if (!drawn) return false;
    icon.reset(canvas.GetDib());
    if (!icon) return false;
  }
  const CellRect place = FitThumbnailRect(kIconSize, kIconSize, area, true);
  DrawDibStretched(p, ToQRect(place), icon.get());
  return true;
}

void CCellPainter::DrawCaption(CPicEntry &e, QPainter &p, CellRect r, uint32_t bar, MacroReads reads) {
  const EntryColours &c = e.Colours();
  FillRect(p, r, bar);
  if (e.switches.nameFrame) {
    DrawEdge(p, r, DarkerShade(c.backGround), LighterShade(c.backGround));
    Shrink(r, 1);
  }
  if (!lines_ || r.right <= r.left || r.bottom <= r.top) return;
  p.save();
  p.setClipRect(ToQRect(r), Qt::IntersectClip);
  p.setFont(font_);
  p.setPen(ToQColor(e.IsSelected() ? c.selectText : c.text));
  const QFontMetrics metrics(font_);
  // Line 1 sits at the bottom, each following line one line higher; the bottom of each
  // line's box (below its descent) is one pixel above the bar's inner bottom.
  int bottom = r.bottom - 1;
  for (const std::string &format : *lines_) {
    if (bottom <= r.top) break;
    // For the screen what reads the file comes from a worker, with the thumbnail
    // (CThumbBuilder::WantsCamera).
    const QString text = ToQString(ExpandMacros(&e, format, MacroEscape::kNone, reads));
    const int width = metrics.horizontalAdvance(text);
    const int left = width <= r.right - r.left ? (r.left + r.right - width) / 2 : r.left;
    p.drawText(left, bottom - descent_, text);
    bottom -= lineHeight_;
  }
  p.restore();
}

}  // namespace tamro
