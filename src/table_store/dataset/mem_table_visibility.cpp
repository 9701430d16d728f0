// TdvoCustomMemTable: which records the view shows (status filter, range,
// master/detail restriction, OnFilterRecord and the compiled filter), the
// range itself, the status filter setter, the record count and moving to a
// record number.
#include "table_store/dataset/mem_table.h"
#include "table_store/messages.h"

namespace ts {

namespace {

constexpr const char* kRangeWithoutKeyFields = "A range needs a current index with key fields";
constexpr const char* kMoreValuesThanFields = "More values than fields";

// Puts the table back into the state and filter record it had, however the
// test of one record ends.
class TFilterStateScope {
 public:
  TFilterStateScope(TDataSet& table, TRecord*& filterRecord, TRecord* record)
      : table_(table), filterRecord_(filterRecord), savedRecord_(filterRecord) {
    filterRecord_ = record;
    savedState_ = table_.SetTempState(dsFilter);
  }
  ~TFilterStateScope() {
    table_.RestoreState(savedState_);
    filterRecord_ = savedRecord_;
  }
  TFilterStateScope(const TFilterStateScope&) = delete;
  TFilterStateScope& operator=(const TFilterStateScope&) = delete;

 private:
  TDataSet& table_;
  TRecord*& filterRecord_;
  TRecord* savedRecord_;
  TDataSetState savedState_ = dsInactive;
};

void CheckOneDimension(const TValue& values) {
  if (!values.IsArray()) return;
  for (const TValue& element : values.Elements())
    if (element.IsArray()) throw EMemTableError(msg::kBadDimensionCount);
}

}  // namespace

// ---- Visibility

bool TdvoCustomMemTable::MasterRestrictionInForce() const {
  const TMasterRestriction* restriction = MasterRestriction();
  if (restriction == nullptr || restriction->KeyRecord == nullptr) return false;
  const bool detailFields = restriction->DetailFields != nullptr && restriction->DetailFields->FieldCount() > 0;
  return detailFields || indexFieldList_.FieldCount() > 0;
}

bool TdvoCustomMemTable::NeedsFiltering() {
  TLockGuard guard(store_->Lock());
  if (statusFilter_ != 0) return true;
  if (store_->DeletedCount() > 0 && !(statusFilter_ & StatusBit(rsDeleted))) return true;
  if (Filtered() && (filterProgram_ || OnFilterRecord)) return true;
  if (MasterRestrictionInForce()) return true;
  return rangeActive_;
}

bool TdvoCustomMemTable::IsRecordVisible(TRecord* record, bool forceFilter) {
  if (record == nullptr) return false;
  if (!forceFilter && !NeedsFiltering()) return true;
  if (statusFilter_ != 0) {
    if (!(statusFilter_ & StatusBit(record->ChangeStatus))) return false;
  } else if (record->ChangeStatus == rsDeleted) {
    return false;
  }
  TFilterStateScope scope(*this, filterRecord_, record);
  return PassesRecordChecks(record, forceFilter);
}

bool TdvoCustomMemTable::PassesRecordChecks(TRecord* record, bool forceFilter) {
  if (recalcOnIndex_) RecalcRecord(record);
  if (rangeActive_ && !WithinRange(record)) return false;
  if (MasterRestrictionInForce() && !MatchesMasterRecord(record)) return false;
  if (!forceFilter && !Filtered()) return true;
  bool accept = true;
  if (OnFilterRecord) OnFilterRecord(*this, accept);
  if (accept && filterProgram_) accept = filterProgram_->Accepts(*this, record);
  return accept;
}

bool TdvoCustomMemTable::WithinRange(const TRecord* record) const {
  if (rangeLow_ == nullptr || record == nullptr) return true;
  TLockGuard guard(store_->Lock());
  // Each field on its own: the low check stops at the first field whose
  // limit lies above the record's value, the high check at the first whose
  // limit lies below it; a null limit leaves its field open.
  if (store_->CompareRecords(rangeFields_, 0, rangeLow_, record, true, false, 2) > 0) return false;
  if (store_->CompareRecords(rangeFields_, 0, rangeHigh_, record, true, false, 1) < 0) return false;
  return true;
}

bool TdvoCustomMemTable::MatchesMasterRecord(const TRecord* record) const {
  const TMasterRestriction* restriction = MasterRestriction();
  if (restriction == nullptr || restriction->KeyRecord == nullptr || record == nullptr) return true;
  const TdvoFieldList& fields =
      restriction->DetailFields != nullptr && restriction->DetailFields->FieldCount() > 0 ? *restriction->DetailFields
                                                                                          : indexFieldList_;
  TLockGuard guard(store_->Lock());
  return store_->CompareRecords(fields, restriction->FieldCount, restriction->KeyRecord, record, false, false, 0) ==
         0;
}

// ---- Status filter and range

void TdvoCustomMemTable::SetStatusFilter(TUpdateStatusSet value) {
  if (value == statusFilter_) return;
  statusFilter_ = value;
  if (open_) First();
}

void TdvoCustomMemTable::FillRangeKey(TRecord* record, const TValue& values) {
  const int fields = indexFieldList_.FieldCount();
  if (!values.IsArray()) {
    SetFieldVariant(record, static_cast<TField&>(*indexFieldList_.FieldAt(0)), values);
    return;
  }
  if (values.ArrayLength() > fields) throw EMemTableError(kMoreValuesThanFields);
  for (int i = 0; i < values.ArrayLength(); ++i)
    SetFieldVariant(record, static_cast<TField&>(*indexFieldList_.FieldAt(i)), values[i]);
}

void TdvoCustomMemTable::SetRange(const TValue& startValues, const TValue& endValues) {
  CheckActive();
  CheckOneDimension(startValues);
  CheckOneDimension(endValues);
  CheckBrowseMode();
  {
    TLockGuard guard(store_->Lock());
    if (indexFieldList_.FieldCount() == 0) throw EMemTableError(kRangeWithoutKeyFields);
    TRecord* low = store_->AllocRecord();
    TRecord* high = store_->AllocRecord();
    try {
      FillRangeKey(low, startValues);
      FillRangeKey(high, endValues);
    } catch (...) {
      store_->FreeRecord(low, true, false);
      store_->FreeRecord(high, true, false);
      throw;
    }
    ReleaseRange();
    TdvoFieldList::CopyFieldList(indexFieldList_, rangeFields_);
    rangeLow_ = low;
    rangeHigh_ = high;
    rangeActive_ = true;
  }
  First();
}

void TdvoCustomMemTable::CancelRange() {
  if (!HasRange()) return;
  if (open_) CheckBrowseMode();
  ReleaseRange();
  if (open_) First();
}

void TdvoCustomMemTable::ReleaseRange() {
  TLockGuard guard(store_->Lock());
  rangeActive_ = false;
  rangeFields_.ClearFields();
  store_->FreeRecord(rangeLow_, true, false);
  store_->FreeRecord(rangeHigh_, true, false);
  rangeLow_ = nullptr;
  rangeHigh_ = nullptr;
}

// ---- Count and number

int TdvoCustomMemTable::RecordCount() {
  CheckActive();
  TLockGuard guard(store_->Lock());
  if (!NeedsFiltering()) return currentIndex_->EntryCount();
  // Walk the view as a browse would, fetching into a scratch record when a
  // fetch has calculated fields to compute on it.
  const TDataSetState savedState = SetTempState(dsBrowse);
  const int savedCursor = cursor_;
  TRecord* scratch = nullptr;
  int count = 0;
  try {
    CursorBeforeFirst();
    if (recalcOnFetch_ && CalcFieldsSize() > 0) {
      scratch = AllocRecordBuffer();
      while (FetchRecord(scratch, TGetMode::Next) == TGetResult::OK) ++count;
    } else {
      // No calculated fields to compute on the fetched copy: nothing could
      // see the copy, so only the steps are counted.
      while (CursorStepNext(false)) ++count;
    }
  } catch (...) {
    FreeRecordBuffer(scratch);
    cursor_ = savedCursor;
    RestoreState(savedState);
    throw;
  }
  FreeRecordBuffer(scratch);
  cursor_ = savedCursor;
  RestoreState(savedState);
  return count;
}

void TdvoCustomMemTable::SetRecNo(int value) {
  CheckActive();
  const int current = RecNo();
  if (value <= 0 || value > currentIndex_->EntryCount() || value == current) return;
  MoveBy(value - current);
}

}  // namespace ts
