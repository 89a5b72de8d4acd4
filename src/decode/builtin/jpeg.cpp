// Built-in JPEG decoder over libjpeg-turbo, which delivers blue-green-red pixels directly.
#include <csetjmp>
#include <cstdio>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "decode/builtin/builtin.h"
#include "decode/builtin/common.h"
#include "decode/builtin/decoders.h"
#include "platform/text.h"

namespace tamro::builtin {

namespace {

std::atomic<int> gHeadScan{0};
std::mutex gSkipMutex;
std::vector<int> gSkipList;

constexpr std::size_t kSkipListMax = 400;
constexpr std::size_t kSourceBuffer = 4096;
constexpr int kMarkerLimit = 0xFFFF;

// Fatal library errors come back here instead of ending the program. Each decompressor has
// its own manager, so concurrent decodes do not share an error flag.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  bool failed = false;
  char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
  cinfo->err->format_message(cinfo, err->message);
  err->failed = true;
  std::longjmp(err->jump, 1);
}

void OutputMessage(j_common_ptr) {}  // warnings are not shown

void InitErrors(ErrorManager &err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.output_message = OutputMessage;
}

// Feeds a memory image to the library through a small buffer. At the end of the data an
// end-of-image marker is supplied, so that a truncated picture still finishes.
struct MemorySource {
  jpeg_source_mgr pub;
  const JOCTET *data;
  std::size_t size;
  std::size_t used;
  bool ranOut;  // the end of the data was reached and an end marker supplied
  JOCTET buffer[kSourceBuffer];
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  auto *src = reinterpret_cast<MemorySource *>(cinfo->src);
  if (src->used >= src->size) {
    if (src->used == 0) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    src->ranOut = true;
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = 2;
    return TRUE;
  }
  const std::size_t n = std::min(kSourceBuffer, src->size - src->used);
  std::memcpy(src->buffer, src->data + src->used, n);
  src->used += n;
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto *src = reinterpret_cast<MemorySource *>(cinfo->src);
  auto n = static_cast<std::size_t>(count);
  while (n > src->pub.bytes_in_buffer) {
    n -= src->pub.bytes_in_buffer;
    FillInput(cinfo);
  }
  src->pub.next_input_byte += n;
  src->pub.bytes_in_buffer -= n;
}

void UseMemorySource(j_decompress_ptr cinfo, MemorySource &src, const unsigned char *data, std::size_t size) {
  src.pub.init_source = InitSource;
  src.pub.fill_input_buffer = FillInput;
  src.pub.skip_input_data = SkipInput;
  src.pub.resync_to_restart = jpeg_resync_to_restart;
  src.pub.term_source = TermSource;
  src.pub.next_input_byte = nullptr;
  src.pub.bytes_in_buffer = 0;
  src.data = data;
  src.size = size;
  src.used = 0;
  src.ranOut = false;
  cinfo->src = &src.pub;
}

// The library's own memory is bounded too: progressive pictures keep all coefficients.
void LimitMemory(j_decompress_ptr cinfo) {
  cinfo->mem->max_memory_to_use = static_cast<long>(kDecodeBudgetBytes);
}

struct ProbeResult {
  bool answered = false;  // header read, or the library stopped with an error
  int width = 0, height = 0, depth = 0;
  bool hasComment = false, hasApp1 = false;
  std::string comment, app1;
  std::string profile;  // the ICC profile its APP2 segments carry, when asked for
};

struct ProbeJob {
  ErrorManager err;
  jpeg_decompress_struct cinfo;
  MemorySource src;
  bool created = false;
  int header = JPEG_SUSPENDED;
};

void ProbeRun(ProbeJob &job, const unsigned char *data, std::size_t size, bool markers) {
  InitErrors(job.err);
  job.cinfo.err = &job.err.pub;
  if (setjmp(job.err.jump)) return;
  jpeg_create_decompress(&job.cinfo);
  job.created = true;
  LimitMemory(&job.cinfo);
  UseMemorySource(&job.cinfo, job.src, data, size);
  if (markers) {
    jpeg_save_markers(&job.cinfo, JPEG_COM, kMarkerLimit);
    for (int m = 0; m < 16; ++m) jpeg_save_markers(&job.cinfo, JPEG_APP0 + m, kMarkerLimit);
  }
  job.header = jpeg_read_header(&job.cinfo, FALSE);
}

// The library's copy of the ICC profile its APP2 segments carry; false after a fatal error.
// Pieces that do not make a whole are reported as a warning and give nothing.
bool ReadProfileBytes(ProbeJob &job, JOCTET **bytes, unsigned int *length) {
  if (setjmp(job.err.jump)) return false;
  return jpeg_read_icc_profile(&job.cinfo, bytes, length) != 0;
}

// The embedded ICC profile of a probe whose markers were saved; empty when there is none.
std::string ReadProfile(ProbeJob &job) {
  if (job.header != JPEG_HEADER_OK) return {};
  JOCTET *bytes = nullptr;
  unsigned int length = 0;
  std::string profile;
  if (ReadProfileBytes(job, &bytes, &length) && bytes)
    profile.assign(reinterpret_cast<const char *>(bytes), length);
  std::free(bytes);
  return profile;
}

// Reads the header of the picture in `data`; with `scan` the picture is looked for first.
// `profile` also reads the embedded colour profile (markers are then saved).
ProbeResult Probe(const unsigned char *data, std::size_t size, bool scan, bool markers,
                  bool profile = false) {
  ProbeResult r;
  if (scan || gHeadScan.load()) {
    const std::size_t at = JpegFindStart(data, size);
    data += at;
    size -= at;
  }
  auto job = std::make_unique<ProbeJob>();
  ProbeRun(*job, data, size, markers || profile);
  if (job->created) {
    if (profile) r.profile = ReadProfile(*job);
    // The head bytes may end inside a large Exif or colour profile segment before the
    // frame header: a picture that was not contradicted up to there is taken as one.
    r.answered = job->header == JPEG_HEADER_OK || job->err.failed || job->src.ranOut;
    r.width = static_cast<int>(job->cinfo.image_width);
    r.height = static_cast<int>(job->cinfo.image_height);
    r.depth = job->cinfo.num_components * job->cinfo.data_precision;
    for (jpeg_saved_marker_ptr m = job->cinfo.marker_list; m; m = m->next) {
      if (m->marker == JPEG_COM) {
        r.hasComment = true;
        r.comment.assign(reinterpret_cast<const char *>(m->data), m->data_length);
      } else if (m->marker == JPEG_APP0 + 1) {
        r.hasApp1 = true;
        r.app1.assign(reinterpret_cast<const char *>(m->data), m->data_length);
      }
    }
    jpeg_destroy_decompress(&job->cinfo);
  }
  return r;
}

// libjpeg 6b chose 1/1, 1/2, 1/4 or 1/8 for any denominator; later libraries would take
// a denominator of 3 as 3/8, so the choice is made here.
unsigned ScaleDenominator(long reduction) {
  if (reduction >= 8) return 8;
  if (reduction >= 4) return 4;
  if (reduction >= 2) return 2;
  return 1;
}

struct DecodeJob {
  ErrorManager err;
  jpeg_decompress_struct cinfo;
  MemorySource src;
  const unsigned char *data = nullptr;
  std::size_t size = 0;
  unsigned denominator = 1;
  ProgressProc progress = nullptr;
  long user = 0;
  bool created = false;
  bool cancelled = false;
  bool tooBig = false;
  bool finished = false;
  NewDib dib;
};

void DecodeRun(DecodeJob &job) {
  InitErrors(job.err);
  job.cinfo.err = &job.err.pub;
  if (setjmp(job.err.jump)) return;
  j_decompress_ptr cinfo = &job.cinfo;
  jpeg_create_decompress(cinfo);
  job.created = true;
  LimitMemory(cinfo);
  UseMemorySource(cinfo, job.src, job.data, job.size);
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return;
  cinfo->scale_num = 1;
  cinfo->scale_denom = job.denominator;
  if (cinfo->out_color_space == JCS_RGB) cinfo->out_color_space = JCS_EXT_BGR;
  // Four-colour pictures: the library turns YCCK into CMYK, we turn CMYK into colours below.
  // Adobe's programs store the inks inverted (0 = full ink) and say so with their marker.
  const bool inks = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  if (inks) cinfo->out_color_space = JCS_CMYK;
  const bool invertedInks = cinfo->saw_Adobe_marker;
  jpeg_calc_output_dimensions(cinfo);
  const uint64_t width = cinfo->output_width, height = cinfo->output_height;
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX ||
      !WithinDecodeBudget(RowBytes(static_cast<int64_t>(width), 24) * height)) {
    job.tooBig = true;
    return;
  }
  jpeg_start_decompress(cinfo);
  job.dib = MakeDib(static_cast<int>(width), static_cast<int>(height), 24, 0);
  if (!job.dib) {
    job.tooBig = true;
    return;
  }
  const int components = cinfo->output_components;
  JSAMPARRAY temp = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                static_cast<JDIMENSION>(width) * components, 1);
  const auto h = static_cast<unsigned>(height);
  int lastReported = -10;
  while (cinfo->output_scanline < h) {
    const unsigned y = cinfo->output_scanline;
    if (job.progress) {
      const int percent = static_cast<int>(uint64_t{y} * 100 / h);
      if (percent >= lastReported + 10) {
        lastReported = percent;
        if (job.progress(static_cast<int>(y), static_cast<int>(h), job.user)) {
          job.cancelled = true;
          return;
        }
      }
    }
    unsigned char *row = job.dib.bits + (h - 1 - y) * job.dib.rowBytes;
    JSAMPROW target = components == 3 ? row : temp[0];
    if (jpeg_read_scanlines(cinfo, &target, 1) != 1) break;  // cannot happen without suspension
    if (components == 1) {
      const unsigned char *g = temp[0];
      for (uint64_t x = 0; x < width; ++x, row += 3) row[0] = row[1] = row[2] = g[x];
    } else if (components == 4 && inks) {
      // Each colour is what is left of white under its ink and the black ink:
      // (255 - ink) * (255 - black) / 255, rounded; inverted inks already hold 255 - ink.
      const unsigned char *q = temp[0];
      const unsigned flip = invertedInks ? 0 : 255;
      for (uint64_t x = 0; x < width; ++x, row += 3, q += 4) {
        const unsigned k = q[3] ^ flip;
        row[2] = static_cast<unsigned char>(((q[0] ^ flip) * k + 127) / 255);
        row[1] = static_cast<unsigned char>(((q[1] ^ flip) * k + 127) / 255);
        row[0] = static_cast<unsigned char>(((q[2] ^ flip) * k + 127) / 255);
      }
    }
    // Other component counts leave the row black.
  }
  if (job.progress) job.progress(static_cast<int>(h), static_cast<int>(h), job.user);
  jpeg_finish_decompress(cinfo);
  job.finished = true;
}

// 0 with a picture; 3 nothing decoded (or cancelled); 4 the picture was too large.
int Decode(DecodeJob &job, HDIB *out) {
  DecodeRun(job);
  if (job.created) jpeg_destroy_decompress(&job.cinfo);
  if (job.cancelled) return SPI_NO_PICTURE;
  if (job.tooBig) return SPI_OUT_OF_MEMORY;
  if (!job.dib) return SPI_NO_PICTURE;
  // After a fatal error the rows decoded so far stand.
  *out = job.dib.Release();
  return SPI_OK;
}

// `scan`: look for the start of the picture first (memory images always; files with the
// head-scan switch on).
int DecodeMemory(const unsigned char *data, std::size_t size, bool scan, long reduction,
                 ProgressProc progress, long user, HDIB *out) {
  const std::size_t at = scan ? JpegFindStart(data, size) : 0;
  auto job = std::make_unique<DecodeJob>();
  job->data = data + at;
  job->size = size - at;
  job->denominator = ScaleDenominator(reduction);
  job->progress = progress;
  job->user = user;
  return Decode(*job, out);
}

// The picture facts. `scan` as for the picture of the same source form, so that whatever
// decodes also has its facts.
int InfoFromBytes(const unsigned char *data, std::size_t size, bool scan, SpiPictureInfo *info,
                  uint32_t *extra) {
  const ProbeResult r = Probe(data, size, scan, true);
  info->left = 0;
  info->top = 0;
  info->width = r.width;
  info->height = r.height;
  info->x_density = 0;
  info->y_density = 0;
  info->colorDepth = static_cast<int16_t>(r.width > 0 ? r.depth : 24);
  info->hInfo = 0;
  if (r.width <= 0 || r.height <= 0) return SPI_FORMAT_ERROR;  // nothing was read
  if (r.hasComment && !r.comment.empty()) {
    // Comments of older files are in Shift-JIS; the program's text is UTF-8.
    HGLOBAL h = MakeTextBlock(LegacyToUtf8(r.comment));
    if (!h) return SPI_OUT_OF_MEMORY;
    info->hInfo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
  }
  if (extra && r.hasApp1) *extra = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(MakeTextBlock(r.app1)));
  return SPI_OK;
}

}  // namespace

std::size_t JpegFindStart(const unsigned char *p, std::size_t n) {
  if (!p || n < 2) return 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (p[i] != 0xFF || p[i + 1] != 0xD8) continue;
    std::size_t q = i + 2;
    int segments = 0;
    bool accept;
    for (;;) {
      if (q >= n || (p[q] == 0xFF && q + 1 >= n)) {
        accept = segments >= 2;  // ran out of data after a plausible start
        break;
      }
      if (p[q] != 0xFF) {
        accept = false;
        break;
      }
      if (p[q + 1] == 0xDA) {
        accept = true;
        break;
      }
      if (q + 3 >= n) {
        accept = segments >= 2;
        break;
      }
      q += 2 + (static_cast<std::size_t>(p[q + 2]) << 8 | p[q + 3]);
      ++segments;
    }
    if (accept) return i;
  }
  return 0;
}

int JpegIsSupported(const char *fileName, uintptr_t data) {
  const HeadBytes head = ReadHead(data);
  const std::size_t at = JpegFindStart(head.bytes, sizeof head.bytes);
  if (at + 2 >= sizeof head.bytes || head.bytes[at + 1] != 0xD8 || head.bytes[at + 2] != 0xFF) return 0;
  const bool force = NameHasExtension(fileName, "*.jpeg;*.jpg;*.jpe;*.jfif");
  return Probe(head.bytes, sizeof head.bytes, force, false).answered ? 1 : 0;
}

int JpegGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info,
                       uint32_t *extra) {
  if (extra) *extra = 0;
  if (!info || !source) return SPI_NO_FUNCTION;
  switch (flags & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE: {
      FileView view(source, lengthOrOffset);
      if (!view.ok()) return SPI_READ_ERROR;
      return InfoFromBytes(view.data(), view.size(), false, info, extra);
    }
    case SPI_SOURCE_MEMORY:
      if (lengthOrOffset < 0) return SPI_NO_FUNCTION;
      return InfoFromBytes(reinterpret_cast<const unsigned char *>(source),
                           static_cast<std::size_t>(lengthOrOffset), true, info, extra);
    default:
      return SPI_NO_FUNCTION;
  }
}

int JpegGetColorProfile(const char *source, long lengthOrOffset, unsigned flags, std::string &profile) {
  profile.clear();
  if (!source) return SPI_NO_FUNCTION;
  switch (flags & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE: {
      FileView view(source, lengthOrOffset);
      if (!view.ok()) return SPI_READ_ERROR;
      profile = Probe(view.data(), view.size(), false, false, true).profile;
      return SPI_OK;
    }
    case SPI_SOURCE_MEMORY:
      if (lengthOrOffset < 0) return SPI_NO_FUNCTION;
      profile = Probe(reinterpret_cast<const unsigned char *>(source),
                      static_cast<std::size_t>(lengthOrOffset), true, false, true)
                    .profile;
      return SPI_OK;
    default:
      return SPI_NO_FUNCTION;
  }
}

int JpegGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out, long reduction,
                   ProgressProc progress, long user) {
  if (!out || !source) return SPI_NO_FUNCTION;
  switch (flags & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE: {
      if (lengthOrOffset < 0) return SPI_READ_ERROR;
      // A file is read from its offset as it is, unless the head-scan switch asks for the
      // picture to be looked for anywhere in it.
      FileView view(source, lengthOrOffset);
      if (view.empty()) return SPI_NO_PICTURE;  // nothing past the offset
      if (!view.ok()) return SPI_READ_ERROR;
      return DecodeMemory(view.data(), view.size(), gHeadScan.load() != 0, reduction, progress, user, out);
    }
    case SPI_SOURCE_MEMORY:
      if (lengthOrOffset < 0) return SPI_NO_FUNCTION;
      return DecodeMemory(reinterpret_cast<const unsigned char *>(source),
                          static_cast<std::size_t>(lengthOrOffset), true, reduction, progress, user, out);
    default:
      return SPI_NO_FUNCTION;
  }
}

int JpegDecodeThumbnail(HDIB *out, const unsigned char *data, std::size_t length, int reduction,
                        ProgressProc progress, long user) {
  if (!out || !data) return SPI_NO_FUNCTION;
  const int r = DecodeMemory(data, length, true, reduction, progress, user, out);
  if (r == SPI_OK || r == SPI_OUT_OF_MEMORY) return r;
  return SPI_NO_FUNCTION;
}

int JpegSetHeadScan(int on) { return gHeadScan.exchange(on); }

void JpegSetSkipList(const std::vector<int> &numbers) {
  std::lock_guard lock(gSkipMutex);
  gSkipList.assign(numbers.begin(),
                   numbers.begin() + static_cast<long>(std::min(numbers.size(), kSkipListMax)));
}

std::vector<int> JpegGetSkipList() {
  std::lock_guard lock(gSkipMutex);
  return gSkipList;
}

}  // namespace tamro::builtin
