#pragma once

// The entry points of each built-in decoder, behind the dispatch of builtin.h, and the
// pieces of them that tests reach directly. Internal to the decoders and their tests.

#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/spi.h"
#include "picture/dibtypes.h"

namespace tamro::builtin {

// BMP (1000).
int BmpIsSupported(uintptr_t data);
int BmpGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info);
int BmpGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out);
// Expands RLE8 (compression 1) or RLE4 (2) data into zeroed rows of `rowBytes` bytes, the
// first stored row first. False when a pixel would land outside the rows.
bool ExpandRle(int compression, const unsigned char *data, std::size_t size, unsigned char *rows,
               std::size_t rowBytes, int rowCount);

// GIF (1002). The frame entry is in gif.h.
int GifIsSupported(uintptr_t data);
int GifGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info);
int GifGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out);

// JPEG (1001).
int JpegIsSupported(const char *fileName, uintptr_t data);
int JpegGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info,
                       uint32_t *extra);
int JpegGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out, long reduction,
                   ProgressProc progress, long user);
int JpegGetColorProfile(const char *source, long lengthOrOffset, unsigned flags, std::string &profile);
// Offset of the start of the picture inside `data`: the first 0xFF 0xD8 followed by a
// plausible chain of marker segments, or 0 when none is found.
std::size_t JpegFindStart(const unsigned char *data, std::size_t size);

// TIFF (1003).
int TiffIsSupported(uintptr_t data);
int TiffGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info);
int TiffGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out);

// Text (1004).
int TextIsSupported(const char *fileName, uintptr_t data);
int TextGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info);
int TextGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out, intptr_t size);
// The byte test of is-supported over (at most) the first 2048 bytes.
bool LooksLikeText(const unsigned char *data, std::size_t size);

// AVI (1005) and MPEG (1006).
int AviIsSupported(uintptr_t data);
int AviGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info);
int AviGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out);
int MpegGetPicture(unsigned flags);

}  // namespace tamro::builtin
