/* Picture plug-in with only GetPluginInfo and IsSupported: it claims "TSPA" data but
 * cannot decode anything. */
#include <stdio.h>
#include <string.h>

#include "decode/spi.h"

#define EXPORT __attribute__((visibility("default")))

EXPORT int GetPluginInfo(int n, char *buf, int len) {
  static const char *const kInfo[] = {"00IN", "entry points missing", "*.tsp", "TSPA"};
  if (n < 0 || n >= 4 || len <= 0) return 0;
  snprintf(buf, (size_t)len, "%s", kInfo[n]);
  return 1;
}

EXPORT int IsSupported(const char *name, uintptr_t dw) {
  (void)name;
  return !SPI_DATA_IS_FD(dw) && memcmp((const char *)dw, "TSPA", 4) == 0;
}
