#include "table_store/stream_format/stream_format.h"

#include <algorithm>
#include <exception>

#include "table_store/dataset/mem_table.h"
#include "table_store/field_types.h"
#include "table_store/first_failure.h"
#include "table_store/messages.h"
#include "table_store/stream_format/format_ref.h"

namespace ts {

namespace {

// A format's run state belongs to one pipeline at a time.
constexpr const char* kFormatBusy = "The stream format is already saving or loading a table.";

}  // namespace

// ---- References

void TStreamFormatRef::Reset(TdvoCustomStreamFormat* format) {
  if (format == format_) return;
  if (format_ != nullptr) {
    auto& refs = format_->refs_;
    refs.erase(std::remove(refs.begin(), refs.end(), this), refs.end());
  }
  format_ = format;
  if (format_ != nullptr) format_->refs_.push_back(this);
}

// ---- Component

TdvoCustomStreamFormat::TdvoCustomStreamFormat(std::string name) : name_(std::move(name)) {}

TdvoCustomStreamFormat::~TdvoCustomStreamFormat() {
  for (TStreamFormatRef* ref : refs_) ref->format_ = nullptr;
}

void TdvoCustomStreamFormat::Assign(const TdvoCustomStreamFormat& source) {
  if (&source == this) return;
  sfData = source.sfData;
  sfCalculated = source.sfCalculated;
  sfLookup = source.sfLookup;
  sfNonVisible = source.sfNonVisible;
  sfBlobs = source.sfBlobs;
  sfDef = source.sfDef;
  sfIndexDef = source.sfIndexDef;
  sfFiltered = source.sfFiltered;
  sfIgnoreRange = source.sfIgnoreRange;
  sfIgnoreMasterDetail = source.sfIgnoreMasterDetail;
  sfDeltas = source.sfDeltas;
  sfDontFilterDeltas = source.sfDontFilterDeltas;
  sfAppend = source.sfAppend;
  sfFieldKind = source.sfFieldKind;
  sfFromStart = source.sfFromStart;
}

// ---- Pipelines

void TdvoCustomStreamFormat::ForgetRun() {
  ReleaseWorkStream();
  target_ = source_ = work_ = nullptr;
  saveMap_.clear();
  loadMap_.clear();
  hasBookmark_ = false;
  bookmarkRecord_ = nullptr;
  runFailed_ = false;
  running_ = false;
}

void TdvoCustomStreamFormat::ReleaseWorkStream() {
  ownedWork_.reset();
  work_ = nullptr;
}

void TdvoCustomStreamFormat::RunSave(TdvoCustomMemTable& table, TStream& target) {
  // One format runs one pipeline at a time: its state is the run's.
  if (running_) throw EMemTableError(kFormatBusy);
  target_ = &target;
  RunPipeline(table, &TdvoCustomStreamFormat::BeforeSave, &TdvoCustomStreamFormat::AbandonSave,
              &TdvoCustomStreamFormat::Save, &TdvoCustomStreamFormat::AfterSave);
}

void TdvoCustomStreamFormat::RunLoad(TdvoCustomMemTable& table, TStream& source) {
  if (running_) throw EMemTableError(kFormatBusy);
  source_ = &source;
  RunPipeline(table, &TdvoCustomStreamFormat::BeforeLoad, &TdvoCustomStreamFormat::AbandonLoad,
              &TdvoCustomStreamFormat::Load, &TdvoCustomStreamFormat::AfterLoad);
}

// A failed preparation is undone by `abandon`; a failed body still runs the
// completion, so that locks and switches never outlive the call. The first
// failure is the one reported.
void TdvoCustomStreamFormat::RunPipeline(TdvoCustomMemTable& table, Stage before, Stage abandon, Stage body,
                                         Stage after) {
  running_ = true;
  work_ = nullptr;
  try {
    (this->*before)(table);
  } catch (...) {
    try {
      (this->*abandon)(table);
    } catch (...) {
    }
    ForgetRun();
    throw;
  }
  try {
    (this->*body)(table);
  } catch (...) {
    runFailed_ = true;
    try {
      (this->*after)(table);
    } catch (...) {
    }
    ForgetRun();
    throw;
  }
  try {
    (this->*after)(table);
  } catch (...) {
    ForgetRun();
    throw;
  }
  ForgetRun();
}

// ---- Save

void TdvoCustomStreamFormat::BeforeSave(TdvoCustomMemTable& table) {
  table.LockTable();
  locked_ = true;
  table.SetTablePhase(kPhaseSaving);
  table.ReportProgress(0, mtpcSave);
  filterSwitched_ = rangeSwitched_ = masterSwitched_ = false;
  if (table.Filtered() && (sfFiltered & sfSaveFiltered)) {
    filterSwitched_ = true;
    table.SetFiltered(false);
  }
  if (table.MasterDetailActive() && table.MasterRestriction() != nullptr &&
      (sfIgnoreMasterDetail & sfSaveIgnoreMasterDetail)) {
    masterSwitched_ = true;
    table.SetMasterDetailActive(false);
  }
  if (table.RangeActive() && (sfIgnoreRange & sfSaveIgnoreRange)) {
    rangeSwitched_ = true;
    table.SetRangeActive(false);
  }
  if (OnCompress) {
    ownedWork_ = std::make_unique<TMemoryStream>();
    work_ = ownedWork_.get();
  } else {
    work_ = target_;
  }
  if (sfAppend & sfSaveAppend) {
    work_->Seek(0, TSeekOrigin::End);
  } else if (!(sfAppend & sfSaveInsert)) {
    work_->SetSize(0);
    work_->SetPosition(0);
  }
  MapSaveFields(table);
}

void TdvoCustomStreamFormat::MapSaveFields(TdvoCustomMemTable& table) {
  const int count = table.FieldCount();
  saveMap_.assign(static_cast<size_t>(count), -1);
  for (int i = 0; i < count; ++i) {
    const TField& field = table.Field(i);
    int32_t& entry = saveMap_[static_cast<size_t>(i)];
    if (IsBlobFieldType(field.DataType())) {
      if (sfBlobs & sfSaveBlobs) entry = i;
      // Without the blob flag a blob stays out, whatever its kind.
      if (entry < 0) continue;
    }
    switch (field.FieldKind()) {
      case fkCalculated:
        if (sfCalculated & sfSaveCalculated) entry = i;
        break;
      case fkLookup:
        if (sfLookup & sfSaveLookup) entry = i;
        break;
      case fkData:
      case fkInternalCalc:
        if (sfData & sfSaveData) entry = i;
        break;
      case fkAggregate:
        entry = -1;
        break;
    }
    if (!field.Visible() && !(sfNonVisible & sfSaveNonVisible)) entry = -1;
  }
}

void TdvoCustomStreamFormat::Save(TdvoCustomMemTable& table) {
  if (OnBeforeSave) OnBeforeSave(*this);
  WriteDefinitions(table);
  WriteRecords(table);
  if (OnAfterSave) OnAfterSave(*this);
}

void TdvoCustomStreamFormat::RestoreSaveSwitches(TdvoCustomMemTable& table) {
  if (masterSwitched_) {
    masterSwitched_ = false;
    table.SetMasterDetailActive(true);
  }
  if (rangeSwitched_) {
    rangeSwitched_ = false;
    table.SetRangeActive(true);
  }
  if (!filterSwitched_) return;
  filterSwitched_ = false;
  table.SetFiltered(true);
}

void TdvoCustomStreamFormat::ReleaseTable(TdvoCustomMemTable& table) {
  table.SetTablePhase(kPhaseNormal);
  if (locked_) {
    locked_ = false;
    table.UnlockTable();
  }
}

void TdvoCustomStreamFormat::AfterSave(TdvoCustomMemTable& table) {
  // Every step runs whatever an earlier one did; the first failure is the
  // one passed on.
  TFirstFailure failure;
  // A failed save hands nothing to the compression event: the target must
  // not receive half a table.
  if (OnCompress && !runFailed_ && work_ != nullptr && work_ != target_)
    failure.Run([&] { OnCompress(table, *work_, *target_); });
  failure.Run([&] { RestoreSaveSwitches(table); });
  failure.Run([&] { table.ReportProgress(100, mtpcSave); });
  failure.Run([&] { ReleaseTable(table); });
  ReleaseWorkStream();
  failure.Rethrow();
}

void TdvoCustomStreamFormat::AbandonSave(TdvoCustomMemTable& table) {
  std::exception_ptr failure;
  try {
    RestoreSaveSwitches(table);
  } catch (...) {
    failure = std::current_exception();
  }
  ReleaseTable(table);
  ReleaseWorkStream();
  if (failure) std::rethrow_exception(failure);
}

// ---- Load

void TdvoCustomStreamFormat::BeforeLoad(TdvoCustomMemTable& table) {
  table.LockTable();
  locked_ = true;
  table.SetTablePhase(kPhaseLoading);
  wasPersistent_ = table.Persistent();
  hadIndexes_ = table.EnableIndexes();
  hadIgnoreReadOnly_ = table.IgnoreReadOnly();
  hadNoAutoInc_ = table.NoAutoInc();
  loadSwitched_ = true;
  table.SetPersistent(false);
  table.SetEnableIndexes(false);
  table.SetIgnoreReadOnly(true);
  table.SetNoAutoInc(true);
  hasBookmark_ = false;
  loadTouched_ = false;
  const TdvoCommon::TAddMark mark = table.Store().AddMark();
  addContents_ = mark.contentsId;
  addSerial_ = mark.serial;
  if (table.AutoReposition() && table.Active() && table.HasRecord()) {
    if (TRecord* stored = table.StoredRecordOf(table.ActiveBuffer())) {
      bookmarkRecord_ = stored;
      bookmarkContents_ = table.Store().ContentsId();
      bookmarkSlot_ = stored->SlotIndex;
      bookmarkSerial_ = stored->SerialId;
      hasBookmark_ = true;
    }
  }
  table.ReportProgress(0, mtpcLoad);
  if (OnDeCompress) {
    ownedWork_ = std::make_unique<TMemoryStream>();
    work_ = ownedWork_.get();
    if (sfFromStart & sfLoadFromStart) source_->SetPosition(0);
    OnDeCompress(table, *source_, *work_);
    work_->SetPosition(0);
  } else {
    work_ = source_;
    if (sfFromStart & sfLoadFromStart) work_->SetPosition(0);
  }
  MapLoadFields(table, 0);
}

void TdvoCustomStreamFormat::CollectLoadFieldIds(TdvoCustomMemTable& table, std::vector<std::string>& ids,
                                                 int /*phase*/) {
  ids.clear();
  for (int i = 0; i < table.FieldCount(); ++i) ids.push_back(table.Field(i).DisplayName());
}

void TdvoCustomStreamFormat::MapLoadFields(TdvoCustomMemTable& table, int phase) {
  std::vector<std::string> ids;
  CollectLoadFieldIds(table, ids, phase);
  const int count = static_cast<int>(ids.size());
  loadMap_.assign(ids.size(), -1);
  for (int position = 0; position < count; ++position) {
    int32_t& entry = loadMap_[static_cast<size_t>(position)];
    ResolveLoadFieldIndex(table, ids[static_cast<size_t>(position)], phase, entry, position, count);
    if (entry < 0 || entry >= table.FieldCount()) {
      entry = -1;
      continue;
    }
    const TField& field = table.Field(entry);
    bool keep = true;
    switch (field.FieldKind()) {
      case fkCalculated: keep = sfCalculated & sfLoadCalculated; break;
      case fkLookup: keep = sfLookup & sfLoadLookup; break;
      case fkData:
      case fkInternalCalc: keep = sfData & sfLoadData; break;
      case fkAggregate: keep = false; break;
    }
    if (IsBlobFieldType(field.DataType()) && !(sfBlobs & sfLoadBlobs)) keep = false;
    if (!field.Visible() && !(sfNonVisible & sfLoadNonVisible)) keep = false;
    if (!keep) entry = -1;
  }
}

void TdvoCustomStreamFormat::Load(TdvoCustomMemTable& table) {
  if (OnBeforeLoad) OnBeforeLoad(*this);
  ReadDefinitions(table);
  MapLoadFields(table, 1);
  if (loadMap_.empty()) throw EMemTableError(msg::kNoFieldCount);
  ReadRecords(table);
  if (OnAfterLoad) OnAfterLoad(*this);
}

void TdvoCustomStreamFormat::RestoreLoadSwitches(TdvoCustomMemTable& table) {
  if (!loadSwitched_) return;
  loadSwitched_ = false;
  table.SetPersistent(wasPersistent_);
  table.SetEnableIndexes(hadIndexes_);
  table.SetIgnoreReadOnly(hadIgnoreReadOnly_);
  table.SetNoAutoInc(hadNoAutoInc_);
}

void TdvoCustomStreamFormat::Reposition(TdvoCustomMemTable& table) {
  if (!table.Active()) return;
  table.CheckBrowseMode();
  if (!table.AutoReposition()) {
    table.Refresh();
    return;
  }
  table.ClearBuffers();
  int position = -1;
  // The bookmark holds only while the store still has the contents it was
  // taken from; a load that emptied the store invalidates it.
  const TRecord* record =
      hasBookmark_ ? table.RecordOfBookmark({bookmarkRecord_, bookmarkContents_, bookmarkSlot_, bookmarkSerial_})
                   : nullptr;
  if (record != nullptr) position = table.CurrentIndex()->FindRecordPosition(record, true);
  if (position >= 0) {
    table.SetCursorPosition(position);
    table.Resync();
  } else {
    table.First();
  }
}

void TdvoCustomStreamFormat::AfterLoad(TdvoCustomMemTable& table) {
  TFirstFailure failure;
  failure.Run([&] { RestoreLoadSwitches(table); });
  // A load refused or failed before it changed anything leaves no trace:
  // rebuilding the indexes would put the row order back in slot order and
  // move the records that inserts placed.
  const bool touched = loadTouched_;
  loadTouched_ = false;
  if (touched) failure.Run([&] {
    TdvoCommon& store = table.Store();
    store.InvalidateAllAttachedIndexes();
    // Only the records the load brought are its to answer for: a key held
    // twice before is not reported again.
    store.RebuildAllAttachedIndexes(false);
    store.CheckAddedBringNoDuplicates(TdvoCommon::TAddMark{addContents_, addSerial_});
  });
  failure.Run([&] { ReleaseTable(table); });
  failure.Run([&] { table.ReportProgress(100, mtpcLoad); });
  if (touched) failure.Run([&] { Reposition(table); });
  hasBookmark_ = false;
  ReleaseWorkStream();
  failure.Rethrow();
}

void TdvoCustomStreamFormat::AbandonLoad(TdvoCustomMemTable& table) {
  loadTouched_ = false;
  RestoreLoadSwitches(table);
  ReleaseTable(table);
  hasBookmark_ = false;
  ReleaseWorkStream();
}

}  // namespace ts
