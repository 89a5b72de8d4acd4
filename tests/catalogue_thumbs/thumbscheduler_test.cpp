// Thumbnails made on worker threads: the same results whatever the number of workers,
// visible cells first, nothing late landing after the folder changed, and a faulting
// plug-in on a worker reported while the others go on.

#include "catalogue/thumbscheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "catalogue/cellpainter.h"
#include "catalogue/engine.h"
#include "catalogue/workerpool.h"
#include "catalogue_thumbs/thumbtest.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

const CellRect kCell = test::Rect(0, 0, 100, 80);

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureGuiApp();
    Profile::ResetApp();
    folder = box.root() / "pics";
    for (int i = 0; i < 12; ++i)
      box.write("pics/p" + std::to_string(10 + i) + ".bmp",
                test::PictureBytes(300 + i * 7, 200, "BMP", [i](int x, int y) {
                  return QColor((x * 3 + i) % 256, (y * 5) % 256, (x ^ y) % 256);
                }));
  }
  // An engine, listing the pictures' folder unless told not to.
  std::unique_ptr<CatalogueEngine> Engine(int threads, bool listed = true) {
    auto e = std::make_unique<CatalogueEngine>(profile, EngineHooks{nullptr, nullptr, {}, threads, false});
    e->Host().LoadSwitches();
    if (listed) e->Doc().ChangeFolder(folder.string(), nullptr, false);
    return e;
  }
  static void AskAll(CatalogueEngine &e, int priority = WorkerPool::kBackground) {
    for (int i = 0; i < e.Doc().GetEntryCount(); ++i) e.Thumbs().Ask(i, kCell, priority);
  }

  test::Sandbox box;
  Profile profile{box.configFile()};
  fs::path folder;
};

TEST_F(SchedulerTest, OneAndManyWorkersMakeTheSameThumbnailsAndStore) {
  profile.WriteInt("RXDoc", "CacheFolder", 1);
  std::vector<std::string> thumbs[2];
  std::string stores[2];
  const int workers[2] = {1, 4};
  for (int run = 0; run < 2; ++run) {
    fs::remove(folder / CThumbStore::kFileName);
    auto e = Engine(workers[run]);
    ASSERT_EQ(std::tuple(e->Pool().Threads(), e->Doc().GetEntryCount()), std::tuple(workers[run], 12));
    int finished = 0;
    e->Thumbs().SetFinished([&](int index, CPicEntry &entry, int result) {
      EXPECT_EQ(std::tuple(e->Doc().GetEntry(index), result), std::tuple(&entry, 0));
      ++finished;
    });
    AskAll(*e);
    e->Thumbs().Finish();
    EXPECT_EQ(std::tuple(finished, e->Thumbs().InFlight()), std::tuple(12, 0));
    for (int i = 0; i < 12; ++i) {
      CPicEntry *entry = e->Doc().GetEntry(i);
      ASSERT_TRUE(entry->thumbnail) << i;
      EXPECT_EQ(
          std::tuple(entry->stored, entry->facts.decoder, e->Thumbs().Ask(i, kCell, WorkerPool::kVisible)),
          std::tuple(true, 1000, CThumbScheduler::kReady))
          << i;
      GlobalLockGuard bits(entry->thumbnail.get());
      thumbs[run].push_back(entry->name +
                            std::string(bits.as<const char>(), GlobalSize(entry->thumbnail.get())));
    }
    e->Store().Flush();
    stores[run] = test::ReadFile(folder / CThumbStore::kFileName);
  }
  for (auto &t : thumbs) std::sort(t.begin(), t.end());
  EXPECT_EQ(thumbs[0], thumbs[1]);
  EXPECT_TRUE(!stores[0].empty() && stores[0] == stores[1]);
}

TEST_F(SchedulerTest, ThumbnailsOverTheBudgetGoToTheStoreAndComeBackFromIt) {
  auto e = Engine(2);
  e->Thumbs().SetMemoryBudget(3 * 100 * 80 * 3);  // about three thumbnails
  AskAll(*e);
  e->Thumbs().Finish();
  int held = 0;
  for (int i = 0; i < 12; ++i) held += e->Doc().GetEntry(i)->thumbnail ? 1 : 0;
  EXPECT_TRUE(held >= 1 && held <= 5) << held;
  EXPECT_LE(e->Thumbs().HeldBytes(), 3u * 100 * 80 * 3);
  EXPECT_EQ(e->Store().GetFolder(folder.string()).Count(), 12u - held) << "the others wait in the store";
  // One let go (which depends on the order the workers finished in), asked for again, comes
  // back from the store. The listing keeps the order the folder gives.
  int gone = 0;
  while (gone < 12 && e->Doc().GetEntry(gone)->thumbnail) ++gone;
  ASSERT_LT(gone, 12);
  CPicEntry &back = *e->Doc().GetEntry(gone);
  EXPECT_EQ(e->Thumbs().Ask(gone, kCell, WorkerPool::kVisible), CThumbScheduler::kQueued);
  e->Thumbs().Finish();
  EXPECT_EQ(std::tuple(bool(back.thumbnail), back.facts.decoder, back.facts.width),
            std::tuple(true, 1000, 300 + (std::stoi(back.name.substr(1)) - 10) * 7))
      << back.name;
}

TEST_F(SchedulerTest, AStoreReadAfterTheFirstCellsWereAskedFillsThoseItHasRecordsFor) {
  profile.WriteInt("RXDoc", "CacheFolder", 1);
  {
    auto e = Engine(2);
    for (int i = 0; i < 8; ++i) e->Thumbs().Ask(i, kCell, WorkerPool::kVisible);
    e->Thumbs().Finish();
    e->Store().Flush();
  }
  profile.WriteInt("RXDoc", "CacheFolder", 0);
  // The file's first three records are read and answered from before the rest.
  std::string file = test::ReadFile(CThumbStore::FilePath(folder.string()));
  const ThumbFileScan scan = ParseThumbFile(std::make_shared<const ThumbBytes>(file.begin(), file.end()));
  ASSERT_EQ(scan.records.size(), 8u);
  std::set<std::string> front;
  for (int i = 0; i < 3; ++i) front.insert(scan.records[i].header.name);
  auto e = Engine(2, false);
  e->DeliverResultsHere();
  e->Store().SetFirstPartBytes(scan.records[3].offset + 1);
  std::mutex m;
  std::vector<std::function<void()>> reads;  // held back until the cells were asked
  e->Store().SetReader([&](std::function<void()> task) {
    std::lock_guard lock(m);
    reads.push_back(std::move(task));
  });
  e->Doc().ChangeFolder(folder.string(), nullptr, true);
  ASSERT_EQ(reads.size(), 1u);
  AskAll(*e, WorkerPool::kVisible);
  for (int i = 0; i < 12; ++i) EXPECT_FALSE(e->Doc().GetEntry(i)->thumbnail) << i;
  auto settle = [&](int inFlight) {
    for (int n = 0; n < 10000 && e->Thumbs().InFlight() > inFlight; ++n) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(e->Thumbs().InFlight(), inFlight);
  };
  std::thread(reads[0]).join();
  settle(9);
  for (int i = 0; i < 12; ++i) {
    const CPicEntry &entry = *e->Doc().GetEntry(i);
    EXPECT_EQ(entry.stored, front.count(entry.name) == 1) << entry.name << ": the front of the file first";
  }
  ASSERT_EQ(reads.size(), 2u);
  std::thread(reads[1]).join();
  settle(0);
  for (int i = 0; i < 12; ++i) {
    const CPicEntry &entry = *e->Doc().GetEntry(i);
    EXPECT_EQ(std::tuple(bool(entry.thumbnail), entry.stored), std::tuple(true, i < 8))
        << i << ": from the store exactly when it has the record";
  }
}

// The host's decoders, whose picture calls wait at a gate until the test opens it.
class GatedDecoders : public HostDecoders {
 public:
  using HostDecoders::HostDecoders;
  void Open() {
    std::lock_guard lock(m_);
    open_ = true;
    cv_.notify_all();
  }
  void WaitForCaller() {
    std::unique_lock lock(m_);
    cv_.wait(lock, [this] { return waiting_ > 0; });
  }
  std::vector<std::string> Order() {
    std::lock_guard lock(m_);
    return order_;
  }
  int GetPicture(int position, const PictureSource &source, long reduction, GlobalHandle &picture,
                 ProgressProc progress) override {
    {
      std::unique_lock lock(m_);
      ++waiting_;
      cv_.notify_all();
      cv_.wait(lock, [this] { return open_; });
      order_.push_back(fs::path(source.path).filename().string());
    }
    return HostDecoders::GetPicture(position, source, reduction, picture, progress);
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
  int waiting_ = 0;
  std::vector<std::string> order_;
};

class GatedTest : public SchedulerTest {
 protected:
  void SetUp() override {
    SchedulerTest::SetUp();
    host.LoadSwitches();
    doc.SetDecoders(&inner);
    doc.ChangeFolder(folder.string(), nullptr, false);
  }
  CSpiHost host;
  HostDecoders inner{host};
  GatedDecoders gated{host};
  CRXDoc doc{&profile};
  CThumbBuilder builder{&gated, nullptr, &doc.Settings()};
  WorkerPool pool{1};
  CThumbScheduler thumbs{doc, builder, pool};
};

TEST_F(GatedTest, VisibleCellsGoBeforeTheRestOfTheFolder) {
  for (int i = 0; i < 6; ++i) thumbs.Ask(i, kCell, WorkerPool::kBackground);
  gated.WaitForCaller();  // the one worker holds the first entry
  thumbs.Ask(9, kCell, WorkerPool::kVisible);
  thumbs.Ask(4, kCell, WorkerPool::kVisible);  // queued before, moved up
  gated.Open();
  thumbs.Finish();
  const auto order = gated.Order();
  ASSERT_EQ(order.size(), 7u);
  EXPECT_EQ(std::tuple(order[1], order[2]), std::tuple(doc.GetEntry(9)->name, doc.GetEntry(4)->name));
}

TEST_F(GatedTest, AFolderChangeDropsQueuedWorkAndLateResults) {
  int finished = 0;
  thumbs.SetFinished([&](int, CPicEntry &, int) { ++finished; });
  for (int i = 0; i < 12; ++i) thumbs.Ask(i, kCell, WorkerPool::kBackground);
  gated.WaitForCaller();
  box.write("other/q.bmp", test::PlainPicture(40, 30, Qt::red, "BMP"));
  doc.ChangeFolder((box.root() / "other").string(), nullptr, false);
  EXPECT_EQ(pool.Queued(), 0u) << "queued work went with the old folder";
  gated.Open();
  thumbs.Finish();
  ASSERT_EQ(doc.GetEntryCount(), 1);
  EXPECT_EQ(std::tuple(finished, bool(doc.GetEntry(0)->thumbnail), doc.GetEntry(0)->pendingJob),
            std::tuple(0, false, 0u));
  // The new folder's entries are built as usual.
  EXPECT_EQ(thumbs.Ask(0, kCell, WorkerPool::kVisible), CThumbScheduler::kQueued);
  thumbs.Finish();
  EXPECT_EQ(std::tuple(finished, bool(doc.GetEntry(0)->thumbnail)), std::tuple(1, true));
}

TEST_F(GatedTest, ARefreshWhileWorkIsQueuedAndRunningLeavesNoEntryWaiting) {
  for (int i = 0; i < 12; ++i) thumbs.Ask(i, kCell, WorkerPool::kBackground);
  gated.WaitForCaller();  // one job running, the others queued
  doc.RefreshFolder();    // the entries are kept, their work dropped
  gated.Open();
  for (int i = 0; i < 12; ++i) thumbs.Ask(i, kCell, WorkerPool::kBackground);
  thumbs.Finish();
  EXPECT_EQ(thumbs.InFlight(), 0);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(std::tuple(bool(doc.GetEntry(i)->thumbnail), thumbs.Ask(i, kCell, WorkerPool::kVisible)),
              std::tuple(true, CThumbScheduler::kReady))
        << i;
}

TEST_F(GatedTest, AFolderChangeJustAfterAResultCameInLeavesNothingInFlight) {
  // The worker has handed its result in and is still waking the main thread. What it waits
  // on outlives the test body: the worker leaves the wait after the body may have ended.
  struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool waking = false, release = false;
  };
  auto gate = std::make_shared<Gate>();
  thumbs.SetWake([gate] {
    std::unique_lock lock(gate->m);
    gate->waking = true;
    gate->cv.notify_all();
    gate->cv.wait(lock, [&] { return gate->release; });
  });
  gated.Open();
  thumbs.Ask(0, kCell, WorkerPool::kBackground);
  {
    std::unique_lock lock(gate->m);
    gate->cv.wait(lock, [&] { return gate->waking; });
  }
  box.write("other/q.bmp", test::PlainPicture(40, 30, Qt::red, "BMP"));
  doc.ChangeFolder((box.root() / "other").string(), nullptr, false);
  {
    std::lock_guard lock(gate->m);
    gate->release = true;
    gate->cv.notify_all();
  }
  ASSERT_EQ(thumbs.InFlight(), 0) << "a result dropped with the old folder still counted";
  thumbs.Finish();
}

TEST_F(SchedulerTest, AFaultingPlugInOnAWorkerIsReportedAndTheOthersGoOn) {
  const fs::path spi = box.root() / "spi";
  fs::create_directories(spi);
  fs::copy_file(fs::path(TAMRO_BIN_DIR) / "testspi" / "tfault.spi", spi / "f.spi");
  Profile::App().WriteString("SPI", "SPIDIR", spi.string());
  Profile::App().WriteInt("SPISET\\_Default", "f", 1);
  box.write("pics/zz.bin", "FAULT:read ");
  ScriptedUi ui;
  ScopedUi scoped(ui);
  auto e = Engine(3, false);
  e->LoadPlugins();
  ASSERT_EQ(e->Host().GetDecoderName(0, kSpiPicture), "f");
  e->Doc().ChangeFolder(folder.string(), nullptr, false);
  ASSERT_EQ(e->Doc().GetEntryCount(), 13);
  int failed = 0, built = 0;
  e->Thumbs().SetFinished([&](int, CPicEntry &, int result) { (result == 0 ? built : failed)++; });
  AskAll(*e);
  e->Thumbs().Finish();
  EXPECT_EQ(std::tuple(built, failed), std::tuple(12, 1));
  ASSERT_EQ(ui.Messages().size(), 1u) << "reported once";
  EXPECT_EQ(ui.Messages()[0]->caption, "SPI Exception");
}

// A caption's "$(CP)" is read on the workers once per entry: with the thumbnail, or beside
// one the entry keeps. A cell painted for the screen before shows it empty and reads nothing.
TEST_F(SchedulerTest, CaptionCameraTextIsReadOnTheWorkersOnce) {
  box.write("pics/c1.jpg", test::PlainPicture(64, 48, Qt::red, "JPEG"));
  box.write("pics/c2.jpg", test::PlainPicture(64, 48, Qt::blue, "JPEG"));
  auto e = Engine(2);
  std::mutex m;
  std::vector<std::string> asked;
  const std::thread::id gui = std::this_thread::get_id();
  e->Builder().SetDescriptionLookup([&](const std::string &path) {
    EXPECT_NE(std::this_thread::get_id(), gui);
    std::lock_guard lock(m);
    asked.push_back(fs::path(path).filename().string());
    return "cam " + asked.back();
  });
  CRXDoc &doc = e->Doc();
  doc.SortBy(kSortName, 1);  // the two before the other pictures
  const int c1 = 0, c2 = 1;
  ASSERT_EQ(std::tuple(doc.GetEntry(c1)->name, doc.GetEntry(c2)->name), std::tuple("c1.jpg", "c2.jpg"));
  e->Thumbs().Ask(c1, kCell, WorkerPool::kVisible);
  e->Thumbs().Finish();
  const HDIB kept = doc.GetEntry(c1)->thumbnail.get();
  ASSERT_TRUE(kept);
  DocSettings settings = doc.Settings();
  settings.nameFormat = "$(CP)";
  doc.ApplySettings(settings);
  CDibCanvas canvas;
  ASSERT_TRUE(canvas.Create(100, 100, 0));
  e->Painter().PaintCell(*doc.GetEntry(c2), canvas, 0, 0, 100, 100, kCellQuick);
  EXPECT_FALSE(doc.GetEntry(c2)->cameraRead);
  EXPECT_EQ(e->Thumbs().Ask(c1, kCell, WorkerPool::kVisible), CThumbScheduler::kReady);
  e->Thumbs().Ask(c2, kCell, WorkerPool::kVisible);
  e->Thumbs().Finish();
  EXPECT_EQ(std::tuple(doc.GetEntry(c1)->thumbnail.get(), doc.GetEntry(c1)->CameraText(),
                       doc.GetEntry(c2)->CameraText()),
            std::tuple(kept, "cam c1.jpg", "cam c2.jpg"));
  AskAll(*e);
  e->Thumbs().Finish();
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, (std::vector<std::string>{"c1.jpg", "c2.jpg"}));
}

}  // namespace
}  // namespace tamro
