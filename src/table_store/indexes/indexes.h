// TdvoIndexes: a table's collection of indexes. It always holds the
// row-order index "__MT__ROWORDER" (created with the collection), which
// keeps the records in the order they were stored, plus the indexes the
// table registers (one per index definition, and its sort indexes). It finds
// indexes by name and by key text, rebuilds and empties them together, runs
// the key search of locate and lookup, checks unique keys before a change is
// stored, and keeps every index up to date on insert, edit and delete.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "table_store/field_list.h"
#include "table_store/indexes/index.h"
#include "table_store/indexes/index_def.h"
#include "table_store/indexes/index_undo.h"
#include "table_store/record.h"
#include "table_store/store_table.h"

namespace ts {

class TIndexedTable;

class TdvoIndexes {
 public:
  explicit TdvoIndexes(TIndexedTable* table);
  ~TdvoIndexes();
  TdvoIndexes(const TdvoIndexes&) = delete;
  TdvoIndexes& operator=(const TdvoIndexes&) = delete;

  TIndexedTable* Table() const { return table_; }
  TdvoIndex* RowOrderIndex() const { return rowOrder_; }

  // Appends the index under its name; the collection owns it from now on.
  TdvoIndex* RegisterIndex(std::unique_ptr<TdvoIndex> index);
  // Takes the index out of the list and hands it back (nullptr for the
  // row-order index or an index not in the list). A current index is
  // replaced by the row-order index.
  std::unique_ptr<TdvoIndex> UnregisterIndex(TdvoIndex* index);
  // Empties every index and frees all but the row-order index.
  void RemoveAllIndexes();

  int IndexCount() const { return static_cast<int>(indexes_.size()); }
  TdvoIndex* IndexAt(int i) const;  // nullptr outside the list
  // Names and key texts are compared with a-z folded to upper case.
  TdvoIndex* FindIndexByName(std::string_view name) const;
  TdvoIndex* FindIndexByFields(std::string_view fieldNames) const;

  // "Missing Name or FieldNames in IndexDef!" for a definition without fields.
  TdvoIndex* AddIndexFromDef(const TIndexDef& def);

  void EmptyAllIndexes();
  // Whether an index keeps its entries when rebuilt (KeepContents).
  bool KeepsEntries() const;
  // Every index that keeps its entries follows each record of the map to
  // the one that took its slot, or drops it (none); the rest are refilled
  // when rebuilt.
  void ReplaceRecords(const std::unordered_map<const TRecord*, TRecord*>& replaced);
  // Without `reportDuplicates`, equal keys of a unique index are sorted in
  // silently: for a step whose records were checked before it began.
  void RebuildAllIndexes(bool reportDuplicates = true) { RebuildIndexes(false, {}, reportDuplicates); }
  // Rebuilds every index, or with `outOfOrderOnly` those not in order. An
  // index that meets two equal keys of a unique index keeps every record,
  // sorted, and the indexes after it are rebuilt all the same: the first
  // failure passes on once every index is whole. `rebuilt` (when given)
  // hears of each index rebuilt, the failing one too.
  void RebuildIndexes(bool outOfOrderOnly, const std::function<void(TdvoIndex&)>& rebuilt = {},
                      bool reportDuplicates = true);
  void InvalidateAllIndexes();

  // Locate and lookup: finds `key` under `list` in the current index.
  // Returns whether it was found; `position` is its place in the current
  // index (-1 when not found).
  bool SearchForLocate(const TdvoFieldList& list, const TRecord* key, bool nearest, bool visibleOnly,
                       int& position);
  // Raises EMemTableDupKey when `newValues` would duplicate the key of a
  // record other than `stored` (nullptr for a new record) in a unique index.
  void CheckUniqueKeys(const TRecord* newValues, const TRecord* stored);
  // Raises EMemTableDupKey when a unique index rebuilt over `records` (every
  // record the store is about to hold; `before`: the version each had
  // before, see TdvoIndex::RebuildBringsDuplicates) would hold a key twice
  // that it did not hold twice before; nothing changes.
  void CheckRebuildBringsNoDuplicates(const std::vector<TRecord*>& records, const std::vector<TRecord*>& before);
  // Whether some index would make that check at all.
  bool ChecksUniqueRebuild() const;
  // Insert: `other` is the new stored record. Edit: `stored` still holds the
  // old values, `other` the new ones. Delete: `stored` is the record going.
  // `positionHint` is the table's cursor (insert: the 1-based insert
  // position), -1 for none. `undo` (when given) hears of every change made,
  // to take them back should a later step of the change fail.
  void MaintainIndexes(TRecordChange change, TRecord* stored, TRecord* other, int positionHint,
                       TIndexUndo* undo = nullptr);

 private:
  void MaintainIndex(TdvoIndex& index, TRecordChange change, TRecord* stored, TRecord* other, int hint,
                     TIndexUndo* undo);
  // RemoveEntry, heard of by `undo`.
  static void RemoveEntry(TdvoIndex& index, int position, TIndexUndo* undo);

  TIndexedTable* table_;
  TdvoIndex* rowOrder_ = nullptr;
  std::vector<std::unique_ptr<TdvoIndex>> indexes_;
};

}  // namespace ts
