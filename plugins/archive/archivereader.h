#pragma once

// Archives read through libarchive: recognising them, listing their members and extracting
// one member. A member's position is the number of headers before it in the archive, so it
// stays the same between a listing and any later extraction.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/pluginbase.h"
#include "platform/fileio.h"

struct archive;
struct archive_entry;

namespace tamro::plugin::archive {

// Where the archive's bytes are: a file from an offset on, or a memory image.
struct Source {
  const char *path = nullptr;
  uint64_t offset = 0;
  const uint8_t *data = nullptr;
  size_t size = 0;

  static Source File(const char *path, uint64_t offset) { return {path, offset, nullptr, 0}; }
  static Source Memory(const uint8_t *data, size_t size) { return {nullptr, 0, data, size}; }
};

struct Member {
  std::string method;           // "Deflate", "-lh5-", "Store", ...
  uint32_t position = 0;        // handed back to Extract
  uint64_t compressedSize = 0;  // 0 when the archive does not tell
  uint64_t size = 0;
  int64_t mtime = 0;   // seconds since 1970, UTC
  std::string folder;  // UTF-8, ending in "/", empty at the top
  std::string name;    // UTF-8
  uint32_t crc = 0;    // 0 when unknown
};

// Members more than this are left out of a listing.
constexpr size_t kMaxMembers = 1000000;

// Recognises an archive by its first SPI_HEAD_BYTES bytes. `readAt`, when given, reads
// further bytes (for formats whose mark lies past the head); `fileName` helps tell
// compressed tar files from other compressed files.
using ReadAt = size_t (*)(void *context, uint64_t offset, void *out, size_t size);
bool Recognise(const uint8_t *head, size_t size, const char *fileName, ReadAt readAt, void *context);

// Lists the regular-file members. SPI_OK (also for an archive with no members, or when the
// archive is damaged after at least one member was read) or the failure code.
int ListMembers(const Source &source, std::vector<Member> &members);

// The block of 428-byte records GetArchiveInfo hands back, ending with an empty record.
int BuildInfoBlock(const std::vector<Member> &members, HLOCAL *block);

// Receives a member's bytes.
class MemberSink {
 public:
  virtual ~MemberSink() = default;
  // Called once before the bytes; `declared` is the size the archive states (0 if none).
  virtual int Begin(const Member &member, uint64_t declared) = 0;
  virtual int Write(const void *data, size_t size) = 0;
  virtual int Finish() = 0;
};

// Extracts the member at `position` into `sink`. SPI_OK or the failure code: no such member,
// an encrypted or damaged member, a cancel through `progress` (all SPI_FORMAT_ERROR), or the
// sink's own failure.
int Extract(const Source &source, uint32_t position, MemberSink &sink, Progress &progress);

// Sink that collects the bytes in a global-memory block of exactly the member's length,
// growing it as bytes arrive rather than trusting the declared size.
class MemorySink : public MemberSink {
 public:
  int Begin(const Member &member, uint64_t declared) override;
  int Write(const void *data, size_t size) override;
  int Finish() override;
  HLOCAL Release() { return block_.Release(); }

 private:
  OwnedBlock block_;
  uint8_t *bytes_ = nullptr;
  size_t used_ = 0, capacity_ = 0;
};

// Sink that writes the member under its file name into a folder, through a temporary file
// renamed into place, and gives it the member's time stamp.
class FolderSink : public MemberSink {
 public:
  explicit FolderSink(std::string folder) : folder_(std::move(folder)) {}
  int Begin(const Member &member, uint64_t declared) override;
  int Write(const void *data, size_t size) override;
  int Finish() override;

 private:
  std::string folder_;
  std::unique_ptr<AtomicFile> file_;
  int64_t mtime_ = 0;
};

}  // namespace tamro::plugin::archive
