// TdvoCommon: the record store behind an in-memory table.
//
// It owns the stored records (each with its older versions and value
// blocks), the slot bookkeeping (slot indexes reused last-emptied first,
// serial ids never reused while a table of the store is open), the record layout
// (FieldOffsets / FieldFlags per field number and the sizes of the value
// area), the locale of text comparisons, the autoinc bounds, the versioning
// settings, the transaction level, the attach slots of the tables that share
// it, and a re-entrant lock. CompareRecords orders two records field by
// field; every index order and search rests on it.
//
// Record allocation, copying, freeing, CompareRecords, RollbackLevel,
// CommitLevel and EmptyStore do not take the lock: their callers hold it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "table_store/collation.h"
#include "table_store/field_info.h"
#include "table_store/field_list.h"
#include "table_store/field_types.h"
#include "table_store/record.h"
#include "table_store/reentrant_lock.h"
#include "table_store/store_table.h"

namespace ts {

enum TdvoVersioningMode : uint8_t { mtvm1SinceCheckPoint = 0, mtvmAllSinceCheckPoint = 1 };

// The highest serial counter a store may reach without the bookmark-counter
// error; the last id handed out without it is one less.
inline constexpr int32_t kMaxSerialCounter = 2147483599;

class TdvoCommon {
 public:
  explicit TdvoCommon(TStoreTable* owner);
  virtual ~TdvoCommon();
  TdvoCommon(const TdvoCommon&) = delete;
  TdvoCommon& operator=(const TdvoCommon&) = delete;

  TStoreTable* Owner() const { return owner_; }

  // ---- Lock
  TReentrantLock& Lock() const { return lock_; }
  // Set between the table's LockTable and UnlockTable.
  bool Busy() const { return busy_; }
  void SetBusy(bool value) { busy_ = value; }

  // ---- Layout
  // Lays out the owner's field definitions: EMemTableError for no fields,
  // an unsupported type, more than kMaxFields field numbers or a record too
  // large to address. On failure the previous layout stays.
  void BuildRecordLayout();
  int FieldCount() const { return fieldCount_; }
  // FieldFlags / FieldOffsets entry of a field number; 0 outside 1..kMaxFields.
  uint8_t FieldFlags(int fieldNo) const {
    return fieldNo >= 1 && fieldNo <= kMaxFields ? fieldFlags_[static_cast<size_t>(fieldNo - 1)] : 0;
  }
  int32_t FieldOffset(int fieldNo) const {
    return fieldNo >= 1 && fieldNo <= kMaxFields ? fieldOffsets_[static_cast<size_t>(fieldNo - 1)] : 0;
  }
  bool IsOutOfLine(int fieldNo) const { return FieldFlags(fieldNo) & kFieldOutOfLine; }
  bool IsCompressed(int fieldNo) const { return FieldFlags(fieldNo) & kFieldCompressed; }
  bool IsFieldModified(int fieldNo) const { return FieldFlags(fieldNo) & kFieldModified; }
  void SetFieldModified(int fieldNo);  // FieldFlags bit 2, under the lock
  void ClearModifiedBits();            // bit 2 of all entries, under the lock
  // The type and Size that the layout gave a field number (ftUnknown / 0
  // for a number the layout did not place).
  TFieldType LayoutFieldType(int fieldNo) const {
    return fieldNo >= 1 && fieldNo <= fieldCount_ ? fieldTypes_[static_cast<size_t>(fieldNo - 1)] : ftUnknown;
  }
  int32_t LayoutFieldSize(int fieldNo) const {
    return fieldNo >= 1 && fieldNo <= fieldCount_ ? fieldSizes_[static_cast<size_t>(fieldNo - 1)] : 0;
  }
  // Out of line under this store's Performance.
  bool IsOutOfLineField(TFieldType type, int64_t size) const;

  int32_t CopySize() const { return copySize_; }
  int32_t ValueAreaSize() const { return valueAreaSize_; }
  int32_t RecordSize() const { return recordSize_; }  // header + value area
  int32_t CalcStart() const { return calcStart_; }
  int32_t CalcSize() const { return bookmarkStart_ - calcStart_; }
  int32_t BookmarkStart() const { return bookmarkStart_; }
  int BookmarkCellCount() const { return bookmarkCells_; }
  int32_t OutOfLineStart() const { return outOfLineStart_; }
  int OutOfLineCount() const { return static_cast<int>(outOfLineFields_.size()); }

  // Address of the field's slot (null or state byte first); nullptr when the
  // record or its value area is missing or the field has no slot in this
  // layout (number not placed, calculated offset outside the buffer).
  uint8_t* FieldSlot(TRecord* record, const TFieldInfo& field) const;
  const uint8_t* FieldSlot(const TRecord* record, const TFieldInfo& field) const;
  uint8_t* FieldSlotOf(TRecord* record, int fieldNo) const {
    if (record == nullptr || fieldNo < 1 || fieldNo > fieldCount_) return nullptr;
    return record->Values() + fieldOffsets_[static_cast<size_t>(fieldNo - 1)];
  }

  // Bookmark cell of an attach slot; ERangeError for a slot the layout has
  // no cell for.
  TRecord* BookmarkRecord(const TRecord* record, int attachSlot) const;
  void SetBookmarkRecord(TRecord* record, int attachSlot, TRecord* target) const;
  uint8_t BookmarkFlag(const TRecord* record, int attachSlot) const;
  void SetBookmarkFlag(TRecord* record, int attachSlot, uint8_t flag) const;

  // ---- Records
  TRecord* AllocRecord() const;
  void InitRecord(TRecord* record) const;
  void CopyRecord(const TRecord* source, TRecord* target) const;
  TRecord* DuplicateRecord(const TRecord* source, bool deep) const;
  void CopyOutOfLineValue(const TRecord* source, TRecord* target, int fieldNo) const;
  void CopyOutOfLineValues(const TRecord* source, TRecord* target) const;
  void TransferRecord(TRecord* buffer, TRecord* stored) const;
  void FreeOutOfLineValues(TRecord* record) const;
  void FreeRecord(TRecord* record, bool withValues, bool withVersions) const;

  // Stop rules of CompareRecords: 0 returns at the first difference (or a
  // partial match); 1 at a result < 0; 2 at > 0; 3 at <= 0; 4 at >= 0.
  int CompareRecords(const TdvoFieldList& fields, int fieldLimit, const TRecord* keyRecord,
                     const TRecord* record, bool ignoreNull, bool partial, int stopRule) const;

  // ---- Slots
  void StoreRecord(TRecord* record);
  void AddStoredRecord(TRecord* record) { StoreRecord(record); }
  void UnstoreRecord(TRecord* record);
  void RemoveStoredRecord(TRecord* record);
  void EmptyStore();
  int SlotCount() const;
  // The record in a slot; nullptr for an empty slot or a slot outside the list.
  TRecord* StoredRecord(int slotIndex) const;
  // The stored record that a reference made of its slot and serial id
  // names, or nullptr once that record has left the store. Every reference
  // to a stored record (a record buffer, a bookmark, the delta walk's
  // record) is followed through here, so none is taken for another record:
  // a serial id is handed out once and the counter starts again only while
  // no table of the store is open.
  TRecord* RecordOf(int32_t slotIndex, int32_t serialId) const;
  // The stored record whose out-of-line values `record` shares when it has
  // no block of its own (a record buffer's source, or a stored record
  // itself); nullptr when there is none or it is gone.
  TRecord* ValueSource(const TRecord* record) const {
    return record != nullptr ? RecordOf(record->SlotIndex, record->SerialId) : nullptr;
  }
  // Slot and serial counters back to 0 when the store holds no record and
  // no table of it is open (a table's open after the store was emptied).
  void RestartIds();
  // Every slot's record (nullptr for an empty slot), SlotCount() of them.
  TRecord* const* SlotRecords() const { return records_.data(); }
  void ReserveSlots(int capacity);
  uint32_t ContentsId() const { return contentsId_; }
  uint32_t NewContentsId() const;
  int32_t SerialCounter() const { return static_cast<int32_t>(serialCounter_); }
  int32_t SlotCounter() const { return slotCounter_; }

  // ---- Settings
  int AttachMaxCount() const;
  // Refused while an attached table is open or sits on a slot that a lower
  // count would drop.
  void SetAttachMaxCount(int value);
  int32_t LocaleID() const;
  // LocaleID for a caller that holds the lock already, once per record.
  int32_t LocaleIDLocked() const { return localeID_; }
  void SetLocaleID(int32_t value);
  // The collation of LocaleID, looked up once and again after the locale
  // changes (the process locale is read then, not on every comparison);
  // nullptr when the locale has none.
  TCollationRef Collation() const;
  int32_t LanguageID() const;
  void SetLanguageID(int32_t value);
  int32_t SubLanguageID() const;
  void SetSubLanguageID(int32_t value);
  int32_t SortID() const;
  void SetSortID(int32_t value);
  bool Standalone() const { return lock_.Standalone(); }
  void SetStandalone(bool value);
  int32_t AutoIncMinValue() const { return autoIncMin_; }
  void SetAutoIncMinValue(int32_t value);
  int32_t AutoIncHighValue() const { return autoIncHigh_; }
  void SetAutoIncHighValue(int32_t value);
  TdvoPerformance Performance() const { return performance_; }
  void SetPerformance(TdvoPerformance value);
  TdvoVersioningMode VersioningMode() const { return versioningMode_; }
  void SetVersioningMode(TdvoVersioningMode value);
  bool EnableVersioning() const { return enableVersioning_; }
  void SetEnableVersioning(bool value);
  bool DataModified() const { return dataModified_; }
  void SetDataModified(bool value);
  int32_t DeletedCount() const { return deletedCount_; }
  void IncDeletedCount() { ++deletedCount_; }
  int32_t TransactionLevel() const;
  // EMemTableError while a level is open, for a step that would empty the
  // store or keep no versions: a rollback could not take it back, and the
  // level would end without a word. Only the owner's Close, which discards
  // the table, ends the levels with it.
  void RefuseInsideLevel() const;
  void RaiseTransactionLevel();
  void LowerTransactionLevel();  // never below 0

  // ---- Attached tables
  void AttachTableToStore(TStoreTable* table);
  void DetachTableFromStore(TStoreTable* table);
  int AttachSlotCount() const;
  TStoreTable* AttachedTable(int slot) const;  // nullptr for an empty slot
  bool AnyAttachedTableActive() const;
  void CloseOtherAttachedTables(TStoreTable* table);
  void RefreshOtherAttachedTables(TStoreTable* table);  // table may be nullptr
  void CloseAndEmptyStore();
  // Without `reportDuplicates` equal keys of a unique index are sorted in
  // without a word (the step that ends in the rebuild checked its own).
  void RebuildAllAttachedIndexes(bool reportDuplicates = true);
  void InvalidateAllAttachedIndexes();
  // Without `reportDuplicates` equal keys of a unique index are not raised.
  void SyncAllAttachedIndexes(bool reportDuplicates = true);
  // Whole or not at all: when the maintenance of some table fails, every
  // index it reached is as it was before, and the failure passes on.
  void NotifyIndexesOfChange(TStoreTable* originTable, TRecordChange change, int positionHint,
                             TRecord* record, TRecord* otherRecord);
  // The unique-key check of every open attached table, whichever of them
  // posts: a key one table keeps unique stays unique through every other.
  void CheckUniqueKeysOfAttachedTables(const TRecord* newValues, const TRecord* stored);

  // ---- Transactions (act on the current transaction level)
  // A rollback brings every record back to the version it had when the
  // level started (removing those inserted at it); a commit keeps the
  // changes as if they had been made at the level below.
  void RollbackLevel();
  void CommitLevel();
  // The version a stored record goes back to when the current level is
  // rolled back, nullptr when the record leaves the store; nothing changes.
  TRecord* VersionBeforeLevel(TRecord* record) const;
  // Before the level is kept: EMemTableDupKey when the level brings a
  // unique index of an open table a key held twice, by a record inserted at
  // it or given its key there. A key held twice before the level is not the
  // level's: it neither keeps the level from ending nor is undone by it.
  // A rollback needs no check, as it brings back the records of before the
  // level. Nothing changes either way.
  void CheckLevelBringsNoDuplicates();
  // Where the store stands before a step that adds records (a load, a
  // fill): the records stored since are the step's, all of them when the
  // store was emptied in between.
  struct TAddMark {
    uint32_t contentsId;
    int64_t serial;
  };
  TAddMark AddMark() const;
  // EMemTableDupKey when the records added since `mark` give a unique index
  // of an open table a key twice; a key held twice before is not the step's.
  void CheckAddedBringNoDuplicates(const TAddMark& mark);
  // Every open attached table ends its pending edit or insert: the step
  // that follows frees the records those were read from.
  void EndAttachedPendingEdits();
  // Every open attached table hears that the current level is about to be
  // rolled back (StoreBeforeUndo).
  void NoteUndoToAttachedTables();
  // `buffer` takes its own copy of every out-of-line value it shares with
  // `source`, the record it was read from.
  void CopySharedValues(TRecord* buffer, const TRecord* source) const;

  // The bytes of a present value as comparisons see them: out of line from
  // its block (a buffer's empty reference read from its stored record),
  // decompressed; `slot` is the field's slot in `record`.
  struct TValueView {
    const uint8_t* data;
    size_t length;
  };
  TValueView FieldValue(const TRecord* record, const uint8_t* slot, const TFieldInfo& field) const;

 protected:
  // Lets tests reach the end of the id range without storing two billion
  // records.
  void SetSerialCounter(int64_t value) { serialCounter_ = value; }

 private:
  // Calls `step` with every open table of the store, by position, so that a
  // table leaving the store during a call ends no walk.
  template <class Step>
  void ForEachOpenTable(Step step) {
    for (size_t i = 0; i < attached_.size(); ++i) {
      TStoreTable* table = attached_[i];
      if (table != nullptr && table->StoreTableActive()) step(table);
    }
  }
  const uint8_t* BookmarkCell(const TRecord* record, int attachSlot) const;
  // The duplicate check of the two above; `before` gives a record's version
  // from before the step, nullptr for a record the step brought.
  template <class Before>
  void CheckBringsNoDuplicates(Before before);
  void RecomposeLocaleID();

  TStoreTable* owner_;
  mutable TReentrantLock lock_;
  mutable TCollationRef collation_ = nullptr;
  mutable bool collationKnown_ = false;
  bool busy_ = false;

  // Layout.
  int fieldCount_ = 0;
  std::array<int32_t, kMaxFields> fieldOffsets_{};
  std::array<uint8_t, kMaxFields> fieldFlags_{};
  std::array<TFieldType, kMaxFields> fieldTypes_{};
  std::array<int32_t, kMaxFields> fieldSizes_{};
  std::array<int32_t, kMaxFields> fieldValueBytes_{};  // FieldStorageSize per field number
  std::vector<int> outOfLineFields_;  // field numbers, in slot order
  int32_t copySize_ = 0;
  int32_t valueAreaSize_ = 0;
  int32_t recordSize_ = 0;
  int32_t calcStart_ = 0;
  int32_t bookmarkStart_ = 0;
  int32_t outOfLineStart_ = 0;
  int bookmarkCells_ = 0;

  // Slots.
  std::vector<TRecord*> records_;
  std::vector<int32_t> freeSlots_;
  int64_t serialCounter_ = 0;
  int32_t slotCounter_ = 0;
  uint32_t contentsId_ = 0;

  // Settings.
  int32_t languageID_ = 0;
  int32_t subLanguageID_ = 1;
  int32_t sortID_ = 0;
  int32_t localeID_ = 1024;
  bool dataModified_ = false;
  int32_t autoIncMin_ = 0;
  int32_t autoIncHigh_ = 0;
  int32_t deletedCount_ = 0;
  TdvoPerformance performance_ = mtpfFast;
  int attachMaxCount_ = 1;
  std::vector<TStoreTable*> attached_;
  TdvoVersioningMode versioningMode_ = mtvm1SinceCheckPoint;
  bool enableVersioning_ = false;
  int32_t transactionLevel_ = 0;
};

}  // namespace ts
