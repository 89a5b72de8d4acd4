// The plug-in settings dialog's logic and the set bar's: naming, choosing, deleting sets.
#include "decode/pluginsetoption.h"

#include "testspi.h"

namespace tamro::test {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class PluginSetOptionTest : public HostTest {
 protected:
  void SetUp() override {
    Install("tpic", "Pic.spi");
    Install("tmem", "Mem.spi");
    Install("tarc", "Arc.spi");
    Scan();
  }
  static constexpr int kMem = 0, kPic = 1, kArc = 0;
};

TEST_F(PluginSetOptionTest, SetsAreNamedChosenAndStoredWithTheirOwnViewLists) {
  const Profile &p = Profile::App();
  CPluginSetOption option(*host);
  EXPECT_THAT(option.Names(), IsEmpty());
  EXPECT_EQ(option.Shown(), "");

  option.SetUse(kPic, kSpiPicture, false);
  EXPECT_TRUE(option.Commit(" Work "));
  EXPECT_FALSE(option.Commit("a\\b")) << "would name a plug-in's sub-section";
  EXPECT_FALSE(option.Commit("a,b"));
  EXPECT_EQ(p.GetInt("SPISET\\Work", "Pic", -1), 0);

  option.SetUse(kPic, kSpiPicture, true);
  option.AddToViewList(kArc, {kPic});
  EXPECT_FALSE(option.UsesAllPictures(kArc));
  EXPECT_TRUE(option.Commit("Home"));
  EXPECT_THAT(option.Names(), ElementsAre("Home", "Work"));

  // Choosing saves the set shown before; the chosen set's list replaces the one held.
  option.Choose("Work");
  EXPECT_EQ(std::tuple(option.Shown(), host->GetUse(kPic, kSpiPicture),
                       p.GetString("SPISET\\Home\\Arc", "ViewSPI", "")),
            std::tuple("Work", false, "Pic"));
  EXPECT_THAT(host->GetViewSpi(kArc), IsEmpty());

  // Widths at their defaults are not written.
  option.Close({});
  EXPECT_EQ(std::tuple(p.GetString("SPI", "SPISetList", ""), p.GetString("SPI", "SPISet", ""),
                       host->CurrentSetName(), p.Has("SPI", "SPIColumn")),
            std::tuple("Home,Work", "Work", "Work", false));

  // The set bar switches the same way.
  SwitchPluginSet(*host, "Home");
  EXPECT_THAT(host->GetViewSpi(kArc), ElementsAre(kPic));
  EXPECT_EQ(std::tuple(host->GetUse(kPic, kSpiPicture), p.GetString("SPI", "SPISet", "")),
            std::tuple(true, "Home"));
  Profile::App().WriteString("SPI", "SPISetList", "Work");
  EXPECT_THAT(PluginSetBarNames(*host), ElementsAre("Work", "Home"));
}

TEST_F(PluginSetOptionTest, DeletingTheSetShownFallsBackToTheDefaultSet) {
  Profile &p = Profile::App();
  p.WriteString("SPI", "SPISetList", "Old,Work");
  p.WriteInt("SPISET\\_Default", "Mem", 1);
  p.WriteInt("SPISET\\Work", "Mem", 0);
  p.WriteString("SPISET\\Work\\Arc", "ViewSPI", "Pic");
  Scan("Work");
  CPluginSetOption option(*host);
  EXPECT_EQ(option.Shown(), "Work");

  ui.answers = {IDNO};
  EXPECT_FALSE(option.Delete("Work"));
  EXPECT_TRUE(p.Has("SPISET\\Work", "Mem"));
  ui.answers = {IDYES};
  EXPECT_TRUE(option.Delete("Work"));
  ASSERT_EQ(ui.calls.size(), 2u);
  EXPECT_EQ(std::tuple(ui.calls[1].text, ui.calls[1].style & MB_TYPEMASK),
            std::tuple("プラグインセット：[Work]を削除します。よろしいですか？", MB_YESNO));
  EXPECT_EQ(std::tuple(p.Has("SPISET\\Work", "Mem"), p.Has("SPISET\\Work\\Arc", "ViewSPI"), option.Shown(),
                       host->GetUse(kMem, kSpiPicture)),
            std::tuple(false, false, "", true));
  EXPECT_THAT(option.Names(), ElementsAre("Old"));
  EXPECT_THAT(host->GetViewSpi(kArc), IsEmpty());
}

TEST_F(PluginSetOptionTest, ColumnWidthsTakeEachMissingWidthFromItsDefault) {
  Profile &p = Profile::App();
  p.WriteString("SPI", "SPIColumn", "30,,0,x");
  CPluginSetOption option(*host);
  EXPECT_THAT(option.ColumnWidths().picture, ElementsAre(30, 85, 360, 100));
  EXPECT_THAT(option.ColumnWidths().archive, ElementsAre(20, 85, 270, 100));
  EXPECT_THAT(option.ColumnWidths().view, ElementsAre(80));
  option.Close({{25, 90, 300, 120}, {}, {64}});
  EXPECT_EQ(std::tuple(p.GetString("SPI", "SPIColumn", ""), p.Has("SPI", "ARCSPIColumn"),
                       p.GetString("SPI", "USESPIColumn", "")),
            std::tuple("25,90,300,120", false, "64"));

  EXPECT_THAT(option.FileFacts(kPic, kSpiPicture),
              AllOf(HasSubstr((spiDir / "Pic.spi").string()), HasSubstr("TPIC test decoder")));
}

}  // namespace
}  // namespace tamro::test
