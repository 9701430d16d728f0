// TdvoFieldList: the fields of a key, each with its compare options (an
// integer of mtco* bits, see compare.h). Two parallel lists of equal length;
// the fields are not owned. Positions outside the list raise ERangeError.
#pragma once

#include <vector>

#include "table_store/field_info.h"

namespace ts {

class TdvoFieldList {
 public:
  TdvoFieldList() = default;
  virtual ~TdvoFieldList() = default;

  int AddField(TFieldInfo* field, int options);  // returns the new position
  TFieldInfo* FieldAt(int index) const {
    CheckIndex(index);
    return fields_[static_cast<size_t>(index)];
  }
  int OptionsAt(int index) const {
    CheckIndex(index);
    return options_[static_cast<size_t>(index)];
  }
  void SetOptionsAt(int index, int options);
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  int IndexOfField(const TFieldInfo* field) const;  // -1 when absent
  virtual void ClearFields();

  // Clears the target and appends the source's pairs in order.
  static void CopyFieldList(const TdvoFieldList& source, TdvoFieldList& target);

 private:
  void CheckIndex(int index) const {
    if (index < 0 || index >= FieldCount()) OutOfBounds(index);
  }
  [[noreturn]] static void OutOfBounds(int index);

  std::vector<TFieldInfo*> fields_;
  std::vector<int> options_;
};

}  // namespace ts
