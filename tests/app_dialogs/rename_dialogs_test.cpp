// The rename dialogs: the numbered rename with its "Report" list, and the rename that asks
// file by file.

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>

#include "app/dialogs/renamedialog.h"
#include "app/filecommandui.h"
#include "app/qtui.h"
#include "dialogtest.h"

namespace tamro::test {
namespace {

namespace fs = std::filesystem;

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
