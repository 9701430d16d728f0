#include "table_store/dataset/text_fields.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "table_store/dataset/dataset_messages.h"
#include "table_store/dataset/field_buffer.h"
#include "table_store/dataset/field_text.h"
#include "table_store/messages.h"

namespace ts {

namespace {

size_t BoundedLength(const uint8_t* text, size_t limit) {
  const void* zero = std::memchr(text, 0, limit);
  return zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - text) : limit;
}

}  // namespace

// ---- String

TValue TStringField::DecodeValue(const uint8_t* buffer) const {
  const size_t length = BoundedLength(buffer, static_cast<size_t>(std::max(0, Size())));
  return TValue::String(std::string(reinterpret_cast<const char*>(buffer), length));
}

void TStringField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  const std::string text = value.ToString();
  const size_t length = std::min(text.size(), static_cast<size_t>(std::max(0, Size())));
  std::memcpy(buffer, text.data(), length);
  buffer[length] = 0;
}

bool TStringField::ReadText(std::string& text) const {
  TFieldBuffer buffer(static_cast<size_t>(DataSize()));
  if (!GetData(buffer.data())) return false;
  const size_t length = BoundedLength(buffer.data(), buffer.size());
  text.assign(reinterpret_cast<const char*>(buffer.data()), length);
  return true;
}

std::string TStringField::GetAsString() const {
  std::string text;
  ReadText(text);
  return text;
}

void TStringField::SetAsStringValue(std::string_view text) {
  // Cut to Size; the empty text stays a value.
  const size_t length = std::min(text.size(), static_cast<size_t>(std::max(0, Size())));
  TFieldBuffer buffer(static_cast<size_t>(DataSize()));
  std::memcpy(buffer.data(), text.data(), length);
  SetData(buffer.data());
}

int64_t TStringField::GetAsLargeInt() const {
  std::string text;
  if (!ReadText(text)) return 0;
  int64_t value = 0;
  if (!ParseInt64Text(text, value)) throw EConvertError(FormatMessage(msg::kNotInteger, {text}));
  return value;
}

double TStringField::GetAsFloat() const {
  std::string text;
  if (!ReadText(text)) return 0.0;
  double value = 0;
  if (!ParseFloatText(text, value)) throw EConvertError(FormatMessage(msg::kNotFloat, {text}));
  return value;
}

bool TStringField::GetAsBoolean() const {
  std::string text;
  if (!ReadText(text)) return false;
  try {
    return TValue::String(text).ToBoolean();
  } catch (const EVariantTypeCastError&) {
    throw EConvertError(FormatMessage(msg::kNotBoolean, {text}));
  }
}

double TStringField::GetAsDateTime() const {
  std::string text;
  if (!ReadText(text)) return 0.0;
  double value = 0;
  if (!ParseDateTimeText(text, value)) throw EConvertError(FormatMessage(msg::kNotDateTime, {text}));
  return value;
}

// ---- Bytes

TValue TBytesField::DecodeValue(const uint8_t* buffer) const {
  return TValue::String(std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(std::max(0, Size()))));
}

void TBytesField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  const std::string bytes = value.ToString();
  const size_t size = static_cast<size_t>(std::max(0, Size()));
  std::memset(buffer, 0, size);
  std::memcpy(buffer, bytes.data(), std::min(bytes.size(), size));
}

TValue TVarBytesField::DecodeValue(const uint8_t* buffer) const {
  uint16_t length = static_cast<uint16_t>(buffer[0] | (buffer[1] << 8));
  length = static_cast<uint16_t>(std::min<int32_t>(length, std::max(0, Size())));
  return TValue::String(std::string(reinterpret_cast<const char*>(buffer + 2), length));
}

void TVarBytesField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  const std::string bytes = value.ToString();
  const size_t length = std::min({bytes.size(), static_cast<size_t>(std::max(0, Size())), size_t{UINT16_MAX}});
  std::memset(buffer, 0, static_cast<size_t>(DataSize()));
  buffer[0] = static_cast<uint8_t>(length & 0xFF);
  buffer[1] = static_cast<uint8_t>(length >> 8);
  std::memcpy(buffer + 2, bytes.data(), length);
}

}  // namespace ts
