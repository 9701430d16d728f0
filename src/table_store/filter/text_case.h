// Upper- and lower-casing of code-page text for filter expressions: by the
// a-z rule (only the Latin letters change) and by a locale's rules (every
// letter the code page holds, through ICU).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace ts::filter {

// The upper-case byte of every byte of the code page under one locale; a
// letter whose capital the code page lacks keeps its byte.
using TCaseMap = std::array<uint8_t, 256>;
const TCaseMap& LocaleUpperMap(uint32_t localeId);

void ApplyCaseMap(std::string& text, const TCaseMap& map);
void UpperLatin(std::string& text);
void LowerLatin(std::string& text);

inline char UpperLatinChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace ts::filter
