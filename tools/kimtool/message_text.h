// The table store's messages as kimtool shows them.
#pragma once

#include <string>

namespace kim {

// A value quoted in `message` ('...', or (...) where no quoted value is
// long) may be a whole blob of a damaged file: only its head is kept, with
// the value's length in characters after it. `message` is UTF-8.
std::string ShortenQuotedValue(const std::string& message);

}  // namespace kim
