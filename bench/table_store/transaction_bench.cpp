// One transaction of 100,000 edits and its rollback: the table (versioning in
// multiversion mode, walking its records with Next) beside SQLite in memory
// (BEGIN, one prepared UPDATE by primary key per record, ROLLBACK). Both start
// from the same 100,000 rows of an Integer, a String(20) and a Float. Each
// side runs five times, interleaved; the medians and their ratio are printed.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace {

using namespace ts;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 100000;
constexpr int kRuns = 5;

struct TTimes {
  double edits = 0;     // milliseconds
  double rollback = 0;  // milliseconds
  double Total() const { return edits + rollback; }
};

double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Name(int i) { return "name " + std::to_string(i); }

// ---- The table

std::unique_ptr<TdvoMemTable> MakeTable() {
  auto table = std::make_unique<TdvoMemTable>("bench");
  table->AddField<TIntegerField>("id");
  table->AddField<TStringField>("name", 20);
  table->AddField<TFloatField>("value");
  table->Open();
  TField& id = table->FieldNamed("id");
  TField& name = table->FieldNamed("name");
  TField& value = table->FieldNamed("value");
  for (int i = 0; i < kRecords; ++i) {
    table->Append();
    id.SetAsInteger(i);
    name.SetAsString(Name(i));
    value.SetAsFloat(i * 0.5);
    table->Post();
  }
  table->SetEnableVersioning(true);
  table->SetVersioningMode(mtvmAllSinceCheckPoint);
  return table;
}

TTimes RunTable(TdvoMemTable& table) {
  TField& name = table.FieldNamed("name");
  TField& value = table.FieldNamed("value");
  TTimes times;
  auto start = Clock::now();
  table.StartTransaction();
  table.First();
  for (int i = 0; i < kRecords; ++i) {
    table.Edit();
    name.SetAsString("edited " + std::to_string(i));
    value.SetAsFloat(i * 2.0);
    table.Post();
    table.Next();
  }
  times.edits = Since(start);
  start = Clock::now();
  table.Rollback();
  times.rollback = Since(start);
  table.First();
  if (name.AsString() != Name(0)) throw std::runtime_error("the table's rollback kept an edit");
  return times;
}

// ---- SQLite

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string text = error ? error : "unknown";
    sqlite3_free(error);
    throw std::runtime_error(text);
  }
}

sqlite3* MakeDatabase() {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
  Exec(db, "CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, value REAL)");
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?)", -1, &insert, nullptr);
  for (int i = 0; i < kRecords; ++i) {
    const std::string name = Name(i);
    sqlite3_bind_int(insert, 1, i);
    sqlite3_bind_text(insert, 2, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 3, i * 0.5);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT");
  return db;
}

TTimes RunSqlite(sqlite3* db) {
  sqlite3_stmt* update = nullptr;
  sqlite3_prepare_v2(db, "UPDATE t SET name = ?, value = ? WHERE id = ?", -1, &update, nullptr);
  TTimes times;
  auto start = Clock::now();
  Exec(db, "BEGIN");
  for (int i = 0; i < kRecords; ++i) {
    const std::string name = "edited " + std::to_string(i);
    sqlite3_bind_text(update, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(update, 2, i * 2.0);
    sqlite3_bind_int(update, 3, i);
    if (sqlite3_step(update) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
    sqlite3_reset(update);
  }
  times.edits = Since(start);
  start = Clock::now();
  Exec(db, "ROLLBACK");
  times.rollback = Since(start);
  sqlite3_finalize(update);
  return times;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  auto table = MakeTable();
  sqlite3* db = MakeDatabase();
  std::vector<double> tableEdits, tableRollback, tableTotal, sqlEdits, sqlRollback, sqlTotal;
  for (int run = 0; run < kRuns; ++run) {
    const TTimes t = RunTable(*table);
    const TTimes s = RunSqlite(db);
    tableEdits.push_back(t.edits);
    tableRollback.push_back(t.rollback);
    tableTotal.push_back(t.Total());
    sqlEdits.push_back(s.edits);
    sqlRollback.push_back(s.rollback);
    sqlTotal.push_back(s.Total());
  }
  sqlite3_close(db);
  std::printf("%d edits in one transaction, then rollback (median of %d runs, ms)\n", kRecords, kRuns);
  std::printf("%-22s %10s %10s %10s\n", "", "edits", "rollback", "total");
  std::printf("%-22s %10.1f %10.1f %10.1f\n", "table", Median(tableEdits), Median(tableRollback),
              Median(tableTotal));
  std::printf("%-22s %10.1f %10.1f %10.1f\n", "sqlite :memory:", Median(sqlEdits), Median(sqlRollback),
              Median(sqlTotal));
  std::printf("ratio table / sqlite: %.2f (edits %.2f, rollback %.2f)\n", Median(tableTotal) / Median(sqlTotal),
              Median(tableEdits) / Median(sqlEdits), Median(tableRollback) / Median(sqlRollback));
  return 0;
}
