// The table's indexes and settings: index selection by name and fields,
// syncing with IndexDefs, the cursor across an index change, field
// compression, the lock with its busy flag, progress and large records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tables.h"

namespace ts {
namespace {

// Names in row order: d, b, a, c (ids 4, 2, 1, 3).
std::unique_ptr<TdvoMemTable> MakeTable() {
  auto table = std::make_unique<TdvoMemTable>("idx");
  table->AddField<TIntegerField>("id");
  table->AddField<TStringField>("name", 10);
  table->IndexDefs().Add("byId", "id");
  table->IndexDefs().Add("byNameDesc", "name:D");
  table->Open();
  const std::pair<int, const char*> rows[] = {{4, "d"}, {2, "b"}, {1, "a"}, {3, "c"}};
  for (auto [id, name] : rows) {
    table->Append();
    table->FieldNamed("id").SetAsInteger(id);
    table->FieldNamed("name").SetAsString(name);
    table->Post();
  }
  return table;
}

std::string Names(TdvoMemTable& table) {
  std::string out;
  for (table.First(); !table.Eof(); table.Next()) out += table.FieldNamed("name").AsString();
  return out;
}

TEST(TableIndexes, SelectingIndexesChangesTheOrderAndKeepsTheRecord) {
  auto table = MakeTable();
  EXPECT_EQ(Names(*table), "dbac");
  table->First();
  table->Next();  // "b"
  table->SetIndexName("BYID");
  EXPECT_EQ(table->IndexName(), "byId");
  EXPECT_EQ(table->IndexFieldNames(), "id");
  EXPECT_EQ(table->FieldNamed("name").AsString(), "b");
  EXPECT_EQ(table->RecNo(), 2);
  EXPECT_EQ(Names(*table), "abcd");
  table->SetIndexFieldNames("name:D");
  EXPECT_EQ(Names(*table), "dcba");
  // Fields no index covers leave the current index as it is.
  table->SetIndexFieldNames("name;id");
  EXPECT_EQ(table->IndexName(), "byNameDesc");
  table->SelectIndex(nullptr);
  EXPECT_EQ(table->IndexName(), "");
  EXPECT_EQ(table->IndexFieldNames(), "");
  EXPECT_EQ(Names(*table), "dbac");
}

TEST(TableIndexes, PostingMovesTheRecordInASortedIndexAndTheCursorFollows) {
  auto table = MakeTable();
  table->SetIndexName("byId");
  table->First();  // id 1
  table->Edit();
  table->FieldNamed("id").SetAsInteger(10);
  table->Post();
  EXPECT_EQ(table->FieldNamed("name").AsString(), "a");
  EXPECT_EQ(table->RecNo(), 4);
  table->Append();
  table->FieldNamed("id").SetAsInteger(0);
  table->FieldNamed("name").SetAsString("z");
  table->Post();
  EXPECT_EQ(table->RecNo(), 1);
  EXPECT_EQ(Names(*table), "zbcda");
  // Every index sees every change.
  table->SetIndexName("byNameDesc");
  EXPECT_EQ(Names(*table), "zdcba");
  table->SelectIndex(nullptr);
  EXPECT_EQ(Names(*table), "dbacz");
}

TEST(TableIndexes, IndexDefsAreBuiltOnOpenAndKeptInStepBySync) {
  auto table = MakeTable();
  EXPECT_EQ(table->Indexes().IndexCount(), 3);
  table->SetIndexName("byId");
  table->IndexDefs().Delete(0);
  table->IndexDefs().Add("byName", "name");
  table->SyncIndexes();
  EXPECT_EQ(table->Indexes().IndexCount(), 3);
  EXPECT_EQ(table->Indexes().FindIndexByName("byId"), nullptr);
  EXPECT_EQ(table->CurrentIndex(), table->Indexes().RowOrderIndex());
  EXPECT_EQ(table->IndexFieldNames(), "");
  table->SetIndexName("byName");
  EXPECT_EQ(Names(*table), "abcd");
  // Reopening builds what the definitions say.
  table->Close();
  table->Open();
  EXPECT_EQ(table->Indexes().IndexCount(), 3);
  EXPECT_EQ(table->IndexName(), "byName");  // remembered across the close
  table->CreateIndexesFromDefs();
  EXPECT_EQ(table->CurrentIndex(), table->Indexes().RowOrderIndex());
}

TEST(TableIndexes, AUniqueDefinitionOverEqualKeysRefusesToBuild) {
  auto table = MakeTable();
  table->Append();
  table->FieldNamed("id").SetAsInteger(2);
  table->Post();
  table->IndexDefs().Add("uniqueId", "id", ixUnique);
  EXPECT_THROW(table->SyncIndexes(), EMemTableDupKey);
  TdvoMemTable bad("bad");
  bad.AddField<TIntegerField>("id");
  bad.IndexDefs().Add("noFields", "");
  EXPECT_THROW(bad.Open(), EMemTableError);
  EXPECT_FALSE(bad.Active());
}

TEST(TableIndexes, FieldCompressionRoundTrips) {
  TdvoMemTable table("packed");
  table.AddField<TStringField>("text", 50);
  table.SetPerformance(mtpfBalanced);
  table.OnSetupField = [](TDataSet&, TField&, uint8_t& flags) { flags |= kFieldCompressed; };
  table.Open();
  table.Append();
  table.FieldNamed("text").SetAsString("hello");
  table.Post();
  const TRecord* stored = table.Store().StoredRecord(0);
  const uint8_t* block = SlotBlock(table.Store().FieldSlot(stored, table.FieldNamed("text")));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(ValueBlockLength(block), 6);  // the text and its zero, not all 51 bytes
  EXPECT_EQ(table.FieldNamed("text").AsString(), "hello");

  // Events replace the built-in transform on both sides.
  std::string packed;
  table.OnCompressField = [&](TDataSet&, TField&, const uint8_t* bytes, int32_t& size, const uint8_t*& result) {
    packed.assign(reinterpret_cast<const char*>(bytes), std::strlen(reinterpret_cast<const char*>(bytes)));
    std::reverse(packed.begin(), packed.end());
    size = static_cast<int32_t>(packed.size());
    result = reinterpret_cast<const uint8_t*>(packed.data());
  };
  std::string unpacked;
  table.OnDecompressField = [&](TDataSet&, TField&, const uint8_t* bytes, int32_t& size, const uint8_t*& result) {
    unpacked.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    std::reverse(unpacked.begin(), unpacked.end());
    unpacked.push_back('\0');
    size = static_cast<int32_t>(unpacked.size());
    result = reinterpret_cast<const uint8_t*>(unpacked.data());
  };
  table.Edit();
  table.FieldNamed("text").SetAsString("abc");
  table.Post();
  block = SlotBlock(table.Store().FieldSlot(table.Store().StoredRecord(0), table.FieldNamed("text")));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ValueBlockData(block)), 3), "cba");
  EXPECT_EQ(table.FieldNamed("text").AsString(), "abc");
}

TEST(TableSettings, LockTableHoldsBackChangeNotifications) {
  auto table = MakeTable();
  int changes = 0;
  table->FieldNamed("name").OnChange = [&](TField&) { ++changes; };
  table->First();
  table->Edit();
  table->LockTable();
  table->LockTable();
  table->FieldNamed("name").SetAsString("x");
  table->UnlockTable();
  EXPECT_TRUE(table->Store().Busy());
  table->UnlockTable();
  EXPECT_FALSE(table->Store().Busy());
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(table->Modified());
  table->FieldNamed("name").SetAsString("y");
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(table->Modified());
  table->Post();
}

TEST(TableSettings, ProgressOnlyForTheCodesInTheFlags) {
  auto table = MakeTable();
  std::vector<std::pair<int, int>> reports;
  table->OnProgress = [&](TDataSet&, int percentage, TdvoProgressCode code) {
    reports.emplace_back(percentage, static_cast<int>(code));
  };
  table->Close();  // mtpcEmpty is not among the default flags
  EXPECT_TRUE(reports.empty());
  table->SetProgressFlags(table->ProgressFlags() | ProgressBit(mtpcEmpty));
  table->Open();
  table->Close();
  EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{0, mtpcEmpty}, {100, mtpcEmpty}}));
}

TEST(TableSettings, StoreSettingsAndVersion) {
  TdvoMemTable table("s");
  EXPECT_EQ(table.Version(), "3.08");
  table.SetVersion("9.99");
  EXPECT_EQ(table.Version(), "3.08");
  EXPECT_EQ(table.LocaleID(), 1024);
  table.SetLanguageID(9);
  table.SetSubLanguageID(1);
  EXPECT_EQ(table.LocaleID(), 1033);
  EXPECT_EQ(table.AttachMaxCount(), 1);
  EXPECT_TRUE(table.AttachedAutoRefresh());
  EXPECT_TRUE(table.DesignActivation());
  EXPECT_EQ(table.ProgressFlags(), ProgressBit(mtpcLoad) | ProgressBit(mtpcSave) | ProgressBit(mtpcCopy));
  table.AddField<TIntegerField>("i");
  table.Open();
  EXPECT_THROW(table.SetStandalone(true), EMemTableError);
  table.Close();
  table.SetStandalone(true);
  EXPECT_TRUE(table.Standalone());
}

TEST(TableSettings, RecordsLargerThanSixtyFourKilobytes) {
  TdvoMemTable table("wide");
  for (int i = 0; i < 50; ++i) table.AddField<TStringField>("f" + std::to_string(i), 1500);
  table.Open();
  EXPECT_GT(table.Store().RecordSize(), 65536);
  table.Append();
  for (int i = 0; i < 50; ++i) table.FieldNamed("f" + std::to_string(i)).SetAsString(std::string(1500, 'a' + i % 26));
  table.Post();
  table.Append();
  table.Post();
  table.First();
  EXPECT_EQ(table.FieldNamed("f49").AsString(), std::string(1500, 'a' + 49 % 26));
  EXPECT_EQ(table.RecordCount(), 2);
}

TEST(TableSettings, BookmarksHoldWholeRecordReferences) {
  auto table = MakeTable();
  table->Last();
  const TBookmark bookmark = table->BookmarkOf(table->ActiveBuffer());
  EXPECT_EQ(bookmark.Record, table->Store().StoredRecord(3));
  EXPECT_EQ(bookmark.ContentsId, table->Store().ContentsId());
  static_assert(sizeof(TBookmark::Record) == sizeof(void*));
  table->Append();
  EXPECT_EQ(table->BookmarkFlagOf(table->ActiveBuffer()), bfEOF);
  table->Cancel();
  table->First();
  table->Insert();
  EXPECT_EQ(table->BookmarkFlagOf(table->ActiveBuffer()), bfInserted);
  EXPECT_EQ(table->BookmarkOf(table->ActiveBuffer()).Record, table->Store().StoredRecord(0));
  table->Cancel();
}

TEST(TableFilter, OnFilterRecordShapesTheViewWhileFiltered) {
  auto table = MakeTable();
  table->OnFilterRecord = [](TDataSet& d, bool& accept) { accept = d.FieldByName("id").AsInteger() % 2 == 0; };
  EXPECT_EQ(table->RecordCount(), 4);  // not in force yet
  table->SetFiltered(true);
  EXPECT_EQ(table->FieldNamed("name").AsString(), "d");
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_EQ(Names(*table), "db");
  table->SetFiltered(false);
  EXPECT_EQ(Names(*table), "dbac");
  // The find road applies the handler whether or not Filtered is on.
  ASSERT_TRUE(table->FindFirst());
  EXPECT_EQ(table->FieldNamed("name").AsString(), "d");
  ASSERT_TRUE(table->FindNext());
  EXPECT_EQ(table->FieldNamed("name").AsString(), "b");
  EXPECT_FALSE(table->FindNext());
  EXPECT_FALSE(table->Found());
  EXPECT_EQ(table->FieldNamed("name").AsString(), "b");
  ASSERT_TRUE(table->FindLast());
  EXPECT_EQ(table->FieldNamed("name").AsString(), "b");
}

TEST(TableFilter, FilterTextFiltersTheTableWhileFiltered) {
  auto table = MakeTable();
  table->SetFilter("id > 2");
  EXPECT_EQ(table->RecordCount(), 4);
  table->SetFiltered(true);
  EXPECT_EQ(table->RecordCount(), 2);
  table->SetFilter("  ");  // a blank text filters nothing
  EXPECT_EQ(table->RecordCount(), 4);
}

}  // namespace
}  // namespace ts
