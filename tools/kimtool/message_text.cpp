#include "message_text.h"

#include <utility>

namespace kim {

namespace {

constexpr size_t kHead = 40;

bool StartsCharacter(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

// The characters of `text` from `from` to `end`.
size_t CharacterCount(const std::string& text, size_t from, size_t end) {
  size_t count = 0;
  for (size_t i = from; i < end; ++i) count += StartsCharacter(text[i]);
  return count;
}

// Where the character after the first `count` from `from` starts, or `end`.
size_t AfterCharacters(const std::string& text, size_t from, size_t end, size_t count) {
  size_t i = from;
  for (size_t seen = 0; i < end; ++i) {
    if (StartsCharacter(text[i]) && seen++ == count) break;
  }
  return i;
}

}  // namespace

std::string TextHead(const std::string& text) {
  const size_t cut = AfterCharacters(text, 0, text.size(), kHead);
  return cut == text.size() ? text : text.substr(0, cut) + "...";
}

std::string ShortenQuotedValue(const std::string& message) {
  // Values shorter than this are shown whole: cutting them saves little.
  constexpr size_t kLongest = kHead + 20;
  for (const auto& [open, close] : {std::pair{'\'', '\''}, std::pair{'(', ')'}}) {
    // From the first opening to the last closing mark: the value itself may
    // hold the marks.
    const size_t first = message.find(open);
    const size_t last = message.rfind(close);
    if (first == std::string::npos || last == std::string::npos || last <= first) continue;
    // Counted in characters, as the table's code page has one byte for each.
    const size_t length = CharacterCount(message, first + 1, last);
    if (length <= kLongest) continue;
    const size_t cut = AfterCharacters(message, first + 1, last, kHead);
    return message.substr(0, cut) + "..." + close + " (" + std::to_string(length) + " characters)" +
           message.substr(last + 1);
  }
  return message;
}

}  // namespace kim
