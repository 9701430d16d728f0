#include "table_store/utf8_decoder.h"

#include <cstdint>
#include <cstring>
#include <utility>

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

// Steps one sequence at a time from `at` while it lies before `until`;
// returns where it stopped, which is before `until` only when a sequence is
// cut off by the end of a piece that is not the last.
size_t StepUntil(const uint8_t* s, size_t at, size_t until, size_t n, bool final, char*& out, bool& replaced) {
  while (at < until) {
    const size_t used = DecodeOne(s, at, n, final, out, replaced);
    if (used == 0) break;  // the rest arrives with the next piece
    at += used;
  }
  return at;
}

#ifdef TS_UTF8_VECTOR_PATH

// The sequences of two and three bytes that have a byte in the code page
// start with five leads: 0xC2, 0xD0, 0xD1, 0xD2 (U+0080..U+04BF) and 0xE2
// (U+2000..U+213F). The last byte's high nibble picks a row of 16 code
// points; a row is a table of 16 bytes, a plain offset from the last byte
// (most of the Cyrillic letters), or, after 0xC2, the last byte itself
// where the code page keeps the Latin-1 character.
struct TVectorTables {
  alignas(16) uint8_t row0400[16];  // 0xD0 0x80..0x8F
  alignas(16) uint8_t row0450[16];  // 0xD1 0x90..0x9F
  alignas(16) uint8_t row0490[16];  // 0xD2 0x90..0x9F
  alignas(16) uint8_t row2010[16];  // 0xE2 0x80 0x90..0x9F
  alignas(16) uint8_t row2020[16];  // 0xE2 0x80 0xA0..0xAF
  alignas(16) uint8_t row2030[16];  // 0xE2 0x80 0xB0..0xBF
  alignas(16) uint8_t row20A0[16];  // 0xE2 0x82 0xA0..0xAF
  alignas(16) uint8_t row2110[16];  // 0xE2 0x84 0x90..0x9F
  alignas(16) uint8_t row2120[16];  // 0xE2 0x84 0xA0..0xAF
  // Bit (high nibble - 8) set where U+0080..U+00BF keeps its own byte.
  alignas(16) uint8_t latinBits[16];
  alignas(16) uint8_t highNibbleBit[16];
  // Per mask of eight lanes to keep: the kept lanes' indexes, packed to the
  // front (0x80 fills, which selects zero).
  alignas(16) uint64_t pack[256];

  TVectorTables() {
    const std::pair<uint8_t*, char32_t> rows[] = {{row0400, 0x0400}, {row0450, 0x0450}, {row0490, 0x0490},
                                                  {row2010, 0x2010}, {row2020, 0x2020}, {row2030, 0x2030},
                                                  {row20A0, 0x20A0}, {row2110, 0x2110}, {row2120, 0x2120}};
    for (unsigned lo = 0; lo < 16; ++lo) {
      for (const auto& [row, first] : rows) row[lo] = ByteOf(first + lo);
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

#define TS_VECTOR_TARGET __attribute__((target("ssse3,popcnt")))

TS_VECTOR_TARGET inline __m128i Bytes(int value) { return _mm_set1_epi8(static_cast<char>(value)); }

TS_VECTOR_TARGET inline __m128i Row(const uint8_t* row, __m128i low) {
  return _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(row)), low);
}

// One block of 16 input bytes, decoded as far as it holds ASCII and
// sequences of two and three bytes that have a byte in the code page.
// `before` holds the 16 bytes before the block (zeros at a sequence
// boundary), since a sequence may begin there. Writes the bytes of the
// sequences that end in the block to `out` (always 16 bytes are stored, so
// `out` needs room for 16) and returns how many count; returns -1 and
// writes nothing useful when the block holds anything else, and sets
// `stop` to the first lane that does.
TS_VECTOR_TARGET inline int DecodeBlock(__m128i b, __m128i before, char* out, unsigned& stop,
                                        const TVectorTables& t) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i prev1 = _mm_alignr_epi8(b, before, 15);  // the byte before each lane
  const __m128i prev2 = _mm_alignr_epi8(b, before, 14);  // the one before that

  // Lanes by what they hold, and by what the bytes before them ask for.
  // Continuation bytes 0x80..0xBF are the signed bytes below -64.
  const __m128i nonAscii = _mm_cmplt_epi8(b, zero);
  const __m128i cont = _mm_cmplt_epi8(b, Bytes(0xC0));
  const __m128i lead = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, Bytes(0xC2)), _mm_cmpeq_epi8(b, Bytes(0xD0))),
                                    _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, Bytes(0xD1)),
                                                              _mm_cmpeq_epi8(b, Bytes(0xD2))),
                                                 _mm_cmpeq_epi8(b, Bytes(0xE2))));
  const __m128i afterC2 = _mm_cmpeq_epi8(prev1, Bytes(0xC2));
  const __m128i afterD0 = _mm_cmpeq_epi8(prev1, Bytes(0xD0));
  const __m128i afterD1 = _mm_cmpeq_epi8(prev1, Bytes(0xD1));
  const __m128i afterD2 = _mm_cmpeq_epi8(prev1, Bytes(0xD2));
  const __m128i second = _mm_or_si128(_mm_or_si128(afterC2, afterD0), _mm_or_si128(afterD1, afterD2));
  const __m128i middle = _mm_cmpeq_epi8(prev1, Bytes(0xE2));
  const __m128i third = _mm_cmpeq_epi8(prev2, Bytes(0xE2));
  const __m128i last = _mm_or_si128(second, third);  // lanes that end a sequence of two or three
  // A continuation where none is asked for, none where one is, a byte that
  // is neither ASCII, a continuation nor one of the five leads.
  __m128i bad = _mm_xor_si128(_mm_or_si128(last, middle), cont);
  bad = _mm_or_si128(bad, _mm_andnot_si128(_mm_or_si128(cont, lead), nonAscii));

  // The code-page byte of each lane that ends a sequence, 0 where there is
  // none.
  const __m128i low = _mm_and_si128(b, Bytes(0x0F));
  const __m128i high = _mm_and_si128(_mm_srli_epi16(b, 4), Bytes(0x0F));
  const __m128i high8 = _mm_cmpeq_epi8(high, Bytes(8));
  const __m128i high9 = _mm_cmpeq_epi8(high, Bytes(9));
  const __m128i highA = _mm_cmpeq_epi8(high, Bytes(0xA));
  const __m128i highB = _mm_cmpeq_epi8(high, Bytes(0xB));
  const __m128i latin = _mm_and_si128(Row(t.latinBits, low), Row(t.highNibbleBit, high));
  const __m128i fromC2 = _mm_andnot_si128(_mm_cmpeq_epi8(latin, zero), b);
  const __m128i fromD0 = _mm_or_si128(_mm_and_si128(high8, Row(t.row0400, low)),
                                      _mm_andnot_si128(high8, _mm_add_epi8(b, Bytes(0x30))));
  const __m128i fromD1 =
      _mm_or_si128(_mm_and_si128(high8, _mm_add_epi8(b, Bytes(0x70))), _mm_and_si128(high9, Row(t.row0450, low)));
  const __m128i fromD2 = _mm_and_si128(high9, Row(t.row0490, low));
  const __m128i from80 = _mm_or_si128(_mm_or_si128(_mm_and_si128(high9, Row(t.row2010, low)),
                                                   _mm_and_si128(highA, Row(t.row2020, low))),
                                      _mm_and_si128(highB, Row(t.row2030, low)));
  const __m128i from82 = _mm_and_si128(highA, Row(t.row20A0, low));
  const __m128i from84 =
      _mm_or_si128(_mm_and_si128(high9, Row(t.row2110, low)), _mm_and_si128(highA, Row(t.row2120, low)));
  const __m128i fromE2 =
      _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(prev1, Bytes(0x80)), from80),
                                _mm_and_si128(_mm_cmpeq_epi8(prev1, Bytes(0x82)), from82)),
                   _mm_and_si128(_mm_cmpeq_epi8(prev1, Bytes(0x84)), from84));
  const __m128i mapped = _mm_or_si128(
      _mm_or_si128(_mm_or_si128(_mm_and_si128(afterC2, fromC2), _mm_and_si128(afterD0, fromD0)),
                   _mm_or_si128(_mm_and_si128(afterD1, fromD1), _mm_and_si128(afterD2, fromD2))),
      _mm_and_si128(third, fromE2));
  bad = _mm_or_si128(bad, _mm_and_si128(last, _mm_cmpeq_epi8(mapped, zero)));

  stop = static_cast<unsigned>(_mm_movemask_epi8(bad));
  if (stop != 0) return -1;

  // ASCII lanes keep their byte, the last lane of a sequence takes its
  // character's; the other lanes of a sequence are dropped.
  const __m128i value = _mm_or_si128(_mm_andnot_si128(nonAscii, b), _mm_and_si128(last, mapped));
  const unsigned keep = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(nonAscii, zero), last)));
  const unsigned keepLow = keep & 0xFF;
  const unsigned keepHigh = keep >> 8;
  const __m128i packLow = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t.pack[keepLow]));
  const __m128i packHigh =
      _mm_add_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t.pack[keepHigh])), Bytes(8));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(value, packLow));
  const int lowCount = __builtin_popcount(keepLow);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + lowCount), _mm_shuffle_epi8(value, packHigh));
  return lowCount + __builtin_popcount(keepHigh);
}

// Bytes at the end of a decoded block that begin a sequence still open:
// its lead in the last lane, or a three-byte lead in the one before.
inline size_t OpenTail(const uint8_t* end) {
  const auto leads = [](uint8_t c) { return c == 0xC2 || c == 0xD0 || c == 0xD1 || c == 0xD2 || c == 0xE2; };
  if (leads(end[-1])) return 1;
  return end[-2] == 0xE2 ? 2 : 0;
}

TS_VECTOR_TARGET TUtf8Decoded DecodeWithVectorPath(const char* in, size_t n, bool final, char* out) {
  const TVectorTables& t = VectorTables();
  const auto* s = reinterpret_cast<const uint8_t*>(in);
  TUtf8Decoded r;
  char* o = out;
  size_t i = 0;      // input decoded, the open sequence at its end included
  size_t open = 0;   // bytes of that sequence (its output comes with its last byte)
  __m128i before = _mm_setzero_si128();
  while (n - i >= 16) {
    // Never more is written than read, so the output has room for the
    // block's 16 bytes whenever 16 input bytes remain.
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    unsigned stop = 0;
    if (open == 0 && _mm_movemask_epi8(b) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), b);
      o += 16;
    } else {
      const int written = DecodeBlock(b, before, o, stop, t);
      if (written < 0) {
        // Step one sequence at a time from the start of the open sequence
        // past the first lane the block could not take, then go on from
        // that sequence boundary.
        const size_t past = i + static_cast<size_t>(__builtin_ctz(stop)) + 1;
        const size_t at = StepUntil(s, i - open, past, n, final, o, r.replaced);
        i = at;
        open = 0;
        before = _mm_setzero_si128();
        if (at < past) break;  // a sequence cut off by the end of this piece
        continue;
      }
      o += written;
    }
    i += 16;
    open = OpenTail(s + i);
    before = b;
  }
  // The last few bytes, from the start of any sequence still open.
  r.consumed = StepUntil(s, i - open, n, n, final, o, r.replaced);
  r.written = static_cast<size_t>(o - out);
  return r;
}

#endif

}  // namespace

TUtf8Decoded DecodeUtf8ToCp1251Stepwise(const char* in, size_t n, bool final, char* out) {
  const auto* s = reinterpret_cast<const uint8_t*>(in);
  TUtf8Decoded r;
  char* o = out;
  r.consumed = StepUntil(s, 0, n, n, final, o, r.replaced);
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
