#include "platform/faultguard.h"

#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cfenv>
#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace tamro {

namespace {

struct GuardFrame {
  sigjmp_buf env;
  FaultInfo info;
  GuardFrame *previous = nullptr;
};

// Read by the signal handler: initial-exec TLS needs no allocation on first access.
__attribute__((tls_model("initial-exec"))) thread_local GuardFrame *t_frame = nullptr;

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];
std::once_flag g_installOnce;

int SignalSlot(int sig) {
  for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    if (kSignals[i] == sig) return static_cast<int>(i);
  return -1;
}

// One alternate signal stack per thread, so a stack overflow can still be handled.
class AltStack {
 public:
  AltStack() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;  // someone else's
    long minimum = sysconf(_SC_MINSIGSTKSZ);
    size_ = static_cast<std::size_t>(minimum > 0 ? minimum : 0) + 64 * 1024;
    void *mem = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (mem == MAP_FAILED) return;
    stack_t ss{};
    ss.ss_sp = mem;
    ss.ss_size = size_;
    if (sigaltstack(&ss, nullptr) != 0) {
      munmap(mem, size_);
      return;
    }
    mem_ = mem;
  }
  ~AltStack() {
    if (!mem_) return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == mem_) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      sigaltstack(&off, nullptr);
    }
    munmap(mem_, size_);
  }
  AltStack(const AltStack &) = delete;
  AltStack &operator=(const AltStack &) = delete;

 private:
  void *mem_ = nullptr;
  std::size_t size_ = 0;
};

uintptr_t InstructionPointer(const void *uc) {
  const auto *ctx = static_cast<const ucontext_t *>(uc);
#if defined(__x86_64__)
  return static_cast<uintptr_t>(ctx->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return static_cast<uintptr_t>(ctx->uc_mcontext.pc);
#else
  (void)ctx;
  return 0;
#endif
}

uintptr_t StackPointer(const void *uc) {
  const auto *ctx = static_cast<const ucontext_t *>(uc);
#if defined(__x86_64__)
  return static_cast<uintptr_t>(ctx->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
  return static_cast<uintptr_t>(ctx->uc_mcontext.sp);
#else
  (void)ctx;
  return 0;
#endif
}

bool WriteAccess(const void *uc) {
#if defined(__x86_64__)
  const auto *ctx = static_cast<const ucontext_t *>(uc);
  return (ctx->uc_mcontext.gregs[REG_ERR] & 2) != 0;  // page-fault error code: W bit
#else
  (void)uc;
  return false;
#endif
}

uint32_t FpeCode(int siCode) {
  switch (siCode) {
    case FPE_INTDIV:
      return kFaultIntDivideByZero;
    case FPE_INTOVF:
      return kFaultIntOverflow;
    case FPE_FLTDIV:
      return kFaultFltDivideByZero;
    case FPE_FLTOVF:
      return kFaultFltOverflow;
    case FPE_FLTUND:
      return kFaultFltUnderflow;
    case FPE_FLTRES:
      return kFaultFltInexact;
    case FPE_FLTSUB:
      return 0xC000008C;  // array bounds exceeded
    default:
      return kFaultFltInvalid;
  }
}

void Classify(int sig, siginfo_t *si, void *uc, FaultInfo *out) {
  out->signal = sig;
  out->address = InstructionPointer(uc);
  const auto addr = reinterpret_cast<uintptr_t>(si->si_addr);
  switch (sig) {
    case SIGSEGV: {
      out->dataAddress = addr;
      out->write = WriteAccess(uc);
      // A fault just below the stack pointer is the stack running out.
      const uintptr_t sp = StackPointer(uc);
      const bool nearStack = sp != 0 && addr != 0 && addr + 256 * 1024 >= sp && addr <= sp + 4096;
      out->code = nearStack ? kFaultStackOverflow : kFaultAccessViolation;
      break;
    }
    case SIGBUS:
      out->dataAddress = addr;
      out->code = si->si_code == BUS_ADRALN ? kFaultMisaligned : kFaultInPageError;
      break;
    case SIGFPE:
      out->code = FpeCode(si->si_code);
      break;
    case SIGILL:
      out->code = (si->si_code == ILL_PRVOPC || si->si_code == ILL_PRVREG) ? kFaultPrivileged
                                                                           : kFaultIllegalInstruction;
      break;
    case SIGTRAP:
      if (si->si_code == TRAP_TRACE) {
        out->code = kFaultSingleStep;
      } else {
        out->code = kFaultBreakpoint;
#if defined(__x86_64__)
        if (si->si_code == SI_KERNEL && out->address) out->address -= 1;  // report the int3 itself
#endif
      }
      break;
    default:
      out->code = 0;
  }
}

void PassOn(int sig, siginfo_t *si, void *uc) {
  const int slot = SignalSlot(sig);
  if (slot < 0) return;
  const struct sigaction &old = g_previous[slot];
  if (old.sa_flags & SA_SIGINFO) {
    if (old.sa_sigaction) {
      old.sa_sigaction(sig, si, uc);
      return;
    }
  } else if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) {
    old.sa_handler(sig);
    return;
  }
  // Default action: put it back; a hardware fault repeats when we return, a sent signal
  // is raised again.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  if (si->si_code <= 0) raise(sig);
}

void Handler(int sig, siginfo_t *si, void *uc) {
  GuardFrame *frame = t_frame;
  // Faults sent by another process, or raised outside any guard, are not ours.
  if (!frame || si->si_code <= 0) {
    PassOn(sig, si, uc);
    return;
  }
  Classify(sig, si, uc, &frame->info);
  t_frame = frame->previous;
  siglongjmp(frame->env, 1);
}

void Install() {
  for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    struct sigaction sa {};
    sa.sa_sigaction = Handler;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    sigaction(kSignals[i], &sa, &g_previous[i]);
  }
}

// The floating-point control state foreign code may change: masks and rounding. Reading the
// whole environment costs far more than these two registers.
struct FpControl {
#if defined(__x86_64__)
  uint16_t x87 = 0;
  uint32_t sse = 0;
#else
  std::fenv_t env;
#endif
};

inline void SaveFp(FpControl *c) {
#if defined(__x86_64__)
  __asm__ volatile("fnstcw %0" : "=m"(c->x87));
  __asm__ volatile("stmxcsr %0" : "=m"(c->sse));
#else
  std::fegetenv(&c->env);
#endif
}

inline void RestoreFp(const FpControl &c, bool afterFault) {
#if defined(__x86_64__)
  FpControl now;
  SaveFp(&now);
  if (afterFault || now.x87 != c.x87 || now.sse != c.sse) {
    __asm__ volatile("fnclex");
    __asm__ volatile("fldcw %0" : : "m"(c.x87));
    __asm__ volatile("ldmxcsr %0" : : "m"(c.sse));
  }
#else
  (void)afterFault;
  std::fesetenv(&c.env);
#endif
}

void PrepareThread() {
  thread_local AltStack altStack;
  (void)altStack;
}

}  // namespace

bool RunGuardedRaw(void (*body)(void *), void *context, FaultInfo *fault) {
  std::call_once(g_installOnce, Install);
  PrepareThread();

  FpControl fp;
  SaveFp(&fp);
  GuardFrame frame;
  frame.previous = t_frame;
  volatile bool completed = false;
  // The signal mask is not saved here (that is a system call on every guarded call); after a
  // fault the one signal the handler blocked is unblocked below.
  if (sigsetjmp(frame.env, 0) == 0) {
    t_frame = &frame;
    try {
      body(context);
      completed = true;
    } catch (...) {
      frame.info = FaultInfo{};
      frame.info.code = kFaultCppException;
    }
  }
  t_frame = frame.previous;
  if (!completed && frame.info.signal) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, frame.info.signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  }
  // Foreign code may have unmasked floating-point traps or changed rounding.
  RestoreFp(fp, !completed);
  if (!completed && fault) *fault = frame.info;
  return completed;
}

bool InsideFaultGuard() { return t_frame != nullptr; }

FaultGuardPause::FaultGuardPause() : saved_(std::exchange(t_frame, nullptr)) {}

FaultGuardPause::~FaultGuardPause() { t_frame = static_cast<GuardFrame *>(saved_); }

}  // namespace tamro
