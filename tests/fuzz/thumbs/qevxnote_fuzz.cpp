// "CF_QEVxNOTE" blocks of any shape, with any number of files said to come with them: the
// parser reads nothing past the block and gives exactly that many notes.

#include <cstdint>
#include <cstring>
#include <vector>

#include "catalogue/notestore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const int expected = data[0] % 8 - 1;  // -1: up to the first empty note
  // A copy of exactly the block's size, so reading past it is caught.
  std::vector<char> block(data + 1, data + size);
  std::vector<std::string> notes = tamro::ParseQevxNoteBlock(block.data(), block.size(), expected);
  if (expected >= 0 && notes.size() != static_cast<std::size_t>(expected)) __builtin_trap();
  // Notes without zeros built into a block come back the same.
  std::string rebuilt = tamro::BuildQevxNoteBlock(notes);
  std::vector<std::string> again =
      tamro::ParseQevxNoteBlock(rebuilt.data(), rebuilt.size(), static_cast<int>(notes.size()));
  if (again != notes) __builtin_trap();
  return 0;
}
