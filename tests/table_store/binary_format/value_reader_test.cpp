#include "table_store/binary_format/value_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "allocation_probe.h"
#include "byte_streams.h"
#include "table_store/errors.h"

namespace ts {
namespace {

using test::B;
using test::Bytes;
using test::Concat;

// Runs `read` over `bytes` and returns the message of the EReadError it
// raises, or "" when it raises nothing.
std::string ReadErrorOf(const Bytes& bytes, const std::function<void(TReader&)>& read,
                        int32_t bufferSize = kDefaultValueBufferSize) {
  TMemoryStream s;
  test::Fill(s, bytes);
  TReader r(s, bufferSize);
  try {
    read(r);
  } catch (const EReadError& e) {
    return e.Message();
  }
  return "";
}

constexpr const char* kReadError = "Stream read error";
constexpr const char* kBadValue = "Invalid property value";
constexpr const char* kBadFormat = "Invalid stream format";

TEST(ValueReaderTest, EachKindAcceptsOnlyItsOwnTags) {
  const auto readInteger = [](TReader& r) { r.ReadInteger(); };
  const auto readFloat = [](TReader& r) { r.ReadFloat(); };
  const auto readString = [](TReader& r) { r.ReadString(); };
  // Floats, 64-bit integers, texts, Booleans and list tags are no integers.
  for (const Bytes& bytes : {B({0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}),
                             B({0x13, 1, 0, 0, 0, 0, 0, 0, 0}), B({0x06, 0x01, '1'}),
                             B({0x09}), B({0x01}), B({0x00}), B({0x07})}) {
    EXPECT_EQ(ReadErrorOf(bytes, readInteger), kBadValue) << int(bytes[0]);
  }
  for (const Bytes& bytes : {B({0x08}), B({0x06, 0x00}), B({0x01})}) {
    EXPECT_EQ(ReadErrorOf(bytes, readFloat), kBadValue) << int(bytes[0]);
  }
  for (const Bytes& bytes : {B({0x02, 0x01}), B({0x09}), B({0x01}), B({0x00}), B({0x0A, 0x00})}) {
    EXPECT_EQ(ReadErrorOf(bytes, readString), kBadValue) << int(bytes[0]);
  }
}

TEST(ValueReaderTest, FloatsAcceptEveryNumberTag) {
  TMemoryStream s;
  test::Fill(s, B({0x02, 0xFE, 0x03, 0x00, 0x80, 0x04, 0xFF, 0xFF, 0xFF, 0x7F,
                   0x13, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80,  // INT64_MIN
                   0x13, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}));
  TReader r(s);
  EXPECT_EQ(r.ReadFloat(), -2.0);
  EXPECT_EQ(r.ReadFloat(), -32768.0);
  EXPECT_EQ(r.ReadFloat(), 2147483647.0);
  EXPECT_EQ(r.ReadFloat(), -9223372036854775808.0);
  EXPECT_EQ(r.ReadFloat(), 4294967297.0);
}

TEST(ValueReaderTest, ABooleanOfAnyOtherTagIsFalseAndTakesOnlyTheTag) {
  TMemoryStream s;
  // vtTrue, vtFalse, then tags of other values: each is read as false and
  // its data is left for the next read.
  test::Fill(s, B({0x09, 0x08, 0x02, 0x02, 0x05, 0x00, 0x03, 0x10, 0x00}));
  TReader r(s);
  EXPECT_TRUE(r.ReadBoolean());
  EXPECT_FALSE(r.ReadBoolean());
  EXPECT_FALSE(r.ReadBoolean());  // the vtInt8 tag
  EXPECT_FALSE(r.ReadBoolean());  // its data byte 0x02, taken as a tag
  EXPECT_FALSE(r.ReadBoolean());  // vtExtended tag
  EXPECT_FALSE(r.ReadBoolean());  // vtEnd
  EXPECT_EQ(r.ReadInteger(), 16);
  EXPECT_EQ(ReadErrorOf({}, [](TReader& r) { r.ReadBoolean(); }), kReadError);
}

TEST(ValueReaderTest, ListsAndTheEndOfListPeek) {
  TMemoryStream s;
  test::Fill(s, B({0x01, 0x02, 0x07, 0x00, 0x00}));
  TReader r(s);
  EXPECT_FALSE(r.EndOfList());
  EXPECT_EQ(r.NextValue(), vtList);
  r.ReadListBegin();
  EXPECT_FALSE(r.EndOfList());
  EXPECT_EQ(r.ReadInteger(), 7);
  EXPECT_TRUE(r.EndOfList());
  EXPECT_TRUE(r.EndOfList());  // peeking twice consumes nothing
  r.ReadListEnd();
  EXPECT_EQ(r.ReadValue(), vtEnd);
  EXPECT_EQ(r.Position(), 5);
  EXPECT_THROW(r.EndOfList(), EReadError);  // nothing left to peek at

  EXPECT_EQ(ReadErrorOf(B({0x00}), [](TReader& r) { r.ReadListBegin(); }), kBadValue);
  EXPECT_EQ(ReadErrorOf(B({0x01}), [](TReader& r) { r.ReadListEnd(); }), kBadValue);
  EXPECT_EQ(ReadErrorOf(B({0x02, 0x00}), [](TReader& r) { r.ReadListEnd(); }), kBadValue);
}

TEST(ValueReaderTest, SignatureAndFileVersion) {
  const Bytes tpf0 = test::TextBytes("TPF0");
  {
    TMemoryStream s;
    test::Fill(s, Concat({tpf0, B({0x03, 0xFB, 0x00, 0x01})}));
    TReader r(s);
    r.ReadSignature();
    EXPECT_EQ(r.ReadFileVersion(), 251);
    EXPECT_EQ(r.NextValue(), vtList);
  }
  {
    // No version value: a list follows the signature at once.
    TMemoryStream s;
    test::Fill(s, Concat({tpf0, B({0x01, 0x00})}));
    TReader r(s);
    r.ReadSignature();
    EXPECT_EQ(r.ReadFileVersion(), 100);
    EXPECT_EQ(r.Position(), 4);
    r.ReadListBegin();
  }
  EXPECT_EQ(ReadErrorOf(test::TextBytes("TPF1\x02\x01"), [](TReader& r) { r.ReadSignature(); }),
            kBadFormat);
  EXPECT_EQ(ReadErrorOf(test::TextBytes("tpf0"), [](TReader& r) { r.ReadSignature(); }),
            kBadFormat);
  // Too short to hold a signature, the empty stream included.
  EXPECT_EQ(ReadErrorOf({}, [](TReader& r) { r.ReadSignature(); }), kReadError);
  EXPECT_EQ(ReadErrorOf(test::TextBytes("TPF"), [](TReader& r) { r.ReadSignature(); }),
            kReadError);
  // A version that is neither an integer nor a list start.
  EXPECT_EQ(ReadErrorOf(Concat({tpf0, B({0x06, 0x00})}),
                        [](TReader& r) {
                          r.ReadSignature();
                          r.ReadFileVersion();
                        }),
            kBadValue);
  EXPECT_EQ(ReadErrorOf(tpf0,
                        [](TReader& r) {
                          r.ReadSignature();
                          r.ReadFileVersion();
                        }),
            kReadError);
}

TEST(ValueReaderTest, DamagedLengthsFailBeforeAnyAllocation) {
  // Negative, huge and merely one-too-many lengths for each long text tag.
  const Bytes payload = test::TextBytes("abcd");
  for (uint8_t tag : {uint8_t{0x0C}, uint8_t{0x14}, uint8_t{0x12}}) {
    for (const Bytes& length : {B({0xFF, 0xFF, 0xFF, 0xFF}), B({0x00, 0x00, 0x00, 0x80}),
                                B({0xFF, 0xFF, 0xFF, 0x7F}), B({0x00, 0x00, 0x00, 0x40})}) {
      const Bytes bytes = Concat({B({tag}), length, payload});
      test::TAllocationProbe probe;
      EXPECT_EQ(ReadErrorOf(bytes, [](TReader& r) { r.ReadString(); }), kReadError)
          << int(tag);
      EXPECT_LT(probe.Largest(), 100000u) << int(tag);
    }
  }
  EXPECT_EQ(ReadErrorOf(Concat({B({0x0C, 0x05, 0, 0, 0}), payload}),
                        [](TReader& r) { r.ReadString(); }),
            kReadError);
  // UTF-16 counts units of two bytes: 3 units need 6 bytes, 4 are there.
  EXPECT_EQ(ReadErrorOf(Concat({B({0x12, 0x03, 0, 0, 0}), payload}),
                        [](TReader& r) { r.ReadString(); }),
            kReadError);
  // Exactly what is left is fine, also when it spans several buffers.
  for (int32_t size : {1, 3, 16384}) {
    TMemoryStream s;
    test::Fill(s, B({0x12, 0x02, 0, 0, 0, 'a', 0x00, 0x14, 0x04}));
    TReader r(s, size);
    EXPECT_EQ(r.ReadString(), "a\xC4");
  }
}

TEST(ValueReaderTest, EveryTruncationIsAReadError) {
  TMemoryStream full;
  {
    TWriter w(full);
    w.WriteSignature();
    w.WriteListBegin();
    w.WriteInteger(-5);
    w.WriteInteger(300);
    w.WriteInteger(1 << 20);
    w.WriteFloat(-0.75);
    w.WriteBoolean(true);
    w.WriteString("plain");
    w.WriteString(std::string(400, 'p'));
    w.WriteString("\xCF\xF0\xE8\xE2\xE5\xF2");
    w.WriteListEnd();
    w.FlushBuffer();
  }
  const Bytes bytes = test::StreamBytes(full);
  const auto readAll = [](TReader& r) {
    r.ReadSignature();
    EXPECT_EQ(r.ReadFileVersion(), 251);
    r.ReadListBegin();
    EXPECT_EQ(r.ReadInteger(), -5);
    EXPECT_EQ(r.ReadInteger(), 300);
    EXPECT_EQ(r.ReadInteger(), 1 << 20);
    EXPECT_EQ(r.ReadFloat(), -0.75);
    EXPECT_TRUE(r.ReadBoolean());
    EXPECT_EQ(r.ReadString(), "plain");
    EXPECT_EQ(r.ReadString(), std::string(400, 'p'));
    EXPECT_EQ(r.ReadString(), "\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_TRUE(r.EndOfList());
    r.ReadListEnd();
  };
  for (int32_t size : {1, 5, 300, 16384}) {
    EXPECT_EQ(ReadErrorOf(bytes, readAll, size), "");
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
      const Bytes shortened(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      ASSERT_EQ(ReadErrorOf(shortened, readAll, size), kReadError) << "cut " << cut;
    }
  }
}

TEST(ValueReaderTest, LongTextsSurviveInEveryBufferSize) {
  // Far longer than the pieces a long text is converted in, with one, two
  // and three UTF-8 bytes per character so that pieces end inside sequences.
  std::string mixed;
  for (int i = 0; mixed.size() < 50000; ++i) mixed += static_cast<char>("a\xC4\xB9\x98z"[i % 5]);
  const std::string plain(40000, 'p');
  for (int32_t size : {1, 7, 16384, 1 << 20}) {
    TMemoryStream s;
    {
      TWriter w(s, size);
      w.WriteString(mixed);
      w.WriteString(plain);
      w.WriteInteger(-1);
      w.FlushBuffer();
    }
    s.SetPosition(0);
    TReader r(s, size);
    EXPECT_EQ(r.ReadString(), mixed) << size;
    EXPECT_EQ(r.ReadString(), plain) << size;
    EXPECT_EQ(r.ReadInteger(), -1);
    EXPECT_EQ(r.Position(), s.Size());
  }
}

TEST(ValueReaderTest, ClosingGivesTheReadAheadBack) {
  // Values, then bytes that belong to someone else.
  TMemoryStream s;
  {
    TWriter w(s);
    w.WriteInteger(7);
    w.WriteString(std::string(50, 's'));
    w.WriteFloat(1.5);
    w.FlushBuffer();
  }
  const int64_t valuesEnd = s.Size();
  const Bytes tail = B({0xDE, 0xAD, 0xBE, 0xEF});
  s.WriteBuffer(tail.data(), 4);

  for (int32_t size : {1, 2, 8, 55, 100, 16384}) {
    for (int consumed = 1; consumed <= 3; ++consumed) {
      s.SetPosition(0);
      int64_t expected = 0;
      {
        TReader r(s, size);
        EXPECT_EQ(r.ReadInteger(), 7);
        if (consumed >= 2) {
          EXPECT_EQ(r.ReadString(), std::string(50, 's'));
        }
        if (consumed >= 3) {
          EXPECT_EQ(r.ReadFloat(), 1.5);
        }
        expected = r.Position();
        EXPECT_GE(s.Position(), expected);
      }  // the destructor closes
      EXPECT_EQ(s.Position(), expected) << "buffer " << size << ", values " << consumed;
    }
  }
  s.SetPosition(0);
  TReader r(s);
  r.ReadInteger();
  r.ReadString();
  r.ReadFloat();
  EXPECT_EQ(r.NextValue(), 0xDE);  // a peek consumes nothing
  r.Close();
  EXPECT_EQ(s.Position(), valuesEnd);
  r.Close();  // twice is harmless
  EXPECT_EQ(s.Position(), valuesEnd);
  // A closed reader has nothing more to give.
  EXPECT_THROW(r.ReadValue(), EReadError);
  EXPECT_EQ(s.Position(), valuesEnd);
}

}  // namespace
}  // namespace ts
