// TdvoCommon: the record layout and the addresses inside a record.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "table_store/errors.h"
#include "table_store/messages.h"
#include "table_store/record_store.h"

namespace ts {

namespace {

// The value area must stay addressable by the 32-bit offsets of the layout.
constexpr int64_t kMaxValueArea = INT32_MAX - static_cast<int64_t>(sizeof(TRecord));

struct TLayoutWork {
  std::array<uint8_t, kMaxFields> flags{};
  std::array<int32_t, kMaxFields> offsets{};
  std::array<TFieldType, kMaxFields> types{};
  std::array<int32_t, kMaxFields> sizes{};
  int count = 0;
  int64_t fixed = 0;
};

[[noreturn]] void TooLarge(int64_t bytes) {
  throw EMemTableError(FormatMessage(msg::kRecordTooLarge, {std::to_string(bytes)}));
}

bool HasChildren(TFieldType type) { return type == ftADT || type == ftArray; }

}  // namespace

void TdvoCommon::BuildRecordLayout() {
  const std::vector<TFieldDefDesc> defs = owner_ ? owner_->StoreFieldDefs() : std::vector<TFieldDefDesc>();
  if (defs.empty()) throw EMemTableError(msg::kNoFields);

  // Work on copies so that a failing layout leaves the previous one intact.
  // The out-of-line and compressed bits of an earlier layout are kept.
  TLayoutWork w;
  w.flags = fieldFlags_;
  const bool setupEvent = owner_->HasSetupFieldEvent();

  auto place = [&](auto& self, const std::vector<TFieldDefDesc>& list) -> void {
    for (const TFieldDefDesc& def : list) {
      if (!IsSupportedFieldType(def.DataType))
        throw EMemTableError("Fielddef " + def.Name + " (" + def.DisplayName + ")" +
                             FormatMessage(" Datatype %d not supported.", {int64_t{def.DataType}}));
      if (w.count >= kMaxFields) throw EMemTableError(FormatMessage(msg::kTooManyFields, {kMaxFields}));
      const int index = w.count++;
      uint8_t& flags = w.flags[static_cast<size_t>(index)];
      w.types[static_cast<size_t>(index)] = def.DataType;
      w.sizes[static_cast<size_t>(index)] = def.Size;
      if (HasChildren(def.DataType)) {
        // A parent is never out of line. A bit left by an earlier layout for
        // another field at this number must not keep its children from being
        // placed (they would shift every later field number).
        flags &= static_cast<uint8_t>(~(kFieldOutOfLine | kFieldCompressed));
      } else if (ts::IsOutOfLineField(def.DataType, def.Size, performance_)) {
        flags |= kFieldOutOfLine;
        if (setupEvent && !IsBlobFieldType(def.DataType)) owner_->SetupField(index + 1, def, flags);
      }
      if (flags & kFieldOutOfLine) {
        w.offsets[static_cast<size_t>(index)] = 0;  // placed after the fixed part below
        continue;
      }
      w.offsets[static_cast<size_t>(index)] = static_cast<int32_t>(w.fixed);
      w.fixed += FieldStorageSize(def.DataType, def.Size) + 1;
      if (w.fixed > kMaxValueArea) TooLarge(w.fixed);
      if (def.DataType == ftADT) {
        self(self, def.Children);
      } else if (def.DataType == ftArray && !def.Children.empty()) {
        for (int32_t pass = 0; pass < def.Size; ++pass) self(self, def.Children);
      }
    }
  };
  place(place, defs);

  const int32_t calcSize = std::max<int32_t>(0, owner_->StoreCalcBufferSize());
  const int cells = AttachMaxCount();
  const int64_t calcStart = w.fixed;
  const int64_t bookmarkStart = calcStart + calcSize;
  const int64_t outOfLineStart = bookmarkStart + static_cast<int64_t>(cells) * kBookmarkCellSize;
  std::vector<int> outOfLine;
  for (int index = 0; index < w.count; ++index) {
    uint8_t& flags = w.flags[static_cast<size_t>(index)];
    if (!(flags & kFieldOutOfLine)) continue;
    if (performance_ == mtpfSmall) flags |= kFieldCompressed;
    w.offsets[static_cast<size_t>(index)] =
        static_cast<int32_t>(std::min<int64_t>(outOfLineStart + static_cast<int64_t>(outOfLine.size()) *
                                                                    kOutOfLineSlotSize,
                                               INT32_MAX));
    outOfLine.push_back(index + 1);
  }
  const int64_t valueArea = outOfLineStart + static_cast<int64_t>(outOfLine.size()) * kOutOfLineSlotSize;
  if (valueArea > kMaxValueArea) TooLarge(valueArea);

  fieldCount_ = w.count;
  fieldFlags_ = w.flags;
  fieldOffsets_ = w.offsets;
  fieldTypes_ = w.types;
  fieldSizes_ = w.sizes;
  for (size_t index = 0; index < static_cast<size_t>(w.count); ++index)
    fieldValueBytes_[index] = static_cast<int32_t>(FieldStorageSize(w.types[index], w.sizes[index]));
  outOfLineFields_ = std::move(outOfLine);
  calcStart_ = static_cast<int32_t>(calcStart);
  bookmarkStart_ = static_cast<int32_t>(bookmarkStart);
  bookmarkCells_ = cells;
  outOfLineStart_ = static_cast<int32_t>(outOfLineStart);
  copySize_ = outOfLineStart_;
  valueAreaSize_ = static_cast<int32_t>(valueArea);
  recordSize_ = static_cast<int32_t>(sizeof(TRecord) + valueArea);
  SetDataModified(false);
  ClearModifiedBits();
}

void TdvoCommon::SetFieldModified(int fieldNo) {
  if (fieldNo < 1 || fieldNo > kMaxFields) return;
  TLockGuard guard(lock_);
  fieldFlags_[static_cast<size_t>(fieldNo - 1)] |= kFieldModified;
}

void TdvoCommon::ClearModifiedBits() {
  TLockGuard guard(lock_);
  // Eight flags at a time: every post clears the flags of all possible fields.
  static_assert(kMaxFields % 8 == 0);
  constexpr uint64_t keep = ~(0x0101010101010101ull * kFieldModified);
  for (size_t i = 0; i < fieldFlags_.size(); i += 8) {
    uint64_t flags;
    std::memcpy(&flags, &fieldFlags_[i], 8);
    flags &= keep;
    std::memcpy(&fieldFlags_[i], &flags, 8);
  }
}

bool TdvoCommon::IsOutOfLineField(TFieldType type, int64_t size) const {
  return ts::IsOutOfLineField(type, size, performance_);
}

uint8_t* TdvoCommon::FieldSlot(TRecord* record, const TFieldInfo& field) const {
  if (field.FieldNo() > 0) return FieldSlotOf(record, field.FieldNo());
  if (record == nullptr) return nullptr;
  if (field.CalcOffset() < 0 || field.CalcOffset() >= CalcSize()) return nullptr;
  return record->Values() + calcStart_ + field.CalcOffset();
}

const uint8_t* TdvoCommon::FieldSlot(const TRecord* record, const TFieldInfo& field) const {
  return FieldSlot(const_cast<TRecord*>(record), field);
}

const uint8_t* TdvoCommon::BookmarkCell(const TRecord* record, int attachSlot) const {
  if (attachSlot < 0 || attachSlot >= bookmarkCells_) throw ERangeError();
  if (record == nullptr) throw EMemTableInvalidRecord();
  return record->Values() + bookmarkStart_ + static_cast<int64_t>(attachSlot) * kBookmarkCellSize;
}

TRecord* TdvoCommon::BookmarkRecord(const TRecord* record, int attachSlot) const {
  TRecord* target;
  std::memcpy(&target, BookmarkCell(record, attachSlot), sizeof target);
  return target;
}

void TdvoCommon::SetBookmarkRecord(TRecord* record, int attachSlot, TRecord* target) const {
  std::memcpy(const_cast<uint8_t*>(BookmarkCell(record, attachSlot)), &target, sizeof target);
}

uint8_t TdvoCommon::BookmarkFlag(const TRecord* record, int attachSlot) const {
  return BookmarkCell(record, attachSlot)[sizeof(TRecord*)];
}

void TdvoCommon::SetBookmarkFlag(TRecord* record, int attachSlot, uint8_t flag) const {
  const_cast<uint8_t*>(BookmarkCell(record, attachSlot))[sizeof(TRecord*)] = flag;
}

}  // namespace ts
