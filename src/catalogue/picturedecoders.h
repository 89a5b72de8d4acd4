#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/spi.h"
#include "picture/dibtypes.h"
#include "platform/globalhandle.h"

namespace tamro {

// Where a decoder reads a picture from: a file, or a memory image when `memory` is set.
struct PictureSource {
  std::string path;  // the file, or the member's name for a memory image
  const unsigned char *memory = nullptr;
  std::size_t length = 0;
};

// What the thumbnail builder and the thumbnail store ask of the decoders. The application's
// implementation goes to the plug-in host; tests use fakes. Positions are the host's: list
// indices for plug-ins, 1000 to 1006 for the built-ins; kind 0 picture, 1 archive.
class PictureDecoders {
 public:
  enum Kind { kPicture = 0, kArchive = 1 };

  virtual ~PictureDecoders() = default;

  // The first picture decoder, from `start` on, that accepts the data: `head` holds its
  // first bytes, zero-filled to at least 2048; `archivePosition` names the archive plug-in
  // of a member, else -1. -1 when none does.
  virtual int FindPictureDecoder(const std::string &name, const unsigned char *head, std::size_t length,
                                 int start, int archivePosition) = 0;
  // Picture facts; the decoder's information text, when it gives one, goes to `text`.
  virtual int GetPictureInfo(int position, const PictureSource &source, SpiPictureInfo &info,
                             std::string &text) = 0;
  // The picture, reduced by the whole factor `reduction` where the decoder can (0 and 1
  // mean full size). 0 and a picture, or the decoder's result.
  virtual int GetPicture(int position, const PictureSource &source, long reduction,
                         GlobalHandle &picture) = 0;
  // The bytes of one archive member in a block: 0, or the plug-in's result.
  virtual int ExtractMember(int archivePosition, const std::string &archivePath, uint32_t memberPosition,
                            GlobalHandle &block) = 0;

  virtual int FindDecoderByName(std::string_view name, int kind) = 0;
  virtual std::string DecoderName(int position, int kind) = 0;
  // The decoder exists and takes part in searches.
  virtual bool IsInUse(int position, int kind) = 0;

  // Swaps the host's progress callback (null: the quiet one); answers the previous one.
  virtual ProgressProc SetProgressCallback(ProgressProc callback) = 0;
};

// Quiets the decoders' progress callback for a scope, as background building must.
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
