// TdvoCustomMemTable: the in-memory table. A dataset whose records live in a
// record store (TdvoCommon) in the store's record layout, walked in the order
// of the current index of its index collection (TdvoIndexes, always holding
// the row-order index). TdvoMemTable is the same table as the programs use it.
//
// The table implements the dataset's record hooks (fetch, post, delete, new
// record), the callbacks its store makes on attached tables, and the hooks its
// indexes call. Every field read and write, Post, Delete, Open, Close and
// index selection runs under the store's lock.
//
// For the stream formats: OverrideRecord directs every field read and write
// at one record; SetTempState (dataset) gives the state a load writes in;
// SetIgnoreReadOnly and SetNoAutoInc are the two loading switches.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "table_store/dataset/dataset.h"
#include "table_store/dataset/index_defs.h"
#include "table_store/field_list.h"
#include "table_store/indexes/indexed_table.h"
#include "table_store/indexes/indexes.h"
#include "table_store/indexes/progress.h"
#include "table_store/record_store.h"
#include "table_store/store_table.h"
#include "table_store/stream_format/format_ref.h"

namespace ts {

class TdvoBlobStream;
class TDataSource;
class TMasterDataLink;
class TdvoCustomDeltaHandler;
struct TDeltaWalk;

enum TdvoMemTableStorageType : uint8_t {
  mtstDataSet = 0,
  mtstStream = 1,
  mtstBinaryStream = 2,
  mtstFile = 3,
  mtstBinaryFile = 4,
};

// A set of update statuses, one bit per status (bit = 1 << status).
using TUpdateStatusSet = uint8_t;

// A bookmark: the record and the store contents it was taken from. It holds
// a full record reference, whatever the width of a pointer.
struct TBookmark {
  TRecord* Record = nullptr;
  uint32_t ContentsId = 0;
  // Where the record sat when the bookmark was taken: a record that has
  // left the store is recognised without reading it.
  int32_t SlotIndex = -1;
  int32_t SerialId = -1;
};

// ---- Visibility, locate, lookup, bookmarks: types

// Options of LocateRecord and SearchKeyPosition, one bit each.
using TLocateOptions = uint8_t;
inline constexpr TLocateOptions loCaseInsensitive = 1;
inline constexpr TLocateOptions loPartialKey = 2;

constexpr TUpdateStatusSet StatusBit(TUpdateStatus status) {
  return static_cast<TUpdateStatusSet>(1u << static_cast<unsigned>(status));
}

class TdvoCustomMemTable;

// A compiled Filter text, asked about each record under test of the
// visibility check (the table is in filter state meanwhile).
class TRecordFilterProgram {
 public:
  virtual ~TRecordFilterProgram() = default;
  virtual bool Accepts(TdvoCustomMemTable& table, TRecord* record) = 0;
};

// A master/detail restriction in force: the records shown carry the
// master's current key values.
struct TMasterRestriction {
  // The detail fields; none or empty: the current index's fields.
  const TdvoFieldList* DetailFields = nullptr;
  // How many fields the master link compares (0: every field of the list).
  int FieldCount = 0;
  // The master's key values in this table's record layout.
  const TRecord* KeyRecord = nullptr;
};

// ---- Copy and merge: types

// Options of FillFromDataSet, one bit each. Field objects only, lookup and
// calculated fields and keep order act through the structure copy.
using TdvoCopyOptions = uint8_t;
inline constexpr TdvoCopyOptions cfStructure = 1;
inline constexpr TdvoCopyOptions cfFieldObjectsOnly = 2;
inline constexpr TdvoCopyOptions cfSettings = 4;
inline constexpr TdvoCopyOptions cfLookupFields = 8;
inline constexpr TdvoCopyOptions cfCalcFields = 16;
inline constexpr TdvoCopyOptions cfAppend = 32;
inline constexpr TdvoCopyOptions cfKeepOrder = 64;

// Flags of MergeIntoDataSet: edit the destination record with equal key
// values, append a record for a source record without one.
using TdvoMergeFlags = uint8_t;
inline constexpr TdvoMergeFlags ufUpdateExisting = 1;
inline constexpr TdvoMergeFlags ufAppendMissing = 2;

class TdvoCustomMemTable : public TDataSet, public TStoreTable, public TIndexedTable {
 public:
  using TProgressEvent = std::function<void(TDataSet&, int percentage, TdvoProgressCode code)>;
  using TRecordAcceptEvent = std::function<void(TDataSet&, bool& accept)>;
  using TFieldEvent = std::function<void(TDataSet&, int fieldNo, TField& field)>;
  using TBlobStreamEvent = std::function<void(TDataSet&, TStream& from, TStream& to)>;
  using TSetupFieldEvent = std::function<void(TDataSet&, TField& field, uint8_t& fieldFlags)>;
  using TFieldPropertiesEvent = std::function<void(TDataSet&, TField& field)>;
  using TFieldBytesEvent =
      std::function<void(TDataSet&, TField& field, const uint8_t* buffer, int32_t& size, const uint8_t*& result)>;
  using TStorageEvent = std::function<void(TDataSet&, TdvoMemTableStorageType type, TStream* stream)>;
  using TCompareFieldsEvent = std::function<void(TDataSet&, const void* keyField, const void* aField,
                                                 TFieldType type, int options, bool& fullCompare, int& result)>;
  using TFilterIndexEvent = std::function<void(TDataSet&, TdvoIndex& index, bool& accept)>;

  explicit TdvoCustomMemTable(std::string name = {});
  ~TdvoCustomMemTable() override;

  // ---- Store and indexes
  TdvoCommon& Store() const { return *store_; }
  TdvoIndexes& Indexes() const { return *indexes_; }
  TIndexDefs& IndexDefs() { return indexDefs_; }
  const TIndexDefs& IndexDefs() const { return indexDefs_; }
  void SetIndexDefs(const TIndexDefs& defs) { indexDefs_.Assign(defs); }
  // The index field list of the current index.
  const TdvoFieldList& IndexFieldList() const { return indexFieldList_; }

  // ---- Fields
  // The field named `name` without regard to case; "Field '%s' not found".
  TField& FieldNamed(std::string_view name) const { return FieldByName(name); }
  // FieldDefs from the Data and InternalCalc field objects.
  void FieldDefsFromFields();
  std::unique_ptr<TdvoBlobStream> OpenBlobStream(TField& field, TBlobStreamMode mode);
  std::unique_ptr<TDataSetBlobStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;

  // ---- Settings kept by the store
  int32_t AutoIncMinValue() const { return store_->AutoIncMinValue(); }
  void SetAutoIncMinValue(int32_t value) { store_->SetAutoIncMinValue(value); }
  TdvoPerformance Performance() const { return store_->Performance(); }
  void SetPerformance(TdvoPerformance value) { store_->SetPerformance(value); }
  TdvoVersioningMode VersioningMode() const { return store_->VersioningMode(); }
  void SetVersioningMode(TdvoVersioningMode value) { store_->SetVersioningMode(value); }
  bool EnableVersioning() const { return store_->EnableVersioning(); }
  void SetEnableVersioning(bool value) { store_->SetEnableVersioning(value); }
  bool Standalone() const { return store_->Standalone(); }
  // Only on a closed table that shares no other table's store: "Table must
  // be closed for this operation.", "Table is attached to another table.".
  void SetStandalone(bool value);
  int AttachMaxCount() const { return store_->AttachMaxCount(); }
  void SetAttachMaxCount(int value) { store_->SetAttachMaxCount(value); }
  int32_t LocaleID() const { return store_->LocaleID(); }
  void SetLocaleID(int32_t value) { store_->SetLocaleID(value); }
  int32_t LanguageID() const { return store_->LanguageID(); }
  void SetLanguageID(int32_t value) { store_->SetLanguageID(value); }
  int32_t SortID() const { return store_->SortID(); }
  void SetSortID(int32_t value) { store_->SetSortID(value); }
  int32_t SubLanguageID() const { return store_->SubLanguageID(); }
  void SetSubLanguageID(int32_t value) { store_->SetSubLanguageID(value); }

  // ---- Attached tables: the table shows the records of another table's
  // store through its own fields, indexes and cursor. Attaching closes the
  // table; none gives it a store of its own again.
  TdvoCustomMemTable* AttachedTo() const { return attachedTo_; }
  void SetAttachedTo(TdvoCustomMemTable* table);

  // ---- Master/detail: the table shows only the records whose detail fields
  // (DetailFields, else the current index's fields) hold the values of the
  // master's MasterFields in its current record, and presets them in new
  // records. A source whose chain of masters leads back to this table:
  // "Selfreferencing master/detail relations not allowed.".
  TDataSource* MasterSource() const;
  void SetMasterSource(TDataSource* source);
  TDataSource* MasterDataSource() const override { return MasterSource(); }
  const std::string& MasterFields() const;
  void SetMasterFields(std::string value);
  const std::string& DetailFields() const { return detailFields_; }
  void SetDetailFields(std::string value);
  // The restriction's switch, which a save turns off for its run.
  bool MasterDetailActive() const { return masterDetailActive_; }
  void SetMasterDetailActive(bool value) { masterDetailActive_ = value; }
  // Called by the master link.
  virtual void MasterRecordChanged();
  virtual void MasterLinkDisabled();

  // ---- The resolver this table serves (not owned): the old handler
  // forgets the table, the new one serves it from now on.
  TdvoCustomDeltaHandler* DeltaHandler() const { return deltaHandler_; }
  void SetDeltaHandler(TdvoCustomDeltaHandler* handler);

  // ---- Transactions over the store's record versions (nested levels).
  // Nothing on a closed table; needs versioning in mtvmAllSinceCheckPoint.
  virtual void StartTransaction();
  // Keep or undo the changes of the top level; nothing without a level.
  virtual void Commit();
  virtual void Rollback();

  // ---- Table settings
  void SetEnableIndexes(bool value) { enableIndexes_ = value; }
  bool DesignActivation() const { return designActivation_; }
  void SetDesignActivation(bool value) { designActivation_ = value; }
  bool AttachedAutoRefresh() const { return attachedAutoRefresh_; }
  void SetAttachedAutoRefresh(bool value) { attachedAutoRefresh_ = value; }
  bool AutoReposition() const { return autoReposition_; }
  void SetAutoReposition(bool value) { autoReposition_ = value; }
  bool RecalcOnFetch() const { return recalcOnFetch_; }
  void SetRecalcOnFetch(bool value) { recalcOnFetch_ = value; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  TdvoProgressCodes ProgressFlags() const { return progressFlags_; }
  void SetProgressFlags(TdvoProgressCodes value) { progressFlags_ = value; }
  // Update statuses the view shows; empty: every status but rsDeleted.
  TUpdateStatusSet StatusFilter() const { return statusFilter_; }
  // Changing it on an open table moves to the first record it shows.
  void SetStatusFilter(TUpdateStatusSet value);
  // Always "3.08"; a value written is kept and never read.
  std::string Version() const { return "3.08"; }
  void SetVersion(std::string value) { writtenVersion_ = std::move(value); }
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(std::string value);
  const std::string& IndexName() const { return indexName_; }
  void SetIndexName(std::string value);

  // Load and save counts (kept for the stream formats).
  int32_t LoadLimit() const { return loadLimit_; }
  void SetLoadLimit(int32_t value) { loadLimit_ = value; }
  int32_t LoadCount() const { return loadCount_; }
  void SetLoadCount(int32_t value) { loadCount_ = value; }
  bool LoadedCompletely() const { return loadedCompletely_; }
  void SetLoadedCompletely(bool value) { loadedCompletely_ = value; }
  int32_t SaveLimit() const { return saveLimit_; }
  void SetSaveLimit(int32_t value) { saveLimit_ = value; }
  int32_t SaveCount() const { return saveCount_; }
  void SetSaveCount(int32_t value) { saveCount_ = value; }
  bool SavedCompletely() const { return savedCompletely_; }
  void SetSavedCompletely(bool value) { savedCompletely_ = value; }

  // ---- Loading switches and phase
  bool IgnoreReadOnly() const { return ignoreReadOnly_; }
  void SetIgnoreReadOnly(bool value) { ignoreReadOnly_ = value; }
  bool NoAutoInc() const { return noAutoInc_; }
  void SetNoAutoInc(bool value) { noAutoInc_ = value; }
  uint8_t TablePhase() const { return tablePhase_; }

  // ---- Load and save
  // The formats of the default, comma-text, persistent-file and form-data
  // roads; none until set, and none again once the format is destroyed.
  TdvoCustomStreamFormat* DefaultFormat() const { return defaultFormat_.Get(); }
  void SetDefaultFormat(TdvoCustomStreamFormat* format) { defaultFormat_.Reset(format); }
  TdvoCustomStreamFormat* CommaTextFormat() const { return commaTextFormat_.Get(); }
  void SetCommaTextFormat(TdvoCustomStreamFormat* format) { commaTextFormat_.Reset(format); }
  TdvoCustomStreamFormat* PersistentFormat() const { return persistentFormat_.Get(); }
  void SetPersistentFormat(TdvoCustomStreamFormat* format) { persistentFormat_.Reset(format); }
  TdvoCustomStreamFormat* FormFormat() const { return formFormat_.Get(); }
  void SetFormFormat(TdvoCustomStreamFormat* format) { formFormat_.Reset(format); }
  // The persistent file: loaded after Open, written before Close.
  bool Persistent() const { return persistent_; }
  void SetPersistent(bool value) { persistent_ = value; }
  const std::string& PersistentFile() const { return persistentFile_; }
  void SetPersistentFile(std::string value) { persistentFile_ = std::move(value); }
  bool PersistentBackup() const { return persistentBackup_; }
  void SetPersistentBackup(bool value) { persistentBackup_ = value; }
  const std::string& PersistentBackupExt() const { return persistentBackupExt_; }
  void SetPersistentBackupExt(std::string value) { persistentBackupExt_ = std::move(value); }
  // The file is only read. A missing format: "No format specified.".
  void LoadFileWithFormat(const std::string& fileName, TdvoCustomStreamFormat* format);
  // The table must be open. The save goes into a new file beside the named
  // one, which replaces it only when the whole save has succeeded.
  void SaveFileWithFormat(const std::string& fileName, TdvoCustomStreamFormat* format);
  void LoadMemoryStreamWithFormat(TMemoryStream& stream, TdvoCustomStreamFormat* format);
  virtual void SaveStreamWithFormat(TStream& stream, TdvoCustomStreamFormat* format);
  virtual void LoadStreamWithFormat(TStream& stream, TdvoCustomStreamFormat* format);

  // ---- Operations
  // Makes `index` current (nullptr: the row-order index).
  void SelectIndex(TdvoIndex* index);
  void CreateIndexesFromDefs();
  void ClearIndexes() { indexes_->RemoveAllIndexes(); }
  // Without `reportDuplicates` equal keys of a unique index are sorted in
  // silently, for a step that checks the keys it brought itself.
  void SyncIndexes(bool reportDuplicates = true);
  // The store's lock plus its busy flag, which holds back data-change
  // notifications until UnlockTable.
  void LockTable();
  void UnlockTable();
  // Forgets the autoinc field, sets the store's highest autoinc value to
  // AutoIncMinValue - 1 and finds the autoinc field again.
  void ResetAutoIncCounter();
  TField* AutoIncField() const { return autoIncField_; }
  // Puts a value into any record's field; null and empty make it null.
  void SetFieldVariant(TRecord* record, TField& field, const TValue& value);
  // One value per field named in `fieldNames` (";"-separated): an array
  // gives its elements in order, a single value goes to a single field.
  void SetFieldVariants(TRecord* record, std::string_view fieldNames, const TValue& values);
  void SetFieldVariants(TRecord* record, const TdvoFieldList& fields, const TValue& values);
  // The record that field reads and writes address in the current state.
  TRecord* ActiveRecordForState() const;
  // The update status of that record (rsUnmodified without one).
  TUpdateStatus UpdateStatus() const;
  // Clears the record's calculated fields and computes them again.
  void RecalcRecord(TRecord* record);
  // A direct add of the current new record (the insert-record and
  // append-record road): no unique-key check.
  void AppendRecord(const std::vector<TValue>& values) { AddRecord(values, true); }
  void InsertRecord(const std::vector<TValue>& values) { AddRecord(values, false); }

  // ---- Filtering. While Filtered is on, OnFilterRecord and then the
  // compiled Filter decide. Filter is compiled when it is set on an open
  // table and when the table opens; a text that does not compile raises
  // the parser's error and leaves no program.
  void SetFiltered(bool value) override;
  void SetFilter(std::string value) override;
  // The first, last, next or previous record that OnFilterRecord accepts,
  // whether or not Filtered is on; false (the cursor stays) when none.
  bool FindFirst() { return FindVisibleRecord(true, true); }
  bool FindLast() { return FindVisibleRecord(true, false); }
  bool FindNext() { return FindVisibleRecord(false, true); }
  bool FindPrior() { return FindVisibleRecord(false, false); }
  bool Found() const { return found_; }

  // ---- Cursor (positions in the current index's entries)
  virtual void CursorBeforeFirst();
  virtual void CursorAfterLast();
  virtual bool CursorStepNext(bool filterAlways);
  virtual bool CursorStepPrior(bool filterAlways);
  int InsertPosition() const { return insertPosition_; }

  // ---- Records
  // The store's record size: header and value area, never cut to 16 bits.
  int32_t RecordSize() const { return store_->RecordSize(); }
  // The field is a key field of the current index.
  bool IsIndexField(const TField& field) const { return indexFieldList_.IndexOfField(&field) >= 0; }
  int RecordCount() override;
  int RecNo() const override;
  TBookmark BookmarkOf(const TRecord* buffer) const;
  TBookmarkFlag BookmarkFlagOf(const TRecord* buffer) const;

  // ---- Visibility, locate, lookup, bookmarks
  // Whether the view hides anything at all: a status filter, deleted
  // records, a filter in force, a master/detail restriction or a range.
  bool NeedsRecordCheck() { return NeedsFiltering(); }
  // The record lies inside the range (true while no range is set).
  bool WithinRange(const TRecord* record) const;
  // The record carries the master's key values (true without a restriction).
  bool MatchesMasterRecord(const TRecord* record) const;
  // The restriction of a master link in force; none for a plain table.
  virtual const TMasterRestriction* MasterRestriction() const;
  // The compiled filter; while Filtered it decides after OnFilterRecord.
  TRecordFilterProgram* FilterProgram() const { return filterProgram_.get(); }
  void SetFilterProgram(std::unique_ptr<TRecordFilterProgram> program) { filterProgram_ = std::move(program); }
  // Shows only the records whose key fields of the current index lie
  // between the two keys, each field bounded on its own, both ends
  // inclusive. A key is one value or an array in index-field order; a null
  // or missing value leaves that end of its field open. The range keeps the
  // fields it was set on until it is cancelled or the table closes. Needs an
  // open table whose current index has key fields; moves to the first record.
  void SetRange(const TValue& startValues, const TValue& endValues);
  void CancelRange();
  bool HasRange() const { return rangeLow_ != nullptr; }
  // The range is set and switched on. Switching keeps its keys and leaves
  // the cursor alone (a save switches it off for its run).
  bool RangeActive() const { return rangeActive_; }
  void SetRangeActive(bool value) { rangeActive_ = value && HasRange(); }
  // Moves over visible records to the number; 0, a number past the current
  // index's entries or the current number do nothing.
  void SetRecNo(int value);
  // Record numbers are positions exactly while the table is not Filtered.
  bool IsSequenced() const { return !Filtered(); }
  // The position in the current index of the first visible record whose
  // fields named in `keyFields` (";"-separated) equal `keyValues` (one
  // value, or an array in field order), or -1. Posts a pending edit first.
  int SearchKeyPosition(std::string_view keyFields, const TValue& keyValues, TLocateOptions options = 0);
  // SearchKeyPosition between BeforeScroll and AfterScroll; the record
  // found becomes current. A miss leaves the cursor and skips AfterScroll.
  bool LocateRecord(std::string_view keyFields, const TValue& keyValues, TLocateOptions options = 0);
  // The value of the result field (several: an array) of the record found,
  // null when none is; the cursor does not move and no scroll events run.
  TValue LookupValue(std::string_view keyFields, const TValue& keyValues, std::string_view resultFields);
  // The bookmark of the current record (an empty one while none is shown
  // or a new record is being inserted).
  TBookmark GetBookmark() const;
  // Taken from this store's current contents, and its record still there.
  bool BookmarkValid(const TBookmark* bookmark) const;
  // None: "Bookmark -200 not found."; an empty one does nothing; a record
  // that is gone or not in the current index leaves the cursor.
  void GotoBookmark(const TBookmark* bookmark);
  // -1, 0 or 1 in the order of the current index; 0 when either is invalid.
  int CompareBookmarks(const TBookmark* a, const TBookmark* b) const;
  void SetBookmarkData(TRecord* buffer, const TBookmark& bookmark);
  void SetBookmarkFlag(TRecord* buffer, TBookmarkFlag flag);

  // ---- Copy and merge
  // Appends the records of `source` from its current one on into `dest`,
  // field by field by name, at most `count` (0 or less: all). Returns the
  // number of records handled; 0 when either is missing or both are one.
  virtual int TransferRecords(TDataSet* source, TDataSet* dest, int count);
  // For each record of `source`: locates its `keyFields` values in `dest`
  // and edits the record found or appends a new one as `flags` allow.
  // Returns the number of source records handled.
  int MergeRecords(TDataSet* source, TDataSet* dest, TdvoMergeFlags flags, std::string_view keyFields);
  // Fills the table from `source` (up to LoadLimit records): with
  // cfStructure its fields first, with cfSettings their settings, with
  // cfAppend after the records it holds, else instead of them.
  virtual void FillFromDataSet(TDataSet* source, TdvoCopyOptions options);
  // Appends the table's records (up to SaveLimit) to `dest`.
  virtual void CopyToDataSet(TDataSet* dest);
  virtual void MergeIntoDataSet(TDataSet* dest, std::string_view keyFields, TdvoMergeFlags flags);
  virtual void MergeIntoDataSet(TDataSet* dest, std::string_view keyFields) {
    MergeIntoDataSet(dest, keyFields, ufUpdateExisting | ufAppendMissing);
  }
  // Frees every record of the store; every open table on it shows none.
  void ClearAllRecords();
  // Display and editing settings of one field onto another, then
  // OnSetupFieldProperties with the target.
  void CopyFieldSettings(TField* fromField, TField* toField);
  // CopyFieldSettings for every field of `target` that `source` has by name.
  void CopyFieldSettingsFrom(TDataSet* source, TDataSet* target);
  // Field definitions (and, when the source has persistent ones, field
  // objects) copied from `source`; the copy options that act here are
  // cfFieldObjectsOnly, cfSettings, cfLookupFields and cfCalcFields. Closes
  // every table of the store first.
  void CopyStructureFrom(TDataSet* source, TdvoCopyOptions options);
  // A field of this table made like `source` (WideString and Guid as
  // String); nullptr for a type no table holds. Only while closed.
  TField* CloneField(const TField& source);

  // ---- Events
  TProgressEvent OnProgress;
  TRecordAcceptEvent OnLoadRecord, OnSaveRecord;
  TFieldEvent OnLoadField, OnSaveField;
  TBlobStreamEvent OnCompressBlobStream, OnDecompressBlobStream;
  TSetupFieldEvent OnSetupField;
  TFieldPropertiesEvent OnSetupFieldProperties;
  TFieldBytesEvent OnCompressField, OnDecompressField;
  TStorageEvent OnSave, OnLoad;
  TCompareFieldsEvent OnCompareFields;
  TFilterIndexEvent OnFilterIndex;

  // ---- Dataset field access
  bool GetFieldData(const TField& field, void* buffer) override;
  // GetFieldData for a record the caller already holds, with the store lock
  // taken and the table open: a filter reads many fields of one record.
  bool ReadRecordField(const TRecord* record, const TField& field, void* buffer);
  // Under the same conditions: where the field's buffer form lies whole in
  // `record` (`present` false for null), or nullptr when it is kept out of
  // line or the record has no place for it.
  const uint8_t* RecordFieldBytes(const TRecord* record, const TField& field, bool& present);
  void SetFieldData(TField& field, const void* buffer) override;
  void DataEvent(TDataEvent event, TField* field) override;

  // ---- TStoreTable
  std::vector<TFieldDefDesc> StoreFieldDefs() const override;
  int32_t StoreCalcBufferSize() const override { return CalcFieldsSize(); }
  bool HasSetupFieldEvent() const override { return static_cast<bool>(OnSetupField); }
  void SetupField(int fieldNo, const TFieldDefDesc& def, uint8_t& fieldFlags) override;
  bool HasDecompressFieldEvent() const override { return static_cast<bool>(OnDecompressField); }
  void DecompressField(const TFieldInfo& field, const uint8_t* buffer, int32_t& size,
                       const uint8_t*& resultBuffer) override;
  bool HasCompareFieldsEvent() const override { return static_cast<bool>(OnCompareFields); }
  void CompareFields(const void* keyField, const void* aField, TFieldType type, int options, bool& fullCompare,
                     int& result) override;
  bool StoreTableActive() const override { return open_; }
  bool StoreTableBrowsing() const override { return open_ && State() == dsBrowse; }
  void StoreCloseTable() override { Close(); }
  void StoreRefreshTable() override { Refresh(); }
  void StoreEmptyTableView() override;
  void StoreEndPendingEdit() override;
  void StoreBeforeUndo() override;
  bool StoreKeepsEntries() const override { return indexes_->KeepsEntries(); }
  void StoreRecordsReplaced(const std::unordered_map<const TRecord*, TRecord*>& replaced) override {
    indexes_->ReplaceRecords(replaced);
  }
  void StoreRebuildAllIndexes(bool reportDuplicates) override { indexes_->RebuildAllIndexes(reportDuplicates); }
  void StoreInvalidateAllIndexes() override { indexes_->InvalidateAllIndexes(); }
  void StoreSyncIndexes(bool reportDuplicates) override { SyncIndexes(reportDuplicates); }
  void StoreMaintainIndexes(TRecordChange change, TRecord* storedRecord, TRecord* otherRecord,
                            int positionHint, TIndexUndo& undo) override;
  void StoreCheckUniqueKeys(const TRecord* newValues, const TRecord* stored) override {
    indexes_->CheckUniqueKeys(newValues, stored);
  }
  void StoreCheckRebuildBringsNoDuplicates(const std::vector<TRecord*>& records,
                                           const std::vector<TRecord*>& before) override {
    indexes_->CheckRebuildBringsNoDuplicates(records, before);
  }
  bool StoreChecksUniqueRebuild() const override { return indexes_->ChecksUniqueRebuild(); }
  void StoreSetAttachSlot(int slot) override { attachSlot_ = slot; }
  void StoreDetached() override;

  // ---- TIndexedTable
  TdvoCommon& IndexStore() override { return *store_; }
  TFieldInfo* IndexFieldNamed(std::string_view name) override { return &FieldNamed(name); }
  TFieldKind IndexFieldKind(const TFieldInfo& field) const override;
  std::string IndexFieldDisplayName(const TFieldInfo& field) const override;
  bool RecalcOnIndex() const override { return recalcOnIndex_; }
  void SetRecalcOnIndex(bool value) override { recalcOnIndex_ = value; }
  void RecalcIndexRecord(TRecord* record) override { RecalcRecord(record); }
  bool IsRecordVisible(TRecord* record, bool forceFilter) override;
  bool NeedsFiltering() override;
  bool HasFilterIndexEvent() const override { return static_cast<bool>(OnFilterIndex); }
  void FilterIndex(TdvoIndex& index, bool& accept) override;
  bool EvaluateIndexFilter(const TIndexFilterExpr& expr) override;
  TRecord* OverrideRecord() const override { return overrideRecord_; }
  void SetOverrideRecord(TRecord* record) override { overrideRecord_ = record; }
  void ReportProgress(int percentage, TdvoProgressCode code) override;
  void SetTablePhase(uint8_t phase) override { tablePhase_ = phase; }
  bool IndexTableOpen() const override { return open_; }
  bool EnableIndexes() const override { return enableIndexes_; }
  TdvoIndex* CurrentIndex() const override { return currentIndex_; }
  void SetCurrentIndexRef(TdvoIndex* index) override;
  TdvoIndex* SortIndexRef() const override { return sortIndex_; }
  void SetSortIndexRef(TdvoIndex* index) override { sortIndex_ = index; }
  int CursorPosition() const override { return cursor_; }
  void SetCursorPosition(int position) override { cursor_ = position; }

 protected:
  // ---- Dataset hooks
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return open_; }
  void InternalFirst() override { CursorBeforeFirst(); }
  void InternalLast() override { CursorAfterLast(); }
  TGetResult GetRecord(TRecord* buffer, TGetMode mode, bool doCheck) override;
  TRecord* AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecord*& buffer) override;
  void InternalInitRecord(TRecord* buffer) override;
  void InitInsertBuffer(TRecord* buffer, bool append, bool onRecord) override;
  void InternalPost() override;
  void InternalDelete() override;
  void InternalCancel() override;
  void InternalEdit() override { editTakenBack_ = false; }
  void InternalSetToRecord(TRecord* buffer) override;
  void ClearCalcFields(TRecord* buffer) override;
  bool CanModify() const override { return !readOnly_; }
  void CloseBlob(TField& field) override;
  void DetachBlobStreams() override;
  void DoBeforeClose() override;
  void DoAfterOpen() override;
  void DoBeforeInsert() override;
  void DoBeforePost() override;
  void DoAfterPost() override;
  void DoAfterDelete() override;
  void DoOnNewRecord() override;
  // The add step of AppendRecord / InsertRecord.
  virtual void InternalAddRecord(TRecord* buffer, bool append);

 private:
  // Writes the mapped source fields into `dest`'s pending record with `put`
  // and the save and load events, then posts it, or cancels it when
  // OnLoadRecord refuses it or anything fails (the failure passes on).
  void WriteMappedRecord(TDataSet& dest, const std::vector<TField*>& map, bool saving, bool loading,
                         void (*put)(const TField& from, TField& to));
  friend class TdvoBlobStream;

  TGetResult FetchRecord(TRecord* buffer, TGetMode mode);
  bool FindVisibleRecord(bool restart, bool forward);
  void CompileFilter();
  // The stored record a buffer came from, or nullptr when it is gone.
  TRecord* StoredRecordOf(const TRecord* buffer) const;
  bool FindAutoIncField();
  void NoteAutoIncOnPost();
  void AssignNewAutoInc();
  void PostEdit(TRecord* buffer);
  void PostInsert(TRecord* buffer);
  TRecord* StoreNewRecord(TRecord* buffer, std::exception_ptr& deferred);
  void IndexNewRecord(TRecord* record, int hint);
  void ResetStoreIfEmpty();
  void AddRecord(const std::vector<TValue>& values, bool append);
  void WriteSlot(TRecord* record, TField& field, uint8_t* slot, const uint8_t* source);
  void RefreshOthers();
  // Closes a table that an index change or its own opening steps could not
  // make whole; the failure that led here is the one reported.
  void CloseAfterFailure();
  // IndexName and IndexFieldNames from the current index (empty for the
  // row order and internal ones).
  void NameCurrentIndex();
  // Makes the index that IndexFieldNames, else IndexName, names current;
  // with none of that name left the names follow the current index.
  void ChooseIndexByNames();

  // ---- Visibility, locate, lookup, bookmarks state
  bool PassesRecordChecks(TRecord* record, bool forceFilter);
  bool MasterRestrictionInForce() const;
  void FillRangeKey(TRecord* record, const TValue& values);
  // Frees the range's keys; the table no longer has one.
  void ReleaseRange();
  // The stored record a bookmark names, when it is still there.
  TRecord* RecordOfBookmark(const TBookmark& bookmark) const;
  std::unique_ptr<TRecordFilterProgram> filterProgram_;
  TdvoFieldList rangeFields_;
  // Locate's parsed key list and key record, kept for the next call with
  // the same key text and options (stations locate the same way each time).
  const TdvoFieldList& LocateKeys(std::string_view keyFields, TLocateOptions options);
  TRecord* LocateKeyRecord();
  void FreeLocateKeyRecord();
  struct TLocateKeys {
    bool valid = false;
    std::string text;
    TLocateOptions options = 0;
    uint64_t fieldsVersion = 0;
    bool calculated = false;
    TdvoFieldList fields;
    TRecord* record = nullptr;
  };
  TLocateKeys locateKeys_;
  TRecord* rangeLow_ = nullptr;
  TRecord* rangeHigh_ = nullptr;
  bool rangeActive_ = false;

  friend class TdvoCustomDeltaHandler;
  // The table's end: its handler, and every handler walking it whether it
  // still names that one or not, forget it.
  void ForgetDeltaHandler();
  // Every delta walk over this table ends where it stands, its hold on the
  // store's lock released: the table ends, or leaves its store.
  void EndDeltaWalks(bool tableEnds);
  TdvoCustomDeltaHandler* deltaHandler_ = nullptr;
  // The innermost delta walk over this table; each names the one it runs in.
  TDeltaWalk* deltaWalk_ = nullptr;

  // ---- Master/detail state
  void InitMasterLink();
  void BuildMasterDetailLists();
  // The master's current key values into the range record; false when the
  // link has no fields or there are no fields to take them.
  bool FillMasterRecord();
  void FreeMasterRecord();
  void PresetMasterValues();
  const TdvoFieldList& MasterTargetFields() const;
  std::unique_ptr<TMasterDataLink> masterLink_;
  std::string detailFields_;
  TdvoFieldList detailFieldList_;
  TRecord* masterRecord_ = nullptr;
  int masterFieldCount_ = 0;
  bool masterDetailActive_ = true;
  mutable TMasterRestriction masterRestriction_;

  // ---- Attached tables
  // A store of the table's own, joined as attach slot 0, with a fresh
  // index collection; the table shares no other store from now on.
  void MakeOwnStore();
  void EndTransaction(bool undo);
  void OpenAttachedFields();
  // Refuses, naming the field, a bound field whose type or size is not the
  // one the shared layout gave its number.
  void CheckAttachedFieldsMatchLayout() const;
  TdvoCustomMemTable* attachedTo_ = nullptr;
  std::unique_ptr<TdvoCommon> ownStore_;  // none while attached

  int attachSlot_ = 0;
  TdvoCommon* store_ = nullptr;
  std::unique_ptr<TdvoIndexes> indexes_;
  TIndexDefs indexDefs_;
  TdvoIndex* currentIndex_ = nullptr;
  TdvoIndex* sortIndex_ = nullptr;
  TdvoFieldList indexFieldList_;
  TRecord* filterRecord_ = nullptr;
  TRecord* keyRecord_ = nullptr;
  TRecord* overrideRecord_ = nullptr;
  TField* autoIncField_ = nullptr;
  bool ignoreReadOnly_ = false;
  bool noAutoInc_ = false;
  bool enableIndexes_ = true;
  bool designActivation_ = true;
  bool attachedAutoRefresh_ = true;
  bool autoReposition_ = false;
  bool recalcOnIndex_ = false;
  bool recalcOnFetch_ = true;
  bool readOnly_ = false;
  bool open_ = false;
  bool closeDone_ = false;
  // The pending edit's record was taken back by a rollback since it was
  // read: posting it would write the undone version back.
  bool editTakenBack_ = false;
  // Write and read-write blob streams bound to the table's record buffers.
  std::vector<TdvoBlobStream*> blobStreams_;
  bool afterOpenRunning_ = false;
  bool found_ = false;
  uint8_t tablePhase_ = kPhaseNormal;
  TUpdateStatusSet statusFilter_ = 0;
  int cursor_ = -1;
  int savedPosition_ = -1;
  int insertPosition_ = -1;
  int32_t loadLimit_ = -1;
  int32_t loadCount_ = -1;
  bool loadedCompletely_ = false;
  int32_t saveLimit_ = -1;
  int32_t saveCount_ = -1;
  bool savedCompletely_ = false;
  TdvoProgressCodes progressFlags_ =
      static_cast<TdvoProgressCodes>(ProgressBit(mtpcLoad) | ProgressBit(mtpcSave) | ProgressBit(mtpcCopy));
  std::string writtenVersion_;
  std::string indexFieldNames_;
  std::string indexName_;
  std::vector<bool> lockEntered_;

  // ---- Load and save state
  friend class TdvoCustomStreamFormat;
  friend class TdvoCustomBinaryStreamFormat;
  // The after-open load and the before-close save of the persistent file.
  void LoadPersistentFile();
  void SavePersistentFile();
  TStreamFormatRef defaultFormat_, commaTextFormat_, persistentFormat_, formFormat_;
  bool persistent_ = false;
  std::string persistentFile_;
  bool persistentBackup_ = false;
  std::string persistentBackupExt_;
  bool persistentSaved_ = false;
};

class TdvoMemTable final : public TdvoCustomMemTable {
 public:
  using TdvoCustomMemTable::TdvoCustomMemTable;
  ~TdvoMemTable() override;
};

}  // namespace ts
