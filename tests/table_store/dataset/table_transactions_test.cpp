// Nested transactions of a table over its store's record versions: commit
// and rollback at each level, seen by every open table of the store, and the
// cases where nothing happens or the table refuses.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ts
