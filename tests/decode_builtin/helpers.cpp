#include "helpers.h"

#include <cstring>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <gtest/gtest.h>

#include "picture/dib.h"

namespace tamro::test {

namespace {
void Put16(Bytes &b, std::initializer_list<uint32_t> values) {
  for (uint32_t v : values) PutLe16(b, v);
}
void Put32(Bytes &b, std::initializer_list<uint32_t> values) {
  for (uint32_t v : values) PutLe32(b, v);
}
}  // namespace

Bytes MakeBmp(int width, int height, int bits, uint32_t compression, const Bytes &pixels) {
  const int colours = bits <= 8 ? 1 << bits : 0;
  const uint32_t offBits = 54 + static_cast<uint32_t>(colours) * 4,
                 size = static_cast<uint32_t>(pixels.size());
  Bytes b{'B', 'M'};
  Put32(b, {offBits + size, 0, offBits, 40, static_cast<uint32_t>(width), static_cast<uint32_t>(height)});
  Put16(b, {1, static_cast<uint32_t>(bits)});
  Put32(b, {compression, compression ? size : 0, 0, 0, 0, 0});
  for (int i = 0; i < colours; ++i) {
    const auto v = static_cast<unsigned char>(i * 255 / (colours - 1));
    // Blue differs from red so that a swapped channel order shows.
    b.insert(b.end(), {static_cast<unsigned char>(255 - v), v, v, 0});
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

Bytes LzwEncode(const std::vector<unsigned char> &indices, int codeSize, bool neverClear) {
  const unsigned clear = 1u << codeSize, end = clear + 1;
  unsigned width = static_cast<unsigned>(codeSize) + 1, next = clear + 2;
  bool afterClear = true;
  Bytes data;
  uint32_t acc = 0;
  unsigned bits = 0;
  auto emit = [&](unsigned code) {
    acc |= code << bits;
    bits += width;
    while (bits >= 8) {
      data.push_back(static_cast<unsigned char>(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  emit(clear);
  for (unsigned char v : indices) {
    if (next >= 4094 && !neverClear) {
      emit(clear);
      width = static_cast<unsigned>(codeSize) + 1;
      next = clear + 2;
      afterClear = true;
    }
    emit(v);
    if (afterClear) {
      afterClear = false;
    } else if (++next > (1u << width) - 1 && width < 12) {
      ++width;
    }
  }
  emit(end);
  if (bits) data.push_back(static_cast<unsigned char>(acc));
  Bytes out{static_cast<unsigned char>(codeSize)};
  for (std::size_t i = 0; i < data.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, data.size() - i);
    out.push_back(static_cast<unsigned char>(n));
    out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
  }
  out.push_back(0);
  return out;
}

static void PutTable(Bytes &b, int bits, const std::vector<uint32_t> &colours) {
  for (int i = 0; i < (1 << bits); ++i) {
    const uint32_t c = i < static_cast<int>(colours.size()) ? colours[i] : 0;
    b.insert(b.end(), {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                       static_cast<unsigned char>(c)});
  }
}

Bytes MakeGif(int width, int height, int globalBits, const std::vector<uint32_t> &globalColours,
              const std::vector<GifFrame> &frames, const std::string &comment, int screenBits) {
  Bytes b{'G', 'I', 'F', '8', '9', 'a'};
  Put16(b, {static_cast<uint32_t>(width), static_cast<uint32_t>(height)});
  const int depthField = globalBits ? globalBits : (screenBits ? screenBits : 1);
  b.push_back(static_cast<unsigned char>((globalBits ? 0x80 : 0) | (depthField - 1)));
  b.insert(b.end(), {0, 0});
  if (globalBits) PutTable(b, globalBits, globalColours);
  if (!comment.empty()) {
    b.insert(b.end(), {0x21, 0xFE, static_cast<unsigned char>(comment.size())});
    b.insert(b.end(), comment.begin(), comment.end());
    b.push_back(0);
  }
  for (const GifFrame &f : frames) {
    if (f.graphicControl || f.transparent >= 0) {
      b.insert(b.end(), {0x21, 0xF9, 4});
      b.push_back(static_cast<unsigned char>((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0)));
      PutLe16(b, static_cast<unsigned>(f.delay));
      b.push_back(static_cast<unsigned char>(f.transparent >= 0 ? f.transparent : 0));
      b.push_back(0);
    }
    b.push_back(',');
    Put16(b, {static_cast<uint32_t>(f.left), static_cast<uint32_t>(f.top), static_cast<uint32_t>(f.width),
              static_cast<uint32_t>(f.height)});
    b.push_back(
        static_cast<unsigned char>((f.localBits ? 0x80 | (f.localBits - 1) : 0) | (f.interlaced ? 0x40 : 0)));
    if (f.localBits) PutTable(b, f.localBits, f.localColours);
    const int bits = f.localBits ? f.localBits : depthField;
    const Bytes lzw = LzwEncode(f.indices, std::max(2, bits), f.neverClear);
    b.insert(b.end(), lzw.begin(), lzw.end());
  }
  b.push_back(0x3B);
  return b;
}

Bytes MakeJpeg(int width, int height, int components, const Bytes &pixels, int quality,
               const std::string &comment, const std::string &app1, Inks inks, bool adobe) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char *mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  if (components == 4) {
    jpeg_set_colorspace(&c, inks == Inks::kYcck ? JCS_YCCK : JCS_CMYK);
    c.write_Adobe_marker = adobe ? TRUE : FALSE;
  }
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  if (!comment.empty())
    jpeg_write_marker(&c, JPEG_COM, reinterpret_cast<const JOCTET *>(comment.data()),
                      static_cast<unsigned>(comment.size()));
  if (!app1.empty())
    jpeg_write_marker(&c, JPEG_APP0 + 1, reinterpret_cast<const JOCTET *>(app1.data()),
                      static_cast<unsigned>(app1.size()));
  const std::size_t stride = static_cast<std::size_t>(width) * components;
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<unsigned char *>(pixels.data()) + c.next_scanline * stride;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(mem, mem + size);
  jpeg_destroy_compress(&c);
  free(mem);
  return out;
}

Bytes Gradient(int width, int height) {
  Bytes p(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned char *q = &p[(static_cast<std::size_t>(y) * width + x) * 3];
      q[0] = static_cast<unsigned char>(x * 255 / std::max(1, width - 1));
      q[1] = static_cast<unsigned char>(y * 255 / std::max(1, height - 1));
      q[2] = static_cast<unsigned char>(((x / 8 + y / 8) & 1) ? 200 : 40);
    }
  return p;
}

Rgb PixelAt(HDIB h, int x, int y) {
  HDIB rgb = DibTo24Bit(h);
  uint32_t c = 0xFFFFFFFFu;
  if (DibLock lock(rgb); lock)
    c = GetDibPixel(lock.header(), x, y);
  else
    ADD_FAILURE() << "picture cannot be converted";
  if (rgb != h) GlobalFree(rgb);
  return {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF)};
}

uint32_t IndexAt(HDIB h, int x, int y) {
  DibLock lock(h);
  return lock ? GetDibPixel(lock.header(), x, y) : 0xFFFFFFFFu;
}

BitmapInfoHeader HeaderOf(HDIB h) {
  BitmapInfoHeader bi{};
  GlobalLockGuard lock(h);
  if (lock && GlobalSize(h) >= sizeof bi) std::memcpy(&bi, lock.get(), sizeof bi);
  return bi;
}

std::string TakeText(uint32_t hInfo) {
  GlobalHandle block(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(hInfo)));
  GlobalLockGuard lock(block.get());
  return lock ? std::string(lock.as<char>()) : std::string();
}

uint32_t PaletteAt(HDIB h, int i) {
  GlobalLockGuard lock(h);
  if (!lock) return 0xFFFFFFFFu;
  const auto *q = lock.as<unsigned char>() + 40 + i * 4;
  return static_cast<uint32_t>(q[2]) << 16 | static_cast<uint32_t>(q[1]) << 8 | q[0];
}

}  // namespace tamro::test
