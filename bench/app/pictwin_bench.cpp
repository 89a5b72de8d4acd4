// Stepping through a folder of photos in a picture window with the Right key, as a user
// looking at each picture for a moment: the time from the key press to the new picture
// painted, median and worst, with pictures read ahead and without; beside it, djpeg's full
// decode of the same files.
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
#include <vector>

#include "catalogue/engine.h"
#include "catalogue/rxdoc.h"
#include "platform/profile.h"
#include "views/oneview.h"
#include "views/onewnd.h"

using namespace tamro;

namespace {

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

Figures Summarise(std::vector<double> ms) {
  if (ms.empty()) return {};
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

Figures Step(CatalogueEngine &engine, Profile &profile, bool preload, int dwell) {
  CPictureWindows windows(engine, profile);
  windows.Show(0, false);
  COneWnd *w = windows.At(0);
  COneView *v = w->View();
  v->SetPreload(preload);
  v->setFixedSize(1280, 800);
  PaintWatch watch;
  v->installEventFilter(&watch);
  QObject::connect(v, &COneView::pictureShown, [&] { watch.armed = true; });
  auto settle = [&](int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms || v->Loading()) QApplication::processEvents(QEventLoop::AllEvents, 5);
  };
  settle(dwell);
  std::vector<double> times;
  const int count = engine.Doc().GetEntryCount();
  for (int i = 1; i < count; ++i) {
    watch.painted = false;
    QElapsedTimer clock;
    clock.start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(v, &press);
    while (!watch.painted) QApplication::processEvents(QEventLoop::AllEvents, 1);
    times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    settle(dwell);
  }
  return Summarise(times);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pictwin_bench folder [dwell-ms]\n");
    return 2;
  }
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  QApplication app(argc, argv);
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

  const Figures ahead = Step(engine, profile, true, dwell);
  std::printf("read ahead:  key to painted median %.1f ms, worst %.1f ms\n", ahead.median, ahead.worst);
  const Figures cold = Step(engine, profile, false, dwell);
  std::printf("no read-ahead: key to painted median %.1f ms, worst %.1f ms\n", cold.median, cold.worst);

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
