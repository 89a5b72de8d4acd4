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
  EXPECT_EQ(std::tuple(list.Items().front(), profile.GetString("DrvView", "QUICKACC_0", ""),
                       profile.GetString("DrvView", "QUICKACC_9", ""), profile.Has("DrvView", "QUICKACC_10")),
            std::tuple("/data/f10", "/data/f10", "/data/f1", false));
  // The oldest is gone at the next start.
  QuickAccessList reloaded;
  reloaded.Load(profile);
  ASSERT_EQ(reloaded.Items().size(), 10u);
  EXPECT_EQ(reloaded.Items().back(), "/data/f1");

  // The same text again changes nothing; other letter case is another folder.
  EXPECT_FALSE(reloaded.Add("/data/f5", profile));
  EXPECT_EQ(profile.GetString("DrvView", "QUICKACC_0", ""), "/data/f10");
  EXPECT_TRUE(reloaded.Add("/DATA/f5", profile));
  EXPECT_EQ(std::tuple(profile.GetString("DrvView", "QUICKACC_0", ""),
                       profile.GetString("DrvView", "QUICKACC_1", "")),
            std::tuple("/DATA/f5", "/data/f10"));
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
  EXPECT_EQ(std::tuple(profile.GetString("MainFrame", "ThumbsSize0", ""),
                       profile.GetString("MainFrame", "ThumbsSize1", "")),
            std::tuple("90,70", "110,110"));
  // Already held in some slot (not only slot 0): nothing moves.
  EXPECT_FALSE(RememberThumbSize(profile, 110, 110));
  EXPECT_EQ(profile.GetString("MainFrame", "ThumbsSize0", ""), "90,70");
  for (int i = 0; i < 10; ++i) RememberThumbSize(profile, 200 + i, 100);
  EXPECT_EQ(
      std::tuple(profile.GetString("MainFrame", "ThumbsSize0", ""),
                 profile.GetString("MainFrame", "ThumbsSize9", ""), profile.Has("MainFrame", "ThumbsSize10")),
      std::tuple("209,100", "200,100", false));
}

TEST_F(Remembered, ThumbSizeMenuListsRememberedSizesAndDivisions) {
  std::vector<ThumbSizeItem> items = BuildThumbSizeMenu(profile);
  ASSERT_GE(items.size(), 3u);
  EXPECT_EQ(std::tuple(items[0].command, items[0].text, items[1].command),
            std::tuple(kCmdRememberSize, "現在値を記憶", 0));
  // No remembered sizes: straight to "&2 分割" .. "&16 分割", and the limits are written.
  EXPECT_EQ(std::tuple(items[2].text, items[2].command, items.back().text, items.size(),
                       profile.GetInt("MainFrame", "ThumbsLast", 0)),
            std::tuple("&2 分割", kCmdDivide + 2, "&16 分割", 2u + 15u, 16));

  profile.WriteString("MainFrame", "ThumbsSize3", "64,48");
  profile.WriteInt("MainFrame", "ThumbsFirst", 3);
  profile.WriteInt("MainFrame", "ThumbsLast", 4);
  items = BuildThumbSizeMenu(profile);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(std::tuple(items[2].text, items[2].command, items[2].width, items[3].command, items[4].text,
                       items[5].command),
            std::tuple("64x48", kCmdRememberedSize + 3, 64, 0, "&3 分割", kCmdDivide + 4));
}

}  // namespace
}  // namespace tamro
