#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/spihost.h"

namespace tamro {

// What the folder listing asks of the decoders. The application's implementation goes to the
// plug-in host; tests use a fake. Positions are the host's: list indices for plug-ins, 1000
// to 1006 for the built-in decoders; -1 means none.
class DecoderAccess {
 public:
  enum Kind { kPicture = 0, kArchive = 1 };

  virtual ~DecoderAccess() = default;

  // The first picture decoder that accepts a file, given its name and its first bytes (at
  // least 2048, zero-filled past the end); `archivePosition` names the archive plug-in of a
  // member, else -1.
  virtual int FindPictureDecoder(std::string_view name, const unsigned char *head, std::size_t length,
                                 int archivePosition) = 0;
  // The first archive plug-in, from `start` on in registration order, that accepts the file.
  virtual int FindArchiveDecoder(std::string_view path, const unsigned char *head, std::size_t length,
                                 int start) = 0;
  // Whether any archive plug-in is there at all (a listing skips reading heads otherwise).
  virtual bool HasArchiveDecoders() = 0;
  // Member records of an archive, up to the end record: 0 and the records, or the plug-in's
  // result (1: not this plug-in's format, -1: failure).
  virtual int ListArchive(int position, const std::string &archivePath,
                          std::vector<ArchiveMember> &members) = 0;
  // The bytes of one member: 0 or the plug-in's result.
  virtual int ExtractMember(int position, const std::string &archivePath, uint32_t memberPosition,
                            std::vector<unsigned char> &bytes) = 0;

  // Extension lists (";"-separated wildcard names): of all picture decoders in use, of all
  // archive plug-ins, and of the picture decoders that read one archive plug-in's members.
  virtual std::string PictureFilter() = 0;
  virtual std::string ArchiveFilter() = 0;
  virtual std::string ArchiveMemberFilter(int archivePosition) = 0;

  virtual int FindDecoderByName(std::string_view name, Kind kind) = 0;
  virtual std::string DecoderName(int position) = 0;
};

}  // namespace tamro
