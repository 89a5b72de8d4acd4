// How fast a large folder of photographs shows its first screen of thumbnails, how long the
// whole folder takes, and the longest single event the GUI thread handled meanwhile (what a
// user feels as a stall), with a given number of workers.
//
//   firstscreen_bench [count] [width] [height] [workers]      (workers 0: one per core)
//
// One photograph-like JPEG of width x height is written and linked `count` times (every
// link is decoded on its own, as separate files would be). Runs headless.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "catalogue/engine.h"
#include "catalogue/thumbbuilder.h"
#include "platform/profile.h"
#include "views/iconsource.h"
#include "views/rxview.h"

#include "meteredapp.h"

using namespace tamro;
namespace fs = std::filesystem;

namespace {

bool VisibleDone(CRXView &view, CRXDoc &doc) {
  const int first = view.Grid().FirstIndexAt(view.Top());
  const int last = std::min(doc.GetEntryCount(), first + view.Grid().columns * (view.Grid().visibleRows + 1));
  for (int i = first; i < last; ++i)
    if (!doc.GetEntry(i)->thumbnail) return false;
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  MeteredApplication app(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int width = argc > 2 ? std::atoi(argv[2]) : 4000;
  const int height = argc > 3 ? std::atoi(argv[3]) : 3000;
  const int workers = argc > 4 ? std::atoi(argv[4]) : 0;

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
  QtIconSource icons;
  CatalogueEngine engine(profile, EngineHooks{&icons, nullptr, {}, workers, false});
  engine.Host().LoadSwitches();
  engine.DeliverResultsHere();
  CRXView view(engine, profile);
  view.resize(1024, 700);
  view.OnInitialUpdate();
  view.show();
  // Idle work as the application runs it: a zero timer while the view wants more.
  QTimer idle;
  idle.setInterval(0);
  QObject::connect(&idle, &QTimer::timeout, [&] {
    if (!view.ContinueDrawing()) idle.stop();
  });
  QObject::connect(&view, &CRXView::idleWorkWanted, [&] { idle.start(); });
  QApplication::processEvents();
  app.TakeMs();

  QElapsedTimer clock;
  clock.start();
  engine.Doc().ChangeFolder(folder.string(), nullptr, false);
  const qint64 listed = clock.elapsed();
  QApplication::processEvents();
  const qint64 captions = clock.elapsed();
  while (!VisibleDone(view, engine.Doc())) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const qint64 firstScreen = clock.elapsed();
  const double visibleGap = app.TakeMs();
  while (CRXView::DrawPhase() != CRXView::kIdle || engine.Thumbs().InFlight() > 0)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const qint64 all = clock.elapsed();
  const double backgroundGap = app.TakeMs();

  // The folder again, now that its thumbnail store holds every picture: the first screen
  // comes from the store (the listing reads it; the workers decode the small JPEGs).
  SaveFolderInfo(engine.Doc(), engine.Store());
  engine.Doc().ChangeFolder(dir.path().toStdString(), nullptr, false);
  QApplication::processEvents();
  app.TakeMs();
  clock.restart();
  engine.Doc().ChangeFolder(folder.string(), nullptr, true);
  const qint64 relisted = clock.elapsed();
  while (!VisibleDone(view, engine.Doc())) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const qint64 fromStore = clock.elapsed();
  const double storeGap = app.TakeMs();

  std::printf("files %d of %dx%d, %d workers\n", count, width, height, engine.Pool().Threads());
  std::printf("listing          %lld ms\n", static_cast<long long>(listed));
  std::printf("first captions   %lld ms\n", static_cast<long long>(captions));
  std::printf("first screen     %lld ms (visible cells %d)\n", static_cast<long long>(firstScreen),
              view.Grid().columns * (view.Grid().visibleRows + 1));
  std::printf("whole folder     %lld ms (%.1f ms per picture)\n", static_cast<long long>(all),
              static_cast<double>(all) / std::max(count, 1));
  std::printf("longest GUI-thread event, first screen   %.1f ms\n", visibleGap);
  std::printf("longest GUI-thread event, rest of folder %.1f ms\n", backgroundGap);
  std::printf("again with a store of %d records: listing %lld ms, first screen %lld ms after it, longest event %.1f ms\n",
              count, static_cast<long long>(relisted), static_cast<long long>(fromStore - relisted), storeGap);
  return 0;
}
