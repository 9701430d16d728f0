#include "table_store/binary_format/extended_float.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace ts {
namespace {

TExtendedBytes Ext(uint16_t signExponent, uint64_t mantissa) {
  TExtendedBytes b{};
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(mantissa >> (8 * i));
  b[8] = static_cast<uint8_t>(signExponent);
  b[9] = static_cast<uint8_t>(signExponent >> 8);
  return b;
}

uint64_t Bits(double d) { return std::bit_cast<uint64_t>(d); }

constexpr uint64_t kTop = uint64_t{1} << 63;
constexpr uint16_t kOne = 0x3FFF;  // biased exponent of 1.0

TEST(ExtendedFloatTest, KnownEncodingsBothWays) {
  struct Case {
    double value;
    TExtendedBytes bytes;
  };
  const Case cases[] = {
      {1.2345, {0x00, 0x68, 0xBC, 0x74, 0x93, 0x18, 0x04, 0x9E, 0xFF, 0x3F}},
      {0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {-0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x80}},
      {-1.0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xBF}},
      {3.0, {0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0x40}},
      {0.1, {0x00, 0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}},
      {1e300, {0x00, 0xE0, 0xAC, 0x03, 0x40, 0xE4, 0x21, 0xBF, 0xE3, 0x43}},
      // Smallest denormal and largest denormal-adjacent normal of double.
      {4.9406564584124654e-324, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xCD, 0x3B}},
      {2.2250738585072009e-308, {0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x3C}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DoubleToExtended(c.value), c.bytes) << c.value;
    EXPECT_EQ(Bits(ExtendedToDouble(c.bytes)), Bits(c.value)) << c.value;
  }
}

TEST(ExtendedFloatTest, EveryDoubleSurvivesTheRoundTrip) {
  std::mt19937_64 rng(42);
  for (int i = 0; i < 200000; ++i) {
    const uint64_t bits = rng();
    const double d = std::bit_cast<double>(bits);
    const double back = ExtendedToDouble(DoubleToExtended(d));
    if (std::isnan(d)) {
      ASSERT_TRUE(std::isnan(back));
      // Quiet NaNs keep their payload and sign exactly.
      if (bits & (uint64_t{1} << 51)) {
        ASSERT_EQ(Bits(back), bits);
      }
    } else {
      ASSERT_EQ(Bits(back), bits) << std::hex << bits;
    }
  }
  for (double d : {std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
                   std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
                   std::numeric_limits<double>::min()}) {
    EXPECT_EQ(Bits(ExtendedToDouble(DoubleToExtended(d))), Bits(d)) << d;
  }
}

TEST(ExtendedFloatTest, NarrowingRoundsToNearestEven) {
  // 1 + half an ulp: a tie, 1.0 is even.
  EXPECT_EQ(ExtendedToDouble(Ext(kOne, kTop | 0x400)), 1.0);
  // 1 + ulp + half an ulp: a tie, rounds up to the even 1 + 2 ulp.
  EXPECT_EQ(ExtendedToDouble(Ext(kOne, kTop | 0xC00)), 1.0 + 2 * DBL_EPSILON);
  // Just above and below the tie.
  EXPECT_EQ(ExtendedToDouble(Ext(kOne, kTop | 0x401)), 1.0 + DBL_EPSILON);
  EXPECT_EQ(ExtendedToDouble(Ext(kOne, kTop | 0x3FF)), 1.0);
  // All mantissa bits set: the carry moves into the exponent.
  EXPECT_EQ(ExtendedToDouble(Ext(kOne, ~uint64_t{0})), 2.0);
  EXPECT_EQ(ExtendedToDouble(Ext(0x8000 | kOne, ~uint64_t{0})), -2.0);
}

TEST(ExtendedFloatTest, ExponentsBeyondTheDoubleRange) {
  const double inf = std::numeric_limits<double>::infinity();
  const double maxDouble = std::numeric_limits<double>::max();
  const uint16_t maxExp = 1023 + 16383;
  // The largest double, then the largest value that still rounds down to it,
  // then the first one that rounds up past it.
  EXPECT_EQ(ExtendedToDouble(Ext(maxExp, ~uint64_t{0} << 11)), maxDouble);
  EXPECT_EQ(ExtendedToDouble(Ext(maxExp, (~uint64_t{0} << 11) | 0x3FF)), maxDouble);
  EXPECT_EQ(ExtendedToDouble(Ext(maxExp, (~uint64_t{0} << 11) | 0x400)), inf);
  EXPECT_EQ(ExtendedToDouble(Ext(maxExp + 1, kTop)), inf);
  EXPECT_EQ(ExtendedToDouble(Ext(0x7FFE, kTop)), inf);
  EXPECT_EQ(ExtendedToDouble(Ext(0xFFFE, kTop)), -inf);
  EXPECT_EQ(ExtendedToDouble(Ext(0x7FFF, kTop)), inf);
  EXPECT_EQ(ExtendedToDouble(Ext(0xFFFF, kTop)), -inf);

  // Far below: zero, keeping the sign.
  EXPECT_EQ(Bits(ExtendedToDouble(Ext(1, kTop))), Bits(0.0));
  EXPECT_EQ(Bits(ExtendedToDouble(Ext(0x8001, kTop))), Bits(-0.0));
  // Extended denormals are far below any double.
  EXPECT_EQ(Bits(ExtendedToDouble(Ext(0, 1))), Bits(0.0));
}

TEST(ExtendedFloatTest, DenormalResults) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  const uint16_t expOfTiny = static_cast<uint16_t>(-1074 + 16383);
  EXPECT_EQ(ExtendedToDouble(Ext(expOfTiny, kTop)), tiny);
  // Half the smallest denormal is a tie between 0 (even) and it.
  EXPECT_EQ(Bits(ExtendedToDouble(Ext(expOfTiny - 1, kTop))), Bits(0.0));
  EXPECT_EQ(ExtendedToDouble(Ext(expOfTiny - 1, kTop | 1)), tiny);
  // One and a half: a tie between 1 and 2 units, 2 is even.
  EXPECT_EQ(ExtendedToDouble(Ext(expOfTiny, kTop | (kTop >> 1))), 2 * tiny);
  // A quarter rounds down.
  EXPECT_EQ(Bits(ExtendedToDouble(Ext(expOfTiny - 2, kTop))), Bits(0.0));
  // The largest denormal plus a bit more than half a unit carries into the
  // smallest normal.
  const double minNormal = std::numeric_limits<double>::min();
  const uint16_t expBelowMin = static_cast<uint16_t>(-1023 + 16383);
  EXPECT_EQ(ExtendedToDouble(Ext(expBelowMin, ~uint64_t{0})), minNormal);
  EXPECT_EQ(ExtendedToDouble(Ext(expBelowMin, kTop)), minNormal / 2);
}

TEST(ExtendedFloatTest, SpecialValuesAndOddEncodings) {
  const double nan = ExtendedToDouble(Ext(0x7FFF, kTop | (kTop >> 1)));
  EXPECT_TRUE(std::isnan(nan));
  EXPECT_FALSE(std::signbit(nan));
  // A signalling NaN with a payload only in the low bits must not collapse
  // into an infinity.
  EXPECT_TRUE(std::isnan(ExtendedToDouble(Ext(0x7FFF, kTop | 1))));
  EXPECT_TRUE(std::signbit(ExtendedToDouble(Ext(0xFFFF, kTop | 1))));
  // A NaN written and read keeps its payload.
  const double payload = std::bit_cast<double>(uint64_t{0x7FF8000000012345});
  EXPECT_EQ(Bits(ExtendedToDouble(DoubleToExtended(payload))), Bits(payload));
  // Pseudo-infinity (integer bit clear) still reads as infinity.
  EXPECT_EQ(ExtendedToDouble(Ext(0x7FFF, 0)), std::numeric_limits<double>::infinity());
  // Unnormal: exponent of 1.0 but no integer bit; read as its plain value.
  EXPECT_EQ(ExtendedToDouble(Ext(kOne, kTop >> 1)), 0.5);
  // Zero mantissa under any finite exponent is zero.
  EXPECT_EQ(Bits(ExtendedToDouble(Ext(0x8000 | kOne, 0))), Bits(-0.0));
}

#if defined(__x86_64__) && LDBL_MANT_DIG == 64
// On this platform long double is the x87 format itself: the hardware is the
// reference for both directions.
TEST(ExtendedFloatTest, AgreesWithTheHardware) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200000; ++i) {
    const double d = std::bit_cast<double>(rng());
    if (std::isnan(d)) continue;
    const long double ld = d;
    TExtendedBytes expect{};
    std::memcpy(expect.data(), &ld, expect.size());
    ASSERT_EQ(DoubleToExtended(d), expect) << d;
  }
  // Canonical extended values around the whole double range, with random
  // low bits so that rounding is exercised.
  std::uniform_int_distribution<int> exponent(16383 - 1100, 16383 + 1030);
  for (int i = 0; i < 200000; ++i) {
    const uint16_t e = static_cast<uint16_t>(exponent(rng) | ((i & 1) ? 0x8000 : 0));
    uint64_t m = rng() | kTop;
    if (i % 3 == 0) m = (m & ~uint64_t{0x7FF}) | 0x400;  // exact ties
    const TExtendedBytes b = Ext(e, m);
    long double ld = 0;
    std::memcpy(&ld, b.data(), b.size());
    ASSERT_EQ(Bits(ExtendedToDouble(b)), Bits(static_cast<double>(ld)))
        << std::hex << e << " " << m;
  }
}
#endif

}  // namespace
}  // namespace ts
