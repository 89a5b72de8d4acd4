// The "動作設定", "表示モード設定", "サムネイル設定" and "プラグイン設定" dialogs through their
// widgets: what they show, what they refuse, and every key reaching its place in the store (the
// colour and font dialogs included; the plug-in dialog over a host with real test plug-ins).
#include <dlfcn.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "app/dialogs/behaviourdlg.h"
#include "app/dialogs/displaymodedialog.h"
#include "app/dialogs/pluginsetdlg.h"
#include "app/dialogs/thumboptiondlg.h"
#include "app_dialogs/dialogdriver.h"
#include "catalogue/rxdoc.h"
#include "decode/spihost.h"
#include "platform/profile.h"
#include "platform/ui.h"
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

TEST(DisplayModeDialogTest, ShowsTheWindowsValuesRefusesABadStepAndHandsBackTheEdits) {
  EnsureWidgetApp();
  ScriptedUi ui;
  ScopedUi scoped(ui);
  OneViewSettings s;
  s.fitSize = 3, s.scaleMode = 10, s.zoomStep = 0.25;
  CDisplayModeDialog dialog(s, 700);
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
  DialogDriver answers;
  answers.Then([](QDialog *d) {
    qobject_cast<QColorDialog *>(d)->setCurrentColor(QColor(1, 2, 3));
    d->accept();
  });
  answers.Then([](QDialog *d) {
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(20);
    qobject_cast<QFontDialog *>(d)->setCurrentFont(f);
    d->accept();
  });
  Child<QPushButton>(&dialog, "colText")->click();
  Child<QPushButton>(&dialog, "CaptionFont")->click();
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

namespace fs = std::filesystem;

// What the settings entry of the test plug-in was called with.
template <class T>
T PluginValue(const std::string &modulePath, const char *name) {
  void *module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!module) return T{};
  T value = *static_cast<T *>(dlsym(module, name));
  dlclose(module);
  return value;
}

TEST(PluginSetDlg, UseBitsListsAndANewSetNameReachTheHostAndTheStore) {
  EnsureWidgetApp();
  Sandbox box;
  ScriptedUi ui;
  ScopedUi scoped(ui);
  const fs::path spi = box.path("spi");
  fs::create_directories(spi);
  fs::copy_file(fs::path(TAMRO_BIN_DIR) / "testspi/tpic.spi", spi / "Pic.spi");
  fs::copy_file(fs::path(TAMRO_BIN_DIR) / "testspi/tarc.spi", spi / "Arc.spi");
  fs::copy_file(TAMRO_TCFG_SPI, spi / "Cfg.spi");
  CSpiHost host;
  host.ScanPlugins((spi / "*.SPI").string(), {}, "");
  host.LoadPluginSet("");
  constexpr int kCfg = 0, kPic = 1, kArc = 0;
  ASSERT_EQ(host.GetDecoderName(kPic, kSpiPicture), "Pic");

  CPluginSetDlg dialog(host);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("プラグイン設定"));
  auto *pictures = Child<QTableWidget>(&dialog, "PictureList");
  auto *view = Child<QTableWidget>(&dialog, "ViewList");
  auto *useAll = Child<QCheckBox>(&dialog, "UseAllPictures");
  ASSERT_EQ(pictures->rowCount(), 2);
  EXPECT_EQ(std::tuple(pictures->horizontalHeaderItem(1)->text(), pictures->item(kPic, 1)->text(),
                       pictures->item(kPic, 2)->text(), pictures->item(kPic, 3)->text(),
                       pictures->horizontalHeader()->sectionSize(2)),
            std::tuple(QStringLiteral("ﾌﾟﾗｸﾞｲﾝ名"), QStringLiteral("Pic"),
                       QStringLiteral("TPIC test decoder"), QStringLiteral("*.tpc;*.tpx"), 360));

  // The check box is the use bit.
  pictures->item(kPic, 0)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(host.GetUse(kPic, kSpiPicture));

  // "プラグイン設定" only for a plug-in that has a dialog; it gets this window and function 1.
  auto *config = Child<QPushButton>(&dialog, "PictureConfig");
  pictures->selectRow(kCfg);
  ASSERT_TRUE(config->isEnabled());
  config->click();
  const std::string cfgPath = host.GetModulePath(kCfg, kSpiPicture);
  EXPECT_EQ(PluginValue<int>(cfgPath, "tcfg_calls"), 1);
  EXPECT_EQ(PluginValue<int>(cfgPath, "tcfg_function"), 1);
  EXPECT_NE(PluginValue<void *>(cfgPath, "tcfg_parent"), nullptr);
  pictures->selectRow(kPic);
  EXPECT_FALSE(config->isEnabled());
  Child<QPushButton>(&dialog, "PictureProperties")->click();
  ASSERT_FALSE(ui.calls.empty());
  EXPECT_EQ(ui.calls.back().caption, "プロパティ");
  EXPECT_NE(ui.calls.back().text.find((spi / "Pic.spi").string()), std::string::npos);

  // Adding to a list whose box "use all" is ticked clears the tick; the list holds the added one.
  Child<QTableWidget>(&dialog, "ArchiveList")->selectRow(kArc);
  EXPECT_EQ(std::tuple(useAll->isChecked(), view->isEnabled()), std::tuple(true, false));
  Child<QPushButton>(&dialog, "AddView")->click();
  EXPECT_EQ(std::tuple(useAll->isChecked(), view->isEnabled()), std::tuple(false, true));
  ASSERT_EQ(view->rowCount(), 1);
  EXPECT_EQ(std::tuple(view->item(0, 0)->text(), host.GetViewSpi(kArc)),
            std::tuple(QStringLiteral("Pic"), std::vector<int>{kPic}));

  // A name typed into the set box makes a set of the current flags when the box is left.
  auto *sets = Child<QComboBox>(&dialog, "SPISet");
  sets->lineEdit()->setFocus();
  QTest::keyClicks(sets->lineEdit(), QStringLiteral("Work"));
  pictures->setFocus();
  const Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(p.GetInt("SPISET\\Work", "Pic", -1), p.GetInt("SPISET\\Work", "Cfg", -1),
                       p.GetString("SPISET\\Work\\Arc", "ViewSPI", ""), sets->itemText(0)),
            std::tuple(0, 1, "Pic", QStringLiteral("Work")));

  Child<QPushButton>(&dialog, "CloseButton")->click();
  EXPECT_EQ(
      std::tuple(dialog.isVisible(), p.GetString("SPI", "SPISetList", ""), p.GetString("SPI", "SPISet", ""),
                 host.CurrentSetName(), host.GetUse(kPic, kSpiPicture)),
      std::tuple(false, "Work", "Work", "Work", false));
}

}  // namespace
}  // namespace tamro::test
