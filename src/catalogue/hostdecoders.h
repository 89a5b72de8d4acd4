#pragma once

#include "catalogue/picturedecoders.h"

namespace tamro {

class CSpiHost;

// The decoders as the plug-in host offers them: built-ins and ".spi" plug-ins alike.
class HostDecoders : public PictureDecoders {
 public:
  explicit HostDecoders(CSpiHost &host) : host_(host) {}

  CSpiHost &Host() const { return host_; }

  int FindPictureDecoder(const std::string &name, const unsigned char *head, std::size_t length, int start,
                         int archivePosition) override;
  int FindArchiveDecoder(const std::string &path, const unsigned char *head, std::size_t length,
                         int start) override;
  bool HasArchiveDecoders() override;
  int GetPictureInfo(int position, const PictureSource &source, SpiPictureInfo &info,
                     std::string &text) override;
  int GetPicture(int position, const PictureSource &source, long reduction, GlobalHandle &picture,
                 ProgressProc progress = nullptr) override;
  int GetColorProfile(int position, const PictureSource &source, std::string &profile) override;
  int GetPreview(int position, const PictureSource &source, int wantWidth, int wantHeight,
                 GlobalHandle &picture) override;
  bool OrientsPictures(int position) override;
  int ListArchive(int position, const std::string &archivePath, std::vector<ArchiveMember> &members) override;
  int ExtractMember(int archivePosition, const std::string &archivePath, uint32_t memberPosition,
                    GlobalHandle &block) override;
  std::string PictureFilter() override;
  std::string ArchiveFilter() override;
  std::string ArchiveMemberFilter(int archivePosition) override;
  // Names are matched ignoring case. A 15-byte name that matches no decoder is taken as one
  // the thumbnail store cut to its field and matched by its beginning.
  int FindDecoderByName(std::string_view name, int kind) override;
  std::string DecoderName(int position, int kind) override;
  bool IsInUse(int position, int kind) override;
  ProgressProc SetProgressCallback(ProgressProc callback) override;

 private:
  CSpiHost &host_;
};

}  // namespace tamro
