#include "table_store/dataset/field_defs.h"

#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

[[noreturn]] void OutOfBounds(int index) {
  throw ERangeError(FormatMessage(msg::kListIndexOutOfBounds, {index}));
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

// ---- TFieldDef

TFieldDef::TFieldDef(TFieldDefs* collection, std::string name, TFieldType dataType, int32_t size,
                     bool required)
    : collection_(collection), name_(std::move(name)), dataType_(dataType), size_(size), required_(required) {}

TFieldDef::~TFieldDef() = default;

TFieldDefs& TFieldDef::ChildDefs() {
  if (!children_) children_ = std::make_unique<TFieldDefs>();
  return *children_;
}

const TFieldDefs& TFieldDef::ChildDefs() const {
  static const TFieldDefs kNone;
  return children_ ? *children_ : kNone;
}

bool TFieldDef::HasChildDefs() const { return children_ && children_->Count() > 0; }

int TFieldDef::Index() const { return collection_ ? collection_->IndexOf(this) : -1; }

// ---- TFieldDefs

TFieldDef& TFieldDefs::Add(std::string name, TFieldType dataType, int32_t size, bool required) {
  items_.push_back(std::make_unique<TFieldDef>(this, std::move(name), dataType, size, required));
  return *items_.back();
}

void TFieldDefs::Assign(const TFieldDefs& source) {
  if (&source == this) return;
  std::vector<std::unique_ptr<TFieldDef>> copy;
  copy.reserve(source.items_.size());
  for (const auto& item : source.items_) {
    auto def = std::make_unique<TFieldDef>(this, item->Name(), item->DataType(), item->Size(), item->Required());
    def->SetPrecision(item->Precision());
    def->SetInternalCalcField(item->InternalCalcField());
    if (item->HasChildDefs()) def->ChildDefs().Assign(item->ChildDefs());
    copy.push_back(std::move(def));
  }
  items_ = std::move(copy);
}

void TFieldDefs::Delete(int index) {
  if (index < 0 || index >= Count()) OutOfBounds(index);
  items_.erase(items_.begin() + index);
}

TFieldDef& TFieldDefs::operator[](int index) const {
  if (index < 0 || index >= Count()) OutOfBounds(index);
  return *items_[static_cast<size_t>(index)];
}

TFieldDef* TFieldDefs::Find(std::string_view name) const {
  const int index = IndexOf(name);
  return index < 0 ? nullptr : items_[static_cast<size_t>(index)].get();
}

int TFieldDefs::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameName(items_[i]->Name(), name)) return static_cast<int>(i);
  return -1;
}

int TFieldDefs::IndexOf(const TFieldDef* def) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == def) return static_cast<int>(i);
  return -1;
}

}  // namespace ts
