#include "views/gridgeometry.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tamro {
namespace {

TEST(GridGeometry, LayoutFollowsTheEntriesAndTheClient) {
  // An empty folder still has one cell; a narrow window one column of whole cells; forty
  // thousand entries scale the scroll bar.
  const struct {
    int entries, width, height, columns, rows, totalHeight;
    bool needVertical;
    double scrollScale;
  } cases[] = {{0, 600, 400, 5, 1, 110, false, 1.0},
               {7, 50, 30, 1, 7, 770, true, 1.0},
               {40000, 560, 440, 5, 8000, 880000, true, 27.5}};
  for (const auto &c : cases) {
    GridGeometry g;
    g.Recompute(c.entries, c.width, c.height);
    EXPECT_EQ(std::tuple(g.columns, g.rows, g.totalHeight, g.needVertical, g.scrollScale),
              std::tuple(c.columns, c.rows, c.totalHeight, c.needVertical, c.scrollScale))
        << c.entries;
    if (c.entries == 0) {
      EXPECT_EQ(std::tuple(g.totalWidth, g.MaxTop()), std::tuple(550, 0));
    } else if (c.entries == 7) {
      EXPECT_EQ(std::tuple(g.cellWidth, g.visibleColumns, g.visibleRows, g.needHorizontal),
                std::tuple(110, 1, 1, false));
    }
    if (c.entries != 40000) continue;
    EXPECT_LE(g.ScaledTotalHeight(), 32000);
    // A line is 110 / 27.5. Bar positions are truncated scaled values; the first row of a position
    // follows pixels.
    EXPECT_EQ(std::tuple(g.ScaledPageHeight(), g.ScaledLineHeight(), g.ToBar(1000), g.FromBar(36),
                         g.FirstIndexAt(879560)),
              std::tuple(440 / 27.5, 4, 36, 990, 39980));
  }
}

TEST(GridGeometry, ChangesAreReportedOnlyForTotalAndPage) {
  GridGeometry g;
  EXPECT_EQ(g.Recompute(20, 560, 440), GridGeometry::kTotalChanged | GridGeometry::kPageChanged);
  EXPECT_EQ(g.Recompute(20, 560, 440), 0);
  // A few pixels more that fit no further cell: nothing to report.
  EXPECT_EQ(g.Recompute(20, 600, 470), 0);
  EXPECT_EQ(g.clientWidth, 600);
  EXPECT_EQ(g.Recompute(21, 600, 470), GridGeometry::kTotalChanged);
  EXPECT_EQ(g.Recompute(21, 600, 560), GridGeometry::kPageChanged);
  EXPECT_EQ(g.Recompute(21, 700, 560), GridGeometry::kTotalChanged | GridGeometry::kPageChanged);
}

TEST(GridGeometry, FitColumnsDividesTheClient) {
  const auto fit = [](int columns, int width, int height) {
    const FitSize f = FitColumns(columns, width, height);
    return std::pair(f.width, f.height);
  };
  EXPECT_EQ(fit(4, 800, 500), std::pair(200, 250));   // two rows of 200 fit, so each gets 500 / 2
  EXPECT_EQ(fit(-3, 300, 200), std::pair(300, 200));  // below 0 means one column; no whole row fits
  EXPECT_EQ(fit(5000, 300, 200), std::pair(1, 1));    // no more columns than pixels
  EXPECT_EQ(FitColumns(0, 0, 0).width, 0);
}

}  // namespace
}  // namespace tamro
