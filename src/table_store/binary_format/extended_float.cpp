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

using u128 = unsigned __int128;

struct TUnpacked {
  bool negative;
  uint32_t exponent;  // the 15-bit field
  uint64_t mantissa;
};

TUnpacked Unpack(const TExtendedBytes& bytes) {
  uint64_t mantissa = 0;
  for (int i = 7; i >= 0; --i) mantissa = (mantissa << 8) | bytes[i];
  const uint32_t top = static_cast<uint32_t>(bytes[8]) | (static_cast<uint32_t>(bytes[9]) << 8);
  return {(top & 0x8000) != 0, top & kExtMaxExponent, mantissa};
}

// `value` shifted right by `shift` (>= 1), rounded to nearest, ties to even.
u128 ShiftRightRounded128(u128 value, int shift) {
  if (shift >= 128) return 0;
  const u128 kept = value >> shift;
  const u128 rest = value & ((u128{1} << shift) - 1);
  const u128 half = u128{1} << (shift - 1);
  if (rest > half || (rest == half && (kept & 1))) return kept + 1;
  return kept;
}

// The magnitude `scaled` × 2^`power` as a signed 64-bit integer, rounded to
// nearest (ties to even); false outside the range.
bool ScaledToInt64(bool negative, u128 scaled, int power, int64_t& result) {
  u128 magnitude;
  if (power >= 0) {
    if (scaled != 0 && power >= 64) return false;
    magnitude = scaled << power;
    if (power > 0 && (magnitude >> power) != scaled) return false;
  } else {
    magnitude = ShiftRightRounded128(scaled, -power);
  }
  const u128 limit = negative ? (u128{1} << 63) : (u128{1} << 63) - 1;
  if (magnitude > limit) return false;
  const uint64_t m = static_cast<uint64_t>(magnitude);
  result = negative ? static_cast<int64_t>(0 - m) : static_cast<int64_t>(m);
  return true;
}

uint64_t Magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

}  // namespace

TExtendedBytes Int64ToExtended(int64_t value) {
  const uint64_t m = Magnitude(value);
  if (m == 0) return Pack(false, 0, 0);
  const int lead = std::countl_zero(m);
  return Pack(value < 0, static_cast<uint32_t>(63 - lead + kExtBias), m << lead);
}

TExtendedBytes CurrencyToExtended(int64_t tenThousandths) {
  const uint64_t m = Magnitude(tenThousandths);
  if (m == 0) return Pack(false, 0, 0);
  // q = m × 2^k / 10000 with exactly 64 significant bits; m × 2^k stays
  // below 2^79, so the division is exact in 128 bits.
  int k = 78 - (64 - std::countl_zero(m));
  u128 q = (u128{m} << k) / 10000;
  while (q >> 64) q = (u128{m} << --k) / 10000;
  while (!(q >> 63)) q = (u128{m} << ++k) / 10000;
  const u128 rest = (u128{m} << k) - q * 10000;
  if (rest * 2 > 10000 || (rest * 2 == 10000 && (q & 1))) ++q;
  if (q >> 64) {
    q >>= 1;
    --k;
  }
  return Pack(tenThousandths < 0, static_cast<uint32_t>(63 - k + kExtBias), static_cast<uint64_t>(q));
}

bool ExtendedToInt64(const TExtendedBytes& bytes, int64_t& result) {
  const TUnpacked v = Unpack(bytes);
  if (v.exponent == kExtMaxExponent) return false;
  if (v.mantissa == 0) {
    result = 0;
    return true;
  }
  const int fieldExponent = v.exponent == 0 ? 1 : static_cast<int>(v.exponent);
  return ScaledToInt64(v.negative, v.mantissa, fieldExponent - kExtBias - 63, result);
}

bool ExtendedToCurrency(const TExtendedBytes& bytes, int64_t& tenThousandths) {
  const TUnpacked v = Unpack(bytes);
  if (v.exponent == kExtMaxExponent) return false;
  if (v.mantissa == 0) {
    tenThousandths = 0;
    return true;
  }
  const int fieldExponent = v.exponent == 0 ? 1 : static_cast<int>(v.exponent);
  return ScaledToInt64(v.negative, u128{v.mantissa} * 10000, fieldExponent - kExtBias - 63, tenThousandths);
}

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
