// TdvoIndex: one ordered list of references to the stored records of a
// table's store, with its key (a parsed key-field list), its options, the
// sort (median-of-three quicksort plus one insertion pass, ties broken by
// slot for records no maintenance has numbered), the key search (halving
// for an in-order index of more than 20 entries, linear otherwise), the
// look-up of one record's position, the rebuild from the store and the
// unique-key check. The records stay owned by the store.
//
// Positions are 0-based. Every search reports a miss through its position
// (the insertion point, or -1 when there is nothing to point at), never
// through the way it searched.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "table_store/compare.h"
#include "table_store/field_list.h"
#include "table_store/indexes/entry_list.h"
#include "table_store/indexes/keyed_sort.h"
#include "table_store/record.h"

namespace ts {

class TIndexedTable;

// A parsed filter expression that decides which records an index holds; the
// table evaluates it (TIndexedTable::EvaluateIndexFilter).
class TIndexFilterExpr {
 public:
  virtual ~TIndexFilterExpr() = default;
};

inline constexpr const char* kRowOrderIndexName = "__MT__ROWORDER";

class TdvoIndex {
 public:
  // CreateIndex: parses `fieldNames` on the table (its errors pass on) and
  // pushes the comparison options among `options` onto every key field.
  TdvoIndex(std::string name, TIndexedTable* table, std::string fieldNames, TdvoMemTableCompareOptions options,
            bool keepSorted, bool isInternal);
  // The row-order index "__MT__ROWORDER": no key, not sorted, internal.
  static std::unique_ptr<TdvoIndex> CreateRowOrderIndex(TIndexedTable* table);
  virtual ~TdvoIndex();
  TdvoIndex(const TdvoIndex&) = delete;
  TdvoIndex& operator=(const TdvoIndex&) = delete;

  const std::string& Name() const { return name_; }
  TIndexedTable* Table() const { return table_; }
  const std::string& FieldNames() const { return fieldNames_; }
  const TdvoFieldList& FieldList() const { return fieldList_; }
  TdvoFieldList& FieldList() { return fieldList_; }
  TdvoMemTableCompareOptions Options() const { return options_; }

  // --- Entries
  // A copy of the entries in order.
  std::vector<TRecord*> Entries() const { return entries_.ToVector(); }
  int EntryCount() const { return entries_.Count(); }
  // nullptr outside 0..EntryCount()-1.
  TRecord* EntryAt(int position) const;
  // Position of that very reference by a scan, -1 when absent.
  int EntryPosition(const TRecord* record) const { return entries_.IndexOf(record); }
  void AppendEntry(TRecord* record) {
    entries_.PushBack(TEntry(record));
    headsInOrder_ = false;
  }
  // A position outside 0..EntryCount() appends. The entry's head is drawn
  // from `values` (the record's new values during an edit), else from the
  // record.
  // Returns the position used.
  int InsertEntry(int position, TRecord* record, const TRecord* values = nullptr);
  // Does nothing for a position outside the list; returns whether it removed.
  bool RemoveEntry(int position);
  // The entry at a position (0..EntryCount()-1) as it lies, head and all.
  const TEntry& EntryData(int position) const { return entries_.Entry(position); }
  // Puts back an entry taken out at `position` (see TIndexUndo).
  void RestoreEntry(int position, const TEntry& entry) { entries_.Insert(position, entry); }
  // Each entry of a record in the map names the record it maps to instead,
  // or goes when that is none; the records of the map are never read.
  void ReplaceEntries(const std::unordered_map<const TRecord*, TRecord*>& replaced);

  // --- Flags
  bool InOrder() const { return inOrder_; }
  void SetInOrder(bool value) { inOrder_ = value; }
  bool HeadsInOrder() const { return headsInOrder_; }
  // Both order flags as they were before a change that is taken back.
  void RestoreOrderFlags(bool inOrder, bool headsInOrder) {
    inOrder_ = inOrder;
    headsInOrder_ = headsInOrder;
  }
  bool KeepSorted() const { return keepSorted_; }
  bool IsRowOrder() const { return isRowOrder_; }
  bool IsInternal() const { return isInternal_; }
  bool KeepContents() const { return keepContents_; }
  void SetKeepContents(bool value) { keepContents_ = value; }
  bool IsFiltered() const { return isFiltered_; }
  void SetIsFiltered(bool value) { isFiltered_ = value; }
  bool IsEnabled() const { return isEnabled_; }
  void SetIsEnabled(bool value) { isEnabled_ = value; }
  const TIndexFilterExpr* FilterExpr() const { return filterExpr_.get(); }
  void SetFilterExpr(std::unique_ptr<TIndexFilterExpr> expr) { filterExpr_ = std::move(expr); }

  // --- Comparing and searching
  // CompareRecords of a against b over `list` (nullptr: the index's own);
  // with tieBreak, equal keys are ordered by the records' numbering and slot.
  int CompareForIndex(const TdvoFieldList* list, const TRecord* a, const TRecord* b, bool partial,
                      bool tieBreak) const;
  // Finds `key`: on a hit `found` is true and `position` is the first of the
  // equal entries; with `nearest`, the first entry not below the key (where
  // a record with that key belongs, EntryCount() when past the end). Returns
  // the last comparison result.
  int SearchIndex(const TdvoFieldList* list, const TRecord* key, bool nearest, bool visibleOnly, int& position,
                  bool& found);
  // Position of that very record, -1 when the index does not hold it.
  int FindRecordPosition(const TRecord* record, bool visibleOnly = false);
  // Position of the record stored in `slot`, -1 when absent.
  int FindSlotPosition(int slot);

  // --- Building
  void SortEntries(int lo, int hi);
  void ClearEntries();
  void RefillFromStore();
  // Sorts a KeepSorted index; with `reportDuplicates`, a unique index over
  // two equal keys raises EMemTableDupKey (the entries stay sorted).
  void SortAndCheckUnique(bool reportDuplicates = true);
  void RebuildIndex(bool reportDuplicates = true);
  // Whether the index, rebuilt over `records` (every record the store is
  // about to hold), would hold two equal unique keys of which one is new:
  // `before[i]` is the version records[i] had before (nullptr for none),
  // and a record is new to its key when it had none, another key, or was
  // not in the index. Keys held twice already are not the caller's doing.
  // Nothing changes.
  bool RebuildBringsDuplicates(const std::vector<TRecord*>& records, const std::vector<TRecord*>& before);
  // Whether a rebuild checks unique keys at all (a sorted unique index of
  // an open table).
  bool RebuildChecksUnique() const;
  bool PassesIndexFilter(TRecord* record);
  // Whether PassesIndexFilter may turn a record away.
  bool FiltersRecords() const;

 private:
  TdvoIndex() = default;
  int HalvingSearchKey(const TdvoFieldList* list, const TRecord* key, bool nearest, bool visibleOnly, int lo,
                       int hi, int& position, bool& found);
  int LinearSearchKey(const TdvoFieldList* list, const TRecord* key, bool nearest, bool visibleOnly, int lo,
                      int hi, int& position, bool& found);
  int SkipToVisible(const TdvoFieldList* list, const TRecord* key, bool nearest, int& lo, int result);
  int LinearSearchSlot(int from, int to, int slot);
  int FindBySlotHalving(int slot) const;
  // CompareForIndex(list, key, entry at position, partial, no tie-break),
  // decided by the heads where they can (keyHead: the key's head, or none).
  int CompareKeyAt(const TdvoFieldList* list, const TRecord* key, const uint64_t* keyHead, bool headWhole,
                   int position, bool partial) const;
  // Sorts lo..hi; with checkUnique, whether two neighbours have equal keys.
  bool SortFindingDuplicates(int lo, int hi, bool checkUnique);
  // Whether the entries at a and b (a before b) both carry heads in order.
  bool HeadsInOrderAt(int a, int b) const;

  std::string name_;
  TEntryList entries_;
  TIndexedTable* table_ = nullptr;
  std::string fieldNames_;
  TdvoFieldList fieldList_;
  TKeyHead head_;
  // Every entry carries a head and the heads are in the index's order: where
  // heads decide every comparison, a search then needs no halving probe by
  // probe (see HalvingSearchKey).
  bool headsInOrder_ = true;
  TdvoMemTableCompareOptions options_ = 0;
  bool inOrder_ = false;
  bool keepSorted_ = false;
  bool isRowOrder_ = false;
  bool isInternal_ = false;
  bool keepContents_ = false;
  bool isFiltered_ = false;
  bool isEnabled_ = true;
  std::unique_ptr<TIndexFilterExpr> filterExpr_;
};

}  // namespace ts
