// Field classes of the numeric types.
//
//   TIntegerField    Integer (32-bit); TSmallintField (16-bit), TWordField
//                    (unsigned 16-bit) and TAutoIncField (32-bit) share it
//                    with their own ranges. A value outside the range raises
//                    ERangeError naming the field; a float is rounded.
//   TLargeintField   signed 64-bit, read and written exactly (never through
//                    a double).
//   TBooleanField    16-bit, zero false; text "True" / "False" (any case)
//                    or a number.
//   TFloatField      64-bit double; TCurrencyField is the same buffer form.
//   TBCDField        34-byte BCD, exchanged as currency (four decimal
//                    places); TFMTBCDField is the same form.
#pragma once

#include "table_store/dataset/field.h"

namespace ts {

class TIntegerField : public TField {
 public:
  TIntegerField() : TIntegerField(ftInteger) {}
  int64_t MinValue() const;
  int64_t MaxValue() const;
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

 protected:
  explicit TIntegerField(TFieldType type) : TField(type, 0) {}
  int64_t GetAsLargeInt() const override;
  int32_t DefaultDisplayWidth() const override { return 11; }
};

class TSmallintField : public TIntegerField {
 public:
  TSmallintField() : TIntegerField(ftSmallint) {}

 protected:
  int32_t DefaultDisplayWidth() const override { return 6; }
};

class TWordField : public TIntegerField {
 public:
  TWordField() : TIntegerField(ftWord) {}

 protected:
  int32_t DefaultDisplayWidth() const override { return 5; }
};

class TAutoIncField : public TIntegerField {
 public:
  TAutoIncField() : TIntegerField(ftAutoInc) {}
};

class TLargeintField : public TField {
 public:
  TLargeintField() : TField(ftLargeint, 0) {}
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

 protected:
  int64_t GetAsLargeInt() const override;
  int32_t DefaultDisplayWidth() const override { return 15; }
};

class TBooleanField : public TField {
 public:
  TBooleanField() : TField(ftBoolean, 0) {}
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

 protected:
  int32_t DefaultDisplayWidth() const override { return 5; }
};

class TFloatField : public TField {
 public:
  TFloatField() : TFloatField(ftFloat) {}
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

 protected:
  explicit TFloatField(TFieldType type) : TField(type, 0) {}
  double GetAsFloat() const override;
};

class TCurrencyField : public TFloatField {
 public:
  TCurrencyField() : TFloatField(ftCurrency) {}
  // A value that is no currency amount (beyond the 64-bit range of
  // ten-thousandths, or not a number) is refused here, as the BCD fields
  // refuse it, rather than stored and failing every later save.
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;
};

class TBCDField : public TField {
 public:
  explicit TBCDField(int32_t size = 4) : TBCDField(ftBCD, size) {}
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

 protected:
  TBCDField(TFieldType type, int32_t size) : TField(type, size) {}
};

class TFMTBCDField : public TBCDField {
 public:
  explicit TFMTBCDField(int32_t size = 4) : TBCDField(ftFMTBcd, size) {}
};

// The 34-byte BCD form of a currency amount (ten-thousandths).
void CurrencyToBcd(int64_t tenThousandths, uint8_t* bcd);

}  // namespace ts
