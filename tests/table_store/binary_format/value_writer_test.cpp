#include "table_store/binary_format/value_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "byte_streams.h"
#include "table_store/errors.h"

namespace ts {
namespace {

using test::Bytes;

// Records every write the stream receives; can be told to fail from the
// n-th write on.
class TRecordingStream : public TMemoryStream {
 public:
  int writes = 0;
  int failFrom = -1;
  int64_t Write(const void* buffer, int64_t count) override {
    if (failFrom >= 0 && writes >= failFrom) return 0;
    ++writes;
    return TMemoryStream::Write(buffer, count);
  }
};

void WriteMixture(TWriter& w) {
  w.WriteSignature();
  w.WriteListBegin();
  for (int i = -70000; i <= 70000; i += 997) w.WriteInteger(i);
  w.WriteFloat(2.5);
  w.WriteBoolean(true);
  w.WriteString("short");
  w.WriteString(std::string(300, 'L'));
  w.WriteString(std::string(40, '\xE9'));
  w.WriteString(std::string(5000, 'Q'));
  w.WriteListEnd();
}

TEST(ValueWriterTest, BytesDoNotDependOnTheBufferSize) {
  const Bytes reference = test::Written(WriteMixture);
  ASSERT_GT(reference.size(), 5000u);
  for (int32_t size : {1, 2, 3, 7, 10, 11, 64, 255, 256, 4999, 5000, 5001, 16384, 1 << 20}) {
    EXPECT_EQ(test::Written(WriteMixture, size), reference) << "buffer " << size;
  }
}

TEST(ValueWriterTest, OutputWaitsForAFullBufferOrTheFlush) {
  TRecordingStream s;
  TWriter w(s, 8);
  w.WriteInteger(1000);  // 3 bytes
  w.WriteInteger(1000);  // 6
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(w.Position(), 6);
  w.WriteInteger(1000);  // 9: one full buffer goes out, one byte waits
  EXPECT_EQ(s.Size(), 8);
  EXPECT_EQ(s.writes, 1);
  EXPECT_EQ(w.Position(), 9);
  w.FlushBuffer();
  EXPECT_EQ(s.Size(), 9);
  w.FlushBuffer();  // nothing left: no empty write
  EXPECT_EQ(s.writes, 2);
}

TEST(ValueWriterTest, WritesLandAtTheStreamsPosition) {
  TMemoryStream s;
  const Bytes head = test::B({0xAA, 0xBB, 0xCC});
  s.WriteBuffer(head.data(), 3);
  TWriter w(s, 4);
  EXPECT_EQ(w.Position(), 3);
  w.WriteInteger(5);
  w.WriteBoolean(false);
  w.FlushBuffer();
  EXPECT_EQ(test::StreamBytes(s), test::B({0xAA, 0xBB, 0xCC, 0x02, 0x05, 0x08}));
}

TEST(ValueWriterTest, TargetFailuresArePassedOn) {
  TRecordingStream s;
  s.failFrom = 0;
  TWriter w(s, 4);
  w.WriteBoolean(true);
  EXPECT_THROW(w.FlushBuffer(), EWriteError);
  // The failed bytes are not sent again by a later flush.
  s.failFrom = -1;
  w.WriteBoolean(false);
  w.FlushBuffer();
  EXPECT_EQ(test::StreamBytes(s), test::B({0x08}));

  TRecordingStream t;
  t.failFrom = 0;
  TWriter v(t, 4);
  try {
    v.WriteString(std::string(100, 'x'));  // fills the buffer: the failure shows at once
    FAIL() << "no error";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Stream write error");
  }
}

}  // namespace
}  // namespace ts
