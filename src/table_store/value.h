// TValue: the tagged value in which the table store passes field values,
// filter constants and key values.
//
// Kinds: empty, null, Boolean, integer (64-bit), float, currency (a count of
// ten-thousandths), date-time (days since 30 December 1899 plus the fraction
// of the day), 8-bit string (bytes in the system's single-byte code page),
// SQL time stamp and a one-dimensional array of values. "Blank" is null or
// empty. Reading a value as another kind than it holds goes through the To*
// conversions, which raise EVariantTypeCastError when no conversion exists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ts {

enum class TValueKind : uint8_t {
  Empty,
  Null,
  Boolean,
  Integer,
  Float,
  Currency,
  DateTime,
  String,
  SQLTimeStamp,
  Array,
};

// The 16-byte stored form of an SQL time stamp, fields in stored order.
struct TSQLTimeStamp {
  int16_t Year = 0;
  uint16_t Month = 0;
  uint16_t Day = 0;
  uint16_t Hour = 0;
  uint16_t Minute = 0;
  uint16_t Second = 0;
  uint32_t Fractions = 0;
  friend bool operator==(const TSQLTimeStamp&, const TSQLTimeStamp&) = default;
};

// Name of a kind as error messages show it ("Int64", "String", ...).
const char* ValueKindName(TValueKind kind);

// Exact number texts as values and fields read them: blanks around the
// number and a leading '+' are allowed, anything else left over is not a
// number. Floats must be finite.
std::string_view TrimBlanks(std::string_view text);
bool ParseInt64Text(std::string_view text, int64_t& value);
bool ParseFloatText(std::string_view text, double& value);

class TValue {
 public:
  TValue() = default;  // empty

  static TValue Null();
  static TValue Boolean(bool v);
  static TValue Integer(int64_t v);
  static TValue Float(double v);
  static TValue Currency(int64_t tenThousandths);
  static TValue DateTime(double days);
  static TValue String(std::string bytes);
  static TValue TimeStamp(const TSQLTimeStamp& v);
  static TValue Array(std::vector<TValue> elements);

  TValueKind Kind() const { return kind_; }
  bool IsEmpty() const { return kind_ == TValueKind::Empty; }
  bool IsNull() const { return kind_ == TValueKind::Null; }
  bool IsBlank() const { return IsEmpty() || IsNull(); }
  bool IsArray() const { return kind_ == TValueKind::Array; }

  // Conversions. Booleans, integers, floats, currency and date-times convert
  // among each other (true is 1); a string converts to a number when it
  // holds one (surrounding blanks allowed) and to a Boolean when it reads
  // "True" or "False" (any case) or a number. Integers, floats, currency and
  // Booleans convert to a string ('.' as decimal point). The empty value
  // converts to 0, false and the empty string. Null, arrays and time stamps
  // convert only to themselves; anything else raises EVariantTypeCastError.
  bool ToBoolean() const;
  int64_t ToInteger() const;        // floats truncate toward zero; out of range raises
  double ToFloat() const;
  int64_t ToCurrency() const;       // ten-thousandths, rounded to nearest, halves away from 0
  double ToDateTime() const;
  std::string ToString() const;
  TSQLTimeStamp ToTimeStamp() const;

  // Array access; an index outside the elements raises EVariantError.
  int ArrayLength() const;  // 0 for a value that is not an array
  const TValue& operator[](int index) const;
  const std::vector<TValue>& Elements() const;  // raises for a value that is not an array

  friend bool operator==(const TValue& a, const TValue& b);

 private:
  using Payload = std::variant<std::monostate, bool, int64_t, double, std::string, TSQLTimeStamp,
                               std::vector<TValue>>;
  TValue(TValueKind kind, Payload payload) : kind_(kind), payload_(std::move(payload)) {}
  [[noreturn]] void CastError(TValueKind to) const;

  TValueKind kind_ = TValueKind::Empty;
  Payload payload_;
};

}  // namespace ts
