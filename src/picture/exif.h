#pragma once

// The EXIF tags Tamro reads: from the first Exif segment of a JPEG stream, or from the first
// directory of a TIFF-structured file (TIFF, and the camera RAW formats built on it).

#include <cstddef>
#include <cstdint>
#include <string>

namespace tamro {

struct ExifFacts {
  // 1 to 8 as the tag says; 1 when it is missing, not one SHORT, or outside 1-8.
  int orientation = 1;
  std::string make, model;
  double exposureTime = 0, fNumber = 0;  // 0 when missing
  uint32_t iso = 0;
  // "YYYY:MM:DD HH:MM:SS" as stored (so they compare as text), empty when missing or not of
  // that shape: DateTimeOriginal, the main directory's DateTime (the modify date), and the
  // DateTime of the thumbnail's directory.
  std::string dateTimeOriginal, modifyDate, thumbnailDate;
  // The thumbnail of the second directory (JPEG data), as a range of the bytes given;
  // length 0 when there is none or it does not lie wholly inside them.
  std::size_t thumbnailOffset = 0, thumbnailLength = 0;
};

// The facts of `data`, which starts with a JPEG start-of-image marker or a TIFF header. A
// segment or directory cut short by the end of the data is read as far as it goes. False
// (and the defaults) when there is no EXIF block.
bool ReadExif(const unsigned char *data, std::size_t size, ExifFacts &facts);

}  // namespace tamro
