// The plug-in host: registration, the decoder search and the decoder calls.
#include <fcntl.h>
#include <cstring>
#include <unistd.h>

#include "decode/builtin/builtin.h"
#include "picture/dib.h"
#include "platform/globalhandle.h"
#include "testspi.h"

namespace tamro::test {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::Not;
using ::testing::Pair;
using ::testing::StartsWith;

class SpiHostTest : public HostTest {
 protected:
  // The positions a picture search from `start` tells of, then its result.
  std::vector<int> Asked(const std::string &fileName, const std::string &bytes, int start = 0) {
    std::vector<int> asked;
    const int result = Find(fileName, bytes, kSpiPicture, start, &asked);
    asked.push_back(result);
    return asked;
  }
};
// A host with one picture plug-in, "a".
class TpicHostTest : public HostTest {
 protected:
  void SetUp() override {
    Install("tpic", "a.spi");
    Scan();
  }
};

TEST_F(SpiHostTest, RegistersPictureAndArchivePluginsAndReportsEachModule) {
  Install("tpic", "a_tpic.spi");
  Install("tarc", "b_arc.SPI");  // the extension matches in any case
  Install("tsparse", "c_sparse.Spi");
  Install("tweird", "d_weird.spi");
  box.write("spi/e_junk.spi", "not a shared object");
  box.write("spi/readme.txt", "ignored");
  Scan();

  ASSERT_EQ(host->Count(kSpiPicture), 2);
  ASSERT_EQ(host->Count(kSpiArchive), 1);
  EXPECT_EQ(host->GetDecoderName(0, kSpiPicture), "a_tpic");
  EXPECT_EQ(host->GetDecoderName(1, kSpiPicture), "c_sparse");
  EXPECT_EQ(host->GetDecoderName(0, kSpiArchive), "b_arc");
  EXPECT_EQ(std::tuple(host->GetDecoderFilter(0, kSpiPicture), host->GetInfoString(0, kSpiPicture, 1),
                       host->GetInfoString(0, kSpiPicture, 3), host->GetInfoString(0, kSpiPicture, 0)),
            std::tuple("*.tpc;*.tpx", "TPIC test decoder", "TPIC pictures", "00IN"));
  // Archive plug-ins are given the file name; picture plug-ins start without the bit. A set that
  // does not mention a plug-in leaves it in use.
  EXPECT_EQ(std::tuple(host->GetFileOnly(0, kSpiArchive), host->GetFileOnly(0, kSpiPicture),
                       host->GetUse(0, kSpiPicture), host->GetUse(0, kSpiArchive)),
            std::tuple(true, false, true, true));

  // The undefined kind is named with its extension; the loader's own text follows the name.
  EXPECT_THAT(status, ElementsAre(Pair(0, "[a_tpic]を調査しています"), Pair(0, "[b_arc]を調査しています"),
                                  Pair(0, "[c_sparse]を調査しています"), Pair(0, "[d_weird]を調査しています"),
                                  Pair(-1, "[d_weird.spi]未定義のSPI(00IN,00AM以外のSPI)"),
                                  Pair(-1, AllOf(StartsWith("[e_junk]:"), Not(Eq("[e_junk]:"))))));
}

TEST_F(SpiHostTest, ModulesAreRegisteredInNameOrderIgnoringCase) {
  Install("tpic", "B.spi");
  Install("tmem", "a.spi");
  Install("tsparse", "C.SPI");
  Scan();
  ASSERT_EQ(host->Count(kSpiPicture), 3);
  EXPECT_EQ(host->GetDecoderName(0, kSpiPicture), "a");
  EXPECT_EQ(host->GetDecoderName(1, kSpiPicture), "B");
  EXPECT_EQ(host->GetDecoderName(2, kSpiPicture), "C");
  EXPECT_EQ(host->FindDecoderByName("b", kSpiPicture), 1);
  // Scanning again lists no module twice.
  host->ScanPlugins(Pattern(), nullptr, "");
  EXPECT_EQ(host->Count(kSpiPicture), 3);
}

TEST_F(SpiHostTest, ShiftHeldUnloadsEveryModuleButKeepsItListed) {
  Install("tpic", "a.spi");
  host = std::make_unique<CSpiHost>();
  host->SetShiftQuery([] { return true; });
  host->ScanPlugins(Pattern(), nullptr, "");
  host->LoadPluginSet("");
  ASSERT_EQ(host->Count(kSpiPicture), 1);
  EXPECT_FALSE(host->IsLoaded(0, kSpiPicture));
  EXPECT_EQ(Find("x.tpc", TPic(1, 1, 24, 0, 0, 0)), -1);  // an unloaded plug-in claims nothing
}

TEST_F(SpiHostTest, PluginIsAskedBeforeEveryBuiltinAndMostRecentFirstOnANewSearch) {
  Install("tpic", "a.spi");
  Install("tmem", "b.spi");
  Install("tpic", "c.spi");
  Scan();
  const std::string tpix = TPic(2, 2, 24, 1, 2, 3, "TPIX");  // all three claim it

  EXPECT_THAT(Asked("x.bmp", tpix), ElementsAre(0, 0, 0));  // asked, then the final notice
  EXPECT_EQ(Find("m.tmm", TPic(2, 2, 24, 1, 2, 3, "TMEM")), 1);
  EXPECT_THAT(host->RecentOrder(kSpiPicture), ElementsAre(1, 0, 2));

  EXPECT_THAT(Asked("x.bmp", tpix), ElementsAre(1, 1, 1));
  // Continuing after b walks the registration order: c, not a.
  EXPECT_THAT(Asked("x.bmp", tpix, 2), ElementsAre(2, 2, 2));
  EXPECT_THAT(host->RecentOrder(kSpiPicture), ElementsAre(2, 1, 0));
  EXPECT_THAT(Asked("x.bmp", tpix, 3), ElementsAre(-1, -1));
}

TEST_F(TpicHostTest, UnusedPluginsAndExtensionChecksAreHonoured) {
  const std::string pic = TPic(1, 1, 24, 0, 0, 0);
  host->SetUse(0, kSpiPicture, false);
  EXPECT_EQ(Find("x.tpc", pic), -1);
  host->SetUse(0, kSpiPicture, true);

  const SpiHead head = HeadOf(pic.data(), pic.size());
  SpiQuery q = Query("/some/dir.tpc/picture.dat", head);
  q.extensionCheck = 1;
  EXPECT_EQ(host->FindDecoder(q), -1);
  q.fileName = "/some/dir/PICTURE.TPC";
  EXPECT_EQ(host->FindDecoder(q), 0);
  EXPECT_EQ(q.resultName, "a");

  // The switch does the same for every query.
  SpiSwitches s = host->Switches();
  s.pluginExt = 1;
  host->SetSwitches(s);
  EXPECT_EQ(Find("picture.dat", pic), -1);
  EXPECT_EQ(Find("picture.tpx", pic), 0);
}

TEST_F(TpicHostTest, ZeroLengthAsksNobodyAndShortImagesAreOfferedAsFullHeads) {
  // Ten bytes on the heap: a plug-in reading its 2048 bytes must not run past them.
  std::unique_ptr<char[]> tiny(new char[10]);
  std::memcpy(tiny.get(), "TPIC\1\0\1\0\x18\0", 10);
  int calls = 0;
  SpiQuery q;
  q.fileName = "x";
  q.data = reinterpret_cast<uintptr_t>(tiny.get());
  q.length = 0;
  q.notify = [&](int, std::string_view, uintptr_t) { ++calls; };
  EXPECT_EQ(host->FindDecoder(q), -1);
  EXPECT_EQ(calls, 0);
  q.length = 10;
  EXPECT_EQ(host->FindDecoder(q), 0);
}

TEST_F(TpicHostTest, DescriptorFormSeeksToTheOffsetAndBack) {
  const auto path = box.write("off.bin", std::string(100, 'x') + TPic(1, 1, 24, 0, 0, 0));
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  SpiQuery q;
  q.fileName = path.string();
  q.data = static_cast<uintptr_t>(fd);
  q.length = 116;
  q.offset = 100;
  EXPECT_EQ(host->FindDecoder(q), 0);
  EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 100);
  q.offset = 0;
  EXPECT_EQ(host->FindDecoder(q), -1);
  ::close(fd);
}

TEST_F(SpiHostTest, MacBinaryHeaderIsSkippedOnlyWhenTheSwitchIsOn) {
  Install("tpic", "a.spi");
  const std::string mac = std::string(128, '\0') + TPic(3, 2, 24, 9, 8, 7);
  const auto path = box.write("mac.tpc", mac);

  Scan();
  EXPECT_EQ(Find("mac.tpc", mac), -1);
  EXPECT_NE(DecodeFile(0, path), 0);

  Store("SPI", "#MacbinCheck", 1);
  Scan();
  EXPECT_EQ(Find("mac.tpc", mac), 0);
  // The descriptor form moves the offset instead.
  const int fd = ::open(path.c_str(), O_RDONLY);
  SpiQuery q;
  q.fileName = path.string();
  q.data = static_cast<uintptr_t>(fd);
  q.length = static_cast<long>(mac.size());
  EXPECT_EQ(host->FindDecoder(q), 0);
  ::close(fd);

  GlobalHandle owned;
  ASSERT_EQ(DecodeFile(0, path, 0, &owned), 0);
  EXPECT_EQ(std::tuple(DibWidth(owned.get()), DibHeight(owned.get())), std::tuple(3, 2));
  SpiPictureInfo info{};
  EXPECT_EQ(host->GetPictureInfo(0, mac.data(), SPI_SOURCE_MEMORY, static_cast<long>(mac.size()), &info), 0);
  EXPECT_EQ(+info.width, 3);
}

TEST_F(TpicHostTest, DecodesFromFileAndMemoryWithColoursAndComment) {
  const std::string pic = TPic(5, 3, 24, 0x10, 0x20, 0x30, "TPIC", true);
  const auto path = box.write("p.tpc", std::string(7, 'j') + pic);

  SpiPictureInfo info{};
  uint32_t extra = 77;
  ASSERT_EQ(host->GetPictureInfo(0, path.c_str(), SPI_SOURCE_FILE, 7, &info, &extra), 0);
  EXPECT_EQ(std::tuple(+info.width, +info.height, +info.colorDepth, extra), std::tuple(5, 3, 24, 0u));
  ASSERT_NE(+info.hInfo, 0u);
  GlobalHandle text(reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(info.hInfo)));
  EXPECT_STREQ(GlobalLockGuard(text.get()).as<char>(), "tpic comment");

  for (bool file : {true, false}) {
    GlobalHandle owned;
    ASSERT_EQ(file ? DecodeFile(0, path, 7, &owned) : DecodeImage(0, pic, &owned), 0);
    DibLock lock(owned.get());
    ASSERT_TRUE(lock);
    EXPECT_EQ(DibHeaderSize(lock.header()), 40u);
    EXPECT_EQ(GetDibPixel(lock.header(), 4, 2), 0x00102030u);  // colour reference 0x00BBGGRR
  }
}

TEST_F(TpicHostTest, FailedDecodesLeaveNoBlocksAndNoPicture) {
  // The pixel block is shorter than the picture it claims.
  const std::string lying = TPic(40, 40, 24, 1, 1, 1, "TPIC", false, true);
  HDIB dib = reinterpret_cast<HDIB>(1);
  EXPECT_EQ(host->GetPicture(0, lying.data(), &dib, 0, 1, SPI_SOURCE_MEMORY, static_cast<long>(lying.size())), 1);
  EXPECT_EQ(dib, nullptr);

  // Cancelled through the progress callback.
  const std::string pic = TPic(4, 4, 24, 1, 1, 1);
  GlobalHandle cancelled;
  EXPECT_EQ(DecodeImage(0, pic, &cancelled, [](int done, int, long) { return done >= 2 ? 1 : 0; }), 1);
  EXPECT_FALSE(cancelled);

  // The host's own callback stands in when the caller gives none.
  static int seen = 0;
  seen = 0;
  ProgressProc previous = host->SetProgressCallback([](int, int, long user) {
    seen = static_cast<int>(user);
    return 1;
  });
  EXPECT_EQ(DecodeImage(0, pic, nullptr, nullptr, 42), 1);
  EXPECT_EQ(seen, 42);
  host->SetProgressCallback(previous);

  // No such position, a missing file, an offset past the end.
  EXPECT_EQ(DecodeImage(5, pic), -1);
  EXPECT_EQ(DecodeFile(0, box.path("missing")), -1);
  EXPECT_EQ(DecodeFile(0, box.write("p.tpc", pic), 16), -1);
}

TEST_F(SpiHostTest, PluginThatFailsOnMemoryIsGivenTheFileFromThenOn) {
  Install("tmem", "m.spi");
  Scan();
  const auto path = box.write("m.tmm", TPic(6, 4, 24, 5, 6, 7, "TMEM"));
  ASSERT_FALSE(host->GetFileOnly(0, kSpiPicture));
  GlobalHandle owned;
  ASSERT_EQ(DecodeFile(0, path, 0, &owned), 0);
  EXPECT_EQ(DibWidth(owned.get()), 6);
  EXPECT_TRUE(host->GetFileOnly(0, kSpiPicture));
  SpiPictureInfo info{};
  EXPECT_EQ(host->GetPictureInfo(0, path.c_str(), SPI_SOURCE_FILE, 0, &info), 0);
  EXPECT_EQ(+info.height, 4);
  // A memory image from the caller is still passed as it is (and fails).
  const std::string bytes = TPic(6, 4, 24, 5, 6, 7, "TMEM");
  EXPECT_EQ(host->GetPictureInfo(0, bytes.data(), SPI_SOURCE_MEMORY, 16, &info), 1);
}

TEST_F(SpiHostTest, MissingEntryPointsAnswerAsNotSupported) {
  Install("tsparse", "s.spi");
  Scan();
  const std::string data = "TSPA" + std::string(20, '\0');
  EXPECT_EQ(Find("x.tsp", data), 0);
  SpiPictureInfo info{};
  EXPECT_EQ(host->GetPictureInfo(0, data.data(), SPI_SOURCE_MEMORY, 24, &info), -1);
  EXPECT_EQ(DecodeImage(0, data), -1);
  EXPECT_FALSE(host->HasConfigurationDlg(0, kSpiPicture));
  EXPECT_EQ(host->ConfigurationDlg(0, kSpiPicture, nullptr, 1), -1);
  HLOCAL h = nullptr;
  EXPECT_EQ(host->GetArchiveInfo(0, "x", 0, 0, &h), -1);  // no archive plug-in at all
}

TEST_F(SpiHostTest, BuiltinsFollowTheirSwitchesAndTheStartPosition) {
  Scan();
  EXPECT_EQ(std::tuple(host->GetDecoderName(1001, kSpiPicture), host->GetDecoderFilter(1002, kSpiPicture)),
            std::tuple("--JPG--", "*.GIF"));
  // "#InnerJPEG" defaults to 1, "#InnerGIF" to 0.
  EXPECT_EQ(std::tuple(host->GetUse(1001, kSpiPicture), host->GetUse(1002, kSpiPicture),
                       host->GetFileOnly(1005, kSpiPicture)),
            std::tuple(true, false, true));

  // Which built-ins are asked, seen through a BMP the BMP decoder claims.
  std::string bmp = "BM";
  bmp.resize(14 + 40 + 4, '\0');
  bmp[10] = 54;
  bmp[14] = 40;
  bmp[18] = 1, bmp[22] = 1, bmp[26] = 1, bmp[28] = 24;
  SpiHead head = HeadOf(bmp.data(), bmp.size());
  if (!builtin::IsSupported(builtin::kBmp, "x.bmp", reinterpret_cast<uintptr_t>(head.bytes)))
    GTEST_SKIP() << "built-in BMP decoder not present";
  EXPECT_EQ(Find("x.bmp", bmp), 1000);
  EXPECT_EQ(Find("x.bmp", bmp, kSpiPicture, 1000), 1000);
  // A plug-in is asked first, even about a file a built-in reads.
  Install("tpic", "a.spi");
  Scan();
  EXPECT_THAT(Asked("x.bmp", bmp), ElementsAre(0, -1, 1000, 1000));
  EXPECT_EQ(Find("x.bmp", bmp, kSpiPicture, 1001), -1);
  host->SetUse(1000, kSpiPicture, false);
  EXPECT_EQ(Find("x.bmp", bmp), -1);
}

// Built-in JPEG and GIF reached through the host: decode_builtin/host_test.cpp and the
// conformance test; "#InnerGIF" read from the settings: spiset_test.cpp.
TEST_F(SpiHostTest, FiltersJoinUsedPluginsAndSwitchedOnBuiltins) {
  Install("tpic", "a.spi");
  Install("tsparse", "b.spi");
  Install("tarc", "z.spi");
  Scan();
  host->SetUse(1, kSpiPicture, false);
  EXPECT_EQ(host->BuildPictureFilter(kSpiPicture), "*.tpc;*.tpx;*.BMP;*.RLE;*.JPG;*.JPEG;*.JPE;*.JIFF;*.TIF;*.TIFF");
  host->AddViewSpi(0, 1);
  EXPECT_EQ(host->BuildArchiveMemberFilter(0), "*.tsp;*.BMP;*.RLE;*.JPG;*.JPEG;*.JPE;*.JIFF;*.TIF;*.TIFF");
  EXPECT_TRUE(MatchExtensionList("in/archive/pic.TPX", host->BuildPictureFilter(kSpiPicture)));
}

// Wildcards: "?" takes a whole character. Extension lists: without a dot only an element without
// a dot matches, and the reverse.
TEST(WildcardTest, MatchesNamesAndExtensionsSeparatelyIgnoringCase) {
  using Row = std::tuple<const char *, const char *, bool>;
  const Row wild[] = {{"*.SPI", "abc.spi", true}, {"a*c*e", "abcde", true}, {"a*c*f", "abcde", false},
                      {"?b?", "abc", true},       {"?b?", "abcd", false},   {"?.gif", "é.gif", true},
                      {"**", "", true},           {"x", "", false}};
  for (auto [pattern, name, match] : wild)
    EXPECT_EQ(WildcardMatch(pattern, name), match) << pattern << " " << name;
  const Row lists[] = {{"A.JPG", "*.gif;*.jpg", true},  {"a.b.jpeg", "*.jpe?;*.gif", true},
                       {"a.jpg.txt", "*.jpg", false},   {"jpg", "*.jpg", false},
                       {"README", "*.txt;READ*", true}, {"README", "*.*", false},
                       {"a.txt", "*", false},           {"a.txt", "", false},
                       {"a.txt", ";;", false}};
  for (auto [name, list, match] : lists)
    EXPECT_EQ(MatchExtensionList(name, list), match) << name << " " << list;
}

}  // namespace
}  // namespace tamro::test
