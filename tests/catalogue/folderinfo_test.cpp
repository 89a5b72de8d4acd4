#include <cstring>

#include "catalogue/packeddib.h"
#include "catalogue/wildcard.h"
#include "docfixture.h"
#include "picture/dibtypes.h"
#include "platform/ui.h"

namespace tamro::test {
namespace {

// A 2 x 2 picture of 24 bits: header, no colour table, two rows of 8 bytes.
std::string TinyDib() {
  BitmapInfoHeader h{};
  h.size = 40, h.width = 2, h.height = 2, h.planes = 1, h.bitCount = 24;
  std::string s(reinterpret_cast<const char *>(&h), sizeof h);
  s += std::string(16, '\x7f');
  return s;
}

class FolderInfoTest : public DocTest {
 protected:
  ScriptedUi ui;
  ScopedUi scoped{ui};

  // Three pictures in "pics": a.jpg (indexed unchanged), b.jpg (changed since), c.jpg
  // (decoder not installed), and an archive member of set.arc.
  void MakeIndex(const std::string &document =
                     "[Document]\r\nMaxCount=5\r\nDataVersion=1\r\nThumbsFile=thumbs.dat\r\n") {
    SetTimes(Write("pics/a.jpg", "PIC"), 1000);
    SetTimes(Write("pics/b.jpg", "PIC"), 2000);
    Write("pics/c.jpg", "PIC");
    SetTimes(Write("pics/set.arc", "ARC\n"), 3000);
    Write("pics/thumbs.dat", "pad." + TinyDib() + TinyDib());
    Write("pics/DIRINFO.RXI",
          document +
              "[1]\r\nFileName=a.jpg\r\nSPIName=FAKEPIC\r\nLength=3\r\nCreateTime=900\r\n"
              "LastWriteTime=1000\r\nWidth=640\r\nHeight=480\r\nBitCount=24\r\n"
              "Document=\"camera, lens\"\r\nSizeBox=\"96,72\"\r\nThumbsPosition=4\r\n"
              "[2]\r\nFileName=b.jpg\r\nSPIName=FAKEPIC\r\nLastWriteTime=1\r\nThumbsPosition=4\r\n"
              "Width=4000\r\nHeight=3000\r\nBitCount=8\r\nDocument=old\r\n"
              "[3]\r\nFileName=c.jpg\r\nSPIName=NOTHERE\r\nLastWriteTime=0\r\n"
              "[4]\r\nFileName=m.pic\r\nSPIName=FAKEPIC\r\nArchiveSPIName=FAKEARC\r\n"
              "ArchiveFileName=set.arc\r\nArchiveLastWriteTime=3000\r\nPosition=7\r\n"
              "ThumbsPosition=60\r\n"
              "[5]\r\nFileName=../escape.jpg\r\nSPIName=FAKEPIC\r\n");
  }
};

TEST_F(FolderInfoTest, EntriesComeFromTheIndexWithTheirThumbnails) {
  MakeIndex("[Document]\r\nMaxCount=5\r\nDataVersion=1\r\nDocSize=20,20\r\nThumbsFile=thumbs.dat\r\n");
  profile.WriteInt("RXDoc", "Archive", 1);
  auto doc = MakeDoc();
  EXPECT_EQ(doc->ReadFolderInfo(Folder()), 3);  // c.jpg: no decoder; ../escape.jpg: outside the folder
  ASSERT_EQ(doc->GetAllEntryCount(), 3);
  CPicEntry *a = doc->GetEntryAt(0);
  EXPECT_EQ(std::tuple(a->name, a->size, a->creationTime, a->facts.width, a->facts.bitCount, a->sizeBoxWidth,
                       a->sizeBoxHeight),
            std::tuple("a.jpg", 3u, 900 * kNanosPerSecond, 640, 24, 96, 72));
  ASSERT_TRUE(a->thumbnail);
  EXPECT_EQ(std::tuple(a->thumbWidth, GlobalSize(a->thumbnail.get())), std::tuple(2, 56u));
  // An entry that gets a thumbnail from the index is reset: its decoder is found again.
  EXPECT_EQ(std::tuple(a->facts.decoder, a->Description()), std::tuple(-1, ""));
  // b.jpg changed since: no thumbnail (rebuilt later), and nothing the index says about the old picture
  // stays; the file's own facts are taken.
  CPicEntry *b = doc->GetEntryAt(1);
  EXPECT_EQ(std::tuple(b->name, bool(b->thumbnail), b->facts.decoder, b->facts.width, b->facts.height,
                       b->facts.bitCount, b->Description(), b->lastWriteTime, b->size),
            std::tuple("b.jpg", false, 0, 0, 0, 0, "", 2000 * kNanosPerSecond, 3u));
  CPicEntry *m = doc->GetEntryAt(2);
  EXPECT_EQ(std::tuple(m->IsArchiveMember(), m->position, m->archiveDecoderIndex, bool(m->thumbnail)),
            std::tuple(true, 7u, 0, true));
  // DocSize 20 x 20 is raised to the 40 x 40 limits.
  EXPECT_EQ(doc->FolderCellSize(), (CellSize{40, 40}));

  // The progress window: its text, range and the names shown.
  EXPECT_EQ(std::tuple(ui.progress.front(), ui.progress[1], ui.progress.back()),
            std::tuple("open:フォルダ情報ファイルにアクセスしています...", "range:1,6", "close"));
  EXPECT_NE(std::find(ui.progress.begin(), ui.progress.end(), "text:a.jpg"), ui.progress.end());
}

TEST_F(FolderInfoTest, SkippedMembersMaxCountZeroAndCancelling) {
  MakeIndex();
  // Archives off: the member is skipped.
  EXPECT_EQ(MakeDoc()->ReadFolderInfo(Folder()), 2);
  // Cancelling keeps what was added.
  ui.abortedCalls = 0, ui.abortAfter = 1;
  EXPECT_EQ(MakeDoc()->ReadFolderInfo(Folder()), 1);
  ui.abortAfter = -1;
  // An archive that changed since is skipped.
  SetTimes(box.path("pics/set.arc").string(), 3001);
  profile.WriteInt("RXDoc", "Archive", 1);
  EXPECT_EQ(MakeDoc()->ReadFolderInfo(Folder()), 2);

  MakeIndex("[Document]\r\nMaxCount=0\r\nDataVersion=1\r\nThumbsFile=thumbs.dat\r\n");
  ui.progress.clear();
  auto doc = MakeDoc();
  EXPECT_EQ(doc->ReadFolderInfo(Folder()), 0);
  EXPECT_EQ(doc->GetAllEntryCount(), 0);
  EXPECT_EQ(ui.progress, (std::vector<std::string>{"open:フォルダ情報ファイルにアクセスしています...",
                                                   "range:1,1", "close"}));
}

TEST_F(FolderInfoTest, ListingWithTheCacheReadsTheIndexOnceAndListsNoFileTwice) {
  MakeIndex();
  profile.WriteString("RXDoc", "PathMask", "*.jpg;*.arc");
  profile.WriteInt("Filter", "FileName", 1);
  auto doc = MakeDoc();
  doc->ChangeFolder(Folder(), nullptr, true);
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg", "set.arc"}));
  for (int i = 0; i < doc->GetEntryCount(); ++i) EXPECT_TRUE(doc->GetEntry(i)->useCache);
  // The folder's own cell size is back to the configured one once its files are listed.
  EXPECT_EQ(std::tuple(doc->UseInfo(), doc->FolderCellSize()), std::tuple(true, doc->ThumbsSize()));
}

TEST_F(FolderInfoTest, LyingIndexValuesDoNoHarm) {
  SetTimes(Write("pics/a.jpg", "PIC"), 1000);
  Write("pics/t.dat", TinyDib().substr(0, 30));
  Write("pics/DIRINFO.RXI",
        "[Document]\r\nMaxCount=2147483647\r\nDataVersion=2\r\nThumbsFile=../../t.dat\r\n"
        "[1]\r\nFileName=a.jpg\r\nSPIName=FAKEPIC\r\nLastWriteTime=1000\r\nThumbsPosition=-5\r\n"
        "ThumbsSize=999999999999\r\nLength=-1\r\n");
  auto doc = MakeDoc();
  EXPECT_EQ(doc->ReadFolderInfo(Folder()), 1);
  // A length that is not the file's: the file's own.
  EXPECT_EQ(std::tuple(bool(doc->GetEntryAt(0)->thumbnail), doc->GetEntryAt(0)->size), std::tuple(false, 3u));

  // Data version 1 with a picture that runs past the end of the data file; data version 2 with bytes
  // that are no JPEG.
  Write("pics/j.dat", std::string(100, '\xff'));
  for (const char *version :
       {"1\r\nThumbsFile=t.dat\r\n[1]", "2\r\nThumbsFile=j.dat\r\n[1]\r\nThumbsSize=100"}) {
    Write("pics/DIRINFO.RXI",
          std::string("[Document]\r\nMaxCount=1\r\nDataVersion=") + version +
              "\r\nFileName=a.jpg\r\nSPIName=FAKEPIC\r\nLastWriteTime=1000\r\nThumbsPosition=0\r\n");
    auto again = MakeDoc();
    ASSERT_EQ(again->ReadFolderInfo(Folder()), 1) << version;
    EXPECT_FALSE(again->GetEntryAt(0)->thumbnail) << version;
  }
}

TEST(PackedDib, ReadsOnlyWhatItsHeaderProvesIsThere) {
  std::string dib = TinyDib();
  int w = 0, h = 0;
  std::size_t used = 0;
  auto p = reinterpret_cast<const unsigned char *>(dib.data());
  GlobalHandle ok = ReadPackedDib(p, dib.size(), w, h, &used);
  ASSERT_TRUE(ok);
  EXPECT_EQ(std::tuple(w, h, used, PackedDibSize(p, 40)), std::tuple(2, 2, 56u, 56u));
  for (std::size_t n = 0; n < dib.size(); ++n) EXPECT_FALSE(ReadPackedDib(p, n, w, h)) << n;

  // A file image with a gap before its pixels: the pixels follow the table in the block.
  BitmapFileHeader fh{};
  fh.type = 0x4D42, fh.offBits = 14 + 40 + 4;
  std::string file(reinterpret_cast<const char *>(&fh), sizeof fh);
  file += dib.substr(0, 40) + "gap!" + std::string(16, '\x01');
  GlobalHandle withGap =
      ReadPackedDib(reinterpret_cast<const unsigned char *>(file.data()), file.size(), w, h);
  ASSERT_TRUE(withGap);
  GlobalLockGuard lock(withGap.get());
  EXPECT_EQ(std::tuple(GlobalSize(withGap.get()), lock.as<unsigned char>()[40]), std::tuple(56u, 1));

  // Lies: a huge size, a bit count that does not exist, a colour table of millions.
  auto patched = [&](std::size_t at, uint32_t v) {
    std::string s = dib;
    std::memcpy(s.data() + at, &v, 4);
    return s;
  };
  for (const std::string &bad : {patched(4, 100000), patched(8, 0), patched(14, 7), patched(32, 5000000),
                                 patched(0, 41000), patched(16, 9)})
    EXPECT_FALSE(ReadPackedDib(reinterpret_cast<const unsigned char *>(bad.data()), bad.size(), w, h));
}

TEST(Wildcard, SearchPatternsReadLikeTheFileFindService) {
  const std::tuple<const char *, const char *, bool> cases[] = {
      {"*.*", "README", true},          {"*", "a.b", true},           {"*.JPG", "photo.jpg", true},
      {"*.jpg", "photo.jpeg", false},   {"a*.*", "abc", true},        {"b*.*", "abc", false},
      {"??.gif", "写真.gif", true},     {"?.gif", "写真.gif", false}, {"set.arc", "SET.ARC", true},
      {"set.arc", "set.arc.bak", false}};
  for (const auto &[pattern, name, match] : cases)
    EXPECT_EQ(SearchPatternMatch(pattern, name), match) << pattern << name;
}

}  // namespace
}  // namespace tamro::test
