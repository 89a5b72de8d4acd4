// The EXIF reading of libcpdecode.so on arbitrary file images.
#include <cstddef>
#include <cstdint>

#include "describe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string line = cpdecode::DescribeExif(data, size);
  char buffer[128];
  cpdecode::Answer(line, buffer, sizeof buffer);
  return 0;
}
