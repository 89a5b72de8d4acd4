// The "動作設定" dialog through its widgets: every key reaches its place in the store.
#include "app/dialogs/behaviourdlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include "catalogue/rxdoc.h"
#include "decode/spihost.h"
#include "platform/profile.h"
#include "support/sandbox.h"
#include "support/widgetapp.h"
#include "views/onepicture.h"

namespace tamro::test {
namespace {

// Where the store keeps a switch the dialog names by its key.
std::string SectionOf(const std::string &key) {
  if (key[0] == '#' || key == "DynamicSPI" || key == "SpiAlert") return "SPI";
  if (key == "FolderMonitor") return "MainFrame";
  if (key == "AllView" || key == "Repeat" || key == "ZoomUp" || key == "ZoomDw") return "COneView";
  return "RXDoc";
}

TEST(BehaviourDlg, EveryCheckBoxAndFieldIsWrittenToItsKeyOnOkOnly) {
  EnsureWidgetApp();
  Sandbox box;
  Profile &profile = Profile::App();
  CRXDoc doc(&profile);
  CSpiHost host;

  {
    // Cancel keeps everything as it was.
    CBehaviourDlg dialog(doc, &host);
    Child<QCheckBox>(&dialog, "Archive")->setChecked(true);
    DialogButton(&dialog, QDialogButtonBox::Cancel)->click();
    EXPECT_FALSE(dialog.Changes());
    EXPECT_EQ(doc.Settings().archive, 0);
    EXPECT_FALSE(std::filesystem::exists(box.configFile()));
  }

  CBehaviourDlg dialog(doc, &host);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("動作設定"));
  ASSERT_EQ(dialog.findChild<QTabWidget *>()->count(), 5);

  // Deleting for good asks unless told not to; with the trash there is nothing to ask.
  auto *trash = Child<QCheckBox>(&dialog, "TrashCan");
  auto *noAsk = Child<QCheckBox>(&dialog, "DELQA");
  EXPECT_EQ(std::tuple(trash->isChecked(), noAsk->isEnabled()), std::tuple(true, false));
  trash->click();
  EXPECT_TRUE(noAsk->isEnabled());
  trash->click();

  std::vector<std::pair<std::string, int>> expected;
  for (QCheckBox *check : dialog.findChildren<QCheckBox *>()) {
    const std::string key = check->objectName().toStdString();
    ASSERT_FALSE(key.empty()) << check->text().toStdString();
    check->setChecked(!check->isChecked());
    expected.emplace_back(key, check->isChecked() ? 1 : 0);
  }
  EXPECT_EQ(expected.size(), 34u);
  Child<QLineEdit>(&dialog, "PathMask")->setText(QStringLiteral("*.png;*.jpg"));
  Child<QLineEdit>(&dialog, "HomeFolder")->setText(QStringLiteral("$(ExeDir)"));
  Child<QLineEdit>(&dialog, "NameFormat")->setText(QStringLiteral("\"$(PicName)\",\"$(PicSize)\""));
  Child<QSpinBox>(&dialog, "Threads")->setValue(3);
  Child<QSpinBox>(&dialog, "SleepDraw")->setValue(1500);
  // The picture window's defaults: what the next window reads.
  Child<QRadioButton>(&dialog, "fit3")->click();
  Child<QRadioButton>(&dialog, "scale10")->click();
  Child<QLineEdit>(&dialog, "ZoomStep")->setText(QStringLiteral("0.25"));
  Child<QSpinBox>(&dialog, "AngleUnit")->setValue(45);
  DialogButton(&dialog, QDialogButtonBox::Ok)->click();
  const OneViewSettings window = OneViewSettings::Load(profile);
  EXPECT_EQ(std::tuple(window.fitSize, window.scaleMode, window.zoomStep, window.angleUnit),
            std::tuple(3, 10, 0.25, 45));

  EXPECT_TRUE(dialog.Changes());
  for (const auto &[key, value] : expected) EXPECT_EQ(profile.GetInt(SectionOf(key), key, -1), value) << key;
  EXPECT_EQ(
      std::tuple(profile.GetString("RXDoc", "PathMask", ""), profile.GetString("RXDoc", "HomeFolder", ""),
                 profile.GetString("QEVxFile", "NameFormat", ""), profile.GetInt("RXDoc", "Threads", -1),
                 profile.GetInt("RXDoc", "SleepDraw", -1)),
      std::tuple("*.png;*.jpg", "$(ExeDir)", "\"$(PicName)\",\"$(PicSize)\"", 3, 1500));
  CSpiHost::SetAlert(true);
}

}  // namespace
}  // namespace tamro::test
