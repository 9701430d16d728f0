#include "table_store/indexes/indexes.h"

#include <algorithm>

#include "table_store/dataset/field_defs.h"
#include "table_store/errors.h"
#include "table_store/first_failure.h"
#include "table_store/indexes/indexed_table.h"
#include "table_store/indexes/key_fields.h"
#include "table_store/messages.h"
#include "table_store/record_store.h"

namespace ts {

namespace {

// Options that change the order of values; a search list that differs from
// the index's list in these cannot halve over the index's entries.
constexpr int kOrderingOptions = mtcoDescending | mtcoCaseInsensitive | mtcoIgnoreNullKey | mtcoIgnoreLocale;

bool SameOrdering(const TdvoFieldList& a, const TdvoFieldList& b) {
  for (int i = 0; i < a.FieldCount(); ++i)
    if ((a.OptionsAt(i) & kOrderingOptions) != (b.OptionsAt(i) & kOrderingOptions)) return false;
  return true;
}

}  // namespace

TdvoIndexes::TdvoIndexes(TIndexedTable* table) : table_(table) {
  rowOrder_ = RegisterIndex(TdvoIndex::CreateRowOrderIndex(table_));
}

TdvoIndexes::~TdvoIndexes() = default;

TdvoIndex* TdvoIndexes::RegisterIndex(std::unique_ptr<TdvoIndex> index) {
  if (!index) return nullptr;
  indexes_.push_back(std::move(index));
  return indexes_.back().get();
}

std::unique_ptr<TdvoIndex> TdvoIndexes::UnregisterIndex(TdvoIndex* index) {
  if (index == nullptr || index == rowOrder_) return nullptr;
  auto it = std::find_if(indexes_.begin(), indexes_.end(), [index](const auto& p) { return p.get() == index; });
  if (it == indexes_.end()) return nullptr;
  if (table_->CurrentIndex() == index) table_->SetCurrentIndexRef(rowOrder_);
  // The table must not keep pointing at an index that its creator may free.
  if (table_->SortIndexRef() == index) table_->SetSortIndexRef(nullptr);
  std::unique_ptr<TdvoIndex> result = std::move(*it);
  indexes_.erase(it);
  return result;
}

void TdvoIndexes::RemoveAllIndexes() {
  for (int i = IndexCount() - 1; i >= 0; --i) {
    TdvoIndex* index = indexes_[static_cast<size_t>(i)].get();
    index->ClearEntries();
    if (index == rowOrder_) continue;
    if (table_->CurrentIndex() == index) table_->SetCurrentIndexRef(rowOrder_);
    if (table_->SortIndexRef() == index) table_->SetSortIndexRef(nullptr);
    indexes_.erase(indexes_.begin() + i);
  }
}

TdvoIndex* TdvoIndexes::IndexAt(int i) const {
  if (i < 0 || i >= IndexCount()) return nullptr;
  return indexes_[static_cast<size_t>(i)].get();
}

TdvoIndex* TdvoIndexes::FindIndexByName(std::string_view name) const {
  for (const auto& index : indexes_)
    if (SameName(index->Name(), name)) return index.get();
  return nullptr;
}

TdvoIndex* TdvoIndexes::FindIndexByFields(std::string_view fieldNames) const {
  for (const auto& index : indexes_)
    if (SameName(index->FieldNames(), fieldNames)) return index.get();
  return nullptr;
}

TdvoIndex* TdvoIndexes::AddIndexFromDef(const TIndexDef& def) {
  if (def.Fields.empty()) throw EMemTableError(msg::kMissingIndexFields);
  return RegisterIndex(std::make_unique<TdvoIndex>(def.Name, table_, def.Fields,
                                                   IndexOptionsToCompareOptions(def.Options), true, false));
}

void TdvoIndexes::EmptyAllIndexes() {
  for (auto& index : indexes_) index->ClearEntries();
}

bool TdvoIndexes::KeepsEntries() const {
  return std::any_of(indexes_.begin(), indexes_.end(), [](const auto& index) { return index->KeepContents(); });
}

void TdvoIndexes::ReplaceRecords(const std::unordered_map<const TRecord*, TRecord*>& replaced) {
  for (auto& index : indexes_)
    if (index->KeepContents()) index->ReplaceEntries(replaced);
}

void TdvoIndexes::RebuildIndexes(bool outOfOrderOnly, const std::function<void(TdvoIndex&)>& rebuilt,
                                 bool reportDuplicates) {
  TFirstFailure failure;
  for (size_t i = 0; i < indexes_.size(); ++i) {
    TdvoIndex& index = *indexes_[i];
    if (outOfOrderOnly && index.InOrder()) continue;
    failure.Run([&index, reportDuplicates] { index.RebuildIndex(reportDuplicates); });
    if (rebuilt) rebuilt(index);
  }
  failure.Rethrow();
}

void TdvoIndexes::InvalidateAllIndexes() {
  for (auto& index : indexes_) index->SetInOrder(false);
}

bool TdvoIndexes::SearchForLocate(const TdvoFieldList& list, const TRecord* key, bool nearest, bool visibleOnly,
                                  int& position) {
  position = -1;
  TdvoIndex* current = table_->CurrentIndex();
  if (current == nullptr) current = rowOrder_;
  if (SameKeyFields(current->FieldList(), list) && SameOrdering(current->FieldList(), list)) {
    int at = -1;
    bool found = false;
    current->SearchIndex(&list, key, nearest, visibleOnly, at, found);
    if (found) position = at;
    return found;
  }
  TLockGuard guard(table_->IndexStore().Lock());
  const bool recalc = table_->RecalcOnIndex();
  for (int k = 0; k < current->EntryCount(); ++k) {
    TRecord* record = current->EntryAt(k);
    if (recalc) table_->RecalcIndexRecord(record);
    const int r = current->CompareForIndex(&list, key, record, nearest, false);
    if ((r == 0 && (!visibleOnly || table_->IsRecordVisible(record, false))) || (nearest && r < 0)) {
      position = k;
      return true;
    }
  }
  return false;
}

void TdvoIndexes::CheckUniqueKeys(const TRecord* newValues, const TRecord* stored) {
  if (!table_->EnableIndexes()) return;
  for (auto& index : indexes_) {
    const int options = index->Options();
    if (!index->IsEnabled() || !(options & mtcoUnique) || (options & mtcoNonMaintained)) continue;
    int position = -1;
    bool found = false;
    const int result = index->SearchIndex(nullptr, newValues, false, false, position, found);
    if (result != 0 || !found || position < 0) continue;
    // The record's own entry among the equal keys means the post adds no
    // duplicate, also where a rebuild that met one left the key held twice.
    bool own = false;
    for (int k = position; k < index->EntryCount() && !own; ++k) {
      const TRecord* entry = index->EntryAt(k);
      if (index->CompareForIndex(nullptr, newValues, entry, false, false) != 0) break;
      own = entry == stored;
    }
    if (!own) throw EMemTableDupKey();
  }
}

void TdvoIndexes::CheckRebuildBringsNoDuplicates(const std::vector<TRecord*>& records,
                                                 const std::vector<TRecord*>& before) {
  for (auto& index : indexes_)
    if (index->RebuildBringsDuplicates(records, before)) throw EMemTableDupKey();
}

bool TdvoIndexes::ChecksUniqueRebuild() const {
  return std::any_of(indexes_.begin(), indexes_.end(), [](const auto& index) { return index->RebuildChecksUnique(); });
}

void TdvoIndexes::MaintainIndexes(TRecordChange change, TRecord* stored, TRecord* other, int positionHint,
                                  TIndexUndo* undo) {
  if (undo != nullptr) undo->NoteCursor(*table_);
  for (size_t i = 0; i < indexes_.size(); ++i)
    MaintainIndex(*indexes_[i], change, stored, other, positionHint, undo);
}

void TdvoIndexes::RemoveEntry(TdvoIndex& index, int position, TIndexUndo* undo) {
  if (position < 0 || position >= index.EntryCount()) return;
  if (undo != nullptr) undo->NoteRemove(index, position, index.EntryData(position));
  index.RemoveEntry(position);
}

void TdvoIndexes::MaintainIndex(TdvoIndex& index, TRecordChange change, TRecord* stored, TRecord* other,
                                int hint, TIndexUndo* undo) {
  if (undo != nullptr) undo->NoteIndex(index);
  const bool skipped = (index.Options() & mtcoNonMaintained) ||
                       (!table_->EnableIndexes() && change != TRecordChange::Delete) || !index.IsEnabled();
  if (skipped) {
    index.SetInOrder(false);
    // Even an index nobody maintains must not keep a record that is about to
    // be freed: walking or sorting it later would read freed memory.
    if (change == TRecordChange::Delete && stored != nullptr) {
      RemoveEntry(index, index.EntryPosition(stored), undo);
    }
    return;
  }

  // An index that was out of order before this change is still out of order
  // after it; only the row order (searched by slot, with a scan behind the
  // halving) may be declared in order here.
  if (index.IsRowOrder() || index.EntryCount() == 0) index.SetInOrder(true);

  const bool current = table_->CurrentIndex() == &index;
  const int count = index.EntryCount();
  switch (change) {
    case TRecordChange::Insert: {
      TRecord* record = other != nullptr ? other : stored;
      if (record == nullptr || !index.PassesIndexFilter(record)) return;
      int position = count;
      if (index.IsRowOrder()) {
        if (current && hint >= 0) position = std::min(std::max(hint - 1, 0), count);
      } else if (count > 0) {
        int at = -1;
        bool found = false;
        index.SearchIndex(nullptr, record, true, false, at, found);
        if (at >= 0 && at <= count) position = at;
      }
      position = index.InsertEntry(position, record);
      if (undo != nullptr) undo->NoteInsert(index, position);
      if (current) {
        table_->SetCursorPosition(position);
        record->RowNumber = position;
      }
      break;
    }
    case TRecordChange::Edit: {
      if (index.IsRowOrder() || stored == nullptr || other == nullptr) return;
      if (index.CompareForIndex(nullptr, stored, other, false, false) == 0) {
        if (current) table_->SetCursorPosition(other->RowNumber);
        return;
      }
      // The cursor names the record only when it really sits there.
      int old = -1;
      if (current && hint >= 0 && index.EntryAt(hint) == stored)
        old = hint;
      else
        old = index.FindRecordPosition(stored);
      RemoveEntry(index, old, undo);
      if (!index.PassesIndexFilter(other)) return;
      int position = index.EntryCount();
      if (position > 0) {
        int at = -1;
        bool found = false;
        index.SearchIndex(nullptr, other, true, false, at, found);
        if (at >= 0 && at <= position) position = at;
      }
      position = index.InsertEntry(position, stored, other);
      if (undo != nullptr) undo->NoteInsert(index, position);
      if (current) {
        table_->SetCursorPosition(position);
        stored->RowNumber = position;
      }
      break;
    }
    case TRecordChange::Delete: {
      if (count == 0 || stored == nullptr) return;
      const int position =
          index.IsRowOrder() ? index.FindSlotPosition(stored->SlotIndex) : index.FindRecordPosition(stored);
      RemoveEntry(index, position, undo);
      if (current) table_->SetCursorPosition(position);
      break;
    }
  }
}

}  // namespace ts
