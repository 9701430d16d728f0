// One transaction of 100,000 edits and its rollback: the table (versioning in
// multiversion mode, walking its records with Next and editing each) beside
// SQLite in memory. Both start from the same 100,000 rows of an Integer, a
// String(20) and a Float, and both edit every row to the same values.
//
// The peer is one set-based UPDATE inside BEGIN ... ROLLBACK, which like the
// table's walk visits the rows in order; the row-by-row peer (one prepared
// UPDATE ... WHERE id = ? per row, a key seek each) is kept as a labelled row.
// The edits and the rollback are also measured apart: the edits end with
// every row changed, the rollback with every row as it was, and each side's
// rows are compared after every run.
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/digest.h"
#include "common/fair_pair.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace {

using namespace ts;

constexpr int kRecords = 100000;

std::string Name(int i) { return "name " + std::to_string(i); }

// Folds rows into one text that both sides make alike.
class TRowDigest {
 public:
  void Add(long long id, const std::string &name, double value) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%lld|%.17g|", id, value);
    digest_.Add(text, std::size_t(n));
    digest_.Add(name);
    ++rows_;
  }
  std::string Text() const { return std::to_string(rows_) + " rows, digest " + digest_.Hex(); }

 private:
  bench_fair::Digest digest_;
  int rows_ = 0;
};

// ---- The table

class TTableSide {
 public:
  TTableSide() : table_("bench") {
    table_.AddField<TIntegerField>("id");
    table_.AddField<TStringField>("name", 20);
    table_.AddField<TFloatField>("value");
    table_.Open();
    for (int i = 0; i < kRecords; ++i) {
      table_.Append();
      Id().SetAsInteger(i);
      NameField().SetAsString(Name(i));
      Value().SetAsFloat(i * 0.5);
      table_.Post();
    }
    table_.SetEnableVersioning(true);
    table_.SetVersioningMode(mtvmAllSinceCheckPoint);
  }

  void Edit() {
    TField &name = NameField();
    TField &value = Value();
    table_.StartTransaction();
    table_.First();
    for (int i = 0; i < kRecords; ++i) {
      table_.Edit();
      name.SetAsString("edited " + std::to_string(i));
      value.SetAsFloat(i * 2.0);
      table_.Post();
      table_.Next();
    }
  }
  void Rollback() { table_.Rollback(); }

  std::string Rows() {
    TRowDigest digest;
    for (table_.First(); !table_.Eof(); table_.Next())
      digest.Add(Id().AsInteger(), NameField().AsString(), Value().AsFloat());
    return digest.Text();
  }

 private:
  TField &Id() { return table_.FieldNamed("id"); }
  TField &NameField() { return table_.FieldNamed("name"); }
  TField &Value() { return table_.FieldNamed("value"); }
  TdvoMemTable table_;
};

// ---- SQLite

class TSqliteSide {
 public:
  TSqliteSide() {
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, value REAL)");
    Exec("BEGIN");
    sqlite3_stmt *insert = Prepare("INSERT INTO t VALUES (?, ?, ?)");
    for (int i = 0; i < kRecords; ++i) {
      const std::string name = Name(i);
      sqlite3_bind_int(insert, 1, i);
      sqlite3_bind_text(insert, 2, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_double(insert, 3, i * 0.5);
      Step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
    setBased_ = Prepare("UPDATE t SET name = 'edited ' || id, value = id * 2.0");
    byKey_ = Prepare("UPDATE t SET name = ?, value = ? WHERE id = ?");
    select_ = Prepare("SELECT id, name, value FROM t ORDER BY id");
  }
  ~TSqliteSide() {
    for (sqlite3_stmt *s : {setBased_, byKey_, select_}) sqlite3_finalize(s);
    sqlite3_close(db_);
  }
  TSqliteSide(const TSqliteSide &) = delete;
  TSqliteSide &operator=(const TSqliteSide &) = delete;

  void EditSetBased() {
    Exec("BEGIN");
    Step(setBased_);
    sqlite3_reset(setBased_);
  }
  void EditRowByRow() {
    Exec("BEGIN");
    for (int i = 0; i < kRecords; ++i) {
      const std::string name = "edited " + std::to_string(i);
      sqlite3_bind_text(byKey_, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_double(byKey_, 2, i * 2.0);
      sqlite3_bind_int(byKey_, 3, i);
      Step(byKey_);
      sqlite3_reset(byKey_);
    }
  }
  void Rollback() { Exec("ROLLBACK"); }

  std::string Rows() {
    TRowDigest digest;
    while (sqlite3_step(select_) == SQLITE_ROW)
      digest.Add(sqlite3_column_int64(select_, 0),
                 std::string(reinterpret_cast<const char *>(sqlite3_column_text(select_, 1)),
                             std::size_t(sqlite3_column_bytes(select_, 1))),
                 sqlite3_column_double(select_, 2));
    sqlite3_reset(select_);
    return digest.Text();
  }

 private:
  void Exec(const char *sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db_));
  }
  sqlite3_stmt *Prepare(const char *sql) {
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
    return statement;
  }
  void Step(sqlite3_stmt *statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
  }
  sqlite3 *db_ = nullptr;
  sqlite3_stmt *setBased_ = nullptr;
  sqlite3_stmt *byKey_ = nullptr;
  sqlite3_stmt *select_ = nullptr;
};

enum class TStep { EditsAndRollback, Edits, Rollback };

// One pair over fresh data: `step` says what is timed; `rowByRow` picks the
// peer that updates by key.
bench_fair::Pair MakePair(TStep step, bool rowByRow) {
  auto table = std::make_shared<TTableSide>();
  auto db = std::make_shared<TSqliteSide>();
  const auto sqliteEdit = [db, rowByRow] { rowByRow ? db->EditRowByRow() : db->EditSetBased(); };
  bench_fair::Pair pair;
  pair.peerName = rowByRow ? "SQLite, UPDATE ... WHERE id = ? per row" : "SQLite, one UPDATE";
  switch (step) {
    case TStep::EditsAndRollback:
      pair.ours.run = [table] {
        table->Edit();
        table->Rollback();
      };
      pair.peer.run = [db, sqliteEdit] {
        sqliteEdit();
        db->Rollback();
      };
      break;
    case TStep::Edits:
      pair.ours.run = [table] { table->Edit(); };
      pair.ours.tearDown = [table] { table->Rollback(); };
      pair.peer.run = sqliteEdit;
      pair.peer.tearDown = [db] { db->Rollback(); };
      break;
    case TStep::Rollback:
      pair.ours.setUp = [table] { table->Edit(); };
      pair.ours.run = [table] { table->Rollback(); };
      pair.peer.setUp = sqliteEdit;
      pair.peer.run = [db] { db->Rollback(); };
      pair.peerName = "SQLite, ROLLBACK of one UPDATE";
      break;
  }
  pair.ours.result = [table] { return table->Rows(); };
  pair.peer.result = [db] { return db->Rows(); };
  return pair;
}

}  // namespace

int main(int argc, char **argv) {
  bench_fair::Register("Transaction/EditsAndRollback", [] { return MakePair(TStep::EditsAndRollback, false); });
  bench_fair::Register("Transaction/Edits", [] { return MakePair(TStep::Edits, false); });
  bench_fair::Register("Transaction/RollbackAlone", [] { return MakePair(TStep::Rollback, false); });
  bench_fair::Register("Transaction/EditsAndRollback/RowByRowPeer",
                       [] { return MakePair(TStep::EditsAndRollback, true); });
  return bench_fair::Main(argc, argv);
}
