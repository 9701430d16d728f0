// Conversion of long texts between the system's code page and UTF-8, piece
// by piece, for values that carry whole blobs (tens of megabytes). The
// whole-string conversions of codepage.h allocate the full converted copy;
// these work buffer to buffer so that the value writer and reader can pass a
// blob through their own small buffers. The mapping is the one of
// codepage.h, and so is the treatment of bad input: each malformed UTF-8
// unit and each character without a byte becomes '?'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ts {

// Bytes of the text's UTF-8 form.
int64_t Cp1251Utf8Size(std::string_view text);

// Writes the UTF-8 form of `n` code-page bytes to `out`, which must have
// room for 3 * n + 3 bytes; returns the bytes written.
size_t EncodeCp1251ToUtf8(const char* in, size_t n, char* out);

// Converts UTF-8 bytes to code-page bytes; `out` must have room for `n`
// bytes. Unless `final` is set, a sequence cut off by the end of the input
// is left unconsumed for the next call. Returns the bytes written and sets
// `consumed` to the input bytes used.
size_t DecodeUtf8ToCp1251(const char* in, size_t n, bool final, char* out, size_t& consumed);

}  // namespace ts
