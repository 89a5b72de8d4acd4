// TIFF pictures through libtiff that the built-in TIFF decoder leaves alone: integer samples
// of any depth from 1 to 32 bits, IEEE floats of 16, 24, 32 and 64 bits, grey of either
// polarity, palette and RGB, interleaved or planar, in strips or tiles, with any predictor
// libtiff knows, and an alpha sample composited on white. Only the first page is read; each
// sample is reduced to 8 bits by rounding. Plug-ins are asked before the built-in decoders,
// so IsSupported declines every file the built-in decoder reads.

#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <string>

#include "common/pictureplugin.h"
#include "platform/fileio.h"

namespace tamro::plugin {
namespace {

const char *const kInfo[] = {"00IN", "Tamro TIFF decoder (libtiff)", "*.tif;*.tiff",
                             "TIFF 画像 (高ビット深度, 浮動小数点)", nullptr};

bool IsClassicTiff(const uint8_t *head, size_t size) {
  return size >= 4 && (std::memcmp(head, "II\x2a\0", 4) == 0 || std::memcmp(head, "MM\0\x2a", 4) == 0);
}

// The bytes libtiff reads: a memory image, or a file read in place from `base` on.
struct Source {
  const uint8_t *data = nullptr;
  int fd = -1;
  uint64_t base = 0;
  uint64_t size = 0;
  uint64_t pos = 0;
};

tmsize_t SourceRead(thandle_t h, void *buf, tmsize_t n) {
  auto *s = static_cast<Source *>(h);
  if (n <= 0 || s->pos >= s->size) return 0;
  size_t take = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(n), s->size - s->pos));
  if (s->data != nullptr) {
    std::memcpy(buf, s->data + s->pos, take);
  } else {
    size_t done = 0;
    while (done < take) {
      const ssize_t got = ::pread(s->fd, static_cast<char *>(buf) + done, take - done,
                                  static_cast<off_t>(s->base + s->pos + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    take = done;
  }
  s->pos += take;
  return static_cast<tmsize_t>(take);
}
tmsize_t SourceWrite(thandle_t, void *, tmsize_t) { return -1; }
toff_t SourceSeek(thandle_t h, toff_t off, int whence) {
  auto *s = static_cast<Source *>(h);
  const toff_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->size : 0;
  if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return static_cast<toff_t>(-1);
  // toff_t is unsigned: a negative offset arrives wrapped around.
  if (whence != SEEK_SET && static_cast<int64_t>(off) < 0 &&
      static_cast<toff_t>(-static_cast<int64_t>(off)) > base)
    return static_cast<toff_t>(-1);
  s->pos = base + off;
  return s->pos;
}
int SourceClose(thandle_t) { return 0; }
toff_t SourceSize(thandle_t h) { return static_cast<Source *>(h)->size; }
int SourceMap(thandle_t h, void **base, toff_t *size) {
  auto *s = static_cast<Source *>(h);
  if (s->data == nullptr) return 0;
  *base = const_cast<uint8_t *>(s->data);
  *size = s->size;
  return 1;
}
void SourceUnmap(thandle_t, void *, toff_t) {}

int Quiet(TIFF *, void *, const char *, const char *, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF *t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Messages stay quiet per handle (the library's global handlers are the host's) and no
// single allocation of libtiff exceeds the decode budget.
TiffPtr Open(Source &source) {
  TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kDecodeBudgetBytes));
  TiffPtr tif(TIFFClientOpenExt("", "r", &source, SourceRead, SourceWrite, SourceSeek, SourceClose,
                                SourceSize, SourceMap, SourceUnmap, options));
  TIFFOpenOptionsFree(options);
  return tif;
}

// What the built-in decoder reads: its strip copy (1, 4 and 8-bit grey or palette and 8-bit
// RGB, unsigned, interleaved, in strips) and everything libtiff's RGBA reader accepts.
bool BuiltInReads(TIFF *t) {
  uint16_t bits = 1, photometric = 0, samples = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
  const bool hasPhotometric = TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  const bool hasMap = TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b);
  const bool grey = samples == 1 && (bits == 1 || bits == 4 || bits == 8) && hasPhotometric &&
                    (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ||
                     (photometric == PHOTOMETRIC_PALETTE && hasMap));
  const bool rgb = samples == 3 && bits == 8 && hasPhotometric && photometric == PHOTOMETRIC_RGB;
  if ((grey || rgb) && !TIFFIsTiled(t) && format == SAMPLEFORMAT_UINT &&
      !(samples > 1 && planar != PLANARCONFIG_CONTIG))
    return true;
  char message[1024];
  return TIFFRGBAImageOK(t, message) != 0;
}

// The first directory as this decoder reads it.
struct Layout {
  uint32_t width = 0, height = 0;
  uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT;
  bool planar = false, tiled = false;
  uint32_t blockWidth = 0, blockHeight = 0;  // a tile, or a strip's width and rows
  int colours = 1;                           // 1 for grey and palette, 3 for RGB
  int alpha = -1;                            // the alpha sample's index
  bool associated = false;                   // colours already multiplied by alpha
  bool whiteIsZero = false;
  bool palette = false, wideMap = false;
  uint16_t *map[3] = {};
  double low = 0, high = 1;  // the range of float samples
  bool statedRange = false;  // the file gives that range
};

// False when the directory is not one this decoder can read.
bool ReadLayout(TIFF *t, Layout &l) {
  if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &l.width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &l.height) ||
      l.width == 0 || l.height == 0 || l.width > INT32_MAX || l.height > INT32_MAX)
    return false;
  uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &l.bits);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &l.format);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
  if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric))
    photometric = l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  if (l.format == SAMPLEFORMAT_VOID) l.format = SAMPLEFORMAT_UINT;
  if (l.format == SAMPLEFORMAT_IEEEFP) {
    if (l.bits != 16 && l.bits != 24 && l.bits != 32 && l.bits != 64) return false;
  } else if (l.format != SAMPLEFORMAT_UINT && l.format != SAMPLEFORMAT_INT) {
    return false;
  } else if (l.bits < 1 || l.bits > 32) {
    return false;
  }
  switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
      l.whiteIsZero = true;
      break;
    case PHOTOMETRIC_MINISBLACK:
      break;
    case PHOTOMETRIC_RGB:
      l.colours = 3;
      break;
    case PHOTOMETRIC_PALETTE:
      l.palette = true;
      if (l.format != SAMPLEFORMAT_UINT || l.bits > 8 ||
          !TIFFGetField(t, TIFFTAG_COLORMAP, &l.map[0], &l.map[1], &l.map[2]))
        return false;
      for (int i = 0; i < (1 << l.bits); ++i)
        for (uint16_t *m : l.map) l.wideMap = l.wideMap || m[i] > 255;
      break;
    default:
      return false;
  }
  if (l.samples < l.colours || l.samples > 64 || !TIFFIsCODECConfigured(compression)) return false;
  l.planar = l.samples > 1 && planar == PLANARCONFIG_SEPARATE;
  uint16_t extras = 0, *kinds = nullptr;
  if (l.samples > l.colours && TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extras, &kinds) && extras > 0 &&
      (kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA)) {
    l.alpha = l.colours;
    l.associated = kinds[0] == EXTRASAMPLE_ASSOCALPHA;
  }
  l.tiled = TIFFIsTiled(t) != 0;
  if (l.tiled) {
    if (!TIFFGetField(t, TIFFTAG_TILEWIDTH, &l.blockWidth) ||
        !TIFFGetField(t, TIFFTAG_TILELENGTH, &l.blockHeight) || l.blockWidth == 0 || l.blockHeight == 0)
      return false;
  } else {
    l.blockWidth = l.width;
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &l.blockHeight);
    if (l.blockHeight == 0 || l.blockHeight > l.height) l.blockHeight = l.height;
  }
  double low = 0, high = 0;
  if (l.format == SAMPLEFORMAT_IEEEFP && TIFFGetField(t, TIFFTAG_SMINSAMPLEVALUE, &low) &&
      TIFFGetField(t, TIFFTAG_SMAXSAMPLEVALUE, &high) && std::isfinite(low) && std::isfinite(high) &&
      high > low) {
    l.low = low;
    l.high = high;
    l.statedRange = true;
  }
  return true;
}

double Half(uint32_t h) {
  const int e = static_cast<int>(h >> 10 & 31), m = static_cast<int>(h & 1023);
  const double v = e == 0    ? std::ldexp(m, -24)
                   : e == 31 ? (m ? NAN : INFINITY)
                             : std::ldexp(m + 1024, e - 25);
  return (h & 0x8000) ? -v : v;
}
// 24-bit floats: a sign, 7 bits of exponent biased by 63, 16 bits of mantissa.
double Float24(uint32_t f) {
  const int e = static_cast<int>(f >> 16 & 127), m = static_cast<int>(f & 0xFFFF);
  const double v = e == 0     ? std::ldexp(m, -78)
                   : e == 127 ? (m ? NAN : INFINITY)
                              : std::ldexp(m + 65536, e - 79);
  return (f & 0x800000) ? -v : v;
}

// Sample `index` of a decoded row. Whole-byte samples come in the machine's byte order
// (libtiff swaps them); narrower or odd ones are packed from the most significant bit.
uint64_t SampleAt(const uint8_t *row, uint64_t index, unsigned bits) {
  switch (bits) {
    case 8:
      return row[index];
    case 16: {
      uint16_t v;
      std::memcpy(&v, row + index * 2, 2);
      return v;
    }
    case 24: {
      const uint8_t *p = row + index * 3;
      return std::endian::native == std::endian::little ? (p[0] | p[1] << 8u | uint32_t{p[2]} << 16u)
                                                        : (uint32_t{p[0]} << 16u | p[1] << 8u | p[2]);
    }
    case 32: {
      uint32_t v;
      std::memcpy(&v, row + index * 4, 4);
      return v;
    }
    case 64: {
      uint64_t v;
      std::memcpy(&v, row + index * 8, 8);
      return v;
    }
    default: {
      const uint64_t at = index * bits;
      const uint8_t *p = row + (at >> 3);
      const unsigned lead = static_cast<unsigned>(at & 7), span = (lead + bits + 7) / 8;
      uint64_t acc = 0;
      for (unsigned i = 0; i < span; ++i) acc = acc << 8 | p[i];
      return acc >> (span * 8 - lead - bits) & ((uint64_t{1} << bits) - 1);
    }
  }
}

double FloatValue(const Layout &l, uint64_t raw) {
  if (l.bits == 16) return Half(static_cast<uint32_t>(raw));
  if (l.bits == 24) return Float24(static_cast<uint32_t>(raw));
  if (l.bits == 32) {
    float f;
    const auto u = static_cast<uint32_t>(raw);
    std::memcpy(&f, &u, 4);
    return f;
  }
  double v;
  std::memcpy(&v, &raw, 8);
  return v;
}

// A sample reduced to 8 bits by rounding (palette indices are kept as they are).
uint8_t To8(const Layout &l, uint64_t raw, bool index) {
  if (index) return static_cast<uint8_t>(raw);
  if (l.format == SAMPLEFORMAT_IEEEFP) {
    const double v = FloatValue(l, raw);
    if (std::isnan(v)) return 0;
    const double unit = std::clamp((v - l.low) / (l.high - l.low), 0.0, 1.0);
    return static_cast<uint8_t>(std::lround(unit * 255.0));
  }
  uint64_t max = (uint64_t{1} << l.bits) - 1;
  if (l.format == SAMPLEFORMAT_INT) {
    // Negative values show as black; the positive range spans the scale.
    if (raw >> (l.bits - 1) & 1) return 0;
    max >>= 1;
    if (max == 0) return 0;
  }
  return static_cast<uint8_t>((raw * 255 + max / 2) / max);
}

uint8_t MapEntry(const Layout &l, int channel, uint8_t index) {
  const uint16_t v = l.map[channel][index];
  return static_cast<uint8_t>(l.wideMap ? (v * 255u + 32767u) / 65535u : v & 0xFF);
}

int ReadFacts(const uint8_t *data, size_t size, PictureFacts &facts) {
  if (!IsClassicTiff(data, size)) return SPI_FORMAT_ERROR;
  Source source{data, -1, 0, size};
  TiffPtr tif = Open(source);
  if (!tif) return SPI_FORMAT_ERROR;
  Layout l;
  if (!ReadLayout(tif.get(), l)) return SPI_NO_FUNCTION;
  facts.width = static_cast<int>(l.width);
  facts.height = static_cast<int>(l.height);
  facts.bitCount = l.samples * l.bits;
  return SPI_OK;
}

// Dots per inch from the resolution tags, 0 when they are missing or make no sense.
void Density(TIFF *t, int &xDpi, int &yDpi) {
  uint16_t unit = RESUNIT_INCH;
  float x = 0, y = 0;
  TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (unit != RESUNIT_INCH && unit != RESUNIT_CENTIMETER) return;
  const double scale = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
  auto dpi = [scale](float v) {
    return v > 0 && v * scale < 65536 ? static_cast<int>(std::lround(v * scale)) : 0;
  };
  if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &x)) xDpi = dpi(x);
  if (TIFFGetField(t, TIFFTAG_YRESOLUTION, &y)) yDpi = dpi(y);
}

// The strips or tiles of the first directory, read one at a time into one buffer.
class Blocks {
 public:
  Blocks(TIFF *t, const Layout &l)
      : t_(t),
        l_(l),
        planes_(l.planar ? l.samples : 1u),
        perBlock_(l.planar ? 1u : l.samples),
        rowBytes_((uint64_t{l.blockWidth} * perBlock_ * l.bits + 7) / 8) {}

  bool Allocate() {
    const uint64_t bytes = rowBytes_ * l_.blockHeight;
    return bytes <= static_cast<uint64_t>(INT64_MAX) && buffer_.Allocate(bytes);
  }
  unsigned planes() const { return planes_; }
  // Reads the block at (left, top) of `plane`; answers the whole rows it delivered, at most `rows`.
  uint32_t Read(unsigned plane, uint32_t left, uint32_t top, uint32_t rows) {
    const auto p = static_cast<uint16_t>(plane);
    const auto size = static_cast<tmsize_t>(buffer_.size());
    const tmsize_t got =
        l_.tiled ? TIFFReadEncodedTile(t_, TIFFComputeTile(t_, left, top, 0, p), buffer_.data(), size)
                 : TIFFReadEncodedStrip(t_, TIFFComputeStrip(t_, top, p), buffer_.data(), size);
    return got <= 0 ? 0
                    : static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(got) / rowBytes_, rows));
  }
  // Calls f(row, column, sample, raw value) for the samples of the rows the last Read delivered.
  template <typename F>
  void ForEach(unsigned plane, uint32_t left, uint32_t rows, F &&f) const {
    const uint32_t columns = std::min(l_.blockWidth, l_.width - left);
    for (uint32_t r = 0; r < rows; ++r) {
      const uint8_t *src = buffer_.data() + r * rowBytes_;
      for (uint32_t c = 0; c < columns; ++c)
        for (unsigned s = 0; s < perBlock_; ++s)
          f(r, left + c, l_.planar ? plane : s, SampleAt(src, uint64_t{c} * perBlock_ + s, l_.bits));
    }
  }

 private:
  TIFF *t_;
  const Layout &l_;
  unsigned planes_, perBlock_;
  uint64_t rowBytes_;
  ScratchBuffer buffer_;
};

// Float samples in a file that states no range are taken as 0 to 1; when they go past it,
// the range the samples span (from 0 up when none is negative) is used instead, so that a
// file of values in the hundreds is not all white.
void FindFloatRange(Blocks &blocks, Layout &l) {
  double low = 0, high = 1;
  for (uint32_t top = 0; top < l.height; top += l.blockHeight) {
    const uint32_t rows = std::min(l.blockHeight, l.height - top);
    for (unsigned plane = 0; plane < blocks.planes(); ++plane)
      for (uint32_t left = 0; left < l.width; left += l.blockWidth) {
        const uint32_t got = blocks.Read(plane, left, top, rows);
        blocks.ForEach(plane, left, got, [&](uint32_t, uint32_t, unsigned sample, uint64_t raw) {
          if (static_cast<int>(sample) >= l.colours) return;
          const double v = FloatValue(l, raw);
          if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
          }
        });
        if (got < rows) return;
      }
  }
  l.low = low;
  l.high = high;
}

// Each band of rows (a strip, or a row of tiles) is decoded block by block, plane by plane,
// into 8-bit samples, then composed into the picture's rows. A block that cannot be read
// ends decoding, and the rows read before it stand, as with the built-in decoder; a file
// whose first rows cannot be read gives nothing.
int Decode(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  if (!IsClassicTiff(data, size)) return SPI_FORMAT_ERROR;
  Source source{data, -1, 0, size};
  TiffPtr tif = Open(source);
  if (!tif) return SPI_FORMAT_ERROR;
  TIFF *t = tif.get();
  Layout l;
  if (!ReadLayout(t, l)) return SPI_NO_FUNCTION;

  Blocks blocks(t, l);
  ScratchBuffer band, rgb;
  if (!blocks.Allocate() || !band.Allocate(uint64_t{l.width} * l.samples * l.blockHeight) ||
      !rgb.Allocate(uint64_t{l.width} * 3))
    return SPI_OUT_OF_MEMORY;
  int xDpi = 0, yDpi = 0;
  Density(t, xDpi, yDpi);
  int rc = out.Create(static_cast<int>(l.width), static_cast<int>(l.height), xDpi, yDpi);
  if (rc != SPI_OK) return rc;
  if (l.format == SAMPLEFORMAT_IEEEFP && !l.statedRange) FindFloatRange(blocks, l);

  for (uint32_t top = 0; top < l.height; top += l.blockHeight) {
    const uint32_t rows = std::min(l.blockHeight, l.height - top);
    uint32_t whole = rows;  // rows of the band that every block delivered
    for (unsigned plane = 0; plane < blocks.planes(); ++plane) {
      for (uint32_t left = 0; left < l.width; left += l.blockWidth) {
        const uint32_t got = blocks.Read(plane, left, top, rows);
        whole = std::min(whole, got);
        blocks.ForEach(plane, left, got, [&](uint32_t r, uint32_t x, unsigned sample, uint64_t raw) {
          band.data()[(uint64_t{r} * l.width + x) * l.samples + sample] =
              To8(l, raw, l.palette && sample == 0);
        });
      }
    }
    for (uint32_t r = 0; r < whole; ++r) {
      const uint8_t *src = band.data() + uint64_t{r} * l.width * l.samples;
      uint8_t *dst = rgb.data();
      for (uint32_t x = 0; x < l.width; ++x, src += l.samples, dst += 3) {
        uint8_t c[3];
        if (l.palette) {
          for (int k = 0; k < 3; ++k) c[k] = MapEntry(l, k, src[0]);
        } else if (l.colours == 1) {
          c[0] = c[1] = c[2] = l.whiteIsZero ? static_cast<uint8_t>(255 - src[0]) : src[0];
        } else {
          std::copy(src, src + 3, c);
        }
        for (int k = 0; k < 3; ++k) {
          if (l.alpha < 0)
            dst[k] = c[k];
          else if (l.associated)
            dst[k] = static_cast<uint8_t>(std::min(255, c[k] + 255 - src[l.alpha]));
          else
            dst[k] = OverWhite(c[k], src[l.alpha]);
        }
      }
      out.PutRgb(static_cast<int>(top + r), rgb.data());
    }
    if (whole < rows) {
      if (top + whole == 0) return SPI_DATA_ENDED;
      break;
    }
    if (progress.Report(static_cast<int>(top + rows), static_cast<int>(l.height))) return SPI_FORMAT_ERROR;
  }
  return SPI_OK;
}

// The ICC profile of the first directory.
int ReadProfile(const uint8_t *data, size_t size, std::string &profile) {
  if (!IsClassicTiff(data, size)) return SPI_FORMAT_ERROR;
  Source source{data, -1, 0, size};
  TiffPtr tif = Open(source);
  if (!tif) return SPI_FORMAT_ERROR;
  uint32_t length = 0;
  const char *bytes = nullptr;
  if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &length, &bytes) && bytes != nullptr)
    profile.assign(bytes, length);
  return SPI_OK;
}

const PictureFormat kFormat = {kInfo, &IsClassicTiff, &ReadFacts, &Decode, &ReadProfile};

// Camera raw files are TIFF files too, but their first directory is a preview or the sensor
// data, never the picture: they are left to a raw decoder.
bool IsCameraRaw(const char *filename, TIFF *t) {
  uint8_t *version = nullptr;
  if (TIFFGetField(t, TIFFTAG_DNGVERSION, &version)) return true;
  const char *dot = filename != nullptr ? std::strrchr(filename, '.') : nullptr;
  if (dot == nullptr || std::strchr(dot, '/') != nullptr) return false;
  std::string ext(dot + 1);
  for (char &c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (const char *raw : {"dng", "cr2", "nef", "nrw", "arw", "srf", "sr2", "pef", "srw", "orf", "rw2", "raf",
                          "3fr", "erf", "kdc", "dcr", "mos", "mrw", "iiq"})
    if (ext == raw) return true;
  return false;
}

// Claims a TIFF when the built-in decoder would not read its first directory and this one
// can. The directory may lie anywhere in the file: a descriptor is read in place, and head
// bytes are followed into the file the call names when its start is the same.
int Claim(const char *filename, uintptr_t dw) {
  unsigned char head[SPI_HEAD_BYTES];
  if (!ReadHead(dw, head) || !IsClassicTiff(head, sizeof head)) return 0;
  Source source;
  UniqueFd named;
  struct stat st {};
  if (SPI_DATA_IS_FD(dw)) {
    source.fd = static_cast<int>(dw);
    const off_t here = ::lseek(source.fd, 0, SEEK_CUR);
    if (here < 0 || ::fstat(source.fd, &st) != 0 || st.st_size < here) return 0;
    source.base = static_cast<uint64_t>(here);
    source.size = static_cast<uint64_t>(st.st_size - here);
  } else {
    source.data = head;
    source.size = sizeof head;
    if (filename != nullptr && filename[0] != '\0') named = OpenRegularFile(filename);
    unsigned char first[SPI_HEAD_BYTES] = {};
    if (named && ::fstat(named.get(), &st) == 0 && ::pread(named.get(), first, sizeof first, 0) >= 0 &&
        std::memcmp(first, head, sizeof head) == 0) {
      source = Source{nullptr, named.get(), 0, static_cast<uint64_t>(st.st_size)};
    }
  }
  TiffPtr tif = Open(source);
  Layout l;
  return tif && !IsCameraRaw(filename, tif.get()) && !BuiltInReads(tif.get()) && ReadLayout(tif.get(), l) ? 1
                                                                                                          : 0;
}

}  // namespace
}  // namespace tamro::plugin

TAMRO_SPI_EXPORT int GetPluginInfo(int infono, char *buf, int buflen) {
  return ::tamro::plugin::PictureGetPluginInfo(::tamro::plugin::kFormat, infono, buf, buflen);
}
TAMRO_SPI_EXPORT int IsSupported(const char *filename, uintptr_t dw) {
  try {
    return ::tamro::plugin::Claim(filename, dw);
  } catch (...) {
    return 0;
  }
}
TAMRO_SPI_EXPORT int GetPictureInfo(const char *buf, long len, unsigned int flag, SpiPictureInfo *info) {
  return ::tamro::plugin::PictureGetPictureInfo(::tamro::plugin::kFormat, buf, len, flag, info);
}
TAMRO_SPI_EXPORT int GetPicture(const char *buf, long len, unsigned int flag, HLOCAL *pHBInfo, HLOCAL *pHBm,
                                SPI_PROGRESS progress, long lData) {
  return ::tamro::plugin::PictureGetPicture(::tamro::plugin::kFormat, buf, len, flag, pHBInfo, pHBm, progress,
                                            lData);
}
// Every call opens libtiff on its own data with its own message handlers, so several threads
// may decode at once.
TAMRO_SPI_EXPORT int SpiThreadSafe(void) { return 1; }
TAMRO_SPI_EXPORT int GetColorProfile(const char *buf, long len, unsigned int flag, HLOCAL *profile) {
  return ::tamro::plugin::PictureGetColorProfile(::tamro::plugin::kFormat, buf, len, flag, profile);
}
