#pragma once

// The optional description library: "libcpdecode.so" in the program's library folder, exporting
//   int CpDecode(const char *path, char *buffer, int size);
// which writes ":"- or ","-separated fields (optionally double-quoted) about a JPEG file
// and answers non-zero on success. Without the library the description is simply empty.

#include <string>

namespace tamro {

// Size of the buffer handed to CpDecode.
inline constexpr int kCpDecodeBufferSize = 128;

// <library folder>/libcpdecode.so
std::string CpDecodeLibraryPath();

// The fields of CpDecode(picturePath) as "[a] [b] [c] ", empty fields left out. Empty
// when the library does not load, has no CpDecode, or CpDecode answers 0. The library is
// loaded for this call and unloaded again.
std::string CpDecodeText(const std::string &picturePath);
std::string CpDecodeText(const std::string &picturePath, const std::string &libraryPath);

}  // namespace tamro
