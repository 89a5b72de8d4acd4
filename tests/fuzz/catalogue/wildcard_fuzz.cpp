// Patterns and names, split at the first zero byte.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "catalogue/wildcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view all(reinterpret_cast<const char *>(data), size);
  std::size_t zero = all.find('\0');
  std::string_view pattern = all.substr(0, zero);
  std::string_view name = zero == std::string_view::npos ? std::string_view() : all.substr(zero + 1);
  tamro::SearchPatternMatch(pattern, name);
  return 0;
}
