// The editing cycle of the table at volume: 1,000,000 records of an Integer,
// a String(20) and a Float appended and posted one by one with a maintained
// index on the Integer, then 100,000 of them edited (text and float changed,
// key kept) walking the index. items_per_second = records posted per second.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace {

using namespace ts;

constexpr int kRecords = 1000000;
constexpr int kEdits = 100000;

std::unique_ptr<TdvoMemTable> MakeTable() {
  auto table = std::make_unique<TdvoMemTable>("bench");
  table->AddField<TIntegerField>("id");
  table->AddField<TStringField>("name", 20);
  table->AddField<TFloatField>("value");
  table->IndexDefs().Add("byId", "id");
  table->Open();
  table->SetIndexName("byId");
  return table;
}

void AppendRecords(TdvoMemTable& table, int count) {
  TField& id = table.FieldNamed("id");
  TField& name = table.FieldNamed("name");
  TField& value = table.FieldNamed("value");
  for (int i = 0; i < count; ++i) {
    table.Append();
    id.SetAsInteger(i);
    name.SetAsString("name " + std::to_string(i));
    value.SetAsFloat(i * 0.5);
    table.Post();
  }
}

void BM_AppendAndPost(benchmark::State& state) {
  for (auto _ : state) {
    auto table = MakeTable();
    AppendRecords(*table, kRecords);
    benchmark::DoNotOptimize(table->RecordCount());
    state.PauseTiming();
    table.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_AppendAndPost)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_EditAndPost(benchmark::State& state) {
  auto table = MakeTable();
  AppendRecords(*table, kRecords);
  TField& name = table->FieldNamed("name");
  TField& value = table->FieldNamed("value");
  for (auto _ : state) {
    table->First();
    for (int i = 0; i < kEdits; ++i) {
      table->Edit();
      name.SetAsString("edited " + std::to_string(i));
      value.SetAsFloat(i * 2.0);
      table->Post();
      table->Next();
    }
  }
  state.SetItemsProcessed(state.iterations() * kEdits);
}
BENCHMARK(BM_EditAndPost)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
