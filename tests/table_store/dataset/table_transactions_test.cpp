// Nested transactions of a table over its store's record versions: commit
// and rollback at each level, seen by every open table of the store, what a
// level keeps of the records before it, records loaded or copied in at a
// level, the steps refused while a level is open, the owner's close that
// ends every level, and the cases where nothing happens or the table
// refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "table_store/binary_format/binary_stream_format.h"
#include "tables.h"

namespace ts {
namespace {

using testing::AppendIdRow;
using testing::IdsOf;
using testing::MessageOf;

constexpr const char* kDuplicate = "EMemTableDupKey: Duplicate index value. Operation aborted.";

// A table of the fixture's fields holding `ids`, open.
std::unique_ptr<TdvoMemTable> SourceOf(std::initializer_list<int> ids) {
  auto source = std::make_unique<TdvoMemTable>("source");
  source->AddField<TIntegerField>("id");
  source->AddField<TStringField>("memo", 100);
  source->Open();
  for (int id : ids) AppendIdRow(*source, id);
  return source;
}

// `ids` saved with the fixture's fields, and loaded into `table` records
// only: the definitions in the stream are passed over.
void LoadRecordsOnly(TdvoMemTable& table, std::initializer_list<int> ids) {
  TMemoryStream stream;
  TdvoBinaryStreamFormat format;
  SourceOf(ids)->SaveStreamWithFormat(stream, &format);
  format.sfDef = sfSaveDef;
  format.sfIndexDef = sfSaveIndexDef;
  table.LoadStreamWithFormat(stream, &format);
}

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
  void SetLastMemo(const char* memo) {
    table.Last();
    table.Edit();
    table.FieldNamed("memo").SetAsString(memo);
    table.Post();
  }

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
// the store, no level is left open to undo records committed later.
TEST_F(TableTransactions, TheOwnersCloseEndsEveryLevel) {
  table.StartTransaction();
  table.StartTransaction();
  table.Close();
  table.Open();
  other.Open();
  EXPECT_EQ(Level(), 0);
  table.StartTransaction();
  AppendIdRow(table, 7);
  table.Commit();
  EXPECT_EQ(Level(), 0);
  table.Rollback();  // no level: nothing
  EXPECT_EQ(IdsOf(table), "7");
}

// Inside a level, a step that would empty the store or keep no versions
// could not be rolled back: it is refused before it touches anything, and
// the records and the levels stay as they were. Outside a level each works.
TEST_F(TableTransactions, StepsARollbackCouldNotTakeBackAreRefusedInsideALevel) {
  constexpr const char* kRefused =
      "EMemTableError: Operation not allowed while a transaction is open. Commit or roll it back first.";
  auto source = SourceOf({7, 8});
  const std::function<void()> steps[] = {
      [&] { table.SetEnableVersioning(false); },
      [&] { table.ClearAllRecords(); },
      [&] { other.ClearAllRecords(); },
      [&] { table.FillFromDataSet(source.get(), 0); },
      [&] { table.FillFromDataSet(source.get(), cfStructure); },
      [&] { table.CopyStructureFrom(source.get(), 0); },
      [&] {
        TMemoryStream stream;
        TdvoBinaryStreamFormat format;
        source->SaveStreamWithFormat(stream, &format);
        table.LoadStreamWithFormat(stream, &format);
      },
  };
  for (size_t k = 0; k < std::size(steps); ++k) {
    SCOPED_TRACE(k);
    table.StartTransaction();
    table.StartTransaction();
    // Placed by an insert, ahead of older records: a rebuilt row order
    // would move it to the end.
    table.First();
    table.Next();
    table.Insert();
    table.FieldNamed("id").SetAsInteger(4);
    table.Post();
    EXPECT_EQ(MessageOf(steps[k]), kRefused);
    EXPECT_EQ(Level(), 2);
    EXPECT_TRUE(table.EnableVersioning());
    EXPECT_TRUE(table.Active());
    EXPECT_TRUE(other.Active());
    EXPECT_EQ(table.FieldNamed("id").AsInteger(), 4);
    EXPECT_EQ(IdsOf(table), "1,4,2,3");
    EXPECT_EQ(IdsOf(other), "4,3,2,1");
    table.Rollback();
    EXPECT_EQ(IdsOf(table), "1,2,3");
    table.Commit();
    EXPECT_EQ(Level(), 0);
    EXPECT_EQ(MessageOf(steps[k]), "no error");
    table.Close();
    table.Open();
    other.Open();
    for (int id = 1; id <= 3; ++id) AppendIdRow(table, id);
    table.SetEnableVersioning(true);
  }
}

// Records a level brings in, through a load or a copy, leave with its
// rollback and stay with its commit, at whatever depth they came.
TEST_F(TableTransactions, RecordsLoadedOrCopiedInAtALevelFollowItsEnd) {
  auto source = SourceOf({7, 8});
  const std::function<void()> bringIns[] = {
      [&] { LoadRecordsOnly(table, {7, 8}); },
      [&] { table.FillFromDataSet(source.get(), cfAppend); },
  };
  struct Case {
    const char* what;
    int depth;                      // levels open when the records come
    std::function<void()> after;    // at that depth, after they came
    const char* ends;               // c: commit, r: rollback, innermost first
    const char* afterFirstEnd;
    const char* afterAll;
  };
  const Case cases[] = {
      {"rolled back", 1, nullptr, "r", "1,2,3", "1,2,3"},
      {"committed", 1, nullptr, "c", "1,2,3,7,8", "1,2,3,7,8"},
      {"committed inward, rolled back outward", 2, nullptr, "cr", "1,2,3,7,8", "1,2,3"},
      {"edited at their level, rolled back", 1, [&] { SetLastMemo("edited"); }, "r", "1,2,3", "1,2,3"},
      {"edited deeper, rolled back twice", 1,
       [&] {
         table.StartTransaction();
         SetLastMemo("edited");
       },
       "rr", "1,2,3,7,8", "1,2,3"},
  };
  for (size_t road = 0; road < std::size(bringIns); ++road) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(road == 0 ? "load: " : "fill: ") + c.what);
      for (int i = 0; i < c.depth; ++i) table.StartTransaction();
      bringIns[road]();
      if (c.after) c.after();
      ASSERT_EQ(IdsOf(table), "1,2,3,7,8");
      for (const char* end = c.ends; *end != 0; ++end) {
        *end == 'c' ? table.Commit() : table.Rollback();
        if (end == c.ends) {
          EXPECT_EQ(IdsOf(table), c.afterFirstEnd);
          // An edit taken back shows the value that came in.
          if (std::string(c.afterFirstEnd).size() > 5) {
            EXPECT_EQ(table.FieldNamed("memo").AsString(), "memo 8");
          }
        }
      }
      while (Level() > 0) table.Commit();
      EXPECT_EQ(IdsOf(table), c.afterAll);
      EXPECT_EQ(IdsOf(other), c.afterAll == std::string("1,2,3") ? "3,2,1" : "8,7,3,2,1");
      table.Close();
      table.Open();
      other.Open();
      for (int id = 1; id <= 3; ++id) AppendIdRow(table, id);
    }
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

// A key held twice in a unique index before a level, however it came in, is
// not the level's doing: the level is kept or undone all the same, its own
// changes with it. A level that brings a key twice itself cannot be kept,
// and stays open for its rollback, whichever table of the store holds the
// index. A fill or a load likewise reports only a key it brings twice.
TEST_F(TableTransactions, OnlyADuplicateTheLevelBringsKeepsItFromBeingKept) {
  auto unique = [](TdvoMemTable& holder, int options) {
    holder.IndexDefs().Add("uniqueId", "id", ixUnique | options);
    holder.SyncIndexes();
  };
  struct Case {
    const char* what;
    TdvoMemTable* holder;  // of a unique index on id made first, if any
    std::function<void()> duplicate;  // gives id 2 a second record, last
  };
  const Case cases[] = {
      {"AppendRecord", &table,
       [&] { table.AppendRecord({TValue::Integer(2), TValue::String("memo 2")}); }},
      {"AppendRecord, the other table's index", &other,
       [&] { table.AppendRecord({TValue::Integer(2), TValue::String("memo 2")}); }},
      {"a fill that appends", &table,
       [&] { MessageOf([&] { table.FillFromDataSet(SourceOf({2}).get(), cfAppend); }); }},
      {"a load of records only", &table,
       [&] { MessageOf([&] { LoadRecordsOnly(table, {2}); }); }},
      {"posts with the indexes off", &table,
       [&] {
         table.SetEnableIndexes(false);
         AppendIdRow(table, 2);
         table.SetEnableIndexes(true);
         MessageOf([&] { table.SyncIndexes(); });  // the row order shows it again
       }},
      {"a unique index made over the duplicate", nullptr,
       [&] {
         AppendIdRow(table, 2);
         MessageOf([&] { unique(table, 0); });
       }},
      {"an index posts do not keep", nullptr,
       [&] {
         unique(table, ixNonMaintained);
         AppendIdRow(table, 2);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.holder != nullptr) unique(*c.holder, 0);
    c.duplicate();
    ASSERT_EQ(IdsOf(table), "1,2,3,2");
    // Levels of changes that leave the key alone, the duplicate's own memo too.
    for (bool commit : {true, false}) {
      table.StartTransaction();
      AppendIdRow(table, commit ? 5 : 6);
      SetLastMemo("changed");
      table.Prior();  // the second record of id 2
      table.Edit();
      table.FieldNamed("memo").SetAsString("changed");
      table.Post();
      EXPECT_EQ(MessageOf([&] { commit ? table.Commit() : table.Rollback(); }), "no error");
      EXPECT_EQ(Level(), 0);
      EXPECT_EQ(IdsOf(table), "1,2,3,2,5");
    }
    // A level that brings id 3 a second record: no commit, but a rollback.
    table.StartTransaction();
    table.AppendRecord({TValue::Integer(3), TValue::String("memo 3")});
    EXPECT_EQ(MessageOf([&] { table.Commit(); }), kDuplicate);
    EXPECT_EQ(Level(), 1);
    EXPECT_EQ(IdsOf(table), "1,2,3,2,5,3");
    EXPECT_EQ(MessageOf([&] { table.Rollback(); }), "no error");
    EXPECT_EQ(Level(), 0);
    EXPECT_EQ(IdsOf(table), "1,2,3,2,5");
    // A fill or a load answers only for the keys it brings.
    EXPECT_EQ(MessageOf([&] { table.FillFromDataSet(SourceOf({8}).get(), cfAppend); }), "no error");
    EXPECT_EQ(MessageOf([&] { LoadRecordsOnly(table, {9}); }), "no error");
    EXPECT_EQ(IdsOf(table), "1,2,3,2,5,8,9");
    EXPECT_EQ(MessageOf([&] { LoadRecordsOnly(table, {9}); }), kDuplicate);
    EXPECT_EQ(MessageOf([&] { table.FillFromDataSet(SourceOf({8}).get(), cfAppend); }), kDuplicate);
    table.Close();
    for (TdvoMemTable* holder : {&table, &other})
      if (const int at = holder->IndexDefs().IndexOf("uniqueId"); at >= 0) holder->IndexDefs().Delete(at);
    table.Open();
    other.Open();
    for (int id = 1; id <= 3; ++id) AppendIdRow(table, id);
  }
}

}  // namespace
}  // namespace ts
