#include "catalogue/thumbstore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include <QCryptographicHash>
#include <QUrl>

#include "catalogue/fdthumbcache.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue_thumbs/thumbtest.h"
#include "picture/dibtest.h"
#include "platform/text.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;
using test::FakeDecoders;
using test::FileEntry;
using test::PlainPicture;
using test::Rect;

uint32_t At32(const std::string &b, std::size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// A record as an older or foreign writer would leave it: `headerSize` header bytes.
std::string RawRecord(std::size_t headerSize, const std::string &name, const std::string &data,
                      uint32_t fileSize = 0, uint32_t time = 0) {
  std::string r(headerSize, '\0');
  r[0] = static_cast<char>(headerSize & 0xFF), r[1] = static_cast<char>(headerSize >> 8);
  const uint32_t size = static_cast<uint32_t>(data.size());
  std::memcpy(&r[4], &size, 4);
  std::memcpy(&r[8], &fileSize, 4);
  std::memcpy(&r[12], &time, 4);
  std::memcpy(&r[16], name.data(), name.size());
  return r + data;
}

TEST(ThumbHeader, FieldsSitAtTheirOffsetsLittleEndian) {
  ThumbRecordHeader h;
  h.dataSize = 0x01020304, h.fileSize = 0xA0B0C0D0, h.lastWrite = 1700000000, h.position = 77;
  h.name = "名前 with blanks %s \"q\".jpg";
  h.thumbWidth = 110, h.thumbHeight = 83, h.boxWidth = 106, h.boxHeight = 88;
  h.pictureWidth = 4000, h.pictureHeight = 3000, h.bitCount = 24;
  h.decoderName = "--JPG--", h.archiveName = "box.zip", h.archiveDecoderName = "axzip";
  h.font.faceName = "IPAGothic", h.font.height = -12, h.font.weight = 400, h.font.italic = 1;
  h.frame = 1, h.nameSwitch = 2, h.nameFrame = 0, h.scaleMode = 10, h.unsharp = 1;
  h.treatment = kTreatOrientation | kTreatColour;
  unsigned char raw[kThumbHeaderBytes];
  WriteThumbHeader(h, raw);
  const std::string b(reinterpret_cast<char *>(raw), sizeof raw);
  // The treatment shares the first four bytes with the 16-bit header size.
  const uint32_t head = 680 | (3u << 16), font = uint32_t(-12);  // the font's height
  const std::pair<std::size_t, uint32_t> numbers[] = {
      {0, head},  {4, 0x01020304}, {8, 0xA0B0C0D0}, {12, 1700000000}, {276, 77}, {280, 110},  {284, 83},
      {288, 106}, {292, 88},       {296, 4000},     {300, 3000},      {304, 24}, {600, font}, {616, 400},
      {660, 1},   {664, 2},        {668, 0},        {672, 10},        {676, 1}};
  for (auto [at, value] : numbers) EXPECT_EQ(At32(b, at), value) << "offset " << at;
  const std::pair<std::size_t, std::string> texts[] = {
      {16, h.name}, {308, "--JPG--"}, {324, "box.zip"}, {584, "axzip"}, {628, "IPAGothic"}};
  for (const auto &[at, text] : texts) EXPECT_EQ(std::string(b.c_str() + at), text) << "offset " << at;
  EXPECT_EQ(raw[620], 1) << "italic";

  ThumbRecordHeader back = ParseThumbHeader(raw, sizeof raw);
  EXPECT_EQ(std::tuple(back.name, back.font, back.nameFrame, back.pictureHeight, back.treatment),
            std::tuple(h.name, h.font, 0, 3000, 3u));
}

TEST(ThumbHeader, LongTextsAreCutOnACharacterBoundary) {
  ThumbRecordHeader h;
  for (int i = 0; i < 100; ++i) h.name += "あ";  // 300 bytes
  h.decoderName = "a-very-long-plugin-name";
  unsigned char raw[kThumbHeaderBytes];
  WriteThumbHeader(h, raw);
  ThumbRecordHeader back = ParseThumbHeader(raw, sizeof raw);
  // 86 whole characters; the zero byte stays.
  EXPECT_EQ(std::tuple(back.name.size(), IsValidUtf8(back.name), back.decoderName, raw[16 + 259]),
            std::tuple(258u, true, "a-very-long-plu", 0));
}

TEST(ThumbFile, DamagedFilesStopAtTheBadRecordAndKeepTheOnesBefore) {
  const std::string good = RawRecord(680, "a.jpg", "abc");
  auto scan = [](const std::string &bytes) {
    auto file = std::make_shared<ThumbBytes>(bytes.begin(), bytes.end());
    return ParseThumbFile(file);
  };
  // Data size running one byte past the end.
  std::string lying = RawRecord(680, "b.jpg", "abcd");
  lying[4] = 5;
  ThumbFileScan s = scan(good + lying);
  EXPECT_TRUE(s.damaged);
  ASSERT_EQ(s.records.size(), 1u);
  EXPECT_EQ(s.records[0].header.name, "a.jpg");
  // A header size of 0 must not loop; one larger than what is left stops too.
  EXPECT_TRUE(scan(good + std::string(8, '\0')).damaged);
  std::string tooLong = RawRecord(680, "c.jpg", "");
  tooLong.resize(300);
  s = scan(good + tooLong);
  EXPECT_EQ(std::tuple(s.damaged, s.records.size()), std::tuple(true, 1u));
  // A ragged tail, and a file made only of one.
  EXPECT_EQ(scan(good + "\x01").records.size(), 1u);
  EXPECT_TRUE(scan("\x05").damaged);
  EXPECT_FALSE(scan("").damaged);
  // Names written in code page 932 come out as UTF-8; only the name part counts.
  s = scan(RawRecord(680, "\x83\x65\x83\x58\x83\x67.jpg", "z") + RawRecord(600, "dir/old.jpg", "XY"));
  ASSERT_EQ(s.records.size(), 2u);
  EXPECT_EQ(std::tuple(s.records[0].header.name, s.records[1].header.name, s.records[1].offset,
                       std::string(reinterpret_cast<const char *>(s.records[1].Data()), 2)),
            std::tuple("テスト.jpg", "old.jpg", 681u, "XY"));
}

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureGuiApp();
    folder = box.root() / "pics";
    fs::create_directories(folder);
  }

  // An entry whose thumbnail was just built.
  std::unique_ptr<CPicEntry> Built(const std::string &name, QColor colour = Qt::red) {
    auto e = FileEntry(box.write("pics/" + name, PlainPicture(64, 48, colour)));
    CThumbBuilder builder(&decoders, nullptr, nullptr);
    EXPECT_EQ(builder.EnsureThumbnail(*e, nullptr, Rect(0, 0, 100, 100), true), 0);
    return e;
  }

  std::string StorePath() const { return (folder / CThumbStore::kFileName).string(); }
  // Writes a store holding these entries' thumbnails, as an earlier session left it; answers its bytes.
  std::string Save(std::initializer_list<CPicEntry *> entries) {
    CThumbStore session(&decoders);
    for (CPicEntry *e : entries) EXPECT_EQ(session.Add(*e, 95), 1);
    session.Flush();
    return test::ReadFile(StorePath());
  }
  void WriteStore(const std::string &b) { box.write(std::string("pics/") + CThumbStore::kFileName, b); }
  // The folder as a store opened afresh reads it.
  CThumbFolder &Reread() {
    reread = std::make_unique<CThumbStore>(&decoders);
    return reread->GetFolder(folder.string());
  }

  test::Sandbox box;
  fs::path folder;
  FakeDecoders decoders;
  CThumbStore store{&decoders};  // the store of the session under test
  std::unique_ptr<CThumbStore> reread;
};

TEST_F(StoreTest, AddThenFlushWritesOneRecordPerEntry) {
  auto e = Built("a b %d \"q\" ü.png");
  ASSERT_EQ(store.Add(*e, 95), 1);
  EXPECT_TRUE(e->stored);
  EXPECT_FALSE(fs::exists(StorePath())) << "nothing is written before Flush";
  store.Flush();
  const std::string bytes = test::ReadFile(StorePath());
  ASSERT_GT(bytes.size(), 680u);
  // The treatment: made turning pictures and converting their colours.
  EXPECT_EQ(std::tuple(At32(bytes, 0) & 0xFFFF, At32(bytes, 0) >> 16, At32(bytes, 4)),
            std::tuple(680u, 3u, bytes.size() - 680));
  // Where each field sits: ThumbHeader above; what the entry puts there comes back through
  // Load in LoadRestoresTheThumbnailAndWhatItWasMadeWith and is matched in
  // LoadRefusesARecordThatNoLongerFitsTheFile.
  EXPECT_EQ(bytes.substr(680, 2), "\xFF\xD8");
}

TEST_F(StoreTest, PlainFileArchiveMemberAndNameInOtherCaseKeepSeparateRecords) {
  auto plain = Built("same.png", Qt::red);
  auto upper = Built("SAME.png", Qt::blue);
  auto member = test::MemberEntry(folder, "same.png", 3, 99, 1000);
  member->thumbnail.reset(CopyDib(plain->thumbnail.get()));
  decoders.decoders.push_back({0, "axzip", ".zip", "PK", true, PictureDecoders::kArchive, "", 0});
  // The plain file twice: the second replaces its own record.
  for (CPicEntry *e : {plain.get(), upper.get(), member.get(), plain.get()}) ASSERT_EQ(store.Add(*e, 95), 1);
  CThumbFolder &f = store.GetFolder(folder.string());
  EXPECT_EQ(f.Count(), 3u);
  const ThumbRecord *m = f.Find("same.png", "box.zip");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(std::tuple(m->header.position, m->header.archiveDecoderName,
                       f.Find("same.png", "")->header.archiveName),
            std::tuple(3u, "axzip", ""));

  store.Remove(*plain);
  EXPECT_EQ(
      std::tuple(f.Count(), f.Find("same.png", "box.zip") != nullptr, f.Find("SAME.png", "") != nullptr),
      std::tuple(2u, true, true));
  store.Flush();
  const auto records = Reread().Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]->header.archiveName, "box.zip") << "written in the order of the names";
}

TEST_F(StoreTest, StoreWithoutRecordsDeletesItsFileAndUnchangedStoresAreNotRewritten) {
  auto e = Built("x.png");
  Save({e.get()});
  struct stat before {};
  ASSERT_EQ(::stat(StorePath().c_str(), &before), 0);
  Reread();
  reread->Flush();
  struct stat after {};
  ASSERT_EQ(::stat(StorePath().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "an unchanged store leaves its file alone";
  reread->Remove(*e);
  reread->Flush();
  EXPECT_FALSE(fs::exists(StorePath()));
  // A damaged file without one good record is dropped as well.
  WriteStore("\x03");
  EXPECT_TRUE(Reread().Damaged());
  reread->Flush();
  EXPECT_FALSE(fs::exists(StorePath()));
}

// Bytes this process has read so far, whatever read them.
uint64_t BytesRead() {
  const std::string io = test::ReadFile("/proc/self/io");
  const std::size_t at = io.find("rchar:");
  return at == std::string::npos ? 0 : std::stoull(io.substr(at + 6));
}

TEST_F(StoreTest, AHugeStoreIsReadOnlyAsFarAsItsRecordsGo) {
  auto a = Built("a.png");
  auto b = Built("b.png");
  std::string bytes = Save({a.get(), b.get()});
  fs::resize_file(StorePath(), uint64_t{3} << 30);  // a hole of zeros: sparse, costs no disk
  const uint64_t before = BytesRead();
  CThumbFolder &f = Reread();
  EXPECT_LT(BytesRead() - before, uint64_t{16} << 20);
  EXPECT_EQ(std::tuple(f.Count(), f.Damaged()), std::tuple(2u, true));
  reread->Flush();
  EXPECT_EQ(fs::file_size(StorePath()), bytes.size());

  // A record claiming more data than any thumbnail has ends the records as well.
  const uint32_t huge = 200u << 20;
  std::memcpy(&bytes[At32(bytes, 4) + 680 + 4], &huge, 4);
  WriteStore(bytes);
  fs::resize_file(StorePath(), bytes.size() + huge);
  EXPECT_EQ(Reread().Count(), 1u);
  EXPECT_TRUE(reread->GetFolder(folder.string()).Damaged());
}

TEST_F(StoreTest, RecordsAnswerToTheirStoredBytesAndToTheirNamesAsText) {
  // A name that is not UTF-8, as this system allows.
  auto odd = Built("caf\xE9.png");
  ASSERT_EQ(store.Add(*odd, 95), 1);
  auto listed = FileEntry(folder / odd->name);
  EXPECT_EQ(store.Load(*listed), 1);
  store.Flush();
  EXPECT_NE(Reread().Find(odd->name, ""), nullptr);

  // Stores from older installations: "\" paths and code page 932 names.
  box.write("old/" + std::string(CThumbStore::kFileName),
            RawRecord(680, "C:\\pics\\win.png", "x") + RawRecord(680, "\x83\x65\x83\x58\x83\x67.png", "y"));
  CThumbStore old(&decoders);
  CThumbFolder &f = old.GetFolder(box.path("old").string());
  ASSERT_NE(f.Find("win.png", ""), nullptr);
  EXPECT_EQ(f.Find("win.png", "")->header.name, "win.png");
  ASSERT_NE(f.Find("テスト.png", ""), nullptr);
  // A new record of that file replaces the old one rather than standing beside it.
  auto renewed = Built("テスト.png");
  renewed->SetFolder(box.path("old").string());
  ASSERT_EQ(old.Add(*renewed, 95), 1);
  EXPECT_EQ(f.Count(), 2u);
  EXPECT_GT(f.Find("テスト.png", "")->header.dataSize, 1u);
}

TEST_F(StoreTest, AStoreThatCannotBeWrittenIsSkippedAndLeavesNothingBehind) {
  auto e = Built("y.png");
  fs::create_directory(StorePath());  // the name is taken by a folder
  store.Add(*e, 95);
  store.Flush();
  EXPECT_TRUE(fs::is_directory(StorePath()));
  EXPECT_TRUE(store.GetFolder(folder.string()).Changed()) << "still to be written";
  EXPECT_EQ(test::FileNames(folder), (std::vector<std::string>{CThumbStore::kFileName, "y.png"}))
      << "no temporary file is left";
  // A folder that is gone altogether is skipped too.
  auto gone = FileEntry(box.write("gone/z.png", PlainPicture(4, 4, Qt::red)));
  gone->thumbnail.reset(CopyDib(e->thumbnail.get()));
  store.Add(*gone, 95);
  fs::remove_all(box.root() / "gone");
  store.Flush();
  EXPECT_FALSE(fs::exists(box.root() / "gone"));
}

TEST_F(StoreTest, LoadRefusesARecordThatNoLongerFitsTheFile) {
  auto e = Built("t.png");
  store.Add(*e, 95);
  auto probe = [&](auto change) {
    auto copy = FileEntry(folder / "t.png");
    change(*copy);
    return store.Load(*copy);
  };
  ASSERT_EQ(probe([](CPicEntry &) {}), 1) << "the unchanged file takes its record";
  EXPECT_EQ(probe([](CPicEntry &c) { c.lastWriteTime += kNanosPerSecond; }), 0) << "touched";
  EXPECT_EQ(probe([](CPicEntry &c) { c.size += 1; }), 0);
  EXPECT_EQ(probe([](CPicEntry &c) { c.position = 1; }), 0);
  EXPECT_EQ(probe([](CPicEntry &c) { c.name = "other.png"; }), 0);
  EXPECT_EQ(probe([](CPicEntry &c) { c.SetArchiveName("box.zip"); }), 0);
  decoders.Find(1001)->inUse = false;
  EXPECT_EQ(probe([](CPicEntry &) {}), 0) << "the decoder is switched off";
  decoders.decoders.erase(decoders.decoders.begin() + 1);
  EXPECT_EQ(probe([](CPicEntry &) {}), 0) << "the decoder is gone";
}

TEST_F(StoreTest, RecordWhoseDataDoesNotDecodeLeavesTheEntryAlone) {
  auto e = Built("bad.png");
  const std::string rec =
      RawRecord(680, "bad.png", "not a jpeg", static_cast<uint32_t>(e->size), StoreSeconds(e->lastWriteTime));
  std::string withDecoder = rec;
  std::memcpy(&withDecoder[308], "--PNG--", 7);
  WriteStore(withDecoder);
  auto fresh = FileEntry(folder / "bad.png");
  fresh->facts.width = 5;
  EXPECT_EQ(store.Load(*fresh), 0);
  EXPECT_EQ(fresh->facts.width, 5);
  EXPECT_FALSE(fresh->thumbnail);
}

TEST_F(StoreTest, LoadRestoresTheThumbnailAndWhatItWasMadeWith) {
  auto e = Built("r.png", Qt::red);
  e->switches.scaleMode = 2, e->thumbScaleMode = 2, e->thumbUnsharp = 0, e->sizeBoxWidth = 90;
  Save({e.get()});
  auto fresh = FileEntry(folder / "r.png");
  fresh->work1.reset(CopyDib(e->thumbnail.get()));
  ASSERT_EQ(store.Load(*fresh), 1);
  ASSERT_TRUE(fresh->thumbnail);
  EXPECT_FALSE(fresh->work1) << "old pictures are freed";
  const uint32_t px = test::PixelAt(fresh->thumbnail.get(), 32, 24);
  EXPECT_TRUE(RedOf(px) > 240 && GreenOf(px) < 16);
  EXPECT_EQ(std::tuple(DibBitCount(fresh->thumbnail.get()), test::WidthOf(fresh->thumbnail.get()),
                       fresh->thumbWidth, fresh->thumbHeight, fresh->facts.width, fresh->facts.height,
                       fresh->facts.bitCount),
            std::tuple(24, 64, 64, 48, 64, 48, 24));
  EXPECT_EQ(std::tuple(fresh->sizeBoxWidth, fresh->facts.decoder, fresh->thumbScaleMode, fresh->thumbUnsharp),
            std::tuple(90, 1001, 2, 0));
  EXPECT_EQ(fresh->switches, DrawSwitches{}) << "the entry's own switches stay";
}

TEST_F(StoreTest, SixHundredByteRecordsLoadWithScaleModeAndUnsharpZero) {
  auto e = Built("old.png", Qt::blue);
  const std::string bytes = Save({e.get()});
  // The same record as an older writer kept it: the first 600 header bytes only.
  std::string old = bytes.substr(0, 600) + bytes.substr(680);
  old[0] = static_cast<char>(600 & 0xFF), old[1] = static_cast<char>(600 >> 8);
  WriteStore(old);
  const ThumbRecord *r = store.GetFolder(folder.string()).Find("old.png", "");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->header.nameFrame, 1);
  auto fresh = FileEntry(folder / "old.png");
  ASSERT_EQ(store.Load(*fresh), 1);
  EXPECT_EQ(std::tuple(fresh->thumbScaleMode, fresh->thumbUnsharp, test::WidthOf(fresh->thumbnail.get())),
            std::tuple(0, 0, 64));
  // Written back unchanged, still 600 bytes a header.
  store.Remove(*fresh);
  store.Add(*e, 95);
  store.Flush();
  EXPECT_EQ(At32(test::ReadFile(StorePath()), 0) & 0xFFFF, 680u);
}

TEST_F(StoreTest, BuilderTakesARecordOnceAndOnlyWhenItFitsTheCellAndTheEntrysSwitches) {
  auto e = Built("c.png", Qt::red);  // made for 100 x 100 with the default switches
  auto plain = Built("d.png", Qt::blue);
  plain->thumbScaleMode = 0, plain->thumbUnsharp = 0;  // as a thumbnail from the old folder index is kept
  Save({e.get(), plain.get()});
  CThumbBuilder builder(&decoders, &store, nullptr);
  auto build = [&](const char *name, const CellRect &rect, auto change) {
    auto listed = FileEntry(folder / name);
    listed->useCache = true;
    change(*listed);
    const std::size_t calls = decoders.pictureCalls.size();
    EXPECT_EQ(builder.EnsureThumbnail(*listed, nullptr, rect, true), 0);
    EXPECT_FALSE(listed->useCache);
    EXPECT_TRUE(listed->justBuilt);
    return std::make_pair(std::move(listed), decoders.pictureCalls.size() > calls);
  };
  auto same = [](CPicEntry &) {};
  auto [taken, decoded] = build("c.png", Rect(10, 10, 110, 110), same);
  EXPECT_EQ(std::tuple(decoded, taken->stored, taken->sizeBoxWidth), std::tuple(false, true, 100))
      << "made for this cell area";
  // Not asked again: a dropped thumbnail is decoded.
  taken->FreePictures();
  ASSERT_EQ(builder.EnsureThumbnail(*taken, nullptr, Rect(0, 0, 100, 100), true), 0);
  EXPECT_FALSE(taken->stored);

  // Another cell area, another unsharp switch, a lower scale mode: decoded again.
  EXPECT_TRUE(build("c.png", Rect(0, 0, 120, 110), same).second);
  EXPECT_TRUE(build("c.png", Rect(0, 0, 100, 100), [](CPicEntry &l) { l.switches.unsharp = 0; }).second);
  EXPECT_FALSE(build("c.png", Rect(0, 0, 100, 100), [](CPicEntry &l) { l.switches.scaleMode = 3; }).second);
  // Pictures now decoded without turning, or without converting colours: decoded again.
  EXPECT_TRUE(build("c.png", Rect(0, 0, 100, 100), [](CPicEntry &l) { l.switches.exifRotate = 0; }).second);
  EXPECT_TRUE(build("c.png", Rect(0, 0, 100, 100), [](CPicEntry &l) { l.switches.colorManage = 0; }).second);
  // A record made with other switches is judged by the entry's own, which it leaves alone.
  auto [judged, again] = build("d.png", Rect(0, 0, 100, 100), same);
  EXPECT_EQ(std::tuple(again, judged->switches, judged->thumbScaleMode),
            std::tuple(true, DrawSwitches{}, DrawSwitches{}.scaleMode));
}

// Thumbnails the folder's store does not keep live in the desktop's shared cache, under a
// private XDG_CACHE_HOME here.
class SharedCacheTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    if (const char *c = std::getenv("XDG_CACHE_HOME")) hadCache = true, oldCache = c;
    setenv("XDG_CACHE_HOME", (box.root() / "cache").c_str(), 1);
    cache = std::make_unique<FdThumbCache>(FdThumbCache::DefaultRoot());
    ASSERT_EQ(cache->Root(), (box.root() / "cache/thumbnails").string());
    builder.SetSharedCache(cache.get());
  }
  void TearDown() override {
    if (hadCache) setenv("XDG_CACHE_HOME", oldCache.c_str(), 1); else unsetenv("XDG_CACHE_HOME");
  }
  // Builds a freshly listed entry of the file; answers the result and whether it decoded
  // (reading only the header is no decode, unless that is where it failed).
  std::pair<int, bool> List(const fs::path &file, bool rebuild = false) {
    auto e = FileEntry(file);
    e->useCache = true, e->rebuild = rebuild;
    const std::size_t pictures = decoders.pictureCalls.size(), infos = decoders.infoCalls.size();
    const int r = builder.EnsureThumbnail(*e, nullptr, kCell, true);
    last = std::move(e);
    return {r, decoders.pictureCalls.size() > pictures || (r != 0 && decoders.infoCalls.size() > infos)};
  }

  const CellRect kCell = Rect(0, 0, 100, 100);  // as Built made its thumbnails
  bool hadCache = false;
  std::string oldCache;
  std::unique_ptr<FdThumbCache> cache;
  DocSettings settings;
  CThumbBuilder builder{&decoders, &store, &settings};
  std::unique_ptr<CPicEntry> last;
};

TEST_F(SharedCacheTest, ThumbnailsOutsideTheStoreAreKeptInTheSharedCacheUntilTheFileChanges) {
  struct Case {
    const char *what;
    bool readOnly, shared, broken;
  };
  const Case cases[] = {
      {"writable folder", false, true, false},
      {"read-only folder", true, true, false},
      {"shared cache switched off", false, false, false},
      {"undecodable picture", false, true, true},
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string sub = "case" + std::to_string(n++);
    const fs::path dir = box.root() / sub,
                   file = box.write(sub + "/写真 #1.png", c.broken ? "\x89PNG broken" : PlainPicture(400, 300, Qt::green));
    if (c.readOnly) fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    settings.sharedThumbCache = c.shared;
    auto cached = [&] {
      std::error_code ec;
      auto all = fs::recursive_directory_iterator(box.root() / "cache", ec);
      return ec ? 0 : std::distance(all, fs::recursive_directory_iterator());
    };
    const auto before = cached();
    EXPECT_EQ(List(file), std::make_pair(c.broken ? -1 : 0, true));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "nothing in the folder";
    // The cache's file: the MD5 of the picture's file URI, as the desktop names it.
    const QByteArray uri = QUrl::fromLocalFile(QString::fromStdString(file.string())).toEncoded();
    const fs::path entry =
        fs::path(c.broken ? cache->FailFolder() : cache->Root() + "/normal") /
        (QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex().toStdString() + ".png");
    ASSERT_EQ(fs::exists(entry), c.shared);
    if (!c.shared) {
      EXPECT_EQ(cached(), before) << "nothing written with the switch off";
      EXPECT_TRUE(List(file).second);
      continue;
    }
    QImage png(QString::fromStdString(entry.string()));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(png.text("Thumb::URI").toStdString(), uri.toStdString());
    EXPECT_EQ(png.text("Thumb::MTime").toLongLong(), st.st_mtim.tv_sec);
    EXPECT_EQ(fs::status(entry).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(png.size(), c.broken ? QSize(1, 1) : QSize(128, 96)) << "the standard's size, not the cell's";
    // The next listing takes it without decoding, scaled to the cell.
    EXPECT_EQ(List(file), std::make_pair(c.broken ? -1 : 0, false));
    EXPECT_EQ(last->thumbnail ? test::HeightOf(last->thumbnail.get()) : 0, c.broken ? 0 : 75);
    // Its facts come from the file's header, as a decode would have left them.
    EXPECT_EQ(std::tuple(last->facts.decoder, last->facts.width),
              c.broken ? std::tuple(-1, 0) : std::tuple(1001, 400));
    // Asked to make thumbnails again, the picture is read again.
    EXPECT_TRUE(List(file, true).second);
    EXPECT_FALSE(last->rebuild);
    // A new time stamp makes it stale.
    const timespec times[2] = {{st.st_mtim.tv_sec + 10, 0}, {st.st_mtim.tv_sec + 10, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_TRUE(List(file).second);
    fs::permissions(dir, fs::perms::owner_all);
  }
}

TEST_F(SharedCacheTest, AMatchingStoreRecordGoesBeforeTheSharedCache) {
  auto e = Built("s.png", Qt::red);
  Save({e.get()});
  struct stat st {};
  ASSERT_EQ(::stat((folder / "s.png").c_str(), &st), 0);
  QImage blue(128, 96, QImage::Format_RGB888);
  blue.fill(Qt::blue);
  ASSERT_TRUE(cache->Save((folder / "s.png").string(), st.st_mtim.tv_sec, 0, blue, 128, 64, 48));
  EXPECT_EQ(List(folder / "s.png"), std::make_pair(0, false));
  EXPECT_TRUE(last->stored);
  EXPECT_LT(test::PixelAt(last->thumbnail.get(), 10, 10) >> 16, 64u) << "the store's red, not the cache's blue";
}

}  // namespace
}  // namespace tamro
