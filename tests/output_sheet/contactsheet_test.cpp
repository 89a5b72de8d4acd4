#include "output/contactsheet.h"

#include <QImage>
#include <gtest/gtest.h>

#include "catalogue/cellpainter.h"
#include "catalogue/docsettings.h"
#include "output_macros/testfolder.h"
#include "picture/dib.h"
#include "picture/dibcanvas.h"
#include "platform/ui.h"
#include "support/mounts.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

TEST(ContactSheetLayout, GridComputesTheMissingSidesAndNamesAreNumberedOnlyWhenSeveral) {
  // Pictures, columns, rows: the grid. A negative count counts as 0.
  const std::tuple<int, int, int, SheetGrid> cases[] = {
      {10, 0, 0, {3, 4}}, {10, 3, 2, {3, 2}}, {12, 5, 0, {5, 3}},  {7, 0, 3, {3, 3}},
      {1, 0, 0, {1, 1}},  {16, 0, 0, {4, 4}}, {5, -2, -1, {2, 3}}, {0, 3, 3, {0, 0}}};
  for (const auto &[n, columns, rows, grid] : cases)
    EXPECT_EQ(ContactSheetGrid(n, columns, rows), grid) << n << " " << columns << "x" << rows;
  // "%" is a character, never a format.
  const std::tuple<const char *, bool, int, const char *> names[] = {
      {"/o/sheet.jpg", false, 0, "/o/sheet.jpg"},        {"/o/sheet.jpg", true, 0, "/o/sheet00.jpg"},
      {"/o/sheet.jpg", true, 7, "/o/sheet07.jpg"},       {"/o/sheet.jpg", true, 123, "/o/sheet123.jpg"},
      {"/o.d/sheet", true, 1, "/o.d/sheet01"},           {"/o/100%s%n%d.bmp", true, 2, "/o/100%s%n%d02.bmp"},
      {"/o/100%s%n%d.bmp", false, 2, "/o/100%s%n%d.bmp"}};
  for (const auto &[path, several, n, name] : names)
    EXPECT_EQ(ContactSheetName(path, several, n), name) << path << n;
}

TEST(ContactSheetOption, ExtensionByTypeAndHistories) {
  test::Sandbox box;
  CContactSheetOption option;
  option.Load();
  EXPECT_EQ(std::tuple(option.fileType, option.jpegQuality), std::tuple(kSheetBmp, 95));
  EXPECT_FALSE(option.Accept());
  option.folder = "rel", option.currentFolder = box.root().string(), option.fileName = "sheet";
  option.fileType = kSheetJpeg, option.columns = -3;
  ASSERT_TRUE(option.Accept());
  EXPECT_EQ(std::tuple(option.outputName, option.fileName, option.OutputPath(), option.columns),
            std::tuple("sheet.jpg", "sheet", (box.root() / "rel/sheet.jpg").string(), 0));
  option.fileType = kSheetBmp, option.fileName = "other";
  ASSERT_TRUE(option.Accept());
  EXPECT_EQ(option.outputName, "other.bmp");

  CContactSheetOption again;
  again.Load();
  EXPECT_EQ(again.FileNames().items(), (std::vector<std::string>{"other", "sheet"}));
  EXPECT_EQ(std::tuple(again.Folders().items().size(), again.fileType,
                       Profile::App().GetInt("Catalog", "JpgQuality", 0)),
            std::tuple(1u, kSheetBmp, 95));
}

// Paints each cell in a colour of its own and records what the entry looked like then.
class TestPainter : public SheetCellPainter {
 public:
  bool PaintCell(CDibCanvas &sheet, CPicEntry &entry, int x, int y, int width, int height) override {
    seen.push_back({entry.name, entry.flags, entry.switches.scaleMode, entry.cellRect.left, entry.cellRect.top});
    if (entry.name.rfind("bad", 0) == 0) {
      sheet.Fill(QRect(x, y, width, height), 0x0000FF);  // a failed cell may leave marks
      return false;
    }
    sheet.Fill(QRect(x + 2, y + 2, width - 4, height - 4), ColourOf(entry.name));
    return true;
  }
  static uint32_t ColourOf(const std::string &name) {
    uint32_t h = 0;
    for (char c : name) h = h * 131 + static_cast<unsigned char>(c);
    return (h & 0xFFFFFF) | 0x010101;
  }
  struct Seen {
    std::string name;
    int flags, scaleMode, left, top;
  };
  std::vector<Seen> seen;
};

class SheetRun : public ::testing::Test {
 protected:
  void List(const std::vector<std::string> &names) {
    for (const auto &n : names) box.write("pics/" + n, "x");
    doc = test::ListFolder(box.path("pics"));
    DocSettings s = doc->Settings();
    s.thumbsLimitSize = {20, 20}, s.thumbsSize = {40, 30}, s.scaleMode = 2;
    doc->ApplySettings(s);
    for (int i = 0; i < doc->GetEntryCount(); ++i) {
      doc->SetEntryFlags(i, CPicEntry::kSelected | (i == 0 ? CPicEntry::kCurrent : 0));
      doc->GetEntry(i)->switches.scaleMode = 1;
    }
    fs::create_directories(out);
  }
  // Colour at the centre of cell (column, row) of a saved sheet.
  static uint32_t CellColour(const QImage &image, int column, int row) {
    QRgb p = image.pixel(column * 40 + 20, row * 30 + 15);
    return static_cast<uint32_t>(qRed(p) | (qGreen(p) << 8) | (qBlue(p) << 16));
  }

  test::Sandbox box;
  fs::path out = box.path("out");
  std::unique_ptr<CRXDoc> doc;
  TestPainter painter;
  ScriptedUi ui;
  ScopedUi scope{ui};
  static constexpr uint32_t kBack = 0x336699;
};

std::vector<std::string> Pictures(int n) {
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back("p" + std::to_string(i) + ".jpg");
  return names;
}

TEST_F(SheetRun, TwoNumberedSheetsOfThreeByTwo) {
  List(Pictures(10));
  std::string path = (out / "name.bmp").string();
  EXPECT_EQ(WriteContactSheets(*doc, painter, 3, 2, path, kSheetBmp, 95, kBack), 2);
  const QImage sheets[] = {QImage((out / "name00.bmp").c_str()), QImage((out / "name01.bmp").c_str())};
  ASSERT_FALSE(sheets[0].isNull() || sheets[1].isNull());
  EXPECT_EQ(sheets[0].size(), QSize(120, 60));
  // The last two cells show only the background.
  auto names = test::EntryNames(*doc);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(CellColour(sheets[i / 6], i % 3, i % 6 / 3), i < 10 ? TestPainter::ColourOf(names[i]) : kBack)
        << i;
  EXPECT_EQ(std::tuple(ui.progress.front(), fs::exists(path), fs::exists(out / "name02.bmp")),
            std::tuple("open:カタログファイル保存", false, false));
}

TEST_F(SheetRun, SinglePictureAsJpeg) {
  List(Pictures(3));
  for (int i = 1; i < 3; ++i) doc->SetEntryFlags(i, 0);
  std::string path = (out / "sheet.jpg").string();
  EXPECT_EQ(WriteContactSheets(*doc, painter, 0, 0, path, kSheetJpeg, 90, kBack), 1);
  EXPECT_EQ(test::ReadFile(path).substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(QImage(path.c_str()).size(), QSize(40, 30));
}

TEST_F(SheetRun, CellsDrawnUnmarkedAndTheEntryGetsItsOwnBack) {
  List(Pictures(4));
  WriteContactSheets(*doc, painter, 2, 2, (out / "s.bmp").string(), kSheetBmp, 95, kBack);
  ASSERT_EQ(painter.seen.size(), 4u);
  for (const auto &s : painter.seen) EXPECT_EQ(std::tuple(s.flags, s.scaleMode), std::tuple(0, 10)) << s.name;
  EXPECT_EQ(std::tuple(painter.seen[3].left, painter.seen[3].top), std::tuple(40, 30));
  EXPECT_EQ(
      std::tuple(doc->GetEntry(0)->flags, doc->GetEntry(3)->switches.scaleMode, doc->CountSelected(true)),
      std::tuple(CPicEntry::kSelected | CPicEntry::kCurrent, 1, 4));
}

TEST_F(SheetRun, FailedCellIsTakenByTheNextPictureOrLeftBlank) {
  List({"a.jpg", "bad.jpg", "c.jpg"});
  doc->OnSortCommand(SortCommand::kByName);
  std::string path = (out / "s.bmp").string();
  EXPECT_EQ(WriteContactSheets(*doc, painter, 3, 1, path, kSheetBmp, 95, kBack), 1);
  QImage image(path.c_str());
  EXPECT_EQ(std::tuple(CellColour(image, 0, 0), CellColour(image, 1, 0), CellColour(image, 2, 0)),
            std::tuple(TestPainter::ColourOf("a.jpg"), TestPainter::ColourOf("c.jpg"), kBack));
  // Failing last, its marks do not stay.
  doc->SetEntryFlags(2, 0);
  EXPECT_EQ(WriteContactSheets(*doc, painter, 3, 1, path, kSheetBmp, 95, kBack), 1);
  image.load(path.c_str());
  EXPECT_EQ(CellColour(image, 1, 0), kBack);
}

TEST_F(SheetRun, AbortKeepsSavedSheetsOnly) {
  List(Pictures(10));
  ui.abortAfter = 8;  // the ninth picture is refused
  EXPECT_EQ(WriteContactSheets(*doc, painter, 3, 2, (out / "n.bmp").string(), kSheetBmp, 95, kBack), 1);
  EXPECT_TRUE(fs::exists(out / "n00.bmp") && !fs::exists(out / "n01.bmp"));
}

TEST_F(SheetRun, SheetsThatCannotBeWrittenAreNamedAndKeepTheOldFiles) {
  test::TmpfsMount mount(out, "256k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  List(Pictures(4));
  for (const char *name : {"out/s00.bmp", "out/s01.jpg"}) box.write(name, "previous");
  test::FillUp(out);
  EXPECT_EQ(WriteContactSheets(*doc, painter, 1, 2, (out / "s.bmp").string(), kSheetBmp, 95, kBack), 0);
  EXPECT_EQ(WriteContactSheets(*doc, painter, 1, 2, (out / "s.jpg").string(), kSheetJpeg, 95, kBack), 0);
  EXPECT_EQ(test::ReadFile(out / "s00.bmp") + test::ReadFile(out / "s01.jpg"), "previousprevious");
  EXPECT_EQ(test::FileNames(out).size(), 3u) << "no temporary file left";
  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[0]->text, "コンタクトシートを保存できませんでした\n\n" +
                                        (out / "s00.bmp").string() + "\n" + (out / "s01.bmp").string());
  EXPECT_NE(ui.Messages()[1]->text.find((out / "s01.jpg").string()), std::string::npos);
}

TEST_F(SheetRun, DrawnByTheThumbnailViewsCellPainter) {
  test::EnsureGuiApp();
  List(Pictures(2));
  for (int i = 0; i < 2; ++i) {  // thumbnails in a colour of their own
    CPicEntry *e = doc->GetEntry(i);
    e->thumbnail.reset(CreateDib(8, 8, 24));
    DibLock lock(e->thumbnail.get());
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) SetDibPixel(lock.header(), x, y, 0x00FF00);
  }
  CCellPainter cells(nullptr, nullptr);
  cells.SetCaptionLines(&doc->CaptionItems());
  CellSheetPainter sheetPainter(cells);
  std::string path = (out / "cells.bmp").string();
  ASSERT_EQ(WriteContactSheets(*doc, sheetPainter, 2, 1, path, kSheetBmp, 95, kBack), 1);
  QImage image(path.c_str());
  ASSERT_EQ(image.size(), QSize(80, 30));
  const EntryColours &c = doc->GetEntry(0)->Colours();
  for (int column = 0; column < 2; ++column) {
    QRgb corner = image.pixel(column * 40 + 1, 1);  // cell fill: unselected, though selected
    EXPECT_EQ(static_cast<uint32_t>(qRed(corner) | qGreen(corner) << 8 | qBlue(corner) << 16), c.backGround);
    int green = 0;  // the thumbnail, somewhere in the cell
    for (int y = 0; y < 30; ++y)
      for (int x = column * 40; x < column * 40 + 40; ++x) green += image.pixel(x, y) == qRgb(0, 255, 0);
    EXPECT_GT(green, 0) << column;
  }
}

TEST_F(SheetRun, NothingSelectedOrTooLargeWritesNothing) {
  List(Pictures(3));
  EXPECT_EQ(WriteContactSheets(*doc, painter, 100000, 100000, (out / "huge.bmp").string(), kSheetBmp, 95, kBack), 0);
  for (int i = 0; i < 3; ++i) doc->SetEntryFlags(i, 0);
  EXPECT_EQ(WriteContactSheets(*doc, painter, 0, 0, (out / "none.bmp").string(), kSheetBmp, 95, kBack), 0);
  EXPECT_TRUE(fs::is_empty(out) && painter.seen.empty());
}

}  // namespace
}  // namespace tamro
