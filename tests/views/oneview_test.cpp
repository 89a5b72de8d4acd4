// The picture window: display arithmetic, stepping, mouse, animation, slide show, saving and
// deleting, through real windows on the offscreen platform.

#include "views/oneview.h"

#include <QApplication>
#include <atomic>
#include <thread>

#include "catalogue/notestore.h"
#include "catalogue/workerpool.h"
#include "fileops/trash.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "picture/transform.h"
#include "platform/ui.h"
#include "views/gifanimation.h"
#include "views/onewnd.h"
#include "views/slideshow.h"
#include "windowtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

TEST(OnePictureTest, DisplaySizesScaleTextsAndSteps) {
  OneViewSettings s;
  // Fit 3: 1000 x 500 into 800 x 600 is 800 x 400 at 1/1.25.
  DisplaySize d = ComputeDisplaySize(s, 3, 0, 1000, 500, 0.0, 800, 600);
  EXPECT_EQ(std::tuple(QSize(d.width, d.height), ScaleText(d.scale)), std::tuple(QSize(800, 400), "x1/1.25"));
  // Zoom levels: x1.5 at level 1, x9 at 16, the seventeenth step refused.
  const auto zoomed = [&](int fit, int zoom) {
    return ScaleText(ComputeDisplaySize(s, fit, zoom, 10, 10, 0.0, 1, 1).scale);
  };
  int zoom = 0;
  while (CanZoomIn(zoom, s.zoomStep)) ++zoom;
  EXPECT_EQ(std::vector({zoomed(1, 1), zoomed(1, -2), zoomed(0, zoom)}),
            std::vector<QString>({"x1.5", "x1/2", "x9"}));
  EXPECT_EQ(zoom, 16);
  // A turned picture's display covers its bounding box; a 1 x 1 picture stays 1 x 1.
  d = ComputeDisplaySize(s, 0, 0, 1000, 500, 90.0, 1, 1);
  EXPECT_TRUE(d.width >= 500 && d.width <= 501 && d.height >= 1000) << d.width << " " << d.height;
  d = ComputeDisplaySize(s, 0, -16, 1, 1, 0.0, 1, 1);
  EXPECT_EQ(QSize(d.width, d.height), QSize(1, 1));
  EXPECT_EQ(std::vector(
                {TurnRight(TurnRight(0.0, 90), 90), TurnRight(TurnRight(180.0, 90), 90), TurnLeft(0.0, 90)}),
            std::vector({180.0, 0.0, 270.0}));
  // Placement: a larger picture leaves no gap, a smaller one stays inside.
  EXPECT_EQ(std::vector({ClampPlacement(10, 800, 1000), ClampPlacement(-500, 800, 1000),
                         ClampPlacement(-5, 800, 100), ClampPlacement(750, 800, 100)}),
            std::vector({0, -200, 0, 700}));
  // Stepping never leaves the listing and passes over what cannot be shown (2 here); with
  // wrapping it comes round, and back at the start there is nowhere to go.
  const auto all = [](int) { return true; };
  const auto no2 = [](int i) { return i != 2; };
  EXPECT_EQ(std::vector({SeekIndex(0, 5, -1, false, all), SeekIndex(4, 5, +1, false, all),
                         SeekIndex(5, 5, -1, false, all), SeekIndex(9, 5, -1, false, all),
                         SeekIndex(1, 5, +1, false, no2), SeekIndex(3, 5, -1, false, no2),
                         SeekIndex(4, 5, +1, true, no2), SeekIndex(0, 1, +1, true, all)}),
            std::vector({-1, -1, 4, 4, 3, 1, 0, -1}));
  // A window never outgrows the screen's free area, title bar included, and is moved inside it.
  const QRect area(0, 30, 1600, 970);
  EXPECT_EQ(FitWindowFrame({4000, 3000}, QMargins(2, 24, 2, 2), {100, 40}, area), area);
  EXPECT_EQ(FitWindowFrame({400, 300}, QMargins(2, 24, 2, 2), {1500, 0}, area), QRect(1196, 30, 404, 326));
  // Tiling five windows: two rows of three columns.
  const std::vector<QRect> cells = TileCells(5, QRect(0, 0, 900, 600));
  ASSERT_EQ(cells.size(), 5u);
  EXPECT_EQ(std::tuple(cells[2], cells[3]), std::tuple(QRect(600, 0, 300, 300), QRect(0, 300, 300, 300)));
}

// A GIF of `frames` frames on a `screen` x `screen` screen, black at first: frame i lights
// the pixel (i % screen, 0) in white and keeps what the frames before drew.
std::string AnimatedGif(int frames, int screen = 1) {
  const auto le16 = [](int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
  std::string g = "GIF89a" + le16(screen) + le16(screen) + std::string("\x80\x00\x00", 3);
  g += std::string("\x00\x00\x00\xff\xff\xff", 6);
  for (int i = 0; i < frames; ++i) {
    g += std::string("\x21\xf9\x04\x00\x05\x00\x00\x00", 8);
    g += "\x2c" + le16(i % screen) + le16(0) + le16(1) + le16(1) + std::string(1, '\0');
    g += std::string("\x02\x02\x4c\x01\x00", 5);
  }
  g += ';';
  return g;
}

using test::PictureWindowTest;

TEST_F(PictureWindowTest, KeysStepZoomAndTurnWithTitleAndStatus) {
  COneWnd *w = OpenWindow(4, 1);
  EXPECT_EQ(std::tuple(w->windowTitle().toStdString(), w->StatusText(0), w->StatusText(1).isEmpty()),
            std::tuple(doc->GetEntry(1)->name, "80x60 24 bit", false));
  // The picture is on screen in its own colour.
  const QPoint centre = w->View()->Position() + QPoint(40, 30);
  EXPECT_EQ(w->View()->grab().toImage().pixelColor(centre).rgb(), Expected(1).rgb());

  // Two quick presses while the first picture is still decoding both count.
  for (int i = 0; i < 2; ++i) Key(w, Qt::Key_Right);
  WaitShown(w);
  EXPECT_EQ(
      std::tuple(w->View()->Index(), w->windowTitle().toStdString(), w->IsCommandEnabled(COneWnd::kNext)),
      std::tuple(3, doc->GetEntry(3)->name, false));

  Key(w, Qt::Key_Plus);
  EXPECT_EQ(std::tuple(w->StatusText(2), w->View()->DisplaySize()), std::tuple("x1.5", QSize(120, 90)));
  for (int i = 0; i < 2; ++i) Key(w, Qt::Key_Minus);
  EXPECT_EQ(w->StatusText(2), "x1/1.5");
  Key(w, Qt::Key_R);
  // 80 / 1.5 high after the turn
  EXPECT_EQ(std::tuple(w->View()->Angle(), w->View()->DisplaySize().height()), std::tuple(90.0, 53));

  // Space selects the entry in the grid too; Escape closes the window.
  Key(w, Qt::Key_Space);
  EXPECT_TRUE(doc->GetEntry(3)->IsSelected() && w->IsCommandChecked(COneWnd::kSelect));
  Key(w, Qt::Key_Escape);
  EXPECT_TRUE(QTest::qWaitFor([&] { return windows->Count() == 0; }));
}

TEST_F(PictureWindowTest, FitModesFollowTheWindow) {
  COneWnd *w = OpenWindow(1, 0, {{"COneView", "FitSize", 3}});
  w->View()->resize(400, 300);
  WaitShown(w);
  // 80 x 60 stretched to the client with its aspect kept, centred.
  const QSize client = w->View()->size();
  const QSize d = w->View()->DisplaySize();
  EXPECT_TRUE(d.width() == client.width() || d.height() == client.height());
  EXPECT_EQ(w->View()->Position(), QPoint((client.width() - d.width()) / 2, (client.height() - d.height()) / 2));
  // Fit mode 2 without enlarging: the picture at its size, centred.
  w->View()->Settings().zoomUp = false;
  w->OnCommand(COneWnd::kFitStretch);
  EXPECT_EQ(std::tuple(w->View()->DisplaySize(), w->View()->Position()),
            std::tuple(QSize(80, 60), QPoint((client.width() - 80) / 2, (client.height() - 60) / 2)));
  // Picture size: the window follows the picture.
  w->OnCommand(COneWnd::kFitPicture);
  for (int i = 0; i < 8; ++i) w->OnCommand(COneWnd::kZoomIn);  // x5: larger than the bars
  EXPECT_TRUE(QTest::qWaitFor([&] { return w->View()->size() == QSize(400, 300); }))
      << w->View()->size().width();
  // Far zooms make the display picture within a pixel budget and paint it stretched.
  w->View()->SetFrameBudget(10000);
  w->OnCommand(COneWnd::kZoomIn);  // x5.5: 440 x 330
  EXPECT_EQ(w->View()->DisplaySize(), QSize(440, 330));
  EXPECT_LE(int64_t{DibWidth(w->View()->DisplayedPicture())} * DibHeight(w->View()->DisplayedPicture()),
            10000);
  const QPoint centre = w->View()->Position() + QPoint(220, 165);
  EXPECT_EQ(w->View()->grab().toImage().pixelColor(centre).rgb(), Expected(0).rgb());
  // Wherever the window was, following a picture larger than the screen keeps it inside.
  const QRect free = w->Available();
  w->move(free.center());
  for (int i = 0; i < 8; ++i) w->OnCommand(COneWnd::kZoomIn);
  EXPECT_TRUE(free.contains(w->frameGeometry()) && w->width() > 440)
      << w->frameGeometry().bottom() << " " << free.bottom() << " " << w->width();
}

// An 80 x 60 picture whose pixels all differ, so that each scaling method and turn shows,
// written as BMP at `path`.
QImage Pattern(int seed, const fs::path &path) {
  QImage image(80, 60, QImage::Format_RGB888);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) image.setPixelColor(x, y, QColor(x * 3, y * 4, (x * y + seed) % 256));
  fs::create_directories(path.parent_path());
  image.save(QString::fromStdString(path.string()), "BMP");
  return image;
}

// The window paints exactly what scaling `picture` at once by its settings gives (with the
// zoom formula after zoom steps, else the fit mode).
void ExpectPaintedAsScaled(COneView *v, const QImage &picture, int fit) {
  GlobalHandle source(BitmapToDib(picture));
  const DisplaySize d = ComputeDisplaySize(v->Settings(), fit, v->Zoom(), picture.width(), picture.height(),
                                           v->Angle(), v->width(), v->height());
  HDIB scaled = ScaleDibByMode(source.get(), d.width, d.height, v->Angle(), v->Settings().scaleMode, d.scale, false);
  GlobalHandle own(scaled != source.get() ? scaled : nullptr);
  const QImage want = DibToImage(scaled);
  ASSERT_EQ(want.size(), v->DisplaySize());
  const QRect shown = QRect(v->Position(), want.size()) & v->rect();
  const QImage shot = v->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(shown);
  EXPECT_EQ(shot, want.copy(shown.translated(-v->Position())));
}

using Look = std::tuple<int, int, int, int>;  // fit mode, scale mode, zoom steps, right turns
class DisplayStepTest : public PictureWindowTest, public ::testing::WithParamInterface<Look> {};

// Zoom and turn steps: the display picture is made on a worker while the previous one stays on
// screen, then painted exactly as made at once.
TEST_P(DisplayStepTest, PaintsWhatScalingAtOnceGives) {
  const auto [fit, scaleMode, zoom, turns] = GetParam();
  const QImage picture = Pattern(0, folder / "p.bmp");
  COneWnd *w = OpenWindow(0, 0, {{"COneView", "FitSize", fit}, {"COneView", "ScaleMode", scaleMode}});
  COneView *v = w->View();
  for (int i = 0; i < std::abs(zoom); ++i) w->OnCommand(zoom > 0 ? COneWnd::kZoomIn : COneWnd::kZoomOut);
  for (int i = 0; i < turns; ++i) w->OnCommand(COneWnd::kTurnRight);
  EXPECT_TRUE(v->Loading());
  WaitShown(w);
  ExpectPaintedAsScaled(v, picture, zoom != 0 ? 0 : fit);
}
INSTANTIATE_TEST_SUITE_P(Looks, DisplayStepTest,
                         ::testing::Values(Look{1, kScalePlain, 1, 0}, Look{1, kScaleBilinear, -1, 1},
                                           Look{0, kScaleAuto, -2, 0}, Look{3, kScaleAverage, 0, 1},
                                           Look{2, kScaleNearest, 0, 1}));

// What a worker makes for a picture, turn or zoom the window has left by the time it comes is
// never painted.
TEST_F(PictureWindowTest, StaleDisplayPicturesAreNeverPainted) {
  const QImage pictures[] = {Pattern(0, folder / "p0.bmp"), Pattern(99, folder / "p1.bmp")};
  COneWnd *w = OpenWindow(0, 0, {{"COneView", "ScaleMode", kScaleBilinear}});
  COneView *v = w->View();
  const auto settle = [&] {
    WaitShown(w);
    engine->Pool().WaitIdle();
    QApplication::processEvents();
  };
  const auto shown = [&] { return pictures[doc->GetEntry(v->Index())->name == "p1.bmp"]; };
  w->OnCommand(COneWnd::kTurnRight);
  const bool turning = v->Loading();
  w->OnCommand(COneWnd::kTurnLeft);  // back to what is on screen before the turn was made
  EXPECT_EQ(std::tuple(turning, v->Loading()), std::tuple(true, false));
  settle();
  ExpectPaintedAsScaled(v, shown(), 1);
  w->OnCommand(COneWnd::kZoomIn);
  w->ShowIndex(1 - v->Index());
  settle();
  ExpectPaintedAsScaled(v, shown(), 1);
  EXPECT_EQ(v->Zoom(), 1);
}

// A key held down steps only onto a picture that is read ahead; its repeats meanwhile are
// passed over rather than asking for pictures the window would leave before they come.
TEST_F(PictureWindowTest, HeldKeyStepsOntoPicturesReadAhead) {
  COneWnd *w = OpenWindow(3, 0);
  COneView *v = w->View();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !v->ReadingAhead(1); }));
  std::atomic<bool> release{false};
  for (int i = 0; i < workers; ++i)
    engine->Pool().Post(WorkerPool::kNow, 1, [&] {
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
  w->ShowIndex(1);  // read ahead: shown at once; picture 2 is now being read
  QApplication::processEvents();
  const auto held = [&] {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(v, &press);
  };
  held();
  EXPECT_EQ(v->Index(), 1);
  release = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !v->ReadingAhead(2); }));
  held();
  EXPECT_EQ(std::tuple(v->Index(), v->Loading()), std::tuple(2, false));
}

TEST_F(PictureWindowTest, MouseStepsButNotOnTheActivatingClickAndDrags) {
  COneWnd *w = OpenWindow(3, 1);
  COneView *v = w->View();
  v->NoteActivation();
  for (const auto &[button, want] :
       {std::pair{Qt::LeftButton, 1}, {Qt::RightButton, 2}, {Qt::LeftButton, 1}}) {
    QTest::mouseClick(v, button, {}, QPoint(5, 5));
    WaitShown(w);
    EXPECT_EQ(v->Index(), want) << button;
  }

  // A picture larger than the client is dragged, not stepped from.
  for (int i = 0; i < 4; ++i) w->OnCommand(COneWnd::kZoomIn);  // x3: 240 x 180
  v->setFixedSize(100, 100);
  MouseMove(v, QPoint(50, 50), Qt::NoButton);
  EXPECT_EQ(v->MouseState(), COneView::kCanGrab);
  const QPoint before = v->Position();
  QTest::mousePress(v, Qt::LeftButton, {}, QPoint(50, 50));
  MouseMove(v, QPoint(30, 40), Qt::LeftButton);
  EXPECT_EQ(v->Position(), before + QPoint(-20, -10));
  QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(30, 40));
  EXPECT_EQ(v->Index(), 1);
}

TEST_F(PictureWindowTest, AnimatedGifPlaysItsFirst256Frames) {
  box.write("pics/anim.gif", AnimatedGif(300));
  COneWnd *w = OpenWindow(3, 0, {{"SPI", "#InnerGIF", 1}});
  const int gif = IndexOf("anim.gif");
  int still = -1;  // neither shown nor read ahead yet
  for (int i = 2; i < doc->GetEntryCount(); ++i)
    if (i != gif) still = i;
  ASSERT_TRUE(gif >= 0 && still >= 0);
  // A picture still decoding when the GIF is asked for must not replace it when it comes.
  w->ShowIndex(still);
  w->ShowIndex(gif);
  QTest::qWait(200);
  COneView *v = w->View();
  ASSERT_GE(v->FrameCount(), 1);
  EXPECT_EQ(std::tuple(v->DisplaySize(), w->StatusText(0)), std::tuple(QSize(1, 1), "1x1 1 bit"));
  EXPECT_TRUE(QTest::qWaitFor([&] {
    v->AnimationTick();
    return v->FrameCount() == GifAnimation::kMaxFrames;
  }));
  // The slide show shows first frames only.
  w->OnCommand(COneWnd::kSlideShow);
  EXPECT_EQ(v->CurrentFrame(), 0);
}

TEST_F(PictureWindowTest, LargeAnimationKeepsWithinItsBudgetAndStillLoops) {
  constexpr int kFrames = 24;
  box.write("pics/big.gif", AnimatedGif(kFrames, 1000));  // 4 MB a display frame, 1 KB on disk
  COneWnd *w = OpenWindow(1, 0, {{"SPI", "#InnerGIF", 1}});
  COneView *v = w->View();
  constexpr int64_t kBudget = int64_t{32} << 20;  // room for a few frames only
  v->SetAnimationBudget(kBudget);
  w->ShowIndex(doc->GetEntry(0)->name == "big.gif" ? 0 : 1);
  WaitShown(w);
  ASSERT_EQ(v->DisplaySize(), QSize(1000, 1000));
  // Round once and on to frame 17: every frame in turn, the bytes held within the budget.
  std::vector<int> seen{v->CurrentFrame()};
  int64_t held = 0;
  const auto reached = [&] {
    if (v->CurrentFrame() != seen.back()) seen.push_back(v->CurrentFrame());
    held = std::max(held, v->AnimationBytes());
    return seen.size() >= kFrames + 18;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return reached() || (v->AnimationTick(), reached()); }, 60000));
  EXPECT_LE(held, kBudget);
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i], (seen[i - 1] + 1) % kFrames) << i;
  // Composed again from frame 0 after the wrap: lit up to frame 17, not by the last frame.
  const QImage shown = DibToImage(v->DisplayedPicture());
  EXPECT_EQ(
      std::vector({shown.pixel(0, 0), shown.pixel(17, 0), shown.pixel(18, 0), shown.pixel(kFrames - 1, 0)}),
      std::vector({qRgb(255, 255, 255), qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(0, 0, 0)}));
}

TEST_F(PictureWindowTest, SlideShowOrderRepeatAndUndecodableEntries) {
  box.write("pics/p101b.bmp", "this is no picture");  // between p101 and p102 by name
  COneWnd *w = OpenWindow(3, 0, {{"RXDoc", "SleepDraw", 0}});
  COneView *v = w->View();
  ASSERT_EQ(doc->GetEntryCount(), 4);
  std::vector<std::string> pictures = Names();  // in listing order, the one that is no picture left out
  std::erase(pictures, "p101b.bmp");
  const int start = doc->GetEntry(0)->name == "p101b.bmp" ? 1 : 0;
  w->ShowIndex(start);
  WaitShown(w);
  std::vector<std::string> shown;
  QObject::connect(v, &COneView::pictureShown, [&] { shown.push_back(doc->GetEntry(v->Index())->name); });
  w->OnCommand(COneWnd::kSlideShow);
  EXPECT_EQ(std::tuple(w->IsCommandChecked(COneWnd::kSlideShow), w->IsCommandEnabled(COneWnd::kZoomIn)),
            std::tuple(true, false));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !v->SlideShowRunning(); }));
  EXPECT_EQ(shown, std::vector(pictures.begin() + 1, pictures.end()));

  // Stepping by key passes over it both ways.
  for (const auto &[key, want] : {std::pair{Qt::Key_Home, 0}, {Qt::Key_Right, 1}, {Qt::Key_Right, 2},
                                  {Qt::Key_Left, 1}, {Qt::Key_Left, 0}, {Qt::Key_End, 2}}) {
    Key(w, key);
    WaitShown(w);
    EXPECT_EQ(doc->GetEntry(v->Index())->name, pictures[want]) << key;
  }

  // With Repeat it goes on at the first picture after the last, round and round.
  shown.clear();
  v->Settings().repeat = true;
  w->OnCommand(COneWnd::kSlideShow);
  ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() >= 4; }));
  w->OnCommand(COneWnd::kSlideShow);
  EXPECT_FALSE(v->SlideShowRunning());
  EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + 4),
            (std::vector<std::string>{pictures[0], pictures[1], pictures[2], pictures[0]}));

  // Holding the left button holds the show; dragging 40 pixels right steps one picture.
  v->SetInterval(100000);
  w->ShowIndex(start);
  WaitShown(w);
  w->OnCommand(COneWnd::kSlideShow);
  QTest::mousePress(v, Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_EQ(v->SlideState(), COneView::kSlideHeld);
  MouseMove(v, QPoint(140, 100), Qt::LeftButton);
  WaitShown(w);
  EXPECT_EQ(v->Index(), start + 1);
  QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(140, 100));
  EXPECT_EQ(v->SlideState(), COneView::kSlideRunning);

  // Escape stops a running show and leaves the window; the next one closes it.
  Key(w, Qt::Key_Escape);
  EXPECT_EQ(std::tuple(v->SlideShowRunning(), windows->Count()), std::tuple(false, 1));
  Key(w, Qt::Key_Escape);
  EXPECT_TRUE(QTest::qWaitFor([&] { return windows->Count() == 0; }));
}

TEST_F(PictureWindowTest, FullScreenShowStaysOnTheLastPictureAndHandsItBack) {
  COneWnd *w = OpenWindow(3, 0, {{"RXDoc", "SleepDraw", 0}, {"COneView", "AllView", 1}});
  const int last = doc->GetEntryCount() - 1;
  // The show runs modally; Escape ends it once it has reached the last picture.
  bool ended = false;
  RunFullShow(w, [&](CFullShow *show) {
    if (show->Index() != last) return false;
    QTest::qWait(150);  // a few more ticks: it must not move on or wrap
    ended = show->Index() == last;
    return true;
  });
  EXPECT_TRUE(ended);
  WaitShown(w);
  EXPECT_EQ(w->View()->Index(), last);
}

TEST_F(PictureWindowTest, SavesWhatIsDisplayedAsBmpAndJpeg) {
  COneWnd *w = OpenWindow(1, 0);
  w->OnCommand(COneWnd::kZoomIn);  // x1.5: 120 x 90
  const fs::path bmp = box.path("shown.bmp"), jpeg = box.path("shown.jpg");
  ASSERT_TRUE(w->SaveDisplayed(QString::fromStdString(bmp.string()), false));
  ASSERT_TRUE(w->SaveDisplayed(QString::fromStdString(jpeg.string()), true));
  for (const fs::path &p : {bmp, jpeg}) {
    const QImage back(QString::fromStdString(p.string()));
    ASSERT_EQ(back.size(), QSize(120, 90)) << p;
    const QColor c = back.pixelColor(60, 45), want = Expected(0);
    EXPECT_TRUE(std::abs(c.red() - want.red()) <= 6 && std::abs(c.blue() - want.blue()) <= 6)
        << c.name().toStdString();
  }
  // A folder that is not there: the failure is said, nothing is claimed.
  EXPECT_FALSE(w->SaveDisplayed(QString::fromStdString(box.path("none/x.bmp").string()), false));
  EXPECT_TRUE(!ui.Messages().empty() && ui.Messages().back()->text == "ファイルの保存に失敗しました");
}

TEST_F(PictureWindowTest, DeletingGoesToTheTrashAndTheLastPictureClosesTheWindow) {
  COneWnd *w = OpenWindow(2, 1, {{"RXDoc", "TrashCan", 1}});
  const std::string name = doc->GetEntry(1)->name;
  Key(w, Qt::Key_Delete);
  EXPECT_EQ(std::tuple(fs::exists(folder / name), fs::exists(fs::path(HomeTrashFolder()) / "files" / name)),
            std::tuple(false, true));
  ASSERT_EQ(doc->GetEntryCount(), 1);
  WaitShown(w);
  EXPECT_EQ(w->View()->Index(), 0);  // the last one went: the one before is shown
  Key(w, Qt::Key_D);
  EXPECT_TRUE(doc->GetEntryCount() == 0 && QTest::qWaitFor([&] { return windows->Count() == 0; }))
      << doc->GetEntryCount();
}

TEST_F(PictureWindowTest, MovingTheShownFileTakesItsEntryAndShowsTheNext) {
  COneWnd *w = OpenWindow(3, 1);
  const std::string name = doc->GetEntry(1)->name, next = doc->GetEntry(2)->name;
  Key(w, Qt::Key_M);
  EXPECT_EQ(std::tuple(fs::exists(box.path("moved") / name), fs::exists(folder / name), doc->GetEntryCount()),
            std::tuple(true, false, 2));
  WaitShown(w);
  EXPECT_EQ(w->windowTitle().toStdString(), next);
  // A copy leaves everything where it was.
  Key(w, Qt::Key_C);
  EXPECT_EQ(std::tuple(fs::exists(box.path("moved") / next), fs::exists(folder / next), doc->GetEntryCount()),
            std::tuple(true, true, 2));
}

TEST_F(PictureWindowTest, WindowListStepsTilesAndFollowsTheSelection) {
  COneWnd *first = OpenWindow(3, 0);
  ASSERT_TRUE(windows->Show(2, true) && windows->Count() == 2);
  COneWnd *second = windows->At(1);
  WaitShown(second);
  EXPECT_EQ(second->View()->Index(), 2);
  windows->SetActive(second);
  windows->Synchronise(1);
  WaitShown(second);
  EXPECT_EQ(std::tuple(second->View()->Index(), first->View()->Index()), std::tuple(1, 0));
  // Tab goes to the next window (wrapping): the one that follows the selection then.
  Key(second, Qt::Key_Tab);
  windows->Synchronise(2);
  WaitShown(first);
  EXPECT_EQ(first->View()->Index(), 2);
  // A new listing with Stay unbinds the windows: stepping does nothing.
  windows->Unbind();
  EXPECT_TRUE(!first->IsCommandEnabled(COneWnd::kNext) && !first->OnCommand(COneWnd::kNext));
  first->OnCommand(COneWnd::kCloseAll);
  EXPECT_EQ(windows->Count(), 0);
}

// The listing changes under a picture window (a re-sort, an earlier picture deleted by another
// program, a refresh while the command's dialog is open): each command still acts on the
// picture on screen, p101, and on nothing else.
enum class Change { kResort, kEarlierGone, kRefreshInDialog, kRefreshInDialogStay };
using ShownCase = std::tuple<Change, int>;  // the change, the command
class ActsOnShownPictureTest : public PictureWindowTest, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(ActsOnShownPictureTest, CommandTouchesTheShownPictureOnly) {
  const auto [change, command] = GetParam();
  const bool stay = change == Change::kRefreshInDialogStay;
  // p100 .. p103 listed by name, the window on p101.
  COneWnd *w = OpenWindow(
      4, 1, {{"OnePic", "Stay", stay ? 1 : 0}, {"RXDoc", "DELQA", 0}, {"RXDoc", "TrashCan", 0}}, true);
  ASSERT_EQ(w->windowTitle(), "p101.bmp");
  // Two new pictures before it and p100 gone: the old position names p050.
  const auto refresh = [&](bool added) {
    if (added)
      for (const char *name : {"p000.bmp", "p050.bmp"}) test::WriteColourPicture(folder / name, 8, 8, Qt::red);
    fs::remove(folder / "p100.bmp");
    doc->RefreshFolder();
    doc->SortBy(kSortName, 1);
  };
  if (change == Change::kResort) doc->SortBy(kSortName, 2);
  if (change == Change::kEarlierGone) refresh(false);
  if (change == Change::kRefreshInDialog || change == Change::kRefreshInDialogStay)
    (command == COneWnd::kDelete ? ui.during : host->during) = [&] { refresh(true); };
  std::vector<std::string> others = Names();
  std::erase(others, "p101.bmp");
  if (command == COneWnd::kDelete) ui.answers.push_back(IDYES);

  w->OnCommand(command);
  const bool gone = command == COneWnd::kMove || command == COneWnd::kDelete;
  std::vector<std::string> left = Names();
  if (change >= Change::kRefreshInDialog) others = {"p000.bmp", "p050.bmp", "p102.bmp", "p103.bmp"};
  if (!gone) left.erase(std::find(left.begin(), left.end(), "p101.bmp"));
  EXPECT_EQ(left, others) << "the listing lost or kept the wrong entry";
  EXPECT_EQ(fs::exists(folder / "p101.bmp"), !gone);
  for (const std::string &name : others) EXPECT_TRUE(fs::exists(folder / name)) << name;
  std::vector<std::string> transferred;
  for (const auto &f : fs::directory_iterator(box.path("moved"))) transferred.push_back(f.path().filename());
  const bool transfers = command == COneWnd::kMove || command == COneWnd::kCopy;
  EXPECT_EQ(transferred, transfers ? std::vector<std::string>{"p101.bmp"} : std::vector<std::string>{});
  if (command == COneWnd::kNote) {
    std::string note;
    EXPECT_EQ(ReadNote(folder.string(), "", "p101.bmp", note), 0);
    EXPECT_EQ(std::tuple(note, doc->GetEntry(IndexOf("p101.bmp"))->Note()), std::tuple("noted", "noted"));
  }
  if (command == COneWnd::kSelect) {
    EXPECT_EQ(std::tuple(doc->CountSelected(true), doc->GetEntry(IndexOf("p101.bmp"))->IsSelected()),
              std::tuple(1, true));
  }
  if (command == COneWnd::kPrint) {
    EXPECT_EQ(host->printed, "p101.bmp");
  }
  // Without Stay the new listing closes the window, but only once its command is done.
  if (change == Change::kRefreshInDialog) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return windows->Count() == 0; }));
  } else if (!gone) {
    EXPECT_EQ(w->windowTitle(), "p101.bmp");
  }
}

std::vector<ShownCase> ShownCases() {
  std::vector<ShownCase> cases;
  for (Change c : {Change::kResort, Change::kEarlierGone, Change::kRefreshInDialog, Change::kRefreshInDialogStay})
    for (int command : {COneWnd::kMove, COneWnd::kCopy, COneWnd::kNote, COneWnd::kSelect, COneWnd::kPrint,
                        COneWnd::kDelete})
      if (command != COneWnd::kSelect || c < Change::kRefreshInDialog)  // selecting opens no dialog
        cases.push_back({c, command});
  return cases;
}
std::string ShownCaseName(const ::testing::TestParamInfo<ShownCase> &info) {
  static const char *const changes[] = {"Resort", "EarlierGone", "RefreshInDialog", "RefreshInDialogStay"};
  return std::string(changes[static_cast<int>(std::get<0>(info.param))]) + "_" +
         std::to_string(std::get<1>(info.param));
}
INSTANTIATE_TEST_SUITE_P(Changes, ActsOnShownPictureTest, ::testing::ValuesIn(ShownCases()), ShownCaseName);

// A refresh while the full-screen show runs: without Stay the window closes when the show has
// ended (not inside it); with Stay it stays, unbound.
TEST_F(PictureWindowTest, RefreshDuringTheFullScreenShowClosesOrUnbindsAfterIt) {
  MakePictures(3);
  for (const int stay : {0, 1}) {
    SCOPED_TRACE(stay);
    COneWnd *w = OpenWindow(
        0, 0, {{"RXDoc", "SleepDraw", 100000}, {"COneView", "AllView", 1}, {"OnePic", "Stay", stay}});
    QPointer<COneWnd> alive(w);
    RunFullShow(w, [&](CFullShow *) {
      doc->RefreshFolder();
      QTest::qWait(50);  // deferred deletes run here if anything was closed inside the show
      return true;
    });
    ASSERT_TRUE(alive);
    EXPECT_TRUE(stay ? windows->Count() == 1 && !w->View()->Bound()
                     : QTest::qWaitFor([&] { return windows->Count() == 0 && !alive; }));
    CloseWindows();
    view.reset();  // the grid goes before the engine it paints from
    engine.reset();
  }
}

}  // namespace
}  // namespace tamro
