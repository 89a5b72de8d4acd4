#pragma once

#include <cstddef>
#include <utility>

#include "platform/globalmem.h"

namespace tamro {

// Owns one global-memory handle: frees it on destruction unless released.
class GlobalHandle {
 public:
  GlobalHandle() = default;
  explicit GlobalHandle(HGLOBAL h) : h_(h) {}
  GlobalHandle(const GlobalHandle &) = delete;
  GlobalHandle &operator=(const GlobalHandle &) = delete;
  GlobalHandle(GlobalHandle &&o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  GlobalHandle &operator=(GlobalHandle &&o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, nullptr));
    return *this;
  }
  ~GlobalHandle() { reset(); }

  // Allocates a zero-filled movable block; empty on failure.
  static GlobalHandle Allocate(std::size_t bytes) { return GlobalHandle(GlobalAlloc(GHND, bytes)); }

  HGLOBAL get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  std::size_t size() const { return h_ ? GlobalSize(h_) : 0; }
  HGLOBAL release() { return std::exchange(h_, nullptr); }
  void reset(HGLOBAL h = nullptr) {
    if (h_ && h_ != h) GlobalFree(h_);
    h_ = h;
  }

 private:
  HGLOBAL h_ = nullptr;
};

// Keeps a block locked for a scope.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL h) : h_(h), p_(h ? GlobalLock(h) : nullptr) {}
  GlobalLockGuard(const GlobalLockGuard &) = delete;
  GlobalLockGuard &operator=(const GlobalLockGuard &) = delete;
  ~GlobalLockGuard() {
    if (p_) GlobalUnlock(h_);
  }
  void *get() const { return p_; }
  template <class T>
  T *as() const { return static_cast<T *>(p_); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  HGLOBAL h_;
  void *p_;
};

}  // namespace tamro
