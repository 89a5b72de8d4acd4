#pragma once

// Runs foreign code (decoder plug-ins) so that a hardware fault inside it ends the call
// instead of the process. SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP raised on the calling
// thread while a guard is active are turned into a Windows exception code and address,
// and control returns to the guard with siglongjmp; stack overflow is caught on a per-thread
// alternate signal stack. Execution never resumes at the faulting point. A fault outside any
// guard goes to the handler that was installed before (or the default action).
//
// Guards nest and are thread-safe: each thread has its own chain of jump buffers.
// Because the jump skips destructors, the guarded body must hold nothing that needs one:
// take locks and allocate buffers outside, call the foreign function inside. For the same
// reason our own code never runs under a guard: a callback that foreign code calls back
// into (a progress callback) runs inside a FaultGuardPause.

#include <cstdint>
#include <type_traits>

namespace tamro {

// Windows exception codes the guard reports.
enum FaultCode : uint32_t {
  kFaultAccessViolation = 0xC0000005,
  kFaultInPageError = 0xC0000006,
  kFaultIllegalInstruction = 0xC000001D,
  kFaultFltDenormal = 0xC000008D,
  kFaultFltDivideByZero = 0xC000008E,
  kFaultFltInexact = 0xC000008F,
  kFaultFltInvalid = 0xC0000090,
  kFaultFltOverflow = 0xC0000091,
  kFaultFltStackCheck = 0xC0000092,
  kFaultFltUnderflow = 0xC0000093,
  kFaultIntDivideByZero = 0xC0000094,
  kFaultIntOverflow = 0xC0000095,
  kFaultPrivileged = 0xC0000096,
  kFaultStackOverflow = 0xC00000FD,
  kFaultMisaligned = 0x80000002,
  kFaultBreakpoint = 0x80000003,
  kFaultSingleStep = 0x80000004,
  // A C++ exception that left the foreign code (the code Windows gives them).
  kFaultCppException = 0xE06D7363,
};

struct FaultInfo {
  uint32_t code = 0;
  uintptr_t address = 0;      // instruction that faulted
  uintptr_t dataAddress = 0;  // address accessed (access violation, bus error)
  bool write = false;         // the access was a write (where the CPU tells)
  int signal = 0;
};

// Calls body(context) under a guard. True when it returned normally; false after a fault,
// with *fault filled. The floating-point environment is restored after the call.
bool RunGuardedRaw(void (*body)(void *), void *context, FaultInfo *fault);

template <class F>
bool RunGuarded(F &&body, FaultInfo *fault) {
  using Body = std::remove_reference_t<F>;
  return RunGuardedRaw([](void *c) { (*static_cast<Body *>(c))(); }, &body, fault);
}

// True while the calling thread is inside a guard.
bool InsideFaultGuard();

// While it lives, the calling thread is outside every guard: a fault crashes as it would
// anywhere else in our own code, instead of jumping over our frames back to the guard.
class FaultGuardPause {
 public:
  FaultGuardPause();
  ~FaultGuardPause();
  FaultGuardPause(const FaultGuardPause &) = delete;
  FaultGuardPause &operator=(const FaultGuardPause &) = delete;

 private:
  void *saved_;
};

}  // namespace tamro
