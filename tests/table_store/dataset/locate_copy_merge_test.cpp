// Copying records between the table and another dataset: the field map,
// load and save limits and what they report, the structure copy, appending,
// refused records, merging by key under its two flags with values that
// arrive exactly, emptying the store and field settings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "table_store/dataset/datetime_fields.h"
#include "tables.h"

namespace ts {
namespace {

using Strings = std::vector<std::string>;

// VarNo (integer), name (string 20), price (float), big (BCD), seq (autoinc
// from 100).
std::unique_ptr<TdvoMemTable> MakeSource(int rows) {
  auto table = std::make_unique<TdvoMemTable>("source");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TStringField>("name", 20);
  table->AddField<TFloatField>("price");
  table->AddField<TBCDField>("big");
  table->AddField<TAutoIncField>("seq");
  table->SetAutoIncMinValue(100);
  table->Open();
  for (int i = 0; i < rows; ++i)
    table->AppendRecord({TValue::Integer(i), TValue::String("row " + std::to_string(i)), TValue::Float(i + 0.25)});
  table->First();
  return table;
}

// VarNo 1 and 5 named "old 1" and "old 5", and a price.
std::unique_ptr<TdvoMemTable> MakeDest() {
  auto table = std::make_unique<TdvoMemTable>("dest");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TStringField>("name", 20);
  table->AddField<TFloatField>("price");
  table->Open();
  for (int varNo : {1, 5}) table->AppendRecord({TValue::Integer(varNo), TValue::String("old " + std::to_string(varNo))});
  return table;
}

Strings Names(TdvoMemTable& table) {
  Strings names;
  for (table.First(); !table.Eof(); table.Next()) names.push_back(table.FieldNamed("name").AsString());
  return names;
}

TEST(CopyRecords, CopyToDataSetMapsByNameAndReportsTheSaveLimitTruly) {
  auto source = MakeSource(3);
  auto dest = std::make_unique<TdvoMemTable>("dest");
  dest->AddField<TStringField>("NAME", 20);   // found without regard to case
  dest->AddField<TStringField>("VarNo", 10);  // another class: the value goes as text
  dest->AddField<TIntegerField>("unmapped");
  dest->Open();
  source->CopyToDataSet(dest.get());
  EXPECT_EQ(Names(*dest), (Strings{"row 0", "row 1", "row 2"}));
  EXPECT_EQ(dest->FieldNamed("VarNo").AsString(), "2");
  EXPECT_TRUE(dest->FieldNamed("unmapped").IsNull());
  // A limit the records just fill leaves nothing out; a smaller one does.
  source->SetSaveLimit(3);
  source->CopyToDataSet(dest.get());
  EXPECT_TRUE(source->SavedCompletely());
  source->SetSaveLimit(2);
  source->CopyToDataSet(dest.get());
  EXPECT_EQ(source->SaveCount(), 2);
  EXPECT_FALSE(source->SavedCompletely());
  EXPECT_EQ(dest->RecordCount(), 8);
}

TEST(CopyRecords, FillFromDataSetWithTheStructureAndTheLoadLimit) {
  auto source = MakeSource(4);
  source->Last();
  source->Edit();
  source->FieldNamed("big").SetAsCurrency(123456789012345678);
  source->Post();
  source->First();
  source->Next();
  TdvoMemTable table("copy");
  table.FillFromDataSet(source.get(), cfStructure);
  ASSERT_EQ(table.FieldCount(), 5);
  EXPECT_EQ(table.FieldNamed("name").Size(), 20);
  EXPECT_EQ(table.FieldNamed("seq").DataType(), ftAutoInc);
  EXPECT_EQ(table.LoadCount(), 4);
  EXPECT_TRUE(table.LoadedCompletely());
  table.Last();
  EXPECT_EQ(table.FieldNamed("big").AsCurrency(), 123456789012345678);
  EXPECT_EQ(table.FieldNamed("seq").AsInteger(), 103);
  EXPECT_EQ(source->FieldNamed("VarNo").AsInteger(), 1);  // the source is back where it was

  table.SetLoadLimit(4);
  table.FillFromDataSet(source.get(), 0);
  EXPECT_TRUE(table.LoadedCompletely());
  table.SetLoadLimit(3);
  table.FillFromDataSet(source.get(), 0);
  EXPECT_FALSE(table.LoadedCompletely());
  EXPECT_EQ(table.RecordCount(), 3);
}

TEST(CopyRecords, AppendingFromAClosedSourceAndKeepingTheTablesOwnNumbers) {
  auto table = MakeSource(1);
  auto source = MakeSource(2);
  source->Close();  // opened for the copy, empty, and closed again
  table->FillFromDataSet(source.get(), cfAppend);
  EXPECT_FALSE(source->Active());
  EXPECT_EQ(table->RecordCount(), 1);
  source = MakeSource(2);
  table->FillFromDataSet(source.get(), cfAppend);
  EXPECT_EQ(Names(*table), (Strings{"row 0", "row 0", "row 1"}));
  table->Last();
  EXPECT_EQ(table->FieldNamed("seq").AsInteger(), 102);  // numbered by the table
}

TEST(CopyRecords, AppendWithStructureOrSettingsFailsTruthfullyBeforeTouchingTheTable) {
  auto source = MakeSource(2);
  auto table = MakeSource(3);
  int loads = 0;
  table->OnLoad = [&loads](TDataSet&, TdvoMemTableStorageType, TStream*) { ++loads; };
  for (TdvoCopyOptions options : {TdvoCopyOptions(cfAppend | cfStructure), TdvoCopyOptions(cfAppend | cfSettings)}) {
    try {
      table->FillFromDataSet(source.get(), options);
      FAIL() << "the options were taken";
    } catch (const EMemTableError& error) {
      EXPECT_EQ(std::string(error.what()).find("Index"), std::string::npos) << error.what();
    }
  }
  EXPECT_EQ(loads, 0);
  EXPECT_EQ(table->RecordCount(), 3);
}

TEST(CopyRecords, EventsRefuseRecordsAndProgressIsReported) {
  std::vector<int> progress;  // outlives the tables, which report as they close
  auto source = MakeSource(250);
  auto table = MakeSource(0);
  table->SetProgressFlags(ProgressBit(mtpcCopy));
  table->OnProgress = [&progress](TDataSet&, int percentage, TdvoProgressCode) { progress.push_back(percentage); };
  table->OnLoadRecord = [](TDataSet& ds, bool& accept) { accept = ds.FieldByName("VarNo").AsInteger() % 2 == 0; };
  table->FillFromDataSet(source.get(), 0);
  EXPECT_EQ(table->RecordCount(), 125);
  EXPECT_EQ(table->LoadCount(), 250);
  EXPECT_EQ(progress, (std::vector<int>{0, 40, 80, 100}));
  auto out = MakeSource(0);
  source->OnSaveRecord = [](TDataSet& ds, bool& accept) { accept = ds.FieldByName("VarNo").AsInteger() < 10; };
  source->CopyToDataSet(out.get());
  EXPECT_EQ(out->RecordCount(), 10);
}

TEST(MergeRecords, UpdatesAndAppendsAsTheFlagsSay) {
  auto source = MakeSource(3);  // VarNo 0, 1, 2
  auto dest = MakeDest();       // VarNo 1, 5
  source->MergeIntoDataSet(dest.get(), "VarNo", ufUpdateExisting);
  EXPECT_EQ(Names(*dest), (Strings{"row 1", "old 5"}));
  dest = MakeDest();
  source->MergeIntoDataSet(dest.get(), "VarNo", ufAppendMissing);
  EXPECT_EQ(Names(*dest), (Strings{"old 1", "old 5", "row 0", "row 2"}));
  dest = MakeDest();
  source->MergeIntoDataSet(dest.get(), "VarNo");
  EXPECT_EQ(Names(*dest), (Strings{"row 1", "old 5", "row 0", "row 2"}));
  EXPECT_EQ(source->MergeRecords(source.get(), dest.get(), 0, "VarNo"), 3);
  EXPECT_EQ(dest->RecordCount(), 4);
  EXPECT_THROW(source->MergeIntoDataSet(dest.get(), "nosuch"), EDatabaseError);
}

TEST(MergeRecords, ValuesArriveExactlyAlsoThroughText) {
  auto make = [](const char* name, bool text) {
    auto table = std::make_unique<TdvoMemTable>(name);
    table->AddField<TIntegerField>("id");
    if (text) {
      table->AddField<TStringField>("f", 30);
      table->AddField<TStringField>("when", 30);
    } else {
      table->AddField<TFloatField>("f");
      table->AddField<TDateTimeField>("when");
    }
    table->AddField<TCurrencyField>("c");
    table->AddField<TBCDField>("bcd");
    table->Open();
    return table;
  };
  auto source = make("source", false);
  const double f = 0.1 + 0.2;
  const double when = 45123.0 + 12345678.0 / 86400000.0;  // 03:25:45.678
  source->AppendRecord({TValue::Integer(1), TValue::Float(f), TValue::DateTime(when), TValue::Float(922337203685.4775),
                        TValue::Currency(99999999999999999)});
  auto text = make("text", true);
  auto dest = make("dest", false);
  source->MergeIntoDataSet(text.get(), "id");
  EXPECT_EQ(text->FieldNamed("f").AsString(), "0.30000000000000004");
  text->MergeIntoDataSet(dest.get(), "id");
  EXPECT_EQ(dest->FieldNamed("f").AsFloat(), f);
  EXPECT_EQ(dest->FieldNamed("when").AsDateTime(), source->FieldNamed("when").AsDateTime());
  EXPECT_EQ(dest->FieldNamed("c").AsFloat(), source->FieldNamed("c").AsFloat());
  EXPECT_EQ(dest->FieldNamed("bcd").AsCurrency(), 99999999999999999);
  source->Edit();
  source->FieldNamed("f").Clear();
  source->Post();
  source->MergeIntoDataSet(dest.get(), "id");
  EXPECT_TRUE(dest->FieldNamed("f").IsNull());  // a null clears what was there
}

TEST(ClearAllRecords, EmptiesTheStoreAndEndsAPendingInsert) {
  std::vector<int> progress;
  auto table = MakeSource(3);
  table->SetProgressFlags(ProgressBit(mtpcEmpty));
  table->OnProgress = [&progress](TDataSet&, int percentage, TdvoProgressCode) { progress.push_back(percentage); };
  table->Append();
  table->FieldNamed("name").SetAsString("pending");
  table->ClearAllRecords();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_TRUE(table->IsEmpty());
  EXPECT_EQ(table->Store().SlotCount(), 0);
  EXPECT_EQ(progress, (std::vector<int>{0, 100}));
}

TEST(FieldSettings, CopiedByNameThenAnnounced) {
  auto source = MakeSource(0);
  TField& from = source->FieldNamed("name");
  from.SetDisplayLabel("Variant name");
  from.SetReadOnly(true);
  from.SetVisible(false);
  from.SetDisplayWidth(33);
  auto target = MakeDest();
  Strings announced;
  target->OnSetupFieldProperties = [&announced](TDataSet&, TField& field) { announced.push_back(field.FieldName()); };
  target->CopyFieldSettingsFrom(source.get(), target.get());
  const TField& to = target->FieldNamed("name");
  EXPECT_EQ(to.DisplayLabel(), "Variant name");
  EXPECT_TRUE(to.ReadOnly());
  EXPECT_FALSE(to.Visible());
  EXPECT_EQ(to.DisplayWidth(), 33);
  EXPECT_EQ(target->FieldNamed("VarNo").DisplayLabel(), "VarNo");  // a name is no label of its own
  EXPECT_EQ(announced, (Strings{"VarNo", "name", "price"}));
}

}  // namespace
}  // namespace ts
