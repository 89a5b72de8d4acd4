// Arbitrary bytes handed to a picture plug-in's entry points as a memory image, as the host
// hands a mapped file.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/spi.h"
#include "platform/globalmem.h"

extern "C" int IsSupported(const char *filename, uintptr_t dw);
extern "C" int GetPictureInfo(const char *buf, long len, unsigned int flag, SpiPictureInfo *info);
extern "C" int GetPicture(const char *buf, long len, unsigned int flag, HLOCAL *pHBInfo, HLOCAL *pHBm,
                          SPI_PROGRESS progress, long lData);
// Only plug-ins with a profile reader or a preview of their own export these.
extern "C" __attribute__((weak)) int GetColorProfile(const char *buf, long len, unsigned int flag,
                                                     HLOCAL *profile);
extern "C" __attribute__((weak)) int GetPreview(const char *buf, long len, unsigned int flag, HLOCAL *pHBInfo,
                                                HLOCAL *pHBm, SPI_PROGRESS progress, long lData);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<char> head(SPI_HEAD_BYTES, 0);
  for (size_t i = 0; i < size && i < head.size(); ++i) head[i] = static_cast<char>(data[i]);
  IsSupported("fuzz", reinterpret_cast<uintptr_t>(head.data()));
  if (size == 0) return 0;
  // A copy of exactly `size` bytes, so that reading past the image is caught.
  std::vector<char> image(data, data + size);
  SpiPictureInfo info;
  if (GetPictureInfo(image.data(), static_cast<long>(size), SPI_SOURCE_MEMORY, &info) == SPI_OK && info.hInfo)
    GlobalFree(reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(info.hInfo)));
  for (auto entry : {&GetPicture, GetPreview}) {
    HLOCAL bmInfo = nullptr, bits = nullptr;
    if (entry && entry(image.data(), static_cast<long>(size), SPI_SOURCE_MEMORY, &bmInfo, &bits, nullptr,
                       0) == SPI_OK) {
      GlobalFree(bmInfo);
      GlobalFree(bits);
    }
  }
  HLOCAL profile = nullptr;
  if (GetColorProfile &&
      GetColorProfile(image.data(), static_cast<long>(size), SPI_SOURCE_MEMORY, &profile) == SPI_OK &&
      profile)
    GlobalFree(profile);
  return 0;
}
