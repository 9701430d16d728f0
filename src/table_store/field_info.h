// What the record store knows of a table's fields.
//
//   TFieldInfo     the store's view of a field object: field number (1-based
//                  position among all field definitions, children included;
//                  0 for calculated and lookup fields), data type, Size, and
//                  for fields without a number the offset of the field's slot
//                  inside the table's calculated-field buffer. The table's
//                  field class derives from it.
//   TFieldDefDesc  one field definition as the record layout walks it: name,
//                  display name, type, Size and child definitions (an ADT's
//                  fields; an Array's element fields, repeated Size times).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "table_store/field_types.h"

namespace ts {

class TFieldInfo {
 public:
  TFieldInfo() = default;
  TFieldInfo(int fieldNo, TFieldType dataType, int32_t size, int32_t calcOffset = 0)
      : fieldNo_(fieldNo), dataType_(dataType), size_(size), calcOffset_(calcOffset) {}
  virtual ~TFieldInfo() = default;

  int FieldNo() const { return fieldNo_; }
  void SetFieldNo(int value) { fieldNo_ = value; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType value) { dataType_ = value; }
  int32_t Size() const { return size_; }
  void SetSize(int32_t value) { size_ = value; }
  int32_t CalcOffset() const { return calcOffset_; }
  void SetCalcOffset(int32_t value) { calcOffset_ = value; }

 private:
  int fieldNo_ = 0;
  TFieldType dataType_ = ftUnknown;
  int32_t size_ = 0;
  int32_t calcOffset_ = 0;
};

struct TFieldDefDesc {
  std::string Name;
  std::string DisplayName;
  TFieldType DataType = ftUnknown;
  int32_t Size = 0;
  std::vector<TFieldDefDesc> Children;
};

}  // namespace ts
