#include "table_store/field_list.h"

#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

int TdvoFieldList::AddField(TFieldInfo* field, int options) {
  fields_.push_back(field);
  options_.push_back(options);
  return FieldCount() - 1;
}

void TdvoFieldList::OutOfBounds(int index) {
  throw ERangeError(FormatMessage(msg::kListIndexOutOfBounds, {index}));
}

void TdvoFieldList::SetOptionsAt(int index, int options) {
  CheckIndex(index);
  options_[static_cast<size_t>(index)] = options;
}

int TdvoFieldList::IndexOfField(const TFieldInfo* field) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i] == field) return static_cast<int>(i);
  return -1;
}

void TdvoFieldList::ClearFields() {
  fields_.clear();
  options_.clear();
}

void TdvoFieldList::CopyFieldList(const TdvoFieldList& source, TdvoFieldList& target) {
  if (&source == &target) return;
  target.ClearFields();
  for (int i = 0; i < source.FieldCount(); ++i) target.AddField(source.FieldAt(i), source.OptionsAt(i));
}

}  // namespace ts
