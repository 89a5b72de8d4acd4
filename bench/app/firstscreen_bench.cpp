// How fast a large folder of photographs shows its first screen of thumbnails, and how long
// the event loop waits at most while the background pass builds the rest.
//
//   firstscreen_bench [count] [width] [height] [background-steps]
//
// One photograph-like JPEG of width x height is written and linked `count` times (every
// link is decoded on its own, as separate files would be). Runs headless.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>

#include "catalogue/cellpainter.h"
#include "catalogue/hostdecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/hostdecoders.h"
#include "catalogue/thumbbuilder.h"
#include "decode/spihost.h"
#include "platform/profile.h"
#include "views/iconsource.h"
#include "views/rxview.h"

using namespace tamro;
namespace fs = std::filesystem;

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int width = argc > 2 ? std::atoi(argv[2]) : 4000;
  const int height = argc > 3 ? std::atoi(argv[3]) : 3000;
  const int backgroundSteps = argc > 4 ? std::atoi(argv[4]) : 100;

  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
  Profile::ResetApp();
  const fs::path folder = fs::path(dir.path().toStdString()) / "photos";
  fs::create_directories(folder);
  {
    QImage photo(width, height, QImage::Format_RGB888);
    QPainter p(&photo);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(30, 80, 160));
    g.setColorAt(1, QColor(220, 180, 90));
    p.fillRect(photo.rect(), g);
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < 4000; ++i)
      p.fillRect(rng->bounded(width), rng->bounded(height), 40, 40, QColor::fromRgb(rng->generate()));
    p.end();
    const fs::path first = folder / "IMG_00000.jpg";
    if (!photo.save(QString::fromStdString(first.string()), "JPG", 90)) return 1;
    for (int i = 1; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "IMG_%05d.jpg", i);
      fs::create_hard_link(first, folder / name);
    }
  }

  Profile profile((fs::path(dir.path().toStdString()) / "Tamro.ini").string());
  CSpiHost host;
  host.SetWriteBackOnDestroy(false);
  host.LoadSwitches();
  HostDecoders pictures(host);
  HostDecoders listing(host);
  CRXDoc doc(&profile);
  doc.SetDecoders(&listing);
  CThumbBuilder builder(&pictures, nullptr, &doc.Settings());
  QtIconSource icons;
  CCellPainter painter(&builder, &icons);
  painter.SetCaptionLines(&doc.CaptionItems());
  CRXView view(doc, painter, profile);
  view.resize(1024, 700);
  view.OnInitialUpdate();
  view.show();
  QApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  doc.ChangeFolder(folder.string(), nullptr, false);
  const qint64 listed = clock.elapsed();
  QApplication::processEvents();
  const qint64 captions = clock.elapsed();
  qint64 longest = 0;
  while (CRXView::DrawPhase() == CRXView::kQuick || CRXView::DrawPhase() == CRXView::kThumbs) {
    QElapsedTimer step;
    step.start();
    view.ContinueDrawing();
    QApplication::processEvents();
    longest = std::max(longest, step.elapsed());
  }
  const qint64 firstScreen = clock.elapsed();
  qint64 longestBackground = 0;
  for (int i = 0; i < backgroundSteps && CRXView::DrawPhase() == CRXView::kBackground; ++i) {
    QElapsedTimer step;
    step.start();
    view.ContinueDrawing();
    QApplication::processEvents();
    longestBackground = std::max(longestBackground, step.elapsed());
  }
  std::printf("files %d of %dx%d\n", count, width, height);
  std::printf("listing          %lld ms\n", static_cast<long long>(listed));
  std::printf("first captions   %lld ms\n", static_cast<long long>(captions));
  std::printf("first screen     %lld ms (visible cells %d)\n", static_cast<long long>(firstScreen),
              view.Grid().columns * (view.Grid().visibleRows + 1));
  std::printf("longest gap, visible phase      %lld ms\n", static_cast<long long>(longest));
  std::printf("longest gap, background phase   %lld ms\n", static_cast<long long>(longestBackground));
  return 0;
}
