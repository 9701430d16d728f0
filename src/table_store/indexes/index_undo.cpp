#include "table_store/indexes/index_undo.h"

#include <type_traits>

#include "table_store/indexes/index.h"
#include "table_store/indexes/indexed_table.h"

namespace ts {

void TIndexUndo::Push(const TStep& step) {
  static_assert(std::is_trivially_destructible_v<TStep>);
  if (inlineCount_ < kInline)
    new (&inline_[inlineCount_++ * sizeof(TStep)]) TStep(step);
  else
    more_.push_back(step);
}

void TIndexUndo::NoteIndex(TdvoIndex& index) {
  TStep step;
  step.kind = TKind::Flags;
  step.index = &index;
  step.inOrder = index.InOrder();
  step.headsInOrder = index.HeadsInOrder();
  Push(step);
}

void TIndexUndo::NoteCursor(TIndexedTable& table) {
  TStep step;
  step.kind = TKind::Cursor;
  step.table = &table;
  step.value = table.CursorPosition();
  Push(step);
}

void TIndexUndo::NoteRowNumber(TRecord* record) {
  if (record == nullptr) return;
  TStep step;
  step.kind = TKind::RowNumber;
  step.record = record;
  step.value = record->RowNumber;
  Push(step);
}

void TIndexUndo::NoteInsert(TdvoIndex& index, int position) {
  TStep step;
  step.kind = TKind::Insert;
  step.index = &index;
  step.value = position;
  Push(step);
}

void TIndexUndo::NoteRemove(TdvoIndex& index, int position, const TEntry& entry) {
  TStep step;
  step.kind = TKind::Remove;
  step.index = &index;
  step.value = position;
  step.entry = entry;
  Push(step);
}

void TIndexUndo::Undo() {
  auto undo = [](const TStep& step) {
    switch (step.kind) {
      case TKind::Flags: step.index->RestoreOrderFlags(step.inOrder, step.headsInOrder); break;
      case TKind::Cursor: step.table->SetCursorPosition(step.value); break;
      case TKind::RowNumber: step.record->RowNumber = step.value; break;
      case TKind::Insert: step.index->RemoveEntry(step.value); break;
      case TKind::Remove: step.index->RestoreEntry(step.value, step.entry); break;
    }
  };
  for (size_t i = more_.size(); i-- > 0;) undo(more_[i]);
  for (size_t i = inlineCount_; i-- > 0;) undo(InlineStep(i));
  more_.clear();
  inlineCount_ = 0;
}

}  // namespace ts
