// TIndexDefs: a table's index definitions, in order. Names are unique within
// the collection without regard to case (an empty name never clashes); a
// clash raises EComponentError "A component named %s already exists" and
// changes nothing.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "table_store/indexes/index_def.h"

namespace ts {

class TIndexDefs {
 public:
  TIndexDefs() = default;
  TIndexDefs(const TIndexDefs&) = delete;
  TIndexDefs& operator=(const TIndexDefs&) = delete;

  TIndexDef& Add(std::string name, std::string fields, TIndexOptions options = 0);
  // A new definition without a name, fields or options.
  TIndexDef& AddIndexDef();
  // Renames one of this collection's definitions.
  void SetName(TIndexDef& def, std::string name);
  void Assign(const TIndexDefs& source);
  void Clear() { items_.clear(); }
  void Delete(int index);  // ERangeError outside the list
  int Count() const { return static_cast<int>(items_.size()); }
  TIndexDef& operator[](int index) const;  // ERangeError outside the list
  TIndexDef* Find(std::string_view name) const;
  int IndexOf(std::string_view name) const;  // -1 when absent

  // "<Primary>" for an unnamed primary index, else the name.
  static std::string DisplayName(const TIndexDef& def);

 private:
  bool NameTaken(std::string_view name, const TIndexDef* except) const;

  std::vector<std::unique_ptr<TIndexDef>> items_;
};

}  // namespace ts
