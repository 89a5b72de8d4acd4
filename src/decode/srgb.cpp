#include "decode/srgb.h"

#include <lcms2.h>

#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <utility>

#include "picture/dib.h"

namespace tamro {

namespace {

using Transform = std::shared_ptr<void>;

// Pictures of one camera or one folder mostly share one profile, and making a transform
// costs more than using it on a thumbnail; a few recent ones are kept. A transform made
// without lcms2's one-pixel cache may be used by several threads at once.
class TransformCache {
 public:
  Transform Get(const std::string &icc, cmsUInt32Number format) {
    std::string key = icc;
    key.append(reinterpret_cast<const char *>(&format), sizeof format);
    {
      std::lock_guard hold(mutex_);
      for (auto it = recent_.begin(); it != recent_.end(); ++it) {
        if (it->first != key) continue;
        recent_.splice(recent_.begin(), recent_, it);
        return it->second;
      }
    }
    Transform made = Make(icc, format);
    if (!made) return nullptr;
    std::lock_guard hold(mutex_);
    recent_.emplace_front(std::move(key), made);
    if (recent_.size() > kKept) recent_.pop_back();
    return made;
  }

 private:
  static constexpr std::size_t kKept = 8;

  static Transform Make(const std::string &icc, cmsUInt32Number format) {
    cmsHPROFILE in = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    if (!in) return nullptr;
    cmsHTRANSFORM t = nullptr;
    if (cmsGetColorSpace(in) == cmsSigRgbData) {
      cmsHPROFILE srgb = cmsCreate_sRGBProfile();
      if (srgb) {
        t = cmsCreateTransform(in, format, srgb, format, INTENT_PERCEPTUAL,
                               cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);
        cmsCloseProfile(srgb);
      }
    }
    cmsCloseProfile(in);
    if (!t) return nullptr;
    return Transform(t, [](void *p) { cmsDeleteTransform(p); });
  }

  std::mutex mutex_;
  std::list<std::pair<std::string, Transform>> recent_;
};

TransformCache &Cache() {
  static TransformCache cache;
  return cache;
}

}  // namespace

bool ConvertToSrgb(HDIB dib, const std::string &icc) {
  if (!dib || icc.empty()) return false;
  DibLock lock(dib);
  if (!lock) return false;
  BitmapInfoHeader *bi = lock.header();
  if (bi->size < sizeof(BitmapInfoHeader) || bi->compression != 0) return false;
  const int bits = bi->bitCount;
  if (bits <= 8) {
    // The colour table's entries are blue, green, red and a spare byte, like 32-bit pixels.
    const uint32_t colours = DibNumColors(bi);
    Transform t = Cache().Get(icc, TYPE_BGRA_8);
    if (!t || colours == 0) return false;
    cmsDoTransform(t.get(), lock.bytes() + bi->size, lock.bytes() + bi->size, colours);
    return true;
  }
  if (bits != 24 && bits != 32) return false;
  Transform t = Cache().Get(icc, bits == 24 ? TYPE_BGR_8 : TYPE_BGRA_8);
  if (!t) return false;
  const int64_t rowBytes = DibRowBytes(bi);
  uint8_t *row = lock.bits();
  const int height = bi->height < 0 ? -bi->height : bi->height;
  for (int y = 0; y < height; ++y, row += rowBytes)
    cmsDoTransform(t.get(), row, row, static_cast<cmsUInt32Number>(bi->width));
  return true;
}

}  // namespace tamro
