#pragma once

// Little-endian writers for the byte builders of test files (std::string or byte vectors).

#include <cstdint>

namespace tamro::test {

template <class Buffer>
void PutLe16(Buffer &b, uint32_t v) {
  b.push_back(static_cast<typename Buffer::value_type>(v & 0xFF));
  b.push_back(static_cast<typename Buffer::value_type>((v >> 8) & 0xFF));
}

template <class Buffer>
void PutLe32(Buffer &b, uint32_t v) {
  PutLe16(b, v & 0xFFFF);
  PutLe16(b, v >> 16);
}

}  // namespace tamro::test
