#include "table_store/dataset/data_source.h"

#include <algorithm>

#include "table_store/dataset/dataset.h"

namespace ts {

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

// ---- TDataSource

TDataSource::TDataSource(TDataSet* dataSet) { SetDataSet(dataSet); }

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  // Links are told one by one; each leaves the list as it is told.
  while (!links_.empty()) links_.back()->SourceGone();
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_ != nullptr) std::erase(dataSet_->dataSources_, this);
  dataSet_ = dataSet;
  if (dataSet_ != nullptr) dataSet_->dataSources_.push_back(this);
  UpdateLinks();
}

void TDataSource::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateLinks();
}

TDataSetState TDataSource::State() const { return dataSet_ != nullptr ? dataSet_->State() : dsInactive; }

void TDataSource::UpdateLinks() {
  // A link may leave (or another join) while it is told.
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links)
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->UpdateActive();
}

void TDataSource::DataEvent(TDataEvent event, TField* field) {
  if (!enabled_) return;
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links)
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, field);
}

void TDataSource::AddLink(TDataLink* link) {
  if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link) { std::erase(links_, link); }

// ---- TDataLink

TDataLink::~TDataLink() {
  if (source_ != nullptr) source_->RemoveLink(this);
}

TDataSet* TDataLink::DataSet() const { return source_ != nullptr ? source_->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_ != nullptr) source_->RemoveLink(this);
  source_ = source;
  if (source_ != nullptr) source_->AddLink(this);
  UpdateActive();
}

void TDataLink::SourceGone() {
  if (source_ != nullptr) source_->RemoveLink(this);
  source_ = nullptr;
  UpdateActive();
}

void TDataLink::UpdateActive() {
  const TDataSet* dataSet = DataSet();
  const bool active = source_ != nullptr && source_->Enabled() && dataSet != nullptr && dataSet->Active();
  if (active == active_) return;
  active_ = active;
  ActiveChanged();
}

void TDataLink::DataEvent(TDataEvent event, TField* field) {
  // Every event also settles Active: a state change the link missed (while
  // the dataset held its notifications back) is caught up here.
  const bool wasActive = active_;
  UpdateActive();
  if (event == TDataEvent::UpdateState || !active_ || !wasActive) return;
  const bool oneRecord = event == TDataEvent::FieldChange || event == TDataEvent::RecordChange;
  RecordChanged(oneRecord ? field : nullptr);
}

// ---- TMasterDataLink

const TdvoFieldList& TMasterDataLink::Fields() {
  const TDataSet* dataSet = DataSet();
  if (dataSet == nullptr || !Active() || !dataSet->Active()) {
    ForgetFields();
  } else if (dataSet != fieldsOf_ || dataSet->FieldsVersion() != fieldsVersion_) {
    RebuildFields();
  }
  return fields_;
}

void TMasterDataLink::RebuildFields() {
  ForgetFields();
  TDataSet* dataSet = DataSet();
  if (!Active() || dataSet == nullptr) return;
  TdvoFieldList fields;
  std::string_view rest = fieldNames_;
  while (!rest.empty()) {
    const size_t end = rest.find(';');
    std::string_view name = Trimmed(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    // Option letters after ":" order an index; a master key has none.
    name = Trimmed(name.substr(0, name.find(':')));
    if (!name.empty()) fields.AddField(&dataSet->FieldByName(name), 0);
  }
  TdvoFieldList::CopyFieldList(fields, fields_);
  fieldsOf_ = dataSet;
  fieldsVersion_ = dataSet->FieldsVersion();
}

void TMasterDataLink::ActiveChanged() {
  if (Active()) {
    RebuildFields();
    if (OnMasterChange) OnMasterChange();
  } else {
    ForgetFields();
    if (OnMasterDisable) OnMasterDisable();
  }
}

void TMasterDataLink::RecordChanged(TField* field) {
  if (DataSource()->State() == dsSetKey) return;
  // A field change matters only for a key field; a link without fields
  // (its detail closed) has none.
  if (field != nullptr && (fieldsOf_ == nullptr || Fields().IndexOfField(field) < 0)) return;
  if (OnMasterChange) OnMasterChange();
}

}  // namespace ts
