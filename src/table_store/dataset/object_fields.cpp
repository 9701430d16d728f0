#include "table_store/dataset/object_fields.h"

#include "table_store/dataset/dataset.h"
#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

TField& TObjectField::AddChild(std::unique_ptr<TField> child) {
  child->SetParentRef(this);
  child->SetDataSetRef(DataSet());
  children_.push_back(std::move(child));
  if (DataSet() != nullptr) DataSet()->FieldsChanged();
  return *children_.back();
}

TField& TObjectField::Child(int index) const {
  if (index < 0 || index >= ChildCount()) throw ERangeError(FormatMessage(msg::kListIndexOutOfBounds, {index}));
  return *children_[static_cast<size_t>(index)];
}

int TObjectField::IndexOfChild(const TField* child) const {
  for (size_t i = 0; i < children_.size(); ++i)
    if (children_[i].get() == child) return static_cast<int>(i);
  return -1;
}

void TObjectField::BindChildren() {
  for (auto& child : children_) {
    child->SetDataSetRef(DataSet());
    if (auto* object = dynamic_cast<TObjectField*>(child.get())) object->BindChildren();
  }
}

TValue TObjectField::DecodeValue(const uint8_t* /*buffer*/) const { return GetAsValue(); }

void TObjectField::EncodeValue(const TValue& /*value*/, uint8_t* /*buffer*/) const { AccessError("Buffer"); }

TValue TObjectField::GetAsValue() const {
  std::vector<TValue> values;
  values.reserve(children_.size());
  for (const auto& child : children_) values.push_back(child->Value());
  return TValue::Array(std::move(values));
}

void TObjectField::SetAsValue(const TValue& value) {
  if (value.IsBlank()) {
    for (auto& child : children_) child->Clear();
    return;
  }
  if (!value.IsArray()) AccessError("Variant");
  const int n = std::min(value.ArrayLength(), ChildCount());
  for (int i = 0; i < n; ++i) children_[static_cast<size_t>(i)]->SetValue(value[i]);
}

void TObjectField::SetAsStringValue(std::string_view text) {
  // The parent has no text of its own; only "nothing" can be written.
  if (!text.empty()) AccessError("String");
}

}  // namespace ts
