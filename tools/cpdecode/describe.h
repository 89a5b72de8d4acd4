#pragma once

// Camera facts of a JPEG file's EXIF block as one ":"-separated line:
// maker, model, exposure time, f-number, ISO speed and the date taken, those present.

#include <cstddef>
#include <string>

namespace cpdecode {

// The fields of the EXIF block of a JPEG file image; empty when there is no EXIF
// block or none of the facts is in it.
std::string DescribeExif(const unsigned char *data, std::size_t size);
// The same for a file, read only as far as the EXIF block.
std::string DescribeFile(const char *path);

// Copies `line` into `buffer` (at most size - 1 bytes and a NUL), dropping whole trailing
// fields that do not fit. Answers 1 when something was written, else 0 (and "").
int Answer(const std::string &line, char *buffer, int size);

}  // namespace cpdecode
