#include "table_store/dataset/dataset.h"

#include <algorithm>

#include "table_store/dataset/data_source.h"
#include "table_store/dataset/dataset_messages.h"
#include "table_store/dataset/object_fields.h"
#include "table_store/messages.h"

namespace ts {

namespace {

TExceptionHandler& ApplicationHandler() {
  static TExceptionHandler handler;
  return handler;
}

int32_t CountFieldNumbers(const TFieldDef& def) {
  int32_t count = 1;
  if (def.DataType() == ftADT || def.DataType() == ftArray) {
    int32_t inner = 0;
    for (int i = 0; i < def.ChildDefs().Count(); ++i) inner += CountFieldNumbers(def.ChildDefs()[i]);
    count += def.DataType() == ftArray ? inner * std::max(0, def.Size()) : inner;
  }
  return count;
}

// Gives the field and its children consecutive numbers; returns the next.
int AssignFieldNumbers(TField& field, int number) {
  field.SetFieldNo(number++);
  if (auto* object = dynamic_cast<TObjectField*>(&field))
    for (int i = 0; i < object->ChildCount(); ++i) number = AssignFieldNumbers(object->Child(i), number);
  return number;
}

void ClearFieldNumbers(TField& field) {
  field.SetFieldNo(0);
  if (auto* object = dynamic_cast<TObjectField*>(&field))
    for (int i = 0; i < object->ChildCount(); ++i) ClearFieldNumbers(object->Child(i));
}

void CollectFields(TField& field, std::vector<TField*>& list) {
  list.push_back(&field);
  if (auto* object = dynamic_cast<TObjectField*>(&field))
    for (int i = 0; i < object->ChildCount(); ++i) CollectFields(object->Child(i), list);
}

// A field object for a definition, children included; nullptr for a type
// no table holds.
std::unique_ptr<TField> MakeField(const TFieldDef& def) {
  auto field = CreateFieldForType(def.DataType(), def.Size());
  if (!field) return nullptr;
  field->SetFieldName(def.Name());
  field->SetRequired(def.Required());
  if (def.InternalCalcField()) field->SetFieldKind(fkInternalCalc);
  if (auto* object = dynamic_cast<TObjectField*>(field.get())) {
    const TFieldDefs& children = def.ChildDefs();
    if (def.DataType() == ftADT) {
      for (int i = 0; i < children.Count(); ++i)
        if (auto child = MakeField(children[i])) object->AddChild(std::move(child));
    } else if (children.Count() > 0) {
      for (int32_t pass = 0; pass < def.Size(); ++pass) {
        auto child = MakeField(children[0]);
        if (!child) break;
        child->SetFieldName(def.Name() + "[" + std::to_string(pass) + "]");
        object->AddChild(std::move(child));
      }
    }
  }
  return field;
}

}  // namespace

void SetApplicationExceptionHandler(TExceptionHandler handler) { ApplicationHandler() = std::move(handler); }

void HandleApplicationException(const Exception& error, const void* sender) {
  if (ApplicationHandler()) ApplicationHandler()(error, sender);
}

TDataSet::TDataSet(std::string name) : name_(std::move(name)) {}

TDataSet::~TDataSet() {
  // Sources naming this dataset forget it; their links become inactive.
  while (!dataSources_.empty()) dataSources_.back()->SetDataSet(nullptr);
}

std::string TDataSet::NamedMessage(std::string_view message) const {
  if (name_.empty()) return std::string(message);
  return FormatMessage(msg::kDatasetError, {name_, message});
}

void TDataSet::DatabaseError(std::string_view message) const { throw EDatabaseError(NamedMessage(message)); }

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(msg::kDatasetClosed);
}

void TDataSet::CheckInactive() const {
  if (state_ != dsInactive) DatabaseError(msg::kDatasetOpen);
}

void TDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  state_ = value;
  modified_ = false;
  DataEvent(TDataEvent::UpdateState, nullptr);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  const TDataSetState old = state_;
  state_ = value;
  return old;
}

void TDataSet::RestoreState(TDataSetState value) { state_ = value; }

// ---- Fields

TField& TDataSet::Field(int index) const {
  if (index < 0 || index >= FieldCount()) throw ERangeError(FormatMessage(msg::kListIndexOutOfBounds, {index}));
  return *fields_[static_cast<size_t>(index)];
}

int TDataSet::IndexOfField(const TField* field) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].get() == field) return static_cast<int>(i);
  return -1;
}

TField* TDataSet::FindField(std::string_view name) const {
  for (const auto& field : fields_)
    if (SameName(field->FieldName(), name)) return field.get();
  for (TField* field : FieldList())
    if (field->ParentField() != nullptr && SameName(field->FullName(), name)) return field;
  return nullptr;
}

TField& TDataSet::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (field == nullptr) DatabaseError(FormatMessage(msg::kFieldNotFound, {name}));
  return *field;
}

const std::vector<TField*>& TDataSet::FieldList() const {
  if (!fieldListValid_) {
    fieldList_.clear();
    for (const auto& field : fields_) CollectFields(*field, fieldList_);
    fieldListValid_ = true;
  }
  return fieldList_;
}

TField& TDataSet::AddField(std::unique_ptr<TField> field) {
  CheckInactive();
  if (!field) throw EInvalidCast();
  if (!field->FieldName().empty() && FindField(field->FieldName()) != nullptr)
    DatabaseError(FormatMessage(msg::kDuplicateFieldName, {field->FieldName()}));
  field->SetDataSetRef(this);
  if (auto* object = dynamic_cast<TObjectField*>(field.get())) object->BindChildren();
  fields_.push_back(std::move(field));
    FieldsChanged();
  return *fields_.back();
}

void TDataSet::SetFieldIndex(TField& field, int index) {
  const int from = IndexOfField(&field);
  if (from < 0) return;
  const int to = std::clamp(index, 0, FieldCount() - 1);
  std::unique_ptr<TField> moved = std::move(fields_[static_cast<size_t>(from)]);
  fields_.erase(fields_.begin() + from);
  fields_.insert(fields_.begin() + to, std::move(moved));
  FieldsChanged();
}

void TDataSet::DestroyFields() {
  CheckInactive();
  fields_.clear();
  FieldsChanged();
  calcFieldsSize_ = 0;
}

TField& TDataSet::CreateFieldFromDef(const TFieldDef& def) {
  auto field = MakeField(def);
  if (!field) DatabaseError(FormatMessage(msg::kNotSupportedType, {def.Name()}));
  return AddField(std::move(field));
}

void TDataSet::CreateFields() {
  for (int i = 0; i < fieldDefs_.Count(); ++i) {
    // A type no table holds gets no field: the record layout refuses the
    // definition with its own message.
    auto field = MakeField(fieldDefs_[i]);
    if (!field) continue;
    field->SetDataSetRef(this);
    if (auto* object = dynamic_cast<TObjectField*>(field.get())) object->BindChildren();
    fields_.push_back(std::move(field));
    FieldsChanged();
  }
}

int32_t TDataSet::BindFields(bool binding) {
  if (!binding) {
    for (auto& field : fields_) ClearFieldNumbers(*field);
    calcFieldsSize_ = 0;
    return 0;
  }
  // Field numbers follow the definitions as the record layout walks them.
  std::vector<int> firstNumber(static_cast<size_t>(fieldDefs_.Count()));
  int next = 1;
  for (int i = 0; i < fieldDefs_.Count(); ++i) {
    firstNumber[static_cast<size_t>(i)] = next;
    next += CountFieldNumbers(fieldDefs_[i]);
  }
  int32_t calcOffset = 0;
  for (auto& field : fields_) {
    field->SetDataSetRef(this);
    if (auto* object = dynamic_cast<TObjectField*>(field.get())) object->BindChildren();
    switch (field->FieldKind()) {
      case fkData:
      case fkInternalCalc: {
        const int index = fieldDefs_.IndexOf(field->FieldName());
        if (index < 0) DatabaseError(FormatMessage(msg::kFieldNotFound, {field->FieldName()}));
        AssignFieldNumbers(*field, firstNumber[static_cast<size_t>(index)]);
        break;
      }
      case fkCalculated:
      case fkLookup:
        field->SetFieldNo(0);
        field->SetCalcOffset(calcOffset);
        calcOffset += field->DataSize() + 1;
        break;
      case fkAggregate:
        field->SetFieldNo(0);
        field->SetCalcOffset(-1);
        break;
    }
  }
  calcFieldsSize_ = calcOffset;
  return calcOffset;
}

void TDataSet::CheckRequiredFields() {
  for (TField* field : FieldList()) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData && field->IsNull())
      throw EDatabaseError(FormatMessage(msg::kFieldRequired, {field->DisplayLabel()}));
  }
}

void TDataSet::GetCalcFields(TRecord* buffer) {
  if (calcFieldsSize_ <= 0 || buffer == nullptr) return;
  const TDataSetState saved = SetTempState(dsCalcFields);
  TRecord* savedBuffer = calcBuffer_;
  calcBuffer_ = buffer;
  try {
    ClearCalcFields(buffer);
    Fire(OnCalcFields);
  } catch (...) {
    calcBuffer_ = savedBuffer;
    RestoreState(saved);
    throw;
  }
  calcBuffer_ = savedBuffer;
  RestoreState(saved);
}

void TDataSet::DataEvent(TDataEvent event, TField* field) {
  if (event == TDataEvent::FieldChange && field != nullptr) {
    if (state_ == dsEdit || state_ == dsInsert) {
      if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) {
        modified_ = true;
        if (autoCalcFields_) GetCalcFields(buffer_);
      }
    }
    field->Change();
  }
  if (!dataSources_.empty()) NotifyDataSources(event, field);
}

void TDataSet::NotifyDataSources(TDataEvent event, TField* field) {
  const std::vector<TDataSource*> sources = dataSources_;
  for (TDataSource* source : sources) {
    if (std::find(dataSources_.begin(), dataSources_.end(), source) == dataSources_.end()) continue;
    try {
      source->DataEvent(event, field);
    } catch (const Exception& error) {
      HandleApplicationException(error, this);
    }
  }
}

// ---- Open and close

void TDataSet::SetActive(bool value) {
  if (value == (state_ != dsInactive)) return;
  if (value)
    DoOpen();
  else
    DoClose();
}

void TDataSet::DoOpen() {
  DoBeforeOpen();
  state_ = dsOpening;
  try {
    defaultFields_ = fields_.empty();
    InternalOpen();
    buffer_ = AllocRecordBuffer();
    bof_ = true;
    hasRecord_ = GetRecord(buffer_, TGetMode::Next, true) == TGetResult::OK;
    eof_ = !hasRecord_;
  } catch (...) {
    if (buffer_ != nullptr) FreeRecordBuffer(buffer_);
    buffer_ = nullptr;
    hasRecord_ = false;
    try {
      if (IsCursorOpen()) InternalClose();
    } catch (...) {
      // The open failure is the one to report.
    }
    if (defaultFields_) fields_.clear();
    FieldsChanged();
    state_ = dsInactive;
    throw;
  }
  state_ = dsInactive;
  SetState(dsBrowse);
  DoAfterOpen();
  if (hasRecord_) DoAfterScroll();
}

void TDataSet::DoBeforeClose() {
  if (state_ == dsEdit || state_ == dsInsert) Cancel();
  Fire(BeforeClose);
}

void TDataSet::DoClose() {
  DoBeforeClose();
  FreeFieldBuffers();
  SetState(dsInactive);
  hasRecord_ = false;
  bof_ = eof_ = true;
  if (buffer_ != nullptr) FreeRecordBuffer(buffer_);
  buffer_ = nullptr;
  InternalClose();
  if (defaultFields_) {
    fields_.clear();
    FieldsChanged();
    calcFieldsSize_ = 0;
  }
  DoAfterClose();
}

// ---- Navigation

void TDataSet::UpdateCursorPos() {
  if (hasRecord_ && state_ != dsInsert) InternalSetToRecord(buffer_);
}

void TDataSet::ClearBuffers() { hasRecord_ = false; }

void TDataSet::Resync() {
  hasRecord_ = GetRecord(buffer_, TGetMode::Current, false) == TGetResult::OK ||
               GetRecord(buffer_, TGetMode::Next, false) == TGetResult::OK ||
               GetRecord(buffer_, TGetMode::Prior, false) == TGetResult::OK;
  bof_ = eof_ = !hasRecord_;
}

void TDataSet::First() {
  CheckActive();
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  InternalFirst();
  hasRecord_ = GetRecord(buffer_, TGetMode::Next, true) == TGetResult::OK;
  bof_ = true;
  eof_ = !hasRecord_;
  DataEvent(TDataEvent::DataSetChange, nullptr);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckActive();
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  InternalLast();
  hasRecord_ = GetRecord(buffer_, TGetMode::Prior, true) == TGetResult::OK;
  eof_ = true;
  bof_ = !hasRecord_;
  DataEvent(TDataEvent::DataSetChange, nullptr);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckActive();
  if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return 0;
  CheckBrowseMode();
  DoBeforeScroll();
  UpdateCursorPos();
  bof_ = eof_ = false;
  int moved = 0;
  while (distance > 0) {
    if (GetRecord(buffer_, TGetMode::Next, true) != TGetResult::OK) {
      eof_ = true;
      break;
    }
    hasRecord_ = true;
    ++moved;
    --distance;
  }
  while (distance < 0) {
    if (GetRecord(buffer_, TGetMode::Prior, true) != TGetResult::OK) {
      bof_ = true;
      break;
    }
    hasRecord_ = true;
    --moved;
    ++distance;
  }
  if (!hasRecord_) bof_ = eof_ = true;
  if (moved != 0) DataEvent(TDataEvent::DataSetScroll, nullptr);
  DoAfterScroll();
  return moved;
}

void TDataSet::Next() { MoveBy(1); }

void TDataSet::Prior() { MoveBy(-1); }

void TDataSet::Refresh() {
  CheckActive();
  CheckBrowseMode();
  Fire(BeforeRefresh);
  UpdateCursorPos();
  InternalRefresh();
  Resync();
  DataEvent(TDataEvent::DataSetChange, nullptr);
  Fire(AfterRefresh);
}

// ---- Editing

void TDataSet::CheckCanModifyDataSet() const {
  if (!CanModify()) DatabaseError(msg::kReadOnlyDataset);
}

void TDataSet::CheckOperation(const std::function<void()>& operation, const TErrorEvent& onError) {
  for (;;) {
    try {
      operation();
      return;
    } catch (EDatabaseError& error) {
      TDataAction action = TDataAction::Fail;
      if (onError) onError(*this, error, action);
      if (action == TDataAction::Fail) throw;
      if (action == TDataAction::Abort) throw EAbort();
      // Retry: run the operation again.
    }
  }
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) {
    if (modified_)
      Post();
    else
      Cancel();
  } else if (state_ == dsSetKey) {
    SetState(dsBrowse);
  }
}

void TDataSet::BeginInsertAppend(bool append) {
  CheckActive();
  CheckBrowseMode();
  CheckCanModifyDataSet();
  DoBeforeInsert();
  DoBeforeScroll();
  UpdateCursorPos();
  InitInsertBuffer(buffer_, append, hasRecord_);
  if (append) InternalLast();
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync();
    throw;
  }
  modified_ = false;
  bof_ = eof_ = false;
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Append() { BeginInsertAppend(true); }

void TDataSet::Insert() { BeginInsertAppend(false); }

void TDataSet::Edit() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (!hasRecord_) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModifyDataSet();
  Fire(BeforeEdit);
  UpdateCursorPos();
  CheckOperation([this] { InternalEdit(); }, OnEditError);
  GetCalcFields(buffer_);
  SetState(dsEdit);
  Fire(AfterEdit);
}

void TDataSet::Post() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  CheckRequiredFields();
  DoBeforePost();
  if (state_ == dsEdit) UpdateCursorPos();
  CheckOperation([this] { InternalPost(); }, OnPostError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
  DataEvent(TDataEvent::DataSetChange, nullptr);
  DoAfterPost();
}

void TDataSet::Cancel() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  Fire(BeforeCancel);
  InternalCancel();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
  DataEvent(TDataEvent::DataSetChange, nullptr);
  Fire(AfterCancel);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) {
    Cancel();
    return;
  }
  if (!hasRecord_) DatabaseError(msg::kDataSetEmpty);
  Fire(BeforeDelete);
  DoBeforeScroll();
  UpdateCursorPos();
  CheckOperation([this] { InternalDelete(); }, OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
  DataEvent(TDataEvent::DataSetChange, nullptr);
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::FreeFieldBuffers() {
  DetachBlobStreams();
  for (TField* field : FieldList()) {
    if (field->IsBlob() && field->BlobModified()) {
      field->SetBlobModified(false);
      CloseBlob(*field);
    }
  }
}

}  // namespace ts
