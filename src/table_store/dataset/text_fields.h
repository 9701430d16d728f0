// Field classes of the text and byte types.
//
//   TStringField     String: zero-terminated text of at most Size bytes in
//                    the system's code page. A longer text is cut to Size;
//                    the empty text is a value, not null. TFixedCharField
//                    is the same form for FixedChar.
//   TBytesField      Bytes: exactly Size bytes (a shorter value is padded
//                    with zeros).
//   TVarBytesField   VarBytes: a 16-bit length followed by at most Size
//                    bytes.
// The bytes fields exchange their bytes as a string value.
#pragma once

#include "table_store/dataset/field.h"

namespace ts {

class TStringField : public TField {
 public:
  explicit TStringField(int32_t size = 20) : TStringField(ftString, size) {}
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

 protected:
  TStringField(TFieldType type, int32_t size) : TField(type, size) {}
  std::string GetAsString() const override;
  void SetAsStringValue(std::string_view text) override;
  int64_t GetAsLargeInt() const override;
  double GetAsFloat() const override;
  bool GetAsBoolean() const override;
  double GetAsDateTime() const override;
  int32_t DefaultDisplayWidth() const override { return Size(); }

 private:
  // False for null.
  bool ReadText(std::string& text) const;
};

class TFixedCharField : public TStringField {
 public:
  explicit TFixedCharField(int32_t size = 20) : TStringField(ftFixedChar, size) {}
};

class TBytesField : public TField {
 public:
  explicit TBytesField(int32_t size = 16) : TBytesField(ftBytes, size) {}
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

 protected:
  TBytesField(TFieldType type, int32_t size) : TField(type, size) {}
  int32_t DefaultDisplayWidth() const override { return Size() * 2; }
};

class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(int32_t size = 16) : TBytesField(ftVarBytes, size) {}
  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;
};

}  // namespace ts
