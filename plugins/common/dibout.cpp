#include "common/dibout.h"

#include <cstring>

namespace tamro::plugin {

size_t DibStride(int width) {
  if (width <= 0) return 0;
  return ((static_cast<size_t>(width) * 3u) + 3u) & ~static_cast<size_t>(3u);
}

namespace {
int32_t PelsPerMeter(int dpi) { return dpi > 0 ? static_cast<int32_t>((dpi * 10000LL + 127) / 254) : 0; }
}  // namespace

int DibOutput::Create(int width, int height, int xDpi, int yDpi) {
  if (width <= 0 || height <= 0) return SPI_FORMAT_ERROR;
  size_t stride = DibStride(width);
  if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(height) > kMaxPixelBytes)
    return SPI_OUT_OF_MEMORY;
  size_t bytes = stride * static_cast<size_t>(height);
  if (!infoBlock_.Allocate(sizeof(DibInfoHeader)) || !bitsBlock_.Allocate(bytes)) return SPI_OUT_OF_MEMORY;
  auto *info = static_cast<DibInfoHeader *>(infoBlock_.Lock());
  bits_ = static_cast<uint8_t *>(bitsBlock_.Lock());
  if (info == nullptr || bits_ == nullptr) return SPI_MEMORY_ERROR;
  info->biSize = sizeof(DibInfoHeader);
  info->biWidth = width;
  info->biHeight = height;
  info->biPlanes = 1;
  info->biBitCount = 24;
  info->biCompression = 0;
  info->biSizeImage = static_cast<uint32_t>(bytes);
  info->biXPelsPerMeter = PelsPerMeter(xDpi);
  info->biYPelsPerMeter = PelsPerMeter(yDpi);
  infoBlock_.Unlock();
  width_ = width;
  height_ = height;
  stride_ = stride;
  return SPI_OK;
}

void DibOutput::PutRgb(int fromTop, const uint8_t *rgb) {
  uint8_t *out = Row(fromTop);
  for (int x = 0; x < width_; ++x, rgb += 3, out += 3) {
    out[0] = rgb[2];
    out[1] = rgb[1];
    out[2] = rgb[0];
  }
}

void DibOutput::PutRgba(int fromTop, const uint8_t *rgba) {
  uint8_t *out = Row(fromTop);
  for (int x = 0; x < width_; ++x, rgba += 4, out += 3) {
    unsigned a = rgba[3];
    if (a == 255) {
      out[0] = rgba[2];
      out[1] = rgba[1];
      out[2] = rgba[0];
    } else {
      out[0] = OverWhite(rgba[2], a);
      out[1] = OverWhite(rgba[1], a);
      out[2] = OverWhite(rgba[0], a);
    }
  }
}

void DibOutput::Hand(HLOCAL *info, HLOCAL *bits) {
  bitsBlock_.Unlock();
  bits_ = nullptr;
  *info = infoBlock_.Release();
  *bits = bitsBlock_.Release();
}

}  // namespace tamro::plugin
