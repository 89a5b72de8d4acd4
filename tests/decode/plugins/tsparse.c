/* Picture plug-in with only GetPluginInfo and IsSupported: it claims "TSPA" data but
 * cannot decode anything. */
#include <string.h>

#include "decode/spi.h"
#include "tinfo.h"

#define EXPORT __attribute__((visibility("default")))

TEST_PLUGIN_INFO("00IN", "entry points missing", "*.tsp", "TSPA")

EXPORT int IsSupported(const char *name, uintptr_t dw) {
  (void)name;
  return !SPI_DATA_IS_FD(dw) && memcmp((const char *)dw, "TSPA", 4) == 0;
}
