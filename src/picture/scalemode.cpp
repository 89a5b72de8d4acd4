#include <QRect>

#include "picture/dib.h"
#include "picture/dibcanvas.h"
#include "picture/transform.h"

namespace tamro {

namespace {

// Frees a picture made on the way unless it is the caller's or the answer.
void FreeIntermediate(HDIB made, HDIB input, HDIB result) {
  if (made && made != input && made != result) GlobalFree(made);
}

}  // namespace

HDIB ScaleDibByMode(HDIB h, int width, int height, double angle, int mode, double autoFactor, bool autoFine) {
  if (!h) return h;
  switch (mode) {
    case kScaleNearest:
    case kScaleBilinear:
    case kScaleAverage:
    case kScaleAuto: {
      HDIB full = DibTo24Bit(h);
      if (!full) return h;
      HDIB result;
      if (mode == kScaleNearest)
        result = ScaleNearest(full, width, height, angle);
      else if (mode == kScaleBilinear)
        result = ScaleBilinear(full, width, height, angle);
      else if (mode == kScaleAverage)
        result = ScaleAverage(full, width, height, angle, false);
      else if (autoFactor <= 0.5)
        result = ScaleAverage(full, width, height, angle, autoFine);
      else
        result = ScaleBilinear(full, width, height, angle);
      FreeIntermediate(full, h, result);
      return result;
    }
    default: {
      HDIB turned = angle != 0.0 ? RotateDib(h, angle) : h;
      CDibCanvas canvas;
      if (!canvas.Create(width, height, 0)) return turned;
      canvas.DrawDib(turned, QRect(0, 0, width, height));
      HDIB result = canvas.GetDib();
      if (!result) return turned;
      FreeIntermediate(turned, h, result);
      return result;
    }
  }
}

}  // namespace tamro
