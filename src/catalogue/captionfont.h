#pragma once

#include <cstdint>
#include <string>

class QFont;

namespace tamro {

// The caption font as the settings describe it, in the fields of a logical-font record:
// a negative height is the character height in pixels, a positive one the cell height;
// weight 0 means the face's normal weight.
struct FontDescription {
  std::string faceName;
  int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
  uint8_t italic = 0, underline = 0, strikeOut = 0, charSet = 0;
  uint8_t outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;

  bool operator==(const FontDescription &) const = default;
};

// Looks `face` up among the font families the system has (ignoring case) and answers the
// description of the match, or of the system font when there is none (or when no GUI
// application is running to ask); then width, height, italic and weight overwrite it.
FontDescription LookupCaptionFont(const std::string &face, int width, int height, int italic, int weight);

// The Qt font for drawing a description.
QFont ToQFont(const FontDescription &d);

}  // namespace tamro
