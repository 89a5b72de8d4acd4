// Tamro as it starts: the main window on a folder of pictures, the idle phases, the folder
// tree and its commands.

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QUrl>
#include <functional>
#include <utility>

#include "app/apptest.h"
#include "catalogue/notestore.h"
#include "decode/spihost.h"
#include "platform/ui.h"
#include "support/zipwriter.h"
#include "views/commands.h"
#include "views/fileinterchange.h"
#include "views/oneview.h"
#include "views/onewnd.h"
#include "views/picturewindows.h"
#include "views/viewtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;
using AppTest = test::AppFixture;
using test::TestColour;
using test::WritePicture;

TEST_F(AppTest, MainWindowShowsEveryVisibleCellWithThumbnailAndCaption) {
  for (int i = 0; i < 8; ++i) WritePicture(folder / ("絵 " + std::to_string(i) + ".bmp"), TestColour(i));
  Profile::App().WriteString("MainFrame", "Window", "0,0,900,640");
  Profile::App().WriteString("LstView", "Window", "0,0,160,60");
  Start({folder.string(), "-nologo"});
  EXPECT_EQ(app->Splash(), nullptr);
  CRXView *view = frame->View();
  ASSERT_EQ(std::tuple(doc->Folder(), doc->GetEntryCount()), std::tuple(folder.string(), 8));
  // The tree selected the start folder.
  EXPECT_EQ(std::tuple(CRXView::DrawPhase(), frame->CurrentFolder().toStdString(), tree->SelectedPath()),
            std::tuple(CRXView::kIdle, folder.string(), folder.string()));

  const QImage shot = frame->grab().toImage();
  if (const char *keep = getenv("TAMRO_SHOT")) shot.save(QString::fromUtf8(keep));
  const QPoint origin = view->viewport()->mapTo(frame, QPoint(0, 0));
  const GridGeometry &g = view->Grid();
  int checked = 0;
  for (int i = 0; i < doc->GetEntryCount(); ++i) {
    const int x = (i % g.columns) * g.cellWidth, y = (i / g.columns) * g.cellHeight;
    if (y + g.cellHeight > view->viewport()->height()) continue;
    CPicEntry *e = doc->GetEntry(i);
    ASSERT_TRUE(e->thumbnail) << i;
    // The picture is centred in the area above the caption bar.
    const QColor centre =
        shot.pixelColor(origin + QPoint(x + g.cellWidth / 2, y + (e->captionRect.top - 2) / 2));
    // Entries keep the folder's own order: the number in the name tells the colour.
    const QColor want = TestColour(std::stoi(e->name.substr(e->name.find(' ') + 1)));
    EXPECT_LT(std::abs(centre.hue() - want.hue()), 6) << i << " " << e->name;
    // The caption bar is white with dark text in it.
    int dark = 0, white = 0;
    for (int cx = e->captionRect.left + 3; cx < e->captionRect.right - 3; ++cx)
      for (int cy = e->captionRect.top + 2; cy < e->captionRect.bottom - 2; ++cy) {
        const QColor c = shot.pixelColor(origin + QPoint(x + cx, y + cy));
        dark += c.lightness() < 100;
        white += c == Qt::white;
      }
    EXPECT_TRUE(dark > 10 && white > dark) << i << ": " << dark << " dark, " << white << " white";
    ++checked;
  }
  EXPECT_GE(checked, 4);
}

TEST_F(AppTest, APictureNamedAtStartIsSelectedScrolledToAndShown) {
  for (int i = 0; i < 60; ++i) WritePicture(folder / ("p" + std::to_string(100 + i) + ".bmp"), TestColour(i));
  Profile::App().WriteString("MainFrame", "Window", "0,0,700,500");
  // As a desktop entry's %U hands it over.
  // Listed by name, so that the picture named is past the first screen.
  Profile::App().WriteString("LstView", "SortHistory", std::to_string(SortKey{kSortName, 1}.Packed()));
  const QString url = QUrl::fromLocalFile(QString::fromStdString((folder / "p130.bmp").string())).toString();
  ASSERT_TRUE(url.contains(QStringLiteral("%25"))) << url.toStdString();
  Start({"-nologo", url.toStdString()});
  ASSERT_EQ(doc->Folder(), folder.string());
  ASSERT_GE(doc->Current(), 0);
  const CPicEntry *current = doc->GetEntry(doc->Current());
  // Keys go on from it.
  EXPECT_EQ(
      std::tuple(current->name, current->IsSelected(), doc->CountSelected(true), frame->View()->Anchor()),
      std::tuple("p130.bmp", true, 1, doc->Current()));
  const GridGeometry &g = frame->View()->Grid();
  const int top = frame->View()->Top(), cellTop = doc->Current() / g.columns * g.cellHeight;
  ASSERT_GT(cellTop + g.cellHeight, g.clientHeight);
  EXPECT_TRUE(top > 0 && top <= cellTop) << top << " " << cellTop;
  EXPECT_GE(top + g.clientHeight, cellTop + g.cellHeight) << "the cell is in view";
  // And shown in a picture window.
  auto *windows = dynamic_cast<CPictureWindows *>(frame->View()->PictureWindows());
  ASSERT_TRUE(windows);
  ASSERT_EQ(windows->Count(), 1);
  EXPECT_EQ(std::tuple(windows->At(0)->View()->Index(), windows->At(0)->windowTitle()),
            std::tuple(doc->Current(), QStringLiteral("p130.bmp")));
}

TEST_F(AppTest, AnArchiveNamedAtStartIsListed) {
  QBuffer png;
  png.open(QIODevice::WriteOnly);
  QImage(30, 20, QImage::Format_RGB888).save(&png, "PNG");
  const fs::path zip = folder / "photos.zip";
  ASSERT_FALSE(test::WriteZip(zip, {{"a.png", png.data().toStdString(), 1000000000},
                                    {"b.png", png.data().toStdString(), 1000000000}})
                   .empty());
  WritePicture(folder / "other.bmp", Qt::red);
  Start({zip.string(), "-nologo"});
  EXPECT_TRUE(doc->ListsArchive());
  ASSERT_EQ(doc->GetEntryCount(), 2);
  EXPECT_TRUE(doc->GetEntry(0)->IsArchiveMember());
}

TEST_F(AppTest, SeveralPicturesNamedAtStartAreSelectedAndShownUpToALimitAndTile) {
  std::vector<std::string> args{"-nologo"};
  for (int i = 0; i < 11; ++i) {
    WritePicture(folder / ("p" + std::to_string(10 + i) + ".bmp"), TestColour(i));
    // Named from the last: each window shows the picture in the order named.
    if (i > 0) args.push_back((folder / ("p" + std::to_string(21 - i) + ".bmp")).string());
  }
  Start(args);
  ASSERT_EQ(std::tuple(doc->Folder(), doc->CountSelected(true)), std::tuple(folder.string(), 10));
  for (int i = 0; i < doc->GetEntryCount(); ++i)
    EXPECT_EQ(doc->GetEntry(i)->IsSelected(), doc->GetEntry(i)->name != "p10.bmp")
        << "only p10.bmp was not named";
  EXPECT_EQ(doc->GetEntry(doc->Current())->name, "p20.bmp");
  auto *windows = dynamic_cast<CPictureWindows *>(frame->View()->PictureWindows());
  ASSERT_EQ(windows->Count(), CMainFrame::kMaxOpenWindows);
  for (int i = 0; i < windows->Count(); ++i)
    EXPECT_EQ(windows->At(i)->windowTitle(), QStringLiteral("p%1.bmp").arg(20 - i));

  // The main window tiles them: no two overlap.
  frame->UpdateCommandStates();
  QAction *tile = frame->Action(kCmdTilePictures);
  ASSERT_TRUE(tile && tile->isEnabled());
  tile->trigger();
  for (int i = 0; i < windows->Count(); ++i)
    for (int j = i + 1; j < windows->Count(); ++j)
      EXPECT_FALSE(windows->At(i)->frameGeometry().intersects(windows->At(j)->frameGeometry()))
          << i << " " << j;
}

TEST_F(AppTest, OpenShowsThePictureAndTheRecentListKeepsTheLastFour) {
  const fs::path other = box.root() / "other";
  for (const char *name : {"a.bmp", "b.bmp", "c.bmp"}) WritePicture(folder / name, Qt::red);
  for (const char *name : {"d.bmp", "e&f.bmp"}) WritePicture(other / name, Qt::blue);
  Start({other.string(), "-nologo"});
  auto *windows = frame->View()->PictureWindows();
  const auto open = [&](const fs::path &file) {
    bool answered = false;
    QTimer::singleShot(0, [&] {
      auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
      if (!dialog) return;
      // Picture and archive patterns come from the decoders.
      answered = dialog->nameFilters().front().contains(QStringLiteral("*.bmp"));
      dialog->selectFile(QString::fromStdString(file.string()));
      static_cast<QDialog *>(dialog)->accept();
    });
    frame->Action(kCmdFileOpen)->trigger();
    EXPECT_TRUE(answered) << file;
  };
  open(folder / "b.bmp");
  ASSERT_EQ(doc->Folder(), folder.string());
  EXPECT_EQ(std::tuple(doc->GetEntry(doc->Current())->name, doc->CountSelected(true)),
            std::tuple("b.bmp", 1));
  ASSERT_EQ(windows->Count(), 1);
  for (const fs::path &file : {folder / "a.bmp", other / "d.bmp", folder / "c.bmp", other / "e&f.bmp"})
    open(file);
  EXPECT_EQ(doc->Folder(), other.string());
  const std::vector<std::string> last4{(other / "e&f.bmp").string(), (folder / "c.bmp").string(),
                                       (other / "d.bmp").string(), (folder / "a.bmp").string()};
  EXPECT_EQ(frame->RecentFiles(), last4);
  EXPECT_EQ(frame->Action(kCmdRecentFile1)->text(),
            QStringLiteral("&1 ") + QString::fromStdString((other / "e&&f.bmp").string()));

  // Kept for the next start; a recent file chosen comes first again and is shown.
  app.reset();
  Start({folder.string(), "-nologo"});
  EXPECT_EQ(frame->RecentFiles(), last4);
  frame->UpdateCommandStates();
  frame->Action(kCmdRecentFile1 + 2)->trigger();
  EXPECT_EQ(std::tuple(doc->Folder(), doc->GetEntry(doc->Current())->name, frame->RecentFiles().front(),
                       frame->View()->PictureWindows()->Count()),
            std::tuple(other.string(), "d.bmp", (other / "d.bmp").string(), 1));

  // One that is gone is said so and leaves the list.
  ScriptedUi ui;
  ScopedUi scoped(ui);
  fs::remove(folder / "c.bmp");
  frame->UpdateCommandStates();
  frame->Action(kCmdRecentFile1 + 2)->trigger();
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_NE(ui.Messages().back()->text.find("c.bmp"), std::string::npos);
  EXPECT_EQ(frame->RecentFiles(),
            (std::vector<std::string>{(other / "d.bmp").string(), (other / "e&f.bmp").string(),
                                      (folder / "a.bmp").string()}));
  EXPECT_EQ(std::tuple(frame->Action(kCmdRecentFile1 + 3)->isVisible(),
                       Profile::App().GetString("Recent File List", "File4", "gone")),
            std::tuple(false, "gone"));
}

TEST_F(AppTest, ClosingWritesPlacementBarsAndTheFolder) {
  WritePicture(folder / "a.bmp", Qt::red);
  Start({folder.string(), "/nologo"});
  frame->close();
  Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(p.GetString("WindowPlacement", "flags", ""),
                       p.GetString("WindowPlacement", "rcNormalPosition", "").empty(),
                       p.GetInt("MainFrame", "ToolBar", -1), p.GetInt("MainFrame", "StatusBar", -1),
                       p.GetString("DrvView", "Path", "")),
            std::tuple("0", false, 1, 1, folder.string()));
  // The next start restores the folder without an argument.
  app.reset();
  Start({"-nologo"});
  EXPECT_EQ(doc->Folder(), folder.string());
}

// Calls `act` when a widget of type W is first shown.
template <class W>
class FirstShow : public QObject {
 public:
  explicit FirstShow(std::function<void()> act) : act_(std::move(act)) { qApp->installEventFilter(this); }
  ~FirstShow() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject *o, QEvent *e) override {
    if (e->type() == QEvent::Show && act_ && qobject_cast<W *>(o)) std::exchange(act_, nullptr)();
    return false;
  }

 private:
  std::function<void()> act_;
};

TEST_F(AppTest, SplashShowsItsLineAndClosesAtFirstPaint) {
  WritePicture(folder / "a.bmp", Qt::red);
  app = std::make_unique<CRXApp>(Profile::App());
  // The main window comes up with the plug-ins in, so it paints at once.
  int pluginsAtShow = -1;
  FirstShow<CMainFrame> shown([&] { pluginsAtShow = app->Host().Count(kSpiPicture); });
  ASSERT_TRUE(app->InitInstance({folder.string()}));
  EXPECT_GT(pluginsAtShow, 0);
  // Closed by the grid's first paint (it closes itself and goes away).
  for (int i = 0; i < 200 && app->Splash(); ++i) QApplication::processEvents();
  QTest::qWait(50);
  EXPECT_EQ(app->Splash(), nullptr);
}

TEST_F(AppTest, TreeCommandsRefuseMountRootsAndWorkOnFolders) {
  fs::create_directories(folder / "sub");
  Start({folder.string(), "-nologo"});
  ScriptedUi ui;
  ScopedUi scoped(ui);

  ASSERT_TRUE(IsMountRoot("/"));
  EXPECT_FALSE(IsMountRoot(folder.string()));
  ASSERT_TRUE(tree->SelectPath("/"));
  ui.inputs.push_back("renamed");
  EXPECT_FALSE(tree->RenameFolder(tree->currentItem()));
  EXPECT_FALSE(tree->DeleteFolder(tree->currentItem()));
  EXPECT_EQ(std::tuple(ui.calls.empty(), ui.inputs.size()), std::tuple(true, 1u));  // not even asked
  ui.inputs.clear();

  // Create, rename and delete a folder with an awkward name.
  ASSERT_TRUE(tree->SelectPath(folder.string()));
  ui.inputs.push_back("新しい 'x' %d");
  ASSERT_TRUE(tree->CreateFolder(tree->currentItem()));
  const fs::path made = folder / "新しい 'x' %d";
  EXPECT_EQ(std::tuple(fs::is_directory(made), tree->SelectedPath()), std::tuple(true, made.string()));
  ui.inputs.push_back("sub");  // taken already: refused, nothing replaced
  EXPECT_FALSE(tree->RenameFolder(tree->currentItem()));
  EXPECT_TRUE(fs::is_directory(made));
  ASSERT_FALSE(ui.Messages().empty());
  EXPECT_NE(ui.Messages().back()->text.find("フォルダの名前変更に失敗しました"), std::string::npos);
  ui.inputs.push_back("done");
  ASSERT_TRUE(tree->RenameFolder(tree->currentItem()));
  EXPECT_EQ(std::tuple(fs::is_directory(folder / "done"), tree->SelectedPath()),
            std::tuple(true, (folder / "done").string()));
  EXPECT_FALSE(tree->SelectPath("//server/share"));  // no item leads there: the selection stays
  EXPECT_EQ(tree->SelectedPath(), (folder / "done").string());

  Profile::App().WriteInt("RXDoc", "TrashCan", 0);
  DocSettings s = doc->Settings();
  s.trashCan = 0;
  doc->ApplySettings(s);
  ui.answers.push_back(IDNO);
  EXPECT_FALSE(tree->DeleteFolder(tree->currentItem()));
  EXPECT_EQ(std::tuple(fs::is_directory(folder / "done"),
                       ui.Messages().back()->text.find("フォルダを削除します") != std::string::npos),
            std::tuple(true, true));
  ui.answers.push_back(IDYES);
  EXPECT_TRUE(tree->DeleteFolder(tree->currentItem()));
  EXPECT_EQ(std::tuple(fs::exists(folder / "done"), fs::is_directory(folder / "sub")),
            std::tuple(false, true));
}

TEST_F(AppTest, FilesDroppedOnTheTreeTravelWithTheirNotesAndTheOpenFolderFollows) {
  fs::create_directories(folder / "target");
  const fs::path elsewhere = box.root() / "elsewhere";
  WritePicture(elsewhere / "a b.bmp", TestColour(1));
  WritePicture(elsewhere / "c.bmp", TestColour(2));
  Start({folder.string(), "-nologo"});
  ASSERT_TRUE(tree->SelectPath(folder.string()));
  ASSERT_EQ(doc->GetEntryCount(), 0);
  ScriptedUi ui;
  ScopedUi scoped(ui);

  // Copied into the open folder: the listing follows and the first note comes along.
  EXPECT_EQ(
      tree->DropFiles(tree->currentItem(), {(elsewhere / "a b.bmp").string(), (elsewhere / "c.bmp").string()},
                      {"first\nline", ""}, false),
      2);
  EXPECT_EQ(std::tuple(fs::exists(elsewhere / "a b.bmp"), doc->GetEntryCount()), std::tuple(true, 2));
  std::string note;
  EXPECT_EQ(ReadNote(folder.string(), "", "a b.bmp", note), 0);
  EXPECT_EQ(note, "first\nline");

  // Moved out of the open folder into a sub-folder: the entries go, the note travels.
  ASSERT_TRUE(tree->SelectPath((folder / "target").string()));
  EXPECT_EQ(doc->Folder(), (folder / "target").string());  // selecting a folder opens it
  QTreeWidgetItem *target = tree->currentItem();
  ASSERT_TRUE(tree->SelectPath(folder.string()));
  EXPECT_EQ(tree->DropFiles(target, {(folder / "a b.bmp").string()}, {"first\nline"}, true), 1);
  EXPECT_EQ(std::tuple(fs::exists(folder / "a b.bmp"), fs::exists(folder / "target" / "a b.bmp"),
                       doc->GetEntryCount()),
            std::tuple(false, true, 1));
  EXPECT_EQ(ReadNote((folder / "target").string(), "", "a b.bmp", note), 0);
  EXPECT_EQ(note, "first\nline");
  EXPECT_EQ(ReadNote(folder.string(), "", "a b.bmp", note), -1);

  // A folder deleted with the trash on lands in the freedesktop trash.
  const fs::path data = box.root() / "data";
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  ASSERT_TRUE(tree->SelectPath((folder / "target").string()));
  EXPECT_TRUE(tree->DeleteFolder(tree->currentItem()));
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(
      std::tuple(fs::exists(folder / "target"), fs::exists(data / "Trash" / "files" / "target" / "a b.bmp"),
                 fs::exists(data / "Trash" / "info" / "target.trashinfo")),
      std::tuple(false, true, true));
}

TEST_F(AppTest, MenuCommandsFollowTheSelectionAndRun) {
  for (int i = 0; i < 3; ++i) WritePicture(folder / ("p" + std::to_string(i) + ".bmp"), TestColour(i));
  const fs::path outside = box.root() / "elsewhere";
  WritePicture(outside / "copied.bmp", TestColour(5));
  Start({folder.string(), "-nologo"});
  CRXView *view = frame->View();
  QApplication::clipboard()->clear();
  frame->UpdateCommandStates();
  for (int id :
       {kCmdCopyFiles, kCmdMoveFiles, kCmdDeleteFiles, kCmdRenameSequential, kCmdHtml, kCmdPrint, kCmdReport,
        kCmdContactSheet, kCmdSaveInFormat, kCmdUnpackSelected, kCmdCopyClipboard, kCmdPaste})
    EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
  for (int id : {kCmdBehaviour, kCmdThumbOption, kCmdPluginSet, kCmdRegisterApps, kCmdSelectAll, kCmdRefresh})
    EXPECT_TRUE(frame->Action(id)->isEnabled()) << id;
  // A command disabled for want of a selection says so when it is pointed at.
  auto menuOf = [this](int id) {
    for (QObject *o : frame->Action(id)->associatedObjects())
      if (auto *m = qobject_cast<QMenu *>(o)) return m;
    return static_cast<QMenu *>(nullptr);
  };
  QMenu *tools = menuOf(kCmdHtml);
  ASSERT_NE(tools, nullptr);
  tools->popup(frame->mapToGlobal(QPoint(10, 10)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(tools));
  QTest::mouseMove(tools, tools->actionGeometry(frame->Action(kCmdHtml)).center());
  QApplication::processEvents();
  EXPECT_EQ(frame->statusBar()->currentMessage(), "ﾌｧｲﾙが選択されていません");
  tools->hide();
  // One mnemonic letter per item of the file menu: R belongs to rename.
  EXPECT_EQ(std::ranges::count_if(menuOf(kCmdRefresh)->actions(),
                                  [](QAction *a) { return a->text().contains("(&R)"); }),
            1);

  view->ClickSelect(1, Qt::NoModifier, false);
  QApplication::processEvents();
  for (int id : {kCmdCopyFiles, kCmdMoveFiles, kCmdDeleteFiles, kCmdHtml, kCmdPrint, kCmdReport,
                 kCmdContactSheet, kCmdSaveInFormat, kCmdCopyClipboard})
    EXPECT_TRUE(frame->Action(id)->isEnabled()) << id;

  EXPECT_TRUE(frame->Action(kCmdHtml)->statusTip().isEmpty());
  frame->RunCommand(kCmdSaveFolderInfo);
  EXPECT_EQ(std::tuple(fs::exists(folder / "_THUMBS_.RXI"), frame->statusBar()->currentMessage()),
            std::tuple(true, "ﾌｫﾙﾀﾞ情報を保存しました"));
  frame->RunCommand(kCmdSynchronous);
  EXPECT_EQ(std::tuple(doc->Settings().synchronous, frame->Action(kCmdSynchronous)->isChecked()),
            std::tuple(1, true));

  // Files a file manager copied: paste is offered and copies them in.
  auto *copied = new QMimeData;
  copied->setData(kGnomeCopiedFilesMime, "copy\n" + FileUrl((outside / "copied.bmp").string()));
  QApplication::clipboard()->setMimeData(copied);
  QApplication::processEvents();
  EXPECT_TRUE(frame->Action(kCmdPaste)->isEnabled());
  frame->RunCommand(kCmdPaste);
  EXPECT_EQ(
      std::tuple(fs::exists(folder / "copied.bmp"), fs::exists(outside / "copied.bmp"), doc->GetEntryCount()),
      std::tuple(true, true, 4));
}

TEST_F(AppTest, TreeOpensItsMenuWithoutOpeningTheFolderAndTakesDroppedFolders) {
  fs::create_directories(folder / "target");
  const fs::path outside = box.root() / "album 1";
  WritePicture(outside / "inner.bmp", TestColour(3));
  Start({folder.string(), "-nologo"});
  ASSERT_TRUE(tree->SelectPath((folder / "target").string()));
  QTreeWidgetItem *target = tree->currentItem();
  ASSERT_TRUE(tree->SelectPath(folder.string()));
  const QPoint at = tree->visualItemRect(target).center();
  QMouseEvent press(QEvent::MouseButtonPress, at, tree->viewport()->mapToGlobal(at), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(tree->viewport(), &press);
  EXPECT_EQ(std::tuple(doc->Folder(), tree->SelectedPath()), std::tuple(folder.string(), folder.string()));

  // A folder dragged from a file manager onto an item is copied into that folder.
  QMimeData mime;
  mime.setData("text/uri-list", FileUrl(outside.string()) + "\r\n");
  EXPECT_EQ(test::DragAndDrop(tree->viewport(), mime, at), Qt::CopyAction);
  EXPECT_TRUE(RunUntil([&] { return fs::exists(folder / "target" / "album 1" / "inner.bmp"); }, 500));
  EXPECT_TRUE(fs::exists(outside / "inner.bmp"));
}

}  // namespace
}  // namespace tamro
