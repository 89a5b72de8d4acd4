// Listing, refreshing and sorting a folder of 100,000 small files, beside find(1) on the
// same folder, and the memory an entry without a thumbnail takes.
//
//   catalogue_bench --make-folder DIR [COUNT]   makes the folder (run.sh does this)
//   TAMRO_BENCH_FOLDER=DIR catalogue_bench      runs the benchmarks on it

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "catalogue/engine.h"
#include "catalogue/rxdoc.h"
#include "platform/profile.h"

namespace {

std::string BenchFolder() {
  const char *f = std::getenv("TAMRO_BENCH_FOLDER");
  return f && *f ? f : "/tmp/tamro-bench-100k";
}

int MakeFolder(const std::string &dir, int count) {
  if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    std::perror(dir.c_str());
    return 1;
  }
  char name[64];
  std::string content(200, 'x');
  for (int i = 0; i < count; ++i) {
    // Camera-like names, long enough not to fit a short-string buffer.
    std::snprintf(name, sizeof name, "/DSC_20240612_%06d.jpg", i);
    std::string path = dir + name;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
      std::perror(path.c_str());
      return 1;
    }
    ssize_t n = ::write(fd, content.data(), 100 + i % 100);
    ::close(fd);
    if (n < 0) return 1;
  }
  return 0;
}

// The settings live in a throw-away file, so the run leaves the user's store alone.
tamro::Profile &BenchProfile() {
  static tamro::Profile p("/tmp/tamro-bench-settings.ini");
  return p;
}

void BM_Find(benchmark::State &state) {
  std::string cmd = "find '" + BenchFolder() + "' -maxdepth 1 -printf '%s %T@ %f\\n'";
  std::vector<char> buf(1 << 16);
  std::size_t lines = 0;
  struct rusage before {};
  ::getrusage(RUSAGE_CHILDREN, &before);
  for (auto _ : state) {
    FILE *p = ::popen(cmd.c_str(), "r");
    if (!p) {
      state.SkipWithError("find failed");
      return;
    }
    lines = 0;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
      lines += std::count(buf.begin(), buf.begin() + n, '\n');
    ::pclose(p);
  }
  state.counters["files"] = static_cast<double>(lines);
  // find's own processor time, which the CPU column (this process only) leaves out.
  struct rusage after {};
  ::getrusage(RUSAGE_CHILDREN, &after);
  auto ms = [](const struct timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  double used = ms(after.ru_utime) - ms(before.ru_utime) + ms(after.ru_stime) - ms(before.ru_stime);
  state.counters["find_cpu_ms"] = used / static_cast<double>(state.iterations());
}

void BM_ListFolder(benchmark::State &state) {
  tamro::CRXDoc doc(&BenchProfile());
  doc.ChangeFolder(BenchFolder(), nullptr, false);
  for (auto _ : state) {
    doc.ClearEntries(true);
    tamro::ScanRequest r = doc.BuildRequest(false);
    doc.ListFolder(r);
  }
  state.counters["files"] = doc.GetEntryCount();
}

// The same through the engine the window uses (plug-in host, store and workers attached).
void BM_ListFolderEngine(benchmark::State &state) {
  tamro::CatalogueEngine engine(BenchProfile(), tamro::EngineHooks{nullptr, nullptr, {}, 0, false});
  engine.LoadPlugins();
  tamro::CRXDoc &doc = engine.Doc();
  doc.ChangeFolder(BenchFolder(), nullptr, false);
  for (auto _ : state) doc.RefreshFolder();
  state.counters["files"] = doc.GetEntryCount();
}

void BM_RefreshUnchanged(benchmark::State &state) {
  tamro::CRXDoc doc(&BenchProfile());
  doc.ChangeFolder(BenchFolder(), nullptr, false);
  for (auto _ : state) doc.RefreshFolder();
  state.counters["files"] = doc.GetEntryCount();
}

void BM_SortByName(benchmark::State &state) {
  tamro::CRXDoc doc(&BenchProfile());
  doc.ChangeFolder(BenchFolder(), nullptr, false);
  int n = doc.GetEntryCount();
  std::vector<int> shuffled(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) shuffled[static_cast<std::size_t>(i)] = i;
  std::mt19937 rng(42);
  for (auto _ : state) {
    state.PauseTiming();
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    doc.WriteOrderBack(shuffled, nullptr);
    state.ResumeTiming();
    doc.SortBy(tamro::kSortName, 1);
  }
  state.counters["entries"] = n;
}

// Heap and object bytes per listed entry, counted by the allocator.
void BM_BytesPerEntry(benchmark::State &state) {
  tamro::CRXDoc doc(&BenchProfile());
  double perEntry = 0;
  for (auto _ : state) {
    doc.ClearEntries(true);
    malloc_trim(0);
    std::size_t before = mallinfo2().uordblks;
    tamro::ScanRequest r = doc.BuildRequest(false);
    r.folder = BenchFolder();
    doc.ListFolder(r);
    std::size_t after = mallinfo2().uordblks;
    int n = doc.GetAllEntryCount();
    perEntry = n ? static_cast<double>(after - before) / n : 0;
  }
  state.counters["bytes_per_entry"] = perEntry;
  state.counters["sizeof_entry"] = sizeof(tamro::CPicEntry);
}

}  // namespace

BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ListFolder)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ListFolderEngine)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RefreshUnchanged)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SortByName)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BytesPerEntry)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--make-folder") == 0)
    return MakeFolder(argv[2], argc >= 4 ? std::atoi(argv[3]) : 100000);
  struct stat st {};
  if (::stat(BenchFolder().c_str(), &st) != 0) {
    std::fprintf(stderr, "no folder %s: run bench/catalogue/run.sh\n", BenchFolder().c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
