#include "common/pictureplugin.h"

#include <cstring>
#include <new>

namespace tamro::plugin {

int PictureGetPluginInfo(const PictureFormat &format, int infono, char *buf, int buflen) {
  return CopyPluginInfo(format.info, infono, buf, buflen);
}

int PictureIsSupported(const PictureFormat &format, const char *, uintptr_t dw) {
  unsigned char head[SPI_HEAD_BYTES];
  if (!ReadHead(dw, head)) return 0;
  try {
    return format.recognise(head, sizeof head) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int PictureGetPictureInfo(const PictureFormat &format, const char *buf, long len, unsigned flag,
                          SpiPictureInfo *info) {
  if (info == nullptr) return SPI_NO_FUNCTION;
  try {
    SourceBytes source;
    int rc = source.Load(buf, len, flag);
    if (rc != SPI_OK) return rc;
    PictureFacts facts;
    rc = format.readFacts(source.data(), source.size(), facts);
    if (rc != SPI_OK) return rc;
    if (facts.width <= 0 || facts.height <= 0) return SPI_FORMAT_ERROR;
    std::memset(info, 0, sizeof *info);
    info->width = facts.width;
    info->height = facts.height;
    info->x_density = static_cast<uint16_t>(facts.xDpi > 0 && facts.xDpi <= 0xFFFF ? facts.xDpi : 0);
    info->y_density = static_cast<uint16_t>(facts.yDpi > 0 && facts.yDpi <= 0xFFFF ? facts.yDpi : 0);
    info->colorDepth = static_cast<int16_t>(facts.bitCount);
    if (!facts.text.empty()) {
      OwnedBlock block;
      if (!block.Allocate(facts.text.size() + 1)) return SPI_OUT_OF_MEMORY;
      void *p = block.Lock();
      if (p == nullptr) return SPI_MEMORY_ERROR;
      std::memcpy(p, facts.text.c_str(), facts.text.size() + 1);
      block.Unlock();
      info->hInfo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block.Release()));
    }
    return SPI_OK;
  } catch (const std::bad_alloc &) {
    return SPI_OUT_OF_MEMORY;
  } catch (...) {
    return SPI_FORMAT_ERROR;
  }
}

int PictureGetPicture(const PictureFormat &format, const char *buf, long len, unsigned flag, HLOCAL *pHBInfo,
                      HLOCAL *pHBm, SPI_PROGRESS progress, long lData) {
  if (pHBInfo == nullptr || pHBm == nullptr) return SPI_NO_FUNCTION;
  *pHBInfo = nullptr;
  *pHBm = nullptr;
  try {
    SourceBytes source;
    int rc = source.Load(buf, len, flag);
    if (rc != SPI_OK) return rc;
    Progress report(progress, lData);
    DibOutput out;
    rc = format.decode(source.data(), source.size(), out, report);
    if (rc != SPI_OK) return rc;
    if (out.width() <= 0) return SPI_FORMAT_ERROR;
    out.Hand(pHBInfo, pHBm);
    return SPI_OK;
  } catch (const std::bad_alloc &) {
    return SPI_OUT_OF_MEMORY;
  } catch (...) {
    return SPI_FORMAT_ERROR;
  }
}

int PictureGetColorProfile(const PictureFormat &format, const char *buf, long len, unsigned flag,
                           HLOCAL *profile) {
  if (profile == nullptr) return SPI_NO_FUNCTION;
  *profile = nullptr;
  if (format.readProfile == nullptr) return SPI_OK;
  try {
    SourceBytes source;
    int rc = source.Load(buf, len, flag);
    if (rc != SPI_OK) return rc;
    std::string bytes;
    rc = format.readProfile(source.data(), source.size(), bytes);
    if (rc != SPI_OK || bytes.empty()) return rc;
    OwnedBlock block;
    if (!block.Allocate(bytes.size(), false)) return SPI_OUT_OF_MEMORY;
    void *p = block.Lock();
    if (p == nullptr) return SPI_MEMORY_ERROR;
    std::memcpy(p, bytes.data(), bytes.size());
    block.Unlock();
    *profile = block.Release();
    return SPI_OK;
  } catch (const std::bad_alloc &) {
    return SPI_OUT_OF_MEMORY;
  } catch (...) {
    return SPI_FORMAT_ERROR;
  }
}

}  // namespace tamro::plugin
