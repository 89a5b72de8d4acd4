// WebP pictures through libwebp: lossy and lossless stills, decoded incrementally so the
// progress callback can stop them, and the first frame of animations.

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "common/pictureplugin.h"

namespace tamro::plugin {
namespace {

const char *const kInfo[] = {"00IN", "Tamro WebP decoder (libwebp)", "*.webp", "WebP 画像", nullptr};

bool Recognise(const uint8_t *head, size_t size) {
  return size >= 16 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0 &&
         (std::memcmp(head + 12, "VP8 ", 4) == 0 || std::memcmp(head + 12, "VP8L", 4) == 0 ||
          std::memcmp(head + 12, "VP8X", 4) == 0);
}

int StatusCode(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OK:
      return SPI_OK;
    case VP8_STATUS_OUT_OF_MEMORY:
      return SPI_OUT_OF_MEMORY;
    case VP8_STATUS_NOT_ENOUGH_DATA:
    case VP8_STATUS_SUSPENDED:
      return SPI_DATA_ENDED;
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return SPI_NO_FUNCTION;
    default:
      return SPI_FORMAT_ERROR;
  }
}

int ReadFacts(const uint8_t *data, size_t size, PictureFacts &facts) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  WebPBitstreamFeatures features;
  int rc = StatusCode(WebPGetFeatures(data, size, &features));
  if (rc != SPI_OK) return rc;
  facts.width = features.width;
  facts.height = features.height;
  facts.bitCount = features.has_alpha ? 32 : 24;
  return SPI_OK;
}

bool TooLarge(int width, int height) {
  return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4u > 2 * kMaxPixelBytes;
}

// Stores RGBA rows into `out`, reporting every few rows; false when cancelled.
bool StoreRows(const uint8_t *rgba, size_t stride, int fromRow, int toRow, DibOutput &out,
               Progress &progress) {
  const int step = ProgressStep(out.height());
  for (int y = fromRow; y < toRow; ++y) {
    if (y % step == 0 && progress.Report(y, out.height())) return false;
    out.PutRgba(y, rgba + static_cast<size_t>(y) * stride);
  }
  return true;
}

struct AnimDecoderFree {
  void operator()(WebPAnimDecoder *d) const { WebPAnimDecoderDelete(d); }
};

int DecodeFirstFrame(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return SPI_NO_FUNCTION;
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  WebPData webp = {data, size};
  std::unique_ptr<WebPAnimDecoder, AnimDecoderFree> decoder(WebPAnimDecoderNew(&webp, &options));
  if (!decoder) return SPI_FORMAT_ERROR;
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return SPI_FORMAT_ERROR;
  if (info.canvas_width > 0x7FFFFFFFu || info.canvas_height > 0x7FFFFFFFu) return SPI_FORMAT_ERROR;
  const int width = static_cast<int>(info.canvas_width), height = static_cast<int>(info.canvas_height);
  if (TooLarge(width, height)) return SPI_OUT_OF_MEMORY;
  int rc = out.Create(width, height);
  if (rc != SPI_OK) return rc;
  if (progress.Report(0, height)) return SPI_FORMAT_ERROR;
  uint8_t *canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || canvas == nullptr)
    return SPI_FORMAT_ERROR;
  if (!StoreRows(canvas, static_cast<size_t>(width) * 4u, 0, height, out, progress)) return SPI_FORMAT_ERROR;
  progress.Report(height, height);
  return SPI_OK;
}

struct IDecoderFree {
  void operator()(WebPIDecoder *d) const { WebPIDelete(d); }
};

int DecodeStill(const uint8_t *data, size_t size, int width, int height, DibOutput &out, Progress &progress) {
  if (TooLarge(width, height)) return SPI_OUT_OF_MEMORY;
  int rc = out.Create(width, height);
  if (rc != SPI_OK) return rc;
  const size_t stride = static_cast<size_t>(width) * 4u;
  std::vector<uint8_t> rgba(stride * static_cast<size_t>(height));
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return SPI_NO_FUNCTION;
  config.output.colorspace = MODE_RGBA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = rgba.data();
  config.output.u.RGBA.stride = static_cast<int>(stride);
  config.output.u.RGBA.size = rgba.size();
  std::unique_ptr<WebPIDecoder, IDecoderFree> decoder(WebPIDecode(nullptr, 0, &config));
  if (!decoder) return SPI_OUT_OF_MEMORY;
  // Feed the data in slices; between slices the rows decoded so far are stored and reported.
  constexpr size_t kSlice = 256 * 1024;
  int stored = 0;
  VP8StatusCode status = VP8_STATUS_SUSPENDED;
  for (size_t pos = 0; pos < size && status == VP8_STATUS_SUSPENDED;) {
    size_t take = std::min(kSlice, size - pos);
    status = WebPIAppend(decoder.get(), data + pos, take);
    pos += take;
    int lastY = 0;
    if (WebPIDecGetRGB(decoder.get(), &lastY, nullptr, nullptr, nullptr) != nullptr) {
      lastY = std::clamp(lastY, stored, height);
      if (!StoreRows(rgba.data(), stride, stored, lastY, out, progress)) return SPI_FORMAT_ERROR;
      stored = lastY;
    }
    if (progress.Report(stored, height)) return SPI_FORMAT_ERROR;
  }
  rc = StatusCode(status);
  if (rc != SPI_OK) return rc;
  if (!StoreRows(rgba.data(), stride, stored, height, out, progress)) return SPI_FORMAT_ERROR;
  progress.Report(height, height);
  return SPI_OK;
}

int Decode(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  WebPBitstreamFeatures features;
  int rc = StatusCode(WebPGetFeatures(data, size, &features));
  if (rc != SPI_OK) return rc;
  if (features.has_animation) return DecodeFirstFrame(data, size, out, progress);
  return DecodeStill(data, size, features.width, features.height, out, progress);
}

const PictureFormat kFormat = {kInfo, &Recognise, &ReadFacts, &Decode};

}  // namespace
}  // namespace tamro::plugin

TAMRO_PICTURE_PLUGIN(tamro::plugin::kFormat)
