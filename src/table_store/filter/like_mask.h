// The like pattern of filter expressions: "*" any run of characters, "?"
// one character, "[...]" one character of a set of characters and ranges
// ("a-f"), "[!...]" one character outside it; anything else stands for
// itself. Letters a-z match their capitals and nothing else folds.
#pragma once

#include <string_view>

namespace ts::filter {

// Raises EMaskException "'%s' is an invalid mask at (%d)" (1-based
// position) for more than 30 stars, a range without its first character
// or a set without its closing bracket.
void CheckMask(std::string_view mask);

// Whether `text` matches a mask that CheckMask accepted.
bool MatchesMask(std::string_view text, std::string_view mask);

}  // namespace ts::filter
