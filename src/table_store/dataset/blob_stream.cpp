#include "table_store/dataset/blob_stream.h"

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "table_store/dataset/dataset_messages.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/messages.h"

namespace ts {

TdvoBlobStream::TdvoBlobStream(TdvoCustomMemTable& table, TField& field, TBlobStreamMode mode)
    : table_(&table), field_(&field), fieldLabel_(field.DisplayLabel()), mode_(mode), fieldNo_(field.FieldNo()) {
  TdvoCommon& store = table.Store();
  TLockGuard guard(store.Lock());
  if (mode_ != TBlobStreamMode::Read) {
    if (!table.IgnoreReadOnly() && field.ReadOnly())
      throw EDatabaseError(FormatMessage(msg::kFieldReadOnly, {field.DisplayLabel()}));
    if (table.State() != dsEdit && table.State() != dsInsert) throw EDatabaseError(msg::kNotEditing);
  }
  if (!table.IndexTableOpen()) return;
  record_ = table.ActiveRecordForState();
  if (record_ == nullptr) return;
  bufferSlot_ = store.FieldSlot(record_, field);
  if (bufferSlot_ == nullptr) return;
  stored_ = store.ValueSource(record_);
  storedSlot_ = stored_ != nullptr ? store.FieldSlot(stored_, field) : nullptr;
  if (mode_ == TBlobStreamMode::Write)
    TruncateBlob();
  else
    LoadBlobIntoStream();
  if (mode_ != TBlobStreamMode::Read) table.blobStreams_.push_back(this);
}

TdvoBlobStream::~TdvoBlobStream() {
  if (modified_) {
    try {
      Flush();
    } catch (const Exception& error) {
      HandleApplicationException(error, table_);
    } catch (...) {
      // Nothing else may leave a destructor.
    }
  }
  if (table_ != nullptr) std::erase(table_->blobStreams_, this);
}

void TdvoBlobStream::Detach() {
  table_ = nullptr;
  field_ = nullptr;
  record_ = nullptr;
  bufferSlot_ = nullptr;
  stored_ = nullptr;
  storedSlot_ = nullptr;
}

void TdvoBlobStream::RefuseDetached() const {
  throw EMemTableError(FormatMessage(msg::kBlobStreamDetached, {fieldLabel_}));
}

int64_t TdvoBlobStream::Write(const void* buffer, int64_t count) {
  if (mode_ != TBlobStreamMode::Read && Detached()) RefuseDetached();
  const int64_t written = TMemoryStream::Write(buffer, count);
  if (mode_ != TBlobStreamMode::Read) modified_ = true;
  return written;
}

void TdvoBlobStream::LoadBlobIntoStream() {
  const uint8_t* block = SlotBlock(bufferSlot_);
  if (block == nullptr) {
    if (bufferSlot_[0] == kSlotNull) return;  // null field
    // The value is the record's the buffer was read from: gone, it is no
    // one's, and another record's would be wrong.
    if (stored_ == nullptr) throw EMemTableInvalidRecord();
    block = storedSlot_ != nullptr ? SlotBlock(storedSlot_) : nullptr;
    if (block == nullptr) return;
  }
  const int32_t length = ValueBlockLength(block);
  if (table_->OnDecompressBlobStream) {
    TMemoryStream compressed;
    if (length > 0) compressed.WriteBuffer(ValueBlockData(block), length);
    compressed.SetPosition(0);
    table_->OnDecompressBlobStream(*table_, compressed, *this);
  } else {
    SetSize(length);
    if (length > 0) std::memcpy(Memory(), ValueBlockData(block), static_cast<size_t>(length));
  }
  SetPosition(0);
}

void TdvoBlobStream::TruncateBlob() {
  Clear();
  FreeValueBlock(SlotBlock(bufferSlot_));
  SetSlotBlock(bufferSlot_, nullptr);
  bufferSlot_[0] = kSlotNull;
  modified_ = true;
}

void TdvoBlobStream::StoreBlobFromStream() {
  TValueBlock block = nullptr;
  auto makeBlock = [](const TMemoryStream& from) -> TValueBlock {
    if (from.Size() <= 0) return nullptr;
    if (from.Size() > INT32_MAX - 4)
      throw EMemTableError(FormatMessage(msg::kBlobTooLarge, {std::to_string(from.Size())}));
    return MakeValueBlock(from.Memory(), static_cast<int32_t>(from.Size()));
  };
  if (table_->OnCompressBlobStream) {
    TMemoryStream compressed;
    table_->OnCompressBlobStream(*table_, *this, compressed);
    block = makeBlock(compressed);
  } else {
    block = makeBlock(*this);
  }
  // Only now that the new value exists does the old one go.
  FreeValueBlock(SlotBlock(bufferSlot_));
  SetSlotBlock(bufferSlot_, block);
  bufferSlot_[0] = block != nullptr ? kSlotPresent : kSlotNull;
}

void TdvoBlobStream::Flush() {
  if (!modified_) return;
  if (Detached()) {
    // Refused once: the bytes have nowhere to go.
    modified_ = false;
    RefuseDetached();
  }
  if (bufferSlot_ != nullptr) {
    TLockGuard guard(table_->Store().Lock());
    StoreBlobFromStream();
    if (fieldNo_ >= 1) table_->Store().SetFieldModified(fieldNo_);
  }
  modified_ = false;
  // Only the cursor's buffer has unposted blob values that a cancel drops;
  // a record written directly (by a load) keeps what it was given.
  if (record_ != nullptr && record_ == table_->ActiveBuffer()) field_->SetBlobModified(true);
  table_->DataEvent(TDataEvent::FieldChange, field_);
}

}  // namespace ts
