// TdvoCustomMemTable: filling the table from another dataset, copying and
// merging its records into another dataset, and emptying the store.
#include <optional>

#include "table_store/dataset/mem_table.h"
#include "table_store/messages.h"

namespace ts {

namespace {

constexpr uint8_t kPhaseEmptying = 4;

constexpr const char* kAppendWithStructure =
    "Records cannot be appended while the structure or the field settings are copied";

// Runs its action when the scope ends, also when an exception leaves it.
template <class F>
class TFinally {
 public:
  explicit TFinally(F f) : f_(std::move(f)) {}
  ~TFinally() { f_(); }
  TFinally(const TFinally&) = delete;
  TFinally& operator=(const TFinally&) = delete;

 private:
  F f_;
};

// Runs a clean-up step whose failure must not hide the outcome it follows.
template <class F>
void Quietly(F f) {
  try {
    f();
  } catch (...) {
  }
}

}  // namespace

void TdvoCustomMemTable::FillFromDataSet(TDataSet* source, TdvoCopyOptions options) {
  if (source == nullptr || source == this) return;
  if ((options & cfAppend) && (options & (cfStructure | cfSettings))) throw EMemTableError(kAppendWithStructure);
  // Emptying the store first (or closing it with the structure copy) is
  // refused inside a level before anything is touched; appending is not.
  if (!(options & cfAppend)) store_->RefuseInsideLevel();
  SetTablePhase(kPhaseLoading);
  TFinally phase([this] { SetTablePhase(kPhaseNormal); });
  if (OnLoad) OnLoad(*this, mtstDataSet, nullptr);
  if (options & cfStructure)
    Close();
  else if (!(options & cfAppend))
    ClearAllRecords();

  const bool sourceWasOpen = source->Active();
  const bool wasFiltered = Filtered();
  TDataSource* const masterSource = MasterSource();
  const bool indexesEnabled = enableIndexes_;
  auto* sourceTable = dynamic_cast<TdvoCustomMemTable*>(source);
  std::optional<TBookmark> sourceBookmark;
  bool succeeded = false;
  // Whatever happens below, the table and the source return to their
  // settings, and the indexes the copy left unmaintained are rebuilt.
  TFinally restore([&] {
    enableIndexes_ = indexesEnabled;
    if (!succeeded && open_) Quietly([this] { store_->InvalidateAllAttachedIndexes(); store_->SyncAllAttachedIndexes(); });
    if (sourceTable != nullptr && sourceBookmark && source->Active())
      Quietly([&] { sourceTable->GotoBookmark(&*sourceBookmark); });
    ignoreReadOnly_ = false;
    if (!sourceWasOpen) Quietly([&] { source->Close(); });
    Quietly([&] { SetFiltered(wasFiltered); });
    Quietly([&] { SetMasterSource(masterSource); });
  });

  enableIndexes_ = false;
  ignoreReadOnly_ = true;
  if (!sourceWasOpen) source->Open();
  if (sourceTable != nullptr) Quietly([&] { sourceBookmark = sourceTable->GetBookmark(); });
  SetFiltered(false);
  SetMasterSource(nullptr);
  Quietly([&] { source->CheckBrowseMode(); });

  if (options & cfStructure) CopyStructureFrom(source, options);
  if (!Active()) Open();
  if (!(options & cfAppend) && (options & cfSettings)) CopyFieldSettingsFrom(source, this);

  CheckBrowseMode();
  if (!source->Bof()) source->First();
  const TdvoCommon::TAddMark mark = store_->AddMark();
  loadCount_ = TransferRecords(source, this, loadLimit_);

  enableIndexes_ = indexesEnabled;
  store_->InvalidateAllAttachedIndexes();
  // Only the records the copy brought are its to answer for: a key held
  // twice before is not reported again.
  store_->SyncAllAttachedIndexes(false);
  store_->CheckAddedBringNoDuplicates(mark);
  succeeded = true;
  First();
}

void TdvoCustomMemTable::CopyToDataSet(TDataSet* dest) {
  if (dest == nullptr || dest == this) return;
  SetTablePhase(kPhaseSaving);
  const bool destWasOpen = dest->Active();
  TFinally restore([&] {
    if (dest->Active()) Quietly([&] { dest->First(); });
    if (!destWasOpen) Quietly([&] { dest->Close(); });
    SetTablePhase(kPhaseNormal);
  });
  if (OnSave) OnSave(*this, mtstDataSet, nullptr);
  if (!destWasOpen) dest->Open();
  dest->CheckBrowseMode();
  if (Active())
    CheckBrowseMode();
  else
    Open();
  First();
  saveCount_ = TransferRecords(this, dest, saveLimit_);
}

void TdvoCustomMemTable::MergeIntoDataSet(TDataSet* dest, std::string_view keyFields, TdvoMergeFlags flags) {
  if (Active()) CheckBrowseMode();
  if (dest == nullptr || dest == this) return;
  const bool destWasOpen = dest->Active();
  TFinally restore([&] {
    if (dest->Active()) Quietly([&] { dest->First(); });
    if (!destWasOpen) Quietly([&] { dest->Close(); });
  });
  if (OnSave) OnSave(*this, mtstDataSet, nullptr);
  if (!destWasOpen) dest->Open();
  dest->CheckBrowseMode();
  if (!Active()) Open();
  First();
  MergeRecords(this, dest, flags, keyFields);
}

void TdvoCustomMemTable::ClearAllRecords() {
  store_->RefuseInsideLevel();
  ReportProgress(0, mtpcEmpty);
  TFinally done([this] { Quietly([this] { ReportProgress(100, mtpcEmpty); }); });
  if (State() == dsEdit || State() == dsInsert) Cancel();
  {
    TLockGuard guard(store_->Lock());
    const uint8_t phase = tablePhase_;
    SetTablePhase(kPhaseEmptying);
    TFinally restorePhase([this, phase] { SetTablePhase(phase); });
    store_->CloseAndEmptyStore();
  }
  if (open_) Resync();
  store_->RefreshOtherAttachedTables(this);
}

}  // namespace ts
