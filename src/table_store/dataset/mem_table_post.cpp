// TdvoCustomMemTable: new records, posting, the direct add, deleting, record
// versions, cancelling and dropping unposted blob values.
#include <algorithm>
#include <climits>
#include <exception>

#include "table_store/dataset/mem_table.h"
#include "table_store/messages.h"

namespace ts {

namespace {

// Stored records carry no bookmark of their own; only buffers do.
void ClearBookmarkCells(const TdvoCommon& store, TRecord* record) {
  for (int cell = 0; cell < store.BookmarkCellCount(); ++cell) {
    store.SetBookmarkRecord(record, cell, nullptr);
    store.SetBookmarkFlag(record, cell, bfCurrent);
  }
}

}  // namespace

// ---- New record

void TdvoCustomMemTable::DoBeforeInsert() {
  insertPosition_ = RecNo();
  TDataSet::DoBeforeInsert();
}

void TdvoCustomMemTable::InitInsertBuffer(TRecord* buffer, bool append, bool onRecord) {
  TLockGuard guard(store_->Lock());
  TRecord* current = onRecord ? StoredRecordOf(buffer) : nullptr;
  InternalInitRecord(buffer);
  if (append) {
    store_->SetBookmarkFlag(buffer, attachSlot_, bfEOF);
  } else if (current != nullptr) {
    store_->SetBookmarkRecord(buffer, attachSlot_, current);
    store_->SetBookmarkFlag(buffer, attachSlot_, bfInserted);
  } else {
    store_->SetBookmarkFlag(buffer, attachSlot_, bfBOF);
  }
}

void TdvoCustomMemTable::DoOnNewRecord() {
  PresetMasterValues();
  for (TField* field : FieldList())
    if (!field->DefaultExpression().empty()) field->SetAsString(field->DefaultExpression());
  TDataSet::DoOnNewRecord();
  AssignNewAutoInc();
}

void TdvoCustomMemTable::AssignNewAutoInc() {
  if (autoIncField_ == nullptr || noAutoInc_) return;
  TLockGuard guard(store_->Lock());
  const int64_t next = static_cast<int64_t>(store_->AutoIncHighValue()) + 1;
  SetFieldVariant(ActiveRecordForState(), *autoIncField_, TValue::Integer(next));
}

void TdvoCustomMemTable::NoteAutoIncOnPost() {
  if (autoIncField_ == nullptr) return;
  TLockGuard guard(store_->Lock());
  int32_t value = 0;
  if (GetFieldData(*autoIncField_, &value) && value > store_->AutoIncHighValue())
    store_->SetAutoIncHighValue(value);
}

// ---- Post

void TdvoCustomMemTable::DoBeforePost() {
  TDataSet::DoBeforePost();
  NoteAutoIncOnPost();
}

void TdvoCustomMemTable::InternalPost() {
  TLockGuard guard(store_->Lock());
  if (State() == dsEdit)
    PostEdit(ActiveBuffer());
  else
    PostInsert(ActiveBuffer());
  store_->ClearModifiedBits();
}

void TdvoCustomMemTable::PostEdit(TRecord* buffer) {
  // The record the buffer was read from, wherever the cursor now stands.
  TRecord* target = StoredRecordOf(buffer);
  if (target == nullptr || editTakenBack_) throw EMemTableInvalidRecord();
  store_->CheckUniqueKeysOfAttachedTables(buffer, target);
  const int32_t level = store_->TransactionLevel();
  // The version chain and status are the stored record's as they are now;
  // the buffer's copies date from when it was read.
  const TUpdateStatus savedStatus = buffer->ChangeStatus;
  TRecord* const savedOlder = buffer->OlderVersion;
  buffer->ChangeStatus = target->ChangeStatus;
  buffer->OlderVersion = target->OlderVersion;
  TRecord* older = nullptr;
  if (Modified()) {
    // Inside a level a record changed there for the first time keeps the
    // version the level started with, whatever the mode: a rollback has
    // nothing else to go back to.
    const bool firstAtLevel = level > 0 && target->TxLevel != level;
    const bool keepVersion =
        store_->EnableVersioning() && (store_->VersioningMode() == mtvmAllSinceCheckPoint ||
                                       target->ChangeStatus == rsUnmodified || firstAtLevel);
    if (keepVersion) {
      // A deep copy: the older version owns its values.
      older = store_->DuplicateRecord(target, true);
      older->StateBits |= kRecordStored;
      buffer->ChangeStatus = rsModified;
      buffer->OlderVersion = older;
    }
  }
  const int hint = currentIndex_->EntryAt(cursor_) == target ? cursor_ : currentIndex_->FindRecordPosition(target);
  try {
    store_->NotifyIndexesOfChange(this, TRecordChange::Edit, hint, target, buffer);
  } catch (...) {
    buffer->ChangeStatus = savedStatus;
    buffer->OlderVersion = savedOlder;
    if (older != nullptr) store_->FreeRecord(older, true, false);
    throw;
  }
  if (Modified()) store_->SetDataModified(true);
  const int32_t rowNumber = target->RowNumber;
  // Only a record that kept a version at this level belongs to it: a post
  // that kept none leaves the record to the level it was last changed at,
  // which a rollback of this level must not undo. The buffer's own level
  // dates from when it was read.
  const int32_t txLevel = older != nullptr ? level : target->TxLevel;
  if (older != nullptr) HandOverNewAtLevel(target, older);
  store_->TransferRecord(buffer, target);
  target->RowNumber = rowNumber;
  target->StateBits |= kRecordStored;
  target->TxLevel = txLevel;
  ClearBookmarkCells(*store_, target);
}

TRecord* TdvoCustomMemTable::StoreNewRecord(TRecord* buffer, std::exception_ptr& deferred) {
  TRecord* record = store_->DuplicateRecord(buffer, true);
  record->RowNumber = -1;
  record->SlotIndex = -1;
  record->SerialId = -1;
  record->OlderVersion = nullptr;
  record->TxLevel = store_->TransactionLevel();
  ClearBookmarkCells(*store_, record);
  try {
    store_->StoreRecord(record);
  } catch (...) {
    if (!(record->StateBits & kRecordStored)) {
      store_->FreeRecord(record, true, false);
      throw;
    }
    // The store ran out of ids after taking the record: it is indexed like
    // any other before the error is passed on.
    deferred = std::current_exception();
  }
  return record;
}

void TdvoCustomMemTable::IndexNewRecord(TRecord* record, int hint) {
  try {
    store_->NotifyIndexesOfChange(this, TRecordChange::Insert, hint, record, record);
  } catch (...) {
    // The maintenance that failed was taken back whole: no index keeps the
    // record that is freed here.
    store_->RemoveStoredRecord(record);
    throw;
  }
}

void TdvoCustomMemTable::PostInsert(TRecord* buffer) {
  store_->CheckUniqueKeysOfAttachedTables(buffer, nullptr);
  const bool append = BookmarkFlagOf(buffer) == bfEOF;
  std::exception_ptr deferred;
  TRecord* record = StoreNewRecord(buffer, deferred);
  IndexNewRecord(record, append ? -1 : insertPosition_);
  store_->SetDataModified(true);
  store_->FreeOutOfLineValues(buffer);
  if (deferred) std::rethrow_exception(deferred);
}

void TdvoCustomMemTable::AddRecord(const std::vector<TValue>& values, bool append) {
  if (append)
    Append();
  else
    Insert();
  try {
    const int n = std::min(static_cast<int>(values.size()), FieldCount());
    for (int i = 0; i < n; ++i) Field(i).SetValue(values[static_cast<size_t>(i)]);
    CheckRequiredFields();
    // A direct add advances the autoinc counter as a post does; otherwise
    // every added record would get the same number.
    NoteAutoIncOnPost();
    InternalAddRecord(ActiveBuffer(), append);
  } catch (...) {
    Cancel();
    throw;
  }
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
}

void TdvoCustomMemTable::InternalAddRecord(TRecord* buffer, bool append) {
  TLockGuard guard(store_->Lock());
  std::exception_ptr deferred;
  TRecord* record = StoreNewRecord(buffer, deferred);
  IndexNewRecord(record, append ? -1 : insertPosition_);
  store_->SetDataModified(true);
  store_->FreeOutOfLineValues(buffer);
  store_->ClearModifiedBits();
  if (deferred) std::rethrow_exception(deferred);
}

void TdvoCustomMemTable::DoAfterPost() {
  RefreshOthers();
  TDataSet::DoAfterPost();
}

void TdvoCustomMemTable::RefreshOthers() {
  if (attachedAutoRefresh_) store_->RefreshOtherAttachedTables(this);
}

// ---- Delete

void TdvoCustomMemTable::InternalDelete() {
  TLockGuard guard(store_->Lock());
  TRecord* record = StoredRecordOf(ActiveBuffer());
  if (record == nullptr) throw EMemTableInvalidRecord();
  if (store_->EnableVersioning()) {
    // The record stays in the store and in every index; the visibility test
    // hides it from now on.
    TRecord* older = store_->DuplicateRecord(record, true);
    older->StateBits |= kRecordStored;
    HandOverNewAtLevel(record, older);
    record->OlderVersion = older;
    record->ChangeStatus = rsDeleted;
    record->TxLevel = store_->TransactionLevel();
    store_->IncDeletedCount();
  } else {
    const int position =
        currentIndex_->EntryAt(cursor_) == record ? cursor_ : currentIndex_->FindRecordPosition(record);
    store_->NotifyIndexesOfChange(this, TRecordChange::Delete, position, record, nullptr);
    store_->RemoveStoredRecord(record);
    ResetStoreIfEmpty();
  }
  ClearBuffers();
  store_->SetDataModified(true);
}

void TdvoCustomMemTable::ResetStoreIfEmpty() {
  if (indexes_->RowOrderIndex()->EntryCount() > 0) return;
  for (int slot = 0; slot < store_->SlotCount(); ++slot)
    if (store_->StoredRecord(slot) != nullptr) return;
  // No record left: slot list, free slots and ids start again, and every
  // bookmark taken so far becomes invalid.
  store_->EmptyStore();
}

void TdvoCustomMemTable::DoAfterDelete() {
  RefreshOthers();
  TDataSet::DoAfterDelete();
}

// ---- Cancel and blobs

void TdvoCustomMemTable::InternalCancel() {
  editTakenBack_ = false;
  store_->ClearModifiedBits();
}

void TdvoCustomMemTable::CloseBlob(TField& field) {
  TLockGuard guard(store_->Lock());
  const bool onRecord = cursor_ >= 0 && cursor_ < currentIndex_->EntryCount();
  if (onRecord && (State() == dsInactive || State() == dsEdit)) return;
  if (!IsBlobFieldType(field.DataType())) return;
  uint8_t* slot = store_->FieldSlot(ActiveRecordForState(), field);
  if (slot == nullptr) return;
  // The dropped value is freed, not just forgotten.
  FreeValueBlock(SlotBlock(slot));
  SetSlotBlock(slot, nullptr);
  slot[0] = kSlotNull;
}

}  // namespace ts
