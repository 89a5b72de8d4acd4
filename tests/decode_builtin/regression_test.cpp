// Inputs found by fuzzing, each named after what it catches, run through every entry of
// the decoder its extension names. Under the sanitizers any read or write outside a buffer
// fails here; the expectations below pin what each file must give.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "decode/builtin/builtin.h"
#include "decode/builtin/gif.h"
#include "helpers.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

namespace fs = std::filesystem;

int PositionFor(const fs::path &file) {
  static const std::map<std::string, int> kByExtension = {
      {".bmp", kBmp}, {".gif", kGif}, {".jpg", kJpeg}, {".tif", kTiff}, {".txt", kText}};
  const auto found = kByExtension.find(file.extension().string());
  return found == kByExtension.end() ? -1 : found->second;
}

// Expected results of the picture entry (frame entry for GIF frames 1 to 3: first failure).
const std::map<std::string, int> kExpected = {
    {"gif-huge-frames-in-few-bytes.gif", SPI_FORMAT_ERROR},
};

TEST(Regression, FuzzFindsStaySafe) {
  const fs::path dir = TAMRO_BUILTIN_DATA;
  int files = 0;
  for (const auto &entry : fs::directory_iterator(dir)) {
    const int position = PositionFor(entry.path());
    if (position < 0) continue;
    ++files;
    const std::string bytes = test::ReadFile(entry.path());
    const std::string name = entry.path().filename().string();
    test::Claims(position, name.c_str(), bytes);
    SpiPictureInfo info{};
    if (GetPictureInfo(position, bytes.data(), static_cast<long>(bytes.size()), SPI_SOURCE_MEMORY, &info,
                       nullptr) == 0 &&
        info.hInfo)
      GlobalFree(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(info.hInfo)));
    HDIB pic = nullptr;
    int result = GetPicture(position, bytes.data(), static_cast<long>(bytes.size()), SPI_SOURCE_MEMORY, &pic,
                            0, 1, nullptr, 0);
    if (pic) GlobalFree(pic);
    if (position == kGif && result == 0) {
      auto state = std::make_unique<GifDecodeState>();
      for (int frame = 1; frame < 4 && result == 0; ++frame) {
        state->frameIndex = frame;
        result = GifDecodeFrame(*state, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
      }
    }
    if (const auto e = kExpected.find(name); e != kExpected.end()) {
      EXPECT_EQ(result, e->second) << name;
    }
  }
  EXPECT_GE(files, static_cast<int>(kExpected.size()));
}

}  // namespace
}  // namespace tamro::builtin
