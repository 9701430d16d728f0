// Copying records between the table and another dataset: the field map,
// load and save limits and what they report, the structure copy, appending,
// the events that may refuse records, merging by key under its two flags
// with values that arrive exactly, emptying the store and field settings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "table_store/dataset/datetime_fields.h"
#include "tables.h"

namespace ts {
namespace {

// VarNo (integer), name (string 20), price (float), big (BCD), seq (autoinc).
std::unique_ptr<TdvoMemTable> MakeSource(int rows) {
  auto table = std::make_unique<TdvoMemTable>("source");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TStringField>("name", 20);
  table->AddField<TFloatField>("price");
  table->AddField<TBCDField>("big");
  table->AddField<TAutoIncField>("seq");
  table->SetAutoIncMinValue(100);
  table->Open();
  for (int i = 0; i < rows; ++i) {
    table->Append();
    table->FieldNamed("VarNo").SetAsInteger(i);
    table->FieldNamed("name").SetAsString("row " + std::to_string(i));
    table->FieldNamed("price").SetAsFloat(i + 0.25);
    table->Post();
  }
  table->First();
  return table;
}

std::vector<std::string> Names(TdvoMemTable& table) {
  std::vector<std::string> names;
  for (table.First(); !table.Eof(); table.Next()) names.push_back(table.FieldNamed("name").AsString());
  return names;
}

TEST(CopyRecords, CopyToDataSetCopiesEveryMappedFieldAndReportsTheSaveLimitTruly) {
  auto source = MakeSource(3);
  auto dest = std::make_unique<TdvoMemTable>("dest");
  dest->AddField<TStringField>("NAME", 20);    // found without regard to case
  dest->AddField<TStringField>("VarNo", 10);   // another class: the value goes as text
  dest->AddField<TIntegerField>("unmapped");
  dest->Open();
  source->CopyToDataSet(dest.get());
  EXPECT_EQ(source->SaveCount(), 3);
  EXPECT_TRUE(source->SavedCompletely());
  EXPECT_EQ(Names(*dest), (std::vector<std::string>{"row 0", "row 1", "row 2"}));
  dest->Last();
  EXPECT_EQ(dest->FieldNamed("VarNo").AsString(), "2");
  EXPECT_TRUE(dest->FieldNamed("unmapped").IsNull());

  // A limit that the records just fill leaves nothing out.
  source->SetSaveLimit(3);
  source->CopyToDataSet(dest.get());
  EXPECT_TRUE(source->SavedCompletely());
  source->SetSaveLimit(2);
  source->CopyToDataSet(dest.get());
  EXPECT_EQ(source->SaveCount(), 2);
  EXPECT_FALSE(source->SavedCompletely());
  EXPECT_EQ(dest->RecordCount(), 8);
  EXPECT_EQ(dest->RecNo(), 1);  // the destination is left on its first record
}

TEST(CopyRecords, FillFromDataSetWithTheStructure) {
  auto source = MakeSource(4);
  source->Last();
  source->Edit();
  source->FieldNamed("big").SetAsCurrency(123456789012345678);
  source->Post();
  source->First();
  source->Next();

  TdvoMemTable table("copy");
  table.FillFromDataSet(source.get(), cfStructure);
  ASSERT_TRUE(table.Active());
  ASSERT_EQ(table.FieldCount(), 5);
  EXPECT_EQ(table.FieldNamed("name").DataType(), ftString);
  EXPECT_EQ(table.FieldNamed("name").Size(), 20);
  EXPECT_EQ(table.FieldNamed("seq").DataType(), ftAutoInc);
  EXPECT_EQ(table.LoadCount(), 4);
  EXPECT_TRUE(table.LoadedCompletely());
  EXPECT_EQ(table.RecNo(), 1);
  table.Last();
  EXPECT_EQ(table.FieldNamed("big").AsCurrency(), 123456789012345678);
  EXPECT_EQ(table.FieldNamed("seq").AsInteger(), 103);
  // The source is back on the record it was on.
  EXPECT_EQ(source->FieldNamed("VarNo").AsInteger(), 1);

  table.SetLoadLimit(4);
  table.FillFromDataSet(source.get(), 0);
  EXPECT_TRUE(table.LoadedCompletely());
  table.SetLoadLimit(3);
  table.FillFromDataSet(source.get(), 0);
  EXPECT_EQ(table.LoadCount(), 3);
  EXPECT_FALSE(table.LoadedCompletely());
  EXPECT_EQ(table.RecordCount(), 3);
}

TEST(CopyRecords, FillFromAClosedSourceAppendingKeepsTheTablesOwnNumbers) {
  auto source = MakeSource(2);
  auto table = MakeSource(1);
  source->Close();  // a closed source is opened for the copy and closed again: empty
  table->FillFromDataSet(source.get(), cfAppend);
  EXPECT_FALSE(source->Active());
  EXPECT_EQ(table->RecordCount(), 1);

  source = MakeSource(2);
  table->FillFromDataSet(source.get(), cfAppend);
  EXPECT_EQ(Names(*table), (std::vector<std::string>{"row 0", "row 0", "row 1"}));
  // A table that holds records numbers the appended ones itself.
  table->Last();
  EXPECT_EQ(table->FieldNamed("seq").AsInteger(), 102);

  table->FillFromDataSet(source.get(), 0);
  EXPECT_EQ(table->RecordCount(), 2);
}

TEST(CopyRecords, AppendWithStructureOrSettingsFailsBeforeTouchingTheTable) {
  auto source = MakeSource(2);
  auto table = MakeSource(3);
  table->SetIndexName("nosuch");
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
  EXPECT_TRUE(table->Active());
  EXPECT_EQ(table->RecordCount(), 3);
}

TEST(CopyRecords, EventsRefuseRecordsAndProgressIsReported) {
  std::vector<int> progress;
  auto source = MakeSource(250);
  auto table = MakeSource(0);
  table->SetProgressFlags(ProgressBit(mtpcCopy) | ProgressBit(mtpcEmpty));
  table->OnProgress = [&progress](TDataSet&, int percentage, TdvoProgressCode code) {
    if (code == mtpcCopy) progress.push_back(percentage);
  };
  table->OnLoadRecord = [](TDataSet& ds, bool& accept) { accept = ds.FieldByName("VarNo").AsInteger() % 2 == 0; };
  int fields = 0;
  table->OnLoadField = [&fields](TDataSet&, int, TField&) { ++fields; };
  table->FillFromDataSet(source.get(), 0);
  EXPECT_EQ(table->RecordCount(), 125);
  EXPECT_EQ(table->LoadCount(), 250);
  EXPECT_EQ(fields, 250 * 5);  // every field, the autoinc too: the table was empty
  EXPECT_EQ(progress, (std::vector<int>{0, 40, 80, 100}));

  // Records the table itself gives away can be refused by OnSaveRecord.
  auto out = MakeSource(0);
  source->OnSaveRecord = [](TDataSet& ds, bool& accept) { accept = ds.FieldByName("VarNo").AsInteger() < 10; };
  source->CopyToDataSet(out.get());
  EXPECT_EQ(out->RecordCount(), 10);
}

// VarNo, name and price as the merge's destination.
std::unique_ptr<TdvoMemTable> MakeDest() {
  auto table = std::make_unique<TdvoMemTable>("dest");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TStringField>("name", 20);
  table->AddField<TFloatField>("price");
  table->Open();
  for (int varNo : {1, 5}) {
    table->Append();
    table->FieldNamed("VarNo").SetAsInteger(varNo);
    table->FieldNamed("name").SetAsString("old " + std::to_string(varNo));
    table->Post();
  }
  return table;
}

TEST(MergeRecords, UpdatesAndAppendsAsTheFlagsSay) {
  auto source = MakeSource(3);  // VarNo 0, 1, 2
  auto dest = MakeDest();       // VarNo 1, 5
  source->MergeIntoDataSet(dest.get(), "VarNo", ufUpdateExisting);
  EXPECT_EQ(Names(*dest), (std::vector<std::string>{"row 1", "old 5"}));

  dest = MakeDest();
  source->MergeIntoDataSet(dest.get(), "VarNo", ufAppendMissing);
  EXPECT_EQ(Names(*dest), (std::vector<std::string>{"old 1", "old 5", "row 0", "row 2"}));

  dest = MakeDest();
  source->MergeIntoDataSet(dest.get(), "VarNo");
  EXPECT_EQ(Names(*dest), (std::vector<std::string>{"row 1", "old 5", "row 0", "row 2"}));
  EXPECT_EQ(source->MergeRecords(source.get(), dest.get(), 0, "VarNo"), 3);  // handled, nothing changed
  EXPECT_EQ(dest->RecordCount(), 4);

  // A closed destination is opened for the merge and closed again.
  dest->Close();
  source->MergeIntoDataSet(dest.get(), "VarNo");
  EXPECT_FALSE(dest->Active());
  EXPECT_THROW(source->MergeIntoDataSet(MakeDest().get(), "nosuch"), EDatabaseError);
}

TEST(MergeRecords, ValuesArriveExactly) {
  auto source = std::make_unique<TdvoMemTable>("source");
  source->AddField<TIntegerField>("id");
  source->AddField<TFloatField>("f");
  source->AddField<TCurrencyField>("c");
  source->AddField<TDateTimeField>("when");
  source->AddField<TBCDField>("bcd");
  source->AddField<TFloatField>("asText");
  source->AddField<TStringField>("fromText", 30);
  source->Open();
  const double f = 0.1 + 0.2;
  const double when = 45123.0 + 12345678.0 / 86400000.0;  // 03:25:45.678
  source->Append();
  source->FieldNamed("id").SetAsInteger(1);
  source->FieldNamed("f").SetAsFloat(f);
  source->FieldNamed("c").SetAsFloat(922337203685.4775);
  source->FieldNamed("when").SetAsDateTime(when);
  source->FieldNamed("bcd").SetAsCurrency(99999999999999999);
  source->FieldNamed("asText").SetAsFloat(f);
  source->FieldNamed("fromText").SetAsString("1.0000000000000002");
  source->Post();

  auto dest = std::make_unique<TdvoMemTable>("dest");
  dest->AddField<TIntegerField>("id");
  dest->AddField<TFloatField>("f");
  dest->AddField<TCurrencyField>("c");
  dest->AddField<TDateTimeField>("when");
  dest->AddField<TBCDField>("bcd");
  dest->AddField<TStringField>("asText", 30);
  dest->AddField<TFloatField>("fromText");
  dest->Open();
  source->MergeIntoDataSet(dest.get(), "id");
  ASSERT_EQ(dest->RecordCount(), 1);
  EXPECT_EQ(dest->FieldNamed("f").AsFloat(), f);
  EXPECT_EQ(dest->FieldNamed("c").AsFloat(), source->FieldNamed("c").AsFloat());
  EXPECT_EQ(dest->FieldNamed("when").AsDateTime(), source->FieldNamed("when").AsDateTime());
  EXPECT_EQ(dest->FieldNamed("bcd").AsCurrency(), 99999999999999999);
  EXPECT_EQ(dest->FieldNamed("asText").AsString(), "0.30000000000000004");
  EXPECT_EQ(dest->FieldNamed("fromText").AsFloat(), 1.0000000000000002);

  // Through a text field and back: the date-time keeps its milliseconds.
  auto text = std::make_unique<TdvoMemTable>("text");
  text->AddField<TIntegerField>("id");
  text->AddField<TStringField>("when", 30);
  text->AddField<TStringField>("f", 30);
  text->Open();
  source->MergeIntoDataSet(text.get(), "id");
  text->MergeIntoDataSet(dest.get(), "id");
  EXPECT_EQ(dest->FieldNamed("when").AsDateTime(), source->FieldNamed("when").AsDateTime());
  EXPECT_EQ(dest->FieldNamed("f").AsFloat(), f);
  // A null clears what the destination held.
  source->Edit();
  source->FieldNamed("f").Clear();
  source->Post();
  source->MergeIntoDataSet(dest.get(), "id");
  EXPECT_TRUE(dest->FieldNamed("f").IsNull());
}

TEST(ClearAllRecords, EmptiesTheStoreAndEndsAPendingInsert) {
  std::vector<int> progress;  // outlives the table, which reports as it closes
  auto table = MakeSource(3);
  table->SetProgressFlags(ProgressBit(mtpcEmpty));
  table->OnProgress = [&progress](TDataSet&, int percentage, TdvoProgressCode) { progress.push_back(percentage); };
  table->Append();
  table->FieldNamed("name").SetAsString("pending");
  table->ClearAllRecords();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_TRUE(table->IsEmpty());
  EXPECT_EQ(table->RecordCount(), 0);
  EXPECT_EQ(table->Store().SlotCount(), 0);
  EXPECT_EQ(progress, (std::vector<int>{0, 100}));
  table->Append();
  table->FieldNamed("VarNo").SetAsInteger(9);
  table->Post();
  EXPECT_EQ(table->RecordCount(), 1);
}

TEST(FieldSettings, CopiedByNameThenAnnounced) {
  auto source = MakeSource(0);
  TField& from = source->FieldNamed("name");
  from.SetDisplayLabel("Variant name");
  from.SetReadOnly(true);
  from.SetRequired(true);
  from.SetVisible(false);
  from.SetDefaultExpression("none");
  from.SetEditMask("!>L");
  from.SetDisplayWidth(33);
  auto target = MakeDest();
  std::vector<std::string> announced;
  target->OnSetupFieldProperties = [&announced](TDataSet&, TField& field) { announced.push_back(field.FieldName()); };
  target->CopyFieldSettingsFrom(source.get(), target.get());
  const TField& to = target->FieldNamed("name");
  EXPECT_EQ(to.DisplayLabel(), "Variant name");
  EXPECT_TRUE(to.ReadOnly());
  EXPECT_TRUE(to.Required());
  EXPECT_FALSE(to.Visible());
  EXPECT_EQ(to.DefaultExpression(), "none");
  EXPECT_EQ(to.EditMask(), "!>L");
  EXPECT_EQ(to.DisplayWidth(), 33);
  // A field's own name is no label: the target keeps showing its own.
  EXPECT_EQ(target->FieldNamed("VarNo").DisplayLabel(), "VarNo");
  EXPECT_EQ(announced, (std::vector<std::string>{"VarNo", "name", "price"}));
  target->CopyFieldSettings(&from, nullptr);  // nothing to copy to
  EXPECT_EQ(announced.size(), 3u);
}

}  // namespace
}  // namespace ts
