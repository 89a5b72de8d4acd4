// Thumbnails read from a folder index's data file.
#include <cstddef>
#include <cstdint>

#include "catalogue/packeddib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  int w = 0, h = 0;
  std::size_t used = 0;
  std::size_t need = tamro::PackedDibSize(data, size);
  tamro::GlobalHandle dib = tamro::ReadPackedDib(data, size, w, h, &used);
  if (dib && (used > size || used != need || w <= 0 || h <= 0)) __builtin_trap();
  return 0;
}
