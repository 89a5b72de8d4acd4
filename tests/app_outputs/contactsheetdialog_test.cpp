// "コンタクトシートの作成": the dialog's values reach the sheets the command writes.

#include "app/dialogs/contactsheetdialog.h"

#include <QComboBox>
#include <QImage>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "dialogtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

using ContactSheetDialogTest = test::DialogTest;

TEST_F(ContactSheetDialogTest, CommandDrawsTheSelectionWithTheChosenGridAndFormat) {
  OpenPictures(5);
  const fs::path out = box.path("sheets");
  fs::create_directories(out);
  bool seen = false;
  test::WhenShown<CContactSheetDialog>([&](CContactSheetDialog &dialog) {
    seen = true;
    test::Shoot(dialog, "contactsheet");
    auto *create = test::Child<QPushButton>(dialog, "create");
    test::Child<QComboBox>(dialog, "folder")->setEditText(QString::fromStdString(out.string()));
    // No name yet: the dialog stays.
    QTest::mouseClick(create, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    test::Child<QComboBox>(dialog, "fileName")->setEditText("sheet");
    test::Child<QSpinBox>(dialog, "columns")->setValue(2);
    test::Child<QSpinBox>(dialog, "rows")->setValue(2);
    test::Child<QComboBox>(dialog, "fileType")->setCurrentIndex(1);
    test::Child<QSpinBox>(dialog, "quality")->setValue(80);
    QTest::mouseClick(create, Qt::LeftButton);
  });
  MakeContactSheet(*doc, *cells, nullptr);
  ASSERT_TRUE(seen);
  // Five pictures on 2 x 2 sheets: two numbered JPEG sheets.
  const CellSize cell = doc->ThumbsSize();
  const QImage first(QString::fromStdString((out / "sheet00.jpg").string()));
  EXPECT_EQ(
      std::tuple(first.size(), fs::is_regular_file(out / "sheet01.jpg"), fs::exists(out / "sheet02.jpg")),
      std::tuple(QSize(2 * cell.width, 2 * cell.height), true, false));
  const Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(p.GetString("Catalog", "FileName0", ""), p.GetInt("Catalog", "Width", 0),
                       p.GetInt("Catalog", "Filetype", 0), p.GetInt("Catalog", "JpgQuality", 0)),
            std::tuple("sheet", 2, 1, 80));
}

}  // namespace
}  // namespace tamro
