// "HTMLの作成": what the dialog hands to its option, and the command around it.

#include "app/dialogs/htmldialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "dialogtest.h"
#include "output/htmlcatalog.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

using HtmlDialogTest = test::DialogTest;

TEST_F(HtmlDialogTest, CreateStaysOpenUntilEveryTextIsGivenThenHandsOverTheValues) {
  CHtmlOption option;
  option.Load();
  CHtmlDialog dialog(option);
  dialog.show();
  test::Shoot(dialog, "html");
  auto *folderBox = test::Child<QComboBox>(dialog, "folder");
  auto *templateBox = test::Child<QComboBox>(dialog, "template");
  auto *create = test::Child<QPushButton>(dialog, "create");
  // The name starts as the usual one; folder and template are empty at first.
  EXPECT_EQ(test::Child<QComboBox>(dialog, "fileName")->currentText(), "catalog.htm");

  // The shipped example is offered.
  EXPECT_EQ(templateBox->itemText(templateBox->count() - 1).toStdString(), ExampleHtmlTemplate());
  EXPECT_TRUE(templateBox->itemText(0).endsWith("/sample.rxm"));

  // A refusal says why.
  QTest::mouseClick(create, Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0]->text, "保存先フォルダを指定してください");
  EXPECT_TRUE(dialog.focusWidget() == folderBox || folderBox->isAncestorOf(dialog.focusWidget()));
  EXPECT_FALSE(Profile::App().Has("Html", "Folder0"));

  folderBox->setEditText(QString::fromStdString(box.path("out").string()));

  templateBox->setEditText("mine.rxm");
  test::Child<QSpinBox>(dialog, "pageCount")->setValue(7);
  test::Child<QCheckBox>(dialog, "jpegSave")->setChecked(true);
  test::Child<QSpinBox>(dialog, "quality")->setValue(60);
  test::Child<QCheckBox>(dialog, "resize")->setChecked(true);
  QTest::mouseClick(create, Qt::LeftButton);
  EXPECT_EQ(std::tuple(dialog.result(), option.templateFile, option.OutputFile()),
            std::tuple(QDialog::Accepted, "mine.rxm", box.path("out/catalog.htm").string()));
  const Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(p.GetString("Html", "HtmlFile0", ""), p.GetInt("Html", "PageCount", 0),
                       p.GetInt("Html", "JpegSave", 0), p.GetInt("Html", "JpegQuality", 0),
                       p.GetInt("Html", "JpegResize", 0)),
            std::tuple("mine.rxm", 7, 1, 60, 1));

  // The next dialog starts from the history.
  CHtmlOption again;
  again.Load();
  CHtmlDialog next(again);
  EXPECT_EQ(test::Child<QComboBox>(next, "template")->currentText(), "mine.rxm");
  EXPECT_EQ(test::Child<QComboBox>(next, "folder")->count(), 1);
}

TEST_F(HtmlDialogTest, CommandWritesThePagesIntoAFolderNamedFromTheDocumentsFolder) {
  OpenPictures(3);
  const QString before = QDir::currentPath();
  ui.answers.push_back(IDYES);  // create the missing folder
  bool seen = false;
  test::WhenShown<CHtmlDialog>([&](CHtmlDialog &dialog) {
    seen = true;
    // A relative folder starts at the document's folder.
    test::Child<QComboBox>(dialog, "folder")->setEditText("web");
    // No template: the built-in one.
    test::Child<QComboBox>(dialog, "template")->setEditText("");
    test::Child<QSpinBox>(dialog, "pageCount")->setValue(2);
    QTest::mouseClick(test::Child<QPushButton>(dialog, "create"), Qt::LeftButton);
    if (dialog.isVisible()) dialog.reject();
  });
  MakeHtmlCatalogue(*doc, *cells, nullptr);
  ASSERT_TRUE(seen);
  EXPECT_TRUE(fs::is_regular_file(folder / "web/catalog.htm"));
  // The third picture in list order is alone on page 2.
  const std::string second = test::ReadFile(folder / "web/catalog-2.htm");
  for (const std::string &part : {doc->GetEntry(2)->name, std::string("WIDTH=\"160\" HEIGHT=\"120\""),
                                  std::string("Original Directory:")})
    EXPECT_NE(second.find(part), std::string::npos) << part;
  EXPECT_EQ(std::tuple(ui.progress.front(), QDir::currentPath()), std::tuple("open:HTMLの作成中", before));
}

}  // namespace
}  // namespace tamro
