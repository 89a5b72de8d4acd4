#include "catalogue/docsettings.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>

#include "catalogue/captionfont.h"
#include "catalogue/rxdoc.h"
#include "platform/profile.h"
#include "support/guiapp.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

using test::Sandbox;

class DocSettingsTest : public ::testing::Test {
 protected:
  Sandbox box;
  Profile p{box.configFile()};
  DocSettings s;
};

TEST_F(DocSettingsTest, DefaultsWhenNothingIsStored) {
  s.scanSpi = 5;  // Load starts from the defaults, not from what was there
  s.Load(p);
  EXPECT_EQ(std::tuple(s.thumbsLimitSize, s.thumbsSize, s.txtSize),
            std::tuple(CellSize{40, 40}, CellSize{110, 110}, CellSize{40, 40}));
  EXPECT_EQ(std::tuple(s.trashCan, s.scaleMode, s.scaleStep, s.sleepDraw, s.idViewer, s.scanSpi, s.overMem,
                       s.innerBmp, s.innerGif, s.fontHeight),
            std::tuple(1, 10, 25, 100, 32782, 0, 70, 1, 0, -12));
  EXPECT_EQ(std::tuple(s.colours.selectBackGround, s.colours.cantDraw), std::tuple(0xFF8C8Cu, 0xF0FFFFu));
  EXPECT_EQ(std::tuple(s.pathMask, s.fontFaceName, s.nameFormat),
            std::tuple("*.*", "ＭＳ ゴシック", "\"$(PicName)\""));
  // Reading writes nothing.
  EXPECT_FALSE(std::filesystem::exists(box.configFile()));
}

TEST_F(DocSettingsTest, CellSizesAreRaisedToTheirLimits) {
  p.WriteString("RXDoc", "ThumbsSize", "5,300");
  s.Load(p);
  EXPECT_EQ(s.thumbsSize, (CellSize{40, 300}));
  p.WriteString("RXDoc", "ThumbsLimitSize", "3,3");
  p.WriteString("RXDoc", "ThumbsSize", "x");
  s.Load(p);
  EXPECT_EQ(std::tuple(s.thumbsLimitSize, s.thumbsSize), std::tuple(CellSize{10, 10}, CellSize{10, 10}));
  p.WriteString("RXDoc", "ThumbsSize", "200");  // a missing height reads as 0, then the limit
  s.Load(p);
  EXPECT_EQ(s.thumbsSize, (CellSize{200, 10}));
}

TEST(DocSettings, NameFormatSplitsUpToTheFirstEmptyField) {
  EXPECT_EQ(std::tuple(SplitNameFormat("\"$(PicName)\""), SplitNameFormat(""),
                       SplitNameFormat("\"$(PicName)\",\"$(Size), $(Date)\",,\"$(Never)\"")),
            std::tuple(std::vector<std::string>{"$(PicName)"}, std::vector<std::string>{},
                       std::vector<std::string>{"$(PicName)", "$(Size), $(Date)"}));
}

TEST_F(DocSettingsTest, WritesBackEveryKeyInItsFormButNotTheReadOnlyOnes) {
  p.WriteString("SPI", "TXTSize", "80,20");
  s.Load(p);
  EXPECT_EQ(s.txtSize, (CellSize{80, 20}));
  s.thumbsSize = {128, 96}, s.txtSize = {1, 1}, s.colours.text = 0x123456;
  ASSERT_TRUE(s.Save(p));
  // The forms of the keys the settings dialogs write: app_settings/settingsdialogs_test.cpp.
  // Values at their defaults need no line of their own; a stored one is kept in step.
  EXPECT_FALSE(p.Has("OnePic", "TopMost"));
  p.WriteInt("OnePic", "TopMost", 0);
  s.topMost = 1;
  ASSERT_TRUE(s.Save(p));
  EXPECT_EQ(std::tuple(p.GetInt("OnePic", "TopMost", -1), p.GetString("SPI", "TXTSize", ""),
                       p.Has("Filter", "FileName")),
            std::tuple(1, "80,20", false));
  DocSettings back;
  back.Load(p);
  EXPECT_EQ(std::tuple(back.thumbsSize, back.colours), std::tuple(s.thumbsSize, s.colours));
}

TEST(CaptionFont, FaceIsLookedUpWithFallbackToTheSystemFont) {
  test::EnsureGuiApp();
  FontDescription none = LookupCaptionFont("No Such Face 12345", 3, -20, 1, 700);
  std::string system =
      QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family().toStdString();
  EXPECT_EQ(std::tuple(none.faceName, none.width, none.height, none.italic, none.weight),
            std::tuple(system, 3, -20, 1, 700));
  QFont f = ToQFont(none);
  EXPECT_EQ(std::tuple(f.pixelSize(), f.italic()), std::tuple(20, true));

  // The Japanese face of the defaults resolves to its IPA stand-in when that is installed.
  bool haveIpa = QFontDatabase::families().contains("IPAGothic");
  FontDescription ms = LookupCaptionFont("ＭＳ ゴシック", 0, -12, 0, 0);
  EXPECT_EQ(std::tuple(ms.faceName, ms.height), std::tuple(haveIpa ? "IPAGothic" : system, -12));
}

TEST_F(DocSettingsTest, TheDocumentHandsItsLookAndCaptionItemsOver) {
  test::EnsureGuiApp();
  p.WriteString("QEVxFile", "NameFormat", "\"$(PicName)\",\"$(PicSize)\"");
  p.WriteInt("QEVxFile", "fontHeight", -16);
  p.WriteInt("QEVxFile", "colCantDraw", 0x0000FF);
  CRXDoc doc(&p);
  EXPECT_EQ(
      std::tuple(doc.CaptionItems(), doc.CaptionFont().height, doc.Look()->colours.cantDraw, doc.ViewFont()),
      std::tuple(std::vector<std::string>{"$(PicName)", "$(PicSize)"}, -16, 0x0000FFu, doc.CaptionFont()));
  IndexedEntry e;
  e.folder = box.root().string(), e.name = "a.jpg";
  CPicEntry *added = doc.AddEntry(e);
  EXPECT_EQ(std::tuple(added->Colours().cantDraw, added->Font().height, added->switches.scaleMode),
            std::tuple(0x0000FFu, -16, 10));
}

}  // namespace
}  // namespace tamro
