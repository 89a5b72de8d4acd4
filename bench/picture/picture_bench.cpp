// The picture operations that run for every thumbnail, at thumbnail sizes.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "picture/dib.h"
#include "picture/dibjpeg.h"
#include "picture/transform.h"
#include "platform/globalhandle.h"

namespace {

using tamro::GlobalHandle;
using tamro::HDIB;

// A photo-like 24-bit picture: smooth gradients with some texture.
GlobalHandle Photo(int width, int height) {
  GlobalHandle h(tamro::CreateDib(width, height, 24));
  tamro::DibLock lock(h.get());
  uint8_t *bits = lock.bits();
  const int64_t row = tamro::DibRowBytes(lock.header());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t *p = bits + row * y + 3 * x;
      p[0] = static_cast<uint8_t>(x * 255 / width);
      p[1] = static_cast<uint8_t>(y * 255 / height);
      p[2] = static_cast<uint8_t>((x * 7 + y * 13) ^ (x * y));
    }
  return h;
}

void Release(HDIB result, HDIB input) {
  if (result && result != input) GlobalFree(result);
}

void BM_ScaleAverageFine(benchmark::State &state) {
  GlobalHandle pic = Photo(500, 375);
  for (auto _ : state) {
    HDIB r = tamro::ScaleAverage(pic.get(), 110, 83, 0.0, true);
    benchmark::DoNotOptimize(r);
    Release(r, pic.get());
  }
}
BENCHMARK(BM_ScaleAverageFine)->Unit(benchmark::kMicrosecond);

void BM_ScaleBilinear(benchmark::State &state) {
  GlobalHandle pic = Photo(500, 375);
  for (auto _ : state) {
    HDIB r = tamro::ScaleBilinear(pic.get(), 110, 83, 0.0);
    benchmark::DoNotOptimize(r);
    Release(r, pic.get());
  }
}
BENCHMARK(BM_ScaleBilinear)->Unit(benchmark::kMicrosecond);

void BM_SharpenDib(benchmark::State &state) {
  GlobalHandle pic = Photo(500, 375);
  for (auto _ : state) {
    HDIB r = tamro::SharpenDib(pic.get(), 0.3);
    benchmark::DoNotOptimize(r);
    Release(r, pic.get());
  }
}
BENCHMARK(BM_SharpenDib)->Unit(benchmark::kMicrosecond);

void BM_DibTo24BitFrom8(benchmark::State &state) {
  GlobalHandle pic(tamro::CreateDib(4000, 3000, 8));
  {
    tamro::DibLock lock(pic.get());
    uint8_t *table = lock.bytes() + 40;
    for (int i = 0; i < 1024; ++i) table[i] = static_cast<uint8_t>(i / 4);
    uint8_t *bits = lock.bits();
    for (int64_t i = 0; i < tamro::DibImageSize(lock.header()); ++i) bits[i] = static_cast<uint8_t>(i * 31);
  }
  for (auto _ : state) {
    HDIB r = tamro::DibTo24Bit(pic.get());
    benchmark::DoNotOptimize(r);
    Release(r, pic.get());
  }
}
BENCHMARK(BM_DibTo24BitFrom8)->Unit(benchmark::kMillisecond);

void BM_EncodeThumbnailJpeg(benchmark::State &state) {
  GlobalHandle pic = Photo(110, 83);
  std::vector<uint8_t> block(110 * 83 * 3 + 1024);
  for (auto _ : state) {
    std::size_t size = block.size();
    int ok = tamro::EncodeDibAsJpeg(block.data(), &size, pic.get(), 1, 95, nullptr, 0);
    benchmark::DoNotOptimize(ok);
  }
}
BENCHMARK(BM_EncodeThumbnailJpeg)->Unit(benchmark::kMicrosecond);

}  // namespace
