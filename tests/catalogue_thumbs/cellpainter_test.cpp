#include "catalogue/cellpainter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstring>

#include "catalogue/notestore.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/thumbstore.h"
#include "catalogue_thumbs/thumbtest.h"

namespace tamro {
namespace {

using test::FakeDecoders;
using test::FileEntry;
using test::PlainPicture;

constexpr int kCell = 110;

QColor Colour(uint32_t ref) { return QColor(RedOf(ref), GreenOf(ref), BlueOf(ref)); }

// Text pixels between two rows and two columns: dark ones, or light ones on a dark bar.
bool HasInk(const QImage &image, int y0, int y1, int x0, int x1, QColor background, bool light = false) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c != background && (light ? c.lightness() > 200 : c.lightness() < 160)) return true;
    }
  return false;
}

class PainterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureGuiApp();
    auto l = std::make_shared<EntryLook>();
    l->font = LookupCaptionFont("ＭＳ ゴシック", 0, -12, 0, 0);
    look = l;
    painter.SetCaptionLines(&lines);
  }

  std::unique_ptr<CPicEntry> Entry(const std::string &name, const std::string &bytes) {
    auto e = FileEntry(box.write(name, bytes));
    e->SetLook(look);
    return e;
  }
  std::unique_ptr<CPicEntry> Member(const std::string &name, const std::string &bytes, uint32_t position) {
    decoders.members[{box.write("box.zip", "archive").string(), position}] = bytes;
    auto e = test::MemberEntry(box.root(), name, position, bytes.size(), 1000);
    e->SetLook(look);
    return e;
  }

  const EntryColours &C() const { return look->colours; }
  CellLayout LayoutOf(const CPicEntry &e, int x = 0) { return painter.Layout(e, x, 0, kCell, kCell); }
  int CaptionMiddle(const CPicEntry &e) {
    const CellLayout l = LayoutOf(e);
    return (l.caption.top + l.caption.bottom) / 2;
  }
  // One cell painted on a canvas of its own.
  QImage Paint(CPicEntry &e, int mode, CCellPainter *by = nullptr, int size = kCell) {
    CDibCanvas c;
    EXPECT_TRUE(c.Create(size, size, 0));
    (by ? *by : painter).PaintCell(e, c, 0, 0, size, size, mode);
    return c.Image().copy();
  }

  test::Sandbox box;
  FakeDecoders decoders;
  DocSettings settings;
  CThumbBuilder builder{&decoders, nullptr, &settings};
  GlyphIconSource icons;
  CCellPainter painter{&builder, &icons};
  std::vector<std::string> lines{"$(PicName)"};
  EntryLookPtr look;
};

TEST_F(PainterTest, LayoutLeavesMarginsAndStacksTheCaptionLines) {
  auto e = Entry("a.png", PlainPicture(10, 10, Qt::red));
  CellLayout one = LayoutOf(*e, 30);
  ASSERT_GT(one.lineHeight, 8);
  EXPECT_EQ(
      std::tuple(one.picture.left, one.picture.top, one.caption.left, one.caption.right, one.caption.bottom,
                 one.caption.top, one.picture.bottom),
      std::tuple(32, 2, 32, 30 + kCell - 2, kCell - 2, kCell - 2 - one.lineHeight - 4, one.caption.top - 2));
  lines = {"a", "b", "c"};
  EXPECT_EQ(LayoutOf(*e).caption.top, kCell - 2 - 3 * one.lineHeight - 4);
  e->switches.name = 0;
  EXPECT_EQ(LayoutOf(*e).picture.bottom, kCell - 2)
      << "without a caption the picture takes the cell less 2 pixels";
}

// The rendering of four cells, checked at chosen points.
TEST_F(PainterTest, RenderingOfFourCells) {
  auto plain = Entry("red.png", PlainPicture(200, 100, Qt::red));
  plain->switches.frame = 1;
  auto selectedMember = Member("blue.png", PlainPicture(50, 100, Qt::blue), 1);
  selectedMember->flags = CPicEntry::kSelected;
  auto broken = Entry("broken.png", "\x89PNG but not really");
  auto member = Member("green.png", PlainPicture(100, 100, Qt::green), 2);

  CDibCanvas sheet;
  ASSERT_TRUE(sheet.Create(4 * kCell, kCell, 0x404040));
  CPicEntry *cells[] = {plain.get(), selectedMember.get(), broken.get(), member.get()};
  for (int i = 0; i < 4; ++i) painter.PaintCell(*cells[i], sheet, i * kCell, 0, kCell, kCell, kCellBuild);
  const QImage &img = sheet.Image();

  const CellLayout l = LayoutOf(*plain);
  const int capTop = l.caption.top, capMid = (l.caption.top + l.caption.bottom) / 2;
  const int picMidY = (l.picture.top + l.picture.bottom) / 2, x2 = kCell, x3 = 2 * kCell, x4 = 3 * kCell;
  const QColor white(Qt::white), grey(0x80, 0x80, 0x80), back = Colour(C().backGround);
  const QColor dark = Colour(DarkerShade(C().backGround)), light = Colour(LighterShade(C().backGround));
  auto at = [&](std::initializer_list<QPoint> points) {
    std::vector<QColor> colours;
    for (QPoint p : points) colours.push_back(img.pixelColor(p));
    return colours;
  };
  // Cell 1: raised frame, red thumbnail (106 x 53 centred; a wide picture leaves bands), white
  // caption bar in a sunken frame.
  EXPECT_EQ(at({{0, 0}, {kCell - 2, 0}, {kCell - 1, 0}, {0, kCell - 2}, {0, kCell - 1}, {1, 1}}),
            (std::vector<QColor>{white, white, grey, white, grey, back}));
  EXPECT_EQ(at({{3, picMidY}, {kCell / 2, l.picture.top}, {2, capTop}, {2, capMid}, {kCell - 3, capMid}}),
            (std::vector<QColor>{Qt::red, back, dark, dark, light}));
  EXPECT_EQ(at({{kCell / 2, kCell - 3}, {4, capMid}}), (std::vector<QColor>{light, Colour(C().normalDraw)}));
  // Cell 2: selected member: selected fill, caption bar in colSelectCheck, white text.
  EXPECT_EQ(at({{x2 + 1, 1}, {x2 + 4, capMid}, {x2 + kCell / 2, picMidY}}),
            (std::vector<QColor>{Colour(C().selectBackGround), Colour(C().selectCheck), Qt::blue}));
  // Cell 3: no decoder reads it: the icon (its white page) on colCantDraw. Cell 4: an unselected
  // member's bar is colArcDraw.
  const CellRect icon = FitThumbnailRect(32, 32, l.picture, true);
  EXPECT_EQ(at({{x3 + 4, capMid}, {x3 + icon.left + 16, icon.top + 16}, {x3 + icon.left - 1, icon.top + 16}}),
            (std::vector<QColor>{Colour(C().cantDraw), white, back}));
  EXPECT_EQ(at({{x4 + 4, capMid}, {x4 + kCell / 2, picMidY}}),
            (std::vector<QColor>{Colour(C().arcDraw), Qt::green}));
  // The text is smoothed, so its light pixels are looked for rather than pure white.
  EXPECT_TRUE(HasInk(img, capTop + 1, kCell - 3, x2 + 4, x2 + kCell - 4, Colour(C().selectCheck), true));
  // Cell 4's caption rectangle is kept relative to the cell.
  EXPECT_EQ(std::tuple(member->captionRect.left, member->drawnMode), std::tuple(2, kCellBuild));
}

TEST_F(PainterTest, ThreeCaptionLinesDrawTheFirstLowest) {
  lines = {"MMMMMMMMMM", "i", "i"};
  auto e = Entry("t.png", PlainPicture(10, 10, Qt::red));
  const QImage img = Paint(*e, kCellQuick);
  const CellLayout l = LayoutOf(*e);
  const int h = l.lineHeight;
  const QColor bar = Colour(C().cantDraw);
  // The wide line has ink far left of the centre; the "i" lines only near it.
  auto wideInk = [&](int bandBottom) {
    return HasInk(img, bandBottom - h, bandBottom, l.caption.left + 1, kCell / 2 - 10, bar);
  };
  const int inner = l.caption.bottom - 1;  // inside the sunken frame
  EXPECT_EQ(std::tuple(wideInk(inner - 1), wideInk(inner - 1 - h), wideInk(inner - 1 - 2 * h)),
            std::tuple(true, false, false));
  EXPECT_TRUE(HasInk(img, inner - 1 - 3 * h, inner - 1 - 2 * h, 4, kCell - 4, bar))
      << "the third line sits at the top";
}

TEST_F(PainterTest, WideCaptionStartsAtTheLeftAndStaysInsideTheBar) {
  lines = {"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"};
  auto e = Entry("w.png", PlainPicture(10, 10, Qt::red));
  const QImage img = Paint(*e, kCellCaptionOnly, nullptr, 60);
  const CellLayout l = painter.Layout(*e, 0, 0, 60, 60);
  EXPECT_TRUE(HasInk(img, l.caption.top + 1, l.caption.bottom - 1, l.caption.left + 1, l.caption.left + 4,
                     Colour(C().normalDraw)));
  for (int y = l.caption.top; y < l.caption.bottom; ++y)
    EXPECT_EQ(img.pixelColor(l.caption.right - 1, y), Colour(LighterShade(C().backGround))) << y;
  for (int x = 0; x < 60; ++x) EXPECT_EQ(img.pixelColor(x, l.caption.top - 1), Colour(C().backGround)) << x;
}

TEST_F(PainterTest, ModesDecideWhatIsShownAndWhetherAnythingIsBuilt) {
  auto e = Entry("p.png", PlainPicture(40, 40, Qt::red));
  const CellLayout l = LayoutOf(*e);
  const int capMid = CaptionMiddle(*e);
  const QPoint centre(kCell / 2, (l.picture.top + l.picture.bottom) / 2);
  const QColor normal = Colour(C().normalDraw), cant = Colour(C().cantDraw), red(Qt::red), page(Qt::white);
  // Mode, the caption bar, the picture's centre, decodes so far: quick drawing never decodes, and
  // shows the thumbnail there is.
  const std::tuple<int, QColor, QColor, std::size_t> steps[] = {
      {kCellCaptionOnly, normal, Colour(C().backGround), 0},
      {kCellQuick, cant, page, 0},
      {kCellBuild, normal, red, 1},
      {kCellQuick, normal, red, 1},
      {kCellIcon, cant, page, 1}};
  for (const auto &[mode, bar, middle, decodes] : steps) {
    const QImage shown = Paint(*e, mode);
    EXPECT_EQ(std::tuple(shown.pixelColor(4, capMid), shown.pixelColor(centre), decoders.pictureCalls.size()),
              std::tuple(bar, middle, decodes))
        << "mode " << mode;
  }
  // A picture smaller than the area is drawn at its own size, centred.
  const QImage img = Paint(*e, kCellQuick);
  const CellRect place = FitThumbnailRect(40, 40, l.picture, true);
  EXPECT_EQ(
      std::tuple(place.right - place.left, img.pixelColor(place.left, place.top),
                 img.pixelColor(place.left - 1, place.top), img.pixelColor(place.right, place.bottom - 1)),
      std::tuple(40, QColor(Qt::red), Colour(C().backGround), Colour(C().backGround)));
}

TEST_F(PainterTest, WithoutAnIconSourceThePictureAreaStaysEmpty) {
  CCellPainter bare(&builder, nullptr);
  bare.SetCaptionLines(&lines);
  auto e = Entry("x.bin", "nothing");
  const QImage img = Paint(*e, kCellIcon, &bare);
  const CellLayout l = LayoutOf(*e);
  for (int y = l.picture.top; y < l.picture.bottom; y += 7)
    for (int x = l.picture.left; x < l.picture.right; x += 7)
      ASSERT_EQ(img.pixelColor(x, y), Colour(C().backGround)) << x << "," << y;
}

// A new cell size rebuilding: views/rxview_test.cpp, and the store's fit test.
TEST_F(PainterTest, FontChangeKeepsTheThumbnail) {
  auto e = Entry("f.png", PlainPicture(300, 300, Qt::red));
  Paint(*e, kCellBuild);
  ASSERT_EQ(decoders.pictureCalls.size(), 1u);
  auto italic = std::make_shared<EntryLook>(*look);
  italic->font.italic = 1;
  e->SetLook(italic);
  Paint(*e, kCellBuild);
  EXPECT_EQ(std::tuple(decoders.pictureCalls.size(), e->justBuilt), std::tuple(1u, false));
}

TEST_F(PainterTest, BuildModeStoresTheNewThumbnailAndReadsTheNoteOnce) {
  settings.cacheFolder = 1;
  CThumbStore store(&decoders);
  CThumbBuilder storing(&decoders, &store, &settings);
  CCellPainter p(&storing, &icons);
  p.SetCaptionLines(&lines);
  auto e = Entry("n.png", PlainPicture(30, 30, Qt::red));
  ASSERT_TRUE(WriteNote(box.root().string(), "", "n.png", "hello"));
  bool paintingSeen = false;
  decoders.duringPicture = [&] { paintingSeen = e->paintingNow && e->IsBusy(); };
  Paint(*e, kCellBuild, &p);
  EXPECT_EQ(std::tuple(paintingSeen, e->IsBusy(), e->Note(), e->stored,
                       store.GetFolder(box.root().string()).Count()),
            std::tuple(true, false, "hello", true, 1u));
  // Without CacheFolder nothing goes to the store.
  settings.cacheFolder = 0;
  auto f = Entry("o.png", PlainPicture(30, 30, Qt::red));
  Paint(*f, kCellBuild, &p);
  EXPECT_EQ(std::tuple(f->stored, store.GetFolder(box.root().string()).Count()), std::tuple(false, 1u));
}

// On a surface of twice the density the caption and the thumbnail get device pixels (the
// thumbnail drawn so: views/hidpi_test.cpp), and the caption is not the ratio-1 one enlarged.
// The store keeps exactly the record a ratio-1 screen makes.
TEST_F(PainterTest, AtTwiceTheDensityCellsUseDevicePixelsAndTheStoreKeepsTheCellSize) {
  settings.cacheFolder = 1;
  const std::string checker = test::PictureBytes(212, 100, "PNG", [](int x, int y) {
    return (x + y) % 2 ? QColor(Qt::white) : QColor(Qt::black);
  });
  struct Screen {
    qreal ratio;
    CThumbStore store;
    std::unique_ptr<CPicEntry> entry;
    CDibCanvas canvas;
  } screens[] = {{1, CThumbStore(&decoders), nullptr, {}}, {2, CThumbStore(&decoders), nullptr, {}}};
  for (Screen &s : screens) {
    CThumbBuilder b(&decoders, &s.store, &settings);
    b.SetDisplayRatio(s.ratio);
    CCellPainter p(&b, &icons);
    p.SetCaptionLines(&lines);
    s.entry = Entry("w.png", checker);
    ASSERT_TRUE(s.canvas.Create(static_cast<int>(kCell * s.ratio), static_cast<int>(kCell * s.ratio), 0));
    s.canvas.Image().setDevicePixelRatio(s.ratio);
    p.PaintCell(*s.entry, s.canvas, 0, 0, kCell, kCell, kCellBuild);
    ASSERT_TRUE(s.entry->thumbnail);
  }
  const ThumbRecord *one = screens[0].store.GetFolder(box.root().string()).Find("w.png", "");
  const ThumbRecord *two = screens[1].store.GetFolder(box.root().string()).Find("w.png", "");
  ASSERT_TRUE(one && two);
  // Every header field alike; only the JPEG's length may follow the decode's reduction.
  ThumbRecordHeader twice = two->header;
  twice.dataSize = one->header.dataSize;
  unsigned char a[kThumbHeaderBytes], b[kThumbHeaderBytes];
  WriteThumbHeader(one->header, a);
  WriteThumbHeader(twice, b);
  EXPECT_EQ(std::tuple(std::memcmp(a, b, sizeof a), two->header.thumbWidth,
                       bool(screens[0].entry->displayThumbnail)),
            std::tuple(0, 106, false));
  ASSERT_TRUE(screens[1].entry->displayThumbnail);
  EXPECT_EQ(DibWidth(screens[1].entry->displayThumbnail.get()), 212);

  const QImage sharp = screens[1].canvas.Image();
  const CellLayout l = LayoutOf(*screens[1].entry);
  // The caption has ink, and not the blocks of the ratio-1 caption enlarged.
  const QImage enlarged = screens[0].canvas.Image().scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
  const QRect caption(l.caption.left * 2, l.caption.top * 2, (l.caption.right - l.caption.left) * 2,
                      (l.caption.bottom - l.caption.top) * 2);
  EXPECT_TRUE(HasInk(sharp, caption.top(), caption.bottom() + 1, caption.left(), caption.right(),
                     Colour(C().normalDraw)));
  EXPECT_NE(sharp.copy(caption).convertToFormat(QImage::Format_RGB888),
            enlarged.copy(caption).convertToFormat(QImage::Format_RGB888));
}

}  // namespace
}  // namespace tamro
