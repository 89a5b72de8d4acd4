// The dialogs of copy, move, delete and rename: the destination dialogs, the same-name question,
// the progress window, the delete question, the folder input of unpacking, the numbered rename
// with its "Report" list and the rename that asks file by file. The registration of external
// applications and their menu, saving in a picture format, the note dialog, the network drive
// commands, Qt's own texts in Japanese, and the help commands.

#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/aboutbox.h"
#include "app/dialogs/appcalldialog.h"
#include "app/dialogs/progressdialog.h"
#include "app/dialogs/renamedialog.h"
#include "app/dialogs/samenamedialog.h"
#include "app/dialogs/saveformatdialog.h"
#include "app/dialogs/transferdialog.h"
#include "app/filecommandui.h"
#include "app/netdrive.h"
#include "app/qtui.h"
#include "app/uilanguage.h"
#include "catalogue/notestore.h"
#include "dialogtest.h"
#include "fileops/filecommands.h"
#include "fileops/samename.h"
#include "fileops/saveformat.h"
#include "fileops/transfer.h"

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace tamro::test {
namespace {

QAction *MenuItem(QToolButton *button, const QString &text) {
  for (QAction *a : button->menu()->actions())
    if (a->text() == text) return a;
  ADD_FAILURE() << "no item " << text.toStdString();
  return nullptr;
}

TEST_F(DialogTest, ApplicationRegistrationAddsChecksMovesAndWritesTheList) {
  Profile::App().WriteString("AppCall", "App0\\Title", "Viewer");
  Profile::App().WriteString("AppCall", "App0\\Cmd", "/usr/bin/viewer");
  QtUi ui;
  ScopedUi scoped(ui);
  DialogDriver driver;
  driver.Then([](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "外部アプリケーション登録");
    auto *list = Child<QListWidget>(d, "apps");
    auto *title = Child<QLineEdit>(d, "title");
    auto *command = Child<QLineEdit>(d, "command");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(std::tuple(list->currentRow(), title->text()), std::tuple(0, "Viewer"));
    Child<QPushButton>(d, "add")->click();
    EXPECT_EQ(std::tuple(list->count(), title->text()), std::tuple(2, ""));
    QTest::keyClicks(title, "Edit");
    EXPECT_EQ(list->item(1)->text(), "Edit");
    MenuItem(Child<QToolButton>(d, "argumentMenu"), "画像パス(&P)")->trigger();
    MenuItem(Child<QToolButton>(d, "folderMenu"), "画像フォルダ(&D)")->trigger();
    Child<QCheckBox>(d, "perFile")->setChecked(true);
    // No command yet: the dialog says so and stays.
    Button(d, "閉じる")->click();
    EXPECT_TRUE(d->isVisible());
    QTest::keyClicks(command, "/usr/bin/editor");
    // Going to the other item and back keeps what was typed.
    list->setCurrentRow(0);
    EXPECT_EQ(title->text(), "Viewer");
    list->setCurrentRow(1);
    EXPECT_EQ(command->text(), "/usr/bin/editor");
    d->activateWindow();
    QApplication::setActiveWindow(d);
    QTest::keyClick(d, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(list->item(0)->text(), "Edit");
    Button(d, "閉じる")->click();
  });
  driver.Then([](QDialog *d) {
    EXPECT_EQ(qobject_cast<QMessageBox *>(d)->text(), "コマンドを設定してください");
    d->accept();
  });
  ASSERT_TRUE(EditApplications(nullptr));
  const Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(p.GetString("AppCall", "App0\\Title", ""), p.GetString("AppCall", "App0\\Cmd", ""),
                       p.GetString("AppCall", "App0\\Argv", ""), p.GetString("AppCall", "App0\\Dir", ""),
                       p.GetInt("AppCall", "App0\\Dup", 0), p.GetString("AppCall", "App1\\Title", "")),
            std::tuple("Edit", "/usr/bin/editor", "$(PicPath)", "$(PicDir)", 1, "Viewer"));

  QMenu menu;
  int ran = 0;
  ASSERT_EQ(FillApplicationMenu(&menu, [&](int command) { ran = command; }), 2);
  EXPECT_EQ(std::tuple(menu.title(), menu.actions()[1]->text(), menu.actions()[1]->data().toInt()),
            std::tuple("アプリケーションで開く(&G)", "Viewer", 20001));
  menu.actions()[1]->trigger();
  EXPECT_EQ(ran, 20001);
}

TEST_F(DialogTest, SaveFormatDialogRefusesABadFactorAndWritesEveryPage) {
  Profile::App().WriteInt("FileSave", "RotateAngle", 45);
  CFileSaveOption option;
  DialogDriver driver({[&](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "画像形式を指定してファイル保存");
    EXPECT_EQ(std::tuple(Child<QRadioButton>(d, "rotateAngle")->isChecked(),
                         Child<QSpinBox>(d, "angle")->value(), Child<QSpinBox>(d, "width")->isEnabled()),
              std::tuple(true, 45, false));
    Child<QComboBox>(d, "folder")->setEditText("out");
    Child<QRadioButton>(d, "scaleFactor")->click();
    auto *scale = Child<QLineEdit>(d, "scale");
    EXPECT_TRUE(scale->isEnabled());
    scale->setText("half");
    Button(d, "OK")->click();
    EXPECT_TRUE(d->isVisible());
    scale->setText("0.5");
    Child<QComboBox>(d, "format")->setCurrentIndex(1);
    Child<QRadioButton>(d, "scaleAverage")->click();
    Child<QCheckBox>(d, "unsharp")->setChecked(true);
    Child<QSpinBox>(d, "quality")->setValue(70);
    Child<QRadioButton>(d, "rotateLeft")->click();
    Button(d, "OK")->click();
  }});
  option.currentFolder = box.root().string();
  ASSERT_TRUE(AskSaveFormat(nullptr, option));
  EXPECT_EQ(option.folder, box.path("out").string());
  const Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(p.GetInt("FileSave", "Format", -1), p.GetInt("FileSave", "SizeMode", -1),
                       p.GetString("FileSave", "Scale", ""), p.GetInt("FileSave", "ScaleMode", -1),
                       p.GetInt("FileSave", "Unsharp", -1), p.GetInt("FileSave", "JpegQuality", -1),
                       p.GetInt("FileSave", "RotateAngle", -1)),
            std::tuple(1, 2, "0.5", 3, 1, 70, 270));
}

using NoteDialogTest = DocDialogTest;

TEST_F(NoteDialogTest, NoteIsEditedWithItsLineEndsAndTheCellIsRedrawn) {
  Write("pics/a.pic", "PICa");
  ASSERT_TRUE(WriteNote(Folder(), "", "a.pic", "one\r\ntwo"));
  auto doc = Open({});
  log.seen.clear();
  DialogDriver driver;
  driver.Then([](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "コメント入力");
    auto *note = Child<QPlainTextEdit>(d, "note");
    EXPECT_EQ(note->toPlainText(), "one\ntwo");
    note->setPlainText("one\ntwo\nthree");
    Button(d, "OK")->click();
  });
  driver.Then([](QDialog *d) { Button(d, "キャンセル")->click(); });
  ASSERT_TRUE(EditNoteCommand(nullptr, *doc, 0));
  std::string stored;
  ReadNote(Folder(), "", "a.pic", stored);
  EXPECT_EQ(stored, "one\r\ntwo\r\nthree");
  ASSERT_EQ(log.Hints(), std::vector<int>{kHintEntryChanged});
  EXPECT_EQ(log.seen[0].value, 0);
  EXPECT_FALSE(EditNoteCommand(nullptr, *doc, 0));
  EXPECT_EQ(log.seen.size(), 1u);
}

// An sftp server on the loopback address with keys of its own, and a private session bus whose
// GVfs daemons reach it through an ssh that uses those keys. `why` says what could not start.
class LoopbackSftp {
 public:
  explicit LoopbackSftp(const std::filesystem::path &dir) : dir_(dir.string()) {
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ + "/start.sh") << R"sh(set -e
for t in /usr/libexec/gvfsd /usr/libexec/gvfsd-sftp; do [ -x $t ] || exit 5; done
cd "$1"; port=$2; me=$(id -un)
[ -f user ] || { ssh-keygen -q -t ed25519 -N '' -f host; ssh-keygen -q -t ed25519 -N '' -f user; }
cp user.pub authorized_keys; mkdir -p bin
printf 'Port %s\nListenAddress 127.0.0.1\nHostKey %s/host\nAuthorizedKeysFile %s/authorized_keys\nStrictModes no\nUsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\nPidFile %s/sshd.pid\nSubsystem sftp internal-sftp\n' $port "$PWD" "$PWD" "$PWD" > sshd_config
printf 'Host *\n IdentityFile %s/user\n IdentitiesOnly yes\n UserKnownHostsFile %s/known_hosts\n GlobalKnownHostsFile /dev/null\n StrictHostKeyChecking accept-new\n NumberOfPasswordPrompts 2\n' "$PWD" "$PWD" > ssh_config
printf '#!/bin/sh\nexec /usr/bin/ssh -F %s/ssh_config "$@"\n' "$PWD" > bin/ssh; chmod +x bin/ssh
[ "$(id -u)" != 0 ] || mkdir -p /run/sshd
/usr/sbin/sshd -f "$PWD/sshd_config" -E "$PWD/sshd.log" || exit 3
ok=; for i in $(seq 100); do bin/ssh -o BatchMode=yes -p $port $me@127.0.0.1 true 2>/dev/null && ok=1 && break; sleep 0.1; done
[ -n "$ok" ] || exit 4
echo $me
env PATH="$PWD/bin:$PATH" LC_ALL=C.UTF-8 LANGUAGE=C dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1
)sh";
    std::string out;
    int status = 3;
    for (int attempt = 0; attempt < 5 && status == 3; ++attempt) {
      port = 20000 + (::getpid() * 7 + attempt * 4099) % 40000;
      status = RunCommand("sh " + dir_ + "/start.sh " + dir_ + " " + std::to_string(port) + " 2>&1", out);
    }
    std::istringstream lines(out);
    std::string address, pid;
    if (status != 0 || !std::getline(lines, user) || !std::getline(lines, address) ||
        !std::getline(lines, pid)) {
      why = "no loopback sftp server or session bus (openssh-server, dbus, gvfs-backends): " + out;
      return;
    }
    busPid_ = std::atoi(pid.c_str());
    const char *old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    oldBus_ = old ? old : "";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  }
  ~LoopbackSftp() {
    // The process stays when its bus goes.
    if (busPid_ > 0) {
      if (GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
        g_dbus_connection_set_exit_on_close(bus, FALSE);
        g_object_unref(bus);
      }
      ::kill(busPid_, SIGTERM);
      ::setenv("DBUS_SESSION_BUS_ADDRESS", oldBus_.c_str(), 1);
    }
    int sshd = 0;
    if (std::ifstream(dir_ + "/sshd.pid") >> sshd && sshd > 0) ::kill(sshd, SIGTERM);
  }
  QString Address(const std::string &who) const {
    return QStringLiteral("sftp://%1@127.0.0.1:%2/").arg(QString::fromStdString(who)).arg(port);
  }

  std::string why, user;
  int port = 0;

 private:
  std::string dir_, oldBus_;
  int busPid_ = 0;
};

using NetworkDriveTest = DocDialogTest;

void EnterAddress(QDialog *d, const QString &address) {
  QLineEdit *edit = nullptr;
  for (QLineEdit *e : d->findChildren<QLineEdit *>())
    if (e->isVisible()) edit = e;
  ASSERT_NE(edit, nullptr);
  edit->selectAll();
  QTest::keyClicks(edit, address);
  Button(d, "OK")->click();
}

TEST_F(NetworkDriveTest, SftpIsMountedListedUnmountedAndAWrongPasswordIsRefused) {
  LoopbackSftp server(box.path("sftp"));
  if (!server.why.empty()) GTEST_SKIP() << server.why;
  auto doc = MakeDoc();
  const QString mine = server.Address(server.user), stranger = server.Address("tamro-nobody");
  DialogDriver driver;
  driver.Then([&](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "ネットワークドライブの割り当て");
    EnterAddress(d, mine);
  });
  ASSERT_TRUE(ConnectNetworkDrive(*doc, nullptr));
  EXPECT_EQ(log.Hints(), std::vector<int>{kHintDrivesChanged});
  EXPECT_EQ(Profile::App().GetString("NetDrive", "Address0", ""), mine.toStdString());

  driver.Then([&](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "ネットワークドライブの切断");
    auto *combo = d->findChild<QComboBox *>();
    ASSERT_NE(combo, nullptr);
    const int row = combo->findText(mine, Qt::MatchContains);
    ASSERT_GE(row, 0) << "not listed";
    combo->setCurrentIndex(row);
    Button(d, "OK")->click();
  });
  ASSERT_TRUE(DisconnectNetworkDrive(*doc, nullptr));
  driver.Then([](QDialog *d) {
    EXPECT_EQ(static_cast<QMessageBox *>(d)->text(), "切断できるネットワークドライブはありません。");
    d->accept();
  });
  EXPECT_FALSE(DisconnectNetworkDrive(*doc, nullptr));

  // Asked again after the first refusal, then GIO's own words in one box.
  driver.Then([&](QDialog *d) {
    EXPECT_EQ(d->findChild<QComboBox *>()->itemText(0), mine);
    EnterAddress(d, stranger);
  });
  for (bool again : {false, true})
    driver.Then([again](QDialog *d) {
      const QString text = Child<QLabel>(d, "message")->text();
      EXPECT_TRUE(text.contains("tamro-nobody"));
      EXPECT_EQ(text.startsWith("パスワードが違います。"), again);
      // A user takes a while: whatever else is queued runs before the answer.
      for (int i = 0; i < 100 && g_main_context_iteration(nullptr, FALSE); ++i) {
      }
      Child<QLineEdit>(d, "password")->setText("wrong");
      Button(d, "OK")->click();
    });
  driver.Then([](QDialog *d) {
    EXPECT_TRUE(static_cast<QMessageBox *>(d)->text().contains("Permission denied"));
    d->accept();
  });
  EXPECT_FALSE(ConnectNetworkDrive(*doc, nullptr));
  EXPECT_EQ(log.Hints(), std::vector<int>(3, kHintDrivesChanged));
}

TEST(UiLanguage, QtsOwnButtonsSpeakJapanese) {
  EnsureWidgetsApp();
  EXPECT_TRUE(InstallJapaneseTranslations(*qApp));
  EXPECT_EQ(QLocale().language(), QLocale::Japanese);
  QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes |
                           QDialogButtonBox::No);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text(), "OK");
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "キャンセル");
  EXPECT_TRUE(buttons.button(QDialogButtonBox::Yes)->text().startsWith("はい"));
  EXPECT_TRUE(buttons.button(QDialogButtonBox::No)->text().startsWith("いいえ"));
  CAboutBox about;
  EXPECT_TRUE(about.findChildren<QLabel *>().front()->text().startsWith("Tamro Version "));
}

// What the help commands hand to the desktop's browser.
class UrlLog : public QObject {
  Q_OBJECT
 public slots:
  void Open(const QUrl &url) { urls.push_back(url); }

 public:
  std::vector<QUrl> urls;
};

TEST(HelpCommands, TheGuideAndTheHomePageOpenInTheBrowserAndTheAboutBoxLinksThatPage) {
  EnsureWidgetsApp();
  UrlLog opened;
  const QStringList schemes = {QStringLiteral("file"), QStringLiteral("https")};
  for (const QString &scheme : schemes) QDesktopServices::setUrlHandler(scheme, &opened, "Open");
  {
    DialogDriver noMessage;  // a guide that is not found is said in a message box
    OpenHelpContents(nullptr);
    OpenHomePage(nullptr);
  }
  for (const QString &scheme : schemes) QDesktopServices::unsetUrlHandler(scheme);
  ASSERT_EQ(opened.urls.size(), 2u);
  // The build tree holds the guide where an installed tree does.
  QFile guide(opened.urls[0].toLocalFile());
  EXPECT_TRUE(guide.fileName().endsWith("/share/doc/tamro/index.html")) << guide.fileName().toStdString();
  ASSERT_TRUE(guide.open(QIODevice::ReadOnly));
  EXPECT_TRUE(QString::fromUtf8(guide.readAll()).contains("<title>Tamro ヘルプ 目次</title>"));
  const QString home = opened.urls[1].toString();
  int links = 0;
  CAboutBox about;
  for (QLabel *label : about.findChildren<QLabel *>())
    links += label->openExternalLinks() && label->text().contains("href=\"" + home + "\"") ? 1 : 0;
  EXPECT_EQ(links, 1) << home.toStdString();
}

namespace fs = std::filesystem;

// Picks `folder` in the folder chooser that is up.
DialogDriver::Step PickFolder(const fs::path &folder, const char *title) {
  return [folder, title](QDialog *d) {
    auto *chooser = qobject_cast<QFileDialog *>(d);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->windowTitle(), QString::fromUtf8(title));
    chooser->setDirectory(QString::fromStdString(folder.parent_path().string()));
    chooser->selectFile(QString::fromStdString(folder.string()));
    d->accept();  // QFileDialog::accept, which takes the folder named
  };
}

TEST_F(DialogTest, CopyDestinationIsTakenFromTheDocumentFolderAndRemembered) {
  fs::create_directories(box.path("shown/sub"));
  Profile::App().WriteString("Filer", "Folder0", "/old/place");
  Profile::App().WriteString("Filer", "Folder1", "sub2");
  CTransferOption option(false);
  DialogDriver driver({[&](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "ファイルの複写");
    auto *folder = Child<QComboBox>(d, "folder");
    bool shown = false;
    for (QLabel *l : d->findChildren<QLabel *>())
      shown |= l->toolTip() == QString::fromStdString("現在の位置： " + box.path("shown").string());
    EXPECT_EQ(std::tuple(folder->currentText(), Child<QRadioButton>(d, "all")->isChecked(),
                         Child<QRadioButton>(d, "onlyExisting")->text(), shown),
              std::tuple("/old/place", true, "複写先に同名ファイルが存在するファイル", true));
    // Nothing typed: the dialog stays.
    folder->setEditText("");
    Button(d, "OK")->click();
    EXPECT_TRUE(d->isVisible());
    // Typed text stays as typed although "sub2" is in the history.
    QTest::keyClicks(folder->lineEdit(), "sub");
    Child<QRadioButton>(d, "onlyExisting")->click();
    Button(d, "OK")->click();
  }});
  const fs::path workingDirectory = fs::current_path();
  ASSERT_TRUE(AskTransferDestination(nullptr, option, box.path("shown").string()));
  const Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(option.destination, fs::current_path(), p.GetString("Filer", "Folder0", ""),
                       p.GetString("Filer", "Folder1", ""), p.GetString("Filer", "Folder2", ""),
                       p.GetInt("Filer", "CopyOption", 0)),
            std::tuple(box.path("shown/sub").string(), workingDirectory, "sub", "/old/place", "sub2", 1));
}

TEST_F(DialogTest, MoveDestinationBrowsesAndCancelWritesNothing) {
  fs::create_directories(box.path("picked"));
  CTransferOption option(true);
  DialogDriver driver;
  driver.Then([&](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "ファイルの移動");
    EXPECT_EQ(Child<QRadioButton>(d, "onlyExisting")->text(), "移動先に同名ファイルが存在するファイル");
    Child<QPushButton>(d, "browse")->click();
    EXPECT_EQ(Child<QComboBox>(d, "folder")->currentText().toStdString(), box.path("picked").string());
    Button(d, "キャンセル")->click();
  });
  driver.Then(PickFolder(box.path("picked"), "移動先の選択"));
  EXPECT_FALSE(AskTransferDestination(nullptr, option, box.root().string()));
  EXPECT_FALSE(Profile::App().Has("Filer", "Folder0"));
}

TEST_F(DialogTest, SameNameDialogFollowsTheNameBoxAndAppliesToAllFollowing) {
  std::vector<std::string> records;
  for (std::string n : {"a", "b", "c"})
    records.push_back(MakeTransferRecord(box.write("s/" + n + ".jpg", "new " + n).string(), ""));
  for (std::string n : {"a", "b"}) box.write("d/" + n + ".jpg", "old " + n);
  const QString target = QString::fromStdString(box.path("d/a.jpg").string());
  Profile::App().WriteInt("Filer", "SameOption", kSameOverwrite);
  QtUi ui;
  ScopedUi scoped(ui);
  DialogDriver driver({[&](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "同名ファイルが存在しています");
    auto *name = Child<QLineEdit>(d, "name");
    auto *rename = Child<QRadioButton>(d, "action3");
    auto *all = Child<QPushButton>(d, "all");
    auto *size = Child<QLabel>(d, "destinationSize");
    EXPECT_EQ(std::tuple(name->text(), Child<QRadioButton>(d, "action1")->isChecked(), rename->isEnabled(),
                         size->text()),
              std::tuple(target, true, false, "ｻｲｽﾞ: 5 ﾊﾞｲﾄ"));
    // Another name chooses the rename, takes "以降全て(&A)" away and describes that name.
    QTest::keyClicks(name, "x");
    EXPECT_EQ(std::tuple(rename->isEnabled(), rename->isChecked(), all->isEnabled(), size->text()),
              std::tuple(true, true, false, ""));
    // Escape takes the edit back and leaves the dialog open.
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_EQ(std::tuple(d->isVisible(), name->text(), Child<QRadioButton>(d, "action1")->isChecked(),
                         all->isEnabled()),
              std::tuple(true, target, true, true));
    Child<QRadioButton>(d, "action4")->click();
    EXPECT_EQ(name->text().toStdString(), box.path("d/a(2).jpg").string());
    Child<QRadioButton>(d, "action2")->click();
    EXPECT_EQ(name->text(), target);
    all->click();
  }});
  // Skipped for both namesakes after one question; the third file is copied.
  EXPECT_EQ(TransferFiles(box.path("d").string(), records, 0, 0), 1);
  EXPECT_EQ(std::tuple(driver.opened, ReadFile(box.path("d/a.jpg")), ReadFile(box.path("d/b.jpg")),
                       ReadFile(box.path("d/c.jpg")), Profile::App().GetInt("Filer", "SameOption", -1)),
            std::tuple(1, "old a", "old b", "new c", kSameSkip));
}

TEST_F(DialogTest, OverwriteDialogDisablesDateAndSizeAndEnterTakesTheTypedName) {
  for (auto [name, bytes] : {std::pair{"s/a.gif", "GIF"}, {"d/a.jpg", "JPEG"}}) box.write(name, bytes);
  CSameNameLogic logic = CSameNameLogic::ForOverwrite();
  SameNameQuestion q = logic.Open(box.path("s/a.gif").string(), box.path("d/a.jpg").string());
  CSameNameDialog dialog(nullptr, q);
  dialog.show();
  EXPECT_EQ(std::tuple(dialog.windowTitle(), Child<QRadioButton>(&dialog, "action0")->isEnabled(),
                       Child<QRadioButton>(&dialog, "action5")->isEnabled()),
            std::tuple("重ね書き", false, false));
  auto *name = Child<QLineEdit>(&dialog, "name");
  name->selectAll();
  QTest::keyClicks(name, QString::fromStdString(box.path("d/b.jpg").string()));
  QTest::keyClick(name, Qt::Key_Return);
  EXPECT_EQ(std::tuple(dialog.result(), q.name, q.action, q.applyToAll),
            std::tuple(QDialog::Accepted, box.path("d/b.jpg").string(), kSameRename, false));
}

TEST_F(DialogTest, ProgressWindowCountsInPercentAndStopsTheRunWhenAborted) {
  QtUi ui;
  {
    std::unique_ptr<ProgressWindow> window = ui.OpenProgress("ファイル操作実行中");
    auto *progress = dynamic_cast<CProgressDialog *>(window.get());
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(std::tuple(progress->isVisible(), progress->PercentText()), std::tuple(true, "0％"));
    progress->SetRange(0, 8);
    progress->Step(2);
    progress->SetPos(4);
    EXPECT_EQ(progress->PercentText(), "50％");
    // Escape or closing the window asks to stop; the window stays until the run ends.
    EXPECT_FALSE(progress->Aborted());
    QTest::keyClick(progress, Qt::Key_Escape);
    EXPECT_EQ(
        std::tuple(progress->Aborted(), progress->isVisible(), QApplication::overrideCursor() != nullptr),
        std::tuple(true, true, true));
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  box.write("s/a.jpg", "a");
  fs::create_directories(box.path("d"));
  ScopedUi scoped(ui);
  DialogDriver noQuestions;
  // The abort button is pressed as soon as the window is up.
  QTimer::singleShot(0, [] {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (w->objectName() == "progress" && w->isVisible()) Child<QPushButton>(w, "abort")->click();
  });
  EXPECT_EQ(
      TransferFiles(box.path("d").string(), {MakeTransferRecord(box.path("s/a.jpg").string(), "")}, 0, 0), 0);
  EXPECT_FALSE(fs::exists(box.path("d/a.jpg")));
}

using DeleteDialogTest = DocDialogTest;

TEST_F(DeleteDialogTest, DirectDeleteAsksWithTheArrowAndEscapeKeepsTheFile) {
  Write("pics/a.pic", "PICa");
  profile.WriteInt("RXDoc", "TrashCan", 0);
  auto doc = Open({"a.pic"});
  QtUi ui;
  ScopedUi scoped(ui);
  auto question = [](bool yes) {
    return [yes](QDialog *d) {
      auto *box = qobject_cast<QMessageBox *>(d);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->text(), "選択データを削除してもよろしいですか？");
      EXPECT_EQ(box->icon(), QMessageBox::Question);
      // The command's busy cursor gives way to the arrow while it asks.
      ASSERT_NE(QApplication::overrideCursor(), nullptr);
      EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
      EXPECT_NE(Button(d, "いいえ(&N)"), nullptr);
      if (yes)
        Button(d, "はい(&Y)")->click();
      else
        QTest::keyClick(d, Qt::Key_Escape);
    };
  };
  DialogDriver driver({question(false), question(true)});
  EXPECT_EQ(DeleteCommand(*doc), 0);
  EXPECT_TRUE(fs::exists(Folder() + "/a.pic"));
  EXPECT_EQ(DeleteCommand(*doc), 1);
  EXPECT_FALSE(fs::exists(Folder() + "/a.pic"));
}

TEST_F(DialogTest, UnpackFolderInputBrowsesAndAnswersTheTypedFolder) {
  fs::create_directories(box.path("chosen"));
  QtUi ui;
  DialogDriver driver;
  driver.Then([&](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "書庫解凍");
    EXPECT_NE(Button(d, "ｷｬﾝｾﾙ"), nullptr);
    auto *folder = Child<QLineEdit>(d, "folder");
    EXPECT_EQ(folder->text(), "/stored");
    Child<QPushButton>(d, "browse")->click();
    EXPECT_EQ(folder->text().toStdString(), box.path("chosen").string());
    Button(d, "OK")->click();
  });
  driver.Then(PickFolder(box.path("chosen"), "フォルダの選択"));
  std::string folder = "/stored";
  ASSERT_TRUE(ui.InputFolder("書庫解凍", "解凍先フォルダを入力してください", folder));
  EXPECT_EQ(folder, box.path("chosen").string());

  // The context menu's chooser: cancelled, the folder stays as it was.
  driver.Then([](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "解凍先の選択");
    d->reject();
  });
  EXPECT_FALSE(ui.BrowseFolder("解凍先の選択", folder));
  EXPECT_EQ(folder, box.path("chosen").string());
}

class RenameDialogTest : public DocDialogTest {
 protected:
  QtUi ui;
  ScopedUi scoped{ui};
};

TEST_F(RenameDialogTest, NumberedRenameRefusesBadPatternsRemembersAndReportsFailures) {
  for (auto [name, bytes] : {std::pair{"pics/a.pic", "PICa"}, {"pics/a.jpg", "taken"}}) Write(name, bytes);
  Profile::App().WriteString("RXDoc", "RenameFormat", "IMG#2#.jpg,IMG#2#.jpg,%Y#3#.jpg");
  Profile::App().WriteInt("RXDoc", "First#", 98);
  auto doc = Open({"a.pic"});
  DialogDriver driver;
  driver.Then([](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "連番で名前変更");
    auto *pattern = Child<QComboBox>(d, "pattern");
    EXPECT_EQ(std::tuple(pattern->currentText(), pattern->count(), Child<QSpinBox>(d, "first")->value()),
              std::tuple("IMG#2#.jpg", 2, 98));
    auto *help = Child<QListWidget>(d, "help");
    EXPECT_EQ(help->item(help->count() - 1)->text(), "%%  パーセント記号");
    pattern->setEditText("A#2");
    Button(d, "OK")->click();
    EXPECT_TRUE(d->isVisible());
    // Extension mode: a.pic becomes a.jpg, which is taken.
    pattern->setEditText("jpg");
    Child<QSpinBox>(d, "first")->setValue(5);
    Button(d, "OK")->click();
  });
  driver.Then([](QDialog *d) {
    EXPECT_EQ(qobject_cast<QMessageBox *>(d)->text(), "連番ファイル名形式が正しくありません");
    Button(d, "OK")->click();
  });
  driver.Then([](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "Report");
    auto *lines = Child<QListWidget>(d, "lines");
    ASSERT_EQ(lines->count(), 1);
    EXPECT_EQ(lines->item(0)->text(), "a.pic -> a.jpg :failed rename");
    Button(d, "OK")->click();
  });
  EXPECT_EQ(RenameSequentialCommand(nullptr, *doc), 0);
  EXPECT_EQ(std::tuple(Profile::App().GetString("RXDoc", "RenameFormat", ""),
                       Profile::App().GetInt("RXDoc", "First#", 0), ReadFile(Folder() + "/a.jpg")),
            std::tuple("jpg,jpg,IMG#2#.jpg,%Y#3#.jpg", 5, "taken"));
}

TEST_F(RenameDialogTest, SingleRenameSkipsAbortsAndIgnoresAnEmptyName) {
  for (std::string n : {"a", "b", "c", "d"}) Write("pics/" + n + ".pic", "PIC" + n);
  auto doc = Open({"a.pic", "b.pic", "c.pic", "d.pic"});
  QString first;
  DialogDriver driver;
  driver.Then([&](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "名前の変更");
    auto *name = Child<QLineEdit>(d, "name");
    first = name->text();
    EXPECT_EQ(name->selectedText(), first.left(1));  // the name without its extension
    EXPECT_NE(Button(d, "スキップ"), nullptr);
    name->clear();
    Button(d, "OK")->click();
    EXPECT_TRUE(d->isVisible());
    QTest::keyClicks(name, "x.pic");
    Button(d, "OK")->click();
  });
  driver.Then([](QDialog *d) { Button(d, "スキップ")->click(); });
  driver.Then([](QDialog *d) { Button(d, "中止")->click(); });
  EXPECT_EQ(RenameEachCommand(nullptr, *doc), 1);
  EXPECT_EQ(std::tuple(Names(*doc)[0], fs::exists(Folder() + "/x.pic"),
                       fs::exists(Folder() + "/" + first.toStdString())),
            std::tuple("x.pic", true, false));

  // The last file: plain cancel, no abort.
  CRenameEachDialog last(nullptr, "'d.pic'の新しい名前を指定してください", "d.pic", false);
  last.show();
  EXPECT_NE(Button(&last, "キャンセル"), nullptr);
  EXPECT_EQ(last.findChild<QPushButton *>("abort"), nullptr);
}

}  // namespace
}  // namespace tamro::test

#include "dialogs_test.moc"
