#pragma once

// Drawing packed pictures onto a QPainter, and moving them to and from QImage.
// Stretching is nearest-neighbour (colour-on-colour), as a device stretch copy is.

#include <QImage>
#include <QRect>

#include "picture/dibtypes.h"

class QPainter;

namespace tamro {

// Bits per pixel of the display; Tamro always draws as on a true-colour display.
int DisplayColorDepth();

// Draws the source rectangle of the picture (sx, sy counted from the top-left corner, like
// the destination) stretched into the destination rectangle. A header that does not
// describe a drawable picture draws nothing. The address form trusts that the block holds
// the whole picture; the handle form checks it.
void DrawDibStretched(QPainter &painter, int dx, int dy, int dw, int dh, const BitmapInfoHeader *bi, int sx,
                      int sy, int sw, int sh);
void DrawDibStretched(QPainter &painter, int dx, int dy, int dw, int dh, HDIB h, int sx, int sy, int sw,
                      int sh);
// The whole picture into `dest`.
void DrawDibStretched(QPainter &painter, const QRect &dest, const BitmapInfoHeader *bi);
void DrawDibStretched(QPainter &painter, const QRect &dest, HDIB h);
// The whole picture at its own size with its top-left corner at (x, y).
void DrawDibAt(QPainter &painter, int x, int y, const BitmapInfoHeader *bi);
void DrawDibAt(QPainter &painter, int x, int y, HDIB h);

// A new 40-byte-header picture of the image: 8 bits with the image's colour table for an
// indexed image, 24 bits otherwise (alpha is dropped). Null for a null image or on failure.
HDIB BitmapToDib(const QImage &image);
// A top-down Format_RGB32 copy of any picture the 24-bit conversion reads; a null image
// when the picture is unusable.
QImage DibToImage(HDIB h);

}  // namespace tamro
