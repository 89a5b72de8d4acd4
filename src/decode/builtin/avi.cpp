// Built-in AVI decoder. FFmpeg does the work from a library of its own, loaded the first
// time an AVI file is read (see avframe/avframe.h). The MPEG entry never claims a file.
#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <string>

#include "decode/builtin/avframe/avframe.h"
#include "decode/builtin/common.h"
#include "decode/builtin/decoders.h"
#include "platform/fileio.h"
#include "platform/startup.h"

namespace tamro::builtin {

namespace {

struct AviLibrary {
  TamroAviInfoProc info = nullptr;
  TamroAviFrameProc frame = nullptr;
};

// In the program's library folder first (where the build and the installation put it),
// then the loader's own search. Without it AVI files are simply not read.
const AviLibrary &Library() {
  static AviLibrary library;
  static std::once_flag once;
  std::call_once(once, [] {
    void *module = dlopen((LibraryFolder() + "/" TAMRO_AVFRAME_LIBRARY).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) module = dlopen(TAMRO_AVFRAME_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!module) return;
    auto info = reinterpret_cast<TamroAviInfoProc>(dlsym(module, "TamroAviInfo"));
    auto frame = reinterpret_cast<TamroAviFrameProc>(dlsym(module, "TamroAviFrame"));
    if (info && frame) library = {info, frame};
  });
  return library;
}

// FFmpeg opens files by name and would wait on a FIFO; it is handed the regular file we
// opened without waiting, by its descriptor's name, which also keeps it from reading a name
// like "pipe:1" as a protocol. Empty when the file is no regular file.
struct OpenedFile {
  UniqueFd fd;
  std::string name;
};
OpenedFile OpenForDemuxer(const char *path) {
  OpenedFile f{OpenRegularFile(path), {}};
  if (f.fd) f.name = "/proc/self/fd/" + std::to_string(f.fd.get());
  return f;
}

unsigned char *AllocateDib(void *user, int width, int height, long *rowBytes) {
  auto *dib = static_cast<NewDib *>(user);
  *dib = MakeDib(width, height, 24, 0);
  if (!*dib) return nullptr;
  *rowBytes = static_cast<long>(dib->rowBytes);
  return dib->bits;
}

}  // namespace

int AviIsSupported(uintptr_t data) {
  const HeadBytes head = ReadHead(data);
  return std::memcmp(head.bytes, "RIFF", 4) == 0 && std::memcmp(head.bytes + 8, "AVI", 3) == 0;
}

int AviGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info) {
  if (!info || !source || (flags & SPI_SOURCE_MASK) != SPI_SOURCE_FILE || lengthOrOffset != 0)
    return SPI_NO_FUNCTION;
  const AviLibrary &library = Library();
  const OpenedFile file = OpenForDemuxer(source);
  int width = 0, height = 0;
  if (!library.info || !file.fd || library.info(file.name.c_str(), &width, &height) != TAMRO_AVFRAME_OK)
    return SPI_NO_FUNCTION;
  *info = SpiPictureInfo{};
  info->width = width;
  info->height = height;
  return SPI_OK;
}

int AviGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out) {
  if (!out || !source) return SPI_NO_FUNCTION;
  if ((flags & SPI_SOURCE_MASK) != SPI_SOURCE_FILE) return SPI_NO_PICTURE;
  if (lengthOrOffset != 0) return SPI_READ_ERROR;  // the demuxer reads the whole file
  const AviLibrary &library = Library();
  if (!library.frame) return SPI_READ_ERROR;
  const OpenedFile file = OpenForDemuxer(source);
  if (!file.fd) return SPI_READ_ERROR;
  NewDib dib;
  const int r = library.frame(file.name.c_str(), &AllocateDib, &dib);
  if (r == TAMRO_AVFRAME_NO_MEMORY) return SPI_OUT_OF_MEMORY;
  if (r != TAMRO_AVFRAME_OK || !dib) return SPI_READ_ERROR;
  *out = dib.Release();
  return SPI_OK;
}

int MpegGetPicture(unsigned flags) {
  return (flags & SPI_SOURCE_MASK) == SPI_SOURCE_FILE ? SPI_READ_ERROR : SPI_NO_PICTURE;
}

}  // namespace tamro::builtin
