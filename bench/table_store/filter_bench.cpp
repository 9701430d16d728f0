// A filter expression over 1,000,000 records (Integer, String(20), Float,
// Date) beside the same count in SQLite's in-memory database: RecordCount
// with Filtered on against a prepared SELECT count(*) ... WHERE ..., as fair
// pairs whose counts must agree. Then, alone, the table's walk over its
// records, which every filtered count pays before any expression runs.
//
// The like filter runs with foNoPartialCompare: without it the star rule
// would turn 'A*' into a comparison with the one letter "A". Scores are
// halves, so that an in-list of computed scores finds some.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/fair_pair.h"
#include "table_store/dataset/datetime_fields.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace {

using namespace ts;

constexpr int kRecords = 1000000;

struct TRow {
  int Zone;
  std::string Name;
  double Score;
  std::string Born;
};

std::vector<TRow> Rows() {
  std::mt19937 engine(20261209);
  std::uniform_int_distribution<int> zone(1, 5), length(3, 20), letter(0, 51), day(0, 20000);
  std::uniform_int_distribution<int> score(0, 199);
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::vector<TRow> rows(kRecords);
  for (TRow& row : rows) {
    row.Zone = zone(engine);
    const int n = length(engine);
    for (int i = 0; i < n; ++i) row.Name += kLetters[letter(engine)];
    row.Score = score(engine) / 2.0;
    const int d = day(engine);
    char born[32];
    std::snprintf(born, sizeof born, "%04d-%02d-%02d", 1950 + d / 365, 1 + d / 31 % 12, 1 + d % 28);
    row.Born = born;
  }
  return rows;
}

std::unique_ptr<TdvoMemTable> MakeTable(const std::vector<TRow>& rows) {
  auto table = std::make_unique<TdvoMemTable>("people");
  TField& zone = table->AddField<TIntegerField>("Zone");
  TField& name = table->AddField<TStringField>("Name", 20);
  TField& score = table->AddField<TFloatField>("Score");
  TField& born = table->AddField<TDateField>("Born");
  table->Open();
  for (const TRow& row : rows) {
    table->Append();
    zone.SetAsInteger(row.Zone);
    name.SetAsString(row.Name);
    score.SetAsFloat(row.Score);
    born.SetAsString(row.Born);
    table->Post();
  }
  return table;
}

sqlite3* MakeDatabase(const std::vector<TRow>& rows) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  sqlite3_exec(db, "CREATE TABLE people (Zone INTEGER, Name VARCHAR(20), Score REAL, Born DATE)", nullptr, nullptr,
               nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO people VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
  for (const TRow& row : rows) {
    sqlite3_bind_int(insert, 1, row.Zone);
    sqlite3_bind_text(insert, 2, row.Name.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_double(insert, 3, row.Score);
    sqlite3_bind_text(insert, 4, row.Born.c_str(), -1, SQLITE_STATIC);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  return db;
}

struct TData {
  std::vector<TRow> rows = Rows();
  std::unique_ptr<TdvoMemTable> table = MakeTable(rows);
  sqlite3* db = MakeDatabase(rows);
  ~TData() { sqlite3_close(db); }
  static TData& Get() {
    static TData data;
    return data;
  }
};

struct TQuery {
  const char* filter;
  TFilterOptions options;
  const char* where;
};

bench_fair::Pair FilteredCount(const TQuery& q) {
  TData& d = TData::Get();
  const std::string sql = std::string("SELECT count(*) FROM people WHERE ") + q.where;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(d.db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
    throw std::runtime_error(sqlite3_errmsg(d.db));
  std::shared_ptr<sqlite3_stmt> count(raw, sqlite3_finalize);
  // Set once, as the peer's statement is prepared once.
  d.table->SetFiltered(false);
  d.table->SetFilterOptions(q.options);
  d.table->SetFilter(q.filter);
  d.table->SetFiltered(true);
  auto oursCount = std::make_shared<int>(-1);
  auto peerCount = std::make_shared<int>(-1);
  bench_fair::Pair pair;
  pair.peerName = "SQLite, prepared SELECT count(*)";
  pair.ours.run = [&d, oursCount] { *oursCount = d.table->RecordCount(); };
  pair.ours.result = [oursCount] { return std::to_string(*oursCount) + " records"; };
  pair.peer.run = [count, peerCount] {
    *peerCount = sqlite3_step(count.get()) == SQLITE_ROW ? sqlite3_column_int(count.get(), 0) : -1;
    sqlite3_reset(count.get());
  };
  pair.peer.result = [peerCount] { return std::to_string(*peerCount) + " records"; };
  return pair;
}

// Where the table's time goes: the walk over the view alone, with every
// record accepted by OnFilterRecord and no program to run.
void BM_TableWalkNoProgram(benchmark::State& state) {
  TData& d = TData::Get();
  d.table->SetFiltered(false);
  d.table->SetFilter("");
  d.table->OnFilterRecord = [](TDataSet&, bool& accept) { accept = true; };
  d.table->SetFiltered(true);
  int walked = 0;
  for (auto _ : state) {
    walked = d.table->RecordCount();
    benchmark::DoNotOptimize(walked);
  }
  d.table->OnFilterRecord = nullptr;
  if (walked != kRecords) state.SkipWithError("the walk missed records");
}
BENCHMARK(BM_TableWalkNoProgram)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  bench_fair::Register("Filter/NumberLikeAndIn", [] {
    return FilteredCount({"Score > 50 and Name like 'A*' and Zone in (1, 3)", foNoPartialCompare,
                          "Score > 50 AND Name LIKE 'A%' AND Zone IN (1, 3)"});
  });
  bench_fair::Register("Filter/CaseInsensitivePartialCompare",
                       [] { return FilteredCount({"Name = 'ab*'", foCaseInsensitive, "Name LIKE 'ab%'"}); });
  // Each kind of expression on its own.
  static const struct {
    const char* name;
    TQuery query;
  } kKinds[] = {
      {"Filter/FloatRangeIntNotEqual",
       {"Score >= 20 and Score < 60 and Zone <> 3", 0, "Score >= 20 AND Score < 60 AND Zone <> 3"}},
      {"Filter/OrOfThreeEquals", {"Zone = 1 or Zone = 3 or Zone = 5", 0, "Zone = 1 OR Zone = 3 OR Zone = 5"}},
      {"Filter/InOfFloatArithmetic",
       {"Score * 2 + 1 in (11, 51, 99, 151)", 0, "Score * 2 + 1 IN (11, 51, 99, 151)"}},
      {"Filter/NotOfAnd", {"not (Zone = 2 and Score > 30)", 0, "NOT (Zone = 2 AND Score > 30)"}},
      {"Filter/StringRange", {"Name >= 'M' and Name < 'b'", 0, "Name >= 'M' AND Name < 'b'"}},
      {"Filter/PartialCompare", {"Name = 'bc*'", 0, "Name GLOB 'bc*'"}},
      {"Filter/CaseInsensitiveEqual", {"Name = 'abc'", foCaseInsensitive, "Name = 'abc' COLLATE NOCASE"}},
      {"Filter/DateRange",
       {"Born >= '1980-01-01' and Born < '1990-06-15'", 0, "Born >= '1980-01-01' AND Born < '1990-06-15'"}},
  };
  for (const auto& kind : kKinds) {
    const TQuery q = kind.query;
    bench_fair::Register(kind.name, [q] { return FilteredCount(q); });
  }
  return bench_fair::Main(argc, argv);
}
