// Tamro as it starts: the main window on a folder of pictures, the idle phases, the folder
// tree and its commands. The main window as the folder changes under it: other programs'
// changes followed after a quiet period, Tamro's own not echoed, mounts shown in the tree; the
// sort menu, the display filter dialog and the status bar.

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidgetItem>
#include <QUrl>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <future>

#include "app/apptest.h"
#include "app/dialogs/filterdialog.h"
#include "app/quickaccess.h"
#include "app/thumbsizes.h"
#include "catalogue/notestore.h"
#include "decode/spihost.h"
#include "fileops/filecommands.h"
#include "fileops/foldermonitor.h"
#include "platform/changenotify.h"
#include "platform/ui.h"
#include "support/mounts.h"
#include "support/zipwriter.h"
#include "views/commands.h"
#include "views/fileinterchange.h"
#include "views/lstview.h"
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
  WritePicture(folder / "other.bmp", Qt::red);
  const std::string bmp = test::ReadFile(folder / "other.bmp");
  const fs::path zip = folder / "photos.zip";
  ASSERT_FALSE(test::WriteZip(zip, {{"a.bmp", bmp, 1000000000}, {"b.bmp", bmp, 1000000000}}).empty());
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
  const auto open = [&](const fs::path &file) {
    EXPECT_TRUE(Answer<QFileDialog>(frame->Action(kCmdFileOpen), [&](QFileDialog &dialog) {
      // Picture and archive patterns come from the decoders.
      EXPECT_TRUE(dialog.nameFilters().front().contains(QStringLiteral("*.bmp")));
      dialog.selectFile(QString::fromStdString(file.string()));
      static_cast<QDialog &>(dialog).accept();
    })) << file;
  };
  open(folder / "b.bmp");
  ASSERT_EQ(doc->Folder(), folder.string());
  EXPECT_EQ(std::tuple(doc->GetEntry(doc->Current())->name, doc->CountSelected(true)),
            std::tuple("b.bmp", 1));
  ASSERT_EQ(frame->View()->PictureWindows()->Count(), 1);
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

// The picture plug-ins loaded when the main window is first shown.
struct PluginsAtShow : QObject {
  explicit PluginsAtShow(CRXApp &app) : app(app) { qApp->installEventFilter(this); }
  ~PluginsAtShow() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject *o, QEvent *e) override {
    if (e->type() == QEvent::Show && count < 0 && qobject_cast<CMainFrame *>(o))
      count = app.Host().Count(kSpiPicture);
    return false;
  }
  CRXApp &app;
  int count = -1;
};

TEST_F(AppTest, SplashShowsItsLineAndClosesAtFirstPaint) {
  WritePicture(folder / "a.bmp", Qt::red);
  app = std::make_unique<CRXApp>(Profile::App());
  // The main window comes up with the plug-ins in, so it paints at once.
  PluginsAtShow atShow(*app);
  ASSERT_TRUE(app->InitInstance({folder.string()}));
  EXPECT_GT(atShow.count, 0);
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

  frame->View()->ClickSelect(1, Qt::NoModifier, false);
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

// The remembered lists behind the main window: quick access and thumbnail sizes.
class Remembered : public ::testing::Test {
 protected:
  test::Sandbox box;
  Profile profile{box.configFile()};
};

TEST_F(Remembered, QuickAccessKeepsTenNewestFirstComparesExactlyAndKeepsOddNames) {
  QuickAccessList list;
  for (int i = 0; i < 11; ++i) EXPECT_TRUE(list.Add("/data/f" + std::to_string(i), profile));
  EXPECT_EQ(std::tuple(list.Items().front(), profile.GetString("DrvView", "QUICKACC_0", ""),
                       profile.GetString("DrvView", "QUICKACC_9", ""), profile.Has("DrvView", "QUICKACC_10")),
            std::tuple("/data/f10", "/data/f10", "/data/f1", false));
  // The oldest is gone at the next start.
  QuickAccessList reloaded;
  reloaded.Load(profile);
  ASSERT_EQ(reloaded.Items().size(), 10u);
  EXPECT_EQ(reloaded.Items().back(), "/data/f1");

  // The same text again changes nothing; other letter case is another folder.
  EXPECT_FALSE(reloaded.Add("/data/f5", profile));
  EXPECT_EQ(profile.GetString("DrvView", "QUICKACC_0", ""), "/data/f10");
  EXPECT_TRUE(reloaded.Add("/DATA/f5", profile));
  EXPECT_EQ(std::tuple(profile.GetString("DrvView", "QUICKACC_0", ""),
                       profile.GetString("DrvView", "QUICKACC_1", "")),
            std::tuple("/DATA/f5", "/data/f10"));
  EXPECT_FALSE(reloaded.Add("", profile));
  // Blanks, quotes and percent signs survive the next start.
  const std::string odd = "/tmp/写真 \"a\" 100%s, b";
  ASSERT_TRUE(reloaded.Add(odd, profile));
  QuickAccessList again;
  again.Load(profile);
  ASSERT_EQ(again.Items().size(), 10u);
  EXPECT_EQ(again.Items()[0], odd);
}

TEST_F(Remembered, ThumbSizesShiftSlotsUpAndSkipKnownSizes) {
  EXPECT_TRUE(RememberThumbSize(profile, 110, 110));
  EXPECT_TRUE(RememberThumbSize(profile, 90, 70));
  EXPECT_EQ(std::tuple(profile.GetString("MainFrame", "ThumbsSize0", ""),
                       profile.GetString("MainFrame", "ThumbsSize1", "")),
            std::tuple("90,70", "110,110"));
  // Already held in some slot (not only slot 0): nothing moves.
  EXPECT_FALSE(RememberThumbSize(profile, 110, 110));
  EXPECT_EQ(profile.GetString("MainFrame", "ThumbsSize0", ""), "90,70");
  for (int i = 0; i < 10; ++i) RememberThumbSize(profile, 200 + i, 100);
  EXPECT_EQ(
      std::tuple(profile.GetString("MainFrame", "ThumbsSize0", ""),
                 profile.GetString("MainFrame", "ThumbsSize9", ""), profile.Has("MainFrame", "ThumbsSize10")),
      std::tuple("209,100", "200,100", false));
}

TEST_F(Remembered, ThumbSizeMenuListsRememberedSizesAndDivisions) {
  std::vector<ThumbSizeItem> items = BuildThumbSizeMenu(profile);
  ASSERT_GE(items.size(), 3u);
  EXPECT_EQ(std::tuple(items[0].command, items[0].text, items[1].command),
            std::tuple(kCmdRememberSize, "現在値を記憶", 0));
  // No remembered sizes: straight to "&2 分割" .. "&16 分割", and the limits are written.
  EXPECT_EQ(std::tuple(items[2].text, items[2].command, items.back().text, items.size(),
                       profile.GetInt("MainFrame", "ThumbsLast", 0)),
            std::tuple("&2 分割", kCmdDivide + 2, "&16 分割", 2u + 15u, 16));

  profile.WriteString("MainFrame", "ThumbsSize3", "64,48");
  profile.WriteInt("MainFrame", "ThumbsFirst", 3);
  profile.WriteInt("MainFrame", "ThumbsLast", 4);
  items = BuildThumbSizeMenu(profile);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(std::tuple(items[2].text, items[2].command, items[2].width, items[3].command, items[4].text,
                       items[5].command),
            std::tuple("64x48", kCmdRememberedSize + 3, 64, 0, "&3 分割", kCmdDivide + 4));
}

// Runs a shell command line as another program changing the folder, the event loop going
// on meanwhile.
void Shell(const std::string &command) {
  QProcess p;
  p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(command)});
  ASSERT_TRUE(p.waitForStarted());
  while (p.state() != QProcess::NotRunning) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    p.waitForFinished(10);
  }
  ASSERT_EQ(p.exitCode(), 0);
}

std::string Quoted(const fs::path &p) { return "'" + p.string() + "'"; }

// The inotify watches the process holds; the folder monitor's are the only ones.
int InotifyWatches() {
  int n = 0;
  for (const auto &fd : fs::directory_iterator("/proc/self/fdinfo")) {
    std::ifstream in(fd.path());
    for (std::string line; std::getline(in, line);) n += line.starts_with("inotify wd:");
  }
  return n;
}

class BrowsingTest : public test::AppFixture {
 protected:
  void Start() { AppFixture::Start({folder.string(), "-nologo"}); }
  // Started with the folder monitor on, once it watches.
  void StartWatched() {
    Profile::App().WriteInt("MainFrame", "FolderMonitor", 1);
    Start();
    ASSERT_TRUE(RunUntil([&] { return frame->Monitor().Running(); }));
  }
};

TEST_F(BrowsingTest, OtherProgramsChangesAreFollowedOnceTheFolderIsQuiet) {
  for (const char *name : {"a.bmp", "b.bmp"}) WritePicture(folder / name);
  StartWatched();
  EXPECT_EQ(frame->Monitor().MonitoredFolder(), folder.string());
  test::HintLog log(*doc);
  frame->View()->ClickSelect(1, Qt::NoModifier, false);
  const std::string current = doc->GetEntry(1)->name;

  // Ten files, one every 100 ms: one listing, after the last of them. The current entry
  // and the selection stay.
  Shell("for i in 0 1 2 3 4 5 6 7 8 9; do cp " + Quoted(folder / "a.bmp") + " " + Quoted(folder) +
        "/new$i.bmp; sleep 0.1; done");
  ASSERT_TRUE(RunUntil([&] { return doc->GetEntryCount() == 12; }));
  Run(CFolderMonitor::kQuietMs + 300);
  EXPECT_EQ(std::tuple(log.Count(kHintCleared), frame->List()->Model().rowCount()), std::tuple(1, 12));
  const CPicEntry *now = doc->GetEntry(doc->Current());
  ASSERT_TRUE(now);
  EXPECT_EQ(std::tuple(now->name, now->IsSelected(), frame->View()->Anchor()),
            std::tuple(current, true, doc->Current()));

  // Renamed and removed by another program.
  Shell("mv " + Quoted(folder / "new0.bmp") + " " + Quoted(folder / "renamed.bmp") + " && rm " +
        Quoted(folder / "b.bmp"));
  ASSERT_TRUE(RunUntil([&] { return Listed("renamed.bmp") && !Listed("b.bmp"); }));
  EXPECT_EQ(std::tuple(Listed("new0.bmp"), doc->GetEntryCount()), std::tuple(false, 11));

  // Tamro's own copy into the folder is listed once and read no second time; neither do
  // the thumbnail store and notes it writes there.
  const fs::path outside = box.root() / "outside";
  WritePicture(outside / "mine.bmp");
  log.hints.clear();
  EXPECT_EQ(DropIntoFolder(*doc, FileDrop{{(outside / "mine.bmp").string()}, {"メモ"}}, false), 1);
  frame->RunCommand(kCmdSaveFolderInfo);
  Run(CFolderMonitor::kQuietMs + 1000);
  EXPECT_EQ(std::tuple(log.Count(kHintCleared), doc->GetEntryCount()), std::tuple(1, 12));

  // In the mode that only drops vanished entries, a removed file's entry goes unread.
  frame->Monitor().SetMonitorMode(kMonitorRemoveVanished);
  log.hints.clear();
  Shell("rm " + Quoted(folder / "new1.bmp"));
  ASSERT_TRUE(RunUntil([&] { return !Listed("new1.bmp"); }));
  EXPECT_EQ(std::tuple(log.Count(kHintCleared), frame->List()->Model().rowCount()), std::tuple(0, 11));

  // Switched off, the folder is left alone.
  frame->Monitor().SetMonitorMode(kMonitorNormal);
  Profile::App().WriteInt("MainFrame", "FolderMonitor", 0);
  frame->Monitor().Reconsider();
  EXPECT_FALSE(frame->Monitor().Running());
  Shell("cp " + Quoted(folder / "a.bmp") + " " + Quoted(folder / "late.bmp"));
  Run(CFolderMonitor::kQuietMs + 1000);
  EXPECT_FALSE(Listed("late.bmp"));
}

TEST_F(BrowsingTest, TheShownFolderGoingAwayIsFollowedAndAFailedWatchIsSaidOnce) {
  const fs::path parent = folder;
  folder /= "shown";
  WritePicture(folder / "a.bmp");
  StartWatched();
  ScriptedUi ui;
  ScopedUi scoped(ui);
  CFolderMonitor &monitor = frame->Monitor();
  const auto watching = [&](const fs::path &p) {
    return RunUntil([&] { return monitor.MonitoredFolder() == p.string() && monitor.Running(); });
  };
  ASSERT_TRUE(watching(folder));

  // Removed by another program: the folder above is shown, in the tree too, and watched.
  Shell("rm -r " + Quoted(folder));
  ASSERT_TRUE(watching(parent));
  EXPECT_EQ(std::tuple(doc->Folder(), tree->SelectedPath()), std::tuple(parent.string(), parent.string()));

  // Moved away: the same, and the moved folder's watch is given up.
  WritePicture(folder / "a.bmp");
  ASSERT_TRUE(doc->OpenFolder(folder.string()));
  ASSERT_TRUE(watching(folder));
  EXPECT_EQ(InotifyWatches(), 1);
  Shell("mv " + Quoted(folder) + " " + Quoted(parent / "moved"));
  ASSERT_TRUE(watching(parent));
  EXPECT_EQ(std::tuple(doc->Folder(), InotifyWatches()), std::tuple(parent.string(), 1));

  // Unmounted under it (where this process may mount): the mount point is watched again.
  if (auto mount = std::make_unique<test::TmpfsMount>(parent / "mnt", "64k"); mount->ok()) {
    ASSERT_TRUE(doc->OpenFolder((parent / "mnt").string()));
    ASSERT_TRUE(watching(parent / "mnt"));
    mount.reset();
    for (const char *name : {"after.bmp", "later.bmp"}) {
      WritePicture(parent / "mnt" / name);
      EXPECT_TRUE(RunUntil([&] { return Listed(name); }));
    }
  }

  // No watch to be had (the user's watches used up): said once, not at every folder.
  SetAddWatchCall([](int, const char *, uint32_t) { return errno = ENOSPC, -1; });
  const std::shared_ptr<void> unlimit(nullptr, [](void *) { SetAddWatchCall(nullptr); });
  for (const fs::path &p : {parent / "moved", parent}) {
    ASSERT_TRUE(doc->OpenFolder(p.string()));
    ASSERT_TRUE(RunUntil([&] { return monitor.MonitoredFolder() == p.string(); }));
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(monitor.Running());
  }
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_TRUE(ui.Messages()[0]->text.starts_with("フォルダの変更を監視できません。"));
}

TEST_F(BrowsingTest, AReadingMadeBeforeTamrosOwnDeleteDoesNotBringTheFileBack) {
  for (const char *name : {"a.bmp", "b.bmp"}) WritePicture(folder / name);
  StartWatched();
  ScriptedUi ui;
  ScopedUi scoped(ui);
  // The folder is read (b.bmp still there) and the result held back until the delete has run.
  auto read = std::make_shared<std::atomic<bool>>(false);
  std::promise<void> release;
  frame->Monitor().SetReader([read, released = release.get_future().share()](const std::string &f) {
    FolderSnapshot snapshot = SnapshotFolder(f);
    *read = true;
    released.wait_for(std::chrono::seconds(30));
    return snapshot;
  });
  Shell("cp " + Quoted(folder / "a.bmp") + " " + Quoted(folder / "c.bmp"));
  ASSERT_TRUE(RunUntil([&] { return read->load(); }));
  frame->View()->ClickSelect(doc->GetEntry(0)->name == "b.bmp" ? 0 : 1, Qt::NoModifier, false);
  ui.answers.push_back(IDYES);
  ASSERT_EQ(DeleteSelectedDirect(*doc), 1);
  release.set_value();
  // Read again once the delete is over: the new file comes, the deleted one stays away.
  ASSERT_TRUE(RunUntil([&] { return Listed("c.bmp"); }));
  EXPECT_EQ(std::tuple(Listed("b.bmp"), doc->GetEntryCount()), std::tuple(false, 2));
}

TEST_F(BrowsingTest, AMountUnderAListedFolderShowsItsFoldersInTheTree) {
  fs::create_directories(folder / "mnt");
  Start();
  ASSERT_TRUE(tree->SelectPath(folder.string()));
  tree->currentItem()->setExpanded(true);
  ASSERT_TRUE(tree->SelectPath((folder / "mnt").string()));
  QTreeWidgetItem *mnt = tree->currentItem();
  EXPECT_EQ(mnt->childCount(), 0);  // an empty folder has no expand button

  test::TmpfsMount mount(folder / "mnt", "64k", false,
                         [](const fs::path &at) { fs::create_directories(at / "inner"); });
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  ASSERT_TRUE(RunUntil([&] { return mnt->childCount() > 0; }));
  mnt->setExpanded(true);
  ASSERT_EQ(mnt->childCount(), 1);
  EXPECT_EQ(CFolderTree::ItemPath(mnt->child(0)), (folder / "mnt" / "inner").string());
}

TEST_F(BrowsingTest, TheTreeFollowsFoldersOtherProgramsMakeAndRemove) {
  fs::create_directories(folder / "kept" / "inner");
  Start();
  ASSERT_TRUE(tree->SelectPath((folder / "kept" / "inner").string()));
  QTreeWidgetItem *kept = tree->currentItem()->parent(), *top = kept->parent();
  auto children = [&](QTreeWidgetItem *item) {
    std::vector<std::string> out;
    for (int i = 0; i < item->childCount(); ++i) out.push_back(CFolderTree::ItemPath(item->child(i)));
    return out;
  };
  const std::string made = (folder / "made").string(), later = (folder / "later").string();
  const std::vector<std::string> before = {(folder / "kept").string()};

  // Expanding reads the folder again.
  Shell("mkdir " + Quoted(made));
  top->setExpanded(false);
  top->setExpanded(true);
  EXPECT_EQ(children(top), std::vector<std::string>({(folder / "kept").string(), made}));
  // So does the refresh, keeping what is expanded and selected.
  Shell("rmdir " + Quoted(made) + " && mkdir " + Quoted(later));
  frame->Action(kCmdRefresh)->trigger();
  EXPECT_EQ(children(top), std::vector<std::string>({(folder / "kept").string(), later}));
  EXPECT_EQ(std::tuple(kept->isExpanded(), tree->SelectedPath()),
            std::tuple(true, (folder / "kept" / "inner").string()));

  // With monitoring on the expanded folders follow by themselves.
  DocSettings s = doc->Settings();
  s.monitoring = 1;
  doc->ApplySettings(s);
  frame->Action(kCmdRefresh)->trigger();
  Shell("mkdir " + Quoted(made));
  EXPECT_TRUE(RunUntil([&] { return children(top).size() == 3; }));
  Shell("rmdir " + Quoted(made) + " " + Quoted(later));
  EXPECT_TRUE(RunUntil([&] { return children(top) == before; }));
  EXPECT_EQ(tree->SelectedPath(), (folder / "kept" / "inner").string());
}

TEST_F(BrowsingTest, SortMenuChecksTheStateAndTheFilterDialogKeepsItsRules) {
  WritePicture(folder / "b.bmp", Qt::darkCyan, 20);
  WritePicture(folder / "a.bmp", Qt::darkCyan, 300);
  WritePicture(folder / "c.bmp", Qt::darkCyan, 40);
  Start();
  auto action = [&](SortCommand c) {
    for (QAction *a : frame->SortActions())
      if (a->data().toInt() == static_cast<int>(c)) return a;
    return static_cast<QAction *>(nullptr);
  };
  action(SortCommand::kBySize)->trigger();
  frame->UpdateCommandStates();
  EXPECT_EQ(std::tuple(doc->GetEntry(0)->name, action(SortCommand::kAscending)->isChecked(),
                       action(SortCommand::kNoSort)->isChecked()),
            std::tuple("b.bmp", true, false));
  action(SortCommand::kDescending)->trigger();
  frame->UpdateCommandStates();
  EXPECT_EQ(std::tuple(doc->GetEntry(0)->name, action(SortCommand::kDescending)->isChecked(),
                       frame->List()->Model().headerData(2, Qt::Horizontal, Qt::DisplayRole).toString()),
            std::tuple("a.bmp", true, QStringLiteral("ｻｲｽﾞ- ")));
  // The status bar counts the entries and the selection.
  frame->View()->ClickSelect(0, Qt::NoModifier, false);
  frame->UpdateCommandStates();
  EXPECT_TRUE(frame->StatusText(0).startsWith(QStringLiteral("3ﾌｧｲﾙ(")));
  EXPECT_TRUE(frame->StatusText(1).startsWith(QStringLiteral("選択 1ﾌｧｲﾙ(")));
  EXPECT_TRUE(frame->StatusText(2).startsWith(QStringLiteral("a.bmp")));

  // The size filter: 1 KB up to 10 KB keeps the two smaller pictures.
  EXPECT_TRUE(Answer<CFilterDialog>(frame->FilterAction(), [](CFilterDialog &d) {
    d.findChild<QCheckBox *>("FileSize")->setChecked(true);
    d.findChild<QComboBox *>("SizeBegin")->setEditText("1");
    d.findChild<QComboBox *>("UnitBegin")->setCurrentIndex(1);
    d.findChild<QComboBox *>("SizeEnd")->setEditText("10");
    d.findChild<QComboBox *>("UnitEnd")->setCurrentIndex(1);
    d.accept();
  }));
  EXPECT_EQ(doc->GetEntryCount(), 2);
  frame->UpdateCommandStates();
  EXPECT_EQ(std::tuple(frame->StatusText(0).endsWith(QStringLiteral("表示ﾌｨﾙﾀで1ﾌｧｲﾙ非表示")),
                       Profile::App().GetInt("Filter", "FileSize", 0),
                       Profile::App().GetString("Filter", "SizeEnd0", "")),
            std::tuple(true, 1, "10"));
  // A first day after the last keeps the dialog open; clearing lists everything again.
  bool stayed = false;
  EXPECT_TRUE(Answer<CFilterDialog>(frame->FilterAction(), [&stayed](CFilterDialog &d) {
    d.findChild<QCheckBox *>("FileDate")->setChecked(true);
    d.findChild<QDateEdit *>("FirstDay")->setDate(QDate(2020, 5, 2));
    d.findChild<QDateEdit *>("LastDay")->setDate(QDate(2020, 5, 1));
    d.accept();
    stayed = d.isVisible();
    d.findChild<QPushButton *>("Clear")->click();
  }));
  // The sort order outlives the listings.
  EXPECT_EQ(std::tuple(stayed, doc->GetEntryCount(), Profile::App().GetInt("Filter", "FileSize", 1),
                       doc->GetEntry(0)->name),
            std::tuple(true, 3, 0, "a.bmp"));
}

}  // namespace
}  // namespace tamro
