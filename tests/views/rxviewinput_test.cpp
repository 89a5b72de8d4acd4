// The grid under the user's hands: selection by keys and mouse, scrolling, the context
// menus, opening entries, dragging out, dropping in and the clipboard.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include "catalogue/notestore.h"
#include "catalogue/pathutil.h"
#include "support/zipwriter.h"
#include "views/commands.h"
#include "views/fileinterchange.h"
#include "views/picturewindows.h"
#include "views/viewtest.h"

namespace tamro {

// What the grid hands to the desktop's "open" (the associated program).
class UrlLog : public QObject {
  Q_OBJECT
 public slots:
  void Open(const QUrl &url) { urls.push_back(url); }

 public:
  std::vector<QUrl> urls;
};

namespace {

namespace fs = std::filesystem;

class FakeWindows : public PictureWindowList {
 public:
  bool Show(int index, bool newWindow) override {
    shown.emplace_back(index, newWindow);
    open = std::max(open, 1);
    return true;
  }
  void Synchronise(int index) override { synced.push_back(index); }
  void CloseAll() override {
    ++closed;
    open = 0;
  }
  int Count() const override { return open; }
  std::vector<std::pair<int, bool>> shown;
  std::vector<int> synced;
  int closed = 0, open = 0;
};

using test::HintLog;

class InputTest : public test::GridFixture {
 protected:
  void SetUp() override {
    GridFixture::SetUp();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "Open");
  }
  void TearDown() override {
    if (view) view->SetPictureWindows(nullptr);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    GridFixture::TearDown();
  }

  QPoint CellPoint(int index, bool caption = false) {
    const GridGeometry &g = view->Grid();
    const CPicEntry *e = doc->GetEntry(index);
    QPoint at((index % g.columns) * g.cellWidth, (index / g.columns) * g.cellHeight - view->Top());
    if (caption)
      return at + QPoint((e->captionRect.left + e->captionRect.right) / 2,
                         (e->captionRect.top + e->captionRect.bottom) / 2);
    return at + QPoint(g.cellWidth / 2, e->captionRect.top / 2);
  }
  // Clicks and keys hand back the selection they leave.
  std::vector<int> Click(int index, Qt::KeyboardModifiers keys = Qt::NoModifier, bool caption = false) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, keys, CellPoint(index, caption));
    return Selected();
  }
  std::vector<int> Key(Qt::Key key, Qt::KeyboardModifiers keys = Qt::NoModifier) {
    QTest::keyClick(view.get(), key, keys);
    return Selected();
  }
  std::vector<int> Selected() {
    std::vector<int> out;
    for (int i = 0; i < doc->GetEntryCount(); ++i)
      if (doc->GetEntry(i)->IsSelected()) out.push_back(i);
    return out;
  }
  void Set(int DocSettings::*key, int value) {
    DocSettings s = doc->Settings();
    s.*key = value;
    doc->ApplySettings(s);
  }

  UrlLog opened;
  FakeWindows windows;
};

using V = std::vector<int>;

TEST_F(InputTest, KeysMoveTheAnchorSelectAndScrollTheLeastNeeded) {
  OpenOn(7);
  ASSERT_EQ(view->Grid().columns, 3);
  HintLog log(*doc);
  EXPECT_EQ(Key(Qt::Key_Right), V({0}));  // no anchor yet: the first entry
  EXPECT_EQ(Key(Qt::Key_Right), V({1}));
  EXPECT_EQ(Key(Qt::Key_Right, Qt::ShiftModifier), V({1, 2}));
  Key(Qt::Key_Down, Qt::ControlModifier);
  // The details list hears of every bit and of the new anchor.
  EXPECT_EQ(std::tuple(Selected(), view->Anchor(), doc->Current(), log.Has(kHintSelection, 5, 1),
                       log.Has(kHintCurrentChanged, 5)),
            std::tuple(V({1, 2, 5}), 5, 5, true, true));
  Key(Qt::Key_Down);  // no row below
  EXPECT_EQ(std::tuple(Selected(), view->Top()), std::tuple(V({1, 2, 5}), 0));
  Key(Qt::Key_Right);
  // The last row came into view by the least scroll.
  EXPECT_EQ(std::tuple(Selected(), view->Top()), std::tuple(V({6}), 330 - view->viewport()->height()));
  Key(Qt::Key_Right);  // past the last entry
  EXPECT_EQ(std::tuple(Selected(), view->Anchor()), std::tuple(V({6}), 6));
  Key(Qt::Key_Up);
  EXPECT_EQ(view->Top(), 330 - view->viewport()->height());
  Key(Qt::Key_Up);
  EXPECT_EQ(view->Top(), 0);

  // Ctrl+A: one selected selects all, two selected select none.
  Key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(std::tuple(Selected().size(), log.Has(kHintSelectionAll, 1)), std::tuple(7u, true));
  EXPECT_TRUE(Key(Qt::Key_A, Qt::ControlModifier).empty());
  Key(Qt::Key_Right);
  Key(Qt::Key_Right, Qt::ShiftModifier);
  Key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(std::tuple(Selected().empty(), log.Has(kHintSelectionAll, 0)), std::tuple(true, true));
}

TEST_F(InputTest, ClicksSelectAsTheKeysSayAndAPlainPressWaitsForTheRelease) {
  OpenOn(9, 400, 400);
  EXPECT_EQ(Click(1), V({1}));
  EXPECT_EQ(Click(4, Qt::ControlModifier), V({1, 4}));
  EXPECT_EQ(Click(4, Qt::NoModifier, true), V({1}));  // the caption toggles like Ctrl
  Click(8, Qt::ControlModifier);
  EXPECT_EQ(Click(2), V({2}));
  Click(7, Qt::ControlModifier);
  Click(4, Qt::ShiftModifier);  // from the anchor 7 down to 4; 2 stays
  EXPECT_EQ(std::tuple(Selected(), view->Anchor()), std::tuple(V({2, 4, 5, 6, 7}), 4));

  // A plain press on a selected entry keeps the selection until the release...
  QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, CellPoint(5));
  EXPECT_EQ(std::tuple(view->PendingSingleSelect(), Selected().size()), std::tuple(true, 5u));
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, CellPoint(5));
  EXPECT_EQ(Selected(), V({5}));

  // ...and through a drag, which carries the whole selection.
  Click(6, Qt::ShiftModifier);
  std::vector<std::string> dragged;
  Qt::DropActions allowed;
  QImage shown;
  view->SetDragRunner([&](QMimeData *raw, Qt::DropActions actions) {
    std::unique_ptr<QMimeData> data(raw);
    allowed = actions;
    for (const QUrl &url : data->urls()) dragged.push_back(LocalPath(url));
    shown = view->DragPicture().toImage();
    return Qt::IgnoreAction;
  });
  QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, CellPoint(5));
  EXPECT_TRUE(view->PendingSingleSelect());
  QTest::mouseMove(view->viewport(), CellPoint(3));
  EXPECT_EQ(std::tuple(dragged.size(), allowed, view->PendingSingleSelect()),
            std::tuple(2u, Qt::CopyAction | Qt::MoveAction, false));
  // The drag shows the picture grabbed, not the cell the pointer reached.
  EXPECT_EQ(shown.pixel(shown.width() / 2, shown.height() / 2), test::TestColour(5).rgb());
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, CellPoint(3));
  EXPECT_EQ(Selected(), V({5, 6}));

  // The pointer shows where a click toggles.
  QTest::mouseMove(view->viewport(), CellPoint(0, true));
  EXPECT_EQ(view->viewport()->cursor().pixmap().toImage(), CRXView::ToggleCursor().pixmap().toImage());
  QTest::mouseMove(view->viewport(), CellPoint(0));
  EXPECT_EQ(view->viewport()->cursor().pixmap().toImage(), CRXView::NormalCursor().pixmap().toImage());
  EXPECT_NE(CRXView::NormalCursor().pixmap().toImage(), CRXView::ToggleCursor().pixmap().toImage());
}

TEST_F(InputTest, ManyEntriesChangingAtOnceAreRepaintedTogether) {
  OpenOn(70);
  auto corner = [this](int index) {
    Settle();
    const QImage shot = view->viewport()->grab().toImage();
    return shot.pixelColor((index % view->Grid().columns) * view->Grid().cellWidth + 3,
                           (index / view->Grid().columns) * view->Grid().cellHeight - view->Top() + 3);
  };
  const QColor plain = corner(1);
  Key(Qt::Key_Right);
  view->ClickSelect(69, Qt::ShiftModifier, false);
  EXPECT_EQ(Selected().size(), 70u);
  EXPECT_EQ(corner(1), QColor(0x8C, 0x8C, 0xFF));
  view->ClickSelect(4, Qt::NoModifier, false);  // a selected one: decided at the release
  EXPECT_EQ(Selected().size(), 70u);
  view->ClickSelect(1, Qt::ControlModifier, false);
  view->ClickSelect(1, Qt::NoModifier, false);
  EXPECT_EQ(Selected(), V({1}));
  EXPECT_EQ(corner(0), plain);
}

TEST_F(InputTest, BarWheelAndPageRequestsMoveByTheirMeasures) {
  OpenOn(30);  // 10 rows of 110 pixels
  const int page = view->Grid().pageHeight, max = view->Grid().MaxTop();
  ASSERT_EQ(page, 220);
  view->ScrollLine(1, true);  // Shift: one pixel
  EXPECT_EQ(view->Top(), 1);
  view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(view->Top(), 111);
  view->ScrollPage(1, true);  // Shift: whole rows
  EXPECT_EQ(view->Top(), 330);
  view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(view->Top(), 110);

  auto wheel = [this](int delta) {
    const QPointF at(50, 50);
    QWheelEvent event(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &event);
  };
  // The page setting: a page per notch; half a notch of a touch pad waits for the other half.
  for (const auto &[count, delta, top] :
       {std::tuple{-1, -120, 330}, {-1, -60, 330}, {-1, -60, 550}, {2, 120, 330}, {2, -360, max}}) {
    Set(&DocSettings::wheelScrollCount, count);
    wheel(delta);
    EXPECT_EQ(view->Top(), top) << delta << " to " << top;
  }

  // The details list scrolls with the grid, and the grid follows the list's current entry.
  Set(&DocSettings::syncJump, 1);
  HintLog log(*doc);
  view->SetTop(330);
  Settle();
  EXPECT_TRUE(log.Has(kHintFirstVisible, 9));
  Set(&DocSettings::synchronous, 1);
  doc->UpdateAllViews(nullptr, kHintCurrentChanged, UpdateArgument{27, 0, {}});
  EXPECT_EQ(view->Top(), max);
  doc->UpdateAllViews(nullptr, kHintCurrentChanged, UpdateArgument{4, 0, {}});
  EXPECT_EQ(view->Top(), 110);
  doc->UpdateAllViews(nullptr, kHintSelection, UpdateArgument{4, 1, {}});
  EXPECT_EQ(Selected(), V({4}));
  doc->UpdateAllViews(nullptr, kHintSelectionAll, UpdateArgument{1, 0, {}});
  EXPECT_EQ(Selected().size(), 30u);

  for (const auto &[key, top] :
       {std::pair{Qt::Key_Home, 0}, {Qt::Key_PageDown, page}, {Qt::Key_End, max}, {Qt::Key_PageDown, max}}) {
    Key(key);
    EXPECT_EQ(view->Top(), top) << key;
  }
}

TEST_F(InputTest, ContextMenusFollowTheSelection) {
  Profile::App().WriteString("AppCall", "App0\\Title", "見る");
  Profile::App().WriteString("AppCall", "App0\\Cmd", "true");
  OpenOn(4);
  QSignalSpy requested(view.get(), &CRXView::commandRequested);
  Click(0);
  Click(1, Qt::ControlModifier);
  view->SetHover(1);
  std::unique_ptr<QMenu> menu = view->MakeContextMenu();
  ASSERT_TRUE(menu && menu->actions().size() == 8);
  QList<QAction *> items = menu->actions();
  EXPECT_EQ(items[0]->text(), QStringLiteral("選択 2ﾌｧｲﾙ(28.2KB)"));
  EXPECT_EQ(std::tuple(items[1]->isSeparator(), items[3]->isSeparator(), items[4]->text(), items[7]->text()),
            std::tuple(true, true, QStringLiteral("複写(&C)..."), QStringLiteral("削除(&D)...")));
  ASSERT_TRUE(items[2]->menu());
  EXPECT_EQ(std::tuple(items[2]->text(), items[2]->menu()->actions().value(0)->data().toInt()),
            std::tuple(QStringLiteral("アプリケーションで開く(&G)"), 20000));
  items[7]->trigger();
  EXPECT_TRUE(requested.size() == 1 && requested[0][0].toInt() == kCmdDeleteFiles) << requested.size();

  // On an entry outside the selection: that entry alone, and its own menu.
  view->SetHover(3);
  menu = view->MakeContextMenu();
  EXPECT_EQ(Selected(), V({3}));
  items = menu->actions();
  EXPECT_EQ(items[0]->text().toStdString(), doc->GetEntry(3)->name);
  QStringList texts;
  for (QAction *a : items)
    if (!a->isSeparator() && !a->menu()) texts << a->text();
  EXPECT_EQ(texts, QStringList({QString::fromStdString(doc->GetEntry(3)->name), "複写(&C)...", "移動(&M)...",
                                "名前の変更(&R)...", "削除(&D)...", "書庫解凍(&U)...", "画像表示",
                                "再読み込み", "クリップボードへコピー", "コメント入力(&N)", "壁紙設定(&W)...",
                                "関連付け実行(&X)"}));
  for (QAction *a : items)  // a picture: nothing to unpack
    if (a->text() == QStringLiteral("書庫解凍(&U)...")) {
      EXPECT_FALSE(a->isEnabled());
    }
  // The pointer left and the folder was re-sorted while the menu was open: the command still
  // goes to the picture the menu was for.
  view->SetHover(-1);
  const std::string name = doc->GetEntry(3)->name;
  doc->SortBy(kSortName, name == "p103.bmp" ? 2 : 1);
  ASSERT_NE(IndexOf(name), 3);
  for (QAction *a : items)
    if (a->text() == QStringLiteral("コメント入力(&N)")) a->trigger();
  EXPECT_EQ(requested.back()[0].toInt(), kCmdEditNote);
  EXPECT_EQ(view->CommandTarget(), IndexOf(name));
}

TEST_F(InputTest, EntriesOpenInPictureWindowsOrWithTheAssociatedProgram) {
  box.write("pics/readme.xyz", "not a picture");
  OpenOn(4, 500, 300);
  doc->OnSortCommand(SortCommand::kByName);  // the pictures first, whatever order the folder gives
  ASSERT_EQ(IndexOf("readme.xyz"), 4);
  Settle();
  view->SetPictureWindows(&windows);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, CellPoint(1));
  EXPECT_EQ(windows.shown, (std::vector<std::pair<int, bool>>{{1, false}}));
  Set(&DocSettings::multiPicView, 1);
  Key(Qt::Key_Right);
  Key(Qt::Key_Return);
  EXPECT_EQ(windows.shown.back(), std::make_pair(0, true));
  Set(&DocSettings::multiPicView, 0);

  // An entry not examined yet is examined first.
  view->SetHover(2);
  view->OnCommand(kCmdReload);
  ASSERT_LT(doc->GetEntry(2)->facts.decoder, 0);
  view->OnCommand(kCmdViewer);
  EXPECT_EQ(std::tuple(doc->GetEntry(2)->facts.decoder >= 0, windows.shown.back()),
            std::tuple(true, std::make_pair(2, false)));
  // A file no decoder reads goes to the desktop's program for it.
  view->SetHover(IndexOf("readme.xyz"));
  view->OnCommand(kCmdViewer);
  ASSERT_EQ(opened.urls.size(), 1u);
  EXPECT_EQ(std::tuple(LocalPath(opened.urls[0]), windows.shown.size()),
            std::tuple((folder / "readme.xyz").string(), 3u));

  // With Synchronous on, the open window follows the user's selection.
  Set(&DocSettings::synchronous, 1);
  Settle();  // cells are hit where they were painted last
  Click(3);
  EXPECT_EQ(windows.synced, V({3}));
  // A new listing closes the windows unless they are to stay.
  for (const int stay : {1, 0}) {
    Set(&DocSettings::stay, stay);
    doc->RefreshFolder();
    EXPECT_EQ(windows.closed, 1 - stay) << stay;
  }
  Settle();
  // Without picture windows a picture opens with the associated program too.
  view->SetPictureWindows(nullptr);
  view->SetHover(0);
  view->OnCommand(kCmdViewer);
  EXPECT_EQ(opened.urls.size(), 2u);
}

TEST(DropEffect, FollowsDaDMoveAndTheKeys) {
  const auto both = Qt::CopyAction | Qt::MoveAction;
  EXPECT_EQ(DropEffectFor(true, false, Qt::NoModifier, false, both), Qt::CopyAction);
  EXPECT_EQ(DropEffectFor(true, false, Qt::ShiftModifier, false, both), Qt::MoveAction);
  EXPECT_EQ(DropEffectFor(true, false, Qt::ControlModifier, false, both), Qt::CopyAction);
  EXPECT_EQ(DropEffectFor(true, false, Qt::NoModifier, true, both), Qt::MoveAction);
  EXPECT_EQ(DropEffectFor(true, false, Qt::ControlModifier, true, both), Qt::CopyAction);
  EXPECT_EQ(DropEffectFor(true, false, Qt::ShiftModifier, true, both), Qt::MoveAction);
  // Nothing for the grid's own drag or for data without files.
  EXPECT_EQ(DropEffectFor(true, true, Qt::NoModifier, false, both), Qt::IgnoreAction);
  EXPECT_EQ(DropEffectFor(false, false, Qt::NoModifier, false, both), Qt::IgnoreAction);
  // A source that only lets copy gets a copy.
  EXPECT_EQ(DropEffectFor(true, false, Qt::NoModifier, true, Qt::CopyAction), Qt::CopyAction);
}

TEST_F(InputTest, AFileManagersDropIsMovedInWithItsNotesAndTheGridsOwnDragIsRefused) {
  const fs::path outside = box.root() / "デスクトップ";
  test::WriteColourPicture(outside / "写真 a#1.bmp", 30, 20, Qt::red);
  test::WriteColourPicture(outside / "b.bmp", 30, 20, Qt::blue);
  OpenOn(2);
  // As a file manager writes them: percent-encoded URLs, lines ended by CR LF.
  QMimeData mime;
  mime.setData(
      "text/uri-list",
      QUrl::fromLocalFile(QString::fromStdString((outside / "写真 a#1.bmp").string())).toEncoded() + "\r\n" +
          QUrl::fromLocalFile(QString::fromStdString((outside / "b.bmp").string())).toEncoded() + "\r\n");
  mime.setData(kQevxNoteMimeType, QByteArray::fromStdString(BuildQevxNoteBlock({"赤い\r\n写真", ""})));
  const QPoint at(30, 30);
  EXPECT_EQ(test::DragAndDrop(view->viewport(), mime, at, Qt::ShiftModifier), Qt::MoveAction);
  Settle();  // the transfer runs once the file manager has its answer
  EXPECT_EQ(std::tuple(fs::exists(outside / "写真 a#1.bmp"), fs::exists(folder / "写真 a#1.bmp"),
                       fs::exists(folder / "b.bmp"), doc->GetEntryCount()),
            std::tuple(false, true, true, 4));
  std::string note;
  EXPECT_TRUE(ReadNote(folder.string(), "", "写真 a#1.bmp", note) == 0 && note == "赤い\r\n写真") << note;

  // While the grid drags its own selection, it takes no drop of it.
  Click(0);
  bool refused = false;
  view->SetDragRunner([&](QMimeData *raw, Qt::DropActions actions) {
    std::unique_ptr<QMimeData> data(raw);
    QDragMoveEvent over(at, actions, data.get(), Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &over);
    refused = !over.isAccepted();
    return Qt::IgnoreAction;
  });
  view->StartDrag();
  EXPECT_EQ(std::tuple(refused, doc->GetEntryCount()), std::tuple(true, 4));
}

TEST_F(InputTest, ADragOffersFilesNotesAndWrittenOutMembersAndDropsWhatWasMoved) {
  MakePictures(2);
  WriteNote(folder.string(), "", "p100.bmp", "一枚目");
  const std::string member = test::ReadFile(test::WriteColourPicture(box.path("in.bmp"), 20, 10, Qt::green));
  test::WriteZip(folder / "z.zip", {{"inner/in.bmp", member, 1200000000}});
  fs::create_directories(box.path("spi"));
  fs::copy_file(fs::path(TAMRO_BIN_DIR) / "axarchive.spi", box.path("spi/axarchive.spi"));
  Profile::App().WriteString("SPI", "SPIDIR", box.path("spi").string());
  profile.WriteInt("RXDoc", "Archive", 1);
  loadPlugins = true;
  Open(400, 300);
  ASSERT_EQ(doc->GetEntryCount(), 3);
  HintLog log(*doc);
  Key(Qt::Key_A, Qt::ControlModifier);
  const int second = IndexOf("p101.bmp");

  std::vector<std::string> files, notes;
  view->SetDragRunner([&](QMimeData *raw, Qt::DropActions) {
    std::unique_ptr<QMimeData> data(raw);
    for (const QUrl &url : data->urls()) files.push_back(LocalPath(url));
    const QByteArray block = data->data(kQevxNoteMimeType);
    notes = ParseQevxNoteBlock(block.constData(), static_cast<std::size_t>(block.size()), 2);
    // The target moves the second picture away.
    fs::rename(folder / "p101.bmp", box.root() / "p101.bmp");
    return Qt::MoveAction;
  });
  view->StartDrag();
  // The plain files in display order with their notes, then the member written out.
  ASSERT_EQ(files.size(), 3u);
  const std::size_t first = files[0] == (folder / "p100.bmp").string() ? 0 : 1;
  EXPECT_EQ(std::tuple(files[first], files[1 - first], notes[first], notes[1 - first]),
            std::tuple((folder / "p100.bmp").string(), (folder / "p101.bmp").string(), "一枚目", ""));
  // The member with its own time.
  EXPECT_EQ(std::tuple(fs::path(files[2]).filename(), test::ReadFile(files[2]),
                       QFileInfo(QString::fromStdString(files[2])).lastModified().toSecsSinceEpoch()),
            std::tuple("in.bmp", member, 1200000000));
  // The entry whose file went elsewhere left the listing.
  EXPECT_EQ(std::tuple(doc->GetEntryCount(), log.Has(kHintEntryRemoved, second)), std::tuple(2, true));
  // A target that moves the files after it has answered: the grid looks again a little later.
  for (int i = 0; i < 2; ++i) Key(Qt::Key_A, Qt::ControlModifier);
  ASSERT_EQ(Selected().size(), 2u);
  view->SetDragRunner([](QMimeData *raw, Qt::DropActions) {
    delete raw;
    return Qt::MoveAction;
  });
  view->StartDrag();
  EXPECT_EQ(doc->GetEntryCount(), 2);
  fs::rename(folder / "p100.bmp", box.root() / "p100.bmp");
  // A slow machine (or a sanitizer) may need longer than the monitor's quiet period.
  EXPECT_TRUE(QTest::qWaitFor([&] { return doc->GetEntryCount() == 1; }, 10000)) << doc->GetEntryCount();
  // The written-out member stays a while for the target, and goes with the grid.
  EXPECT_TRUE(fs::exists(files[2]));
  view.reset();
  EXPECT_FALSE(fs::exists(files[2]));
}

TEST_F(InputTest, ClipboardCarriesFilesNotesAndPictureAndPasteTakesAFileManagersCut) {
  MakePictures(2);
  WriteNote(folder.string(), "", "p100.bmp", "note");
  Open(400, 300);
  Key(Qt::Key_A, Qt::ControlModifier);
  Key(Qt::Key_C, Qt::ControlModifier);
  const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
  ASSERT_TRUE(copied);
  const FileDrop list = ReadFileDrop(copied);
  ASSERT_EQ(std::tuple(list.files.size(), list.notes.size()), std::tuple(2u, 2u));
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(std::tuple(list.files[i], list.notes[i]),
              std::tuple(JoinPath(folder.string(), doc->GetEntry(i)->name),
                         doc->GetEntry(i)->name == "p100.bmp" ? "note" : ""));
  EXPECT_TRUE(copied->data(kGnomeCopiedFilesMime).startsWith("copy\nfile://"));
  // The picture of the last one.
  const QImage picture = qvariant_cast<QImage>(copied->imageData());
  EXPECT_EQ(std::tuple(picture.size(), picture.pixelColor(40, 30).rgb()),
            std::tuple(QSize(80, 60), Expected(1).rgb()));

  // Cut in a file manager: pasting here moves, the note with it.
  const fs::path outside = box.root() / "other place";
  test::WriteColourPicture(outside / "c 1.bmp", 30, 20, Qt::red);
  QMimeData cut;
  cut.setData(
      kGnomeCopiedFilesMime,
      "cut\n" + QUrl::fromLocalFile(QString::fromStdString((outside / "c 1.bmp").string())).toEncoded());
  cut.setData(kQevxNoteMimeType, QByteArray::fromStdString(BuildQevxNoteBlock({"moved note"})));
  EXPECT_EQ(PasteFiles(*doc, &cut), 1);
  EXPECT_EQ(std::tuple(fs::exists(outside / "c 1.bmp"), fs::exists(folder / "c 1.bmp"), doc->GetEntryCount()),
            std::tuple(false, true, 3));
  std::string note;
  EXPECT_TRUE(ReadNote(folder.string(), "", "c 1.bmp", note) == 0 && note == "moved note") << note;
  // A plain list (a copy in Dolphin) copies.
  test::WriteColourPicture(outside / "d.bmp", 30, 20, Qt::red);
  QMimeData copy;
  copy.setData("text/uri-list", FileUrl((outside / "d.bmp").string()) + "\r\n");
  copy.setData(kKdeCutSelectionMime, "0");
  EXPECT_EQ(PasteFiles(*doc, &copy), 1);
  EXPECT_EQ(std::tuple(fs::exists(outside / "d.bmp"), doc->GetEntryCount()), std::tuple(true, 4));
}

TEST(FileDropTest, SkippedUrlsKeepTheNotesInPlace) {
  // The i-th note belongs to the i-th URL, whatever is left out; a NUL in a path refuses it.
  const struct {
    QByteArray list;
    std::vector<std::string> files, notes;
  } rows[] = {
      {"file:///p/a.jpg\r\nhttp://host/b.jpg\r\nfile:///p/c.jpg\r\n", {"/p/a.jpg", "/p/c.jpg"}, {"A", "C"}},
      {"file:///p/x%00.jpg\r\nfile:///p/c.jpg\r\n", {"/p/c.jpg"}, {"B"}},
  };
  for (const auto &row : rows) {
    QMimeData data;
    data.setData(kUriListMime, row.list);
    data.setData(kQevxNoteMimeType, QByteArray("A\0B\0C\0\0", 7));
    const FileDrop drop = ReadFileDrop(&data);
    EXPECT_EQ(std::tuple(drop.files, drop.notes), std::tuple(row.files, row.notes)) << row.list.constData();
  }
}

}  // namespace
}  // namespace tamro

#include "rxviewinput_test.moc"
