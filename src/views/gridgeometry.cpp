#include "views/gridgeometry.h"

#include <algorithm>

namespace tamro {

int GridGeometry::Recompute(int entries, int width, int height) {
  const int cw = std::max(cellWidth, 1), ch = std::max(cellHeight, 1);
  columns = std::max(width / cw, 1);
  // 64-bit so that a huge folder with tiny cells cannot overflow.
  rows = static_cast<int>(
      std::max<long long>((static_cast<long long>(std::max(entries, 0)) + columns - 1) / columns, 1));
  const double tall = static_cast<double>(ch) * rows / kMaxScrollUnits;
  scrollScale = tall >= 1.0 ? tall : 1.0;

  const int oldTotalW = totalWidth, oldTotalH = totalHeight, oldPageW = pageWidth, oldPageH = pageHeight;
  totalWidth = cw * columns;
  totalHeight = static_cast<int>(std::min<long long>(static_cast<long long>(ch) * rows, 0x7FFFFFFF));
  clientWidth = width;
  clientHeight = height;
  visibleColumns = std::max(width / cw, 1);
  visibleRows = std::max(height / ch, 1);
  needHorizontal = visibleColumns < columns;
  needVertical = visibleRows < rows;
  pageWidth = cw * visibleColumns;
  pageHeight = ch * visibleRows;

  int flags = 0;
  if (totalWidth != oldTotalW || totalHeight != oldTotalH) flags |= kTotalChanged;
  if (pageWidth != oldPageW || pageHeight != oldPageH) flags |= kPageChanged;
  return flags;
}

int GridGeometry::ScaledLineHeight() const {
  return std::min(static_cast<int>(cellHeight / scrollScale), std::max(clientHeight, 1));
}

FitSize FitColumns(int n, int clientWidth, int clientHeight) {
  if (n < 0) n = 1;
  if (n > clientWidth) n = clientWidth;
  if (n < 1) n = 1;  // a zero-width client: avoid dividing by zero
  const int width = clientWidth / n;
  const int fit = width > 0 ? clientHeight / width : 0;
  const int height = fit > 0 ? clientHeight / fit : clientHeight;
  return {width, height};
}

}  // namespace tamro
