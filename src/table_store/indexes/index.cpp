#include "table_store/indexes/index.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "table_store/errors.h"
#include "table_store/indexes/index_sort.h"
#include "table_store/indexes/indexed_table.h"
#include "table_store/indexes/keyed_sort.h"
#include "table_store/indexes/key_fields.h"
#include "table_store/record_store.h"

namespace ts {

namespace {

// Runs its action when the scope ends, also when an exception leaves it.
template <class F>
class TAtExit {
 public:
  explicit TAtExit(F f) : f_(std::move(f)) {}
  ~TAtExit() { f_(); }
  TAtExit(const TAtExit&) = delete;
  TAtExit& operator=(const TAtExit&) = delete;

 private:
  F f_;
};

// Only an ordered index with more than this many entries is searched by
// halving; below it a scan is as quick and needs no order.
constexpr int kLinearSearchLimit = 20;

// Comparison options that push into every key field of an index.
constexpr int kKeyOptionBits[] = {mtcoDescending, mtcoCaseInsensitive, mtcoPartialKey, mtcoIgnoreNullKey,
                                  mtcoIgnoreLocale};

}  // namespace

TdvoIndex::TdvoIndex(std::string name, TIndexedTable* table, std::string fieldNames,
                     TdvoMemTableCompareOptions options, bool keepSorted, bool isInternal)
    : name_(std::move(name)),
      table_(table),
      fieldNames_(std::move(fieldNames)),
      options_(options),
      keepSorted_(keepSorted),
      isInternal_(isInternal) {
  inOrder_ = table_->IndexStore().SlotCount() == 0;
  ParseKeyFieldList(*table_, fieldList_, fieldNames_);
  for (int option : kKeyOptionBits)
    if (options_ & option) ApplyKeyOption(*table_, fieldList_, option, fieldNames_);
  head_ = TKeyHead(fieldList_);
}

std::unique_ptr<TdvoIndex> TdvoIndex::CreateRowOrderIndex(TIndexedTable* table) {
  auto index = std::make_unique<TdvoIndex>(kRowOrderIndexName, table, std::string(), 0, false, true);
  index->isRowOrder_ = true;
  return index;
}

TdvoIndex::~TdvoIndex() { ClearEntries(); }

TRecord* TdvoIndex::EntryAt(int position) const {
  if (position < 0 || position >= EntryCount()) return nullptr;
  return entries_.At(position);
}

int TdvoIndex::InsertEntry(int position, TRecord* record, const TRecord* values) {
  TEntry entry(record);
  const TdvoCommon& store = table_->IndexStore();
  uint64_t head = 0;
  if (head_.Usable(store) && head_.Draw(store, values != nullptr ? values : record, head)) entry = TEntry(record, head);
  if (position < 0 || position >= EntryCount()) position = EntryCount();
  entries_.Insert(position, entry);
  headsInOrder_ = headsInOrder_ && entry.HasHead() && (position == 0 || HeadsInOrderAt(position - 1, position)) &&
                  (position + 1 == EntryCount() || HeadsInOrderAt(position, position + 1));
  return position;
}

bool TdvoIndex::HeadsInOrderAt(int a, int b) const {
  const TEntry& first = entries_.Entry(a);
  const TEntry& second = entries_.Entry(b);
  return first.HasHead() && second.HasHead() && head_.Compare(first.Head(), second.Head()) <= 0;
}

bool TdvoIndex::RemoveEntry(int position) {
  if (position < 0 || position >= EntryCount()) return false;
  entries_.Erase(position);
  return true;
}

void TdvoIndex::ReplaceEntries(const std::unordered_map<const TRecord*, TRecord*>& replaced) {
  std::vector<TEntry> entries;
  entries.reserve(static_cast<size_t>(EntryCount()));
  bool changed = false;
  entries_.ForEach([&](const TEntry& entry) {
    const auto found = replaced.find(entry.Record());
    if (found == replaced.end()) {
      entries.push_back(entry);
    } else {
      changed = true;
      // The version that took the place carries keys of its own: no head.
      if (found->second != nullptr) entries.push_back(TEntry(found->second));
    }
    return true;
  });
  if (!changed) return;
  entries_.Assign(entries);
  headsInOrder_ = false;
  inOrder_ = false;
}

int TdvoIndex::CompareForIndex(const TdvoFieldList* list, const TRecord* a, const TRecord* b, bool partial,
                               bool tieBreak) const {
  if (list == nullptr) list = &fieldList_;
  int r = 0;
  if (list->FieldCount() > 0) r = table_->IndexStore().CompareRecords(*list, 0, a, b, false, partial, 0);
  if (r == 0 && tieBreak) {
    // Records no maintenance has numbered (loaded ones) keep slot order among
    // equal keys, so sorting them twice gives the same order.
    const bool aNumbered = a->RowNumber >= 0;
    const bool bNumbered = b->RowNumber >= 0;
    if (!aNumbered && !bNumbered)
      r = (a->SlotIndex > b->SlotIndex) - (a->SlotIndex < b->SlotIndex);
    else if (!aNumbered)
      r = -1;
    else if (!bNumbered)
      r = 1;
    if (list->FieldCount() > 0 && (list->OptionsAt(0) & mtcoDescending)) r = -r;
  }
  return r;
}

// ---- Searching

int TdvoIndex::SearchIndex(const TdvoFieldList* list, const TRecord* key, bool nearest, bool visibleOnly,
                           int& position, bool& found) {
  position = -1;
  found = false;
  table_->ReportProgress(0, mtpcSearch);
  table_->SetTablePhase(kPhaseSearching);
  TAtExit done([this] {
    table_->ReportProgress(100, mtpcSearch);
    table_->SetTablePhase(kPhaseNormal);
  });
  int result = 0;
  {
    TLockGuard guard(table_->IndexStore().Lock());
    const int count = EntryCount();
    if (inOrder_ && !isRowOrder_ && count > kLinearSearchLimit)
      result = HalvingSearchKey(list, key, nearest, visibleOnly, 0, count - 1, position, found);
    else if (count > 0)
      result = LinearSearchKey(list, key, nearest, visibleOnly, 0, count - 1, position, found);
    // Both searches leave the same answer: the position decides, and it
    // answers on a match, or with `nearest` on the first entry above the key.
    found = position >= 0 && position < count && (result == 0 || (nearest && result < 0));
  }
  return result;
}

int TdvoIndex::CompareKeyAt(const TdvoFieldList* list, const TRecord* key, const uint64_t* keyHead, bool headWhole,
                            int position, bool partial) const {
  const TEntry& entry = entries_.Entry(position);
  if (keyHead != nullptr && entry.HasHead()) {
    const int r = head_.Compare(*keyHead, entry.Head());
    if (r != 0 || headWhole) return r;
  }
  return CompareForIndex(list, key, entry.Record(), partial, false);
}

int TdvoIndex::HalvingSearchKey(const TdvoFieldList* list, const TRecord* key, bool nearest, bool visibleOnly,
                                int lo, int hi, int& position, bool& found) {
  found = false;
  int result = 0;
  const int first = lo;
  // The key's head, drawn once, passes most entries without their records.
  const TdvoFieldList& own = list != nullptr ? *list : fieldList_;
  const TdvoCommon& store = table_->IndexStore();
  uint64_t keyHead = 0;
  const bool heads = head_.Serves(own, false) && head_.Usable(store) && head_.Draw(store, key, keyHead);
  const uint64_t* headFull = heads ? &keyHead : nullptr;
  const uint64_t* headBack = heads && head_.Serves(own, nearest) ? &keyHead : nullptr;
  const bool whole = head_.Whole() && own.FieldCount() == 1;
  if (headFull != nullptr && headBack != nullptr && whole && headsInOrder_ && lo == 0 && hi == EntryCount() - 1) {
    // Heads decide every comparison and lie in order, so the halving would
    // end on the first entry not below the key, or on the first of its
    // equals: found block by block instead, it reads a handful of entries
    // where the halving would wait on a dozen far-apart ones.
    lo = entries_.LowerBoundByHead([this, keyHead](uint64_t h) { return head_.Compare(keyHead, h) > 0; });
    found = lo <= hi && head_.Compare(keyHead, entries_.Entry(lo).Head()) == 0;
    hi = lo - 1;
  }
  while (lo <= hi) {
    const int m = lo + (hi - lo) / 2;
    const int r = CompareKeyAt(list, key, headFull, whole, m, false);
    if (r < 0) {
      hi = m - 1;
    } else if (r > 0) {
      lo = m + 1;
    } else {
      int j = m - 1;
      while (j >= first && CompareKeyAt(list, key, headBack, whole, j, nearest) == 0) --j;
      lo = j + 1;
      found = true;
      break;
    }
  }
  // A miss lands on the first entry above the key, or past the end.
  if (!found) result = lo < EntryCount() ? -1 : 1;
  if (lo >= 0 && lo < EntryCount() && visibleOnly) result = SkipToVisible(list, key, nearest, lo, result);
  position = lo;
  return result;
}

int TdvoIndex::SkipToVisible(const TdvoFieldList* list, const TRecord* key, bool nearest, int& lo, int result) {
  if (!table_->NeedsFiltering() || table_->IsRecordVisible(entries_.At(lo), false))
    return result;
  const int count = EntryCount();
  while (++lo < count) {
    TRecord* record = entries_.At(lo);
    if (!table_->IsRecordVisible(record, false)) continue;
    result = CompareForIndex(list, key, record, nearest, false);
    if (result == 0 || (result < 0 && nearest)) break;
  }
  return result;
}

int TdvoIndex::LinearSearchKey(const TdvoFieldList* list, const TRecord* key, bool nearest, bool visibleOnly,
                               int lo, int hi, int& position, bool& found) {
  int r = 0;
  const bool recalc = table_->RecalcOnIndex();
  for (int k = lo; k <= hi; ++k) {
    if (k % 100 == 0)
      table_->ReportProgress(static_cast<int>(static_cast<int64_t>(k - lo) * 100 / (hi - lo + 1)), mtpcSearch);
    TRecord* record = entries_.At(k);
    if (recalc) table_->RecalcIndexRecord(record);
    r = CompareForIndex(list, key, record, nearest, false);
    if ((r == 0 && (!visibleOnly || table_->IsRecordVisible(record, false))) || (nearest && r < 0)) {
      position = k;
      found = true;
      return r;
    }
  }
  position = hi + 1;
  return r;
}

int TdvoIndex::LinearSearchSlot(int from, int to, int slot) {
  for (int k = from; k <= to; ++k) {
    if (k % 100 == 0)
      table_->ReportProgress(static_cast<int>(static_cast<int64_t>(k - from) * 100 / (to - from + 1)), mtpcSearch);
    if (entries_.At(k)->SlotIndex == slot) return k;
  }
  return -1;
}

int TdvoIndex::FindBySlotHalving(int slot) const {
  int lo = 0;
  int hi = EntryCount() - 1;
  while (lo <= hi) {
    const int m = lo + (hi - lo + 1) / 2;
    const int32_t at = entries_.At(m)->SlotIndex;
    if (slot < at)
      hi = m - 1;
    else if (slot > at)
      lo = m + 1;
    else
      return m;
  }
  return -1;
}

int TdvoIndex::FindSlotPosition(int slot) {
  TLockGuard guard(table_->IndexStore().Lock());
  int position = -1;
  // Inserting at the cursor can leave the row order out of slot order; the
  // halving then misses and the scan below still finds the record.
  if (inOrder_ && isRowOrder_) position = FindBySlotHalving(slot);
  if (position < 0) position = LinearSearchSlot(0, EntryCount() - 1, slot);
  return position;
}

int TdvoIndex::FindRecordPosition(const TRecord* record, bool visibleOnly) {
  if (record == nullptr) return -1;
  TLockGuard guard(table_->IndexStore().Lock());
  table_->ReportProgress(0, mtpcSearch);
  int start = 0;
  if (inOrder_ && EntryCount() > kLinearSearchLimit) {
    if (isRowOrder_) {
      const int position = FindSlotPosition(record->SlotIndex);
      if (position >= 0) return position;
    } else {
      int position = -1;
      bool found = false;
      HalvingSearchKey(nullptr, record, false, visibleOnly, 0, EntryCount() - 1, position, found);
      if (found && position >= 0 && position < EntryCount()) start = position;
    }
  }
  return LinearSearchSlot(start, EntryCount() - 1, record->SlotIndex);
}

// ---- Sorting

void TdvoIndex::SortEntries(int lo, int hi) { SortFindingDuplicates(lo, hi, false); }

bool TdvoIndex::SortFindingDuplicates(int lo, int hi, bool checkUnique) {
  lo = std::max(lo, 0);
  hi = std::min(hi, EntryCount() - 1);
  TKeyedSortResult keyed = TKeyedSortResult::Unsupported;
  if (lo < hi) {
    const TdvoCommon& store = table_->IndexStore();
    // The keys are drawn for a whole list: a rebuild sorts no less.
    if (lo == 0 && hi == EntryCount() - 1) keyed = SortByDrawnKeys(store, fieldList_, head_, entries_, checkUnique);
    if (keyed == TKeyedSortResult::Unsupported) {
      std::vector<TEntry> flat = entries_.ToEntries();
      SortRange(flat, lo, hi, [this](const TEntry& a, const TEntry& b) {
        return CompareForIndex(nullptr, a.Record(), b.Record(), false, true);
      });
      const bool heads = head_.Usable(store);
      for (int k = lo; k <= hi; ++k) {
        TEntry& e = flat[static_cast<size_t>(k)];
        uint64_t head = 0;
        e = heads && head_.Draw(store, e.Record(), head) ? TEntry(e.Record(), head) : TEntry(e.Record());
      }
      entries_.Assign(flat);
    }
    const TEntry* previous = nullptr;
    headsInOrder_ = entries_.ForEach([this, &previous](const TEntry& e) {
      const bool inOrder = e.HasHead() && (previous == nullptr || head_.Compare(previous->Head(), e.Head()) <= 0);
      previous = &e;
      return inOrder;
    });
  }
  inOrder_ = true;
  if (!checkUnique || keyed == TKeyedSortResult::Sorted) return false;
  if (keyed == TKeyedSortResult::Duplicate) return true;
  for (int k = lo + 1; k <= hi; ++k)
    if (CompareForIndex(nullptr, entries_.At(k - 1), entries_.At(k), false, false) == 0) return true;
  return false;
}

void TdvoIndex::SortAndCheckUnique(bool reportDuplicates) {
  if (!keepSorted_) return;
  table_->ReportProgress(0, mtpcSort);
  table_->SetTablePhase(kPhaseSorting);
  TAtExit done([this] {
    table_->ReportProgress(100, mtpcSort);
    table_->SetTablePhase(kPhaseNormal);
  });
  TLockGuard guard(table_->IndexStore().Lock());
  const bool check = reportDuplicates && (options_ & mtcoUnique) != 0;
  if (SortFindingDuplicates(0, EntryCount() - 1, check)) throw EMemTableDupKey();
}

// ---- Building

void TdvoIndex::ClearEntries() {
  entries_.Clear();
  head_.Forget();
  inOrder_ = false;
  headsInOrder_ = true;
}

bool TdvoIndex::FiltersRecords() const { return isFiltered_ || table_->HasFilterIndexEvent() || filterExpr_; }

bool TdvoIndex::PassesIndexFilter(TRecord* record) {
  if (!FiltersRecords()) return true;
  TRecord* saved = table_->OverrideRecord();
  table_->SetOverrideRecord(record);
  TAtExit restore([this, saved] { table_->SetOverrideRecord(saved); });
  bool accept = true;
  if (table_->HasFilterIndexEvent()) {
    table_->FilterIndex(*this, accept);
    if (!accept) return false;
  }
  if (filterExpr_ && !table_->EvaluateIndexFilter(*filterExpr_)) return false;
  return true;
}

void TdvoIndex::RefillFromStore() {
  TdvoCommon& store = table_->IndexStore();
  TLockGuard guard(store.Lock());
  const int slots = store.SlotCount();
  if (FiltersRecords()) {
    ClearEntries();
    for (int slot = 0; slot < slots; ++slot) {
      TRecord* record = store.StoredRecord(slot);
      if (record != nullptr && PassesIndexFilter(record)) entries_.PushBack(TEntry(record));
    }
  } else {
    // Every stored record belongs: the entries' blocks are filled again.
    entries_.AssignRecords(store.SlotRecords(), static_cast<size_t>(slots));
    head_.Forget();
    inOrder_ = false;
  }
  headsInOrder_ = entries_.Empty();
}

void TdvoIndex::RebuildIndex(bool reportDuplicates) {
  TAtExit clampCursor([this] {
    if (table_->CurrentIndex() == this && table_->CursorPosition() >= EntryCount())
      table_->SetCursorPosition(EntryCount() - 1);
  });
  if (table_->IndexTableOpen()) {
    if (!keepContents_) RefillFromStore();
    if (!entries_.Empty()) SortAndCheckUnique(reportDuplicates);
  } else {
    inOrder_ = true;
  }
}

bool TdvoIndex::RebuildChecksUnique() const {
  return keepSorted_ && (options_ & mtcoUnique) && table_->IndexTableOpen();
}

bool TdvoIndex::RebuildBringsDuplicates(const std::vector<TRecord*>& records,
                                        const std::vector<TRecord*>& before) {
  if (!RebuildChecksUnique()) return false;
  auto equal = [this](const TRecord* a, const TRecord* b) { return CompareForIndex(nullptr, a, b, false, false) == 0; };
  // The versions records had before, for those that changed.
  std::unordered_map<const TRecord*, const TRecord*> changed;
  for (size_t i = 0; i < records.size(); ++i) {
    const TRecord* old = i < before.size() ? before[i] : nullptr;
    if (old != records[i]) changed.emplace(records[i], old);
  }
  if (changed.empty()) return false;
  std::vector<TRecord*> keys;
  if (keepContents_) {
    keys = Entries();
  } else {
    for (TRecord* record : records)
      if (PassesIndexFilter(record)) keys.push_back(record);
  }
  std::unordered_set<const TRecord*> brought;
  for (TRecord* record : keys) {
    const auto it = changed.find(record);
    if (it == changed.end()) continue;
    TRecord* old = const_cast<TRecord*>(it->second);
    if (old == nullptr || !PassesIndexFilter(old) || !equal(old, record)) brought.insert(record);
  }
  if (brought.empty() || keys.size() < 2) return false;
  TLockGuard guard(table_->IndexStore().Lock());
  // Sorted as a rebuild would sort, then each run of equal keys is looked at.
  TEntryList drawn;
  drawn.AssignFrom(keys.size(), [&keys](size_t i) { return TEntry(keys[i]); });
  const TKeyedSortResult keyed = SortByDrawnKeys(table_->IndexStore(), fieldList_, TKeyHead(), drawn, true);
  if (keyed == TKeyedSortResult::Sorted) return false;
  if (keyed == TKeyedSortResult::Duplicate) {
    keys = drawn.ToVector();
  } else {
    SortRange(keys, 0, static_cast<int>(keys.size()) - 1,
              [this](const TRecord* a, const TRecord* b) { return CompareForIndex(nullptr, a, b, false, false); });
  }
  for (size_t start = 0; start < keys.size();) {
    size_t end = start + 1;
    bool anyNew = brought.count(keys[start]) != 0;
    for (; end < keys.size() && equal(keys[start], keys[end]); ++end)
      if (brought.count(keys[end]) != 0) anyNew = true;
    if (end - start > 1 && anyNew) return true;
    start = end;
  }
  return false;
}

}  // namespace ts
