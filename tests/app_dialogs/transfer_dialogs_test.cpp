// The dialogs of copy, move and delete: the destination dialogs, the same-name question, the
// progress window, the delete question and the folder input of unpacking.

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>

#include "app/dialogs/progressdialog.h"
#include "app/dialogs/samenamedialog.h"
#include "app/dialogs/transferdialog.h"
#include "app/filecommandui.h"
#include "app/qtui.h"
#include "dialogtest.h"
#include "fileops/filecommands.h"
#include "fileops/samename.h"
#include "fileops/transfer.h"

namespace tamro::test {
namespace {

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
  for (std::string n : {"a", "b", "c"}) box.write("s/" + n + ".jpg", "new " + n);
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
  const std::vector<std::string> records = {MakeTransferRecord(box.path("s/a.jpg").string(), ""),
                                            MakeTransferRecord(box.path("s/b.jpg").string(), ""),
                                            MakeTransferRecord(box.path("s/c.jpg").string(), "")};
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
  auto doc = Open({"a.pic"});
  DocSettings settings = doc->Settings();
  settings.trashCan = 0;
  doc->ApplySettings(settings);
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
      QAbstractButton *yesButton = Button(d, "はい(&Y)");
      EXPECT_NE(Button(d, "いいえ(&N)"), nullptr);
      if (yes)
        yesButton->click();
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

}  // namespace
}  // namespace tamro::test
