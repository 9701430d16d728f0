#include "table_store/dataset/field_defs.h"

#include <array>
#include <cstdint>

#include "table_store/codepage.h"
#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

namespace {

// The capital of every byte of the code page: the Latin letters and every
// Cyrillic one the code page holds (Ё, Ў, Є, Ї, І, Ґ, Ј, Ѕ and the Serbian
// and Macedonian letters with theirs); other bytes stay.
const std::array<uint8_t, 256>& CapitalMap() {
  static const std::array<uint8_t, 256> map = [] {
    std::array<uint8_t, 256> capitals{};
    for (int byte = 0; byte < 256; ++byte) {
      const char32_t letter = Cp1251ToUnicode(static_cast<uint8_t>(byte));
      char32_t capital = letter;
      if (letter >= U'a' && letter <= U'z') capital = letter - 0x20;
      if (letter >= 0x430 && letter <= 0x44F) capital = letter - 0x20;  // а..я
      if (letter >= 0x450 && letter <= 0x45F) capital = letter - 0x50;  // ѐ..џ
      if (letter == 0x491) capital = 0x490;                             // ґ
      uint8_t out = 0;
      capitals[static_cast<size_t>(byte)] =
          UnicodeToCp1251(capital, out) ? out : static_cast<uint8_t>(byte);
    }
    return capitals;
  }();
  return map;
}

char Upper(char c) { return static_cast<char>(CapitalMap()[static_cast<uint8_t>(c)]); }

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
