// The "サムネイル設定" dialog through its widgets, the colour and font dialogs included.
#include "app/dialogs/thumboptiondlg.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <functional>

#include "catalogue/rxdoc.h"
#include "platform/profile.h"
#include "support/sandbox.h"
#include "support/widgetapp.h"

namespace tamro::test {
namespace {

// Clicks `button`, and answers the modal dialog it opens with `answer`.
template <class Dialog>
void ClickAndAnswer(QPushButton *button, std::function<void(Dialog *)> answer) {
  bool answered = false;
  QTimer::singleShot(0, [&] {
    QWidget *modal = QApplication::activeModalWidget();
    auto *dialog = qobject_cast<Dialog *>(modal);
    if (!dialog) {
      ADD_FAILURE() << "no dialog to answer";
      if (modal) modal->close();
      return;
    }
    answer(dialog);
    dialog->accept();
    answered = true;
  });
  button->click();
  EXPECT_TRUE(answered);
}

TEST(ThumbOptionDlg, SizesColoursFontAndSwitchesAreWrittenOnOk) {
  EnsureWidgetApp();
  Sandbox box;
  Profile &profile = Profile::App();
  CRXDoc doc(&profile);
  CThumbOptionDlg dialog(doc);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("サムネイル設定"));

  // The cell is never smaller than its limit: raising the limit raises the cell.
  auto *width = Child<QSpinBox>(&dialog, "ThumbsSizeWidth");
  width->setValue(50);
  Child<QSpinBox>(&dialog, "ThumbsLimitSizeWidth")->setValue(60);
  EXPECT_EQ(width->value(), 60);
  width->setValue(30);
  EXPECT_EQ(width->value(), 60);
  EXPECT_EQ(Child<QSpinBox>(&dialog, "ThumbsLimitSizeHeight")->minimum(), 10);

  auto *mode = Child<QComboBox>(&dialog, "ScaleMode");
  EXPECT_EQ(mode->currentText(), QStringLiteral("自動判定　美麗モード"));
  mode->setCurrentIndex(2);
  Child<QCheckBox>(&dialog, "Frame")->click();
  Child<QSpinBox>(&dialog, "ScaleStep")->setValue(7);
  Child<QLineEdit>(&dialog, "NameFormat")->setText(QStringLiteral("\"$(PicName)\",\"x\""));
  ClickAndAnswer<QColorDialog>(Child<QPushButton>(&dialog, "colText"),
                               [](QColorDialog *d) { d->setCurrentColor(QColor(1, 2, 3)); });
  ClickAndAnswer<QFontDialog>(Child<QPushButton>(&dialog, "CaptionFont"), [](QFontDialog *d) {
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(20);
    d->setCurrentFont(f);
  });
  EXPECT_TRUE(Child<QPushButton>(&dialog, "CaptionFont")->text().contains(QStringLiteral("20px")));
  EXPECT_FALSE(std::filesystem::exists(box.configFile())) << "nothing is written before OK";

  DialogButton(&dialog, QDialogButtonBox::Ok)->click();
  EXPECT_EQ(
      std::tuple(static_cast<bool>(dialog.Changes()), profile.GetString("RXDoc", "ThumbsSize", ""),
                 profile.GetString("RXDoc", "ThumbsLimitSize", ""), profile.GetInt("RXDoc", "ScaleMode", -1),
                 profile.GetInt("RXDoc", "Frame", -1), profile.GetInt("RXDoc", "ScaleStep", -1)),
      std::tuple(true, "60,110", "60,40", 2, 1, 7));
  EXPECT_EQ(std::tuple(
                profile.GetInt("QEVxFile", "colText", -1), profile.GetString("QEVxFile", "fontFaceName", ""),
                profile.GetInt("QEVxFile", "fontHeight", 0), profile.GetString("QEVxFile", "NameFormat", "")),
            std::tuple(0x030201, QFont(QStringLiteral("IPAPGothic")).family().toStdString(), -20,
                       "\"$(PicName)\",\"x\""));
  EXPECT_FALSE(profile.Has("QEVxFile", "colBackGround")) << "untouched colours stay unwritten";
}

}  // namespace
}  // namespace tamro::test
