// Archive members through the host: listing, decoding through the ViewSPI list, writing out.
#include <sys/stat.h>

#include "picture/dib.h"
#include "platform/globalhandle.h"
#include "testspi.h"

namespace tamro::test {
namespace {

using ::testing::ElementsAre;

class ArchiveTest : public HostTest {
 protected:
  void SetUp() override {
    Install("tarc", "arc.spi");
    Install("tmem", "a_mem.spi");
    Install("tpic", "b_pic.spi");
    Scan();
    ASSERT_EQ(host->Count(kSpiArchive), 1);
  }
  std::string WriteArchive(const std::vector<TarcMember> &members, uint32_t flags = 0) {
    return box.write("a" + std::to_string(++archives_) + ".tac", Tarc(members, flags)).string();
  }
  std::vector<ArchiveMember> List(const std::string &path, int *result = nullptr) {
    std::vector<ArchiveMember> members;
    const int r = ListArchiveMembers(*host, 0, path, [&](const ArchiveMember &m) {
      members.push_back(m);
      return true;
    });
    if (result) *result = r;
    return members;
  }
  int archives_ = 0;
};

TEST_F(ArchiveTest, ListsEveryMemberWithSizesTimesAndNames) {
  const std::string cp932Name = "\x93\xfa\x96\x7b.tpc";  // 日本 in code page 932
  const std::string path = WriteArchive({{"pics/one.tpc", TPic(3, 2, 24, 0, 0, 255), 1000000000, "Deflate"},
                                         {"two.tpc", std::string(100, 'z'), 1700000000},
                                         {"old/" + cp932Name, "x", 5, "-lh5-"},
                                         {"eightchr.bin", "", 7, "12345678"}});
  int r = 99;
  auto members = List(path, &r);
  ASSERT_EQ(r, 0);
  ASSERT_EQ(members.size(), 4u);
  const ArchiveMember &m = members[0];
  EXPECT_EQ(std::tie(m.path, m.name, m.fileSize, m.timeStamp, m.method, m.crc),
            std::make_tuple("pics/", "one.tpc", 16u, 1000000000, "Deflate", 0x1234u));
  // Names from older archivers arrive as UTF-8; a method of eight characters has no terminator.
  EXPECT_EQ(std::tuple(members[1].fileSize, members[1].timeStamp, members[2].name, members[2].method,
                       members[3].method),
            std::tuple(100u, 1700000000, "日本.tpc", "-lh5-", "12345678"));
  EXPECT_LT(members[0].position, members[1].position);

  // The archive plug-in is found by the search of the archive kind.
  const std::string head = test::ReadFile(path);
  EXPECT_EQ(Find(path, head, kSpiArchive), 0);
  EXPECT_EQ(Find(path, "PK\3\4", kSpiArchive), -1);

  // A stop request ends the walk with 2.
  int seen = 0;
  EXPECT_EQ(ListArchiveMembers(*host, 0, path, [&](const ArchiveMember &) { return ++seen < 2; }), 2);
  EXPECT_EQ(seen, 2);
}

TEST_F(ArchiveTest, EmptyDamagedAndLyingArchives) {
  int r = 99;
  EXPECT_TRUE(List(WriteArchive({}), &r).empty());
  EXPECT_EQ(r, 0);  // still accepted

  // Cut short: the plug-in fails and frees its block.
  std::string damaged = Tarc({{"a.tpc", std::string(50, 'a')}, {"b.tpc", std::string(50, 'b')}});
  damaged.resize(damaged.size() - 10);
  EXPECT_TRUE(List(box.write("damaged.tac", damaged).string(), &r).empty());
  EXPECT_EQ(r, 2);

  // No closing record: the walk stops at the block's end.
  auto members = List(WriteArchive({{"a", "1"}, {"b", "2"}}, 1), &r);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(members.size(), 2u);

  // Success without a block is not a listing.
  EXPECT_TRUE(List(WriteArchive({{"a", "1"}}, 2), &r).empty());
  EXPECT_EQ(r, -1);
  EXPECT_TRUE(List(box.path("missing.tac").string(), &r).empty());
  EXPECT_NE(r, 0);
}

TEST_F(ArchiveTest, RecordsAreReadWithinTheBlock) {
  std::vector<char> block(sizeof(SpiArchiveInfo) * 2 + 100, 'A');  // nothing terminated
  auto members = ParseArchiveRecords(block.data(), block.size());
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(std::tuple(members[0].method, members[0].path.size(), members[0].name.size()),
            std::tuple("AAAAAAAA", 200u, 200u));
  EXPECT_TRUE(ParseArchiveRecords(block.data(), sizeof(SpiArchiveInfo) - 1).empty());
  EXPECT_TRUE(ParseArchiveRecords(nullptr, 1000).empty());
}

TEST_F(ArchiveTest, MembersDecodeThroughTheArchivesViewList) {
  const std::string path = WriteArchive({{"x.tpx", TPic(4, 3, 24, 10, 20, 30, "TPIX")}, {"y.tmm", "TMEM"}});
  auto members = List(path);
  ASSERT_EQ(members.size(), 2u);

  // Without a list: the most recent decoder first (a_mem fails on memory), then the next.
  HDIB dib = nullptr;
  int used = -2;
  ASSERT_EQ(GetMemberPicture(*host, 0, path, members[0].position, members[0].name, -1, &dib, 1, nullptr, 0, &used), 0);
  EXPECT_EQ(used, 1);
  GlobalHandle owned(dib);
  DibLock pixels(dib);
  ASSERT_TRUE(pixels);
  EXPECT_EQ(GetDibPixel(pixels.header(), 0, 0), 0x000A141Eu);

  // Restricted to the list, even to a plug-in switched off.
  host->AddViewSpi(0, 0);
  host->SetUse(0, kSpiPicture, false);
  ASSERT_EQ(host->GetAllUse(0), 1);
  GlobalHandle bytes;
  ASSERT_EQ(ExtractMemberToMemory(*host, 0, path, members[0].position, &bytes), 0);
  ASSERT_EQ(bytes.size(), 16u);
  {
    GlobalLockGuard lock(bytes.get());
    EXPECT_EQ(FindMemberDecoder(*host, 0, "x.tpx", lock.get(), bytes.size()), 0);
    EXPECT_EQ(FindMemberDecoder(*host, -1, "x.tpx", lock.get(), bytes.size()), 1);
  }
  bytes.reset();
  EXPECT_EQ(GetMemberPicture(*host, 0, path, members[0].position, members[0].name, -1, &dib), 1);
  EXPECT_EQ(dib, nullptr);

  SpiPictureInfo info{};
  EXPECT_EQ(GetMemberPictureInfo(*host, 0, path, members[0].position, members[0].name, 1, &info), 0);
  EXPECT_EQ(+info.width, 4);
}

TEST_F(ArchiveTest, FailingMemberLeavesNoBlock) {
  const std::string path = WriteArchive({{"fail.tpc", TPic(2, 2, 24, 0, 0, 0)}, {"ok.tpc", "x"}});
  auto members = List(path);
  ASSERT_EQ(members.size(), 2u);
  HDIB dib = nullptr;
  EXPECT_EQ(GetMemberPicture(*host, 0, path, members[0].position, members[0].name, 1, &dib), 1);
  EXPECT_EQ(dib, nullptr);
  GlobalHandle bytes;
  EXPECT_EQ(ExtractMemberToMemory(*host, 0, path, members[0].position, &bytes), 1);
  EXPECT_FALSE(bytes);
  // A position that names no member.
  EXPECT_NE(ExtractMemberToMemory(*host, 0, path, 1000000, &bytes), 0);
  EXPECT_NE(ExtractMemberToMemory(*host, 5, path, members[1].position, &bytes), 0);
}

TEST_F(ArchiveTest, MembersAreWrittenToFilesWithTheirTimeStamp) {
  const std::string data(3000, 'q');
  const std::string path = WriteArchive({{"deep/in/m.bin", data, 1234567890}, {"fail.bin", "zz", 1}});
  auto members = List(path);
  ASSERT_EQ(members.size(), 2u);

  box.write("out/m.bin", "old contents that are longer than nothing");
  const std::string dest = box.path("out/m.bin").string();
  MemberWriteResult w = WriteMemberToFile(*host, 0, path, members[0].position, dest, members[0].timeStamp);
  EXPECT_TRUE(w.ok());
  struct stat st {};
  ASSERT_EQ(::stat(dest.c_str(), &st), 0);
  EXPECT_EQ(std::tuple(st.st_mtime, st.st_atime), std::tuple(1234567890, 1234567890));
  EXPECT_EQ(test::ReadFile(dest), data);

  w = WriteMemberToFile(*host, 0, path, members[0].position, box.path("no/such/dir/m.bin").string(), 1);
  EXPECT_EQ(std::tuple(w.created, w.extract), std::tuple(false, 0));
  w = WriteMemberToFile(*host, 0, path, members[1].position, box.path("out/f.bin").string(), 1);
  EXPECT_EQ(w.extract, 1);
  EXPECT_FALSE(std::filesystem::exists(box.path("out/f.bin")));

  // The plug-in's own extraction into a folder goes through the host as well.
  std::filesystem::create_directories(box.path("folder"));
  const std::string folder = box.path("folder").string();
  EXPECT_EQ(host->GetFile(0, path.c_str(), const_cast<char *>(folder.c_str()), SPI_SOURCE_FILE | SPI_DEST_FILE,
                          static_cast<long>(members[0].position)),
            0);
  EXPECT_EQ(test::ReadFile(box.path("folder/m.bin")), data);
}

}  // namespace
}  // namespace tamro::test
