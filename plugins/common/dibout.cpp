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
  return Allocate(width, height, xDpi, yDpi,
                  static_cast<uint64_t>(DibStride(width)) * static_cast<uint64_t>(height));
}

int DibOutput::CreateRgba(int width, int height, int xDpi, int yDpi) {
  if (width <= 0 || height <= 0) return SPI_FORMAT_ERROR;
  const int rc = Allocate(width, height, xDpi, yDpi,
                          uint64_t{4} * static_cast<uint64_t>(width) * static_cast<uint64_t>(height));
  rgba_ = rc == SPI_OK;
  return rc;
}

int DibOutput::Allocate(int width, int height, int xDpi, int yDpi, uint64_t pixelBytes) {
  const size_t stride = DibStride(width);
  const uint64_t bytes = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
  if (!WithinDecodeBudget(bytes) || !WithinDecodeBudget(pixelBytes)) return SPI_OUT_OF_MEMORY;
  if (!infoBlock_.Allocate(sizeof(DibInfoHeader)) || !bitsBlock_.Allocate(static_cast<size_t>(pixelBytes)))
    return SPI_OUT_OF_MEMORY;
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
  rgba_ = false;
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

void DibOutput::PutRgbaRun(int fromTop, int x, int count, const uint8_t *rgba) {
  if (fromTop < 0 || fromTop >= height_ || x < 0 || x >= width_ || count <= 0) return;
  if (count > width_ - x) count = width_ - x;
  uint8_t *out = Row(fromTop) + static_cast<size_t>(x) * 3u;
  for (int i = 0; i < count; ++i, rgba += 4, out += 3) {
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

void DibOutput::CompositeRgba() {
  // Both layouts store the bottom row first and a 24-bit row is never longer than an RGBA
  // row, so walking forward every byte is written at or before the place it is read from,
  // and never over a pixel not yet read.
  const size_t wide = rgbaStride(), padding = stride_ - static_cast<size_t>(width_) * 3u;
  for (int row = 0; row < height_; ++row) {
    const uint8_t *in = bits_ + static_cast<size_t>(row) * wide;
    uint8_t *out = bits_ + static_cast<size_t>(row) * stride_;
    for (int x = 0; x < width_; ++x, in += 4, out += 3) {
      const unsigned r = in[0], g = in[1], b = in[2], a = in[3];
      if (a == 255) {
        out[0] = static_cast<uint8_t>(b);
        out[1] = static_cast<uint8_t>(g);
        out[2] = static_cast<uint8_t>(r);
      } else {
        out[0] = OverWhite(b, a);
        out[1] = OverWhite(g, a);
        out[2] = OverWhite(r, a);
      }
    }
    std::memset(out, 0, padding);
  }
  rgba_ = false;
}

void DibOutput::Hand(HLOCAL *info, HLOCAL *bits) {
  const bool shrink = rgba_;
  if (rgba_) CompositeRgba();
  bitsBlock_.Unlock();
  bits_ = nullptr;
  // The rows now take less room than the RGBA picture did; a failure to shrink only keeps
  // the block larger than the rows.
  if (shrink) bitsBlock_.Resize(stride_ * static_cast<size_t>(height_));
  *info = infoBlock_.Release();
  *bits = bitsBlock_.Release();
}

}  // namespace tamro::plugin
