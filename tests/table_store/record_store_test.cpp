#include <gtest/gtest.h>

#include <cstring>

#include "fake_table.h"
#include "table_store/errors.h"
#include "table_store/record_store.h"

namespace ts {
namespace {

using testing::Def;
using testing::TFakeTable;

class TTestStore : public TdvoCommon {
 public:
  using TdvoCommon::SetSerialCounter;
  using TdvoCommon::TdvoCommon;
};

// a Integer (1), b String(20) out of line (2), c Blob (3).
class RecordStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.defs = {Def("a", ftInteger), Def("b", ftString, 20), Def("c", ftBlob)};
    store.SetPerformance(mtpfBalanced);
    store.BuildRecordLayout();
  }
  void TearDown() override { store.EmptyStore(); }

  TRecord* NewRecord(int32_t a) {
    TRecord* r = store.AllocRecord();
    uint8_t* slot = store.FieldSlotOf(r, 1);
    slot[0] = kSlotPresent;
    std::memcpy(slot + 1, &a, 4);
    return r;
  }
  void SetText(TRecord* r, int fieldNo, const char* text) {
    uint8_t* slot = store.FieldSlotOf(r, fieldNo);
    FreeValueBlock(SlotBlock(slot));
    SetSlotBlock(slot, MakeValueBlock(text, static_cast<int32_t>(std::strlen(text) + 1)));
    slot[0] = kSlotPresent;
  }
  std::string Text(TRecord* r, int fieldNo) {
    TValueBlock b = SlotBlock(store.FieldSlotOf(r, fieldNo));
    return b ? std::string(reinterpret_cast<const char*>(ValueBlockData(b))) : "<none>";
  }
  int32_t IntOf(TRecord* r) {
    int32_t v;
    std::memcpy(&v, store.FieldSlotOf(r, 1) + 1, 4);
    return v;
  }

  TFakeTable table;
  TTestStore store{&table};
};

TEST_F(RecordStoreTest, NewRecordIsEmptyWithInitialHeader) {
  TRecord* r = store.AllocRecord();
  EXPECT_EQ(r->RowNumber, -1);
  EXPECT_EQ(r->SlotIndex, -1);
  EXPECT_EQ(r->SerialId, -1);
  EXPECT_EQ(r->TxLevel, -1);
  EXPECT_EQ(r->StateBits, 0);
  EXPECT_EQ(r->ChangeStatus, rsUnmodified);
  EXPECT_EQ(r->OlderVersion, nullptr);
  EXPECT_EQ(r->Values(), reinterpret_cast<uint8_t*>(r + 1));
  for (int32_t i = 0; i < store.ValueAreaSize(); ++i) ASSERT_EQ(r->Values()[i], 0) << i;
  store.FreeRecord(r, true, true);
}

TEST_F(RecordStoreTest, CopyRecordSharesNoBlocks) {
  TRecord* src = NewRecord(7);
  SetText(src, 2, "long text value");
  src->UserTag = 9;
  src->StateBits = kRecordStored;
  TRecord* dst = store.AllocRecord();
  store.CopyRecord(src, dst);
  EXPECT_EQ(IntOf(dst), 7);
  EXPECT_EQ(dst->UserTag, 9);
  EXPECT_EQ(dst->StateBits, 0);  // not copied
  EXPECT_EQ(store.FieldSlotOf(dst, 2)[0], kSlotPresent);  // the state byte is
  EXPECT_EQ(SlotBlock(store.FieldSlotOf(dst, 2)), nullptr);  // the block is not

  TRecord* deep = store.DuplicateRecord(src, true);
  EXPECT_EQ(Text(deep, 2), "long text value");
  EXPECT_NE(SlotBlock(store.FieldSlotOf(deep, 2)), SlotBlock(store.FieldSlotOf(src, 2)));
  TRecord* shallow = store.DuplicateRecord(src, false);
  EXPECT_EQ(SlotBlock(store.FieldSlotOf(shallow, 2)), nullptr);
  for (TRecord* r : {src, dst, deep, shallow}) store.FreeRecord(r, true, true);
}

TEST_F(RecordStoreTest, CopyOutOfLineValueReplacesOrKeepsTheTargetState) {
  TRecord* src = NewRecord(1);
  TRecord* dst = NewRecord(2);
  SetText(dst, 2, "old");
  store.CopyOutOfLineValue(src, dst, 2);  // source has no block: target's is freed, state 0
  EXPECT_EQ(SlotBlock(store.FieldSlotOf(dst, 2)), nullptr);
  EXPECT_EQ(store.FieldSlotOf(dst, 2)[0], kSlotNull);
  store.FieldSlotOf(dst, 2)[0] = kSlotPresent;  // shares the stored value
  store.CopyOutOfLineValue(src, dst, 2);        // nothing to free: the state stays
  EXPECT_EQ(store.FieldSlotOf(dst, 2)[0], kSlotPresent);
  SetText(src, 2, "new");
  store.CopyOutOfLineValue(src, dst, 1);  // an in-line field: nothing happens
  store.CopyOutOfLineValue(src, dst, 2);
  EXPECT_EQ(Text(dst, 2), "new");
  for (TRecord* r : {src, dst}) store.FreeRecord(r, true, true);
}

TEST_F(RecordStoreTest, TransferRecordMovesBlocksAndNulls) {
  TRecord* stored = NewRecord(1);
  SetText(stored, 2, "stored b");
  SetText(stored, 3, "stored blob");
  TRecord* buffer = store.AllocRecord();
  store.CopyRecord(stored, buffer);  // shares both values
  SetText(buffer, 2, "edited b");    // own value for b
  store.FieldSlotOf(buffer, 3)[0] = kSlotNull;  // c set to null
  int32_t v = 42;
  std::memcpy(store.FieldSlotOf(buffer, 1) + 1, &v, 4);
  TValueBlock moved = SlotBlock(store.FieldSlotOf(buffer, 2));

  store.TransferRecord(buffer, stored);
  EXPECT_EQ(IntOf(stored), 42);
  EXPECT_EQ(SlotBlock(store.FieldSlotOf(stored, 2)), moved);  // moved, not copied
  EXPECT_EQ(Text(stored, 2), "edited b");
  EXPECT_EQ(SlotBlock(store.FieldSlotOf(buffer, 2)), nullptr);
  EXPECT_EQ(store.FieldSlotOf(stored, 3)[0], kSlotNull);
  EXPECT_EQ(SlotBlock(store.FieldSlotOf(stored, 3)), nullptr);
  for (TRecord* r : {stored, buffer}) store.FreeRecord(r, true, true);
}

TEST_F(RecordStoreTest, FreeRecordFollowsVersionsOnlyOfStoredRecords) {
  // A long chain must not exhaust the stack.
  TRecord* head = NewRecord(0);
  head->StateBits = kRecordStored;
  TRecord* tail = head;
  for (int i = 1; i < 100000; ++i) {
    TRecord* older = NewRecord(i);
    older->StateBits = kRecordStored;
    SetText(older, 2, "v");
    tail->OlderVersion = older;
    tail = older;
  }
  store.FreeRecord(head, true, true);  // the sanitizer run reports any leak

  // A buffer (not held by the store) leaves the versions it points at alone.
  TRecord* stored = NewRecord(1);
  stored->StateBits = kRecordStored;
  stored->OlderVersion = NewRecord(0);
  TRecord* buffer = store.AllocRecord();
  store.CopyRecord(stored, buffer);
  EXPECT_EQ(buffer->OlderVersion, stored->OlderVersion);
  store.FreeRecord(buffer, true, true);
  EXPECT_EQ(IntOf(stored->OlderVersion), 0);  // still there
  store.FreeRecord(stored->OlderVersion, true, true);
  stored->OlderVersion = nullptr;
  store.FreeRecord(stored, true, true);
  store.FreeRecord(nullptr, true, true);
}

TEST_F(RecordStoreTest, SlotsAreReusedLastEmptiedFirstAndSerialIdsNever) {
  TRecord* r[5];
  for (int i = 0; i < 3; ++i) {
    r[i] = NewRecord(i);
    store.StoreRecord(r[i]);
    EXPECT_EQ(r[i]->SlotIndex, i);
    EXPECT_EQ(r[i]->SerialId, i);
    EXPECT_EQ(r[i]->StateBits & kRecordStored, kRecordStored);
  }
  store.UnstoreRecord(r[1]);
  store.UnstoreRecord(r[2]);
  store.UnstoreRecord(r[2]);  // a second unstore must not free the slot twice
  EXPECT_EQ(store.StoredRecord(1), nullptr);
  EXPECT_EQ(store.SlotCount(), 3);
  r[3] = NewRecord(3);
  r[4] = NewRecord(4);
  store.StoreRecord(r[3]);
  store.StoreRecord(r[4]);
  EXPECT_EQ(r[3]->SlotIndex, 2);
  EXPECT_EQ(r[3]->SerialId, 3);
  EXPECT_EQ(r[4]->SlotIndex, 1);
  EXPECT_EQ(r[4]->SerialId, 4);
  TRecord* extra = NewRecord(5);
  store.StoreRecord(extra);
  EXPECT_EQ(extra->SlotIndex, 3);  // free list empty again: a new slot
  EXPECT_EQ(store.SlotCount(), 4);
  store.FreeRecord(r[1], true, true);
  store.FreeRecord(r[2], true, true);
  store.RemoveStoredRecord(r[4]);
  EXPECT_EQ(store.StoredRecord(1), nullptr);
}

TEST_F(RecordStoreTest, EmptyStoreStartsOverWithANewContentsId) {
  for (int i = 0; i < 3; ++i) store.StoreRecord(NewRecord(i));
  const uint32_t before = store.ContentsId();
  EXPECT_LE(before, 0x80000000u);
  store.EmptyStore();
  EXPECT_NE(store.ContentsId(), before);
  EXPECT_EQ(store.SlotCount(), 0);
  TRecord* r = NewRecord(9);
  store.StoreRecord(r);
  EXPECT_EQ(r->SlotIndex, 0);
  EXPECT_EQ(r->SerialId, 0);
}

TEST_F(RecordStoreTest, StoringMarksInsertedUnderVersioning) {
  TRecord* plain = NewRecord(1);
  store.StoreRecord(plain);
  EXPECT_EQ(plain->ChangeStatus, rsUnmodified);
  store.SetEnableVersioning(true);
  TRecord* versioned = NewRecord(2);
  store.StoreRecord(versioned);
  EXPECT_EQ(versioned->ChangeStatus, rsInserted);
}

TEST_F(RecordStoreTest, SerialCounterLimitHoldsOnBothRoads) {
  store.SetSerialCounter(kMaxSerialCounter - 1);
  TRecord* last = NewRecord(1);
  store.StoreRecord(last);  // the highest id without the error
  EXPECT_EQ(last->SerialId, 2147483598);
  TRecord* over = NewRecord(2);
  try {
    store.StoreRecord(over);
    FAIL() << "no error";
  } catch (const EMemTableFatalError& e) {
    EXPECT_EQ(e.Message(), "Bookmark counter is out of range. Please close and reopen table.");
  }
  EXPECT_EQ(store.StoredRecord(over->SlotIndex), over);  // it stays stored
  EXPECT_EQ(over->SerialId, 2147483599);

  // A reused slot is checked too.
  store.UnstoreRecord(last);
  TRecord* reuse = NewRecord(3);
  EXPECT_THROW(store.StoreRecord(reuse), EMemTableFatalError);
  EXPECT_EQ(reuse->SlotIndex, last->SlotIndex);
  EXPECT_EQ(store.StoredRecord(reuse->SlotIndex), reuse);
  store.FreeRecord(last, true, true);

  // With no id left the record is refused before anything changes.
  store.SetSerialCounter(INT32_MAX);
  TRecord* refused = NewRecord(4);
  const int slots = store.SlotCount();
  EXPECT_THROW(store.StoreRecord(refused), EMemTableFatalError);
  EXPECT_EQ(refused->SlotIndex, -1);
  EXPECT_EQ(store.SlotCount(), slots);
  store.FreeRecord(refused, true, true);
}

TEST_F(RecordStoreTest, LocaleSplitsAndRecomposes) {
  EXPECT_EQ(store.LocaleID(), 1024);
  EXPECT_EQ(store.LanguageID(), 0);
  EXPECT_EQ(store.SubLanguageID(), 1);
  EXPECT_EQ(store.SortID(), 0);
  store.SetLocaleID((2 << 16) | (1 << 10) | 9);
  EXPECT_EQ(store.SortID(), 2);
  EXPECT_EQ(store.LanguageID(), 9);
  EXPECT_EQ(store.SubLanguageID(), 1);
  store.SetLocaleID(1024);
  store.SetLanguageID(9);
  store.SetSubLanguageID(1);
  EXPECT_EQ(store.LocaleID(), 1033);
  store.SetSortID(1);
  EXPECT_EQ(store.LocaleID(), 65536 + 1033);
  store.SetLanguageID(0x1FF);  // parts beyond their bits are cut to 16 bits together
  EXPECT_EQ(store.LocaleID(), 65536 + ((1024 + 0x1FF) & 0xFFFF));
}

TEST_F(RecordStoreTest, AutoIncBounds) {
  store.SetAutoIncMinValue(10);
  EXPECT_EQ(store.AutoIncHighValue(), 9);
  store.SetAutoIncHighValue(50);
  store.SetAutoIncMinValue(20);  // below the highest: the highest stays
  EXPECT_EQ(store.AutoIncHighValue(), 50);
  store.SetAutoIncMinValue(INT32_MIN);
  EXPECT_EQ(store.AutoIncHighValue(), 50);
}

TEST_F(RecordStoreTest, TransactionLevelNeverGoesBelowZero) {
  store.LowerTransactionLevel();
  EXPECT_EQ(store.TransactionLevel(), 0);
  store.RaiseTransactionLevel();
  store.RaiseTransactionLevel();
  store.LowerTransactionLevel();
  EXPECT_EQ(store.TransactionLevel(), 1);
}

class AttachTest : public ::testing::Test {
 protected:
  std::vector<std::string> log;
  TFakeTable owner, second, third;
  void SetUp() override {
    owner.name = "owner";
    second.name = "second";
    third.name = "third";
    for (TFakeTable* t : {&owner, &second, &third}) t->log = &log;
  }
};

TEST_F(AttachTest, SlotsAreTakenAndGivenBack) {
  TdvoCommon store(&owner);
  EXPECT_EQ(store.AttachSlotCount(), 0);
  EXPECT_EQ(store.AttachMaxCount(), 1);
  store.AttachTableToStore(&owner);
  EXPECT_EQ(owner.attachSlot, 0);
  EXPECT_EQ(store.AttachMaxCount(), 1);
  store.AttachTableToStore(&second);
  EXPECT_EQ(second.attachSlot, 1);
  EXPECT_EQ(store.AttachMaxCount(), 2);
  store.AttachTableToStore(&second);  // already attached: same slot
  EXPECT_EQ(store.AttachSlotCount(), 2);
  store.DetachTableFromStore(&owner);
  store.AttachTableToStore(&third);  // the first empty slot
  EXPECT_EQ(third.attachSlot, 0);
  EXPECT_EQ(store.AttachedTable(0), &third);
  store.DetachTableFromStore(&third);
  store.DetachTableFromStore(&second);
}

TEST_F(AttachTest, NoNewSlotWhileATableIsOpen) {
  TdvoCommon store(&owner);
  store.AttachTableToStore(&owner);
  owner.active = true;
  try {
    store.AttachTableToStore(&second);
    FAIL() << "no error";
  } catch (const EMemTableError& e) {
    EXPECT_EQ(e.Message(), "Table must be closed for this operation.");
  }
  EXPECT_EQ(store.AttachSlotCount(), 1);
  store.SetAttachMaxCount(1);  // the same value: nothing, not even the check
  EXPECT_THROW(store.SetAttachMaxCount(2), EMemTableError);
  owner.active = false;
  EXPECT_THROW(store.SetAttachMaxCount(0), ERangeError);
  store.SetAttachMaxCount(3);
  EXPECT_EQ(store.AttachSlotCount(), 3);
  store.AttachTableToStore(&second);
  EXPECT_EQ(second.attachSlot, 1);  // an empty slot made by the resize
  store.SetAttachMaxCount(2);         // drops only the empty slot
  try {
    store.SetAttachMaxCount(1);
    FAIL() << "no error";
  } catch (const EMemTableError& e) {
    EXPECT_EQ(e.Message(), "Children are attached to this table.");
  }
  EXPECT_EQ(store.AttachedTable(1), &second);
  EXPECT_EQ(store.AttachMaxCount(), 2);
  store.DetachTableFromStore(&second);
  store.SetAttachMaxCount(1);
  EXPECT_EQ(store.AttachSlotCount(), 1);
  store.DetachTableFromStore(&owner);
}

TEST_F(AttachTest, StandaloneOnlyWithOneSlot) {
  TdvoCommon store(&owner);
  store.AttachTableToStore(&owner);
  store.SetStandalone(true);
  EXPECT_TRUE(store.Standalone());
  EXPECT_FALSE(store.Lock().Enter());  // the lock is not used
  store.SetStandalone(false);
  store.SetAttachMaxCount(2);  // an empty second slot counts
  try {
    store.SetStandalone(true);
    FAIL() << "no error";
  } catch (const EMemTableError& e) {
    EXPECT_EQ(e.Message(), "Children are attached to this table.");
  }
  EXPECT_FALSE(store.Standalone());
  store.DetachTableFromStore(&owner);
}

TEST_F(AttachTest, CallbacksReachTheRightTables) {
  TdvoCommon store(&owner);
  store.AttachTableToStore(&owner);
  store.AttachTableToStore(&second);
  store.AttachTableToStore(&third);
  owner.active = second.active = third.active = true;
  second.browsing = true;
  third.active = false;

  store.RefreshOtherAttachedTables(&owner);
  EXPECT_EQ(log, (std::vector<std::string>{"second:refresh"}));
  log.clear();
  store.NotifyIndexesOfChange(&second, TRecordChange::Edit, 5, nullptr, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"owner:maintain 1", "second:maintain 1"}));
  EXPECT_EQ(owner.maintainHints, std::vector<int>{-1});
  EXPECT_EQ(second.maintainHints, std::vector<int>{5});
  log.clear();
  store.RebuildAllAttachedIndexes();
  store.InvalidateAllAttachedIndexes();
  store.SyncAllAttachedIndexes();
  EXPECT_EQ(log, (std::vector<std::string>{"owner:rebuild", "second:rebuild", "owner:invalidate",
                                           "second:invalidate", "owner:sync", "second:sync"}));
  log.clear();
  third.active = true;
  store.CloseOtherAttachedTables(&owner);  // last slot first
  EXPECT_EQ(log, (std::vector<std::string>{"third:close", "second:close"}));
  EXPECT_TRUE(store.AnyAttachedTableActive());
  log.clear();
  store.CloseAndEmptyStore();
  EXPECT_EQ(log, (std::vector<std::string>{"owner:empty"}));
  for (TFakeTable* t : {&owner, &second, &third}) store.DetachTableFromStore(t);
}

TEST_F(AttachTest, DestroyedStoreClosesAndReleasesItsTables) {
  {
    TdvoCommon store(&owner);
    store.AttachTableToStore(&owner);
    store.AttachTableToStore(&second);
    store.DetachTableFromStore(&owner);  // the owner leaves first, as a table does
    second.active = true;
  }
  EXPECT_EQ(log, (std::vector<std::string>{"second:close", "second:detached"}));
  EXPECT_FALSE(owner.detached);
}

}  // namespace
}  // namespace ts
