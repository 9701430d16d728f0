// Nested transactions over an owner and two attached tables, driven by
// random steps a caller can take, and compared after every step with SQLite
// in memory run through the same steps under savepoints (SAVEPOINT for a
// start, RELEASE for a commit, ROLLBACK TO and RELEASE for a rollback).
//
// SQLite decides what is order-independent or ordered by value: the live
// rows and their values, the record count, the descending unique index on
// "val" and the order of the index on "grp", and which posts a unique key
// refuses. What SQLite has no notion of is kept by a plain model here: each
// record's update status and the state the delta walk reports, the owner's
// row order (a record placed by Insert stays where it was put until a commit
// or rollback rebuilds the order from the slots), and the transaction level.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "table_store/dataset/delta_handler.h"
#include "tables.h"

namespace ts {
namespace {

// ---- SQLite, the oracle

class TOracle {
 public:
  TOracle() {
    sqlite3_open(":memory:", &db_);
    Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, val INTEGER UNIQUE, memo TEXT, grp INTEGER)");
  }
  ~TOracle() { sqlite3_close(db_); }
  TOracle(const TOracle&) = delete;
  TOracle& operator=(const TOracle&) = delete;

  // false when a constraint refused the statement.
  bool Exec(const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    sqlite3_free(error);
    if (rc == SQLITE_CONSTRAINT) return false;
    EXPECT_EQ(rc, SQLITE_OK) << sql;
    return true;
  }
  // Every result row as its columns joined by ",", rows joined by " ".
  std::string Query(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr);
    std::string text;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(statement); ++i)
        text += (i ? "," : "") + std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
      text += " ";
    }
    sqlite3_finalize(statement);
    return text;
  }

 private:
  sqlite3* db_ = nullptr;
};

// ---- The plain model

// Notes what the delta walk reports for every record of the store, by id:
// "id:letter" with I, D, M or U.
class TWalkRecorder : public TdvoCustomDeltaHandler {
 public:
  explicit TWalkRecorder(TdvoMemTable& table) : table_(table) {}
  std::map<int, char> seen;

 protected:
  void ResolveInserted(bool&, uint8_t&) override { Note('I'); }
  void ResolveDeleted(bool&, uint8_t&) override { Note('D'); }
  void ResolveModified(bool&, uint8_t&) override { Note('M'); }
  void ResolveUnmodified(bool&, uint8_t&) override { Note('U'); }

 private:
  void Note(char letter) {
    table_.SetOverrideRecord(NewestVersion());
    seen[table_.FieldNamed("id").AsInteger()] = letter;
    table_.SetOverrideRecord(nullptr);
  }
  TdvoMemTable& table_;
};

// A stored record as the model knows it: its value, and whether it was
// inserted since versioning began, edited, deleted.
struct TModelRow {
  int val = 0;
  bool inserted = false;
  bool edited = false;
  bool deleted = false;

  bool operator==(const TModelRow&) const = default;
  TUpdateStatus Status() const {
    return deleted ? rsDeleted : edited ? rsModified : inserted ? rsInserted : rsUnmodified;
  }
  // What the walk reports for the same changes made without a transaction.
  char Walk() const {
    if (deleted) return inserted ? 'U' : 'D';
    return inserted ? 'I' : edited ? 'M' : 'U';
  }
};

struct TModel {
  std::map<int, TModelRow> rows;  // every stored record, by id
  std::vector<int> rowOrder;      // the owner's row order, deleted records included
  // Slots are handed out in creation order, which ids follow.
  void OrderBySlots() {
    rowOrder.clear();
    for (const auto& [id, row] : rows) rowOrder.push_back(id);
  }
};

// ---- The test

class TransactionModel : public ::testing::Test {
 protected:
  void SetUp() override {
    table.AddField<TIntegerField>("id");
    table.AddField<TIntegerField>("val");
    table.AddField<TStringField>("memo", 100);
    table.AddField<TIntegerField>("grp");
    table.SetPerformance(mtpfBalanced);  // memo out of line: versions own their blocks
    table.SetAttachMaxCount(3);
    other.SetAttachedTo(&table);
    other.IndexDefs().Add("byVal", "val", ixDescending | ixUnique);
    other.SetIndexName("byVal");
    third.SetAttachedTo(&table);
    third.IndexDefs().Add("byGrp", "grp", 0);
    third.SetIndexName("byGrp");
    table.Open();
    other.Open();
    third.Open();
    // Records from before versioning: unmodified.
    std::mt19937 random(5);
    for (int i = 0; i < 4; ++i) Append(table, false, random);
    table.SetEnableVersioning(true);
    table.SetVersioningMode(mtvmAllSinceCheckPoint);
  }

  int Level() const { return static_cast<int>(saved_.size()); }
  std::vector<TdvoMemTable*> OpenTables() {
    std::vector<TdvoMemTable*> open;
    for (TdvoMemTable* t : {&table, &other, &third})
      if (t->Active()) open.push_back(t);
    return open;
  }
  std::vector<int> Live() const {
    std::vector<int> live;
    for (const auto& [id, row] : model_.rows)
      if (!row.deleted) live.push_back(id);
    return live;
  }
  static std::string Quoted(const std::string& text) { return "'" + text + "'"; }

  // Fresh values for a new or changed record: a value never used before, so
  // only the duplicate step meets a unique key.
  void FillFresh(TdvoMemTable& via, std::mt19937& random) {
    const int val = nextVal_++;
    via.FieldNamed("val").SetAsInteger(val);
    via.FieldNamed("memo").SetAsString("m" + std::to_string(val));
    via.FieldNamed("grp").SetAsInteger(static_cast<int>(random() % 5));
  }
  // The values the buffer of `via` holds, as SQL values.
  static std::string SqlValues(TdvoMemTable& via) {
    return via.FieldNamed("val").AsString() + ", " + Quoted(via.FieldNamed("memo").AsString()) + ", " +
           via.FieldNamed("grp").AsString();
  }
  void NoteEdit(TdvoMemTable& via, int id) {
    oracle_.Exec("UPDATE t SET (val, memo, grp) = (" + SqlValues(via) + ") WHERE id = " + std::to_string(id));
    TModelRow& row = model_.rows[id];
    row.val = via.FieldNamed("val").AsInteger();
    row.edited = true;
  }

  void Append(TdvoMemTable& via, bool versioned, std::mt19937& random) {
    const int id = nextId_++;
    via.Append();
    via.FieldNamed("id").SetAsInteger(id);
    FillFresh(via, random);
    NoteNew(via, id, versioned);
    via.Post();
    model_.rowOrder.push_back(id);
  }
  void NoteNew(TdvoMemTable& via, int id, bool versioned) {
    oracle_.Exec("INSERT INTO t VALUES (" + std::to_string(id) + ", " + SqlValues(via) + ")");
    model_.rows[id] = TModelRow{via.FieldNamed("val").AsInteger(), versioned, false, false};
  }

  void Start(TdvoMemTable& via) {
    via.StartTransaction();
    saved_.push_back(model_);
    oracle_.Exec("SAVEPOINT s" + std::to_string(Level()));
  }
  void End(TdvoMemTable& via, bool commit) {
    const std::string name = "s" + std::to_string(Level());
    if (commit) {
      via.Commit();
      oracle_.Exec("RELEASE " + name);
      saved_.pop_back();
    } else {
      via.Rollback();
      oracle_.Exec("ROLLBACK TO " + name);
      oracle_.Exec("RELEASE " + name);
      model_.rows = saved_.back().rows;
      saved_.pop_back();
    }
    // Every open table rebuilds its indexes from the slots.
    model_.OrderBySlots();
  }

  // One random step; returns what it did.
  std::string Step(std::mt19937& random);
  std::string EditStep(TdvoMemTable& via, int id, int kind, std::mt19937& random);
  std::string PendingAtEnd(TdvoMemTable& via, std::mt19937& random);
  std::string DuplicateRefused(TdvoMemTable& via, std::mt19937& random);
  std::string DuplicateMetOnOpen(TdvoMemTable& via, const std::vector<int>& live, std::mt19937& random);
  std::string CloseOrOpen(std::mt19937& random);

  // Everything every open table shows against SQLite and the model.
  void Check();

  TdvoMemTable table{"t"};
  TdvoMemTable other{"other"};
  TdvoMemTable third{"third"};

 private:
  TOracle oracle_;
  TModel model_;
  std::vector<TModel> saved_;  // the model as each open level started
  int nextId_ = 1;
  int nextVal_ = 1;
};

std::string TransactionModel::Step(std::mt19937& random) {
  const std::vector<TdvoMemTable*> open = OpenTables();
  TdvoMemTable& via = *open[random() % open.size()];
  const std::vector<int> live = Live();
  const int pick = static_cast<int>(random() % 100);
  // A closed table opens again soon: most steps need every table.
  if ((!other.Active() || !third.Active()) && pick % 5 == 0) return CloseOrOpen(random);
  if (pick < 8 && Level() < 4) {
    Start(via);
    return "start";
  }
  if (pick < 14 && Level() > 0) {
    End(via, true);
    return "commit";
  }
  if (pick < 20 && Level() > 0) {
    End(via, false);
    return "rollback";
  }
  if (pick < 25 && Level() > 0) return PendingAtEnd(via, random);
  if (pick < 28) return DuplicateRefused(via, random);
  if (pick < 32) return CloseOrOpen(random);
  // Few records keep every check quick; many deletes keep them few.
  if (pick < 45 || live.empty()) {
    Append(via, true, random);
    return "append " + std::to_string(nextId_ - 1);
  }
  // Half the time one of the newest records, so that records made at a
  // level are often changed at the same level.
  const size_t span = random() % 2 ? std::min<size_t>(live.size(), 3) : live.size();
  const int id = live[live.size() - 1 - random() % span];
  const int kind = live.size() > 20 ? 4 : static_cast<int>(random() % 5);
  return EditStep(via, id, kind, random);
}

// 0 an edit that changes nothing, 1 an edit that changes, 2 a cancelled
// edit, 3 an insert before the record, 4 a delete.
std::string TransactionModel::EditStep(TdvoMemTable& via, int id, int kind, std::mt19937& random) {
  EXPECT_TRUE(via.LocateRecord("id", TValue::Integer(id)));
  const std::string which = " " + std::to_string(id) + " via " + via.Name();
  switch (kind) {
    case 0:
      via.Edit();
      via.Post();
      return "unchanged" + which;
    case 1:
      via.Edit();
      FillFresh(via, random);
      NoteEdit(via, id);
      via.Post();
      return "edit" + which;
    case 2:
      via.Edit();
      FillFresh(via, random);
      via.Cancel();
      return "cancel" + which;
    case 3: {
      const int newId = nextId_++;
      via.Insert();
      via.FieldNamed("id").SetAsInteger(newId);
      FillFresh(via, random);
      NoteNew(via, newId, true);
      via.Post();
      // Only in the row order of a table that browses it is the record put
      // where it was inserted; the others add it at their end.
      std::vector<int>& order = model_.rowOrder;
      order.insert(&via == &table ? std::find(order.begin(), order.end(), id) : order.end(), newId);
      return "insert " + std::to_string(newId) + " before" + which;
    }
    default:
      via.Delete();
      oracle_.Exec("DELETE FROM t WHERE id = " + std::to_string(id));
      model_.rows[id].deleted = true;
      return "delete" + which;
  }
}

// A pending change when a level ends. On the ending table a commit posts it
// into the level and a rollback drops it. On another table it stays pending
// and is posted afterwards, unless the end changed or removed its record.
std::string TransactionModel::PendingAtEnd(TdvoMemTable& via, std::mt19937& random) {
  const bool commit = random() % 2;
  const std::vector<int> live = Live();
  const std::vector<TdvoMemTable*> open = OpenTables();
  TdvoMemTable& editor = random() % 2 || live.empty() ? via : *open[random() % open.size()];
  const bool append = live.empty() || random() % 3 == 0;
  // Often one of the newest records, often changed at the ending level.
  const int id = append ? nextId_++ : live[live.size() - 1 - random() % std::min<size_t>(live.size(), 3)];
  std::string what = std::string(commit ? "commit" : "rollback") + " via " + via.Name() + " while " +
                     editor.Name() + (append ? " appends " : " edits ") + std::to_string(id);
  if (append) {
    editor.Append();
    editor.FieldNamed("id").SetAsInteger(id);
  } else {
    EXPECT_TRUE(editor.LocateRecord("id", TValue::Integer(id)));
    editor.Edit();
  }
  FillFresh(editor, random);
  auto note = [&] {
    if (append) {
      NoteNew(editor, id, true);
      model_.rowOrder.push_back(id);
    } else {
      NoteEdit(editor, id);
    }
  };
  if (&editor == &via) {
    if (commit) note();  // posted into the ending level
    End(via, commit);
    return what;
  }
  // The record read is still the one stored unless the rollback undid a
  // change made to it at the level (or the record itself).
  const auto was = saved_.back().rows.find(id);
  const bool same = commit || append || (was != saved_.back().rows.end() && was->second == model_.rows.at(id));
  End(via, commit);
  if (same) {
    note();
    editor.Post();
    return what + ", posted after";
  }
  try {
    editor.Post();
    ADD_FAILURE() << "posted into a record the rollback took back";
  } catch (const EMemTableInvalidRecord&) {
  }
  editor.Cancel();
  return what + ", refused after";
}

// An edit or a new record with the value of another live record: every open
// unique index refuses it, and the records stay as they were. With the
// unique index closed the edit is taken, the index refuses to open over it
// and stays closed, and the value is written back.
std::string TransactionModel::DuplicateRefused(TdvoMemTable& via, std::mt19937& random) {
  const std::vector<int> live = Live();
  if (live.size() < 2) return "no duplicate";
  if (!other.Active()) return DuplicateMetOnOpen(via, live, random);
  const int holder = live[random() % live.size()];
  const int val = model_.rows.at(holder).val;
  const bool append = random() % 2;
  int target = holder;
  while (target == holder) target = live[random() % live.size()];
  if (append) {
    via.Append();
    via.FieldNamed("id").SetAsInteger(nextId_);
  } else {
    EXPECT_TRUE(via.LocateRecord("id", TValue::Integer(target)));
    via.Edit();
  }
  via.FieldNamed("val").SetAsInteger(val);
  const std::string sql = append ? "INSERT INTO t VALUES (" + std::to_string(nextId_) + ", " + std::to_string(val) +
                                       ", 'dup', 0)"
                                 : "UPDATE t SET val = " + std::to_string(val) + " WHERE id = " +
                                       std::to_string(target);
  EXPECT_FALSE(oracle_.Exec(sql)) << "the oracle took " << sql;
  try {
    via.Post();
    ADD_FAILURE() << "a duplicate value was posted";
  } catch (const EMemTableDupKey& error) {
    EXPECT_STREQ(error.what(), "Duplicate index value. Operation aborted.");
  }
  via.Cancel();
  return "duplicate " + std::to_string(val) + (append ? " appended" : " into " + std::to_string(target)) +
         " via " + via.Name() + " refused";
}

std::string TransactionModel::DuplicateMetOnOpen(TdvoMemTable& via, const std::vector<int>& live,
                                                 std::mt19937& random) {
  const int holder = live[random() % live.size()];
  int target = holder;
  while (target == holder) target = live[random() % live.size()];
  const std::string which = std::to_string(target) + " via " + via.Name();
  EXPECT_TRUE(via.LocateRecord("id", TValue::Integer(target)));
  via.Edit();
  via.FieldNamed("val").SetAsInteger(model_.rows.at(holder).val);
  via.Post();
  try {
    other.Open();
    ADD_FAILURE() << "opened over a duplicate value";
  } catch (const EMemTableDupKey&) {
  }
  EXPECT_FALSE(other.Active());
  EXPECT_TRUE(via.LocateRecord("id", TValue::Integer(target)));
  via.Edit();
  via.FieldNamed("val").SetAsInteger(model_.rows.at(target).val);
  via.Post();
  NoteEdit(via, target);
  return "duplicate into " + which + " met by opening " + other.Name() + ", written back";
}

// An attached table closes or opens again; now and then the owner closes,
// which empties the store and ends every level, and opens again.
std::string TransactionModel::CloseOrOpen(std::mt19937& random) {
  const int pick = static_cast<int>(random() % 4);
  if (pick == 0) {
    table.Close();
    // The records and every savepoint go.
    while (Level() > 0) {
      oracle_.Exec("RELEASE s" + std::to_string(Level()));
      saved_.pop_back();
    }
    oracle_.Exec("DELETE FROM t");
    model_ = TModel{};
    // An attached table opens its owner first.
    (random() % 2 ? other : table).Open();
    return "owner closed and opened";
  }
  TdvoMemTable& attached = !other.Active() ? other : !third.Active() ? third : pick % 2 ? other : third;
  if (attached.Active()) {
    attached.Close();
    return attached.Name() + " closed";
  }
  attached.Open();
  return attached.Name() + " opened";
}

void TransactionModel::Check() {
  ASSERT_EQ(table.Store().TransactionLevel(), Level());
  const std::string count = oracle_.Query("SELECT COUNT(*) FROM t");
  const std::string contents = oracle_.Query("SELECT id, val, memo, grp FROM t ORDER BY id");
  for (TdvoMemTable* view : OpenTables()) {
    SCOPED_TRACE(view->Name());
    ASSERT_EQ(view->State(), dsBrowse);
    EXPECT_EQ(std::to_string(view->RecordCount()) + " ", count);
    // The records' values and statuses through the owner; through every
    // table the order of its index.
    TField& key = view->FieldNamed(view == &third ? "grp" : "id");
    TField& val = view->FieldNamed("val");
    TField& memo = view->FieldNamed("memo");
    TField& grp = view->FieldNamed("grp");
    std::map<int, std::string> values;
    std::string order, statuses, expectedStatuses;
    for (view->First(); !view->Eof(); view->Next()) {
      const int64_t shownKey = key.AsInteger();
      order += std::to_string(shownKey) + " ";
      if (view != &table) continue;
      values[static_cast<int>(shownKey)] =
          std::to_string(val.AsInteger()) + "," + memo.AsString() + "," + std::to_string(grp.AsInteger());
      statuses += std::to_string(view->UpdateStatus());
      const auto row = model_.rows.find(static_cast<int>(shownKey));
      expectedStatuses += row == model_.rows.end() ? "?" : std::to_string(row->second.Status());
    }
    if (view == &other) {
      EXPECT_EQ(order, oracle_.Query("SELECT id FROM t ORDER BY val DESC"));
    } else if (view == &third) {
      EXPECT_EQ(order, oracle_.Query("SELECT grp FROM t ORDER BY grp"));
    } else {
      std::string shown, expected;
      for (const auto& [key, text] : values) shown += std::to_string(key) + "," + text + " ";
      EXPECT_EQ(shown, contents);
      EXPECT_EQ(statuses, expectedStatuses);
      for (int key : model_.rowOrder)
        if (!model_.rows.at(key).deleted) expected += std::to_string(key) + " ";
      EXPECT_EQ(order, expected);
    }
  }
  TWalkRecorder recorder(table);
  table.SetDeltaHandler(&recorder);
  recorder.ResolveChanges();
  table.SetDeltaHandler(nullptr);
  std::string walked, expectedWalk;
  for (const auto& [id, letter] : recorder.seen) walked += std::to_string(id) + ":" + letter + " ";
  for (const auto& [id, row] : model_.rows) expectedWalk += std::to_string(id) + ":" + row.Walk() + " ";
  EXPECT_EQ(walked, expectedWalk);
}

// Fewer steps under the sanitizers keep the run short in both builds.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSteps = 2500;
#else
constexpr int kSteps = 4000;
#endif

TEST_F(TransactionModel, EveryStepAgreesWithSqliteAndTheModel) {
  Check();
  for (const uint32_t seed : {20240611u, 1u, 77u, 4242u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::vector<std::string> steps;
    for (int n = 0; n < kSteps; ++n) {
      steps.push_back(Step(random));
      Check();
      if (HasFailure()) {
        // The last steps that led here.
        std::string trail;
        for (size_t i = steps.size() > 30 ? steps.size() - 30 : 0; i < steps.size(); ++i) trail += steps[i] + "\n";
        FAIL() << "after step " << n << ":\n" << trail;
      }
    }
  }
}

}  // namespace
}  // namespace ts
