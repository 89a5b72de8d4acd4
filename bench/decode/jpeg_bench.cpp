// The built-in JPEG decoder against djpeg on the same 4000 x 3000 baseline picture, at full
// size and at 1/8. djpeg runs as a process writing to /dev/null, so its figures include
// starting the program and reading the file.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "decode/builtin/builtin.h"
#include "platform/globalmem.h"

extern char **environ;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// A photograph-like picture: smooth gradients, edges and some grain, quality 90.
std::vector<unsigned char> MakePicture() {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char *mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = kWidth;
  c.image_height = kHeight;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::minstd_rand rng(7);
  std::vector<unsigned char> row(kWidth * 3);
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < kWidth; ++x) {
      const int grain = static_cast<int>(rng() % 24);
      row[x * 3] = static_cast<unsigned char>((x * 255 / kWidth + grain) & 0xFF);
      row[x * 3 + 1] = static_cast<unsigned char>(((x / 50 + y / 50) % 2 ? 180 : 60) + grain);
      row[x * 3 + 2] = static_cast<unsigned char>((y * 255 / kHeight + grain) & 0xFF);
    }
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<unsigned char> out(mem, mem + size);
  jpeg_destroy_compress(&c);
  free(mem);
  return out;
}

struct Picture {
  std::vector<unsigned char> bytes = MakePicture();
  std::string path;
  Picture() {
    char name[] = "/tmp/tamro-bench-XXXXXX.jpg";
    const int fd = mkstemps(name, 4);
    path = name;
    if (fd >= 0) {
      if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) path.clear();
      close(fd);
    }
  }
  ~Picture() {
    if (!path.empty()) unlink(path.c_str());
  }
};

Picture &TestPicture() {
  static Picture p;
  return p;
}

void BM_Tamro(benchmark::State &state) {
  const auto &bytes = TestPicture().bytes;
  const long reduction = state.range(0);
  for (auto _ : state) {
    HGLOBAL out = nullptr;
    if (tamro::builtin::GetPicture(tamro::builtin::kJpeg, reinterpret_cast<const char *>(bytes.data()),
                                   static_cast<long>(bytes.size()), SPI_SOURCE_MEMORY, &out, 0, reduction,
                                   nullptr, 0) != 0) {
      state.SkipWithError("decode failed");
      break;
    }
    GlobalFree(out);
  }
}
BENCHMARK(BM_Tamro)->Arg(8)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Djpeg(benchmark::State &state) {
  const std::string &path = TestPicture().path;
  const std::string scale = "1/" + std::to_string(state.range(0));
  double childSeconds = 0;
  for (auto _ : state) {
    std::vector<std::string> args = {"djpeg", "-scale", scale, "-outfile", "/dev/null", path};
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    int status = 0;
    rusage usage{};
    if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, argv.data(), environ) != 0 ||
        wait4(pid, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("djpeg is not installed or failed");
      break;
    }
    childSeconds += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                    (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  // The CPU time of djpeg itself, comparable with the CPU column of the built-in decoder
  // when the machine is busy.
  state.counters["djpeg_cpu_ms"] =
      benchmark::Counter(childSeconds * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Djpeg)->Arg(8)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
