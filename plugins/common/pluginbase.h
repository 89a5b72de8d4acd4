#pragma once

// Pieces every plug-in needs: the information strings, the head bytes IsSupported is
// handed, the bytes a call's source names, the progress callback and an owned memory block.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "decode/budget.h"
#include "decode/spi.h"
#include "platform/globalmem.h"

#define TAMRO_SPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace tamro::plugin {

// Copies entry `infono` of a null-terminated table into `buf` (cut at a character boundary
// when it does not fit). Answers the bytes written, 0 when there is no such entry.
int CopyPluginInfo(const char *const *table, int infono, char *buf, int buflen);

// Fills `head` with the first SPI_HEAD_BYTES of the data IsSupported was given: read from
// the descriptor at its current position without moving it, or copied from the address.
// Bytes past the end of a short file are zero. Answers false when nothing could be read.
bool ReadHead(uintptr_t dw, unsigned char (&head)[SPI_HEAD_BYTES]);

// Reads up to `size` bytes at `offset` past the position of the descriptor IsSupported was
// given (only in descriptor form). Answers the bytes read.
size_t ReadAtFromFd(uintptr_t dw, uint64_t offset, void *out, size_t size);

// The bytes a call refers to: a memory image (flag form 1) used in place, or a file (form 0)
// read from the given offset to its end (no more than the decode budget).
class SourceBytes {
 public:
  // Answers SPI_OK or the failure code.
  int Load(const char *buf, long len, unsigned flag);
  const uint8_t *data() const { return data_; }
  size_t size() const { return size_; }

 private:
  std::vector<uint8_t> owned_;
  const uint8_t *data_ = nullptr;
  size_t size_ = 0;
};

// The caller's progress callback; a null callback never cancels.
class Progress {
 public:
  Progress(SPI_PROGRESS proc, long user) : proc_(proc), user_(user) {}
  // True when the caller asks to stop.
  bool Report(int done, int total) { return proc_ != nullptr && proc_(done, total, user_) != 0; }

 private:
  SPI_PROGRESS proc_;
  long user_;
};

// Scratch memory whose bytes are not cleared, so that the size a header claims costs
// nothing until the decoder really writes rows: a short file with a huge declared size
// fails without touching gigabytes.
class ScratchBuffer {
 public:
  // False when the memory cannot be had or `bytes` exceeds the decode budget.
  bool Allocate(size_t bytes) {
    bytes_.reset(WithinDecodeBudget(bytes) ? new (std::nothrow) uint8_t[bytes ? bytes : 1] : nullptr);
    size_ = bytes_ ? bytes : 0;
    return bytes_ != nullptr;
  }
  uint8_t *data() const { return bytes_.get(); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
};

// One global-memory block owned until it is handed to the caller.
class OwnedBlock {
 public:
  OwnedBlock() = default;
  ~OwnedBlock() { Reset(); }
  OwnedBlock(const OwnedBlock &) = delete;
  OwnedBlock &operator=(const OwnedBlock &) = delete;

  // Allocates a movable block (zero-filled when asked); false when it cannot be had.
  bool Allocate(size_t bytes, bool zero = true);
  // Grows or shrinks the block, keeping its bytes; the block must be unlocked.
  bool Resize(size_t bytes);
  void *Lock();
  void Unlock();
  HLOCAL handle() const { return handle_; }
  // Gives up ownership; the block must be unlocked.
  HLOCAL Release();
  void Reset();

 private:
  HLOCAL handle_ = nullptr;
  bool locked_ = false;
};

}  // namespace tamro::plugin
