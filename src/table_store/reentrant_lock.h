// TReentrantLock: the record store's lock. A thread that holds it may take
// it again; it is free once every Enter has been matched by a Leave.
//
// While the lock is standalone (SetStandalone(true)) Enter does nothing and
// returns false. Leave(entered) releases only when its Enter really took the
// lock, so a lock switched to standalone between the two is still released
// the way it was taken. TLockGuard does this pairing for a scope.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace ts {

class TReentrantLock {
 public:
  // Takes the lock (waiting for another thread to let go); returns whether it
  // was taken, which is false while standalone.
  bool Enter() {
    if (Standalone()) return false;
    const uintptr_t me = ThisThread();
    // Only this thread ever stores its own tag here, so seeing it means holding.
    if (owner_.load(std::memory_order_relaxed) == me) {
      ++depth_;
      return true;
    }
    mutex_.lock();
    owner_.store(me, std::memory_order_relaxed);
    depth_ = 1;
    return true;
  }
  // Takes the lock only when that needs no wait; false when another thread
  // holds it or the lock is standalone.
  bool TryEnter();
  // Releases one Enter that returned true; does nothing for false.
  void Leave(bool entered) {
    if (!entered || --depth_ > 0) return;
    owner_.store(0, std::memory_order_relaxed);
    mutex_.unlock();
  }

  bool Standalone() const { return standalone_.load(std::memory_order_relaxed); }
  void SetStandalone(bool value) { standalone_.store(value, std::memory_order_relaxed); }

 private:
  // The owner takes the lock again by counting, without touching the mutex:
  // a post takes it for every field it writes and again inside. For the same
  // reason the owner's tag is the address of a thread-local byte, not a call
  // asking for the thread's id.
  static uintptr_t ThisThread() {
    static thread_local const char tag = 0;
    return reinterpret_cast<uintptr_t>(&tag);
  }

  std::mutex mutex_;
  std::atomic<uintptr_t> owner_{0};  // 0: nobody
  int depth_ = 0;
  std::atomic<bool> standalone_{false};
};

class TLockGuard {
 public:
  explicit TLockGuard(TReentrantLock& lock) : lock_(lock), entered_(lock.Enter()) {}
  ~TLockGuard() { lock_.Leave(entered_); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  TReentrantLock& lock_;
  bool entered_;
};

}  // namespace ts
