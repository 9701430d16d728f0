#include "table_store/binary_format/extended_float.h"

#include <bit>

namespace ts {

namespace {

constexpr int kExtBias = 16383;
constexpr int kDoubleBias = 1023;
constexpr uint32_t kExtMaxExponent = 0x7FFF;
constexpr uint64_t kIntegerBit = uint64_t{1} << 63;
constexpr uint64_t kDoubleFraction = (uint64_t{1} << 52) - 1;
constexpr uint64_t kDoubleSign = uint64_t{1} << 63;
constexpr uint64_t kDoubleInfinity = uint64_t{0x7FF} << 52;

TExtendedBytes Pack(bool negative, uint32_t exponent, uint64_t mantissa) {
  TExtendedBytes out{};
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(mantissa >> (8 * i));
  const uint32_t top = (negative ? 0x8000u : 0u) | (exponent & kExtMaxExponent);
  out[8] = static_cast<uint8_t>(top);
  out[9] = static_cast<uint8_t>(top >> 8);
  return out;
}

// Shifts `m` right by `shift` (1..64) and rounds the result to nearest, ties
// to even.
uint64_t ShiftRightRounded(uint64_t m, int shift) {
  if (shift >= 65) return 0;  // below half of one unit in the last place
  const uint64_t kept = shift == 64 ? 0 : m >> shift;
  const uint64_t rest = shift == 64 ? m : m & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  if (rest > half || (rest == half && (kept & 1))) return kept + 1;
  return kept;
}

}  // namespace

TExtendedBytes DoubleToExtended(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits & kDoubleSign) != 0;
  const uint32_t exponent = static_cast<uint32_t>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & kDoubleFraction;

  if (exponent == 0x7FF) return Pack(negative, kExtMaxExponent, kIntegerBit | (fraction << 11));
  if (exponent == 0) {
    if (fraction == 0) return Pack(negative, 0, 0);
    // A denormal double is fraction × 2^-1074; normalise it so that the top
    // set bit becomes the integer bit.
    const int lead = std::countl_zero(fraction);
    const uint64_t mantissa = fraction << lead;
    const int unbiased = -1074 + 63 - lead;
    return Pack(negative, static_cast<uint32_t>(unbiased + kExtBias), mantissa);
  }
  const int unbiased = static_cast<int>(exponent) - kDoubleBias;
  return Pack(negative, static_cast<uint32_t>(unbiased + kExtBias), kIntegerBit | (fraction << 11));
}

double ExtendedToDouble(const TExtendedBytes& bytes) {
  uint64_t mantissa = 0;
  for (int i = 7; i >= 0; --i) mantissa = (mantissa << 8) | bytes[i];
  const uint32_t top = static_cast<uint32_t>(bytes[8]) | (static_cast<uint32_t>(bytes[9]) << 8);
  const uint64_t sign = (top & 0x8000) ? kDoubleSign : 0;
  const uint32_t exponent = top & kExtMaxExponent;

  if (exponent == kExtMaxExponent) {
    const uint64_t fraction = mantissa & ~kIntegerBit;
    if (fraction == 0) return std::bit_cast<double>(sign | kDoubleInfinity);
    const uint64_t payload = (fraction >> 11) | (uint64_t{1} << 51);  // quiet
    return std::bit_cast<double>(sign | kDoubleInfinity | payload);
  }
  if (mantissa == 0) return std::bit_cast<double>(sign);

  // value = mantissa × 2^(e − 63) once the mantissa is normalised; a zero
  // exponent field means the same scale as exponent 1 (denormal).
  const int lead = std::countl_zero(mantissa);
  mantissa <<= lead;
  const int fieldExponent = exponent == 0 ? 1 : static_cast<int>(exponent);
  int e = fieldExponent - kExtBias - lead;

  if (e > kDoubleBias) return std::bit_cast<double>(sign | kDoubleInfinity);
  if (e >= 1 - kDoubleBias) {
    uint64_t significand = ShiftRightRounded(mantissa, 11);  // 53 bits, may carry to 54
    if (significand >> 53) {
      significand >>= 1;
      ++e;
      if (e > kDoubleBias) return std::bit_cast<double>(sign | kDoubleInfinity);
    }
    const uint64_t biased = static_cast<uint64_t>(e + kDoubleBias);
    return std::bit_cast<double>(sign | (biased << 52) | (significand & kDoubleFraction));
  }
  // Denormal result: count of 2^-1074 units. A carry into bit 52 lands in the
  // exponent field and makes the smallest normal, which is right.
  const int shift = 11 + (1 - kDoubleBias - e);
  return std::bit_cast<double>(sign | ShiftRightRounded(mantissa, shift));
}

}  // namespace ts
