#include "platform/startup.h"

#include <gtest/gtest.h>

#include "platform/profile.h"
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
  for (const char *other : {"-NOLOGO", "--nologo", "nologo"}) EXPECT_FALSE(HasNoLogoSwitch({other})) << other;
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

TEST(Startup, LibrariesAndPlugInsOfTheBuildOrOfAnInstalledTree) {
  // The build keeps everything beside the programs.
  const std::string exe = ExecutableFolder();
  EXPECT_EQ(ProgramLibraryFolder(exe), exe);

  test::Sandbox box;
  const auto installed = box.path("usr/lib/tamro");
  for (const char *folder : {"usr/lib/tamro", "usr/bin", "opt/bin"})
    std::filesystem::create_directories(box.path(folder));
  EXPECT_EQ(ProgramLibraryFolder(box.path("usr/bin").string()), installed.string());
  EXPECT_EQ(ProgramLibraryFolder(box.path("opt/bin").string()), box.path("opt/bin").string())
      << "no library folder: the programs' own";
  Profile p(box.configFile());
  ASSERT_TRUE(p.WriteString("SPI", "SPIDIR", "$(ExeDir)"));
  EXPECT_EQ(LookupPluginFolder(p, box.path("usr/bin").string()), installed.string());
}

TEST(Startup, FileUrlsStandForTheirPaths) {
  EXPECT_EQ(CommandLinePath("file:///home/u/My%20Pictures/a%23b.jpg"), "/home/u/My Pictures/a#b.jpg");
  EXPECT_EQ(CommandLinePath("file://localhost/x/%E5%86%99%E7%9C%9F.png"), "/x/写真.png");
  EXPECT_EQ(CommandLinePath("FILE:/x/y"), "/x/y");
  EXPECT_EQ(CommandLinePath("file:///x/100%"), "/x/100%");
  EXPECT_EQ(CommandLinePath("file://elsewhere.example/x"), "") << "another machine's file";
  EXPECT_EQ(CommandLinePath("/plain/%20 path"), "/plain/%20 path");

  test::Sandbox box;
  Profile p(box.configFile());
  EXPECT_EQ(ChooseStartingFolder({"file:///data/My%20Pictures/"}, p, "/exe", "/cwd"), "/data/My Pictures");
  EXPECT_EQ(ChooseStartingFolder({"file://elsewhere.example/x"}, p, "/exe", "/cwd"), "/cwd");
}

}  // namespace
}  // namespace tamro
