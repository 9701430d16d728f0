#include "table_store/dataset/field.h"

#include <climits>
#include <cstring>
#include <vector>

#include "table_store/dataset/dataset.h"
#include "table_store/dataset/dataset_messages.h"
#include "table_store/dataset/field_buffer.h"
#include "table_store/dataset/object_fields.h"
#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

TField::TField(TFieldType dataType, int32_t size) : TFieldInfo(0, dataType, size) {}

TField::~TField() = default;

void TField::SetFieldName(std::string value) {
  fieldName_ = std::move(value);
  if (dataSet_ != nullptr) dataSet_->FieldsChanged();
}

std::string TField::FullName() const {
  if (parent_ == nullptr) return fieldName_;
  return parent_->FullName() + "." + fieldName_;
}

int32_t TField::DataSize() const { return static_cast<int32_t>(FieldStorageSize(DataType(), Size())); }

int TField::Index() const {
  if (parent_ != nullptr) return parent_->IndexOfChild(this);
  if (dataSet_ != nullptr) return dataSet_->IndexOfField(this);
  return -1;
}

TDataSet& TField::BoundDataSet() const {
  if (dataSet_ == nullptr) throw EDatabaseError(FormatMessage(msg::kFieldNoDataSet, {DisplayName()}));
  return *dataSet_;
}

void TField::AccessError(const char* typeName) const {
  throw EDatabaseError(FormatMessage(msg::kFieldAccessType, {DisplayName(), typeName}));
}

void TField::RangeError(int64_t value, int64_t min, int64_t max) const {
  throw ERangeError(FormatMessage(msg::kFieldRange, {value, DisplayName(), min, max}));
}

// ---- Buffer form

bool TField::GetData(void* buffer) const {
  if (isValidating_) {
    if (validating_ == nullptr) return false;
    if (buffer != nullptr && DataSize() > 0) std::memcpy(buffer, validating_, static_cast<size_t>(DataSize()));
    return true;
  }
  return BoundDataSet().GetFieldData(*this, buffer);
}

void TField::SetData(const void* buffer) { BoundDataSet().SetFieldData(*this, buffer); }

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  // The handler reads the value being written through the field itself.
  const void* savedData = validating_;
  const bool savedFlag = isValidating_;
  validating_ = buffer;
  isValidating_ = true;
  try {
    OnValidate(*this);
  } catch (...) {
    validating_ = savedData;
    isValidating_ = savedFlag;
    throw;
  }
  validating_ = savedData;
  isValidating_ = savedFlag;
}

void TField::Change() {
  if (OnChange) OnChange(*this);
}

// ---- Values

bool TField::IsNull() const {
  // Only asks: no value bytes are copied, so a value that cannot be read
  // still reports that it is there.
  return !GetData(nullptr);
}

void TField::Clear() { SetData(nullptr); }

TValue TField::Value() const { return GetAsValue(); }

void TField::SetValue(const TValue& value) { SetAsValue(value); }

TValue TField::GetAsValue() const {
  TFieldBuffer buffer(static_cast<size_t>(DataSize()) + 1);
  if (!GetData(buffer.data())) return TValue::Null();
  return DecodeValue(buffer.data());
}

void TField::SetAsValue(const TValue& value) {
  if (value.IsBlank()) {
    Clear();
    return;
  }
  TFieldBuffer buffer(static_cast<size_t>(DataSize()) + 1);
  EncodeValue(value, buffer.data());
  SetData(buffer.data());
}

std::string TField::GetAsString() const {
  const TValue value = GetAsValue();
  return value.IsBlank() ? std::string() : value.ToString();
}

void TField::SetAsStringValue(std::string_view text) {
  if (text.empty()) {
    Clear();
    return;
  }
  SetAsValue(TValue::String(std::string(text)));
}

int32_t TField::AsInteger() const {
  const int64_t value = GetAsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) RangeError(value, INT32_MIN, INT32_MAX);
  return static_cast<int32_t>(value);
}

int64_t TField::GetAsLargeInt() const {
  const TValue value = GetAsValue();
  return value.IsBlank() ? 0 : value.ToInteger();
}

double TField::GetAsFloat() const {
  const TValue value = GetAsValue();
  return value.IsBlank() ? 0.0 : value.ToFloat();
}

int64_t TField::GetAsCurrency() const {
  const TValue value = GetAsValue();
  return value.IsBlank() ? 0 : value.ToCurrency();
}

bool TField::GetAsBoolean() const {
  const TValue value = GetAsValue();
  return value.IsBlank() ? false : value.ToBoolean();
}

double TField::GetAsDateTime() const {
  const TValue value = GetAsValue();
  return value.IsBlank() ? 0.0 : value.ToDateTime();
}

}  // namespace ts
