// The one decoder from UTF-8 to the system's code page (codepage.h), for
// texts of any length and for texts that arrive in pieces. Blob contents of
// tens of megabytes travel through it, so it runs a vector path over runs of
// the sequences that the code page's own text gives (one, two and three
// bytes) and steps one sequence at a time only where the vector path stops
// (other characters, bad input, the last few bytes).
//
// Each malformed UTF-8 unit and each character without a byte becomes '?'.
#pragma once

#include <cstddef>

namespace ts {

struct TUtf8Decoded {
  size_t written = 0;     // code-page bytes written to `out`
  size_t consumed = 0;    // input bytes used
  bool replaced = false;  // some input became '?'
};

// Converts `n` UTF-8 bytes; `out` must have room for `n` bytes. Unless
// `final` is set, a sequence cut off by the end of the input is left
// unconsumed for the next call.
TUtf8Decoded DecodeUtf8ToCp1251(const char* in, size_t n, bool final, char* out);

// The ways the decoder can run: one sequence at a time (the reference that
// the others must match byte for byte), or with the vector path 16, 32 or
// 64 bytes at a time where the processor has the vector unit for it. The
// one above takes the widest at hand.
enum class TUtf8DecoderPath { Stepwise, Vector16, Vector32, Vector64 };
bool Utf8DecoderPathAvailable(TUtf8DecoderPath path);
// The same conversion on the given path, which must be available.
TUtf8Decoded DecodeUtf8ToCp1251On(TUtf8DecoderPath path, const char* in, size_t n, bool final, char* out);

}  // namespace ts
