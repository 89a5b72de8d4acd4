/* Picture plug-in that only works on files: given a memory image it answers a format
 * error. Claims "TMEM" and "TPIX" pictures (the TPIC layout). */
#include <stdio.h>
#include <string.h>

#include "decode/spi.h"
#include "platform/globalmem.h"
#include "tinfo.h"

#define EXPORT __attribute__((visibility("default")))

TEST_PLUGIN_INFO("00IN", "file-only test decoder", "*.tmm;*.tpx", "TMEM pictures")

EXPORT int IsSupported(const char *name, uintptr_t dw) {
  (void)name;
  if (SPI_DATA_IS_FD(dw)) return 0;
  const char *p = (const char *)dw;
  return memcmp(p, "TMEM", 4) == 0 || memcmp(p, "TPIX", 4) == 0;
}

static int ReadHeader(const char *src, long offset, unsigned flag, unsigned char *h) {
  if ((flag & SPI_SOURCE_MASK) != SPI_SOURCE_FILE) return SPI_FORMAT_ERROR;
  FILE *f = fopen(src, "rb");
  if (!f) return SPI_READ_ERROR;
  int ok = fseek(f, offset, SEEK_SET) == 0 && fread(h, 1, 12, f) == 12;
  fclose(f);
  return ok ? SPI_OK : SPI_DATA_ENDED;
}

EXPORT int GetPictureInfo(const char *src, long len, unsigned flag, SpiPictureInfo *info) {
  unsigned char h[12];
  int r = ReadHeader(src, len, flag, h);
  if (r) return r;
  memset(info, 0, sizeof *info);
  info->width = h[4] | h[5] << 8;
  info->height = h[6] | h[7] << 8;
  info->colorDepth = 24;
  return SPI_OK;
}

EXPORT int GetPicture(const char *src, long len, unsigned flag, HLOCAL *info, HLOCAL *bits, SPI_PROGRESS progress,
                      long user) {
  (void)progress, (void)user;
  unsigned char h[12];
  int r = ReadHeader(src, len, flag, h);
  if (r) return r;
  int32_t w = h[4] | h[5] << 8, ht = h[6] | h[7] << 8;
  if (w <= 0 || ht <= 0) return SPI_FORMAT_ERROR;
  size_t row = (size_t)((w * 24 + 31) / 32) * 4;
  *info = GlobalAlloc(GHND, 40);
  *bits = GlobalAlloc(GHND, row * (size_t)ht);
  unsigned char *bi = GlobalLock(*info);
  int32_t v = 40;
  memcpy(bi, &v, 4), memcpy(bi + 4, &w, 4), memcpy(bi + 8, &ht, 4);
  bi[12] = 1, bi[14] = 24;
  GlobalUnlock(*info);
  unsigned char *p = GlobalLock(*bits);
  for (int y = 0; y < ht; ++y)
    for (int x = 0; x < w; ++x) memcpy(p + (size_t)y * row + (size_t)x * 3, h + 9, 3);
  GlobalUnlock(*bits);
  return SPI_OK;
}
