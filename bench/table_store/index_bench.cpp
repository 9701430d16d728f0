// Building and searching an index over 1,000,000 stored records: an Integer
// key, and a String(20) key compared through the table's locale and byte by
// byte (":L"). "Build" refills the index from the store and sorts it
// (items_per_second = records sorted per second); "Search" looks up 100,000
// random keys that are all present (items_per_second = searches per second).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "index_test_table.h"
#include "random_words.h"
#include "table_store/indexes/index.h"

namespace {

using namespace ts;
using ts::testing::TIndexTestTable;

constexpr int kRecords = 1000000;
constexpr int kSearches = 100000;

// One table of a million records, shared by every benchmark of this file.
struct TMillion {
  TIndexTestTable table;
  std::vector<int> ids;
  std::vector<std::string> names;
  TMillion() {
    std::mt19937 rng(11);
    table.store.ReserveSlots(kRecords);
    ids.reserve(kRecords);
    names.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i) {
      ids.push_back(static_cast<int>(rng()));
      names.push_back(RandomWord(rng));
      table.Load(ids.back(), names.back().c_str());
    }
  }
  static TMillion& Get() {
    static TMillion million;
    return million;
  }
};

void BuildIndex(benchmark::State& state, const char* key) {
  TMillion& m = TMillion::Get();
  TdvoIndex index("bench", &m.table, key, 0, true, false);
  for (auto _ : state) {
    index.RebuildIndex();
    benchmark::DoNotOptimize(index.EntryAt(0));
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void SearchIndex(benchmark::State& state, const char* key, bool text) {
  TMillion& m = TMillion::Get();
  TdvoIndex index("bench", &m.table, key, 0, true, false);
  index.RebuildIndex();
  std::mt19937 rng(5);
  std::vector<TRecord*> keys;
  for (int i = 0; i < kSearches; ++i) {
    const size_t at = rng() % kRecords;
    keys.push_back(m.table.Buffer(text ? 0 : m.ids[at], text ? m.names[at].c_str() : nullptr));
  }
  int misses = 0;
  for (auto _ : state) {
    for (TRecord* k : keys) {
      int position = -1;
      bool found = false;
      index.SearchIndex(nullptr, k, false, false, position, found);
      misses += found ? 0 : 1;
    }
  }
  if (misses != 0) state.SkipWithError("a present key was not found");
  state.SetItemsProcessed(state.iterations() * kSearches);
}

BENCHMARK_CAPTURE(BuildIndex, Integer, "Id")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BuildIndex, StringLocale, "Name")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BuildIndex, StringBytes, "Name:L")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(SearchIndex, Integer, "Id", false)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(SearchIndex, StringLocale, "Name", true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(SearchIndex, StringBytes, "Name:L", true)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
