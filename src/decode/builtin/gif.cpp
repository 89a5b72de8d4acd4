// Built-in GIF decoder: information, the first picture, and the frame entry of gif.h.
#include "decode/builtin/gif.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "decode/builtin/common.h"
#include "decode/builtin/decoders.h"
#include "platform/text.h"

namespace tamro::builtin {

namespace {

constexpr int kPassStep[] = {8, 8, 4, 2, 0};
constexpr int kPassStart[] = {0, 4, 2, 1, 0};
constexpr int kLastPass = 4;
// GIF pictures beyond 8192 x 8192 pixels are refused: a few bytes of header could otherwise
// make every frame of an animation fill hundreds of megabytes.
constexpr std::size_t kMaxPixels = std::size_t{1} << 26;

bool HasSignature(const unsigned char *p, std::size_t size) {
  return size >= 6 && (std::memcmp(p, "GIF89a", 6) == 0 || std::memcmp(p, "GIF87a", 6) == 0);
}

// Reads bytes of the state's source; every read is checked against the length.
class Reader {
 public:
  explicit Reader(GifDecodeState &s) : s_(s) {}
  bool Byte(unsigned &v) {
    if (s_.position >= s_.sourceLength) return false;
    v = s_.source[s_.position++];
    return true;
  }
  bool Peek(unsigned &v) const {
    if (s_.position >= s_.sourceLength) return false;
    v = s_.source[s_.position];
    return true;
  }
  const unsigned char *Take(std::size_t n) {
    if (s_.sourceLength - s_.position < n) return nullptr;
    const unsigned char *p = s_.source + s_.position;
    s_.position += n;
    return p;
  }
  // Skips data sub-blocks up to and including the zero-length one.
  bool SkipSubBlocks() {
    for (;;) {
      unsigned n;
      if (!Byte(n)) return false;
      if (n == 0) return true;
      if (!Take(n)) return false;
    }
  }

 private:
  GifDecodeState &s_;
};

bool ReadColourTable(Reader &in, GifDecodeState &s, int bits) {
  const int count = 1 << bits;
  const unsigned char *t = in.Take(static_cast<std::size_t>(count) * 3);
  if (!t) return false;
  for (int i = 0; i < 256; ++i) {
    const bool have = i < count;
    s.red[i] = have ? t[i * 3] : 0;
    s.green[i] = have ? t[i * 3 + 1] : 0;
    s.blue[i] = have ? t[i * 3 + 2] : 0;
  }
  s.colourBits = bits;
  s.hasColourTable = true;
  s.grey = true;
  return true;
}

// Stores one decoded index and moves the cursor on; rows past the picture are dropped.
inline void PutPixel(GifDecodeState &s, unsigned v, std::size_t maskRowBytes) {
  if (s.pass < kLastPass && s.row < s.height) {
    if (v < 256) s.index[s.indexRow + static_cast<std::size_t>(s.x)] = static_cast<unsigned char>(v);
    if (static_cast<int>(v) == s.transparentIndex)
      s.mask[s.maskRow + static_cast<std::size_t>(s.x >> 3)] &=
          static_cast<unsigned char>(~(0x80u >> (s.x & 7)));
  }
  if (++s.x < s.width) return;
  s.x = 0;
  s.row += s.rowStep;
  // A pass whose start row lies past a short picture is skipped, so that small interlaced
  // pictures keep their row order.
  while (s.pass < kLastPass && s.row >= s.height) {
    ++s.pass;
    s.row = kPassStart[s.pass];
    s.rowStep = kPassStep[s.pass];
  }
  s.indexRow = static_cast<std::size_t>(s.row) * static_cast<std::size_t>(s.width);
  s.maskRow = static_cast<std::size_t>(s.row) * maskRowBytes;
}

// LZW-decodes the picture data at the read position into the index and mask buffers.
int DecodeLzw(GifDecodeState &s, Reader &in) {
  unsigned codeSize;
  if (!in.Byte(codeSize)) return SPI_DATA_ENDED;
  if (codeSize > 11) return SPI_FORMAT_ERROR;
  const unsigned clear = 1u << codeSize, end = clear + 1;
  unsigned width = codeSize + 1, mask = (1u << width) - 1, next = clear + 2;
  const std::size_t maskRowBytes = (static_cast<std::size_t>(s.width) + 7) / 8;

  static_assert(sizeof(uint16_t) * 4096 < 16384);
  uint16_t prefix[4096];
  unsigned char suffix[4096];
  unsigned char stack[4098];  // the longest string plus the two bytes added around the walk
  for (unsigned i = 0; i < clear; ++i) {
    prefix[i] = 0;
    suffix[i] = static_cast<unsigned char>(i);
  }

  uint32_t bits = 0;
  unsigned bitCount = 0, blockLeft = 0;
  int prev = -1;
  unsigned char firstChar = 0;
  for (;;) {
    while (bitCount < width) {
      if (blockLeft == 0) {
        if (!in.Byte(blockLeft) || blockLeft == 0) return SPI_DATA_ENDED;
      }
      unsigned b;
      if (!in.Byte(b)) return SPI_DATA_ENDED;
      --blockLeft;
      bits |= static_cast<uint32_t>(b) << bitCount;
      bitCount += 8;
    }
    unsigned code = bits & mask;
    bits >>= width;
    bitCount -= width;

    // A stream should open with a clear code; one that does not starts in the same state,
    // so its first code is a pixel and is kept.
    if (code == clear) {
      width = codeSize + 1;
      mask = (1u << width) - 1;
      next = clear + 2;
      prev = -1;
      continue;
    }
    if (code == end) {
      // Skip the rest of the picture data so the position is after the frame.
      if (blockLeft) in.Take(blockLeft);
      in.SkipSubBlocks();
      return SPI_OK;
    }
    if (prev < 0) {
      if (code >= clear) return SPI_DATA_ENDED;  // a broken stream: keep what was decoded
      firstChar = static_cast<unsigned char>(code);
      PutPixel(s, code, maskRowBytes);
      prev = static_cast<int>(code);
      continue;
    }
    if (code > next || (code == next && next >= 4096)) return SPI_DATA_ENDED;

    // Unwind the string of the code (or of the previous code plus its first byte).
    std::size_t depth = 0;
    unsigned c = code;
    if (code == next) {
      stack[depth++] = firstChar;
      c = static_cast<unsigned>(prev);
    }
    while (c >= clear) {
      if (depth >= 4095) return SPI_OUT_OF_MEMORY;
      stack[depth++] = suffix[c];
      c = prefix[c];
    }
    stack[depth++] = static_cast<unsigned char>(c);
    firstChar = static_cast<unsigned char>(c);
    while (depth) PutPixel(s, stack[--depth], maskRowBytes);

    // A full table takes no more entries until the next clear code; encoders may go on
    // sending 12-bit codes against it for as long as they like (a deferred clear).
    if (next < 4096) {
      prefix[next] = static_cast<uint16_t>(prev);
      suffix[next] = firstChar;
      ++next;
      if (next > mask && width < 12) {
        ++width;
        mask = (1u << width) - 1;
      }
    }
    prev = static_cast<int>(code);
  }
}

int Depth(int colourBits) { return colourBits < 2 ? 1 : colourBits <= 4 ? 4 : 8; }

uint32_t PaletteColour(const GifDecodeState &s, int i, int depth) {
  if (s.hasColourTable) return s.red[i] | s.green[i] << 8 | s.blue[i] << 16;
  const int colours = 1 << depth;
  if (i >= colours) return 0;
  const uint32_t v = static_cast<uint32_t>(i * (255 / (colours - 1)));
  return v | v << 8 | v << 16;
}

int BuildPictures(GifDecodeState &s) {
  const int depth = Depth(s.colourBits);
  const int colours = 1 << depth;
  NewDib pic = MakeDib(s.width, s.height, depth, colours);
  if (!pic) return SPI_OUT_OF_MEMORY;
  for (int i = 0; i < colours; ++i) {
    const uint32_t c = PaletteColour(s, i, depth);
    pic.palette[i] =
        RgbQuad{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c), 0};
  }
  const std::size_t w = static_cast<std::size_t>(s.width);
  for (int y = 0; y < s.height; ++y) {
    const unsigned char *src = s.index.data() + static_cast<std::size_t>(y) * w;
    unsigned char *dst = pic.bits + static_cast<std::size_t>(s.height - 1 - y) * pic.rowBytes;
    if (depth == 8) {
      std::memcpy(dst, src, w);
    } else if (depth == 4) {
      for (std::size_t x = 0; x < w; ++x)
        dst[x / 2] |= static_cast<unsigned char>((src[x] & 0x0F) << ((x & 1) ? 0 : 4));
    } else {
      for (std::size_t x = 0; x < w; ++x)
        dst[x / 8] |= static_cast<unsigned char>((src[x] & 1) << (7 - (x & 7)));
    }
  }
  if (GifFrameMasked(s)) {
    NewDib m = MakeDib(s.width, s.height, 1, 2);
    if (!m) return SPI_OUT_OF_MEMORY;
    m.palette[1] = RgbQuad{255, 255, 255, 0};
    const std::size_t maskRowBytes = (w + 7) / 8;
    for (int y = 0; y < s.height; ++y)
      std::memcpy(m.bits + static_cast<std::size_t>(s.height - 1 - y) * m.rowBytes,
                  s.mask.data() + static_cast<std::size_t>(y) * maskRowBytes, maskRowBytes);
    s.maskPicture.reset(m.Release());
  }
  s.picture.reset(pic.Release());
  return SPI_OK;
}

}  // namespace

uint32_t GifIndexColour(const GifDecodeState &s, unsigned index) {
  const int depth = Depth(s.colourBits);
  return PaletteColour(s, static_cast<int>(index & ((1u << depth) - 1)), depth);
}

// Two-colour pictures with their own table are drawn without a mask.
bool GifFrameMasked(const GifDecodeState &s) {
  return s.transparentIndex >= 0 && !(Depth(s.colourBits) == 1 && s.hasColourTable);
}

int GifDecodeFrame(GifDecodeState &s, const unsigned char *data, std::size_t length) {
  s.source = data;
  s.sourceLength = data ? length : 0;
  s.position = 0;
  s.delay = 0;
  s.transparentIndex = -1;
  s.disposal = 0;
  s.transparentColour = 0;
  s.hasColourTable = false;
  s.grey = false;
  s.picture.reset();
  s.maskPicture.reset();
  Reader in(s);

  const unsigned char *sig = in.Take(6);
  if (!sig || !HasSignature(sig, 6)) return SPI_FORMAT_ERROR;
  const unsigned char *screen = in.Take(7);
  if (!screen) return SPI_DATA_ENDED;
  s.colourBits = (screen[4] & 7) + 1;
  if ((screen[4] & 0x80) && !ReadColourTable(in, s, s.colourBits)) return SPI_DATA_ENDED;

  for (int frame = 0;; ++frame) {
    // Extensions before the image; only the wanted frame's graphic control counts.
    unsigned b;
    for (;;) {
      if (!in.Peek(b)) return SPI_DATA_ENDED;
      if (b != 0x21) break;
      in.Byte(b);
      unsigned label;
      if (!in.Byte(label)) return SPI_DATA_ENDED;
      if (frame == s.frameIndex && label == 0xF9) {
        unsigned size;
        if (!in.Peek(size)) return SPI_DATA_ENDED;
        if (size >= 4) {
          const unsigned char *g = in.Take(5);
          if (!g) return SPI_DATA_ENDED;
          s.delay = Le16(g + 2);
          s.disposal = (g[1] >> 2) & 7;
          s.transparentIndex = (g[1] & 1) ? g[4] : -1;
          if (!in.Take(size - 4)) return SPI_DATA_ENDED;
        }
      }
      if (!in.SkipSubBlocks()) return SPI_DATA_ENDED;
    }
    in.Byte(b);
    if (b != ',') return SPI_NO_PICTURE;
    const unsigned char *desc = in.Take(9);
    if (!desc) return SPI_DATA_ENDED;
    const unsigned packed = desc[8];
    if (frame < s.frameIndex) {
      if ((packed & 0x80) && !in.Take(std::size_t{3} << ((packed & 7) + 1))) return SPI_DATA_ENDED;
      unsigned codeSize;
      if (!in.Byte(codeSize) || !in.SkipSubBlocks()) return SPI_DATA_ENDED;
      continue;
    }

    s.left = Le16(desc);
    s.top = Le16(desc + 2);
    s.width = Le16(desc + 4);
    s.height = Le16(desc + 6);
    if ((packed & 0x80) && !ReadColourTable(in, s, (packed & 7) + 1)) return SPI_DATA_ENDED;
    if (s.width == 0 || s.height == 0) return SPI_FORMAT_ERROR;
    const std::size_t pixels = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
    if (pixels > kMaxPixels) return SPI_FORMAT_ERROR;
    const bool interlaced = packed & 0x40;
    s.x = 0;
    s.pass = interlaced ? 0 : 3;
    s.row = 0;
    s.rowStep = interlaced ? 8 : 1;
    s.indexRow = 0;
    s.maskRow = 0;
    try {
      s.index.assign(pixels, 0);
      s.mask.assign((static_cast<std::size_t>(s.width) + 7) / 8 * static_cast<std::size_t>(s.height), 0xFF);
    } catch (const std::bad_alloc &) {
      return SPI_FORMAT_ERROR;
    }
    int result = DecodeLzw(s, in);
    if (result == SPI_DATA_ENDED) result = SPI_OK;
    if (result != SPI_OK) return result;
    if (s.transparentIndex >= 0)
      s.transparentColour = PaletteColour(s, s.transparentIndex, Depth(s.colourBits));
    return s.indicesOnly ? SPI_OK : BuildPictures(s);
  }
}

int GifIsSupported(uintptr_t data) {
  const HeadBytes head = ReadHead(data);
  return HasSignature(head.bytes, sizeof head.bytes) ? 1 : 0;
}

namespace {

// Walks the header to the first image. `comment` collects comment text when not null.
int InfoFromBytes(const unsigned char *p, std::size_t size, bool fileForm, SpiPictureInfo *info,
                  std::string *comment) {
  if (!HasSignature(p, size)) return SPI_NO_FUNCTION;
  if (size < 13) return SPI_READ_ERROR;
  const unsigned packed = p[10];
  int width = Le16(p + 6), height = Le16(p + 8), depth = (packed & 7) + 1;
  std::size_t at = 13;
  if (packed & 0x80) {
    const std::size_t table = std::size_t{3} << depth;
    if (size - at < table) return SPI_READ_ERROR;
    at += table;
  }
  // The memory form stops looking at extensions when fewer than three bytes are left.
  while (at < size && p[at] == 0x21 && (fileForm || size - at >= 3)) {
    if (size - at < 2) break;
    const unsigned label = p[at + 1];
    at += 2;
    std::string text;
    while (at < size && p[at] != 0) {
      const std::size_t n = p[at];
      const std::size_t take = std::min(n, size - at - 1);
      if (label == 0xFE) text.append(reinterpret_cast<const char *>(p + at + 1), take);
      at += 1 + take;
    }
    ++at;  // the zero-length block
    if (comment && label == 0xFE && !text.empty()) *comment = text;
  }
  if (at < size && p[at] == ',' && size - at >= 10) {
    width = Le16(p + at + 5);
    height = Le16(p + at + 7);
    if (p[at + 9] & 0x80) depth = (p[at + 9] & 7) + 1;
  }
  info->left = 0;
  info->top = 0;
  info->width = width;
  info->height = height;
  info->x_density = 0;
  info->y_density = 0;
  info->colorDepth = static_cast<int16_t>(depth);
  info->hInfo = 0;
  return SPI_OK;
}

// The information and, in either source form, the comment as the record's text.
int InfoWithComment(const unsigned char *p, std::size_t size, bool fileForm, SpiPictureInfo *info) {
  std::string comment;
  const int r = InfoFromBytes(p, size, fileForm, info, &comment);
  if (r == SPI_OK && !comment.empty()) {
    // Comments of older files are in Shift-JIS; the program's text is UTF-8.
    HGLOBAL h = MakeTextBlock(LegacyToUtf8(comment));
    info->hInfo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
  }
  return r;
}

}  // namespace

int GifGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info) {
  if (!info || !source) return SPI_NO_FUNCTION;
  switch (flags & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE: {
      FileView view(source, lengthOrOffset);
      if (!view.ok()) return SPI_READ_ERROR;
      return InfoWithComment(view.data(), view.size(), true, info);
    }
    case SPI_SOURCE_MEMORY:
      if (lengthOrOffset < 0) return SPI_NO_FUNCTION;
      return InfoWithComment(reinterpret_cast<const unsigned char *>(source),
                             static_cast<std::size_t>(lengthOrOffset), false, info);
    default:
      return SPI_NO_FUNCTION;
  }
}

int GifGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out) {
  if (!out || !source) return SPI_NO_FUNCTION;
  auto state = std::make_unique<GifDecodeState>();
  int r;
  switch (flags & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE: {
      FileView view(source, lengthOrOffset);
      if (!view.ok()) return SPI_READ_ERROR;
      r = GifDecodeFrame(*state, view.data(), view.size());
      break;
    }
    case SPI_SOURCE_MEMORY:
      if (lengthOrOffset < 0) return SPI_NO_FUNCTION;
      r = GifDecodeFrame(*state, reinterpret_cast<const unsigned char *>(source),
                         static_cast<std::size_t>(lengthOrOffset));
      break;
    default:
      return SPI_NO_FUNCTION;
  }
  if (r == SPI_OK) *out = state->picture.release();
  return r;
}

}  // namespace tamro::builtin
