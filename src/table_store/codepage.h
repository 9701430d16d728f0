// The system's single-byte code page: Windows-1251 (Cyrillic), made total
// and reversible. Every byte 0x00..0xFF stands for exactly one Unicode code
// point (0x98, which the code page leaves undefined, stands for U+0098), so
// any byte string survives a round trip through UTF-8 or UTF-16 unchanged.
//
// Whole-string conversions are table-driven and meant for large texts (blob
// contents travel through them). Converting back, a code point the code
// page has no byte for, and a malformed UTF-8 / UTF-16 sequence, become '?'
// (one per unmappable character or malformed unit); `lossless` then reads
// false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ts {

// The code point of one byte.
char16_t Cp1251ToUnicode(uint8_t byte);

// The byte of a code point; false when the code page has none.
bool UnicodeToCp1251(char32_t codePoint, uint8_t& byte);

std::string Cp1251ToUtf8(std::string_view bytes);

// Piecewise conversion to UTF-8 for values that carry whole blobs, so that a
// writer can pass them through a small buffer instead of a full copy: the
// bytes of the text's UTF-8 form, and the UTF-8 form of `n` bytes written to
// `out`, which must have room for 3 * n + 3 bytes (returns the bytes written).
int64_t Cp1251Utf8Size(std::string_view text);
size_t EncodeCp1251ToUtf8(const char* in, size_t n, char* out);
std::u16string Cp1251ToUtf16(std::string_view bytes);

std::string Utf8ToCp1251(std::string_view utf8, bool* lossless = nullptr);
std::string Utf16ToCp1251(std::u16string_view utf16, bool* lossless = nullptr);

}  // namespace ts
