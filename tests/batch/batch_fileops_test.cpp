// tamro-batch's file subcommands (convert, rename, unpack) and their answers to the
// same-name question.

#include <sys/stat.h>

#include "batch/batchtest.h"
#include "support/zipwriter.h"

namespace tamro::test {
namespace {

time_t ModTime(const fs::path &p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_mtim.tv_sec : -1;
}

std::string Format(const fs::path &p) {
  return QImageReader(QString::fromStdString(p.string())).format().toStdString();
}

TEST_F(BatchTest, ArchiveAndDownScanSwitchesOverrideTheSettings) {
  MakePicture(box.path("l/a.png"), 20, 20);
  MakePicture(box.path("l/sub/b.png"), 20, 20);
  MakePicture(box.path("c.png"), 20, 20);
  ASSERT_FALSE(WriteZip(box.path("l/set.zip"), {{"c.png", ReadFile(box.path("c.png")), 1577934246}}).empty());
  auto listed = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {
        "report", box.path("l").string(), "--out", box.path("r.txt").string(), "--format", "$(PN)", "-q"};
    args.insert(args.end(), extra.begin(), extra.end());
    Result r = RunBatch(args);
    EXPECT_EQ(r.exit, 0) << r.err;
    std::vector<std::string> lines = Lines(ReadFile(box.path("r.txt")));
    return std::set<std::string>(lines.begin(), lines.end());
  };
  EXPECT_EQ(listed({}), (std::set<std::string>{"a.png\r", "set.zip\r"}));
  EXPECT_EQ(listed({"--archive"}), (std::set<std::string>{"a.png\r", "c.png\r"}));
  EXPECT_EQ(listed({"--down-scan"}), (std::set<std::string>{"a.png\r", "set.zip\r", "b.png\r"}));
  WriteSettings("[RXDoc]\nArchive=1\nDownScan=1\n");
  EXPECT_EQ(listed({}), (std::set<std::string>{"a.png\r", "c.png\r", "b.png\r"}));
  EXPECT_EQ(listed({"--no-archive", "--no-down-scan"}), (std::set<std::string>{"a.png\r", "set.zip\r"}));

  // An archive named on its own is opened as the main window opens one: its members.
  WriteSettings("");
  Result r = RunBatch({"report", box.path("l/set.zip").string(), "--out", box.path("z.txt").string(),
                       "--format", "$(PN) $(W)x$(H)", "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ReadFile(box.path("z.txt")), "c.png 20x20\r\n");
  r = RunBatch({"thumbs", box.path("l/set.zip").string(), "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  std::vector<ThumbRecord> records = StoreRecords(box.path("l"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].header.name, "c.png");
  EXPECT_EQ(records[0].header.archiveName, "set.zip");
}

TEST_F(BatchTest, ConvertWritesTheAskedSizesAndFormats) {
  const fs::path dir = MakeFolder();
  const fs::path out = box.path("out");
  Result r = RunBatch({"convert", dir.string(), "--out", out.string(), "--jpeg", "--quality", "90", "--size",
                       "100x100", "-q"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Names(out), (std::set<std::string>{"a one.jpg", "b'q%.jpg", "c.jpg", "写真.jpg", "e.jpg"}));
  EXPECT_EQ(PictureSize(out / "a one.jpg"), QSize(100, 75));
  EXPECT_EQ(PictureSize(out / "b'q%.jpg"), QSize(75, 100));
  EXPECT_EQ(PictureSize(out / "c.jpg"), QSize(64, 48)) << "a smaller picture is not enlarged";
  EXPECT_EQ(PictureSize(out / "e.jpg"), QSize(100, 50));
  EXPECT_EQ(Format(out / "写真.jpg"), "jpeg");

  // One named file, as BMP, turned right and halved; "0.5" is a half where the locale
  // writes "0,5" too.
  const Environment german = CommaDecimalLocale(box.path("locale"));
  EXPECT_FALSE(german.empty()) << "localedef could not make de_DE.UTF-8";
  r = RunBatch({"convert", (dir / "写真.jpg").string(), "--out", box.path("bmp").string(), "--bmp", "--scale",
                "0.5", "--rotate", "90", "--scale-mode", "3", "--unsharp", "-q"},
               german);
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Names(box.path("bmp")), (std::set<std::string>{"写真.bmp"}));
  EXPECT_EQ(PictureSize(box.path("bmp/写真.bmp")), QSize(240, 320));
  EXPECT_EQ(Format(box.path("bmp/写真.bmp")), "bmp");

  // A file that is no picture is named as failed; the others are still written.
  box.write("pics/junk.jpg", "no picture at all");
  r = RunBatch({"convert", dir.string(), "--out", box.path("again").string(), "-q"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("junk.jpg"), std::string::npos) << r.err;
  EXPECT_EQ(Names(box.path("again")).size(), 5u);

  EXPECT_EQ(RunBatch({"convert", dir.string(), "--out", out.string(), "--size", "100"}).exit, 2);
  EXPECT_EQ(RunBatch({"convert", dir.string(), "--out", out.string(), "--scale", "0"}).exit, 2);
  EXPECT_EQ(RunBatch({"convert", dir.string(), "--out", out.string(), "--rotate", "361"}).exit, 2);
  EXPECT_EQ(RunBatch({"convert", dir.string(), "--out", out.string(), "--jpeg", "--bmp"}).exit, 2);
}

TEST_F(BatchTest, ConvertAnswersTheOverwriteQuestionByOptionOrFailsWithoutOne) {
  const fs::path dir = box.path("pics");
  MakePicture(dir / "p.png", 300, 200);
  MakePicture(dir / "q.png", 200, 300);
  const fs::path out = box.path("out");
  ASSERT_EQ(RunBatch({"convert", dir.string(), "--out", out.string(), "--jpeg", "-q"}).exit, 0);
  const std::string before = ReadFile(out / "p.jpg");

  // Nobody to ask: the question is refused, named, and nothing is replaced.
  Result r = RunBatch({"convert", dir.string(), "--out", out.string(), "--jpeg", "--size", "50x50", "-q"});
  ASSERT_TRUE(r.finished) << "a question nobody can answer must not wait";
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("--on-conflict"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(out / "p.jpg"), before);

  r = RunBatch({"convert", dir.string(), "--out", out.string(), "--jpeg", "--size", "50x50",
                "--on-conflict=skip", "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ReadFile(out / "p.jpg"), before);
  EXPECT_EQ(PictureSize(out / "q.jpg"), QSize(200, 300));

  r = RunBatch({"convert", dir.string(), "--out", out.string(), "--jpeg", "--size", "50x50", "--on-conflict",
                "number", "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_FALSE(fs::exists(box.path("config/QEV/Tamro.ini"))) << "a batch run writes no settings";
  EXPECT_EQ(PictureSize(out / "p(2).jpg"), QSize(50, 33));
  EXPECT_EQ(PictureSize(out / "q(2).jpg"), QSize(33, 50));

  r = RunBatch({"convert", dir.string(), "--out", out.string(), "--jpeg", "--size", "60x60",
                "--on-conflict=overwrite", "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(PictureSize(out / "p.jpg"), QSize(60, 40));
  EXPECT_EQ(Names(out).size(), 4u);

  // The overwrite question has no date or size answer.
  EXPECT_EQ(RunBatch({"convert", dir.string(), "--out", out.string(), "--on-conflict=newer"}).exit, 2);
}

TEST_F(BatchTest, RenameNumbersTheFilesInTheOrderNamed) {
  const fs::path dir = box.path("ren");
  MakePicture(dir / "x.png", 10, 10);
  MakePicture(dir / "y.png", 20, 20);
  MakePicture(dir / "z z.png", 30, 30);
  MakePicture(dir / "keep.png", 40, 40);
  Result r = RunBatch({"rename", (dir / "z z.png").string(), (dir / "y.png").string(),
                       (dir / "x.png").string(), "--pattern", "IMG#3#.png", "--start", "7", "-q"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Names(dir), (std::set<std::string>{"IMG007.png", "IMG008.png", "IMG009.png", "keep.png"}));
  EXPECT_EQ(PictureSize(dir / "IMG007.png"), QSize(30, 30));
  EXPECT_EQ(PictureSize(dir / "IMG009.png"), QSize(10, 10));

  // A name already taken is never replaced: the rename is reported and the file stays.
  r = RunBatch({"rename", (dir / "keep.png").string(), "--pattern", "IMG#3#.png", "--start", "8", "-q"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("keep.png -> IMG008.png :failed rename"), std::string::npos) << r.err;
  EXPECT_EQ(PictureSize(dir / "IMG008.png"), QSize(20, 20));
  EXPECT_TRUE(fs::exists(dir / "keep.png"));

  // Extension mode, and a pattern the dialog refuses.
  r = RunBatch({"rename", (dir / "keep.png").string(), "--pattern", "PNG", "-q"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "keep.PNG"));
  r = RunBatch({"rename", (dir / "keep.PNG").string(), "--pattern", "A#2"});
  EXPECT_EQ(r.exit, 2);
  EXPECT_NE(r.err.find("連番ファイル名形式が正しくありません"), std::string::npos) << r.err;
  EXPECT_EQ(RunBatch({"rename", (dir / "keep.PNG").string()}).exit, 2) << "no pattern";
}

TEST_F(BatchTest, UnpackWritesMembersFlatWithTheirTimes) {
  const time_t t1 = 1577934246, t2 = 1557126490;  // 2020-01-02 and 2019-05-06
  ASSERT_FALSE(
      WriteZip(box.path("set.zip"), {{"inner/one.txt", "hello", t1}, {"two.bin", std::string(1000, 'x'), t2}})
          .empty());
  const fs::path out = box.path("new/out");
  Result r = RunBatch({"unpack", box.path("set.zip").string(), "--out", out.string(), "-q"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Names(out), (std::set<std::string>{"one.txt", "two.bin"}))
      << "the destination is made without asking";
  EXPECT_EQ(ReadFile(out / "one.txt"), "hello");
  EXPECT_EQ(ModTime(out / "one.txt"), t1);
  EXPECT_EQ(ModTime(out / "two.bin"), t2);

  // As the main window does, members replace files of their name unless told otherwise.
  box.write("new/out/one.txt", "mine, longer");
  r = RunBatch({"unpack", box.path("set.zip").string(), "--out", out.string(), "-q", "--on-conflict=skip"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ReadFile(out / "one.txt"), "mine, longer");
  // The local file is newer than the member; the local two.bin is smaller.
  box.write("new/out/two.bin", "short");
  r = RunBatch({"unpack", box.path("set.zip").string(), "--out", out.string(), "-q", "--on-conflict=newer"});
  EXPECT_EQ(ReadFile(out / "one.txt"), "mine, longer");
  EXPECT_EQ(ReadFile(out / "two.bin"), "short");
  r = RunBatch({"unpack", box.path("set.zip").string(), "--out", out.string(), "-q", "--on-conflict=larger"});
  EXPECT_EQ(ReadFile(out / "one.txt"), "mine, longer");
  EXPECT_EQ(ReadFile(out / "two.bin").size(), 1000u);
  r = RunBatch({"unpack", box.path("set.zip").string(), "--out", out.string(), "-q", "--on-conflict=number"});
  EXPECT_EQ(ReadFile(out / "one(2).txt"), "hello");
  r = RunBatch({"unpack", box.path("set.zip").string(), "--out", out.string(), "-q"});
  EXPECT_EQ(ReadFile(out / "one.txt"), "hello");

  // Something that is no archive, and something that is not there.
  box.write("plain.txt", "text");
  r = RunBatch(
      {"unpack", box.path("plain.txt").string(), box.path("gone.zip").string(), "--out", out.string(), "-q"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("plain.txt"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gone.zip"), std::string::npos) << r.err;
  EXPECT_EQ(RunBatch({"unpack", box.path("set.zip").string()}).exit, 2) << "no --out";
}

TEST_F(BatchTest, UnpackReportsMembersItCannotWriteAndNeverTheArchiveItself) {
  // Bytes that deflate leaves as they are, so that one of them can be spoilt in the file.
  std::string noise(3000, '\0');
  unsigned state = 12345;
  for (char &c : noise) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
  const fs::path pack = box.path("pk/pack.zip");
  ASSERT_FALSE(WriteZip(pack, {{"ok.txt", "fine", 1577934246},
                               {"sub/pack.zip", "not the archive", 1577934246},
                               {"bad.bin", noise, 1577934246}})
                   .empty());
  std::string bytes = ReadFile(pack);
  const std::size_t at = bytes.find(noise.substr(1000, 32));
  ASSERT_NE(at, std::string::npos);
  bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
  box.write("pk/pack.zip", bytes);
  box.write("pk/bad.bin", "older");

  // Into the archive's own folder.
  Result r = RunBatch({"unpack", pack.string(), "--out", box.path("pk").string(), "-q"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("pack.zip:pack.zip: 書庫ファイル自身には書き込めません"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("pack.zip:bad.bin: 書庫から取り出せません"), std::string::npos) << r.err;
  EXPECT_TRUE(ReadFile(pack) == bytes);
  EXPECT_EQ(ReadFile(box.path("pk/bad.bin")), "older");
  EXPECT_EQ(ReadFile(box.path("pk/ok.txt")), "fine");

  // Members that flatten to one name: asked about, so refused without --on-conflict.
  const fs::path same = box.path("same.zip");
  ASSERT_FALSE(WriteZip(same, {{"a/same.jpg", "A", 1577934246},
                               {"b/same.jpg", "B", 1577934246},
                               {"same.jpg", "C", 1577934246}})
                   .empty());
  r = RunBatch({"unpack", same.string(), "--out", box.path("s").string(), "-q"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("--on-conflict"), std::string::npos) << r.err;
  EXPECT_EQ(Names(box.path("s")), (std::set<std::string>{"same.jpg"}));
  EXPECT_EQ(ReadFile(box.path("s/same.jpg")), "A");
  r = RunBatch({"unpack", same.string(), "--out", box.path("n").string(), "-q", "--on-conflict=number"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ReadFile(box.path("n/same.jpg")), "A");
  EXPECT_EQ(ReadFile(box.path("n/same(2).jpg")), "B");
  EXPECT_EQ(ReadFile(box.path("n/same(3).jpg")), "C");
}

}  // namespace
}  // namespace tamro::test
