// Thumbnail speed: building thumbnails of real photographs (the folder named by
// TAMRO_BENCH_PHOTOS; compare.sh prepares one and times vipsthumbnail beside it), a folder of
// 200 of them opened a second time, opening a folder whose store holds 10,000 records, and
// writing such a store.

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/engine.h"
#include "catalogue/fdthumbcache.h"
#include "catalogue/hostdecoders.h"
#include "catalogue/picentry.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/thumbstore.h"
#include "decode/builtin/builtin.h"
#include "decode/spihost.h"
#include "picture/dib.h"
#include "platform/globalhandle.h"
#include "platform/profile.h"

namespace fs = std::filesystem;
using namespace tamro;

namespace {

std::unique_ptr<CPicEntry> EntryFor(const fs::path &file) {
  auto e = std::make_unique<CPicEntry>();
  e->SetFolder(file.parent_path().string());
  e->name = file.filename().string();
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    e->size = static_cast<uint64_t>(st.st_size);
    e->lastWriteTime = static_cast<FileTime>(st.st_mtim.tv_sec) * kNanosPerSecond + st.st_mtim.tv_nsec;
  }
  return e;
}

std::vector<fs::path> Photos() {
  std::vector<fs::path> files;
  const char *dir = std::getenv("TAMRO_BENCH_PHOTOS");
  if (!dir) return files;
  for (const auto &f : fs::directory_iterator(dir))
    if (f.is_regular_file() && f.path().extension() == ".jpg") files.push_back(f.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Every photograph in turn, as the background pass builds them: a new entry (nothing known
// of the picture), default ScaleMode 10 and Unsharp 1, a 110 x 110 cell, one thread.
void BM_BuildThumbnails(benchmark::State &state) {
  const std::vector<fs::path> files = Photos();
  if (files.empty()) {
    state.SkipWithError("TAMRO_BENCH_PHOTOS names no folder of .jpg files");
    return;
  }
  CSpiHost host;
  host.LoadSwitches();
  HostDecoders decoders(host);
  CThumbBuilder builder(&decoders, nullptr, nullptr);
  int64_t built = 0;
  for (auto _ : state) {
    for (const fs::path &f : files) {
      auto e = EntryFor(f);
      if (builder.EnsureThumbnail(*e, nullptr, CellRect{0, 0, 110, 110}, true) != 0)
        state.SkipWithError("decode failed");
      benchmark::DoNotOptimize(e->thumbnail.get());
      ++built;
    }
  }
  state.counters["pictures"] = static_cast<double>(files.size());
  state.counters["per_picture"] = benchmark::Counter(
      static_cast<double>(built), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BuildThumbnails)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// The same folder listed and built as the window builds it: the engine's scheduler on its
// worker pool, with 1 worker and with one per processor (argument 0).
void BM_BuildThumbnailsWorkers(benchmark::State &state) {
  const char *dir = std::getenv("TAMRO_BENCH_PHOTOS");
  if (!dir) {
    state.SkipWithError("TAMRO_BENCH_PHOTOS names no folder of .jpg files");
    return;
  }
  Profile profile((fs::temp_directory_path() / "tamro-thumbs-bench.ini").string());
  CatalogueEngine engine(profile, EngineHooks{nullptr, nullptr, {}, static_cast<int>(state.range(0)), false});
  engine.Host().LoadSwitches();
  CRXDoc &doc = engine.Doc();
  doc.ChangeFolder(dir, nullptr, false);
  const int count = doc.GetEntryCount();
  int64_t built = 0;
  for (auto _ : state) {
    for (int i = 0; i < count; ++i) {
      doc.GetEntry(i)->FreePictures();
      engine.Thumbs().Ask(i, CellRect{0, 0, 110, 110}, WorkerPool::kBackground);
    }
    engine.Thumbs().Finish();
    built += count;
  }
  state.counters["workers"] = engine.Pool().Threads();
  state.counters["pictures"] = count;
  state.counters["per_picture"] = benchmark::Counter(
      static_cast<double>(built), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BuildThumbnailsWorkers)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

// A folder of 200 photographs (the ones of TAMRO_BENCH_PHOTOS over and over) opened a
// second time, as the window does: listed, every cell asked for, until the grid is full.
// Argument 0: default settings, with the shared thumbnail cache the first visit filled;
// 1: the same after "ﾌｫﾙﾀﾞ情報を保存" wrote _THUMBS_.RXI; 2: no cache of either kind.
void BM_SecondOpen(benchmark::State &state) {
  const std::vector<fs::path> files = Photos();
  if (files.empty()) {
    state.SkipWithError("TAMRO_BENCH_PHOTOS names no folder of .jpg files");
    return;
  }
  const int mode = static_cast<int>(state.range(0));
  const fs::path root = fs::temp_directory_path() / "tamro-second-open";
  fs::remove_all(root);
  const fs::path folder = root / "photos";
  fs::create_directories(folder);
  for (int i = 0; i < 200; ++i)
    fs::copy_file(files[static_cast<std::size_t>(i) % files.size()], folder / ("IMG_" + std::to_string(1000 + i) + ".jpg"));
  Profile profile((root / "Tamro.ini").string());
  profile.WriteInt("RXDoc", "SharedThumbCache", mode == 2 ? 0 : 1);
  const CellRect cell{0, 0, 110, 110};
  auto open = [&](CatalogueEngine &engine) {
    engine.Host().LoadSwitches();
    engine.Doc().ChangeFolder(folder.string(), nullptr, true);
    const int count = engine.Doc().GetEntryCount();
    for (int i = 0; i < count; ++i) engine.Thumbs().Ask(i, cell, WorkerPool::kVisible);
    engine.Thumbs().Finish();
    return count;
  };
  const EngineHooks hooks{nullptr, nullptr, {}, -1, false, (root / "cache/thumbnails").string()};
  // The first visit, which fills the caches, is timed once beside.
  const auto start = std::chrono::steady_clock::now();
  {
    CatalogueEngine first(profile, hooks);
    open(first);
    if (mode == 1) SaveFolderInfo(first.Doc(), first.Store());
  }
  state.counters["first_visit_ms"] =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  // A picture decoded again rewrites its shared entry (a new file); one taken from the
  // cache or the store leaves it. Without the shared cache everything not stored is decoded.
  auto entryOf = [&](const CPicEntry &e) {
    return root / "cache/thumbnails/normal" / FdThumbCache::EntryName(FdThumbCache::FileUri(e.FilePath()));
  };
  auto inode = [](const fs::path &p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  int64_t decoded = 0, shown = 0, count = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<ino_t> before;
    {
      CatalogueEngine peek(profile, hooks);
      peek.Doc().ChangeFolder(folder.string(), nullptr, false);
      for (int i = 0; i < peek.Doc().GetEntryCount(); ++i) before.push_back(inode(entryOf(*peek.Doc().GetEntry(i))));
    }
    state.ResumeTiming();
    CatalogueEngine engine(profile, hooks);
    count = open(engine);
    state.PauseTiming();
    for (int i = 0; i < count; ++i) {
      const CPicEntry &e = *engine.Doc().GetEntry(i);
      shown += e.thumbnail ? 1 : 0;
      const bool rewritten = static_cast<std::size_t>(i) >= before.size() || inode(entryOf(e)) != before[i];
      decoded += !e.stored && (mode == 2 || rewritten) ? 1 : 0;
    }
    state.ResumeTiming();
  }
  state.counters["pictures"] = static_cast<double>(count);
  state.counters["decoded"] = benchmark::Counter(static_cast<double>(decoded), benchmark::Counter::kAvgIterations);
  state.counters["shown"] = benchmark::Counter(static_cast<double>(shown), benchmark::Counter::kAvgIterations);
  fs::remove_all(root);
}
BENCHMARK(BM_SecondOpen)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Pretend decoders: the records name a decoder that always exists.
class NamedDecoders : public PictureDecoders {
 public:
  int FindDecoderByName(std::string_view name, int) override { return name == "--JPG--" ? 1001 : -1; }
  std::string DecoderName(int, int) override { return "--JPG--"; }
  bool IsInUse(int, int) override { return true; }
};

constexpr int kRecords = 10000;

// A folder whose store holds 10,000 thumbnails of 110 x 83 (made once), with the entries
// that match them; the picture files themselves are not needed to match records.
struct StoredFolder {
  fs::path folder;
  std::vector<std::unique_ptr<CPicEntry>> entries;
  NamedDecoders decoders;

  StoredFolder() {
    folder = fs::temp_directory_path() / "tamro-thumbs-bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    CThumbStore store(&decoders);
    for (int i = 0; i < kRecords; ++i) {
      auto e = std::make_unique<CPicEntry>();
      e->SetFolder(folder.string());
      e->name = "IMG_" + std::to_string(10000 + i) + ".JPG";
      e->size = 3000000 + static_cast<uint64_t>(i);
      e->lastWriteTime = (1600000000LL + i) * kNanosPerSecond;
      e->facts.decoder = 1001;
      e->facts.width = 4000;
      e->facts.height = 3000;
      e->facts.bitCount = 24;
      e->thumbScaleMode = 10;
      e->thumbUnsharp = 1;
      e->thumbnail.reset(CreateDib(110, 83, 24));
      {
        // A photograph-like gradient with some detail, so the JPEG data has a usual size.
        DibLock lock(e->thumbnail.get());
        uint8_t *bits = lock.bits();
        const int64_t row = DibRowBytes(lock.header());
        for (int y = 0; y < 83; ++y)
          for (int x = 0; x < 110; ++x) {
            uint8_t *p = bits + row * y + 3 * x;
            p[0] = static_cast<uint8_t>(x * 2 + i);
            p[1] = static_cast<uint8_t>(y * 3 + ((x * y + i) & 15));
            p[2] = static_cast<uint8_t>((x ^ y) + i * 7);
          }
      }
      store.Add(*e, 95);
      e->FreePictures();
      entries.push_back(std::move(e));
    }
    store.Flush();
  }
  ~StoredFolder() { fs::remove_all(folder); }
};

StoredFolder &Stored() {
  static StoredFolder s;
  return s;
}

// Opening the folder: the store file is read and indexed, and the first screen (5 x 4
// cells) gets its thumbnails from it.
void BM_OpenStoreFirstScreen(benchmark::State &state) {
  StoredFolder &s = Stored();
  state.counters["file_MiB"] =
      static_cast<double>(fs::file_size(s.folder / CThumbStore::kFileName)) / (1024.0 * 1024.0);
  for (auto _ : state) {
    CThumbStore store(&s.decoders);
    for (int i = 0; i < 20; ++i) {
      CPicEntry &e = *s.entries[static_cast<std::size_t>(i)];
      if (store.Load(e) != 1) state.SkipWithError("record not accepted");
      e.FreePictures();
    }
  }
}
BENCHMARK(BM_OpenStoreFirstScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

// Writing a changed store of 10,000 records (through a temporary file, flushed to disk).
void BM_FlushStore(benchmark::State &state) {
  StoredFolder &s = Stored();
  CThumbStore store(&s.decoders);
  CThumbFolder &folder = store.GetFolder(s.folder.string());
  if (folder.Count() != kRecords) state.SkipWithError("store not read whole");
  // Replacing one record makes the store be written again.
  CPicEntry &first = *s.entries[0];
  first.thumbnail.reset(CreateDib(110, 83, 24));
  for (auto _ : state) {
    state.PauseTiming();
    store.Add(first, 95);
    state.ResumeTiming();
    store.Flush();
  }
  first.FreePictures();
}
BENCHMARK(BM_FlushStore)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
