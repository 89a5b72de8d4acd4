// PNG pictures through libpng: every colour type and depth, interlaced or not, with
// transparency composited on white.

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <utility>

#include "common/pictureplugin.h"

namespace tamro::plugin {
namespace {

const char *const kInfo[] = {"00IN", "Tamro PNG decoder (libpng " PNG_LIBPNG_VER_STRING ")", "*.png",
                             "PNG 画像", nullptr};

bool Recognise(const uint8_t *head, size_t size) { return size >= 8 && png_sig_cmp(head, 0, 8) == 0; }

// One libpng read over a memory image; the structures live as long as this object.
class PngRead {
 public:
  PngRead(const uint8_t *data, size_t size) : data_(data), size_(size) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, &PngRead::OnError, &PngRead::OnWarning);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
    if (png_ != nullptr) png_set_read_fn(png_, this, &PngRead::OnRead);
  }
  ~PngRead() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }
  PngRead(const PngRead &) = delete;
  PngRead &operator=(const PngRead &) = delete;

  bool ok() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  static void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
  static void OnWarning(png_structp, png_const_charp) {}
  static void OnRead(png_structp png, png_bytep out, png_size_t length) {
    auto *self = static_cast<PngRead *>(png_get_io_ptr(png));
    if (length > self->size_ - self->pos_) png_error(png, "data ended");
    std::memcpy(out, self->data_ + self->pos_, length);
    self->pos_ += length;
  }

  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

struct Header {
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  int xDpi = 0, yDpi = 0;
  int channels = 0;  // after the transforms: 3 or 4
  size_t rowBytes = 0;
  int passes = 1;
};

// Reads the header; with `transform` also sets up 8-bit RGB or RGBA rows. Nothing with a
// destructor lives in this frame, since libpng leaves it by longjmp.
int ReadHeader(PngRead &r, Header &h, bool transform) {
  png_structp png = r.png();
  png_infop info = r.info();
  if (setjmp(png_jmpbuf(png))) return SPI_FORMAT_ERROR;
  png_read_info(png, info);
  png_get_IHDR(png, info, &h.width, &h.height, &h.bitDepth, &h.colorType, &h.interlace, nullptr, nullptr);
  png_uint_32 xRes = 0, yRes = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &xRes, &yRes, &unit) != 0 && unit == PNG_RESOLUTION_METER) {
    h.xDpi = static_cast<int>((xRes * 254ull + 5000) / 10000);
    h.yDpi = static_cast<int>((yRes * 254ull + 5000) / 10000);
  }
  if (!transform) return SPI_OK;
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  h.passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  h.channels = png_get_channels(png, info);
  h.rowBytes = png_get_rowbytes(png, info);
  if (png_get_bit_depth(png, info) != 8 || (h.channels != 3 && h.channels != 4) ||
      h.rowBytes < static_cast<size_t>(h.width) * h.channels)
    return SPI_FORMAT_ERROR;
  return SPI_OK;
}

void StoreRow(DibOutput &out, int y, const uint8_t *row, int channels) {
  if (channels == 4)
    out.PutRgba(y, row);
  else
    out.PutRgb(y, row);
}

// Reads the rows into `out` and answers SPI_OK, SPI_FORMAT_ERROR for bad data or a cancel
// (SPI_DATA_ENDED is not told apart from bad data by libpng). A plain picture goes through
// the one-row buffer `line`; the passes of an interlaced one each add pixels to rows already
// begun, so its rows live in the picture itself: 24-bit rows turned to blue, green, red at
// the end, or (with alpha) the RGBA rows of DibOutput::CreateRgba.
int ReadRows(PngRead &r, const Header &h, uint8_t *line, DibOutput &out, Progress &progress) {
  png_structp png = r.png();
  if (setjmp(png_jmpbuf(png))) return SPI_FORMAT_ERROR;
  const int height = static_cast<int>(h.height);
  const int step = ProgressStep(height);
  if (h.passes <= 1) {
    for (int y = 0; y < height; ++y) {
      if (y % step == 0 && progress.Report(y, height)) return SPI_FORMAT_ERROR;
      png_read_row(png, line, nullptr);
      StoreRow(out, y, line, h.channels);
    }
  } else {
    for (int pass = 0; pass < h.passes; ++pass) {
      for (int y = 0; y < height; ++y) {
        // Passes share the row count, so the report stays within (0, height).
        const int64_t done = (static_cast<int64_t>(pass) * height + y) / h.passes;
        if (y % step == 0 && progress.Report(static_cast<int>(done), height)) return SPI_FORMAT_ERROR;
        png_read_row(png, h.channels == 4 ? out.RgbaRow(y) : out.Row(y), nullptr);
      }
    }
    if (h.channels == 3)
      for (int y = 0; y < height; ++y) {
        uint8_t *p = out.Row(y);
        for (int x = 0; x < out.width(); ++x, p += 3) std::swap(p[0], p[2]);
      }
  }
  progress.Report(height, height);
  return SPI_OK;
}

int ReadFacts(const uint8_t *data, size_t size, PictureFacts &facts) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  PngRead r(data, size);
  if (!r.ok()) return SPI_OUT_OF_MEMORY;
  Header h;
  int rc = ReadHeader(r, h, false);
  if (rc != SPI_OK) return rc;
  if (h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu) return SPI_FORMAT_ERROR;
  facts.width = static_cast<int>(h.width);
  facts.height = static_cast<int>(h.height);
  int samples = 1;
  switch (h.colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      samples = 2;
      break;
    case PNG_COLOR_TYPE_RGB:
      samples = 3;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      samples = 4;
      break;
    default:
      samples = 1;
      break;  // grey and palette
  }
  facts.bitCount = h.bitDepth * samples;
  facts.xDpi = h.xDpi;
  facts.yDpi = h.yDpi;
  return SPI_OK;
}

int Decode(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  PngRead r(data, size);
  if (!r.ok()) return SPI_OUT_OF_MEMORY;
  Header h;
  int rc = ReadHeader(r, h, true);
  if (rc != SPI_OK) return rc;
  if (h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu) return SPI_FORMAT_ERROR;
  const bool interlaced = h.passes > 1;
  // Interlaced rows are read straight into the picture: they must be exactly as long.
  if (interlaced && h.rowBytes != static_cast<size_t>(h.width) * static_cast<size_t>(h.channels))
    return SPI_FORMAT_ERROR;
  const int width = static_cast<int>(h.width), height = static_cast<int>(h.height);
  rc = interlaced && h.channels == 4 ? out.CreateRgba(width, height, h.xDpi, h.yDpi)
                                     : out.Create(width, height, h.xDpi, h.yDpi);
  if (rc != SPI_OK) return rc;
  ScratchBuffer line;
  if (!interlaced && !line.Allocate(h.rowBytes)) return SPI_OUT_OF_MEMORY;
  return ReadRows(r, h, line.data(), out, progress);
}

// The iCCP chunk's profile, if the chunks before the picture data hold one. The string is
// filled outside the frame that libpng may leave by longjmp.
int ReadIccChunk(PngRead &r, png_bytep *bytes, png_uint_32 *length) {
  png_structp png = r.png();
  if (setjmp(png_jmpbuf(png))) return SPI_FORMAT_ERROR;
  png_read_info(png, r.info());
  png_charp name = nullptr;
  int compression = 0;
  if (png_get_iCCP(png, r.info(), &name, &compression, bytes, length) == 0) *bytes = nullptr;
  return SPI_OK;
}

int ReadProfile(const uint8_t *data, size_t size, std::string &profile) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  PngRead r(data, size);
  if (!r.ok()) return SPI_OUT_OF_MEMORY;
  png_bytep bytes = nullptr;
  png_uint_32 length = 0;
  const int rc = ReadIccChunk(r, &bytes, &length);
  if (rc == SPI_OK && bytes != nullptr) profile.assign(reinterpret_cast<const char *>(bytes), length);
  return rc;
}

const PictureFormat kFormat = {kInfo, &Recognise, &ReadFacts, &Decode, &ReadProfile};

}  // namespace
}  // namespace tamro::plugin

TAMRO_PICTURE_PLUGIN(tamro::plugin::kFormat)
