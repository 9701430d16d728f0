// Nested transactions of a table over its store's record versions: commit
// and rollback at each level, seen by every open table of the store, the
// cases where nothing happens or the table refuses, and a model of the table
// run through random changes over nested levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "table_store/dataset/delta_handler.h"
#include "tables.h"

namespace ts {
namespace {

using testing::AppendIdRow;
using testing::IdsOf;

// Rows 1, 2, 3 before any transaction, versioning in multiversion mode, and a
// second table on the same store ordered by descending id.
class TableTransactions : public ::testing::Test {
 protected:
  void SetUp() override {
    table.AddField<TIntegerField>("id");
    table.AddField<TStringField>("memo", 100);
    table.SetPerformance(mtpfBalanced);
    table.SetAttachMaxCount(2);
    other.SetAttachedTo(&table);
    other.IndexDefs().Add("down", "id", ixDescending);
    other.SetIndexName("down");
    table.Open();
    other.Open();
    for (int id = 1; id <= 3; ++id) AppendIdRow(table, id);
    table.SetEnableVersioning(true);
    table.SetVersioningMode(mtvmAllSinceCheckPoint);
  }

  int Level() const { return table.Store().TransactionLevel(); }
  void EndsThatWouldLeaveDuplicatesAreRefused(TdvoMemTable& holder);

  TdvoMemTable table{"t"};
  TdvoMemTable other{"other"};
};

TEST_F(TableTransactions, EachLevelIsKeptOrUndoneOnItsOwn) {
  struct Case {
    bool commitInner, commitOuter;
    const char* afterInner;
    const char* afterOuter;
  };
  const Case cases[] = {
      {false, false, "1,2,3,4", "1,2,3"},
      {true, false, "10,3,4", "1,2,3"},
      {false, true, "1,2,3,4", "1,2,3,4"},
      {true, true, "10,3,4", "10,3,4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.commitInner ? "commit" : "rollback") + " then " +
                 (c.commitOuter ? "commit" : "rollback"));
    table.StartTransaction();
    AppendIdRow(table, 4);
    table.StartTransaction();
    EXPECT_EQ(Level(), 2);
    table.First();
    table.Edit();
    table.FieldNamed("id").SetAsInteger(10);
    table.Post();
    table.Next();
    table.Delete();  // row 2
    ASSERT_EQ(IdsOf(table), "10,3,4");
    c.commitInner ? table.Commit() : table.Rollback();
    EXPECT_EQ(Level(), 1);
    EXPECT_EQ(IdsOf(table), c.afterInner);
    c.commitOuter ? table.Commit() : table.Rollback();
    EXPECT_EQ(Level(), 0);
    EXPECT_EQ(IdsOf(table), c.afterOuter);
    // The other table's own index was rebuilt from the same records.
    EXPECT_EQ(other.RecordCount(), table.RecordCount());
    // Start the next case from rows 1, 2, 3 again.
    table.Close();
    table.Open();
    other.Open();
    for (int id = 1; id <= 3; ++id) AppendIdRow(table, id);
  }
}

TEST_F(TableTransactions, ARollbackDropsAPendingEditAndKeepsEarlierRecords) {
  table.StartTransaction();
  table.Last();
  table.Edit();
  table.FieldNamed("memo").SetAsString("unsaved");
  table.Rollback();
  EXPECT_EQ(table.State(), dsBrowse);
  EXPECT_EQ(table.FieldNamed("memo").AsString(), "memo 3");
  EXPECT_EQ(IdsOf(other), "3,2,1");
}

TEST_F(TableTransactions, NothingHappensWithoutALevelOrOnAClosedTable) {
  table.Commit();
  table.Rollback();
  EXPECT_EQ(IdsOf(table), "1,2,3");
  EXPECT_EQ(Level(), 0);

  TdvoMemTable closed;
  closed.StartTransaction();  // closed, and without versioning: nothing
  EXPECT_EQ(closed.Store().TransactionLevel(), 0);

  table.SetVersioningMode(mtvm1SinceCheckPoint);
  try {
    table.StartTransaction();
    FAIL() << "started without multiversion versioning";
  } catch (const EMemTableError& error) {
    EXPECT_STREQ(error.what(), "Transactioning requires multiversion versioning.");
  }
  EXPECT_EQ(Level(), 0);
}

// A post that changes nothing keeps no older version, so the record stays
// whatever it was before the level: a rollback must not take it for a record
// made or changed at that level. A change keeps the version the level
// started with even when the mode was switched to a single version since.
TEST_F(TableTransactions, ARollbackRestoresWhatTheLevelStartedWith) {
  auto setMemo = [&](const char* memo) {
    table.Last();
    table.Edit();
    if (memo != nullptr) table.FieldNamed("memo").SetAsString(memo);
    table.Post();
  };
  struct Case {
    const char* name;
    std::function<void()> before;  // what the level must keep
    int outerLevels;               // levels started before `before`
    std::function<void()> inner;
    const char* kept;
  };
  const auto unchanged = [&] { setMemo(nullptr); };
  const Case cases[] = {
      {"appended before the level", [&] { AppendIdRow(table, 4); }, 0, unchanged, "memo 4"},
      {"edited before the level", [&] { setMemo("b"); }, 0, unchanged, "b"},
      {"appended at the outer level", [&] { AppendIdRow(table, 4); }, 1, unchanged, "memo 4"},
      {"edited at the outer level", [&] { setMemo("b"); }, 1, unchanged, "b"},
      {"edited under a single version",
       [&] { setMemo("b"); },
       0,
       [&] {
         table.SetVersioningMode(mtvm1SinceCheckPoint);
         setMemo("c");
         table.SetVersioningMode(mtvmAllSinceCheckPoint);
       },
       "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    table.Close();
    table.Open();
    other.Open();
    for (int id = 1; id <= 3; ++id) AppendIdRow(table, id);
    for (int i = 0; i < c.outerLevels; ++i) table.StartTransaction();
    c.before();
    const std::string ids = IdsOf(table);
    table.StartTransaction();
    c.inner();
    table.Rollback();
    EXPECT_EQ(IdsOf(table), ids);
    table.Last();
    EXPECT_EQ(table.FieldNamed("memo").AsString(), c.kept);
    for (int i = 0; i < c.outerLevels; ++i) table.Commit();
    EXPECT_EQ(IdsOf(table), ids);
    EXPECT_EQ(Level(), 0);
  }
}

// The level belongs to the store's records: when the owner's close empties
// the store, or the store is emptied otherwise, no level is left open to
// undo records committed later.
TEST_F(TableTransactions, AnEmptiedStoreHasNoLevelLeftOpen) {
  const std::function<void()> empties[] = {
      [&] {
        table.Close();
        table.Open();
        other.Open();
      },
      [&] { table.ClearAllRecords(); },
  };
  for (const auto& empty : empties) {
    table.StartTransaction();
    table.StartTransaction();
    empty();
    EXPECT_EQ(Level(), 0);
    table.StartTransaction();
    AppendIdRow(table, 7);
    table.Commit();
    EXPECT_EQ(Level(), 0);
    table.Rollback();  // no level: nothing
    EXPECT_EQ(IdsOf(table), "7");
    table.ClearAllRecords();
  }
}

// An attached table's close leaves the store and its records with the owner:
// the open level stays, to be ended through any open table of the store.
TEST_F(TableTransactions, AnAttachedTablesCloseLeavesTheLevelOpen) {
  table.StartTransaction();
  AppendIdRow(other, 4);
  other.Close();
  EXPECT_EQ(Level(), 1);
  other.Open();
  other.Rollback();
  EXPECT_EQ(Level(), 0);
  EXPECT_EQ(IdsOf(table), "1,2,3");
}

// A unique index that posts do not keep (not maintained) lets a duplicate
// key in; the rebuild after a commit or rollback would meet it. The end that
// would keep or bring back the duplicate is refused before it takes effect,
// and the level stays open for the other end, whichever table of the store
// holds the index.
void TableTransactions::EndsThatWouldLeaveDuplicatesAreRefused(TdvoMemTable& holder) {
  holder.IndexDefs().Add("uniqueId", "id", ixUnique | ixNonMaintained);
  holder.SyncIndexes();
  auto refused = [&](void (TdvoMemTable::*end)()) {
    try {
      (table.*end)();
    } catch (const EMemTableDupKey& error) {
      EXPECT_STREQ(error.what(), "Duplicate index value. Operation aborted.");
      return true;
    }
    return false;
  };
  // The duplicate made inside the level: no commit, but a rollback.
  table.StartTransaction();
  AppendIdRow(table, 2);
  EXPECT_TRUE(refused(&TdvoMemTable::Commit));
  EXPECT_EQ(Level(), 1);
  EXPECT_FALSE(refused(&TdvoMemTable::Rollback));
  EXPECT_EQ(Level(), 0);
  EXPECT_EQ(IdsOf(table), "1,2,3");
  // The duplicate there before the level: no rollback, but a commit.
  AppendIdRow(table, 2);
  table.StartTransaction();
  table.Last();
  table.Edit();
  table.FieldNamed("id").SetAsInteger(4);
  table.Post();
  EXPECT_TRUE(refused(&TdvoMemTable::Rollback));
  EXPECT_EQ(Level(), 1);
  EXPECT_EQ(IdsOf(table), "1,2,3,4");
  EXPECT_FALSE(refused(&TdvoMemTable::Commit));
  EXPECT_EQ(Level(), 0);
  EXPECT_EQ(IdsOf(table), "1,2,3,4");
}

TEST_F(TableTransactions, AnEndThatWouldLeaveDuplicateUniqueKeysIsRefused) {
  EndsThatWouldLeaveDuplicatesAreRefused(table);
}

TEST_F(TableTransactions, AnEndIsRefusedForAnotherTablesUniqueIndex) { EndsThatWouldLeaveDuplicatesAreRefused(other); }

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

// A row as the model knows it: its value, and whether it was inserted since
// versioning began, edited, deleted.
struct TModelRow {
  int val = 0;
  bool inserted = false;
  bool edited = false;
  bool deleted = false;

  TUpdateStatus Status() const {
    return deleted ? rsDeleted : edited ? rsModified : inserted ? rsInserted : rsUnmodified;
  }
  // What the walk reports for the same changes made without a transaction.
  char Walk() const {
    if (deleted) return inserted ? 'U' : 'D';
    return inserted ? 'I' : edited ? 'M' : 'U';
  }
};
using TModel = std::map<int, TModelRow>;  // by id

// Random appends, edits, deletes, starts, commits and rollbacks over up to
// four nested levels, through either table of the store; after every step the
// tables show what the model holds: rows in row order and in the other
// table's descending unique index on "val", the values, every record's
// update status and what the delta walk reports. Each level's start pushes a
// copy of the model; a rollback goes back to it, a commit drops it.
class TransactionModel : public ::testing::Test {
 protected:
  void SetUp() override {
    table.AddField<TIntegerField>("id");
    table.AddField<TIntegerField>("val");
    table.AddField<TStringField>("memo", 100);
    table.SetPerformance(mtpfBalanced);  // memo out of line: versions own their blocks
    table.SetAttachMaxCount(2);
    other.SetAttachedTo(&table);
    other.IndexDefs().Add("byVal", "val", ixDescending | ixUnique);
    other.SetIndexName("byVal");
    table.Open();
    other.Open();
    // Rows from before versioning: unmodified.
    for (int i = 0; i < 4; ++i) Append(table, false);
    table.SetEnableVersioning(true);
    table.SetVersioningMode(mtvmAllSinceCheckPoint);
  }

  void Append(TdvoMemTable& via, bool versioned) {
    const int id = nextId_++;
    const int val = nextVal_++;
    via.Append();
    via.FieldNamed("id").SetAsInteger(id);
    via.FieldNamed("val").SetAsInteger(val);
    via.FieldNamed("memo").SetAsString("m" + std::to_string(val));
    via.Post();
    model[id] = TModelRow{val, versioned, false, false};
  }

  // Every row the view shows, "id=val:memo:status", in the view's order.
  static std::string Shown(TdvoMemTable& view) {
    std::string text;
    for (view.First(); !view.Eof(); view.Next())
      text += std::to_string(view.FieldNamed("id").AsInteger()) + "=" +
              std::to_string(view.FieldNamed("val").AsInteger()) + ":" + view.FieldNamed("memo").AsString() + ":" +
              std::to_string(view.UpdateStatus()) + " ";
    return text;
  }
  std::string Expected(bool byVal) const {
    std::vector<std::pair<int, int>> rows;  // (order key, id)
    for (const auto& [id, row] : model)
      if (!row.deleted) rows.emplace_back(byVal ? -row.val : id, id);
    std::sort(rows.begin(), rows.end());
    std::string text;
    for (const auto& [key, id] : rows) {
      const TModelRow& row = model.at(id);
      text += std::to_string(id) + "=" + std::to_string(row.val) + ":m" + std::to_string(row.val) + ":" +
              std::to_string(row.Status()) + " ";
    }
    return text;
  }
  std::string Walked() {
    TWalkRecorder recorder(table);
    table.SetDeltaHandler(&recorder);
    recorder.ResolveChanges();
    table.SetDeltaHandler(nullptr);
    std::string text;
    for (const auto& [id, letter] : recorder.seen) text += std::to_string(id) + ":" + letter + " ";
    return text;
  }
  std::string ExpectedWalk() const {
    std::string text;
    for (const auto& [id, row] : model) text += std::to_string(id) + ":" + row.Walk() + " ";
    return text;
  }

  // One random step; returns what it did.
  std::string Step(std::mt19937& random) {
    TdvoMemTable& via = random() % 2 ? table : other;
    std::vector<int> live;
    for (const auto& [id, row] : model)
      if (!row.deleted) live.push_back(id);
    const int level = static_cast<int>(saved.size());
    const int pick = static_cast<int>(random() % 100);
    if (pick < 12 && level < 4) {
      via.StartTransaction();
      saved.push_back(model);
      return "start";
    }
    if (pick < 24 && level > 0) {
      via.Commit();
      saved.pop_back();
      return "commit";
    }
    if (pick < 36 && level > 0) {
      via.Rollback();
      model = saved.back();
      saved.pop_back();
      return "rollback";
    }
    if (pick < 60 || live.empty()) {
      Append(via, true);
      return "append " + std::to_string(nextId_ - 1);
    }
    // Half the time one of the newest rows, so that rows inserted at a level
    // are often changed at the same level.
    const size_t span = random() % 2 ? std::min<size_t>(live.size(), 3) : live.size();
    const int id = live[live.size() - 1 - random() % span];
    EXPECT_TRUE(via.LocateRecord("id", TValue::Integer(id)));
    TModelRow& row = model[id];
    if (pick < 80) {
      const int val = nextVal_++;
      via.Edit();
      via.FieldNamed("val").SetAsInteger(val);
      via.FieldNamed("memo").SetAsString("m" + std::to_string(val));
      via.Post();
      row.val = val;
      row.edited = true;
      return "edit " + std::to_string(id);
    }
    via.Delete();
    row.deleted = true;
    return "delete " + std::to_string(id);
  }

  TdvoMemTable table{"t"};
  TdvoMemTable other{"other"};
  TModel model;
  std::vector<TModel> saved;  // the model as each open level started

 private:
  int nextId_ = 1;
  int nextVal_ = 1;
};

TEST_F(TransactionModel, EveryStepLeavesWhatTheModelHolds) {
  std::mt19937 random(20240611);
  std::string steps;
  for (int n = 0; n < 300; ++n) {
    steps += Step(random) + ", ";
    SCOPED_TRACE(steps);
    ASSERT_EQ(table.Store().TransactionLevel(), static_cast<int>(saved.size()));
    ASSERT_EQ(Shown(table), Expected(false));
    ASSERT_EQ(Shown(other), Expected(true));
    ASSERT_EQ(Walked(), ExpectedWalk());
  }
}

}  // namespace
}  // namespace ts
