// The decoder's vector path 16 bytes at a time; built for SSSE3 and POPCNT.
#include <immintrin.h>

#include "table_store/utf8_vector_path.h"

namespace ts::utf8 {

namespace {

struct TVector16 {
  using Vec = __m128i;
  static constexpr size_t kBytes = 16;
  static Vec Zero() { return _mm_setzero_si128(); }
  static Vec Bytes(int value) { return _mm_set1_epi8(static_cast<char>(value)); }
  static Vec Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(char* p, Vec v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static Vec Prev1(Vec b, Vec before) { return _mm_alignr_epi8(b, before, 15); }
  static Vec Prev2(Vec b, Vec before) { return _mm_alignr_epi8(b, before, 14); }
  static Vec CmpEq(Vec a, Vec b) { return _mm_cmpeq_epi8(a, b); }
  static Vec CmpLt(Vec a, Vec b) { return _mm_cmplt_epi8(a, b); }
  static Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
  static Vec AndNot(Vec a, Vec b) { return _mm_andnot_si128(a, b); }
  static Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
  static Vec Xor(Vec a, Vec b) { return _mm_xor_si128(a, b); }
  static Vec Add(Vec a, Vec b) { return _mm_add_epi8(a, b); }
  static Vec ShiftRight4(Vec a) { return _mm_srli_epi16(a, 4); }
  static Vec Lookup(const uint8_t* row, Vec index) {
    return _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(row)), index);
  }
  static uint32_t MoveMask(Vec v) { return static_cast<uint32_t>(_mm_movemask_epi8(v)); }
  // Stores the kept lanes packed to the front, eight lanes at a time.
  static int StorePacked(char* out, Vec value, uint32_t keep, const TVectorTables& t) {
    const uint32_t low = keep & 0xFF;
    const uint32_t high = keep >> 8;
    const __m128i packLow = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t.pack[low]));
    const __m128i packHigh = _mm_add_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t.pack[high])), Bytes(8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(value, packLow));
    const int lowCount = __builtin_popcount(low);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + lowCount), _mm_shuffle_epi8(value, packHigh));
    return lowCount + __builtin_popcount(high);
  }
};

}  // namespace

size_t DecodeVector16(const char* in, size_t n, bool final, char* out, size_t& written, bool& replaced) {
  return DecodeVectors<TVector16>(in, n, final, out, written, replaced);
}

}  // namespace ts::utf8
