// HEIF pictures through libheif: HEIC (HEVC) and AVIF (AV1), the primary image with its
// rotation and mirroring applied, deep colour reduced to 8 bits, alpha composited on white.

#include <libheif/heif.h>
#include <libheif/heif_version.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "common/pictureplugin.h"

namespace tamro::plugin {
namespace {

const char *const kInfo[] = {"00IN",
                             "Tamro HEIF decoder (libheif " LIBHEIF_VERSION ")",
                             "*.heic;*.heif;*.hif",
                             "HEIF 画像",
                             "*.avif",
                             "AVIF 画像",
                             nullptr};

bool Recognise(const uint8_t *head, size_t size) {
  if (size < 12 || std::memcmp(head + 4, "ftyp", 4) != 0) return false;
  return heif_check_filetype(head, static_cast<int>(size)) == heif_filetype_yes_supported;
}

int ErrorCode(const heif_error &error) {
  switch (error.code) {
    case heif_error_Ok:
      return SPI_OK;
    case heif_error_Memory_allocation_error:
      return SPI_OUT_OF_MEMORY;
    case heif_error_Unsupported_feature:
    case heif_error_Unsupported_filetype:
      return SPI_NO_FUNCTION;
    default:
      return SPI_FORMAT_ERROR;
  }
}

struct ContextFree {
  void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HandleFree {
  void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct ImageFree {
  void operator()(heif_image *i) const { heif_image_release(i); }
};
struct OptionsFree {
  void operator()(heif_decoding_options *o) const { heif_decoding_options_free(o); }
};

// The primary image of a memory image; the data must outlive this object.
class Primary {
 public:
  int Open(const uint8_t *data, size_t size) {
    if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
    context_.reset(heif_context_alloc());
    if (!context_) return SPI_OUT_OF_MEMORY;
    int rc = ErrorCode(heif_context_read_from_memory_without_copy(context_.get(), data, size, nullptr));
    if (rc != SPI_OK) return rc;
    heif_image_handle *handle = nullptr;
    rc = ErrorCode(heif_context_get_primary_image_handle(context_.get(), &handle));
    handle_.reset(handle);
    if (rc == SPI_OK && !handle_) rc = SPI_FORMAT_ERROR;
    return rc;
  }
  heif_image_handle *handle() const { return handle_.get(); }

 private:
  std::unique_ptr<heif_context, ContextFree> context_;
  std::unique_ptr<heif_image_handle, HandleFree> handle_;
};

int ReadFacts(const uint8_t *data, size_t size, PictureFacts &facts) {
  Primary primary;
  int rc = primary.Open(data, size);
  if (rc != SPI_OK) return rc;
  facts.width = heif_image_handle_get_width(primary.handle());
  facts.height = heif_image_handle_get_height(primary.handle());
  int bits = heif_image_handle_get_luma_bits_per_pixel(primary.handle());
  if (bits <= 0) bits = 8;
  facts.bitCount = bits * (heif_image_handle_has_alpha_channel(primary.handle()) ? 4 : 3);
  return SPI_OK;
}

int Decode(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  Primary primary;
  int rc = primary.Open(data, size);
  if (rc != SPI_OK) return rc;
  const bool alpha = heif_image_handle_has_alpha_channel(primary.handle()) != 0;
  const int declaredWidth = heif_image_handle_get_width(primary.handle());
  const int declaredHeight = heif_image_handle_get_height(primary.handle());
  if (declaredWidth <= 0 || declaredHeight <= 0) return SPI_FORMAT_ERROR;
  // libheif hands back its own copy of the picture, which is then stored into ours: both
  // must stay within the budget.
  if (!WithinDecodeBudget(static_cast<uint64_t>(declaredWidth) * static_cast<uint64_t>(declaredHeight) *
                          (alpha ? 4u : 3u)))
    return SPI_OUT_OF_MEMORY;
  if (progress.Report(0, declaredHeight)) return SPI_FORMAT_ERROR;

  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  if (!options) return SPI_OUT_OF_MEMORY;
  options->convert_hdr_to_8bit = 1;
  heif_image *decoded = nullptr;
  rc = ErrorCode(heif_decode_image(primary.handle(), &decoded, heif_colorspace_RGB,
                                   alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                   options.get()));
  std::unique_ptr<heif_image, ImageFree> image(decoded);
  if (rc != SPI_OK) return rc;
  if (!image) return SPI_FORMAT_ERROR;

  const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
  int stride = 0;
  const uint8_t *plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const int channels = alpha ? 4 : 3;
  if (plane == nullptr || width <= 0 || height <= 0 || stride < width * channels ||
      heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8)
    return SPI_FORMAT_ERROR;
  rc = out.Create(width, height);
  if (rc != SPI_OK) return rc;
  const int step = ProgressStep(height);
  for (int y = 0; y < height; ++y) {
    if (y % step == 0 && progress.Report(y, height)) return SPI_FORMAT_ERROR;
    const uint8_t *row = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
    if (alpha)
      out.PutRgba(y, row);
    else
      out.PutRgb(y, row);
  }
  progress.Report(height, height);
  return SPI_OK;
}

// The primary image's ICC profile ("prof" or "rICC"). A colour description by numbers
// ("nclx") gives none: those pictures are taken as sRGB.
int ReadProfile(const uint8_t *data, size_t size, std::string &profile) {
  Primary primary;
  int rc = primary.Open(data, size);
  if (rc != SPI_OK) return rc;
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(primary.handle());
  if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return SPI_OK;
  const size_t length = heif_image_handle_get_raw_color_profile_size(primary.handle());
  if (length == 0) return SPI_OK;
  std::string bytes(length, '\0');
  rc = ErrorCode(heif_image_handle_get_raw_color_profile(primary.handle(), bytes.data()));
  if (rc == SPI_OK) profile = std::move(bytes);
  return rc;
}

const PictureFormat kFormat = {kInfo, &Recognise, &ReadFacts, &Decode, &ReadProfile};

}  // namespace
}  // namespace tamro::plugin

TAMRO_PICTURE_PLUGIN(tamro::plugin::kFormat)
