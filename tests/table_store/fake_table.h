// A stand-in for the table that owns or shares a record store: it hands the
// store a list of field definitions, records every callback the store makes,
// and lets a test plug in the field events.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "table_store/store_table.h"

namespace ts::testing {

inline TFieldDefDesc Def(std::string name, TFieldType type, int32_t size = 0,
                         std::vector<TFieldDefDesc> children = {}) {
  TFieldDefDesc d;
  d.Name = name;
  d.DisplayName = name;
  d.DataType = type;
  d.Size = size;
  d.Children = std::move(children);
  return d;
}

class TFakeTable : public TStoreTable {
 public:
  std::vector<TFieldDefDesc> defs;
  int32_t calcSize = 0;
  bool active = false;
  bool browsing = false;
  int attachSlot = -1;
  bool detached = false;
  std::string name = "t";
  std::vector<std::string>* log = nullptr;  // shared between tables to see the order of calls
  std::vector<int> maintainHints;

  std::function<void(int, const TFieldDefDesc&, uint8_t&)> onSetupField;
  std::function<void(const TFieldInfo&, const uint8_t*, int32_t&, const uint8_t*&)> onDecompressField;
  std::function<void(const void*, const void*, TFieldType, int, bool&, int&)> onCompareFields;

  std::vector<TFieldDefDesc> StoreFieldDefs() const override { return defs; }
  int32_t StoreCalcBufferSize() const override { return calcSize; }

  bool HasSetupFieldEvent() const override { return static_cast<bool>(onSetupField); }
  void SetupField(int fieldNo, const TFieldDefDesc& def, uint8_t& flags) override {
    Note("setup " + std::to_string(fieldNo));
    onSetupField(fieldNo, def, flags);
  }
  bool HasDecompressFieldEvent() const override { return static_cast<bool>(onDecompressField); }
  void DecompressField(const TFieldInfo& field, const uint8_t* buffer, int32_t& size,
                       const uint8_t*& result) override {
    Note("decompress");
    onDecompressField(field, buffer, size, result);
  }
  bool HasCompareFieldsEvent() const override { return static_cast<bool>(onCompareFields); }
  void CompareFields(const void* key, const void* value, TFieldType type, int options, bool& full,
                     int& result) override {
    onCompareFields(key, value, type, options, full, result);
  }

  bool StoreTableActive() const override { return active; }
  bool StoreTableBrowsing() const override { return browsing; }
  void StoreCloseTable() override {
    Note("close");
    active = false;
    browsing = false;
  }
  void StoreRefreshTable() override { Note("refresh"); }
  void StoreEmptyTableView() override { Note("empty"); }
  void StoreRebuildAllIndexes(bool) override { Note("rebuild"); }
  void StoreInvalidateAllIndexes() override { Note("invalidate"); }
  void StoreSyncIndexes(bool) override { Note("sync"); }
  void StoreMaintainIndexes(TRecordChange change, TRecord*, TRecord*, int hint, TIndexUndo&) override {
    Note("maintain " + std::to_string(static_cast<int>(change)));
    maintainHints.push_back(hint);
  }
  void StoreSetAttachSlot(int slot) override { attachSlot = slot; }
  void StoreDetached() override {
    Note("detached");
    detached = true;
  }

 private:
  void Note(const std::string& what) {
    if (log) log->push_back(name + ":" + what);
  }
};

}  // namespace ts::testing
