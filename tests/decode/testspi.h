#pragma once

// Shared pieces of the decoder host tests: a sandbox with its own plug-in folder filled
// with copies of the test plug-ins, and the makers of the test formats.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "decode/spihost.h"
#include "platform/globalhandle.h"
#include "platform/globalmem.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/sandbox.h"

namespace tamro::test {

// Folder of the built test plug-ins (tpic, tmem, tsparse, tarc, tweird, tfault).
std::filesystem::path TestSpiDir();

// "TPIC" picture: width, height, depth (8 or 24), fill colour (blue, green, red or the
// palette index); `comment` adds a comment, `shortPixels` makes the pixel block too small.
std::string TPic(int width, int height, int depth, uint8_t b, uint8_t g, uint8_t r,
                 const char *magic = "TPIC", bool comment = false, bool shortPixels = false);

struct TarcMember {
  std::string name;
  std::string data;
  uint32_t time = 0;
  std::string method = "Store";
};
// "TARC" archive; flags: 1 no closing record, 2 success without a block, 4 fault.
std::string Tarc(const std::vector<TarcMember> &members, uint32_t flags = 0);

class HostTest : public ::testing::Test {
 protected:
  HostTest();
  ~HostTest() override;
  // No test leaves a block behind, whatever the plug-ins did.
  void TearDown() override { EXPECT_EQ(GlobalLiveBlockCount(), blocksAtStart); }

  // Copies test plug-in `plugin` (e.g. "tpic") into the plug-in folder as `as` (e.g. "a.spi").
  void Install(const std::string &plugin, const std::string &as);
  // A new host that scanned the folder and loaded the set (and writes nothing back).
  CSpiHost &Scan(const std::string &setName = "");
  // Ends the current host and stores a setting.
  void Store(const std::string &section, const std::string &key, int value);
  std::string Pattern() const { return (spiDir / "*.SPI").string(); }

  // A search query over `head` (which must outlive it), as callers build one.
  static SpiQuery Query(const std::string &fileName, const SpiHead &head);
  // GetPicture of a memory image or of a file from `offset` at `position`; the picture goes to
  // *out, or is freed. A failure must leave no picture.
  int DecodeImage(int position, const std::string &bytes, GlobalHandle *out = nullptr,
                  ProgressProc progress = nullptr, long user = 0);
  int DecodeFile(int position, const std::filesystem::path &path, long offset = 0,
                 GlobalHandle *out = nullptr);
  int Decode(int position, const char *source, unsigned form, long length, GlobalHandle *out,
             ProgressProc progress = nullptr, long user = 0);
  // Search over a memory image (its first bytes), as callers do.
  int Find(const std::string &fileName, const std::string &bytes, int kind = kSpiPicture, int start = 0,
           std::vector<int> *asked = nullptr);

  Sandbox box;
  ScriptedUi ui;
  ScopedUi scopedUi{ui};
  std::filesystem::path spiDir;
  std::vector<std::pair<int, std::string>> status;
  std::unique_ptr<CSpiHost> host;
  std::size_t blocksAtStart = 0;
};

}  // namespace tamro::test
