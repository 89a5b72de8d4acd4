#include "catalogue/captiontext.h"

#include <atomic>

#include "catalogue/picentry.h"

namespace tamro {

namespace {

std::atomic<CaptionExpander> g_expander{&ExpandPicNameOnly};

}  // namespace

std::string ExpandPicNameOnly(const CPicEntry *entry, std::string_view format) {
  static constexpr std::string_view kToken = "$(PicName)";
  std::string out;
  out.reserve(format.size());
  for (;;) {
    std::size_t at = format.find(kToken);
    if (at == std::string_view::npos) break;
    out.append(format.substr(0, at));
    if (entry) out += entry->name;
    // The search goes on behind the inserted name, so a name holding the token ends.
    format.remove_prefix(at + kToken.size());
  }
  out.append(format);
  return out;
}

CaptionExpander SetCaptionExpander(CaptionExpander expander) {
  return g_expander.exchange(expander ? expander : &ExpandPicNameOnly);
}

std::string ExpandCaption(const CPicEntry *entry, std::string_view format) {
  return g_expander.load()(entry, format);
}

}  // namespace tamro
