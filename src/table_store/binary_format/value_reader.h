// TReader: reads tagged values from a byte stream. It fills a buffer of its
// own from the stream a whole buffer at a time, so the stream runs ahead of
// what has been consumed; Close() (also run by the destructor) moves the
// stream back to just behind the last value consumed.
//
// Failures raise EReadError: "Stream read error" when the stream ends inside
// a value (or a length claims more bytes than the stream has left),
// "Invalid property value" when a value has the wrong tag, and
// "Invalid stream format" for a bad signature.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "table_store/binary_format/extended_float.h"
#include "table_store/binary_format/value_tags.h"
#include "table_store/streams.h"
#include "table_store/value_block.h"

namespace ts {

class TReader {
 public:
  // A buffer size below 1 counts as 1.
  TReader(TStream& stream, int32_t bufferSize = kDefaultValueBufferSize);
  ~TReader();
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;

  // Gives the unread part of the buffer back to the stream. Idempotent; the
  // reader must not be used afterwards.
  void Close();

  // The next tag, consumed or not.
  TValueType ReadValue();
  TValueType NextValue();
  // True when the next tag is vtEnd; consumes nothing.
  bool EndOfList();

  void ReadListBegin();
  void ReadListEnd();

  // vtInt8, vtInt16 or vtInt32, sign-extended.
  int32_t ReadInteger();
  // vtExtended, or any integer tag (vtInt64 included) converted.
  double ReadFloat();
  // The same values as ReadFloat, kept in the stream's 10-byte form (an
  // integer tag converted exactly), for values a double cannot carry.
  TExtendedBytes ReadExtended();
  // vtTrue gives true; any other tag gives false and only the tag is consumed.
  bool ReadBoolean();
  // Text in the system's code page: vtString and vtLString as they stand,
  // vtUtf8String and vtWString converted.
  std::string ReadString();
  // The same text in a new value block (nullptr for an empty text), written
  // there as it is read: a blob of tens of megabytes passes through no
  // string on its way into a record.
  TValueBlock ReadStringBlock();

  // Reads four bytes and checks them against "TPF0".
  void ReadSignature();
  // The file version: an integer, or the oldest version when the next tag
  // starts a list (nothing is consumed then).
  int32_t ReadFileVersion();

  // Raw bytes.
  void Read(void* data, int64_t count);

  // Stream position of the next unconsumed byte.
  int64_t Position() const;
  // Bytes not yet consumed, buffered or still in the stream.
  int64_t Remaining() const;

 private:
  uint8_t ReadByte();
  // The 4-byte length of a long value; `unitSize` bytes per unit. Rejects a
  // negative length and one that claims more bytes than the stream has left.
  int64_t ReadLength(int unitSize);
  std::string ReadText(TValueType tag);
  // Decodes `length` bytes of UTF-8 to `out`, which has room for as many;
  // returns the bytes written.
  size_t ReadUtf8Text(int64_t length, char* out);
  bool FillBuffer();  // false at the end of the stream
  [[noreturn]] static void PropertyError();

  TStream& stream_;
  std::vector<uint8_t> buffer_;
  std::vector<char> decodeBuffer_;  // UTF-8 pieces on their way to the code page
  size_t pos_ = 0;
  size_t end_ = 0;
  bool closed_ = false;
};

}  // namespace ts
