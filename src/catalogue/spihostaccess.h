#pragma once

#include "catalogue/decoderaccess.h"

namespace tamro {

class CSpiHost;

// The listing's questions answered by the program's plug-in host (the thumbnail builder has
// its own adapter, HostPictureDecoders).
class SpiHostAccess : public DecoderAccess {
 public:
  explicit SpiHostAccess(CSpiHost &host) : host_(host) {}

  int FindPictureDecoder(std::string_view name, const unsigned char *head, std::size_t length,
                         int archivePosition) override;
  int FindArchiveDecoder(std::string_view path, const unsigned char *head, std::size_t length,
                         int start) override;
  bool HasArchiveDecoders() override;
  int ListArchive(int position, const std::string &archivePath, std::vector<ArchiveMember> &members) override;
  int ExtractMember(int position, const std::string &archivePath, uint32_t memberPosition,
                    std::vector<unsigned char> &bytes) override;
  std::string PictureFilter() override;
  std::string ArchiveFilter() override;
  std::string ArchiveMemberFilter(int archivePosition) override;
  int FindDecoderByName(std::string_view name, Kind kind) override;
  std::string DecoderName(int position) override;

 private:
  CSpiHost &host_;
};

}  // namespace tamro
