// TDataSet: the dataset framework the table builds on.
//
// It keeps the state (inactive, browse, edit, insert and the brief states),
// the field objects and field definitions, one current-record buffer (the
// record under the cursor, or the new record while inserting), the BOF / EOF
// flags and the Modified flag, and runs the editing cycle and navigation
// with their events. What a record is, where it lives and how the cursor
// moves are the descendant's, through the protected Internal* and GetRecord
// hooks.
//
// Fields are persistent (added before Open, kept across Close) or created
// from FieldDefs when a dataset without fields opens (destroyed at Close).
// Errors that name the dataset read "%s: %s" (the dataset's Name, then the
// message) when it has a name.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "table_store/dataset/dataset_types.h"
#include "table_store/dataset/field.h"
#include "table_store/dataset/field_defs.h"
#include "table_store/errors.h"
#include "table_store/record.h"
#include "table_store/streams.h"

namespace ts {

class TDataSource;

// A blob stream handed out by a dataset. Flush writes a modified stream's
// bytes back into the record now and raises when that fails; freeing the
// stream does the same for a stream not flushed, but reports a failure only
// to the application's exception handler.
class TDataSetBlobStream : public TMemoryStream {
 public:
  virtual void Flush() = 0;
};

// The application's exception handler: errors that cannot reach the code
// that caused them (a blob write-back while a stream is freed, an error in a
// control notification) are handed to it. By default they are dropped.
using TExceptionHandler = std::function<void(const Exception& error, const void* sender)>;
void SetApplicationExceptionHandler(TExceptionHandler handler);
void HandleApplicationException(const Exception& error, const void* sender);

class TDataSet {
 public:
  using TNotifyEvent = std::function<void(TDataSet&)>;
  using TErrorEvent = std::function<void(TDataSet&, EDatabaseError&, TDataAction&)>;
  using TFilterRecordEvent = std::function<void(TDataSet&, bool&)>;

  explicit TDataSet(std::string name = {});
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  // The component name that errors carry.
  const std::string& Name() const { return name_; }
  void SetName(std::string value) { name_ = std::move(value); }

  // ---- State
  TDataSetState State() const { return state_; }
  bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
  virtual void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  bool Modified() const { return modified_; }
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return bof_ && eof_ && state_ != dsInsert; }
  // Switches to a brief state (filter, calc-fields, new-value ...) and back.
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value);

  // ---- Fields
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Field(int index) const;  // ERangeError outside the list
  int IndexOfField(const TField* field) const;
  // Top-level fields first, then children by full name ("Parent.Child");
  // names compare without regard to case. nullptr when none matches.
  TField* FindField(std::string_view name) const;
  // The same, raising "Field '%s' not found" (with the dataset's name).
  TField& FieldByName(std::string_view name) const;
  // Every field, children right after their parent. Kept between calls
  // (posting walks it several times per record); the fields are only added,
  // moved or removed while the dataset is closed.
  const std::vector<TField*>& FieldList() const;
  // Drops the kept field list after a change to the fields, their names or
  // their children.
  void FieldsChanged() {
    fieldListValid_ = false;
    ++fieldsVersion_;
  }
  // Changes with every FieldsChanged (a field renamed too): what was looked
  // up among the fields before is stale once it differs.
  uint64_t FieldsVersion() const { return fieldsVersion_; }
  // A persistent field; the dataset owns it. Only while closed.
  TField& AddField(std::unique_ptr<TField> field);
  template <typename F, typename... Args>
  F& AddField(std::string name, Args&&... args) {
    auto field = std::make_unique<F>(std::forward<Args>(args)...);
    field->SetFieldName(std::move(name));
    return static_cast<F&>(AddField(std::move(field)));
  }
  // Moves a top-level field to `index` (clamped to the list).
  void SetFieldIndex(TField& field, int index);
  // Destroys every field object. Only while closed.
  void DestroyFields();
  // The fields were made from FieldDefs at Open and go at Close.
  bool DefaultFields() const { return defaultFields_; }
  TFieldDefs& FieldDefs() { return fieldDefs_; }
  const TFieldDefs& FieldDefs() const { return fieldDefs_; }
  // A persistent field object of the definition's class, named after it.
  TField& CreateFieldFromDef(const TFieldDef& def);

  // ---- Navigation
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves over up to `distance` records; returns how far it moved.
  int MoveBy(int distance);
  // Re-reads the current record.
  void Refresh();

  // ---- Editing
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  // Posts a modified edit or insert, cancels an unmodified one.
  void CheckBrowseMode();

  // ---- Records, blobs
  virtual int RecordCount() = 0;
  // 1-based number of the current record, -1 when unknown.
  virtual int RecNo() const { return -1; }
  virtual std::unique_ptr<TDataSetBlobStream> CreateBlobStream(TField& field, TBlobStreamMode mode) = 0;

  // ---- Filtering
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool value) { filtered_ = value; }
  const std::string& Filter() const { return filter_; }
  virtual void SetFilter(std::string value) { filter_ = std::move(value); }
  // Read when the filter is compiled; a change alone compiles nothing.
  TFilterOptions FilterOptions() const { return filterOptions_; }
  void SetFilterOptions(TFilterOptions value) { filterOptions_ = value; }
  bool AutoCalcFields() const { return autoCalcFields_; }
  void SetAutoCalcFields(bool value) { autoCalcFields_ = value; }

  // ---- Events
  TNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit, BeforePost, AfterPost;
  TNotifyEvent BeforeCancel, AfterCancel, BeforeDelete, AfterDelete;
  TNotifyEvent BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh;
  TNotifyEvent OnCalcFields, OnNewRecord;
  TErrorEvent OnPostError, OnEditError, OnDeleteError;
  TFilterRecordEvent OnFilterRecord;

  // ---- Field access (called by the field objects)
  // Copies the field's value into `buffer` (none: only asks); false for null.
  virtual bool GetFieldData(const TField& field, void* buffer) = 0;
  // Writes the field's value from `buffer` (none: null).
  virtual void SetFieldData(TField& field, const void* buffer) = 0;
  // Framework notifications; a field change marks the record modified,
  // recomputes the calculated fields and fires the field's OnChange. Every
  // notification then reaches the data sources that name this dataset; an
  // error there goes to the application's exception handler.
  virtual void DataEvent(TDataEvent event, TField* field);
  // The data source of the dataset this one follows (none by default).
  virtual TDataSource* MasterDataSource() const { return nullptr; }

  // Raises EDatabaseError with the dataset's name in front ("%s: %s").
  [[noreturn]] void DatabaseError(std::string_view message) const;
  std::string NamedMessage(std::string_view message) const;

  // The record buffer under the cursor (owned by the dataset); nullptr while
  // closed.
  TRecord* ActiveBuffer() const { return buffer_; }
  // The buffer whose calculated fields are being computed (calc-fields state).
  TRecord* CalcBuffer() const { return calcBuffer_; }

 protected:
  // ---- Hooks for the descendant
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual TGetResult GetRecord(TRecord* buffer, TGetMode mode, bool doCheck) = 0;
  virtual TRecord* AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecord*& buffer) = 0;
  virtual void InternalInitRecord(TRecord* buffer) = 0;
  virtual void InternalPost() = 0;
  virtual void InternalDelete() = 0;
  virtual void InternalCancel() {}
  virtual void InternalEdit() {}
  virtual void InternalRefresh() {}
  // Moves the cursor to the record the buffer holds.
  virtual void InternalSetToRecord(TRecord* buffer) = 0;
  // Turns the buffer into a new, empty record: appended (after the last
  // record) or inserted (at the current record, which the buffer held when
  // onRecord is true).
  virtual void InitInsertBuffer(TRecord* buffer, bool append, bool onRecord) = 0;
  virtual void ClearCalcFields(TRecord* /*buffer*/) {}
  virtual bool CanModify() const { return true; }
  // Runs once for every blob field written through a stream when the
  // record's field buffers are freed (Post, Cancel).
  virtual void CloseBlob(TField& /*field*/) {}
  // Runs first whenever the record's field buffers are freed (Post, Cancel,
  // Delete, Close): blob streams still open on the record let go of it.
  virtual void DetachBlobStreams() {}

  virtual void DoBeforeOpen() { Fire(BeforeOpen); }
  virtual void DoAfterOpen() { Fire(AfterOpen); }
  // Before-close: cancels a pending edit or insert, then BeforeClose.
  virtual void DoBeforeClose();
  virtual void DoAfterClose() { Fire(AfterClose); }
  virtual void DoBeforeInsert() { Fire(BeforeInsert); }
  virtual void DoAfterInsert() { Fire(AfterInsert); }
  virtual void DoBeforePost() { Fire(BeforePost); }
  virtual void DoAfterPost() { Fire(AfterPost); }
  virtual void DoAfterDelete() { Fire(AfterDelete); }
  virtual void DoBeforeScroll() { Fire(BeforeScroll); }
  virtual void DoAfterScroll() { Fire(AfterScroll); }
  virtual void DoOnNewRecord() { Fire(OnNewRecord); }

  // ---- Services for the descendant
  void Fire(const TNotifyEvent& event) {
    if (event) event(*this);
  }
  void SetState(TDataSetState value);
  // Field objects from FieldDefs (automatic fields).
  void CreateFields();
  // Gives every field the dataset (or none) and its field number: Data and
  // InternalCalc fields by matching definition, calculated and lookup fields
  // an offset in the calculated part. Returns the calculated part's size.
  int32_t BindFields(bool binding);
  void CheckRequiredFields();
  void GetCalcFields(TRecord* buffer);
  bool HasCalcFields() const { return calcFieldsSize_ > 0; }
  int32_t CalcFieldsSize() const { return calcFieldsSize_; }
  // Re-reads the current record: the cursor's, else the next, else the
  // previous one; none makes the dataset empty.
  void Resync();
  // The cursor back on the buffer's record before an operation that uses it.
  void UpdateCursorPos();
  void ClearBuffers();
  void FreeFieldBuffers();
  bool HasRecord() const { return hasRecord_; }
  void CheckActive() const;
  void CheckInactive() const;
  void SetModified(bool value) { modified_ = value; }

 private:
  friend class TDataSource;
  void NotifyDataSources(TDataEvent event, TField* field);

  void DoOpen();
  void DoClose();
  void BeginInsertAppend(bool append);
  void CheckOperation(const std::function<void()>& operation, const TErrorEvent& onError);
  void CheckCanModifyDataSet() const;

  std::string name_;
  TDataSetState state_ = dsInactive;
  std::vector<std::unique_ptr<TField>> fields_;
  mutable std::vector<TField*> fieldList_;
  mutable bool fieldListValid_ = false;
  uint64_t fieldsVersion_ = 0;
  TFieldDefs fieldDefs_;
  bool defaultFields_ = false;
  TRecord* buffer_ = nullptr;
  TRecord* calcBuffer_ = nullptr;
  bool hasRecord_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  bool filtered_ = false;
  bool autoCalcFields_ = true;
  std::string filter_;
  TFilterOptions filterOptions_ = 0;
  int32_t calcFieldsSize_ = 0;
  std::vector<TDataSource*> dataSources_;  // not owned
};

}  // namespace ts
