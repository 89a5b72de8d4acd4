// WebP pictures through libwebp: lossy and lossless stills, decoded incrementally so the
// progress callback can stop them, and the first frame of animations.

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

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

// libwebp's lossless decoder keeps the whole picture beside the rows it writes into ours, at
// four bytes a pixel and with 17 rows of cache: a block of the decode like any other, so a
// picture whose block would exceed the budget is refused before anything is allocated, as
// a few bytes can describe one that large.
bool LosslessScratchFits(int width, int height) {
  return WithinDecodeBudget(uint64_t{4} * static_cast<uint64_t>(width) *
                            (static_cast<uint64_t>(height) + 17));
}

struct IDecoderFree {
  void operator()(WebPIDecoder *d) const { WebPIDelete(d); }
};

// Decodes the bitstream `data` (a still picture, or one frame's payload) into the rectangle
// (left, top, width, height) of a canvas of canvasWidth x canvasHeight. libwebp writes the
// rows straight into the picture handed to the host, flipped since its rows are stored
// bottom row first; pictures with alpha, or a frame not covering its canvas, go through the
// RGBA rows of DibOutput::CreateRgba (transparent, so shown white, outside the frame).
int DecodeInto(const uint8_t *data, size_t size, int canvasWidth, int canvasHeight, int left, int top,
               int width, int height, bool alpha, DibOutput &out, Progress &progress) {
  if (width <= 0 || height <= 0 || left < 0 || top < 0 || width > canvasWidth - left ||
      height > canvasHeight - top)
    return SPI_FORMAT_ERROR;
  const bool rgba = alpha || width != canvasWidth || height != canvasHeight;
  int rc = rgba ? out.CreateRgba(canvasWidth, canvasHeight) : out.Create(canvasWidth, canvasHeight);
  if (rc != SPI_OK) return rc;
  const size_t pixel = rgba ? 4u : 3u, stride = rgba ? out.rgbaStride() : out.stride();
  // The lowest address of the rectangle: its bottom row.
  uint8_t *first =
      (rgba ? out.RgbaRow(top + height - 1) : out.Row(top + height - 1)) + static_cast<size_t>(left) * pixel;

  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return SPI_NO_FUNCTION;
  config.options.flip = 1;
  config.output.colorspace = rgba ? MODE_RGBA : MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = first;
  config.output.u.RGBA.stride = static_cast<int>(stride);
  config.output.u.RGBA.size = stride * static_cast<size_t>(height - 1) + static_cast<size_t>(width) * pixel;
  std::unique_ptr<WebPIDecoder, IDecoderFree> decoder(WebPIDecode(nullptr, 0, &config));
  if (!decoder) return SPI_OUT_OF_MEMORY;
  // The callback hears of the rows as they come out, every few rows; false when it cancels.
  const int step = ProgressStep(canvasHeight);
  int told = 0;
  auto tell = [&](int rows) {
    for (; told < rows; ++told)
      if (told % step == 0 && progress.Report(top + told, canvasHeight)) return false;
    return true;
  };
  // Feed the data in slices, so that rows come out (and are told) while it is decoded.
  const size_t slice = std::clamp<size_t>(size / 64, 64, 256 * 1024);
  VP8StatusCode status = VP8_STATUS_SUSPENDED;
  for (size_t pos = 0; pos < size && status == VP8_STATUS_SUSPENDED;) {
    size_t take = std::min(slice, size - pos);
    status = WebPIAppend(decoder.get(), data + pos, take);
    pos += take;
    int lastY = 0;
    if (status == VP8_STATUS_SUSPENDED && WebPIDecGetRGB(decoder.get(), &lastY, nullptr, nullptr, nullptr) &&
        !tell(std::clamp(lastY, 0, height)))
      return SPI_FORMAT_ERROR;
  }
  rc = StatusCode(status);
  if (rc != SPI_OK) return rc;
  if (!tell(height)) return SPI_FORMAT_ERROR;
  progress.Report(canvasHeight, canvasHeight);
  return SPI_OK;
}

struct DemuxFree {
  void operator()(WebPDemuxer *d) const { WebPDemuxDelete(d); }
};

// The first frame of an animation, drawn on the transparent canvas it starts from.
int DecodeFirstFrame(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  WebPData webp = {data, size};
  std::unique_ptr<WebPDemuxer, DemuxFree> demux(WebPDemux(&webp));
  if (!demux) return SPI_FORMAT_ERROR;
  const uint32_t canvasWidth = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
  const uint32_t canvasHeight = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
  if (canvasWidth == 0 || canvasHeight == 0 || canvasWidth > 0x7FFFFFFFu || canvasHeight > 0x7FFFFFFFu)
    return SPI_FORMAT_ERROR;
  WebPIterator frame;
  if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) return SPI_FORMAT_ERROR;
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &features) == VP8_STATUS_OK &&
      features.format == 2 && !LosslessScratchFits(features.width, features.height)) {
    WebPDemuxReleaseIterator(&frame);
    return SPI_OUT_OF_MEMORY;
  }
  const int rc = DecodeInto(frame.fragment.bytes, frame.fragment.size, static_cast<int>(canvasWidth),
                            static_cast<int>(canvasHeight), frame.x_offset, frame.y_offset, frame.width,
                            frame.height, frame.has_alpha != 0, out, progress);
  WebPDemuxReleaseIterator(&frame);
  return rc;
}

int Decode(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  WebPBitstreamFeatures features;
  int rc = StatusCode(WebPGetFeatures(data, size, &features));
  if (rc != SPI_OK) return rc;
  if (features.has_animation) return DecodeFirstFrame(data, size, out, progress);
  if (features.format == 2 && !LosslessScratchFits(features.width, features.height)) return SPI_OUT_OF_MEMORY;
  return DecodeInto(data, size, features.width, features.height, 0, 0, features.width, features.height,
                    features.has_alpha != 0, out, progress);
}

// The ICCP chunk of an extended file.
int ReadProfile(const uint8_t *data, size_t size, std::string &profile) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  WebPData webp = {data, size};
  std::unique_ptr<WebPDemuxer, DemuxFree> demux(WebPDemux(&webp));
  if (!demux) return SPI_FORMAT_ERROR;
  if ((WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) == 0) return SPI_OK;
  WebPChunkIterator chunk;
  if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
    profile.assign(reinterpret_cast<const char *>(chunk.chunk.bytes), chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  return SPI_OK;
}

const PictureFormat kFormat = {kInfo, &Recognise, &ReadFacts, &Decode, &ReadProfile};

}  // namespace
}  // namespace tamro::plugin

TAMRO_PICTURE_PLUGIN(tamro::plugin::kFormat)
