// The table store's messages as kimtool shows them.
#pragma once

#include <string>

namespace kim {

// The first 40 characters of UTF-8 `text`, with "..." after them when there
// are more; a character is never cut in two.
std::string TextHead(const std::string& text);

// A value quoted in `message` ('...', or (...) where no quoted value is
// long) may be a whole blob of a damaged file: only its head (as TextHead
// keeps it) is kept, with the value's length in characters after it.
// `message` is UTF-8.
std::string ShortenQuotedValue(const std::string& message);

}  // namespace kim
