/* A module whose interface kind is neither picture nor archive. It also never stops
 * answering information entries, which the host must cut off. */
#include <stdio.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int GetPluginInfo(int n, char *buf, int len) {
  if (len <= 0) return 0;
  snprintf(buf, (size_t)len, "%s", n == 0 ? "00XX" : "*.wrd");
  return 1;
}

EXPORT int IsSupported(const char *name, unsigned long dw) {
  (void)name, (void)dw;
  return 1;
}
