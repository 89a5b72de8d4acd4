// The archive plug-in ("00AM"): lists and extracts the members of ZIP (CBZ), 7-Zip, RAR,
// LHA, tar (plain or compressed), CAB and ISO 9660 files through libarchive.

#include <archive.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <vector>

#include "archive/archivereader.h"
#include "common/pluginbase.h"

namespace tamro::plugin::archive {
namespace {

const char *const kInfo[] = {"00AM",
                             "Tamro archive extractor (libarchive " ARCHIVE_VERSION_ONLY_STRING ")",
                             "*.zip;*.cbz",
                             "ZIP 書庫",
                             "*.7z;*.cb7",
                             "7-Zip 書庫",
                             "*.rar;*.cbr",
                             "RAR 書庫",
                             "*.lzh;*.lha",
                             "LHA 書庫",
                             "*.tar;*.tgz;*.tar.gz;*.tbz;*.tbz2;*.tar.bz2;*.txz;*.tar.xz;*.tar.zst;*.cbt",
                             "tar 書庫",
                             "*.cab",
                             "CAB 書庫",
                             "*.iso",
                             "ISO 9660 イメージ",
                             nullptr};

size_t ReadFromFd(void *context, uint64_t offset, void *out, size_t size) {
  return ReadAtFromFd(*static_cast<uintptr_t *>(context), offset, out, size);
}

size_t ReadFromNamedFile(void *context, uint64_t offset, void *out, size_t size) {
  // Regular files only, opened without waiting on a FIFO.
  const UniqueFd fd = OpenRegularFile(static_cast<const char *>(context));
  if (!fd) return 0;
  ssize_t got = ::pread(fd.get(), out, size, static_cast<off_t>(offset));
  return got > 0 ? static_cast<size_t>(got) : 0;
}

// The source a GetArchiveInfo call names; false for a form that cannot be read.
int SourceOf(const char *buf, long len, unsigned flag, Source &source) {
  if (buf == nullptr) return SPI_FORMAT_ERROR;
  switch (flag & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE:
      if (len < 0) return SPI_READ_ERROR;
      source = Source::File(buf, static_cast<uint64_t>(len));
      return SPI_OK;
    case SPI_SOURCE_MEMORY:
      if (len <= 0) return SPI_DATA_ENDED;
      source = Source::Memory(reinterpret_cast<const uint8_t *>(buf), static_cast<size_t>(len));
      return SPI_OK;
    default:
      return SPI_NO_FUNCTION;
  }
}

}  // namespace
}  // namespace tamro::plugin::archive

using namespace tamro::plugin;
using namespace tamro::plugin::archive;

TAMRO_SPI_EXPORT int GetPluginInfo(int infono, char *buf, int buflen) {
  return CopyPluginInfo(kInfo, infono, buf, buflen);
}

TAMRO_SPI_EXPORT int IsSupported(const char *filename, uintptr_t dw) {
  try {
    unsigned char head[SPI_HEAD_BYTES];
    if (!ReadHead(dw, head)) return 0;
    if (SPI_DATA_IS_FD(dw)) return Recognise(head, sizeof head, filename, &ReadFromFd, &dw) ? 1 : 0;
    // Given only the head, an ISO image can still be checked through its name.
    return Recognise(head, sizeof head, filename, filename != nullptr ? &ReadFromNamedFile : nullptr,
                     const_cast<char *>(filename))
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}

TAMRO_SPI_EXPORT int GetArchiveInfo(const char *buf, long len, unsigned int flag, HLOCAL *lphInf) {
  if (lphInf == nullptr) return SPI_NO_FUNCTION;
  *lphInf = nullptr;
  try {
    Source source;
    int rc = SourceOf(buf, len, flag, source);
    if (rc != SPI_OK) return rc;
    std::vector<Member> members;
    rc = ListMembers(source, members);
    if (rc != SPI_OK) return rc;
    return BuildInfoBlock(members, lphInf);
  } catch (const std::bad_alloc &) {
    return SPI_OUT_OF_MEMORY;
  } catch (...) {
    return SPI_FORMAT_ERROR;
  }
}

// The source is the archive's path and `len` the member's position; the memory form has no
// place for a position and is not supported. The destination is the address of a handle
// (flag 0x100) or a folder.
TAMRO_SPI_EXPORT int GetFile(const char *src, long len, char *dest, unsigned int flag, SPI_PROGRESS progress,
                             long lData) {
  if (src == nullptr || dest == nullptr) return SPI_NO_FUNCTION;
  if ((flag & SPI_SOURCE_MASK) != SPI_SOURCE_FILE) return SPI_NO_FUNCTION;
  const unsigned destForm = flag & SPI_DEST_MASK;
  if (destForm != SPI_DEST_MEMORY && destForm != SPI_DEST_FILE) return SPI_NO_FUNCTION;
  if (destForm == SPI_DEST_MEMORY) *reinterpret_cast<HLOCAL *>(dest) = nullptr;
  if (len < 0 || static_cast<unsigned long>(len) > UINT32_MAX) return SPI_FORMAT_ERROR;
  try {
    Progress report(progress, lData);
    const Source source = Source::File(src, 0);
    if (destForm == SPI_DEST_MEMORY) {
      MemorySink sink;
      int rc = Extract(source, static_cast<uint32_t>(len), sink, report);
      if (rc == SPI_OK) *reinterpret_cast<HLOCAL *>(dest) = sink.Release();
      return rc;
    }
    FolderSink sink(dest);
    return Extract(source, static_cast<uint32_t>(len), sink, report);
  } catch (const std::bad_alloc &) {
    return SPI_OUT_OF_MEMORY;
  } catch (...) {
    return SPI_FORMAT_ERROR;
  }
}
