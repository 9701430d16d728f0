// The exact bytes of single values, both ways: what the writer produces and
// what the reader makes of the same bytes.
#include <gtest/gtest.h>

#include <string>

#include "byte_streams.h"
#include "table_store/binary_format/value_reader.h"
#include "table_store/binary_format/value_writer.h"

namespace ts {
namespace {

using test::B;
using test::Bytes;
using test::Concat;
using test::TextBytes;
using test::Written;

TEST(ValueBytesTest, IntegersTakeTheSmallestTag) {
  struct Case {
    int32_t value;
    Bytes bytes;
  };
  const Case cases[] = {
      {0, B({0x02, 0x00})},
      {127, B({0x02, 0x7F})},
      {-128, B({0x02, 0x80})},
      {128, B({0x03, 0x80, 0x00})},
      {-129, B({0x03, 0x7F, 0xFF})},
      {32767, B({0x03, 0xFF, 0x7F})},
      {-32768, B({0x03, 0x00, 0x80})},
      {32768, B({0x04, 0x00, 0x80, 0x00, 0x00})},
      {-32769, B({0x04, 0xFF, 0x7F, 0xFF, 0xFF})},
      {251, B({0x03, 0xFB, 0x00})},
      {1500, B({0x03, 0xDC, 0x05})},
      {INT32_MAX, B({0x04, 0xFF, 0xFF, 0xFF, 0x7F})},
      {INT32_MIN, B({0x04, 0x00, 0x00, 0x00, 0x80})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Written([&](TWriter& w) { w.WriteInteger(c.value); }), c.bytes) << c.value;
    TMemoryStream s;
    test::Fill(s, c.bytes);
    TReader r(s);
    EXPECT_EQ(r.ReadInteger(), c.value);
    test::Fill(s, c.bytes);
    TReader f(s);
    EXPECT_EQ(f.ReadFloat(), static_cast<double>(c.value));
  }
}

TEST(ValueBytesTest, FloatsAreTenByteExtended) {
  struct Case {
    double value;
    Bytes bytes;
  };
  const Case cases[] = {
      {1.2345, B({0x05, 0x00, 0x68, 0xBC, 0x74, 0x93, 0x18, 0x04, 0x9E, 0xFF, 0x3F})},
      {0.0, B({0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {-1.0, B({0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xBF})},
      {1e300, B({0x05, 0x00, 0xE0, 0xAC, 0x03, 0x40, 0xE4, 0x21, 0xBF, 0xE3, 0x43})},
      {4.9406564584124654e-324, B({0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xCD, 0x3B})},
      // A whole number is still a float: never an integer tag.
      {3.0, B({0x05, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0x40})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Written([&](TWriter& w) { w.WriteFloat(c.value); }), c.bytes) << c.value;
    TMemoryStream s;
    test::Fill(s, c.bytes);
    TReader r(s);
    EXPECT_EQ(r.ReadFloat(), c.value);
  }
}

TEST(ValueBytesTest, TextsAtTheShortAndLongBoundary) {
  const std::string s255(255, 'x');
  const std::string s256(256, 'y');
  EXPECT_EQ(Written([&](TWriter& w) { w.WriteString(s255); }),
            Concat({B({0x06, 0xFF}), TextBytes(s255)}));
  EXPECT_EQ(Written([&](TWriter& w) { w.WriteString(s256); }),
            Concat({B({0x0C, 0x00, 0x01, 0x00, 0x00}), TextBytes(s256)}));
  EXPECT_EQ(Written([&](TWriter& w) { w.WriteString(""); }), B({0x06, 0x00}));
  EXPECT_EQ(Written([&](TWriter& w) { w.WriteString("subjid"); }),
            Concat({B({0x06, 0x06}), TextBytes("subjid")}));
  // Zero bytes are data, not terminators.
  EXPECT_EQ(Written([&](TWriter& w) { w.WriteString(std::string("a\0b", 3)); }),
            B({0x06, 0x03, 'a', 0x00, 'b'}));
}

TEST(ValueBytesTest, OneHighByteMakesAUtf8Text) {
  // "Дa": 0xC4 is U+0414, two UTF-8 bytes.
  EXPECT_EQ(Written([&](TWriter& w) { w.WriteString("\xC4" "a"); }),
            B({0x14, 0x03, 0x00, 0x00, 0x00, 0xD0, 0x94, 'a'}));
  // 0x98 has no character in the code page but must still travel.
  EXPECT_EQ(Written([&](TWriter& w) { w.WriteString("\x98"); }),
            B({0x14, 0x02, 0x00, 0x00, 0x00, 0xC2, 0x98}));
  // "№" is three UTF-8 bytes.
  EXPECT_EQ(Written([&](TWriter& w) { w.WriteString("\xB9"); }),
            B({0x14, 0x03, 0x00, 0x00, 0x00, 0xE2, 0x84, 0x96}));
  // Whatever the length: 255 plain bytes and one high byte at the very end.
  const std::string longText = std::string(255, 'z') + "\xFF";
  const Bytes written = Written([&](TWriter& w) { w.WriteString(longText); });
  ASSERT_EQ(written.size(), 1u + 4u + 255u + 2u);
  EXPECT_EQ(Bytes(written.begin(), written.begin() + 5), B({0x14, 0x01, 0x01, 0x00, 0x00}));
  EXPECT_EQ(Bytes(written.end() - 2, written.end()), B({0xD1, 0x8F}));  // я
}

TEST(ValueBytesTest, EveryTextTagReadsIntoTheCodePage) {
  struct Case {
    Bytes bytes;
    std::string text;
  };
  const Case cases[] = {
      {B({0x06, 0x02, 'o', 'k'}), "ok"},
      // Short and long plain texts give their bytes unchanged, high ones too.
      {B({0x06, 0x01, 0xC4}), "\xC4"},
      {B({0x0C, 0x02, 0x00, 0x00, 0x00, 0xC4, 0xFF}), "\xC4\xFF"},
      {B({0x14, 0x03, 0x00, 0x00, 0x00, 0xD0, 0x94, 'a'}), "\xC4" "a"},
      {B({0x14, 0x00, 0x00, 0x00, 0x00}), ""},
      // UTF-16 little-endian: "Дa" and U+2116.
      {B({0x12, 0x03, 0x00, 0x00, 0x00, 0x14, 0x04, 'a', 0x00, 0x16, 0x21}), "\xC4" "a\xB9"},
      // Characters outside the code page become '?'.
      {B({0x12, 0x01, 0x00, 0x00, 0x00, 0xC0, 0x00}), "?"},
      {B({0x14, 0x02, 0x00, 0x00, 0x00, 0xC3, 0x80}), "?"},
  };
  for (const Case& c : cases) {
    TMemoryStream s;
    test::Fill(s, c.bytes);
    TReader r(s);
    EXPECT_EQ(r.ReadString(), c.text);
    EXPECT_EQ(r.Position(), static_cast<int64_t>(c.bytes.size()));
  }
}

TEST(ValueBytesTest, SignatureVersionListsAndBooleans) {
  EXPECT_EQ(Written([](TWriter& w) { w.WriteSignature(); }),
            B({0x54, 0x50, 0x46, 0x30, 0x03, 0xFB, 0x00}));
  EXPECT_EQ(Written([](TWriter& w) {
              w.WriteListBegin();
              w.WriteBoolean(false);
              w.WriteBoolean(true);
              w.WriteListEnd();
            }),
            B({0x01, 0x08, 0x09, 0x00}));
}

}  // namespace
}  // namespace ts
