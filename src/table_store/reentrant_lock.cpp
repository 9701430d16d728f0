#include "table_store/reentrant_lock.h"

namespace ts {

bool TReentrantLock::Enter() {
  if (Standalone()) return false;
  const std::thread::id me = std::this_thread::get_id();
  // Only this thread ever stores its own id here, so seeing it means holding.
  if (owner_.load(std::memory_order_relaxed) == me) {
    ++depth_;
    return true;
  }
  mutex_.lock();
  owner_.store(me, std::memory_order_relaxed);
  depth_ = 1;
  return true;
}

bool TReentrantLock::TryEnter() {
  if (Standalone()) return false;
  const std::thread::id me = std::this_thread::get_id();
  if (owner_.load(std::memory_order_relaxed) == me) {
    ++depth_;
    return true;
  }
  if (!mutex_.try_lock()) return false;
  owner_.store(me, std::memory_order_relaxed);
  depth_ = 1;
  return true;
}

void TReentrantLock::Leave(bool entered) {
  if (!entered || --depth_ > 0) return;
  owner_.store(std::thread::id(), std::memory_order_relaxed);
  mutex_.unlock();
}

}  // namespace ts
