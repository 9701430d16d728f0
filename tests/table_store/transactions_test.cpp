#include <gtest/gtest.h>

#include <cstring>

#include "fake_table.h"
#include "table_store/record_store.h"

namespace ts {
namespace {

using testing::Def;
using testing::TFakeTable;

// One Integer field and one out-of-line String field, versioning on.
class TransactionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.defs = {Def("v", ftInteger), Def("s", ftString, 30)};
    store.SetPerformance(mtpfBalanced);
    store.SetEnableVersioning(true);
    store.SetVersioningMode(mtvmAllSinceCheckPoint);
    store.BuildRecordLayout();
  }
  void TearDown() override { store.EmptyStore(); }

  int32_t Value(const TRecord* r) {
    int32_t v;
    std::memcpy(&v, store.FieldSlotOf(const_cast<TRecord*>(r), 1) + 1, 4);
    return v;
  }
  TRecord* Insert(int32_t v) {
    TRecord* r = store.AllocRecord();
    uint8_t* slot = store.FieldSlotOf(r, 1);
    slot[0] = kSlotPresent;
    std::memcpy(slot + 1, &v, 4);
    uint8_t* text = store.FieldSlotOf(r, 2);
    SetSlotBlock(text, MakeValueBlock("text", 5));
    text[0] = kSlotPresent;
    store.StoreRecord(r);
    r->TxLevel = store.TransactionLevel();
    return r;
  }
  // An edit as posting does it: the stored record keeps its place, an older
  // version takes a copy of what it held.
  void Edit(TRecord* r, int32_t v, TUpdateStatus status = rsModified) {
    TRecord* older = store.DuplicateRecord(r, true);
    older->StateBits |= kRecordStored;
    r->OlderVersion = older;
    r->ChangeStatus = status;
    r->TxLevel = store.TransactionLevel();
    std::memcpy(store.FieldSlotOf(r, 1) + 1, &v, 4);
  }

  TFakeTable table;
  TdvoCommon store{&table};
};

TEST_F(TransactionsTest, RollbackRemovesRecordsInsertedAtTheLevel) {
  TRecord* kept = Insert(1);
  store.RaiseTransactionLevel();
  TRecord* gone = Insert(2);
  const int slot = gone->SlotIndex;
  store.RollbackLevel();
  EXPECT_EQ(store.StoredRecord(slot), nullptr);
  EXPECT_EQ(store.StoredRecord(kept->SlotIndex), kept);
  // The emptied slot is not handed out again.
  store.LowerTransactionLevel();
  TRecord* next = Insert(3);
  EXPECT_NE(next->SlotIndex, slot);
}

TEST_F(TransactionsTest, RollbackBringsBackTheOlderVersion) {
  TRecord* r = Insert(1);
  r->ChangeStatus = rsUnmodified;
  const int slot = r->SlotIndex;
  store.RaiseTransactionLevel();
  Edit(r, 2);
  Edit(r, 3);  // two versions at level 1
  store.RollbackLevel();
  TRecord* back = store.StoredRecord(slot);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Value(back), 1);
  EXPECT_EQ(back->ChangeStatus, rsUnmodified);
  EXPECT_EQ(back->SlotIndex, slot);
  EXPECT_TRUE(back->StateBits & kRecordStored);
  EXPECT_FALSE(store.DataModified());
}

TEST_F(TransactionsTest, RollbackRestoresDeletedRecordsAndStopsAtOtherLevels) {
  TRecord* r = Insert(1);  // inserted at level 0
  store.RaiseTransactionLevel();
  Edit(r, 1, rsDeleted);
  store.RollbackLevel();
  TRecord* back = store.StoredRecord(0);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->ChangeStatus, rsInserted);
  EXPECT_EQ(back->TxLevel, 0);
  EXPECT_TRUE(store.DataModified());  // the level-0 insert is still a change
}

TEST_F(TransactionsTest, RollbackKeepsAChangedRecordWithoutAnOlderVersion) {
  TRecord* r = Insert(1);
  r->ChangeStatus = rsModified;  // e.g. loaded as modified, then posted without versioning
  store.RaiseTransactionLevel();
  r->TxLevel = 1;
  TRecord* d = Insert(2);
  d->ChangeStatus = rsDeleted;
  store.RollbackLevel();
  EXPECT_EQ(store.StoredRecord(r->SlotIndex), r);
  EXPECT_EQ(Value(r), 1);
  EXPECT_EQ(store.StoredRecord(d->SlotIndex), d);
  EXPECT_TRUE(store.DataModified());
}

TEST_F(TransactionsTest, CommitDropsTheLevelsVersionsAndLowersTheRecord) {
  TRecord* r = Insert(1);
  r->ChangeStatus = rsUnmodified;
  r->TxLevel = 0;
  store.RaiseTransactionLevel();
  // Inserted at level 1 and edited twice there.
  TRecord* n = Insert(10);
  Edit(n, 11);
  Edit(n, 12);
  // Edited at level 1 once, over a level-0 state.
  Edit(r, 2);
  TRecord* levelZero = r->OlderVersion;
  store.CommitLevel();
  EXPECT_EQ(Value(n), 12);
  EXPECT_EQ(n->TxLevel, 0);
  // The edit between is dropped; the inserted mark goes down with the record.
  TRecord* inserted = n->OlderVersion;
  ASSERT_NE(inserted, nullptr);
  EXPECT_EQ(Value(inserted), 10);
  EXPECT_EQ(inserted->ChangeStatus, rsInserted);
  EXPECT_EQ(inserted->TxLevel, 0);
  EXPECT_EQ(inserted->OlderVersion, nullptr);
  EXPECT_EQ(r->OlderVersion, levelZero);  // a version of another level stays
  EXPECT_EQ(Value(levelZero), 1);
  EXPECT_EQ(r->TxLevel, 0);
}

TEST_F(TransactionsTest, NestedLevelsUndoOneAtATime) {
  TRecord* r = Insert(1);
  r->ChangeStatus = rsUnmodified;
  store.RaiseTransactionLevel();
  Edit(r, 2);
  store.RaiseTransactionLevel();
  Edit(r, 3);
  store.CommitLevel();  // level 2 kept: r now at level 1 with its level-0 version
  store.LowerTransactionLevel();
  EXPECT_EQ(r->TxLevel, 1);
  store.RollbackLevel();  // undo level 1
  TRecord* back = store.StoredRecord(0);
  EXPECT_EQ(Value(back), 1);
  EXPECT_EQ(back->OlderVersion, nullptr);
}

}  // namespace
}  // namespace ts
