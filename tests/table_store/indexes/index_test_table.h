// A small table for the index tests: a real record store with the fields
// Id (Integer), Name (String 20, in line), Data (Blob), Total (an Aggregate
// field) and Calc (a calculated Integer), and every index hook answered from
// plain members that a test can set and read back.
#pragma once

#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "table_store/errors.h"
#include "table_store/indexes/indexed_table.h"
#include "table_store/indexes/indexes.h"
#include "table_store/messages.h"
#include "table_store/record_store.h"
#include "table_store/store_table.h"

namespace ts::testing {

class TIndexTestTable : public TStoreTable, public TIndexedTable {
 public:
  struct TField {
    std::string name;
    TFieldKind kind;
    TFieldInfo info;
  };

  TIndexTestTable() {
    fields_.push_back({"Id", fkData, TFieldInfo(1, ftInteger, 0)});
    fields_.push_back({"Name", fkData, TFieldInfo(2, ftString, 20)});
    fields_.push_back({"Data", fkData, TFieldInfo(3, ftBlob, 0)});
    fields_.push_back({"Total", fkAggregate, TFieldInfo(0, ftInteger, 0, 0)});
    fields_.push_back({"Calc", fkCalculated, TFieldInfo(0, ftInteger, 0, 0)});
    store.BuildRecordLayout();
    indexes = std::make_unique<TdvoIndexes>(this);
    current = indexes->RowOrderIndex();
  }
  ~TIndexTestTable() override {
    indexes.reset();
    for (TRecord* r : buffers_) store.FreeRecord(r, true, true);
    store.EmptyStore();
  }

  TFieldInfo* Id() { return &fields_[0].info; }
  TFieldInfo* Name() { return &fields_[1].info; }

  // A record buffer (not stored) with the given values; freed with the table.
  TRecord* Buffer(int id, const char* name = nullptr) {
    TRecord* r = store.AllocRecord();
    buffers_.push_back(r);
    SetValues(r, id, name);
    return r;
  }
  static constexpr int kNull = -999999;
  void SetValues(TRecord* r, int id, const char* name) {
    uint8_t* slot = store.FieldSlot(r, *Id());
    if (id == kNull) {
      slot[0] = kSlotNull;
    } else {
      slot[0] = kSlotPresent;
      std::memcpy(slot + 1, &id, 4);
    }
    slot = store.FieldSlot(r, *Name());
    std::memset(slot, 0, 22);
    if (name != nullptr) {
      slot[0] = kSlotPresent;
      std::memcpy(slot + 1, name, std::strlen(name));
    }
  }
  int IdOf(const TRecord* r) {
    int v = 0;
    std::memcpy(&v, store.FieldSlot(r, *Id()) + 1, 4);
    return v;
  }
  std::string NameOf(const TRecord* r) { return reinterpret_cast<const char*>(store.FieldSlot(r, *Name()) + 1); }

  // Stores a record and, like a post, tells the indexes about it.
  TRecord* Insert(int id, const char* name = nullptr, int hint = -1) {
    TRecord* r = store.AllocRecord();
    SetValues(r, id, name);
    store.StoreRecord(r);
    indexes->MaintainIndexes(TRecordChange::Insert, r, r, hint);
    return r;
  }
  // Stores a record without any index hearing of it (as a load does).
  TRecord* Load(int id, const char* name = nullptr) {
    TRecord* r = store.AllocRecord();
    SetValues(r, id, name);
    store.StoreRecord(r);
    return r;
  }
  void Delete(TRecord* r, int hint = -1) {
    indexes->MaintainIndexes(TRecordChange::Delete, r, nullptr, hint);
    store.RemoveStoredRecord(r);
  }
  // Edits the stored record's values the way a post does: indexes first,
  // while the stored record still holds the old values.
  void Edit(TRecord* r, int id, const char* name = nullptr, int hint = -1) {
    TRecord* buffer = Buffer(id, name);
    buffer->SlotIndex = r->SlotIndex;
    buffer->RowNumber = r->RowNumber;
    indexes->CheckUniqueKeys(buffer, r);
    indexes->MaintainIndexes(TRecordChange::Edit, r, buffer, hint);
    SetValues(r, id, name);
  }

  std::vector<int> Ids(const TdvoIndex& index) {
    std::vector<int> out;
    for (TRecord* r : index.Entries()) out.push_back(IdOf(r));
    return out;
  }

  // ---- TStoreTable
  std::vector<TFieldDefDesc> StoreFieldDefs() const override {
    std::vector<TFieldDefDesc> defs;
    for (const auto& f : fields_) {
      if (f.info.FieldNo() <= 0) continue;
      TFieldDefDesc d;
      d.Name = d.DisplayName = f.name;
      d.DataType = f.info.DataType();
      d.Size = f.info.Size();
      defs.push_back(d);
    }
    return defs;
  }
  int32_t StoreCalcBufferSize() const override { return 5; }
  bool StoreTableActive() const override { return open; }
  bool StoreTableBrowsing() const override { return open; }
  void StoreCloseTable() override {}
  void StoreRefreshTable() override {}
  void StoreEmptyTableView() override {}
  void StoreRebuildAllIndexes(bool reportDuplicates) override { indexes->RebuildAllIndexes(reportDuplicates); }
  void StoreInvalidateAllIndexes() override { indexes->InvalidateAllIndexes(); }
  void StoreSyncIndexes(bool) override {}
  void StoreMaintainIndexes(TRecordChange change, TRecord* stored, TRecord* other, int hint,
                            TIndexUndo& undo) override {
    indexes->MaintainIndexes(change, stored, other, hint, &undo);
  }
  void StoreSetAttachSlot(int) override {}
  void StoreDetached() override {}

  // ---- TIndexedTable
  TdvoCommon& IndexStore() override { return store; }
  TFieldInfo* IndexFieldNamed(std::string_view name) override {
    for (auto& f : fields_) {
      if (f.name.size() != name.size()) continue;
      bool same = true;
      for (size_t i = 0; i < name.size() && same; ++i)
        same = std::tolower(static_cast<unsigned char>(f.name[i])) == std::tolower(static_cast<unsigned char>(name[i]));
      if (same) return &f.info;
    }
    throw EDatabaseError(FormatMessage(msg::kDatasetError, {"tbl", FormatMessage(msg::kFieldNotFound, {name})}));
  }
  TFieldKind IndexFieldKind(const TFieldInfo& field) const override { return Find(field).kind; }
  std::string IndexFieldDisplayName(const TFieldInfo& field) const override { return Find(field).name + " label"; }
  bool RecalcOnIndex() const override { return recalcOnIndex; }
  void SetRecalcOnIndex(bool value) override { recalcOnIndex = value; }
  void RecalcIndexRecord(TRecord*) override { ++recalcCalls; }
  bool IsRecordVisible(TRecord* record, bool) override { return !visible || visible(record); }
  bool NeedsFiltering() override { return static_cast<bool>(visible); }
  bool HasFilterIndexEvent() const override { return static_cast<bool>(onFilterIndex); }
  void FilterIndex(TdvoIndex& index, bool& accept) override { onFilterIndex(index, accept); }
  bool EvaluateIndexFilter(const TIndexFilterExpr&) override { return filterExprAccepts(overrideRecord); }
  TRecord* OverrideRecord() const override { return overrideRecord; }
  void SetOverrideRecord(TRecord* record) override { overrideRecord = record; }
  void ReportProgress(int percentage, TdvoProgressCode code) override { progress.emplace_back(percentage, code); }
  void SetTablePhase(uint8_t value) override { phases.push_back(value); }
  bool IndexTableOpen() const override { return open; }
  bool EnableIndexes() const override { return enableIndexes; }
  TdvoIndex* CurrentIndex() const override { return current; }
  void SetCurrentIndexRef(TdvoIndex* index) override { current = index; }
  TdvoIndex* SortIndexRef() const override { return sortIndex; }
  void SetSortIndexRef(TdvoIndex* index) override { sortIndex = index; }
  int CursorPosition() const override { return cursor; }
  void SetCursorPosition(int position) override { cursor = position; }

  TdvoCommon store{this};
  std::unique_ptr<TdvoIndexes> indexes;
  TdvoIndex* current = nullptr;
  TdvoIndex* sortIndex = nullptr;
  int cursor = -1;
  bool open = true;
  bool enableIndexes = true;
  bool recalcOnIndex = false;
  int recalcCalls = 0;
  TRecord* overrideRecord = nullptr;
  std::function<bool(TRecord*)> visible;  // set: the table hides records it rejects
  std::function<void(TdvoIndex&, bool&)> onFilterIndex;
  std::function<bool(TRecord*)> filterExprAccepts = [](TRecord*) { return true; };
  std::vector<std::pair<int, TdvoProgressCode>> progress;
  std::vector<uint8_t> phases;

 private:
  const TField& Find(const TFieldInfo& field) const {
    for (const auto& f : fields_)
      if (&f.info == &field) return f;
    throw ERangeError();
  }
  std::vector<TField> fields_;
  std::vector<TRecord*> buffers_;
};

}  // namespace ts::testing
