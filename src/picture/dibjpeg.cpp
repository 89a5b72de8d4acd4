#include "picture/dibjpeg.h"

#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "picture/dib.h"
#include "platform/fileio.h"

namespace tamro {

namespace {

// Pixel rows ready for the library: top row first, blue-green-red or one grey byte.
struct Rows {
  std::vector<uint8_t> data;
  int width = 0;
  int height = 0;
  int components = 3;
};

bool PrepareRows(HDIB h, int colour, Rows &rows) {
  DibLock lock(h);
  if (!lock || DibBitCount(lock.header()) != 24) return false;
  const BitmapInfoHeader *bi = lock.header();
  if (DibCompression(bi) != BI_RGB) return false;
  const int width = DibWidth(bi);
  const int stored = DibHeight(bi);
  const int height = stored < 0 ? -stored : stored;
  if (width <= 0 || height <= 0) return false;
  const int64_t rowBytes = DibRowBytes(bi);
  const uint8_t *bits = DibBits(bi);
  rows.width = width;
  rows.height = height;
  rows.components = colour ? 3 : 1;
  const std::size_t tight = static_cast<std::size_t>(width) * 3;
  rows.data.resize(static_cast<std::size_t>(width) * rows.components * height);
  for (int y = 0; y < height; ++y) {
    const uint8_t *src = bits + rowBytes * (stored < 0 ? y : height - 1 - y);
    if (colour) {
      std::memcpy(rows.data.data() + tight * y, src, tight);
    } else {
      uint8_t *dst = rows.data.data() + static_cast<std::size_t>(width) * y;
      for (int x = 0; x < width; ++x, src += 3)
        dst[x] = static_cast<uint8_t>(0.114 * src[0] + 0.587 * src[1] + 0.299 * src[2]);
    }
  }
  return true;
}

// The library's fatal errors jump back into Compress instead of ending the program.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}
void OnMessage(j_common_ptr) {}

// Output gathered in a 4096-byte work buffer and copied into the caller's block.
struct MemoryDestination {
  jpeg_destination_mgr pub;
  JOCTET work[4096];
  uint8_t *out;
  std::size_t capacity;
  std::size_t used;
};

void MemoryInit(j_compress_ptr cinfo) {
  auto *d = reinterpret_cast<MemoryDestination *>(cinfo->dest);
  d->pub.next_output_byte = d->work;
  d->pub.free_in_buffer = sizeof d->work;
}

void MemoryCopy(j_compress_ptr cinfo, std::size_t n) {
  auto *d = reinterpret_cast<MemoryDestination *>(cinfo->dest);
  if (d->capacity - d->used < n) ERREXIT(cinfo, JERR_FILE_WRITE);
  std::memcpy(d->out + d->used, d->work, n);
  d->used += n;
}

boolean MemoryEmpty(j_compress_ptr cinfo) {
  MemoryCopy(cinfo, sizeof(MemoryDestination::work));
  MemoryInit(cinfo);
  return TRUE;
}

void MemoryTerm(j_compress_ptr cinfo) {
  auto *d = reinterpret_cast<MemoryDestination *>(cinfo->dest);
  MemoryCopy(cinfo, sizeof d->work - d->pub.free_in_buffer);
}

enum class Outcome { kWritten, kFailed, kCancelled };

// Runs the compressor over prepared rows into the file or the memory destination. A fatal
// library error longjmps back here, so this frame holds nothing that needs destroying.
Outcome Compress(const Rows &rows, int quality, std::FILE *file, MemoryDestination *memory,
                 ProgressProc progress, long user) {
  jpeg_compress_struct cinfo;
  ErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnFatalError;
  errors.pub.output_message = OnMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    return Outcome::kFailed;
  }
  jpeg_create_compress(&cinfo);
  if (file) {
    jpeg_stdio_dest(&cinfo, file);
  } else {
    memory->pub.init_destination = MemoryInit;
    memory->pub.empty_output_buffer = MemoryEmpty;
    memory->pub.term_destination = MemoryTerm;
    cinfo.dest = &memory->pub;
  }
  cinfo.image_width = static_cast<JDIMENSION>(rows.width);
  cinfo.image_height = static_cast<JDIMENSION>(rows.height);
  cinfo.input_components = rows.components;
  // The library takes the picture's own blue-green-red order as it is.
  cinfo.in_color_space = rows.components == 3 ? JCS_EXT_BGR : JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET *>(kJpegMakersMark),
                    sizeof kJpegMakersMark - 1);

  const std::size_t stride = static_cast<std::size_t>(rows.width) * rows.components;
  int lastReported = -10;
  for (int y = 0; y < rows.height; ++y) {
    if (progress) {
      const int percent = static_cast<int>(int64_t{y} * 100 / rows.height);
      if (percent >= lastReported + 10) {
        lastReported = percent;
        if (progress(y, rows.height, user) != 0) {
          jpeg_destroy_compress(&cinfo);
          return Outcome::kCancelled;
        }
      }
    }
    JSAMPROW row = const_cast<JSAMPROW>(rows.data.data() + stride * y);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  if (progress) progress(rows.height, rows.height, user);
  jpeg_destroy_compress(&cinfo);
  return Outcome::kWritten;
}

}  // namespace

int WriteDibAsJpeg(int fd, HDIB h, int colour, int quality, ProgressProc progress, long user) {
  Rows rows;
  if (fd < 0 || !PrepareRows(h, colour, rows)) return 0;
  // The library writes through stdio; the stream gets a descriptor of its own to close.
  const int own = ::dup(fd);
  std::FILE *stream = own >= 0 ? ::fdopen(own, "wb") : nullptr;
  if (!stream) {
    if (own >= 0) ::close(own);
    return 0;
  }
  bool written = Compress(rows, quality, stream, nullptr, progress, user) == Outcome::kWritten;
  // Data still buffered in the stream can fail on close as well.
  written = std::fclose(stream) == 0 && written;
  return written ? 1 : 0;
}

int SaveDibAsJpeg(HDIB h, const std::string &path, int colour, int quality, ProgressProc progress,
                  long user) {
  if (!MayReplace(path)) return 0;
  // The file in place is replaced only by a complete one: a cancel, a full disk or a failed
  // write leaves it as it was.
  AtomicFile file(path);
  return file.ok() && WriteDibAsJpeg(file.fd(), h, colour, quality, progress, user) == 1 && file.Commit() ? 1
                                                                                                          : 0;
}

int EncodeDibAsJpeg(uint8_t *out, std::size_t *size, HDIB h, int colour, int quality, ProgressProc progress,
                    long user) {
  if (!out || !size || *size == 0) return 0;
  Rows rows;
  if (!PrepareRows(h, colour, rows)) return 0;
  MemoryDestination memory;
  memory.out = out;
  memory.capacity = *size;
  memory.used = 0;
  if (Compress(rows, quality, nullptr, &memory, progress, user) != Outcome::kWritten) return 0;
  *size = memory.used;
  return 1;
}

}  // namespace tamro
