// TField: the field object of a dataset, one per column.
//
// A field knows its name, data type, Size and kind, the flags and display
// properties the table and the stream formats read, and how to turn its
// value between the record's buffer form (see the record layout) and the
// tagged value, text, integer, float, currency, Boolean and date-time. Every
// read goes through the dataset's GetFieldData and every write through its
// SetFieldData, so the dataset decides which record the field addresses.
//
// A null field reads as the empty text, 0, false and the null value; setting
// the null or empty value (or, for non-text fields, the empty text) clears
// it. Each field class implements DecodeValue / EncodeValue for its buffer
// form; the typed accessors are built on them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "table_store/dataset/dataset_types.h"
#include "table_store/field_info.h"
#include "table_store/field_types.h"
#include "table_store/value.h"

namespace ts {

class TDataSet;
class TObjectField;

class TField : public TFieldInfo {
 public:
  TField(TFieldType dataType, int32_t size);
  ~TField() override;
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  // ---- Identity and properties
  const std::string& FieldName() const { return fieldName_; }
  // A new name makes what the dataset's users found by name stale: the
  // dataset's fields version moves on.
  void SetFieldName(std::string value);
  // "Parent.Child" for a child of an ADT or Array field.
  std::string FullName() const;
  TFieldKind FieldKind() const { return fieldKind_; }
  void SetFieldKind(TFieldKind value) { fieldKind_ = value; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  // The label, or the field name while no label is set.
  const std::string& DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
  void SetDisplayLabel(std::string value) { displayLabel_ = std::move(value); }
  const std::string& DisplayName() const { return DisplayLabel(); }
  // A width given by SetDisplayWidth, else one fitting the type.
  int32_t DisplayWidth() const { return displayWidth_ >= 0 ? displayWidth_ : DefaultDisplayWidth(); }
  void SetDisplayWidth(int32_t value) { displayWidth_ = value; }
  const std::string& EditMask() const { return editMask_; }
  void SetEditMask(std::string value) { editMask_ = std::move(value); }
  const std::string& DefaultExpression() const { return defaultExpression_; }
  void SetDefaultExpression(std::string value) { defaultExpression_ = std::move(value); }

  // Bytes of the buffer form (the record layout's storage size).
  int32_t DataSize() const;
  virtual bool IsBlob() const { return false; }

  // ---- Dataset
  TDataSet* DataSet() const { return dataSet_; }
  TObjectField* ParentField() const { return parent_; }
  // Position among the dataset's top-level fields, or among the parent's
  // children; -1 when unattached.
  int Index() const;

  // ---- Values
  bool IsNull() const;
  void Clear();
  TValue Value() const;
  void SetValue(const TValue& value);
  std::string AsString() const { return GetAsString(); }
  void SetAsString(std::string_view value) { SetAsStringValue(value); }
  int32_t AsInteger() const;
  void SetAsInteger(int32_t value) { SetAsLargeInt(value); }
  int64_t AsLargeInt() const { return GetAsLargeInt(); }
  void SetAsLargeInt(int64_t value) { SetAsLargeIntValue(value); }
  double AsFloat() const { return GetAsFloat(); }
  void SetAsFloat(double value) { SetAsFloatValue(value); }
  // Ten-thousandths.
  int64_t AsCurrency() const { return GetAsCurrency(); }
  void SetAsCurrency(int64_t tenThousandths) { SetAsCurrencyValue(tenThousandths); }
  bool AsBoolean() const { return GetAsBoolean(); }
  void SetAsBoolean(bool value) { SetValue(TValue::Boolean(value)); }
  // Days since 30 December 1899 plus the fraction of the day.
  double AsDateTime() const { return GetAsDateTime(); }
  void SetAsDateTime(double value) { SetValue(TValue::DateTime(value)); }

  // ---- Buffer form
  // Reads the value into `buffer` (DataSize() bytes); false when null.
  bool GetData(void* buffer) const;
  // True while OnValidate runs, when reads give the value being written.
  bool IsValidating() const { return isValidating_; }
  // Writes the value from `buffer`; nullptr makes the field null.
  void SetData(const void* buffer);
  // The value of a buffer form, and the buffer form of a value that is not
  // blank (DataSize() bytes). EncodeValue raises EConvertError, ERangeError
  // or EVariantTypeCastError for a value the field cannot hold.
  virtual TValue DecodeValue(const uint8_t* buffer) const = 0;
  virtual void EncodeValue(const TValue& value, uint8_t* buffer) const = 0;

  // ---- Events
  // OnValidate runs before a write with the new value readable through the
  // field; it may raise to refuse it. OnChange runs after the write.
  std::function<void(TField&)> OnValidate;
  std::function<void(TField&)> OnChange;

  // ---- Used by the dataset
  void Validate(const void* buffer);
  void Change();
  void SetDataSetRef(TDataSet* dataSet) { dataSet_ = dataSet; }
  void SetParentRef(TObjectField* parent) { parent_ = parent; }
  // Blob fields note writes through their streams until the buffers are freed.
  bool BlobModified() const { return blobModified_; }
  void SetBlobModified(bool value) { blobModified_ = value; }

 protected:
  virtual std::string GetAsString() const;
  virtual void SetAsStringValue(std::string_view text);
  virtual int64_t GetAsLargeInt() const;
  virtual void SetAsLargeIntValue(int64_t value) { SetValue(TValue::Integer(value)); }
  virtual double GetAsFloat() const;
  virtual void SetAsFloatValue(double value) { SetValue(TValue::Float(value)); }
  virtual int64_t GetAsCurrency() const;
  virtual void SetAsCurrencyValue(int64_t value) { SetValue(TValue::Currency(value)); }
  virtual bool GetAsBoolean() const;
  virtual double GetAsDateTime() const;
  virtual TValue GetAsValue() const;
  virtual void SetAsValue(const TValue& value);
  virtual int32_t DefaultDisplayWidth() const { return 10; }

  // EDatabaseError "Cannot access field '%s' as type %s".
  [[noreturn]] void AccessError(const char* typeName) const;
  // ERangeError "%s is not a valid value for field '%s'. ..." for integers.
  [[noreturn]] void RangeError(int64_t value, int64_t min, int64_t max) const;
  // The dataset, or EDatabaseError "Field '%s' has no dataset".
  TDataSet& BoundDataSet() const;

 private:
  std::string fieldName_;
  TFieldKind fieldKind_ = fkData;
  bool readOnly_ = false;
  bool required_ = false;
  bool visible_ = true;
  bool blobModified_ = false;
  std::string displayLabel_;
  int32_t displayWidth_ = -1;
  std::string editMask_;
  std::string defaultExpression_;
  TDataSet* dataSet_ = nullptr;
  TObjectField* parent_ = nullptr;
  // While OnValidate runs: the value being written (nullptr for null).
  const void* validating_ = nullptr;
  bool isValidating_ = false;
};

// A field object of the class that holds `type`; nullptr for a type no table
// can hold.
std::unique_ptr<TField> CreateFieldForType(TFieldType type, int32_t size);

}  // namespace ts
