// tamro-decode on the test plug-ins.
#include <sys/stat.h>

#include <cstdio>

#include "picture/dib.h"
#include "testspi.h"

namespace tamro::test {
namespace {

using ::testing::HasSubstr;

class ToolTest : public HostTest {
 protected:
  // Runs the tool with `args`; answers the exit status, standard output in `out`. (The time
  // limit only keeps a hang from stopping the test run.)
  int Run(const std::string &args) {
    return RunCommand("timeout 20 " + std::string(TAMRO_BIN_DIR) + "/tamro-decode --plugin-dir " +
                          spiDir.string() + " " + args + " 2>/dev/null",
                      out);
  }
  std::string out;
};

TEST_F(ToolTest, DecodesThroughThePluginsAndWritesTheBitmap) {
  Install("tpic", "tpic.spi");
  const auto pic = box.write("p.tpc", TPic(7, 5, 24, 1, 2, 3));
  ASSERT_EQ(Run(pic.string() + " --out " + box.path("p.bmp").string()), 0);
  EXPECT_EQ(out, "{\"result\":0,\"decoder\":0,\"name\":\"tpic\",\"width\":7,\"height\":5,\"bits\":24}\n");
  std::FILE *f = std::fopen(box.path("p.bmp").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  HDIB dib = ReadDibFromStream(f);
  std::fclose(f);
  EXPECT_EQ(DibWidth(dib), 7);
  GlobalFree(dib);

  // Nothing takes it, or nothing is there.
  const auto junk = box.write("j.bin", "nothing known");
  EXPECT_EQ(Run(junk.string()), 1);
  EXPECT_THAT(out, HasSubstr("\"decoder\":-1"));
  EXPECT_EQ(Run(box.path("none").string()), 1);
  EXPECT_EQ(Run(box.write("empty", "").string()), 1);
  // A FIFO nobody writes to is refused at once instead of waited on.
  const auto fifo = box.path("pipe.tpc");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Run(fifo.string()), 1);
}

TEST_F(ToolTest, BuiltinDecodersNeedNoPlugins) {
  const auto jpeg = CorpusDir() / "jpeg-jpeg-decoder/reftest/grayscale_square.jpg";
  if (!std::filesystem::exists(jpeg)) GTEST_SKIP() << "corpus missing";
  const int status = Run(jpeg.string());
  if (status == 1 && out.find("\"decoder\":-1") != std::string::npos)
    GTEST_SKIP() << "built-in JPEG not present";
  EXPECT_EQ(status, 0);
  EXPECT_THAT(out, ::testing::StartsWith("{\"result\":0,\"decoder\":1001,\"name\":\"--JPG--\",\"width\":"));
}

TEST_F(ToolTest, ListsAndDecodesArchiveMembers) {
  Install("tpic", "tpic.spi");
  Install("tarc", "tarc.spi");
  const auto arc =
      box.write("a.tac", Tarc({{"dir/x \"q\".tpc", TPic(3, 4, 8, 9, 0, 0), 86400}, {"y.txt", "hello"}}));
  ASSERT_EQ(Run("--list " + arc.string()), 0);
  EXPECT_EQ(out,
            "{\"position\":12,\"name\":\"x \\\"q\\\".tpc\",\"path\":\"dir/\",\"size\":16,\"compressed\":8,"
            "\"time\":86400,\"method\":\"Store\"}\n"
            "{\"position\":59,\"name\":\"y.txt\",\"path\":\"\",\"size\":5,\"compressed\":2,\"time\":0,"
            "\"method\":\"Store\"}\n");
  ASSERT_EQ(Run("--member 12 " + arc.string() + " --out " + box.path("m.bmp").string()), 0);
  EXPECT_EQ(out, "{\"result\":0,\"decoder\":0,\"name\":\"tpic\",\"width\":3,\"height\":4,\"bits\":8}\n");
  EXPECT_TRUE(std::filesystem::exists(box.path("m.bmp")));
  EXPECT_EQ(Run("--member 59 " + arc.string()), 1);
  EXPECT_EQ(Run("--list " + box.write("n.tac", "TARX").string()), 1);
}

TEST_F(ToolTest, HonoursTheSettingsAndRefusesBadUsage) {
  Install("tpic", "tpic.spi");
  const auto pic = box.write("p.tpc", TPic(1, 1, 24, 0, 0, 0));
  Profile::App().WriteInt("SPISET\\_Default", "tpic", 0);
  EXPECT_EQ(Run(pic.string()), 1);
  Profile::App().WriteInt("SPISET\\_Default", "tpic", 1);
  EXPECT_EQ(Run(pic.string()), 0);
  const std::string settings = test::ReadFile(box.configFile());

  const std::string p = pic.string();
  for (const std::string &args : {std::string(), "--bogus " + p, "--reduce 0 " + p, "--member x " + p,
                                  p + " " + p, "--list " + p + " --out x.bmp"})
    EXPECT_EQ(Run(args), 2) << args;
  // A run leaves the settings as they were.
  EXPECT_EQ(test::ReadFile(box.configFile()), settings);
}

}  // namespace
}  // namespace tamro::test
