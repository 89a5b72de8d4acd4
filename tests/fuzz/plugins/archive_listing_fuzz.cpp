// Arbitrary bytes as an archive: recognised or not, listed, turned into the record block,
// and the first members extracted into memory.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/archivereader.h"

namespace {

// Stops an extraction once a few megabytes came out, so a small input cannot keep one run
// busy for long.
int StopAfterSomeBytes(int done, int total, long) { return total > 0 && done > (8 << 20) ? 1 : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace tamro::plugin;
  using namespace tamro::plugin::archive;
  std::vector<uint8_t> head(SPI_HEAD_BYTES, 0);
  for (size_t i = 0; i < size && i < head.size(); ++i) head[i] = data[i];
  Recognise(head.data(), head.size(), "fuzz.tar.gz", nullptr, nullptr);
  if (size == 0) return 0;

  std::vector<Member> members;
  if (ListMembers(Source::Memory(data, size), members) != SPI_OK) return 0;
  HLOCAL block = nullptr;
  if (BuildInfoBlock(members, &block) == SPI_OK) GlobalFree(block);
  size_t tried = 0;
  for (const Member &m : members) {
    if (++tried > 4) break;
    MemorySink sink;
    Progress progress(&StopAfterSomeBytes, 0);
    if (Extract(Source::Memory(data, size), m.position, sink, progress) == SPI_OK) GlobalFree(sink.Release());
  }
  return 0;
}
