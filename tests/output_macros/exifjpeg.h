#pragma once

// Builds small JPEG files with a hand-made EXIF block, so tests control every byte.

#include <cstdint>
#include <string>
#include <vector>

namespace tamro::test {

struct ExifTag {
  uint16_t tag;
  uint16_t type;   // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL
  uint32_t count;  // as written; may lie
  std::string data;
};

inline ExifTag AsciiTag(uint16_t tag, const std::string &text) {
  return {tag, 2, static_cast<uint32_t>(text.size() + 1), text + std::string(1, '\0')};
}
inline std::string Le16(uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }
inline std::string Le32(uint32_t v) { return Le16(uint16_t(v & 0xFFFF)) + Le16(uint16_t(v >> 16)); }
inline ExifTag ShortTag(uint16_t tag, uint16_t v) { return {tag, 3, 1, Le16(v)}; }
inline ExifTag RationalTag(uint16_t tag, uint32_t num, uint32_t den) { return {tag, 5, 1, Le32(num) + Le32(den)}; }

// One little-endian IFD placed at `at` (offset from the TIFF header), its out-of-line
// values following it.
inline std::string BuildIfd(const std::vector<ExifTag> &tags, uint32_t at) {
  uint32_t dataAt = at + 2 + 12 * static_cast<uint32_t>(tags.size()) + 4;
  std::string head = Le16(static_cast<uint16_t>(tags.size())), data;
  for (const ExifTag &t : tags) {
    head += Le16(t.tag) + Le16(t.type) + Le32(t.count);
    if (t.data.size() <= 4) {
      head += t.data + std::string(4 - t.data.size(), '\0');
    } else {
      head += Le32(dataAt + static_cast<uint32_t>(data.size()));
      data += t.data;
      if (data.size() % 2) data += '\0';
    }
  }
  return head + Le32(0) + data;
}

// "Exif\0\0" and a TIFF block with IFD0 and, when given, the EXIF sub-IFD.
inline std::string BuildExif(std::vector<ExifTag> ifd0, const std::vector<ExifTag> &exif) {
  // Size IFD0 first with a placeholder pointer, then place the sub-IFD right behind it.
  if (!exif.empty()) ifd0.push_back({0x8769, 4, 1, Le32(0)});
  uint32_t subAt = 8 + static_cast<uint32_t>(BuildIfd(ifd0, 8).size());
  if (!exif.empty()) ifd0.back().data = Le32(subAt);
  std::string tiff = "II*" + std::string(1, '\0') + Le32(8) + BuildIfd(ifd0, 8);
  if (!exif.empty()) tiff += BuildIfd(exif, subAt);
  return std::string("Exif\0\0", 6) + tiff;
}

// A JPEG stream: SOI, the APP1 segment (when `exif` is not empty), then `rest`, which
// should be a JPEG stream without its own SOI (or anything at all).
inline std::string WrapJpeg(const std::string &exif, const std::string &rest) {
  std::string out = "\xFF\xD8";
  const uint16_t len = static_cast<uint16_t>(exif.size() + 2);
  if (!exif.empty()) out += "\xFF\xE1" + std::string{char(len >> 8), char(len & 0xFF)} + exif;
  return out + rest;
}

}  // namespace tamro::test
