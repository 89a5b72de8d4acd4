// The fault guard on its own: nesting, pauses, and faults outside any guard.
#include "platform/faultguard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

namespace tamro {
namespace {

#define NO_SANITIZE __attribute__((noinline, no_sanitize("address", "undefined")))

volatile int g_sink;

// The addresses pass through a volatile so the compiler sees no constant bad pointer.
NO_SANITIZE void ReadAt(uintptr_t a) {
  volatile uintptr_t at = a;
  g_sink = *reinterpret_cast<volatile int *>(at);
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
  EXPECT_EQ(std::tuple(paused, resumed, f.dataAddress), std::tuple(false, true, 0x60u));
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
  EXPECT_EQ(std::tuple(innerCaught, afterInner, inner.dataAddress), std::tuple(true, true, 0x40u));
  // A fault after the inner guard ended goes to the outer one.
  EXPECT_FALSE(RunGuarded(
      [&] {
        RunGuarded([] {}, &inner);
        ReadAt(0x50);
      },
      &outer));
  EXPECT_EQ(outer.dataAddress, 0x50u);
}

// Threads faulting at the same time, each into its own guard: spifault_test.cpp.
TEST(FaultGuardDeathTest, FaultOutsideAGuardStillEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  FaultInfo f;
  RunGuarded([] {}, &f);  // the handlers are installed
  EXPECT_DEATH(ReadAt(0x10), "");
}

}  // namespace
}  // namespace tamro
