// Guard for calls into the PDF library: its rasteriser must not trap on
// invalid operations, denormal operands or division by zero, whatever the
// caller has unmasked. The caller's floating-point control state comes back
// afterwards, also when the guarded code throws.
#pragma once

#include <cstdint>

#if !(defined(__x86_64__) || defined(__i386__))
#include <fenv.h>
#endif

struct TFpuControlState {
#if defined(__x86_64__) || defined(__i386__)
  std::uint16_t X87 = 0;   // x87 control word
  std::uint32_t Mxcsr = 0; // SSE control and status register
#else
  fenv_t Env{};
#endif
};

// Stores the current control state in Saved and masks the three exceptions.
void MaskFpuExceptions(TFpuControlState &Saved);

// Loads Saved back; pending x87 exception flags are cleared first so that
// loading a word that unmasks them cannot trap.
void RestoreFpuControlWord(const TFpuControlState &Saved);

class TFpuExceptionMask {
public:
  TFpuExceptionMask() { MaskFpuExceptions(FSaved); }
  ~TFpuExceptionMask() { RestoreFpuControlWord(FSaved); }
  TFpuExceptionMask(const TFpuExceptionMask &) = delete;
  TFpuExceptionMask &operator=(const TFpuExceptionMask &) = delete;

private:
  TFpuControlState FSaved;
};
