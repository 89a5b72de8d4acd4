// Built-in TIFF decoder over libtiff, opened on the memory image through its client interface.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "decode/builtin/common.h"
#include "decode/builtin/decoders.h"

namespace tamro::builtin {

namespace {

// The memory image that libtiff reads through the client calls; writing is refused.
struct MemoryFile {
  const unsigned char *data;
  toff_t size;
  toff_t pos = 0;
};

tmsize_t MemRead(thandle_t h, void *buf, tmsize_t n) {
  auto *f = static_cast<MemoryFile *>(h);
  if (n <= 0 || f->pos >= f->size) return 0;
  const toff_t take = std::min<toff_t>(static_cast<toff_t>(n), f->size - f->pos);
  std::memcpy(buf, f->data + f->pos, take);
  f->pos += take;
  return static_cast<tmsize_t>(take);
}
tmsize_t MemWrite(thandle_t, void *, tmsize_t) { return -1; }
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto *f = static_cast<MemoryFile *>(h);
  toff_t base = 0;
  if (whence == SEEK_CUR)
    base = f->pos;
  else if (whence == SEEK_END)
    base = f->size;
  else if (whence != SEEK_SET)
    return static_cast<toff_t>(-1);
  // toff_t is unsigned: a negative offset arrives wrapped around.
  const toff_t to = base + off;
  if (whence != SEEK_SET && static_cast<int64_t>(off) < 0 &&
      static_cast<toff_t>(-static_cast<int64_t>(off)) > base)
    return static_cast<toff_t>(-1);
  f->pos = to;
  return to;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile *>(h)->size; }
int MemMap(thandle_t h, void **base, toff_t *size) {
  auto *f = static_cast<MemoryFile *>(h);
  *base = const_cast<unsigned char *>(f->data);
  *size = f->size;
  return 1;
}
void MemUnmap(thandle_t, void *, toff_t) {}

int Quiet(TIFF *, void *, const char *, const char *, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF *t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Opens the image with messages kept quiet per handle (the library's global handlers
// are left alone) and its allocations bounded.
TiffPtr Open(MemoryFile &file) {
  TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kDecodeBudgetBytes));
  TiffPtr tif(TIFFClientOpenExt("", "r", &file, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap,
                                MemUnmap, options));
  TIFFOpenOptionsFree(options);
  return tif;
}

bool SourceBytes(const char *source, long lengthOrOffset, unsigned flags, std::unique_ptr<FileView> &view,
                 MemoryFile &file, int &error) {
  switch (flags & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE:
      view = std::make_unique<FileView>(source, lengthOrOffset);
      if (!view->ok()) {
        error = SPI_READ_ERROR;
        return false;
      }
      file = MemoryFile{view->data(), view->size()};
      return true;
    case SPI_SOURCE_MEMORY:
      if (lengthOrOffset < 0) break;
      file = MemoryFile{reinterpret_cast<const unsigned char *>(source), static_cast<toff_t>(lengthOrOffset)};
      return true;
  }
  error = SPI_NO_FUNCTION;
  return false;
}

// Any layout the strip copy cannot represent goes through libtiff's RGBA reader, which
// also applies the photometric, sample formats, tiles and planes.
int DecodeRgba(TIFF *tif, uint32_t width, uint32_t height, HDIB *out) {
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) return SPI_FORMAT_ERROR;
  if (!WithinDecodeBudget(uint64_t{width} * height * 4)) return SPI_OUT_OF_MEMORY;
  std::vector<uint32_t> raster;
  try {
    raster.resize(static_cast<std::size_t>(width) * height);
  } catch (const std::bad_alloc &) {
    return SPI_OUT_OF_MEMORY;
  }
  NewDib dib = MakeDib(static_cast<int>(width), static_cast<int>(height), 24, 0);
  if (!dib) return SPI_OUT_OF_MEMORY;
  dib.header->xPelsPerMeter = dib.header->yPelsPerMeter = 2834;
  // Rows that could not be read stay black; the rest of the picture still stands.
  TIFFReadRGBAImageOriented(tif, width, height, raster.data(), ORIENTATION_BOTLEFT, 0);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t *src = raster.data() + static_cast<std::size_t>(y) * width;
    unsigned char *dst = dib.bits + y * dib.rowBytes;
    for (uint32_t x = 0; x < width; ++x, dst += 3) {
      dst[0] = static_cast<unsigned char>(TIFFGetB(src[x]));
      dst[1] = static_cast<unsigned char>(TIFFGetG(src[x]));
      dst[2] = static_cast<unsigned char>(TIFFGetR(src[x]));
    }
  }
  *out = dib.Release();
  return SPI_OK;
}

}  // namespace

int TiffIsSupported(uintptr_t data) {
  const HeadBytes head = ReadHead(data);
  const unsigned char *b = head.bytes;
  return (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 0x2A) ||
         (b[0] == 'I' && b[1] == 'I' && b[2] == 0x2A && b[3] == 0);
}

int TiffGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info) {
  if (!info || !source) return SPI_NO_FUNCTION;
  std::unique_ptr<FileView> view;
  MemoryFile file{};
  int error = 0;
  if (!SourceBytes(source, lengthOrOffset, flags, view, file, error)) return error;
  TiffPtr tif = Open(file);
  if (!tif) return SPI_READ_ERROR;
  uint32_t width = 0, height = 0;
  uint16_t bits = 1, samples = 1;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  *info = SpiPictureInfo{};
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  info->colorDepth = static_cast<int16_t>(samples * bits);
  return SPI_OK;
}

int TiffGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out) {
  if (!out || !source) return SPI_NO_FUNCTION;
  std::unique_ptr<FileView> view;
  MemoryFile file{};
  int error = 0;
  if (!SourceBytes(source, lengthOrOffset, flags, view, file, error)) return error;
  TiffPtr tif = Open(file);
  if (!tif) return SPI_READ_ERROR;
  TIFF *t = tif.get();

  uint32_t width = 0, height = 0, rowsPerStrip = 0;
  uint16_t bits = 1, photometric = 0, samples = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
  if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height))
    return SPI_FORMAT_ERROR;
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) return SPI_FORMAT_ERROR;
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  const bool hasPhotometric = TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
  uint16_t *mapR = nullptr, *mapG = nullptr, *mapB = nullptr;
  const bool hasMap = TIFFGetField(t, TIFFTAG_COLORMAP, &mapR, &mapG, &mapB);

  // The strip copy handles what it can show as it is: 1, 4 and 8-bit grey or palette
  // pictures and 8-bit RGB, unsigned, interleaved, in strips.
  const bool grey = samples == 1 && (bits == 1 || bits == 4 || bits == 8) && hasPhotometric &&
                    (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ||
                     (photometric == PHOTOMETRIC_PALETTE && hasMap));
  const bool rgb = samples == 3 && bits == 8 && hasPhotometric && photometric == PHOTOMETRIC_RGB;
  if (!(grey || rgb) || TIFFIsTiled(t) || format != SAMPLEFORMAT_UINT ||
      (samples > 1 && planar != PLANARCONFIG_CONTIG))
    return DecodeRgba(t, width, height, out);

  const tmsize_t scanline = TIFFScanlineSize(t);
  if (scanline <= 0) return SPI_FORMAT_ERROR;
  const uint64_t bytesPerPixel = std::max<uint64_t>(1, static_cast<uint64_t>(scanline) / width);
  const uint64_t product = bytesPerPixel * bits;
  const int depth = product < 2 ? 1 : product <= 4 ? 4 : product <= 8 ? 8 : 24;
  const int colours = depth <= 8 ? 1 << depth : 0;
  NewDib dib = MakeDib(static_cast<int>(width), static_cast<int>(height), depth, colours);
  if (!dib) return SPI_OUT_OF_MEMORY;
  dib.header->xPelsPerMeter = dib.header->yPelsPerMeter = 2834;

  if (colours) {
    const int entries = 1 << bits;
    if (photometric == PHOTOMETRIC_PALETTE) {
      bool wide = false;
      for (int i = 0; i < entries; ++i) wide = wide || mapR[i] > 255 || mapG[i] > 255 || mapB[i] > 255;
      auto channel = [wide](uint16_t v) {
        return static_cast<uint8_t>(wide ? static_cast<uint32_t>(v) * 255 / 65535 : v & 0xFF);
      };
      for (int i = 0; i < entries && i < colours; ++i)
        dib.palette[i] = RgbQuad{channel(mapB[i]), channel(mapG[i]), channel(mapR[i]), 0};
    } else {
      const int step = 255 / (entries - 1);
      for (int i = 0; i < entries && i < colours; ++i) {
        const auto v =
            static_cast<uint8_t>(photometric == PHOTOMETRIC_MINISWHITE ? 255 - i * step : i * step);
        dib.palette[i] = RgbQuad{v, v, v, 0};
      }
    }
  }

  if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
  const tmsize_t stripSize = TIFFStripSize(t);
  if (stripSize <= 0) return SPI_FORMAT_ERROR;
  std::vector<unsigned char> strip;
  try {
    strip.resize(static_cast<std::size_t>(stripSize) + 4);
  } catch (const std::bad_alloc &) {
    return SPI_OUT_OF_MEMORY;
  }
  const auto line = static_cast<std::size_t>(scanline);
  const std::size_t copy = std::min<std::size_t>(line, dib.rowBytes);
  const uint32_t strips = TIFFNumberOfStrips(t);
  uint32_t y = 0;
  for (uint32_t s = 0; s < strips && y < height; ++s) {
    const tmsize_t got = TIFFReadEncodedStrip(t, s, strip.data(), stripSize);
    if (got < 0) break;  // the rows read so far stand
    const uint32_t rows = std::min(rowsPerStrip, height - y);
    for (uint32_t r = 0; r < rows; ++r, ++y) {
      const std::size_t at = static_cast<std::size_t>(r) * line;
      if (at + line > static_cast<std::size_t>(got)) {
        y = height;  // a short strip: nothing more to show
        break;
      }
      const unsigned char *src = strip.data() + at;
      unsigned char *dst = dib.bits + static_cast<uint64_t>(height - 1 - y) * dib.rowBytes;
      if (rgb) {
        for (uint32_t x = 0; x < width; ++x, src += 3, dst += 3) {
          dst[0] = src[2];
          dst[1] = src[1];
          dst[2] = src[0];
        }
      } else {
        std::memcpy(dst, src, copy);
      }
    }
  }
  *out = dib.Release();
  return SPI_OK;
}

}  // namespace tamro::builtin
