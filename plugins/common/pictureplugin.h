#pragma once

// The entry points of a picture plug-in ("00IN") written once: a format supplies how to
// recognise its files, how to read the picture's facts and how to decode it, and
// TAMRO_PICTURE_PLUGIN exports GetPluginInfo, IsSupported, GetPictureInfo and GetPicture,
// and GetColorProfile for a format that reads embedded colour profiles.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/dibout.h"
#include "common/pluginbase.h"

namespace tamro::plugin {

struct PictureFacts {
  int width = 0;
  int height = 0;
  int bitCount = 24;  // bits per pixel of the stored picture
  int xDpi = 0, yDpi = 0;
  std::string text;  // information text handed out with the facts; none when empty
};

struct PictureFormat {
  // Information strings: "00IN", a description, then pattern and description pairs.
  const char *const *info;
  // True when the head bytes (SPI_HEAD_BYTES, zero-filled past a short file) are this format.
  bool (*recognise)(const uint8_t *head, size_t size);
  // SPI_OK and the facts, or the failure code.
  int (*readFacts)(const uint8_t *data, size_t size, PictureFacts &facts);
  // Creates `out` and fills it; SPI_OK or the failure code (SPI_FORMAT_ERROR when the
  // progress callback cancels).
  int (*decode)(const uint8_t *data, size_t size, DibOutput &out, Progress &progress);
  // Optional: the embedded ICC profile (empty when there is none); SPI_OK or the failure
  // code. `decode` then hands out the pixels as stored, and the host converts them.
  int (*readProfile)(const uint8_t *data, size_t size, std::string &profile) = nullptr;
};

int PictureGetPluginInfo(const PictureFormat &format, int infono, char *buf, int buflen);
int PictureIsSupported(const PictureFormat &format, const char *filename, uintptr_t dw);
int PictureGetPictureInfo(const PictureFormat &format, const char *buf, long len, unsigned flag,
                          SpiPictureInfo *info);
int PictureGetPicture(const PictureFormat &format, const char *buf, long len, unsigned flag, HLOCAL *pHBInfo,
                      HLOCAL *pHBm, SPI_PROGRESS progress, long lData);
int PictureGetColorProfile(const PictureFormat &format, const char *buf, long len, unsigned flag,
                           HLOCAL *profile);

// Rows between two progress reports, so that a callback is asked about a hundred times.
inline int ProgressStep(int rows) { return rows / 100 > 0 ? rows / 100 : 1; }

}  // namespace tamro::plugin

#define TAMRO_PICTURE_PLUGIN(format)                                                                        \
  TAMRO_SPI_EXPORT int GetPluginInfo(int infono, char *buf, int buflen) {                                   \
    return ::tamro::plugin::PictureGetPluginInfo(format, infono, buf, buflen);                              \
  }                                                                                                         \
  TAMRO_SPI_EXPORT int IsSupported(const char *filename, uintptr_t dw) {                                    \
    return ::tamro::plugin::PictureIsSupported(format, filename, dw);                                       \
  }                                                                                                         \
  TAMRO_SPI_EXPORT int GetPictureInfo(const char *buf, long len, unsigned int flag, SpiPictureInfo *info) { \
    return ::tamro::plugin::PictureGetPictureInfo(format, buf, len, flag, info);                            \
  }                                                                                                         \
  TAMRO_SPI_EXPORT int GetPicture(const char *buf, long len, unsigned int flag, HLOCAL *pHBInfo,            \
                                  HLOCAL *pHBm, SPI_PROGRESS progress, long lData) {                        \
    return ::tamro::plugin::PictureGetPicture(format, buf, len, flag, pHBInfo, pHBm, progress, lData);      \
  }                                                                                                         \
  /* Every call works on its own data only, so several threads may decode at once. */                       \
  TAMRO_SPI_EXPORT int SpiThreadSafe(void) { return 1; }                                                    \
  /* A format without profiles answers that the picture has none. */                                        \
  TAMRO_SPI_EXPORT int GetColorProfile(const char *buf, long len, unsigned int flag, HLOCAL *profile) {     \
    return ::tamro::plugin::PictureGetColorProfile(format, buf, len, flag, profile);                        \
  }
