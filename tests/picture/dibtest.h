#pragma once

// Builders for test pictures: raw blocks with any header, owned by a GlobalHandle.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "picture/dib.h"
#include "platform/globalhandle.h"

namespace tamro::test {

inline GlobalHandle BlockOf(const std::vector<uint8_t> &bytes) {
  GlobalHandle h = GlobalHandle::Allocate(bytes.size());
  GlobalLockGuard lock(h.get());
  if (!bytes.empty()) std::memcpy(lock.get(), bytes.data(), bytes.size());
  return h;
}

inline std::vector<uint8_t> BytesOf(HDIB h) {
  GlobalLockGuard lock(h);
  auto *p = lock.as<uint8_t>();
  return std::vector<uint8_t>(p, p + GlobalSize(h));
}

inline BitmapInfoHeader Header(int32_t width, int32_t height, uint16_t bits, uint32_t compression = BI_RGB,
                               uint32_t clrUsed = 0) {
  BitmapInfoHeader bi{};
  bi.size = 40, bi.width = width, bi.height = height, bi.planes = 1;
  bi.bitCount = bits, bi.compression = compression, bi.clrUsed = clrUsed;
  return bi;
}

// Header, then `extra` (table or masks), then the rows as given.
inline GlobalHandle Picture(const BitmapInfoHeader &bi, const std::vector<uint8_t> &extra,
                            const std::vector<uint8_t> &rows) {
  std::vector<uint8_t> bytes(sizeof bi);
  std::memcpy(bytes.data(), &bi, sizeof bi);
  bytes.insert(bytes.end(), extra.begin(), extra.end());
  bytes.insert(bytes.end(), rows.begin(), rows.end());
  return BlockOf(bytes);
}

// A 108-byte header, read as 24 bits, that claims RLE with a tiny stated size: its rows are
// not all there (found by fuzzing).
inline GlobalHandle ShortRlePicture() {
  BitmapInfoHeader bi = Header(300, 300, 24, BI_RLE8);
  bi.size = 108;
  bi.sizeImage = 4;
  return Picture(bi, std::vector<uint8_t>(68 + 4), {});
}

// The picture read from a BMP file's bytes found `at` this offset of the file.
inline GlobalHandle ReadBmp(const std::filesystem::path &path, long at = 0) {
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(std::fopen(path.c_str(), "rb"), std::fclose);
  return GlobalHandle(in && std::fseek(in.get(), at, SEEK_SET) == 0 ? ReadDibFromStream(in.get()) : nullptr);
}

// A 24-bit picture whose pixel (x, y from the top) is f(x, y) as 0x00BBGGRR.
template <class F>
GlobalHandle Picture24(int width, int height, F f) {
  GlobalHandle h(CreateDib(width, height, 24));
  DibLock lock(h.get());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) SetDibPixel(lock.header(), x, y, f(x, y));
  return h;
}

inline uint32_t PixelAt(HDIB h, int x, int y) {
  DibLock lock(h);
  return lock ? GetDibPixel(lock.header(), x, y) : 0xFFFFFFFFu;
}

// The pixels at these points, as PixelAt reads them.
inline std::vector<uint32_t> PixelsAt(HDIB h, std::initializer_list<std::pair<int, int>> points) {
  std::vector<uint32_t> v;
  for (const auto &[x, y] : points) v.push_back(PixelAt(h, x, y));
  return v;
}

inline uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (uint32_t{b} << 16); }

}  // namespace tamro::test
