// The registration of external applications and their menu, saving in a picture format, the
// note dialog, the network drive commands, Qt's own texts in Japanese, and the help
// commands.

#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
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
#include "app/dialogs/saveformatdialog.h"
#include "app/filecommandui.h"
#include "app/netdrive.h"
#include "app/qtui.h"
#include "app/uilanguage.h"
#include "catalogue/notestore.h"
#include "dialogtest.h"
#include "fileops/saveformat.h"

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
    for (const char *tool : {"/usr/sbin/sshd", "/usr/bin/ssh", "/usr/bin/ssh-keygen", "/usr/bin/dbus-daemon",
                             "/usr/libexec/gvfsd", "/usr/libexec/gvfsd-sftp"})
      if (::access(tool, X_OK) != 0) {
        why = std::string(tool) + " is missing (openssh-server, dbus, gvfs-backends)";
        return;
      }
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ + "/start.sh") << R"sh(set -e
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
      why = "the loopback sftp server or the session bus did not start: " + out;
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

}  // namespace
}  // namespace tamro::test

#include "other_dialogs_test.moc"
