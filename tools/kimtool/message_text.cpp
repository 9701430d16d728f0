#include "message_text.h"

#include <utility>

namespace kim {

std::string ShortenQuotedValue(const std::string& message) {
  constexpr size_t kHead = 40;
  // Values shorter than this are shown whole: cutting them saves little.
  constexpr size_t kLongest = kHead + 20;
  for (const auto& [open, close] : {std::pair{'\'', '\''}, std::pair{'(', ')'}}) {
    // From the first opening to the last closing mark: the value itself may
    // hold the marks.
    const size_t first = message.find(open);
    const size_t last = message.rfind(close);
    if (first == std::string::npos || last == std::string::npos || last <= first) continue;
    // Counted in characters: one for each byte of the table's code page.
    size_t length = 0;
    for (size_t i = first + 1; i < last; ++i) length += (static_cast<unsigned char>(message[i]) & 0xC0) != 0x80;
    if (length <= kLongest) continue;
    size_t cut = first + 1 + kHead;
    // Not inside a UTF-8 sequence.
    while (cut > first + 1 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80) --cut;
    return message.substr(0, cut) + "..." + close + " (" + std::to_string(length) + " characters)" +
           message.substr(last + 1);
  }
  return message;
}

}  // namespace kim
