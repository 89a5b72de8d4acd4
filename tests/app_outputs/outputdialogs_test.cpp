// The output dialogs and the commands around them. "HTMLの作成": what the dialog hands to its
// option. "レポートファイルの作成": the macro menu edits the format box where the caret was, and
// the command writes the chosen file with the format, which joins the history.
// "コンタクトシートの作成": the dialog's values reach the sheets the command writes. "壁紙設定":
// the preview follows the placement and the adjustments as they change, and "実行" writes the
// adjusted picture and hands it to the desktop. The print dialog: the preview shows the pages a
// definition gives, and printing sends the same pages to the printer chosen in the system's
// dialog.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include "app/dialogs/contactsheetdialog.h"
#include "app/dialogs/htmldialog.h"
#include "app/dialogs/printdialog.h"
#include "app/dialogs/reportdialog.h"
#include "app/dialogs/wallpaperdialog.h"
#include "app/picturehost.h"
#include "app_dialogs/dialogdriver.h"
#include "catalogue/engine.h"
#include "output/htmlcatalog.h"
#include "output/report.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/sandbox.h"
#include "support/widgetapp.h"
#include "views/viewtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

// The output dialogs on a real folder document: pictures in a sandbox, the decoders, the
// thumbnail builder and cell painter the window uses; the dialog driver acts on a modal dialog
// while its command waits for it.
class OutputDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureWidgetApp();
    Profile::ResetApp();
    folder = box.root() / "写真";
  }

  // `count` pictures of 80 x 60, all selected.
  void OpenPictures(int count) {
    for (int i = 0; i < count; ++i)
      test::WriteColourPicture(folder / ("p" + std::to_string(100 + i) + ".bmp"), 80, 60,
                               test::TestColour(i));
    engine = std::make_unique<CatalogueEngine>(Profile::App(), EngineHooks{&icons, nullptr, {}, 1, false});
    engine->Host().LoadSwitches();
    doc = &engine->Doc(), cells = &engine->Painter();
    doc->ChangeFolder(folder.string(), nullptr, false);
    ASSERT_EQ(doc->GetEntryCount(), count);
    for (int i = 0; i < count; ++i) doc->SetEntryFlags(i, CPicEntry::kSelected);
  }

  test::Sandbox box;
  fs::path folder;
  GlyphIconSource icons;
  std::unique_ptr<CatalogueEngine> engine;
  CRXDoc *doc = nullptr;
  CCellPainter *cells = nullptr;
  ScriptedUi ui;
  ScopedUi scope{ui};
};

using HtmlDialogTest = OutputDialogTest;

TEST_F(HtmlDialogTest, CreateStaysOpenUntilEveryTextIsGivenThenHandsOverTheValues) {
  CHtmlOption option;
  option.Load();
  CHtmlDialog dialog(option);
  dialog.show();
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
  test::DialogDriver driver({[&](QDialog *dialog) {
    // A relative folder starts at the document's folder.
    test::Child<QComboBox>(dialog, "folder")->setEditText("web");
    // No template: the built-in one.
    test::Child<QComboBox>(dialog, "template")->setEditText("");
    test::Child<QSpinBox>(dialog, "pageCount")->setValue(2);
    QTest::mouseClick(test::Child<QPushButton>(dialog, "create"), Qt::LeftButton);
  }});
  MakeHtmlCatalogue(*doc, *cells, nullptr);
  EXPECT_TRUE(fs::is_regular_file(folder / "web/catalog.htm"));
  // The third picture in list order is alone on page 2.
  const std::string second = test::ReadFile(folder / "web/catalog-2.htm");
  for (const std::string &part : {doc->GetEntry(2)->name, std::string("WIDTH=\"160\" HEIGHT=\"120\""),
                                  std::string("Original Directory:")})
    EXPECT_NE(second.find(part), std::string::npos) << part;
  EXPECT_EQ(std::tuple(ui.progress.front(), QDir::currentPath()), std::tuple("open:HTMLの作成中", before));
}

using ReportDialogTest = OutputDialogTest;

void ChooseMacro(QWidget &dialog, const char *label) {
  for (QAction *action : test::Child<QMenu>(dialog, "macroMenu")->actions())
    if (action->text() == QString::fromUtf8(label)) return action->trigger();
  ADD_FAILURE() << label;
}

TEST_F(ReportDialogTest, MacroGoesWhereTheCaretOrSelectionWasBeforeTheBoxLostFocus) {
  CReportOption option;
  option.Load();
  CReportDialog dialog(option, QString::fromStdString(box.root().string()));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  auto *format = test::Child<QComboBox>(dialog, "format");
  // An empty history offers the built-in format.
  EXPECT_EQ(format->currentText().toStdString(), kDefaultReportFormat);

  QLineEdit *edit = format->lineEdit();
  edit->setFocus();
  edit->setText("A B");
  edit->setCursorPosition(2);
  // The menu button takes the focus, which clears the line's own selection.
  test::Child<QPushButton>(dialog, "macros")->setFocus();
  ChooseMacro(dialog, "ファイルサイズ");
  EXPECT_EQ(std::tuple(format->currentText(), edit->cursorPosition()), std::tuple("A $(Size)B", 9));

  edit->setFocus();
  edit->setText("写真 X");
  edit->setSelection(3, 1);
  test::Child<QPushButton>(dialog, "macros")->setFocus();
  ChooseMacro(dialog, "コメント");
  EXPECT_EQ(format->currentText(), "写真 $(Note)");
}

TEST_F(ReportDialogTest, CommandAsksBeforeReplacingAFileAndKeepsTheFormat) {
  OpenPictures(2);
  box.write("写真/report.txt", "old");
  ui.answers = {IDNO, IDYES};
  test::DialogDriver driver({[&](QDialog *dialog) {
    test::Child<QComboBox>(dialog, "format")->setEditText("[$(PN)]");
    dialog->accept();
    // "いいえ" keeps the dialog open; "はい" closes it.
    EXPECT_TRUE(dialog->isVisible());
    dialog->accept();
  }});
  WriteReport(*doc, *engine, nullptr);
  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[0]->text, "report.txt は既に存在します。\n上書きしますか?");
  EXPECT_EQ(test::ReadFile(folder / "report.txt"),
            "[" + doc->GetEntry(0)->name + "]\r\n[" + doc->GetEntry(1)->name + "]\r\n");
  EXPECT_EQ(Profile::App().GetString("ReportFile", "0", ""), "[$(PN)]");
}

using ContactSheetDialogTest = OutputDialogTest;

TEST_F(ContactSheetDialogTest, CommandDrawsTheSelectionWithTheChosenGridAndFormat) {
  OpenPictures(5);
  const fs::path out = box.path("sheets");
  fs::create_directories(out);
  test::DialogDriver driver({[&](QDialog *dialog) {
    auto *create = test::Child<QPushButton>(dialog, "create");
    test::Child<QComboBox>(dialog, "folder")->setEditText(QString::fromStdString(out.string()));
    // No name yet: the dialog stays.
    QTest::mouseClick(create, Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());
    test::Child<QComboBox>(dialog, "fileName")->setEditText("sheet");
    test::Child<QSpinBox>(dialog, "columns")->setValue(2);
    test::Child<QSpinBox>(dialog, "rows")->setValue(2);
    test::Child<QComboBox>(dialog, "fileType")->setCurrentIndex(1);
    test::Child<QSpinBox>(dialog, "quality")->setValue(80);
    QTest::mouseClick(create, Qt::LeftButton);
  }});
  MakeContactSheet(*doc, *cells, nullptr);
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

class WallpaperDialogTest : public OutputDialogTest {
 protected:
  void SetUp() override {
    OutputDialogTest::SetUp();
    QImage grey(40, 30, QImage::Format_RGB32);
    grey.fill(QColor(100, 100, 100));
    picture.reset(BitmapToDib(grey));
  }
  static QColor Centre(QWidget &w) {
    const QImage shot = w.grab().toImage();
    return shot.pixelColor(shot.width() / 2, shot.height() / 2);
  }
  GlobalHandle picture;
};

TEST_F(WallpaperDialogTest, PreviewShowsTheAdjustmentsLiveWhenChecked) {
  CWallpaperDialog dialog(picture.get());
  dialog.SetScreenSize({400, 300});
  dialog.show();
  QWidget &preview = *test::Child<QWidget>(dialog, "preview");
  auto *check = test::Child<QCheckBox>(dialog, "previewBox");
  // Stretched, the picture covers the whole preview.
  test::Child<QComboBox>(dialog, "placement")->setCurrentIndex(kWallpaperStretched);
  EXPECT_EQ(Centre(preview), QColor(100, 100, 100));

  check->setChecked(true);
  test::Child<QSlider>(dialog, "redSlider")->setValue(100);
  EXPECT_EQ(std::tuple(test::Child<QSpinBox>(dialog, "red")->value(), Centre(preview)),
            std::tuple(100, QColor(200, 100, 100)));
  // Unchecked, the picture is shown as it is.
  check->setChecked(false);
  EXPECT_EQ(Centre(preview), QColor(100, 100, 100));
  check->setChecked(true);
  QTest::mouseClick(test::Child<QPushButton>(dialog, "reset"), Qt::LeftButton);
  EXPECT_EQ(std::tuple(test::Child<QSlider>(dialog, "redSlider")->value(), Centre(preview)),
            std::tuple(0, QColor(100, 100, 100)));
}

TEST_F(WallpaperDialogTest, ApplyWritesTheAdjustedPictureForTheScreenAndTheSettings) {
  // A desktop setter that takes anything.
  fs::permissions(box.write("bin/gsettings", "#!/bin/sh\nexit 0\n"), fs::perms::owner_all);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", box.path("bin").c_str(), 1);
  setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);

  CWallpaperDialog dialog(picture.get());
  dialog.SetScreenSize({64, 48});
  test::Child<QComboBox>(dialog, "placement")->setCurrentIndex(kWallpaperStretched);
  test::Child<QSpinBox>(dialog, "blue")->setValue(-50);
  QTest::mouseClick(test::Child<QPushButton>(dialog, "apply"), Qt::LeftButton);
  setenv("PATH", oldPath.c_str(), 1);
  unsetenv("XDG_CURRENT_DESKTOP");

  EXPECT_TRUE(ui.Messages().empty());
  ASSERT_FALSE(ui.calls.empty());
  EXPECT_EQ(ui.calls.back().kind + ":" + ui.calls.back().text, "status:壁紙を設定しました");
  const QImage written(QString::fromStdString(box.path("data/Tamro/RXW_WALL.BMP").string()));
  EXPECT_EQ(std::tuple(written.size(), written.pixelColor(32, 24)),
            std::tuple(QSize(64, 48), QColor(100, 100, 50)));
  const Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(p.GetInt("WallPaper", "Mode", 0), p.GetInt("WallPaper", "Blue", 0),
                       p.GetString("Control Panel\\Desktop", "TileWallpaper", "")),
            std::tuple(kWallpaperStretched, -50, "0"));
}

class PrintDialogTest : public OutputDialogTest {
 protected:
  void SetUp() override {
    OutputDialogTest::SetUp();
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
  test::Child<QComboBox>(dialog, "definition")->setEditText(QString::fromStdString(definition));
  int pages = -1;
  test::DialogDriver driver({[&](QDialog *preview) {
    pages = preview->findChild<QPrintPreviewWidget *>()->pageCount();
    preview->reject();
  }});
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
  test::DialogDriver driver({[&](QDialog *dialog) {
    selectedMeanwhile = doc->CountSelected(true), shownOne = doc->GetEntry(3)->IsSelected();
    // Re-sorted while the dialog is open: the picture is unselected wherever it went.
    doc->SortBy(kSortName, 1);
    if (shown.Matches(*doc->GetEntry(3))) doc->SortBy(kSortName, 2);
    dialog->reject();
  }});
  host.Print(nullptr, shown);
  EXPECT_EQ(std::tuple(selectedMeanwhile, shownOne), std::tuple(1, true));
  EXPECT_EQ(doc->CountSelected(true), 0) << "the selection is left as it was";
}

TEST_F(PrintDialogTest, PrintingGoesToThePrinterChosenInTheSystemsDialog) {
  const fs::path pdf = box.path("out.pdf");
  test::DialogDriver driver;
  driver.Then([&](QDialog *dialog) {
    static_cast<CPrintDialog *>(dialog)->Printer().setOutputFileName(QString::fromStdString(pdf.string()));
    test::Child<QComboBox>(dialog, "definition")->setEditText(QString::fromStdString(definition));
    QTest::mouseClick(test::Child<QPushButton>(dialog, "print"), Qt::LeftButton);
  });
  driver.Then([](QDialog *chooser) { chooser->accept(); });
  PrintPictures(*doc, *cells, nullptr);
  EXPECT_EQ(std::tuple(PdfPages(pdf), ui.progress.front()), std::tuple(3, "open:ファイル印刷中..."));
}

}  // namespace
}  // namespace tamro
