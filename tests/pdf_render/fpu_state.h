// Reading and setting the floating-point control state from the tests.
#pragma once

#include <cstdint>
#include <fenv.h>

struct FpuState {
  std::uint16_t x87 = 0;
  std::uint32_t mxcsrControl = 0; // without the exception flags
  bool operator==(const FpuState &) const = default;
};

inline FpuState CurrentFpuState() {
  FpuState state;
#if defined(__x86_64__) || defined(__i386__)
  std::uint32_t mxcsr = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(state.x87));
  __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr));
  state.mxcsrControl = mxcsr & ~0x3Fu;
#else
  state.x87 = static_cast<std::uint16_t>(fegetround());
  state.mxcsrControl = static_cast<std::uint32_t>(fegetexcept());
#endif
  return state;
}

// Rounding toward zero, division by zero unmasked: far from the defaults, so
// a guard that forgets to restore shows.
inline void SetUnusualFpuState() {
#if defined(__x86_64__) || defined(__i386__)
  const std::uint16_t x87 = 0x0F7B; // round toward zero, zero-divide unmasked
  const std::uint32_t mxcsr = 0x7D80;   // round toward zero, zero-divide unmasked
  __asm__ __volatile__("fnclex");
  __asm__ __volatile__("fldcw %0" : : "m"(x87));
  __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr));
#else
  fesetround(FE_TOWARDZERO);
  feenableexcept(FE_DIVBYZERO);
#endif
}

inline void SetDefaultFpuState() {
#if defined(__x86_64__) || defined(__i386__)
  const std::uint16_t x87 = 0x037F;
  const std::uint32_t mxcsr = 0x1F80;
  __asm__ __volatile__("fnclex");
  __asm__ __volatile__("fldcw %0" : : "m"(x87));
  __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr));
#else
  fesetenv(FE_DFL_ENV);
#endif
}

// True when invalid operation, denormal operand and division by zero are all
// masked.
inline bool ThreeExceptionsMasked() {
#if defined(__x86_64__) || defined(__i386__)
  const FpuState state = CurrentFpuState();
  return (state.x87 & 0x7) == 0x7 && (state.mxcsrControl & 0x380) == 0x380;
#else
  return (fegetexcept() & (FE_INVALID | FE_DIVBYZERO)) == 0;
#endif
}
