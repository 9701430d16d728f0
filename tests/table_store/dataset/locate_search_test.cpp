// Finding records by key values: LocateRecord as the stations use it on
// VarNo, its options and scroll events, the search through a matching index
// and by scan, and LookupValue, which reads without moving.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tables.h"

namespace ts {
namespace {

// Variants as the materials table holds them: (subjid, VarNo, subjname).
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
    table->FieldNamed("VarNo").SetAsInteger(row.varNo);
    table->FieldNamed("subjname").SetAsString(row.name);
    table->Post();
  }
  table->First();
  return table;
}

struct ScrollCounter {
  int before = 0;
  int after = 0;
  explicit ScrollCounter(TDataSet& table) {
    table.BeforeScroll = [this](TDataSet&) { ++before; };
    table.AfterScroll = [this](TDataSet&) { ++after; };
  }
};

TEST(LocateRecord, FindsTheFirstVariantInRowOrderAndScrollsOnce) {
  auto table = MakeVariants({{11, 2, "second"}, {11, 0, "zero first"}, {11, 1, "one"}, {11, 0, "zero again"}});
  ScrollCounter scrolls(*table);
  EXPECT_TRUE(table->LocateRecord("VarNo", TValue::Integer(0)));
  EXPECT_TRUE(table->Found());
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "zero first");
  EXPECT_EQ(table->RecNo(), 2);
  EXPECT_EQ(scrolls.before, 1);
  EXPECT_EQ(scrolls.after, 1);
  // Field names are matched without regard to case, as the stations write them.
  EXPECT_TRUE(table->LocateRecord("varno", TValue::Integer(1)));
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "one");
}

TEST(LocateRecord, AMissLeavesTheCursorAndFiresOnlyBeforeScroll) {
  auto table = MakeVariants({{11, 0, "a"}, {11, 1, "b"}, {11, 2, "c"}});
  table->Next();
  ScrollCounter scrolls(*table);
  EXPECT_FALSE(table->LocateRecord("VarNo", TValue::Integer(7)));
  EXPECT_FALSE(table->Found());
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "b");
  EXPECT_EQ(scrolls.before, 1);
  EXPECT_EQ(scrolls.after, 0);
}

TEST(LocateRecord, FollowsTheOrderOfTheCurrentIndex) {
  auto table = MakeVariants({{3, 0, "subject 3"}, {1, 0, "subject 1"}, {2, 0, "subject 2"}});
  table->Close();
  table->IndexDefs().Add("bySubject", "subjid");
  table->SetIndexName("bySubject");
  table->Open();
  for (const Variant& row : {Variant{3, 0, "subject 3"}, Variant{1, 0, "subject 1"}, Variant{2, 0, "subject 2"}}) {
    table->Append();
    table->FieldNamed("subjid").SetAsInteger(row.subjid);
    table->FieldNamed("VarNo").SetAsInteger(row.varNo);
    table->FieldNamed("subjname").SetAsString(row.name);
    table->Post();
  }
  // The first record in the index's order, not the first one added.
  EXPECT_TRUE(table->LocateRecord("VarNo", TValue::Integer(0)));
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "subject 1");
}

TEST(LocateRecord, SeveralFieldsTakeAnArrayOfValues) {
  auto table = MakeVariants({{1, 0, "a"}, {2, 0, "b"}, {2, 1, "c"}});
  EXPECT_TRUE(table->LocateRecord("subjid;VarNo", TValue::Array({TValue::Integer(2), TValue::Integer(1)})));
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "c");
  // Values arrive in any kind the field can take.
  EXPECT_TRUE(table->LocateRecord("subjid;VarNo", TValue::Array({TValue::String("2"), TValue::Float(0.0)})));
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "b");
  EXPECT_FALSE(table->LocateRecord("subjid;VarNo", TValue::Array({TValue::Integer(1), TValue::Integer(1)})));
}

TEST(LocateRecord, TextOptionsAndNullKeys) {
  auto table = MakeVariants({{1, 0, "Listening"}, {2, 0, "Reading"}, {3, 0, "Lis"}});
  table->Append();
  table->FieldNamed("subjid").SetAsInteger(4);
  table->Post();  // no name, no variant
  EXPECT_FALSE(table->LocateRecord("subjname", TValue::String("reading")));
  EXPECT_TRUE(table->LocateRecord("subjname", TValue::String("reading"), loCaseInsensitive));
  EXPECT_EQ(table->FieldNamed("subjid").AsInteger(), 2);
  EXPECT_TRUE(table->LocateRecord("subjname", TValue::String("Lis")));
  EXPECT_EQ(table->FieldNamed("subjid").AsInteger(), 3);
  EXPECT_TRUE(table->LocateRecord("subjname", TValue::String("Lis"), loPartialKey));
  EXPECT_EQ(table->FieldNamed("subjid").AsInteger(), 1);
  EXPECT_TRUE(table->LocateRecord("subjname", TValue::String("read"), loPartialKey | loCaseInsensitive));
  EXPECT_EQ(table->FieldNamed("subjid").AsInteger(), 2);
  // A null key finds the record whose field is null.
  EXPECT_TRUE(table->LocateRecord("VarNo", TValue::Null()));
  EXPECT_EQ(table->FieldNamed("subjid").AsInteger(), 4);
}

TEST(LocateRecord, BadKeysAreRefused) {
  auto table = MakeVariants({{1, 0, "a"}});
  ScrollCounter scrolls(*table);
  try {
    table->LocateRecord("subjid;VarNo", TValue::Array({TValue::Array({TValue::Integer(1)}), TValue::Integer(0)}));
    FAIL() << "a two-dimensional key was taken";
  } catch (const EMemTableError& error) {
    EXPECT_STREQ(error.what(), "Values variant array has invalid dimension count");
  }
  EXPECT_THROW(table->LocateRecord("subjid;VarNo", TValue::Integer(1)), EMemTableError);  // more fields than values
  EXPECT_THROW(table->LocateRecord("nosuch", TValue::Integer(1)), EDatabaseError);
  EXPECT_THROW(table->LocateRecord("VarNo", TValue::String("not a number")), Exception);
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "a");
  EXPECT_EQ(scrolls.after, 0);
  table->Close();
  EXPECT_THROW(table->LocateRecord("VarNo", TValue::Integer(0)), EDatabaseError);
}

TEST(LocateRecord, PostsAPendingEditAndSkipsHiddenRecords) {
  auto table = MakeVariants({{1, 0, "a"}, {2, 1, "b"}, {3, 0, "c"}});
  table->Edit();
  table->FieldNamed("VarNo").SetAsInteger(5);
  EXPECT_TRUE(table->LocateRecord("VarNo", TValue::Integer(5)));
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "a");
  // A record the view hides is never found.
  table->SetFiltered(true);
  table->OnFilterRecord = [](TDataSet& ds, bool& accept) { accept = ds.FindField("subjid")->AsInteger() != 1; };
  table->First();
  EXPECT_FALSE(table->LocateRecord("VarNo", TValue::Integer(5)));
  EXPECT_TRUE(table->LocateRecord("VarNo", TValue::Integer(0)));
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "c");
}

// The 1-based number, in the current order, of the first visible record
// whose integer field holds `value`; 0 when there is none.
int FirstNumberWith(TdvoMemTable& table, const char* field, int value) {
  for (table.First(); !table.Eof(); table.Next())
    if (table.FieldNamed(field).AsInteger() == value) return table.RecNo();
  return 0;
}

TEST(LocateRecord, ThroughAMatchingIndexFindsTheFirstVisibleOfEqualKeys) {
  auto table = std::make_unique<TdvoMemTable>("t");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TIntegerField>("seq");
  table->IndexDefs().Add("byVar", "VarNo");
  table->SetEnableVersioning(true);
  table->Open();
  table->SetIndexName("byVar");
  // Enough records for the index to be searched by halving.
  for (int i = 0; i < 200; ++i) {
    table->Append();
    table->FieldNamed("VarNo").SetAsInteger(i % 10);
    table->FieldNamed("seq").SetAsInteger(i);
    table->Post();
  }
  const int first = FirstNumberWith(*table, "VarNo", 7);
  ASSERT_EQ(first, 141);
  ASSERT_TRUE(table->LocateRecord("VarNo", TValue::Integer(7)));
  EXPECT_EQ(table->RecNo(), first);
  table->Delete();  // kept as a deleted version, hidden
  ASSERT_TRUE(table->LocateRecord("VarNo", TValue::Integer(7)));
  EXPECT_EQ(table->RecNo(), first + 1);
  EXPECT_EQ(table->FieldNamed("VarNo").AsInteger(), 7);
  EXPECT_FALSE(table->LocateRecord("VarNo", TValue::Integer(10)));
  EXPECT_EQ(table->SearchKeyPosition("VarNo", TValue::Integer(3)), 60);
  // Keys over other fields than the index's are found by a scan in the
  // index's order.
  const int seq43 = FirstNumberWith(*table, "seq", 43);
  EXPECT_EQ(table->SearchKeyPosition("VarNo;seq", TValue::Array({TValue::Integer(3), TValue::Integer(43)})),
            seq43 - 1);
}

TEST(LocateRecord, ACalculatedKeyIsComputedForEachRecord) {
  auto table = std::make_unique<TdvoMemTable>("t");
  table->AddField<TIntegerField>("zone");
  table->AddField<TIntegerField>("VarNo");
  TField& calc = table->AddField<TIntegerField>("fullVar");
  calc.SetFieldKind(fkCalculated);
  int perZone = 2;
  table->OnCalcFields = [&perZone](TDataSet& ds) {
    ds.FieldByName("fullVar").SetAsInteger(perZone * (ds.FieldByName("zone").AsInteger() - 1) +
                                           ds.FieldByName("VarNo").AsInteger());
  };
  table->Open();
  for (int zone = 1; zone <= 3; ++zone)
    for (int var = 0; var <= 1; ++var) {
      table->Append();
      table->FieldNamed("zone").SetAsInteger(zone);
      table->FieldNamed("VarNo").SetAsInteger(var);
      table->Post();
    }
  // The stored records carry values of the old rule; only computing them
  // again finds zone 2, variant 1 under the new one.
  perZone = 10;
  EXPECT_FALSE(table->RecalcOnIndex());
  ASSERT_TRUE(table->LocateRecord("fullVar", TValue::Integer(11)));
  EXPECT_TRUE(table->RecalcOnIndex());
  EXPECT_EQ(table->FieldNamed("zone").AsInteger(), 2);
  EXPECT_EQ(table->FieldNamed("VarNo").AsInteger(), 1);
}

TEST(LookupValue, ReadsWithoutMovingOrScrolling) {
  auto table = MakeVariants({{11, 0, "zero"}, {12, 1, "one"}, {13, 2, "two"}});
  table->Next();
  ScrollCounter scrolls(*table);
  EXPECT_EQ(table->LookupValue("VarNo", TValue::Integer(2), "subjname"), TValue::String("two"));
  EXPECT_TRUE(table->Found());
  const TValue both = table->LookupValue("VarNo", TValue::Integer(0), "subjid;subjname");
  ASSERT_EQ(both.ArrayLength(), 2);
  EXPECT_EQ(both[0], TValue::Integer(11));
  EXPECT_EQ(both[1], TValue::String("zero"));
  EXPECT_TRUE(table->LookupValue("VarNo", TValue::Integer(9), "subjname").IsNull());
  EXPECT_FALSE(table->Found());
  EXPECT_EQ(table->FieldNamed("subjname").AsString(), "one");
  EXPECT_EQ(table->RecNo(), 2);
  EXPECT_EQ(scrolls.before, 0);
  EXPECT_EQ(scrolls.after, 0);
  EXPECT_THROW(table->LookupValue("VarNo", TValue::Integer(9), "nosuch"), EDatabaseError);
}

TEST(LookupValue, ComputesTheCalculatedFieldsOfTheRecordFound) {
  auto table = std::make_unique<TdvoMemTable>("t");
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TStringField>("text", 30);  // out of line: read from the stored record
  TField& calc = table->AddField<TStringField>("label", 40);
  calc.SetFieldKind(fkCalculated);
  table->OnCalcFields = [](TDataSet& ds) {
    ds.FieldByName("label").SetAsString("variant " + ds.FieldByName("VarNo").AsString());
  };
  table->SetPerformance(mtpfSmall);
  table->Open();
  for (int i = 0; i < 3; ++i) {
    table->Append();
    table->FieldNamed("VarNo").SetAsInteger(i);
    table->FieldNamed("text").SetAsString("a long text number " + std::to_string(i));
    table->Post();
  }
  table->First();
  EXPECT_EQ(table->LookupValue("VarNo", TValue::Integer(2), "label;text"),
            TValue::Array({TValue::String("variant 2"), TValue::String("a long text number 2")}));
  EXPECT_EQ(table->FieldNamed("label").AsString(), "variant 0");
}

}  // namespace
}  // namespace ts
