// Picture plug-in that faults on purpose. It claims data starting with "FAULT:" and then
// does what the word after it says: "isread" (in IsSupported), "read", "write", "div",
// "fdiv", "stack", "ill", "int3", "throw", or "ok" (a 1x1 picture).
// With TAMRO_TEST_FAULT_ON_LOAD set it faults while the module is being loaded.
#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "decode/spi.h"
#include "platform/globalmem.h"
#include "tinfo.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

volatile int g_sink;
volatile bool g_forever = true;

// Reads or writes at an address that goes through a volatile, so that the compiler sees no
// constant bad pointer.
[[gnu::noinline]] void Touch(uintptr_t address, bool write = false) {
  volatile uintptr_t at = address;
  if (write)
    *reinterpret_cast<volatile int *>(at) = 1;
  else
    g_sink = *reinterpret_cast<volatile int *>(at);
}

[[gnu::noinline]] int Recurse(int depth) {
  volatile char frame[512];
  frame[depth % 512] = static_cast<char>(depth);
  if (!g_forever) return 0;
  return Recurse(depth + 1) + frame[(depth + 1) % 512];
}

struct OnLoad {
  OnLoad() {
    if (std::getenv("TAMRO_TEST_FAULT_ON_LOAD")) Touch(0x10);
  }
} g_onLoad;

// The word after "FAULT:" in `head` (at most 15 characters).
bool Kind(const char *head, std::size_t n, char *kind) {
  if (n < 6 || std::memcmp(head, "FAULT:", 6) != 0) return false;
  std::size_t i = 0;
  while (i < 15 && 6 + i < n && head[6 + i] > ' ') kind[i] = head[6 + i], ++i;
  kind[i] = 0;
  return true;
}

bool SourceKind(const char *src, long len, unsigned flag, char *kind) {
  char head[32] = {};
  std::size_t n = 0;
  if ((flag & SPI_SOURCE_MASK) == SPI_SOURCE_MEMORY) {
    n = len < 32 ? static_cast<std::size_t>(len < 0 ? 0 : len) : 32;
    std::memcpy(head, src, n);
  } else if (std::FILE *f = std::fopen(src, "rb")) {
    if (std::fseek(f, len, SEEK_SET) == 0) n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
  }
  return Kind(head, n, kind);
}

void Misbehave(const char *kind) {
  if (!std::strcmp(kind, "read")) Touch(0x10);
  if (!std::strcmp(kind, "write")) Touch(0x20, true);
  if (!std::strcmp(kind, "div")) {
    volatile int zero = 0;
    g_sink = 100 / zero;
  }
  if (!std::strcmp(kind, "fdiv")) {
    feenableexcept(FE_DIVBYZERO);
    volatile double zero = 0.0;
    g_sink = static_cast<int>(1.0 / zero);
  }
  if (!std::strcmp(kind, "stack")) g_sink = Recurse(0);
  if (!std::strcmp(kind, "ill")) __builtin_trap();
  if (!std::strcmp(kind, "int3")) __asm__ volatile("int3");
  if (!std::strcmp(kind, "throw")) throw std::runtime_error("plug-in exception");
}

}  // namespace

TEST_PLUGIN_INFO("00IN", "faulting test decoder", "*.flt", "faults")

EXPORT int IsSupported(const char *, uintptr_t dw) {
  if (SPI_DATA_IS_FD(dw)) return 0;
  char kind[16];
  if (!Kind(reinterpret_cast<const char *>(dw), SPI_HEAD_BYTES, kind)) return 0;
  if (!std::strcmp(kind, "isread")) Touch(0x10);
  return 1;
}

EXPORT int GetPictureInfo(const char *src, long len, unsigned flag, SpiPictureInfo *info) {
  char kind[16];
  if (!SourceKind(src, len, flag, kind)) return SPI_FORMAT_ERROR;
  Misbehave(kind);
  std::memset(info, 0, sizeof *info);
  info->width = info->height = 1;
  info->colorDepth = 24;
  return SPI_OK;
}

EXPORT int GetPicture(const char *src, long len, unsigned flag, HLOCAL *info, HLOCAL *bits, SPI_PROGRESS, long) {
  char kind[16];
  if (!SourceKind(src, len, flag, kind)) return SPI_FORMAT_ERROR;
  // Blocks handed out before the fault must not leak in the host.
  *info = GlobalAlloc(GHND, 40);
  *bits = GlobalAlloc(GHND, 4);
  Misbehave(kind);
  auto *bi = static_cast<unsigned char *>(GlobalLock(*info));
  const int32_t values[3] = {40, 1, 1};
  std::memcpy(bi, values, sizeof values);
  bi[12] = 1, bi[14] = 24;
  GlobalUnlock(*info);
  return SPI_OK;
}
