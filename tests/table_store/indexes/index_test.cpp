#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "index_test_table.h"
#include "table_store/errors.h"
#include "table_store/indexes/index.h"

namespace ts {
namespace {

using testing::TIndexTestTable;

class IndexTest : public ::testing::Test {
 protected:
  // A sorted index over `keys` ("Id" plus `letters`), records loaded
  // unnumbered in the order given.
  TdvoIndex& Build(const std::vector<int>& keys, const char* letters = "", int options = 0) {
    for (int k : keys) records.push_back(table.Load(k, ("n" + std::to_string(records.size())).c_str()));
    index = table.indexes->RegisterIndex(
        std::make_unique<TdvoIndex>("ix", &table, std::string("Id") + letters, options, true, false));
    index->RebuildIndex();
    return *index;
  }
  std::vector<int> Slots() {
    std::vector<int> out;
    for (TRecord* r : index->Entries()) out.push_back(r->SlotIndex);
    return out;
  }
  // How many progress events the last search reported: the scan adds one
  // at its first entry, so a halving search reports 2 and a scan 3.
  size_t SearchEvents(const TRecord* key, bool nearest, int& position, bool& found) {
    table.progress.clear();
    index->SearchIndex(nullptr, key, nearest, false, position, found);
    return table.progress.size();
  }

  TIndexTestTable table;
  TdvoIndex* index = nullptr;
  std::vector<TRecord*> records;
};

TEST_F(IndexTest, SortOrdersManyKeysAscendingAndDescending) {
  std::mt19937 rng(7);
  std::vector<int> keys(3000);
  for (int& k : keys) k = static_cast<int>(rng() % 500) - 250;
  Build(keys);
  std::vector<int> expected = keys;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(table.Ids(*index), expected);
  EXPECT_TRUE(index->InOrder());

  index->FieldList().SetOptionsAt(0, mtcoDescending);
  index->SortEntries(0, index->EntryCount() - 1);
  std::reverse(expected.begin(), expected.end());
  EXPECT_EQ(table.Ids(*index), expected);
}

TEST_F(IndexTest, EqualKeysKeepSlotOrderAscendingAndDescending) {
  Build({4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 1});
  std::vector<int> slots = Slots();
  EXPECT_EQ(slots, (std::vector<int>{10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

  index->FieldList().SetOptionsAt(0, mtcoDescending);
  index->SortEntries(0, index->EntryCount() - 1);
  EXPECT_EQ(Slots(), (std::vector<int>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 10}));
}

TEST_F(IndexTest, NumberedRecordsFollowUnnumberedOnesAmongEqualKeys) {
  Build({5, 5, 5, 5, 5, 5, 5});
  records[1]->RowNumber = 3;
  records[4]->RowNumber = 0;
  index->SortEntries(0, 6);
  std::vector<int> slots = Slots();
  EXPECT_EQ(std::vector<int>(slots.begin(), slots.begin() + 5), (std::vector<int>{0, 2, 3, 5, 6}));
  EXPECT_EQ(index->EntryAt(5)->RowNumber >= 0, true);
  EXPECT_EQ(index->EntryAt(6)->RowNumber >= 0, true);
}

TEST_F(IndexTest, SortReportsProgressAndPhaseAndRowOrderIsNeverSorted) {
  Build({3, 1, 2});
  table.progress.clear();
  table.phases.clear();
  index->SortAndCheckUnique();
  EXPECT_EQ(table.progress, (std::vector<std::pair<int, TdvoProgressCode>>{{0, mtpcSort}, {100, mtpcSort}}));
  EXPECT_EQ(table.phases, (std::vector<uint8_t>{kPhaseSorting, kPhaseNormal}));

  TdvoIndex* rows = table.indexes->RowOrderIndex();
  rows->RebuildIndex();
  EXPECT_EQ(table.Ids(*rows), (std::vector<int>{3, 1, 2}));
  EXPECT_FALSE(rows->InOrder());
}

TEST_F(IndexTest, UniqueIndexRefusesToBuildOverEqualKeysYetEndsCleanly) {
  for (int k : {9, 2, 7, 2, 5}) table.Load(k);
  index = table.indexes->RegisterIndex(std::make_unique<TdvoIndex>("u", &table, "Id", mtcoUnique, true, false));
  table.progress.clear();
  table.phases.clear();
  try {
    index->RebuildIndex();
    FAIL() << "no error";
  } catch (const EMemTableDupKey& e) {
    EXPECT_EQ(e.Message(), "Duplicate index value. Operation aborted.");
  }
  EXPECT_EQ(table.Ids(*index), (std::vector<int>{2, 2, 5, 7, 9}));
  EXPECT_EQ(table.progress.back(), std::make_pair(100, mtpcSort));
  EXPECT_EQ(table.phases.back(), kPhaseNormal);
  // The lock is free again: another thread can take it.
  bool taken = false;
  std::thread other([&] {
    taken = table.store.Lock().TryEnter();
    table.store.Lock().Leave(taken);
  });
  other.join();
  EXPECT_TRUE(taken);
}

TEST_F(IndexTest, SearchFindsTheFirstOfEqualKeysLinearAndHalving) {
  for (int size : {20, 21, 64}) {
    SCOPED_TRACE(size);
    TIndexTestTable t;
    std::vector<int> keys;
    for (int i = 0; i < size; ++i) keys.push_back(i / 4);  // runs of four equal keys
    std::shuffle(keys.begin(), keys.end(), std::mt19937(size));
    for (int k : keys) t.Load(k);
    index = t.indexes->RegisterIndex(std::make_unique<TdvoIndex>("ix", &t, "Id", 0, true, false));
    index->RebuildIndex();
    for (int key = 0; key < size / 4; ++key) {
      int position = -1;
      bool found = false;
      t.progress.clear();
      index->SearchIndex(nullptr, t.Buffer(key), false, false, position, found);
      EXPECT_EQ(t.progress.size(), size > 20 ? 2u : 3u);  // the scan reports its first entry
      EXPECT_TRUE(found);
      EXPECT_EQ(position, key * 4);
    }
    int position = 0;
    bool found = true;
    index->SearchIndex(nullptr, t.Buffer(-3), false, false, position, found);
    EXPECT_FALSE(found);
    index->SearchIndex(nullptr, t.Buffer(1000), false, false, position, found);
    EXPECT_FALSE(found);
    index = nullptr;
  }
}

TEST_F(IndexTest, MissesAnswerTheSameWhicheverWayTheySearched) {
  // Keys 0, 2, 4, ...: every odd key is a miss whose place is the next even key.
  for (int size : {10, 40}) {
    SCOPED_TRACE(size);
    TIndexTestTable t;
    for (int i = 0; i < size; ++i) t.Load(2 * i);
    index = t.indexes->RegisterIndex(std::make_unique<TdvoIndex>("ix", &t, "Id", 0, true, false));
    index->RebuildIndex();
    for (int key = -1; key <= 2 * size + 1; key += 2) {
      int position = -7;
      bool found = true;
      int result = index->SearchIndex(nullptr, t.Buffer(key), false, false, position, found);
      EXPECT_FALSE(found) << key;
      int nearestPosition = -7;
      bool nearestFound = false;
      int nearestResult = index->SearchIndex(nullptr, t.Buffer(key), true, false, nearestPosition, nearestFound);
      const int place = std::min((key + 1) / 2, size);
      EXPECT_EQ(nearestPosition, place) << key;
      EXPECT_EQ(nearestFound, place < size) << key;
      EXPECT_EQ(nearestResult < 0, place < size) << key;
      EXPECT_NE(result, 0);
    }
    index = nullptr;
  }
}

TEST_F(IndexTest, SearchReportsProgressAndPhaseAroundTheLock) {
  Build({1, 2, 3});
  table.phases.clear();
  table.progress.clear();
  int position = -1;
  bool found = false;
  index->SearchIndex(nullptr, table.Buffer(2), false, false, position, found);
  EXPECT_EQ(table.phases, (std::vector<uint8_t>{kPhaseSearching, kPhaseNormal}));
  EXPECT_EQ(table.progress.front(), std::make_pair(0, mtpcSearch));
  EXPECT_EQ(table.progress.back(), std::make_pair(100, mtpcSearch));

  index->ClearEntries();
  index->SearchIndex(nullptr, table.Buffer(2), true, false, position, found);
  EXPECT_EQ(position, -1);
  EXPECT_FALSE(found);
}

TEST_F(IndexTest, VisibleOnlySearchSkipsHiddenRecords) {
  std::vector<int> keys;
  for (int i = 0; i < 30; ++i) keys.push_back(i < 10 ? 5 : i);  // ten 5s first
  Build(keys);
  table.visible = [&](TRecord* r) { return !(table.IdOf(r) == 5 && r->SlotIndex < 8); };
  for (bool nearest : {false, true}) {
    int position = -1;
    bool found = false;
    index->SearchIndex(nullptr, table.Buffer(5), nearest, true, position, found);
    EXPECT_TRUE(found);
    EXPECT_EQ(position, 8);
  }
  // All the 5s hidden: a plain search finds nothing, a nearest one the next key.
  table.visible = [&](TRecord* r) { return table.IdOf(r) != 5; };
  int position = -1;
  bool found = true;
  index->SearchIndex(nullptr, table.Buffer(5), false, true, position, found);
  EXPECT_FALSE(found);
  index->SearchIndex(nullptr, table.Buffer(5), true, true, position, found);
  EXPECT_TRUE(found);
  EXPECT_EQ(table.IdOf(index->EntryAt(position)), 10);
}

TEST_F(IndexTest, LinearSearchRecalculatesWhenAsked) {
  Build({1, 2, 3, 4});
  table.recalcOnIndex = true;
  int position = -1;
  bool found = false;
  index->SetInOrder(false);
  index->SearchIndex(nullptr, table.Buffer(3), false, false, position, found);
  EXPECT_EQ(table.recalcCalls, 3);
}

TEST_F(IndexTest, FindRecordPositionFindsThatVeryRecordAmongEqualKeys) {
  std::vector<int> keys;
  for (int i = 0; i < 50; ++i) keys.push_back(i % 5);
  Build(keys);
  for (TRecord* r : records) {
    const int position = index->FindRecordPosition(r);
    ASSERT_GE(position, 0);
    EXPECT_EQ(index->EntryAt(position), r);
  }
  // A buffer of a stored record is found by its slot.
  TRecord* buffer = table.Buffer(3);
  buffer->SlotIndex = records[13]->SlotIndex;
  EXPECT_EQ(index->EntryAt(index->FindRecordPosition(buffer)), records[13]);
  TRecord* stranger = table.Buffer(3);
  EXPECT_EQ(index->FindRecordPosition(stranger), -1);
  EXPECT_EQ(index->FindRecordPosition(nullptr), -1);
}

TEST_F(IndexTest, FindSlotPositionSurvivesARowOrderOutOfSlotOrder) {
  TdvoIndex* rows = table.indexes->RowOrderIndex();
  for (int i = 0; i < 40; ++i) table.Insert(i);
  // Insert at the cursor puts a new slot in the middle of the row order.
  TRecord* middle = table.Insert(100, nullptr, 11);
  EXPECT_EQ(rows->EntryAt(10), middle);
  EXPECT_TRUE(rows->InOrder());
  EXPECT_EQ(rows->FindSlotPosition(middle->SlotIndex), 10);
  for (int i = 0; i < rows->EntryCount(); ++i) EXPECT_EQ(rows->FindSlotPosition(rows->EntryAt(i)->SlotIndex), i);
  EXPECT_EQ(rows->FindSlotPosition(999), -1);
  EXPECT_EQ(rows->FindRecordPosition(middle), 10);
}

TEST_F(IndexTest, EntryEditsStayInsideTheList) {
  Build({1, 2, 3});
  EXPECT_FALSE(index->RemoveEntry(-1));
  EXPECT_FALSE(index->RemoveEntry(3));
  EXPECT_EQ(index->EntryCount(), 3);
  EXPECT_EQ(index->EntryAt(-1), nullptr);
  EXPECT_EQ(index->EntryAt(3), nullptr);
  TRecord* extra = table.Buffer(9);
  index->InsertEntry(-1, extra);
  index->InsertEntry(99, extra);
  EXPECT_EQ(index->EntryCount(), 5);
  EXPECT_EQ(index->EntryAt(4), extra);
}

TEST_F(IndexTest, RefillTakesOccupiedSlotsInSlotOrderThroughTheFilter) {
  for (int k : {5, 3, 8, 1}) records.push_back(table.Load(k));
  table.store.RemoveStoredRecord(records[1]);
  index = table.indexes->RegisterIndex(std::make_unique<TdvoIndex>("ix", &table, "Id", 0, true, false));
  index->SetIsFiltered(true);
  std::vector<TRecord*> seen;
  table.onFilterIndex = [&](TdvoIndex& which, bool& accept) {
    EXPECT_EQ(&which, index);
    seen.push_back(table.overrideRecord);
    accept = table.IdOf(table.overrideRecord) != 8;
  };
  TRecord* before = table.Buffer(0);
  table.overrideRecord = before;
  index->RefillFromStore();
  EXPECT_EQ(table.Ids(*index), (std::vector<int>{5, 1}));
  EXPECT_FALSE(index->InOrder());
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(table.overrideRecord, before);

  // The filter expression is asked after the event, on the same record.
  table.onFilterIndex = nullptr;
  index->SetFilterExpr(std::make_unique<TIndexFilterExpr>());
  table.filterExprAccepts = [&](TRecord* r) { return table.IdOf(r) > 4; };
  index->RebuildIndex();
  EXPECT_EQ(table.Ids(*index), (std::vector<int>{5, 8}));
}

TEST_F(IndexTest, FilterFailureStillRestoresTheOverrideRecord) {
  Build({1, 2});
  table.onFilterIndex = [](TdvoIndex&, bool&) { throw EMemTableError("boom"); };
  TRecord* before = table.Buffer(0);
  table.overrideRecord = before;
  EXPECT_THROW(index->PassesIndexFilter(records[0]), EMemTableError);
  EXPECT_EQ(table.overrideRecord, before);
}

TEST_F(IndexTest, RebuildClampsTheCursorAndAClosedTableOnlyMarksOrder) {
  Build({1, 2, 3, 4});
  table.current = index;
  table.cursor = 3;
  table.store.RemoveStoredRecord(records[3]);
  table.store.RemoveStoredRecord(records[2]);
  index->RebuildIndex();
  EXPECT_EQ(table.cursor, 1);

  table.open = false;
  index->SetInOrder(false);
  index->RebuildIndex();
  EXPECT_TRUE(index->InOrder());
  EXPECT_EQ(index->EntryCount(), 2);

  // KeepContents sorts what is there without asking the store.
  table.open = true;
  index->SetKeepContents(true);
  index->ClearEntries();
  index->AppendEntry(records[1]);
  index->AppendEntry(records[0]);
  index->RebuildIndex();
  EXPECT_EQ(table.Ids(*index), (std::vector<int>{1, 2}));
}

TEST_F(IndexTest, TextKeysFollowTheirOptions) {
  for (const char* n : {"beta", "Alpha", "alpha", "Gamma"}) table.Load(1, n);
  index = table.indexes->RegisterIndex(std::make_unique<TdvoIndex>("ix", &table, "Name:CL", 0, true, false));
  index->RebuildIndex();
  std::vector<std::string> names;
  for (TRecord* r : index->Entries()) names.push_back(table.NameOf(r));
  // Case-insensitive: the two alphas stay in slot order.
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "alpha", "beta", "Gamma"}));
}

}  // namespace
}  // namespace ts
