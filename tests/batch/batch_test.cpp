// tamro-batch run as a process, the way a script runs it: standard input is not a
// terminal, so every question must be answered by a switch or fail without waiting.

#include "batch/batchtest.h"

#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QRegularExpression>
#include <chrono>
#include <csignal>

#include "support/mounts.h"

namespace tamro::test {
namespace {

TEST_F(BatchTest, ThumbsWritesOneStorePerFolderAndKeepsValidRecords) {
  const fs::path dir = MakeFolder();
  MakePicture(dir / "sub" / "deep.jpg", 500, 500);
  Result r = RunBatch({"thumbs", "-r", dir.string()});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 0) << r.err;
  std::vector<ThumbRecord> records = StoreRecords(dir);
  ASSERT_EQ(records.size(), 5u);
  std::set<std::string> names;
  for (const ThumbRecord &rec : records) {
    names.insert(rec.header.name);
    // Default cell 110 x 110 with one caption line: the picture area is narrower than the cell.
    EXPECT_GT(rec.header.boxWidth, 0);
    EXPECT_LE(rec.header.boxWidth, 110);
    EXPECT_LE(rec.header.thumbWidth, rec.header.boxWidth);
    EXPECT_LE(rec.header.thumbHeight, rec.header.boxHeight);
  }
  EXPECT_TRUE(names.count("写真.jpg"));
  EXPECT_TRUE(names.count("b'q%.png"));
  ASSERT_EQ(StoreRecords(dir / "sub").size(), 1u) << "-r gives the sub-folder its own store";

  // A second run finds every record valid and leaves the file as it was.
  const std::string before = ReadFile(dir / CThumbStore::kFileName);
  struct stat st1 {};
  ::stat((dir / CThumbStore::kFileName).c_str(), &st1);
  r = RunBatch({"thumbs", dir.string()});
  EXPECT_EQ(r.exit, 0) << r.err;
  struct stat st2 {};
  ::stat((dir / CThumbStore::kFileName).c_str(), &st2);
  EXPECT_EQ(ReadFile(dir / CThumbStore::kFileName), before);
  EXPECT_EQ(st1.st_ino, st2.st_ino) << "an unchanged store is not rewritten";

  // A damaged store is written again, though every record it holds is still good.
  box.write("pics/" + std::string(CThumbStore::kFileName), before + "junk at the end");
  r = RunBatch({"thumbs", dir.string()});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(fs::file_size(dir / CThumbStore::kFileName), before.size());

  // Another cell size makes every record stale.
  r = RunBatch({"thumbs", "--cell", "200x200", dir.string()});
  EXPECT_EQ(r.exit, 0) << r.err;
  for (const ThumbRecord &rec : StoreRecords(dir)) EXPECT_GT(rec.header.boxWidth, 110) << rec.header.name;
}

TEST_F(BatchTest, ThumbsReportsPicturesItCannotReadAndStoresTheRest) {
  const fs::path dir = MakeFolder();
  box.write("pics/broken.jpg", std::string("\xFF\xD8\xFF\xE0 not really a jpeg"));
  Result r = RunBatch({"thumbs", "-q", dir.string()});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("broken.jpg"), std::string::npos) << r.err;
  EXPECT_EQ(StoreRecords(dir).size(), 5u);

  // Named files only: the named one is built, nothing else is touched.
  const fs::path other = box.path("other");
  MakePicture(other / "x.jpg", 50, 50);
  MakePicture(other / "y.jpg", 50, 50);
  r = RunBatch({"thumbs", (other / "y.jpg").string()});
  EXPECT_EQ(r.exit, 0) << r.err;
  ASSERT_EQ(StoreRecords(other).size(), 1u);
  EXPECT_EQ(StoreRecords(other)[0].header.name, "y.jpg");
}

TEST_F(BatchTest, ThumbsThatCannotBeWrittenFailAndSayWhere) {
  const fs::path dir = MakeFolder();
  // A folder in the store's place cannot be replaced, whoever runs the test.
  fs::create_directories(dir / CThumbStore::kFileName);
  Result r = RunBatch({"thumbs", "-q", dir.string()});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find(CThumbStore::kFileName), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_directory(dir / CThumbStore::kFileName));
}

TEST_F(BatchTest, HtmlWritesPagesAndThumbnails) {
  const fs::path dir = MakeFolder();
  const fs::path out = box.path("site");
  fs::create_directories(out);
  Result r = RunBatch({"html", dir.string(), "--out", out.string(), "--page-count", "2", "--jpeg", "--resize", "-q"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 0) << r.err;
  const std::set<std::string> names = Names(out);
  for (const char *page : {"catalog.htm", "catalog-2.htm", "catalog-3.htm"}) EXPECT_TRUE(names.count(page)) << page;
  EXPECT_FALSE(names.count("catalog-4.htm"));
  for (const char *thumb : {"Tm-a one.jpg", "Tm-b'q%.jpg", "Tm-c.jpg", "Tm-写真.jpg", "Tm-e.jpg"}) {
    ASSERT_TRUE(names.count(thumb)) << thumb;
    const QSize s = PictureSize(out / thumb);
    EXPECT_TRUE(s.width() <= 160 && s.height() <= 120) << thumb << " " << s.width() << "x" << s.height();
  }
  // The last page holds one picture; its previous page link names page 2.
  const std::string last = ReadFile(out / "catalog-3.htm");
  EXPECT_NE(last.find("catalog-2.htm"), std::string::npos);
  EXPECT_EQ(QString::fromStdString(last).count(QStringLiteral("<IMG SRC=")), 1);

  // A name and a template from the command line.
  box.write("t.rxm", "*One\r\n<P>$FILENAME$</P>\r\n");
  r = RunBatch({"html", dir.string(), "--out", out.string(), "--name", "list", "--template",
                box.path("t.rxm").string(), "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  const std::string list = ReadFile(out / "list.html");
  EXPECT_NE(list.find("<P>写真.jpg</P>"), std::string::npos) << list;
  EXPECT_NE(list.find("<P>b&#39;q%.png</P>"), std::string::npos) << list;
}

TEST_F(BatchTest, AQuestionWithoutATerminalFailsClearlyOrIsAnsweredByYes) {
  const fs::path dir = MakeFolder();
  const fs::path out = box.path("new/site");
  Result r = RunBatch({"html", dir.string(), "--out", out.string(), "-q"});
  ASSERT_TRUE(r.finished) << "a question nobody can answer must not wait";
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("フォルダが存在しません"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));

  r = RunBatch({"html", dir.string(), "--out", out.string(), "-q", "--yes"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(fs::exists(out / "catalog.htm"));
}

TEST_F(BatchTest, SheetSizesFollowTheGridAndCell) {
  const fs::path dir = box.path("ten");
  for (int i = 0; i < 10; ++i) MakePicture(dir / ("p" + std::to_string(i) + ".png"), 80 + i, 60);
  const fs::path out = box.path("sheets/sheet");
  Result r = RunBatch({"sheet", dir.string(), "--out", out.string(), "--cols", "3", "--rows", "2", "--yes", "-q"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Names(out.parent_path()), (std::set<std::string>{"sheet00.bmp", "sheet01.bmp"}));
  EXPECT_EQ(PictureSize(box.path("sheets/sheet00.bmp")), QSize(330, 220));

  // One JPEG sheet with a computed grid (3 x 4) and the cell size of the command line.
  r = RunBatch({"sheet", dir.string(), "--out", box.path("one").string(), "--jpeg", "--quality", "80", "--cell",
                "50x60", "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(PictureSize(box.path("one.jpg")), QSize(150, 240));
}

TEST_F(BatchTest, ReportWritesALinePerPictureWithTheSettingsListing) {
  const fs::path dir = MakeFolder();
  box.write("pics/notes.txt", "not a picture");
  box.write("pics/_NOTE_.RXI", "[:c.bmp]\r\nNote=red square\r\n");
  // The main window's own settings: only PNG and BMP names, name filter on.
  WriteSettings("[RXDoc]\nPathMask=*.png;*.bmp\n[Filter]\nFileName=1\n");
  const std::string settingsBefore = ReadFile(box.configFile());
  Result r = RunBatch({"report", dir.string(), "--out", box.path("r.txt").string(), "--format",
                       "$(PN) $(W)x$(H) $(N)", "-q"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ReadFile(box.path("r.txt")), "b'q%.png 300x400 \r\nc.bmp 64x48 red square\r\n");

  // --mask overrides the mask; --all-files turns the name filter off.
  r = RunBatch({"report", dir.string(), "--out", box.path("r2.txt").string(), "--format", "$(PN)", "--mask",
                "*.jpg", "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  std::vector<std::string> lines = Lines(ReadFile(box.path("r2.txt")));
  EXPECT_EQ(lines.size(), 3u);
  r = RunBatch({"report", dir.string(), "--out", box.path("r3.txt").string(), "--format", "$(PN)", "--all-files",
                "-q"});
  EXPECT_EQ(Lines(ReadFile(box.path("r3.txt"))).size(), 6u);
  EXPECT_EQ(ReadFile(box.configFile()), settingsBefore) << "the tool never writes the settings";

  // Files named on the command line, whatever the mask says.
  r = RunBatch({"report", (dir / "写真.jpg").string(), (dir / "c.bmp").string(), "--out",
                box.path("r4.txt").string(), "--format", "$(PN)", "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  lines = Lines(ReadFile(box.path("r4.txt")));
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), (std::set<std::string>{"写真.jpg\r", "c.bmp\r"}));
}

TEST_F(BatchTest, TheSizeFilterOfTheSettingsAppliesUnlessAllFilesIsAsked) {
  MakePicture(box.path("f/small.png"), 8, 8);
  MakePicture(box.path("f/big.bmp"), 200, 200);
  WriteSettings("[Filter]\nFileSize=1\nSizeBegin0=10\nUnitBegin=1\n");
  Result r = RunBatch({"report", box.path("f").string(), "--out", box.path("r.txt").string(), "--format", "$(PN)",
                       "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ReadFile(box.path("r.txt")), "big.bmp\r\n");
  r = RunBatch({"report", box.path("f").string(), "--out", box.path("r.txt").string(), "--format", "$(PN)",
                "--all-files", "-q"});
  EXPECT_EQ(Lines(ReadFile(box.path("r.txt"))).size(), 2u);
}

TEST_F(BatchTest, PrintWritesAPdfPageAPicture) {
  const fs::path dir = MakeFolder();
  const fs::path pdf = box.path("out.pdf");
  Result r = RunBatch({"print", dir.string(), "--pdf", pdf.string(), "-q"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 0) << r.err;
  const QString text = QString::fromLatin1(QByteArray::fromStdString(ReadFile(pdf)));
  EXPECT_EQ(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))), 5);

  // Two pictures a page by a definition.
  box.write("two.dps", "P,10,10,90,90,15\nN\nP,10,100,90,180,15\n");
  r = RunBatch({"print", dir.string(), "--pdf", box.path("two.pdf").string(), "--definition",
                box.path("two.dps").string(), "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  const QString two = QString::fromLatin1(QByteArray::fromStdString(ReadFile(box.path("two.pdf"))));
  EXPECT_EQ(two.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))), 3);
}

TEST_F(BatchTest, ExitCodesSeparateUsageFromFailedItems) {
  const fs::path dir = MakeFolder();
  EXPECT_EQ(RunBatch({}).exit, 2);
  EXPECT_EQ(RunBatch({"paint", dir.string()}).exit, 2);
  EXPECT_EQ(RunBatch({"thumbs", "--bogus", dir.string()}).exit, 2);
  EXPECT_EQ(RunBatch({"thumbs", "--pdf", "x.pdf", dir.string()}).exit, 2) << "an option of another subcommand";
  EXPECT_EQ(RunBatch({"html", dir.string()}).exit, 2) << "no --out";
  EXPECT_EQ(RunBatch({"html", dir.string(), "--out", box.path("o").string(), "--quality", "101"}).exit, 2);
  EXPECT_EQ(RunBatch({"sheet", dir.string(), "--out", "s.bmp", "--cols", "x"}).exit, 2);
  EXPECT_EQ(RunBatch({"thumbs", "--on-conflict=maybe", dir.string()}).exit, 2);
  EXPECT_EQ(RunBatch({"report", dir.string(), "--out", box.root().string()}).exit, 2) << "a folder as output file";
  fs::create_directories(box.path("elsewhere"));
  EXPECT_EQ(RunBatch({"html", dir.string(), box.path("elsewhere").string(), "--out", box.path("o").string()}).exit, 2)
      << "two folders for one catalogue";
  Result missing = RunBatch({"thumbs", "-q", box.path("nowhere").string()});
  EXPECT_EQ(missing.exit, 1);
  EXPECT_NE(missing.err.find("nowhere"), std::string::npos);
  Result help = RunBatch({"--help"});
  EXPECT_EQ(help.exit, 0);
  for (const char *word : {"thumbs", "html", "sheet", "convert", "rename", "report", "print", "unpack", "--on-conflict",
                           "--yes", "--quiet", "--page-count", "--definition", "--pattern", "--rotate"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

TEST_F(BatchTest, OutputsThatCannotBeWrittenFailAndNameTheFiles) {
  const fs::path dir = MakeFolder();
  const fs::path full = box.path("full");
  TmpfsMount mount(full, "256k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  box.write("full/sheet.bmp", "previous");
  FillUp(full);
  auto fails = [](const Result &r, const fs::path &file) {
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.err.find(file.string()), std::string::npos) << r.err;
  };
  fails(RunBatch({"sheet", dir.string(), "--out", (full / "sheet.bmp").string(), "-q"}), full / "sheet.bmp");
  EXPECT_EQ(ReadFile(full / "sheet.bmp"), "previous");
  fails(RunBatch({"print", dir.string(), "--pdf", (full / "out.pdf").string(), "-q"}), full / "out.pdf");
  Result r = RunBatch({"convert", dir.string(), "--out", full.string(), "-q"});
  for (const char *name : {"a one.bmp", "b'q%.bmp", "c.bmp", "写真.bmp", "e.bmp"}) fails(r, full / name);
  EXPECT_EQ(r.err.find("画像を読み込めません"), std::string::npos) << r.err;
  EXPECT_EQ(Names(full), (std::set<std::string>{"filler", "sheet.bmp"})) << "nothing half-written is left";

  // An output folder that cannot be made is one failure, not an unreadable picture each.
  TmpfsMount readOnly(box.path("ro"), "64k", true, [](const fs::path &) {});
  if (!readOnly.ok()) GTEST_SKIP() << readOnly.reason();
  const fs::path folder = box.path("ro/converted");
  r = RunBatch({"convert", dir.string(), "--out", folder.string(), "-q"});
  fails(r, folder);
  EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
}

// Runs tamro-batch on a terminal with `tmp` as its temporary folder and sends it `sig` once it
// asks its question. Answers its wait status and what it wrote to the terminal.
std::pair<int, std::string> SignalAtQuestion(const std::vector<std::string> &args, const fs::path &tmp,
                                             int sig) {
  std::vector<std::string> words = {TAMRO_BIN_DIR "/tamro-batch"}, env = {"TMPDIR=" + tmp.string()};
  words.insert(words.end(), args.begin(), args.end());
  for (char **e = environ; *e; ++e)
    if (std::string_view(*e).substr(0, 7) != "TMPDIR=") env.push_back(*e);
  std::vector<char *> argv, envp;
  for (std::string &w : words) argv.push_back(w.data());
  for (std::string &e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  int terminal = -1;
  const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (pid < 0) return {-1, "forkpty failed"};
  std::string seen;
  int status = -1;
  bool signalled = false, nudged = false;
  const auto start = std::chrono::steady_clock::now();
  auto signalledAt = start;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(120)) {
    pollfd p{terminal, POLLIN, 0};
    char buffer[4096];
    if (::poll(&p, 1, 100) > 0)
      if (const ssize_t n = ::read(terminal, buffer, sizeof buffer); n > 0)
        seen.append(buffer, static_cast<std::size_t>(n));
    if (!signalled && seen.find("番号") != std::string::npos) {
      ::kill(pid, sig);
      signalled = true;
      signalledAt = std::chrono::steady_clock::now();
    }
    if (::waitpid(pid, &status, WNOHANG) == pid) break;
    // A signal that came just before the tool began to read is seen after the next answer.
    if (signalled && !nudged && std::chrono::steady_clock::now() - signalledAt > std::chrono::seconds(10)) {
      nudged = ::write(terminal, "\n", 1) == 1;
    }
  }
  if (::waitpid(pid, &status, WNOHANG) == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    status = -1;
  }
  // What the tool wrote just before it ended may still wait in the terminal.
  for (char buffer[4096];;) {
    pollfd p{terminal, POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0) break;
    const ssize_t n = ::read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(terminal);
  return {status, seen};
}

TEST_F(BatchTest, TermOrHangUpStopsTheRunAndRemovesItsScratchFolder) {
  const fs::path dir = box.path("pics");
  MakePicture(dir / "p.png", 30, 20);
  const fs::path out = box.path("out"), tmp = box.path("tmp");
  ASSERT_EQ(RunBatch({"convert", dir.string(), "--out", out.string(), "-q"}).exit, 0);
  fs::create_directories(tmp);
  for (int sig : {SIGTERM, SIGHUP}) {
    // The converted file is in the way: the tool asks on the terminal what to do.
    const auto [status, seen] =
        SignalAtQuestion({"convert", dir.string(), "--out", out.string(), "-q"}, tmp, sig);
    ASSERT_TRUE(WIFEXITED(status)) << sig << " " << seen;
    EXPECT_EQ(WEXITSTATUS(status), 1) << seen;
    EXPECT_NE(seen.find("中断しました"), std::string::npos) << seen;
    for (const std::string &name : Names(tmp))
      EXPECT_NE(name.rfind("tamro-batch", 0), 0u) << "settings copies left";
  }
}

TEST_F(BatchTest, ProgressIsPlainLinesWithoutATerminalAndSilentWithQuiet) {
  const fs::path dir = MakeFolder();
  Result r = RunBatch({"report", dir.string(), "--out", box.path("r.txt").string()});
  EXPECT_EQ(r.exit, 0);
  EXPECT_NE(r.err.find("5/5"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no redrawn bar when not on a terminal";
  r = RunBatch({"report", dir.string(), "--out", box.path("r.txt").string(), "--quiet"});
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace tamro::test
