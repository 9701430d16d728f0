#include "table_store/binary_format/text_transcoder.h"

#include <array>
#include <cstring>
#include <memory>

#include "table_store/codepage.h"

namespace ts {

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ull;

// The UTF-8 bytes of every code-page byte (packed little-endian into a
// word, with their count), derived once from the code page.
struct TTables {
  std::array<uint32_t, 256> utf8{};
  std::array<uint8_t, 256> utf8Length{};

  TTables() {
    for (unsigned b = 0; b < 256; ++b) {
      const unsigned cp = Cp1251ToUnicode(static_cast<uint8_t>(b));
      if (cp < 0x80) {
        utf8[b] = cp;
        utf8Length[b] = 1;
      } else if (cp < 0x800) {
        utf8[b] = (0xC0 | (cp >> 6)) | ((0x80 | (cp & 0x3F)) << 8);
        utf8Length[b] = 2;
      } else {
        utf8[b] = (0xE0 | (cp >> 12)) | ((0x80 | ((cp >> 6) & 0x3F)) << 8) |
                  ((0x80 | (cp & 0x3F)) << 16);
        utf8Length[b] = 3;
      }
    }
  }
};

const TTables& Tables() {
  static const std::unique_ptr<TTables> tables = std::make_unique<TTables>();
  return *tables;
}

inline uint64_t Load8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

}  // namespace

int64_t Cp1251Utf8Size(std::string_view text) {
  const TTables& t = Tables();
  const char* p = text.data();
  size_t n = text.size();
  int64_t total = 0;
  while (n > 0) {
    if (n >= 8 && (Load8(p) & kHighBits) == 0) {
      p += 8, n -= 8, total += 8;
      continue;
    }
    total += t.utf8Length[static_cast<uint8_t>(*p)];
    ++p, --n;
  }
  return total;
}

size_t EncodeCp1251ToUtf8(const char* in, size_t n, char* out) {
  const TTables& t = Tables();
  char* const start = out;
  size_t i = 0;
  while (i < n) {
    if (i + 8 <= n && (Load8(in + i) & kHighBits) == 0) {
      std::memcpy(out, in + i, 8);
      out += 8, i += 8;
      continue;
    }
    const uint8_t b = static_cast<uint8_t>(in[i++]);
    std::memcpy(out, &t.utf8[b], 4);  // little-endian word; the spare bytes are overwritten later
    out += t.utf8Length[b];
  }
  return static_cast<size_t>(out - start);
}

}  // namespace ts
