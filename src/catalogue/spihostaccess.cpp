#include "catalogue/spihostaccess.h"

#include <cstring>

#include "decode/spihost.h"

namespace tamro {

namespace {

int Find(CSpiHost &host, std::string_view name, int kind, int start, int archivePosition,
         const unsigned char *head, std::size_t length) {
  if (!head || length == 0) return -1;
  SpiQuery q;
  q.fileName = std::string(name);
  q.kind = kind;
  q.start = start;
  q.archivePosition = archivePosition;
  q.data = reinterpret_cast<uintptr_t>(head);
  q.length = static_cast<long>(length);
  return host.FindDecoder(q);
}

}  // namespace

int SpiHostAccess::FindPictureDecoder(std::string_view name, const unsigned char *head, std::size_t length,
                                        int archivePosition) {
  return Find(host_, name, kSpiPicture, 0, archivePosition, head, length);
}

int SpiHostAccess::FindArchiveDecoder(std::string_view path, const unsigned char *head, std::size_t length,
                                        int start) {
  return Find(host_, path, kSpiArchive, start, -1, head, length);
}

bool SpiHostAccess::HasArchiveDecoders() { return host_.Count(kSpiArchive) > 0; }

int SpiHostAccess::ListArchive(int position, const std::string &archivePath,
                                 std::vector<ArchiveMember> &members) {
  members.clear();
  return ListArchiveMembers(host_, position, archivePath, [&](const ArchiveMember &m) {
    members.push_back(m);
    return true;
  });
}

int SpiHostAccess::ExtractMember(int position, const std::string &archivePath, uint32_t memberPosition,
                                   std::vector<unsigned char> &bytes) {
  bytes.clear();
  GlobalHandle block;
  int r = ExtractMemberToMemory(host_, position, archivePath, memberPosition, &block);
  if (r != 0) return r;
  GlobalLockGuard lock(block.get());
  if (!lock) return -1;
  std::size_t n = block.size();
  bytes.resize(n);
  if (n) std::memcpy(bytes.data(), lock.get(), n);
  return 0;
}

std::string SpiHostAccess::PictureFilter() { return host_.BuildPictureFilter(kSpiPicture); }

std::string SpiHostAccess::ArchiveFilter() { return host_.BuildPictureFilter(kSpiArchive); }

std::string SpiHostAccess::ArchiveMemberFilter(int archivePosition) {
  return host_.BuildArchiveMemberFilter(archivePosition);
}

int SpiHostAccess::FindDecoderByName(std::string_view name, Kind kind) {
  if (name.empty()) return -1;
  return host_.FindDecoderByName(name, kind == kArchive ? kSpiArchive : kSpiPicture);
}

std::string SpiHostAccess::DecoderName(int position) { return host_.GetDecoderName(position, kSpiPicture); }

}  // namespace tamro
