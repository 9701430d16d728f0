// TdvoCustomMemTable: sharing another table's record store, the store-level
// Standalone switch, and transactions over the store's record versions.
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/dataset_messages.h"
#include "table_store/messages.h"

namespace ts {

// ---- The table's own store

void TdvoCustomMemTable::MakeOwnStore() {
  auto store = std::make_unique<TdvoCommon>(this);
  store->AttachTableToStore(this);
  ownStore_ = std::move(store);
  store_ = ownStore_.get();
  attachedTo_ = nullptr;
  // A closed table's indexes are empty; a new collection also gives it a
  // row-order index that never saw the other store.
  sortIndex_ = nullptr;
  currentIndex_ = nullptr;
  indexes_ = std::make_unique<TdvoIndexes>(this);
  currentIndex_ = indexes_->RowOrderIndex();
  indexFieldList_.ClearFields();
}

void TdvoCustomMemTable::StoreDetached() {
  // The store this table shared is going away with its owner: the table
  // goes on with a store of its own rather than a reference to a freed one.
  EndDeltaWalks(false);
  MakeOwnStore();
}

// ---- Attaching

void TdvoCustomMemTable::SetAttachedTo(TdvoCustomMemTable* table) {
  if (table == attachedTo_) return;
  if (table == this) throw EMemTableError(msg::kAttachToSelf);
  EndDeltaWalks(false);
  Close();
  if (attachedTo_ != nullptr) {
    store_->DetachTableFromStore(this);
    MakeOwnStore();
  }
  if (table == nullptr) return;
  if (table->attachedTo_ != nullptr) throw EMemTableError(msg::kAttachToAttachment);
  if (sortIndex_ != nullptr) indexes_->UnregisterIndex(sortIndex_);
  // The own store goes; tables attached to it are told so by the store.
  store_->DetachTableFromStore(this);
  ownStore_.reset();
  store_ = &table->Store();
  try {
    store_->AttachTableToStore(this);
  } catch (...) {
    MakeOwnStore();
    throw;
  }
  attachedTo_ = table;
  SetCurrentIndexRef(indexes_->RowOrderIndex());
  FieldDefs().Assign(table->FieldDefs());
  // Every field of the other table has a field here, so records of the
  // shared layout are read whole; those this table did not declare stay
  // out of sight.
  for (int i = 0; i < table->FieldCount(); ++i) {
    TField& from = table->Field(i);
    if (FindField(from.FullName()) != nullptr) continue;
    TField* field = CloneField(from);
    if (field == nullptr) continue;
    CopyFieldSettings(&from, field);
    field->SetVisible(false);
  }
}

void TdvoCustomMemTable::OpenAttachedFields() {
  // The owner's definitions describe the shared layout; the fields are those
  // the table had or was given when it attached. The autoinc counter belongs
  // to the store and its records: it is not reset here.
  FieldDefs().Assign(attachedTo_->FieldDefs());
  FindAutoIncField();
}

void TdvoCustomMemTable::CheckAttachedFieldsMatchLayout() const {
  // The fields were made when the table attached, or declared before; a load
  // into the owner since may have given a name another type or size. Read or
  // written through such a field, the owner's values would be misread and
  // their slots overrun. The fields stay as they are: callers may hold them.
  for (const TField* field : FieldList()) {
    const int fieldNo = field->FieldNo();
    if (fieldNo <= 0) continue;  // calculated and lookup values live in this table's own part
    const TFieldType type = store_->LayoutFieldType(fieldNo);
    if (field->DataType() != type)
      DatabaseError(FormatMessage(msg::kFieldTypeMismatch, {field->FullName(), FieldTypeName(field->DataType()),
                                                            FieldTypeName(type)}));
    // A blob's bytes lie in a block of their own length, and a structured
    // field's in its children, checked in turn: their Size shapes no slot.
    if (IsBlobFieldType(type) || type == ftADT || type == ftArray) continue;
    const int32_t size = store_->LayoutFieldSize(fieldNo);
    if (field->Size() != size)
      DatabaseError(FormatMessage(msg::kFieldSizeMismatch,
                                  {field->FullName(), int64_t{field->Size()}, int64_t{size}}));
  }
}

void TdvoCustomMemTable::SetStandalone(bool value) {
  TLockGuard guard(store_->Lock());
  if (value == store_->Standalone()) return;
  if (open_) throw EMemTableError(msg::kTableMustBeClosed);
  if (attachedTo_ != nullptr) throw EMemTableError(msg::kTableAttached);
  store_->SetStandalone(value);
}

// ---- Transactions

void TdvoCustomMemTable::StartTransaction() {
  if (!open_) return;
  TLockGuard guard(store_->Lock());
  if (!store_->EnableVersioning() || store_->VersioningMode() != mtvmAllSinceCheckPoint)
    throw EMemTableError(msg::kNeedsMultiVersioning);
  store_->RaiseTransactionLevel();
}

void TdvoCustomMemTable::Commit() { EndTransaction(false); }

void TdvoCustomMemTable::Rollback() { EndTransaction(true); }

void TdvoCustomMemTable::EndTransaction(bool undo) {
  TLockGuard guard(store_->Lock());
  if (!open_ || store_->TransactionLevel() <= 0) return;
  // A pending edit belongs to the level: kept with it, or dropped with it
  // (its record may not survive the undo). A commit is refused before it
  // takes effect when the level brings a unique index a key held twice; the
  // level then stays open as it was. A rollback brings back what the store
  // held before the level, keys held twice then too, and is never refused
  // for them.
  const bool pending = State() == dsEdit || State() == dsInsert;
  if (undo) {
    if (pending) Cancel();
    // Another table's pending edit stays, but one whose record the undo
    // takes back must not write that version back.
    store_->NoteUndoToAttachedTables();
    store_->RollbackLevel();
  } else {
    if (pending) CheckBrowseMode();
    store_->CheckLevelBringsNoDuplicates();
    store_->CommitLevel();
  }
  store_->LowerTransactionLevel();
  // No index may keep a record the undo freed. The keys were checked above.
  store_->RebuildAllAttachedIndexes(false);
  Refresh();
  store_->RefreshOtherAttachedTables(this);
}

}  // namespace ts
