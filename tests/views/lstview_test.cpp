// The details list beside the grid: its rows and texts, sorting by header clicks, the
// selection and current entry it shares with the grid, dropping files on it, and its
// settings.

#include "views/lstview.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QHeaderView>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <map>

#include "catalogue/rxdoc.h"
#include "fileops/filecommands.h"
#include "views/commands.h"
#include "views/fileinterchange.h"
#include "views/viewtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

// The list with its drag start within reach.
class TestList : public CLstView {
 public:
  using CLstView::CLstView;
  using CLstView::startDrag;
};

class ListTest : public test::GridFixture {
 protected:
  void TearDown() override {
    list.reset();
    GridFixture::TearDown();
  }
  // The grid of the fixture with the list above it, both on one document.
  void OpenBoth(int pictures = 0) {
    OpenOn(pictures);
    list = std::make_unique<TestList>(*doc, profile);
    list->resize(600, 200);
    list->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    doc->ChangeFolder(folder.string(), nullptr, false);
    Settle();
  }
  void ClickHeader(int column) {
    QHeaderView *h = list->header();
    const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, h->height() / 2));
  }
  QString Header(int column) {
    return list->Model().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
  }
  QPoint RowPoint(int row) { return list->visualRect(list->Model().index(row, 0)).center(); }

  std::unique_ptr<TestList> list;
};

TEST_F(ListTest, RowsShowTheEntriesFactsInTheirColumns) {
  test::WriteColourPicture(folder / "写真 1.bmp", 80, 60, Qt::red);
  test::WriteColourPicture(folder / "noext", 30, 20, Qt::blue);
  OpenBoth();
  ASSERT_EQ(list->Model().rowCount(), 2);
  const int photo = doc->GetEntry(0)->name == "写真 1.bmp" ? 0 : 1;
  doc->GetEntry(photo)->lastWriteTime = 1700000000LL * kNanosPerSecond;
  doc->GetEntry(photo)->size = 1234567;
  const CLstModel &m = list->Model();
  // The pixel facts come from examining it for its thumbnail.
  EXPECT_EQ(
      std::vector({m.CellText(photo, 0), m.CellText(photo, 1), m.CellText(photo, 2), m.CellText(photo, 3),
                   m.CellText(photo, 4), m.CellText(photo, kSortFolder), m.CellText(1 - photo, 0),
                   m.CellText(1 - photo, 1)}),
      std::vector<QString>({"写真 1", "bmp", "1,234,567",
                            QDateTime::fromSecsSinceEpoch(1700000000).toString("yyyy/MM/dd HH:mm:ss"),
                            "80x60 24bits", QString::fromStdString(folder.string()), "noext", QString()}));
  EXPECT_EQ(m.data(m.index(photo, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
            Qt::AlignRight);
  // Headers plain until sorted.
  EXPECT_EQ(std::tuple(Header(0), Header(2)), std::tuple(QStringLiteral(" ﾌｧｲﾙ名"), QStringLiteral("ｻｲｽﾞ ")));
}

TEST_F(ListTest, HeaderClicksSortBothViewsAndBuildTheHistory) {
  // By width the BMP sizes go a < d < b = c; the names in another order.
  const std::map<std::string, std::pair<int, QColor>> files = {{"c.bmp", {30, Qt::blue}},
                                                               {"a.bmp", {10, Qt::red}},
                                                               {"b.bmp", {30, Qt::green}},
                                                               {"d.bmp", {20, Qt::yellow}}};
  for (const auto &[name, file] : files) test::WriteColourPicture(folder / name, file.first, 10, file.second);
  OpenBoth();
  using Listing = std::vector<std::string>;
  ClickHeader(0);
  EXPECT_EQ(std::tuple(Header(0), Names()),
            std::tuple(QStringLiteral(" ﾌｧｲﾙ名+"), Listing{"a.bmp", "b.bmp", "c.bmp", "d.bmp"}));
  ClickHeader(0);
  EXPECT_EQ(std::tuple(Header(0), Names()),
            std::tuple(QStringLiteral(" ﾌｧｲﾙ名-"), Listing{"d.bmp", "c.bmp", "b.bmp", "a.bmp"}));
  for (int i = 0; i < 2; ++i) ClickHeader(0);
  // Then by size: the sorted column alone shows its state; the history has both.
  ClickHeader(2);
  EXPECT_EQ(std::tuple(Header(0), Header(2)),
            std::tuple(QStringLiteral(" ﾌｧｲﾙ名"), QStringLiteral("ｻｲｽﾞ+ ")));
  EXPECT_EQ(doc->Sort().history(), (std::vector<SortKey>{{kSortSize, 1}, {kSortName, 1}}));
  // Equal sizes keep the name order; the grid paints the same order.
  const Listing bySize{"a.bmp", "d.bmp", "b.bmp", "c.bmp"};
  EXPECT_EQ(std::tuple(Names(), list->Model().CellText(1, 0)), std::tuple(bySize, QStringLiteral("d")));
  Settle();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(CellCentreOnScreen(i), files.at(bySize[i]).second) << i;

  // A new listing comes in the order of the history, its newest key in the header.
  doc->ChangeFolder(box.root().string(), nullptr, false);
  doc->ChangeFolder(folder.string(), nullptr, false);
  EXPECT_EQ(std::tuple(Names(), Header(2)), std::tuple(bySize, QStringLiteral("ｻｲｽﾞ+ ")));

  // The pixel column runs through its eight keys back to the plain header.
  const char *const pixel[] = {" 画素+w", " 画素-w",   " 画素+h",   " 画素-h", " 画素+c",
                               " 画素-c", " 画素+wxh", " 画素-wxh", " 画素"};
  for (const char *text : pixel) {
    ClickHeader(4);
    EXPECT_EQ(Header(4), QString::fromUtf8(text));
  }
}

TEST_F(ListTest, SelectionAndCurrentEntryAreSharedWithTheGrid) {
  OpenBoth(100);
  QItemSelectionModel *sm = list->selectionModel();
  const auto rowSelected = [&](int row) { return sm->isRowSelected(row, QModelIndex()); };
  const auto picked = [&](int index) { return doc->GetEntry(index)->IsSelected(); };
  // A click in the list selects the entry in the grid and makes it current there.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, RowPoint(2));
  EXPECT_EQ(std::tuple(picked(2), doc->Current(), view->Anchor(), doc->CountSelected(true)),
            std::tuple(true, 2, 2, 1));
  // Shift with the arrow keys extends it; the grid's keys go on from there.
  QTest::keyClick(list.get(), Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(std::tuple(picked(3), doc->CountSelected(true)), std::tuple(true, 2));
  // The grid's click shows in the list, the old rows deselected.
  view->ClickSelect(7, Qt::NoModifier, false);
  EXPECT_EQ(std::tuple(rowSelected(7), rowSelected(2), list->currentIndex().row()),
            std::tuple(true, false, 7));
  // Select all in the grid selects every row; a range of many rows in the list reaches
  // the grid in one go.
  view->OnCommand(kCmdSelectAll);
  EXPECT_EQ(sm->selectedRows().size(), 100);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, RowPoint(0));
  sm->select(QItemSelection(list->Model().index(0, 0), list->Model().index(79, CLstModel::kColumns - 1)),
             QItemSelectionModel::Select);
  EXPECT_EQ(std::tuple(doc->CountSelected(true), picked(79), picked(80)), std::tuple(80, true, false));
  // A removed entry takes its row with it.
  doc->RemoveEntryAt(5);
  doc->UpdateAllViews(nullptr, kHintEntryRemoved, UpdateArgument{5, 0, {}});
  EXPECT_EQ(std::tuple(list->Model().rowCount(), rowSelected(78), rowSelected(79)),
            std::tuple(99, true, false));
  // The grid's current entry is scrolled into the list's view.
  view->ClickSelect(95, Qt::NoModifier, false);
  const QRect row = list->visualRect(list->Model().index(95, 0));
  EXPECT_TRUE(list->viewport()->rect().contains(row)) << list->TopRow();
}

TEST_F(ListTest, ADeletedEntryTakesItsRowAndTheGridsAnchorStaysOnItsEntry) {
  profile.WriteInt("RXDoc", "TrashCan", 0);
  profile.WriteInt("RXDoc", "DELQA", 1);
  OpenBoth(4);
  view->ClickSelect(2, Qt::NoModifier, false);
  doc->SetEntryFlags(2, doc->GetEntry(2)->flags & ~CPicEntry::kSelected);
  doc->SetEntryFlags(0, doc->GetEntry(0)->flags | CPicEntry::kSelected);
  ASSERT_EQ(DeleteSelected(*doc), 1);
  EXPECT_EQ(std::tuple(list->Model().rowCount(), view->Anchor()), std::tuple(3, 1));
}

TEST_F(ListTest, RowsAndColumnsFitTheirTexts) {
  test::WriteColourPicture(folder / "photo_M22.bmp", 1000, 1000, Qt::red);
  OpenBoth();
  // Without stored widths the date and the pixel facts are shown whole, margins included.
  const QFontMetrics fm(list->font());
  for (int c : {kSortTime, kSortPixels})
    EXPECT_GE(list->header()->sectionSize(c), fm.horizontalAdvance(list->Model().CellText(0, c)) + 6) << c;
  EXPECT_EQ(Header(kSortNote), QStringLiteral(" ｺﾒﾝﾄ"));
  // The text and the grid line under it fit in a row, whatever the font.
  list->setFont(QFont(list->font().family(), 20));
  Settle();
  EXPECT_GT(list->visualRect(list->Model().index(0, 0)).height(), QFontMetrics(list->font()).height() + 1);
}

TEST_F(ListTest, FilesDroppedOnTheListArriveAndItsOwnDragIsRefused) {
  const fs::path outside = box.root() / "outside";
  test::WriteColourPicture(outside / "new.bmp", 30, 20, Qt::red);
  OpenBoth(2);
  QMimeData mime;
  mime.setData("text/uri-list", FileUrl((outside / "new.bmp").string()) + "\r\n");
  const QPoint at(20, 20);
  EXPECT_EQ(test::DragAndDrop(list->viewport(), mime, at), Qt::CopyAction);
  Settle();
  EXPECT_EQ(
      std::tuple(fs::exists(folder / "new.bmp"), fs::exists(outside / "new.bmp"), list->Model().rowCount()),
      std::tuple(true, true, 3));

  // The list's own drag of its selection gets no effect over itself.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, RowPoint(0));
  bool refused = false;
  std::size_t offered = 0;
  list->SetDragRunner([&](QMimeData *raw, Qt::DropActions actions) {
    std::unique_ptr<QMimeData> data(raw);
    offered = data->urls().size();
    QDragMoveEvent over(at, actions, data.get(), Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &over);
    refused = !over.isAccepted();
    return Qt::IgnoreAction;
  });
  list->startDrag(Qt::CopyAction | Qt::MoveAction);
  EXPECT_EQ(std::tuple(offered, refused), std::tuple(1u, true));
}

TEST_F(ListTest, ColumnsAndOrderComeFromTheSettingsAndGoBackAtClose) {
  profile.WriteString("LstView", "Column", "120,0,90");
  profile.WriteString("LstView", "Index", "9,x,0");
  OpenBoth(1);
  QHeaderView *h = list->header();
  // 50 for a width below 1 and for one missing.
  EXPECT_EQ(std::vector({h->sectionSize(0), h->sectionSize(1), h->sectionSize(2), h->sectionSize(3)}),
            std::vector({120, 50, 90, 50}));
  EXPECT_EQ(std::tuple(h->logicalIndex(0), h->logicalIndex(2)), std::tuple(9, 0));
  h->resizeSection(3, 77);
  // Large icons show the names alone; the report's widths are kept for it and for the close.
  list->SetListStyle(CLstView::kLargeIcons);
  EXPECT_EQ(std::tuple(h->isHidden(), list->isColumnHidden(3), list->isColumnHidden(0), list->iconSize()),
            std::tuple(true, true, false, QSize(32, 32)));
  list->SaveSettings();
  std::string widths = "120,50,90,77";
  for (int c = 4; c < CLstModel::kColumns; ++c) widths += ",50";
  EXPECT_EQ(std::tuple(list->isColumnHidden(3), profile.GetString("LstView", "Column", "")),
            std::tuple(true, widths));
  EXPECT_EQ(TestList(*doc, profile).ListStyle(), CLstView::kLargeIcons);
  list->SetListStyle(CLstView::kReport);
  EXPECT_EQ(std::tuple(h->isHidden(), h->sectionSize(3)), std::tuple(false, 77));
  EXPECT_EQ(std::tuple(profile.GetString("LstView", "Index", "").substr(0, 2),
                       profile.GetInt("LstView", "ColorBackground", -1),
                       profile.GetString("LstView", "Window", "").empty()),
            std::tuple("9,", 0xFFFFFF, false));
}

}  // namespace
}  // namespace tamro
