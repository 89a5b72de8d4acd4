// Joining a plug-in's information block and pixel block into one packed picture.
#include <cstring>
#include <vector>

#include "decode/budget.h"
#include "decode/spihost.h"
#include "picture/dib.h"
#include "platform/globalhandle.h"

namespace tamro {

namespace {

constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kCoreHeader = 12;

bool ValidDepth(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// The picture's 40-byte header and colour table, taken from whatever header the plug-in
// wrote (12-byte core, 40-byte, or a larger later version). Empty when it makes no sense or
// does not fit in the block.
bool ReadHeader(const uint8_t *info, std::size_t bytes, BitmapInfoHeader *out,
                std::vector<uint8_t> *colours) {
  if (bytes < 4) return false;
  uint32_t headerSize;
  std::memcpy(&headerSize, info, 4);
  BitmapInfoHeader bi{};
  std::size_t tableOffset = headerSize;
  std::size_t entrySize = 4;
  if (headerSize == kCoreHeader) {
    if (bytes < kCoreHeader) return false;
    BitmapCoreHeader core;
    std::memcpy(&core, info, sizeof core);
    bi.width = core.width;
    bi.height = core.height;
    bi.planes = 1;
    bi.bitCount = core.bitCount;
    entrySize = 3;
  } else if (headerSize >= kInfoHeader && headerSize <= bytes) {
    std::memcpy(&bi, info, sizeof bi);
  } else {
    return false;
  }
  bi.size = kInfoHeader;
  if (bi.width <= 0 || bi.height == 0 || !ValidDepth(bi.bitCount)) return false;
  if (bi.height == INT32_MIN) return false;

  // Colour table: the stored count, else the full table of a paletted picture.
  uint64_t count = bi.clrUsed;
  if (count == 0 && bi.bitCount <= 8) count = 1u << bi.bitCount;
  if (bi.bitCount <= 8 && count > (1u << bi.bitCount)) count = 1u << bi.bitCount;
  if (count > 256) return false;
  bi.clrUsed = bi.bitCount <= 8 && count == (1u << bi.bitCount) ? 0 : static_cast<uint32_t>(count);

  colours->clear();
  // Bit-field masks: after a 40-byte header, or inside a later header at the same offset.
  if (bi.compression == BI_BITFIELDS && headerSize >= kInfoHeader) {
    if (bi.bitCount != 16 && bi.bitCount != 32) return false;
    if (bytes < kInfoHeader + 12) return false;
    colours->assign(info + kInfoHeader, info + kInfoHeader + 12);
    if (headerSize == kInfoHeader) tableOffset += 12;
  } else if (bi.compression != BI_RGB && bi.compression != BI_RLE8 && bi.compression != BI_RLE4) {
    return false;
  }
  if (tableOffset + count * entrySize > bytes) return false;
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t *e = info + tableOffset + i * entrySize;
    colours->insert(colours->end(), {e[0], e[1], e[2], 0});
  }
  *out = bi;
  return true;
}

}  // namespace

int CSpiHost::AppendHandle(HLOCAL info, HLOCAL pixels, HDIB *picture) {
  // Both plug-in blocks go, whatever happens; the pixel block becomes the picture.
  GlobalHandle infoBlock(info), pixelBlock(pixels);
  if (!picture) return 1;
  *picture = nullptr;
  if (info == pixels) return 1;  // one block cannot be both

  BitmapInfoHeader bi;
  std::vector<uint8_t> colours;
  {
    GlobalLockGuard infoLock(info);
    if (!infoLock || !ReadHeader(infoLock.as<uint8_t>(), infoBlock.size(), &bi, &colours)) return 1;
  }
  // The table we copy must be the one the picture's own header describes.
  if (DibPaletteSize(&bi) != static_cast<int64_t>(colours.size())) return 1;
  const int64_t image = DibImageSize(&bi);
  if (image <= 0) return 1;
  if (!WithinDecodeBudget(static_cast<uint64_t>(image))) return 4;
  const std::size_t rows = static_cast<std::size_t>(image);
  const std::size_t head = kInfoHeader + colours.size();
  const std::size_t given = pixelBlock.size();
  if (rows > given) return 1;

  // The rows stay in the plug-in's block: it grows by the header and colour table (in place
  // as a rule, a large block's pages being remapped rather than copied) and the rows slide up
  // behind them, so the picture never exists twice.
  const std::size_t total = head + rows;
  if (total > given && !GlobalReAlloc(pixels, total, GMEM_MOVEABLE)) return 4;
  {
    GlobalLockGuard lock(pixels);
    if (!lock) return 4;
    auto *p = lock.as<uint8_t>();
    std::memmove(p + head, p, rows);
    std::memcpy(p, &bi, kInfoHeader);
    if (!colours.empty()) std::memcpy(p + kInfoHeader, colours.data(), colours.size());
  }
  // Bytes the plug-in gave beyond the rows are not part of the picture.
  if (total < given) GlobalReAlloc(pixels, total, GMEM_MOVEABLE);
  *picture = pixelBlock.release();
  return 0;
}

}  // namespace tamro
