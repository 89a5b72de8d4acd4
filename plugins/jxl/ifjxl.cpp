// JPEG XL pictures through libjxl: the first frame (animations are coalesced by the
// decoder), orientation applied, alpha composited on white.

#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "common/pictureplugin.h"

namespace tamro::plugin {
namespace {

const char *const kInfo[] = {"00IN", "Tamro JPEG XL decoder (libjxl)", "*.jxl", "JPEG XL 画像", nullptr};

bool Recognise(const uint8_t *head, size_t size) {
  JxlSignature sig = JxlSignatureCheck(head, size);
  return sig == JXL_SIG_CODESTREAM || sig == JXL_SIG_CONTAINER;
}

struct DecoderFree {
  void operator()(JxlDecoder *d) const { JxlDecoderDestroy(d); }
};
struct RunnerFree {
  void operator()(void *r) const { JxlResizableParallelRunnerDestroy(r); }
};

// Width and height as the decoder delivers them: orientations 5 to 8 turn the picture.
std::pair<uint32_t, uint32_t> OrientedSize(const JxlBasicInfo &info) {
  if (info.orientation >= JXL_ORIENT_TRANSPOSE) return {info.ysize, info.xsize};
  return {info.xsize, info.ysize};
}

// Pixels as the decoder finishes them: a run of RGBA pixels of one row, possibly from several
// threads at once (on different pixels). They go straight into the picture.
void StorePixels(void *opaque, size_t x, size_t y, size_t count, const void *pixels) {
  auto *out = static_cast<DibOutput *>(opaque);
  if (x >= static_cast<size_t>(out->width()) || y >= static_cast<size_t>(out->height())) return;
  out->PutRgbaRun(static_cast<int>(y), static_cast<int>(x),
                  static_cast<int>(std::min(count, static_cast<size_t>(out->width()) - x)),
                  static_cast<const uint8_t *>(pixels));
}

// Runs the decoder over the whole memory image. With `out` null it stops after the basic
// information; otherwise it decodes the first frame into `out`.
int Run(const uint8_t *data, size_t size, JxlBasicInfo &info, DibOutput *out, Progress *progress) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  std::unique_ptr<JxlDecoder, DecoderFree> dec(JxlDecoderCreate(nullptr));
  if (!dec) return SPI_OUT_OF_MEMORY;
  // The runner must be in place before decoding starts; its thread count is set once the
  // picture's size is known.
  std::unique_ptr<void, RunnerFree> runner;
  if (out != nullptr) {
    runner.reset(JxlResizableParallelRunnerCreate(nullptr));
    if (runner &&
        JxlDecoderSetParallelRunner(dec.get(), JxlResizableParallelRunner, runner.get()) != JXL_DEC_SUCCESS)
      return SPI_NO_FUNCTION;
  }
  int events = JXL_DEC_BASIC_INFO | (out != nullptr ? JXL_DEC_FULL_IMAGE : 0);
  if (JxlDecoderSubscribeEvents(dec.get(), events) != JXL_DEC_SUCCESS) return SPI_NO_FUNCTION;
  if (JxlDecoderSetInput(dec.get(), data, size) != JXL_DEC_SUCCESS) return SPI_FORMAT_ERROR;
  JxlDecoderCloseInput(dec.get());

  const JxlPixelFormat format = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  bool haveInfo = false;
  for (;;) {
    JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
    switch (status) {
      case JXL_DEC_BASIC_INFO: {
        if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) return SPI_FORMAT_ERROR;
        haveInfo = true;
        if (out == nullptr) return SPI_OK;
        auto [width, height] = OrientedSize(info);
        if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return SPI_FORMAT_ERROR;
        int rc = out->Create(static_cast<int>(width), static_cast<int>(height));
        if (rc != SPI_OK) return rc;
        if (progress->Report(0, out->height())) return SPI_FORMAT_ERROR;
        if (runner)
          JxlResizableParallelRunnerSetThreads(
              runner.get(), JxlResizableParallelRunnerSuggestThreads(info.xsize, info.ysize));
        break;
      }
      case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
        if (out == nullptr ||
            JxlDecoderSetImageOutCallback(dec.get(), &format, &StorePixels, out) != JXL_DEC_SUCCESS)
          return SPI_FORMAT_ERROR;
        break;
      }
      case JXL_DEC_FULL_IMAGE:
        // The first frame is all we show; the rest of the file is not decoded.
        progress->Report(out->height(), out->height());
        return SPI_OK;
      case JXL_DEC_NEED_MORE_INPUT:
        return haveInfo ? SPI_DATA_ENDED : SPI_FORMAT_ERROR;
      case JXL_DEC_SUCCESS:
        return SPI_FORMAT_ERROR;  // ended without a picture
      case JXL_DEC_ERROR:
      default:
        return SPI_FORMAT_ERROR;
    }
  }
}

int ReadFacts(const uint8_t *data, size_t size, PictureFacts &facts) {
  JxlBasicInfo info;
  int rc = Run(data, size, info, nullptr, nullptr);
  if (rc != SPI_OK) return rc;
  auto [width, height] = OrientedSize(info);
  if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return SPI_FORMAT_ERROR;
  facts.width = static_cast<int>(width);
  facts.height = static_cast<int>(height);
  facts.bitCount =
      static_cast<int>(info.bits_per_sample * (info.num_color_channels + (info.alpha_bits > 0 ? 1 : 0)));
  return SPI_OK;
}

int Decode(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  JxlBasicInfo info;
  return Run(data, size, info, &out, &progress);
}

const PictureFormat kFormat = {kInfo, &Recognise, &ReadFacts, &Decode};

}  // namespace
}  // namespace tamro::plugin

TAMRO_PICTURE_PLUGIN(tamro::plugin::kFormat)
