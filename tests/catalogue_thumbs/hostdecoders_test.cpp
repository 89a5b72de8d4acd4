#include "catalogue/hostdecoders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/thumbbuilder.h"
#include "catalogue/thumbstore.h"
#include "catalogue_thumbs/thumbtest.h"
#include "decode/builtin/builtin.h"
#include "decode/spihost.h"
#include "picture/dibjpeg.h"
#include "picture/dibtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureGuiApp();
    host.LoadSwitches();
  }
  // A JPEG file written by Tamro's own writer.
  fs::path Jpeg(const std::string &name, int width, int height) {
    GlobalHandle p = test::Picture24(width, height, [](int x, int) { return x < 8 ? 0x0000FFu : 0x00FF00u; });
    fs::path path = box.path(name);
    EXPECT_EQ(SaveDibAsJpeg(p.get(), path.string(), 1, 90, nullptr, 0), 1);
    return path;
  }

  test::Sandbox box;
  CSpiHost host;
  HostDecoders decoders{host};
};

TEST_F(HostTest, BuildsAThumbnailThroughTheBuiltInJpegDecoderWithAReducedDecode) {
  auto e = test::FileEntry(Jpeg("photo.jpg", 1600, 1200));
  CThumbBuilder builder(&decoders, nullptr, nullptr);
  ASSERT_EQ(builder.EnsureThumbnail(*e, nullptr, test::Rect(0, 0, 100, 100), true), 0);
  EXPECT_EQ(e->decoderIndex, builtin::kJpeg);
  EXPECT_EQ(e->pictureWidth, 1600);
  EXPECT_EQ(e->pictureHeight, 1200);
  EXPECT_EQ(e->bitCount, 24);
  EXPECT_EQ(test::WidthOf(e->thumbnail.get()), 100);
  EXPECT_EQ(test::HeightOf(e->thumbnail.get()), 75);
  // The decoder itself hands back the reduced picture.
  GlobalHandle reduced;
  PictureSource source{e->FilePath(), nullptr, 0};
  ASSERT_EQ(decoders.GetPicture(builtin::kJpeg, source, 16, reduced), 0);
  EXPECT_EQ(test::WidthOf(reduced.get()), 200);
}

TEST_F(HostTest, NamesUseAndTheFactsText) {
  EXPECT_EQ(decoders.DecoderName(builtin::kJpeg, PictureDecoders::kPicture), "--JPG--");
  EXPECT_EQ(decoders.FindDecoderByName("--jpg--", PictureDecoders::kPicture), builtin::kJpeg);
  EXPECT_EQ(decoders.FindDecoderByName("", PictureDecoders::kPicture), -1);
  EXPECT_EQ(decoders.FindDecoderByName("no-such-plugin1", PictureDecoders::kPicture), -1);
  EXPECT_TRUE(decoders.IsInUse(builtin::kJpeg, PictureDecoders::kPicture));
  EXPECT_FALSE(decoders.IsInUse(7, PictureDecoders::kPicture));
  host.SetUse(builtin::kJpeg, kSpiPicture, false);
  EXPECT_FALSE(decoders.IsInUse(builtin::kJpeg, PictureDecoders::kPicture));

  fs::path path = Jpeg("f.jpg", 40, 30);
  SpiPictureInfo info{};
  std::string text = "stale";
  const std::size_t blocks = GlobalLiveBlockCount();
  ASSERT_EQ(decoders.GetPictureInfo(builtin::kJpeg, PictureSource{path.string(), nullptr, 0}, info, text), 0);
  // Copies: the record is packed, and the assertions take references.
  const long width = info.width;
  const auto hInfo = info.hInfo;
  EXPECT_EQ(width, 40);
  EXPECT_EQ(hInfo, 0u);
  EXPECT_EQ(text, kJpegMakersMark) << "the comment marker Tamro writes";
  EXPECT_EQ(GlobalLiveBlockCount(), blocks) << "the text block was freed";
}

TEST_F(HostTest, StoreRecordsNameTheDecoderTheHostKnowsAgain) {
  auto e = test::FileEntry(Jpeg("s.jpg", 64, 64));
  CThumbStore store(&decoders);
  CThumbBuilder builder(&decoders, &store, nullptr);
  ASSERT_EQ(builder.EnsureThumbnail(*e, nullptr, test::Rect(0, 0, 100, 100), true), 0);
  ASSERT_EQ(store.Add(*e, 95), 1);
  store.Flush();
  CThumbStore again(&decoders);
  auto fresh = test::FileEntry(box.path("s.jpg"));
  ASSERT_EQ(again.Load(*fresh), 1);
  EXPECT_EQ(fresh->decoderIndex, builtin::kJpeg);
  host.SetUse(builtin::kJpeg, kSpiPicture, false);
  auto off = test::FileEntry(box.path("s.jpg"));
  EXPECT_EQ(again.Load(*off), 0);
}

}  // namespace
}  // namespace tamro
