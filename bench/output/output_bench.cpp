// Caption expansion runs for every caption line of every cell drawn: a plain text must
// cost next to nothing, the default caption little more.
#include <benchmark/benchmark.h>

#include "catalogue/macros.h"
#include "catalogue/picentry.h"

namespace {

struct Entry : tamro::CPicEntry {
  Entry() {
    SetFolder("/home/user/Pictures/2026");
    name = "DSC_0042.JPG";
    size = 3456789;
    facts.width = 6000;
    facts.height = 4000;
    facts.bitCount = 24;
    lastWriteTime = 1700000000ll * tamro::kNanosPerSecond;
  }
};

void BM_ExpandPlainText(benchmark::State &state) {
  Entry e;
  for (auto _ : state) benchmark::DoNotOptimize(tamro::ExpandMacros(&e, "holiday pictures"));
}
BENCHMARK(BM_ExpandPlainText);

void BM_ExpandDefaultCaption(benchmark::State &state) {
  Entry e;
  for (auto _ : state) benchmark::DoNotOptimize(tamro::ExpandMacros(&e, "$(PicName)"));
}
BENCHMARK(BM_ExpandDefaultCaption);

void BM_ExpandReportLine(benchmark::State &state) {
  Entry e;
  for (auto _ : state)
    benchmark::DoNotOptimize(
        tamro::ExpandMacros(&e, "$(PN)\t$(S)\t$(D) $(T)\t$(W)x$(H) $(C)bit\t$(I)\t$(N)"));
}
BENCHMARK(BM_ExpandReportLine);

void BM_FormatByteCount(benchmark::State &state) {
  uint32_t n = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tamro::FormatByteCount(n, 0, true, 1, 0, -1));
    n = n * 7 + 13;
  }
}
BENCHMARK(BM_FormatByteCount);

}  // namespace
