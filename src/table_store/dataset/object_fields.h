// Field classes of the structured types: an ADT field holds one child field
// per member, an Array field Size children of one element type (named
// "Name[0]", "Name[1]", ...). The parent's own slot in a record only says
// null or not; the values live in the children, each with its own field
// number right after the parent's. The value of the parent is the array of
// its children's values; its text is empty.
#pragma once

#include <memory>
#include <vector>

#include "table_store/dataset/field.h"

namespace ts {

class TObjectField : public TField {
 public:
  // The child joins this field (and its dataset); the field owns it.
  TField& AddChild(std::unique_ptr<TField> child);
  int ChildCount() const { return static_cast<int>(children_.size()); }
  TField& Child(int index) const;  // ERangeError outside the list
  int IndexOfChild(const TField* child) const;

  TValue DecodeValue(const uint8_t* buffer) const override;
  void EncodeValue(const TValue& value, uint8_t* buffer) const override;

  // Gives every child the parent's dataset (recursively).
  void BindChildren();

 protected:
  TObjectField(TFieldType type, int32_t size) : TField(type, size) {}
  std::string GetAsString() const override { return std::string(); }
  void SetAsStringValue(std::string_view text) override;
  TValue GetAsValue() const override;
  void SetAsValue(const TValue& value) override;

 private:
  std::vector<std::unique_ptr<TField>> children_;
};

class TADTField : public TObjectField {
 public:
  TADTField() : TObjectField(ftADT, 0) {}
};

class TArrayField : public TObjectField {
 public:
  explicit TArrayField(int32_t size = 0) : TObjectField(ftArray, size) {}
};

}  // namespace ts
