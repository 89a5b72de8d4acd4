// "表示モード設定" through its widgets: what it shows, what it refuses, what it hands back.
#include "app/dialogs/displaymodedialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <cstdlib>

#include "platform/ui.h"
#include "support/widgetapp.h"

namespace tamro::test {
namespace {

TEST(DisplayModeDialogTest, ShowsTheWindowsValuesRefusesABadStepAndHandsBackTheEdits) {
  EnsureWidgetApp();
  ScriptedUi ui;
  SetUi(&ui);
  OneViewSettings s;
  s.fitSize = 3, s.scaleMode = 10, s.zoomStep = 0.25;
  CDisplayModeDialog dialog(s, 700);
  if (const char *dir = std::getenv("TAMRO_DIALOG_SHOTS")) dialog.grab().save(QString::fromUtf8(dir) + "/displaymode.png");
  EXPECT_TRUE(Child<QRadioButton>(&dialog, "fit3")->isChecked());
  EXPECT_TRUE(Child<QRadioButton>(&dialog, "scale10")->isChecked());
  EXPECT_EQ(Child<QLineEdit>(&dialog, "ZoomStep")->text(), "0.25");
  EXPECT_EQ(Child<QSpinBox>(&dialog, "SleepDraw")->value(), 700);

  // A step that is no positive number keeps the dialog open with a message.
  Child<QLineEdit>(&dialog, "ZoomStep")->setText("0");
  DialogButton(&dialog, QDialogButtonBox::Ok)->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  ASSERT_EQ(ui.Messages().size(), 1u);

  Child<QLineEdit>(&dialog, "ZoomStep")->setText("1");
  Child<QRadioButton>(&dialog, "fit0")->click();
  Child<QRadioButton>(&dialog, "scale2")->click();
  Child<QSpinBox>(&dialog, "SleepDraw")->setValue(2500);
  Child<QSpinBox>(&dialog, "AngleUnit")->setValue(45);
  Child<QCheckBox>(&dialog, "AllView")->setChecked(true);
  DialogButton(&dialog, QDialogButtonBox::Ok)->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const OneViewSettings &out = dialog.Settings();
  EXPECT_EQ(
      std::tuple(out.fitSize, out.scaleMode, out.zoomStep, out.angleUnit, out.allView, dialog.Interval()),
      std::tuple(0, 2, 1.0, 45, true, 2500));
  SetUi(nullptr);
}

}  // namespace
}  // namespace tamro::test
