#include "table_store/binary_format/value_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "table_store/binary_format/extended_float.h"
#include "table_store/codepage.h"
#include "table_store/errors.h"

namespace ts {

namespace {

// Blob contents go through here: scan eight bytes at a time.
bool IsAsciiText(std::string_view text) {
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  const char* p = text.data();
  size_t n = text.size();
  uint64_t acc = 0;
  for (; n >= 32; p += 32, n -= 32) {
    uint64_t w[4];
    std::memcpy(w, p, sizeof w);
    acc |= w[0] | w[1] | w[2] | w[3];
    if (acc & kHighBits) return false;
  }
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    acc |= w;
  }
  for (; n > 0; ++p, --n) acc |= static_cast<uint8_t>(*p);
  return (acc & kHighBits) == 0;
}

}  // namespace

TWriter::TWriter(TStream& stream, int32_t bufferSize)
    : stream_(stream), buffer_(static_cast<size_t>(std::max<int32_t>(bufferSize, 1))) {}

void TWriter::Write(const void* data, int64_t count) {
  if (count <= 0) return;
  const auto* in = static_cast<const uint8_t*>(data);
  const size_t n = static_cast<size_t>(count);
  if (n <= buffer_.size() - used_) {
    std::memcpy(buffer_.data() + used_, in, n);
    used_ += n;
    if (used_ == buffer_.size()) FlushBuffer();
    return;
  }
  // Fill the buffer up, pass it on; a remainder larger than a whole buffer
  // goes straight to the stream instead of being copied piece by piece.
  const size_t head = buffer_.size() - used_;
  std::memcpy(buffer_.data() + used_, in, head);
  used_ += head;
  FlushBuffer();
  const size_t rest = n - head;
  if (rest >= buffer_.size()) {
    stream_.WriteBuffer(in + head, static_cast<int64_t>(rest));
  } else {
    std::memcpy(buffer_.data(), in + head, rest);
    used_ = rest;
  }
}

void TWriter::FlushBuffer() {
  if (used_ == 0) return;
  const size_t n = used_;
  used_ = 0;  // a failed write must not be repeated by a later flush
  stream_.WriteBuffer(buffer_.data(), static_cast<int64_t>(n));
}

int64_t TWriter::Position() const { return stream_.Position() + static_cast<int64_t>(used_); }

void TWriter::WriteValue(TValueType tag) {
  const uint8_t b = tag;
  Write(&b, 1);
}

void TWriter::WriteInteger(int32_t value) {
  uint8_t out[5];
  size_t n;
  if (value >= -128 && value <= 127) {
    out[0] = vtInt8;
    out[1] = static_cast<uint8_t>(value);
    n = 2;
  } else if (value >= -32768 && value <= 32767) {
    out[0] = vtInt16;
    out[1] = static_cast<uint8_t>(value);
    out[2] = static_cast<uint8_t>(value >> 8);
    n = 3;
  } else {
    const uint32_t u = static_cast<uint32_t>(value);
    out[0] = vtInt32;
    for (int i = 0; i < 4; ++i) out[1 + i] = static_cast<uint8_t>(u >> (8 * i));
    n = 5;
  }
  Write(out, static_cast<int64_t>(n));
}

void TWriter::WriteBoolean(bool value) { WriteValue(value ? vtTrue : vtFalse); }

void TWriter::WriteFloat(double value) {
  uint8_t out[11];
  out[0] = vtExtended;
  const TExtendedBytes ext = DoubleToExtended(value);
  std::memcpy(out + 1, ext.data(), ext.size());
  Write(out, sizeof out);
}

void TWriter::WriteLength(int64_t length) {
  const uint32_t u = static_cast<uint32_t>(length);
  uint8_t out[4];
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(u >> (8 * i));
  Write(out, 4);
}

void TWriter::WriteString(std::string_view text) {
  constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max();
  if (IsAsciiText(text)) {
    const int64_t n = static_cast<int64_t>(text.size());
    if (n <= 255) {
      const uint8_t head[2] = {vtString, static_cast<uint8_t>(n)};
      Write(head, 2);
    } else {
      if (n > kMaxLength) throw EWriteError();
      WriteValue(vtLString);
      WriteLength(n);
    }
    Write(text.data(), n);
    return;
  }
  const std::string utf8 = Cp1251ToUtf8(text);
  if (static_cast<int64_t>(utf8.size()) > kMaxLength) throw EWriteError();
  WriteValue(vtUtf8String);
  WriteLength(static_cast<int64_t>(utf8.size()));
  Write(utf8.data(), static_cast<int64_t>(utf8.size()));
}

void TWriter::WriteSignature() {
  Write(kStreamSignature.data(), static_cast<int64_t>(kStreamSignature.size()));
  WriteInteger(kStreamFileVersion);
}

}  // namespace ts
