// The main window on a very large folder: how soon the details list shows its first rows
// and what the list costs in memory, how long sorting all entries by a header click takes,
// and how the window follows a burst of files another program writes into the folder
// (time until all are listed, the longest event the GUI thread handled meanwhile).
//
//   details_bench [count] [burst]
//
// `count` small BMP files (hard links of a few) are made in a temporary folder. Runs headless.

#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "app/mainframe.h"
#include "catalogue/engine.h"
#include "catalogue/rxdoc.h"
#include "fileops/foldermonitor.h"
#include "platform/profile.h"
#include "views/iconsource.h"
#include "views/lstview.h"
#include "views/rxview.h"

#include "meteredapp.h"

using namespace tamro;
namespace fs = std::filesystem;

namespace {

// Counts the paints of a widget.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;  // large blocks are mapped on their own
}

long ResidentKb() {
  long pages = 0, resident = 0;
  if (FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void MakeFiles(const fs::path &folder, int first, int count, const fs::path &source) {
  // A file system allows only so many links to one file.
  fs::path src = source;
  for (int i = first; i < first + count; ++i) {
    if ((i - first) % 50000 == 0) {
      src = source.string() + "." + std::to_string(i);
      fs::copy_file(source, src, fs::copy_options::overwrite_existing);
    }
    char name[32];
    std::snprintf(name, sizeof name, "p%06d.bmp", i);
    fs::create_hard_link(src, folder / name);
  }
}

template <class Done>
void RunUntil(Done done) {
  while (!done()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

}  // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  MeteredApplication app(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int burst = argc > 2 ? std::atoi(argv[2]) : 1000;
  const int refreshes = argc > 3 ? std::atoi(argv[3]) : 3;

  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
  Profile::ResetApp();
  const fs::path root(dir.path().toStdString());
  const fs::path folder = root / "many", empty = root / "empty";
  fs::create_directories(folder);
  fs::create_directories(empty);
  const fs::path source = root / "source.bmp";
  {
    QImage picture(32, 24, QImage::Format_RGB888);
    picture.fill(Qt::darkCyan);
    if (!picture.save(QString::fromStdString(source.string()), "BMP")) return 1;
  }
  MakeFiles(folder, 0, count, source);

  Profile &profile = Profile::App();
  profile.WriteInt("MainFrame", "FolderMonitor", 1);
  profile.WriteString("MainFrame", "Window", "0,0,1200,850");
  profile.WriteString("LstView", "Window", "0,0,160,250");
  QtIconSource icons;
  CatalogueEngine engine(profile, EngineHooks{&icons, nullptr, {}, 0, false});
  engine.Host().LoadSwitches();
  engine.DeliverResultsHere();
  CMainFrame frame(engine, profile);
  QTimer idle;
  idle.setInterval(0);
  QObject::connect(&idle, &QTimer::timeout, [&] {
    if (!frame.OnIdle(0)) idle.stop();
  });
  QObject::connect(&frame, &CMainFrame::idleWorkWanted, [&] { idle.start(); });
  frame.View()->OnInitialUpdate();
  CRXDoc &doc = engine.Doc();
  doc.ChangeFolder(empty.string(), nullptr, false);
  frame.show();
  CLstView *list = frame.List();
  PaintCounter listPaints;
  list->viewport()->installEventFilter(&listPaints);
  for (int i = 0; i < 20; ++i) QApplication::processEvents();

  // Opening: the listing itself, then the first paint of the list's rows.
  const size_t heapBefore = HeapInUse();
  app.TakeMs();
  QElapsedTimer clock;
  clock.start();
  int paints = listPaints.paints;
  doc.ChangeFolder(folder.string(), nullptr, false);
  const qint64 listed = clock.elapsed();
  RunUntil([&] { return listPaints.paints > paints; });
  const qint64 firstRows = clock.elapsed();
  const double openGap = app.TakeMs();
  const size_t heapWithEntries = HeapInUse();
  // What a details list holds for its rows: a second one made on the same entries.
  const size_t heapNoRows = HeapInUse();
  size_t heapRows = heapNoRows;
  {
    CLstView second(doc, profile);
    second.resize(1000, 250);
    second.show();
    second.scrollToBottom();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    heapRows = HeapInUse();
  }
  QApplication::processEvents();

  // Sorting by a header click: by name, then by date (random dates given to the entries).
  {
    std::mt19937 rng(7);
    for (int i = 0; i < doc.GetAllEntryCount(); ++i)
      doc.GetEntryAt(i)->lastWriteTime = static_cast<FileTime>(rng() % 100000000) * kNanosPerSecond;
  }
  auto sortBy = [&](int column) {
    paints = listPaints.paints;
    clock.restart();
    list->SortByColumn(column);
    const qint64 sorted = clock.elapsed();
    RunUntil([&] { return listPaints.paints > paints; });
    return std::make_pair(sorted, clock.elapsed());
  };
  const auto byName = sortBy(kSortName);
  const auto byDate = sortBy(kSortTime);
  const auto byNameAgain = sortBy(kSortName);
  (void)byNameAgain;

  // Let the thumbnails of what is visible settle, then another program writes a burst.
  for (int i = 0; i < 200; ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
  RunUntil([&] { return frame.Monitor().Running(); });
  app.TakeMs();
  std::atomic<bool> written{false};
  std::atomic<qint64> writtenAt{0};
  clock.restart();
  std::thread writer([&] {
    MakeFiles(folder, count, burst, source);
    writtenAt = clock.elapsed();
    written = true;
  });
  RunUntil([&] { return written.load() && doc.GetEntryCount() == count + burst; });
  const qint64 burstListed = clock.elapsed();
  const double burstGap = app.TakeMs();
  writer.join();

  // The folder read again as the monitor does it, with the windows following.
  qint64 refreshMs = 0;
  for (int i = 0; i < refreshes; ++i) {
    QApplication::processEvents();
    clock.restart();
    doc.RefreshFolder();
    refreshMs += clock.elapsed();
  }

  std::printf("entries %d, burst %d\n", count, burst);
  std::printf("open: listing %lld ms, details list's first rows %lld ms, longest GUI event %.1f ms\n",
              static_cast<long long>(listed), static_cast<long long>(firstRows), openGap);
  std::printf("memory: entries %.1f MB, details list rows %.1f MB, resident %ld MB\n",
              static_cast<double>(heapWithEntries - heapBefore) / 1e6,
              static_cast<double>(heapRows > heapNoRows ? heapRows - heapNoRows : 0) / 1e6,
              ResidentKb() / 1024);
  std::printf("sort by name: %lld ms (painted %lld ms); by date: %lld ms (painted %lld ms)\n",
              static_cast<long long>(byName.first), static_cast<long long>(byName.second),
              static_cast<long long>(byDate.first), static_cast<long long>(byDate.second));
  std::printf("burst of %d files: all listed after %lld ms (%lld ms after the burst ended), longest GUI event %.1f ms\n",
              burst, static_cast<long long>(burstListed), static_cast<long long>(burstListed - writtenAt.load()),
              burstGap);
  if (refreshes > 0)
    std::printf("reading the folder again: %lld ms\n", static_cast<long long>(refreshMs / refreshes));
  return 0;
}
