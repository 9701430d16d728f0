#include "table_store/binary_format/value_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "table_store/binary_format/extended_float.h"
#include "table_store/codepage.h"
#include "table_store/errors.h"

namespace ts {

namespace {

// Long texts are converted through a scratch buffer of this many input bytes
// at a time, so a blob never needs a second full-size copy.
constexpr size_t kEncodeChunk = 16384;

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

void TWriter::WriteFloat(double value) { WriteExtended(DoubleToExtended(value)); }

void TWriter::WriteExtended(const TExtendedBytes& value) {
  uint8_t out[11];
  out[0] = vtExtended;
  std::memcpy(out + 1, value.data(), value.size());
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
  const int64_t n = static_cast<int64_t>(text.size());
  // In this code page only bytes below 0x80 are one UTF-8 byte each, so an
  // unchanged length means the text is its own UTF-8 form.
  const int64_t utf8Size = Cp1251Utf8Size(text);
  if (utf8Size > kMaxLength) throw EWriteError();
  if (utf8Size == n) {
    if (n <= 255) {
      const uint8_t head[2] = {vtString, static_cast<uint8_t>(n)};
      Write(head, 2);
    } else {
      WriteValue(vtLString);
      WriteLength(n);
    }
    Write(text.data(), n);
    return;
  }
  WriteValue(vtUtf8String);
  WriteLength(utf8Size);
  std::vector<char> scratch(3 * std::min(text.size(), kEncodeChunk) + 3);
  for (size_t at = 0; at < text.size(); at += kEncodeChunk) {
    const size_t take = std::min(kEncodeChunk, text.size() - at);
    const size_t m = EncodeCp1251ToUtf8(text.data() + at, take, scratch.data());
    Write(scratch.data(), static_cast<int64_t>(m));
  }
}

void TWriter::WriteSignature() {
  Write(kStreamSignature.data(), static_cast<int64_t>(kStreamSignature.size()));
  WriteInteger(kStreamFileVersion);
}

}  // namespace ts
