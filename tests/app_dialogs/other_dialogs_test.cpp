// The registration of external applications and their menu, saving in a picture format, the
// note dialog, Qt's own texts in Japanese, and the help commands.

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

#include "app/aboutbox.h"
#include "app/dialogs/appcalldialog.h"
#include "app/dialogs/saveformatdialog.h"
#include "app/filecommandui.h"
#include "app/qtui.h"
#include "app/uilanguage.h"
#include "catalogue/docfixture.h"
#include "catalogue/notestore.h"
#include "dialogtest.h"
#include "fileops/saveformat.h"

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
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(title->text(), "Viewer");
    Child<QPushButton>(d, "add")->click();
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(title->text(), "");
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
  EXPECT_EQ(p.GetString("AppCall", "App0\\Title", ""), "Edit");
  EXPECT_EQ(p.GetString("AppCall", "App0\\Cmd", ""), "/usr/bin/editor");
  EXPECT_EQ(p.GetString("AppCall", "App0\\Argv", ""), "$(PicPath)");
  EXPECT_EQ(p.GetString("AppCall", "App0\\Dir", ""), "$(PicDir)");
  EXPECT_EQ(p.GetInt("AppCall", "App0\\Dup", 0), 1);
  EXPECT_EQ(p.GetString("AppCall", "App1\\Title", ""), "Viewer");

  QMenu menu;
  int ran = 0;
  ASSERT_EQ(FillApplicationMenu(&menu, [&](int command) { ran = command; }), 2);
  EXPECT_EQ(menu.title(), "アプリケーションで開く(&G)");
  EXPECT_EQ(menu.actions()[1]->text(), "Viewer");
  EXPECT_EQ(menu.actions()[1]->data().toInt(), 20001);
  menu.actions()[1]->trigger();
  EXPECT_EQ(ran, 20001);
}

TEST_F(DialogTest, SaveFormatDialogRefusesABadFactorAndWritesEveryPage) {
  Profile::App().WriteInt("FileSave", "RotateAngle", 45);
  CFileSaveOption option;
  DialogDriver driver({[&](QDialog *d) {
    EXPECT_EQ(d->windowTitle(), "画像形式を指定してファイル保存");
    EXPECT_TRUE(Child<QRadioButton>(d, "rotateAngle")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(d, "angle")->value(), 45);
    EXPECT_FALSE(Child<QSpinBox>(d, "width")->isEnabled());
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
  QDir::setCurrent(QString::fromStdString(box.root().string()));
  ASSERT_TRUE(AskSaveFormat(nullptr, option));
  EXPECT_EQ(option.folder, box.path("out").string());
  const Profile &p = Profile::App();
  EXPECT_EQ(p.GetInt("FileSave", "Format", -1), 1);
  EXPECT_EQ(p.GetInt("FileSave", "SizeMode", -1), 2);
  EXPECT_EQ(p.GetString("FileSave", "Scale", ""), "0.5");
  EXPECT_EQ(p.GetInt("FileSave", "ScaleMode", -1), 3);
  EXPECT_EQ(p.GetInt("FileSave", "Unsharp", -1), 1);
  EXPECT_EQ(p.GetInt("FileSave", "JpegQuality", -1), 70);
  EXPECT_EQ(p.GetInt("FileSave", "RotateAngle", -1), 270);
}

class NoteDialogTest : public DocTest {
 protected:
  AppState app;
};

TEST_F(NoteDialogTest, NoteIsEditedWithItsLineEndsAndTheCellIsRedrawn) {
  Write("pics/a.pic", "PICa");
  ASSERT_TRUE(WriteNote(Folder(), "", "a.pic", "one\r\ntwo"));
  auto doc = MakeDoc();
  doc->ChangeFolder(Folder(), nullptr, false);
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
