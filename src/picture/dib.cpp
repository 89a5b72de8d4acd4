#include "picture/dib.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "platform/fileio.h"
#include "platform/globalhandle.h"

namespace tamro {

namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

template <class T>
T Load(const void *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

const uint8_t *Bytes(const BitmapInfoHeader *bi) { return reinterpret_cast<const uint8_t *>(bi); }

bool IsCore(const BitmapInfoHeader *bi) { return Load<uint32_t>(bi) == 12; }

// Fields of a 40-byte header; 0 for a core header, which has none of them.
uint32_t Compression(const BitmapInfoHeader *bi) { return IsCore(bi) ? 0 : Load<uint32_t>(Bytes(bi) + 16); }
uint32_t SizeImage(const BitmapInfoHeader *bi) { return IsCore(bi) ? 0 : Load<uint32_t>(Bytes(bi) + 20); }

// Bytes of the header that the queries read: 12 for a core header, else the 40-byte layout.
std::size_t ReadableHeaderBytes(uint32_t headerSize) { return headerSize == 12 ? 12 : 40; }

// Runs `f` on the locked header when the block holds at least the header the query reads.
template <class R, class F>
R WithHeader(HDIB h, F f) {
  if (!h) return R{};
  GlobalLockGuard lock(h);
  if (!lock) return R{};
  std::size_t size = GlobalSize(h);
  if (size < 4) return R{};
  auto *bi = lock.as<BitmapInfoHeader>();
  if (size < ReadableHeaderBytes(Load<uint32_t>(bi))) return R{};
  return f(bi);
}

int64_t SaturatingMul(int64_t a, int64_t b) {
  if (a <= 0 || b <= 0) return 0;
  if (a > kInt64Max / b) return kInt64Max;
  return a * b;
}

int64_t SaturatingAdd(int64_t a, int64_t b) { return a > kInt64Max - b ? kInt64Max : a + b; }

}  // namespace

uint32_t DibHeaderSize(const BitmapInfoHeader *bi) { return Load<uint32_t>(bi); }

int32_t DibWidth(const BitmapInfoHeader *bi) {
  return IsCore(bi) ? Load<uint16_t>(Bytes(bi) + 4) : Load<int32_t>(Bytes(bi) + 4);
}

int32_t DibHeight(const BitmapInfoHeader *bi) {
  return IsCore(bi) ? Load<uint16_t>(Bytes(bi) + 6) : Load<int32_t>(Bytes(bi) + 8);
}

int DibBitCount(const BitmapInfoHeader *bi) {
  uint32_t size = DibHeaderSize(bi);
  int bits;
  if (size == 40)
    bits = Load<uint16_t>(Bytes(bi) + 14);
  else if (size == 12)
    bits = Load<uint16_t>(Bytes(bi) + 10);
  else
    return 24;
  return bits == 0 ? 24 : bits;
}

uint32_t DibCompression(const BitmapInfoHeader *bi) { return Compression(bi); }

uint32_t DibNumColors(const BitmapInfoHeader *bi) {
  if (DibHeaderSize(bi) == 40) {
    uint32_t used = Load<uint32_t>(Bytes(bi) + 32);
    if (used != 0) return used;
  }
  switch (DibBitCount(bi)) {
    case 1:
      return 2;
    case 4:
      return 16;
    case 8:
      return 256;
    default:
      return 0;
  }
}

int64_t DibPaletteSize(const BitmapInfoHeader *bi) {
  int64_t colours = DibNumColors(bi);
  if (IsCore(bi)) return colours * 3;
  return colours * 4 + (Compression(bi) == BI_BITFIELDS ? 12 : 0);
}

int64_t DibRowBytes(const BitmapInfoHeader *bi) {
  int64_t width = DibWidth(bi);
  int64_t bits = DibBitCount(bi);
  return ((width * bits + 31) / 32) * 4;
}

int64_t DibImageSize(const BitmapInfoHeader *bi) {
  uint32_t compression = Compression(bi);
  if (compression == BI_RLE8 || compression == BI_RLE4) return SizeImage(bi);
  int64_t height = DibHeight(bi);
  return SaturatingMul(DibRowBytes(bi), height < 0 ? -height : height);
}

int64_t DibTotalSize(const BitmapInfoHeader *bi) {
  return SaturatingAdd(SaturatingAdd(40, DibPaletteSize(bi)), DibImageSize(bi));
}

const uint8_t *DibBits(const BitmapInfoHeader *bi) {
  return Bytes(bi) + DibHeaderSize(bi) + DibPaletteSize(bi);
}

uint8_t *DibBits(BitmapInfoHeader *bi) {
  return const_cast<uint8_t *>(DibBits(static_cast<const BitmapInfoHeader *>(bi)));
}

uint32_t DibHeaderSize(HDIB h) {
  if (!h) return 0;
  GlobalLockGuard lock(h);
  if (!lock || GlobalSize(h) < 4) return 0;
  return Load<uint32_t>(lock.get());
}
int32_t DibWidth(HDIB h) {
  return WithHeader<int32_t>(h, [](auto *bi) { return DibWidth(bi); });
}
int32_t DibHeight(HDIB h) {
  return WithHeader<int32_t>(h, [](auto *bi) { return DibHeight(bi); });
}
int DibBitCount(HDIB h) {
  return WithHeader<int>(h, [](auto *bi) { return DibBitCount(bi); });
}
uint32_t DibNumColors(HDIB h) {
  return WithHeader<uint32_t>(h, [](auto *bi) { return DibNumColors(bi); });
}
int64_t DibPaletteSize(HDIB h) {
  return WithHeader<int64_t>(h, [](auto *bi) { return DibPaletteSize(bi); });
}
int64_t DibRowBytes(HDIB h) {
  return WithHeader<int64_t>(h, [](auto *bi) { return DibRowBytes(bi); });
}
int64_t DibImageSize(HDIB h) {
  return WithHeader<int64_t>(h, [](auto *bi) { return DibImageSize(bi); });
}
int64_t DibTotalSize(HDIB h) {
  return WithHeader<int64_t>(h, [](auto *bi) { return DibTotalSize(bi); });
}
uint8_t *DibBits(HDIB h) {
  return WithHeader<uint8_t *>(h, [h](BitmapInfoHeader *bi) -> uint8_t * {
    int64_t offset = SaturatingAdd(DibHeaderSize(bi), DibPaletteSize(bi));
    if (offset > static_cast<int64_t>(GlobalSize(h))) return nullptr;
    return reinterpret_cast<uint8_t *>(bi) + offset;
  });
}

bool DibFits(const BitmapInfoHeader *bi, std::size_t blockBytes) {
  if (!bi || blockBytes < 12) return false;
  uint32_t headerSize = DibHeaderSize(bi);
  if (headerSize != 12 && (headerSize < 40 || headerSize > blockBytes)) return false;
  if (DibWidth(bi) <= 0 || DibHeight(bi) == 0 || DibHeight(bi) == std::numeric_limits<int32_t>::min())
    return false;
  switch (DibBitCount(bi)) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      return false;
  }
  // RLE data needs only its stated size; uncompressed rows must be there in full.
  int64_t total = SaturatingAdd(SaturatingAdd(headerSize, DibPaletteSize(bi)), DibImageSize(bi));
  return total <= static_cast<int64_t>(blockBytes);
}

DibLock::DibLock(HDIB h) : h_(h) {
  if (!h_) return;
  p_ = GlobalLock(h_);
  if (!p_) return;
  size_ = GlobalSize(h_);
  ok_ = DibFits(header(), size_);
}

DibLock::~DibLock() {
  if (p_) GlobalUnlock(h_);
}

HDIB CreateDib(int width, int height, int bitCount, uint32_t colours) {
  if (width <= 0 || height <= 0) return nullptr;
  switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      return nullptr;
  }
  if (bitCount <= 8 && colours > (1u << bitCount)) return nullptr;
  BitmapInfoHeader bi{};
  bi.size = 40;
  bi.width = width;
  bi.height = height;
  bi.planes = 1;
  bi.bitCount = static_cast<uint16_t>(bitCount);
  bi.compression = BI_RGB;
  bi.clrUsed = bitCount <= 8 ? colours : 0;
  int64_t image = DibImageSize(&bi);
  int64_t total = SaturatingAdd(SaturatingAdd(40, DibPaletteSize(&bi)), image);
  if (total > static_cast<int64_t>(TAMRO_GLOBALMEM_MAX_BLOCK) || image > std::numeric_limits<uint32_t>::max())
    return nullptr;
  bi.sizeImage = static_cast<uint32_t>(image);
  GlobalHandle h = GlobalHandle::Allocate(static_cast<std::size_t>(total));
  if (!h) return nullptr;
  {
    GlobalLockGuard lock(h.get());
    if (!lock) return nullptr;
    std::memcpy(lock.get(), &bi, sizeof bi);
  }
  return h.release();
}

HDIB CopyDib(HDIB h) {
  if (!h) return nullptr;
  GlobalLockGuard src(h);
  if (!src) return nullptr;
  std::size_t size = GlobalSize(h);
  GlobalHandle copy = GlobalHandle::Allocate(size);
  if (!copy) return nullptr;
  GlobalLockGuard dst(copy.get());
  if (!dst) return nullptr;
  std::memcpy(dst.get(), src.get(), size);
  return copy.release();
}

namespace {

// One channel of a 16- or 32-bit pixel: the mask's bits from the top down, at most 8,
// left-aligned in a byte with the vacated low bits set.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;  // contiguous masks: shift of the lowest bit taken
  int taken = 0;  // number of bits taken (0..8)
  bool contiguous = true;
  int positions[8] = {};

  explicit Channel(uint32_t m) : mask(m) {
    for (int bit = 31; bit >= 0 && taken < 8; --bit)
      if (m & (1u << bit)) positions[taken++] = bit;
    if (taken > 0) {
      shift = positions[taken - 1];
      contiguous = positions[0] - shift + 1 == taken;
    }
  }

  uint8_t operator()(uint32_t pixel) const {
    uint32_t v = 0;
    if (contiguous) {
      v = (pixel >> shift) & ((1u << taken) - 1u);
    } else {
      for (int i = 0; i < taken; ++i) v = (v << 1) | ((pixel >> positions[i]) & 1u);
    }
    if (taken < 8) v = (v << (8 - taken)) | ((1u << (8 - taken)) - 1u);
    return static_cast<uint8_t>(v);
  }
};

}  // namespace

namespace {

// Depths and compressions whose rows the conversion reads.
bool Convertible(const BitmapInfoHeader *bi) {
  const int bits = DibBitCount(bi);
  const uint32_t compression = Compression(bi);
  if (bits == 16 || bits == 32) return compression == BI_RGB || compression == BI_BITFIELDS;
  return (bits == 1 || bits == 4 || bits == 8 || bits == 24) && compression == BI_RGB;
}

}  // namespace

bool ConvertDibPixelsTo24(const BitmapInfoHeader *bi, uint8_t *dst, int64_t dstRow) {
  if (!Convertible(bi)) return false;
  const int bits = DibBitCount(bi);
  const int32_t width = DibWidth(bi);
  const int32_t storedHeight = DibHeight(bi);
  const bool topDown = storedHeight < 0;
  const int32_t height = topDown ? -storedHeight : storedHeight;
  const uint32_t compression = Compression(bi);

  const uint8_t *bytes = Bytes(bi);
  const uint8_t *bitsIn = DibBits(bi);
  const int64_t srcRow = DibRowBytes(bi);
  // Row r of the result (bottom first) comes from stored row r, or from the mirrored row
  // when the source is stored top row first.
  auto srcRowAt = [&](int32_t r) { return bitsIn + srcRow * (topDown ? height - 1 - r : r); };

  if (bits == 24) {
    const std::size_t n = static_cast<std::size_t>(std::min(srcRow, dstRow));
    for (int32_t r = 0; r < height; ++r) std::memcpy(dst + dstRow * r, srcRowAt(r), n);
    return true;
  }

  if (bits <= 8) {
    // Entries past the stored table read black, so a stray index never reads pixel bytes.
    uint8_t table[256][3] = {};
    const uint32_t count = std::min<uint32_t>(DibNumColors(bi), 256);
    const int entry = IsCore(bi) ? 3 : 4;
    const uint8_t *pal = bytes + DibHeaderSize(bi);
    for (uint32_t i = 0; i < count; ++i) std::memcpy(table[i], pal + i * entry, 3);
    // Four-byte copies whose last byte the next pixel overwrites are cheaper than
    // three-byte ones; the last pixel of a row gets an exact copy.
    uint32_t wide[256];
    for (int i = 0; i < 256; ++i) wide[i] = table[i][0] | (table[i][1] << 8) | (uint32_t{table[i][2]} << 16);
    for (int32_t r = 0; r < height; ++r) {
      const uint8_t *s = srcRowAt(r);
      uint8_t *d = dst + dstRow * r;
      if (bits == 8) {
        for (int32_t x = 0; x + 1 < width; ++x, d += 3) std::memcpy(d, &wide[s[x]], 4);
        std::memcpy(d, table[s[width - 1]], 3);
      } else if (bits == 4) {
        for (int32_t x = 0; x < width; ++x, d += 3) {
          uint8_t b = s[x >> 1];
          std::memcpy(d, table[(x & 1) ? (b & 0x0F) : (b >> 4)], 3);
        }
      } else {
        for (int32_t x = 0; x < width; ++x, d += 3)
          std::memcpy(d, table[(s[x >> 3] >> (7 - (x & 7))) & 1], 3);
      }
    }
    return true;
  }

  uint32_t masks[3];  // red, green, blue
  if (compression == BI_BITFIELDS) {
    const uint8_t *m = bytes + DibHeaderSize(bi);
    for (int i = 0; i < 3; ++i) masks[i] = Load<uint32_t>(m + 4 * i);
  } else if (bits == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else {
    masks[0] = 0x00FF0000;
    masks[1] = 0x0000FF00;
    masks[2] = 0x000000FF;
  }
  const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t *s = srcRowAt(r);
    uint8_t *d = dst + dstRow * r;
    if (bits == 16) {
      for (int32_t x = 0; x < width; ++x, d += 3) {
        uint32_t px = Load<uint16_t>(s + 2 * x);
        d[0] = blue(px);
        d[1] = green(px);
        d[2] = red(px);
      }
    } else {
      for (int32_t x = 0; x < width; ++x, d += 3) {
        uint32_t px = Load<uint32_t>(s + 4 * x);
        d[0] = blue(px);
        d[1] = green(px);
        d[2] = red(px);
      }
    }
  }
  return true;
}

HDIB DibTo24Bit(HDIB h) {
  DibLock src(h);
  if (!src) return nullptr;
  const BitmapInfoHeader *bi = src.header();
  const int32_t width = DibWidth(bi);
  const int32_t storedHeight = DibHeight(bi);
  const int32_t height = storedHeight < 0 ? -storedHeight : storedHeight;
  if (DibBitCount(bi) == 24 && storedHeight > 0) return h;
  // Refused before allocating: an RLE header may state any size at all.
  if (!Convertible(bi)) return nullptr;

  const int64_t dstRow = ((int64_t{width} * 24 + 31) / 32) * 4;
  const int64_t total = SaturatingAdd(40, SaturatingMul(dstRow, height));
  if (total > static_cast<int64_t>(TAMRO_GLOBALMEM_MAX_BLOCK)) return nullptr;
  GlobalHandle out = GlobalHandle::Allocate(static_cast<std::size_t>(total));
  if (!out) return nullptr;
  GlobalLockGuard dstLock(out.get());
  if (!dstLock) return nullptr;
  uint8_t *dst = dstLock.as<uint8_t>();
  if (!ConvertDibPixelsTo24(bi, dst + 40, dstRow)) return nullptr;

  BitmapInfoHeader nh{};
  if (IsCore(bi)) {
    nh.planes = Load<uint16_t>(src.bytes() + 8);
  } else {
    std::memcpy(&nh, bi, sizeof nh);
  }
  nh.size = 40;
  nh.width = width;
  nh.height = height;
  nh.bitCount = 24;
  nh.compression = BI_RGB;
  nh.sizeImage = 0;
  nh.clrUsed = 0;
  nh.clrImportant = 0;
  std::memcpy(dst, &nh, sizeof nh);
  return out.release();
}

void SetDibPixel(BitmapInfoHeader *bi, int x, int y, uint32_t value) {
  const int32_t width = DibWidth(bi);
  const int32_t height = DibHeight(bi);
  if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(width) ||
      static_cast<uint32_t>(y) >= static_cast<uint32_t>(height))
    return;
  uint8_t *row = DibBits(bi) + DibRowBytes(bi) * (height - y - 1);
  switch (DibBitCount(bi)) {
    case 24: {
      uint8_t *p = row + 3 * static_cast<int64_t>(x);
      p[0] = static_cast<uint8_t>(value >> 16);
      p[1] = static_cast<uint8_t>(value >> 8);
      p[2] = static_cast<uint8_t>(value);
      break;
    }
    case 8:
      row[x] = static_cast<uint8_t>(value);
      break;
    case 4: {
      uint8_t &b = row[x / 2];
      b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (value & 0x0F))
                  : static_cast<uint8_t>((b & 0x0F) | (value << 4));
      break;
    }
    case 1: {
      uint8_t &b = row[x / 8];
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
      b = (value & 1) ? static_cast<uint8_t>(b | bit) : static_cast<uint8_t>(b & ~bit);
      break;
    }
    default:
      break;
  }
}

uint32_t GetDibPixel(const BitmapInfoHeader *bi, int x, int y) {
  const int32_t width = DibWidth(bi);
  const int32_t height = DibHeight(bi);
  if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(width) ||
      static_cast<uint32_t>(y) >= static_cast<uint32_t>(height))
    return 0;
  const uint8_t *row = DibBits(bi) + DibRowBytes(bi) * (height - y - 1);
  switch (DibBitCount(bi)) {
    case 24: {
      const uint8_t *p = row + 3 * static_cast<int64_t>(x);
      return uint32_t{p[2]} | (uint32_t{p[1]} << 8) | (uint32_t{p[0]} << 16);
    }
    case 8:
      return row[x];
    case 4:
      return (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
    case 1:
      return (row[x / 8] >> (7 - x % 8)) & 1u;
    default:
      return 0;
  }
}

namespace {

// The 14-byte BMP file header of a locked picture and the length of the header, colour
// table and pixels that follow it; false for what cannot be written as a BMP file.
bool BmpFileHeader(const DibLock &lock, uint8_t (&fh)[14], std::size_t &body) {
  if (!lock || DibHeaderSize(lock.header()) != 40) return false;
  const BitmapInfoHeader *bi = lock.header();
  const int64_t length = 40 + DibPaletteSize(bi) + DibImageSize(bi);
  if (14 + length > std::numeric_limits<uint32_t>::max() || length > static_cast<int64_t>(lock.size()))
    return false;
  const uint32_t fileSize = static_cast<uint32_t>(14 + length);
  const uint16_t reserved = 0;
  const uint32_t offBits = static_cast<uint32_t>(14 + 40 + DibPaletteSize(bi));
  fh[0] = 'B';
  fh[1] = 'M';
  std::memcpy(fh + 2, &fileSize, 4);
  std::memcpy(fh + 6, &reserved, 2);
  std::memcpy(fh + 8, &reserved, 2);
  std::memcpy(fh + 10, &offBits, 4);
  body = static_cast<std::size_t>(length);
  return true;
}

}  // namespace

int WriteDibToStream(std::FILE *file, HDIB h) {
  if (!file || !h) return 0;
  DibLock lock(h);
  uint8_t fh[14];
  std::size_t body = 0;
  if (!BmpFileHeader(lock, fh, body)) return 0;
  if (std::fwrite(fh, 1, 14, file) != 14 || std::fwrite(lock.bytes(), 1, body, file) != body)
    throw FileError(std::string("BMP write failed: ") + std::strerror(errno));
  return 1;
}

int SaveDibFile(const std::string &path, HDIB h) {
  if (!h) return 0;
  DibLock lock(h);
  uint8_t fh[14];
  std::size_t body = 0;
  if (!BmpFileHeader(lock, fh, body) || !MayReplace(path)) return 0;
  // The file in place is replaced only by a complete one: a full disk or a failed write
  // leaves it as it was.
  AtomicFile file(path);
  const bool written = file.Write(std::string_view(reinterpret_cast<const char *>(fh), sizeof fh)) &&
                       file.Write(std::string_view(reinterpret_cast<const char *>(lock.bytes()), body)) &&
                       file.Commit();
  return written ? 1 : 0;
}

HDIB ReadDibFromStream(std::FILE *file) {
  if (!file) return nullptr;
  const long start = std::ftell(file);
  if (start < 0) return nullptr;
  uint8_t fh[14];
  if (std::fread(fh, 1, 14, file) != 14 || fh[0] != 'B' || fh[1] != 'M') return nullptr;
  // What the file really holds from the start of the image decides every size below.
  if (std::fseek(file, 0, SEEK_END) != 0) return nullptr;
  const long end = std::ftell(file);
  if (end < start + 14) return nullptr;
  const int64_t available = end - start;
  int64_t fileSize = Load<uint32_t>(fh + 2);
  const int64_t offBits = Load<uint32_t>(fh + 10);
  // Writers that leave the size 0 or get it wrong still have their bytes read, but never
  // more than the file holds.
  if (fileSize <= 14 || fileSize > available) fileSize = available;
  const int64_t blockSize = fileSize - 14;
  if (blockSize < 12 || blockSize > static_cast<int64_t>(TAMRO_GLOBALMEM_MAX_BLOCK)) return nullptr;
  if (std::fseek(file, start + 14, SEEK_SET) != 0) return nullptr;

  GlobalHandle h = GlobalHandle::Allocate(static_cast<std::size_t>(blockSize));
  if (!h) return nullptr;
  {
    GlobalLockGuard lock(h.get());
    if (!lock) return nullptr;
    uint8_t *block = lock.as<uint8_t>();
    if (std::fread(block, 1, 4, file) != 4) return nullptr;
    const uint32_t headerSize = Load<uint32_t>(block);
    if (headerSize != 40 && headerSize != 12) return nullptr;
    if (headerSize > blockSize || std::fread(block + 4, 1, headerSize - 4, file) != headerSize - 4)
      return nullptr;
    const auto *bi = reinterpret_cast<const BitmapInfoHeader *>(block);
    // Bit-field masks follow a 40-byte header in the file, so they are read with the table.
    const int64_t table = DibPaletteSize(bi);
    const int64_t pixelsAt = headerSize + table;
    if (pixelsAt > blockSize) return nullptr;
    if (table > 0 && std::fread(block + headerSize, 1, static_cast<std::size_t>(table), file) !=
                         static_cast<std::size_t>(table))
      return nullptr;
    if (offBits < 14 || offBits > fileSize) return nullptr;
    // Pixels go directly after the table, whatever gap the file leaves before them.
    const int64_t count = std::min(fileSize - offBits, blockSize - pixelsAt);
    if (std::fseek(file, start + static_cast<long>(offBits), SEEK_SET) != 0) return nullptr;
    if (count > 0) {
      std::size_t got = std::fread(block + pixelsAt, 1, static_cast<std::size_t>(count), file);
      if (got != static_cast<std::size_t>(count)) return nullptr;
    }
    if (!DibFits(bi, static_cast<std::size_t>(blockSize))) return nullptr;
  }
  return h.release();
}

}  // namespace tamro
