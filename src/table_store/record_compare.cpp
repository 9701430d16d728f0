// TdvoCommon::CompareRecords: the field-by-field order of two records.
#include <algorithm>

#include "table_store/compare.h"
#include "table_store/errors.h"
#include "table_store/messages.h"
#include "table_store/record_store.h"

namespace ts {

TdvoCommon::TValueView TdvoCommon::FieldValue(const TRecord* record, const uint8_t* slot,
                                              const TFieldInfo& field) const {
  const int fieldNo = field.FieldNo();
  if (fieldNo <= 0) {
    // A calculated field: its bytes run to the end of the calculated buffer.
    const size_t available = static_cast<size_t>(CalcSize() - field.CalcOffset() - 1);
    return {slot + 1, available};
  }
  if (!IsOutOfLine(fieldNo))
    return {slot + 1, static_cast<size_t>(fieldValueBytes_[static_cast<size_t>(fieldNo - 1)])};

  const uint8_t* block = SlotBlock(slot);
  if (block == nullptr) {
    // A record buffer that has not written this value shares the stored one.
    const TRecord* stored = ValueSource(record);
    if (stored == nullptr) throw EMemTableInvalidRecord();
    block = SlotBlock(FieldSlotOf(const_cast<TRecord*>(stored), fieldNo));
  }
  if (block == nullptr) return {nullptr, 0};
  const uint8_t* data = ValueBlockData(block);
  int32_t size = ValueBlockLength(block);
  if (IsCompressed(fieldNo)) {
    if (owner_ != nullptr && owner_->HasDecompressFieldEvent()) {
      const uint8_t* result = data;
      owner_->DecompressField(field, data, size, result);
      data = result;
    } else {
      data = DefaultDecompressValue(field.DataType(), data, size);
    }
  }
  if (data == nullptr || size < 0) return {nullptr, 0};
  return {data, static_cast<size_t>(size)};
}

int TdvoCommon::CompareRecords(const TdvoFieldList& fields, int fieldLimit, const TRecord* keyRecord,
                               const TRecord* record, bool ignoreNull, bool partial, int stopRule) const {
  if (keyRecord == nullptr || record == nullptr) return 0;
  int count = fields.FieldCount();
  if (fieldLimit > 0 && fieldLimit < count) count = fieldLimit;
  const bool compareEvent = owner_ != nullptr && owner_->HasCompareFieldsEvent();
  const auto locale = static_cast<uint32_t>(localeID_);
  bool fullCompare = true;
  int result = 0;
  for (int i = 0; i < count; ++i) {
    const TFieldInfo* field = fields.FieldAt(i);
    int options = fields.OptionsAt(i);
    if (stopRule != 0) options &= ~mtcoDescending;
    const bool skipNull = ignoreNull || (options & mtcoIgnoreNullKey);
    if (partial) options |= mtcoPartialKey;

    const uint8_t* keySlot = field ? FieldSlot(keyRecord, *field) : nullptr;
    const uint8_t* recordSlot = field ? FieldSlot(record, *field) : nullptr;
    if (keySlot == nullptr || recordSlot == nullptr)
      throw EMemTableError(FormatMessage(msg::kFieldNotInLayout, {field ? field->FieldNo() : 0}));
    if (skipNull && keySlot[0] == kSlotNull) continue;

    if (keySlot[0] != kSlotNull && recordSlot[0] != kSlotNull) {
      const TValueView key = FieldValue(keyRecord, keySlot, *field);
      const TValueView value = FieldValue(record, recordSlot, *field);
      static const uint8_t kNothing[1] = {0};
      const uint8_t* keyData = key.data ? key.data : kNothing;
      const uint8_t* valueData = value.data ? value.data : kNothing;
      if (compareEvent) {
        result = 0;
        owner_->CompareFields(keyData, valueData, field->DataType(), options, fullCompare, result);
      } else {
        const bool collated = IsTextFieldType(field->DataType()) && !(options & mtcoIgnoreLocale);
        result = CompareFieldValueBytes(keyData, key.length, valueData, value.length, field->DataType(),
                                        collated ? Collation() : nullptr, locale, options, fullCompare);
      }
    } else if (keySlot[0] != kSlotNull) {
      result = 1;  // a null sorts before every value, descending or not
    } else if (recordSlot[0] != kSlotNull) {
      result = -1;
    } else {
      result = 0;
    }

    switch (stopRule) {
      case 0:
        if (result != 0 || !fullCompare) return result;
        break;
      case 1:
        if (result < 0) return result;
        break;
      case 2:
        if (result > 0) return result;
        break;
      case 3:
        if (result <= 0) return result;
        break;
      case 4:
        if (result >= 0) return result;
        break;
      default: break;
    }
  }
  return result;
}

}  // namespace ts
