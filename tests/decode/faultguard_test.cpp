// The fault guard on its own: codes, nesting, threads, and faults outside any guard.
#include "platform/faultguard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>
#include <vector>

namespace tamro {
namespace {

#define NO_SANITIZE __attribute__((noinline, no_sanitize("address", "undefined")))

volatile int g_sink;
volatile bool g_forever = true;

// The addresses pass through a volatile so the compiler sees no constant bad pointer.
NO_SANITIZE void ReadAt(uintptr_t a) {
  volatile uintptr_t at = a;
  g_sink = *reinterpret_cast<volatile int *>(at);
}
NO_SANITIZE int Deep(int n) {
  volatile char frame[1024];
  frame[n % 1024] = static_cast<char>(n);
  if (!g_forever) return 0;
  return Deep(n + 1) + frame[(n + 3) % 1024];
}

// Our own code called back from foreign code runs with the guard paused; once the pause
// ends, a fault of the foreign code is caught again.
TEST(FaultGuardTest, APauseLeavesTheGuardAndComesBack) {
  bool paused = true, resumed = false;
  FaultInfo f;
  EXPECT_FALSE(RunGuarded(
      [&] {
        {
          FaultGuardPause pause;
          paused = InsideFaultGuard();
        }
        resumed = InsideFaultGuard();
        ReadAt(0x60);
      },
      &f));
  EXPECT_FALSE(paused);
  EXPECT_TRUE(resumed);
  EXPECT_EQ(f.dataAddress, 0x60u);
}

// Each kind of fault with its code, address and direction, and work going on afterwards, is
// checked through the decoder host in spifault_test.cpp.
TEST(FaultGuardTest, InnerGuardCatchesItsOwnFault) {
  FaultInfo outer, inner;
  bool innerCaught = false, afterInner = false;
  EXPECT_TRUE(RunGuarded(
      [&] {
        innerCaught = !RunGuarded([] { ReadAt(0x40); }, &inner);
        afterInner = InsideFaultGuard();
      },
      &outer));
  EXPECT_TRUE(innerCaught);
  EXPECT_TRUE(afterInner);
  EXPECT_EQ(inner.dataAddress, 0x40u);
  // A fault after the inner guard ended goes to the outer one.
  EXPECT_FALSE(RunGuarded(
      [&] {
        RunGuarded([] {}, &inner);
        ReadAt(0x50);
      },
      &outer));
  EXPECT_EQ(outer.dataAddress, 0x50u);
}

TEST(FaultGuardTest, ThreadsEachKeepTheirOwnJumpBuffers) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        FaultInfo f;
        const uintptr_t address = 0x100 + static_cast<uintptr_t>(t) * 0x10;
        if (i % 10 == 9) {
          if (RunGuarded([] { g_sink = Deep(0); }, &f) || f.code != kFaultStackOverflow) ++wrong;
        } else if (RunGuarded([&] { ReadAt(address); }, &f) || f.dataAddress != address) {
          ++wrong;
        }
      }
    });
  }
  for (auto &t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(FaultGuardDeathTest, FaultOutsideAGuardStillEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  FaultInfo f;
  RunGuarded([] {}, &f);  // the handlers are installed
  EXPECT_DEATH(ReadAt(0x10), "");
}

}  // namespace
}  // namespace tamro
