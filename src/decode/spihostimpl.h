#pragma once

// The decoder host's private state, shared by the files that implement CSpiHost.
// Nothing outside src/decode includes this.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "decode/builtin/builtin.h"
#include "decode/spihost.h"

namespace tamro {

class Profile;

namespace spidetail {

constexpr const char *kSection = "SPI";
constexpr int kBuiltinCount = builtin::kLast - builtin::kFirst + 1;
constexpr int kMacBinarySkip = 128;
constexpr int kMacBinaryTries = 4;

inline int DefaultProgress(int, int, long) { return 0; }

inline bool IsBuiltin(int position) { return position >= builtin::kFirst && position <= builtin::kLast; }

// Built-ins the accessors know; MPEG is governed by its switch alone.
inline bool IsAccessibleBuiltin(int position) {
  return position >= builtin::kFirst && position < builtin::kMpeg;
}

inline bool IsFd(uintptr_t data) { return SPI_DATA_IS_FD(data); }

// Holds the module's own lock for one call, unless the module runs calls side by side.
class ModuleCall {
 public:
  explicit ModuleCall(CSpiPlugin &p) : lock_(p.threadSafe ? nullptr : &p.callLock) {
    if (lock_) lock_->lock();
  }
  ~ModuleCall() {
    if (lock_) lock_->unlock();
  }
  ModuleCall(const ModuleCall &) = delete;
  ModuleCall &operator=(const ModuleCall &) = delete;

 private:
  std::recursive_mutex *lock_;
};

// Readers and writers, re-entrant for one thread: a thread that holds it exclusively may
// also read, and readers nest. A reader cannot become a writer (it would wait for itself),
// so a change requested from inside a running call is refused instead. A waiting writer
// stops new readers from coming in, so a busy decoding thread cannot starve a change.
class HostLock {
 public:
  void LockShared() {
    if (owner_.load() == std::this_thread::get_id()) {
      ++exclusiveDepth_;
      return;
    }
    if (Adjust(+1) > 1) return;  // already reading on this thread
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [&] { return !writing_ && writersWaiting_ == 0; });
    ++readers_;
  }
  void UnlockShared() {
    if (owner_.load() == std::this_thread::get_id()) {
      --exclusiveDepth_;
      return;
    }
    if (Adjust(-1) > 0) return;
    std::lock_guard<std::mutex> hold(mutex_);
    if (--readers_ == 0) changed_.notify_all();
  }
  bool LockExclusive() {
    const auto me = std::this_thread::get_id();
    if (owner_.load() == me) {
      ++exclusiveDepth_;
      return true;
    }
    if (Adjust(0) > 0) return false;
    std::unique_lock<std::mutex> hold(mutex_);
    ++writersWaiting_;
    changed_.wait(hold, [&] { return !writing_ && readers_ == 0; });
    --writersWaiting_;
    writing_ = true;
    owner_.store(me);
    exclusiveDepth_ = 1;
    return true;
  }
  void UnlockExclusive() {
    if (--exclusiveDepth_ > 0) return;
    std::lock_guard<std::mutex> hold(mutex_);
    owner_.store(std::thread::id());
    writing_ = false;
    changed_.notify_all();
  }

 private:
  // This thread's reader depth on this lock after adding `delta`.
  int Adjust(int delta) {
    thread_local std::vector<std::pair<const HostLock *, int>> held;
    for (auto it = held.begin(); it != held.end(); ++it) {
      if (it->first != this) continue;
      const int depth = it->second += delta;
      if (depth == 0) held.erase(it);
      return depth;
    }
    if (delta <= 0) return 0;
    held.emplace_back(this, delta);
    return delta;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  int readers_ = 0;
  int writersWaiting_ = 0;
  bool writing_ = false;
  std::atomic<std::thread::id> owner_{};
  int exclusiveDepth_ = 0;
};

class SharedHold {
 public:
  explicit SharedHold(HostLock &lock) : lock_(lock) { lock_.LockShared(); }
  ~SharedHold() { lock_.UnlockShared(); }
  SharedHold(const SharedHold &) = delete;
  SharedHold &operator=(const SharedHold &) = delete;

 private:
  HostLock &lock_;
};

class ExclusiveHold {
 public:
  explicit ExclusiveHold(HostLock &lock) : lock_(lock), held_(lock.LockExclusive()) {}
  ~ExclusiveHold() {
    if (held_) lock_.UnlockExclusive();
  }
  explicit operator bool() const { return held_; }
  ExclusiveHold(const ExclusiveHold &) = delete;
  ExclusiveHold &operator=(const ExclusiveHold &) = delete;

 private:
  HostLock &lock_;
  bool held_;
};

// The source a decoder gets: what the caller passed, or a memory image of the file.
struct Source {
  const char *data;
  long lengthOrOffset;
  unsigned flags;
};

// Loading a module and reading what it tells about itself (spiload.cpp).
// Loads a module under the guard. Null with *faulted set when its start-up faulted.
void *LoadDLL(const std::string &path, bool *faulted, std::string *error);
// Resolves the entry points. False when the module faulted (it is then unloaded).
bool SetInstance(CSpiPlugin &p);
// Entries 1, 0 and 3, then 2, 4, 6, ... until the plug-in answers 0.
void ReadInfoStrings(CSpiPlugin &p);
std::string InfoEntry(const CSpiPlugin &p, int entry);
// A stored flags word; a plug-in the set does not mention is used (spisets.cpp).
uint32_t StoredFlags(const Profile &profile, const std::string &section, const std::string &name);

}  // namespace spidetail

// ---- host state ----

struct CSpiHost::Impl {
  mutable spidetail::HostLock lock;
  std::vector<std::unique_ptr<CSpiPlugin>> pictures, archives;
  mutable std::mutex recentMutex;
  std::vector<CSpiPlugin *> pictureRecent, archiveRecent;

  std::atomic<int> macBinCheck{0}, fastJpeg{0}, pluginExt{0}, dynamicLoading{0};
  std::atomic<int> builtinUse[spidetail::kBuiltinCount];
  std::atomic<int> builtinFileOnly[spidetail::kBuiltinCount];
  bool switchesLoaded = false;

  std::function<bool()> shiftQuery;

  Impl() { ApplySwitches(SpiSwitches{}); }

  // spisets.cpp
  void ApplySwitches(const SpiSwitches &s);
  SpiSwitches CurrentSwitches() const;
  int FindPictureByName(std::string_view name) const;
  void AddViewSpi(CSpiPlugin *archive, CSpiPlugin *picture);
  void ClearViewSpi(CSpiPlugin *archive);

  const std::vector<std::unique_ptr<CSpiPlugin>> &List(int kind) const {
    return kind == kSpiArchive ? archives : pictures;
  }
  CSpiPlugin *Plugin(int position, int kind) const {
    const auto &list = List(kind);
    if (position < 0 || static_cast<std::size_t>(position) >= list.size()) return nullptr;
    return list[static_cast<std::size_t>(position)].get();
  }

  void MoveToFront(CSpiPlugin *plugin, int kind) {
    std::lock_guard<std::mutex> hold(recentMutex);
    auto &recent = kind == kSpiArchive ? archiveRecent : pictureRecent;
    auto it = std::find(recent.begin(), recent.end(), plugin);
    if (it != recent.end()) std::rotate(recent.begin(), it, it + 1);
  }
  std::vector<CSpiPlugin *> RecentSnapshot(int kind) const {
    std::lock_guard<std::mutex> hold(recentMutex);
    return kind == kSpiArchive ? archiveRecent : pictureRecent;
  }

  // spicall.cpp
  bool FileOnly(int position, int kind) const;
  void MarkFileOnly(int position, int kind);
  template <class Call>
  int CallWithSource(int position, int kind, const spidetail::Source &given, bool macBinaryRetry,
                     Call &&call);
};

}  // namespace tamro
