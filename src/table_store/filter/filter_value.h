// TFilterValue: the value one node of a filter expression yields, and the
// value rules the operators apply (truth, comparison, arithmetic, text).
//
// A value is mutable and keeps its storage, so that the evaluator can give
// each node one value that is overwritten record after record without
// allocating again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "table_store/filter/filter_format.h"
#include "table_store/value.h"

namespace ts::filter {

struct TFilterValue {
  TValueKind Kind = TValueKind::Empty;
  bool Bool = false;
  int64_t Int = 0;   // Integer; Currency in ten-thousandths
  double Real = 0;   // Float; DateTime
  std::string Text;  // String
  TSQLTimeStamp Stamp;
  std::vector<TFilterValue> Elements;  // Array

  bool IsBlank() const { return Kind == TValueKind::Empty || Kind == TValueKind::Null; }
  void SetEmpty() { Kind = TValueKind::Empty; }
  void SetNull() { Kind = TValueKind::Null; }
  void SetBool(bool v) { Kind = TValueKind::Boolean, Bool = v; }
  void SetInt(int64_t v) { Kind = TValueKind::Integer, Int = v; }
  void SetFloat(double v) { Kind = TValueKind::Float, Real = v; }
  void SetCurrency(int64_t v) { Kind = TValueKind::Currency, Int = v; }
  void SetDateTime(double v) { Kind = TValueKind::DateTime, Real = v; }
  void SetText(std::string_view v) { Kind = TValueKind::String, Text.assign(v.data(), v.size()); }
  void SetStamp(const TSQLTimeStamp& v) { Kind = TValueKind::SQLTimeStamp, Stamp = v; }
  // Copies `other`, reusing this value's storage.
  void Assign(const TFilterValue& other);
  void Assign(const TValue& other);
};

// Truth value: Booleans as they are, numbers and date-times when not zero,
// the empty value false, text by its meaning ("True", "False" or a number);
// null and anything else raise the value conversion error.
bool TruthOfAny(const TFilterValue& v);
// The usual case, a Boolean, without a call: every and/or of every record.
inline bool TruthOf(const TFilterValue& v) { return v.Kind == TValueKind::Boolean ? v.Bool : TruthOfAny(v); }

// Text form; null, arrays raise the value conversion error.
std::string TextOf(const TFilterValue& v, const TFilterFormat& format);
void AppendText(const TFilterValue& v, const TFilterFormat& format, std::string& out);
int64_t IntegerOf(const TFilterValue& v, const TFilterFormat& format);
double FloatOf(const TFilterValue& v, const TFilterFormat& format);
// Text is read as a date and/or time, else as a number; EConvertError when
// it is neither.
double DateTimeOf(const TFilterValue& v, const TFilterFormat& format);

// -1, 0 or 1. Two texts compare byte for byte; text against anything else
// is first converted to the other side's kind; numbers and date-times
// compare by value. Neither side may be blank.
int CompareValues(const TFilterValue& a, const TFilterValue& b, const TFilterFormat& format);
// The text `text` converted as CompareValues converts it to meet a value of
// `kind` (not text); raises as CompareValues would when it does not convert.
void ConvertTextFor(const TFilterValue& text, TValueKind kind, const TFilterFormat& format, TFilterValue& out);

// Add, subtract, multiply, divide, modulo, remainder (operator codes of the
// buffer) into `out`; neither side may be blank.
void Arithmetic(uint32_t op, const TFilterValue& a, const TFilterValue& b, const TFilterFormat& format,
                TFilterValue& out);
void Negate(const TFilterValue& a, const TFilterFormat& format, TFilterValue& out);

}  // namespace ts::filter
