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

// A sandbox folder; Open writes a file (unless `text` is empty) and opens an ini over it.
class IniTest : public ::testing::Test {
 protected:
  void Open(CLockedIniFile &file, const std::string &name, const std::string &text, int retries = 0) {
    if (!text.empty()) box.write(name, text);
    file.Open(box.path(name).string(), retries);
  }
  std::string Text(const std::string &name) const { return ReadFile(box.path(name)); }
  // The file's text after a change that reports success; a marker when it reports failure.
  std::string After(bool done, const std::string &name = "n.RXI") const {
    return done ? Text(name) : "(failed)";
  }
  // The value read; the answer in brackets when the read fails.
  static std::string Value(CLockedIniFile &file, const std::string &section, const std::string &key) {
    std::string v;
    const int r = file.GetValue(section, key, v);
    return r == 0 ? v : "(" + std::to_string(r) + ")";
  }
  Sandbox box;
  CountingIni ini;  // the file under test
};

TEST(LockedIniFile, LockPathIsBaseNameWithAcf) {
  EXPECT_EQ(LockPathFor("/pics/DIRINFO.RXI") + "|" + LockPathFor("/pics/_NOTE_.RXI") + "|" +
                LockPathFor("/pics.d/noext"),
            "/pics/DIRINFO.ACF|/pics/_NOTE_.ACF|/pics.d/noext.ACF");
}

TEST_F(IniTest, RetryCountThreeGivesUpAfterThreeLooksWithoutSleeping) {
  box.write("DIRINFO.ACF", "stale\r\n");
  Open(ini, "DIRINFO.RXI", "[Document]\r\nMaxCount=4\r\n", 3);
  std::string v = "junk";
  EXPECT_EQ(ini.GetValue("Document", "MaxCount", v), -1);
  EXPECT_EQ(std::tuple(v, ini.looks, ini.sleeps), std::tuple("", 3, 0));
  EXPECT_TRUE(fs::exists(box.path("DIRINFO.ACF")));  // not ours: left alone
  EXPECT_FALSE(ini.SetValue("Document", "MaxCount", "5"));
  EXPECT_EQ(Text("DIRINFO.RXI"), "[Document]\r\nMaxCount=4\r\n");
}

TEST_F(IniTest, RetryCountZeroIgnoresAStaleLockAndMakesNone) {
  box.write("n.ACF", "stale\r\n");
  Open(ini, "n.RXI", "[s]\r\nk=1\r\n");
  EXPECT_EQ(Value(ini, "s", "k"), "1");
  EXPECT_EQ(ini.looks, 0);
  EXPECT_TRUE(ini.SetValue("s", "k", "2"));
  EXPECT_EQ(Text("n.ACF"), "stale\r\n");

  fs::remove(box.path("n.ACF"));
  EXPECT_TRUE(ini.SetValue("s", "k", "3"));
  EXPECT_FALSE(fs::exists(box.path("n.ACF")));
}

TEST_F(IniTest, WaitingForeverSleepsUntilTheLockGoesAndLeavesNoLockBehind) {
  box.write("n.ACF", "held\r\n");
  Open(ini, "n.RXI", "[s]\r\nk=v\r\n", CLockedIniFile::kWaitForever);
  ini.releaseAfterSleeps = 2;
  EXPECT_EQ(Value(ini, "s", "k"), "v");
  EXPECT_EQ(ini.sleeps, 2);
  EXPECT_FALSE(fs::exists(box.path("n.ACF")));
}

TEST_F(IniTest, ReadingValuesFollowsTheTextForm) {
  box.write("a.RXI",
            "; a comment\n[Other]\nKey=wrong\n[Document]\r\n  Spaced Key   =   padded value   \r\n"
            "Comment=abc ; the rest is a comment\r\nQuoted=\"a;b\" ; kept whole\r\n;Key=commented out\r\n"
            "key=first\r\nKEY=second\r\nNoEquals\r\n[Tail]\r\nKey=tail\r\n");
  Open(ini, "a.RXI", "");
  const std::tuple<const char *, const char *, const char *> found[] = {
      {"Document", "Spaced Key", "padded value"},
      {"Document", "Comment", "abc"},
      {"Document", "Quoted", "\"a;b\""},
      {"Document", "Key", "first"},
      {"Tail", "key", "tail"}};
  for (const auto &[section, key, value] : found) EXPECT_EQ(Value(ini, section, key), value) << key;
  // Section names carry file names here and compare exactly.
  EXPECT_EQ(std::tuple(Value(ini, "Document", "NoEquals"), Value(ini, "Missing", "Key"),
                       Value(ini, "document", "Key")),
            std::tuple("(-1)", "(-1)", "(-1)"));

  CLockedIniFile missing;
  Open(missing, "none.RXI", "");
  EXPECT_EQ(Value(missing, "Document", "Key"), "(-1)");
}

TEST_F(IniTest, SetValueReplacesInsertsIntoAMiddleSectionOrAppends) {
  Open(ini, "n.RXI", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[C]\r\nz=3\r\n");
  EXPECT_EQ(After(ini.SetValue("B", "new", "4")), "[A]\r\nx=1\r\n[B]\r\ny=2\r\nnew=4\r\n[C]\r\nz=3\r\n");
  EXPECT_EQ(After(ini.SetValue("B", "Y", "20")), "[A]\r\nx=1\r\n[B]\r\nY=20\r\nnew=4\r\n[C]\r\nz=3\r\n");
  EXPECT_EQ(After(ini.SetValue(":a.jpg", "Note", "line1\x05line2")),
            "[A]\r\nx=1\r\n[B]\r\nY=20\r\nnew=4\r\n[C]\r\nz=3\r\n[:a.jpg]\r\nNote=line1\x05line2\r\n");
  EXPECT_EQ(Value(ini, ":a.jpg", "Note"), "line1\x05line2");

  // A missing file is created.
  CLockedIniFile fresh;
  Open(fresh, "fresh.RXI", "");
  EXPECT_EQ(After(fresh.SetValue("S", "k", "v"), "fresh.RXI"), "[S]\r\nk=v\r\n");
}

TEST_F(IniTest, RemovingTheLastSectionOrKeyDeletesTheFile) {
  Open(ini, "n.RXI", "[A]\nx=1\n[B]\ny=2\n");
  EXPECT_EQ(After(ini.RemoveSection("A")), "[B]\r\ny=2\r\n");
  EXPECT_EQ(After(ini.RemoveKey("B", "missing")), "[B]\r\ny=2\r\n");
  EXPECT_EQ(After(ini.RemoveKey("B", "Y")), "[B]\r\n");
  ASSERT_TRUE(ini.RemoveSection("B"));
  EXPECT_FALSE(fs::exists(box.path("n.RXI")));
}

TEST_F(IniTest, ALongLineIsReadAndRewrittenWhole) {
  std::string note(10000, 'n');
  Open(ini, "_NOTE_.RXI", "[:a.jpg]\r\nNote=" + note + "\r\n");
  EXPECT_TRUE(Value(ini, ":a.jpg", "Note") == note);
  // Changing another note must not cut this one.
  ASSERT_TRUE(ini.SetValue(":b.jpg", "Note", "short"));
  EXPECT_EQ(Value(ini, ":a.jpg", "Note").size(), note.size());
}

TEST_F(IniTest, RewritingLeavesNoTemporaryFilesAndKeepsOldTextOnFailure) {
  Open(ini, "d/n.RXI", "[A]\r\nx=1\r\n");
  ASSERT_TRUE(ini.SetValue("A", "x", "2"));
  EXPECT_EQ(std::distance(fs::directory_iterator(box.path("d")), fs::directory_iterator()), 1);
  if (geteuid() != 0) {
    fs::permissions(box.path("d"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(ini.SetValue("A", "x", "3"));
    fs::permissions(box.path("d"), fs::perms::owner_all);
    EXPECT_EQ(Text("d/n.RXI"), "[A]\r\nx=2\r\n");
  }
}

// Code page 932 text from older installations is read through the note store, section names
// and values alike: NotesFromOlderInstallationsAreRead in catalogue_thumbs/notestore_test.cpp.

TEST_F(IniTest, CacheReadAllAnswersFromMemoryWithTheSameRules) {
  box.write("DIRINFO.RXI",
            "[Document]\r\nMaxCount=2\r\nThumbsFile=\"thumbs;1.dat\" ; note\r\n"
            "[1]\r\nFileName=a.jpg\r\nLength=-12abc\r\nBig=99999999999\r\n"
            "[2 ] trailing\r\nFileName=b.jpg\r\n"
            "[1]\r\nFileName=duplicate\r\n");
  CIniCache c;
  ASSERT_TRUE(c.ReadAll(box.path("DIRINFO.RXI").string()));
  // Of two like sections, the first.
  EXPECT_EQ(std::tuple(c.GetInt("Document", "maxcount", 0), c.GetInt("1", "Length", 0),
                       c.GetInt("1", "Big", 0), c.GetInt("1", "Missing", 7)),
            std::tuple(2, -12, 2147483647, 7));
  EXPECT_EQ(std::tuple(c.GetString("Document", "ThumbsFile", "x"), c.GetString("1", "FileName", ""),
                       c.GetString("2 ", "FileName", ""), c.GetString("3", "FileName", "def")),
            std::tuple("\"thumbs;1.dat\"", "a.jpg", "b.jpg", "def"));
  // Back to a section asked before.
  EXPECT_EQ(c.GetString("Document", "MaxCount", ""), "2");

  CIniCache none;  // a folder is not a file either
  EXPECT_FALSE(none.ReadAll(box.path("missing").string()));
  EXPECT_EQ(none.GetInt("Document", "MaxCount", -5), -5);
  EXPECT_FALSE(none.ReadAll(box.root().string()));
}

}  // namespace
}  // namespace tamro
