/* A picture plug-in with its own settings dialog, written from the call contract alone. It
 * reads nothing; ConfigurationDlg only records how it was called, for the test to read. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static const char *const kInfo[] = {"00IN", "Settings test plug-in", "*.tcf", "TCF files"};

EXPORT void *tcfg_parent = 0;
EXPORT int tcfg_function = 0;
EXPORT int tcfg_calls = 0;

EXPORT int GetPluginInfo(int n, char *buf, int len) {
  if (n < 0 || n >= 4 || len <= 0) return 0;
  snprintf(buf, (size_t)len, "%s", kInfo[n]);
  return (int)strlen(buf);
}

EXPORT int IsSupported(const char *name, uintptr_t dw) {
  (void)name;
  (void)dw;
  return 0;
}

EXPORT int ConfigurationDlg(void *parent, int fnc) {
  tcfg_parent = parent;
  tcfg_function = fnc;
  ++tcfg_calls;
  return 0;
}
