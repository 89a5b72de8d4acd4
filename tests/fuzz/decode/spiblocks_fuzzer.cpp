// Arbitrary bytes as a plug-in could hand them back: a member record block, an information
// block and a pixel block for AppendHandle, and names and patterns for the matchers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "decode/spihost.h"
#include "platform/globalhandle.h"

namespace {

HLOCAL Block(const uint8_t *data, std::size_t size) {
  HLOCAL h = GlobalAlloc(GHND, size);
  if (h && size) {
    std::memcpy(GlobalLock(h), data, size);
    GlobalUnlock(h);
  }
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  // Records: the whole input in a block of exactly its size.
  {
    tamro::GlobalHandle records(Block(data, size));
    tamro::GlobalLockGuard lock(records.get());
    tamro::ParseArchiveRecords(lock.get(), records.size());
  }

  // Picture blocks: the first byte picks where the information block ends.
  if (size >= 1) {
    const std::size_t cut = std::min<std::size_t>(size - 1, static_cast<std::size_t>(data[0]) * 4);
    tamro::HDIB picture = nullptr;
    tamro::CSpiHost::AppendHandle(Block(data + 1, cut), Block(data + 1 + cut, size - 1 - cut), &picture);
    if (picture) GlobalFree(picture);
  }

  // Matchers: pattern and name split at the first zero byte.
  const std::string_view all(reinterpret_cast<const char *>(data), size);
  const std::size_t zero = all.find('\0');
  if (zero != std::string_view::npos) {
    const std::string_view pattern = all.substr(0, zero), name = all.substr(zero + 1);
    tamro::WildcardMatch(pattern, name);
    tamro::MatchExtensionList(name, pattern);
  }
  return 0;
}
