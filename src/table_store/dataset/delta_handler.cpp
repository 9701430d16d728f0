#include "table_store/dataset/delta_handler.h"

#include "table_store/dataset/mem_table.h"
#include "table_store/messages.h"

namespace ts {

// A running walk over a table, on the walker's stack, holding the lock of
// the table's store. The table's end, or its leaving the store (the store
// going away with its owner among them), releases that hold while the store
// still exists and sets `ended`; the table's end also clears `table`. The
// walk touches neither afterwards.
struct TDeltaWalk {
  TdvoCustomMemTable* table;
  TdvoCommon* store;
  bool lockEntered;
  bool ended;
  TDeltaWalk* outer;
  // The store's contents the walk hands out: once emptied, none of its
  // records is left to follow.
  uint32_t contents;
};

namespace {

// The state a record's versions add up to since versioning began: a record
// that came and went again is as if untouched.
uint8_t ResolveState(const TRecord* newest, const TRecord* oldest) {
  const bool insertedSince = oldest->ChangeStatus == rsInserted;
  if (newest->ChangeStatus == rsDeleted) return insertedSince ? rsUnmodified : rsDeleted;
  return insertedSince ? rsInserted : newest->ChangeStatus;
}

}  // namespace

TdvoCustomDeltaHandler::~TdvoCustomDeltaHandler() {
  for (TdvoCustomMemTable* table : namedBy_) table->deltaHandler_ = nullptr;
}

void TdvoCustomDeltaHandler::CheckAttached() const {
  // A table that took another handler no longer counts as this one's.
  if (table_ == nullptr || table_->deltaHandler_ != this) throw EMemTableError(msg::kDeltaHandlerNotAssigned);
}

bool TdvoCustomDeltaHandler::TakeRecord(const TDeltaWalk& walk, int slot, int32_t serialId) {
  newest_ = oldest_ = nullptr;
  if (walk.ended || walk.store->ContentsId() != walk.contents) return false;
  newest_ = walk.store->RecordOf(slot, serialId);
  if (newest_ == nullptr) return false;
  oldest_ = newest_;
  while (oldest_->OlderVersion != nullptr) oldest_ = oldest_->OlderVersion;
  return true;
}

void TdvoCustomDeltaHandler::Resolve(uint8_t state, const TDeltaWalk& walk, int slot, int32_t serialId) {
  bool retry;
  do {
    // Each round follows the record afresh: the round before may have
    // taken back its versions, freed it or emptied the store.
    if (!TakeRecord(walk, slot, serialId)) break;
    retry = false;
    switch (state) {
      case rsUnmodified: ResolveUnmodified(retry, state); break;
      case rsModified: ResolveModified(retry, state); break;
      case rsInserted: ResolveInserted(retry, state); break;
      case rsDeleted: ResolveDeleted(retry, state); break;
      default: break;
    }
  } while (retry);
}

void TdvoCustomDeltaHandler::ResolveChanges() {
  CheckAttached();
  TdvoCustomMemTable& table = *table_;
  const bool autoRefresh = table.AttachedAutoRefresh();
  table.SetAttachedAutoRefresh(false);
  TdvoCommon& store = table.Store();
  TDeltaWalk walk{&table, &store, false, false, table.deltaWalk_, store.ContentsId()};
  table.deltaWalk_ = &walk;
  // Runs however the walk ends, also when an operation gave the table
  // another handler or none: the switch belongs to the table. The version
  // references would outlive the records they name (a later post or close
  // frees them): they go too.
  auto finish = [&] {
    newest_ = oldest_ = nullptr;
    if (walk.table == nullptr) return;
    if (!walk.ended) {
      table.deltaWalk_ = walk.outer;
      store.Lock().Leave(walk.lockEntered);
    }
    table.SetAttachedAutoRefresh(autoRefresh);
    if (autoRefresh) table.Store().RefreshOtherAttachedTables(nullptr);
  };
  try {
    walk.lockEntered = store.Lock().Enter();
    const int slots = store.SlotCount();
    for (int slot = 0; slot < slots && !walk.ended; ++slot) {
      // Read afresh: an operation may have changed the store.
      const TRecord* record = store.StoredRecord(slot);
      if (record == nullptr || !TakeRecord(walk, slot, record->SerialId)) continue;
      Resolve(ResolveState(newest_, oldest_), walk, slot, record->SerialId);
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

// ---- The table's side

void TdvoCustomMemTable::SetDeltaHandler(TdvoCustomDeltaHandler* handler) {
  if (deltaHandler_ != nullptr) {
    deltaHandler_->table_ = nullptr;
    std::erase(deltaHandler_->namedBy_, this);
  }
  if (handler != nullptr) {
    handler->table_ = this;
    handler->namedBy_.push_back(this);
  }
  deltaHandler_ = handler;
}

void TdvoCustomMemTable::EndDeltaWalks(bool tableEnds) {
  for (TDeltaWalk* walk = deltaWalk_; walk != nullptr; walk = walk->outer) {
    walk->store->Lock().Leave(walk->lockEntered);
    walk->lockEntered = false;
    walk->ended = true;
    if (tableEnds) walk->table = nullptr;
  }
  deltaWalk_ = nullptr;
}

void TdvoCustomMemTable::ForgetDeltaHandler() {
  EndDeltaWalks(true);
  if (deltaHandler_ == nullptr) return;
  if (deltaHandler_->table_ == this) deltaHandler_->table_ = nullptr;
  std::erase(deltaHandler_->namedBy_, this);
  deltaHandler_ = nullptr;
}

}  // namespace ts
