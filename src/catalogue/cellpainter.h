#pragma once

// Painting one entry's cell: fill, raised frame, the thumbnail (or the file icon) placed in
// the picture area, and the caption bar with its lines from the bottom up. Shared by the
// thumbnail view and the contact sheet, so it works on any QPainter target.

#include <QFont>
#include <string>
#include <vector>

#include "catalogue/captionfont.h"
#include "catalogue/macros.h"
#include "catalogue/picentry.h"
#include "picture/dibcanvas.h"

class QPainter;
class QRect;

namespace tamro {

class CThumbBuilder;

// Draws a file's icon when there is no picture: the icon provider of the desktop in the
// application, a plain glyph where there is none.
class FileIconSource {
 public:
  virtual ~FileIconSource() = default;
  // Draws the entry's icon into `rect` (32 x 32), leaving what is around it as it was.
  // False when no icon can be had; then nothing is drawn in the picture area.
  virtual bool DrawIcon(QPainter &painter, const QRect &rect, const CPicEntry &entry) = 0;
};

// A plain folded page, drawn without any icon theme; an archive member gets a band.
class GlyphIconSource : public FileIconSource {
 public:
  bool DrawIcon(QPainter &painter, const QRect &rect, const CPicEntry &entry) override;
};

// The drawing modes of a cell.
enum CellMode : int {
  kCellCaptionOnly = 0,  // caption bar only
  kCellIcon = 1,         // the file icon
  kCellQuick = 2,        // the thumbnail there is, else the icon
  kCellBuild = 3,        // the thumbnail, built when needed
};

// The parts of a cell, in target coordinates; right and bottom are outside.
struct CellLayout {
  CellRect cell, picture, caption;  // caption is empty when Name is off
  int lineHeight = 0;
};

class CCellPainter {
 public:
  // Neither owned. Without a builder modes 2 and 3 only draw a thumbnail the entry has;
  // without icons the icon step fails.
  CCellPainter(CThumbBuilder *builder, FileIconSource *icons);

  CThumbBuilder *Builder() const { return builder_; }
  FileIconSource *Icons() const { return icons_; }
  // The caption lines (the document's items of NameFormat); not owned, may be null.
  void SetCaptionLines(const std::vector<std::string> *lines) { lines_ = lines; }

  CellLayout Layout(const CPicEntry &entry, int x, int y, int width, int height);

  // Paints the entry's cell at (x, y) on the target. Answers what building gave in mode 3
  // (0, -1), 1 in mode 2 when there is no thumbnail, else 0.
  int PaintCell(CPicEntry &entry, QPainter &target, int x, int y, int width, int height, int mode);
  int PaintCell(CPicEntry &entry, CDibCanvas &target, int x, int y, int width, int height, int mode);
  // What painting in mode 3 builds, without painting anything.
  int BuildCell(CPicEntry &entry, int width, int height);

  // Lines since the font changed last, for the view's bookkeeping.
  int MeasuredLineCount() const { return measuredLines_; }

 private:
  void SelectFont(const FontDescription &font);
  int PaintInto(CPicEntry &entry, QPainter &p, int x, int y, int width, int height, int mode);
  bool DrawIcon(CPicEntry &entry, QPainter &p, const CellRect &area);
  void DrawCaption(CPicEntry &entry, QPainter &p, CellRect caption, uint32_t bar, MacroReads reads);

  CThumbBuilder *builder_;
  FileIconSource *icons_;
  const std::vector<std::string> *lines_ = nullptr;
  CDibCanvas cell_;  // reused for every cell
  QFont font_;
  FontDescription fontDescription_;
  bool haveFont_ = false;
  int lineHeight_ = 0, descent_ = 0;
  int measuredLines_ = 0;
};

// The colour 0x40 darker and lighter on each channel (clamped), for sunken caption frames.
uint32_t DarkerShade(uint32_t colour);
uint32_t LighterShade(uint32_t colour);

}  // namespace tamro
