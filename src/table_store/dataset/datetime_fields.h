// Field classes of the date and time types. They exchange date-time numbers
// (days since 30 December 1899 plus the day fraction) and keep the record's
// forms: Date the day number since 1 January 0001 (32-bit), Time the
// milliseconds of the day (32-bit), DateTime the milliseconds since
// 1 January 0001 (a double), SQLTimeStamp its 16-byte form. Texts are
// "yyyy-mm-dd", "hh:nn:ss" and both joined by a blank.
#pragma once

#include "table_store/dataset/field.h"

namespace ts {

class TDateTimeField : public TField {
 public:
  TDateTimeField() : TDateTimeField(ftDateTime) {}
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

 protected:
  explicit TDateTimeField(TFieldType type) : TField(type, 0) {}
  std::string GetAsString() const override;
  int32_t DefaultDisplayWidth() const override { return 19; }
};

class TDateField : public TDateTimeField {
 public:
  TDateField() : TDateTimeField(ftDate) {}
};

class TTimeField : public TDateTimeField {
 public:
  TTimeField() : TDateTimeField(ftTime) {}
};

class TSQLTimeStampField : public TField {
 public:
  TSQLTimeStampField() : TField(ftTimeStamp, 0) {}
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

 protected:
  std::string GetAsString() const override;
  double GetAsDateTime() const override;
  double GetAsFloat() const override { return GetAsDateTime(); }
  int32_t DefaultDisplayWidth() const override { return 23; }
};

// A date-time number from a value: numbers as they are, text parsed
// (EConvertError when it is no date or time).
double DateTimeOfValue(const TValue& value);

}  // namespace ts
