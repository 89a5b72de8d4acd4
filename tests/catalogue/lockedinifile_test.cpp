#include "catalogue/lockedinifile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/inicache.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

using test::ReadFile;
using test::Sandbox;
namespace fs = std::filesystem;

// Counts how often the lock was looked at and how often the caller slept.
class CountingIni : public CLockedIniFile {
 public:
  mutable int looks = 0;
  int sleeps = 0;
  int releaseAfterSleeps = -1;  // the stale lock goes away after this many sleeps

 protected:
  bool LockExists() const override {
    ++looks;
    return CLockedIniFile::LockExists();
  }
  void SleepBeforeNextLook() override {
    if (++sleeps == releaseAfterSleeps) fs::remove(lockPath());
  }
};

TEST(LockedIniFile, LockPathIsBaseNameWithAcf) {
  EXPECT_EQ(LockPathFor("/pics/DIRINFO.RXI"), "/pics/DIRINFO.ACF");
  EXPECT_EQ(LockPathFor("/pics/_NOTE_.RXI"), "/pics/_NOTE_.ACF");
  EXPECT_EQ(LockPathFor("/pics.d/noext"), "/pics.d/noext.ACF");
}

TEST(LockedIniFile, RetryCountThreeGivesUpAfterThreeLooksWithoutSleeping) {
  Sandbox box;
  box.write("DIRINFO.RXI", "[Document]\r\nMaxCount=4\r\n");
  box.write("DIRINFO.ACF", "stale\r\n");
  CountingIni ini;
  ini.Open(box.path("DIRINFO.RXI").string(), 3);
  std::string v = "junk";
  EXPECT_EQ(ini.GetValue("Document", "MaxCount", v), -1);
  EXPECT_EQ(v, "");
  EXPECT_EQ(ini.looks, 3);
  EXPECT_EQ(ini.sleeps, 0);
  EXPECT_TRUE(fs::exists(box.path("DIRINFO.ACF")));  // not ours: left alone
  EXPECT_FALSE(ini.SetValue("Document", "MaxCount", "5"));
  EXPECT_EQ(ReadFile(box.path("DIRINFO.RXI")), "[Document]\r\nMaxCount=4\r\n");
}

TEST(LockedIniFile, RetryCountZeroIgnoresAStaleLockAndMakesNone) {
  Sandbox box;
  box.write("n.RXI", "[s]\r\nk=1\r\n");
  box.write("n.ACF", "stale\r\n");
  CountingIni ini;
  ini.Open(box.path("n.RXI").string(), 0);
  std::string v;
  EXPECT_EQ(ini.GetValue("s", "k", v), 0);
  EXPECT_EQ(v, "1");
  EXPECT_EQ(ini.looks, 0);
  EXPECT_TRUE(ini.SetValue("s", "k", "2"));
  EXPECT_EQ(ReadFile(box.path("n.ACF")), "stale\r\n");

  fs::remove(box.path("n.ACF"));
  EXPECT_TRUE(ini.SetValue("s", "k", "3"));
  EXPECT_FALSE(fs::exists(box.path("n.ACF")));
}

TEST(LockedIniFile, WaitingForeverSleepsUntilTheLockGoesAndLeavesNoLockBehind) {
  Sandbox box;
  box.write("n.RXI", "[s]\r\nk=v\r\n");
  box.write("n.ACF", "held\r\n");
  CountingIni ini;
  ini.Open(box.path("n.RXI").string(), CLockedIniFile::kWaitForever);
  ini.releaseAfterSleeps = 2;
  std::string v;
  EXPECT_EQ(ini.GetValue("s", "k", v), 0);
  EXPECT_EQ(v, "v");
  EXPECT_EQ(ini.sleeps, 2);
  EXPECT_FALSE(fs::exists(box.path("n.ACF")));
}

TEST(LockedIniFile, ReadingValuesFollowsTheTextForm) {
  Sandbox box;
  box.write("a.RXI",
            "; a comment\n"
            "[Other]\n"
            "Key=wrong\n"
            "[Document]\r\n"
            "  Spaced Key   =   padded value   \r\n"
            "Comment=abc ; the rest is a comment\r\n"
            "Quoted=\"a;b\" ; kept whole\r\n"
            ";Key=commented out\r\n"
            "key=first\r\n"
            "KEY=second\r\n"
            "NoEquals\r\n"
            "[Tail]\r\n"
            "Key=tail\r\n");
  CLockedIniFile ini;
  ini.Open(box.path("a.RXI").string(), 0);
  std::string v;
  EXPECT_EQ(ini.GetValue("Document", "Spaced Key", v), 0);
  EXPECT_EQ(v, "padded value");
  EXPECT_EQ(ini.GetValue("Document", "Comment", v), 0);
  EXPECT_EQ(v, "abc");
  EXPECT_EQ(ini.GetValue("Document", "Quoted", v), 0);
  EXPECT_EQ(v, "\"a;b\"");
  EXPECT_EQ(ini.GetValue("Document", "Key", v), 0);
  EXPECT_EQ(v, "first");
  EXPECT_EQ(ini.GetValue("Tail", "key", v), 0);
  EXPECT_EQ(v, "tail");
  EXPECT_EQ(ini.GetValue("Document", "NoEquals", v), -1);
  EXPECT_EQ(ini.GetValue("Missing", "Key", v), -1);
  // Section names carry file names here and compare exactly.
  EXPECT_EQ(ini.GetValue("document", "Key", v), -1);

  CLockedIniFile missing;
  missing.Open(box.path("none.RXI").string(), 0);
  EXPECT_EQ(missing.GetValue("Document", "Key", v), -1);
}

TEST(LockedIniFile, SetValueReplacesInsertsIntoAMiddleSectionOrAppends) {
  Sandbox box;
  box.write("n.RXI", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[C]\r\nz=3\r\n");
  CLockedIniFile ini;
  ini.Open(box.path("n.RXI").string(), 0);
  ASSERT_TRUE(ini.SetValue("B", "new", "4"));
  EXPECT_EQ(ReadFile(box.path("n.RXI")), "[A]\r\nx=1\r\n[B]\r\ny=2\r\nnew=4\r\n[C]\r\nz=3\r\n");
  ASSERT_TRUE(ini.SetValue("B", "Y", "20"));
  EXPECT_EQ(ReadFile(box.path("n.RXI")), "[A]\r\nx=1\r\n[B]\r\nY=20\r\nnew=4\r\n[C]\r\nz=3\r\n");
  ASSERT_TRUE(ini.SetValue(":a.jpg", "Note", "line1\x05line2"));
  EXPECT_EQ(ReadFile(box.path("n.RXI")),
            "[A]\r\nx=1\r\n[B]\r\nY=20\r\nnew=4\r\n[C]\r\nz=3\r\n[:a.jpg]\r\nNote=line1\x05line2\r\n");
  std::string v;
  EXPECT_EQ(ini.GetValue(":a.jpg", "Note", v), 0);
  EXPECT_EQ(v, "line1\x05line2");

  // A missing file is created.
  CLockedIniFile fresh;
  fresh.Open(box.path("fresh.RXI").string(), 0);
  ASSERT_TRUE(fresh.SetValue("S", "k", "v"));
  EXPECT_EQ(ReadFile(box.path("fresh.RXI")), "[S]\r\nk=v\r\n");
}

TEST(LockedIniFile, RemovingTheLastSectionOrKeyDeletesTheFile) {
  Sandbox box;
  box.write("n.RXI", "[A]\nx=1\n[B]\ny=2\n");
  CLockedIniFile ini;
  ini.Open(box.path("n.RXI").string(), 0);
  ASSERT_TRUE(ini.RemoveSection("A"));
  EXPECT_EQ(ReadFile(box.path("n.RXI")), "[B]\r\ny=2\r\n");
  ASSERT_TRUE(ini.RemoveKey("B", "missing"));
  EXPECT_EQ(ReadFile(box.path("n.RXI")), "[B]\r\ny=2\r\n");
  ASSERT_TRUE(ini.RemoveKey("B", "Y"));
  EXPECT_EQ(ReadFile(box.path("n.RXI")), "[B]\r\n");
  ASSERT_TRUE(ini.RemoveSection("B"));
  EXPECT_FALSE(fs::exists(box.path("n.RXI")));
}

TEST(LockedIniFile, ALongLineIsReadAndRewrittenWhole) {
  Sandbox box;
  std::string note(10000, 'n');
  box.write("_NOTE_.RXI", "[:a.jpg]\r\nNote=" + note + "\r\n");
  CLockedIniFile ini;
  ini.Open(box.path("_NOTE_.RXI").string(), 0);
  std::string v;
  ASSERT_EQ(ini.GetValue(":a.jpg", "Note", v), 0);
  EXPECT_EQ(v, note);
  // Changing another note must not cut this one.
  ASSERT_TRUE(ini.SetValue(":b.jpg", "Note", "short"));
  ASSERT_EQ(ini.GetValue(":a.jpg", "Note", v), 0);
  EXPECT_EQ(v.size(), note.size());
}

TEST(LockedIniFile, RewritingLeavesNoTemporaryFilesAndKeepsOldTextOnFailure) {
  Sandbox box;
  box.write("d/n.RXI", "[A]\r\nx=1\r\n");
  CLockedIniFile ini;
  ini.Open(box.path("d/n.RXI").string(), 0);
  ASSERT_TRUE(ini.SetValue("A", "x", "2"));
  int files = 0;
  for (auto &e : fs::directory_iterator(box.path("d"))) (void)e, ++files;
  EXPECT_EQ(files, 1);
  if (geteuid() != 0) {
    fs::permissions(box.path("d"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(ini.SetValue("A", "x", "3"));
    fs::permissions(box.path("d"), fs::perms::owner_all);
    EXPECT_EQ(ReadFile(box.path("d/n.RXI")), "[A]\r\nx=2\r\n");
  }
}

TEST(LockedIniFile, OldCodePageTextIsReadAsUtf8) {
  Sandbox box;
  // "メモ" in code page 932.
  box.write("_NOTE_.RXI", std::string("[:a.jpg]\r\nNote=\x83\x81\x83\x82\r\n"));
  CLockedIniFile ini;
  ini.Open(box.path("_NOTE_.RXI").string(), 0);
  std::string v;
  ASSERT_EQ(ini.GetValue(":a.jpg", "Note", v), 0);
  EXPECT_EQ(v, "メモ");
}

TEST(IniCache, ReadAllAnswersFromMemoryWithTheSameRules) {
  Sandbox box;
  box.write("DIRINFO.RXI",
            "[Document]\r\nMaxCount=2\r\nThumbsFile=\"thumbs;1.dat\" ; note\r\n"
            "[1]\r\nFileName=a.jpg\r\nLength=-12abc\r\nBig=99999999999\r\n"
            "[2 ] trailing\r\nFileName=b.jpg\r\n"
            "[1]\r\nFileName=duplicate\r\n");
  CIniCache c;
  ASSERT_TRUE(c.ReadAll(box.path("DIRINFO.RXI").string()));
  EXPECT_EQ(c.GetInt("Document", "maxcount", 0), 2);
  EXPECT_EQ(c.GetString("Document", "ThumbsFile", "x"), "\"thumbs;1.dat\"");
  EXPECT_EQ(c.GetString("1", "FileName", ""), "a.jpg");  // the first of two like sections
  EXPECT_EQ(c.GetInt("1", "Length", 0), -12);
  EXPECT_EQ(c.GetInt("1", "Big", 0), 2147483647);
  EXPECT_EQ(c.GetInt("1", "Missing", 7), 7);
  EXPECT_EQ(c.GetString("2 ", "FileName", ""), "b.jpg");
  EXPECT_EQ(c.GetString("3", "FileName", "def"), "def");
  // Back to a section asked before.
  EXPECT_EQ(c.GetString("Document", "MaxCount", ""), "2");

  CIniCache none;
  EXPECT_FALSE(none.ReadAll(box.path("missing").string()));
  EXPECT_EQ(none.GetInt("Document", "MaxCount", -5), -5);
  EXPECT_FALSE(none.ReadAll(box.root().string()));  // a folder is not a file
}

}  // namespace
}  // namespace tamro
