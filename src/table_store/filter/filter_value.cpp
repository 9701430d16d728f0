#include "table_store/filter/filter_value.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "table_store/dataset/dataset_messages.h"
#include "table_store/dataset/dataset_types.h"
#include "table_store/dataset/field_text.h"
#include "table_store/errors.h"
#include "table_store/filter/filter_messages.h"
#include "table_store/messages.h"

namespace ts::filter {

namespace {

[[noreturn]] void CastError(TValueKind from, TValueKind to) {
  throw EVariantTypeCastError(ValueKindName(from), ValueKindName(to));
}

bool FitsInt64(double v) { return v >= -9223372036854775808.0 && v < 9223372036854775808.0; }

// Text with the format's decimal separator read as a number: an integer
// when it is one, else a float.
bool ParseNumberText(std::string_view text, const TFilterFormat& format, TFilterValue& out) {
  int64_t n = 0;
  if (ParseInt64Text(text, n)) {
    out.SetInt(n);
    return true;
  }
  std::string copy(text);
  if (format.DecimalSeparator != '.') {
    for (char& c : copy) {
      if (c == '.') return false;
      if (c == format.DecimalSeparator) c = '.';
    }
  }
  double d = 0;
  if (!ParseFloatText(copy, d)) return false;
  out.SetFloat(d);
  return true;
}

// Numbers, Booleans, date-times and time stamps as one double.
double NumericOf(const TFilterValue& v) {
  switch (v.Kind) {
    case TValueKind::Empty: return 0;
    case TValueKind::Boolean: return v.Bool ? 1 : 0;
    case TValueKind::Integer: return static_cast<double>(v.Int);
    case TValueKind::Currency: return static_cast<double>(v.Int) / 10000.0;
    case TValueKind::Float:
    case TValueKind::DateTime: return v.Real;
    case TValueKind::SQLTimeStamp: return SQLTimeStampToDateTime(v.Stamp);
    default: CastError(v.Kind, TValueKind::Float);
  }
}

// Text turned into the kind it is compared or computed with.
void TextAs(const TFilterValue& text, TValueKind kind, const TFilterFormat& format, TFilterValue& out) {
  switch (kind) {
    case TValueKind::DateTime:
    case TValueKind::SQLTimeStamp: out.SetDateTime(DateTimeOf(text, format)); return;
    case TValueKind::Boolean: out.SetBool(TruthOf(text)); return;
    default:
      if (!ParseNumberText(text.Text, format, out)) CastError(TValueKind::String, TValueKind::Float);
      return;
  }
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareStamps(const TSQLTimeStamp& a, const TSQLTimeStamp& b) {
  if (a.Year != b.Year) return Sign(a.Year, b.Year);
  if (a.Month != b.Month) return Sign(a.Month, b.Month);
  if (a.Day != b.Day) return Sign(a.Day, b.Day);
  if (a.Hour != b.Hour) return Sign(a.Hour, b.Hour);
  if (a.Minute != b.Minute) return Sign(a.Minute, b.Minute);
  if (a.Second != b.Second) return Sign(a.Second, b.Second);
  return Sign(a.Fractions, b.Fractions);
}

void CheckArithmeticOperand(const TFilterValue& v) {
  if (v.Kind == TValueKind::Array || v.Kind == TValueKind::Null) CastError(v.Kind, TValueKind::Float);
}

}  // namespace

void TFilterValue::Assign(const TFilterValue& other) {
  if (this == &other) return;
  Kind = other.Kind;
  Bool = other.Bool;
  Int = other.Int;
  Real = other.Real;
  Stamp = other.Stamp;
  if (Kind == TValueKind::String) Text.assign(other.Text);
  if (Kind == TValueKind::Array) {
    Elements.resize(other.Elements.size());
    for (size_t i = 0; i < other.Elements.size(); ++i) Elements[i].Assign(other.Elements[i]);
  }
}

void TFilterValue::Assign(const TValue& other) {
  switch (other.Kind()) {
    case TValueKind::Empty: SetEmpty(); break;
    case TValueKind::Null: SetNull(); break;
    case TValueKind::Boolean: SetBool(other.ToBoolean()); break;
    case TValueKind::Integer: SetInt(other.ToInteger()); break;
    case TValueKind::Float: SetFloat(other.ToFloat()); break;
    case TValueKind::Currency: SetCurrency(other.ToCurrency()); break;
    case TValueKind::DateTime: SetDateTime(other.ToDateTime()); break;
    case TValueKind::String: SetText(other.ToString()); break;
    case TValueKind::SQLTimeStamp: SetStamp(other.ToTimeStamp()); break;
    case TValueKind::Array: {
      const auto& elements = other.Elements();
      Kind = TValueKind::Array;
      Elements.resize(elements.size());
      for (size_t i = 0; i < elements.size(); ++i) Elements[i].Assign(elements[i]);
      break;
    }
  }
}

bool TruthOfAny(const TFilterValue& v) {
  switch (v.Kind) {
    case TValueKind::Empty: return false;
    case TValueKind::Boolean: return v.Bool;
    case TValueKind::Integer:
    case TValueKind::Currency: return v.Int != 0;
    case TValueKind::Float:
    case TValueKind::DateTime: return v.Real != 0;
    case TValueKind::String: return TValue::String(v.Text).ToBoolean();
    default: CastError(v.Kind, TValueKind::Boolean);
  }
}

void AppendText(const TFilterValue& v, const TFilterFormat& format, std::string& out) {
  switch (v.Kind) {
    case TValueKind::Empty: return;
    case TValueKind::Boolean: out += v.Bool ? "True" : "False"; return;
    case TValueKind::Integer: out += std::to_string(v.Int); return;
    case TValueKind::Float: out += FloatText(v.Real, format); return;
    case TValueKind::Currency: {
      std::string text = TValue::Currency(v.Int).ToString();
      for (char& c : text)
        if (c == '.') c = format.DecimalSeparator;
      out += text;
      return;
    }
    case TValueKind::DateTime: out += DateTimeText(v.Real, format); return;
    case TValueKind::String: out += v.Text; return;
    case TValueKind::SQLTimeStamp: out += DateTimeText(SQLTimeStampToDateTime(v.Stamp), format); return;
    default: CastError(v.Kind, TValueKind::String);
  }
}

std::string TextOf(const TFilterValue& v, const TFilterFormat& format) {
  if (v.Kind == TValueKind::String) return v.Text;
  std::string out;
  AppendText(v, format, out);
  return out;
}

int64_t IntegerOf(const TFilterValue& v, const TFilterFormat& format) {
  switch (v.Kind) {
    case TValueKind::Integer: return v.Int;
    case TValueKind::Currency: return v.Int / 10000;
    case TValueKind::Boolean: return v.Bool ? 1 : 0;
    case TValueKind::Empty: return 0;
    case TValueKind::Null: CastError(v.Kind, TValueKind::Integer);
    case TValueKind::String: {
      TFilterValue number;
      if (!ParseNumberText(v.Text, format, number)) CastError(TValueKind::String, TValueKind::Integer);
      return IntegerOf(number, format);
    }
    default: {
      const double d = std::trunc(NumericOf(v));
      if (!FitsInt64(d)) CastError(v.Kind, TValueKind::Integer);
      return static_cast<int64_t>(d);
    }
  }
}

double FloatOf(const TFilterValue& v, const TFilterFormat& format) {
  if (v.Kind != TValueKind::String) return NumericOf(v);
  TFilterValue number;
  if (!ParseNumberText(v.Text, format, number)) CastError(TValueKind::String, TValueKind::Float);
  return NumericOf(number);
}

double DateTimeOf(const TFilterValue& v, const TFilterFormat& format) {
  if (v.Kind != TValueKind::String) {
    if (v.Kind == TValueKind::Null || v.Kind == TValueKind::Array) CastError(v.Kind, TValueKind::DateTime);
    return NumericOf(v);
  }
  double dateTime = 0;
  if (ParseDateTimeText(v.Text, format, dateTime)) return dateTime;
  TFilterValue number;
  if (ParseNumberText(v.Text, format, number)) return NumericOf(number);
  throw EConvertError(FormatMessage(msg::kNotDateTime, {v.Text}));
}

int CompareValues(const TFilterValue& a, const TFilterValue& b, const TFilterFormat& format) {
  const bool aText = a.Kind == TValueKind::String, bText = b.Kind == TValueKind::String;
  if (aText && bText) {
    const size_t n = std::min(a.Text.size(), b.Text.size());
    const int r = n == 0 ? 0 : std::memcmp(a.Text.data(), b.Text.data(), n);
    if (r != 0) return r < 0 ? -1 : 1;
    return Sign(a.Text.size(), b.Text.size());
  }
  if (aText || bText) {
    TFilterValue converted;
    if (aText) {
      TextAs(a, b.Kind, format, converted);
      return CompareValues(converted, b, format);
    }
    TextAs(b, a.Kind, format, converted);
    return CompareValues(a, converted, format);
  }
  if (a.Kind == TValueKind::Array || b.Kind == TValueKind::Array)
    CastError(TValueKind::Array, a.Kind == TValueKind::Array ? b.Kind : a.Kind);
  if (a.Kind == TValueKind::SQLTimeStamp && b.Kind == TValueKind::SQLTimeStamp) return CompareStamps(a.Stamp, b.Stamp);
  if ((a.Kind == TValueKind::Integer && b.Kind == TValueKind::Integer) ||
      (a.Kind == TValueKind::Currency && b.Kind == TValueKind::Currency))
    return Sign(a.Int, b.Int);
  if (a.Kind == TValueKind::Boolean && b.Kind == TValueKind::Boolean) return Sign(a.Bool, b.Bool);
  return Sign(NumericOf(a), NumericOf(b));
}

void ConvertTextFor(const TFilterValue& text, TValueKind kind, const TFilterFormat& format, TFilterValue& out) {
  TextAs(text, kind, format, out);
}

void Arithmetic(uint32_t op, const TFilterValue& a, const TFilterValue& b, const TFilterFormat& format,
                TFilterValue& out) {
  CheckArithmeticOperand(a);
  CheckArithmeticOperand(b);
  if (op == 16 && a.Kind == TValueKind::String && b.Kind == TValueKind::String) {
    if (&out != &a) out.SetText(a.Text);
    out.Text += b.Text;
    return;
  }
  TFilterValue x, y;
  const TFilterValue* l = &a;
  const TFilterValue* r = &b;
  if (a.Kind == TValueKind::String) {
    if (!ParseNumberText(a.Text, format, x)) CastError(TValueKind::String, TValueKind::Float);
    l = &x;
  }
  if (b.Kind == TValueKind::String) {
    if (!ParseNumberText(b.Text, format, y)) CastError(TValueKind::String, TValueKind::Float);
    r = &y;
  }
  const auto integral = [](const TFilterValue& v) {
    return v.Kind == TValueKind::Integer || v.Kind == TValueKind::Boolean || v.Kind == TValueKind::Empty;
  };
  if (op == 20 || op == 21) {
    const int64_t p = IntegerOf(*l, format), q = IntegerOf(*r, format);
    if (q == 0) throw EVariantError(msg::kFilterDivisionByZero);
    out.SetInt(q == -1 ? 0 : p % q);
    return;
  }
  if (op == 19) {
    const double q = NumericOf(*r);
    if (q == 0) throw EVariantError(msg::kFilterDivisionByZero);
    out.SetFloat(NumericOf(*l) / q);
    return;
  }
  if (integral(*l) && integral(*r)) {
    const int64_t p = l->Kind == TValueKind::Integer ? l->Int : static_cast<int64_t>(NumericOf(*l));
    const int64_t q = r->Kind == TValueKind::Integer ? r->Int : static_cast<int64_t>(NumericOf(*r));
    int64_t result = 0;
    const bool overflow = op == 16   ? __builtin_add_overflow(p, q, &result)
                          : op == 17 ? __builtin_sub_overflow(p, q, &result)
                                     : __builtin_mul_overflow(p, q, &result);
    if (!overflow) {
      out.SetInt(result);
      return;
    }
  }
  const double p = NumericOf(*l), q = NumericOf(*r);
  const double result = op == 16 ? p + q : op == 17 ? p - q : p * q;
  // A date moved by a number of days stays a date.
  const bool lDate = l->Kind == TValueKind::DateTime, rDate = r->Kind == TValueKind::DateTime;
  if ((op == 16 && lDate != rDate) || (op == 17 && lDate && !rDate))
    out.SetDateTime(result);
  else
    out.SetFloat(result);
}

void Negate(const TFilterValue& a, const TFilterFormat& format, TFilterValue& out) {
  switch (a.Kind) {
    case TValueKind::Integer:
      if (a.Int == std::numeric_limits<int64_t>::min())
        out.SetFloat(-static_cast<double>(a.Int));
      else
        out.SetInt(-a.Int);
      return;
    case TValueKind::Currency: out.SetCurrency(a.Int == std::numeric_limits<int64_t>::min() ? a.Int : -a.Int); return;
    case TValueKind::Boolean: out.SetInt(a.Bool ? -1 : 0); return;
    case TValueKind::Float: out.SetFloat(-a.Real); return;
    case TValueKind::DateTime: out.SetDateTime(-a.Real); return;
    case TValueKind::String: {
      TFilterValue number;
      if (!ParseNumberText(a.Text, format, number)) CastError(TValueKind::String, TValueKind::Float);
      Negate(number, format, out);
      return;
    }
    default: CastError(a.Kind, TValueKind::Float);
  }
}

}  // namespace ts::filter
