#include "views/gridgeometry.h"

#include <gtest/gtest.h>

namespace tamro {
namespace {

TEST(GridGeometry, EmptyFolderStillHasOneCell) {
  GridGeometry g;
  g.Recompute(0, 600, 400);
  EXPECT_EQ(g.columns, 5);
  EXPECT_EQ(g.rows, 1);
  EXPECT_EQ(g.totalWidth, 550);
  EXPECT_EQ(g.totalHeight, 110);
  EXPECT_DOUBLE_EQ(g.scrollScale, 1.0);
  EXPECT_FALSE(g.needVertical);
  EXPECT_EQ(g.MaxTop(), 0);
}

TEST(GridGeometry, NarrowWindowGivesOneColumnOfWholeCells) {
  GridGeometry g;
  g.Recompute(7, 50, 30);
  EXPECT_EQ(g.columns, 1);
  EXPECT_EQ(g.rows, 7);
  EXPECT_EQ(g.cellWidth, 110);
  EXPECT_EQ(g.visibleColumns, 1);
  EXPECT_EQ(g.visibleRows, 1);
  EXPECT_EQ(g.totalHeight, 770);
  EXPECT_TRUE(g.needVertical);
  EXPECT_FALSE(g.needHorizontal);
}

TEST(GridGeometry, FortyThousandEntriesScaleTheScrollBar) {
  GridGeometry g;
  g.Recompute(40000, 560, 440);
  EXPECT_EQ(g.columns, 5);
  EXPECT_EQ(g.rows, 8000);
  EXPECT_EQ(g.totalHeight, 880000);
  EXPECT_DOUBLE_EQ(g.scrollScale, 27.5);
  EXPECT_LE(g.ScaledTotalHeight(), 32000);
  EXPECT_EQ(g.ScaledPageHeight(), 440 / 27.5);
  EXPECT_EQ(g.ScaledLineHeight(), 4);  // 110 / 27.5
  // Bar positions are truncated scaled values; the first row of a position follows pixels.
  EXPECT_EQ(g.ToBar(1000), 36);
  EXPECT_EQ(g.FromBar(36), 990);
  EXPECT_EQ(g.FirstIndexAt(879560), 39980);
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
  FitSize f = FitColumns(4, 800, 500);
  EXPECT_EQ(f.width, 200);
  EXPECT_EQ(f.height, 250);      // two rows of 200 fit, so each gets 500 / 2
  f = FitColumns(-3, 300, 200);  // below 0 means one column
  EXPECT_EQ(f.width, 300);
  EXPECT_EQ(f.height, 200);        // no whole row fits: the height stays the client's
  f = FitColumns(5000, 300, 200);  // no more columns than pixels
  EXPECT_EQ(f.width, 1);
  EXPECT_EQ(f.height, 1);
  f = FitColumns(0, 0, 0);
  EXPECT_EQ(f.width, 0);
}

}  // namespace
}  // namespace tamro
