// The remembered lists behind the main window: quick access and thumbnail sizes.

#include <gtest/gtest.h>

#include "app/quickaccess.h"
#include "app/thumbsizes.h"
#include "platform/profile.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

class Remembered : public ::testing::Test {
 protected:
  test::Sandbox box;
  Profile profile{box.configFile()};
};

TEST_F(Remembered, QuickAccessKeepsTenNewestFirstComparesExactlyAndKeepsOddNames) {
  QuickAccessList list;
  for (int i = 0; i < 11; ++i) EXPECT_TRUE(list.Add("/data/f" + std::to_string(i), profile));
  EXPECT_EQ(list.Items().front(), "/data/f10");
  EXPECT_EQ(profile.GetString("DrvView", "QUICKACC_0", ""), "/data/f10");
  EXPECT_EQ(profile.GetString("DrvView", "QUICKACC_9", ""), "/data/f1");
  EXPECT_FALSE(profile.Has("DrvView", "QUICKACC_10"));
  // The oldest is gone at the next start.
  QuickAccessList reloaded;
  reloaded.Load(profile);
  ASSERT_EQ(reloaded.Items().size(), 10u);
  EXPECT_EQ(reloaded.Items().back(), "/data/f1");

  // The same text again changes nothing; other letter case is another folder.
  EXPECT_FALSE(reloaded.Add("/data/f5", profile));
  EXPECT_EQ(profile.GetString("DrvView", "QUICKACC_0", ""), "/data/f10");
  EXPECT_TRUE(reloaded.Add("/DATA/f5", profile));
  EXPECT_EQ(profile.GetString("DrvView", "QUICKACC_0", ""), "/DATA/f5");
  EXPECT_EQ(profile.GetString("DrvView", "QUICKACC_1", ""), "/data/f10");
  EXPECT_FALSE(reloaded.Add("", profile));
  // Blanks, quotes and percent signs survive the next start.
  const std::string odd = "/tmp/写真 \"a\" 100%s, b";
  ASSERT_TRUE(reloaded.Add(odd, profile));
  QuickAccessList again;
  again.Load(profile);
  ASSERT_EQ(again.Items().size(), 10u);
  EXPECT_EQ(again.Items()[0], odd);
}

TEST_F(Remembered, ThumbSizesShiftSlotsUpAndSkipKnownSizes) {
  EXPECT_TRUE(RememberThumbSize(profile, 110, 110));
  EXPECT_TRUE(RememberThumbSize(profile, 90, 70));
  EXPECT_EQ(profile.GetString("MainFrame", "ThumbsSize0", ""), "90,70");
  EXPECT_EQ(profile.GetString("MainFrame", "ThumbsSize1", ""), "110,110");
  // Already held in some slot (not only slot 0): nothing moves.
  EXPECT_FALSE(RememberThumbSize(profile, 110, 110));
  EXPECT_EQ(profile.GetString("MainFrame", "ThumbsSize0", ""), "90,70");
  for (int i = 0; i < 10; ++i) RememberThumbSize(profile, 200 + i, 100);
  EXPECT_EQ(profile.GetString("MainFrame", "ThumbsSize0", ""), "209,100");
  EXPECT_EQ(profile.GetString("MainFrame", "ThumbsSize9", ""), "200,100");
  EXPECT_FALSE(profile.Has("MainFrame", "ThumbsSize10"));
}

TEST_F(Remembered, ThumbSizeMenuListsRememberedSizesAndDivisions) {
  std::vector<ThumbSizeItem> items = BuildThumbSizeMenu(profile);
  ASSERT_GE(items.size(), 3u);
  EXPECT_EQ(items[0].command, kCmdRememberSize);
  EXPECT_EQ(items[0].text, "現在値を記憶");
  EXPECT_EQ(items[1].command, 0);
  // No remembered sizes: straight to "&2 分割" .. "&16 分割", and the limits are written.
  EXPECT_EQ(items[2].text, "&2 分割");
  EXPECT_EQ(items[2].command, kCmdDivide + 2);
  EXPECT_EQ(items.back().text, "&16 分割");
  EXPECT_EQ(items.size(), 2u + 15u);
  EXPECT_EQ(profile.GetInt("MainFrame", "ThumbsLast", 0), 16);

  profile.WriteString("MainFrame", "ThumbsSize3", "64,48");
  profile.WriteInt("MainFrame", "ThumbsFirst", 3);
  profile.WriteInt("MainFrame", "ThumbsLast", 4);
  items = BuildThumbSizeMenu(profile);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[2].text, "64x48");
  EXPECT_EQ(items[2].command, kCmdRememberedSize + 3);
  EXPECT_EQ(items[2].width, 64);
  EXPECT_EQ(items[3].command, 0);
  EXPECT_EQ(items[4].text, "&3 分割");
  EXPECT_EQ(items[5].command, kCmdDivide + 4);
}

}  // namespace
}  // namespace tamro
