// The frame entry, on every frame the input has (up to a few).
#include <memory>

#include "decode/builtin/gif.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tamro::fuzz::RunDecoder(tamro::builtin::kGif, data, size);
  auto state = std::make_unique<tamro::builtin::GifDecodeState>();
  std::string exact(reinterpret_cast<const char *>(data), size);
  for (int frame = 1; frame < 4; ++frame) {
    state->frameIndex = frame;
    if (tamro::builtin::GifDecodeFrame(*state, reinterpret_cast<const unsigned char *>(exact.data()), size) !=
        0)
      break;
  }
  return 0;
}
