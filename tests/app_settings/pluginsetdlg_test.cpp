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
  archives->selectRow(kArc);
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
