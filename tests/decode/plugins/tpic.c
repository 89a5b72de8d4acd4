/* Picture plug-in for the test format "TPIC" (also "TPIX"), written only from the call
 * contract: its own declarations, no Tamro header, and it links nothing of Tamro; the
 * global-memory calls resolve from the host.
 *
 * Format: "TPIC", width (u16 LE), height (u16 LE), depth (8 or 24), fill bytes B G R,
 * byte 12 'C' for a comment, byte 13 'S' for a pixel block that is too small. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

typedef void *HLOCAL;
extern HLOCAL GlobalAlloc(unsigned flags, size_t bytes);
extern void *GlobalLock(HLOCAL h);
extern int GlobalUnlock(HLOCAL h);
extern HLOCAL GlobalFree(HLOCAL h);

typedef int (*Progress)(int, int, long);

#pragma pack(push, 1)
struct PictureInfo {
  int32_t left, top, width, height;
  uint16_t xDensity, yDensity;
  int16_t depth;
  uint32_t text;
};
#pragma pack(pop)

static const char *const kInfo[] = {"00IN", "TPIC test decoder", "*.tpc;*.tpx", "TPIC pictures"};

EXPORT int GetPluginInfo(int n, char *buf, int len) {
  if (n < 0 || n >= 4 || len <= 0) return 0;
  snprintf(buf, (size_t)len, "%s", kInfo[n]);
  return (int)strlen(buf);
}

static int Claimed(const unsigned char *p) { return memcmp(p, "TPIC", 4) == 0 || memcmp(p, "TPIX", 4) == 0; }

EXPORT int IsSupported(const char *name, uintptr_t dw) {
  unsigned char head[16] = {0};
  (void)name;
  if (dw < 0x10000) {
    FILE *f = fdopen(dup((int)dw), "rb");
    if (!f) return 0;
    size_t got = fread(head, 1, sizeof head, f);
    fclose(f);
    if (got < 4) return 0;
  } else {
    memcpy(head, (const void *)dw, sizeof head);
  }
  return Claimed(head);
}

/* The first 16 bytes of the source, from memory or from the file at the offset. */
static int Header(const char *src, long len, unsigned flag, unsigned char *h) {
  if ((flag & 7) == 1) {
    if (len < 16) return 2;
    memcpy(h, src, 16);
  } else {
    FILE *f = fopen(src, "rb");
    if (!f) return 6;
    int ok = fseek(f, len, SEEK_SET) == 0 && fread(h, 1, 16, f) == 16;
    fclose(f);
    if (!ok) return 2;
  }
  return Claimed(h) ? 0 : 1;
}

EXPORT int GetPictureInfo(const char *src, long len, unsigned flag, struct PictureInfo *info) {
  unsigned char h[16];
  int r = Header(src, len, flag, h);
  if (r) return r;
  memset(info, 0, sizeof *info);
  info->width = h[4] | h[5] << 8;
  info->height = h[6] | h[7] << 8;
  info->depth = h[8];
  if (h[12] == 'C') {
    HLOCAL t = GlobalAlloc(0x42, 16);
    char *p = GlobalLock(t);
    strcpy(p, "tpic comment");
    GlobalUnlock(t);
    info->text = (uint32_t)(uintptr_t)t;
  }
  return 0;
}

EXPORT int GetPicture(const char *src, long len, unsigned flag, HLOCAL *info, HLOCAL *bits, Progress progress,
                      long user) {
  unsigned char h[16];
  int r = Header(src, len, flag, h);
  if (r) return r;
  int w = h[4] | h[5] << 8, ht = h[6] | h[7] << 8, depth = h[8];
  if (w == 0 || ht == 0 || (depth != 8 && depth != 24)) return 1;
  int colours = depth == 8 ? 256 : 0;
  int row = ((w * depth + 31) / 32) * 4;
  size_t image = (size_t)row * (size_t)ht;
  *info = GlobalAlloc(0x42, 40 + (size_t)colours * 4);
  *bits = GlobalAlloc(0x42, h[13] == 'S' ? image / 2 : image);
  if (!*info || !*bits) return 4;
  unsigned char *bi = GlobalLock(*info);
  int32_t v;
  v = 40, memcpy(bi, &v, 4);
  memcpy(bi + 4, &w, 4);
  memcpy(bi + 8, &ht, 4);
  bi[12] = 1, bi[14] = (unsigned char)depth;
  for (int i = 0; i < colours; ++i) bi[40 + i * 4] = bi[41 + i * 4] = bi[42 + i * 4] = (unsigned char)i;
  GlobalUnlock(*info);
  unsigned char *p = GlobalLock(*bits);
  size_t limit = h[13] == 'S' ? image / 2 : image;
  for (int y = 0; y < ht; ++y) {
    if (progress && progress(y, ht, user)) {
      GlobalUnlock(*bits);
      GlobalFree(*info), GlobalFree(*bits);
      *info = *bits = 0;
      return 1;
    }
    for (int x = 0; x < w; ++x) {
      size_t at = (size_t)y * (size_t)row + (size_t)x * (size_t)(depth / 8);
      if (at + (size_t)(depth / 8) > limit) continue;
      if (depth == 8) p[at] = h[9];
      else p[at] = h[9], p[at + 1] = h[10], p[at + 2] = h[11];
    }
  }
  GlobalUnlock(*bits);
  return 0;
}
