// Nested transactions of a table over its store's record versions: commit
// and rollback at each level, seen by every open table of the store, what a
// level keeps of the records before it, the ends of a level by emptying the
// store, and the cases where nothing happens or the table refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

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

}  // namespace
}  // namespace ts
