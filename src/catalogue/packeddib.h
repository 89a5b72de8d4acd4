#pragma once

#include <cstddef>

#include "platform/globalhandle.h"

namespace tamro {

// Reads one packed device-independent picture from memory: an optional 14-byte "BM" file
// header, a 40-byte (or larger) or 12-byte header, the colour table and the pixel rows. Every
// size is checked against `length`; anything that does not fit, or a picture wider or higher
// than 65535, gives an empty handle. `consumed` receives the bytes the picture took.
GlobalHandle ReadPackedDib(const unsigned char *data, std::size_t length, int &width, int &height,
                           std::size_t *consumed = nullptr);

// The bytes a picture with this header needs after its header and colour table, given the
// first `length` bytes of it; 0 when the header cannot be read. Lets a reader fetch a picture
// from a file in two steps.
std::size_t PackedDibSize(const unsigned char *data, std::size_t length);

}  // namespace tamro
