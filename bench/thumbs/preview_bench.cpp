// Thumbnails of camera photographs with embedded previews (the folder named by
// TAMRO_BENCH_PREVIEWS; previews.sh prepares 300 12-megapixel JPEGs with a 160 x 120 EXIF
// thumbnail): the first screen and the whole folder built by the engine's workers, with the
// embedded previews taken (argument 1) and with every picture decoded (argument 0).

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "catalogue/engine.h"
#include "catalogue/rxdoc.h"
#include "catalogue/workerpool.h"
#include "platform/profile.h"

namespace fs = std::filesystem;
using namespace tamro;

namespace {

// Cells of a first screen: a 1280 x 800 window of 110 x 110 cells holds about 8 x 5.
constexpr int kFirstScreen = 40;

void BuildFolder(benchmark::State &state, int limit) {
  const char *dir = std::getenv("TAMRO_BENCH_PREVIEWS");
  if (!dir) {
    state.SkipWithError("TAMRO_BENCH_PREVIEWS names no folder of camera JPEGs");
    return;
  }
  const fs::path ini = fs::temp_directory_path() / "tamro-preview-bench.ini";
  fs::remove(ini);
  Profile profile(ini.string());
  CatalogueEngine engine(profile, EngineHooks{nullptr, nullptr, {}, 0, false});
  engine.Host().LoadSwitches();
  CRXDoc &doc = engine.Doc();
  DocSettings settings = doc.Settings();
  settings.embeddedPreview = static_cast<int>(state.range(0));
  settings.sharedThumbCache = 0;  // every run builds, none reads what the last one kept
  doc.ApplySettings(settings);
  doc.ChangeFolder(dir, nullptr, false);
  const int count = std::min(limit, doc.GetEntryCount());
  int64_t built = 0;
  for (auto _ : state) {
    for (int i = 0; i < count; ++i) {
      doc.GetEntry(i)->FreePictures();
      engine.Thumbs().Ask(i, CellRect{0, 0, 110, 110}, WorkerPool::kVisible);
    }
    engine.Thumbs().Finish();
    built += count;
  }
  state.counters["workers"] = engine.Pool().Threads();
  state.counters["pictures"] = count;
  state.counters["per_picture"] = benchmark::Counter(static_cast<double>(built),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_FirstScreen(benchmark::State &state) { BuildFolder(state, kFirstScreen); }
void BM_WholeFolder(benchmark::State &state) { BuildFolder(state, 1 << 30); }

BENCHMARK(BM_FirstScreen)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_WholeFolder)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char **argv) {
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
