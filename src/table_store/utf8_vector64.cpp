// The decoder's vector path 64 bytes at a time; built for AVX-512 with the
// byte permutes and byte compression (BW, VBMI, VBMI2).
#include <immintrin.h>

#include "table_store/utf8_vector_path.h"

namespace ts::utf8 {

namespace {

struct TVector64 {
  using Vec = __m512i;
  static constexpr size_t kBytes = 64;
  static Vec Zero() { return _mm512_setzero_si512(); }
  static Vec Bytes(int value) { return _mm512_set1_epi8(static_cast<char>(value)); }
  static Vec Load(const uint8_t* p) { return _mm512_loadu_si512(p); }
  static void Store(char* p, Vec v) { _mm512_storeu_si512(p, v); }
  // Lane i takes the byte i - 1 (i - 2) of the block, the first lanes the
  // last bytes of the block before.
  static Vec Prev1(Vec b, Vec before) { return _mm512_permutex2var_epi8(before, Index(63), b); }
  static Vec Prev2(Vec b, Vec before) { return _mm512_permutex2var_epi8(before, Index(62), b); }
  static Vec CmpEq(Vec a, Vec b) { return _mm512_movm_epi8(_mm512_cmpeq_epi8_mask(a, b)); }
  static Vec CmpLt(Vec a, Vec b) { return _mm512_movm_epi8(_mm512_cmplt_epi8_mask(a, b)); }
  static Vec And(Vec a, Vec b) { return _mm512_and_si512(a, b); }
  // This one and Lookup keep clear of the intrinsics that start from an
  // undefined vector, which the compiler warns of as uninitialised.
  static Vec AndNot(Vec a, Vec b) { return ~a & b; }
  static Vec Or(Vec a, Vec b) { return _mm512_or_si512(a, b); }
  static Vec Xor(Vec a, Vec b) { return _mm512_xor_si512(a, b); }
  static Vec Add(Vec a, Vec b) { return _mm512_add_epi8(a, b); }
  static Vec ShiftRight4(Vec a) { return _mm512_srli_epi16(a, 4); }
  static Vec Lookup(const uint8_t* row, Vec index) {
    const __m128i table = _mm_load_si128(reinterpret_cast<const __m128i*>(row));
    return _mm512_shuffle_epi8(_mm512_maskz_broadcast_i32x4(static_cast<__mmask16>(0xFFFF), table), index);
  }
  static uint64_t MoveMask(Vec v) { return _mm512_movepi8_mask(v); }
  // The unit packs the kept lanes itself.
  static int StorePacked(char* out, Vec value, uint64_t keep, const TVectorTables&) {
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, value));
    return __builtin_popcountll(keep);
  }

 private:
  // The indexes first, first + 1, ... into the two blocks side by side.
  static Vec Index(int first) {
    alignas(64) uint8_t lanes[64];
    for (int i = 0; i < 64; ++i) lanes[i] = static_cast<uint8_t>(first + i);
    return _mm512_load_si512(lanes);
  }
};

}  // namespace

size_t DecodeVector64(const char* in, size_t n, bool final, char* out, size_t& written, bool& replaced) {
  return DecodeVectors<TVector64>(in, n, final, out, written, replaced);
}

}  // namespace ts::utf8
