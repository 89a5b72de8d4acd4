#pragma once

// The orientation tag of a picture (Exif in a JPEG, the TIFF tag of a TIFF file), and the
// picture turned and mirrored so that it shows upright.

#include <cstddef>

#include "picture/dibtypes.h"
#include "picture/exif.h"

namespace tamro {

// 1 to 8 as the tag says: 1 upright, 2 mirrored left to right, 3 turned half round, 4
// mirrored top to bottom, 5 mirrored across the main diagonal, 6 to be turned a quarter
// clockwise, 7 mirrored across the other diagonal, 8 to be turned a quarter anticlockwise.
// 1 when the bytes are neither a JPEG nor a TIFF file, carry no tag, or a value outside 1-8.
int ReadOrientation(const unsigned char *data, std::size_t size);
// The EXIF facts of a JPEG (found as the JPEG decoder finds it) or TIFF-structured file; the
// thumbnail (of a JPEG only) counts from `data`. False when there are none.
bool ReadPictureExif(const unsigned char *data, std::size_t size, ExifFacts &facts);

// Orientations 5 to 8 show the stored width as the height.
inline bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// The picture as it is to be shown: a new bottom-up picture (8 or 24 bits; other depths are
// converted to 24 first), or `dib` itself for orientation 1 or an unknown value. Null when
// the new picture cannot be made. `dib` is never freed here.
HDIB OrientDib(HDIB dib, int orientation);

}  // namespace tamro
