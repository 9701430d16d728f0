#include "table_store/reentrant_lock.h"

#include <gtest/gtest.h>

#include <thread>

namespace ts {
namespace {

bool OtherThreadCanEnter(TReentrantLock& lock) {
  bool entered = false;
  std::thread t([&] {
    entered = lock.TryEnter();
    lock.Leave(entered);
  });
  t.join();
  return entered;
}

TEST(ReentrantLockTest, HolderMayEnterAgainAndOthersWaitUntilAllLeft) {
  TReentrantLock lock;
  const bool first = lock.Enter();
  const bool second = lock.Enter();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
  EXPECT_FALSE(OtherThreadCanEnter(lock));
  lock.Leave(second);
  EXPECT_FALSE(OtherThreadCanEnter(lock));  // still held once
  lock.Leave(first);
  EXPECT_TRUE(OtherThreadCanEnter(lock));
}

TEST(ReentrantLockTest, StandaloneTakesNothing) {
  TReentrantLock lock;
  lock.SetStandalone(true);
  EXPECT_FALSE(lock.Enter());
  EXPECT_FALSE(lock.TryEnter());
  lock.SetStandalone(false);
  EXPECT_TRUE(OtherThreadCanEnter(lock));
}

TEST(ReentrantLockTest, ReleasedTheWayItWasTakenAcrossASwitch) {
  TReentrantLock lock;
  {
    TLockGuard guard(lock);     // taken for real
    lock.SetStandalone(true);   // switched while held
  }                             // must still be released
  lock.SetStandalone(false);
  EXPECT_TRUE(OtherThreadCanEnter(lock));
  lock.SetStandalone(true);
  {
    TLockGuard guard(lock);     // not taken
    lock.SetStandalone(false);
  }                             // must not release what it never took
  EXPECT_TRUE(OtherThreadCanEnter(lock));
}

}  // namespace
}  // namespace ts
