// The print dialog: the preview shows the pages a definition gives, and printing sends
// the same pages to the printer chosen in the system's dialog.

#include "app/dialogs/printdialog.h"

#include "app/picturehost.h"

#include <QComboBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "dialogtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

class PrintDialogTest : public test::DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    OpenPictures(5);
    // Two pictures a page: five pictures give three pages.
    definition =
        box.write("two.dps", "P,0,0,80,60,15\nN\nP,0,70,80,130,15\nS,0,140,80,150,$(PicName),0,,10,0\n")
            .string();
  }
  std::string definition;
};

// Pages of a PDF file: its page objects.
int PdfPages(const fs::path &path) {
  const QString text = QString::fromLatin1(QByteArray::fromStdString(test::ReadFile(path)));
  return static_cast<int>(text.count(QRegularExpression("/Type\\s*/Page[^s]")));
}

TEST_F(PrintDialogTest, PreviewShowsThePagesOfTheDefinition) {
  CPrintDialog dialog(*doc, *cells);
  dialog.show();
  test::Shoot(dialog, "print");
  test::Child<QComboBox>(dialog, "definition")->setEditText(QString::fromStdString(definition));
  int pages = -1;
  test::WhenShown<QPrintPreviewDialog>([&](QPrintPreviewDialog &preview) {
    pages = preview.findChild<QPrintPreviewWidget *>()->pageCount();
    test::Shoot(preview, "preview");
    preview.reject();
  });
  QTest::mouseClick(test::Child<QPushButton>(dialog, "preview"), Qt::LeftButton);
  EXPECT_EQ(std::tuple(pages, Profile::App().GetString("Print", "File0", ""), doc->IsBusy()),
            std::tuple(3, definition, false));
}

TEST_F(PrintDialogTest, APictureWindowPrintsItsPictureWhenNothingIsSelected) {
  for (int i = 0; i < 5; ++i) doc->SetEntryFlags(i, 0);
  doc->CountSelected(true);
  CPictureHost host(*engine, nullptr);
  int selectedMeanwhile = -1;
  bool shownOne = false;
  const EntryId shown = EntryId::Of(*doc->GetEntry(3));
  test::WhenShown<CPrintDialog>([&](CPrintDialog &dialog) {
    selectedMeanwhile = doc->CountSelected(true), shownOne = doc->GetEntry(3)->IsSelected();
    // Re-sorted while the dialog is open: the picture is unselected wherever it went.
    doc->SortBy(kSortName, 1);
    if (shown.Matches(*doc->GetEntry(3))) doc->SortBy(kSortName, 2);
    dialog.reject();
  });
  host.Print(nullptr, shown);
  EXPECT_EQ(std::tuple(selectedMeanwhile, shownOne), std::tuple(1, true));
  EXPECT_EQ(doc->CountSelected(true), 0) << "the selection is left as it was";
}

TEST_F(PrintDialogTest, PrintingGoesToThePrinterChosenInTheSystemsDialog) {
  const fs::path pdf = box.path("out.pdf");
  bool seen = false;
  test::WhenShown<CPrintDialog>([&](CPrintDialog &dialog) {
    dialog.Printer().setOutputFileName(QString::fromStdString(pdf.string()));
    test::Child<QComboBox>(dialog, "definition")->setEditText(QString::fromStdString(definition));
    test::WhenShown<QPrintDialog>([&](QPrintDialog &chooser) {
      seen = true;
      chooser.accept();
    });
    QTest::mouseClick(test::Child<QPushButton>(dialog, "print"), Qt::LeftButton);
  });
  PrintPictures(*doc, *cells, nullptr);
  ASSERT_TRUE(seen);
  EXPECT_EQ(std::tuple(PdfPages(pdf), ui.progress.front()), std::tuple(3, "open:ファイル印刷中..."));
}

}  // namespace
}  // namespace tamro
