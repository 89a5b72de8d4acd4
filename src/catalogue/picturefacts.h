#pragma once

#include <cstdint>

namespace tamro {

// What the decoders told about a picture: the decoder that reads it (-1: none known yet), and
// its size and depth as stored, before any turning by its orientation tag. One record for the
// entry, the folder index, the catalogues and the picture window; a plain value for workers.
struct PictureFacts {
  int decoder = -1;
  int32_t width = 0, height = 0, bitCount = 0;
};

}  // namespace tamro
