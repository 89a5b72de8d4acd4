#pragma once

// The built-in decoders, reached by the host under the positions 1000 to 1006. They answer
// the same calls, with the same source forms and results, as a picture plug-in, and are
// reentrant: nothing is shared between calls but the process-wide settings below.

#include <cstdint>
#include <string>
#include <vector>

#include "decode/spi.h"
#include "picture/dibtypes.h"

namespace tamro::builtin {

enum Position : int {
  kBmp = 1000,
  kJpeg = 1001,
  kGif = 1002,
  kTiff = 1003,
  kText = 1004,
  kAvi = 1005,
  kMpeg = 1006,
  kFirst = kBmp,
  kLast = kMpeg,
};

// "--BMP--", ...; null for a position that is not built in.
const char *Name(int position);
// "*.BMP;*.RLE", ...
const char *Patterns(int position);

// `data` follows the plug-in rule: below 0x10000 an open file descriptor positioned at the
// data (the decoder reads 2048 bytes from it itself), else the address of 2048 bytes.
// Answers non-zero when the decoder can read the file.
int IsSupported(int position, const char *fileName, uintptr_t data);

// `flags & 7`: 0 = `source` is a path and `lengthOrOffset` the data's offset, 1 = memory
// image of that length. `extra`, when not null, receives the JPEG decoder's APP1 copy
// (a global-memory handle the caller frees; 0 when none).
int GetPictureInfo(int position, const char *source, long lengthOrOffset, unsigned flags,
                   SpiPictureInfo *info, uint32_t *extra);

// On success `*out` is a new HDIB. `value1` is the first caller value (the text decoder takes
// it as a pointer to a width and a height, or null); `value2` the second (the JPEG size
// reduction, already halved by the host when the fast switch is on).
int GetPicture(int position, const char *source, long lengthOrOffset, unsigned flags, HDIB *out,
               intptr_t value1, long value2, ProgressProc progress, long user);

// The ICC profile embedded in the picture, in `profile` (empty when there is none): only the
// JPEG decoder reads one; the others answer SPI_OK and nothing.
int GetColorProfile(int position, const char *source, long lengthOrOffset, unsigned flags,
                    std::string &profile);

// The JPEG decoder's thumbnail entry: decodes a memory image at 1/reduction size.
// 0, -1 when decoding gave nothing, 4 when the picture block could not be allocated.
int JpegDecodeThumbnail(HDIB *out, const unsigned char *data, std::size_t length, int reduction,
                        ProgressProc progress, long user);

// Process-wide settings. Each answers or keeps what the host and the document hand over.
int JpegSetHeadScan(int on);                            // answers the previous value
void JpegSetSkipList(const std::vector<int> &numbers);  // at most 400 kept
std::vector<int> JpegGetSkipList();
// A value of 0 (or a null face) leaves that setting unchanged.
void TextSetSettings(int columns, int rows, int fontSize, const char *face);
// Columns and rows from `SPI`/`TXTSize` ("40,40") of the settings store.
void TextLoadSettings();

}  // namespace tamro::builtin
