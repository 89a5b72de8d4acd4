// The folder index and note file text: parsed whole, then asked like the readers ask it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/inicache.h"
#include "catalogue/lockedinifile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  tamro::CIniCache cache;
  cache.ParseText(text);
  std::string v;
  cache.GetValue("Document", "MaxCount", v);
  cache.GetInt("Document", "DataVersion", 0);
  for (const auto &s : cache.sections())
    for (const auto &k : s.keys) cache.GetInt(s.name, k.name, 0);
  for (const auto &line : tamro::SplitIniLines(text)) {
    std::string_view key, value;
    tamro::ParseIniKeyLine(line, key, value);
    tamro::IsSectionHeader(line, "Document");
  }
  return 0;
}
