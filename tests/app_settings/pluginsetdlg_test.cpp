// The "プラグイン設定" dialog through its widgets, over a host with real test plug-ins.
#include "app/dialogs/pluginsetdlg.h"

#include <dlfcn.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

#include "decode/spihost.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/sandbox.h"
#include "support/widgetapp.h"

namespace tamro::test {
namespace {

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
  auto *archives = Child<QTableWidget>(&dialog, "ArchiveList");
  auto *view = Child<QTableWidget>(&dialog, "ViewList");
  auto *useAll = Child<QCheckBox>(&dialog, "UseAllPictures");
  ASSERT_EQ(pictures->rowCount(), 2);
  EXPECT_EQ(pictures->horizontalHeaderItem(1)->text(), QStringLiteral("ﾌﾟﾗｸﾞｲﾝ名"));
  EXPECT_EQ(pictures->item(kPic, 1)->text(), QStringLiteral("Pic"));
  EXPECT_EQ(pictures->item(kPic, 2)->text(), QStringLiteral("TPIC test decoder"));
  EXPECT_EQ(pictures->item(kPic, 3)->text(), QStringLiteral("*.tpc;*.tpx"));
  EXPECT_EQ(pictures->horizontalHeader()->sectionSize(2), 360);

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
  archives->selectRow(kArc);
  EXPECT_TRUE(useAll->isChecked());
  EXPECT_FALSE(view->isEnabled());
  Child<QPushButton>(&dialog, "AddView")->click();
  EXPECT_FALSE(useAll->isChecked());
  EXPECT_TRUE(view->isEnabled());
  ASSERT_EQ(view->rowCount(), 1);
  EXPECT_EQ(view->item(0, 0)->text(), QStringLiteral("Pic"));
  EXPECT_EQ(host.GetViewSpi(kArc), std::vector<int>{kPic});

  // A name typed into the set box makes a set of the current flags when the box is left.
  auto *sets = Child<QComboBox>(&dialog, "SPISet");
  sets->lineEdit()->setFocus();
  QTest::keyClicks(sets->lineEdit(), QStringLiteral("Work"));
  pictures->setFocus();
  const Profile &p = Profile::App();
  EXPECT_EQ(p.GetInt("SPISET\\Work", "Pic", -1), 0);
  EXPECT_EQ(p.GetInt("SPISET\\Work", "Cfg", -1), 1);
  EXPECT_EQ(p.GetString("SPISET\\Work\\Arc", "ViewSPI", ""), "Pic");
  EXPECT_EQ(sets->itemText(0), QStringLiteral("Work"));

  Child<QPushButton>(&dialog, "CloseButton")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(p.GetString("SPI", "SPISetList", ""), "Work");
  EXPECT_EQ(p.GetString("SPI", "SPISet", ""), "Work");
  EXPECT_EQ(host.CurrentSetName(), "Work");
  EXPECT_FALSE(host.GetUse(kPic, kSpiPicture));
}

}  // namespace
}  // namespace tamro::test
