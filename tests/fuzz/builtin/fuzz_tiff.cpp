#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tamro::fuzz::RunDecoder(tamro::builtin::kTiff, data, size);
  return 0;
}
