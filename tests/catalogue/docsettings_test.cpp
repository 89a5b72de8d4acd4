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
};

TEST_F(DocSettingsTest, DefaultsWhenNothingIsStored) {
  DocSettings s;
  s.scanSpi = 5;  // Load starts from the defaults, not from what was there
  s.Load(p);
  EXPECT_EQ(s.thumbsLimitSize, (CellSize{40, 40}));
  EXPECT_EQ(s.thumbsSize, (CellSize{110, 110}));
  EXPECT_EQ(s.trashCan, 1);
  EXPECT_EQ(s.scaleMode, 10);
  EXPECT_EQ(s.scaleStep, 25);
  EXPECT_EQ(s.sleepDraw, 100);
  EXPECT_EQ(s.idViewer, 32782);
  EXPECT_EQ(s.pathMask, "*.*");
  EXPECT_EQ(s.scanSpi, 0);
  EXPECT_EQ(s.overMem, 70);
  EXPECT_EQ(s.innerBmp, 1);
  EXPECT_EQ(s.innerGif, 0);
  EXPECT_EQ(s.colours.selectBackGround, 0xFF8C8Cu);
  EXPECT_EQ(s.colours.cantDraw, 0xF0FFFFu);
  EXPECT_EQ(s.fontFaceName, "ＭＳ ゴシック");
  EXPECT_EQ(s.fontHeight, -12);
  EXPECT_EQ(s.nameFormat, "\"$(PicName)\"");
  EXPECT_EQ(s.txtSize, (CellSize{40, 40}));
  // Reading writes nothing.
  EXPECT_FALSE(std::filesystem::exists(box.configFile()));
}

TEST_F(DocSettingsTest, CellSizesAreRaisedToTheirLimits) {
  p.WriteString("RXDoc", "ThumbsSize", "5,300");
  DocSettings s;
  s.Load(p);
  EXPECT_EQ(s.thumbsSize, (CellSize{40, 300}));
  p.WriteString("RXDoc", "ThumbsLimitSize", "3,3");
  p.WriteString("RXDoc", "ThumbsSize", "x");
  s.Load(p);
  EXPECT_EQ(s.thumbsLimitSize, (CellSize{10, 10}));
  EXPECT_EQ(s.thumbsSize, (CellSize{10, 10}));
  p.WriteString("RXDoc", "ThumbsSize", "200");  // a missing height reads as 0, then the limit
  s.Load(p);
  EXPECT_EQ(s.thumbsSize, (CellSize{200, 10}));
}

TEST(DocSettings, NameFormatSplitsUpToTheFirstEmptyField) {
  EXPECT_EQ(SplitNameFormat("\"$(PicName)\""), (std::vector<std::string>{"$(PicName)"}));
  EXPECT_EQ(SplitNameFormat("\"$(PicName)\",\"$(Size), $(Date)\",,\"$(Never)\""),
            (std::vector<std::string>{"$(PicName)", "$(Size), $(Date)"}));
  EXPECT_TRUE(SplitNameFormat("").empty());
}

TEST_F(DocSettingsTest, WritesBackEveryKeyInItsFormButNotTheReadOnlyOnes) {
  p.WriteString("SPI", "TXTSize", "80,20");
  DocSettings s;
  s.Load(p);
  EXPECT_EQ(s.txtSize, (CellSize{80, 20}));
  s.thumbsSize = {128, 96};
  s.archive = 1;
  s.pathMask = "*.jpg;*.gif";
  s.colours.text = 0x123456;
  s.txtSize = {1, 1};
  ASSERT_TRUE(s.Save(p));
  EXPECT_EQ(p.GetString("RXDoc", "ThumbsSize", ""), "128,96");
  EXPECT_EQ(p.GetString("RXDoc", "ThumbsLimitSize", "40,40"), "40,40");
  EXPECT_EQ(p.GetInt("RXDoc", "Archive", 0), 1);
  EXPECT_EQ(p.GetString("RXDoc", "PathMask", ""), "*.jpg;*.gif");
  EXPECT_EQ(p.GetInt("QEVxFile", "colText", 0), 0x123456);
  // Values at their defaults need no line of their own; a stored one is kept in step.
  EXPECT_FALSE(p.Has("OnePic", "TopMost"));
  p.WriteInt("OnePic", "TopMost", 0);
  s.topMost = 1;
  ASSERT_TRUE(s.Save(p));
  EXPECT_EQ(p.GetInt("OnePic", "TopMost", -1), 1);
  EXPECT_EQ(p.GetString("SPI", "TXTSize", ""), "80,20");
  EXPECT_FALSE(p.Has("Filter", "FileName"));
  DocSettings back;
  back.Load(p);
  EXPECT_EQ(back.thumbsSize, s.thumbsSize);
  EXPECT_EQ(back.colours, s.colours);
}

TEST(CaptionFont, FaceIsLookedUpWithFallbackToTheSystemFont) {
  test::EnsureGuiApp();
  FontDescription none = LookupCaptionFont("No Such Face 12345", 3, -20, 1, 700);
  std::string system =
      QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family().toStdString();
  EXPECT_EQ(none.faceName, system);
  EXPECT_EQ(none.width, 3);
  EXPECT_EQ(none.height, -20);
  EXPECT_EQ(none.italic, 1);
  EXPECT_EQ(none.weight, 700);
  QFont f = ToQFont(none);
  EXPECT_EQ(f.pixelSize(), 20);
  EXPECT_TRUE(f.italic());

  // The Japanese face of the defaults resolves to its IPA stand-in when that is installed.
  bool haveIpa = QFontDatabase::families().contains("IPAGothic");
  FontDescription ms = LookupCaptionFont("ＭＳ ゴシック", 0, -12, 0, 0);
  if (haveIpa)
    EXPECT_EQ(ms.faceName, "IPAGothic");
  else
    EXPECT_EQ(ms.faceName, system);
  EXPECT_EQ(ms.height, -12);
}

TEST_F(DocSettingsTest, TheDocumentHandsItsLookAndCaptionItemsOver) {
  test::EnsureGuiApp();
  p.WriteString("QEVxFile", "NameFormat", "\"$(PicName)\",\"$(PicSize)\"");
  p.WriteInt("QEVxFile", "fontHeight", -16);
  p.WriteInt("QEVxFile", "colCantDraw", 0x0000FF);
  CRXDoc doc(&p);
  EXPECT_EQ(doc.CaptionItems(), (std::vector<std::string>{"$(PicName)", "$(PicSize)"}));
  EXPECT_EQ(doc.CaptionFont().height, -16);
  EXPECT_EQ(doc.ViewFont(), doc.CaptionFont());
  EXPECT_EQ(doc.Look()->colours.cantDraw, 0x0000FFu);
  IndexedEntry e;
  e.folder = box.root().string();
  e.name = "a.jpg";
  CPicEntry *added = doc.AddEntry(e);
  EXPECT_EQ(added->Colours().cantDraw, 0x0000FFu);
  EXPECT_EQ(added->Font().height, -16);
  EXPECT_EQ(added->switches.scaleMode, 10);
}

}  // namespace
}  // namespace tamro
