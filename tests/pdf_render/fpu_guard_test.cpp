#include "pdf_render/fpu_guard.h"

#include "fpu_state.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class FpuGuardTest : public ::testing::Test {
protected:
  void TearDown() override { SetDefaultFpuState(); }
};

} // namespace

TEST_F(FpuGuardTest, MasksTheThreeExceptionsAndRestoresTheCallersState) {
  SetUnusualFpuState();
  const FpuState before = CurrentFpuState();
  ASSERT_FALSE(ThreeExceptionsMasked());
  {
    TFpuExceptionMask guard;
    EXPECT_TRUE(ThreeExceptionsMasked());
    // Rounding is the caller's business; only the masks change.
    EXPECT_EQ(fegetround(), FE_TOWARDZERO);
    volatile double zero = 0;
    volatile double quotient = 1 / zero; // would trap without the guard
    (void)quotient;
  }
  EXPECT_EQ(CurrentFpuState(), before);
}

TEST_F(FpuGuardTest, RestoresWhenTheGuardedCodeThrowsOrChangesTheState) {
  SetUnusualFpuState();
  const FpuState before = CurrentFpuState();
  auto guarded = [] {
    TFpuExceptionMask guard;
    SetDefaultFpuState(); // as a library that sets its own state would
    fesetround(FE_UPWARD);
    volatile double zero = 0;
    volatile double quotient = 1 / zero; // leaves a pending flag behind
    (void)quotient;
    throw std::runtime_error("failed inside");
  };
  EXPECT_THROW(guarded(), std::runtime_error);
  EXPECT_EQ(CurrentFpuState(), before);
  // The next operation runs with division by zero unmasked again.
  SetDefaultFpuState();
}
