// The main window as the folder changes under it: other programs' changes followed after a
// quiet period, Tamro's own not echoed, mounts shown in the tree; the sort menu, the
// display filter dialog and the status bar.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidgetItem>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <future>

#include "app/apptest.h"
#include "app/dialogs/filterdialog.h"
#include "fileops/filecommands.h"
#include "fileops/foldermonitor.h"
#include "platform/changenotify.h"
#include "platform/ui.h"
#include "support/mounts.h"
#include "views/commands.h"
#include "views/fileinterchange.h"
#include "views/lstview.h"
#include "views/viewtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;
using test::WritePicture;

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
  struct Limit {
    Limit() {
      SetAddWatchCall([](int, const char *, uint32_t) {
        errno = ENOSPC;
        return -1;
      });
    }
    ~Limit() { SetAddWatchCall(nullptr); }
  } limit;
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
  auto run = [&](std::function<void(CFilterDialog &)> fill) {
    QTimer::singleShot(0, [fill] {
      for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<CFilterDialog *>(w); d && d->isVisible()) fill(*d);
    });
    frame->FilterAction()->trigger();
  };
  run([](CFilterDialog &d) {
    d.findChild<QCheckBox *>("FileSize")->setChecked(true);
    d.findChild<QComboBox *>("SizeBegin")->setEditText("1");
    d.findChild<QComboBox *>("UnitBegin")->setCurrentIndex(1);
    d.findChild<QComboBox *>("SizeEnd")->setEditText("10");
    d.findChild<QComboBox *>("UnitEnd")->setCurrentIndex(1);
    d.accept();
  });
  EXPECT_EQ(doc->GetEntryCount(), 2);
  frame->UpdateCommandStates();
  EXPECT_EQ(std::tuple(frame->StatusText(0).endsWith(QStringLiteral("表示ﾌｨﾙﾀで1ﾌｧｲﾙ非表示")),
                       Profile::App().GetInt("Filter", "FileSize", 0),
                       Profile::App().GetString("Filter", "SizeEnd0", "")),
            std::tuple(true, 1, "10"));
  // A first day after the last keeps the dialog open; clearing lists everything again.
  bool stayed = false;
  run([&stayed](CFilterDialog &d) {
    d.findChild<QCheckBox *>("FileDate")->setChecked(true);
    d.findChild<QDateEdit *>("FirstDay")->setDate(QDate(2020, 5, 2));
    d.findChild<QDateEdit *>("LastDay")->setDate(QDate(2020, 5, 1));
    d.accept();
    stayed = d.isVisible();
    d.findChild<QPushButton *>("Clear")->click();
  });
  // The sort order outlives the listings.
  EXPECT_EQ(std::tuple(stayed, doc->GetEntryCount(), Profile::App().GetInt("Filter", "FileSize", 1),
                       doc->GetEntry(0)->name),
            std::tuple(true, 3, 0, "a.bmp"));
}

}  // namespace
}  // namespace tamro
