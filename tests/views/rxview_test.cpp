// The thumbnail grid on a real document: phases, the backing canvas, cell sizes and hints.

#include "views/rxview.h"

#include <gtest/gtest.h>

#include <QScrollBar>

#include "views/viewtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

using ViewTest = test::GridFixture;

TEST_F(ViewTest, IdlePhasesFillEveryCellAndEndIdle) {
  OpenOn(12);
  ASSERT_EQ(std::tuple(doc->GetEntryCount(), view->Grid().columns, CRXView::DrawPhase(),
                       view->HasFullCanvas(), view->DrawnMarks().size()),
            std::tuple(12, 3, CRXView::kIdle, true, 12u));
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(std::tuple(!!doc->GetEntry(i)->thumbnail, view->DrawnMarks()[static_cast<std::size_t>(i)] & 2,
                         doc->GetEntry(i)->cellX),
              std::tuple(true, 2, (i % 3) * 110))
        << i;
  // What the cells show, scrolled or not, is checked at device pixels beside the high-density
  // window tests, with and without the full canvas.
}

TEST_F(ViewTest, WithoutFullCanvasTheVisibleCellsStillGetThumbnails) {
  profile.WriteInt("RXView", "OverMem", 0);
  OpenOn(9);
  EXPECT_FALSE(view->HasFullCanvas());
  // The background pass built the rest without painting.
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(doc->GetEntry(i)->thumbnail) << i;
}

TEST_F(ViewTest, CellSizeIsClampedByTheLimitAndTheClient) {
  OpenOn(3, 300, 260);
  const QSize client = view->viewport()->size();
  for (int i = 0; i < 10; ++i) view->Shrink();
  EXPECT_EQ(doc->ThumbsSize(), (CellSize{40, 40}));
  for (int i = 0; i < 20; ++i) view->Enlarge();
  EXPECT_EQ(doc->ThumbsSize(), (CellSize{client.width(), client.height()}));
  view->SetCellSize(90, 5);
  // Stored for the next start.
  EXPECT_EQ(std::tuple(doc->ThumbsSize(), profile.GetString("RXDoc", "ThumbsSize", "")),
            std::tuple(CellSize{90, 40}, "90,40"));
  view->FitColumns(2);
  EXPECT_EQ(std::tuple(doc->ThumbsSize().width, view->Top()), std::tuple(client.width() / 2, 0));
}

TEST_F(ViewTest, ChangedSizeRebuildsThumbnailsAsCellsArePainted) {
  OpenOn(4);
  const int before = doc->GetEntry(0)->thumbWidth;
  view->SetCellSize(60, 60);
  Settle();
  EXPECT_TRUE(doc->GetEntry(0)->thumbWidth < before && CellCentreOnScreen(3).rgb() == Expected(3).rgb())
      << before;
}

TEST_F(ViewTest, TallFolderScrollsInScaledUnitsWithoutFullCanvas) {
  for (int i = 0; i < 400; ++i)
    test::WriteColourPicture(folder / ("n" + std::to_string(i) + ".bmp"), 2, 2, Qt::red);
  profile.WriteInt("RXDoc", "ThumbsCreate", 0);
  Open(150, 300);
  ASSERT_EQ(std::tuple(view->Grid().columns, view->Grid().rows), std::tuple(1, 400));
  EXPECT_DOUBLE_EQ(view->Grid().scrollScale, 110.0 * 400 / 32000);
  QScrollBar *bar = view->verticalScrollBar();
  EXPECT_TRUE(!view->HasFullCanvas() && bar->maximum() <= 32000) << bar->maximum();
  view->SetTop(1001);
  EXPECT_EQ(std::tuple(view->Top(), bar->value()),
            std::tuple(1001, static_cast<int>(1001 / view->Grid().scrollScale)));
  Settle();
  // The cell at the top of the window is row 9, painted with its picture.
  EXPECT_EQ(std::tuple(doc->GetEntry(9)->cellY, !!doc->GetEntry(9)->thumbnail,
                       !!doc->GetEntry(399)->thumbnail, CRXView::DrawPhase()),
            std::tuple(990, true, false, CRXView::kIdle));
}

TEST_F(ViewTest, BackgroundColourIsReadAndWrittenBack) {
  profile.WriteInt("RXView", "colBackground", 0x123456);
  OpenOn(1);
  EXPECT_EQ(view->Background(), 0x123456u);
  const QImage shot = view->viewport()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(view->viewport()->width() - 2, view->viewport()->height() - 2),
            QColor(0x56, 0x34, 0x12));
  profile.WriteInt("RXView", "colBackground", 0);
  view->SaveSettings();
  EXPECT_EQ(profile.GetInt("RXView", "colBackground", -1), 0x123456);
}

TEST_F(ViewTest, EmptyAndMissingFoldersDrawOnlyBackground) {
  fs::create_directories(folder);
  Open();
  EXPECT_EQ(std::tuple(doc->GetEntryCount(), view->Grid().rows, CRXView::DrawPhase()),
            std::tuple(0, 1, CRXView::kIdle));
  doc->ChangeFolder((box.root() / "gone, with \"quotes\" %s").string(), nullptr, false);
  Settle();
  EXPECT_EQ(doc->GetEntryCount(), 0);
}

}  // namespace
}  // namespace tamro
