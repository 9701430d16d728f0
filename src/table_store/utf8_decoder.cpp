#include "table_store/utf8_decoder.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "table_store/codepage.h"

#ifdef TS_UTF8_VECTOR_PATH
#include "table_store/utf8_vector_path.h"
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

}  // namespace

namespace utf8 {

size_t StepUntil(const uint8_t* s, size_t at, size_t until, size_t n, bool final, char*& out, bool& replaced) {
  while (at < until) {
    const size_t used = DecodeOne(s, at, n, final, out, replaced);
    if (used == 0) break;  // the rest arrives with the next piece
    at += used;
  }
  return at;
}

#ifdef TS_UTF8_VECTOR_PATH

const TVectorTables& VectorTables() {
  static const TVectorTables tables = [] {
    TVectorTables t{};
    // The byte of a code point, 0 when there is none (no code point above
    // U+007F has byte 0).
    const auto byteOf = [](char32_t cp) {
      uint8_t b = 0;
      return UnicodeToCp1251(cp, b) ? b : uint8_t{0};
    };
    const std::pair<uint8_t*, char32_t> rows[] = {{t.row0400, 0x0400}, {t.row0450, 0x0450}, {t.row0490, 0x0490},
                                                  {t.row2010, 0x2010}, {t.row2020, 0x2020}, {t.row2030, 0x2030},
                                                  {t.row20A0, 0x20A0}, {t.row2110, 0x2110}, {t.row2120, 0x2120}};
    for (unsigned lo = 0; lo < 16; ++lo) {
      for (const auto& [row, first] : rows) row[lo] = byteOf(first + lo);
      for (unsigned hi = 8; hi < 12; ++hi) {
        const char32_t cp = hi << 4 | lo;
        if (byteOf(cp) == cp) t.latinBits[lo] |= static_cast<uint8_t>(1u << (hi - 8));
      }
      t.highNibbleBit[lo] = lo >= 8 && lo < 12 ? static_cast<uint8_t>(1u << (lo - 8)) : 0;
    }
    for (unsigned mask = 0; mask < 256; ++mask) {
      uint8_t lanes[8];
      std::memset(lanes, 0x80, sizeof lanes);
      unsigned k = 0;
      for (unsigned lane = 0; lane < 8; ++lane)
        if (mask & (1u << lane)) lanes[k++] = static_cast<uint8_t>(lane);
      std::memcpy(&t.pack[mask], lanes, 8);
    }
    return t;
  }();
  return tables;
}

#endif

}  // namespace utf8

bool Utf8DecoderPathAvailable(TUtf8DecoderPath path) {
#ifdef TS_UTF8_VECTOR_PATH
  // Asked for early enough (a text decoded while globals are set up), the
  // processor has not been looked at yet.
  static const bool counts = (__builtin_cpu_init(), __builtin_cpu_supports("popcnt"));
  static const bool vector16 = counts && __builtin_cpu_supports("ssse3");
  static const bool vector32 = counts && __builtin_cpu_supports("avx2");
  static const bool vector64 = counts && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
                               __builtin_cpu_supports("avx512vbmi2");
  if (path == TUtf8DecoderPath::Vector16) return vector16;
  if (path == TUtf8DecoderPath::Vector32) return vector32;
  if (path == TUtf8DecoderPath::Vector64) return vector64;
#endif
  return path == TUtf8DecoderPath::Stepwise;
}

TUtf8Decoded DecodeUtf8ToCp1251On(TUtf8DecoderPath path, const char* in, size_t n, bool final, char* out) {
  TUtf8Decoded r;
#ifdef TS_UTF8_VECTOR_PATH
  if (path == TUtf8DecoderPath::Vector64) {
    r.consumed = utf8::DecodeVector64(in, n, final, out, r.written, r.replaced);
    return r;
  }
  if (path == TUtf8DecoderPath::Vector32) {
    r.consumed = utf8::DecodeVector32(in, n, final, out, r.written, r.replaced);
    return r;
  }
  if (path == TUtf8DecoderPath::Vector16) {
    r.consumed = utf8::DecodeVector16(in, n, final, out, r.written, r.replaced);
    return r;
  }
#endif
  char* o = out;
  r.consumed = utf8::StepUntil(reinterpret_cast<const uint8_t*>(in), 0, n, n, final, o, r.replaced);
  r.written = static_cast<size_t>(o - out);
  return r;
}

TUtf8Decoded DecodeUtf8ToCp1251(const char* in, size_t n, bool final, char* out) {
  static const TUtf8DecoderPath fastest = [] {
    for (TUtf8DecoderPath path : {TUtf8DecoderPath::Vector64, TUtf8DecoderPath::Vector32, TUtf8DecoderPath::Vector16})
      if (Utf8DecoderPathAvailable(path)) return path;
    return TUtf8DecoderPath::Stepwise;
  }();
  return DecodeUtf8ToCp1251On(fastest, in, n, final, out);
}

}  // namespace ts
