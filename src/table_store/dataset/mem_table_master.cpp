// TdvoCustomMemTable: following a master dataset through its data source.
#include <algorithm>
#include <vector>

#include "table_store/dataset/data_source.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/indexes/key_fields.h"
#include "table_store/messages.h"

namespace ts {

void TdvoCustomMemTable::InitMasterLink() {
  masterLink_ = std::make_unique<TMasterDataLink>();
  masterLink_->OnMasterChange = [this] { MasterRecordChanged(); };
  masterLink_->OnMasterDisable = [this] { MasterLinkDisabled(); };
}

TDataSource* TdvoCustomMemTable::MasterSource() const { return masterLink_->DataSource(); }

void TdvoCustomMemTable::SetMasterSource(TDataSource* source) {
  // Following the chain of masters from the new source must never come
  // back here; a chain that loops elsewhere ends the walk.
  std::vector<const TDataSet*> seen;
  for (TDataSource* link = source; link != nullptr;) {
    const TDataSet* dataSet = link->DataSet();
    if (dataSet == nullptr || std::find(seen.begin(), seen.end(), dataSet) != seen.end()) break;
    if (dataSet == this) DatabaseError(msg::kSelfReferencingMaster);
    seen.push_back(dataSet);
    link = dataSet->MasterDataSource();
  }
  const bool wasActive = masterLink_->Active();
  masterLink_->SetDataSource(source);
  // From one open master to another: the link stayed active and said nothing.
  // A closed table looks the fields up when it opens, and keeps none of the
  // old master's meanwhile.
  if (wasActive && masterLink_->Active()) {
    if (!open_) {
      masterLink_->ForgetFields();
      return;
    }
    masterLink_->RebuildFields();
    MasterRecordChanged();
  }
}

const std::string& TdvoCustomMemTable::MasterFields() const { return masterLink_->FieldNames(); }

void TdvoCustomMemTable::SetMasterFields(std::string value) {
  masterLink_->SetFieldNames(std::move(value));
  // A closed table only keeps the names: they are checked when it opens.
  if (!open_) {
    masterLink_->ForgetFields();
    return;
  }
  masterLink_->RebuildFields();
  if (masterLink_->Active()) MasterRecordChanged();
}

void TdvoCustomMemTable::SetDetailFields(std::string value) {
  detailFields_ = std::move(value);
  if (!open_) return;
  BuildMasterDetailLists();
  if (masterLink_->Active()) MasterRecordChanged();
}

void TdvoCustomMemTable::BuildMasterDetailLists() {
  masterLink_->RebuildFields();
  if (detailFields_.empty())
    detailFieldList_.ClearFields();
  else
    ParseKeyFieldList(*this, detailFieldList_, detailFields_);
  FillMasterRecord();
}

const TdvoFieldList& TdvoCustomMemTable::MasterTargetFields() const {
  return detailFieldList_.FieldCount() > 0 ? detailFieldList_ : indexFieldList_;
}

bool TdvoCustomMemTable::FillMasterRecord() {
  const TdvoFieldList& masterFields = masterLink_->Fields();
  const TdvoFieldList& target = MasterTargetFields();
  if (masterFields.FieldCount() == 0 || target.FieldCount() == 0) return false;
  TLockGuard guard(store_->Lock());
  if (masterRecord_ == nullptr) masterRecord_ = store_->AllocRecord();
  const int count = std::min(masterFields.FieldCount(), target.FieldCount());
  for (int i = 0; i < count; ++i)
    SetFieldVariant(masterRecord_, static_cast<TField&>(*target.FieldAt(i)),
                    static_cast<const TField*>(masterFields.FieldAt(i))->Value());
  masterFieldCount_ = count;
  return true;
}

void TdvoCustomMemTable::FreeMasterRecord() {
  TLockGuard guard(store_->Lock());
  store_->FreeRecord(masterRecord_, true, false);
  masterRecord_ = nullptr;
  masterFieldCount_ = 0;
}

const TMasterRestriction* TdvoCustomMemTable::MasterRestriction() const {
  if (!masterDetailActive_ || masterRecord_ == nullptr || MasterSource() == nullptr || MasterFields().empty())
    return nullptr;
  masterRestriction_.DetailFields = &detailFieldList_;
  masterRestriction_.FieldCount = masterFieldCount_;
  masterRestriction_.KeyRecord = masterRecord_;
  return &masterRestriction_;
}

void TdvoCustomMemTable::MasterRecordChanged() {
  if (!open_) return;
  FillMasterRecord();
  CheckBrowseMode();
  First();
}

void TdvoCustomMemTable::MasterLinkDisabled() {
  if (open_) First();
}

void TdvoCustomMemTable::PresetMasterValues() {
  if (!masterLink_->Active()) return;
  const TdvoFieldList& masterFields = masterLink_->Fields();
  const TdvoFieldList& target = MasterTargetFields();
  const int count = std::min(masterFields.FieldCount(), target.FieldCount());
  for (int i = 0; i < count; ++i)
    static_cast<TField&>(*target.FieldAt(i)).SetValue(static_cast<const TField*>(masterFields.FieldAt(i))->Value());
}

}  // namespace ts
