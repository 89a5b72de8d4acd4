#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/spi.h"
#include "picture/dibtypes.h"
#include "platform/globalhandle.h"

namespace tamro {

struct ArchiveMember;

// Where a decoder reads a picture from: a file, or a memory image when `memory` is set.
struct PictureSource {
  std::string path;  // the file, or the member's name for a memory image
  const unsigned char *memory = nullptr;
  std::size_t length = 0;
};

// A progress callback that never cancels and shows nothing, for work nobody watches.
int QuietProgress(int, int, long);

// What the catalogue asks of the decoders: which one reads a file, the picture and its facts,
// archive members, names and extension lists. The program's implementation goes to the
// plug-in host (HostDecoders); tests use fakes, which answer "none" for what they leave out.
// Positions are the host's: list indices for plug-ins, 1000 to 1006 for the built-ins.
//
// The calls may come from several threads at once (the thumbnail workers); implementations
// must allow that.
class PictureDecoders {
 public:
  enum Kind { kPicture = 0, kArchive = 1 };

  virtual ~PictureDecoders() = default;

  // The first picture decoder, from `start` on, that accepts the data: `head` holds its
  // first bytes, zero-filled to at least 2048; `archivePosition` names the archive plug-in
  // of a member, else -1. -1 when none does.
  virtual int FindPictureDecoder(const std::string &name, const unsigned char *head, std::size_t length,
                                 int start, int archivePosition);
  // The first archive plug-in, from `start` on in registration order, that accepts the file.
  virtual int FindArchiveDecoder(const std::string &path, const unsigned char *head, std::size_t length,
                                 int start);
  // Whether any archive plug-in is there at all (a listing skips reading heads otherwise).
  virtual bool HasArchiveDecoders();

  // Picture facts; the decoder's information text, when it gives one, goes to `text`.
  virtual int GetPictureInfo(int position, const PictureSource &source, SpiPictureInfo &info,
                             std::string &text);
  // The picture, reduced by the whole factor `reduction` where the decoder can (0 and 1
  // mean full size). 0 and a picture, or the decoder's result. A null `progress` takes the
  // host's current callback.
  virtual int GetPicture(int position, const PictureSource &source, long reduction, GlobalHandle &picture,
                         ProgressProc progress = nullptr);
  // The preview a plug-in finds embedded in the picture, for a thumbnail of wantWidth x
  // wantHeight as shown; 0 and a picture, or the plug-in's result (-1 when it has none).
  virtual int GetPreview(int position, const PictureSource &source, int wantWidth, int wantHeight,
                         GlobalHandle &picture);
  // The decoder hands out pictures already turned by the file's orientation.
  virtual bool OrientsPictures(int position);
  // The ICC profile embedded in the picture, as the decoder that read it tells (empty when
  // there is none or the decoder does not say). 0, or the decoder's failure.
  virtual int GetColorProfile(int position, const PictureSource &source, std::string &profile);

  // Member records of an archive, up to the end record: 0 and the records, or the plug-in's
  // result (1: not this plug-in's format, -1: failure).
  virtual int ListArchive(int position, const std::string &archivePath, std::vector<ArchiveMember> &members);
  // The bytes of one archive member in a block: 0, or the plug-in's result.
  virtual int ExtractMember(int archivePosition, const std::string &archivePath, uint32_t memberPosition,
                            GlobalHandle &block);

  // Extension lists (";"-separated wildcard names): of all picture decoders in use, of all
  // archive plug-ins, and of the picture decoders that read one archive plug-in's members.
  virtual std::string PictureFilter();
  virtual std::string ArchiveFilter();
  virtual std::string ArchiveMemberFilter(int archivePosition);

  virtual int FindDecoderByName(std::string_view name, int kind);
  virtual std::string DecoderName(int position, int kind);
  // The decoder exists and takes part in searches.
  virtual bool IsInUse(int position, int kind);

  // Swaps the host's progress callback (null: the quiet one); answers the previous one.
  virtual ProgressProc SetProgressCallback(ProgressProc callback);
};

// Quiets the decoders' progress callback for a scope, as drawing must.
class ProgressPause {
 public:
  explicit ProgressPause(PictureDecoders *decoders)
      : decoders_(decoders), previous_(decoders ? decoders->SetProgressCallback(nullptr) : nullptr) {}
  ~ProgressPause() {
    if (decoders_) decoders_->SetProgressCallback(previous_);
  }
  ProgressPause(const ProgressPause &) = delete;
  ProgressPause &operator=(const ProgressPause &) = delete;

 private:
  PictureDecoders *decoders_;
  ProgressProc previous_;
};

}  // namespace tamro
