// LocateRecord on an Integer key over 1,000,000 records, as the stations
// find their variant: 100,000 random keys through an index on the key, and
// the same keys without one, where every locate scans the records in row
// order. The scan visits half the table per key on average, so it runs a
// slice of the keys (the argument); items_per_second = locates per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace {

using namespace ts;

constexpr int kRecords = 1000000;
constexpr int kKeys = 100000;

// VarNo holds a shuffled 0..kRecords-1, so every key is found exactly once
// and the row order says nothing about where.
TdvoMemTable& Table() {
  static std::unique_ptr<TdvoMemTable> table = [] {
    auto t = std::make_unique<TdvoMemTable>("complects");
    t->AddField<TIntegerField>("VarNo");
    t->AddField<TStringField>("subjname", 20);
    t->Open();
    std::vector<int> keys(kRecords);
    for (int i = 0; i < kRecords; ++i) keys[static_cast<size_t>(i)] = i;
    std::shuffle(keys.begin(), keys.end(), std::mt19937(20240611));
    TField& varNo = t->FieldNamed("VarNo");
    TField& name = t->FieldNamed("subjname");
    for (int key : keys) {
      t->Append();
      varNo.SetAsInteger(key);
      name.SetAsString("variant " + std::to_string(key));
      t->Post();
    }
    // Built once over all records rather than kept up to date on each post.
    t->IndexDefs().Add("byVarNo", "VarNo");
    t->SyncIndexes();
    return t;
  }();
  return *table;
}

const std::vector<int>& RandomKeys() {
  static const std::vector<int> keys = [] {
    std::vector<int> k(kKeys);
    std::mt19937 engine(7);
    std::uniform_int_distribution<int> pick(0, kRecords - 1);
    for (int& key : k) key = pick(engine);
    return k;
  }();
  return keys;
}

void Locate(benchmark::State& state, const char* indexName, int keyCount) {
  TdvoMemTable& table = Table();
  table.SetIndexName(indexName);
  const std::vector<int>& keys = RandomKeys();
  int64_t found = 0;
  for (auto _ : state) {
    for (int i = 0; i < keyCount; ++i)
      found += table.LocateRecord("VarNo", TValue::Integer(keys[static_cast<size_t>(i)])) ? 1 : 0;
  }
  if (found != state.iterations() * keyCount) state.SkipWithError("a key was not found");
  state.SetItemsProcessed(state.iterations() * keyCount);
}

void BM_LocateThroughIndex(benchmark::State& state) { Locate(state, "byVarNo", kKeys); }
BENCHMARK(BM_LocateThroughIndex)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LocateByScan(benchmark::State& state) { Locate(state, "", static_cast<int>(state.range(0))); }
BENCHMARK(BM_LocateByScan)->Arg(200)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
