// Windows on a high-density screen: every window of this program is at a device pixel ratio
// of 2, so that the grid paints its cells and thumbnails at device pixels, x1 in a picture
// window shows one picture pixel on one device pixel, the fit modes fit the client as the
// screen counts it, the pointer moves the picture as far as it went, and a window moved to a
// screen of another ratio is laid out again for it.

#include <unistd.h>

#include <QWheelEvent>
#include <fstream>

#include "views/onepicture.h"
#include "views/oneview.h"
#include "views/onewnd.h"
#include "views/slideshow.h"
#include "windowtest.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

// Set before the application object is made (the fixture makes it): a scale of 2 over two
// screens side by side, the second of a ratio half as large again (3 in all), so that a window
// can be moved to a screen of another ratio. The screens' file goes when the program ends.
struct Screens {
  fs::path config = fs::temp_directory_path() / ("tamro-hidpi-screens-" + std::to_string(getpid()) + ".json");
  Screens() {
    std::ofstream(config) << R"({"screens": [
      {"name": "A", "x": 0, "y": 0, "width": 800, "height": 600, "logicalDpi": 96, "dpr": 1},
      {"name": "B", "x": 800, "y": 0, "width": 1200, "height": 900, "logicalDpi": 96, "dpr": 1.5}]})";
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.string()).c_str());
    qputenv("QT_SCALE_FACTOR", "2");
  }
  ~Screens() {
    std::error_code ignored;
    fs::remove(config, ignored);
  }
} const kScreens;

// One picture pixel black, the next white: any stretching shows as pairs of equal pixels.
// Written as BMP at `path`.
QImage Checkerboard(int w, int h, const fs::path &path) {
  QImage image(w, h, QImage::Format_RGB888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixelColor(x, y, (x + y) % 2 ? Qt::white : Qt::black);
  fs::create_directories(path.parent_path());
  image.save(QString::fromStdString(path.string()), "BMP");
  return image;
}

// Whether `shot` holds `picture` one to one with its top-left at `at`.
bool HoldsAt(const QImage &shot, const QImage &picture, QPoint at) {
  const QRect area(at, picture.size());
  return shot.rect().contains(area) && shot.copy(area).convertToFormat(QImage::Format_RGB32) ==
                                           picture.convertToFormat(QImage::Format_RGB32);
}

TEST(DeviceSizeTest, RoundsAsTheScreenDoes) {
  // Size, ratio, device size, logical size. An odd device size needs the logical pixel over.
  for (const auto &[in, ratio, device, logical] :
       {std::tuple{QSize(400, 300), 1.0, QSize(400, 300), QSize(400, 300)},
        {QSize(101, 51), 2.0, QSize(202, 102), QSize(51, 26)},
        {QSize(3, 333), 1.5, QSize(5, 500), QSize(2, 222)},
        {QSize(7, 7), 1.25, QSize(9, 9), QSize(6, 6)}})
    EXPECT_EQ(std::tuple(ToDevice(in, ratio), ToLogical(in, ratio)), std::tuple(device, logical)) << ratio;
}

using HiDpiWindowTest = test::PictureWindowTest;

TEST_F(HiDpiWindowTest, AsIsShowsOnePicturePixelPerDevicePixelInTheWindowAndFullScreen) {
  const QImage board = Checkerboard(64, 48, folder / "a.bmp");
  Checkerboard(8, 8, folder / "b.bmp");
  COneWnd *w = OpenWindow(
      0, 0, {{"COneView", "FitSize", OneViewSettings::kAsIs}, {"RXDoc", "SleepDraw", 100000}}, true);
  COneView *v = w->View();
  const QSize client = v->Client();
  EXPECT_EQ(std::tuple(v->devicePixelRatioF(), client, v->DisplaySize(), w->StatusText(2), v->Position()),
            std::tuple(2.0, v->size() * 2, QSize(64, 48), "x1",
                       QPoint((client.width() - 64) / 2, (client.height() - 48) / 2)));
  EXPECT_TRUE(HoldsAt(v->grab().toImage(), board, v->Position()));
  // Zoomed to x2 each picture pixel takes 2 x 2 device pixels, as at x2 on any screen.
  for (int i = 0; i < 2; ++i) w->OnCommand(COneWnd::kZoomIn);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !v->Loading(); }));
  EXPECT_EQ(std::tuple(w->StatusText(2), v->DisplaySize()), std::tuple("x2", QSize(128, 96)));
  for (int i = 0; i < 2; ++i) w->OnCommand(COneWnd::kZoomOut);

  // The full-screen show lays the picture out on the screen's device pixels the same way.
  w->View()->Settings().allView = true;
  bool held = false;
  RunFullShow(w, [&](CFullShow *show) {
    const QSize screen = ToDevice(show->size(), 2.0);
    held =
        HoldsAt(show->grab().toImage(), board, QPoint((screen.width() - 64) / 2, (screen.height() - 48) / 2));
    return held;
  });
  EXPECT_TRUE(held);
}

TEST_F(HiDpiWindowTest, FollowsTheWindowToAScreenOfAnotherRatio) {
  const QImage board = Checkerboard(64, 48, folder / "a.bmp");
  COneWnd *w = OpenWindow(0, 0, {{"COneView", "FitSize", OneViewSettings::kAsIs}});
  COneView *v = w->View();
  ASSERT_EQ(std::tuple(QGuiApplication::screens().size(), v->devicePixelRatioF()), std::tuple(2, 2.0));
  w->setScreen(QGuiApplication::screens()[1]);
  w->move(QGuiApplication::screens()[1]->geometry().topLeft() + QPoint(20, 20));
  ASSERT_TRUE(QTest::qWaitFor([&] { return v->devicePixelRatioF() == 3.0; }));
  QTest::qWait(20);
  const QSize client = v->Client();
  EXPECT_EQ(std::tuple(v->DisplaySize(), v->Position()),
            std::tuple(QSize(64, 48), QPoint((client.width() - 64) / 2, (client.height() - 48) / 2)));
  EXPECT_TRUE(HoldsAt(v->grab().toImage(), board, v->Position()));
}

TEST_F(HiDpiWindowTest, FitModesFitTheDeviceClient) {
  Checkerboard(1000, 500, folder / "a.bmp");
  COneWnd *w = OpenWindow(0, 0, {{"COneView", "FitSize", OneViewSettings::kKeepAspect}});
  COneView *v = w->View();
  const QSize client = v->Client();
  const double scale = std::min(client.width() / 1000.0, client.height() / 500.0);
  EXPECT_EQ(v->DisplaySize(), QSize(static_cast<int>(1000 * scale), static_cast<int>(500 * scale)));
  EXPECT_EQ(w->StatusText(2), ScaleText(scale));
  // Stretch: the whole client, every device pixel of it.
  w->OnCommand(COneWnd::kFitStretch);
  EXPECT_EQ(std::tuple(v->DisplaySize(), v->Position()), std::tuple(client, QPoint(0, 0)));
  // Picture size: the window is asked for the logical client that holds the device pixels.
  QSize wanted;
  QObject::connect(v, &COneView::fitWanted, [&](const QSize &s) { wanted = s; });
  w->OnCommand(COneWnd::kFitPicture);
  for (int i = 0; i < 3; ++i) w->OnCommand(COneWnd::kZoomOut);  // x1/2.5: 400 x 200
  EXPECT_EQ(std::tuple(v->DisplaySize(), wanted), std::tuple(QSize(400, 200), QSize(200, 100)));
}

TEST_F(HiDpiWindowTest, DragAndWheelMoveThePictureAsFarAsThePointerGoes) {
  Checkerboard(1600, 1200, folder / "a.bmp");
  COneWnd *w = OpenWindow(0, 0, {{"COneView", "FitSize", OneViewSettings::kAsIs}});
  COneView *v = w->View();
  // Picture placement keeps its rule in device pixels: no gap left at either side.
  ASSERT_EQ(std::tuple(v->DisplaySize(), v->Position()), std::tuple(QSize(1600, 1200), QPoint(0, 0)));
  MouseMove(v, QPoint(50, 50), Qt::NoButton);
  ASSERT_EQ(v->MouseState(), COneView::kCanGrab);
  QTest::mousePress(v, Qt::LeftButton, {}, QPoint(50, 50));
  MouseMove(v, QPoint(40, 45), Qt::LeftButton);
  EXPECT_EQ(v->Position(), QPoint(-20, -10));
  MouseMove(v, QPoint(-2000, -2000), Qt::LeftButton);
  EXPECT_EQ(v->Position(), QPoint(v->Client().width() - 1600, v->Client().height() - 1200));
  QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(-2000, -2000));
  const QPoint before = v->Position();
  QWheelEvent wheel(QPointF(50, 50), v->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(v, &wheel);
  EXPECT_EQ(v->Position(), before + QPoint(0, 240));
}

// The grid paints its cells at device pixels, from the full canvas and without it: each cell
// shows its own picture where it is, scrolled or not, and a 1-pixel checkerboard stays one.
TEST_F(HiDpiWindowTest, GridCellsAndThumbnailsAreDrawnAtDevicePixels) {
  for (const bool fullCanvas : {true, false}) {
    SCOPED_TRACE(fullCanvas ? "full canvas" : "visible area only");
    fs::remove_all(folder);
    MakePictures(8);
    Checkerboard(212, 100, folder / "z.bmp");
    profile.WriteInt("RXView", "OverMem", fullCanvas ? 100 : 0);
    Open(400, 300);
    ASSERT_EQ(view->HasFullCanvas(), fullCanvas);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(CellCentreOnScreen(i).rgb(), Expected(i).rgb()) << i;
    view->SetTop(view->Grid().MaxTop());
    Settle();
    const int z = doc->GetEntryCount() - 1;
    for (int i = 6; i < z; ++i) EXPECT_EQ(CellCentreOnScreen(i).rgb(), Expected(i).rgb()) << i;
    const CPicEntry &e = *doc->GetEntry(z);
    const QImage shot = view->viewport()->grab().toImage();
    ASSERT_TRUE(e.displayThumbnail && shot.devicePixelRatio() == 2);
    const CellLayout l = painter->Layout(e, 0, 0, view->Grid().cellWidth, view->Grid().cellHeight);
    const CellRect place = FitThumbnailRect(e.thumbWidth, e.thumbHeight, l.picture, true);
    const int left = (z % view->Grid().columns) * view->Grid().cellWidth + place.left;
    const int row = ((z / view->Grid().columns) * view->Grid().cellHeight - view->Top()) * 2 + place.top + place.bottom;
    for (int x = left * 2; x + 1 < (left + place.right - place.left) * 2; ++x)
      ASSERT_NE(shot.pixelColor(x, row), shot.pixelColor(x + 1, row)) << x;
    view.reset();
    engine.reset();
  }
}

}  // namespace
}  // namespace tamro
