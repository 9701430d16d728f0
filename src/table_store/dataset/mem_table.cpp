// TdvoCustomMemTable: construction, open and close, field definitions, field
// reads and writes, and the store callbacks.
#include "table_store/dataset/mem_table.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "table_store/compare.h"
#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/data_source.h"
#include "table_store/dataset/dataset_messages.h"
#include "table_store/dataset/field_buffer.h"
#include "table_store/dataset/object_fields.h"
#include "table_store/filter/filter_program.h"
#include "table_store/indexes/key_fields.h"
#include "table_store/messages.h"

namespace ts {

namespace {

TFieldDefDesc DescribeDef(const TFieldDef& def) {
  TFieldDefDesc desc;
  desc.Name = def.Name();
  desc.DisplayName = def.DisplayName();
  desc.DataType = def.DataType();
  desc.Size = def.Size();
  for (int i = 0; i < def.ChildDefs().Count(); ++i) desc.Children.push_back(DescribeDef(def.ChildDefs()[i]));
  return desc;
}

void AddDefsOfField(TFieldDefs& defs, const TField& field) {
  TFieldDef& def = defs.Add(field.FieldName(), field.DataType(), field.Size(), field.Required());
  if (field.FieldKind() == fkInternalCalc) def.SetInternalCalcField(true);
  const auto* object = dynamic_cast<const TObjectField*>(&field);
  if (object == nullptr || object->ChildCount() == 0) return;
  if (field.DataType() == ftArray) {
    // One element definition; the array's Size says how often it repeats.
    AddDefsOfField(def.ChildDefs(), object->Child(0));
    def.ChildDefs()[0].SetName(field.FieldName());
    def.SetSize(object->ChildCount());
  } else {
    for (int i = 0; i < object->ChildCount(); ++i) AddDefsOfField(def.ChildDefs(), object->Child(i));
  }
}

}  // namespace

TdvoCustomMemTable::TdvoCustomMemTable(std::string name) : TDataSet(std::move(name)) {
  MakeOwnStore();
  InitMasterLink();
}

TdvoCustomMemTable::~TdvoCustomMemTable() {
  try {
    Close();
  } catch (...) {
    // A table going away cannot report; its records go with the store.
  }
  DetachBlobStreams();
  while (!lockEntered_.empty()) UnlockTable();
  FreeLocateKeyRecord();
  ForgetDeltaHandler();
  store_->DetachTableFromStore(this);
  indexes_.reset();
  // Tables still attached to this table's store are told it is gone.
  ownStore_.reset();
  store_ = nullptr;
}

TdvoMemTable::~TdvoMemTable() = default;

// ---- Field definitions

void TdvoCustomMemTable::FieldDefsFromFields() {
  FieldDefs().Clear();
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& field = Field(i);
    if (field.FieldKind() == fkData || field.FieldKind() == fkInternalCalc) AddDefsOfField(FieldDefs(), field);
  }
}

std::vector<TFieldDefDesc> TdvoCustomMemTable::StoreFieldDefs() const {
  std::vector<TFieldDefDesc> list;
  list.reserve(static_cast<size_t>(FieldDefs().Count()));
  for (int i = 0; i < FieldDefs().Count(); ++i) list.push_back(DescribeDef(FieldDefs()[i]));
  return list;
}

void TdvoCustomMemTable::SetupField(int fieldNo, const TFieldDefDesc& /*def*/, uint8_t& fieldFlags) {
  for (TField* field : FieldList())
    if (field->FieldNo() == fieldNo) {
      OnSetupField(*this, *field, fieldFlags);
      return;
    }
}

void TdvoCustomMemTable::DecompressField(const TFieldInfo& field, const uint8_t* buffer, int32_t& size,
                                         const uint8_t*& resultBuffer) {
  OnDecompressField(*this, const_cast<TField&>(static_cast<const TField&>(field)), buffer, size, resultBuffer);
}

void TdvoCustomMemTable::CompareFields(const void* keyField, const void* aField, TFieldType type, int options,
                                       bool& fullCompare, int& result) {
  OnCompareFields(*this, keyField, aField, type, options, fullCompare, result);
}

TFieldKind TdvoCustomMemTable::IndexFieldKind(const TFieldInfo& field) const {
  return static_cast<const TField&>(field).FieldKind();
}

std::string TdvoCustomMemTable::IndexFieldDisplayName(const TFieldInfo& field) const {
  return static_cast<const TField&>(field).DisplayName();
}

// ---- Open and close

void TdvoCustomMemTable::InternalOpen() {
  if (attachedTo_ != nullptr && !attachedTo_->Active()) attachedTo_->Open();
  TLockGuard guard(store_->Lock());
  if (attachedTo_ != nullptr) {
    OpenAttachedFields();
  } else {
    if (!DefaultFields()) FieldDefsFromFields();
    ResetAutoIncCounter();
    if (DefaultFields()) {
      if (FieldDefs().Count() == 0) throw EMemTableError(msg::kNoFields);
      CreateFields();
    }
    ResetAutoIncCounter();
  }
  BindFields(true);
  if (attachedTo_ == nullptr) {
    store_->BuildRecordLayout();
    // Emptied by the last close, with no table open on it since: no
    // reference to its former records remains to be taken for a new one.
    store_->RestartIds();
  } else {
    try {
      CheckAttachedFieldsMatchLayout();
    } catch (...) {
      BindFields(false);
      throw;
    }
  }
  // The indexes come before the open flag: the names stay the choice that
  // the after-open steps make.
  CreateIndexesFromDefs();
  SetCurrentIndexRef(indexes_->RowOrderIndex());
  open_ = true;
  cursor_ = -1;
  savedPosition_ = -1;
  BuildMasterDetailLists();
  closeDone_ = false;
}

void TdvoCustomMemTable::DoAfterOpen() {
  if (afterOpenRunning_) return;
  afterOpenRunning_ = true;
  try {
    indexes_->InvalidateAllIndexes();
    SyncIndexes();
    ChooseIndexByNames();
    LoadPersistentFile();
    // A detail on the current index's fields can take the master's values
    // only now that the index is chosen.
    if (masterRecord_ == nullptr && FillMasterRecord()) First();
    if (!Filter().empty()) {
      CompileFilter();
      // The first record was chosen before the program existed.
      if (Filtered() && FilterProgram() != nullptr) First();
    }
  } catch (...) {
    afterOpenRunning_ = false;
    // An Open that fails leaves the table closed, not open over indexes it
    // could not build. Nothing is written back over the persistent file:
    // the table may hold only part of it.
    persistentSaved_ = true;
    CloseAfterFailure();
    throw;
  }
  afterOpenRunning_ = false;
  TDataSet::DoAfterOpen();
}

void TdvoCustomMemTable::DoBeforeClose() {
  if (closeDone_) return;
  TDataSet::DoBeforeClose();
  // A failed save keeps the table open: its records are not lost.
  SavePersistentFile();
  closeDone_ = true;
}

void TdvoCustomMemTable::InternalClose() {
  TLockGuard guard(store_->Lock());
  if (store_->Owner() == this) {
    ReportProgress(0, mtpcEmpty);
    store_->CloseAndEmptyStore();
    ReportProgress(100, mtpcEmpty);
    store_->CloseOtherAttachedTables(this);
  }
  // Closed first: the names of the current index stay the choice for the
  // next open.
  open_ = false;
  indexes_->RemoveAllIndexes();
  SetCurrentIndexRef(indexes_->RowOrderIndex());
  cursor_ = -1;
  BindFields(false);
  keyRecord_ = nullptr;
  filterRecord_ = nullptr;
  overrideRecord_ = nullptr;
  FreeLocateKeyRecord();
  ReleaseRange();
  FreeMasterRecord();
  detailFieldList_.ClearFields();
  autoIncField_ = nullptr;
}

void TdvoCustomMemTable::StoreEndPendingEdit() {
  if (open_ && (State() == dsEdit || State() == dsInsert)) Cancel();
}

void TdvoCustomMemTable::StoreBeforeUndo() {
  if (!open_ || State() != dsEdit) return;
  TRecord* buffer = ActiveBuffer();
  TRecord* stored = StoredRecordOf(buffer);
  if (stored == nullptr || store_->VersionBeforeLevel(stored) == stored) return;
  // The buffer shows the version being undone: it keeps that version's
  // values rather than reading the one brought back (or none) beside them.
  store_->CopySharedValues(buffer, stored);
  editTakenBack_ = true;
}

void TdvoCustomMemTable::StoreEmptyTableView() {
  ClearBuffers();
  if (ActiveBuffer() != nullptr) store_->FreeOutOfLineValues(ActiveBuffer());
  indexes_->EmptyAllIndexes();
  cursor_ = -1;
}

TRecord* TdvoCustomMemTable::AllocRecordBuffer() { return store_->AllocRecord(); }

void TdvoCustomMemTable::FreeRecordBuffer(TRecord*& buffer) {
  // A buffer shares its older versions with the stored record: only its own
  // values go with it.
  if (buffer != nullptr) buffer->StateBits = 0;
  store_->FreeRecord(buffer, true, false);
  buffer = nullptr;
}

void TdvoCustomMemTable::InternalInitRecord(TRecord* buffer) {
  store_->FreeOutOfLineValues(buffer);
  store_->InitRecord(buffer);
}

void TdvoCustomMemTable::ClearCalcFields(TRecord* buffer) {
  if (buffer == nullptr || store_->CalcSize() <= 0) return;
  std::memset(buffer->Values() + store_->CalcStart(), 0, static_cast<size_t>(store_->CalcSize()));
}

void TdvoCustomMemTable::RecalcRecord(TRecord* record) {
  if (HasCalcFields()) GetCalcFields(record);
}

// ---- Field reads and writes

TRecord* TdvoCustomMemTable::ActiveRecordForState() const {
  TLockGuard guard(store_->Lock());
  if (overrideRecord_ != nullptr) return overrideRecord_;
  switch (State()) {
    case dsBrowse: return HasRecord() ? ActiveBuffer() : nullptr;
    case dsEdit:
    case dsInsert:
    case dsNewValue:
    case dsCurValue:
    case dsBlockRead: return ActiveBuffer();
    case dsSetKey: return keyRecord_;
    case dsCalcFields: return CalcBuffer();
    case dsFilter: return filterRecord_;
    case dsOldValue: {
      TRecord* buffer = ActiveBuffer();
      TRecord* record = store_->ValueSource(buffer);
      if (record == nullptr) return buffer;
      while (record->OlderVersion != nullptr) record = record->OlderVersion;
      return record;
    }
    default: return nullptr;
  }
}

TUpdateStatus TdvoCustomMemTable::UpdateStatus() const {
  const TRecord* record = ActiveRecordForState();
  return record ? record->ChangeStatus : rsUnmodified;
}

bool TdvoCustomMemTable::GetFieldData(const TField& field, void* buffer) {
  TLockGuard guard(store_->Lock());
  if (!open_) return false;
  const TRecord* record = ActiveRecordForState();
  if (record == nullptr) return false;
  return ReadRecordField(record, field, buffer);
}

const uint8_t* TdvoCustomMemTable::RecordFieldBytes(const TRecord* record, const TField& field, bool& present) {
  const int fieldNo = field.FieldNo();
  if (fieldNo > 0 && store_->IsOutOfLine(fieldNo)) return nullptr;
  const uint8_t* slot = store_->FieldSlot(record, field);
  if (slot == nullptr) return nullptr;
  present = slot[0] != kSlotNull;
  return slot + 1;
}

bool TdvoCustomMemTable::ReadRecordField(const TRecord* record, const TField& field, void* buffer) {
  const uint8_t* slot = store_->FieldSlot(record, field);
  if (slot == nullptr || slot[0] == kSlotNull) return false;
  const int fieldNo = field.FieldNo();
  // Every field the layout placed out of line reads from its block, whatever
  // its kind: its slot holds no value bytes.
  if (fieldNo > 0 && store_->IsOutOfLine(fieldNo)) {
    const uint8_t* block = SlotBlock(slot);
    if (block == nullptr) {
      // A buffer shares the value of the record it was read from, and only
      // of that record: once it is gone there is no value to read.
      const TRecord* stored = store_->ValueSource(record);
      if (stored == nullptr && buffer != nullptr) throw EMemTableInvalidRecord();
      const uint8_t* storedSlot = stored ? store_->FieldSlot(stored, field) : nullptr;
      if (storedSlot != nullptr) block = SlotBlock(storedSlot);
    }
    if (IsBlobFieldType(field.DataType()) || buffer == nullptr || block == nullptr) return true;
    const uint8_t* bytes = ValueBlockData(block);
    int32_t size = ValueBlockLength(block);
    if (store_->IsCompressed(fieldNo)) {
      TStoreTable* owner = store_->Owner();
      if (owner != nullptr && owner->HasDecompressFieldEvent()) {
        const uint8_t* result = bytes;
        owner->DecompressField(field, bytes, size, result);
        bytes = result;
      } else {
        bytes = DefaultDecompressValue(field.DataType(), bytes, size);
      }
    }
    const int32_t count = std::clamp(size, 0, field.DataSize());
    if (count > 0 && bytes != nullptr) std::memcpy(buffer, bytes, static_cast<size_t>(count));
    return true;
  }
  if (buffer != nullptr) {
    const int64_t bytes = FieldStorageSize(field.DataType(), field.Size());
    if (bytes > 0) std::memcpy(buffer, slot + 1, static_cast<size_t>(bytes));
  }
  return true;
}

void TdvoCustomMemTable::WriteSlot(TRecord* /*record*/, TField& field, uint8_t* slot, const uint8_t* source) {
  const int fieldNo = field.FieldNo();
  if (fieldNo > 0 && store_->IsOutOfLine(fieldNo)) {
    TValueBlock block = nullptr;
    if (source != nullptr) {
      // Build the new value before dropping the old one.
      const uint8_t* bytes = source;
      int32_t size = field.DataSize();
      if (store_->IsCompressed(fieldNo)) {
        TStoreTable* owner = store_->Owner();
        auto* ownerTable = dynamic_cast<TdvoCustomMemTable*>(owner);
        if (ownerTable != nullptr && ownerTable->OnCompressField) {
          const uint8_t* result = bytes;
          ownerTable->OnCompressField(*ownerTable, field, bytes, size, result);
          bytes = result;
        } else {
          bytes = DefaultCompressValue(field.DataType(), bytes, size);
        }
      }
      block = MakeValueBlock(bytes, std::max(size, 0));
    }
    FreeValueBlock(SlotBlock(slot));
    SetSlotBlock(slot, block);
  } else if (source != nullptr) {
    const int64_t bytes = FieldStorageSize(field.DataType(), field.Size());
    if (bytes > 0) std::memcpy(slot + 1, source, static_cast<size_t>(bytes));
  }
  slot[0] = source != nullptr ? kSlotPresent : kSlotNull;
  if (fieldNo >= 1) store_->SetFieldModified(fieldNo);
}

void TdvoCustomMemTable::SetFieldData(TField& field, const void* buffer) {
  if (!open_) return;
  TLockGuard guard(store_->Lock());
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields && state != dsFilter &&
      state != dsNewValue && state != dsInternalCalc)
    DatabaseError(msg::kNotEditing);
  TRecord* record = ActiveRecordForState();
  if (record == nullptr) return;
  uint8_t* slot = store_->FieldSlot(record, field);
  if (slot == nullptr) return;
  if (!ignoreReadOnly_ && (readOnly_ || (field.ReadOnly() && state != dsSetKey)))
    throw EDatabaseError(FormatMessage(msg::kFieldReadOnly, {field.DisplayLabel()}));
  // A blob's bytes arrive through its stream; here it can only be cleared.
  if (buffer != nullptr && IsBlobFieldType(field.DataType())) throw EInvalidCast();
  // The field's own check runs before anything changes.
  if (field.FieldKind() == fkData || field.FieldKind() == fkCalculated || field.FieldKind() == fkInternalCalc)
    field.Validate(buffer);
  WriteSlot(record, field, slot, static_cast<const uint8_t*>(buffer));
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue) DataEvent(TDataEvent::FieldChange, &field);
}

void TdvoCustomMemTable::DataEvent(TDataEvent event, TField* field) {
  if (store_->Busy()) return;
  TDataSet::DataEvent(event, field);
}

void TdvoCustomMemTable::SetFieldVariant(TRecord* record, TField& field, const TValue& value) {
  TLockGuard guard(store_->Lock());
  uint8_t* slot = store_->FieldSlot(record, field);
  if (slot == nullptr) return;
  const int fieldNo = field.FieldNo();
  const bool outOfLine = fieldNo > 0 && store_->IsOutOfLine(fieldNo);
  if (value.IsBlank()) {
    if (outOfLine) {
      // The slot's block goes with its value rather than being overwritten.
      FreeValueBlock(SlotBlock(slot));
      SetSlotBlock(slot, nullptr);
    } else {
      const int64_t bytes = FieldStorageSize(field.DataType(), field.Size());
      if (bytes > 0) std::memset(slot + 1, 0, static_cast<size_t>(bytes));
    }
    slot[0] = kSlotNull;
    return;
  }
  if (IsBlobFieldType(field.DataType())) {
    const std::string bytes = value.ToString();
    TValueBlock block =
        bytes.empty() ? nullptr : MakeValueBlock(bytes.data(), static_cast<int32_t>(std::min<size_t>(bytes.size(), INT32_MAX)));
    FreeValueBlock(SlotBlock(slot));
    SetSlotBlock(slot, block);
    slot[0] = block ? kSlotPresent : kSlotNull;
    if (fieldNo >= 1) store_->SetFieldModified(fieldNo);
    return;
  }
  TValue converted = value;
  if (field.DataType() == ftLargeint &&
      (value.Kind() == TValueKind::Float || value.Kind() == TValueKind::DateTime)) {
    // Floats are cut toward zero; integers arrive exactly.
    const double truncated = std::trunc(value.ToFloat());
    if (!(truncated >= -9223372036854775808.0 && truncated < 9223372036854775808.0))
      throw ERangeError(FormatMessage(msg::kFieldRange, {value.ToString(), field.DisplayName(), INT64_MIN, INT64_MAX}));
    converted = TValue::Integer(static_cast<int64_t>(truncated));
  }
  TFieldBuffer buffer(static_cast<size_t>(field.DataSize()) + 1);
  field.EncodeValue(converted, buffer.data());
  WriteSlot(record, field, slot, buffer.data());
}

namespace {

void CheckOneDimension(const TValue& values) {
  if (values.IsArray())
    for (const TValue& element : values.Elements())
      if (element.IsArray()) throw EMemTableError(msg::kBadDimensionCount);
}

}  // namespace

void TdvoCustomMemTable::SetFieldVariants(TRecord* record, std::string_view fieldNames, const TValue& values) {
  CheckOneDimension(values);
  TdvoFieldList list;
  ParseKeyFieldList(*this, list, fieldNames);
  SetFieldVariants(record, list, values);
}

void TdvoCustomMemTable::SetFieldVariants(TRecord* record, const TdvoFieldList& list, const TValue& values) {
  CheckOneDimension(values);
  if (list.FieldCount() == 0) throw EMemTableError(msg::kNoFields);
  if (!values.IsArray()) {
    if (list.FieldCount() > 1) throw EMemTableError(msg::kMoreFieldsThanValues);
    SetFieldVariant(record, static_cast<TField&>(*list.FieldAt(0)), values);
    return;
  }
  if (values.ArrayLength() < list.FieldCount()) throw EMemTableError(msg::kMoreFieldsThanValues);
  for (int i = 0; i < list.FieldCount(); ++i)
    SetFieldVariant(record, static_cast<TField&>(*list.FieldAt(i)), values[i]);
}

std::unique_ptr<TdvoBlobStream> TdvoCustomMemTable::OpenBlobStream(TField& field, TBlobStreamMode mode) {
  if (!field.IsBlob()) throw EInvalidCast();
  return std::make_unique<TdvoBlobStream>(*this, field, mode);
}

std::unique_ptr<TDataSetBlobStream> TdvoCustomMemTable::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  return OpenBlobStream(field, mode);
}

void TdvoCustomMemTable::DetachBlobStreams() {
  // A stream freed later must not write into a buffer that is gone or now
  // shows another state of the record.
  std::vector<TdvoBlobStream*> streams;
  streams.swap(blobStreams_);
  for (TdvoBlobStream* stream : streams) stream->Detach();
}

// ---- Autoinc

bool TdvoCustomMemTable::FindAutoIncField() {
  autoIncField_ = nullptr;
  for (TField* field : FieldList())
    if (field->DataType() == ftAutoInc) {
      autoIncField_ = field;
      break;
    }
  return autoIncField_ != nullptr;
}

void TdvoCustomMemTable::ResetAutoIncCounter() {
  autoIncField_ = nullptr;
  const int64_t below = static_cast<int64_t>(store_->AutoIncMinValue()) - 1;
  store_->SetAutoIncHighValue(static_cast<int32_t>(std::max<int64_t>(below, INT32_MIN)));
  FindAutoIncField();
}

// ---- Lock, progress

void TdvoCustomMemTable::LockTable() {
  lockEntered_.push_back(store_->Lock().Enter());
  store_->SetBusy(true);
}

void TdvoCustomMemTable::UnlockTable() {
  if (lockEntered_.empty()) return;
  const bool entered = lockEntered_.back();
  lockEntered_.pop_back();
  if (lockEntered_.empty()) store_->SetBusy(false);
  store_->Lock().Leave(entered);
}

void TdvoCustomMemTable::ReportProgress(int percentage, TdvoProgressCode code) {
  if (OnProgress && (progressFlags_ & ProgressBit(code))) OnProgress(*this, percentage, code);
}

void TdvoCustomMemTable::FilterIndex(TdvoIndex& index, bool& accept) { OnFilterIndex(*this, index, accept); }

bool TdvoCustomMemTable::EvaluateIndexFilter(const TIndexFilterExpr& expr) {
  const auto* program = dynamic_cast<const TFilterProgram*>(&expr);
  // An expression this table did not compile cannot be read; refusing is
  // safer than letting every record through.
  if (program == nullptr) throw EMemTableError(NamedMessage(msg::kNoFilterExpressions));
  return RecordMatchesExpression(*this, overrideRecord_, *program);
}

void TdvoCustomMemTable::StoreMaintainIndexes(TRecordChange change, TRecord* storedRecord, TRecord* otherRecord,
                                              int positionHint, TIndexUndo& undo) {
  indexes_->MaintainIndexes(change, storedRecord, otherRecord, positionHint, &undo);
}

}  // namespace ts
