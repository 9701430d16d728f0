// Conversion of long texts from the system's code page to UTF-8, piece by
// piece, for values that carry whole blobs (tens of megabytes). The
// whole-string conversion of codepage.h allocates the full converted copy;
// these work buffer to buffer so that the value writer can pass a blob
// through its own small buffer. The mapping is the one of codepage.h; the
// way back is utf8_decoder.h.
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

}  // namespace ts
