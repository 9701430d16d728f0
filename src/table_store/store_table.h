// TStoreTable: what the record store needs from the tables attached to it.
//
// The store's owner table supplies the field definitions and the size of its
// calculated-field buffer for the record layout, and its field events
// (OnSetupField, OnDecompressField, OnCompareFields; each Has* says whether
// the event is assigned). Every attached table is closed, refreshed, emptied
// and has its indexes kept up to date through the Store* callbacks.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "table_store/field_info.h"
#include "table_store/record.h"

namespace ts {

class TIndexUndo;

// The change that index maintenance is told about.
enum class TRecordChange : int { Insert = 0, Edit = 1, Delete = 2 };

class TStoreTable {
 public:
  virtual ~TStoreTable() = default;

  // --- Read by the record layout (owner table only).
  virtual std::vector<TFieldDefDesc> StoreFieldDefs() const = 0;
  virtual int32_t StoreCalcBufferSize() const = 0;

  // --- Field events of the owner table.
  // OnSetupField for an out-of-line, non-blob field: may clear
  // kFieldOutOfLine (keep it in line) or set kFieldCompressed.
  virtual bool HasSetupFieldEvent() const { return false; }
  virtual void SetupField(int /*fieldNo*/, const TFieldDefDesc& /*def*/, uint8_t& /*fieldFlags*/) {}
  // OnDecompressField: `buffer` and `size` hold the stored bytes; the handler
  // sets `resultBuffer` (and `size`) to the bytes to use instead.
  virtual bool HasDecompressFieldEvent() const { return false; }
  virtual void DecompressField(const TFieldInfo& /*field*/, const uint8_t* /*buffer*/, int32_t& /*size*/,
                               const uint8_t*& /*resultBuffer*/) {}
  // OnCompareFields: replaces the built-in comparison of two values.
  virtual bool HasCompareFieldsEvent() const { return false; }
  virtual void CompareFields(const void* /*keyField*/, const void* /*aField*/, TFieldType /*type*/,
                             int /*options*/, bool& /*fullCompare*/, int& /*result*/) {}

  // --- Attached-table callbacks.
  virtual bool StoreTableActive() const = 0;    // the table is open
  virtual bool StoreTableBrowsing() const = 0;  // open and in browse state
  virtual void StoreCloseTable() = 0;
  virtual void StoreRefreshTable() = 0;
  // Drops the table's record buffers, clears its indexes and its cursor
  // before the store frees every record.
  virtual void StoreEmptyTableView() = 0;
  // Ends a pending edit or insert (as Cancel does); nothing in other states.
  virtual void StoreEndPendingEdit() {}
  // The store's current level is about to be rolled back: a pending edit
  // whose record it takes back keeps the values it shows and is refused
  // when posted.
  virtual void StoreBeforeUndo() {}
  // Whether an index of the table keeps its entries when rebuilt (and so
  // must hear of StoreRecordsReplaced).
  virtual bool StoreKeepsEntries() const { return false; }
  // A rollback freed each record of the map; the one it maps to (none for a
  // record that left) sits in its slot now. Pointer values only: the freed
  // records are never read.
  virtual void StoreRecordsReplaced(const std::unordered_map<const TRecord*, TRecord*>& /*replaced*/) {}
  // Without `reportDuplicates` equal keys of a unique index are not raised.
  virtual void StoreRebuildAllIndexes(bool reportDuplicates) = 0;
  virtual void StoreInvalidateAllIndexes() = 0;
  virtual void StoreSyncIndexes(bool reportDuplicates) = 0;
  // `undo` hears of every change made to the table's indexes.
  virtual void StoreMaintainIndexes(TRecordChange change, TRecord* storedRecord, TRecord* otherRecord,
                                    int positionHint, TIndexUndo& undo) = 0;
  // EMemTableDupKey when `newValues` would give a unique index of the table
  // a second record with one key (`stored`: the record being edited, nullptr
  // for a new one). A table without unique indexes has nothing to check.
  virtual void StoreCheckUniqueKeys(const TRecord* /*newValues*/, const TRecord* /*stored*/) {}
  // EMemTableDupKey when rebuilding the table's indexes over `records`, all
  // that the store is about to hold, would give a unique index a key twice
  // that it did not hold twice with `before` (each record's version before;
  // nullptr for a record new to the store).
  virtual void StoreCheckRebuildBringsNoDuplicates(const std::vector<TRecord*>& /*records*/,
                                                   const std::vector<TRecord*>& /*before*/) {}
  // Whether that check has anything to check; when no table
  // has, the store need not gather the records it would hand over.
  virtual bool StoreChecksUniqueRebuild() const { return true; }
  // The table's attach slot (its bookmark cell in every record).
  virtual void StoreSetAttachSlot(int slot) = 0;
  // The store is going away: the table no longer shares it (AttachedTo none).
  virtual void StoreDetached() = 0;
};

}  // namespace ts
