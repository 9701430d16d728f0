#include "table_store/reentrant_lock.h"

namespace ts {

bool TReentrantLock::Enter() {
  if (Standalone()) return false;
  mutex_.lock();
  return true;
}

bool TReentrantLock::TryEnter() {
  if (Standalone()) return false;
  return mutex_.try_lock();
}

void TReentrantLock::Leave(bool entered) {
  if (entered) mutex_.unlock();
}

}  // namespace ts
