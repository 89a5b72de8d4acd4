#include <gtest/gtest.h>

#include "platform/profile.h"
#include "platform/startup.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

TEST(Startup, StartingFolderFromArgumentsOrSettings) {
  test::Sandbox box;
  Profile p(box.configFile());
  const std::string exe = "/opt/tamro/bin", cwd = "/home/u";

  // An argument wins and is taken whole, blanks included, in its long form.
  EXPECT_EQ(ChooseStartingFolder({"/data/My Pictures/"}, p, exe, cwd), "/data/My Pictures");
  EXPECT_EQ(ChooseStartingFolder({"-nologo", "/data/a/../b"}, p, exe, cwd), "/data/b");
  EXPECT_EQ(ChooseStartingFolder({"/nologo"}, p, exe, cwd), "/home/u") << "a switch is not a folder";

  // No argument: the current folder, unless the last shown folder is restored.
  EXPECT_EQ(ChooseStartingFolder({}, p, exe, cwd), "/home/u");
  ASSERT_TRUE(p.WriteString("DrvView", "Path", "/last/seen"));
  EXPECT_EQ(ChooseStartingFolder({}, p, exe, cwd), "/last/seen");
  EXPECT_EQ(ChooseStartingFolder({"/arg"}, p, exe, cwd), "/arg") << "RestoreFolder is not consulted";
  ASSERT_TRUE(p.WriteInt("RXDoc", "RestoreFolder", 0));
  EXPECT_EQ(ChooseStartingFolder({}, p, exe, cwd), "/home/u");
  ASSERT_TRUE(p.WriteString("RXDoc", "HomeFolder", "$(ExeDir)"));
  EXPECT_EQ(ChooseStartingFolder({}, p, exe, cwd), exe);
  ASSERT_TRUE(p.WriteString("RXDoc", "HomeFolder", "/pics"));
  EXPECT_EQ(ChooseStartingFolder({}, p, exe, cwd), "/pics");
}

TEST(Startup, NoLogoSwitchNeedsExactCase) {
  EXPECT_TRUE(HasNoLogoSwitch({"/nologo"}));
  EXPECT_TRUE(HasNoLogoSwitch({"/pics", "-nologo"}));
  EXPECT_FALSE(HasNoLogoSwitch({"-NOLOGO"}));
  EXPECT_FALSE(HasNoLogoSwitch({"--nologo"}));
  EXPECT_FALSE(HasNoLogoSwitch({"nologo"}));
  EXPECT_FALSE(HasNoLogoSwitch({}));
}

TEST(Startup, LongPathsAndFolders) {
  EXPECT_EQ(GetLongFolderPath("/a/b/"), "/a/b");
  EXPECT_EQ(GetLongFolderPath("/"), "/");
  EXPECT_EQ(GetLongFolderPath("/a//b/./c/../d"), "/a/b/d");
  EXPECT_EQ(GetLongFolderPath("rel"), GetLongFolderPath(std::filesystem::current_path().string() + "/rel"));
  EXPECT_EQ(GetLongFolderPath(""), "");

  std::string exe = ExecutableFolder();
  EXPECT_TRUE(std::filesystem::exists(exe + "/platform_tests"));

  test::Sandbox box;
  Profile p(box.configFile());
  EXPECT_EQ(LookupPluginFolder(p, exe), exe);
  ASSERT_TRUE(p.WriteString("SPI", "SPIDIR", "$(ExeDir)"));
  EXPECT_EQ(LookupPluginFolder(p, exe), exe);
  ASSERT_TRUE(p.WriteString("SPI", "SPIDIR", "/usr/lib/spi"));
  EXPECT_EQ(LookupPluginFolder(p, exe), "/usr/lib/spi");
}

}  // namespace
}  // namespace tamro
