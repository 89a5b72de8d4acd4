// "レポートファイルの作成": the macro menu edits the format box where the caret was, and
// the command writes the chosen file with the format, which joins the history.

#include "app/dialogs/reportdialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "dialogtest.h"
#include "output/report.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

using ReportDialogTest = test::DialogTest;

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
  test::Shoot(dialog, "report");
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
  bool seen = false;
  test::WhenShown<CReportDialog>([&](CReportDialog &dialog) {
    seen = true;
    test::Child<QComboBox>(dialog, "format")->setEditText("[$(PN)]");
    dialog.accept();
    // "いいえ" keeps the dialog open; "はい" closes it.
    EXPECT_TRUE(dialog.isVisible());
    dialog.accept();
  });
  WriteReport(*doc, *engine, nullptr);
  ASSERT_TRUE(seen);
  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[0]->text, "report.txt は既に存在します。\n上書きしますか?");
  EXPECT_EQ(test::ReadFile(folder / "report.txt"),
            "[" + doc->GetEntry(0)->name + "]\r\n[" + doc->GetEntry(1)->name + "]\r\n");
  EXPECT_EQ(Profile::App().GetString("ReportFile", "0", ""), "[$(PN)]");
}

}  // namespace
}  // namespace tamro
