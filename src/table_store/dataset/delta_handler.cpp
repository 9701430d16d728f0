#include "table_store/dataset/delta_handler.h"

#include "table_store/dataset/mem_table.h"
#include "table_store/messages.h"

namespace ts {

// A running walk over a table, on the walker's stack: the table's end clears
// `table`, so the walk does not touch it afterwards.
struct TDeltaWalk {
  TdvoCustomMemTable* table;
  TDeltaWalk* outer;
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

void TdvoCustomDeltaHandler::Resolve(uint8_t state) {
  bool retry;
  do {
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
  TDeltaWalk walk{&table, table.deltaWalk_};
  table.deltaWalk_ = &walk;
  // Runs however the walk ends, also when an operation gave the table
  // another handler or none: the switch belongs to the table. The version
  // references would outlive the records they name (a later post or close
  // frees them): they go too.
  auto finish = [&] {
    newest_ = oldest_ = nullptr;
    if (walk.table == nullptr) return;
    table.deltaWalk_ = walk.outer;
    table.SetAttachedAutoRefresh(autoRefresh);
    if (autoRefresh) table.Store().RefreshOtherAttachedTables(nullptr);
  };
  try {
    TdvoCommon& store = table.Store();
    TLockGuard guard(store.Lock());
    const int slots = store.SlotCount();
    for (int slot = 0; slot < slots; ++slot) {
      // Read afresh: an operation may have changed the store.
      TRecord* newest = store.StoredRecord(slot);
      if (newest == nullptr) continue;
      TRecord* oldest = newest;
      while (oldest->OlderVersion != nullptr) oldest = oldest->OlderVersion;
      newest_ = newest;
      oldest_ = oldest;
      Resolve(ResolveState(newest, oldest));
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

void TdvoCustomMemTable::ForgetDeltaHandler() {
  for (TDeltaWalk* walk = deltaWalk_; walk != nullptr; walk = walk->outer) walk->table = nullptr;
  deltaWalk_ = nullptr;
  if (deltaHandler_ == nullptr) return;
  if (deltaHandler_->table_ == this) deltaHandler_->table_ = nullptr;
  std::erase(deltaHandler_->namedBy_, this);
  deltaHandler_ = nullptr;
}

}  // namespace ts
