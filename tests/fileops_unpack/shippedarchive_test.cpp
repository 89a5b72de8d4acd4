// Unpacking through the archive plug-in shipped with the program.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "catalogue/hostdecoders.h"
#include "decode/spihost.h"
#include "fileops/samename.h"
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
  host.ScanPlugins(
      box.path("spi/*.spi").string(), [](int, std::string_view) {}, "");
  host.LoadPluginSet("");
  ASSERT_GE(host.FindDecoderByName("axarchive", kSpiArchive), 0);
  HostDecoders decoders(host);

  const std::string big(100000, 'z');
  // Two names that differ only past what a member record holds (199 bytes).
  const std::string longStem(230, 'n');
  std::string zip = WriteZip(box.path("pics/set 1.zip"), {{"one/same.jpg", "first", 1000000000},
                                                          {"two/same.jpg", "second", 1100000000},
                                                          {"deep/er/写真 100%.jpg", big, 1200000000},
                                                          {longStem + "1.jpg", "long 1", 1300000000},
                                                          {longStem + "2.jpg", "long 2", 1300000000}});
  fs::create_directories(box.path("out"));
  ui.sameNameAnswers = {{kSameNumbered, "", true}};
  ASSERT_EQ(ExtractArchiveFile(decoders, zip, box.path("out").string()), 0);
  const std::vector<std::string> names = test::FileNames(box.path("out"));
  // Cut names keep their extension; names met twice in the run were asked about.
  const std::string cut = longStem.substr(0, 195);
  EXPECT_EQ(names, (std::vector<std::string>{cut + "(2).jpg", cut + ".jpg", "same(2).jpg", "same.jpg",
                                             "写真 100%.jpg"}));
  EXPECT_EQ(ui.sameNameQuestions.size(), 1u);
  EXPECT_EQ(test::ReadFile(box.path("out/same.jpg")), "first");
  EXPECT_EQ(test::ReadFile(box.path("out/same(2).jpg")), "second");
  EXPECT_EQ(test::ReadFile(box.path("out/" + cut + "(2).jpg")), "long 2");
  EXPECT_TRUE(test::ReadFile(box.path("out/写真 100%.jpg")) == big);
  struct stat st;
  ASSERT_EQ(stat(box.path("out/same.jpg").c_str(), &st), 0);
  // Archivers keep local times with two-second steps; the member's stamp is what counts.
  std::vector<ArchiveMember> members;
  ASSERT_EQ(decoders.ListArchive(host.FindDecoderByName("axarchive", kSpiArchive), zip, members), 0);
  ASSERT_EQ(members.size(), 5u);
  EXPECT_EQ(st.st_mtime, members[0].timeStamp);
  host.FreeDLL();
}

}  // namespace
}  // namespace tamro
