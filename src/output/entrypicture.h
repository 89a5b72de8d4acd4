#pragma once

// The picture of an entry as the output generators take it, shared by the window and the
// command line.

#include "picture/dibtypes.h"

namespace tamro {

class CPicEntry;
class CThumbBuilder;

// At full size for a box of 0 x 0; otherwise decoded toward the box and scaled into it
// (never beyond it) with the automatic best-looking method. The entry's own scaling
// switch is left as it was. Owned by the caller; null when the entry cannot be decoded.
HDIB LoadEntryPicture(CThumbBuilder &builder, CPicEntry &entry, int boxWidth, int boxHeight);

}  // namespace tamro
