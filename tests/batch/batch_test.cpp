// tamro-batch run as a process, the way a script runs it: standard input is not a
// terminal, so every question must be answered by a switch or fail without waiting.

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QRegularExpression>
#include <chrono>
#include <csignal>

#include "batch/batchtest.h"
#include "support/mounts.h"

namespace tamro::test {
namespace {

TEST_F(BatchTest, ThumbsWritesOneStorePerFolderAndKeepsValidRecords) {
  const fs::path dir = MakeFolder(), store = dir / CThumbStore::kFileName;
  MakePicture(dir / "sub" / "deep.jpg", 500, 500);
  Ok({"thumbs", "-r", dir.string()});
  std::set<std::string> names;
  for (const ThumbRecord &rec : StoreRecords(dir)) {
    names.insert(rec.header.name);
    // Default cell 110 x 110 with one caption line: the picture area is narrower than the cell.
    const auto &h = rec.header;
    EXPECT_TRUE(h.boxWidth > 0 && h.boxWidth <= 110 && h.thumbWidth <= h.boxWidth &&
                h.thumbHeight <= h.boxHeight)
        << h.name;
  }
  EXPECT_EQ(names, (std::set<std::string>{"a one.jpg", "b'q%.png", "c.bmp", "写真.jpg", "e.jpg"}));
  ASSERT_EQ(StoreRecords(dir / "sub").size(), 1u) << "-r gives the sub-folder its own store";

  // A second run finds every record valid and leaves the file as it was.
  const std::string before = ReadFile(store);
  const ino_t inode = Stat(store).st_ino;
  Ok({"thumbs", dir.string()});
  // An unchanged store is not rewritten.
  EXPECT_EQ(std::tuple(ReadFile(store), Stat(store).st_ino), std::tuple(before, inode));

  // A damaged store is written again, though every record it holds is still good.
  box.write("pics/" + std::string(CThumbStore::kFileName), before + "junk at the end");
  Ok({"thumbs", dir.string()});
  EXPECT_EQ(fs::file_size(store), before.size());

  // Another cell size makes every record stale.
  Ok({"thumbs", "--cell", "200x200", dir.string()});
  for (const ThumbRecord &rec : StoreRecords(dir)) EXPECT_GT(rec.header.boxWidth, 110) << rec.header.name;
}

TEST_F(BatchTest, ThumbsReportsWhatItCannotReadOrWriteAndStoresTheRest) {
  const fs::path dir = MakeFolder();
  box.write("pics/broken.jpg", std::string("\xFF\xD8\xFF\xE0 not really a jpeg"));
  EXPECT_NE(Expect(1, {"thumbs", "-q", dir.string()}).err.find("broken.jpg"), std::string::npos);
  EXPECT_EQ(StoreRecords(dir).size(), 5u);

  // Named files only: the named one is built, nothing else is touched.
  for (const char *name : {"other/x.jpg", "other/y.jpg"}) MakePicture(box.path(name), 50, 50);
  Ok({"thumbs", P("other/y.jpg")});
  ASSERT_EQ(StoreRecords(box.path("other")).size(), 1u);
  EXPECT_EQ(StoreRecords(box.path("other"))[0].header.name, "y.jpg");

  // A folder in the store's place cannot be replaced, whoever runs the test.
  fs::remove(dir / "broken.jpg");
  fs::remove(dir / CThumbStore::kFileName);
  fs::create_directories(dir / CThumbStore::kFileName);
  EXPECT_NE(Expect(1, {"thumbs", "-q", dir.string()}).err.find(CThumbStore::kFileName), std::string::npos);
  EXPECT_TRUE(fs::is_directory(dir / CThumbStore::kFileName));
}

TEST_F(BatchTest, HtmlWritesPagesAndThumbnailsWhereAskedToMakeTheFolder) {
  const fs::path dir = MakeFolder(), out = box.path("new/site");
  std::vector<std::string> args = {"html", dir.string(), "--out",    out.string(), "--page-count",
                                   "2",    "--jpeg",     "--resize", "-q"};
  // Nobody to ask whether to make the folder: a clear failure, unless --yes answers.
  const Result r = Expect(1, args);
  EXPECT_TRUE(Has(r.err, "フォルダが存在しません") && Has(r.err, "--yes") && !fs::exists(out)) << r.err;
  args.push_back("--yes");
  Ok(args);
  const std::set<std::string> names = Names(out);
  for (const char *page : {"catalog.htm", "catalog-2.htm", "catalog-3.htm"})
    EXPECT_TRUE(names.count(page)) << page;
  EXPECT_FALSE(names.count("catalog-4.htm"));
  for (const char *thumb : {"Tm-a one.jpg", "Tm-b'q%.jpg", "Tm-c.jpg", "Tm-写真.jpg", "Tm-e.jpg"}) {
    const QSize s = PictureSize(out / thumb);
    EXPECT_TRUE(s.isValid() && s.width() <= 160 && s.height() <= 120)
        << thumb << " " << s.width() << "x" << s.height();
  }
  // The last page holds one picture; its previous page link names page 2.
  const std::string last = ReadFile(out / "catalog-3.htm");
  EXPECT_NE(last.find("catalog-2.htm"), std::string::npos);
  EXPECT_EQ(QString::fromStdString(last).count(QStringLiteral("<IMG SRC=")), 1);

  // A name and a template from the command line.
  box.write("t.rxm", "*One\r\n<P>$FILENAME$</P>\r\n");
  Ok({"html", dir.string(), "--out", out.string(), "--name", "list", "--template", P("t.rxm"), "-q"});
  const std::string list = ReadFile(out / "list.html");
  EXPECT_TRUE(Has(list, "<P>写真.jpg</P>") && Has(list, "<P>b&#39;q%.png</P>")) << list;
}

TEST_F(BatchTest, SheetSizesFollowTheGridAndCell) {
  for (int i = 0; i < 10; ++i) MakePicture(box.path("ten/p" + std::to_string(i) + ".png"), 80 + i, 60);
  Ok({"sheet", P("ten"), "--out", P("sheets/sheet"), "--cols", "3", "--rows", "2", "--yes", "-q"});
  EXPECT_EQ(Names(box.path("sheets")), (std::set<std::string>{"sheet00.bmp", "sheet01.bmp"}));
  EXPECT_EQ(PictureSize(box.path("sheets/sheet00.bmp")), QSize(330, 220));

  // One JPEG sheet with a computed grid (3 x 4) and the cell size of the command line.
  Ok({"sheet", P("ten"), "--out", P("one"), "--jpeg", "--quality", "80", "--cell", "50x60", "-q"});
  EXPECT_EQ(PictureSize(box.path("one.jpg")), QSize(150, 240));
}

TEST_F(BatchTest, ReportWritesALinePerPictureWithTheSettingsListing) {
  const fs::path dir = MakeFolder();
  box.write("pics/notes.txt", "not a picture");
  box.write("pics/_NOTE_.RXI", "[:c.bmp]\r\nNote=red square\r\n");
  // The main window's own settings: only PNG and BMP names, name filter on.
  WriteSettings("[RXDoc]\nPathMask=*.png;*.bmp\n[Filter]\nFileName=1\n");
  const std::string settingsBefore = ReadFile(box.configFile());
  const Result r = Ok({"report", dir.string(), "--out", P("r.txt"), "--format", "$(PN) $(W)x$(H) $(N)"});
  EXPECT_EQ(ReadFile(box.path("r.txt")), "b'q%.png 300x400 \r\nc.bmp 64x48 red square\r\n");
  // Progress goes to standard error as plain lines (no redrawn bar) when it is no terminal, and not
  // at all with -q.
  EXPECT_TRUE(Has(r.err, "2/2") && !Has(r.err, "\r")) << r.err;

  // --mask overrides the mask; --all-files turns the name filter off. The tool never writes the
  // settings.
  const Result quiet =
      Ok({"report", dir.string(), "--out", P("r2.txt"), "--format", "$(PN)", "--mask", "*.jpg", "--quiet"});
  Ok({"report", dir.string(), "--out", P("r3.txt"), "--format", "$(PN)", "--all-files", "-q"});
  EXPECT_EQ(std::tuple(quiet.err, Lines(ReadFile(box.path("r2.txt"))).size(),
                       Lines(ReadFile(box.path("r3.txt"))).size(), ReadFile(box.configFile())),
            std::tuple("", 3u, 6u, settingsBefore));

  // Files named on the command line, whatever the mask says.
  Ok({"report", (dir / "写真.jpg").string(), (dir / "c.bmp").string(), "--out", P("r4.txt"), "--format",
      "$(PN)", "-q"});
  EXPECT_EQ(LineSet(box.path("r4.txt")), (std::set<std::string>{"写真.jpg\r", "c.bmp\r"}));

  // Sizes are read when the format asks for them, also through a name that holds a macro.
  box.write("s/$(S).bmp", "12345");
  box.write("s/t.bmp", "123");
  Ok({"report", P("s"), "--out", P("r5.txt"), "--format", "$(PN)|$(S)", "--all-files", "-q"});
  Ok({"report", P("s"), "--out", P("r6.txt"), "--format", "$(PN)", "--all-files", "-q"});
  EXPECT_EQ(ReadFile(box.path("r5.txt")) + ReadFile(box.path("r6.txt")),
            "5.bmp|5\r\nt.bmp|3\r\n5.bmp\r\nt.bmp\r\n");
}

TEST_F(BatchTest, TheSizeFilterOfTheSettingsAppliesUnlessAllFilesIsAsked) {
  MakePicture(box.path("f/small.png"), 8, 8);
  MakePicture(box.path("f/big.bmp"), 200, 200);
  WriteSettings("[Filter]\nFileSize=1\nSizeBegin0=10\nUnitBegin=1\n");
  Ok({"report", P("f"), "--out", P("r.txt"), "--format", "$(PN)", "-q"});
  EXPECT_EQ(ReadFile(box.path("r.txt")), "big.bmp\r\n");
  Ok({"report", P("f"), "--out", P("r.txt"), "--format", "$(PN)", "--all-files", "-q"});
  EXPECT_EQ(Lines(ReadFile(box.path("r.txt"))).size(), 2u);
}

TEST_F(BatchTest, PrintWritesAPdfPageAPicture) {
  const fs::path dir = MakeFolder();
  auto pages = [](const fs::path &pdf) {
    const QString text = QString::fromLatin1(QByteArray::fromStdString(ReadFile(pdf)));
    return text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]")));
  };
  Ok({"print", dir.string(), "--pdf", P("out.pdf"), "-q"});
  EXPECT_EQ(pages(box.path("out.pdf")), 5);
  // Two pictures a page by a definition.
  box.write("two.dps", "P,10,10,90,90,15\nN\nP,10,100,90,180,15\n");
  Ok({"print", dir.string(), "--pdf", P("two.pdf"), "--definition", P("two.dps"), "-q"});
  EXPECT_EQ(pages(box.path("two.pdf")), 3);
}

TEST_F(BatchTest, ExitCodesSeparateUsageFromFailedItems) {
  const std::string dir = MakeFolder().string();
  fs::create_directories(box.path("elsewhere"));
  const std::vector<std::vector<std::string>> usage = {
      {},
      {"paint", dir},
      {"thumbs", "--bogus", dir},
      {"thumbs", "--pdf", "x.pdf", dir},  // an option of another subcommand
      {"html", dir},                      // no --out
      {"html", dir, "--out", P("o"), "--quality", "101"},
      {"sheet", dir, "--out", "s.bmp", "--cols", "x"},
      {"thumbs", "--on-conflict=maybe", dir},
      {"report", dir, "--out", box.root().string()},   // a folder as output file
      {"html", dir, P("elsewhere"), "--out", P("o")},  // two folders for one catalogue
      {"convert", dir, "--out", P("o"), "--size", "100"},
      {"convert", dir, "--out", P("o"), "--scale", "0"},
      {"convert", dir, "--out", P("o"), "--rotate", "361"},
      {"convert", dir, "--out", P("o"), "--jpeg", "--bmp"},
      {"convert", dir, "--out", P("o"), "--on-conflict=newer"},  // the overwrite question has no date answer
  };
  for (const auto &args : usage) EXPECT_EQ(RunBatch(args).exit, 2) << ::testing::PrintToString(args);
  EXPECT_NE(Expect(1, {"thumbs", "-q", P("nowhere")}).err.find("nowhere"), std::string::npos);
  const Result help = Ok({"--help"});
  for (const char *word :
       {"thumbs", "html", "sheet", "convert", "rename", "report", "print", "unpack", "--on-conflict", "--yes",
        "--quiet", "--page-count", "--definition", "--pattern", "--rotate"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

TEST_F(BatchTest, OutputsThatCannotBeWrittenFailAndNameTheFiles) {
  const fs::path dir = MakeFolder(), full = box.path("full");
  TmpfsMount mount(full, "256k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  box.write("full/sheet.bmp", "previous");
  FillUp(full);
  auto fails = [](const Result &r, const fs::path &file) { EXPECT_TRUE(Has(r.err, file.string())) << r.err; };
  fails(Expect(1, {"sheet", dir.string(), "--out", (full / "sheet.bmp").string(), "-q"}), full / "sheet.bmp");
  EXPECT_EQ(ReadFile(full / "sheet.bmp"), "previous");
  fails(Expect(1, {"print", dir.string(), "--pdf", (full / "out.pdf").string(), "-q"}), full / "out.pdf");
  Result r = Expect(1, {"convert", dir.string(), "--out", full.string(), "-q"});
  for (const char *name : {"a one.bmp", "b'q%.bmp", "c.bmp", "写真.bmp", "e.bmp"}) fails(r, full / name);
  EXPECT_EQ(r.err.find("画像を読み込めません"), std::string::npos) << r.err;
  EXPECT_EQ(Names(full), (std::set<std::string>{"filler", "sheet.bmp"})) << "nothing half-written is left";

  // An output folder that cannot be made is one failure, not an unreadable picture each.
  TmpfsMount readOnly(box.path("ro"), "64k", true, [](const fs::path &) {});
  if (!readOnly.ok()) GTEST_SKIP() << readOnly.reason();
  r = Expect(1, {"convert", dir.string(), "--out", P("ro/converted"), "-q"});
  fails(r, box.path("ro/converted"));
  EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
}

// Runs tamro-batch on a terminal with `tmp` as its temporary folder and sends it `sig` once it
// asks its question. Answers its wait status and what it wrote to the terminal.
std::pair<int, std::string> SignalAtQuestion(const std::vector<std::string> &args, const fs::path &tmp,
                                             int sig) {
  std::vector<std::string> words = {"/usr/bin/env", "TMPDIR=" + tmp.string(), TAMRO_BIN_DIR "/tamro-batch"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  int terminal = -1;
  const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pid < 0) return {-1, "forkpty failed"};
  std::string seen;
  auto readSome = [&](int timeoutMs) {
    pollfd p{terminal, POLLIN, 0};
    char buffer[4096];
    const ssize_t n = ::poll(&p, 1, timeoutMs) > 0 ? ::read(terminal, buffer, sizeof buffer) : 0;
    if (n > 0) seen.append(buffer, static_cast<std::size_t>(n));
    return n > 0;
  };
  int status = -1;
  bool signalled = false, nudged = false;
  const auto start = std::chrono::steady_clock::now();
  auto signalledAt = start;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(120)) {
    readSome(100);
    if (!signalled && seen.find("番号") != std::string::npos) {
      ::kill(pid, sig);
      signalled = true;
      signalledAt = std::chrono::steady_clock::now();
    }
    if (::waitpid(pid, &status, WNOHANG) == pid) break;
    // A signal that came just before the tool began to read is seen after the next answer.
    if (signalled && !nudged && std::chrono::steady_clock::now() - signalledAt > std::chrono::seconds(10))
      nudged = ::write(terminal, "\n", 1) == 1;
  }
  if (::waitpid(pid, &status, WNOHANG) == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    status = -1;
  }
  // What the tool wrote just before it ended may still wait in the terminal.
  while (readSome(1000)) {
  }
  ::close(terminal);
  return {status, seen};
}

TEST_F(BatchTest, TermOrHangUpStopsTheRunAndRemovesItsScratchFolder) {
  MakePicture(box.path("pics/p.png"), 30, 20);
  const std::vector<std::string> args = {"convert", P("pics"), "--out", P("out"), "-q"};
  Ok(args);
  fs::create_directories(box.path("tmp"));
  for (int sig : {SIGTERM, SIGHUP}) {
    // The converted file is in the way: the tool asks on the terminal what to do.
    const auto [status, seen] = SignalAtQuestion(args, box.path("tmp"), sig);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1 && Has(seen, "中断しました"))
        << sig << " " << seen;
    for (const std::string &name : Names(box.path("tmp")))
      EXPECT_NE(name.rfind("tamro-batch", 0), 0u) << "settings copies left";
  }
}

}  // namespace
}  // namespace tamro::test
