#include "table_store/filter/like_mask.h"

#include "table_store/filter/filter_errors.h"
#include "table_store/filter/filter_messages.h"
#include "table_store/filter/text_case.h"
#include "table_store/messages.h"

namespace ts::filter {

namespace {

constexpr int kMaxStars = 30;

[[noreturn]] void InvalidMask(std::string_view mask, size_t position) {
  throw EMaskException(FormatMessage(msg::kFilterInvalidMask, {mask, static_cast<int64_t>(position + 1)}));
}

// Whether `c` (already folded) is in the set that starts after the "[" at
// `p`; `p` moves past the closing bracket.
bool InSet(std::string_view mask, size_t& p, char c) {
  bool negate = false;
  if (p < mask.size() && mask[p] == '!') {
    negate = true;
    ++p;
  }
  bool found = false;
  while (p < mask.size() && mask[p] != ']') {
    const char low = UpperLatinChar(mask[p]);
    if (p + 2 < mask.size() && mask[p + 1] == '-' && mask[p + 2] != ']') {
      const char high = UpperLatinChar(mask[p + 2]);
      const auto u = static_cast<unsigned char>(c);
      if (u >= static_cast<unsigned char>(low) && u <= static_cast<unsigned char>(high)) found = true;
      p += 3;
    } else {
      if (c == low) found = true;
      ++p;
    }
  }
  ++p;  // the closing bracket
  return found != negate;
}

}  // namespace

void CheckMask(std::string_view mask) {
  int stars = 0;
  for (size_t p = 0; p < mask.size(); ++p) {
    if (mask[p] == '*') {
      if (++stars > kMaxStars) InvalidMask(mask, p);
    } else if (mask[p] == '[') {
      const size_t open = p++;
      if (p < mask.size() && mask[p] == '!') ++p;
      if (p < mask.size() && mask[p] == '-') InvalidMask(mask, p);
      while (p < mask.size() && mask[p] != ']') ++p;
      if (p >= mask.size()) InvalidMask(mask, open);
    }
  }
}

bool MatchesMask(std::string_view text, std::string_view mask) {
  size_t t = 0, p = 0;
  size_t starMask = std::string_view::npos, starText = 0;
  while (t < text.size()) {
    if (p < mask.size() && mask[p] == '*') {
      starMask = ++p;
      starText = t;
      continue;
    }
    if (p < mask.size()) {
      const char c = UpperLatinChar(text[t]);
      size_t next = p + 1;
      bool one = false;
      if (mask[p] == '?') {
        one = true;
      } else if (mask[p] == '[') {
        one = InSet(mask, next, c);
      } else {
        one = UpperLatinChar(mask[p]) == c;
      }
      if (one) {
        p = next;
        ++t;
        continue;
      }
    }
    if (starMask == std::string_view::npos) return false;
    p = starMask;
    t = ++starText;
  }
  while (p < mask.size() && mask[p] == '*') ++p;
  return p == mask.size();
}

}  // namespace ts::filter
