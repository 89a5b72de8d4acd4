// Stepping through a folder of photos in a picture window with the Right key, as a user
// looking at each picture for a moment: the time from the key press to the new picture
// painted, median and worst, and the GUI thread's busy time per step, with pictures read
// ahead and without; then the key held down (30 repeats a second), counting the presses whose
// picture was never painted; beside it, djpeg's full decode of the same files.
//
//   pictwin_bench folder [dwell-ms]
//
// The window's client is 1280x800, fit mode 3 (stretch keeping the aspect). Runs headless.

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "catalogue/engine.h"
#include "catalogue/rxdoc.h"
#include "platform/profile.h"
#include "views/oneview.h"
#include "views/onewnd.h"

using namespace tamro;

namespace {

// Adds up the time the GUI thread spends handling events (outermost ones only).
class BusyApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject *receiver, QEvent *event) override {
    if (depth_++ > 0) {
      const bool r = QApplication::notify(receiver, event);
      --depth_;
      return r;
    }
    QElapsedTimer clock;
    clock.start();
    const bool r = QApplication::notify(receiver, event);
    const qint64 ns = clock.nsecsElapsed();
    busy_ += ns;
    longest_ = std::max(longest_, ns);
    --depth_;
    return r;
  }
  // Busy and longest event since the last call, in milliseconds.
  double TakeBusyMs() { return static_cast<double>(std::exchange(busy_, 0)) / 1e6; }
  double TakeLongestMs() { return static_cast<double>(std::exchange(longest_, 0)) / 1e6; }

 private:
  int depth_ = 0;
  qint64 busy_ = 0, longest_ = 0;
};

BusyApplication *App() { return static_cast<BusyApplication *>(qApp); }

// Notes when the view paints after a picture arrived.
class PaintWatch : public QObject {
 public:
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Paint && armed) {
      painted = true;
      armed = false;
    }
    return false;
  }
  bool armed = false, painted = false;
};

struct Figures {
  double median = 0, worst = 0;
};
struct Run {
  Figures painted, busy;
  double longest = 0;
  int skipped = 0;
};

void Print(const char *what, const Run &r) {
  std::printf(
      "%s: key to painted median %.1f ms, worst %.1f ms; GUI busy per step median %.1f ms, worst %.1f ms; "
      "longest GUI event %.1f ms",
      what, r.painted.median, r.painted.worst, r.busy.median, r.busy.worst, r.longest);
  if (r.skipped) std::printf("; %d key presses not painted", r.skipped);
  std::printf("\n");
}

Figures Summarise(std::vector<double> ms) {
  if (ms.empty()) return {};
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

// Steps through the folder, a key press every `dwell` ms (held: a repeating key, which does
// not wait for the picture to be painted).
Run Step(CatalogueEngine &engine, Profile &profile, bool preload, int dwell, bool held = false) {
  CPictureWindows windows(engine, profile);
  windows.Show(0, false);
  COneWnd *w = windows.At(0);
  COneView *v = w->View();
  v->SetPreload(preload);
  v->setFixedSize(1280, 800);
  PaintWatch watch;
  v->installEventFilter(&watch);
  int shownIndex = -1;
  QObject::connect(v, &COneView::pictureShown, [&] {
    watch.armed = true;
    shownIndex = v->Index();
  });
  auto settle = [&](int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms || (!held && v->Loading())) QApplication::processEvents(QEventLoop::AllEvents, 1);
  };
  settle(400);
  App()->TakeBusyMs();
  App()->TakeLongestMs();
  Run run;
  std::vector<double> painted, busy;
  std::vector<std::pair<int, QElapsedTimer>> waiting;  // presses whose picture is not painted yet
  const auto collect = [&] {
    if (!watch.painted) return;
    watch.painted = false;
    for (auto it = waiting.begin(); it != waiting.end();) {
      if (it->first == shownIndex) {
        painted.push_back(static_cast<double>(it->second.nsecsElapsed()) / 1e6);
      } else if (it->first > shownIndex) {
        ++it;
        continue;
      } else {
        ++run.skipped;
      }
      it = waiting.erase(it);
    }
  };
  const int count = engine.Doc().GetEntryCount();
  for (int i = 1; i < count; ++i) {
    QElapsedTimer clock;
    clock.start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), held);
    QApplication::sendEvent(v, &press);
    waiting.emplace_back(v->Index(), clock);
    if (!held)
      while (!waiting.empty()) QApplication::processEvents(QEventLoop::AllEvents, 1), collect();
    while (clock.elapsed() < dwell) QApplication::processEvents(QEventLoop::AllEvents, 1), collect();
    busy.push_back(App()->TakeBusyMs());
  }
  held = false;
  settle(dwell);
  collect();
  run.skipped += static_cast<int>(
      std::count_if(waiting.begin(), waiting.end(), [&](const auto &w) { return w.first != shownIndex; }));
  run.painted = Summarise(painted);
  run.busy = Summarise(busy);
  run.longest = App()->TakeLongestMs();
  return run;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pictwin_bench folder [dwell-ms]\n");
    return 2;
  }
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  BusyApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const int dwell = argc > 2 ? std::atoi(argv[2]) : 400;
  Profile profile(config.path().toStdString() + "/QEV/Tamro.ini");
  profile.WriteInt("COneView", "FitSize", 3);
  profile.WriteInt("OnePic", "TopMost", 0);
  EngineHooks hooks;
  hooks.writeSettings = false;
  CatalogueEngine engine(profile, hooks);
  engine.Host().LoadSwitches();
  engine.DeliverResultsHere();
  engine.Doc().ChangeFolder(folder.toStdString(), nullptr, false);
  const int count = engine.Doc().GetEntryCount();
  std::printf("%d pictures, %d workers, dwell %d ms\n", count, engine.Pool().Threads(), dwell);

  Print("read ahead", Step(engine, profile, true, dwell));
  Print("no read-ahead", Step(engine, profile, false, dwell));
  Print("key held (30/s), read ahead", Step(engine, profile, true, 33, true));

  std::vector<double> djpeg;
  for (int i = 0; i < count; ++i) {
    const QString path = QString::fromStdString(engine.Doc().GetEntry(i)->FullPath());
    QElapsedTimer clock;
    clock.start();
    QProcess p;
    p.start(QStringLiteral("djpeg"), {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), path});
    if (!p.waitForFinished(60000)) break;
    djpeg.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  const Figures d = Summarise(djpeg);
  std::printf("djpeg full decode: median %.1f ms, worst %.1f ms\n", d.median, d.worst);
  return 0;
}
