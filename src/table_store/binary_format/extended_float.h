// The 10-byte x87 extended-precision float of the binary stream, converted
// to and from double without relying on the host's long double, so that the
// stream reads the same on every platform.
//
// Layout (little-endian): 8 bytes of mantissa with an explicit integer bit
// (bit 63), then 2 bytes holding the sign (bit 15) and a 15-bit exponent
// biased by 16383.
#pragma once

#include <array>
#include <cstdint>

namespace ts {

using TExtendedBytes = std::array<uint8_t, 10>;

// Every double is exactly representable: zeros keep their sign, denormals
// become normal extended values, infinities and NaNs keep sign and payload.
TExtendedBytes DoubleToExtended(double value);

// Rounds to the nearest double, ties to even. Values beyond the double range
// become infinities, values below half the smallest denormal become zeros
// (both with their sign). NaNs stay NaNs (quiet, keeping the sign and the top
// payload bits). Encodings the x87 itself rejects are read by their plain
// meaning: an exponent without the integer bit (unnormal, pseudo-denormal)
// counts as mantissa × 2^(exponent − 16446), and an all-ones exponent with a
// zero fraction is an infinity whatever the integer bit says.
double ExtendedToDouble(const TExtendedBytes& bytes);

// Exact forms for the values a double cannot carry: a 64-bit integer fits the
// 64-bit mantissa whole, and a currency amount (ten-thousandths) is divided
// by 10000 with the full mantissa, rounded to nearest, ties to even.
TExtendedBytes Int64ToExtended(int64_t value);
TExtendedBytes CurrencyToExtended(int64_t tenThousandths);

// The value rounded to the nearest integer (ties to even), and the value
// times 10000 rounded the same way. False, leaving `result` alone, for NaNs,
// infinities and results outside the 64-bit range.
bool ExtendedToInt64(const TExtendedBytes& bytes, int64_t& result);
bool ExtendedToCurrency(const TExtendedBytes& bytes, int64_t& tenThousandths);

}  // namespace ts
