#include "table_store/dataset/numeric_fields.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "table_store/compare.h"
#include "table_store/dataset/dataset_messages.h"
#include "table_store/dataset/field_text.h"
#include "table_store/messages.h"
#include "table_store/scalar_bytes.h"

namespace ts {

namespace {

template <typename T>
void Store(uint8_t* buffer, T value) {
  std::memcpy(buffer, &value, sizeof value);
}

[[noreturn]] void ConvertError(const char* format, std::string_view text) {
  throw EConvertError(FormatMessage(format, {text}));
}

// An integer from any value: text exactly, floats rounded half to even.
int64_t IntegerOf(const TValue& value, bool& inRange) {
  inRange = true;
  switch (value.Kind()) {
    case TValueKind::String: {
      int64_t n = 0;
      if (!ParseInt64Text(value.ToString(), n)) ConvertError(msg::kNotInteger, value.ToString());
      return n;
    }
    case TValueKind::Float:
    case TValueKind::DateTime: {
      const double rounded = std::nearbyint(value.ToFloat());
      if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
        inRange = false;
        return rounded < 0 ? INT64_MIN : INT64_MAX;
      }
      return static_cast<int64_t>(rounded);
    }
    case TValueKind::Currency: {
      const int64_t units = value.ToCurrency();
      // Ten-thousandths rounded half to even.
      int64_t whole = units / 10000;
      const int64_t rest = units % 10000;
      if (rest > 5000 || (rest == 5000 && (whole & 1))) ++whole;
      if (rest < -5000 || (rest == -5000 && (whole & 1))) --whole;
      return whole;
    }
    default: return value.ToInteger();
  }
}

}  // namespace

// ---- Integer kinds

int64_t TIntegerField::MinValue() const {
  switch (DataType()) {
    case ftSmallint: return INT16_MIN;
    case ftWord: return 0;
    default: return INT32_MIN;
  }
}

int64_t TIntegerField::MaxValue() const {
  switch (DataType()) {
    case ftSmallint: return INT16_MAX;
    case ftWord: return UINT16_MAX;
    default: return INT32_MAX;
  }
}

TValue TIntegerField::DecodeValue(const uint8_t* buffer) const {
  switch (DataType()) {
    case ftSmallint: return TValue::Integer(LoadScalar<int16_t>(buffer));
    case ftWord: return TValue::Integer(LoadScalar<uint16_t>(buffer));
    default: return TValue::Integer(LoadScalar<int32_t>(buffer));
  }
}

void TIntegerField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  bool inRange = true;
  const int64_t n = IntegerOf(value, inRange);
  if (!inRange || n < MinValue() || n > MaxValue()) RangeError(n, MinValue(), MaxValue());
  switch (DataType()) {
    case ftSmallint: Store(buffer, static_cast<int16_t>(n)); break;
    case ftWord: Store(buffer, static_cast<uint16_t>(n)); break;
    default: Store(buffer, static_cast<int32_t>(n)); break;
  }
}

int64_t TIntegerField::GetAsLargeInt() const {
  uint8_t buffer[8] = {};
  if (!GetData(buffer)) return 0;
  return DecodeValue(buffer).ToInteger();
}

// ---- LargeInt

TValue TLargeintField::DecodeValue(const uint8_t* buffer) const { return TValue::Integer(LoadScalar<int64_t>(buffer)); }

void TLargeintField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  bool inRange = true;
  const int64_t n = IntegerOf(value, inRange);
  if (!inRange) RangeError(n, INT64_MIN, INT64_MAX);
  Store(buffer, n);
}

int64_t TLargeintField::GetAsLargeInt() const {
  uint8_t buffer[8] = {};
  if (!GetData(buffer)) return 0;
  return LoadScalar<int64_t>(buffer);
}

// ---- Boolean

TValue TBooleanField::DecodeValue(const uint8_t* buffer) const {
  return TValue::Boolean(LoadScalar<uint16_t>(buffer) != 0);
}

void TBooleanField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  bool b = false;
  try {
    b = value.ToBoolean();
  } catch (const EVariantTypeCastError&) {
    if (value.Kind() == TValueKind::String) ConvertError(msg::kNotBoolean, value.ToString());
    throw;
  }
  Store<uint16_t>(buffer, b ? 1 : 0);
}

// ---- Float and Currency

TValue TFloatField::DecodeValue(const uint8_t* buffer) const { return TValue::Float(LoadScalar<double>(buffer)); }

void TFloatField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  double d = 0;
  if (value.Kind() == TValueKind::String) {
    if (!ParseFloatText(value.ToString(), d)) ConvertError(msg::kNotFloat, value.ToString());
  } else {
    d = value.ToFloat();
  }
  Store(buffer, d);
}

double TFloatField::GetAsFloat() const {
  uint8_t buffer[8] = {};
  if (!GetData(buffer)) return 0.0;
  return LoadScalar<double>(buffer);
}

void TCurrencyField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  uint8_t amount[8] = {};
  TFloatField::EncodeValue(value, amount);
  TValue::Float(LoadScalar<double>(amount)).ToCurrency();
  std::memcpy(buffer, amount, sizeof amount);
}

// ---- BCD

void CurrencyToBcd(int64_t tenThousandths, uint8_t* bcd) {
  std::memset(bcd, 0, kBcdSize);
  const bool negative = tenThousandths < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(tenThousandths) : static_cast<uint64_t>(tenThousandths);
  std::string digits = std::to_string(magnitude);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');  // at least one digit before the point
  bcd[0] = static_cast<uint8_t>(digits.size());
  bcd[1] = static_cast<uint8_t>(4 | (negative ? 0x80 : 0));
  for (size_t k = 0; k < digits.size(); ++k) {
    const auto digit = static_cast<uint8_t>(digits[k] - '0');
    bcd[2 + k / 2] |= static_cast<uint8_t>(k % 2 == 0 ? digit << 4 : digit);
  }
}

TValue TBCDField::DecodeValue(const uint8_t* buffer) const {
  int64_t units = 0;
  if (!BcdToCurrency(buffer, units)) throw EConvertError(FormatMessage(msg::kNotBcd, {DisplayName()}));
  return TValue::Currency(units);
}

void TBCDField::EncodeValue(const TValue& value, uint8_t* buffer) const {
  int64_t units = 0;
  if (value.Kind() == TValueKind::String) {
    double d = 0;
    if (!ParseFloatText(value.ToString(), d)) ConvertError(msg::kNotFloat, value.ToString());
    units = TValue::Float(d).ToCurrency();
  } else {
    units = value.ToCurrency();
  }
  CurrencyToBcd(units, buffer);
}

}  // namespace ts
