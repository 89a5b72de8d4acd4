#pragma once

// The thumbnail grid's layout and its mapping onto scroll bars that hold at most about
// 32000 units, however tall the folder is.

namespace tamro {

struct GridGeometry {
  static constexpr double kMaxScrollUnits = 32000.0;
  enum Change : int { kTotalChanged = 1, kPageChanged = 4 };

  int cellWidth = 110, cellHeight = 110;
  int columns = 1, rows = 1;
  int totalWidth = 0, totalHeight = 0;
  int clientWidth = 0, clientHeight = 0;
  int visibleColumns = 1, visibleRows = 1;
  int pageWidth = 0, pageHeight = 0;
  bool needHorizontal = false, needVertical = false;
  double scrollScale = 1.0;  // grid pixels per scroll unit, at least 1

  // Lays out `entries` cells for a client area; answers the Change flags (a new client size
  // alone sets none).
  int Recompute(int entries, int width, int height);

  // Scroll-bar measures in scaled units.
  int ScaledTotalHeight() const { return static_cast<int>(totalHeight / scrollScale); }
  int ScaledPageHeight() const { return static_cast<int>(pageHeight / scrollScale); }
  int ScaledLineHeight() const;
  // Largest vertical position in grid pixels (0 when everything fits).
  int MaxTop() const { return totalHeight > clientHeight ? totalHeight - clientHeight : 0; }
  int MaxLeft() const { return totalWidth > clientWidth ? totalWidth - clientWidth : 0; }
  // The bar value standing for a position in grid pixels (truncated).
  int ToBar(int pixels) const { return static_cast<int>(pixels / scrollScale); }
  int FromBar(int value) const { return static_cast<int>(value * scrollScale); }
  // The first entry of the row at grid height `top`.
  int FirstIndexAt(int top) const { return columns * (top / cellHeight); }
};

// The cell size a "fit N columns" asks for, before SetCellSize clamps it.
struct FitSize {
  int width, height;
};
FitSize FitColumns(int n, int clientWidth, int clientHeight);

}  // namespace tamro
