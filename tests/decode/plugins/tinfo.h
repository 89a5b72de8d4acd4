/* GetPluginInfo of a test plug-in: its four information entries, then nothing. */
#pragma once
#include <stdio.h>

#define TEST_PLUGIN_INFO(...)                           \
  EXPORT int GetPluginInfo(int n, char *buf, int len) { \
    static const char *const kInfo[] = {__VA_ARGS__};   \
    if (n < 0 || n >= 4 || len <= 0) return 0;          \
    snprintf(buf, (size_t)len, "%s", kInfo[n]);         \
    return 1;                                           \
  }
