#include "table_store/compare.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "table_store/errors.h"

namespace ts {
namespace {

constexpr uint32_t kEnglishUS = 1033;

template <typename T>
std::array<uint8_t, 34> Bytes(T v) {
  std::array<uint8_t, 34> b{};
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

int Cmp(const void* k, const void* v, TFieldType type, int options = 0, uint32_t locale = kEnglishUS) {
  bool full = false;
  const int r = CompareFieldValues(k, v, type, locale, options, full);
  EXPECT_TRUE(full);
  return r;
}

// A 34-byte BCD value: digits as text, `places` of them after the point.
std::array<uint8_t, 34> Bcd(const std::string& digits, int places, bool negative = false) {
  std::array<uint8_t, 34> b{};
  b[0] = static_cast<uint8_t>(digits.size());
  b[1] = static_cast<uint8_t>(places | (negative ? 0x80 : 0));
  for (size_t k = 0; k < digits.size(); ++k) {
    const int d = digits[k] - '0';
    b[2 + k / 2] |= static_cast<uint8_t>(k % 2 == 0 ? d << 4 : d);
  }
  return b;
}

TEST(CompareTest, IntegerKindsBySignedness) {
  EXPECT_EQ(Cmp(Bytes<int32_t>(3).data(), Bytes<int32_t>(5).data(), ftInteger), -1);
  EXPECT_EQ(Cmp(Bytes<int32_t>(3).data(), Bytes<int32_t>(5).data(), ftInteger, mtcoDescending), 1);
  EXPECT_EQ(Cmp(Bytes<int32_t>(-1).data(), Bytes<int32_t>(1).data(), ftAutoInc), -1);
  EXPECT_EQ(Cmp(Bytes<int16_t>(-1).data(), Bytes<int16_t>(1).data(), ftSmallint), -1);
  EXPECT_EQ(Cmp(Bytes<uint16_t>(0xFFFF).data(), Bytes<uint16_t>(1).data(), ftWord), 1);  // unsigned
  EXPECT_EQ(Cmp(Bytes<int64_t>(INT64_MIN).data(), Bytes<int64_t>(INT64_MAX).data(), ftLargeint), -1);
  EXPECT_EQ(Cmp(Bytes<int32_t>(7).data(), Bytes<int32_t>(7).data(), ftInteger), 0);
  // Date and Time compare the 32-bit number in their first four bytes.
  auto date1 = Bytes<int32_t>(-3), date2 = Bytes<int32_t>(2);
  date1[5] = 0xFF;  // the other four bytes do not count
  EXPECT_EQ(Cmp(date1.data(), date2.data(), ftDate), -1);
  EXPECT_EQ(Cmp(date2.data(), date1.data(), ftTime), 1);
}

TEST(CompareTest, BooleanFloatsAndDateTime) {
  EXPECT_EQ(Cmp(Bytes<uint16_t>(2).data(), Bytes<uint16_t>(1).data(), ftBoolean), 0);  // 2 is also true
  EXPECT_EQ(Cmp(Bytes<uint16_t>(0).data(), Bytes<uint16_t>(1).data(), ftBoolean), -1);
  EXPECT_EQ(Cmp(Bytes<double>(1.5).data(), Bytes<double>(-2.0).data(), ftFloat), 1);
  EXPECT_EQ(Cmp(Bytes<double>(1.5).data(), Bytes<double>(1.5).data(), ftCurrency), 0);
  EXPECT_EQ(Cmp(Bytes<double>(45000.25).data(), Bytes<double>(45000.5).data(), ftDateTime), -1);
  EXPECT_EQ(Cmp(Bytes<double>(45000.5).data(), Bytes<double>(45000.25).data(), ftDateTime, mtcoDescending), -1);
}

TEST(CompareTest, BcdComparesAsCurrency) {
  auto a = Bcd("12345", 2);             // 123.45
  auto b = Bcd("1234500", 4);           // 123.4500
  auto c = Bcd("12346", 2, true);       // -123.46
  EXPECT_EQ(Cmp(a.data(), b.data(), ftBCD), 0);
  EXPECT_EQ(Cmp(c.data(), a.data(), ftFMTBcd), -1);
  EXPECT_EQ(Cmp(a.data(), c.data(), ftBCD, mtcoDescending), -1);
  // Beyond the currency range the comparison gives up: equal to anything.
  auto huge = Bcd("99999999999999999999", 0);
  EXPECT_EQ(Cmp(huge.data(), a.data(), ftBCD), 0);
  EXPECT_EQ(Cmp(c.data(), huge.data(), ftBCD), 0);
  auto bad = Bcd("12", 0);
  bad[2] = 0xA1;  // not a decimal digit
  EXPECT_EQ(Cmp(bad.data(), a.data(), ftBCD), 0);
}

TEST(CompareTest, BcdToCurrencyRoundsAndBoundsTheRange) {
  int64_t v = 0;
  ASSERT_TRUE(BcdToCurrency(Bcd("123456", 5).data(), v));  // 1.23456
  EXPECT_EQ(v, 12346);
  ASSERT_TRUE(BcdToCurrency(Bcd("5", 5, true).data(), v));  // -0.00005 rounds away from zero
  EXPECT_EQ(v, -1);
  ASSERT_TRUE(BcdToCurrency(Bcd("9223372036854775807", 4).data(), v));
  EXPECT_EQ(v, INT64_MAX);
  ASSERT_TRUE(BcdToCurrency(Bcd("9223372036854775808", 4, true).data(), v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_FALSE(BcdToCurrency(Bcd("9223372036854775808", 4).data(), v));
  EXPECT_FALSE(BcdToCurrency(Bcd("92233720368547758075", 5).data(), v));  // rounding overflows
  ASSERT_TRUE(BcdToCurrency(Bcd("", 0).data(), v));
  EXPECT_EQ(v, 0);
  auto tooLong = Bcd("1", 0);
  tooLong[0] = 65;
  EXPECT_FALSE(BcdToCurrency(tooLong.data(), v));
}

TEST(CompareTest, SqlTimeStampFieldByField) {
  auto stamp = [](int16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint32_t f) {
    std::array<uint8_t, 34> b{};
    uint8_t* p = b.data();
    std::memcpy(p, &y, 2);
    for (uint16_t part : {mo, d, h, mi, s}) std::memcpy(p += 2, &part, 2);
    std::memcpy(p + 2, &f, 4);
    return b;
  };
  EXPECT_EQ(Cmp(stamp(2024, 1, 1, 0, 0, 0, 0).data(), stamp(2024, 1, 1, 0, 0, 0, 0).data(), ftTimeStamp), 0);
  EXPECT_EQ(Cmp(stamp(-5, 12, 31, 0, 0, 0, 0).data(), stamp(1, 1, 1, 0, 0, 0, 0).data(), ftTimeStamp), -1);
  EXPECT_EQ(Cmp(stamp(2024, 2, 1, 0, 0, 0, 0).data(), stamp(2024, 1, 31, 23, 0, 0, 0).data(), ftTimeStamp), 1);
  EXPECT_EQ(Cmp(stamp(2024, 1, 1, 0, 0, 59, 1).data(), stamp(2024, 1, 1, 0, 1, 0, 0).data(), ftTimeStamp), -1);
  EXPECT_EQ(Cmp(stamp(2024, 1, 1, 0, 0, 0, 9).data(), stamp(2024, 1, 1, 0, 0, 0, 8).data(), ftTimeStamp), 1);
}

TEST(CompareTest, TypesWithoutOrderAreAlwaysEqual) {
  const char a[] = "abc", b[] = "xyz";
  for (TFieldType t : {ftBytes, ftVarBytes, ftBlob, ftMemo, ftOraBlob, ftADT, ftArray, ftUnknown})
    EXPECT_EQ(Cmp(a, b, t, mtcoDescending), 0) << int(t);
}

TEST(CompareTest, TextPartialKey) {
  bool full = true;
  EXPECT_EQ(CompareFieldValues("ab", "abc", ftString, kEnglishUS, mtcoPartialKey, full), 0);
  EXPECT_FALSE(full);
  EXPECT_LT(CompareFieldValues("ab", "abc", ftString, kEnglishUS, 0, full), 0);
  EXPECT_TRUE(full);
  // Only the record side is cut: a longer key still sorts after.
  EXPECT_GT(CompareFieldValues("abcd", "abc", ftString, kEnglishUS, mtcoPartialKey, full), 0);
  EXPECT_FALSE(full);
  EXPECT_EQ(CompareFieldValues("abc", "abc", ftFixedChar, kEnglishUS, mtcoPartialKey, full), 0);
  EXPECT_TRUE(full);
  EXPECT_EQ(CompareFieldValues("", "abc", ftString, kEnglishUS, mtcoPartialKey | mtcoIgnoreLocale, full), 0);
}

TEST(CompareTest, TextByBytesIgnoringLocale) {
  bool full;
  // Upper case before lower case by bytes: a after B.
  EXPECT_GT(CompareFieldValues("a", "B", ftString, kEnglishUS, mtcoIgnoreLocale, full), 0);
  EXPECT_EQ(CompareFieldValues("a", "A", ftString, kEnglishUS, mtcoIgnoreLocale | mtcoCaseInsensitive, full), 0);
  // Only a-z fold: Cyrillic case still differs by bytes.
  EXPECT_NE(CompareFieldValues("\xe0", "\xc0", ftString, kEnglishUS, mtcoIgnoreLocale | mtcoCaseInsensitive,
                               full),
            0);
  // The difference of the first differing bytes (unsigned), or of the lengths.
  EXPECT_EQ(CompareFieldValues("ad", "aa", ftString, kEnglishUS, mtcoIgnoreLocale, full), 3);
  EXPECT_EQ(CompareFieldValues("\xff", "a", ftString, kEnglishUS, mtcoIgnoreLocale, full), 0xFF - 'a');
  EXPECT_EQ(CompareFieldValues("abc", "a", ftString, kEnglishUS, mtcoIgnoreLocale, full), 2);
  EXPECT_EQ(CompareFieldValues("a", "abc", ftString, kEnglishUS, mtcoIgnoreLocale | mtcoDescending, full), 2);
}

TEST(CompareTest, TextThroughTheLocale) {
  bool full;
  EXPECT_EQ(CompareFieldValues("a", "B", ftString, kEnglishUS, 0, full), -1);
  EXPECT_EQ(CompareFieldValues("a", "A", ftString, kEnglishUS, 0, full), -1);
  EXPECT_EQ(CompareFieldValues("a", "A", ftString, kEnglishUS, mtcoCaseInsensitive, full), 0);
  EXPECT_EQ(CompareFieldValues("a", "B", ftString, kEnglishUS, mtcoDescending, full), 1);
  try {
    CompareFieldValues("a", "b", ftString, 0x7FFF, 0, full);
    FAIL() << "no error";
  } catch (const EMemTableInvalidLocale& e) {
    EXPECT_EQ(e.Message(), "Invalid locale. 32767");
  }
  // Bytes never reach the locale when it is ignored.
  EXPECT_NO_THROW(CompareFieldValues("a", "b", ftString, 0x7FFF, mtcoIgnoreLocale, full));
}

TEST(CompareTest, BoundedTextStopsAtTheLimitAndShortFixedValuesPad) {
  bool full;
  const char unterminated[] = {'a', 'b', 'c'};
  EXPECT_EQ(CompareFieldValueBytes(unterminated, 2, "ab", 3, ftString, kEnglishUS, mtcoIgnoreLocale, full), 0);
  const uint8_t two[] = {5, 0};
  const auto five = Bytes<int32_t>(5);
  EXPECT_EQ(CompareFieldValueBytes(two, 2, five.data(), 4, ftInteger, kEnglishUS, 0, full), 0);
  EXPECT_EQ(CompareFieldValueBytes(two, 0, five.data(), 4, ftInteger, kEnglishUS, 0, full), -1);
}

TEST(CompareTest, DefaultCompressionKeepsTheUsedText) {
  const uint8_t text[8] = {'a', 'b', 0, 'x', 'x', 'x', 'x', 'x'};
  int32_t size = 8;
  EXPECT_EQ(DefaultCompressValue(ftString, text, size), text);
  EXPECT_EQ(size, 3);
  size = 8;
  DefaultCompressValue(ftInteger, text, size);
  EXPECT_EQ(size, 8);
  const uint8_t full[2] = {'a', 'b'};  // no terminator inside the value
  size = 2;
  DefaultCompressValue(ftFixedChar, full, size);
  EXPECT_EQ(size, 2);
  size = 5;
  EXPECT_EQ(DefaultDecompressValue(ftString, text, size), text);
  EXPECT_EQ(size, 5);
}

}  // namespace
}  // namespace ts
