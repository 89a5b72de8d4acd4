#pragma once

// Runs the three calls of a built-in decoder on one input in memory form and frees what
// they hand back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/builtin/builtin.h"
#include "platform/globalmem.h"

namespace tamro::fuzz {

inline void RunDecoder(int position, const uint8_t *data, std::size_t size, long value2 = 1,
                       intptr_t value1 = 0) {
  std::string head(reinterpret_cast<const char *>(data), std::min<std::size_t>(size, SPI_HEAD_BYTES));
  head.resize(SPI_HEAD_BYTES, '\0');
  builtin::IsSupported(position, "fuzz.dat", reinterpret_cast<uintptr_t>(head.data()));
  // An exact-size copy, so that any read past the data is caught.
  std::string exact(reinterpret_cast<const char *>(data), size);
  SpiPictureInfo info{};
  uint32_t extra = 0;
  if (builtin::GetPictureInfo(position, exact.data(), static_cast<long>(size), SPI_SOURCE_MEMORY, &info,
                              &extra) == 0) {
    if (info.hInfo) GlobalFree(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(info.hInfo)));
  }
  if (extra) GlobalFree(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(extra)));
  HDIB out = nullptr;
  if (builtin::GetPicture(position, exact.data(), static_cast<long>(size), SPI_SOURCE_MEMORY, &out, value1,
                          value2, nullptr, 0) == 0 &&
      out)
    GlobalFree(out);
}

}  // namespace tamro::fuzz
