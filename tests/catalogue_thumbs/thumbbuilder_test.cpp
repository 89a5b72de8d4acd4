#include "catalogue/thumbbuilder.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "catalogue_thumbs/thumbtest.h"
#include "picture/dibtest.h"

namespace tamro {
namespace {

using test::FakeDecoders;
using test::FileEntry;
using test::HeightOf;
using test::PlainPicture;
using test::Rect;
using test::WidthOf;

TEST(FitThumbnailRect, ShrinksEnlargesOnlyWithoutLimitCheckAndCentres) {
  const struct {
    const char *what;
    int width, height;
    CellRect area;
    bool limitCheck;
    CellRect fitted;
  } rows[] = {
      {"a quarter, centred vertically", 400, 100, Rect(0, 0, 100, 80), true, Rect(0, 28, 100, 53)},
      {"the height decides", 100, 400, Rect(10, 10, 110, 90), true, Rect(50, 10, 70, 90)},
      {"small keeps its size with LimitCheck", 40, 20, Rect(0, 0, 100, 80), true, Rect(30, 30, 70, 50)},
      {"small touches the sides without it", 40, 20, Rect(0, 0, 100, 80), false, Rect(0, 15, 100, 65)},
      {"at least one pixel", 1000, 1, Rect(0, 0, 110, 90), true, Rect(0, 45, 110, 46)},
      {"a zero dimension is never divided by", 0, 0, Rect(0, 0, 10, 10), false, Rect(5, 5, 6, 6)},
      {"halves truncate toward zero", 5, 5, Rect(-11, -11, 0, 0), true, Rect(-7, -7, -2, -2)},
  };
  for (const auto &r : rows) {
    const CellRect f = FitThumbnailRect(r.width, r.height, r.area, r.limitCheck);
    EXPECT_EQ(std::vector<int>({f.left, f.top, f.right, f.bottom}),
              std::vector<int>({r.fitted.left, r.fitted.top, r.fitted.right, r.fitted.bottom}))
        << r.what;
  }
}

// A stored thumbnail stands for the cell only when it was made for the same box, switches and
// decoding, at this scale mode or a higher one, and from a preview only while previews are allowed.
TEST(ThumbnailFits, EachConditionAloneRefuses) {
  CPicEntry e;
  e.switches.scaleMode = 2;
  const int t = TreatmentOf(e.switches);
  const struct {
    const char *what;
    int width, height, mode;
    bool unsharp;
    int treatment;
    bool fits;
  } rows[] = {{"the same", 100, 80, 2, true, t, true},
              {"a higher scale mode, from a preview", 100, 80, 3, true, t | kTreatPreview, true},
              {"another width", 99, 80, 2, true, t, false},
              {"another height", 100, 79, 2, true, t, false},
              {"a lower scale mode", 100, 80, 1, true, t, false},
              {"without unsharp", 100, 80, 2, false, t, false},
              {"other decoding", 100, 80, 2, true, t ^ kTreatColour, false}};
  for (const auto &r : rows)
    EXPECT_EQ(ThumbnailFits(r.width, r.height, r.mode, r.unsharp, r.treatment, e, Rect(0, 0, 100, 80)), r.fits)
        << r.what;
  e.switches.embeddedPreview = 0;
  EXPECT_FALSE(ThumbnailFits(100, 80, 2, true, t | kTreatPreview, e, Rect(0, 0, 100, 80)));
}

class BuilderTest : public ::testing::Test {
 protected:
  void SetUp() override { test::EnsureGuiApp(); }

  // An entry of a new picture file of one colour.
  std::unique_ptr<CPicEntry> Plain(const std::string &name, int width, int height, QColor colour) {
    return FileEntry(box.write(name, PlainPicture(width, height, colour)));
  }
  int Build(CPicEntry &e, const CellRect &cell = Rect(0, 0, 100, 100), bool build = true) {
    return builder.EnsureThumbnail(e, nullptr, cell, build);
  }

  test::Sandbox box;
  FakeDecoders decoders;
  DocSettings settings;
  CThumbBuilder builder{&decoders, nullptr, &settings};
};

TEST_F(BuilderTest, ThumbnailSizeFollowsTheFitLimitCheckAndRotation) {
  const struct {
    const char *what;
    int width, height;
    QColor colour;
    int cellHeight, limitCheck, rotation, scaleMode;
    int thumbWidth, thumbHeight;
  } rows[] = {
      {"small with LimitCheck", 30, 20, Qt::red, 80, 1, 0, 10, 30, 20},
      {"small without LimitCheck", 30, 20, Qt::red, 80, 0, 0, 10, 100, 67},
      {"one pixel high", 500, 1, Qt::blue, 80, 1, 0, 10, 100, 1},
      {"turned", 40, 20, Qt::white, 100, 1, 90, 2, 20, 40},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.what);
    auto e = Plain(std::string(r.what) + ".png", r.width, r.height, r.colour);
    e->switches.limitCheck = static_cast<int8_t>(r.limitCheck), e->switches.scaleMode = r.scaleMode;
    e->rotation = r.rotation;
    ASSERT_EQ(Build(*e, Rect(0, 0, 100, r.cellHeight)), 0);
    EXPECT_EQ(std::tuple(WidthOf(e->thumbnail.get()), HeightOf(e->thumbnail.get()), e->justBuilt,
                         e->sizeBoxWidth, e->sizeBoxHeight, e->facts.width, e->facts.height),
              std::tuple(r.thumbWidth, r.thumbHeight, true, 100, r.cellHeight, r.width, r.height));
    // Whatever the size, the colour survives the scaling (sharpening a flat field keeps it).
    EXPECT_EQ(test::PixelAt(e->thumbnail.get(), r.thumbWidth / 2, r.thumbHeight / 2),
              test::Rgb(r.colour.red(), r.colour.green(), r.colour.blue()));
  }
}

TEST_F(BuilderTest, WrongExtensionIsReadByTheNextAcceptingDecoderWhichIsRemembered) {
  // A PNG named .bmp: the BMP decoder takes it by name and fails; PNG takes it by its bytes.
  auto e = Plain("png-with-bmp-extension.bmp", 40, 30, Qt::yellow);
  ASSERT_EQ(Build(*e), 0);
  EXPECT_EQ(e->facts.decoder, 1001);
  EXPECT_EQ(decoders.infoCalls, (std::vector<int>{1000, 1001}));
  ASSERT_EQ(decoders.pictureCalls.size(), 1u);
  EXPECT_EQ(decoders.pictureCalls[0].first, 1001);

  e->FreePictures();
  decoders.infoCalls.clear();
  decoders.searchedNames.clear();
  ASSERT_EQ(Build(*e), 0);
  EXPECT_TRUE(decoders.searchedNames.empty()) << "the remembered decoder is asked directly";
  EXPECT_TRUE(decoders.infoCalls.empty()) << "the facts are known now";
  EXPECT_EQ(decoders.pictureCalls.back().first, 1001);
}

TEST_F(BuilderTest, NoDecoderGivesMinusOneAndEveryRequestTriesAgain) {
  auto e = FileEntry(box.write("noise.bin", std::string(3000, '\x7f')));
  e->facts.decoder = 1000;  // remembered from before, but the file changed
  EXPECT_EQ(Build(*e), -1);
  EXPECT_EQ(std::tuple(bool(e->thumbnail), e->facts.decoder, e->justBuilt), std::tuple(false, -1, false));
  EXPECT_EQ(Build(*e, Rect(0, 0, 100, 100), false), 1);
  const std::size_t searches = decoders.searchedNames.size();
  EXPECT_EQ(Build(*e), -1);
  EXPECT_GT(decoders.searchedNames.size(), searches);
}

TEST_F(BuilderTest, ReductionFactorIsTheWholeRatioOnceTheSizeIsKnown) {
  auto file = box.write("big.png", PlainPicture(1000, 500, Qt::gray));
  auto first = FileEntry(file);
  ASSERT_EQ(Build(*first), 0);
  // Met for the first time: the facts come first, so the decode is already reduced.
  EXPECT_EQ(std::tuple(decoders.pictureCalls.back().second, WidthOf(first->thumbnail.get()),
                       HeightOf(first->thumbnail.get())),
            std::tuple(10, 100, 50));

  auto wide = FileEntry(file);
  wide->facts.width = 1000, wide->facts.height = 500;
  ASSERT_EQ(Build(*wide, Rect(0, 0, 30, 100)), 0);
  EXPECT_EQ(decoders.pictureCalls.back().second, 33);
  // Smaller than the target: factor 0, the decoder's "full size".
  auto small = Plain("small.png", 50, 50, Qt::gray);
  ASSERT_EQ(Build(*small), 0);
  EXPECT_EQ(decoders.pictureCalls.back().second, 0);
  // Without a target the picture comes at full size.
  GlobalHandle full = builder.DecodeEntry(*wide, nullptr);
  EXPECT_EQ(std::tuple(decoders.pictureCalls.back().second, WidthOf(full.get())), std::tuple(1, 1000));
}

TEST_F(BuilderTest, FactsAndDescriptionAreTakenOnce) {
  decoders.Find(1001)->info = "PNG 24bit";
  settings.cp = 1;
  std::vector<std::string> asked;
  builder.SetDescriptionLookup([&](const std::string &path) {
    asked.push_back(path);
    return std::string("[Camera] [F2.8] ");
  });
  auto file = box.write("pic.png", PlainPicture(64, 48, Qt::white));
  auto e = FileEntry(file);
  ASSERT_EQ(Build(*e), 0);
  EXPECT_EQ(std::tuple(e->facts.width, e->facts.height, e->facts.bitCount), std::tuple(64, 48, 24));
  // Position 1001 is the built-in JPEG decoder's, the only one the library is asked about.
  EXPECT_EQ(e->Description(), "[Camera] [F2.8] PNG 24bit");
  EXPECT_EQ(asked, (std::vector<std::string>{file.string()}));

  settings.cp = 0;
  auto f = FileEntry(file);
  ASSERT_EQ(Build(*f), 0);
  EXPECT_EQ(f->Description(), "PNG 24bit");
}

TEST_F(BuilderTest, DecoderFailingItsFactsIsSkippedAndTheDescriptionEmptied) {
  decoders.decoders.push_back({5, "facts-fail", ".png", "\x89PNG", true, PictureDecoders::kPicture, "x", 1});
  auto e = Plain("p.png", 10, 10, Qt::white);
  e->SetDescription("old text");
  ASSERT_EQ(Build(*e), 0);
  EXPECT_EQ(std::tuple(e->facts.decoder, decoders.infoCalls, e->Description()),
            std::tuple(1001, std::vector<int>{5, 1001}, ""));
}

TEST_F(BuilderTest, ArchiveMemberIsDecodedFromMemoryAndKeepsItsOwnFacts) {
  const std::string bytes = PlainPicture(80, 40, Qt::cyan);
  auto archive = box.write("box.zip", "not really a zip");
  decoders.members[{archive.string(), 7}] = bytes;
  auto m = test::MemberEntry(box.root(), "inner.png", 7, bytes.size(), 1234567);
  ASSERT_EQ(Build(*m), 0);
  EXPECT_EQ(std::tuple(decoders.extractCalls, decoders.searchedNames.back(), m->facts.decoder,
                       WidthOf(m->thumbnail.get())),
            std::tuple(1, "inner.png", 1001, 80));
  // The archive file's own size and time never replace the member's.
  EXPECT_EQ(std::tuple(m->size, m->lastWriteTime), std::tuple(bytes.size(), 1234567 * kNanosPerSecond));

  // A member the archive cannot deliver fails and leaves no block behind.
  auto lost = test::MemberEntry(box.root(), "other.png", 8, 10, 1);
  lost->facts.decoder = 1001;
  const std::size_t blocks = GlobalLiveBlockCount();
  EXPECT_EQ(Build(*lost), -1);
  EXPECT_EQ(std::tuple(lost->facts.decoder, GlobalLiveBlockCount()), std::tuple(-1, blocks));
  // One that delivers bytes no decoder reads frees them too.
  decoders.members[{archive.string(), 9}] = "garbage";
  auto junk = test::MemberEntry(box.root(), "junk.png", 9, 7, 1);
  EXPECT_EQ(Build(*junk), -1);
  EXPECT_EQ(GlobalLiveBlockCount(), blocks);
}

TEST_F(BuilderTest, BuildingRereadsTheFileFactsAndMarksOnlyTheDecode) {
  auto file = box.write("t.png", PlainPicture(10, 10, Qt::white));
  auto e = FileEntry(file);
  e->size = 1, e->lastWriteTime = 5;
  bool seen = false;
  decoders.duringPicture = [&] { seen = e->decodingNow; };
  ASSERT_EQ(Build(*e, Rect(0, 0, 50, 50)), 0);
  auto fresh = FileEntry(file);
  EXPECT_EQ(std::tuple(e->size, e->lastWriteTime, seen, e->decodingNow),
            std::tuple(fresh->size, fresh->lastWriteTime, true, false));
}

TEST_F(BuilderTest, SurfaceGetsTheThumbnailCentredInTheRectangle) {
  auto e = Plain("r.png", 20, 10, Qt::red);
  QImage target(60, 40, QImage::Format_RGB32);
  target.fill(Qt::black);
  {
    QPainter p(&target);
    ASSERT_EQ(builder.EnsureThumbnail(*e, &p, Rect(10, 10, 50, 30), true), 0);
  }
  // 20 x 10 fits 40 x 20 unchanged: left 30 - 10, top 20 - 5.
  EXPECT_EQ(
      (std::vector<QColor>{target.pixelColor(20, 15), target.pixelColor(39, 24), target.pixelColor(19, 15),
                           target.pixelColor(40, 24), target.pixelColor(20, 25)}),
      (std::vector<QColor>{Qt::red, Qt::red, Qt::black, Qt::black, Qt::black}));
}

}  // namespace
}  // namespace tamro
