// TDataSource and TDataLink: how one dataset follows another.
//
// A data source names a dataset; the data links attached to the source hear
// that dataset's changes (state, scrolling, record and field changes) while
// the source is enabled. A link is active while its source is enabled and
// the source's dataset is open. Any of the three may be destroyed first: the
// others forget it, and a link that loses its dataset becomes inactive.
//
// TMasterDataLink is the link a detail table keeps to its master: it holds
// the master's key fields (named by ";"-separated field names) and calls
// OnMasterChange when the master's current record changes or the link
// becomes active, OnMasterDisable when it becomes inactive.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "table_store/dataset/dataset_types.h"
#include "table_store/field_list.h"

namespace ts {

class TDataLink;
class TDataSet;
class TField;

class TDataSource {
 public:
  explicit TDataSource(TDataSet* dataSet = nullptr);
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* dataSet);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // The dataset's state; inactive without one.
  TDataSetState State() const;

  // ---- Used by the dataset and the links
  void DataEvent(TDataEvent event, TField* field);
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);

 private:
  void UpdateLinks();

  TDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  std::vector<TDataLink*> links_;
};

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  bool Active() const { return active_; }

  // ---- Called by the source
  void DataEvent(TDataEvent event, TField* field);
  // Recomputes Active; ActiveChanged runs when it changed.
  void UpdateActive();
  // The source is going away.
  void SourceGone();

 protected:
  virtual void ActiveChanged() {}
  // A record or one of its fields changed (field: none for the whole record).
  virtual void RecordChanged(TField* /*field*/) {}

 private:
  TDataSource* source_ = nullptr;
  bool active_ = false;
};

class TMasterDataLink : public TDataLink {
 public:
  const std::string& FieldNames() const { return fieldNames_; }
  // Only the names: the fields follow with RebuildFields or when the link
  // becomes active.
  void SetFieldNames(std::string value) { fieldNames_ = std::move(value); }
  // The master's fields named by FieldNames; empty while inactive. Looked up
  // again when the master's fields were made anew since (a load replaces
  // them without a word to its links): the link names fields, and never
  // keeps field objects the master freed.
  const TdvoFieldList& Fields();
  // Fills Fields from FieldNames against the source's dataset (empty while
  // the link is inactive); a name the dataset lacks raises its
  // field-not-found error.
  void RebuildFields();
  // Empties Fields until the next RebuildFields or activation.
  void ForgetFields() {
    fields_.ClearFields();
    fieldsOf_ = nullptr;
  }

  std::function<void()> OnMasterChange;
  std::function<void()> OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* field) override;

 private:
  std::string fieldNames_;
  TdvoFieldList fields_;
  // The dataset and its fields' version that fields_ was looked up in.
  const TDataSet* fieldsOf_ = nullptr;
  uint64_t fieldsVersion_ = 0;
};

}  // namespace ts
