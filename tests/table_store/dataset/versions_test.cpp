// Posting and deleting with and without record versions, the direct add,
// unique keys, autoinc numbering and the store-level consequences.
#include <gtest/gtest.h>

#include <string>

#include "tables.h"

namespace ts {
namespace {

// A table with an integer key "id", a long text "memo" (out of line unless
// the store is fast) and an autoinc field "seq".
std::unique_ptr<TdvoMemTable> MakeTable(TdvoPerformance performance = mtpfBalanced) {
  auto table = std::make_unique<TdvoMemTable>("t");
  table->AddField<TIntegerField>("id");
  table->AddField<TStringField>("memo", 100);
  table->AddField<TAutoIncField>("seq");
  table->SetPerformance(performance);
  return table;
}

void AddRow(TdvoMemTable& table, int id, const std::string& memo) {
  table.Append();
  table.FieldNamed("id").SetAsInteger(id);
  table.FieldNamed("memo").SetAsString(memo);
  table.Post();
}

TRecord* Stored(TdvoMemTable& table, int slot) { return table.Store().StoredRecord(slot); }

int VersionCount(const TRecord* record) {
  int n = 0;
  for (const TRecord* v = record->OlderVersion; v != nullptr; v = v->OlderVersion) ++n;
  return n;
}

// The text of field "memo" in any record of the table's layout.
std::string MemoOf(TdvoMemTable& table, TRecord* record) {
  table.SetOverrideRecord(record);
  std::string text = table.FieldNamed("memo").AsString();
  table.SetOverrideRecord(nullptr);
  return text;
}

void EditMemo(TdvoMemTable& table, const std::string& memo) {
  table.Edit();
  table.FieldNamed("memo").SetAsString(memo);
  table.Post();
}

TEST(Versions, WithoutVersioningAnEditKeepsNoHistory) {
  auto table = MakeTable();
  table->Open();
  AddRow(*table, 1, "one");
  EditMemo(*table, "uno");
  TRecord* record = Stored(*table, 0);
  EXPECT_EQ(record->ChangeStatus, rsUnmodified);
  EXPECT_EQ(VersionCount(record), 0);
  EXPECT_EQ(MemoOf(*table, record), "uno");
}

TEST(Versions, OneSinceCheckPointKeepsTheStateBeforeTheFirstEdit) {
  auto table = MakeTable();
  table->Open();
  AddRow(*table, 1, "one");
  TRecord* record = Stored(*table, 0);
  record->ChangeStatus = rsUnmodified;  // as a loaded record would be
  table->SetEnableVersioning(true);
  EditMemo(*table, "two");
  EditMemo(*table, "three");
  ASSERT_EQ(VersionCount(record), 1);
  EXPECT_EQ(record->ChangeStatus, rsModified);
  EXPECT_EQ(MemoOf(*table, record), "three");
  EXPECT_EQ(MemoOf(*table, record->OlderVersion), "one");
  EXPECT_EQ(record->OlderVersion->ChangeStatus, rsUnmodified);
  EXPECT_TRUE(table->Store().DataModified());
}

TEST(Versions, AllSinceCheckPointKeepsEveryState) {
  for (TdvoPerformance performance : {mtpfFast, mtpfBalanced, mtpfSmall}) {
    auto table = MakeTable(performance);
    table->SetEnableVersioning(true);
    table->SetVersioningMode(mtvmAllSinceCheckPoint);
    table->Open();
    AddRow(*table, 1, "one");
    TRecord* record = Stored(*table, 0);
    EXPECT_EQ(record->ChangeStatus, rsInserted);
    EditMemo(*table, "two");
    EditMemo(*table, "three");
    ASSERT_EQ(VersionCount(record), 2);
    EXPECT_EQ(MemoOf(*table, record), "three");
    EXPECT_EQ(MemoOf(*table, record->OlderVersion), "two");
    EXPECT_EQ(MemoOf(*table, record->OlderVersion->OlderVersion), "one");
    EXPECT_EQ(record->OlderVersion->OlderVersion->ChangeStatus, rsInserted);
    // The versions are deep copies: none shares a value block with another.
    if (performance != mtpfFast) {
      const uint8_t* now = SlotBlock(table->Store().FieldSlot(record, table->FieldNamed("memo")));
      const uint8_t* before = SlotBlock(table->Store().FieldSlot(record->OlderVersion, table->FieldNamed("memo")));
      ASSERT_NE(now, nullptr);
      ASSERT_NE(before, nullptr);
      EXPECT_NE(now, before);
    }
  }
}

TEST(Versions, InsertedRecordEditedInOneSinceModeStaysInserted) {
  auto table = MakeTable();
  table->SetEnableVersioning(true);
  table->Open();
  AddRow(*table, 1, "one");
  EditMemo(*table, "two");
  EXPECT_EQ(Stored(*table, 0)->ChangeStatus, rsInserted);
  EXPECT_EQ(VersionCount(Stored(*table, 0)), 0);
}

TEST(Versions, UnmodifiedEditPostMakesNoVersion) {
  auto table = MakeTable();
  table->SetEnableVersioning(true);
  table->SetVersioningMode(mtvmAllSinceCheckPoint);
  table->Open();
  AddRow(*table, 1, "one");
  table->Edit();
  table->Post();  // nothing written
  EXPECT_EQ(VersionCount(Stored(*table, 0)), 0);
}

TEST(Versions, DeleteUnderVersioningHidesTheRecordButKeepsIt) {
  auto table = MakeTable();
  table->SetEnableVersioning(true);
  table->IndexDefs().Add("byId", "id");
  table->Open();
  for (int i = 1; i <= 3; ++i) AddRow(*table, i, "r" + std::to_string(i));
  table->SetIndexName("byId");
  table->First();
  table->Next();
  table->Delete();
  EXPECT_EQ(table->FieldNamed("id").AsInteger(), 3);
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_EQ(table->Store().DeletedCount(), 1);
  TRecord* deleted = Stored(*table, 1);
  ASSERT_NE(deleted, nullptr);
  EXPECT_EQ(deleted->ChangeStatus, rsDeleted);
  ASSERT_EQ(VersionCount(deleted), 1);
  EXPECT_EQ(MemoOf(*table, deleted->OlderVersion), "r2");
  // Every index still holds it; the view skips it both ways.
  for (int i = 0; i < table->Indexes().IndexCount(); ++i)
    EXPECT_EQ(table->Indexes().IndexAt(i)->EntryCount(), 3);
  table->Last();
  table->Prior();
  EXPECT_EQ(table->FieldNamed("id").AsInteger(), 1);
  // A status filter of deleted records shows only that one.
  table->SetStatusFilter(1u << rsDeleted);
  table->First();
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(table->FieldNamed("id").AsInteger(), 2);
  EXPECT_EQ(table->UpdateStatus(), rsDeleted);
}

TEST(Versions, DeletingTheLastRecordWithoutVersioningResetsTheStore) {
  auto table = MakeTable();
  table->Open();
  AddRow(*table, 1, "a");
  AddRow(*table, 2, "b");
  table->First();
  const TBookmark before = table->BookmarkOf(table->ActiveBuffer());
  EXPECT_EQ(before.Record, Stored(*table, 0));
  table->Delete();
  table->Delete();
  EXPECT_TRUE(table->IsEmpty());
  EXPECT_EQ(table->Store().SlotCount(), 0);
  EXPECT_NE(table->Store().ContentsId(), before.ContentsId);
  // A new record starts again at slot 0 and is found by position; its id
  // is a new one while the table is open (a pending edit elsewhere may
  // still name the old ids), and 0 again only after the table reopens.
  AddRow(*table, 3, "c");
  EXPECT_EQ(Stored(*table, 0)->SerialId, 2);
  table->First();
  EXPECT_EQ(table->FieldNamed("id").AsInteger(), 3);
  EXPECT_EQ(table->RecordCount(), 1);
  table->Close();
  table->Open();
  AddRow(*table, 4, "d");
  EXPECT_EQ(Stored(*table, 0)->SerialId, 0);
}

TEST(Versions, RecordsCarryTheTransactionLevel) {
  auto table = MakeTable();
  table->Open();
  AddRow(*table, 1, "a");
  EXPECT_EQ(Stored(*table, 0)->TxLevel, 0);
  table->Store().RaiseTransactionLevel();
  EditMemo(*table, "b");
  AddRow(*table, 2, "c");
  // An edit that kept no older version leaves the record to the level it
  // came from: a rollback of this one could not take it back.
  EXPECT_EQ(Stored(*table, 0)->TxLevel, 0);
  EXPECT_EQ(Stored(*table, 1)->TxLevel, 1);
  EXPECT_TRUE(Stored(*table, 1)->StateBits & kRecordStored);
  table->SetEnableVersioning(true);
  table->First();
  EditMemo(*table, "d");
  EXPECT_EQ(Stored(*table, 0)->TxLevel, 1);
}

TEST(Versions, EditIsPostedIntoTheRecordItCameFrom) {
  auto table = MakeTable();
  table->Open();
  for (int i = 1; i <= 3; ++i) AddRow(*table, i, "r");
  table->First();
  table->Edit();
  table->FieldNamed("memo").SetAsString("first");
  // Something else moves the cursor while the edit is open.
  table->SetCursorPosition(2);
  table->Post();
  EXPECT_EQ(MemoOf(*table, Stored(*table, 0)), "first");
  EXPECT_EQ(MemoOf(*table, Stored(*table, 2)), "r");
  EXPECT_EQ(table->FieldNamed("id").AsInteger(), 1);
}

TEST(Versions, AnEditKeepsVersionsMadeWhileItWasOpen) {
  auto table = MakeTable();
  table->Open();
  AddRow(*table, 1, "one");
  table->Edit();
  table->FieldNamed("memo").SetAsString("two");
  // Meanwhile the stored record gains an older version (as another table
  // sharing the store would give it).
  TRecord* record = Stored(*table, 0);
  TRecord* older = table->Store().DuplicateRecord(record, true);
  older->StateBits |= kRecordStored;
  record->OlderVersion = older;
  record->ChangeStatus = rsModified;
  table->Post();
  EXPECT_EQ(record->OlderVersion, older);
  EXPECT_EQ(record->ChangeStatus, rsModified);
  EXPECT_EQ(MemoOf(*table, record), "two");
  EXPECT_EQ(MemoOf(*table, older), "one");
}

TEST(Versions, UniqueIndexRefusesDuplicatesAndKeepsTheStoreAsItWas) {
  auto table = MakeTable();
  table->IndexDefs().Add("byId", "id", ixUnique);
  table->Open();
  AddRow(*table, 1, "a");
  AddRow(*table, 2, "b");
  table->Append();
  table->FieldNamed("id").SetAsInteger(1);
  EXPECT_THROW(table->Post(), EMemTableDupKey);
  EXPECT_EQ(table->State(), dsInsert);
  table->Cancel();
  EXPECT_EQ(table->Store().SlotCount(), 2);
  // An edit that keeps the record's own key is fine; taking another's is not.
  table->First();
  EditMemo(*table, "a2");
  table->Edit();
  table->FieldNamed("id").SetAsInteger(2);
  EXPECT_THROW(table->Post(), EMemTableDupKey);
  table->Cancel();
  EXPECT_EQ(table->FieldNamed("id").AsInteger(), 1);
  EXPECT_EQ(MemoOf(*table, Stored(*table, 0)), "a2");
  // The direct add does not check.
  table->AppendRecord({TValue::Integer(2), TValue::String("dup")});
  EXPECT_EQ(table->Store().SlotCount(), 3);
  EXPECT_EQ(table->FieldNamed("memo").AsString(), "dup");
}

TEST(Versions, DirectAddAppendsOrInsertsAtTheCurrentRecord) {
  auto table = MakeTable();
  table->Open();
  table->AppendRecord({TValue::Integer(1), TValue::String("a")});
  table->AppendRecord({TValue::Integer(3), TValue::String("c")});
  table->First();
  table->Next();
  table->InsertRecord({TValue::Integer(2), TValue::String("b")});
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecNo(), 2);
  std::string order;
  for (table->First(); !table->Eof(); table->Next()) order += table->FieldNamed("memo").AsString();
  EXPECT_EQ(order, "abc");
  table->First();
  EXPECT_EQ(table->FieldNamed("seq").AsInteger(), 0);  // autoinc as for any new record
  table->Last();
  EXPECT_EQ(table->FieldNamed("seq").AsInteger(), 1);
}

TEST(Versions, AutoIncStartsAtTheMinimumAndFollowsExplicitValues) {
  auto table = MakeTable();
  table->SetAutoIncMinValue(5);
  table->Open();
  AddRow(*table, 1, "a");
  EXPECT_EQ(table->FieldNamed("seq").AsInteger(), 5);
  table->Append();
  table->FieldNamed("seq").SetAsInteger(20);
  table->Post();
  AddRow(*table, 3, "c");
  EXPECT_EQ(table->FieldNamed("seq").AsInteger(), 21);
  // A lower explicit value does not pull the counter back.
  table->Append();
  table->FieldNamed("seq").SetAsInteger(7);
  table->Post();
  AddRow(*table, 4, "d");
  EXPECT_EQ(table->FieldNamed("seq").AsInteger(), 22);
  // Reopening starts from the minimum again.
  table->Close();
  table->Open();
  AddRow(*table, 5, "e");
  EXPECT_EQ(table->FieldNamed("seq").AsInteger(), 5);
  // While loading, new records get no number.
  table->SetNoAutoInc(true);
  table->Append();
  EXPECT_TRUE(table->FieldNamed("seq").IsNull());
  table->Cancel();
}

TEST(Versions, AutoIncAtTheTopOfItsRangeRefusesTheNewRecord) {
  auto table = MakeTable();
  table->Open();
  table->Store().SetAutoIncHighValue(INT32_MAX);
  EXPECT_THROW(table->Append(), ERangeError);
  EXPECT_EQ(table->State(), dsBrowse);
}

TEST(Versions, OldValueStateReadsTheOldestVersion) {
  auto table = MakeTable();
  table->Open();
  AddRow(*table, 1, "orig");
  Stored(*table, 0)->ChangeStatus = rsUnmodified;
  table->SetEnableVersioning(true);
  table->SetVersioningMode(mtvmAllSinceCheckPoint);
  EditMemo(*table, "v2");
  EditMemo(*table, "v3");
  const TDataSetState saved = table->SetTempState(dsOldValue);
  EXPECT_EQ(table->FieldNamed("memo").AsString(), "orig");
  table->RestoreState(saved);
  EXPECT_EQ(table->FieldNamed("memo").AsString(), "v3");
}

}  // namespace
}  // namespace ts
