// TdvoCommon: records, slots, settings, attached tables and transactions.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <unordered_map>

#include "table_store/errors.h"
#include "table_store/first_failure.h"
#include "table_store/indexes/index_undo.h"
#include "table_store/messages.h"
#include "table_store/record_store.h"

namespace ts {

namespace {

uint32_t RandomContentsId() {
  thread_local std::mt19937 engine{std::random_device{}()};
  return std::uniform_int_distribution<uint32_t>(0, 0x80000000u)(engine);
}

}  // namespace

TdvoCommon::TdvoCommon(TStoreTable* owner) : owner_(owner), contentsId_(RandomContentsId()) {}

TdvoCommon::~TdvoCommon() {
  // Tables still attached lose the store: closed, then told it is gone.
  // Records still listed belong to the owner table, which empties the store
  // when it closes.
  for (size_t i = 0; i < attached_.size(); ++i) {
    TStoreTable* table = attached_[i];
    if (table == nullptr) continue;
    attached_[i] = nullptr;
    try {
      table->StoreCloseTable();
    } catch (...) {
      // A destructor must not throw; the table is detached all the same.
    }
    table->StoreDetached();
  }
}

// ---- Records

TRecord* TdvoCommon::AllocRecord() const {
  void* memory = std::malloc(static_cast<size_t>(recordSize_ > 0 ? recordSize_ : sizeof(TRecord)));
  if (memory == nullptr) throw std::bad_alloc();
  auto* record = static_cast<TRecord*>(memory);
  InitRecord(record);
  return record;
}

void TdvoCommon::InitRecord(TRecord* record) const {
  if (record == nullptr) return;
  record->RowNumber = -1;
  record->SlotIndex = -1;
  record->SerialId = -1;
  record->StateBits = 0;
  record->ChangeStatus = rsUnmodified;
  record->TxLevel = -1;
  record->UserTag = 0;
  record->OlderVersion = nullptr;
  if (valueAreaSize_ > 0) std::memset(record->Values(), 0, static_cast<size_t>(valueAreaSize_));
}

void TdvoCommon::CopyRecord(const TRecord* source, TRecord* target) const {
  if (source == nullptr || target == nullptr || source == target) return;
  target->RowNumber = source->RowNumber;
  target->SlotIndex = source->SlotIndex;
  target->SerialId = source->SerialId;
  target->ChangeStatus = source->ChangeStatus;
  target->TxLevel = source->TxLevel;
  target->UserTag = source->UserTag;
  target->OlderVersion = source->OlderVersion;
  if (copySize_ > 0) std::memcpy(target->Values(), source->Values(), static_cast<size_t>(copySize_));
  for (int fieldNo : outOfLineFields_) {
    const int32_t offset = fieldOffsets_[static_cast<size_t>(fieldNo - 1)];
    target->Values()[offset] = source->Values()[offset];
  }
}

TRecord* TdvoCommon::DuplicateRecord(const TRecord* source, bool deep) const {
  TRecord* copy = AllocRecord();
  CopyRecord(source, copy);
  if (deep) CopyOutOfLineValues(source, copy);
  return copy;
}

void TdvoCommon::CopyOutOfLineValue(const TRecord* source, TRecord* target, int fieldNo) const {
  if (source == nullptr || target == nullptr || source == target || !IsOutOfLine(fieldNo)) return;
  const uint8_t* from = FieldSlotOf(const_cast<TRecord*>(source), fieldNo);
  uint8_t* to = FieldSlotOf(target, fieldNo);
  if (from == nullptr || to == nullptr) return;
  if (TValueBlock old = SlotBlock(to)) {
    FreeValueBlock(old);
    SetSlotBlock(to, nullptr);
    to[0] = kSlotNull;
  }
  if (TValueBlock block = SlotBlock(from)) {
    SetSlotBlock(to, CopyValueBlock(block));
    to[0] = kSlotPresent;
  }
}

void TdvoCommon::CopyOutOfLineValues(const TRecord* source, TRecord* target) const {
  for (int fieldNo : outOfLineFields_) CopyOutOfLineValue(source, target, fieldNo);
}

void TdvoCommon::CopySharedValues(TRecord* buffer, const TRecord* source) const {
  if (buffer == nullptr || source == nullptr) return;
  for (int fieldNo : outOfLineFields_) {
    const uint8_t* slot = buffer->Values() + fieldOffsets_[static_cast<size_t>(fieldNo - 1)];
    if (slot[0] != kSlotNull && SlotBlock(slot) == nullptr) CopyOutOfLineValue(source, buffer, fieldNo);
  }
}

void TdvoCommon::TransferRecord(TRecord* buffer, TRecord* stored) const {
  if (buffer == nullptr || stored == nullptr || buffer == stored) return;
  for (int fieldNo : outOfLineFields_) {
    const int32_t offset = fieldOffsets_[static_cast<size_t>(fieldNo - 1)];
    uint8_t* from = buffer->Values() + offset;
    uint8_t* to = stored->Values() + offset;
    if (TValueBlock block = SlotBlock(from)) {
      FreeValueBlock(SlotBlock(to));
      SetSlotBlock(to, block);
      SetSlotBlock(from, nullptr);
    } else if (from[0] == kSlotNull) {
      FreeValueBlock(SlotBlock(to));
      SetSlotBlock(to, nullptr);
      to[0] = kSlotNull;
    }
  }
  CopyRecord(buffer, stored);
}

void TdvoCommon::FreeOutOfLineValues(TRecord* record) const {
  if (record == nullptr) return;
  for (int fieldNo : outOfLineFields_) {
    uint8_t* slot = record->Values() + fieldOffsets_[static_cast<size_t>(fieldNo - 1)];
    FreeValueBlock(SlotBlock(slot));
    SetSlotBlock(slot, nullptr);
    slot[0] = kSlotNull;
  }
}

void TdvoCommon::FreeRecord(TRecord* record, bool withValues, bool withVersions) const {
  // A loop rather than recursion: a record edited many times under
  // versioning carries a long chain of older versions.
  while (record != nullptr) {
    TRecord* older = nullptr;
    if (withVersions && (record->StateBits & kRecordStored)) older = record->OlderVersion;
    record->OlderVersion = nullptr;
    if (withValues) FreeOutOfLineValues(record);
    std::free(record);
    record = older;
  }
}

// ---- Slots

void TdvoCommon::StoreRecord(TRecord* record) {
  if (record == nullptr) return;
  TLockGuard guard(lock_);
  // An id must fit the record's 32-bit SerialId: with no id left the record
  // is refused before anything changes.
  if (serialCounter_ >= INT32_MAX) throw EMemTableFatalError(msg::kBookmarkCounter);
  if (!freeSlots_.empty()) {
    record->SlotIndex = freeSlots_.back();
    freeSlots_.pop_back();
    records_[static_cast<size_t>(record->SlotIndex)] = record;
  } else {
    records_.push_back(record);  // may throw; nothing has changed yet
    record->SlotIndex = slotCounter_++;
  }
  record->SerialId = static_cast<int32_t>(serialCounter_++);
  record->StateBits |= kRecordStored;
  if (enableVersioning_) record->ChangeStatus = rsInserted;
  // Checked on both roads, a reused slot too: the record stays stored.
  if (serialCounter_ > kMaxSerialCounter) throw EMemTableFatalError(msg::kBookmarkCounter);
}

void TdvoCommon::UnstoreRecord(TRecord* record) {
  if (record == nullptr) return;
  TLockGuard guard(lock_);
  const int32_t slot = record->SlotIndex;
  // Only a record that really sits in its slot frees it: a second unstore of
  // one record would put the slot on the free list twice and let two later
  // records share it.
  if (slot < 0 || static_cast<size_t>(slot) >= records_.size() || records_[static_cast<size_t>(slot)] != record)
    return;
  freeSlots_.push_back(slot);
  records_[static_cast<size_t>(slot)] = nullptr;
}

void TdvoCommon::RemoveStoredRecord(TRecord* record) {
  if (record == nullptr) return;
  UnstoreRecord(record);
  FreeRecord(record, true, true);
}

void TdvoCommon::EmptyStore() {
  for (TRecord*& record : records_) {
    FreeRecord(record, true, true);
    record = nullptr;
  }
  records_.clear();
  freeSlots_.clear();
  slotCounter_ = 0;
  // An open table may still hold references to the records just freed (a
  // pending edit of another table): their serial ids are never handed out
  // again while it is open.
  if (!AnyAttachedTableActive()) serialCounter_ = 0;
  contentsId_ = NewContentsId();
  // The versions an open level would end are gone with the records; a level
  // left open would undo records committed after it.
  transactionLevel_ = 0;
}

int TdvoCommon::SlotCount() const {
  TLockGuard guard(lock_);
  return static_cast<int>(records_.size());
}

TRecord* TdvoCommon::StoredRecord(int slotIndex) const {
  if (slotIndex < 0 || static_cast<size_t>(slotIndex) >= records_.size()) return nullptr;
  return records_[static_cast<size_t>(slotIndex)];
}

TRecord* TdvoCommon::RecordOf(int32_t slotIndex, int32_t serialId) const {
  TRecord* record = StoredRecord(slotIndex);
  return record != nullptr && record->SerialId == serialId ? record : nullptr;
}

void TdvoCommon::RestartIds() {
  TLockGuard guard(lock_);
  if (AnyAttachedTableActive()) return;
  for (const TRecord* record : records_)
    if (record != nullptr) return;
  records_.clear();
  freeSlots_.clear();
  slotCounter_ = 0;
  serialCounter_ = 0;
}

void TdvoCommon::ReserveSlots(int capacity) {
  if (capacity > 0) records_.reserve(static_cast<size_t>(capacity));
}

uint32_t TdvoCommon::NewContentsId() const {
  uint32_t id;
  do {
    id = RandomContentsId();
  } while (id == contentsId_);
  return id;
}

// ---- Settings

int TdvoCommon::AttachMaxCount() const {
  TLockGuard guard(lock_);
  return attachMaxCount_;
}

void TdvoCommon::SetAttachMaxCount(int value) {
  if (value == AttachMaxCount()) return;
  if (value <= 0) throw ERangeError();
  if (AnyAttachedTableActive()) throw EMemTableError(msg::kTableMustBeClosed);
  TLockGuard guard(lock_);
  // A table on a dropped slot would keep the store without the store knowing
  // it: neither closed with the owner nor told when the store goes.
  for (size_t i = static_cast<size_t>(value); i < attached_.size(); ++i)
    if (attached_[i] != nullptr) throw EMemTableError(msg::kChildrenAttached);
  attached_.resize(static_cast<size_t>(value), nullptr);
  attachMaxCount_ = value;
}

int32_t TdvoCommon::LocaleID() const {
  TLockGuard guard(lock_);
  return localeID_;
}

TCollationRef TdvoCommon::Collation() const {
  TLockGuard guard(lock_);
  if (!collationKnown_) {
    collation_ = CollationFor(static_cast<uint32_t>(localeID_));
    collationKnown_ = true;
  }
  return collation_;
}

void TdvoCommon::SetLocaleID(int32_t value) {
  TLockGuard guard(lock_);
  localeID_ = value;
  collationKnown_ = false;
  const auto bits = static_cast<uint32_t>(value);
  sortID_ = static_cast<int32_t>((bits >> 16) & 0x0F);
  languageID_ = static_cast<int32_t>(bits & 0xFF);
  subLanguageID_ = static_cast<int32_t>((bits >> 10) & 0x3F);
}

void TdvoCommon::RecomposeLocaleID() {
  TLockGuard guard(lock_);
  const uint32_t low = (static_cast<uint32_t>(subLanguageID_) * 1024u + static_cast<uint32_t>(languageID_)) & 0xFFFFu;
  localeID_ = static_cast<int32_t>(static_cast<uint32_t>(sortID_) * 65536u + low);
  collationKnown_ = false;
}

int32_t TdvoCommon::LanguageID() const {
  TLockGuard guard(lock_);
  return languageID_;
}

void TdvoCommon::SetLanguageID(int32_t value) {
  TLockGuard guard(lock_);
  languageID_ = value;
  RecomposeLocaleID();  // takes the lock again
}

int32_t TdvoCommon::SubLanguageID() const {
  TLockGuard guard(lock_);
  return subLanguageID_;
}

void TdvoCommon::SetSubLanguageID(int32_t value) {
  TLockGuard guard(lock_);
  subLanguageID_ = value;
  RecomposeLocaleID();
}

int32_t TdvoCommon::SortID() const {
  TLockGuard guard(lock_);
  return sortID_;
}

void TdvoCommon::SetSortID(int32_t value) {
  TLockGuard guard(lock_);
  sortID_ = value;
  RecomposeLocaleID();
}

void TdvoCommon::SetStandalone(bool value) {
  TLockGuard guard(lock_);  // released the way it was taken, whatever value becomes
  if (attached_.size() > 1) throw EMemTableError(msg::kChildrenAttached);
  lock_.SetStandalone(value);
}

void TdvoCommon::SetAutoIncMinValue(int32_t value) {
  TLockGuard guard(lock_);
  autoIncMin_ = value;
  if (autoIncHigh_ < value) autoIncHigh_ = value - 1;  // value > INT32_MIN here
}

void TdvoCommon::SetAutoIncHighValue(int32_t value) {
  TLockGuard guard(lock_);
  autoIncHigh_ = value;
}

void TdvoCommon::SetPerformance(TdvoPerformance value) {
  TLockGuard guard(lock_);
  performance_ = value;
}

void TdvoCommon::SetVersioningMode(TdvoVersioningMode value) {
  TLockGuard guard(lock_);
  versioningMode_ = value;
}

void TdvoCommon::SetEnableVersioning(bool value) {
  TLockGuard guard(lock_);
  // Changes made without versions could not be rolled back.
  if (!value && enableVersioning_) RefuseInsideLevel();
  enableVersioning_ = value;
}

void TdvoCommon::SetDataModified(bool value) {
  TLockGuard guard(lock_);
  dataModified_ = value;
}

int32_t TdvoCommon::TransactionLevel() const {
  TLockGuard guard(lock_);
  return transactionLevel_;
}

void TdvoCommon::RefuseInsideLevel() const {
  if (TransactionLevel() > 0) throw EMemTableError(msg::kTransactionOpen);
}

void TdvoCommon::RaiseTransactionLevel() {
  TLockGuard guard(lock_);
  ++transactionLevel_;
}

void TdvoCommon::LowerTransactionLevel() {
  TLockGuard guard(lock_);
  if (transactionLevel_ > 0) --transactionLevel_;
}

// ---- Attached tables

void TdvoCommon::AttachTableToStore(TStoreTable* table) {
  if (table == nullptr) return;
  TLockGuard guard(lock_);
  for (size_t i = 0; i < attached_.size(); ++i) {
    if (attached_[i] == table) {  // already here: keep its slot
      table->StoreSetAttachSlot(static_cast<int>(i));
      return;
    }
  }
  for (size_t i = 0; i < attached_.size(); ++i) {
    if (attached_[i] == nullptr) {
      attached_[i] = table;
      table->StoreSetAttachSlot(static_cast<int>(i));
      return;
    }
  }
  // A new slot means a new bookmark cell in every record.
  if (AnyAttachedTableActive()) throw EMemTableError(msg::kTableMustBeClosed);
  attached_.push_back(table);
  attachMaxCount_ = static_cast<int>(attached_.size());
  table->StoreSetAttachSlot(attachMaxCount_ - 1);
}

void TdvoCommon::DetachTableFromStore(TStoreTable* table) {
  TLockGuard guard(lock_);
  for (TStoreTable*& slot : attached_)
    if (slot == table) slot = nullptr;
}

int TdvoCommon::AttachSlotCount() const {
  TLockGuard guard(lock_);
  return static_cast<int>(attached_.size());
}

TStoreTable* TdvoCommon::AttachedTable(int slot) const {
  TLockGuard guard(lock_);
  return slot >= 0 && static_cast<size_t>(slot) < attached_.size() ? attached_[static_cast<size_t>(slot)] : nullptr;
}

bool TdvoCommon::AnyAttachedTableActive() const {
  TLockGuard guard(lock_);
  for (TStoreTable* table : attached_)
    if (table != nullptr && table->StoreTableActive()) return true;
  return false;
}

// The callbacks below may attach or detach tables; the list is read afresh
// at every step.

void TdvoCommon::CloseOtherAttachedTables(TStoreTable* table) {
  TLockGuard guard(lock_);
  for (size_t i = attached_.size(); i-- > 0;) {
    if (i >= attached_.size()) continue;
    TStoreTable* other = attached_[i];
    if (other != nullptr && other != table && other->StoreTableActive()) other->StoreCloseTable();
  }
}

void TdvoCommon::RefreshOtherAttachedTables(TStoreTable* table) {
  TLockGuard guard(lock_);
  for (size_t i = 0; i < attached_.size(); ++i) {
    TStoreTable* other = attached_[i];
    if (other != nullptr && other != table && other->StoreTableActive() && other->StoreTableBrowsing())
      other->StoreRefreshTable();
  }
}

void TdvoCommon::EndAttachedPendingEdits() {
  TLockGuard guard(lock_);
  TFirstFailure failure;
  ForEachOpenTable([&failure](TStoreTable* table) { failure.Run([table] { table->StoreEndPendingEdit(); }); });
  failure.Rethrow();
}

void TdvoCommon::NoteUndoToAttachedTables() {
  TLockGuard guard(lock_);
  ForEachOpenTable([](TStoreTable* table) { table->StoreBeforeUndo(); });
}

void TdvoCommon::CloseAndEmptyStore() {
  TLockGuard guard(lock_);
  // A cancel that fails does not keep the store from being emptied: the
  // edit left open can no longer reach a record.
  TFirstFailure failure;
  failure.Run([this] { EndAttachedPendingEdits(); });
  ForEachOpenTable([](TStoreTable* table) { table->StoreEmptyTableView(); });
  EmptyStore();
  failure.Rethrow();
}

// A table whose rebuild meets duplicate keys of a unique index does not
// keep the others from theirs: each must match the store's records.
void TdvoCommon::RebuildAllAttachedIndexes(bool reportDuplicates) {
  TLockGuard guard(lock_);
  TFirstFailure failure;
  ForEachOpenTable([&failure, reportDuplicates](TStoreTable* table) {
    failure.Run([table, reportDuplicates] { table->StoreRebuildAllIndexes(reportDuplicates); });
  });
  failure.Rethrow();
}

void TdvoCommon::InvalidateAllAttachedIndexes() {
  TLockGuard guard(lock_);
  ForEachOpenTable([](TStoreTable* table) { table->StoreInvalidateAllIndexes(); });
}

void TdvoCommon::SyncAllAttachedIndexes(bool reportDuplicates) {
  TLockGuard guard(lock_);
  TFirstFailure failure;
  ForEachOpenTable([&failure, reportDuplicates](TStoreTable* table) {
    failure.Run([table, reportDuplicates] { table->StoreSyncIndexes(reportDuplicates); });
  });
  failure.Rethrow();
}

void TdvoCommon::NotifyIndexesOfChange(TStoreTable* originTable, TRecordChange change, int positionHint,
                                       TRecord* record, TRecord* otherRecord) {
  TLockGuard guard(lock_);
  // A change some index refuses halfway (an event raising) reaches none:
  // the indexes already maintained are put back as they were.
  TIndexUndo undo;
  undo.NoteRowNumber(record);
  if (otherRecord != record) undo.NoteRowNumber(otherRecord);
  try {
    for (size_t i = 0; i < attached_.size(); ++i) {
      TStoreTable* table = attached_[i];
      if (table != nullptr && table->StoreTableActive())
        table->StoreMaintainIndexes(change, record, otherRecord, table == originTable ? positionHint : -1, undo);
    }
  } catch (...) {
    undo.Undo();
    throw;
  }
}

void TdvoCommon::CheckUniqueKeysOfAttachedTables(const TRecord* newValues, const TRecord* stored) {
  TLockGuard guard(lock_);
  ForEachOpenTable([newValues, stored](TStoreTable* table) { table->StoreCheckUniqueKeys(newValues, stored); });
}

// ---- Transactions

TRecord* TdvoCommon::VersionBeforeLevel(TRecord* record) const {
  const int32_t level = transactionLevel_;
  while (record != nullptr && record->TxLevel == level) {
    if (CameInAtItsLevel(record)) return nullptr;
    // Modified or deleted at this level: its older version comes back.
    // Without one there is nothing to go back to, and the record is kept
    // rather than lost.
    if (record->ChangeStatus == rsUnmodified || record->OlderVersion == nullptr) break;
    record = record->OlderVersion;
  }
  return record;
}

template <class Before>
void TdvoCommon::CheckBringsNoDuplicates(Before beforeOf) {
  TLockGuard guard(lock_);
  // Most tables keep no unique index: gathering every record for them would
  // cost as much as the step itself.
  const bool anyChecks = std::any_of(attached_.begin(), attached_.end(), [](const TStoreTable* table) {
    return table != nullptr && table->StoreTableActive() && table->StoreChecksUniqueRebuild();
  });
  if (!anyChecks) return;
  std::vector<TRecord*> records;
  std::vector<TRecord*> before;
  records.reserve(records_.size());
  before.reserve(records_.size());
  for (TRecord* record : records_) {
    if (record == nullptr) continue;
    records.push_back(record);
    before.push_back(beforeOf(record));
  }
  ForEachOpenTable(
      [&records, &before](TStoreTable* table) { table->StoreCheckRebuildBringsNoDuplicates(records, before); });
}

void TdvoCommon::CheckLevelBringsNoDuplicates() {
  // A commit changes no record's values: the records stay, each beside the
  // version it had when the level started.
  CheckBringsNoDuplicates([this](TRecord* record) { return VersionBeforeLevel(record); });
}

TdvoCommon::TAddMark TdvoCommon::AddMark() const {
  TLockGuard guard(lock_);
  return TAddMark{contentsId_, serialCounter_};
}

void TdvoCommon::CheckAddedBringNoDuplicates(const TAddMark& mark) {
  // Serial ids only grow until the store is emptied, which draws a new
  // contents id.
  const bool emptied = mark.contentsId != contentsId_;
  CheckBringsNoDuplicates([&](TRecord* record) -> TRecord* {
    return !emptied && record->SerialId < mark.serial ? record : nullptr;
  });
}

void TdvoCommon::RollbackLevel() {
  dataModified_ = false;
  const int32_t level = transactionLevel_;
  // Stored records lie wherever the allocator put them, and each one read
  // here would wait on memory: the records some slots ahead, and the older
  // versions of those half as far ahead, are asked for early.
  constexpr size_t kAhead = 32;
  TRecord** slots = records_.data();
  const size_t count = records_.size();
  // An index that keeps its entries through the rebuild that follows must
  // follow each record to the version that takes its slot, or let go of a
  // record that leaves. Only pointer values are kept here, never read.
  bool follow = false;
  for (const TStoreTable* table : attached_)
    if (table != nullptr && table->StoreTableActive() && table->StoreKeepsEntries()) follow = true;
  std::unordered_map<const TRecord*, TRecord*> replaced;
  for (size_t i = 0; i < count; ++i) {
    if (i + kAhead < count && slots[i + kAhead] != nullptr) __builtin_prefetch(slots[i + kAhead]);
    if (i + kAhead / 2 < count) {
      const TRecord* ahead = slots[i + kAhead / 2];
      if (ahead != nullptr && ahead->TxLevel == level && ahead->OlderVersion != nullptr)
        __builtin_prefetch(ahead->OlderVersion);
    }
    TRecord*& slot = slots[i];
    if (slot == nullptr) continue;
    TRecord* kept = VersionBeforeLevel(slot);
    if (follow && kept != slot) replaced[slot] = kept;
    if (kept == nullptr) {
      FreeRecord(slot, true, true);
      slot = nullptr;  // the slot index is not reused
      continue;
    }
    const int32_t slotIndex = slot->SlotIndex;
    while (slot != kept) {
      TRecord* record = slot;
      slot = record->OlderVersion;
      FreeRecord(record, true, false);
    }
    // Written only where it changes: a record left as it was stays clean.
    // The version brought back keeps the record's slot and serial id, which
    // is what every reference to the record names.
    if (!(slot->StateBits & kRecordStored)) slot->StateBits |= kRecordStored;
    if (slot->SlotIndex != slotIndex) slot->SlotIndex = slotIndex;
    if (slot->ChangeStatus != rsUnmodified) dataModified_ = true;
  }
  if (replaced.empty()) return;
  TFirstFailure failure;
  ForEachOpenTable([&](TStoreTable* table) { failure.Run([&] { table->StoreRecordsReplaced(replaced); }); });
  failure.Rethrow();
}

void TdvoCommon::CommitLevel() {
  const int32_t level = transactionLevel_;
  for (TRecord* record : records_) {
    if (record == nullptr) continue;
    // The versions made at this level are no longer needed, but for the one
    // a rollback would end at: the record's inserted mark, or an unmodified
    // state. It moves down with the record, so that the level below still
    // undoes the record as far as it would have had the changes been made
    // there, and the walk still sees an inserted record as inserted.
    TRecord* older = record->OlderVersion;
    while (older != nullptr && older->TxLevel == level) {
      if (CameInAtItsLevel(older) || older->ChangeStatus == rsUnmodified) {
        --older->TxLevel;
        break;
      }
      TRecord* next = older->OlderVersion;
      FreeRecord(older, true, false);
      older = next;
    }
    record->OlderVersion = older;
    if (record->TxLevel == level) --record->TxLevel;
  }
}

}  // namespace ts
