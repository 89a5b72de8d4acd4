#pragma once

// Baseline JPEG writing of 24-bit pictures, to a file or into a caller's memory block.

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture/dibtypes.h"

namespace tamro {

// The text of the one comment marker in every JPEG that Tamro writes.
inline constexpr char kJpegMakersMark[] = "Tamro";

// Writes the 24-bit picture to `path` (UTF-8). `colour` 0 writes one grey component.
// `quality` is forced into the baseline table limits. `progress`, when given, is called
// before a row each time another 10 % is reached (first at row 0) and with (height,
// height) at the end; a non-zero answer cancels. The file is written under a temporary name
// and renamed into place when complete. 1 written; 0 failed or cancelled, and then the file
// that was there stays as it was and no partial file is left behind. A file the user may
// not write is refused.
int SaveDibAsJpeg(HDIB h, const std::string &path, int colour, int quality, ProgressProc progress, long user);

// The same JPEG written to an open file descriptor (which stays open) at its position; 1
// written, 0 failed or cancelled (the file may then hold part of it).
int WriteDibAsJpeg(int fd, HDIB h, int colour, int quality, ProgressProc progress, long user);

// The same encoder writing into `out`, which holds `*size` bytes. 1 encoded, with `*size`
// set to the bytes written; 0 failed, cancelled or the block too small (then `*size` is
// left as it was and the block may hold part of the stream).
int EncodeDibAsJpeg(uint8_t *out, std::size_t *size, HDIB h, int colour, int quality, ProgressProc progress,
                    long user);

}  // namespace tamro
