// Arbitrary bytes as the head of a picture file: the EXIF reader walks JPEG segments and
// TIFF directories whose every offset comes from the data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/orientation.h"
#include "picture/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  // A copy of exactly the input's size, so that reading one byte past it is caught.
  std::vector<unsigned char> bytes(data, data + size);
  const int orientation = tamro::ReadOrientation(bytes.data(), bytes.size());
  if (orientation < 1 || orientation > 8) __builtin_trap();
  tamro::ExifFacts facts;
  tamro::ReadExif(bytes.data(), bytes.size(), facts);
  if (facts.thumbnailOffset > size || facts.thumbnailLength > size - facts.thumbnailOffset) __builtin_trap();
  return 0;
}
