// TdvoCustomMemTable: bookmarks. A bookmark names a stored record and the
// store contents it was taken from; it also keeps the record's slot and
// serial id, so a record that has left the store is recognised by looking
// at the slot, never by reading the freed record.
#include "table_store/dataset/mem_table.h"
#include "table_store/indexes/index.h"
#include "table_store/messages.h"

namespace ts {

namespace {

// The position a missing bookmark is reported with.
constexpr int kMissingBookmark = -200;

}  // namespace

TBookmark TdvoCustomMemTable::BookmarkOf(const TRecord* buffer) const {
  TLockGuard guard(store_->Lock());
  TBookmark bookmark;
  bookmark.ContentsId = store_->ContentsId();
  if (buffer == nullptr) return bookmark;
  bookmark.Record = store_->BookmarkRecord(buffer, attachSlot_);
  if (buffer->SlotIndex >= 0) {
    // A record read into the buffer: that very record while it is there (a
    // rollback may have brought back an older version in its place), else
    // a bookmark that is not valid.
    if (TRecord* own = store_->ValueSource(buffer)) {
      bookmark.Record = own;
      bookmark.SlotIndex = own->SlotIndex;
      bookmark.SerialId = own->SerialId;
    }
    return bookmark;
  }
  if (bookmark.Record == nullptr) return bookmark;
  // A buffer that names a record other than its own (a new record placed
  // before it): find that record among the stored ones.
  for (int slot = 0; slot < store_->SlotCount(); ++slot) {
    if (store_->StoredRecord(slot) != bookmark.Record) continue;
    bookmark.SlotIndex = slot;
    bookmark.SerialId = bookmark.Record->SerialId;
    break;
  }
  return bookmark;
}

TBookmarkFlag TdvoCustomMemTable::BookmarkFlagOf(const TRecord* buffer) const {
  return static_cast<TBookmarkFlag>(store_->BookmarkFlag(buffer, attachSlot_));
}

void TdvoCustomMemTable::SetBookmarkData(TRecord* buffer, const TBookmark& bookmark) {
  store_->SetBookmarkRecord(buffer, attachSlot_, bookmark.Record);
}

void TdvoCustomMemTable::SetBookmarkFlag(TRecord* buffer, TBookmarkFlag flag) {
  store_->SetBookmarkFlag(buffer, attachSlot_, flag);
}

TBookmark TdvoCustomMemTable::GetBookmark() const {
  const TDataSetState state = State();
  if (!HasRecord() || (state != dsBrowse && state != dsEdit) || BookmarkFlagOf(ActiveBuffer()) != bfCurrent)
    return TBookmark{nullptr, store_->ContentsId()};
  return BookmarkOf(ActiveBuffer());
}

TRecord* TdvoCustomMemTable::RecordOfBookmark(const TBookmark& bookmark) const {
  if (bookmark.Record == nullptr || bookmark.ContentsId != store_->ContentsId()) return nullptr;
  return store_->RecordOf(bookmark.SlotIndex, bookmark.SerialId);
}

bool TdvoCustomMemTable::BookmarkValid(const TBookmark* bookmark) const {
  if (bookmark == nullptr) return false;
  TLockGuard guard(store_->Lock());
  return RecordOfBookmark(*bookmark) != nullptr;
}

void TdvoCustomMemTable::GotoBookmark(const TBookmark* bookmark) {
  if (bookmark == nullptr) throw EMemTableError(FormatMessage(msg::kBookmarkNotFound, {kMissingBookmark}));
  if (bookmark->Record == nullptr) return;
  CheckActive();
  CheckBrowseMode();
  DoBeforeScroll();
  {
    TLockGuard guard(store_->Lock());
    if (const TRecord* record = RecordOfBookmark(*bookmark)) {
      const int position = currentIndex_->FindRecordPosition(record);
      if (position >= 0) cursor_ = position;
    }
  }
  Resync();
  DataEvent(TDataEvent::DataSetChange, nullptr);
  DoAfterScroll();
}

int TdvoCustomMemTable::CompareBookmarks(const TBookmark* a, const TBookmark* b) const {
  TLockGuard guard(store_->Lock());
  const TRecord* x = a != nullptr ? RecordOfBookmark(*a) : nullptr;
  const TRecord* y = b != nullptr ? RecordOfBookmark(*b) : nullptr;
  if (x == nullptr || y == nullptr) return 0;
  int64_t order = 0;
  if (currentIndex_->IsRowOrder()) {
    order = static_cast<int64_t>(x->SlotIndex) - y->SlotIndex;
  } else {
    order = currentIndex_->CompareForIndex(nullptr, x, y, false, false);
    if (order == 0) order = static_cast<int64_t>(x->RowNumber) - y->RowNumber;
    if (order == 0) order = static_cast<int64_t>(x->SlotIndex) - y->SlotIndex;
  }
  return (order > 0) - (order < 0);
}

}  // namespace ts
