// Built-in BMP decoder: 40-byte-header files of 1, 4, 8 and 24 bits, with RLE8 and RLE4
// expanded. Other headers and depths are left to plug-ins.
#include <algorithm>
#include <cstring>

#include "decode/builtin/common.h"
#include "decode/builtin/decoders.h"
#include "picture/dib.h"

namespace tamro::builtin {

namespace {

constexpr std::size_t kFileHeader = sizeof(BitmapFileHeader);
constexpr std::size_t kHeaders = kFileHeader + sizeof(BitmapInfoHeader);

bool HasSignature(const unsigned char *p, std::size_t size) {
  return size >= 2 && p[0] == 'B' && p[1] == 'M';
}

BitmapInfoHeader ReadInfoHeader(const unsigned char *p) {
  BitmapInfoHeader h;
  std::memcpy(&h, p + kFileHeader, sizeof h);
  return h;
}

void FillInfo(const BitmapInfoHeader &h, SpiPictureInfo *info) {
  info->left = 0;
  info->top = 0;
  info->width = h.width;
  info->height = h.height;
  info->colorDepth = static_cast<int16_t>(h.bitCount);
  info->hInfo = 0;
}

class RleWriter {
 public:
  RleWriter(unsigned char *rows, std::size_t rowBytes, int rowCount)
      : rows_(rows), rowBytes_(rowBytes), rowCount_(static_cast<std::size_t>(rowCount)) {}
  bool Byte(unsigned char v) {
    if (x_ >= rowBytes_ || row_ >= rowCount_) return false;
    rows_[row_ * rowBytes_ + x_++] = v;
    return true;
  }
  bool Nibble(unsigned char v) {
    const std::size_t at = x_ / 2;
    if (at >= rowBytes_ || row_ >= rowCount_) return false;
    unsigned char &b = rows_[row_ * rowBytes_ + at];
    b = (x_ & 1) ? static_cast<unsigned char>(b | (v & 0x0F)) : static_cast<unsigned char>(v << 4);
    ++x_;
    return true;
  }
  void EndOfLine() {
    x_ = 0;
    ++row_;
  }
  void Delta(unsigned dx, unsigned dy) {
    x_ += dx;
    row_ += dy;
  }

 private:
  unsigned char *rows_;
  std::size_t rowBytes_, rowCount_;
  std::size_t x_ = 0, row_ = 0;
};

}  // namespace

bool ExpandRle(int compression, const unsigned char *data, std::size_t size, unsigned char *rows,
               std::size_t rowBytes, int rowCount) {
  if ((compression != BI_RLE8 && compression != BI_RLE4) || rowCount < 0) return false;
  const bool four = compression == BI_RLE4;
  RleWriter out(rows, rowBytes, rowCount);
  std::size_t i = 0;
  // Data that ends before the end-of-picture code keeps what was written.
  while (i + 2 <= size) {
    const unsigned count = data[i], value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (unsigned k = 0; k < count; ++k) {
        const bool ok = four ? out.Nibble(static_cast<unsigned char>((k & 1) ? value & 0x0F : value >> 4))
                             : out.Byte(static_cast<unsigned char>(value));
        if (!ok) return false;
      }
      continue;
    }
    if (value == 0) {
      out.EndOfLine();
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (i + 2 > size) return true;
      out.Delta(data[i], data[i + 1]);
      i += 2;
    } else {
      const std::size_t bytes = four ? (value + 1u) / 2u : value;
      for (unsigned k = 0; k < value; ++k) {
        const std::size_t at = i + (four ? k / 2 : k);
        if (at >= size) return true;
        const unsigned char b = data[at];
        const bool ok =
            four ? out.Nibble(static_cast<unsigned char>((k & 1) ? b & 0x0F : b >> 4)) : out.Byte(b);
        if (!ok) return false;
      }
      i += bytes + (bytes & 1);  // literal runs are padded to 16 bits
    }
  }
  return true;
}

int BmpIsSupported(uintptr_t data) {
  const HeadBytes head = ReadHead(data);
  const unsigned char *b = head.bytes;
  if (b[0] != 'B' || b[1] != 'M' || Le32(b + 14) != 40) return 0;
  const unsigned bits = Le16(b + 28);
  return bits == 0 || bits == 1 || bits == 4 || bits == 8 || bits == 24;
}

namespace {

int InfoFromBytes(const unsigned char *p, std::size_t size, SpiPictureInfo *info) {
  if (!HasSignature(p, size)) return SPI_NO_FUNCTION;
  if (size < kHeaders) return SPI_DATA_ENDED;
  const BitmapInfoHeader h = ReadInfoHeader(p);
  // Other header sizes put the fields elsewhere; they belong to plug-ins.
  if (h.size != sizeof(BitmapInfoHeader)) return SPI_NO_FUNCTION;
  FillInfo(h, info);
  return SPI_OK;
}

// Builds the picture from a whole BMP file image.
int Decode(const unsigned char *p, std::size_t size, HDIB *out) {
  if (!HasSignature(p, size)) return SPI_NO_FUNCTION;
  if (size < kHeaders) return SPI_DATA_ENDED;
  const BitmapInfoHeader h = ReadInfoHeader(p);
  const unsigned bits = h.bitCount;
  if (h.size != sizeof(BitmapInfoHeader)) return SPI_NO_FUNCTION;
  if (!(bits == 0 || bits == 1 || bits == 4 || bits == 8 || bits == 24)) return SPI_NO_FUNCTION;
  // Bit fields, embedded JPEG or PNG data would be taken for pixels.
  if (h.compression > BI_RLE4) return SPI_NO_FUNCTION;
  const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN) return SPI_FORMAT_ERROR;
  // Top-down files are turned bottom-up: the rest of the program expects that.
  const bool topDown = h.height < 0;
  if (topDown && rle) return SPI_FORMAT_ERROR;
  const int height = topDown ? -h.height : h.height;

  // Colours stored after the header: the colours-used field, else the full table of the depth.
  const uint64_t tableBytes = uint64_t{DibNumColors(&h)} * 4;
  if (tableBytes > size - kHeaders) return SPI_FORMAT_ERROR;
  const std::size_t afterTable = kHeaders + static_cast<std::size_t>(tableBytes);
  // The pixel-data offset is honoured when it points past the colour table and into the
  // data; otherwise the pixels are taken from directly after the table.
  std::size_t pixelsAt = afterTable;
  if (const uint32_t offBits = Le32(p + 10); offBits >= afterTable && offBits < size) pixelsAt = offBits;
  const std::size_t available = size - pixelsAt;

  const uint64_t row = RowBytes(h.width, bits ? bits : 24);
  // RLE data is taken as far as the file has it, whatever size the header claims.
  const uint64_t image = rle ? std::min<uint64_t>(h.sizeImage ? h.sizeImage : available, available)
                             : row * static_cast<uint64_t>(height);
  if (row == 0 || !WithinDecodeBudget(image) || !WithinDecodeBudget(row * static_cast<uint64_t>(height)))
    return SPI_NO_FUNCTION;

  GlobalHandle block =
      GlobalHandle::Allocate(static_cast<std::size_t>(sizeof(BitmapInfoHeader) + tableBytes + image));
  if (!block) return SPI_NO_FUNCTION;
  {
    GlobalLockGuard lock(block.get());
    if (!lock) return SPI_NO_FUNCTION;
    auto *dst = lock.as<unsigned char>();
    std::memcpy(dst, p + kFileHeader, sizeof(BitmapInfoHeader) + static_cast<std::size_t>(tableBytes));
    auto *hdr = reinterpret_cast<BitmapInfoHeader *>(dst);
    unsigned char *pixels = dst + sizeof(BitmapInfoHeader) + tableBytes;
    const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(image, available));
    if (topDown) {
      hdr->height = height;
      for (int y = 0; y < height; ++y) {
        const uint64_t from = static_cast<uint64_t>(y) * row;
        if (from >= take) break;
        std::memcpy(pixels + static_cast<uint64_t>(height - 1 - y) * row, p + pixelsAt + from,
                    static_cast<std::size_t>(std::min<uint64_t>(row, take - from)));
      }
    } else {
      std::memcpy(pixels, p + pixelsAt, take);
    }
    if (rle) hdr->sizeImage = static_cast<uint32_t>(image);
  }
  if (!rle) {
    *out = block.release();
    return SPI_OK;
  }

  // Expand into a new block; when that fails the compressed picture is delivered.
  const unsigned outBits = bits ? bits : 24;
  if (outBits == 1 || outBits == 4 || outBits == 8 || outBits == 24) {
    const uint64_t outTable = tableBytes;  // same rule: colours used, else the depth's full table
    GlobalHandle expanded = GlobalHandle::Allocate(
        static_cast<std::size_t>(sizeof(BitmapInfoHeader) + outTable + row * static_cast<uint64_t>(height)));
    if (expanded) {
      GlobalLockGuard src(block.get()), dst(expanded.get());
      if (src && dst) {
        auto *s = src.as<unsigned char>();
        auto *d = dst.as<unsigned char>();
        std::memcpy(d, s, sizeof(BitmapInfoHeader) + static_cast<std::size_t>(outTable));
        auto *hdr = reinterpret_cast<BitmapInfoHeader *>(d);
        hdr->compression = BI_RGB;
        hdr->sizeImage = 0;
        if (ExpandRle(static_cast<int>(h.compression), s + sizeof(BitmapInfoHeader) + tableBytes,
                      static_cast<std::size_t>(image), d + sizeof(BitmapInfoHeader) + outTable,
                      static_cast<std::size_t>(row), height)) {
          block = std::move(expanded);
        }
      }
    }
  }
  *out = block.release();
  return SPI_OK;
}

}  // namespace

int BmpGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info) {
  if (!info || !source) return SPI_NO_FUNCTION;
  switch (flags & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE: {
      FileView view(source, lengthOrOffset);
      if (!view.ok() || view.size() <= kHeaders) return SPI_READ_ERROR;
      return InfoFromBytes(view.data(), view.size(), info);
    }
    case SPI_SOURCE_MEMORY:
      if (lengthOrOffset < 0) return SPI_NO_FUNCTION;
      return InfoFromBytes(reinterpret_cast<const unsigned char *>(source),
                           static_cast<std::size_t>(lengthOrOffset), info);
    default:
      return SPI_NO_FUNCTION;
  }
}

int BmpGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out) {
  if (!out || !source) return SPI_NO_FUNCTION;
  switch (flags & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE: {
      FileView view(source, lengthOrOffset);
      if (view.empty()) return SPI_NO_FUNCTION;  // nothing past the offset: no signature
      if (!view.ok()) return SPI_READ_ERROR;
      return Decode(view.data(), view.size(), out);
    }
    case SPI_SOURCE_MEMORY:
      if (lengthOrOffset < 0) return SPI_NO_FUNCTION;
      return Decode(reinterpret_cast<const unsigned char *>(source), static_cast<std::size_t>(lengthOrOffset),
                    out);
    default:
      return SPI_NO_FUNCTION;
  }
}

}  // namespace tamro::builtin
