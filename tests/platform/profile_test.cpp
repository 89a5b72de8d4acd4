#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/profile.h"
#include "support/mounts.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

TEST(Profile, RoundTripAndDefaultsWithoutWritingAtStart) {
  test::Sandbox box;
  Profile &p = Profile::App();
  EXPECT_EQ(p.path(), box.configFile());
  EXPECT_EQ(p.GetInt("RXDoc", "ScaleMode", 10), 10);
  EXPECT_EQ(p.GetString("RXDoc", "PathMask", "*.*"), "*.*");
  EXPECT_FALSE(fs::exists(p.path())) << "reading must not create the file";

  ASSERT_TRUE(p.WriteInt("RXDoc", "ScaleMode", 3));
  ASSERT_TRUE(p.WriteString("RXDoc", "PathMask", "*.jpg;*.png"));
  ASSERT_TRUE(p.WriteString("QEVxFile", "NameFormat", R"x("$(PicName)","$(Size)")x"));
  ASSERT_TRUE(p.WriteInt("QEVxFile", "colSelectBackGround", static_cast<int>(0xFF8C8Cu)));
  ASSERT_TRUE(p.WriteString("RXDoc", "HomeFolder", "  /home/u/写真 a%b  "));

  Profile fresh(p.path());
  EXPECT_EQ(fresh.GetInt("rxdoc", "SCALEMODE", 10), 3);
  EXPECT_EQ(fresh.GetString("RXDoc", "PathMask", ""), "*.jpg;*.png");
  EXPECT_EQ(fresh.GetString("QEVxFile", "NameFormat", ""), R"x("$(PicName)","$(Size)")x");
  EXPECT_EQ(fresh.GetInt("QEVxFile", "colSelectBackGround", 0), 0xFF8C8C);
  EXPECT_EQ(fresh.GetString("RXDoc", "HomeFolder", ""), "/home/u/写真 a%b");
  // Non-numeric text answers the caller's default.
  EXPECT_EQ(fresh.GetInt("RXDoc", "PathMask", 42), 42);
  // An all-bits colour keeps its 32 bits.
  ASSERT_TRUE(p.WriteString("X", "c", "4294967295"));
  EXPECT_EQ(fresh.GetInt("X", "c", 0), -1);
}

TEST(Profile, OddNamesKeepTheirFirstCaseAndSubtreesDelete) {
  test::Sandbox box;
  Profile p(box.configFile());
  ASSERT_TRUE(p.WriteInt("SPI", "#InnerGIF", 1));
  ASSERT_TRUE(p.WriteString("AppCall", "App0\\Title", "GIMP"));
  ASSERT_TRUE(p.WriteString("SPISET\\_Default\\ifpng.spi", "ViewSPI", "1"));
  ASSERT_TRUE(p.WriteString("SPISET\\Mine\\ifpng.spi", "ViewSPI", "2"));
  ASSERT_TRUE(p.WriteString("SPISET\\Mine", "AllUseFlags", "0"));
  ASSERT_TRUE(p.WriteString("spiset\\mine\\IFPNG.SPI", "viewspi", "3"));
  ASSERT_TRUE(p.WriteString("SPISETX", "k", "v"));

  EXPECT_EQ(p.GetInt("spi", "#innergif", 0), 1);
  EXPECT_EQ(p.GetString("APPCALL", "app0\\title", ""), "GIMP");
  EXPECT_EQ(p.GetString("SPISET\\Mine\\ifpng.spi", "ViewSPI", ""), "3");
  EXPECT_EQ(p.Keys("spiset\\mine\\ifpng.spi"), std::vector<std::string>{"ViewSPI"});
  EXPECT_EQ(p.SubSections("SPISET"), (std::vector<std::string>{"_Default", "Mine"}));
  std::string text = test::ReadFile(p.path());
  EXPECT_NE(text.find("[SPISET\\Mine\\ifpng.spi]"), std::string::npos);
  EXPECT_EQ(text.find("spiset\\mine"), std::string::npos);

  ASSERT_TRUE(p.DeleteSection("spiset\\MINE"));
  EXPECT_EQ(p.GetString("SPISET\\Mine\\ifpng.spi", "ViewSPI", "gone"), "gone");
  EXPECT_EQ(p.GetString("SPISET\\Mine", "AllUseFlags", "gone"), "gone");
  EXPECT_EQ(p.GetString("SPISET\\_Default\\ifpng.spi", "ViewSPI", ""), "1");
  EXPECT_EQ(p.GetString("SPISETX", "k", ""), "v") << "a name that only starts alike is not below";
  ASSERT_TRUE(p.DeleteKey("SPI", "#INNERGIF"));
  EXPECT_FALSE(p.Has("SPI", "#InnerGIF"));
}

TEST(Profile, ReadsHandWrittenTextAndFollowsChangesOnDisk) {
  test::Sandbox box;
  box.write("config/QEV/Tamro.ini",
            "; comment\r\n[RXDoc]\r\n  ThumbsSize = 5,300 \r\nIgnored line\r\n[LstView]\nColumn=150,60\n");
  Profile p(box.configFile());
  EXPECT_EQ(p.GetString("RXDoc", "ThumbsSize", ""), "5,300");
  EXPECT_EQ(p.GetString("LstView", "Column", ""), "150,60");
  // Another program rewrites the file: the cache notices.
  box.write("config/QEV/Tamro.ini", "[RXDoc]\nThumbsSize=64,64\nNew=1\n");
  EXPECT_EQ(p.GetString("RXDoc", "ThumbsSize", ""), "64,64");
  EXPECT_EQ(p.GetInt("RXDoc", "New", 0), 1);
}

TEST(Profile, TwoProcessesWritingDifferentKeysBothSurviveAndNoTempFilesRemain) {
  test::Sandbox box;
  const std::string path = box.configFile();
  constexpr int kWrites = 150;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Profile mine(path);
    bool ok = true;
    for (int i = 0; i < kWrites; ++i) ok = mine.WriteInt("Child", "k" + std::to_string(i), i) && ok;
    _exit(ok ? 0 : 1);
  }
  Profile mine(path);
  for (int i = 0; i < kWrites; ++i) ASSERT_TRUE(mine.WriteInt("Parent", "k" + std::to_string(i), i));
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  Profile check(path);
  for (int i = 0; i < kWrites; ++i) {
    EXPECT_EQ(check.GetInt("Child", "k" + std::to_string(i), -1), i);
    EXPECT_EQ(check.GetInt("Parent", "k" + std::to_string(i), -1), i);
  }
  EXPECT_EQ(test::FileNames(fs::path(path).parent_path()), std::vector<std::string>{"Tamro.ini"});
}

TEST(Profile, UnwritableOrMissingFolderAnswersDefaultsAndKeepsTheOldFile) {
  test::Sandbox box;
  // A config "folder" that is a plain file: nothing can be written below it.
  box.write("blocked", "x");
  Profile nowhere((box.root() / "blocked/QEV/Tamro.ini").string());
  EXPECT_EQ(nowhere.GetInt("A", "b", 5), 5);
  EXPECT_FALSE(nowhere.WriteInt("A", "b", 1));
  EXPECT_EQ(nowhere.GetInt("A", "b", 5), 5);

  // A folder that may not be written: by permission, or for root (whom permissions do not
  // stop) a read-only file system.
  const fs::path folder = box.root() / "ro";
  const fs::path file = folder / "Tamro.ini";
  const bool root = geteuid() == 0;
  std::unique_ptr<test::TmpfsMount> mount;
  if (root) {
    mount = std::make_unique<test::TmpfsMount>(folder, "64k", true, [&](const fs::path &) {
      ASSERT_TRUE(Profile(file.string()).WriteInt("A", "b", 1));
    });
    if (!mount->ok()) GTEST_SKIP() << mount->reason();
  } else {
    ASSERT_TRUE(Profile(file.string()).WriteInt("A", "b", 1));
    chmod(folder.c_str(), 0555);
  }
  Profile p(file.string());
  EXPECT_FALSE(p.WriteInt("A", "b", 2));
  EXPECT_EQ(p.GetInt("A", "b", 0), 1);
  if (!root) chmod(folder.c_str(), 0755);
}

}  // namespace
}  // namespace tamro
