// Unpacking through the archive plug-in shipped with the program.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "catalogue/spihostaccess.h"
#include "decode/spihost.h"
#include "fileops/unpack.h"
#include "platform/ui.h"
#include "support/sandbox.h"
#include "support/zipwriter.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

using test::WriteZip;

TEST(ShippedArchivePlugin, ZipUnpacksFlatWithMemberTimes) {
  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
  fs::create_directories(box.path("spi"));
  fs::copy_file(fs::path(TAMRO_BIN_DIR) / "axarchive.spi", box.path("spi/axarchive.spi"));
  CSpiHost host;
  host.SetWriteBackOnDestroy(false);
  host.ScanPlugins(
      box.path("spi/*.spi").string(), [](int, std::string_view) {}, "");
  host.LoadPluginSet("");
  ASSERT_GE(host.FindDecoderByName("axarchive", kSpiArchive), 0);
  SpiHostAccess decoders(host);

  const std::string big(100000, 'z');
  std::string zip = WriteZip(box.path("pics/set 1.zip"), {{"one/same.jpg", "first", 1000000000},
                                                          {"two/same.jpg", "second", 1100000000},
                                                          {"deep/er/写真 100%.jpg", big, 1200000000}});
  fs::create_directories(box.path("out"));
  ASSERT_EQ(ExtractArchiveFile(decoders, zip, box.path("out").string()), 0);
  std::vector<std::string> names;
  for (const auto &f : fs::directory_iterator(box.path("out"))) names.push_back(f.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"same.jpg", "写真 100%.jpg"}));
  EXPECT_EQ(test::ReadFile(box.path("out/same.jpg")), "second");
  EXPECT_TRUE(test::ReadFile(box.path("out/写真 100%.jpg")) == big);
  struct stat st;
  ASSERT_EQ(stat(box.path("out/same.jpg").c_str(), &st), 0);
  // Archivers keep local times with two-second steps; the member's stamp is what counts.
  std::vector<ArchiveMember> members;
  ASSERT_EQ(decoders.ListArchive(host.FindDecoderByName("axarchive", kSpiArchive), zip, members), 0);
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(st.st_mtime, members[1].timeStamp);
  EXPECT_TRUE(ui.calls.empty());
  host.FreeDLL();
}

}  // namespace
}  // namespace tamro
