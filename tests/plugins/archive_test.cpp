// The archive plug-in driven through its entry points, as the host calls them.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "plugins/spimodule.h"
#include "plugins/testfiles.h"
#include "support/sandbox.h"

namespace tamro::test {
namespace {

class ArchivePlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(spi.loaded()) << spi.error();
    ASSERT_TRUE(spi.getArchiveInfo && spi.getFile) << "an entry point is missing";
    liveBefore = GlobalLiveBlockCount();
  }
  void TearDown() override { EXPECT_EQ(GlobalLiveBlockCount(), liveBefore) << "global blocks leaked"; }

  std::filesystem::path Write(const std::string &name, const std::string &bytes) {
    EXPECT_FALSE(bytes.empty()) << "test file " << name << " could not be made";
    return box.write(name, bytes);
  }

  // The archive's records; the test fails unless it lists `count` of them.
  std::vector<MemberRecord> List(const std::filesystem::path &file, size_t count) {
    std::vector<MemberRecord> list;
    EXPECT_EQ(ListArchive(spi, file, list), SPI_OK) << file;
    EXPECT_EQ(list.size(), count) << file;
    list.resize(count);
    return list;
  }
  // The member's bytes; the test fails unless it extracts.
  std::string Extract(const std::filesystem::path &file, uint32_t position) {
    std::string bytes;
    EXPECT_EQ(ExtractMember(spi, file, position, bytes), SPI_OK) << file << " at " << position;
    return bytes;
  }
  // The answer of extracting a member, whose bytes are dropped.
  int ExtractRc(const std::filesystem::path &file, uint32_t position) {
    std::string bytes;
    return ExtractMember(spi, file, position, bytes);
  }
  // An archive of one of libarchive's formats written into the sandbox.
  std::filesystem::path Archive(const std::string &name, const char *format,
                                const std::vector<ArchiveItem> &items, const std::string &options = "") {
    return Write(name, WriteArchive(format, "none", items, options));
  }

  Sandbox box;
  SpiModule spi{"axarchive.spi"};
  size_t liveBefore = 0;
};

std::string Pattern(size_t size, int seed) {
  std::mt19937 random(static_cast<unsigned>(seed));
  std::string s(size, '\0');
  for (auto &c : s) c = static_cast<char>(random());
  return s;
}

TEST_F(ArchivePlugin, InformationEntries) {
  spi.ExpectPatterns("00AM", {"*.zip", "*.cbz", "*.7z", "*.rar", "*.lzh", "*.tar.gz", "*.cab", "*.iso"});
  // A short buffer gets a terminated prefix and nothing past it.
  EXPECT_EQ(spi.Info(1, nullptr, 6).size(), 5u);
  EXPECT_EQ(spi.getPluginInfo(0, nullptr, 10), 0);
  EXPECT_EQ(spi.getPluginInfo(-1, nullptr, 0), 0);
}

// Sizes, times and paths of ZIP members are checked through the host (host_test.cpp); here
// what only the records show: the folder left out, methods, positions stable over listings.
TEST_F(ArchivePlugin, ZipMethodsAndStablePositions) {
  auto zip =
      Archive("set.cbz", "zip", {{"pics/", ""}, {"readme.txt", std::string(5000, 'a')}, {"empty.dat", ""}});
  std::vector<MemberRecord> list = List(zip, 2);  // the folder is not a member
  EXPECT_EQ(std::tie(list[0].method, list[1].filesize), std::make_tuple("Deflate", 0u));
  const std::vector<MemberRecord> again = List(zip, 2);
  for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(again[i].position, list[i].position);
  // A stored member tells "Store" and its compressed size.
  list = List(Archive("stored.zip", "zip", {{"a.bin", Pattern(1000, 2)}}, "zip:compression=store"), 1);
  EXPECT_EQ(std::tie(list[0].method, list[0].compsize), std::make_tuple("Store", 1000u));
}

TEST_F(ArchivePlugin, ListAndExtractRoundTripInEachFormat) {
  const std::vector<ArchiveItem> items = {{"d/", "", 1200000000},
                                          {"d/a.png", PngFromRgba(Quadrants(4, 4)), 1200000002},
                                          {"d/画像.bin", Pattern(70000, 3), 1300000000},
                                          {"z.txt", std::string(3000, 'z'), 1400000000}};
  const struct {
    const char *format, *filter, *fileName, *method;
  } kinds[] = {{"7zip", "none", "a.7z", "7z"},           {"pax", "gzip", "a.tar.gz", "Tar.gz"},
               {"pax", "bzip2", "a.tar.bz2", "Tar.bz2"}, {"pax", "xz", "a.tar.xz", "Tar.xz"},
               {"ustar", "none", "a.tar", "Tar"},        {"iso9660", "none", "a.iso", "ISO9660"}};
  for (const auto &k : kinds) {
    SCOPED_TRACE(k.fileName);
    auto file = Write(k.fileName, WriteArchive(k.format, k.filter, items));
    EXPECT_EQ(spi.IsSupportedFd(file), 1);
    for (const MemberRecord &m : List(file, 3)) {
      EXPECT_EQ(m.method, k.method);
      const std::string full = m.path + m.filename;
      const auto item =
          std::find_if(items.begin(), items.end(), [&](const auto &i) { return i.name == full; });
      ASSERT_NE(item, items.end()) << "unexpected member " << full;
      EXPECT_EQ(std::tuple(m.filesize, m.timestamp), std::tuple(item->data.size(), item->mtime)) << full;
      EXPECT_EQ(Extract(file, m.position), item->data) << full;
    }
  }
}

TEST_F(ArchivePlugin, LzhWithCp932NamesListsAndExtracts) {
  std::vector<RawZipItem> items = {{"\x83\x65\x83\x58\x83\x67.bmp", Pattern(3000, 4)},  // テスト.bmp
                                   {"plain.txt", "hello"}};
  items[0].dosTime = (9 << 11) | (30 << 5);
  items[0].dosDate = ((1998 - 1980) << 9) | (7 << 5) | 20;
  auto lzh = Write("old.lzh", RawLzh(items));
  std::vector<MemberRecord> list = List(lzh, 2);
  const MemberRecord &m = list[0];
  EXPECT_EQ(
      std::tie(m.method, m.filename, m.filesize, m.compsize, m.timestamp),
      std::make_tuple("-lh0-", "テスト.bmp", 3000u, 3000u, DosToUnix(items[0].dosDate, items[0].dosTime)));
  EXPECT_EQ(Extract(lzh, list[0].position), items[0].data);
}

TEST_F(ArchivePlugin, RarNamesAndADamagedHeader) {
  std::vector<RawZipItem> items = {{"\x95\x5c.png", Pattern(2000, 5)}, {"dir\\b.txt", "rar text"}};
  const std::string rar = RawRar(items);
  std::vector<MemberRecord> list = List(Write("a.rar", rar), 2);
  EXPECT_EQ(std::tie(list[0].method, list[0].filename, list[1].path),
            std::make_tuple("RAR", "表.png", "dir/"));

  // A damaged second header: the first member stays listed and readable.
  std::string bad = rar;
  bad[bad.find("dir\\b.txt") + 1] ^= 0x55;
  auto damaged = Write("bad.rar", bad);
  list = List(damaged, 1);
  EXPECT_EQ(Extract(damaged, list[0].position), items[0].data);
  EXPECT_EQ(ExtractRc(damaged, list[0].position + 1), SPI_FORMAT_ERROR);
}

TEST_F(ArchivePlugin, DamagedArchivesFailWithoutABlock) {
  const std::string zip =
      WriteArchive("zip", "none", {{"a.bin", Pattern(5000, 6)}, {"b.bin", Pattern(5000, 7)}});
  std::vector<MemberRecord> list;
  // Random bytes behind archive signatures.
  EXPECT_NE(ListArchive(spi, Write("junk.zip", "PK\x03\x04" + Pattern(3000, 8)), list), SPI_OK);
  EXPECT_NE(ListArchive(spi, Write("junk.7z", std::string("7z\xBC\xAF\x27\x1C", 6) + Pattern(300, 9)), list),
            SPI_OK);
  EXPECT_EQ(ListArchive(spi, box.path("missing.zip"), list), SPI_READ_ERROR);
  EXPECT_NE(ExtractRc(box.path("missing.zip"), 0), SPI_OK);

  // A deflated member whose data was changed lists but does not extract.
  std::string bad = zip;
  bad[100] ^= 0xFF;
  bad[200] ^= 0xFF;
  auto damaged = Write("damaged.zip", bad);
  list = List(damaged, 2);
  EXPECT_EQ(ExtractRc(damaged, list[0].position), SPI_FORMAT_ERROR);
  EXPECT_EQ(ExtractRc(damaged, list[1].position), SPI_OK);

  // Cut inside the second member: without its central directory the ZIP is read from the
  // local headers, the first member whole, the second failing.
  auto cut = Write("cut.zip", zip.substr(0, 5100));
  ASSERT_EQ(ListArchive(spi, cut, list), SPI_OK);
  ASSERT_GE(list.size(), 1u);
  EXPECT_EQ(Extract(cut, list[0].position).size(), 5000u);
  if (list.size() > 1) {
    EXPECT_NE(ExtractRc(cut, list[1].position), SPI_OK);
  }

  // A tar cut inside its second member keeps the first.
  std::string tar =
      WriteArchive("ustar", "none", {{"a.bin", Pattern(1000, 10)}, {"b.bin", Pattern(9000, 11)}});
  auto cutTar = Write("cut.tar", tar.substr(0, 512 + 1024 + 512 + 4000));
  ASSERT_EQ(ListArchive(spi, cutTar, list), SPI_OK);
  ASSERT_GE(list.size(), 1u);
  EXPECT_EQ(list[0].filename, "a.bin");
  EXPECT_EQ(ExtractRc(cutTar, list[0].position), SPI_OK);
  if (list.size() > 1) {
    EXPECT_EQ(ExtractRc(cutTar, list[1].position), SPI_FORMAT_ERROR);
  }
}

TEST_F(ArchivePlugin, PasswordProtectedAndEncryptedFlagMembersFailCleanly) {
  for (const char *method : {"zip:encryption=zipcrypt", "zip:encryption=aes256"}) {
    const std::string zip = WriteArchive("zip", "none", {{"secret.png", Pattern(4000, 12)}}, method, "pass");
    if (zip.empty()) continue;  // this libarchive cannot write that encryption
    auto file = Write("locked.zip", zip);
    EXPECT_EQ(ExtractRc(file, List(file, 1)[0].position), SPI_FORMAT_ERROR) << method;
  }
  // An old archiver's encrypted member beside a plain one: only the encrypted one fails.
  std::string zip = RawZip({{"secret.png", Pattern(4000, 12)}, {"open.txt", "visible"}});
  // General-purpose bit 0 (encrypted) in the local and the central header of the first member.
  zip[6] = 1;
  size_t central = zip.find(std::string("PK\x01\x02", 4));
  ASSERT_NE(central, std::string::npos);
  zip[central + 8] = 1;
  auto file = Write("flagged.zip", zip);
  std::vector<MemberRecord> list = List(file, 2);
  EXPECT_EQ(ExtractRc(file, list[0].position), SPI_FORMAT_ERROR);
  EXPECT_EQ(Extract(file, list[1].position), "visible");
}

// A tar header may claim any size (base-256 numbers); here 8 GiB for a few bytes of data.
std::string TarWithHugeDeclaredSize() {
  std::string tar = WriteArchive("ustar", "none", {{"huge.bin", Pattern(600, 13)}});
  std::string header = tar.substr(0, 512);
  header.replace(124, 12, std::string("\x80\0\0\0\0\0\0\x02\0\0\0\0", 12));  // base-256: 2 << 32 bytes
  std::memset(header.data() + 148, ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : header) sum += c;
  std::snprintf(header.data() + 148, 8, "%06o", sum);
  return header + tar.substr(512);
}

TEST_F(ArchivePlugin, HugeDeclaredSizeIsNotAllocatedBlindly) {
  auto file = Write("huge.tar", TarWithHugeDeclaredSize());
  std::vector<MemberRecord> list = List(file, 1);
  EXPECT_EQ(list[0].filesize, 0xFFFFFFFFu);  // more than 32 bits can tell
  // Reserving the declared 8 GiB would answer "out of memory"; the data simply ends.
  EXPECT_EQ(ExtractRc(file, list[0].position), SPI_FORMAT_ERROR);

// The sanitizers reserve address space of their own; a limit on it stops them first.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // Under a 1 GiB address-space limit the call still ends with the damage, not a failed
  // allocation, so nothing near the declared size was asked for.
  pid_t child = fork();
  if (child == 0) {
    struct rlimit limit = {1ul << 30, 1ul << 30};
    setrlimit(RLIMIT_AS, &limit);
    const int rc = ExtractRc(file, list[0].position);
    _exit(rc == SPI_FORMAT_ERROR ? 0 : 10 + rc);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

int CancelAfterFirst(int done, int, long user) {
  ++*reinterpret_cast<int *>(user);
  return done > 0 ? 1 : 0;
}

TEST_F(ArchivePlugin, ProgressIsReportedAndCancelStopsExtraction) {
  const std::string big = Pattern(2000000, 14);
  auto zip = Archive("p.zip", "zip", {{"big.bin", big}});
  const std::vector<MemberRecord> list = List(zip, 1);
  std::vector<std::pair<int, int>> calls;
  std::string bytes;
  ASSERT_EQ(ExtractMember(spi, zip, list[0].position, bytes, &RecordProgress, reinterpret_cast<long>(&calls)),
            SPI_OK);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front().first, 0);
  EXPECT_EQ(calls.back().first, calls.back().second);
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_GE(calls[i].first, calls[i - 1].first);
  int asked = 0;
  EXPECT_EQ(
      ExtractMember(spi, zip, list[0].position, bytes, &CancelAfterFirst, reinterpret_cast<long>(&asked)),
      SPI_FORMAT_ERROR);
  EXPECT_EQ(asked, 2);
}

TEST_F(ArchivePlugin, MembersInAnyOrderAndAfterTheFileChanged) {
  // Forward, backward, repeated and skipping requests on a solid 7z and a ZIP all answer
  // the member asked for, also right after the archive was replaced under the same name.
  for (const char *format : {"7zip", "zip"}) {
    std::vector<ArchiveItem> items;
    for (int i = 0; i < 12; ++i)
      items.push_back({"m" + std::to_string(i) + ".bin", Pattern(3000 + i, 20 + i)});
    auto file = Archive("order.arc", format, items);
    std::vector<MemberRecord> list = List(file, items.size());
    for (size_t i : {0u, 1u, 2u, 2u, 7u, 3u, 11u, 0u, 5u})
      EXPECT_EQ(Extract(file, list[i].position), items[i].data) << format << " member " << i;
    EXPECT_EQ(ExtractRc(file, 99), SPI_FORMAT_ERROR);
    EXPECT_EQ(Extract(file, list[6].position), items[6].data);
    // Same name, new content: the next member must come from the new file.
    for (auto &item : items) item.data = Pattern(500, static_cast<int>(item.data.size()));
    std::filesystem::remove(file);
    file = Archive("order.arc", format, items);
    EXPECT_EQ(Extract(file, list[8].position), items[8].data) << format;
  }
}

TEST_F(ArchivePlugin, BadPositionsAndFormsAreRefused) {
  auto zip = Archive("f.zip", "zip", {{"dir/", ""}, {"dir/a.txt", "a"}});
  std::vector<MemberRecord> list = List(zip, 1);
  EXPECT_EQ(list[0].position, 1u);  // the folder before it holds position 0
  EXPECT_EQ(ExtractRc(zip, 0), SPI_FORMAT_ERROR);  // the folder
  EXPECT_EQ(ExtractRc(zip, 7), SPI_FORMAT_ERROR);  // past the end
  HLOCAL block = nullptr;
  std::string image = ReadFile(zip);
  EXPECT_EQ(spi.getFile(image.data(), static_cast<long>(image.size()), reinterpret_cast<char *>(&block),
                        SPI_SOURCE_MEMORY | SPI_DEST_MEMORY, nullptr, 0),
            SPI_NO_FUNCTION);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(spi.getFile(zip.c_str(), -5, reinterpret_cast<char *>(&block), SPI_DEST_MEMORY, nullptr, 0),
            SPI_FORMAT_ERROR);
  EXPECT_EQ(spi.getArchiveInfo(zip.c_str(), 0, 0, nullptr), SPI_NO_FUNCTION);
}

TEST_F(ArchivePlugin, MemoryImageListsLikeTheFile) {
  const std::string zip = WriteArchive("zip", "none", {{"m/a.txt", "abc"}, {"m/b.txt", "defg"}});
  HLOCAL block = nullptr;
  ASSERT_EQ(spi.getArchiveInfo(zip.data(), static_cast<long>(zip.size()), SPI_SOURCE_MEMORY, &block), SPI_OK);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 3 * sizeof(SpiArchiveInfo));
  const auto *r = static_cast<const SpiArchiveInfo *>(GlobalLock(block));
  EXPECT_STREQ(r[1].filename, "b.txt");
  EXPECT_EQ(uint32_t{r[1].filesize}, 4u);
  EXPECT_EQ(r[2].method[0], 0);
  GlobalUnlock(block);
  GlobalFree(block);
  // The same archive 100 bytes into a file, reached through the offset.
  auto file = Write("offset.bin", std::string(100, 'x') + zip);
  ASSERT_EQ(spi.getArchiveInfo(file.c_str(), 100, SPI_SOURCE_FILE, &block), SPI_OK);
  EXPECT_EQ(GlobalSize(block), 3 * sizeof(SpiArchiveInfo));
  GlobalFree(block);
}

TEST_F(ArchivePlugin, ExtractsIntoAFolderWithTheMemberTimeAndNoClimbing) {
  auto zip =
      Archive("x.zip", "zip", {{"sub/photo.png", "PNGDATA", 1234567890}, {"../../escape.txt", "nope", 1}});
  // GetFile's answer for the member at `position` extracted into `folder`.
  const auto into = [&](uint32_t position, const std::filesystem::path &folder) {
    std::string dest = folder.string();
    return spi.getFile(zip.c_str(), position, dest.data(), SPI_SOURCE_FILE | SPI_DEST_FILE, nullptr, 0);
  };
  std::vector<MemberRecord> list = List(zip, 2);
  std::filesystem::create_directories(box.path("out"));
  for (const auto &m : list) ASSERT_EQ(into(m.position, box.path("out")), SPI_OK);
  EXPECT_EQ(ReadFile(box.path("out/photo.png")), "PNGDATA");
  struct stat st {};
  ASSERT_EQ(stat(box.path("out/photo.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1234567890);
  EXPECT_EQ(ReadFile(box.path("out/escape.txt")), "nope");
  EXPECT_FALSE(std::filesystem::exists(box.root().parent_path() / "escape.txt"));
  EXPECT_EQ(FileNames(box.path("out")), (std::vector<std::string>{"escape.txt", "photo.png"}))
      << "a temporary file was left behind";
  // A folder that does not exist: failure, nothing created.
  EXPECT_NE(into(list[0].position, box.path("nowhere")), SPI_OK);
  EXPECT_FALSE(std::filesystem::exists(box.path("nowhere")));
}

TEST_F(ArchivePlugin, LongNamesAreCutOnCharacterBoundaries) {
  std::string longName;
  for (int i = 0; i < 80; ++i) longName += "画";  // 240 bytes
  auto zip = Archive("long.zip", "zip", {{longName + "/" + longName + ".png", "x"}});
  std::vector<MemberRecord> list = List(zip, 1);
  EXPECT_LE(list[0].path.size(), 199u);
  EXPECT_EQ(list[0].path.size() % 3, 0u);
  // The name loses the end of its stem, never its extension.
  EXPECT_EQ(list[0].filename, longName.substr(0, 65 * 3) + ".png");  // 199 bytes
}

TEST_F(ArchivePlugin, IsSupportedRecognisesSignaturesInBothForms) {
  using namespace std::string_literals;
  for (const std::string &head : {"PK\x03\x04"s, "7z\xBC\xAF\x27\x1C"s, "Rar!\x1A\x07\x00"s,
                                  "Rar!\x1A\x07\x01\x00"s, "\x20\x00-lh5-"s, "MSCF\0\0\0\0"s})
    EXPECT_EQ(spi.IsSupportedHead("a", head), 1) << head;
  EXPECT_EQ(spi.IsSupportedHead("a.png", PngFromRgba(Quadrants(2, 2))), 0);
  EXPECT_EQ(spi.IsSupportedHead("a.txt", "just some text"), 0);
  // A compressed tar is told from any gzip file by what it holds, or by its name.
  const std::string tgz = WriteArchive("ustar", "gzip", {{"a.txt", "a"}});
  EXPECT_EQ(spi.IsSupportedHead("noext", tgz), 1);
  const std::string gz = WriteArchive("raw", "gzip", {{"data", "plain data, not a tar"}});
  if (!gz.empty()) {
    EXPECT_EQ(spi.IsSupportedHead("data.gz", gz), 0);
    EXPECT_EQ(spi.IsSupportedHead("data.tar.gz", gz), 1);
  }
  // ISO 9660 is recognised past the head through the descriptor or the name.
  auto iso = Archive("disc.iso", "iso9660", {{"a.txt", "a"}});
  EXPECT_EQ(spi.IsSupportedFd(iso), 1);
  std::string head = ReadFile(iso).substr(0, SPI_HEAD_BYTES);
  EXPECT_EQ(spi.IsSupportedHead(iso.string(), head), 1);
  // The descriptor form reads at the descriptor's position, not at the file's start.
  auto shifted = Write("shifted.bin", std::string(64, '\0') + WriteArchive("zip", "none", {{"a", "a"}}));
  EXPECT_EQ(spi.IsSupportedFd(shifted, 64), 1);
  EXPECT_EQ(spi.IsSupportedFd(shifted, 0), 0);
}

}  // namespace
}  // namespace tamro::test
