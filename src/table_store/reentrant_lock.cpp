#include "table_store/reentrant_lock.h"

namespace ts {

bool TReentrantLock::TryEnter() {
  if (Standalone()) return false;
  const uintptr_t me = ThisThread();
  if (owner_.load(std::memory_order_relaxed) == me) {
    ++depth_;
    return true;
  }
  if (!mutex_.try_lock()) return false;
  owner_.store(me, std::memory_order_relaxed);
  depth_ = 1;
  return true;
}

}  // namespace ts
