#pragma once

// A plug-in module loaded the way the host loads one, with its entry points resolved, and
// helpers that call them as the host would.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "decode/spi.h"
#include "platform/globalmem.h"

namespace tamro::test {

class SpiModule {
 public:
  // `fileName` is looked for in the build's bin folder ("ifpng.spi").
  explicit SpiModule(const std::string &fileName);
  ~SpiModule();
  SpiModule(const SpiModule &) = delete;
  SpiModule &operator=(const SpiModule &) = delete;

  bool loaded() const { return handle_ != nullptr; }
  std::string error() const { return error_; }

  // Information entry `n`, or nullopt-like empty string with `exists` false.
  std::string Info(int n, bool *exists = nullptr, int bufferSize = 256) const;
  // Checks entry 0 is `kind` and entry 1 a description, and that the extension patterns of
  // entries 2, 4, ..., each with its description after it, hold every one of `patterns`.
  void ExpectPatterns(const std::string &kind, std::initializer_list<const char *> patterns) const;
  // IsSupported handed 2048 head bytes (zero-filled past the data).
  int IsSupportedHead(const std::string &name, const std::string &bytes) const;
  // IsSupported handed an open descriptor positioned at `offset`.
  int IsSupportedFd(const std::filesystem::path &file, off_t offset = 0) const;

  SPI_GetPluginInfo getPluginInfo = nullptr;
  SPI_IsSupported isSupported = nullptr;
  SPI_GetPictureInfo getPictureInfo = nullptr;
  SPI_GetPicture getPicture = nullptr;
  SPI_GetPreview getPreview = nullptr;
  SPI_GetArchiveInfo getArchiveInfo = nullptr;
  SPI_GetFile getFile = nullptr;
  SPI_GetColorProfile getColorProfile = nullptr;

 private:
  void *handle_ = nullptr;
  std::string error_;
};

// A decoded picture, top row first, three bytes (blue, green, red) per pixel, no padding.
struct Picture {
  int width = 0, height = 0, xPelsPerMeter = 0;
  std::vector<uint8_t> bgr;
  // Blue, green, red of a pixel packed as 0xRRGGBB.
  uint32_t At(int x, int y) const;
};

// Calls GetPicture and joins the two blocks; frees both. Checks the block layout as a host
// relies on it (40-byte header, 24 bits, padded bottom-up rows) and fails the test otherwise.
int DecodeMemory(const SpiModule &spi, const std::string &bytes, Picture &out,
                 SPI_PROGRESS progress = nullptr, long user = 0);
// The same through GetPreview.
int PreviewMemory(const SpiModule &spi, const std::string &bytes, Picture &out);
int DecodeFile(const SpiModule &spi, const std::filesystem::path &file, long offset, Picture &out);

// A progress callback that adds (done, total) to the std::vector<std::pair<int, int>> at `user`
// and lets the work go on.
int RecordProgress(int done, int total, long user);

// One archive member record as read back from GetArchiveInfo's block.
struct MemberRecord {
  std::string method;
  uint32_t position = 0, compsize = 0, filesize = 0;
  int32_t timestamp = 0;
  std::string path, filename;
};
// Calls GetArchiveInfo and reads the records up to the empty one; frees the block.
int ListArchive(const SpiModule &spi, const std::filesystem::path &file, std::vector<MemberRecord> &out);
// GetFile into memory; answers the result and the member's bytes; frees the block.
int ExtractMember(const SpiModule &spi, const std::filesystem::path &file, uint32_t position,
                  std::string &bytes, SPI_PROGRESS progress = nullptr, long user = 0);

}  // namespace tamro::test
