#include "table_store/dataset/delta_handler.h"

#include "table_store/dataset/mem_table.h"
#include "table_store/messages.h"

namespace ts {

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
  TdvoCommon& store = table.Store();
  const bool autoRefresh = table.AttachedAutoRefresh();
  table.SetAttachedAutoRefresh(false);
  // Runs however the walk ends. The version references would outlive the
  // records they name (a later post or close frees them): they go too.
  auto finish = [&] {
    newest_ = oldest_ = nullptr;
    if (table_ != &table) return;
    table.SetAttachedAutoRefresh(autoRefresh);
    if (autoRefresh) store.RefreshOtherAttachedTables(nullptr);
  };
  try {
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
  if (deltaHandler_ == nullptr) return;
  if (deltaHandler_->table_ == this) deltaHandler_->table_ = nullptr;
  std::erase(deltaHandler_->namedBy_, this);
  deltaHandler_ = nullptr;
}

}  // namespace ts
