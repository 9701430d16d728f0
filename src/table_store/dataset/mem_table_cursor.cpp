// TdvoCustomMemTable: the cursor over the current index, fetching records
// into the buffer, the record number, and index selection.
#include <algorithm>

#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/dataset_messages.h"
#include "table_store/filter/filter_program.h"
#include "table_store/first_failure.h"
#include "table_store/messages.h"

namespace ts {

// ---- Cursor

void TdvoCustomMemTable::CursorBeforeFirst() { cursor_ = -1; }

void TdvoCustomMemTable::CursorAfterLast() { cursor_ = currentIndex_->EntryCount(); }

bool TdvoCustomMemTable::CursorStepNext(bool filterAlways) {
  const int count = currentIndex_->EntryCount();
  do {
    if (cursor_ >= count - 1) return false;
    ++cursor_;
  } while (!IsRecordVisible(currentIndex_->EntryAt(cursor_), filterAlways));
  return true;
}

bool TdvoCustomMemTable::CursorStepPrior(bool filterAlways) {
  const int count = currentIndex_->EntryCount();
  if (cursor_ > count) cursor_ = count;
  do {
    if (cursor_ < 1) return false;
    --cursor_;
  } while (!IsRecordVisible(currentIndex_->EntryAt(cursor_), filterAlways));
  return true;
}

TGetResult TdvoCustomMemTable::GetRecord(TRecord* buffer, TGetMode mode, bool /*doCheck*/) {
  return FetchRecord(buffer, mode);
}

TGetResult TdvoCustomMemTable::FetchRecord(TRecord* buffer, TGetMode mode) {
  TLockGuard guard(store_->Lock());
  TGetResult result = TGetResult::OK;
  switch (mode) {
    case TGetMode::Current: {
      const int count = currentIndex_->EntryCount();
      if (cursor_ >= count)
        result = TGetResult::EOF_;
      else if (cursor_ < 0)
        result = TGetResult::BOF;
      else if (!IsRecordVisible(currentIndex_->EntryAt(cursor_), false))
        result = TGetResult::EOF_;
      if (result != TGetResult::OK) result = TGetResult::Error;
      break;
    }
    case TGetMode::Next: result = CursorStepNext(false) ? TGetResult::OK : TGetResult::EOF_; break;
    case TGetMode::Prior: result = CursorStepPrior(false) ? TGetResult::OK : TGetResult::BOF; break;
  }
  if (result != TGetResult::OK) return result;
  TRecord* stored = currentIndex_->EntryAt(cursor_);
  // The buffer shares the stored record's out-of-line values by SlotIndex.
  store_->FreeOutOfLineValues(buffer);
  store_->InitRecord(buffer);
  store_->CopyRecord(stored, buffer);
  buffer->RowNumber = cursor_;
  buffer->StateBits = 0;
  for (int cell = 0; cell < store_->BookmarkCellCount(); ++cell) {
    store_->SetBookmarkRecord(buffer, cell, nullptr);
    store_->SetBookmarkFlag(buffer, cell, bfCurrent);
  }
  store_->SetBookmarkRecord(buffer, attachSlot_, stored);
  if (recalcOnFetch_) GetCalcFields(buffer);
  return TGetResult::OK;
}

TRecord* TdvoCustomMemTable::StoredRecordOf(const TRecord* buffer) const {
  // Only the record the buffer was read from, never a later one in its slot.
  TRecord* stored = store_->ValueSource(buffer);
  // Deleted since it was read (the record stays, marked, under versioning):
  // it has ended for the buffer as well.
  if (stored != nullptr && stored->ChangeStatus == rsDeleted && buffer->ChangeStatus != rsDeleted) return nullptr;
  return stored;
}

void TdvoCustomMemTable::InternalSetToRecord(TRecord* buffer) {
  TLockGuard guard(store_->Lock());
  TRecord* stored = StoredRecordOf(buffer);
  if (stored == nullptr || currentIndex_->EntryAt(cursor_) == stored) return;
  const int position = currentIndex_->FindRecordPosition(stored);
  if (position >= 0) cursor_ = position;
}

// ---- Filtering

void TdvoCustomMemTable::CompileFilter() {
  filterProgram_.reset();
  std::unique_ptr<TFilterProgram> program;
  ParseFilterExpression(*this, program, Filter(), FilterOptions());
  filterProgram_ = std::move(program);
}

void TdvoCustomMemTable::SetFiltered(bool value) {
  if (value == Filtered()) return;
  TDataSet::SetFiltered(value);
  if (!open_) return;
  if (value && !filterProgram_ && !Filter().empty()) {
    SetFilter(Filter());
    return;
  }
  First();
}

void TdvoCustomMemTable::SetFilter(std::string value) {
  TDataSet::SetFilter(std::move(value));
  filterProgram_.reset();
  if (!open_) return;
  CompileFilter();
  if (Filtered()) First();
}

bool TdvoCustomMemTable::FindVisibleRecord(bool restart, bool forward) {
  CheckActive();
  CheckBrowseMode();
  DoBeforeScroll();
  found_ = false;
  UpdateCursorPos();
  const int saved = cursor_;
  {
    TLockGuard guard(store_->Lock());
    if (forward) {
      if (restart) CursorBeforeFirst();
      found_ = CursorStepNext(true);
    } else {
      if (restart) CursorAfterLast();
      found_ = CursorStepPrior(true);
    }
  }
  if (!found_) {
    cursor_ = saved;
    return false;
  }
  Resync();
  DataEvent(TDataEvent::DataSetChange, nullptr);
  DoAfterScroll();
  return true;
}

// ---- Record number

int TdvoCustomMemTable::RecNo() const {
  if (!open_) return -1;
  const TRecord* buffer = nullptr;
  switch (State()) {
    case dsBrowse: buffer = HasRecord() ? ActiveBuffer() : nullptr; break;
    case dsEdit:
    case dsInsert: buffer = ActiveBuffer(); break;
    default: buffer = ActiveRecordForState(); break;
  }
  if (buffer == nullptr || buffer->RowNumber < 0) return -1;
  return buffer->RowNumber + 1;
}

// ---- Index selection

void TdvoCustomMemTable::SetCurrentIndexRef(TdvoIndex* index) {
  currentIndex_ = index != nullptr ? index : indexes_->RowOrderIndex();
  TdvoFieldList::CopyFieldList(currentIndex_->FieldList(), indexFieldList_);
  // Whatever made another index current (a choice, or the index taken away
  // by a sync, a load or a clear), the names say which one the open table
  // walks. A closed table keeps them as the choice for its next open.
  if (open_) NameCurrentIndex();
}

void TdvoCustomMemTable::NameCurrentIndex() {
  if (currentIndex_->IsRowOrder() || currentIndex_->IsInternal()) {
    indexFieldNames_.clear();
    indexName_.clear();
  } else {
    indexFieldNames_ = currentIndex_->FieldNames();
    indexName_ = currentIndex_->Name();
  }
}

void TdvoCustomMemTable::ChooseIndexByNames() {
  TdvoIndex* index = nullptr;
  if (!indexFieldNames_.empty())
    index = indexes_->FindIndexByFields(indexFieldNames_);
  else if (!indexName_.empty())
    index = indexes_->FindIndexByName(indexName_);
  if (index != nullptr)
    SelectIndex(index);
  else
    NameCurrentIndex();  // none of that name is left
}

void TdvoCustomMemTable::CloseAfterFailure() {
  try {
    Close();
  } catch (...) {
    // The failure that led here is the one to report.
  }
}

void TdvoCustomMemTable::SelectIndex(TdvoIndex* index) {
  if (index == nullptr) index = indexes_->RowOrderIndex();
  if (index == currentIndex_) return;
  int rememberedSlot = -1;
  if (open_) {
    CheckBrowseMode();
    if (HasRecord()) {
      UpdateCursorPos();
      // A buffer whose record is gone remembers none, not the record that
      // took its slot.
      if (const TRecord* record = StoredRecordOf(ActiveBuffer())) rememberedSlot = record->SlotIndex;
    }
  }
  TLockGuard guard(store_->Lock());
  SetCurrentIndexRef(index);
  NameCurrentIndex();
  if (cursor_ >= index->EntryCount()) cursor_ = index->EntryCount() - 1;
  if (!open_ || cursor_ < 0) {
    if (open_) Resync();
    return;
  }
  try {
    const int position = rememberedSlot >= 0 ? index->FindSlotPosition(rememberedSlot) : -1;
    if (position >= 0 && position < index->EntryCount() && IsRecordVisible(index->EntryAt(position), false)) {
      cursor_ = position;
    } else {
      CursorBeforeFirst();
      CursorStepNext(false);
    }
    Resync();
  } catch (...) {
    // The cursor cannot be placed in the new index: the table closes rather
    // than show a record it cannot move from.
    CloseAfterFailure();
    throw;
  }
}

void TdvoCustomMemTable::SetIndexFieldNames(std::string value) {
  if (!open_) {
    indexFieldNames_ = std::move(value);
    return;
  }
  if (value.empty()) {
    SelectIndex(indexes_->RowOrderIndex());
    return;
  }
  if (TdvoIndex* index = indexes_->FindIndexByFields(value)) SelectIndex(index);
}

void TdvoCustomMemTable::SetIndexName(std::string value) {
  if (!open_) {
    indexName_ = std::move(value);
    return;
  }
  if (value.empty()) {
    SelectIndex(indexes_->RowOrderIndex());
    return;
  }
  if (TdvoIndex* index = indexes_->FindIndexByName(value)) SelectIndex(index);
}

void TdvoCustomMemTable::CreateIndexesFromDefs() {
  TLockGuard guard(store_->Lock());
  indexes_->RemoveAllIndexes();
  for (int i = 0; i < indexDefs_.Count(); ++i) indexes_->AddIndexFromDef(indexDefs_[i]);
}

void TdvoCustomMemTable::SyncIndexes(bool reportDuplicates) {
  TLockGuard guard(store_->Lock());
  bool refresh = false;
  for (int i = indexes_->IndexCount() - 1; i >= 0; --i) {
    TdvoIndex* index = indexes_->IndexAt(i);
    if (index == indexes_->RowOrderIndex() || index == sortIndex_) continue;
    if (indexDefs_.Find(index->Name()) != nullptr) continue;
    const bool wasCurrent = index == currentIndex_;
    indexes_->UnregisterIndex(index);  // the returned index is freed here
    if (wasCurrent) refresh = true;
  }
  // A definition that cannot be built, or an index over duplicate keys of a
  // unique index, is reported only once every other index is whole and the
  // view shows them.
  TFirstFailure failure;
  for (int i = 0; i < indexDefs_.Count(); ++i)
    if (indexes_->FindIndexByName(indexDefs_[i].Name) == nullptr)
      failure.Run([&] { indexes_->AddIndexFromDef(indexDefs_[i]); });
  failure.Run([&] {
    indexes_->RebuildIndexes(
        true, [&](TdvoIndex& index) {
          if (&index == currentIndex_ && open_) refresh = true;
        },
        reportDuplicates);
  });
  if (refresh && open_ && State() != dsOpening) failure.Run([this] { Refresh(); });
  failure.Rethrow();
}

}  // namespace ts
