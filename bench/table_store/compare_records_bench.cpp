// CompareRecords over a key of one Integer and one String field: byte-wise
// (mtcoIgnoreLocale), through an explicit locale, and through the user's
// default locale (1024). The Integer values are equal, so every comparison
// reaches the String field. items_per_second is comparisons per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "table_store/compare.h"
#include "table_store/record_store.h"
#include "random_words.h"

namespace {

using namespace ts;

class TBenchTable : public TStoreTable {
 public:
  std::vector<TFieldDefDesc> StoreFieldDefs() const override {
    TFieldDefDesc n{"n", "n", ftInteger, 0, {}};
    TFieldDefDesc s{"s", "s", ftString, 20, {}};
    return {n, s};
  }
  int32_t StoreCalcBufferSize() const override { return 0; }
  bool StoreTableActive() const override { return false; }
  bool StoreTableBrowsing() const override { return false; }
  void StoreCloseTable() override {}
  void StoreRefreshTable() override {}
  void StoreEmptyTableView() override {}
  void StoreRebuildAllIndexes(bool) override {}
  void StoreInvalidateAllIndexes() override {}
  void StoreSyncIndexes(bool) override {}
  void StoreMaintainIndexes(TRecordChange, TRecord*, TRecord*, int, TIndexUndo&) override {}
  void StoreSetAttachSlot(int) override {}
  void StoreDetached() override {}
};

// Random lower-case Latin and Cyrillic words (upper-case Cyrillic for a few).
std::string LowerCaseWord(std::mt19937& rng) {
  static const std::string letters =
      "abcdefghijklmnopqrstuvwxyz"
      "\xe0\xe1\xe2\xe3\xe4\xe5\xb8\xe6\xe7\xe8\xe9\xea\xeb\xec\xed\xee\xef\xf0\xf1\xf2\xf3\xf4\xf5"
      "\xf6\xf7\xf8\xf9\xfa\xfb\xfc\xfd\xfe\xff\xc0\xc1\xc2";
  return RandomWordOf(letters, rng);
}

void CompareRecordsBench(benchmark::State& state, int32_t localeId, int stringOptions) {
  TBenchTable table;
  TdvoCommon store(&table);
  store.SetLocaleID(localeId);
  store.BuildRecordLayout();
  TFieldInfo n(1, ftInteger, 0);
  TFieldInfo s(2, ftString, 20);
  TdvoFieldList list;
  list.AddField(&n, 0);
  list.AddField(&s, stringOptions);

  std::mt19937 rng(12345);
  std::vector<TRecord*> records;
  for (int i = 0; i < 1024; ++i) {
    TRecord* r = store.AllocRecord();
    uint8_t* slot = store.FieldSlotOf(r, 1);
    slot[0] = kSlotPresent;
    const int32_t value = 7;
    std::memcpy(slot + 1, &value, 4);
    slot = store.FieldSlotOf(r, 2);
    slot[0] = kSlotPresent;
    const std::string word = LowerCaseWord(rng);
    std::memcpy(slot + 1, word.c_str(), word.size() + 1);
    records.push_back(r);
  }
  size_t i = 0;
  for (auto _ : state) {
    const TRecord* a = records[i & 1023];
    const TRecord* b = records[(i * 7 + 3) & 1023];
    benchmark::DoNotOptimize(store.CompareRecords(list, 0, a, b, false, false, 0));
    ++i;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  for (TRecord* r : records) store.FreeRecord(r, true, true);
}

void BM_CompareRecords_IntegerString_Bytes(benchmark::State& state) {
  CompareRecordsBench(state, 1049, mtcoIgnoreLocale);
}
void BM_CompareRecords_IntegerString_Locale1049(benchmark::State& state) {
  CompareRecordsBench(state, 1049, 0);
}
void BM_CompareRecords_IntegerString_Locale1049_IgnoreCase(benchmark::State& state) {
  CompareRecordsBench(state, 1049, mtcoCaseInsensitive);
}
void BM_CompareRecords_IntegerString_UserDefault1024(benchmark::State& state) {
  CompareRecordsBench(state, 1024, 0);
}

BENCHMARK(BM_CompareRecords_IntegerString_Bytes);
BENCHMARK(BM_CompareRecords_IntegerString_Locale1049);
BENCHMARK(BM_CompareRecords_IntegerString_Locale1049_IgnoreCase);
BENCHMARK(BM_CompareRecords_IntegerString_UserDefault1024);

}  // namespace
