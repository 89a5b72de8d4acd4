// tamro-batch's file subcommands (convert, rename, unpack) and their answers to the
// same-name question.

#include "batch/batchtest.h"
#include "support/zipwriter.h"

namespace tamro::test {
namespace {

std::string Format(const fs::path &p) {
  return QImageReader(QString::fromStdString(p.string())).format().toStdString();
}

TEST_F(BatchTest, ArchiveAndDownScanSwitchesOverrideTheSettings) {
  for (const char *name : {"l/a.png", "l/sub/b.png", "c.png"}) MakePicture(box.path(name), 20, 20);
  ASSERT_FALSE(WriteZip(box.path("l/set.zip"), {{"c.png", ReadFile(box.path("c.png")), 1577934246}}).empty());
  auto listed = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"report", P("l"), "--out", P("r.txt"), "--format", "$(PN)", "-q"});
    Ok(args);
    return LineSet(box.path("r.txt"));
  };
  using Set = std::set<std::string>;
  EXPECT_EQ(listed({}), (Set{"a.png\r", "set.zip\r"}));
  EXPECT_EQ(listed({"--archive"}), (Set{"a.png\r", "c.png\r"}));
  EXPECT_EQ(listed({"--down-scan"}), (Set{"a.png\r", "set.zip\r", "b.png\r"}));
  WriteSettings("[RXDoc]\nArchive=1\nDownScan=1\n");
  EXPECT_EQ(listed({}), (Set{"a.png\r", "c.png\r", "b.png\r"}));
  EXPECT_EQ(listed({"--no-archive", "--no-down-scan"}), (Set{"a.png\r", "set.zip\r"}));

  // An archive named on its own is opened as the main window opens one: its members.
  WriteSettings("");
  Ok({"report", P("l/set.zip"), "--out", P("z.txt"), "--format", "$(PN) $(W)x$(H)", "-q"});
  EXPECT_EQ(ReadFile(box.path("z.txt")), "c.png 20x20\r\n");
  Ok({"thumbs", P("l/set.zip"), "-q"});
  std::vector<ThumbRecord> records = StoreRecords(box.path("l"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::tuple(records[0].header.name, records[0].header.archiveName),
            std::tuple("c.png", "set.zip"));
}

TEST_F(BatchTest, ConvertWritesTheAskedSizesAndFormats) {
  const fs::path dir = MakeFolder(), out = box.path("out");
  Ok({"convert", dir.string(), "--out", out.string(), "--jpeg", "--quality", "90", "--size", "100x100",
      "-q"});
  EXPECT_EQ(Names(out), (std::set<std::string>{"a one.jpg", "b'q%.jpg", "c.jpg", "写真.jpg", "e.jpg"}));
  // A smaller picture (c) is not enlarged.
  EXPECT_EQ(std::tuple(PictureSize(out / "a one.jpg"), PictureSize(out / "b'q%.jpg"),
                       PictureSize(out / "c.jpg"), PictureSize(out / "e.jpg"), Format(out / "写真.jpg")),
            std::tuple(QSize(100, 75), QSize(75, 100), QSize(64, 48), QSize(100, 50), "jpeg"));

  // One named file, as BMP, turned right and halved; "0.5" is a half where the locale
  // writes "0,5" too.
  const Environment german = CommaDecimalLocale(box.path("locale"));
  EXPECT_FALSE(german.empty()) << "localedef could not make de_DE.UTF-8";
  Ok({"convert", (dir / "写真.jpg").string(), "--out", P("bmp"), "--bmp", "--scale", "0.5", "--rotate", "90",
      "--scale-mode", "3", "--unsharp", "-q"},
     german);
  EXPECT_EQ(std::tuple(Names(box.path("bmp")), PictureSize(box.path("bmp/写真.bmp")),
                       Format(box.path("bmp/写真.bmp"))),
            std::tuple(std::set<std::string>{"写真.bmp"}, QSize(240, 320), "bmp"));

  // A file that is no picture is named as failed; the others are still written.
  box.write("pics/junk.jpg", "no picture at all");
  EXPECT_TRUE(Has(Expect(1, {"convert", dir.string(), "--out", P("again"), "-q"}).err, "junk.jpg"));
  EXPECT_EQ(Names(box.path("again")).size(), 5u);
}

TEST_F(BatchTest, ConvertAnswersTheOverwriteQuestionByOptionOrFailsWithoutOne) {
  MakePicture(box.path("pics/p.png"), 300, 200);
  MakePicture(box.path("pics/q.png"), 200, 300);
  const fs::path out = box.path("out");
  auto convert = [&](int exit, const std::string &size, const std::string &conflict) {
    std::vector<std::string> args = {"convert", P("pics"), "--out", out.string(), "--jpeg", "-q"};
    if (!size.empty()) args.insert(args.end(), {"--size", size});
    if (!conflict.empty()) args.push_back("--on-conflict=" + conflict);
    return Expect(exit, args);
  };
  convert(0, "", "");
  const std::string before = ReadFile(out / "p.jpg");

  // Nobody to ask: the question is refused, named, and nothing is replaced.
  EXPECT_NE(convert(1, "50x50", "").err.find("--on-conflict"), std::string::npos);
  EXPECT_EQ(ReadFile(out / "p.jpg"), before);
  convert(0, "50x50", "skip");
  EXPECT_EQ(std::tuple(ReadFile(out / "p.jpg"), PictureSize(out / "q.jpg")),
            std::tuple(before, QSize(200, 300)));
  Ok({"convert", P("pics"), "--out", out.string(), "--jpeg", "--size", "50x50", "--on-conflict", "number",
      "-q"});
  // A batch run writes no settings.
  EXPECT_EQ(std::tuple(fs::exists(box.path("config/QEV/Tamro.ini")), PictureSize(out / "p(2).jpg"),
                       PictureSize(out / "q(2).jpg")),
            std::tuple(false, QSize(50, 33), QSize(33, 50)));
  convert(0, "60x60", "overwrite");
  EXPECT_EQ(std::tuple(PictureSize(out / "p.jpg"), Names(out).size()), std::tuple(QSize(60, 40), 4u));
}

TEST_F(BatchTest, RenameNumbersTheFilesInTheOrderNamed) {
  const fs::path dir = box.path("ren");
  for (const auto &[name, side] : {std::pair{"x.png", 10}, {"y.png", 20}, {"z z.png", 30}, {"keep.png", 40}})
    MakePicture(dir / name, side, side);
  Ok({"rename", P("ren/z z.png"), P("ren/y.png"), P("ren/x.png"), "--pattern", "IMG#3#.png", "--start", "7",
      "-q"});
  EXPECT_EQ(Names(dir), (std::set<std::string>{"IMG007.png", "IMG008.png", "IMG009.png", "keep.png"}));
  EXPECT_EQ(PictureSize(dir / "IMG007.png"), QSize(30, 30));
  EXPECT_EQ(PictureSize(dir / "IMG009.png"), QSize(10, 10));

  // A name already taken is never replaced: the rename is reported and the file stays.
  const Result r = Expect(1, {"rename", P("ren/keep.png"), "--pattern", "IMG#3#.png", "--start", "8", "-q"});
  EXPECT_EQ(std::tuple(Has(r.err, "keep.png -> IMG008.png :failed rename"), PictureSize(dir / "IMG008.png"),
                       fs::exists(dir / "keep.png")),
            std::tuple(true, QSize(20, 20), true))
      << r.err;

  // Extension mode, and a pattern the dialog refuses.
  Ok({"rename", P("ren/keep.png"), "--pattern", "PNG", "-q"});
  EXPECT_TRUE(fs::exists(dir / "keep.PNG"));
  const Result bad = Expect(2, {"rename", P("ren/keep.PNG"), "--pattern", "A#2"});
  EXPECT_NE(bad.err.find("連番ファイル名形式が正しくありません"), std::string::npos) << bad.err;
  EXPECT_EQ(RunBatch({"rename", P("ren/keep.PNG")}).exit, 2) << "no pattern";
}

TEST_F(BatchTest, UnpackWritesMembersFlatWithTheirTimes) {
  const time_t t1 = 1577934246, t2 = 1557126490;  // 2020-01-02 and 2019-05-06
  ASSERT_FALSE(
      WriteZip(box.path("set.zip"), {{"inner/one.txt", "hello", t1}, {"two.bin", std::string(1000, 'x'), t2}})
          .empty());
  const fs::path out = box.path("new/out");
  auto unpack = [&](const std::string &conflict) {
    std::vector<std::string> args = {"unpack", P("set.zip"), "--out", out.string(), "-q"};
    if (!conflict.empty()) args.push_back("--on-conflict=" + conflict);
    Ok(args);
  };
  unpack("");
  EXPECT_EQ(Names(out), (std::set<std::string>{"one.txt", "two.bin"}))
      << "the destination is made without asking";
  EXPECT_EQ(std::tuple(ReadFile(out / "one.txt"), Stat(out / "one.txt").st_mtim.tv_sec,
                       Stat(out / "two.bin").st_mtim.tv_sec),
            std::tuple("hello", t1, t2));

  // As the main window does, members replace files of their name unless told otherwise. The local
  // files are newer than the members; the local two.bin is smaller.
  box.write("new/out/one.txt", "mine, longer");
  box.write("new/out/two.bin", "short");
  using Row = std::tuple<const char *, const char *, std::size_t>;  // answer, one.txt, two.bin's size
  for (const auto &[conflict, one, two] :
       {Row{"skip", "mine, longer", 5}, Row{"newer", "mine, longer", 5}, Row{"larger", "mine, longer", 1000},
        Row{"number", "mine, longer", 1000}, Row{"", "hello", 1000}}) {
    unpack(conflict);
    EXPECT_EQ(std::tuple(ReadFile(out / "one.txt"), ReadFile(out / "two.bin").size()), std::tuple(one, two))
        << conflict;
  }
  EXPECT_EQ(ReadFile(out / "one(2).txt"), "hello");

  // Something that is no archive, and something that is not there.
  box.write("plain.txt", "text");
  const Result r = Expect(1, {"unpack", P("plain.txt"), P("gone.zip"), "--out", out.string(), "-q"});
  EXPECT_TRUE(Has(r.err, "plain.txt") && Has(r.err, "gone.zip")) << r.err;
  EXPECT_EQ(RunBatch({"unpack", P("set.zip")}).exit, 2) << "no --out";
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
  Result r = Expect(1, {"unpack", pack.string(), "--out", P("pk"), "-q"});
  EXPECT_NE(r.err.find("pack.zip:pack.zip: 書庫ファイル自身には書き込めません"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("pack.zip:bad.bin: 書庫から取り出せません"), std::string::npos) << r.err;
  EXPECT_TRUE(ReadFile(pack) == bytes);
  EXPECT_EQ(ReadFile(box.path("pk/bad.bin")), "older");
  EXPECT_EQ(ReadFile(box.path("pk/ok.txt")), "fine");

  // Members that flatten to one name: asked about, so refused without --on-conflict.
  const time_t t = 1577934246;
  ASSERT_FALSE(
      WriteZip(box.path("same.zip"), {{"a/same.jpg", "A", t}, {"b/same.jpg", "B", t}, {"same.jpg", "C", t}})
          .empty());
  r = Expect(1, {"unpack", P("same.zip"), "--out", P("s"), "-q"});
  EXPECT_NE(r.err.find("--on-conflict"), std::string::npos) << r.err;
  EXPECT_EQ(Names(box.path("s")), (std::set<std::string>{"same.jpg"}));
  EXPECT_EQ(ReadFile(box.path("s/same.jpg")), "A");
  Ok({"unpack", P("same.zip"), "--out", P("n"), "-q", "--on-conflict=number"});
  for (const auto &[name, text] : {std::pair{"same.jpg", "A"}, {"same(2).jpg", "B"}, {"same(3).jpg", "C"}})
    EXPECT_EQ(ReadFile(box.path("n") / name), text) << name;
}

}  // namespace
}  // namespace tamro::test
