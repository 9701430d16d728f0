// TIndexUndo: what one change's index maintenance did, across every table of
// the store, so that a maintenance cut short (an event of some table raising
// halfway) can be taken back whole: each index's entries, its order flags,
// each table's cursor and the records' row numbers as they were before.
// Undoing runs no event and no comparison; it only puts back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "table_store/indexes/entry_list.h"
#include "table_store/record.h"

namespace ts {

class TdvoIndex;
class TIndexedTable;

class TIndexUndo {
 public:
  TIndexUndo() = default;
  TIndexUndo(const TIndexUndo&) = delete;
  TIndexUndo& operator=(const TIndexUndo&) = delete;

  // Before an index is touched: its order flags.
  void NoteIndex(TdvoIndex& index);
  // Before a table's maintenance: its cursor.
  void NoteCursor(TIndexedTable& table);
  // Before a record's row number may change.
  void NoteRowNumber(TRecord* record);
  // After an entry went in at `position`.
  void NoteInsert(TdvoIndex& index, int position);
  // Before the entry at `position` goes.
  void NoteRemove(TdvoIndex& index, int position, const TEntry& entry);

  // Puts everything back, last change first.
  void Undo();

 private:
  enum class TKind : uint8_t { Flags, Cursor, RowNumber, Insert, Remove };
  struct TStep {
    TKind kind = TKind::Flags;
    bool inOrder = false;
    bool headsInOrder = false;
    int32_t value = 0;  // position, cursor or row number
    TdvoIndex* index = nullptr;
    TIndexedTable* table = nullptr;
    TRecord* record = nullptr;
    TEntry entry;
  };
  void Push(const TStep& step);

  TStep& InlineStep(size_t i) { return *std::launder(reinterpret_cast<TStep*>(inline_) + i); }

  // Most changes touch a few indexes: their steps need no allocation, and
  // the room for them is not even cleared until a step is written there.
  static constexpr size_t kInline = 12;
  alignas(TStep) unsigned char inline_[kInline * sizeof(TStep)];
  size_t inlineCount_ = 0;
  std::vector<TStep> more_;
};

}  // namespace ts
