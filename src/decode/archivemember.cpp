// Archive members through the host: listing, extraction into memory, decoding, writing out.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "decode/spihost.h"
#include "platform/fileio.h"
#include "platform/globalhandle.h"
#include "platform/text.h"

namespace tamro {

namespace {

// A fixed-size text field: up to its first zero byte or its end.
std::string Field(const char *p, std::size_t size) {
  const void *zero = std::memchr(p, 0, size);
  return std::string(p, zero ? static_cast<const char *>(zero) - p : size);
}

// Calls `fn` for each record until the first empty method or the block's end (a record
// cut short by the block's end is not read). Answers false when `fn` stopped the walk.
template <class Fn>
bool WalkRecords(const void *block, std::size_t bytes, Fn &&fn) {
  const auto *base = static_cast<const char *>(block);
  for (std::size_t at = 0; base && at + sizeof(SpiArchiveInfo) <= bytes; at += sizeof(SpiArchiveInfo)) {
    SpiArchiveInfo rec;
    std::memcpy(&rec, base + at, sizeof rec);
    if (rec.method[0] == 0) break;
    ArchiveMember m;
    m.method = Field(reinterpret_cast<const char *>(rec.method), sizeof rec.method);
    m.position = rec.position;
    m.compressedSize = rec.compsize;
    m.fileSize = rec.filesize;
    m.timeStamp = rec.timestamp;
    // Plug-ins written for older systems hand CP932 names.
    m.path = LegacyToUtf8(Field(rec.path, sizeof rec.path));
    m.name = LegacyToUtf8(Field(rec.filename, sizeof rec.filename));
    m.crc = rec.crc;
    if (!fn(m)) return false;
  }
  return true;
}

}  // namespace

std::vector<ArchiveMember> ParseArchiveRecords(const void *block, std::size_t bytes) {
  std::vector<ArchiveMember> members;
  WalkRecords(block, bytes, [&](const ArchiveMember &m) {
    members.push_back(m);
    return true;
  });
  return members;
}

int ListArchiveMembers(CSpiHost &host, int archivePosition, const std::string &archivePath,
                       const std::function<bool(const ArchiveMember &)> &onMember) {
  HLOCAL info = nullptr;
  const int r = host.GetArchiveInfo(archivePosition, archivePath.c_str(), SPI_SOURCE_FILE, 0, &info);
  GlobalHandle block(info);
  if (r != 0) return r;
  if (!block) return -1;
  GlobalLockGuard lock(block.get());
  if (!lock) return -1;
  const bool completed =
      WalkRecords(lock.get(), block.size(), [&](const ArchiveMember &m) { return !onMember || onMember(m); });
  return completed ? 0 : 2;
}

int ExtractMemberToMemory(CSpiHost &host, int archivePosition, const std::string &archivePath,
                          uint32_t memberPosition, GlobalHandle *block, ProgressProc progress, long user) {
  if (!block) return -1;
  block->reset();
  HLOCAL h = nullptr;
  const int r =
      host.GetFile(archivePosition, archivePath.c_str(), reinterpret_cast<char *>(&h),
                   SPI_SOURCE_FILE | SPI_DEST_MEMORY, static_cast<long>(memberPosition), progress, user);
  GlobalHandle got(h);
  if (r != 0) return r;
  // Success without a block is no success.
  if (!got) return -1;
  *block = std::move(got);
  return 0;
}

SpiHead HeadOf(const void *data, std::size_t bytes) {
  SpiHead head;
  const std::size_t n = std::min<std::size_t>(bytes, SPI_HEAD_BYTES);
  if (data && n) std::memcpy(head.bytes, data, n);
  head.length = data ? static_cast<long>(n) : 0;
  return head;
}

int ReadHead(const std::string &path, long offset, SpiHead *head) {
  *head = SpiHead{};
  // A FIFO or device is no picture file; opening one must not wait for a writer.
  const UniqueFd fd = OpenRegularFile(path);
  if (!fd || offset < 0) return -1;
  long got = 0;
  bool failed = false;
  while (got < SPI_HEAD_BYTES) {
    const ssize_t n =
        ::pread(fd.get(), head->bytes + got, static_cast<std::size_t>(SPI_HEAD_BYTES - got), offset + got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    got += n;
  }
  if (failed) return -1;
  head->length = got;
  return 0;
}

int FindMemberDecoder(CSpiHost &host, int archivePosition, const std::string &memberName, const void *data,
                      std::size_t bytes, int start) {
  SpiHead head = HeadOf(data, bytes);
  SpiQuery query;
  query.fileName = memberName;
  query.kind = kSpiPicture;
  query.start = start;
  query.archivePosition = archivePosition;
  query.data = reinterpret_cast<uintptr_t>(head.bytes);
  query.length = head.length;
  return host.FindDecoder(query);
}

namespace {

// Extracts the member and runs `decode(decoder, data, size)` with the given decoder, or with
// each accepting decoder in turn until one succeeds. The block is freed on every path.
template <class Decode>
int DecodeMember(CSpiHost &host, int archivePosition, const std::string &archivePath, uint32_t memberPosition,
                 const std::string &memberName, int decoder, int *decoderFound, Decode &&decode) {
  if (decoderFound) *decoderFound = -1;
  GlobalHandle block;
  int r = ExtractMemberToMemory(host, archivePosition, archivePath, memberPosition, &block);
  if (r != 0) return r;
  GlobalLockGuard lock(block.get());
  if (!lock) return -1;
  const char *data = lock.as<const char>();
  const std::size_t size = block.size();
  if (decoder >= 0) {
    r = decode(decoder, data, static_cast<long>(size));
    if (r == 0 && decoderFound) *decoderFound = decoder;
    return r;
  }
  r = -1;
  for (int start = 0;;) {
    const int found = FindMemberDecoder(host, archivePosition, memberName, data, size, start);
    if (found < 0) return r;
    r = decode(found, data, static_cast<long>(size));
    if (r == 0) {
      if (decoderFound) *decoderFound = found;
      return 0;
    }
    start = found + 1;
  }
}

}  // namespace

int GetMemberPictureInfo(CSpiHost &host, int archivePosition, const std::string &archivePath,
                         uint32_t memberPosition, const std::string &memberName, int decoder,
                         SpiPictureInfo *info, int *decoderFound) {
  return DecodeMember(host, archivePosition, archivePath, memberPosition, memberName, decoder, decoderFound,
                      [&](int pos, const char *data, long size) {
                        return host.GetPictureInfo(pos, data, SPI_SOURCE_MEMORY, size, info);
                      });
}

int GetMemberPicture(CSpiHost &host, int archivePosition, const std::string &archivePath,
                     uint32_t memberPosition, const std::string &memberName, int decoder, HDIB *picture,
                     long reduction, ProgressProc progress, long user, int *decoderFound) {
  return DecodeMember(host, archivePosition, archivePath, memberPosition, memberName, decoder, decoderFound,
                      [&](int pos, const char *data, long size) {
                        return host.GetPicture(pos, data, picture, 0, reduction, SPI_SOURCE_MEMORY, size,
                                               progress, user);
                      });
}

MemberWriteResult WriteMemberToFile(CSpiHost &host, int archivePosition, const std::string &archivePath,
                                    uint32_t memberPosition, const std::string &destination,
                                    int64_t timeStamp) {
  MemberWriteResult result;
  GlobalHandle block;
  result.extract = ExtractMemberToMemory(host, archivePosition, archivePath, memberPosition, &block);
  if (result.extract != 0) return result;
  GlobalLockGuard lock(block.get());
  if (!lock) {
    result.extract = -1;
    return result;
  }
  // Opened without waiting, so that a FIFO nobody reads fails here instead of blocking.
  UniqueFd fd(
      ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666));
  if (!fd) {
    result.created = false;
    result.osError = errno;
    return result;
  }
  if (const int fl = ::fcntl(fd.get(), F_GETFL); fl >= 0) ::fcntl(fd.get(), F_SETFL, fl & ~O_NONBLOCK);
  if (!WriteAll(fd.get(), lock.get(), block.size())) result.osError = errno;
  if (!fd.reset() && result.osError == 0) result.osError = errno;
  if (result.osError == 0) {
    const struct timespec times[2] = {{static_cast<time_t>(timeStamp), 0},
                                      {static_cast<time_t>(timeStamp), 0}};
    if (::utimensat(AT_FDCWD, destination.c_str(), times, 0) != 0) result.osError = errno;
  }
  return result;
}

}  // namespace tamro
