#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "index_test_table.h"
#include "table_store/codepage.h"
#include "table_store/errors.h"
#include "table_store/indexes/indexes.h"
#include "table_store/indexes/key_fields.h"

namespace ts {
namespace {

using testing::TIndexTestTable;

class IndexesTest : public ::testing::Test {
 protected:
  TdvoIndex* Add(const char* name, const char* fields, TIndexOptions options = 0) {
    return table.indexes->AddIndexFromDef(TIndexDef{name, fields, options});
  }
  bool IsSorted(TdvoIndex& index) {
    std::vector<int> ids = table.Ids(index);
    return std::is_sorted(ids.begin(), ids.end());
  }

  TIndexTestTable table;
  TdvoIndexes& indexes = *table.indexes;
};

// ---- The collection

TEST_F(IndexesTest, RowOrderIndexIsAlwaysThere) {
  TdvoIndex* rows = indexes.RowOrderIndex();
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->Name(), "__MT__ROWORDER");
  EXPECT_TRUE(rows->IsRowOrder());
  EXPECT_TRUE(rows->IsInternal());
  EXPECT_FALSE(rows->KeepSorted());
  EXPECT_EQ(rows->FieldList().FieldCount(), 0);
  EXPECT_EQ(indexes.IndexCount(), 1);
  EXPECT_EQ(indexes.FindIndexByName("__mt__roworder"), rows);

  EXPECT_EQ(indexes.UnregisterIndex(rows), nullptr);
  Add("byId", "Id");
  indexes.RemoveAllIndexes();
  EXPECT_EQ(indexes.IndexCount(), 1);
  EXPECT_EQ(indexes.RowOrderIndex(), rows);
  EXPECT_EQ(indexes.IndexAt(0), rows);
}

TEST_F(IndexesTest, FindByNameAndByFieldsFoldCase) {
  TdvoIndex* a = Add("ByName", "Name;Id");
  TdvoIndex* b = Add("byname", "Id");  // names need not be unique: the first wins
  EXPECT_EQ(indexes.FindIndexByName("BYNAME"), a);
  EXPECT_EQ(indexes.FindIndexByName("ByName "), nullptr);
  EXPECT_EQ(indexes.FindIndexByFields("NAME;ID"), a);
  EXPECT_EQ(indexes.FindIndexByFields("id"), b);
  EXPECT_EQ(indexes.FindIndexByFields("Name; Id"), nullptr);  // blanks count
  EXPECT_EQ(indexes.FindIndexByFields(""), indexes.RowOrderIndex());
  EXPECT_EQ(indexes.FindIndexByName("nope"), nullptr);
}

TEST_F(IndexesTest, NamesFoldCyrillicLettersAsFieldNamesDo) {
  // Names in the code page, as a materials file brings them.
  Add(Utf8ToCp1251("ПоКлючу").c_str(), "Id");
  struct {
    const char* spelling;
    bool found;
  } const cases[] = {
      {"ПОКЛЮЧУ", true}, {"поключу", true}, {"пОкЛюЧу", true}, {"ПоКлючи", false}, {"ПоКлючу ", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(indexes.FindIndexByName(Utf8ToCp1251(c.spelling)) != nullptr, c.found) << c.spelling;
  // Letters beyond the basic alphabet fold too, and only to their own capital.
  EXPECT_EQ(indexes.FindIndexByName(Utf8ToCp1251("ёжґіўєїјѕђљ")), nullptr);
  Add(Utf8ToCp1251("ёжґіўєїјѕђљ").c_str(), "Name");
  EXPECT_NE(indexes.FindIndexByName(Utf8ToCp1251("ЁЖҐІЎЄЇЈЅЂЉ")), nullptr);
  EXPECT_EQ(indexes.FindIndexByName(Utf8ToCp1251("ЕЖҐІЎЄЇЈЅЂЉ")), nullptr);
}

TEST_F(IndexesTest, AddIndexFromDefNeedsFieldsButNotAName) {
  try {
    Add("x", "");
    FAIL() << "no error";
  } catch (const EMemTableError& e) {
    EXPECT_EQ(e.Message(), "Missing Name or FieldNames in IndexDef!");
  }
  TdvoIndex* index = Add("", "Id", ixUnique | ixDescending);
  EXPECT_EQ(index->Options(), mtcoUnique | mtcoDescending);
  EXPECT_TRUE(index->KeepSorted());
  EXPECT_FALSE(index->IsInternal());
  EXPECT_EQ(indexes.IndexCount(), 2);
  // A bad key leaves the collection as it was.
  EXPECT_THROW(Add("bad", "Data"), EDatabaseError);
  EXPECT_EQ(indexes.IndexCount(), 2);
}

TEST_F(IndexesTest, UnregisterAndRemoveAllHandCurrentAndSortIndexBack) {
  TdvoIndex* a = Add("a", "Id");
  TdvoIndex* b = Add("b", "Name");
  table.current = a;
  table.sortIndex = b;
  std::unique_ptr<TdvoIndex> owned = indexes.UnregisterIndex(a);
  EXPECT_EQ(owned.get(), a);
  EXPECT_EQ(table.current, indexes.RowOrderIndex());
  EXPECT_EQ(indexes.IndexCount(), 2);
  EXPECT_EQ(indexes.UnregisterIndex(a), nullptr);  // no longer listed

  table.current = b;
  table.Insert(1);
  indexes.RemoveAllIndexes();
  EXPECT_EQ(table.current, indexes.RowOrderIndex());
  EXPECT_EQ(table.sortIndex, nullptr);
  EXPECT_EQ(indexes.RowOrderIndex()->EntryCount(), 0);
}

TEST_F(IndexesTest, RebuildEmptyAndInvalidateActOnEveryIndex) {
  TdvoIndex* ids = Add("a", "Id");
  for (int k : {3, 1, 2}) table.Load(k);
  indexes.RebuildAllIndexes();
  EXPECT_EQ(table.Ids(*indexes.RowOrderIndex()), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(table.Ids(*ids), (std::vector<int>{1, 2, 3}));
  indexes.InvalidateAllIndexes();
  EXPECT_FALSE(ids->InOrder());
  EXPECT_EQ(ids->EntryCount(), 3);
  indexes.EmptyAllIndexes();
  EXPECT_EQ(ids->EntryCount(), 0);
  EXPECT_EQ(indexes.RowOrderIndex()->EntryCount(), 0);
}

// ---- Maintenance

TEST_F(IndexesTest, InsertsKeepEverySortedIndexInOrder) {
  TdvoIndex* up = Add("up", "Id");
  TdvoIndex* down = Add("down", "Id", ixDescending);
  std::mt19937 rng(3);
  std::vector<int> keys;
  for (int i = 0; i < 300; ++i) keys.push_back(static_cast<int>(rng() % 100));
  for (int k : keys) table.Insert(k);
  std::vector<int> expected = keys;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(table.Ids(*up), expected);
  std::reverse(expected.begin(), expected.end());
  EXPECT_EQ(table.Ids(*down), expected);
  EXPECT_EQ(table.Ids(*indexes.RowOrderIndex()), keys);
  EXPECT_TRUE(up->InOrder());
}

TEST_F(IndexesTest, InsertPastTheLastKeyLandsAtTheEnd) {
  for (int size : {5, 30}) {
    SCOPED_TRACE(size);
    TIndexTestTable t;
    TdvoIndex* index = t.indexes->AddIndexFromDef(TIndexDef{"ix", "Id", 0});
    for (int i = 0; i < size; ++i) t.Insert(i * 10);
    t.current = index;
    TRecord* last = t.Insert(1000);
    EXPECT_EQ(index->EntryAt(size), last);
    EXPECT_EQ(t.cursor, size);
    EXPECT_EQ(last->RowNumber, size);
    TRecord* first = t.Insert(-5);
    EXPECT_EQ(index->EntryAt(0), first);
    EXPECT_EQ(t.cursor, 0);
  }
}

TEST_F(IndexesTest, RowOrderInsertGoesBeforeTheCurrentRecordOnlyForTheCurrentIndex) {
  for (int k : {1, 2, 3}) table.Insert(k);
  TRecord* r = table.Insert(9, nullptr, 2);  // record number 2 was current
  EXPECT_EQ(table.Ids(*indexes.RowOrderIndex()), (std::vector<int>{1, 9, 2, 3}));
  EXPECT_EQ(table.cursor, 1);
  EXPECT_EQ(r->RowNumber, 1);
  table.Insert(8, nullptr, 0);
  EXPECT_EQ(table.Ids(*indexes.RowOrderIndex()).front(), 8);
  table.Insert(7, nullptr, 99);
  EXPECT_EQ(table.Ids(*indexes.RowOrderIndex()).back(), 7);

  table.current = Add("ix", "Id");
  table.Insert(6, nullptr, 2);  // not the current index: appended
  EXPECT_EQ(table.Ids(*indexes.RowOrderIndex()).back(), 6);
}

TEST_F(IndexesTest, EditMovesTheRecordAndAKeptKeyLeavesItInPlace) {
  TdvoIndex* index = Add("ix", "Id");
  std::vector<TRecord*> rs;
  for (int k = 0; k < 40; ++k) rs.push_back(table.Insert(k * 2));
  table.current = index;
  table.Edit(rs[3], 51, nullptr, 3);
  EXPECT_TRUE(IsSorted(*index));
  EXPECT_EQ(index->EntryAt(table.cursor), rs[3]);
  EXPECT_EQ(rs[3]->RowNumber, table.cursor);
  EXPECT_EQ(table.Ids(*indexes.RowOrderIndex())[3], 51);  // row order unchanged

  table.Edit(rs[3], 51, "renamed", 25);
  EXPECT_EQ(table.cursor, rs[3]->RowNumber);
  EXPECT_EQ(index->EntryCount(), 40);
}

TEST_F(IndexesTest, EditWithAStaleHintRemovesOnlyItsOwnRecord) {
  TdvoIndex* index = Add("ix", "Id");
  std::vector<TRecord*> rs;
  for (int k = 0; k < 10; ++k) rs.push_back(table.Insert(k));
  table.current = index;
  table.Edit(rs[2], 100, nullptr, 7);  // the cursor claims position 7
  std::vector<int> expected = {0, 1, 3, 4, 5, 6, 7, 8, 9, 100};
  EXPECT_EQ(table.Ids(*index), expected);
}

TEST_F(IndexesTest, DeleteRemovesFromEveryIndexAndAMissTouchesNothing) {
  TdvoIndex* index = Add("ix", "Id");
  std::vector<TRecord*> rs;
  for (int k = 0; k < 25; ++k) rs.push_back(table.Insert(k % 7));
  table.current = index;
  const int expectedCursor = index->FindRecordPosition(rs[10]);
  table.Delete(rs[10]);
  EXPECT_EQ(table.cursor, expectedCursor);
  EXPECT_EQ(index->EntryCount(), 24);
  EXPECT_EQ(indexes.RowOrderIndex()->EntryCount(), 24);
  EXPECT_TRUE(IsSorted(*index));

  // A record no index holds: nothing is removed, the cursor says "nowhere".
  TRecord* stranger = table.Buffer(3);
  stranger->SlotIndex = 5000;
  indexes.MaintainIndexes(TRecordChange::Delete, stranger, nullptr, -1);
  EXPECT_EQ(index->EntryCount(), 24);
  EXPECT_EQ(indexes.RowOrderIndex()->EntryCount(), 24);
  EXPECT_EQ(table.cursor, -1);
}

TEST_F(IndexesTest, SkippedIndexStaysOutOfOrderUntilRebuilt) {
  TdvoIndex* index = Add("ix", "Id", ixUnique);
  for (int k = 0; k < 30; ++k) table.Insert(k * 10);
  table.enableIndexes = false;
  TRecord* unseen = table.Insert(55);
  EXPECT_FALSE(index->InOrder());
  EXPECT_EQ(index->EntryCount(), 30);
  table.enableIndexes = true;
  // Later changes do not declare it sorted again: a halving search over it
  // could miss keys.
  table.Insert(5);
  EXPECT_FALSE(index->InOrder());
  // So a duplicate is still caught by the scan.
  EXPECT_THROW(indexes.CheckUniqueKeys(table.Buffer(5), nullptr), EMemTableDupKey);
  indexes.RebuildAllIndexes();
  EXPECT_TRUE(index->InOrder());
  EXPECT_GE(index->FindRecordPosition(unseen), 0);
  EXPECT_TRUE(IsSorted(*index));
}

TEST_F(IndexesTest, NonMaintainedAndDisabledIndexesDropDeletedRecords) {
  TdvoIndex* frozen = Add("frozen", "Id", ixNonMaintained);
  TdvoIndex* off = Add("off", "Id");
  std::vector<TRecord*> rs;
  for (int k = 0; k < 5; ++k) rs.push_back(table.Load(k));
  indexes.RebuildAllIndexes();
  off->SetIsEnabled(false);
  table.Insert(77);
  EXPECT_EQ(frozen->EntryCount(), 5);
  EXPECT_EQ(off->EntryCount(), 5);
  EXPECT_FALSE(frozen->InOrder());
  // The record is freed right after: no index may keep pointing at it.
  table.Delete(rs[2]);
  EXPECT_EQ(table.Ids(*frozen), (std::vector<int>{0, 1, 3, 4}));
  EXPECT_EQ(table.Ids(*off), (std::vector<int>{0, 1, 3, 4}));
}

TEST_F(IndexesTest, DeleteIsMaintainedEvenWithIndexesSwitchedOff) {
  TdvoIndex* index = Add("ix", "Id");
  TRecord* r = table.Insert(1);
  table.Insert(2);
  table.enableIndexes = false;
  table.Delete(r);
  EXPECT_EQ(table.Ids(*index), (std::vector<int>{2}));
}

TEST_F(IndexesTest, FilteredIndexTakesOnlyAcceptedRecords) {
  TdvoIndex* index = Add("ix", "Id");
  table.onFilterIndex = [&](TdvoIndex& which, bool& accept) {
    if (&which == index) accept = table.IdOf(table.overrideRecord) % 2 == 0;
  };
  TRecord* odd = nullptr;
  for (int k = 0; k < 6; ++k) {
    TRecord* r = table.Insert(k);
    if (k == 3) odd = r;
  }
  EXPECT_EQ(table.Ids(*index), (std::vector<int>{0, 2, 4}));
  EXPECT_EQ(indexes.RowOrderIndex()->EntryCount(), 6);
  table.Edit(odd, 8);  // now accepted: joins the index
  EXPECT_EQ(table.Ids(*index), (std::vector<int>{0, 2, 4, 8}));
}

// ---- Unique keys

TEST_F(IndexesTest, UniqueIndexRefusesADuplicateButAcceptsAnEditKeepingItsKey) {
  TdvoIndex* index = Add("u", "Id", ixUnique);
  std::vector<TRecord*> rs;
  for (int k = 0; k < 30; ++k) rs.push_back(table.Insert(k));
  try {
    indexes.CheckUniqueKeys(table.Buffer(17), nullptr);
    FAIL() << "no error";
  } catch (const EMemTableDupKey& e) {
    EXPECT_EQ(e.Message(), "Duplicate index value. Operation aborted.");
  }
  EXPECT_NO_THROW(indexes.CheckUniqueKeys(table.Buffer(30), nullptr));
  EXPECT_NO_THROW(table.Edit(rs[17], 17, "same key"));
  EXPECT_THROW(table.Edit(rs[17], 4), EMemTableDupKey);
  EXPECT_EQ(table.IdOf(rs[17]), 17);  // refused before anything changed
  EXPECT_EQ(index->EntryCount(), 30);
  EXPECT_TRUE(IsSorted(*index));

  // Checks are off with indexes switched off, and for non-maintained indexes.
  table.enableIndexes = false;
  EXPECT_NO_THROW(indexes.CheckUniqueKeys(table.Buffer(17), nullptr));
  table.enableIndexes = true;
  TIndexTestTable other;
  other.indexes->AddIndexFromDef(TIndexDef{"u", "Id", ixUnique | ixNonMaintained});
  other.Insert(1);
  EXPECT_NO_THROW(other.indexes->CheckUniqueKeys(other.Buffer(1), nullptr));
}

TEST_F(IndexesTest, UniqueCheckOnASmallIndexUsesTheScan) {
  Add("u", "Id;Name", ixUnique);
  TRecord* r = table.Insert(1, "a");
  table.Insert(1, "b");
  EXPECT_THROW(indexes.CheckUniqueKeys(table.Buffer(1, "b"), r), EMemTableDupKey);
  EXPECT_NO_THROW(indexes.CheckUniqueKeys(table.Buffer(1, "a"), r));
  EXPECT_NO_THROW(indexes.CheckUniqueKeys(table.Buffer(1, "c"), nullptr));
}

// ---- Locate

TEST_F(IndexesTest, LocateOnTheRowOrderFindsTheFirstRecordAdded) {
  for (int k : {3, 1, 2, 1, 5}) table.Insert(k);
  TdvoFieldList key;
  ParseKeyFieldList(table, key, "Id");
  int position = -1;
  EXPECT_TRUE(indexes.SearchForLocate(key, table.Buffer(1), false, true, position));
  EXPECT_EQ(position, 1);
  EXPECT_FALSE(indexes.SearchForLocate(key, table.Buffer(4), false, true, position));
  EXPECT_EQ(position, -1);
  // Hidden records are passed over.
  table.visible = [&](TRecord* r) { return r->SlotIndex != 1; };
  EXPECT_TRUE(indexes.SearchForLocate(key, table.Buffer(1), false, true, position));
  EXPECT_EQ(position, 3);
}

TEST_F(IndexesTest, LocateOnAMatchingSortedIndexHalvesAndReportsTheFirstMatch) {
  TdvoIndex* index = Add("ix", "Id");
  for (int k = 0; k < 60; ++k) table.Insert(k / 3);
  table.current = index;
  TdvoFieldList key;
  ParseKeyFieldList(table, key, "ID");
  int position = -1;
  table.progress.clear();
  EXPECT_TRUE(indexes.SearchForLocate(key, table.Buffer(12), false, true, position));
  EXPECT_EQ(position, 36);
  EXPECT_EQ(table.progress.size(), 2u);  // the index search, without a scan
  EXPECT_FALSE(indexes.SearchForLocate(key, table.Buffer(99), false, true, position));
  EXPECT_EQ(position, -1);
}

TEST_F(IndexesTest, LocateWithOtherOrderingOptionsStillFindsTheRecord) {
  // Byte order puts every capital before every small letter; a
  // case-insensitive search cannot halve over that order.
  TdvoIndex* index = Add("ix", "Name:L");
  const char* names[] = {"b", "C", "a", "D", "e", "F"};
  for (int i = 0; i < 30; ++i) table.Insert(i, (std::string(names[i % 6]) + std::to_string(i)).c_str());
  table.current = index;
  TdvoFieldList key;
  ParseKeyFieldList(table, key, "Name:L");
  ApplyKeyOption(table, key, mtcoCaseInsensitive, "Name");
  for (int i = 0; i < 30; ++i) {
    std::string lower = std::string(names[i % 6]) + std::to_string(i);
    lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
    int position = -1;
    ASSERT_TRUE(indexes.SearchForLocate(key, table.Buffer(0, lower.c_str()), false, false, position)) << lower;
    EXPECT_EQ(table.IdOf(index->EntryAt(position)), i);
  }
}

TEST_F(IndexesTest, LocateRecalculatesWhenTheTableAsks) {
  for (int k : {1, 2, 3}) table.Insert(k);
  table.recalcOnIndex = true;
  TdvoFieldList key;
  ParseKeyFieldList(table, key, "Id");
  int position = -1;
  EXPECT_TRUE(indexes.SearchForLocate(key, table.Buffer(2), false, false, position));
  EXPECT_EQ(table.recalcCalls, 2);
}

}  // namespace
}  // namespace ts
