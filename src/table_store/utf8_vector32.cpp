// The decoder's vector path 32 bytes at a time; built for AVX2 and POPCNT.
#include <immintrin.h>

#include "table_store/utf8_vector_path.h"

namespace ts::utf8 {

namespace {

struct TVector32 {
  using Vec = __m256i;
  static constexpr size_t kBytes = 32;
  static Vec Zero() { return _mm256_setzero_si256(); }
  static Vec Bytes(int value) { return _mm256_set1_epi8(static_cast<char>(value)); }
  static Vec Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void Store(char* p, Vec v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  // The byte shifts work within each half; the lower half takes its bytes
  // before from the upper half of the block before.
  static Vec Across(Vec b, Vec before) { return _mm256_permute2x128_si256(before, b, 0x21); }
  static Vec Prev1(Vec b, Vec before) { return _mm256_alignr_epi8(b, Across(b, before), 15); }
  static Vec Prev2(Vec b, Vec before) { return _mm256_alignr_epi8(b, Across(b, before), 14); }
  static Vec CmpEq(Vec a, Vec b) { return _mm256_cmpeq_epi8(a, b); }
  static Vec CmpLt(Vec a, Vec b) { return _mm256_cmpgt_epi8(b, a); }
  static Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
  static Vec AndNot(Vec a, Vec b) { return _mm256_andnot_si256(a, b); }
  static Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
  static Vec Xor(Vec a, Vec b) { return _mm256_xor_si256(a, b); }
  static Vec Add(Vec a, Vec b) { return _mm256_add_epi8(a, b); }
  static Vec ShiftRight4(Vec a) { return _mm256_srli_epi16(a, 4); }
  static Vec Lookup(const uint8_t* row, Vec index) {
    return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(row))),
                               index);
  }
  static uint32_t MoveMask(Vec v) { return static_cast<uint32_t>(_mm256_movemask_epi8(v)); }
  // Stores the kept lanes packed to the front, eight lanes at a time.
  static int StorePacked(char* out, Vec value, uint32_t keep, const TVectorTables& t) {
    const __m128i halves[2] = {_mm256_castsi256_si128(value), _mm256_extracti128_si256(value, 1)};
    int count = 0;
    for (int part = 0; part < 4; ++part) {
      const uint32_t lanes = keep >> (8 * part) & 0xFF;
      __m128i pack = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t.pack[lanes]));
      if (part & 1) pack = _mm_add_epi8(pack, _mm_set1_epi8(8));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + count), _mm_shuffle_epi8(halves[part >> 1], pack));
      count += __builtin_popcount(lanes);
    }
    return count;
  }
};

}  // namespace

size_t DecodeVector32(const char* in, size_t n, bool final, char* out, size_t& written, bool& replaced) {
  return DecodeVectors<TVector32>(in, n, final, out, written, replaced);
}

}  // namespace ts::utf8
