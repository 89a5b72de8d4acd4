#include "picture/exif.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tamro {

namespace {

enum : uint16_t {
  kTagMake = 0x010F,
  kTagModel = 0x0110,
  kTagOrientation = 0x0112,
  kTagDateTime = 0x0132,
  kTagThumbnailOffset = 0x0201,
  kTagThumbnailLength = 0x0202,
  kTagExposureTime = 0x829A,
  kTagFNumber = 0x829D,
  kTagExifIfd = 0x8769,
  kTagIso = 0x8827,
  kTagDateTimeOriginal = 0x9003,
};
enum : uint16_t { kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kIfd = 13 };

// Every offset below comes from the file: each read checks it against the block first.
class TiffBlock {
 public:
  TiffBlock(const unsigned char *t, std::size_t n) : t_(t), n_(n) {}

  bool Header(uint32_t &firstIfd) {
    if (n_ < 8) return false;
    if (t_[0] == 'I' && t_[1] == 'I')
      little_ = true;
    else if (t_[0] == 'M' && t_[1] == 'M')
      little_ = false;
    else
      return false;
    if (U16(2) != 42) return false;
    firstIfd = U32(4);
    return true;
  }
  std::size_t size() const { return n_; }
  uint32_t U16(std::size_t at) const {
    return little_ ? t_[at] | (t_[at + 1] << 8) : (t_[at] << 8) | t_[at + 1];
  }
  uint32_t U32(std::size_t at) const {
    return little_ ? U16(at) | (U16(at + 2) << 16) : (U16(at) << 16) | U16(at + 2);
  }

  // One directory entry at `at` (12 bytes, known to be inside the block).
  struct Entry {
    uint16_t tag, type;
    uint32_t count;
    std::size_t at;
  };
  Entry EntryAt(std::size_t at) const {
    return {static_cast<uint16_t>(U16(at)), static_cast<uint16_t>(U16(at + 2)), U32(at + 4), at};
  }
  // Where the entry's values are, when all of them lie inside the block.
  bool Values(const Entry &e, std::size_t unit, std::size_t &where) const {
    if (e.count == 0 || e.count > n_ / unit) return false;
    const std::size_t bytes = e.count * unit;
    where = bytes <= 4 ? e.at + 8 : U32(e.at + 8);
    return where <= n_ && bytes <= n_ - where;
  }
  uint32_t Number(const Entry &e) const {
    std::size_t where;
    if (e.type == kShort && Values(e, 2, where)) return U16(where);
    if ((e.type == kLong || e.type == kIfd) && Values(e, 4, where)) return U32(where);
    return 0;
  }
  double Ratio(const Entry &e) const {
    std::size_t where;
    if (e.type != kRational || !Values(e, 8, where)) return 0;
    const uint32_t num = U32(where), den = U32(where + 4);
    return den ? static_cast<double>(num) / den : 0;
  }
  std::string Text(const Entry &e) const {
    std::size_t where;
    if (e.type != kAscii || !Values(e, 1, where)) return {};
    const char *s = reinterpret_cast<const char *>(t_ + where);
    return std::string(s, strnlen(s, e.count));
  }

  // Calls `visit(entry)` for each entry of the directory at `ifd`; answers the offset of the
  // next directory (0 when there is none or it cannot be read).
  template <class Visit>
  uint32_t Walk(std::size_t ifd, Visit &&visit) const {
    if (ifd >= n_ || n_ - ifd < 2) return 0;
    const std::size_t count = U16(ifd);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = ifd + 2 + 12 * i;
      if (at > n_ || n_ - at < 12) return 0;
      visit(EntryAt(at));
    }
    const std::size_t next = ifd + 2 + 12 * count;
    return next <= n_ && n_ - next >= 4 ? U32(next) : 0;
  }

 private:
  const unsigned char *t_;
  std::size_t n_;
  bool little_ = true;
};

std::string DateText(std::string s) {
  static const char kShape[] = "dddd:dd:dd dd:dd:dd";
  if (s.size() < sizeof kShape - 1) return {};
  s.resize(sizeof kShape - 1);
  for (std::size_t i = 0; i < s.size(); ++i)
    if (kShape[i] == 'd' ? (s[i] < '0' || s[i] > '9') : s[i] != kShape[i]) return {};
  // Cameras without a clock write zeros.
  if (s.compare(0, 4, "0000") == 0) return {};
  return s;
}

void ReadTiff(const TiffBlock &b, uint32_t firstIfd, std::size_t base, ExifFacts &f) {
  uint32_t exifIfd = 0;
  bool orientationSeen = false;
  const uint32_t second = b.Walk(firstIfd, [&](const TiffBlock::Entry &e) {
    switch (e.tag) {
      case kTagOrientation:
        // The first tag decides; anything but one SHORT of 1 to 8 means upright.
        if (orientationSeen) break;
        orientationSeen = true;
        if (e.type == kShort && e.count >= 1) {
          const uint32_t v = b.U16(e.at + 8);
          f.orientation = v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
        }
        break;
      case kTagMake:
        f.make = b.Text(e);
        break;
      case kTagModel:
        f.model = b.Text(e);
        break;
      case kTagDateTime:
        f.modifyDate = DateText(b.Text(e));
        break;
      case kTagExifIfd:
        exifIfd = b.Number(e);
        break;
      default:
        break;
    }
  });
  if (exifIfd && exifIfd != firstIfd) {
    b.Walk(exifIfd, [&](const TiffBlock::Entry &e) {
      if (e.tag == kTagExposureTime) f.exposureTime = b.Ratio(e);
      if (e.tag == kTagFNumber) f.fNumber = b.Ratio(e);
      if (e.tag == kTagIso) f.iso = b.Number(e);
      if (e.tag == kTagDateTimeOriginal) f.dateTimeOriginal = DateText(b.Text(e));
    });
  }
  if (second && second != firstIfd) {
    uint32_t offset = 0, length = 0;
    b.Walk(second, [&](const TiffBlock::Entry &e) {
      if (e.tag == kTagThumbnailOffset) offset = b.Number(e);
      if (e.tag == kTagThumbnailLength) length = b.Number(e);
      if (e.tag == kTagDateTime) f.thumbnailDate = DateText(b.Text(e));
    });
    if (offset && length && offset <= b.size() && length <= b.size() - offset) {
      f.thumbnailOffset = base + offset;
      f.thumbnailLength = length;
    }
  }
  if (!std::isfinite(f.exposureTime)) f.exposureTime = 0;
  if (!std::isfinite(f.fNumber)) f.fNumber = 0;
}

// The TIFF block of the first Exif segment before the picture data of the JPEG stream at
// p[0, n): its offset in p and its length (cut at the end of the data). False when none.
bool JpegExifBlock(const unsigned char *p, std::size_t n, std::size_t &block, std::size_t &length) {
  std::size_t at = 2;
  while (at < n && n - at >= 4) {
    if (p[at] != 0xFF) return false;
    const unsigned marker = p[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length follows
      at += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return false;  // the picture data comes first
    const std::size_t segment = (std::size_t{p[at + 2]} << 8) | p[at + 3];
    if (segment < 2) return false;
    const std::size_t body = at + 4, bodyBytes = std::min(segment - 2, n - body);
    if (marker == 0xE1 && bodyBytes >= 6 && std::memcmp(p + body, "Exif\0\0", 6) == 0) {
      block = body + 6;
      length = bodyBytes - 6;
      return true;
    }
    at = body + (segment - 2);
  }
  return false;
}

}  // namespace

bool ReadExif(const unsigned char *data, std::size_t size, ExifFacts &facts) {
  facts = ExifFacts{};
  if (!data || size < 8) return false;
  std::size_t block = 0, length = size;
  if (data[0] == 0xFF && data[1] == 0xD8) {
    if (!JpegExifBlock(data, size, block, length)) return false;
  }
  TiffBlock tiff(data + block, length);
  uint32_t firstIfd = 0;
  if (!tiff.Header(firstIfd)) return false;
  ReadTiff(tiff, firstIfd, block, facts);
  return true;
}

}  // namespace tamro
