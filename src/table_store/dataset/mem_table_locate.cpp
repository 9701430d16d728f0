// TdvoCustomMemTable: finding a record by key values (SearchKeyPosition),
// moving to it (LocateRecord) and reading from it without moving
// (LookupValue).
#include <string>
#include <vector>

#include "table_store/dataset/mem_table.h"
#include "table_store/indexes/key_fields.h"
#include "table_store/messages.h"

namespace ts {

namespace {

// The fields named in a ";"-separated list, in order.
std::vector<TField*> NamedFields(const TDataSet& table, std::string_view names) {
  std::vector<TField*> fields;
  size_t pos = 0;
  while (pos <= names.size()) {
    size_t end = names.find(';', pos);
    if (end == std::string_view::npos) end = names.size();
    std::string_view name = names.substr(pos, end - pos);
    while (!name.empty() && static_cast<unsigned char>(name.front()) <= ' ') name.remove_prefix(1);
    while (!name.empty() && static_cast<unsigned char>(name.back()) <= ' ') name.remove_suffix(1);
    if (!name.empty() || end < names.size()) fields.push_back(&table.FieldByName(name));
    pos = end + 1;
  }
  return fields;
}

}  // namespace

const TdvoFieldList& TdvoCustomMemTable::LocateKeys(std::string_view keyFields, TLocateOptions options) {
  TLocateKeys& k = locateKeys_;
  if (k.valid && k.options == options && k.fieldsVersion == FieldsVersion() && k.text == keyFields) {
    // Parsing a calculated key field turns RecalcOnIndex on; so does reuse.
    if (k.calculated) SetRecalcOnIndex(true);
    return k.fields;
  }
  k.valid = false;
  ParseKeyFieldList(*this, k.fields, keyFields);
  if (options & loCaseInsensitive) ApplyKeyOption(*this, k.fields, mtcoCaseInsensitive, keyFields);
  if (options & loPartialKey) ApplyKeyOption(*this, k.fields, mtcoPartialKey, keyFields);
  k.calculated = false;
  for (int i = 0; i < k.fields.FieldCount(); ++i)
    k.calculated = k.calculated || static_cast<TField*>(k.fields.FieldAt(i))->FieldKind() == fkCalculated;
  k.text.assign(keyFields);
  k.options = options;
  k.fieldsVersion = FieldsVersion();
  k.valid = true;
  return k.fields;
}

TRecord* TdvoCustomMemTable::LocateKeyRecord() {
  TRecord*& record = locateKeys_.record;
  if (record == nullptr)
    record = store_->AllocRecord();
  else
    store_->InitRecord(record);
  return record;
}

void TdvoCustomMemTable::FreeLocateKeyRecord() {
  if (locateKeys_.record != nullptr && store_ != nullptr) store_->FreeRecord(locateKeys_.record, true, false);
  locateKeys_.record = nullptr;
}

int TdvoCustomMemTable::SearchKeyPosition(std::string_view keyFields, const TValue& keyValues,
                                          TLocateOptions options) {
  if (keyValues.IsArray())
    for (const TValue& element : keyValues.Elements())
      if (element.IsArray()) throw EMemTableError(msg::kBadDimensionCount);
  CheckBrowseMode();
  const TdvoFieldList& keys = LocateKeys(keyFields, options);

  TLockGuard guard(store_->Lock());
  TRecord* key = LocateKeyRecord();
  int position = -1;
  try {
    SetFieldVariants(key, keys, keyValues);
    // Through the current index when it is ordered on exactly these fields,
    // else a scan of it in order that stops at the first visible match.
    if (!indexes_->SearchForLocate(keys, key, false, true, position)) position = -1;
  } catch (...) {
    store_->FreeOutOfLineValues(key);
    throw;
  }
  store_->FreeOutOfLineValues(key);
  return position;
}

bool TdvoCustomMemTable::LocateRecord(std::string_view keyFields, const TValue& keyValues, TLocateOptions options) {
  CheckActive();
  DoBeforeScroll();
  found_ = false;
  const int position = SearchKeyPosition(keyFields, keyValues, options);
  found_ = position >= 0;
  if (!found_) return false;
  cursor_ = position;
  Resync();
  // Another record is current: a detail follows it.
  DataEvent(TDataEvent::DataSetChange, nullptr);
  DoAfterScroll();
  return true;
}

TValue TdvoCustomMemTable::LookupValue(std::string_view keyFields, const TValue& keyValues,
                                       std::string_view resultFields) {
  CheckActive();
  // A misspelt result field is reported whether or not a record matches.
  const std::vector<TField*> results = NamedFields(*this, resultFields);
  if (results.empty()) throw EMemTableError(msg::kNoFields);
  const int position = SearchKeyPosition(keyFields, keyValues, 0);
  found_ = position >= 0;
  if (!found_) return TValue::Null();

  TLockGuard guard(store_->Lock());
  // The values are read from a copy of the record, so computing its
  // calculated fields touches neither the store nor the cursor's buffer.
  TRecord* copy = AllocRecordBuffer();
  store_->CopyRecord(currentIndex_->EntryAt(position), copy);
  TRecord* const savedOverride = overrideRecord_;
  TDataSetState savedState = State();
  TValue result;
  try {
    GetCalcFields(copy);
    savedState = SetTempState(dsCalcFields);
    overrideRecord_ = copy;
    if (results.size() == 1) {
      result = results.front()->Value();
    } else {
      std::vector<TValue> values;
      values.reserve(results.size());
      for (TField* field : results) values.push_back(field->Value());
      result = TValue::Array(std::move(values));
    }
  } catch (...) {
    overrideRecord_ = savedOverride;
    RestoreState(savedState);
    FreeRecordBuffer(copy);
    throw;
  }
  overrideRecord_ = savedOverride;
  RestoreState(savedState);
  FreeRecordBuffer(copy);
  return result;
}

}  // namespace ts
