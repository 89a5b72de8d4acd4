// Exported entry point of libcpdecode.so.
#include "describe.h"

extern "C" __attribute__((visibility("default"))) int CpDecode(const char *path, char *buffer, int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  if (!path) return 0;
  return cpdecode::Answer(cpdecode::DescribeFile(path), buffer, size);
}
