#include "pdf_render/fpu_guard.h"

#if defined(__x86_64__) || defined(__i386__)

namespace {

// Invalid operation, denormal operand, division by zero.
constexpr std::uint16_t kX87Masks = 0x0007;
constexpr std::uint32_t kSseMasks = 0x0380;

} // namespace

void MaskFpuExceptions(TFpuControlState &Saved) {
  std::uint16_t x87 = 0;
  std::uint32_t mxcsr = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(x87));
  __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr));
  Saved.X87 = x87;
  Saved.Mxcsr = mxcsr;
  const std::uint16_t maskedX87 = x87 | kX87Masks;
  const std::uint32_t maskedMxcsr = mxcsr | kSseMasks;
  __asm__ __volatile__("fldcw %0" : : "m"(maskedX87));
  __asm__ __volatile__("ldmxcsr %0" : : "m"(maskedMxcsr));
}

void RestoreFpuControlWord(const TFpuControlState &Saved) {
  const std::uint16_t x87 = Saved.X87;
  const std::uint32_t mxcsr = Saved.Mxcsr;
  __asm__ __volatile__("fnclex");
  __asm__ __volatile__("fldcw %0" : : "m"(x87));
  __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr));
}

#else

void MaskFpuExceptions(TFpuControlState &Saved) {
  fegetenv(&Saved.Env);
#if defined(__GLIBC__)
  fedisableexcept(FE_INVALID | FE_DIVBYZERO);
#endif
}

void RestoreFpuControlWord(const TFpuControlState &Saved) {
  feclearexcept(FE_ALL_EXCEPT);
  fesetenv(&Saved.Env);
}

#endif
