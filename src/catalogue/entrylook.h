#pragma once

#include <cstdint>
#include <memory>

#include "catalogue/captionfont.h"

namespace tamro {

// The nine drawing colours of an entry's cell, as 0x00BBGGRR values.
struct EntryColours {
  uint32_t check = 0x808080;
  uint32_t backGround = 0xC0C0C0;
  uint32_t text = 0x000000;
  uint32_t selectCheck = 0x000080;
  uint32_t selectBackGround = 0xFF8C8C;
  uint32_t selectText = 0xFFFFFF;
  uint32_t normalDraw = 0xFFFFFF;
  uint32_t arcDraw = 0xFFF0F0;
  uint32_t cantDraw = 0xF0FFFF;

  bool operator==(const EntryColours &) const = default;
};

// Colours and caption font as the document hands them to its entries. The document keeps
// one immutable look and entries share it, so a hundred thousand entries do not carry a
// hundred thousand copies of the same hundred bytes.
struct EntryLook {
  EntryColours colours;
  FontDescription font;
};

using EntryLookPtr = std::shared_ptr<const EntryLook>;

}  // namespace tamro
