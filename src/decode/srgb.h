#pragma once

// Colours of pictures that carry their own colour profile, brought to sRGB (what the screen,
// the thumbnails and the JPEG files the program writes are taken to be).

#include <string>

#include "picture/dibtypes.h"

namespace tamro {

// Converts the picture in place from the ICC profile `icc` to sRGB, perceptual intent: the
// pixels of a 24-bit or 32-bit picture, the colour table of a 1, 4 or 8-bit one. False,
// with the picture unchanged, when the profile is not a usable RGB profile or the picture
// has another form. Safe on any thread.
bool ConvertToSrgb(HDIB dib, const std::string &icc);

}  // namespace tamro
