#pragma once

// The memory one decode may ask for: the built-in decoders, the plug-ins shipped with Tamro
// and the host's joining of a plug-in's picture all hold to it, so that a few bytes of header
// claiming a huge picture cannot make any of them reserve gigabytes. Header only: the
// plug-ins include it without linking anything of Tamro.

#include <cstdint>

namespace tamro {

// The largest single block (a picture, a scratch buffer, a file read into memory) of a decode.
inline constexpr uint64_t kDecodeBudgetBytes = uint64_t{1} << 30;

// True when a block of `bytes` stays within the budget.
constexpr bool WithinDecodeBudget(uint64_t bytes) { return bytes <= kDecodeBudgetBytes; }

}  // namespace tamro
