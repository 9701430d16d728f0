// When a table compiles and frees its filter, how the filter meets the
// rest of the visibility check, and an index that carries a filter of its
// own.
#include <gtest/gtest.h>

#include <algorithm>

#include "filter_tables.h"
#include "table_store/filter/filter_program.h"

namespace ts::testing {
namespace {

using Ids = std::vector<int>;

Ids ShownNow(TdvoMemTable& table) {
  Ids ids;
  for (table.First(); !table.Eof(); table.Next()) ids.push_back(table.FieldNamed("Id").AsInteger());
  return ids;
}

TEST(FilterProgramLife, TheTextIsCompiledWhenSetOnAnOpenTableAndWhenTheTableOpens) {
  auto table = MakePeople(People());
  EXPECT_FALSE(table->NeedsRecordCheck());
  table->SetFilter("  \t ");
  table->SetFiltered(true);
  EXPECT_EQ(table->FilterProgram(), nullptr);
  EXPECT_FALSE(table->NeedsRecordCheck());
  table->OnFilterRecord = [](TDataSet& ds, bool& accept) { accept = ds.FieldByName("Id").AsInteger() > 2; };
  EXPECT_EQ(ShownNow(*table), (Ids{3, 4, 5, 6}));
  table->OnFilterRecord = nullptr;

  // Options are read when the text is compiled, not when they change.
  table->SetFilter("Name = 'anna'");
  EXPECT_EQ(ShownNow(*table), Ids{});
  table->SetFilterOptions(foCaseInsensitive);
  EXPECT_EQ(ShownNow(*table), Ids{});
  table->SetFilter(table->Filter());
  EXPECT_EQ(ShownNow(*table), (Ids{1}));

  // Find applies the filter whether or not Filtered is on.
  table->SetFiltered(false);
  table->SetFilter("Zone = 3");
  ASSERT_TRUE(table->FindFirst());
  EXPECT_EQ(table->FieldNamed("Id").AsInteger(), 2);
  ASSERT_TRUE(table->FindNext());
  EXPECT_EQ(table->FieldNamed("Id").AsInteger(), 4);
  EXPECT_FALSE(table->FindNext());
  table->SetFiltered(true);

  // A text that does not compile leaves no program; switching Filtered on
  // again compiles it again.
  EXPECT_THROW(table->SetFilter("Zone >"), EDatabaseError);
  EXPECT_EQ(table->FilterProgram(), nullptr);
  table->SetFiltered(false);
  EXPECT_THROW(table->SetFiltered(true), EDatabaseError);

  // Set while closed, the text waits for Open; the first record shown is
  // one the filter accepts.
  auto closed = std::make_unique<TdvoMemTable>("closed");
  closed->AddField<TIntegerField>("Id");
  closed->SetFilter("Id > 1");
  closed->SetFiltered(true);
  closed->SetPersistent(false);
  closed->Open();
  for (int id : {1, 2, 3}) closed->AppendRecord({TValue::Integer(id)});
  EXPECT_EQ(closed->RecordCount(), 2);
  closed->Close();
  closed->Open();
  ASSERT_NE(closed->FilterProgram(), nullptr);
}

TEST(FilterProgramLife, FieldsFoundByNameAreFoundAgainWhenTheFieldsChange) {
  auto table = std::make_unique<TdvoMemTable>("defs");
  table->FieldDefs().Add("A", ftInteger, 0, false);
  table->FieldDefs().Add("B", ftInteger, 0, false);
  table->SetFilter("B = 2");
  table->SetFiltered(true);
  table->Open();
  table->AppendRecord({TValue::Integer(1), TValue::Integer(2)});
  table->AppendRecord({TValue::Integer(2), TValue::Integer(1)});
  EXPECT_EQ(table->RecordCount(), 1);
  table->Close();
  table->FieldDefs().Clear();
  table->FieldDefs().Add("B", ftInteger, 0, false);
  table->FieldDefs().Add("A", ftInteger, 0, false);
  table->Open();
  table->AppendRecord({TValue::Integer(2), TValue::Integer(7)});
  table->AppendRecord({TValue::Integer(3), TValue::Integer(2)});
  table->First();
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(table->FieldNamed("A").AsInteger(), 7);
  // Renamed while open: "B" is now the other field.
  table->FieldNamed("A").SetFieldName("C");
  table->FieldNamed("B").SetFieldName("A");
  table->FieldNamed("C").SetFieldName("B");
  table->First();
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(table->FieldNamed("A").AsInteger(), 3);
}

TEST(FilterRanges, TheRangeIsCheckedBeforeTheFilter) {
  auto table = MakePeople(People());
  table->Close();
  table->IndexDefs().Add("zone", "Zone");
  table->Open();
  for (const TPerson& p : People())
    table->AppendRecord({TValue::Integer(p.Id), TValue::Null(), TValue::Float(p.Score), TValue::Integer(p.Zone)});
  table->SetIndexName("zone");
  table->SetFilter("Score > 50");
  table->SetFiltered(true);
  table->SetRange(TValue::Integer(1), TValue::Integer(2));
  // Equal keys come in no set order.
  const auto sorted = [](Ids ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
  };
  EXPECT_EQ(sorted(ShownNow(*table)), (Ids{1, 3, 5}));
  table->SetFiltered(false);
  EXPECT_EQ(sorted(ShownNow(*table)), (Ids{1, 3, 5, 6}));
}

TEST(FilterValues, LargeIntsTimesAndDatesCompareWithTheirConstants) {
  auto table = MakePeople(People());
  table->First();
  table->Edit();
  table->FieldNamed("Big").SetAsLargeInt(int64_t{1} << 40);
  table->FieldNamed("At").SetAsString("10:30:00");
  table->FieldNamed("Small").SetAsInteger(-5);
  table->Post();
  EXPECT_EQ(Shown(*table, "Big > 1099511627775"), (Ids{1}));
  EXPECT_EQ(Shown(*table, "Big = 1099511627776 and Big - 1 < 1099511627776"), (Ids{1}));
  EXPECT_EQ(Shown(*table, "At = '10:30'"), (Ids{1}));
  EXPECT_EQ(Shown(*table, "Small in (-5, 7)"), (Ids{1}));
  EXPECT_EQ(Shown(*table, "Born >= '2001-05-03' and Born < '2010-01-01'"), (Ids{1, 5}));
  EXPECT_EQ(Shown(*table, "Score * 2 / 4 = 35 or Zone - 1 = 2"), (Ids{1, 2, 4}));
}

TEST(FilterIndexes, AnIndexWithAFilterHoldsOnlyTheRecordsItAccepts) {
  auto table = MakePeople(People());
  std::unique_ptr<TFilterProgram> program;
  ParseFilterExpression(*table, program, "Zone <> 2 and Score >= 60", 0);
  auto index = std::make_unique<TdvoIndex>("good", table.get(), "Score", 0, true, false);
  index->SetFilterExpr(std::move(program));
  TdvoIndex* good = table->Indexes().RegisterIndex(std::move(index));
  good->RebuildIndex();
  table->SelectIndex(good);
  EXPECT_EQ(ShownNow(*table), (Ids{5, 1, 4}));
  // Maintained: a record that comes to pass the filter joins the index.
  table->AppendRecord({TValue::Integer(7), TValue::String("Eve"), TValue::Float(65), TValue::Integer(3)});
  table->AppendRecord({TValue::Integer(8), TValue::String("Ed"), TValue::Float(65), TValue::Integer(2)});
  EXPECT_EQ(ShownNow(*table), (Ids{5, 7, 1, 4}));
  EXPECT_EQ(table->OverrideRecord(), nullptr);
}

}  // namespace
}  // namespace ts::testing
