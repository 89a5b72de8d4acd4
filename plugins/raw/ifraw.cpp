// Camera RAW pictures through LibRaw: GetPicture develops the picture as LibRaw does by
// default (camera white balance, sRGB, 8 bits) turned upright by the camera's orientation;
// GetPreview hands over the picture the camera embedded when it is large enough, without
// developing anything; the information text names the camera, the lens and the exposure.

#include <libraw/libraw.h>
#include <strings.h>

// libjpeg needs FILE and size_t declared before it.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/pictureplugin.h"

namespace tamro::plugin {
namespace {

const char *const kInfo[] = {"00IN", "Tamro camera RAW decoder (LibRaw)",
                             "*.cr2;*.cr3;*.nef;*.arw;*.orf;*.rw2;*.raf;*.dng;*.pef;*.srw", "カメラ RAW 画像",
                             nullptr};

const char *const kExtensions[] = {"cr2", "cr3", "nef", "arw", "orf", "rw2", "raf", "dng", "pef", "srw"};

// Makers whose TIFF-structured files are their raw pictures. Plain TIFFs that some of their
// cameras also write are refused by LibRaw, and the next decoder takes them.
const char *const kMakers[] = {"Canon",    "NIKON",      "SONY",       "PENTAX",    "RICOH",
                               "SAMSUNG",  "OLYMPUS",    "OM Digital", "Panasonic", "LEICA",
                               "FUJIFILM", "Hasselblad", "Phase One",  "Leaf",      "Kodak",
                               "Minolta",  "Konica",     "Sigma",      "Mamiya"};

// An embedded preview stands for the picture only from this size on (its longer side), so a
// thumbnail is never made by enlarging a postage stamp.
constexpr int kPreviewFloor = 160;

// The thumbnail the host asked a preview for (GetPreviewSized), as shown; 0 when it did not
// say. Per thread, since several threads decode at once.
thread_local int wantWidth = 0, wantHeight = 0;

enum class Verdict { kRaw, kOther, kUnknown };

// The bytes of a file seen from its head: what lies past the head is read from the
// descriptor when there is one, and unknown otherwise.
class Bytes {
 public:
  Bytes(const uint8_t *head, size_t size, bool fd, uintptr_t dw)
      : head_(head), size_(size), fd_(fd), dw_(dw) {}
  bool Read(uint64_t offset, void *out, size_t n) const {
    if (offset <= size_ && n <= size_ - offset) {
      std::memcpy(out, head_ + offset, n);
      return true;
    }
    return fd_ && ReadAtFromFd(dw_, offset, out, n) == n;
  }

 private:
  const uint8_t *head_;
  size_t size_;
  bool fd_;
  uintptr_t dw_;
};

uint32_t Get16(const uint8_t *p, bool little) { return little ? p[0] | p[1] << 8 : p[0] << 8 | p[1]; }
uint32_t Get32(const uint8_t *p, bool little) {
  return little ? p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24
                : uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// A TIFF-structured file is a raw picture when its first directory has a DNG version or
// names a camera maker.
Verdict TiffVerdict(const Bytes &in, bool little) {
  uint8_t b[4];
  if (!in.Read(4, b, 4)) return Verdict::kUnknown;
  const uint32_t ifd = Get32(b, little);
  if (ifd < 8 || !in.Read(ifd, b, 2)) return Verdict::kUnknown;
  const uint32_t count = Get16(b, little);
  if (count == 0 || count > 1000) return Verdict::kOther;
  std::vector<uint8_t> entries(size_t{count} * 12u);
  if (!in.Read(uint64_t{ifd} + 2, entries.data(), entries.size())) return Verdict::kUnknown;
  bool unknown = false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t *e = &entries[size_t{i} * 12u];
    const uint32_t tag = Get16(e, little), type = Get16(e + 2, little), n = Get32(e + 4, little);
    if (tag == 0xC612) return Verdict::kRaw;  // DNGVersion
    if (tag != 0x010F || type != 2 || n == 0) continue;
    char make[24] = {};
    const size_t len = std::min<size_t>(n, sizeof make - 1);
    if (n <= 4)
      std::memcpy(make, e + 8, len);
    else if (!in.Read(Get32(e + 8, little), make, len)) {
      unknown = true;
      continue;
    }
    for (const char *maker : kMakers)
      if (strncasecmp(make, maker, std::strlen(maker)) == 0) return Verdict::kRaw;
  }
  return unknown ? Verdict::kUnknown : Verdict::kOther;
}

Verdict Classify(const Bytes &in, const uint8_t *head, size_t size) {
  if (size < 16) return Verdict::kOther;
  if (std::memcmp(head, "FUJIFILMCCD-RAW", 15) == 0) return Verdict::kRaw;
  if (std::memcmp(head + 4, "ftypcrx ", 8) == 0) return Verdict::kRaw;  // CR3
  const bool little = head[0] == 'I' && head[1] == 'I';
  if (!little && !(head[0] == 'M' && head[1] == 'M')) return Verdict::kOther;
  const uint32_t magic = Get16(head + 2, little);
  if (magic == 0x55 || magic == 0x4F52 || magic == 0x5352) return Verdict::kRaw;  // RW2, ORF
  if (magic != 42) return Verdict::kOther;
  if (std::memcmp(head + 8, "CR\x02\0", 4) == 0) return Verdict::kRaw;  // CR2
  return TiffVerdict(in, little);
}

bool RawExtension(const char *filename) {
  const char *dot = filename != nullptr ? std::strrchr(filename, '.') : nullptr;
  if (dot == nullptr || std::strchr(dot, '/') != nullptr) return false;
  for (const char *ext : kExtensions)
    if (strcasecmp(dot + 1, ext) == 0) return true;
  return false;
}

bool Recognise(const uint8_t *head, size_t size) {
  return Classify(Bytes(head, size, false, 0), head, size) == Verdict::kRaw;
}

int Code(int libraw) {
  switch (libraw) {
    case LIBRAW_SUCCESS:
      return SPI_OK;
    case LIBRAW_UNSUFFICIENT_MEMORY:
    case LIBRAW_TOO_BIG:
    case LIBRAW_MEMPOOL_OVERFLOW:
      return SPI_OUT_OF_MEMORY;
    case LIBRAW_IO_ERROR:
      return SPI_DATA_ENDED;
    default:
      return SPI_FORMAT_ERROR;
  }
}

struct ProcessedFree {
  void operator()(libraw_processed_image_t *p) const { LibRaw::dcraw_clear_mem(p); }
};
using Processed = std::unique_ptr<libraw_processed_image_t, ProcessedFree>;

// Progress as LibRaw reports its stages; it stops at the next stage when the caller cancels.
struct Steps {
  static constexpr int kTotal = 100;
  Progress &progress;
  int done = 0;
};
int OnProgress(void *data, enum LibRaw_progress, int, int) {
  auto *steps = static_cast<Steps *>(data);
  steps->done = std::min(steps->done + 4, Steps::kTotal - 10);
  return steps->progress.Report(steps->done, Steps::kTotal) ? 1 : 0;
}

// One LibRaw processor over a memory image, made per call: calls never share one, so
// several threads may decode at once.
class RawFile {
 public:
  int Open(const uint8_t *data, size_t size) {
    // Only what the recogniser takes: LibRaw also guesses headerless files by their size.
    if (Classify(Bytes(data, size, false, 0), data, size) == Verdict::kOther) return SPI_FORMAT_ERROR;
    raw_ = std::make_unique<LibRaw>(LIBRAW_OPIONS_NO_MEMERR_CALLBACK | LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
    size_ = size;
    const int rc = Code(raw_->open_buffer(const_cast<uint8_t *>(data), size));
    if (rc != SPI_OK) return rc;
    const libraw_image_sizes_t &s = raw_->imgdata.sizes;
    if (s.width == 0 || s.height == 0) return SPI_FORMAT_ERROR;
    return SPI_OK;
  }
  LibRaw &raw() { return *raw_; }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<LibRaw> raw_;
  size_t size_ = 0;
};

// The picture's size as it comes out: after the pixel aspect is corrected and the picture
// turned by its orientation.
void OutputSize(RawFile &file, int &width, int &height) {
  LibRaw &raw = file.raw();
  raw.adjust_sizes_info_only();
  width = raw.imgdata.sizes.iwidth;
  height = raw.imgdata.sizes.iheight;
}

std::string Trimmed(const char *text) {
  std::string s(text);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// "Maker Model, Lens, 1/250 s F5.6 ISO 200 50 mm", each part left out when unknown.
std::string Description(const libraw_data_t &d) {
  std::vector<std::string> parts;
  const std::string make = Trimmed(d.idata.make), model = Trimmed(d.idata.model);
  // Models often begin with their maker's name.
  std::string camera =
      strncasecmp(model.c_str(), make.c_str(), make.size()) == 0 ? model : make + " " + model;
  while (!camera.empty() && camera.back() == ' ') camera.pop_back();
  if (!camera.empty()) parts.push_back(camera);
  std::string lens = Trimmed(d.lens.Lens);
  if (lens.empty()) lens = Trimmed(d.lens.makernotes.Lens);
  if (!lens.empty()) parts.push_back(lens);
  std::string exposure;
  char buf[64];
  const auto add = [&](const char *text) {
    if (!exposure.empty()) exposure += ' ';
    exposure += text;
  };
  if (d.other.shutter > 0 && std::isfinite(d.other.shutter)) {
    if (d.other.shutter < 1.0f)
      std::snprintf(buf, sizeof buf, "1/%ld s", std::lround(1.0 / d.other.shutter));
    else
      std::snprintf(buf, sizeof buf, "%g s", std::round(d.other.shutter * 10.0) / 10.0);
    add(buf);
  }
  if (d.other.aperture > 0 && std::isfinite(d.other.aperture)) {
    std::snprintf(buf, sizeof buf, "F%.2g", static_cast<double>(d.other.aperture));
    add(buf);
  }
  if (d.other.iso_speed >= 1 && d.other.iso_speed < 1e7f) {
    std::snprintf(buf, sizeof buf, "ISO %ld", std::lround(d.other.iso_speed));
    add(buf);
  }
  if (d.other.focal_len >= 1 && d.other.focal_len < 1e5f) {
    std::snprintf(buf, sizeof buf, "%ld mm", std::lround(d.other.focal_len));
    add(buf);
  }
  if (!exposure.empty()) parts.push_back(exposure);
  std::string text;
  for (const std::string &p : parts) text += (text.empty() ? "" : ", ") + p;
  return text;
}

int ReadFacts(const uint8_t *data, size_t size, PictureFacts &facts) {
  RawFile file;
  int rc = file.Open(data, size);
  if (rc != SPI_OK) return rc;
  facts.text = Description(file.raw().imgdata);
  OutputSize(file, facts.width, facts.height);
  facts.bitCount = 24;
  return SPI_OK;
}

// Writes rows of `channels` (1 or 3) bytes a pixel, top row first, turned as LibRaw turns its
// pictures: bit 2 of `flip` swaps rows and columns, then bit 1 mirrors vertically and bit 0
// horizontally, in the source's terms.
int PutFlipped(const uint8_t *src, int width, int height, int channels, int flip, DibOutput &out) {
  const bool swap = (flip & 4) != 0;
  const int rc = swap ? out.Create(height, width) : out.Create(width, height);
  if (rc != SPI_OK) return rc;
  const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(channels);
  const int g = channels == 3 ? 1 : 0, r = channels == 3 ? 2 : 0;
  for (int oy = 0; oy < out.height(); ++oy) {
    uint8_t *row = out.Row(oy);
    if (flip == 0 && channels == 3) {
      out.PutRgb(oy, src + static_cast<size_t>(oy) * stride);
      continue;
    }
    for (int ox = 0; ox < out.width(); ++ox, row += 3) {
      int y = swap ? ox : oy, x = swap ? oy : ox;
      if (flip & 2) y = height - 1 - y;
      if (flip & 1) x = width - 1 - x;
      const uint8_t *p = src + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * channels;
      row[0] = p[r];
      row[1] = p[g];
      row[2] = p[0];
    }
  }
  return SPI_OK;
}

// The developed picture: LibRaw's default processing with the camera's white balance, sRGB
// and 8 bits, which LibRaw turns by the camera's orientation itself.
int Develop(RawFile &file, DibOutput &out, Progress &progress) {
  LibRaw &raw = file.raw();
  const libraw_image_sizes_t &s = raw.imgdata.sizes;
  // LibRaw's own blocks: the sensor data (2 bytes a sample, up to 4 samples a pixel) and
  // its working picture of four 16-bit channels a pixel.
  const uint64_t rawPixels = uint64_t{s.raw_width} * s.raw_height;
  const uint64_t pixels = uint64_t{s.width} * s.height;
  if (!WithinDecodeBudget(rawPixels * (raw.imgdata.idata.filters ? 2u : 8u)) ||
      !WithinDecodeBudget(pixels * 8u))
    return SPI_OUT_OF_MEMORY;
  Steps steps{progress};
  if (progress.Report(0, Steps::kTotal)) return SPI_FORMAT_ERROR;
  raw.set_progress_handler(&OnProgress, &steps);
  raw.imgdata.params.use_camera_wb = 1;
  raw.imgdata.params.output_color = 1;  // sRGB
  raw.imgdata.params.output_bps = 8;
  int rc = Code(raw.unpack());
  if (rc == SPI_OK) rc = Code(raw.dcraw_process());
  if (rc != SPI_OK) return rc;
  int error = LIBRAW_SUCCESS;
  Processed picture(raw.dcraw_make_mem_image(&error));
  if (!picture) return error != LIBRAW_SUCCESS ? Code(error) : SPI_OUT_OF_MEMORY;
  raw.recycle();  // LibRaw's working picture goes before ours is made
  const libraw_processed_image_t &p = *picture;
  if (p.type != LIBRAW_IMAGE_BITMAP || p.bits != 8 || (p.colors != 3 && p.colors != 1) || p.width == 0 ||
      p.height == 0 || p.data_size < size_t{p.width} * p.height * p.colors)
    return SPI_FORMAT_ERROR;
  rc = PutFlipped(p.data, p.width, p.height, p.colors, 0, out);
  if (rc == SPI_OK) progress.Report(Steps::kTotal, Steps::kTotal);
  return rc;
}

int Decode(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  RawFile file;
  const int rc = file.Open(data, size);
  return rc != SPI_OK ? rc : Develop(file, out, progress);
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};
[[noreturn]] void OnJpegError(j_common_ptr c) {
  std::longjmp(reinterpret_cast<JpegError *>(c->err)->jump, 1);
}
void OnJpegMessage(j_common_ptr, int) {}

// A JPEG preview decoded to rows of red, green, blue, when it is at least `minimum` on its
// longer side and its pixels fit the budget. Objects with destructors live outside the part
// an error jumps out of.
bool DecodeJpeg(const uint8_t *data, size_t size, int minimum, std::vector<uint8_t> &rgb, int &width,
                int &height) {
  jpeg_decompress_struct cinfo;
  JpegError error;
  cinfo.err = jpeg_std_error(&error.mgr);
  error.mgr.error_exit = &OnJpegError;
  error.mgr.emit_message = &OnJpegMessage;
  jpeg_create_decompress(&cinfo);
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  const uint64_t bytes = uint64_t{cinfo.image_width} * cinfo.image_height * 3u;
  if (std::max(cinfo.image_width, cinfo.image_height) < static_cast<unsigned>(minimum) ||
      !WithinDecodeBudget(bytes)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != 3) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  width = static_cast<int>(cinfo.output_width);
  height = static_cast<int>(cinfo.output_height);
  rgb.resize(static_cast<size_t>(bytes));
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &rgb[static_cast<size_t>(cinfo.output_scanline) * static_cast<size_t>(width) * 3u];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// True when a preview of width x height shows the whole picture: the picture's proportions
// within 2 %, so a letterboxed or cropped preview is not taken for it.
bool SameProportions(const libraw_image_sizes_t &s, int width, int height) {
  double w = s.width, h = s.height;
  if (s.pixel_aspect > 1.005 && s.pixel_aspect < 10)
    w *= s.pixel_aspect;
  else if (s.pixel_aspect < 0.995 && s.pixel_aspect > 0.1)
    h /= s.pixel_aspect;
  const double want = w / h, got = static_cast<double>(width) / height;
  return std::fabs(got - want) <= 0.02 * want;
}

// The camera's embedded preview, turned by the picture's orientation; false when there is
// none that is large enough and readable.
bool PutPreview(RawFile &file, DibOutput &out) {
  LibRaw &raw = file.raw();
  const libraw_thumbnail_t &t = raw.imgdata.thumbnail;
  // Its length comes from the file: one longer than the file cannot be there.
  if (t.tlength == 0 || t.tlength > file.size()) return false;
  if (raw.unpack_thumb() != LIBRAW_SUCCESS) return false;
  int error = LIBRAW_SUCCESS;
  Processed preview(raw.dcraw_make_mem_thumb(&error));
  if (!preview) return false;
  const libraw_processed_image_t &p = *preview;
  const int flip = raw.imgdata.sizes.flip;
  // Large enough for the thumbnail asked for, measured as shown (turned by `flip`).
  auto bigEnough = [&](int width, int height) {
    if (flip & 4) std::swap(width, height);
    return width >= wantWidth && height >= wantHeight;
  };
  if (p.type == LIBRAW_IMAGE_JPEG) {
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
    if (!DecodeJpeg(p.data, p.data_size, kPreviewFloor, rgb, width, height) ||
        !SameProportions(raw.imgdata.sizes, width, height) || !bigEnough(width, height))
      return false;
    preview.reset();
    return PutFlipped(rgb.data(), width, height, 3, flip, out) == SPI_OK;
  }
  if (p.type != LIBRAW_IMAGE_BITMAP || p.bits != 8 || (p.colors != 3 && p.colors != 1) ||
      std::max(p.width, p.height) < kPreviewFloor || !SameProportions(raw.imgdata.sizes, p.width, p.height) ||
      !bigEnough(p.width, p.height) ||
      p.data_size < size_t{p.width} * p.height * p.colors)
    return false;
  return PutFlipped(p.data, p.width, p.height, p.colors, flip, out) == SPI_OK;
}

// For thumbnails: the embedded preview when it will do, the developed picture otherwise.
int DecodePreview(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  RawFile file;
  const int rc = file.Open(data, size);
  if (rc != SPI_OK) return rc;
  if (progress.Report(0, Steps::kTotal)) return SPI_FORMAT_ERROR;
  if (!PutPreview(file, out)) return Develop(file, out, progress);
  progress.Report(Steps::kTotal, Steps::kTotal);
  return SPI_OK;
}

const PictureFormat kFormat = {kInfo, &Recognise, &ReadFacts, &Decode};
const PictureFormat kPreviewFormat = {kInfo, &Recognise, &ReadFacts, &DecodePreview};

}  // namespace
}  // namespace tamro::plugin

using tamro::plugin::kFormat;

TAMRO_SPI_EXPORT int GetPluginInfo(int infono, char *buf, int buflen) {
  return tamro::plugin::PictureGetPluginInfo(kFormat, infono, buf, buflen);
}

// The head decides, and past it the descriptor when there is one; a TIFF whose first
// directory lies beyond both is taken by its name.
TAMRO_SPI_EXPORT int IsSupported(const char *filename, uintptr_t dw) {
  using namespace tamro::plugin;
  unsigned char head[SPI_HEAD_BYTES];
  if (!ReadHead(dw, head)) return 0;
  try {
    const Verdict v = Classify(Bytes(head, sizeof head, SPI_DATA_IS_FD(dw), dw), head, sizeof head);
    return v == Verdict::kRaw || (v == Verdict::kUnknown && RawExtension(filename)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

TAMRO_SPI_EXPORT int GetPictureInfo(const char *buf, long len, unsigned int flag, SpiPictureInfo *info) {
  return tamro::plugin::PictureGetPictureInfo(kFormat, buf, len, flag, info);
}

TAMRO_SPI_EXPORT int GetPicture(const char *buf, long len, unsigned int flag, HLOCAL *pHBInfo, HLOCAL *pHBm,
                                SPI_PROGRESS progress, long lData) {
  return tamro::plugin::PictureGetPicture(kFormat, buf, len, flag, pHBInfo, pHBm, progress, lData);
}

TAMRO_SPI_EXPORT int GetPreview(const char *buf, long len, unsigned int flag, HLOCAL *pHBInfo, HLOCAL *pHBm,
                                SPI_PROGRESS progress, long lData) {
  return tamro::plugin::PictureGetPicture(tamro::plugin::kPreviewFormat, buf, len, flag, pHBInfo, pHBm,
                                          progress, lData);
}

TAMRO_SPI_EXPORT int GetPreviewSized(const char *buf, long len, unsigned int flag, int width, int height,
                                     HLOCAL *pHBInfo, HLOCAL *pHBm, SPI_PROGRESS progress, long lData) {
  tamro::plugin::wantWidth = width;
  tamro::plugin::wantHeight = height;
  const int rc = GetPreview(buf, len, flag, pHBInfo, pHBm, progress, lData);
  tamro::plugin::wantWidth = tamro::plugin::wantHeight = 0;
  return rc;
}

// Both pictures come turned by the camera's orientation.
TAMRO_SPI_EXPORT int SpiOrientsPictures(void) { return 1; }

// The developed picture is sRGB already: there is no profile to convert from.
TAMRO_SPI_EXPORT int GetColorProfile(const char *buf, long len, unsigned int flag, HLOCAL *profile) {
  return tamro::plugin::PictureGetColorProfile(kFormat, buf, len, flag, profile);
}

// Every call makes its own LibRaw processor (the thread-safe build of the library), so
// several threads may decode at once.
TAMRO_SPI_EXPORT int SpiThreadSafe(void) { return 1; }
