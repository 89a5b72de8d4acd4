/* The decoder plug-in interface: what a ".spi" module exports and what the host hands it.
 *
 * A plug-in is a shared object exporting some or all of the eight entry points below with
 * C linkage. Memory blocks handed back are global-memory handles (GlobalAlloc and friends);
 * the plug-in resolves those calls from the library the host has already loaded and links
 * nothing else of Tamro. This header can be used alone.
 *
 * Threads: the host may call one module from several threads, but never two calls into the
 * same module at once (a lock per module); different modules may run at the same time. A
 * module that exports SpiThreadSafe answering non-zero is called from several threads at once. */
#ifndef TAMRO_DECODE_SPI_H
#define TAMRO_DECODE_SPI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef TAMRO_PLATFORM_GLOBALMEM_H
typedef void *HLOCAL;
#endif

typedef int (*SPI_ThreadSafe)(void);

/* Optional, beside the entry points below: the colour profile embedded in a picture, with the
 * source forms of GetPictureInfo. SPI_OK and *profile a global-memory block holding the ICC
 * profile's bytes (the caller frees it), or SPI_OK and null when the picture has none. A
 * module that exports it promises that GetPicture hands out the pixels as stored, without
 * converting them itself, so that the host converts them when the user asks for it. */
typedef int (*SPI_GetColorProfile)(const char *buf, long len, unsigned int flag, HLOCAL *profile);

/* Results of the entry points. */
#define SPI_OK 0
#define SPI_NO_FUNCTION (-1) /* not supported, no such decoder, or a fault inside the plug-in */
#define SPI_FORMAT_ERROR 1   /* also: cancelled through the progress callback */
#define SPI_DATA_ENDED 2
#define SPI_NO_PICTURE 3
#define SPI_OUT_OF_MEMORY 4
#define SPI_MEMORY_ERROR 5
#define SPI_READ_ERROR 6

/* The flags argument: bits 0-2 the source form, bits 8-10 the destination form of GetFile. */
#define SPI_SOURCE_MASK 0x7u
#define SPI_SOURCE_FILE 0x0u   /* source is a path; the length argument is the data's offset */
#define SPI_SOURCE_MEMORY 0x1u /* source is a memory image; the length argument is its size */
#define SPI_DEST_MASK 0x700u
#define SPI_DEST_FILE 0x000u   /* GetFile: destination is a folder */
#define SPI_DEST_MEMORY 0x100u /* GetFile: destination is the address of an HLOCAL */

/* IsSupported's data value: below 0x10000 an open file descriptor positioned at the data,
 * otherwise the address of 2048 readable bytes (zero-filled past the end of a short file). */
#define SPI_DATA_IS_FD(dw) ((uintptr_t)(dw) < 0x10000u)
#define SPI_HEAD_BYTES 2048

/* Called with (steps done, total, user value); a non-zero answer cancels. */
typedef int (*SPI_PROGRESS)(int done, int total, long user);

#pragma pack(push, 1)
/* Picture information, 26 bytes. hInfo is a global-memory handle of a text (or 0). */
typedef struct SpiPictureInfo {
  int32_t left, top;
  int32_t width, height;
  uint16_t x_density, y_density;
  int16_t colorDepth;
  uint32_t hInfo;
} SpiPictureInfo;

/* One archive member, 428 bytes. A block of records ends at the first empty method. */
typedef struct SpiArchiveInfo {
  unsigned char method[8]; /* not terminated when 8 characters long */
  uint32_t position;       /* handed back to GetFile */
  uint32_t compsize;
  uint32_t filesize;
  int32_t timestamp; /* seconds since 1970-01-01 00:00 UTC */
  char path[200];
  char filename[200];
  uint32_t crc;
} SpiArchiveInfo;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(SpiPictureInfo) == 26, "picture information is 26 bytes");
static_assert(offsetof(SpiPictureInfo, x_density) == 16, "layout");
static_assert(offsetof(SpiPictureInfo, colorDepth) == 20, "layout");
static_assert(offsetof(SpiPictureInfo, hInfo) == 22, "layout");
static_assert(sizeof(SpiArchiveInfo) == 428, "archive member record is 428 bytes");
static_assert(offsetof(SpiArchiveInfo, position) == 8, "layout");
static_assert(offsetof(SpiArchiveInfo, timestamp) == 20, "layout");
static_assert(offsetof(SpiArchiveInfo, path) == 24, "layout");
static_assert(offsetof(SpiArchiveInfo, filename) == 224, "layout");
static_assert(offsetof(SpiArchiveInfo, crc) == 424, "layout");
#else
_Static_assert(sizeof(SpiPictureInfo) == 26, "picture information is 26 bytes");
_Static_assert(offsetof(SpiPictureInfo, hInfo) == 22, "layout");
_Static_assert(sizeof(SpiArchiveInfo) == 428, "archive member record is 428 bytes");
_Static_assert(offsetof(SpiArchiveInfo, filename) == 224, "layout");
_Static_assert(offsetof(SpiArchiveInfo, crc) == 424, "layout");
#endif

/* Interface kinds answered by GetPluginInfo(0, ...). */
#define SPI_KIND_PICTURE "00IN"
#define SPI_KIND_ARCHIVE "00AM"

/* The entry points. Every one is optional. */
typedef int (*SPI_GetPluginInfo)(int infono, char *buf, int buflen);
typedef int (*SPI_IsSupported)(const char *filename, uintptr_t dw);
typedef int (*SPI_GetPictureInfo)(const char *buf, long len, unsigned int flag, SpiPictureInfo *info);
typedef int (*SPI_GetPicture)(const char *buf, long len, unsigned int flag, HLOCAL *pHBInfo, HLOCAL *pHBm,
                              SPI_PROGRESS progress, long lData);
typedef int (*SPI_GetPreview)(const char *buf, long len, unsigned int flag, HLOCAL *pHBInfo, HLOCAL *pHBm,
                              SPI_PROGRESS progress, long lData);
typedef int (*SPI_GetArchiveInfo)(const char *buf, long len, unsigned int flag, HLOCAL *lphInf);
typedef int (*SPI_GetFile)(const char *src, long len, char *dest, unsigned int flag, SPI_PROGRESS progress,
                           long lData);
typedef int (*SPI_ConfigurationDlg)(void *parent, int fnc);

/* Optional: GetPreview told the size of the thumbnail it is for, so that a preview smaller
 * than wantWidth x wantHeight (as shown) is passed over for the full picture. */
typedef int (*SPI_GetPreviewSized)(const char *buf, long len, unsigned int flag, int wantWidth, int wantHeight,
                                   HLOCAL *pHBInfo, HLOCAL *pHBm, SPI_PROGRESS progress, long lData);
/* Optional: non-zero when GetPicture and GetPreview hand out pictures already turned by the
 * orientation the file states, so that the host must not turn them again. */
typedef int (*SPI_OrientsPictures)(void);

#ifdef __cplusplus
}
#endif

#endif
