// Template lines and token substitution on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "output/htmlcatalog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  tamro::CHtmlTemplate t;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    t.AddTemplateLine(text.substr(at, end - at));
    at = end + 1;
  }
  tamro::RelativePath(std::string(text.substr(0, size / 2)), std::string(text.substr(size / 2)));
  return 0;
}
