#include "decode/builtin/decoders.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the size reduction.
  const long reduction = data[0] % 10;
  tamro::builtin::JpegFindStart(data + 1, size - 1);
  tamro::fuzz::RunDecoder(tamro::builtin::kJpeg, data + 1, size - 1, reduction);
  return 0;
}
