#include "table_store/utf8_decoder.h"

#include <cstdint>
#include <cstring>

#include "table_store/codepage.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TS_UTF8_VECTOR_PATH 1
#endif

namespace ts {

namespace {

inline bool IsContinuation(uint8_t c) { return (c & 0xC0) == 0x80; }

// One sequence at s[i]: emits one byte (the character's or '?') and returns
// the input bytes used, or returns 0 when the sequence is cut off by the end
// of the input and more is to come.
size_t DecodeOne(const uint8_t* s, size_t i, size_t n, bool final, char*& out, bool& replaced) {
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
    replaced = true;
    return 1;
  }
  if (i + len > n) {
    if (!final) return 0;
    *out++ = '?';
    replaced = true;
    return 1;
  }
  bool ok = true;
  for (size_t k = 1; k < len && ok; ++k) {
    ok = IsContinuation(s[i + k]);
    cp = (cp << 6) | (s[i + k] & 0x3F);
  }
  // Overlong forms, surrogates and code points beyond U+10FFFF are malformed:
  // only their first byte is used up.
  if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    *out++ = '?';
    replaced = true;
    return 1;
  }
  uint8_t byte = 0;
  if (UnicodeToCp1251(cp, byte)) {
    *out++ = static_cast<char>(byte);
  } else {
    *out++ = '?';
    replaced = true;
  }
  return len;
}

#ifdef TS_UTF8_VECTOR_PATH

// Every two-byte sequence that has a byte in the code page starts with one
// of four leads. Per lead the second byte's top bits pick a row of 16 code
// points; the rows are either a plain offset from the second byte, a table
// of 16 bytes, or (after 0xC2) the second byte itself where the code page
// keeps the Latin-1 character.
struct TVectorTables {
  alignas(16) uint8_t row0400[16];  // U+0400..U+040F after 0xD0 0x80..0x8F
  alignas(16) uint8_t row0450[16];  // U+0450..U+045F after 0xD1 0x90..0x9F
  alignas(16) uint8_t row0490[16];  // U+0490..U+049F after 0xD2 0x90..0x9F
  // Bit (high nibble - 8) set where U+0080..U+00BF keeps its own byte.
  alignas(16) uint8_t latinBits[16];
  alignas(16) uint8_t highNibbleBit[16];
  // Per mask of eight lanes to keep: the kept lanes' indexes, packed to the
  // front (0x80 fills, which selects zero).
  alignas(16) uint64_t pack[256];

  TVectorTables() {
    for (unsigned lo = 0; lo < 16; ++lo) {
      row0400[lo] = ByteOf(0x0400 + lo);
      row0450[lo] = ByteOf(0x0450 + lo);
      row0490[lo] = ByteOf(0x0490 + lo);
      latinBits[lo] = 0;
      for (unsigned hi = 8; hi < 12; ++hi) {
        const char32_t cp = hi << 4 | lo;
        if (ByteOf(cp) == cp) latinBits[lo] |= static_cast<uint8_t>(1u << (hi - 8));
      }
      highNibbleBit[lo] = lo >= 8 && lo < 12 ? static_cast<uint8_t>(1u << (lo - 8)) : 0;
    }
    for (unsigned mask = 0; mask < 256; ++mask) {
      uint8_t lanes[8];
      std::memset(lanes, 0x80, sizeof lanes);
      unsigned k = 0;
      for (unsigned lane = 0; lane < 8; ++lane)
        if (mask & (1u << lane)) lanes[k++] = static_cast<uint8_t>(lane);
      std::memcpy(&pack[mask], lanes, 8);
    }
  }

  // The byte of a code point, 0 when there is none (no code point above
  // U+007F has byte 0).
  static uint8_t ByteOf(char32_t cp) {
    uint8_t b = 0;
    return UnicodeToCp1251(cp, b) ? b : 0;
  }
};

const TVectorTables& VectorTables() {
  static const TVectorTables tables;
  return tables;
}

bool VectorPathAvailable() {
  static const bool available = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
  return available;
}

// Decodes the longest prefix of the 16 bytes at `in` that consists of ASCII
// and of two-byte sequences with a byte in the code page, and writes it to
// `out`. Returns the input bytes used (0 to 16; the prefix never ends inside
// a sequence) and adds the bytes written to `written`. Writes up to 16 bytes
// at `out` whatever it keeps, so `out` must have room for 16.
__attribute__((target("ssse3,popcnt"), always_inline)) inline size_t DecodeBlock(const uint8_t* in, char* out, size_t& written,
                                                           const TVectorTables& t) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i zero = _mm_setzero_si128();
  const __m128i nonAsciiLanes = _mm_cmplt_epi8(b, zero);
  const unsigned nonAscii = static_cast<unsigned>(_mm_movemask_epi8(nonAsciiLanes));
  if (nonAscii == 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), b);
    written += 16;
    return 16;
  }

  // Lanes by kind: continuation bytes 0x80..0xBF are the signed bytes below
  // -64.
  const unsigned cont =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(b, _mm_set1_epi8(static_cast<char>(0xC0)))));
  const __m128i prev = _mm_slli_si128(b, 1);  // the byte before each lane
  const __m128i afterC2 = _mm_cmpeq_epi8(prev, _mm_set1_epi8(static_cast<char>(0xC2)));
  const __m128i afterD0 = _mm_cmpeq_epi8(prev, _mm_set1_epi8(static_cast<char>(0xD0)));
  const __m128i afterD1 = _mm_cmpeq_epi8(prev, _mm_set1_epi8(static_cast<char>(0xD1)));
  const __m128i afterD2 = _mm_cmpeq_epi8(prev, _mm_set1_epi8(static_cast<char>(0xD2)));
  // A lane after a lead is the next lane's lead.
  const unsigned lead =
      static_cast<unsigned>(_mm_movemask_epi8(
          _mm_or_si128(_mm_or_si128(afterC2, afterD0), _mm_or_si128(afterD1, afterD2)))) >> 1 |
      (static_cast<unsigned>(in[15]) == 0xC2 || in[15] == 0xD0 || in[15] == 0xD1 || in[15] == 0xD2 ? 0x8000u : 0u);

  // The code-page byte of each continuation lane, 0 where there is none.
  const __m128i low = _mm_and_si128(b, _mm_set1_epi8(0x0F));
  const __m128i high = _mm_and_si128(_mm_srli_epi16(b, 4), _mm_set1_epi8(0x0F));
  const __m128i high8 = _mm_cmpeq_epi8(high, _mm_set1_epi8(8));
  const __m128i high9 = _mm_cmpeq_epi8(high, _mm_set1_epi8(9));
  const auto table = [](const uint8_t* row) { return _mm_load_si128(reinterpret_cast<const __m128i*>(row)); };
  // 0xD0: U+0400..U+040F by table, U+0410..U+043F at a fixed offset.
  const __m128i fromD0 = _mm_or_si128(_mm_and_si128(high8, _mm_shuffle_epi8(table(t.row0400), low)),
                                      _mm_andnot_si128(high8, _mm_add_epi8(b, _mm_set1_epi8(0x30))));
  // 0xD1: U+0440..U+044F at a fixed offset, U+0450..U+045F by table.
  const __m128i fromD1 = _mm_or_si128(_mm_and_si128(high8, _mm_add_epi8(b, _mm_set1_epi8(0x70))),
                                      _mm_and_si128(high9, _mm_shuffle_epi8(table(t.row0450), low)));
  const __m128i fromD2 = _mm_and_si128(high9, _mm_shuffle_epi8(table(t.row0490), low));
  const __m128i latin = _mm_and_si128(_mm_shuffle_epi8(table(t.latinBits), low),
                                      _mm_shuffle_epi8(table(t.highNibbleBit), high));
  const __m128i fromC2 = _mm_andnot_si128(_mm_cmpeq_epi8(latin, zero), b);
  const __m128i mapped =
      _mm_or_si128(_mm_or_si128(_mm_and_si128(afterC2, fromC2), _mm_and_si128(afterD0, fromD0)),
                   _mm_or_si128(_mm_and_si128(afterD1, fromD1), _mm_and_si128(afterD2, fromD2)));
  const unsigned unmapped = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(mapped, zero))) & cont;

  // The prefix ends at the first lane the vector path cannot take: a byte
  // that is neither ASCII, a continuation nor one of the four leads; a lead
  // without its continuation; a continuation without its lead (a stray one,
  // or one of a longer sequence); a character without a byte.
  const unsigned stop = (nonAscii & ~cont & ~lead) | (cont & ~(lead << 1)) | (lead & ~(cont >> 1)) | unmapped;
  size_t used = stop == 0 ? 16 : static_cast<size_t>(__builtin_ctz(stop));
  if (used > 0 && (lead >> (used - 1) & 1)) --used;  // its continuation lies beyond
  if (used == 0) return 0;

  const __m128i value = _mm_or_si128(_mm_andnot_si128(nonAsciiLanes, b), _mm_and_si128(nonAsciiLanes, mapped));
  const unsigned keep = ~lead & ((1u << used) - 1);
  const unsigned keepLow = keep & 0xFF;
  const unsigned keepHigh = keep >> 8;
  const __m128i packLow = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t.pack[keepLow]));
  const __m128i packHigh =
      _mm_add_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t.pack[keepHigh])), _mm_set1_epi8(8));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(value, packLow));
  const size_t lowCount = static_cast<size_t>(__builtin_popcount(keepLow));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + lowCount), _mm_shuffle_epi8(value, packHigh));
  written += lowCount + static_cast<size_t>(__builtin_popcount(keepHigh));
  return used;
}

__attribute__((target("ssse3,popcnt"))) TUtf8Decoded DecodeWithVectorPath(const char* in, size_t n, bool final,
                                                                          char* out) {
  const TVectorTables& t = VectorTables();
  const auto* s = reinterpret_cast<const uint8_t*>(in);
  TUtf8Decoded r;
  size_t i = 0;
  while (i < n) {
    // No more is written than read, so the output has room for the block's
    // 16 bytes whenever 16 input bytes remain.
    if (n - i >= 16) {
      const size_t used = DecodeBlock(s + i, out + r.written, r.written, t);
      if (used > 0) {
        i += used;
        continue;
      }
    }
    char* o = out + r.written;
    const size_t used = DecodeOne(s, i, n, final, o, r.replaced);
    if (used == 0) break;  // the rest arrives with the next piece
    r.written = static_cast<size_t>(o - out);
    i += used;
  }
  r.consumed = i;
  return r;
}

#endif

}  // namespace

TUtf8Decoded DecodeUtf8ToCp1251Stepwise(const char* in, size_t n, bool final, char* out) {
  const auto* s = reinterpret_cast<const uint8_t*>(in);
  TUtf8Decoded r;
  char* o = out;
  size_t i = 0;
  while (i < n) {
    const size_t used = DecodeOne(s, i, n, final, o, r.replaced);
    if (used == 0) break;  // the rest arrives with the next piece
    i += used;
  }
  r.consumed = i;
  r.written = static_cast<size_t>(o - out);
  return r;
}

TUtf8Decoded DecodeUtf8ToCp1251(const char* in, size_t n, bool final, char* out) {
#ifdef TS_UTF8_VECTOR_PATH
  if (VectorPathAvailable()) return DecodeWithVectorPath(in, n, final, out);
#endif
  return DecodeUtf8ToCp1251Stepwise(in, n, final, out);
}

}  // namespace ts
