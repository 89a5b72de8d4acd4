// How fast a large folder of photographs shows its first screen of thumbnails, how long the
// whole folder takes, and the longest single event the GUI thread handled meanwhile (what a
// user feels as a stall), with a given number of workers.
//
//   firstscreen_bench [count] [width] [height] [workers] [repeats]   (workers 0: one per core)
//
// With `repeats`, PageDown and then Down are held at 30 repeats a second, right after the
// first screen (thumbnails still being made) and again after the first screen from the
// store: the time from each repeat to the end of the view's next paint.
// One photograph-like JPEG of width x height is written and linked `count` times (every
// link is decoded on its own, as separate files would be). Runs headless.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>
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

// Holds a key at 30 repeats a second; answers the median and worst time from a repeat to the
// end of the view's next paint (a repeat not painted before the next one counts as 33 ms).
struct KeyTimes {
  double median = 0, worst = 0;
};
KeyTimes HoldKey(MeteredApplication &app, CRXView &view, int key, int repeats) {
  std::vector<double> times;
  QElapsedTimer sent;
  bool waiting = false;
  app.handled = [&](QObject *receiver, QEvent::Type type) {
    // Painting runs inside the window's update request.
    if (waiting && receiver == &view && type == QEvent::UpdateRequest) {
      times.push_back(static_cast<double>(sent.nsecsElapsed()) / 1e6);
      waiting = false;
    }
  };
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < repeats; ++i) {
    while (clock.elapsed() < i * 33) QApplication::processEvents(QEventLoop::AllEvents, 1);
    if (waiting) times.push_back(33.0);
    sent.start();
    waiting = true;
    QApplication::postEvent(&view, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, QString(), i > 0));
  }
  while (waiting && clock.elapsed() < repeats * 33 + 100) QApplication::processEvents(QEventLoop::AllEvents, 1);
  app.handled = nullptr;
  QApplication::postEvent(&view, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
  QApplication::processEvents();
  KeyTimes t;
  if (times.empty()) return t;
  std::sort(times.begin(), times.end());
  t.median = times[times.size() / 2];
  t.worst = times.back();
  return t;
}

void ReportKeys(MeteredApplication &app, CRXView &view, int repeats, const char *when) {
  if (repeats <= 0) return;
  app.TakeMs();
  // PageDown stops at the last page, where a repeat paints nothing.
  const KeyTimes page = HoldKey(app, view, Qt::Key_PageDown, std::min(repeats, view.Grid().rows / std::max(1, view.Grid().visibleRows) - 2));
  const KeyTimes down = HoldKey(app, view, Qt::Key_Down, repeats);
  const QString what = app.LongestWhat();
  std::printf("%s: PageDown held, repeat to painted median %.1f ms, worst %.1f ms; Down median %.1f ms, worst %.1f ms; longest event %.1f ms (%s)\n",
              when, page.median, page.worst, down.median, down.worst, app.TakeMs(), qPrintable(what));
}

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
  const int repeats = argc > 5 ? std::atoi(argv[5]) : 0;

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
    // A file takes at most 65,000 links: each run of links has its own copy.
    fs::path source = first;
    for (int i = 1; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "IMG_%05d.jpg", i);
      if (i % 60000 == 0) {
        fs::copy_file(first, folder / name);
        source = folder / name;
        continue;
      }
      fs::create_hard_link(source, folder / name);
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
  ReportKeys(app, view, repeats, "without a store");
  view.SetTop(0);
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
  const QString storeWhat = app.LongestWhat();
  const double storeGap = app.TakeMs();
  ReportKeys(app, view, repeats, "with the store");

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
  std::printf("(longest event with the store: %s)\n", qPrintable(storeWhat));
  return 0;
}
