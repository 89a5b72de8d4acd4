#include "output/entrypicture.h"

#include <cstdlib>

#include "catalogue/thumbbuilder.h"
#include "picture/dib.h"

namespace tamro {

HDIB LoadEntryPicture(CThumbBuilder &builder, CPicEntry &entry, int boxWidth, int boxHeight) {
  if (boxWidth <= 0 || boxHeight <= 0) return builder.DecodeEntry(entry, nullptr).release();
  const CellSize target{boxWidth, boxHeight};
  GlobalHandle picture = builder.DecodeEntry(entry, &target);
  if (!picture) return nullptr;
  const int w = DibWidth(picture.get()), h = std::abs(DibHeight(picture.get()));
  const CellRect fit = FitThumbnailRect(w, h, CellRect{0, 0, boxWidth, boxHeight}, true);
  const int32_t mode = entry.switches.scaleMode;
  entry.switches.scaleMode = 10;
  HDIB scaled = ScaleThumbnail(entry, fit.right - fit.left, fit.bottom - fit.top, picture.get());
  entry.switches.scaleMode = mode;
  if (scaled == picture.get()) return picture.release();
  return scaled;
}

}  // namespace tamro
