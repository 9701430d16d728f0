#include "table_store/dataset/index_defs.h"

#include "table_store/dataset/field_defs.h"
#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

namespace {

[[noreturn]] void OutOfBounds(int index) {
  throw ERangeError(FormatMessage(msg::kListIndexOutOfBounds, {index}));
}

}  // namespace

bool TIndexDefs::NameTaken(std::string_view name, const TIndexDef* except) const {
  if (name.empty()) return false;
  for (const auto& item : items_)
    if (item.get() != except && SameName(item->Name, name)) return true;
  return false;
}

TIndexDef& TIndexDefs::Add(std::string name, std::string fields, TIndexOptions options) {
  if (NameTaken(name, nullptr)) throw EComponentError::NameExists(name);
  auto def = std::make_unique<TIndexDef>();
  def->Name = std::move(name);
  def->Fields = std::move(fields);
  def->Options = options;
  items_.push_back(std::move(def));
  return *items_.back();
}

TIndexDef& TIndexDefs::AddIndexDef() {
  items_.push_back(std::make_unique<TIndexDef>());
  return *items_.back();
}

void TIndexDefs::SetName(TIndexDef& def, std::string name) {
  if (NameTaken(name, &def)) throw EComponentError::NameExists(name);
  def.Name = std::move(name);
}

void TIndexDefs::Assign(const TIndexDefs& source) {
  if (&source == this) return;
  std::vector<std::unique_ptr<TIndexDef>> copy;
  copy.reserve(source.items_.size());
  for (const auto& item : source.items_) copy.push_back(std::make_unique<TIndexDef>(*item));
  items_ = std::move(copy);
}

void TIndexDefs::Delete(int index) {
  if (index < 0 || index >= Count()) OutOfBounds(index);
  items_.erase(items_.begin() + index);
}

TIndexDef& TIndexDefs::operator[](int index) const {
  if (index < 0 || index >= Count()) OutOfBounds(index);
  return *items_[static_cast<size_t>(index)];
}

TIndexDef* TIndexDefs::Find(std::string_view name) const {
  const int index = IndexOf(name);
  return index < 0 ? nullptr : items_[static_cast<size_t>(index)].get();
}

int TIndexDefs::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameName(items_[i]->Name, name)) return static_cast<int>(i);
  return -1;
}

std::string TIndexDefs::DisplayName(const TIndexDef& def) {
  if (def.Name.empty() && (def.Options & ixPrimary)) return "<Primary>";
  return def.Name;
}

}  // namespace ts
