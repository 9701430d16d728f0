// Field definitions of a dataset: what a table's columns are (name, data
// type, Size, Required, and for ADT and Array columns their child
// definitions). A table without field objects of its own makes its fields
// from these when it opens. The collection owns its items.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "table_store/field_types.h"

namespace ts {

class TFieldDefs;

class TFieldDef {
 public:
  TFieldDef(TFieldDefs* collection, std::string name, TFieldType dataType, int32_t size, bool required);
  TFieldDef(const TFieldDef&) = delete;
  TFieldDef& operator=(const TFieldDef&) = delete;
  ~TFieldDef();

  const std::string& Name() const { return name_; }
  void SetName(std::string value) { name_ = std::move(value); }
  // The name as errors show it (the definition has no label of its own).
  const std::string& DisplayName() const { return name_; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType value) { dataType_ = value; }
  int32_t Size() const { return size_; }
  void SetSize(int32_t value) { size_ = value; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  int32_t Precision() const { return precision_; }
  void SetPrecision(int32_t value) { precision_ = value; }
  bool InternalCalcField() const { return internalCalc_; }
  void SetInternalCalcField(bool value) { internalCalc_ = value; }

  // Children of an ADT (its fields) or an Array (the element, repeated Size
  // times in a record).
  TFieldDefs& ChildDefs();
  const TFieldDefs& ChildDefs() const;
  bool HasChildDefs() const;

  TFieldDefs* Collection() const { return collection_; }
  // Position in the collection.
  int Index() const;

 private:
  TFieldDefs* collection_;
  std::string name_;
  TFieldType dataType_;
  int32_t size_;
  bool required_;
  int32_t precision_ = 0;
  bool internalCalc_ = false;
  std::unique_ptr<TFieldDefs> children_;
};

class TFieldDefs {
 public:
  TFieldDefs() = default;
  TFieldDefs(const TFieldDefs&) = delete;
  TFieldDefs& operator=(const TFieldDefs&) = delete;

  TFieldDef& Add(std::string name, TFieldType dataType, int32_t size = 0, bool required = false);
  // Replaces the contents by copies of the source's definitions, children too.
  void Assign(const TFieldDefs& source);
  void Clear() { items_.clear(); }
  void Delete(int index);  // ERangeError outside the list
  int Count() const { return static_cast<int>(items_.size()); }
  TFieldDef& operator[](int index) const;  // ERangeError outside the list
  // First definition with the name, compared without regard to case.
  TFieldDef* Find(std::string_view name) const;
  int IndexOf(std::string_view name) const;  // -1 when absent
  int IndexOf(const TFieldDef* def) const;

 private:
  std::vector<std::unique_ptr<TFieldDef>> items_;
};

// Case-insensitive equality of names (Latin and Cyrillic letters of the code
// page), as the table compares field and index names.
bool SameName(std::string_view a, std::string_view b);

}  // namespace ts
