// TWriter: writes tagged values into a byte stream through a buffer of its
// own, passing the buffer on whenever it is full. The caller must call
// FlushBuffer() when done: the destructor writes nothing, so that a save that
// failed half-way does not add a partial tail to the target.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "table_store/binary_format/extended_float.h"
#include "table_store/binary_format/value_tags.h"
#include "table_store/streams.h"

namespace ts {

class TWriter {
 public:
  // A buffer size below 1 counts as 1.
  TWriter(TStream& stream, int32_t bufferSize = kDefaultValueBufferSize);
  TWriter(const TWriter&) = delete;
  TWriter& operator=(const TWriter&) = delete;

  void WriteValue(TValueType tag);
  void WriteListBegin() { WriteValue(vtList); }
  void WriteListEnd() { WriteValue(vtEnd); }

  // The smallest of vtInt8, vtInt16 and vtInt32 that holds the value.
  void WriteInteger(int32_t value);
  void WriteBoolean(bool value);
  // Always vtExtended with all 10 bytes.
  void WriteFloat(double value);
  // vtExtended with bytes made elsewhere (exact integers, currency amounts).
  void WriteExtended(const TExtendedBytes& value);
  // Text in the system's code page. Plain ASCII goes out as it stands
  // (vtString up to 255 bytes, vtLString above); a text with any byte of
  // 0x80 or more goes out as vtUtf8String. A text whose form would not fit
  // a 4-byte length raises EWriteError before anything is written.
  void WriteString(std::string_view text);

  // "TPF0" and the current file version.
  void WriteSignature();

  // Raw bytes, through the buffer.
  void Write(const void* data, int64_t count);
  // Passes what the buffer holds to the stream.
  void FlushBuffer();

  // Where the next byte will land in the stream.
  int64_t Position() const;

 private:
  void WriteLength(int64_t length);

  TStream& stream_;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
};

}  // namespace ts
