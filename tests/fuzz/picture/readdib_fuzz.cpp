// BMP file images of any shape: reading must refuse or give a picture that every later
// operation can walk without leaving its block.

#include <cstdint>
#include <cstdio>

#include "picture/dib.h"
#include "picture/transform.h"
#include "platform/globalhandle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  std::FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (!file) return 0;
  tamro::GlobalHandle picture(tamro::ReadDibFromStream(file));
  std::fclose(file);
  if (!picture) return 0;
  tamro::HDIB full = tamro::DibTo24Bit(picture.get());
  if (full && full != picture.get()) GlobalFree(full);
  tamro::HDIB small = tamro::ScaleNearest(picture.get(), 3, 2, 0);
  if (small != picture.get()) GlobalFree(small);
  return 0;
}
