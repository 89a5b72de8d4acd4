/* Archive plug-in for the test format "TARC":
 *   "TARC", member count (u32 LE), flags (u32 LE), then per member: method (8 bytes),
 *   time stamp (u32), size (u32), name length (u16), name, data.
 * A member's position is the offset of its header in the archive.
 * Flags: 1 leave out the closing empty record, 2 answer success without a block,
 *        4 fault while listing. A member named "fail*" makes GetFile hand out a block
 *        and then fail. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "decode/spi.h"
#include "platform/globalmem.h"
#include "tinfo.h"

#define EXPORT __attribute__((visibility("default")))

TEST_PLUGIN_INFO("00AM", "TARC test archive", "*.tar2;*.tac", "TARC archives")

EXPORT int IsSupported(const char *name, uintptr_t dw) {
  (void)name;
  return !SPI_DATA_IS_FD(dw) && memcmp((const char *)dw, "TARC", 4) == 0;
}

static unsigned U32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | (unsigned)p[3] << 24; }

/* The archive file from `offset` on, in a malloc'ed copy (the plug-in reads files only). */
static unsigned char *Load(const char *src, long offset, size_t *size) {
  FILE *f = fopen(src, "rb");
  if (!f) return NULL;
  fseek(f, 0, SEEK_END);
  long end = ftell(f);
  unsigned char *p = end >= offset ? malloc(end > offset ? (size_t)(end - offset) : 1) : NULL;
  *size = p ? (size_t)(end - offset) : 0;
  if (p && (fseek(f, offset, SEEK_SET) != 0 || fread(p, 1, *size, f) != *size)) {
    free(p);
    p = NULL;
  }
  fclose(f);
  return p;
}

struct Member {
  size_t at, data;
  unsigned time, size, nameLen;
  const unsigned char *header;
};

/* Member i's header at `at`; 0 when it does not fit. */
static int ReadMember(const unsigned char *p, size_t size, size_t at, struct Member *m) {
  if (at + 18 > size) return 0;
  m->at = at;
  m->header = p + at;
  m->time = U32(p + at + 8);
  m->size = U32(p + at + 12);
  m->nameLen = p[at + 16] | p[at + 17] << 8;
  m->data = at + 18 + m->nameLen;
  return m->data <= size && m->size <= size - m->data;
}

EXPORT int GetArchiveInfo(const char *src, long len, unsigned flag, HLOCAL *out) {
  size_t size;
  unsigned char *p = (flag & SPI_SOURCE_MASK) == SPI_SOURCE_FILE ? Load(src, len, &size) : NULL;
  if (!p) return SPI_READ_ERROR;
  int result = SPI_FORMAT_ERROR;
  if (size >= 12 && memcmp(p, "TARC", 4) == 0) {
    unsigned count = U32(p + 4), flags = U32(p + 8);
    if (flags & 4) {
      /* Let go of the copy first: the fault is what is being tested, not a leak. */
      free(p);
      volatile uintptr_t at = 0x10;
      *(volatile int *)at = 0;
    }
    if (flags & 2) {
      result = SPI_OK;
      goto done;
    }
    if (count > 10000) count = 10000;
    HLOCAL h = GlobalAlloc(GHND, sizeof(SpiArchiveInfo) * (count + ((flags & 1) ? 0 : 1)));
    SpiArchiveInfo *rec = GlobalLock(h);
    size_t at = 12;
    unsigned i;
    for (i = 0; i < count; ++i) {
      struct Member m;
      if (!ReadMember(p, size, at, &m)) break;
      memcpy(rec[i].method, m.header, 8);
      rec[i].position = (uint32_t)(m.at + (size_t)len);
      rec[i].compsize = m.size / 2; /* as if packed, so that the two sizes differ */
      rec[i].filesize = m.size;
      rec[i].timestamp = (int32_t)m.time;
      /* "a/b/c.tpc": path "a/b/", name "c.tpc" */
      size_t cut = m.nameLen;
      while (cut > 0 && m.header[18 + cut - 1] != '/') --cut;
      size_t pathLen = cut < 199 ? cut : 199, nameLen = m.nameLen - cut < 199 ? m.nameLen - cut : 199;
      memcpy(rec[i].path, m.header + 18, pathLen);
      memcpy(rec[i].filename, m.header + 18 + cut, nameLen);
      rec[i].crc = 0x1234;
      at = m.data + m.size;
    }
    GlobalUnlock(h);
    if (i < count) {
      GlobalFree(h);
      result = SPI_DATA_ENDED;
    } else {
      *out = h;
      result = SPI_OK;
    }
  }
done:
  free(p);
  return result;
}

EXPORT int GetFile(const char *src, long len, char *dest, unsigned flag, SPI_PROGRESS progress, long user) {
  (void)progress, (void)user;
  /* `len` is the member's position. */
  size_t size, at = (size_t)len;
  unsigned char *p = (flag & SPI_SOURCE_MASK) == SPI_SOURCE_FILE ? Load(src, 0, &size) : NULL;
  if (!p) return SPI_READ_ERROR;
  struct Member m;
  int result = SPI_FORMAT_ERROR;
  if (ReadMember(p, size, at, &m)) {
    int fails = m.nameLen >= 4 && memcmp(m.header + 18, "fail", 4) == 0;
    if ((flag & SPI_DEST_MASK) == SPI_DEST_MEMORY) {
      HLOCAL h = GlobalAlloc(GHND, m.size);
      if (h) {
        memcpy(GlobalLock(h), p + m.data, m.size);
        GlobalUnlock(h);
      }
      *(HLOCAL *)dest = h;
      result = fails ? SPI_FORMAT_ERROR : h ? SPI_OK : SPI_OUT_OF_MEMORY;
    } else if (!fails) {
      char path[1024];
      size_t cut = m.nameLen;
      while (cut > 0 && m.header[18 + cut - 1] != '/') --cut;
      snprintf(path, sizeof path, "%s/%.*s", dest, (int)(m.nameLen - cut), (const char *)m.header + 18 + cut);
      FILE *f = fopen(path, "wb");
      result = SPI_READ_ERROR;
      if (f) {
        if (fwrite(p + m.data, 1, m.size, f) == m.size) result = SPI_OK;
        fclose(f);
      }
    }
  }
  free(p);
  return result;
}
