#pragma once

// The GIF decoder's frame entry, used to play animated GIF files: one chosen frame of a
// memory image is decoded into a picture, an optional transparency mask, its delay and its
// disposal method.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture/dibtypes.h"
#include "platform/globalhandle.h"

namespace tamro::builtin {

struct GifDecodeState {
  // Source: the memory image and the read position inside it.
  const unsigned char *source = nullptr;
  std::size_t sourceLength = 0;
  std::size_t position = 0;
  int frameIndex = 0;                           // 0 = the first image of the file
  intptr_t callerValue1 = 0, callerValue2 = 0;  // the caller's own; never read here
  // The caller reads the index and mask buffers itself (GifIndexColour, GifFrameMasked):
  // no pictures are made, which spares two frame-sized blocks per frame of an animation.
  bool indicesOnly = false;

  // The frame: its rectangle on the logical screen and its colours.
  int left = 0, top = 0, width = 0, height = 0;
  int colourBits = 0;  // of the active colour table, 1 to 8
  bool hasColourTable = false;
  uint32_t red[256] = {}, green[256] = {}, blue[256] = {};
  bool grey = false;  // set whenever a colour table was read
  int delay = 0;      // hundredths of a second
  int transparentIndex = -1;
  int disposal = 0;  // 0 to 7

  // Decoding cursor.
  int x = 0, row = 0, rowStep = 0, pass = 0;
  std::size_t indexRow = 0, maskRow = 0;

  // 1 bit per pixel, rows of (width + 7) / 8 bytes, top row first; 1 = drawn.
  std::vector<unsigned char> mask;
  // 1 byte per pixel, width x height, top row first.
  std::vector<unsigned char> index;

  // Results. The caller takes them with release(); whatever is left is freed with the state.
  GlobalHandle picture, maskPicture;
  uint32_t transparentColour = 0;  // 0x00BBGGRR
};

// Decodes frame `state.frameIndex` of the GIF image in `data`. 0 on success (data that ends
// inside the picture data counts as success); 1 bad signature, bad code size or no memory
// for decoding; 2 data ended before the picture data; 3 no frame there; 4 a code string
// longer than the code table, or no memory for the picture. A full code table without a
// clear code is no error: decoding goes on without adding codes.
int GifDecodeFrame(GifDecodeState &state, const unsigned char *data, std::size_t length);

// After a successful decode: the colour (0x00BBGGRR) of a value of the index buffer, and
// whether the mask buffer applies, exactly as in the pictures the decode makes.
uint32_t GifIndexColour(const GifDecodeState &state, unsigned index);
bool GifFrameMasked(const GifDecodeState &state);

}  // namespace tamro::builtin
