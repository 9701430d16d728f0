#include "table_store/codepage.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace ts {
namespace {

std::string AllBytes() {
  std::string s(256, '\0');
  for (int i = 0; i < 256; ++i) s[static_cast<size_t>(i)] = static_cast<char>(i);
  return s;
}

TEST(CodePageTest, EveryByteHasItsOwnCodePoint) {
  std::set<char16_t> seen;
  for (int b = 0; b < 256; ++b) {
    const char16_t cp = Cp1251ToUnicode(static_cast<uint8_t>(b));
    EXPECT_TRUE(seen.insert(cp).second) << "byte " << b << " shares U+" << std::hex << int(cp);
    uint8_t back = 0;
    ASSERT_TRUE(UnicodeToCp1251(cp, back)) << b;
    EXPECT_EQ(back, b);
  }
  EXPECT_EQ(Cp1251ToUnicode(0x98), 0x0098);
  EXPECT_EQ(Cp1251ToUnicode(0xC0), 0x0410);  // А
  EXPECT_EQ(Cp1251ToUnicode(0xFF), 0x044F);  // я
  EXPECT_EQ(Cp1251ToUnicode(0xA8), 0x0401);  // Ё
  EXPECT_EQ(Cp1251ToUnicode(0xB9), 0x2116);  // №
  EXPECT_EQ(Cp1251ToUnicode(0x88), 0x20AC);  // €
  EXPECT_EQ(Cp1251ToUnicode(0x41), 0x0041);
}

TEST(CodePageTest, CodePointsWithoutAByte) {
  uint8_t b = 0;
  EXPECT_FALSE(UnicodeToCp1251(0x00C0, b));  // À is not in this code page
  EXPECT_FALSE(UnicodeToCp1251(0x0080, b));
  EXPECT_FALSE(UnicodeToCp1251(0x0500, b));
  EXPECT_FALSE(UnicodeToCp1251(0x1F600, b));
  EXPECT_FALSE(UnicodeToCp1251(0x2100, b));  // a page that holds bytes, an entry that does not
}

TEST(CodePageTest, WholeStringsRoundTrip) {
  const std::string all = AllBytes();
  const std::string utf8 = Cp1251ToUtf8(all);
  bool lossless = false;
  EXPECT_EQ(Utf8ToCp1251(utf8, &lossless), all);
  EXPECT_TRUE(lossless);
  const std::u16string utf16 = Cp1251ToUtf16(all);
  ASSERT_EQ(utf16.size(), 256u);
  EXPECT_EQ(Utf16ToCp1251(utf16, &lossless), all);
  EXPECT_TRUE(lossless);
  EXPECT_EQ(Cp1251ToUtf8("\xcf\xf0\xe8\xe2\xe5\xf2"), "Привет");
  EXPECT_EQ(Utf8ToCp1251("Ответ №1"), "\xce\xf2\xe2\xe5\xf2 \xb9\x31");
  EXPECT_EQ(Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));  // zeros are data
  EXPECT_EQ(Cp1251ToUtf8(""), "");
}

TEST(CodePageTest, MalformedAndUnmappableInputBecomesQuestionMarks) {
  bool lossless = true;
  EXPECT_EQ(Utf8ToCp1251("a\xC3\x80z", &lossless), "a?z");  // À: valid but no byte
  EXPECT_FALSE(lossless);
  EXPECT_EQ(Utf8ToCp1251("a\xff\xfe", &lossless), "a??");  // not UTF-8 at all
  EXPECT_FALSE(lossless);
  EXPECT_EQ(Utf8ToCp1251("\xD0", &lossless), "?");  // cut-off sequence
  EXPECT_EQ(Utf8ToCp1251("\xC0\x80"), "??");         // overlong zero
  EXPECT_EQ(Utf8ToCp1251("\xED\xA0\x80"), "???");     // encoded surrogate
  EXPECT_EQ(Utf8ToCp1251("\xF0\x9F\x98\x80!"), "?!");  // beyond the BMP
  EXPECT_EQ(Utf16ToCp1251(u"\xD83D\xDE00x", &lossless), "?x");  // a pair is one character
  EXPECT_FALSE(lossless);
  EXPECT_EQ(Utf16ToCp1251(u"\xDC00\xD800"), "??");  // lone surrogates
  EXPECT_EQ(Utf16ToCp1251(u"\x0416", &lossless), "\xc6");
  EXPECT_TRUE(lossless);
}

}  // namespace
}  // namespace ts
