// The table store beside SQLite in memory on the same work and the same
// data, in one process: records of an Integer key, a String(20) and a Float.
// SQLite runs ":memory:" with one table, prepared statements, one
// transaction and an index on the key. Every row prints both times and the
// ratio ours / SQLite (counters ours_s, sqlite_s, ratio); the reported time
// is ours. Run with --benchmark_repetitions=N and read the medians.
//
// Rows: appends with a kept index on the key (random and ascending keys),
// appends without an index, random LocateRecord by the key through its
// index, case-insensitive locates on the name through an index (byte compare
// "name:CL" and locale compare "name:C"; SQLite: COLLATE NOCASE), and
// building an Integer and a String index over existing records (byte and
// locale compare; SQLite: its plain text index in both).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"
#include "table_store/indexes/index.h"
#include "random_words.h"

namespace {

using namespace ts;
using TClock = std::chrono::steady_clock;

constexpr int kRecords = 1000000;
constexpr int kLocates = 100000;

double Seconds(TClock::time_point from) { return std::chrono::duration<double>(TClock::now() - from).count(); }

struct TRows {
  std::vector<int> keys;
  std::vector<std::string> names;
};

TRows MakeRows(int count, bool ascending) {
  TRows rows;
  std::mt19937 rng(11);
  rows.keys.reserve(static_cast<size_t>(count));
  rows.names.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    rows.keys.push_back(ascending ? i : static_cast<int>(rng() >> 1));
    rows.names.push_back(RandomWord(rng));
  }
  return rows;
}

// ---- SQLite side

class TSqlite {
 public:
  TSqlite() { Check(sqlite3_open(":memory:", &db_)); }
  ~TSqlite() { sqlite3_close(db_); }
  TSqlite(const TSqlite&) = delete;
  TSqlite& operator=(const TSqlite&) = delete;

  void Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr));
    return statement;
  }
  void Insert(const TRows& rows) {
    Exec("BEGIN");
    sqlite3_stmt* insert = Prepare("INSERT INTO t(id, name, value) VALUES (?, ?, ?)");
    for (size_t i = 0; i < rows.keys.size(); ++i) {
      sqlite3_bind_int(insert, 1, rows.keys[i]);
      sqlite3_bind_text(insert, 2, rows.names[i].data(), static_cast<int>(rows.names[i].size()), SQLITE_STATIC);
      sqlite3_bind_double(insert, 3, static_cast<double>(i) * 0.5);
      if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) throw std::runtime_error(db_ ? sqlite3_errmsg(db_) : "sqlite");
  }
  sqlite3* db_ = nullptr;
};

// ---- Our side

std::unique_ptr<TdvoMemTable> MakeTable(const char* indexFields) {
  auto table = std::make_unique<TdvoMemTable>("bench");
  table->AddField<TIntegerField>("id");
  table->AddField<TStringField>("name", 20);
  table->AddField<TFloatField>("value");
  if (indexFields != nullptr) table->IndexDefs().Add("byKey", indexFields);
  table->Open();
  if (indexFields != nullptr) table->SetIndexName("byKey");
  return table;
}

void Append(TdvoMemTable& table, const TRows& rows) {
  TField& id = table.FieldNamed("id");
  TField& name = table.FieldNamed("name");
  TField& value = table.FieldNamed("value");
  for (size_t i = 0; i < rows.keys.size(); ++i) {
    table.Append();
    id.SetAsInteger(rows.keys[i]);
    name.SetAsString(rows.names[i]);
    value.SetAsFloat(static_cast<double>(i) * 0.5);
    table.Post();
  }
}

void Report(benchmark::State& state, double ours, double sqlite) {
  state.SetIterationTime(ours);
  state.counters["ours_s"] = ours;
  state.counters["sqlite_s"] = sqlite;
  state.counters["ratio"] = ours / sqlite;
}

// ---- Appends

void BM_Append(benchmark::State& state, bool indexed, bool ascending) {
  const TRows rows = MakeRows(static_cast<int>(state.range(0)), ascending);
  for (auto _ : state) {
    auto table = MakeTable(indexed ? "id" : nullptr);
    TClock::time_point start = TClock::now();
    Append(*table, rows);
    const double ours = Seconds(start);
    table.reset();

    TSqlite db;
    db.Exec("CREATE TABLE t(id INTEGER, name TEXT, value REAL)");
    if (indexed) db.Exec("CREATE INDEX t_id ON t(id)");
    start = TClock::now();
    db.Insert(rows);
    Report(state, ours, Seconds(start));
  }
}

// ---- Locates and index builds over one shared set of records

struct TLoaded {
  TRows rows = MakeRows(kRecords, false);
  std::unique_ptr<TdvoMemTable> table = MakeTable(nullptr);
  TSqlite db;
  TLoaded() {
    Append(*table, rows);
    table->IndexDefs().Add("byId", "id");
    table->IndexDefs().Add("byNameBytes", "name:CL");
    table->IndexDefs().Add("byNameLocale", "name:C");
    table->SyncIndexes();
    db.Exec("CREATE TABLE t(id INTEGER, name TEXT, value REAL)");
    db.Insert(rows);
    db.Exec("CREATE INDEX t_id ON t(id)");
    db.Exec("CREATE INDEX t_name_nocase ON t(name COLLATE NOCASE)");
  }
  static TLoaded& Get() {
    static TLoaded loaded;
    return loaded;
  }
};

std::vector<size_t> RandomRows() {
  std::mt19937 rng(7);
  std::vector<size_t> picks(kLocates);
  for (size_t& p : picks) p = rng() % kRecords;
  return picks;
}

// byName: locate on the name (the index's options come from `locateFields`
// and case-insensitivity); else on the key.
void BM_Locate(benchmark::State& state, const char* indexName, const char* locateFields, bool byName) {
  TLoaded& m = TLoaded::Get();
  m.table->SetIndexName(indexName);
  const std::vector<size_t> picks = RandomRows();
  for (auto _ : state) {
    int64_t found = 0;
    TClock::time_point start = TClock::now();
    for (size_t p : picks) {
      const TValue key = byName ? TValue::String(m.rows.names[p]) : TValue::Integer(m.rows.keys[p]);
      found += m.table->LocateRecord(locateFields, key, byName ? loCaseInsensitive : 0) ? 1 : 0;
    }
    const double ours = Seconds(start);

    sqlite3_stmt* select = m.db.Prepare(byName ? "SELECT rowid FROM t WHERE name = ? COLLATE NOCASE LIMIT 1"
                                               : "SELECT rowid FROM t WHERE id = ? LIMIT 1");
    int64_t sqliteFound = 0;
    start = TClock::now();
    for (size_t p : picks) {
      if (byName)
        sqlite3_bind_text(select, 1, m.rows.names[p].data(), static_cast<int>(m.rows.names[p].size()),
                          SQLITE_STATIC);
      else
        sqlite3_bind_int(select, 1, m.rows.keys[p]);
      if (sqlite3_step(select) == SQLITE_ROW) ++sqliteFound;
      sqlite3_reset(select);
    }
    const double sqlite = Seconds(start);
    sqlite3_finalize(select);
    if (found != kLocates || sqliteFound != kLocates) state.SkipWithError("a present key was not found");
    Report(state, ours, sqlite);
  }
}

void BM_BuildIndex(benchmark::State& state, const char* fields, const char* sqliteColumn) {
  TLoaded& m = TLoaded::Get();
  m.table->SetIndexName("");
  for (auto _ : state) {
    TClock::time_point start = TClock::now();
    {
      TdvoIndex index("bench", m.table.get(), fields, 0, true, false);
      index.RebuildIndex();
      benchmark::DoNotOptimize(index.EntryAt(0));
      state.PauseTiming();
    }
    const double ours = Seconds(start);
    state.ResumeTiming();
    const std::string create = std::string("CREATE INDEX t_build ON t(") + sqliteColumn + ")";
    start = TClock::now();
    m.db.Exec(create.c_str());
    const double sqlite = Seconds(start);
    m.db.Exec("DROP INDEX t_build");
    Report(state, ours, sqlite);
  }
}

void Configure(benchmark::internal::Benchmark* b) {
  b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_Append, IndexedRandom, true, false)->Arg(50000)->Arg(200000)->Arg(kRecords)->Apply(Configure);
BENCHMARK_CAPTURE(BM_Append, IndexedAscending, true, true)->Arg(kRecords)->Apply(Configure);
BENCHMARK_CAPTURE(BM_Append, NoIndex, false, false)->Arg(kRecords)->Apply(Configure);
BENCHMARK_CAPTURE(BM_Locate, ByKey, "byId", "id", false)->Apply(Configure);
BENCHMARK_CAPTURE(BM_Locate, NameNoCaseBytes, "byNameBytes", "name:L", true)->Apply(Configure);
BENCHMARK_CAPTURE(BM_Locate, NameNoCaseLocale, "byNameLocale", "name", true)->Apply(Configure);
BENCHMARK_CAPTURE(BM_BuildIndex, Integer, "id", "id")->Apply(Configure);
BENCHMARK_CAPTURE(BM_BuildIndex, StringBytes, "name:L", "name")->Apply(Configure);
BENCHMARK_CAPTURE(BM_BuildIndex, StringLocale, "name", "name")->Apply(Configure);

}  // namespace

BENCHMARK_MAIN();
