// The shipped plug-ins loaded by the decoder host from a plug-in folder. The command-line
// decoder goes through the same host calls: decode/tool_test.cpp with the test plug-ins.

#include <gtest/gtest.h>
#include <png.h>

#include <map>

#include "catalogue/hostdecoders.h"
#include "catalogue/thumbbuilder.h"
#include "decode/spihost.h"
#include "picture/dib.h"
#include "picture/dibtest.h"
#include "platform/globalhandle.h"
#include "platform/ui.h"
#include "plugins/testfiles.h"
#include "support/sandbox.h"

namespace tamro::test {
namespace {

// 0x00BBGGRR of GetDibPixel as 0xRRGGBB.
uint32_t Rgb(uint32_t colorRef) {
  return ((colorRef & 0xFF) << 16) | (colorRef & 0xFF00) | ((colorRef >> 16) & 0xFF);
}

class ShippedPlugins : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path spiDir = box.path("spi");
    std::filesystem::create_directories(spiDir);
    std::error_code missing;  // ifjxl.spi is built only where libjxl is
    for (const char *name :
         {"axarchive.spi", "ifpng.spi", "ifwebp.spi", "ifheif.spi", "ifjxl.spi", "ifraw.spi"})
      std::filesystem::copy_file(std::filesystem::path(TAMRO_BIN_DIR) / name, spiDir / name, missing);
    blocksAtStart = GlobalLiveBlockCount();
    host.ScanPlugins((spiDir / "*.spi").string(), nullptr, "");
    host.LoadPluginSet("");
    archive = host.FindDecoderByName("axarchive", kSpiArchive);
    png = host.FindDecoderByName("ifpng", kSpiPicture);
    webp = host.FindDecoderByName("ifwebp", kSpiPicture);
  }
  void TearDown() override {
    host.FreeDLL();
    EXPECT_EQ(GlobalLiveBlockCount(), blocksAtStart) << "global blocks leaked";
    EXPECT_TRUE(ui.calls.empty()) << "a plug-in faulted";
  }

  // The archive's members; the test fails unless it lists `count` of them.
  std::vector<ArchiveMember> List(const std::string &path, size_t count) {
    std::vector<ArchiveMember> members;
    const auto add = [&](const ArchiveMember &m) { return members.push_back(m), true; };
    EXPECT_EQ(ListArchiveMembers(host, archive, path, add), 0) << path;
    EXPECT_EQ(members.size(), count) << path;
    members.resize(count);
    return members;
  }

  // The decoder the search picks for a file, as the browser asks; -100 when it cannot be read.
  int Find(const std::string &path, int kind) {
    SpiHead head;
    if (ReadHead(path, 0, &head) != 0) return -100;
    SpiQuery q;
    q.fileName = path, q.kind = kind, q.data = reinterpret_cast<uintptr_t>(head.bytes), q.length = head.length;
    return host.FindDecoder(q);
  }

  Sandbox box;
  ScriptedUi ui;
  ScopedUi scopedUi{ui};
  CSpiHost host;
  int archive = -1, png = -1, webp = -1;
  size_t blocksAtStart = 0;
};

TEST_F(ShippedPlugins, PicturesDecodeToTheirSizeAndColours) {
  PngDesc palette{.width = 3, .height = 2, .colorType = PNG_COLOR_TYPE_PALETTE};
  palette.palette = {255, 0, 0, 0, 0, 255, 0, 0, 0};
  palette.trns = {255, 255, 128};
  palette.rows = {{0, 1, 0}, {1, 1, 2}};  // odd width: rows need padding
  PngDesc deep{.width = 2, .height = 2, .colorType = PNG_COLOR_TYPE_RGB, .bitDepth = 16};
  deep.rows = {{0x12, 0x12, 0x34, 0x34, 0x56, 0x56, 0, 0, 0, 0, 0, 0}, std::vector<uint8_t>(12, 0xFF)};
  struct Case {
    std::string name, bytes;
    int width, height;
    std::map<std::pair<int, int>, uint32_t> pixels;
  };
  const uint32_t dim = OnWhite({0, 0, 0, 128});
  // Other formats reach the host the same way: the round trips of picture_test.cpp, and the
  // archive member decoded below.
  const Case cases[] = {
      {"palette.png", WritePng(palette), 3, 2, {{{0, 0}, 0xFF0000}, {{1, 0}, 0x0000FF}, {{2, 1}, dim}}},
      {"deep.png", WritePng(deep), 2, 2, {{{0, 0}, 0x123456}, {{1, 1}, 0xFFFFFF}}},
      {"alpha.png", PngFromRgba(Quadrants(8, 8, 128)), 8, 8, {{{0, 0}, OnWhite({255, 0, 0, 128})}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    // Decoded through the search, as the browser does.
    const std::string path = box.write(c.name, c.bytes).string();
    const int decoder = Find(path, kSpiPicture);
    ASSERT_GE(decoder, 0);
    EXPECT_LT(decoder, 1000) << "a built-in decoder took it";
    HDIB dib = nullptr;
    ASSERT_EQ(host.GetPicture(decoder, path.c_str(), &dib, 0, 1, SPI_SOURCE_FILE, 0), 0);
    GlobalHandle picture(dib);
    DibLock lock(picture.get());
    ASSERT_TRUE(lock);
    EXPECT_EQ(std::pair(DibWidth(lock.header()), DibHeight(lock.header())), std::pair(c.width, c.height));
    for (const auto &[at, want] : c.pixels)
      EXPECT_EQ(Rgb(GetDibPixel(lock.header(), at.first, at.second)), want)
          << "pixel " << at.first << "," << at.second;
  }
}

// A RAW file's thumbnail is the camera's preview (the plug-in told the cell's size), turned
// upright by the plug-in and not a second time by the builder.
TEST_F(ShippedPlugins, RawThumbnailsComeFromThePreviewTurnedOnce) {
  const std::filesystem::path path =
      box.write("camera.dng", WriteDng({.width = 320, .height = 240, .orientation = 6}));
  HostDecoders decoders(host);
  CThumbBuilder builder(&decoders, nullptr, nullptr);
  CPicEntry entry;
  entry.SetFolder(path.parent_path().string());
  entry.name = path.filename().string();
  ASSERT_EQ(builder.EnsureThumbnail(entry, nullptr, CellRect{0, 0, 100, 100}, true), 0);
  EXPECT_EQ(entry.facts.decoder, host.FindDecoderByName("ifraw", kSpiPicture));
  EXPECT_NE(entry.thumbTreatment & kTreatPreview, 0);
  DibLock t(entry.thumbnail.get());
  ASSERT_EQ(std::pair(t.header()->width, std::abs(t.header()->height)), std::pair(75, 100));
  // The sensor's bright top left quarter is the top right one once turned.
  EXPECT_GT(GetDibPixel(t.header(), 56, 25) & 0xFF, 200u);
  EXPECT_LT(GetDibPixel(t.header(), 18, 25) & 0xFF, 100u);
}

TEST_F(ShippedPlugins, ZipOfPicturesListsAndDecodesThroughItsViewList) {
  const std::string pngBytes = PngFromRgba(Quadrants(6, 4));
  const std::string webpBytes = Webp(Quadrants(12, 2));
  const std::string path = box.write("album.cbz", WriteArchive("zip", "none",
                                                               {{"vol1/", ""},
                                                                {"vol1/p01.png", pngBytes, 1500000000},
                                                                {"vol1/p02.webp", webpBytes, 1500000100},
                                                                {"notes.txt", "no picture", 1400000000}}))
                               .string();
  const auto members = List(path, 3);
  EXPECT_EQ(std::tie(members[0].path, members[0].name, members[0].fileSize, members[0].timeStamp),
            std::make_tuple("vol1/", "p01.png", pngBytes.size(), 1500000000));
  EXPECT_EQ(members[1].fileSize, webpBytes.size());
  EXPECT_EQ(members[1].timeStamp, 1500000100);
  EXPECT_EQ(members[2].name, "notes.txt");

  // The archive's list holds the picture plug-ins: each member goes to its own, the text to none.
  host.AddViewSpi(archive, webp);
  host.AddViewSpi(archive, png);
  ASSERT_EQ(host.GetAllUse(archive), 1);
  int used = -5;
  GlobalHandle picture;
  const auto decode = [&](const ArchiveMember &m) {
    HDIB dib = nullptr;
    const int rc = GetMemberPicture(host, archive, path, m.position, m.name, -1, &dib, 1, nullptr, 0, &used);
    picture.reset(dib);
    return rc;
  };
  ASSERT_EQ(decode(members[1]), 0);
  EXPECT_EQ(std::pair(used, DibWidth(picture.get())), std::pair(webp, 12));
  ASSERT_EQ(decode(members[0]), 0);
  EXPECT_EQ(std::pair(used, DibWidth(picture.get())), std::pair(png, 6));
  EXPECT_EQ(Rgb(test::PixelAt(picture.get(), 5, 0)), 0x00FF00u);
  EXPECT_NE(decode(members[2]), 0) << "decoded by " << used;
  EXPECT_FALSE(picture);
}

// Damaged archives and failing members through the host: decode/archive_test.cpp with a test
// plug-in; damaged bytes in the real formats: archive_test.cpp at the plug-in level.
TEST_F(ShippedPlugins, Cp932NamesAndEmptyArchives) {
  // Names written by an old Japanese archiver: CP932, no UTF-8 flag, DOS time. Beside them a
  // name that says it is UTF-8 and one that is UTF-8 without saying so.
  std::vector<RawZipItem> items = {{"\x89\xe6\x91\x9c/\x95\x5c\x8e\x86.png", "x"},  // 画像/表紙.png
                                   {"フラグ付き.png", "y", true},
                                   {"無印.png", "z"}};
  items[0].dosTime = (13 << 11) | (45 << 5) | 10;
  items[0].dosDate = ((2001 - 1980) << 9) | (2 << 5) | 3;
  const auto members = List(box.write("old.zip", RawZip(items)).string(), 3);
  EXPECT_EQ(std::tie(members[0].path, members[0].name, members[0].timeStamp),
            std::make_tuple("画像/", "表紙.png", DosToUnix(items[0].dosDate, items[0].dosTime)));
  EXPECT_EQ(std::tie(members[1].name, members[2].name), std::make_tuple("フラグ付き.png", "無印.png"));

  // Empty archives, and one of folders only, are still taken by the archive plug-in.
  for (const auto &[name, bytes] :
       {std::pair{"empty.zip", RawZip({})},
        std::pair{"folders.tar", WriteArchive("ustar", "none", {{"only/", ""}, {"only/folders/", ""}})}}) {
    const std::string path = box.write(name, bytes).string();
    EXPECT_EQ(Find(path, kSpiArchive), archive) << name;
    List(path, 0);
  }
}

}  // namespace
}  // namespace tamro::test
