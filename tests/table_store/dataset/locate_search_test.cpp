// Finding records by key values: LocateRecord as the stations use it on
// VarNo, its options and scroll events, the search through a matching index
// and by scan, and LookupValue, which reads without moving.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tables.h"
#include "table_store/codepage.h"

namespace ts {
namespace {

// Rows of (subjid, VarNo, subjname); a negative VarNo stays null.
struct Variant {
  int subjid;
  int varNo;
  const char* name;
};

std::unique_ptr<TdvoMemTable> MakeVariants(const std::vector<Variant>& rows) {
  auto table = std::make_unique<TdvoMemTable>("complects");
  table->AddField<TIntegerField>("subjid");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TStringField>("subjname", 40);
  table->Open();
  for (const Variant& row : rows) {
    table->Append();
    table->FieldNamed("subjid").SetAsInteger(row.subjid);
    if (row.varNo >= 0) table->FieldNamed("VarNo").SetAsInteger(row.varNo);
    table->FieldNamed("subjname").SetAsString(row.name);
    table->Post();
  }
  table->First();
  return table;
}

std::string Name(TdvoMemTable& table) { return table.FieldNamed("subjname").AsString(); }

struct ScrollCounter {
  int before = 0;
  int after = 0;
  explicit ScrollCounter(TDataSet& table) {
    table.BeforeScroll = [this](TDataSet&) { ++before; };
    table.AfterScroll = [this](TDataSet&) { ++after; };
  }
};

TEST(LocateRecord, FindsTheFirstVariantAndScrollsOnceAMissStaysPut) {
  auto table = MakeVariants({{11, 2, "second"}, {11, 0, "zero first"}, {11, 1, "one"}, {11, 0, "zero again"}});
  ScrollCounter scrolls(*table);
  EXPECT_TRUE(table->LocateRecord("VarNo", TValue::Integer(0)));
  EXPECT_TRUE(table->Found());
  EXPECT_EQ(Name(*table), "zero first");
  EXPECT_EQ(table->RecNo(), 2);
  EXPECT_EQ(scrolls.before, 1);
  EXPECT_EQ(scrolls.after, 1);

  EXPECT_FALSE(table->LocateRecord("varno", TValue::Integer(7)));
  EXPECT_FALSE(table->Found());
  EXPECT_EQ(Name(*table), "zero first");
  EXPECT_EQ(scrolls.before, 2);
  EXPECT_EQ(scrolls.after, 1);
}

TEST(LocateRecord, KeysOptionsAndRefusedKeys) {
  auto table = MakeVariants({{1, 0, "Listening"}, {2, 0, "Reading"}, {2, 1, "Lis"}, {4, -1, "no variant"}});
  EXPECT_TRUE(table->LocateRecord("subjid;VarNo", TValue::Array({TValue::String("2"), TValue::Float(1.0)})));
  EXPECT_EQ(Name(*table), "Lis");
  EXPECT_FALSE(table->LocateRecord("subjname", TValue::String("reading")));
  EXPECT_TRUE(table->LocateRecord("subjname", TValue::String("reading"), loCaseInsensitive));
  EXPECT_EQ(Name(*table), "Reading");
  EXPECT_TRUE(table->LocateRecord("subjname", TValue::String("Lis"), loPartialKey));
  EXPECT_EQ(Name(*table), "Listening");
  EXPECT_TRUE(table->LocateRecord("VarNo", TValue::Null()));
  EXPECT_EQ(Name(*table), "no variant");

  ScrollCounter scrolls(*table);
  try {
    table->LocateRecord("subjid;VarNo", TValue::Array({TValue::Array({TValue::Integer(1)}), TValue::Integer(0)}));
    FAIL() << "a two-dimensional key was taken";
  } catch (const EMemTableError& error) {
    EXPECT_STREQ(error.what(), "Values variant array has invalid dimension count");
  }
  EXPECT_THROW(table->LocateRecord("subjid;VarNo", TValue::Integer(1)), EMemTableError);
  EXPECT_THROW(table->LocateRecord("nosuch", TValue::Integer(1)), EDatabaseError);
  EXPECT_THROW(table->LocateRecord("VarNo", TValue::String("not a number")), Exception);
  EXPECT_EQ(Name(*table), "no variant");
  EXPECT_EQ(scrolls.after, 0);
}

TEST(LocateRecord, PostsAPendingEditAndNeverFindsAHiddenRecord) {
  auto table = MakeVariants({{1, 0, "a"}, {2, 1, "b"}, {3, 0, "c"}});
  table->Edit();
  table->FieldNamed("VarNo").SetAsInteger(5);
  EXPECT_TRUE(table->LocateRecord("VarNo", TValue::Integer(5)));
  EXPECT_EQ(table->State(), dsBrowse);
  table->OnFilterRecord = [](TDataSet& ds, bool& accept) { accept = ds.FieldByName("subjid").AsInteger() != 1; };
  table->SetFiltered(true);
  EXPECT_FALSE(table->LocateRecord("VarNo", TValue::Integer(5)));
  EXPECT_TRUE(table->LocateRecord("VarNo", TValue::Integer(0)));
  EXPECT_EQ(Name(*table), "c");
}

TEST(LocateRecord, ThroughAMatchingIndexFindsTheFirstVisibleOfEqualKeys) {
  auto table = std::make_unique<TdvoMemTable>("t");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TIntegerField>("seq");
  table->IndexDefs().Add("byVar", "VarNo");
  table->SetEnableVersioning(true);
  table->Open();
  table->SetIndexName("byVar");
  for (int i = 0; i < 200; ++i) {  // enough for the index to be halved
    table->Append();
    table->FieldNamed("VarNo").SetAsInteger(i % 10);
    table->FieldNamed("seq").SetAsInteger(i);
    table->Post();
  }
  ASSERT_TRUE(table->LocateRecord("VarNo", TValue::Integer(7)));
  EXPECT_EQ(table->RecNo(), 141);  // the first of the twenty sevens
  table->Delete();                 // kept as a deleted version, hidden
  ASSERT_TRUE(table->LocateRecord("VarNo", TValue::Integer(7)));
  EXPECT_EQ(table->RecNo(), 142);
  EXPECT_EQ(table->FieldNamed("VarNo").AsInteger(), 7);
  EXPECT_FALSE(table->LocateRecord("VarNo", TValue::Integer(10)));
  // Other fields than the index's: a scan in the index's order.
  const int position = table->SearchKeyPosition("VarNo;seq", TValue::Array({TValue::Integer(3), TValue::Integer(43)}));
  ASSERT_GE(position, 60);
  ASSERT_LT(position, 80);
  EXPECT_TRUE(table->LocateRecord("seq", TValue::Integer(43)));
  EXPECT_EQ(table->RecNo(), position + 1);
}

TEST(LocateRecord, ACalculatedKeyIsComputedAgainForEachRecord) {
  auto table = std::make_unique<TdvoMemTable>("t");
  table->AddField<TIntegerField>("zone");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TIntegerField>("fullVar").SetFieldKind(fkCalculated);
  int perZone = 2;
  table->OnCalcFields = [&perZone](TDataSet& ds) {
    ds.FieldByName("fullVar").SetAsInteger(perZone * (ds.FieldByName("zone").AsInteger() - 1) +
                                           ds.FieldByName("VarNo").AsInteger());
  };
  table->Open();
  for (int zone = 1; zone <= 3; ++zone)
    for (int var = 0; var <= 1; ++var) table->AppendRecord({TValue::Integer(zone), TValue::Integer(var)});
  // The stored records hold values of the old rule.
  perZone = 10;
  ASSERT_TRUE(table->LocateRecord("fullVar", TValue::Integer(11)));
  EXPECT_TRUE(table->RecalcOnIndex());
  EXPECT_EQ(table->FieldNamed("zone").AsInteger(), 2);
  EXPECT_EQ(table->FieldNamed("VarNo").AsInteger(), 1);
  // A locate that reuses its parsed keys turns it on again all the same.
  table->SetRecalcOnIndex(false);
  ASSERT_TRUE(table->LocateRecord("fullVar", TValue::Integer(20)));
  EXPECT_TRUE(table->RecalcOnIndex());
}

// The kept key list and key record follow the key text, the options and the
// fields: alternating calls, and the same text after the fields changed.
TEST(LocateRecord, KeptKeysFollowTextOptionsAndFields) {
  auto table = MakeVariants({{1, 0, "Alpha"}, {2, 1, "beta"}, {3, 2, "alpha"}});
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(table->LocateRecord("subjname", TValue::String("ALPHA"), loCaseInsensitive));
    EXPECT_EQ(table->FieldNamed("subjid").AsInteger(), 1);
    EXPECT_FALSE(table->LocateRecord("subjname", TValue::String("ALPHA")));
    ASSERT_TRUE(table->LocateRecord("subjname", TValue::String("alp"), loPartialKey));
    EXPECT_EQ(table->FieldNamed("subjid").AsInteger(), 3);
    ASSERT_TRUE(table->LocateRecord("VarNo;subjname", TValue::Array({TValue::Integer(1), TValue::String("beta")})));
    EXPECT_THROW(table->LocateRecord("VarNo;subjname", TValue::Integer(1)), EMemTableError);
  }
  table->Close();
  table->DestroyFields();
  table->AddField<TStringField>("VarNo", 10);
  table->AddField<TIntegerField>("subjname");
  table->Open();
  table->AppendRecord({TValue::String("x"), TValue::Integer(7)});
  ASSERT_TRUE(table->LocateRecord("subjname", TValue::Integer(7)));
  EXPECT_EQ(table->FieldNamed("VarNo").AsString(), "x");
  // A field renamed while open: the kept key is the other field now.
  table->AppendRecord({TValue::String("7"), TValue::Integer(8)});
  table->FieldNamed("subjname").SetFieldName("Other");
  table->FieldNamed("VarNo").SetFieldName("subjname");
  ASSERT_TRUE(table->LocateRecord("subjname", TValue::String("7")));
  EXPECT_EQ(table->FieldNamed("Other").AsInteger(), 8);
}

TEST(LocateRecord, FieldNamesFoldCyrillicLettersToo) {
  // Field names in the code page, as a materials file brings them.
  const std::string field = Utf8ToCp1251("Поле");
  const std::string other = Utf8ToCp1251("ёжҐІЎЄЇЈЅЂЉ");
  TdvoMemTable table("t");
  table.AddField<TIntegerField>(field);
  table.AddField<TIntegerField>(other);
  table.Open();
  table.AppendRecord({TValue::Integer(1), TValue::Integer(10)});
  table.AppendRecord({TValue::Integer(2), TValue::Integer(20)});
  for (const char* spelling : {"ПОЛЕ", "поле", "пОлЕ"})
    EXPECT_EQ(&table.FieldNamed(Utf8ToCp1251(spelling)), &table.FieldNamed(field)) << spelling;
  EXPECT_EQ(&table.FieldNamed(Utf8ToCp1251("ЁЖґіўєїјѕђљ")), &table.FieldNamed(other));
  // Other letters stay apart.
  EXPECT_EQ(table.FindField(Utf8ToCp1251("Пола")), nullptr);
  EXPECT_TRUE(table.LocateRecord(Utf8ToCp1251("ПОЛЕ;ЁЖҐІЎЄЇЈЅЂЉ"),
                                 TValue::Array({TValue::Integer(2), TValue::Integer(20)})));
  EXPECT_EQ(table.FieldNamed(field).AsInteger(), 2);
}

TEST(LookupValue, ReadsTheRecordFoundWithoutMovingOrScrolling) {
  auto table = std::make_unique<TdvoMemTable>("t");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TStringField>("text", 30);  // out of line: read from the stored record
  table->AddField<TStringField>("label", 40).SetFieldKind(fkCalculated);
  table->OnCalcFields = [](TDataSet& ds) {
    ds.FieldByName("label").SetAsString("variant " + ds.FieldByName("VarNo").AsString());
  };
  table->SetPerformance(mtpfSmall);
  table->Open();
  for (int i = 0; i < 3; ++i)
    table->AppendRecord({TValue::Integer(i), TValue::String("a long text number " + std::to_string(i))});
  table->First();
  table->Next();
  ScrollCounter scrolls(*table);
  EXPECT_EQ(table->LookupValue("VarNo", TValue::Integer(2), "text"), TValue::String("a long text number 2"));
  EXPECT_EQ(table->LookupValue("VarNo", TValue::Integer(0), "label;VarNo"),
            TValue::Array({TValue::String("variant 0"), TValue::Integer(0)}));
  EXPECT_TRUE(table->Found());
  EXPECT_TRUE(table->LookupValue("VarNo", TValue::Integer(9), "text").IsNull());
  EXPECT_FALSE(table->Found());
  EXPECT_EQ(table->RecNo(), 2);
  EXPECT_EQ(table->FieldNamed("label").AsString(), "variant 1");
  EXPECT_EQ(scrolls.before + scrolls.after, 0);
  EXPECT_THROW(table->LookupValue("VarNo", TValue::Integer(9), "nosuch"), EDatabaseError);
}

}  // namespace
}  // namespace ts
