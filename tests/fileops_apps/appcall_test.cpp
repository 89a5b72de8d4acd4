#include "fileops/appcall.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "catalogue/fakedecoders.h"
#include "catalogue/macros.h"
#include "catalogue/notestore.h"
#include "catalogue/rxdoc.h"
#include "output_macros/exifjpeg.h"
#include "output_macros/testfolder.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

TEST(AppCommandLine, ProgramTextAndPath) {
  EXPECT_EQ(std::tuple(ProgramText("/opt/Edit Tools/edit"), ProgramText("\"/opt/a b/edit\" -x"),
                       ProgramText("gimp")),
            std::tuple("\"/opt/Edit Tools/edit\"", "\"/opt/a b/edit\" -x", "gimp"));
  EXPECT_EQ(std::tuple(ProgramPath("\"/opt/a b/edit\" -x"), ProgramPath("/usr/bin/gimp\t-n"),
                       ProgramPath("\"unterminated")),
            std::tuple("/opt/a b/edit", "/usr/bin/gimp", "unterminated"));
}

// Selected pictures of a folder, one of them an archive member.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Profile::App().WriteInt("RXDoc", "Archive", 1);
    for (const char *n : {"a.jpg", "b 1.jpg", "it's \"q\" 100%.jpg", "写真.jpg"})
      box.write(std::string("pics/") + n, "x");
    box.write("pics/set.arc", test::FakeDecoders::MakeArchive({{"m.pic", 3, 1, "PIC"}}));
    doc = test::ListFolder(box.path("pics"), &decoders);
  }
  std::string Pic(const std::string &n) const { return box.path("pics/" + n).string(); }
  // The selected plain files in list order, their paths.
  std::vector<std::string> Select(const std::vector<std::string> &names) {
    test::Select(*doc, names);
    std::vector<std::string> paths;
    for (CPicEntry *e : Selected())
      if (!e->IsArchiveMember()) paths.push_back(e->FullPath());
    return paths;
  }
  std::vector<CPicEntry *> Selected() {
    std::vector<CPicEntry *> v;
    for (int i = 0; i < doc->GetEntryCount(); ++i)
      if (doc->GetEntry(i)->IsSelected()) v.push_back(doc->GetEntry(i));
    return v;
  }
  static std::vector<std::string> Split(const std::string &line) {
    std::vector<std::string> v;
    for (const QString &s : QProcess::splitCommand(QString::fromStdString(line)))
      v.push_back(s.toStdString());
    return v;
  }

  test::Sandbox box;
  test::FakeDecoders decoders;
  ScriptedUi ui;
  ScopedUi scope{ui};
  std::unique_ptr<CRXDoc> doc;
};

TEST_F(AppTest, OneProcessForAllWithQuotedPaths) {
  std::vector<std::string> paths = Select({"a.jpg", "b 1.jpg", "m.pic"});
  ASSERT_EQ(paths.size(), 2u);
  CAppEntry app{"Edit", "/opt/Program Files/Edit/edit", "\"$(PicPath)\"", "", 0};
  std::vector<AppLaunch> launches = BuildLaunches(app, Selected());
  ASSERT_EQ(launches.size(), 1u);
  // The member is not passed on.
  EXPECT_EQ(std::tuple(launches[0].commandLine, launches[0].folder),
            std::tuple("\"/opt/Program Files/Edit/edit\" \"" + paths[0] + "\" \"" + paths[1] + "\"",
                       "/opt/Program Files/Edit"));

  // One per file: a process per picture, each with its own working folder pattern.
  app.perFile = 1, app.folder = "$(PicDir)";
  launches = BuildLaunches(app, Selected());
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(std::tuple(launches[1].commandLine, launches[1].folder),
            std::tuple("\"/opt/Program Files/Edit/edit\" \"" + paths[1] + "\"", box.path("pics").string()));

  // A pattern with no macro is repeated once per picture; with none selected the
  // one process still gets the program alone.
  app = {"T", "\"/bin/tool\" -v", "--x", "", 0};
  EXPECT_EQ(std::tuple(BuildLaunches(app, Selected())[0].commandLine, BuildLaunches(app, {})[0].commandLine,
                       BuildLaunches(app, {})[0].folder),
            std::tuple("\"/bin/tool\" -v --x --x", "\"/bin/tool\" -v", "/bin"));
  app.perFile = 1;
  EXPECT_TRUE(BuildLaunches(app, {}).empty());
}

TEST_F(AppTest, QuotesInNamesSurviveTheSplitting) {
  std::vector<std::string> paths = Select({"it's \"q\" 100%.jpg", "写真.jpg"});
  CAppEntry app{"Edit", "/bin/edit", "\"$(PicPath)\" $(PicName)", "", 0};
  std::vector<std::string> args = Split(BuildLaunches(app, Selected())[0].commandLine);
  std::vector<std::string> expected{"/bin/edit"};
  for (const std::string &p : paths) {
    expected.push_back(p);
    // Unquoted in the pattern, a name with blanks splits as the user asked; its quote stays.
    std::istringstream words(fs::path(p).filename().string());
    for (std::string w; words >> w;) expected.push_back(w);
  }
  EXPECT_EQ(args, expected);

  // The camera facts are read from the file itself, not from the escaped path.
  box.write(
      "pics/it's \"q\" 100%.jpg",
      test::WrapJpeg(test::BuildExif({test::AsciiTag(0x010F, "NIKON"), test::AsciiTag(0x0110, "D70")}, {}),
                     "\xFF\xD9"));
  Select({"it's \"q\" 100%.jpg"});
  doc->GetEntry(test::FindEntry(*doc, "it's \"q\" 100%.jpg"))->facts.decoder = kBuiltinJpegDecoder;
  app.arguments = "\"$(CP)\"";
  EXPECT_EQ(Split(BuildLaunches(app, Selected())[0].commandLine),
            std::vector<std::string>({"/bin/edit", "[NIKON] [D70] "}));

  // A note nobody has read yet (no thumbnail made) comes from the note file, quotes and all.
  ASSERT_TRUE(WriteNote(box.path("pics").string(), "", "写真.jpg", "say \"hi\""));
  Select({"写真.jpg"});
  app.arguments = "\"$(N)\"";
  EXPECT_EQ(Split(BuildLaunches(app, Selected())[0].commandLine),
            std::vector<std::string>({"/bin/edit", "say \"hi\""}));
}

// A program written by the test: records its working folder and arguments, one per line.
class ProgramTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    fs::create_directories(box.path("out"));
    script = box.write("bin dir/rec 'x'.sh",
                       "#!/bin/sh\nf=\"" + box.path("out").string() +
                           "/run.$$\"\n{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } "
                           "> \"$f.tmp\"\nmv \"$f.tmp\" \"$f.txt\"\n")
                 .string();
    fs::permissions(script, fs::perms::owner_all);
  }
  // Waits until `count` programs have written their record; answers their lines.
  std::vector<std::vector<std::string>> Records(std::size_t count) {
    std::vector<std::vector<std::string>> records;
    for (int tries = 0; tries < 400; ++tries) {
      records.clear();
      for (const auto &f : fs::directory_iterator(box.path("out"))) {
        if (f.path().extension() != ".txt") continue;
        std::ifstream in(f.path());
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        records.push_back(lines);
      }
      if (records.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    std::sort(records.begin(), records.end());
    return records;
  }
  std::string script;
};

TEST_F(ProgramTest, StartsOneProcessWithEveryPictureOrOnePerPictureInItsFolder) {
  std::vector<std::string> paths = Select({"b 1.jpg", "it's \"q\" 100%.jpg", "写真.jpg", "m.pic"});
  SaveApplications({{"Other", "/bin/true", "", "", 0}, {"Record", script, "\"$(PicPath)\"", "", 0}}, 0);
  EXPECT_EQ(RunApplication(*doc, kFirstAppCommand + 1), 1);
  std::vector<std::vector<std::string>> expected = {{box.path("bin dir").string()}};
  expected[0].insert(expected[0].end(), paths.begin(), paths.end());
  EXPECT_EQ(std::tuple(Records(1), ui.Messages().empty()), std::tuple(expected, true));

  fs::remove_all(box.path("out"));
  for (const char *folder : {"out", "work 1"}) fs::create_directories(box.path(folder));
  SaveApplications({{"Record", script, "\"$(PicName)\"", box.path("work 1").string(), 1}}, 0);
  EXPECT_EQ(RunApplication(*doc, kFirstAppCommand), 3);
  expected.clear();
  for (const std::string &p : paths)
    expected.push_back({box.path("work 1").string(), fs::path(p).filename().string()});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Records(3), expected);
}

TEST_F(ProgramTest, FailedStartIsReportedAndStopsTheRun) {
  std::vector<std::string> paths = Select({"a.jpg", "b 1.jpg"});
  SaveApplications({{"Missing", box.path("no such/prog").string(), "$(PicName)", "", 1}}, 0);
  EXPECT_EQ(RunApplication(*doc, kFirstAppCommand), 0);
  ASSERT_EQ(ui.Messages().size(), 1u);  // the second picture was not tried
  EXPECT_EQ(ui.Messages()[0]->caption, kStartFailedTitle);
  EXPECT_NE(ui.Messages()[0]->text.find("\n\n[\"" + box.path("no such/prog").string() + "\" " +
                                        fs::path(paths[0]).filename().string() + "]"),
            std::string::npos);

  // A working folder that does not exist fails the start as well.
  ui.calls.clear();
  SaveApplications({{"Record", script, "", box.path("nowhere").string(), 0}}, 1);
  EXPECT_EQ(RunApplication(*doc, kFirstAppCommand), 0);
  EXPECT_EQ(ui.Messages().size(), 1u);

  // An index with no application does nothing.
  ui.calls.clear();
  EXPECT_EQ(RunApplication(*doc, kFirstAppCommand + 5), -1);
  EXPECT_TRUE(ui.calls.empty());
}

TEST(AppCallOption, EditsTheListAndWritesEveryKey) {
  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
  Profile &p = Profile::App();
  SaveApplications({{"A", "a", "", "", 0}, {"B", "b", "$(PicPath)", "$(PicDir)", 1}, {"C", "c", "", "", 0}},
                   0);

  CAppCallOption option;
  option.Load();
  // The last item starts selected.
  EXPECT_EQ(std::tuple(option.Current(), option.fields.title), std::tuple(2, "C"));
  option.fields.command = "c2";
  option.Select(1);  // the edit is stored before moving on
  EXPECT_EQ(std::tuple(option.Apps()[2].command, option.fields.arguments), std::tuple("c2", "$(PicPath)"));
  option.MoveTop();
  EXPECT_EQ(option.Current(), 0);
  for (int i = 0; i < 3; ++i) option.MoveDown();  // the third time already last: stays
  EXPECT_EQ(option.Current(), 2);
  option.MoveUp();
  std::vector<std::string> titles;
  for (const auto &a : option.Apps()) titles.push_back(a.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"A", "B", "C"}));

  // A new item must be named and given a command before the dialog closes.
  option.Add();
  EXPECT_EQ(option.Current(), 3);
  EXPECT_FALSE(option.Close());
  EXPECT_EQ(ui.Messages().back()->text, "タイトルを設定してください");
  option.fields.title = "D";
  EXPECT_FALSE(option.Close());
  EXPECT_EQ(ui.Messages().back()->text, "コマンドを設定してください");
  option.fields.command = "d";
  option.MoveTop();

  // Deleting two leaves two; the keys of the old third are emptied.
  option.Select(1);
  option.Delete();
  EXPECT_EQ(option.fields.title, "B");
  option.Delete();
  EXPECT_EQ(option.fields.title, "C");
  EXPECT_TRUE(option.Close());
  EXPECT_EQ(LoadApplications(), (std::vector<CAppEntry>{{"D", "d", "", "", 0}, {"C", "c2", "", "", 0}}));
  EXPECT_EQ(std::tuple(p.GetString("AppCall", "App2\\Title", "?"), p.GetString("AppCall", "App2\\Cmd", "?"),
                       p.GetInt("AppCall", "App2\\Dup", 9), p.Has("AppCall", "App3\\Title")),
            std::tuple("", "", 0, false));

  // Everything deleted: closing is allowed and empties the list.
  CAppCallOption empty;
  empty.Load();
  for (int i = 0; i < 2; ++i) empty.Delete();
  EXPECT_TRUE(empty.Close());
  EXPECT_TRUE(LoadApplications().empty());
}

}  // namespace
}  // namespace tamro
