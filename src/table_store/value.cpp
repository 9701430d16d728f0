#include "table_store/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ParseInt64Text(std::string_view text, int64_t& value) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseFloatText(std::string_view text, double& value) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                   std::chars_format::general);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Doubles in [-2^63, 2^63) convert to int64 without overflow.
bool FitsInt64(double v) { return v >= -9223372036854775808.0 && v < 9223372036854775808.0; }

std::string FormatFloat(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

std::string FormatCurrency(int64_t units) {
  const bool negative = units < 0;
  // Work in unsigned so that the smallest int64 has a magnitude.
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  std::string text = std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04llu", static_cast<unsigned long long>(fraction));
    std::string f(digits);
    while (!f.empty() && f.back() == '0') f.pop_back();
    text += '.';
    text += f;
  }
  return negative ? "-" + text : text;
}

}  // namespace

const char* ValueKindName(TValueKind kind) {
  switch (kind) {
    case TValueKind::Empty: return "Empty";
    case TValueKind::Null: return "Null";
    case TValueKind::Boolean: return "Boolean";
    case TValueKind::Integer: return "Int64";
    case TValueKind::Float: return "Double";
    case TValueKind::Currency: return "Currency";
    case TValueKind::DateTime: return "Date";
    case TValueKind::String: return "String";
    case TValueKind::SQLTimeStamp: return "SQLTimeStamp";
    case TValueKind::Array: return "Array";
  }
  return "Unknown";
}

TValue TValue::Null() { return TValue(TValueKind::Null, std::monostate{}); }
TValue TValue::Boolean(bool v) { return TValue(TValueKind::Boolean, v); }
TValue TValue::Integer(int64_t v) { return TValue(TValueKind::Integer, v); }
TValue TValue::Float(double v) { return TValue(TValueKind::Float, v); }
TValue TValue::Currency(int64_t tenThousandths) { return TValue(TValueKind::Currency, tenThousandths); }
TValue TValue::DateTime(double days) { return TValue(TValueKind::DateTime, days); }
TValue TValue::String(std::string bytes) { return TValue(TValueKind::String, std::move(bytes)); }
TValue TValue::TimeStamp(const TSQLTimeStamp& v) { return TValue(TValueKind::SQLTimeStamp, v); }
TValue TValue::Array(std::vector<TValue> elements) {
  return TValue(TValueKind::Array, std::move(elements));
}

void TValue::CastError(TValueKind to) const {
  throw EVariantTypeCastError(ValueKindName(kind_), ValueKindName(to));
}

bool TValue::ToBoolean() const {
  switch (kind_) {
    case TValueKind::Empty: return false;
    case TValueKind::Boolean: return std::get<bool>(payload_);
    case TValueKind::Integer:
    case TValueKind::Currency: return std::get<int64_t>(payload_) != 0;
    case TValueKind::Float:
    case TValueKind::DateTime: return std::get<double>(payload_) != 0.0;
    case TValueKind::String: {
      const std::string_view text = TrimBlanks(std::get<std::string>(payload_));
      if (EqualsNoCase(text, "true")) return true;
      if (EqualsNoCase(text, "false")) return false;
      double number = 0;
      if (ParseFloatText(text, number)) return number != 0.0;
      break;
    }
    default: break;
  }
  CastError(TValueKind::Boolean);
}

int64_t TValue::ToInteger() const {
  switch (kind_) {
    case TValueKind::Empty: return 0;
    case TValueKind::Boolean: return std::get<bool>(payload_) ? 1 : 0;
    case TValueKind::Integer: return std::get<int64_t>(payload_);
    case TValueKind::Currency: return std::get<int64_t>(payload_) / 10000;
    case TValueKind::Float:
    case TValueKind::DateTime: {
      const double v = std::trunc(std::get<double>(payload_));
      if (FitsInt64(v)) return static_cast<int64_t>(v);
      break;
    }
    case TValueKind::String: {
      int64_t n = 0;
      if (ParseInt64Text(std::get<std::string>(payload_), n)) return n;
      double f = 0;
      if (ParseFloatText(std::get<std::string>(payload_), f) && FitsInt64(std::trunc(f)))
        return static_cast<int64_t>(std::trunc(f));
      break;
    }
    default: break;
  }
  CastError(TValueKind::Integer);
}

double TValue::ToFloat() const {
  switch (kind_) {
    case TValueKind::Empty: return 0.0;
    case TValueKind::Boolean: return std::get<bool>(payload_) ? 1.0 : 0.0;
    case TValueKind::Integer: return static_cast<double>(std::get<int64_t>(payload_));
    case TValueKind::Currency: return static_cast<double>(std::get<int64_t>(payload_)) / 10000.0;
    case TValueKind::Float:
    case TValueKind::DateTime: return std::get<double>(payload_);
    case TValueKind::String: {
      double f = 0;
      if (ParseFloatText(std::get<std::string>(payload_), f)) return f;
      break;
    }
    default: break;
  }
  CastError(TValueKind::Float);
}

int64_t TValue::ToCurrency() const {
  if (kind_ == TValueKind::Currency) return std::get<int64_t>(payload_);
  if (kind_ == TValueKind::Integer) {
    const int64_t v = std::get<int64_t>(payload_);
    if (v <= std::numeric_limits<int64_t>::max() / 10000 && v >= std::numeric_limits<int64_t>::min() / 10000)
      return v * 10000;
    CastError(TValueKind::Currency);
  }
  const double scaled = std::round(ToFloat() * 10000.0);
  if (FitsInt64(scaled)) return static_cast<int64_t>(scaled);
  CastError(TValueKind::Currency);
}

double TValue::ToDateTime() const {
  if (kind_ == TValueKind::String) CastError(TValueKind::DateTime);
  return ToFloat();
}

std::string TValue::ToString() const {
  switch (kind_) {
    case TValueKind::Empty: return std::string();
    case TValueKind::Boolean: return std::get<bool>(payload_) ? "True" : "False";
    case TValueKind::Integer: return std::to_string(std::get<int64_t>(payload_));
    case TValueKind::Currency: return FormatCurrency(std::get<int64_t>(payload_));
    case TValueKind::Float: return FormatFloat(std::get<double>(payload_));
    case TValueKind::String: return std::get<std::string>(payload_);
    default: break;
  }
  CastError(TValueKind::String);
}

TSQLTimeStamp TValue::ToTimeStamp() const {
  if (kind_ == TValueKind::SQLTimeStamp) return std::get<TSQLTimeStamp>(payload_);
  CastError(TValueKind::SQLTimeStamp);
}

int TValue::ArrayLength() const {
  if (kind_ != TValueKind::Array) return 0;
  return static_cast<int>(std::get<std::vector<TValue>>(payload_).size());
}

const std::vector<TValue>& TValue::Elements() const {
  if (kind_ != TValueKind::Array) CastError(TValueKind::Array);
  return std::get<std::vector<TValue>>(payload_);
}

const TValue& TValue::operator[](int index) const {
  const auto& elements = Elements();
  if (index < 0 || static_cast<size_t>(index) >= elements.size())
    throw EVariantError(msg::kValueIndexOutOfBounds);
  return elements[static_cast<size_t>(index)];
}

bool operator==(const TValue& a, const TValue& b) {
  return a.kind_ == b.kind_ && a.payload_ == b.payload_;
}

}  // namespace ts
