#include "table_store/binary_format/value_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>

#include "table_store/binary_format/extended_float.h"
#include "table_store/codepage.h"
#include "table_store/errors.h"
#include "table_store/messages.h"
#include "table_store/utf8_decoder.h"

namespace ts {

namespace {

constexpr size_t kDecodeChunk = size_t{256} << 10;

template <typename T>
T LittleEndian(const uint8_t* p) {
  using U = std::make_unsigned_t<T>;
  U u = 0;
  for (size_t i = sizeof(T); i-- > 0;) u = static_cast<U>((u << 8) | p[i]);
  return static_cast<T>(u);
}

}  // namespace

TReader::TReader(TStream& stream, int32_t bufferSize)
    : stream_(stream), buffer_(static_cast<size_t>(std::max<int32_t>(bufferSize, 1))) {}

TReader::~TReader() {
  try {
    Close();
  } catch (...) {
    // A stream that refuses to seek back leaves its position ahead; nothing
    // better can be done while unwinding.
  }
}

void TReader::Close() {
  if (closed_) return;
  closed_ = true;
  const size_t unread = end_ - pos_;
  pos_ = end_ = 0;
  if (unread > 0) stream_.Seek(-static_cast<int64_t>(unread), TSeekOrigin::Current);
}

void TReader::PropertyError() { throw EReadError(msg::kInvalidPropertyValue); }

bool TReader::FillBuffer() {
  pos_ = end_ = 0;
  if (closed_) return false;
  const int64_t n = stream_.Read(buffer_.data(), static_cast<int64_t>(buffer_.size()));
  if (n <= 0) return false;
  end_ = static_cast<size_t>(n);
  return true;
}

void TReader::Read(void* data, int64_t count) {
  if (count <= 0) return;
  auto* out = static_cast<uint8_t*>(data);
  size_t left = static_cast<size_t>(count);
  for (;;) {
    const size_t n = std::min(left, end_ - pos_);
    std::memcpy(out, buffer_.data() + pos_, n);
    pos_ += n;
    out += n;
    left -= n;
    if (left == 0) return;
    // The buffer is used up. A long value skips it and is read in one go.
    if (left >= buffer_.size() && !closed_) {
      stream_.ReadBuffer(out, static_cast<int64_t>(left));
      return;
    }
    if (!FillBuffer()) throw EReadError();
  }
}

uint8_t TReader::ReadByte() {
  if (pos_ == end_ && !FillBuffer()) throw EReadError();
  return buffer_[pos_++];
}

int64_t TReader::Position() const {
  return stream_.Position() - static_cast<int64_t>(end_ - pos_);
}

int64_t TReader::Remaining() const {
  if (closed_) return 0;
  const int64_t inStream = stream_.Size() - stream_.Position();
  return std::max<int64_t>(inStream, 0) + static_cast<int64_t>(end_ - pos_);
}

int64_t TReader::ReadLength(int unitSize) {
  uint8_t raw[4];
  Read(raw, 4);
  const int64_t n = LittleEndian<int32_t>(raw);
  // Checked before the caller allocates anything for the value: a damaged
  // length must not turn into a huge allocation.
  if (n < 0 || n * unitSize > Remaining()) throw EReadError();
  return n;
}

size_t TReader::ReadUtf8Text(int64_t length, char* out) {
  // Converted piece by piece as it is read, so that a blob of tens of
  // megabytes needs no full-size copy of its UTF-8 form. A piece stays well
  // inside the processor's caches and still takes few reads of a file.
  const size_t chunk = std::min<size_t>(static_cast<size_t>(length), kDecodeChunk);
  // Kept from one text to the next: a table of many blobs makes and fills
  // it once.
  if (decodeBuffer_.size() < chunk + 4) decodeBuffer_.resize(chunk + 4);
  char* const in = decodeBuffer_.data();
  size_t written = 0;
  size_t carry = 0;  // an incomplete sequence left from the previous piece
  int64_t left = length;
  while (left > 0) {
    const size_t take = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(chunk)));
    Read(in + carry, static_cast<int64_t>(take));
    left -= static_cast<int64_t>(take);
    const size_t have = carry + take;
    const TUtf8Decoded piece = DecodeUtf8ToCp1251(in, have, left == 0, out + written);
    written += piece.written;
    carry = have - piece.consumed;
    std::memmove(in, in + piece.consumed, carry);
  }
  return written;
}

TValueType TReader::ReadValue() { return static_cast<TValueType>(ReadByte()); }

TValueType TReader::NextValue() {
  if (pos_ == end_ && !FillBuffer()) throw EReadError();
  return static_cast<TValueType>(buffer_[pos_]);
}

bool TReader::EndOfList() { return NextValue() == vtEnd; }

void TReader::ReadListBegin() {
  if (ReadValue() != vtList) PropertyError();
}

void TReader::ReadListEnd() {
  if (ReadValue() != vtEnd) PropertyError();
}

int32_t TReader::ReadInteger() {
  uint8_t raw[4];
  switch (ReadValue()) {
    case vtInt8:
      return static_cast<int8_t>(ReadByte());
    case vtInt16:
      Read(raw, 2);
      return LittleEndian<int16_t>(raw);
    case vtInt32:
      Read(raw, 4);
      return LittleEndian<int32_t>(raw);
    default:
      PropertyError();
  }
}

double TReader::ReadFloat() {
  uint8_t raw[10];
  switch (ReadValue()) {
    case vtExtended: {
      TExtendedBytes ext;
      Read(ext.data(), static_cast<int64_t>(ext.size()));
      return ExtendedToDouble(ext);
    }
    case vtInt8:
      return static_cast<int8_t>(ReadByte());
    case vtInt16:
      Read(raw, 2);
      return LittleEndian<int16_t>(raw);
    case vtInt32:
      Read(raw, 4);
      return LittleEndian<int32_t>(raw);
    case vtInt64:
      Read(raw, 8);
      return static_cast<double>(LittleEndian<int64_t>(raw));
    default:
      PropertyError();
  }
}

TExtendedBytes TReader::ReadExtended() {
  uint8_t raw[8];
  switch (ReadValue()) {
    case vtExtended: {
      TExtendedBytes ext;
      Read(ext.data(), static_cast<int64_t>(ext.size()));
      return ext;
    }
    case vtInt8:
      return Int64ToExtended(static_cast<int8_t>(ReadByte()));
    case vtInt16:
      Read(raw, 2);
      return Int64ToExtended(LittleEndian<int16_t>(raw));
    case vtInt32:
      Read(raw, 4);
      return Int64ToExtended(LittleEndian<int32_t>(raw));
    case vtInt64:
      Read(raw, 8);
      return Int64ToExtended(LittleEndian<int64_t>(raw));
    default:
      PropertyError();
  }
}

bool TReader::ReadBoolean() { return ReadValue() == vtTrue; }

std::string TReader::ReadString() { return ReadText(ReadValue()); }

std::string TReader::ReadText(TValueType tag) {
  std::string bytes;
  switch (tag) {
    case vtString:
      bytes.resize(ReadByte());
      Read(bytes.data(), static_cast<int64_t>(bytes.size()));
      return bytes;
    case vtLString:
      bytes.resize(static_cast<size_t>(ReadLength(1)));
      Read(bytes.data(), static_cast<int64_t>(bytes.size()));
      return bytes;
    case vtUtf8String: {
      // The text never has more bytes than its UTF-8 form.
      bytes.resize(static_cast<size_t>(ReadLength(1)));
      bytes.resize(ReadUtf8Text(static_cast<int64_t>(bytes.size()), bytes.data()));
      return bytes;
    }
    case vtWString: {
      const int64_t units = ReadLength(2);
      bytes.resize(static_cast<size_t>(units * 2));
      Read(bytes.data(), static_cast<int64_t>(bytes.size()));
      std::u16string text(static_cast<size_t>(units), u'\0');
      const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
      for (size_t i = 0; i < text.size(); ++i) text[i] = LittleEndian<uint16_t>(p + 2 * i);
      return Utf16ToCp1251(text);
    }
    default:
      PropertyError();
  }
}

TValueBlock TReader::ReadStringBlock() {
  struct TFree {
    void operator()(uint8_t* block) const { FreeValueBlock(block); }
  };
  const TValueType tag = ReadValue();
  int64_t length = 0;
  switch (tag) {
    case vtString:
      length = ReadByte();
      break;
    case vtLString:
    case vtUtf8String:
      length = ReadLength(1);
      break;
    default: {
      const std::string text = ReadText(tag);
      return text.empty() ? nullptr : MakeValueBlock(text.data(), static_cast<int32_t>(text.size()));
    }
  }
  if (length == 0) return nullptr;
  // Written in full before anyone reads it (a UTF-8 text then cut down to
  // what it decoded to), so the block is not cleared first.
  std::unique_ptr<uint8_t, TFree> block(NewValueBlockForOverwrite(static_cast<int32_t>(length)));
  char* data = reinterpret_cast<char*>(ValueBlockData(block.get()));
  if (tag != vtUtf8String) {
    Read(data, length);
    return block.release();
  }
  const size_t written = ReadUtf8Text(length, data);
  return ShrinkValueBlock(block.release(), static_cast<int32_t>(written));
}

void TReader::ReadSignature() {
  char head[4];
  Read(head, 4);
  if (std::string_view(head, 4) != kStreamSignature) throw EReadError(msg::kInvalidStreamFormat);
}

int32_t TReader::ReadFileVersion() {
  if (NextValue() == vtList) return kOldestStreamFileVersion;
  return ReadInteger();
}

}  // namespace ts
