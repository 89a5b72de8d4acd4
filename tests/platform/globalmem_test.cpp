#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/globalhandle.h"
#include "platform/globalmem.h"

namespace tamro {
namespace {

TEST(GlobalMem, BlocksAreZeroedLockableAndResizable) {
  HGLOBAL h = GlobalAlloc(GHND, 100);
  ASSERT_NE(h, nullptr);
  EXPECT_LE(reinterpret_cast<std::uintptr_t>(h), 0xFFFFFFFFu);
  EXPECT_EQ(GlobalSize(h), 100u);
  auto *p = static_cast<unsigned char *>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
  std::memset(p, 7, 100);
  EXPECT_EQ(GlobalLockCount(h), 1u);
  EXPECT_EQ(GlobalUnlock(h), 0);

  // Growing keeps the bytes and zero-fills the new tail.
  ASSERT_EQ(GlobalReAlloc(h, 200, GMEM_ZEROINIT), h);
  EXPECT_EQ(GlobalSize(h), 200u);
  p = static_cast<unsigned char *>(GlobalLock(h));
  EXPECT_EQ(std::tuple(p[99], p[100], p[199]), std::tuple(7, 0, 0));
  // A locked block may not move unless the caller allows it.
  EXPECT_EQ(GlobalReAlloc(h, 1 << 20, 0), nullptr);
  EXPECT_EQ(GlobalSize(h), 200u);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMem, FreedAndInventedHandlesAreRefused) {
  HGLOBAL h = GlobalAlloc(GHND, 16);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(GlobalFree(h), nullptr);
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalSize(h), 0u);
  EXPECT_EQ(GlobalFree(h), h);  // a second free is refused, not a double free
  EXPECT_EQ(GlobalReAlloc(h, 32, 0), nullptr);

  // The slot is reused, but the stale handle does not reach the new block.
  HGLOBAL again = GlobalAlloc(GHND, 16);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, h);
  EXPECT_EQ(GlobalLock(h), nullptr);

  for (std::uintptr_t made_up : {std::uintptr_t{1}, std::uintptr_t{0x10}, std::uintptr_t{0xFFFFFFFF},
                                 std::uintptr_t{0x123456789}, reinterpret_cast<std::uintptr_t>(&h)}) {
    HGLOBAL bad = reinterpret_cast<HGLOBAL>(made_up);
    EXPECT_EQ(GlobalLock(bad), nullptr) << made_up;
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(GlobalFree(bad), bad);
  }
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  EXPECT_EQ(LocalFree(again), nullptr);
}

TEST(GlobalMem, OwnerFreesOnceAndReleaseHandsOver) {
  std::size_t before = GlobalLiveBlockCount();
  HGLOBAL kept;
  {
    GlobalHandle a = GlobalHandle::Allocate(10);
    ASSERT_TRUE(a);
    GlobalHandle b = std::move(a);
    EXPECT_FALSE(a);
    EXPECT_EQ(GlobalLiveBlockCount(), before + 1);
    GlobalHandle c = GlobalHandle::Allocate(5);
    kept = c.release();
    {
      GlobalLockGuard lock(b.get());
      ASSERT_TRUE(lock);
      EXPECT_EQ(GlobalLockCount(b.get()), 1u);
    }
    EXPECT_EQ(GlobalLockCount(b.get()), 0u);
  }
  EXPECT_EQ(GlobalLiveBlockCount(), before + 1);
  EXPECT_EQ(GlobalSize(kept), 5u);
  GlobalFree(kept);
  EXPECT_EQ(GlobalLiveBlockCount(), before);
}

TEST(GlobalMem, ManyThreadsAllocateAndFreeWithoutMixingBlocks) {
  std::size_t before = GlobalLiveBlockCount();
  std::vector<std::thread> threads;
  std::atomic<int> errors{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &errors] {
      std::vector<HGLOBAL> mine;
      for (int i = 0; i < 2000; ++i) {
        HGLOBAL h = GlobalAlloc(GHND, 8);
        auto *p = static_cast<int *>(GlobalLock(h));
        p[0] = t;
        p[1] = i;
        GlobalUnlock(h);
        mine.push_back(h);
        if (i % 3 == 0) {
          HGLOBAL f = mine[mine.size() / 2];
          auto *q = static_cast<int *>(GlobalLock(f));
          if (!q || q[0] != t) errors++;
          GlobalUnlock(f);
          GlobalFree(f);
          mine.erase(mine.begin() + static_cast<long>(mine.size() / 2));
        }
      }
      for (HGLOBAL h : mine) GlobalFree(h);
    });
  }
  for (auto &th : threads) th.join();
  EXPECT_EQ(errors.load(), 0);
  EXPECT_EQ(GlobalLiveBlockCount(), before);
}

}  // namespace
}  // namespace tamro
