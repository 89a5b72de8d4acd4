// GIF pictures through giflib: the first image of the file drawn on its logical screen, which
// is white where the image leaves it uncovered or transparent. Animation is the picture
// window's business; a still picture is what thumbnails and the picture entry points need.

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/pictureplugin.h"

namespace tamro::plugin {
namespace {

#define TAMRO_STRING(x) #x
#define TAMRO_VERSION(a, b, c) TAMRO_STRING(a) "." TAMRO_STRING(b) "." TAMRO_STRING(c)

const char *const kInfo[] = {
    "00IN", "Tamro GIF decoder (giflib " TAMRO_VERSION(GIFLIB_MAJOR, GIFLIB_MINOR, GIFLIB_RELEASE) ")",
    "*.gif", "GIF 画像", nullptr};

bool Recognise(const uint8_t *head, size_t size) {
  return size >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0);
}

// One giflib read over a memory image, closed with the object.
class GifRead {
 public:
  GifRead(const uint8_t *data, size_t size) : data_(data), size_(size) {
    int error = 0;
    gif_ = DGifOpen(this, &GifRead::OnRead, &error);
  }
  ~GifRead() {
    int error = 0;
    if (gif_ != nullptr) DGifCloseFile(gif_, &error);
  }
  GifRead(const GifRead &) = delete;
  GifRead &operator=(const GifRead &) = delete;

  GifFileType *gif() const { return gif_; }

 private:
  // Past the end the data reads as zeros: giflib drops a whole sub-block that ends early,
  // while zero codes after its real bytes keep the pixels those bytes hold (and add pixels of
  // colour 0, as the built-in decoder leaves a picture cut short).
  static int OnRead(GifFileType *gif, GifByteType *out, int length) {
    auto *self = static_cast<GifRead *>(gif->UserData);
    const size_t want = static_cast<size_t>(std::max(length, 0));
    const size_t take = std::min(want, self->size_ - self->pos_);
    std::memcpy(out, self->data_ + self->pos_, take);
    std::memset(out + take, 0, want - take);
    self->pos_ += take;
    return length;
  }

  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
  GifFileType *gif_ = nullptr;
};

// The first image: its descriptor read, its transparent index from the graphic control
// extension before it, and the canvas it is drawn on.
struct FirstImage {
  int transparent = NO_TRANSPARENT_COLOR;
  int canvasWidth = 0, canvasHeight = 0;
  const ColorMapObject *colours = nullptr;
};

// Reads up to the first image's descriptor; SPI_OK or the failure code.
int FindFirstImage(GifFileType *gif, FirstImage &first) {
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return SPI_FORMAT_ERROR;
    if (type == TERMINATE_RECORD_TYPE) return SPI_FORMAT_ERROR;  // no image at all
    if (type == IMAGE_DESC_RECORD_TYPE) break;
    if (type != EXTENSION_RECORD_TYPE) return SPI_FORMAT_ERROR;
    int code = 0;
    GifByteType *block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return SPI_FORMAT_ERROR;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
      GraphicsControlBlock control{};
      control.TransparentColor = NO_TRANSPARENT_COLOR;
      if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
        first.transparent = control.TransparentColor;
    }
    while (block != nullptr)
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return SPI_FORMAT_ERROR;
  }
  if (DGifGetImageDesc(gif) == GIF_ERROR) return SPI_FORMAT_ERROR;
  const GifImageDesc &image = gif->Image;
  // A screen of no size (written by careless encoders) takes the image's extent; an empty
  // image leaves the screen blank.
  first.canvasWidth = gif->SWidth > 0 ? gif->SWidth : image.Left + image.Width;
  first.canvasHeight = gif->SHeight > 0 ? gif->SHeight : image.Top + image.Height;
  if (first.canvasWidth <= 0 || first.canvasHeight <= 0) return SPI_FORMAT_ERROR;
  first.colours = image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap;
  return SPI_OK;
}

int ReadFacts(const uint8_t *data, size_t size, PictureFacts &facts) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  GifRead r(data, size);
  if (r.gif() == nullptr) return SPI_FORMAT_ERROR;
  FirstImage first;
  const int rc = FindFirstImage(r.gif(), first);
  if (rc != SPI_OK) return rc;
  facts.width = first.canvasWidth;
  facts.height = first.canvasHeight;
  facts.bitCount = first.colours != nullptr ? first.colours->BitsPerPixel : 8;
  return SPI_OK;
}

int Decode(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  if (!Recognise(data, size)) return SPI_FORMAT_ERROR;
  GifRead r(data, size);
  GifFileType *gif = r.gif();
  if (gif == nullptr) return SPI_FORMAT_ERROR;
  FirstImage first;
  int rc = FindFirstImage(gif, first);
  if (rc != SPI_OK) return rc;
  rc = out.Create(first.canvasWidth, first.canvasHeight);
  if (rc != SPI_OK) return rc;
  for (int y = 0; y < out.height(); ++y) std::memset(out.Row(y), 0xFF, out.stride());

  // Blue, green, red of every index; without any colour table the indices are grey levels.
  uint8_t bgr[256][3] = {};
  for (int i = 0; i < 256; ++i) {
    if (first.colours == nullptr) {
      bgr[i][0] = bgr[i][1] = bgr[i][2] = static_cast<uint8_t>(i);
    } else if (i < first.colours->ColorCount) {
      const GifColorType &c = first.colours->Colors[i];
      bgr[i][0] = c.Blue;
      bgr[i][1] = c.Green;
      bgr[i][2] = c.Red;
    }
  }

  const GifImageDesc &image = gif->Image;
  if (image.Width <= 0 || image.Height <= 0) return SPI_OK;
  ScratchBuffer line;
  if (!line.Allocate(static_cast<size_t>(image.Width))) return SPI_OUT_OF_MEMORY;
  const int from = std::max(0, -image.Left), to = std::min(image.Width, out.width() - image.Left);
  // Rows in the order they are stored: interlaced images in four passes.
  static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  const int passes = image.Interlace ? 4 : 1;
  std::vector<uint8_t> reached(image.Interlace ? static_cast<size_t>(image.Height) : 0);
  const int step = ProgressStep(image.Height);
  int done = 0;
  bool ended = false;
  for (int pass = 0; pass < passes && !ended; ++pass) {
    for (int row = image.Interlace ? kStart[pass] : 0; row < image.Height;
         row += image.Interlace ? kStep[pass] : 1, ++done) {
      if (done % step == 0 && progress.Report(done, image.Height)) return SPI_FORMAT_ERROR;
      // Data that ends early leaves the rows not reached as they are.
      if (DGifGetLine(gif, line.data(), image.Width) == GIF_ERROR) {
        ended = true;
        break;
      }
      if (image.Interlace) reached[static_cast<size_t>(row)] = 1;
      const int y = image.Top + row;
      if (y < 0 || y >= out.height()) {
        // Nothing below the screen is seen; stop reading once only such rows are left.
        if (!image.Interlace && y >= out.height()) return SPI_OK;
        continue;
      }
      uint8_t *dst = out.Row(y);
      for (int x = from; x < to; ++x) {
        const int index = line.data()[x];
        if (index == first.transparent) continue;
        std::memcpy(dst + static_cast<size_t>(image.Left + x) * 3, bgr[index], 3);
      }
    }
  }
  // An interlaced picture cut short shows as a progressive display would: each row not
  // reached repeats the nearest row above it that was.
  if (ended && image.Interlace && from < to) {
    int source = -1;
    for (int row = 0; row < image.Height; ++row) {
      const int y = image.Top + row;
      if (reached[static_cast<size_t>(row)]) {
        source = y;
      } else if (source >= 0 && source < out.height() && y >= 0 && y < out.height()) {
        const size_t left = static_cast<size_t>(image.Left + from) * 3,
                     bytes = static_cast<size_t>(to - from) * 3;
        std::memcpy(out.Row(y) + left, out.Row(source) + left, bytes);
      }
    }
  }
  progress.Report(image.Height, image.Height);
  return SPI_OK;
}

const PictureFormat kFormat = {kInfo, &Recognise, &ReadFacts, &Decode};

}  // namespace
}  // namespace tamro::plugin

TAMRO_PICTURE_PLUGIN(tamro::plugin::kFormat)
