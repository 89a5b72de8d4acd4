// Arbitrary bytes taken as a packed picture, as a lying plug-in might hand one over: the
// 24-bit conversion, and the transforms and writers after it, must refuse or stay inside.
// The first byte picks what runs after the conversion.

#include <cstdint>
#include <cstring>
#include <vector>

#include "picture/dib.h"
#include "picture/dibjpeg.h"
#include "picture/transform.h"
#include "platform/globalhandle.h"

namespace {

void Drop(tamro::HDIB result, tamro::HDIB input) {
  if (result && result != input) GlobalFree(result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const uint8_t choice = data[0];
  tamro::GlobalHandle block = tamro::GlobalHandle::Allocate(size - 1);
  if (!block) return 0;
  {
    tamro::GlobalLockGuard lock(block.get());
    std::memcpy(lock.get(), data + 1, size - 1);
  }
  tamro::HDIB h = block.get();
  // Every query on the handle must stay inside the block.
  (void)tamro::DibTotalSize(h);
  (void)tamro::DibBits(h);

  tamro::HDIB full = tamro::DibTo24Bit(h);
  if (!full) return 0;
  // Keep the work per input small: thumbnails of at most 16 x 16.
  const int w = 1 + (choice >> 4), hgt = 1 + (choice & 7);
  const double angle = (choice & 8) ? 30.0 * (choice >> 5) : 0.0;
  switch (choice % 7) {
    case 0:
      Drop(tamro::ScaleAverage(full, w, hgt, angle, choice & 1), full);
      break;
    case 1:
      Drop(tamro::ScaleBilinear(full, w, hgt, angle), full);
      break;
    case 2:
      Drop(tamro::ScaleNearest(h, w, hgt, angle), h);
      break;
    case 3:
      Drop(tamro::SharpenDib(full, 0.3), full);
      break;
    case 4:
      tamro::AdjustDibColors(h, 3, -7, 11, 0.5);
      break;
    case 5: {
      std::vector<uint8_t> out(8192);
      std::size_t n = out.size();
      tamro::EncodeDibAsJpeg(out.data(), &n, full, choice & 1, 75, nullptr, 0);
      break;
    }
    default:
      if (tamro::DibWidth(h) <= 64 && tamro::DibHeight(h) <= 64) Drop(tamro::RotateDib(h, 45), h);
      break;
  }
  Drop(full, h);
  return 0;
}
