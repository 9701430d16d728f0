#include "table_store/binary_format/text_transcoder.h"

#include <array>
#include <cstring>
#include <memory>

#include "table_store/codepage.h"

namespace ts {

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Tables derived once from the code page: the UTF-8 bytes of every code-page
// byte (packed little-endian into a word, with their count), and the byte of
// every BMP code point (byte + 1, 0 when the code page has none).
struct TTables {
  std::array<uint32_t, 256> utf8{};
  std::array<uint8_t, 256> utf8Length{};
  std::array<uint16_t, 0x10000> byteOf{};

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
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
      uint8_t b = 0;
      if (UnicodeToCp1251(cp, b)) byteOf[cp] = static_cast<uint16_t>(b + 1);
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

inline bool IsContinuation(uint8_t c) { return (c & 0xC0) == 0x80; }

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

namespace {

// One step of the general decoder at in[i]: emits one byte (the character's
// or '?') and returns the input bytes used, or returns 0 when the sequence
// is cut off by the end of the input and more is to come.
size_t DecodeOne(const uint8_t* s, size_t i, size_t n, bool final, const TTables& t, char*& out) {
  const uint8_t c = s[i];
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
    return 1;
  }
  size_t len;
  char32_t cp;
  char32_t min;
  if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    *out++ = '?';  // a stray continuation byte or an invalid lead
    return 1;
  }
  if (i + len > n) {
    if (!final) return 0;
    *out++ = '?';
    return 1;
  }
  bool ok = true;
  for (size_t k = 1; k < len && ok; ++k) {
    ok = IsContinuation(s[i + k]);
    cp = (cp << 6) | (s[i + k] & 0x3F);
  }
  if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    *out++ = '?';
    return 1;
  }
  const uint16_t entry = cp < 0x10000 ? t.byteOf[cp] : 0;
  *out++ = entry ? static_cast<char>(entry - 1) : '?';
  return len;
}

// Sequence length by lead byte for the fast path: 1 to 3, or 0 for what the
// fast path leaves to the general step (continuation bytes, leads of
// overlong two-byte forms, four-byte leads, invalid leads).
constexpr std::array<uint8_t, 256> BuildFastLength() {
  std::array<uint8_t, 256> len{};
  for (unsigned c = 0; c < 0x80; ++c) len[c] = 1;
  for (unsigned c = 0xC2; c < 0xE0; ++c) len[c] = 2;
  for (unsigned c = 0xE0; c < 0xF0; ++c) len[c] = 3;
  return len;
}
constexpr std::array<uint8_t, 256> kFastLength = BuildFastLength();
constexpr uint32_t kLeadMask[4] = {0, 0x7F, 0x1F, 0x0F};
// The bytes after a lead (second in the low byte) that must be continuations.
constexpr uint32_t kTailMask[4] = {0, 0, 0xC0, 0xC0C0};
constexpr uint32_t kTailBits[4] = {0, 0, 0x80, 0x8080};
constexpr uint32_t kMinCodePoint[4] = {0, 0, 0x80, 0x800};

}  // namespace

size_t DecodeUtf8ToCp1251(const char* in, size_t n, bool final, char* out, size_t& consumed) {
  const TTables& t = Tables();
  const auto* s = reinterpret_cast<const uint8_t*>(in);
  char* const start = out;
  size_t i = 0;
  while (i < n) {
    // Fast path while eight bytes remain: a run of ASCII, or one complete
    // sequence that maps to a byte, decoded with selects instead of branches
    // on the sequence's length (blob contents make that length random).
    if (i + 8 <= n) {
      const uint64_t w = Load8(in + i);
      if ((w & kHighBits) == 0) {
        std::memcpy(out, in + i, 8);
        out += 8, i += 8;
        continue;
      }
      const uint32_t c = static_cast<uint32_t>(w & 0xFF);
      const uint32_t len = kFastLength[c];
      const uint32_t lead = c & kLeadMask[len];
      const uint32_t cp2 = (lead << 6) | (static_cast<uint32_t>(w >> 8) & 0x3F);
      const uint32_t cp3 = (cp2 << 6) | (static_cast<uint32_t>(w >> 16) & 0x3F);
      const uint32_t cp = len == 3 ? cp3 : (len == 2 ? cp2 : lead);
      const uint32_t tail = static_cast<uint32_t>(w >> 8) & 0xFFFF;
      const uint16_t entry = t.byteOf[cp];
      const bool valid = (tail & kTailMask[len]) == kTailBits[len] && len != 0 &&
                         cp >= kMinCodePoint[len] && (cp & 0xF800) != 0xD800 && entry != 0;
      if (valid) {
        *out++ = static_cast<char>(entry - 1);
        i += len;
        continue;
      }
    }
    const size_t used = DecodeOne(s, i, n, final, t, out);
    if (used == 0) break;  // the rest arrives with the next piece
    i += used;
  }
  consumed = i;
  return static_cast<size_t>(out - start);
}

}  // namespace ts
