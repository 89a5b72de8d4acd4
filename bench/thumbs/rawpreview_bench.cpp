// Thumbnails of camera RAW files: 60 DNGs of a 4000 x 3000 RGGB mosaic (16-bit, uncompressed)
// with a 1600 x 1200 JPEG preview in the first directory, written here with libtiff. The first
// screen and the whole folder built by the engine's workers, with the embedded previews taken
// (argument 1) and with every picture developed by the RAW plug-in (argument 0).

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "catalogue/engine.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "catalogue/workerpool.h"
#include "platform/profile.h"

namespace fs = std::filesystem;
using namespace tamro;

namespace {

constexpr int kFiles = 60;
// Distinct pictures written; the rest of the folder are copies of them.
constexpr int kVariants = 4;
constexpr int kSensorWidth = 4000, kSensorHeight = 3000;
constexpr int kPreviewWidth = 1600, kPreviewHeight = 1200;
// Cells of a first screen: a 1280 x 800 window of 110 x 110 cells holds about 8 x 5.
constexpr int kFirstScreen = 40;

fs::path g_folder;

// A smooth scene with fine noise on it, so neither the JPEG nor the mosaic is trivially flat.
int Scene(int x, int y, int width, int height, int channel, int seed) {
  const int gx = x * 255 / width, gy = y * 255 / height;
  switch ((channel + seed) % 3) {
    case 0: return gx;
    case 1: return gy;
    default: return (gx + gy) / 2;
  }
}

// Laid out as cameras write DNGs: the first directory the preview with the camera's
// description, its sub-directory the sensor's data.
bool WriteDng(const fs::path &path, int seed) {
  TIFF *tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  std::mt19937 noise(static_cast<unsigned>(seed));
  const auto common = [&](int width, int height) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, 1);
  };
  const float toCamera[9] = {3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f, 0.0415f, 0.0557f, -0.2040f, 1.0570f};
  const float neutral[3] = {1, 1, 1};
  uint64_t subIfd = 0;
  common(kPreviewWidth, kPreviewHeight);
  TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kPreviewHeight);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
  TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, 0);  // a whole JPEG stream, as cameras store it
  TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
  TIFFSetField(tif, TIFFTAG_MAKE, "Tamro");
  TIFFSetField(tif, TIFFTAG_MODEL, "Benchcam");
  TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Tamro Benchcam");
  TIFFSetField(tif, TIFFTAG_DNGVERSION, "\1\4\0\0");
  TIFFSetField(tif, TIFFTAG_DNGBACKWARDVERSION, "\1\1\0\0");
  TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, toCamera);
  TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
  TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
  TIFFSetField(tif, TIFFTAG_SUBIFD, 1, &subIfd);
  std::vector<uint8_t> rgb(static_cast<size_t>(kPreviewWidth) * 3u);
  bool ok = true;
  for (int y = 0; ok && y < kPreviewHeight; ++y) {
    for (int x = 0; x < kPreviewWidth; ++x)
      for (int c = 0; c < 3; ++c)
        rgb[static_cast<size_t>(x) * 3u + c] = static_cast<uint8_t>(
            std::clamp(Scene(x, y, kPreviewWidth, kPreviewHeight, c, seed) + static_cast<int>(noise() % 9) - 4, 0, 255));
    ok = TIFFWriteScanline(tif, rgb.data(), static_cast<uint32_t>(y), 0) == 1;
  }
  ok = ok && TIFFWriteDirectory(tif);
  // The sensor: 12-bit values in 16-bit samples, black at 0 and white at 4095.
  common(kSensorWidth, kSensorHeight);
  TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
  const uint16_t repeat[2] = {2, 2};
  const uint8_t rggb[4] = {0, 1, 1, 2};
  const uint32_t white = 4095;
  TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, repeat);
  TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, rggb);
  TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, &white);
  std::vector<uint16_t> row(static_cast<size_t>(kSensorWidth));
  for (int y = 0; ok && y < kSensorHeight; ++y) {
    for (int x = 0; x < kSensorWidth; ++x) {
      const int channel = (y & 1) + (x & 1);  // R, G, B of the RGGB pattern
      row[static_cast<size_t>(x)] =
          static_cast<uint16_t>(Scene(x, y, kSensorWidth, kSensorHeight, channel, seed) * 16 + noise() % 64);
    }
    ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) == 1;
  }
  ok = ok && TIFFWriteDirectory(tif);
  TIFFClose(tif);
  return ok;
}

bool MakeFolder() {
  char name[] = "/tmp/tamro-raw-bench-XXXXXX";
  if (mkdtemp(name) == nullptr) return false;
  g_folder = name;
  for (int n = 0; n < kFiles; ++n) {
    char file[32];
    std::snprintf(file, sizeof file, "IMG_%04d.dng", n + 1);
    const fs::path path = g_folder / file;
    std::error_code ec;
    if (n < kVariants ? !WriteDng(path, n) : !fs::copy_file(g_folder / ("IMG_000" + std::to_string(n % kVariants + 1) + ".dng"), path, ec))
      return false;
  }
  return true;
}

void BuildFolder(benchmark::State &state, int limit) {
  const fs::path ini = fs::temp_directory_path() / "tamro-rawpreview-bench.ini";
  fs::remove(ini);
  Profile profile(ini.string());
  CatalogueEngine engine(profile, EngineHooks{nullptr, nullptr, {}, 0, false});
  engine.LoadPlugins();
  CRXDoc &doc = engine.Doc();
  DocSettings settings = doc.Settings();
  settings.embeddedPreview = static_cast<int>(state.range(0));
  settings.sharedThumbCache = 0;  // every run builds, none reads what the last one kept
  doc.ApplySettings(settings);
  doc.ChangeFolder(g_folder.string(), nullptr, false);
  const int count = std::min(limit, doc.GetEntryCount());
  if (count != std::min(limit, kFiles)) {
    state.SkipWithError("the folder of DNGs is not listed whole");
    return;
  }
  int64_t built = 0;
  for (auto _ : state) {
    for (int i = 0; i < count; ++i) {
      doc.GetEntry(i)->FreePictures();
      engine.Thumbs().Ask(i, CellRect{0, 0, 110, 110}, WorkerPool::kVisible);
    }
    engine.Thumbs().Finish();
    built += count;
  }
  int made = 0, fromPreview = 0;
  for (int i = 0; i < count; ++i) {
    if (doc.GetEntry(i)->thumbnail) ++made;
    if (doc.GetEntry(i)->thumbTreatment & kTreatPreview) ++fromPreview;
  }
  state.counters["workers"] = engine.Pool().Threads();
  state.counters["pictures"] = count;
  state.counters["made"] = made;
  state.counters["from_preview"] = fromPreview;
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
  if (!MakeFolder()) {
    std::fprintf(stderr, "could not write the DNGs under /tmp\n");
    if (!g_folder.empty()) fs::remove_all(g_folder);
    return 1;
  }
  std::printf("%d DNGs of a %dx%d mosaic with a %dx%d JPEG preview in %s\n", kFiles, kSensorWidth,
              kSensorHeight, kPreviewWidth, kPreviewHeight, g_folder.c_str());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(g_folder);
  return 0;
}
