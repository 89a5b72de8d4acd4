#pragma once

// The fixture of the picture plug-in tests: one module loaded as the host loads it, helpers
// that call it, and a check that no global block outlives a test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "plugins/spimodule.h"
#include "plugins/testfiles.h"
#include "support/sandbox.h"

namespace tamro::test {

// Loads one module and checks that no global block outlives a test.
class PictureModule : public ::testing::Test {
 protected:
  void Load(const char *file) {
    spi = std::make_unique<SpiModule>(file);
    ASSERT_TRUE(spi->loaded()) << spi->error();
    ASSERT_TRUE(spi->getPicture && spi->getPictureInfo && spi->isSupported) << "an entry point is missing";
  }
  void SetUp() override { liveBefore = GlobalLiveBlockCount(); }
  void TearDown() override { EXPECT_EQ(GlobalLiveBlockCount(), liveBefore) << "global blocks leaked"; }

  // The packed record's fields copied out, so that checks never bind to unaligned fields.
  struct Facts {
    int left, top, width, height, x_density, y_density, colorDepth;
    uint32_t hInfo;
  };
  static Facts Unpack(const SpiPictureInfo &i) {
    return {i.left, i.top, i.width, i.height, i.x_density, i.y_density, i.colorDepth, i.hInfo};
  }
  Facts Info(const std::string &bytes) {
    SpiPictureInfo info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(spi->getPictureInfo(bytes.data(), static_cast<long>(bytes.size()), SPI_SOURCE_MEMORY, &info),
              SPI_OK);
    return Unpack(info);
  }

  // Decoding every cut of the file fails cleanly or succeeds, never anything else.
  void ExpectCutsFailCleanly(const std::string &bytes) {
    for (size_t cut : {size_t{0}, size_t{1}, size_t{12}, size_t{40}, bytes.size() / 3, bytes.size() / 2,
                       bytes.size() - 9, bytes.size() - 1}) {
      if (cut >= bytes.size()) continue;
      Picture p;
      const std::string part = cut == 0 ? std::string(1, '\0') : bytes.substr(0, cut);
      int rc = DecodeMemory(*spi, part, p);
      EXPECT_TRUE(rc == SPI_OK || (rc >= SPI_FORMAT_ERROR && rc <= SPI_READ_ERROR) || rc == SPI_NO_FUNCTION)
          << "cut at " << cut << " gave " << rc;
      SpiPictureInfo info;
      if (spi->getPictureInfo(part.data(), static_cast<long>(part.size()), SPI_SOURCE_MEMORY, &info) ==
              SPI_OK &&
          info.hInfo != 0)
        GlobalFree(reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(info.hInfo)));
    }
  }

  void ExpectQuadrants(const Picture &p, uint8_t alpha, int tolerance) {
    const RgbaImage q = Quadrants(p.width, p.height, alpha);
    for (auto [x, y] : {std::pair{1, 1}, std::pair{p.width - 2, 1}, std::pair{1, p.height - 2},
                        std::pair{p.width - 2, p.height - 2}, std::pair{p.width / 4, p.height / 4}}) {
      uint32_t want = OnWhite(q.at(x, y)), got = p.At(x, y);
      for (int shift : {0, 8, 16}) {
        int a = static_cast<int>((want >> shift) & 0xFF), b = static_cast<int>((got >> shift) & 0xFF);
        EXPECT_LE(std::abs(a - b), tolerance)
            << "pixel " << x << "," << y << " want " << std::hex << want << " got " << got;
      }
    }
  }

  // The facts record's size and depth as "width x height, depth".
  std::string Shape(const std::string &bytes) {
    const Facts f = Info(bytes);
    return std::to_string(f.width) + "x" + std::to_string(f.height) + ", " + std::to_string(f.colorDepth);
  }

  std::unique_ptr<SpiModule> spi;
  size_t liveBefore = 0;
  Sandbox box;
};

// The fixture with the module `kFile` loaded.
template <const char *kFile>
class Loaded : public PictureModule {
 protected:
  void SetUp() override {
    PictureModule::SetUp();
    Load(kFile);
  }
};
constexpr char kPng[] = "ifpng.spi", kGif[] = "ifgif.spi", kQt[] = "ifqt.spi", kWebp[] = "ifwebp.spi",
               kHeif[] = "ifheif.spi", kRaw[] = "ifraw.spi", kJxl[] = "ifjxl.spi", kTiff[] = "iftiff.spi";

}  // namespace tamro::test
