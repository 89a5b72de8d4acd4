#include "catalogue/packeddib.h"

#include <cstdint>
#include <cstring>

#include "picture/dibtypes.h"

namespace tamro {

namespace {

uint32_t U32(const unsigned char *p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

struct Layout {
  std::size_t start = 0;  // where the header begins (after a file header)
  std::size_t headerAndTable = 0;
  std::size_t pixelOffset = 0;  // from start
  std::size_t image = 0;
  int width = 0, height = 0;
};

constexpr std::size_t kFileHeader = 14;
constexpr int kMaxSide = 65535;

// Works out where everything lies; false for a header that cannot describe a picture.
bool Describe(const unsigned char *d, std::size_t n, Layout &out) {
  std::size_t start = 0;
  uint32_t fileOffBits = 0;
  if (n >= kFileHeader && d[0] == 'B' && d[1] == 'M') {
    fileOffBits = U32(d + 10);
    start = kFileHeader;
  }
  if (n < start + 12) return false;
  const unsigned char *h = d + start;
  uint32_t headerSize = U32(h);
  uint64_t width, height;
  unsigned bits;
  uint32_t compression = BI_RGB, sizeImage = 0, clrUsed = 0;
  std::size_t entryBytes;
  if (headerSize == 12) {
    width = U16(h + 4);
    height = U16(h + 6);
    bits = U16(h + 10);
    entryBytes = 3;
  } else if (headerSize >= 40 && headerSize <= 124) {
    if (n < start + 40) return false;
    int32_t w = static_cast<int32_t>(U32(h + 4)), hh = static_cast<int32_t>(U32(h + 8));
    if (w <= 0 || hh == 0 || hh == INT32_MIN) return false;
    width = static_cast<uint64_t>(w);
    height = static_cast<uint64_t>(hh < 0 ? -static_cast<int64_t>(hh) : hh);
    bits = U16(h + 14);
    compression = U32(h + 16);
    sizeImage = U32(h + 20);
    clrUsed = U32(h + 32);
    entryBytes = 4;
  } else {
    return false;
  }
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  uint64_t colours = clrUsed ? clrUsed : (bits <= 8 ? (1u << bits) : 0);
  if (bits <= 8 && colours > (1u << bits)) colours = 1u << bits;
  if (colours > 256) return false;
  uint64_t table = colours * entryBytes;
  if (compression == BI_BITFIELDS && headerSize == 40) table += 12;  // the three masks
  uint64_t rowBytes = ((width * bits + 31) / 32) * 4;
  uint64_t image;
  if (compression == BI_RGB || compression == BI_BITFIELDS)
    image = rowBytes * height;
  else if ((compression == BI_RLE8 && bits == 8) || (compression == BI_RLE4 && bits == 4))
    image = sizeImage;
  else
    return false;
  if (image == 0) return false;
  out.start = start;
  out.headerAndTable = static_cast<std::size_t>(headerSize + table);
  out.pixelOffset = out.headerAndTable;
  // A file image says where its pixels are; a gap after the table is skipped.
  if (fileOffBits >= kFileHeader + out.headerAndTable) out.pixelOffset = fileOffBits - kFileHeader;
  out.image = static_cast<std::size_t>(image);
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  return true;
}

}  // namespace

std::size_t PackedDibSize(const unsigned char *data, std::size_t length) {
  Layout l;
  if (!data || !Describe(data, length, l)) return 0;
  return l.start + l.pixelOffset + l.image;
}

GlobalHandle ReadPackedDib(const unsigned char *data, std::size_t length, int &width, int &height,
                           std::size_t *consumed) {
  width = height = 0;
  Layout l;
  if (!data || !Describe(data, length, l)) return {};
  std::size_t need = l.start + l.pixelOffset + l.image;
  if (need > length || need < l.start) return {};
  GlobalHandle h = GlobalHandle::Allocate(l.headerAndTable + l.image);
  GlobalLockGuard lock(h.get());
  if (!lock) return {};
  auto *out = lock.as<unsigned char>();
  std::memcpy(out, data + l.start, l.headerAndTable);
  std::memcpy(out + l.headerAndTable, data + l.start + l.pixelOffset, l.image);
  width = l.width;
  height = l.height;
  if (consumed) *consumed = need;
  return h;
}

}  // namespace tamro
