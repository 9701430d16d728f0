// Which records the view shows: nothing checked when nothing restricts it,
// the status filter and deleted versions, ranges over index fields, a
// master/detail restriction, OnFilterRecord and a compiled filter, and the
// record count and number over what is shown.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tables.h"

namespace ts {
namespace {

// Fields a and b (integers) and an index "ab" over both.
std::unique_ptr<TdvoMemTable> MakePairs(const std::vector<std::pair<int, int>>& rows, bool versioning = false) {
  auto table = std::make_unique<TdvoMemTable>("pairs");
  table->AddField<TIntegerField>("a");
  table->AddField<TIntegerField>("b");
  table->IndexDefs().Add("ab", "a;b");
  table->SetEnableVersioning(versioning);
  table->Open();
  for (const auto& [a, b] : rows) {
    table->Append();
    table->FieldNamed("a").SetAsInteger(a);
    if (b >= 0) table->FieldNamed("b").SetAsInteger(b);  // a negative b stays null
    table->Post();
  }
  table->First();
  return table;
}

// The (a, b) pairs the view shows, in order; a null b reads -1.
std::vector<std::pair<int, int>> Shown(TdvoMemTable& table) {
  std::vector<std::pair<int, int>> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    const TField& b = table.FieldNamed("b");
    rows.emplace_back(table.FieldNamed("a").AsInteger(), b.IsNull() ? -1 : b.AsInteger());
  }
  return rows;
}

using Rows = std::vector<std::pair<int, int>>;

TEST(Visibility, NothingIsCheckedWhileNothingRestrictsTheView) {
  auto table = MakePairs({{1, 1}, {2, 2}, {3, 3}});
  int calls = 0;
  table->OnFilterRecord = [&calls](TDataSet&, bool& accept) {
    ++calls;
    accept = false;
  };
  EXPECT_FALSE(table->NeedsRecordCheck());
  EXPECT_EQ(table->RecordCount(), 3);
  EXPECT_EQ(Shown(*table).size(), 3u);
  EXPECT_EQ(calls, 0);
  // Filtered without a handler or a compiled filter hides nothing either.
  table->OnFilterRecord = nullptr;
  table->SetFiltered(true);
  EXPECT_FALSE(table->NeedsRecordCheck());
  EXPECT_EQ(table->RecordCount(), 3);
}

TEST(Visibility, DeletedVersionsAreHiddenUnlessTheStatusFilterAsksForThem) {
  auto table = MakePairs({{1, 1}, {2, 2}, {3, 3}}, true);
  table->Next();
  table->Delete();
  EXPECT_TRUE(table->NeedsRecordCheck());
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_EQ(Shown(*table), (Rows{{1, 1}, {3, 3}}));

  table->SetStatusFilter(StatusBit(rsDeleted));
  EXPECT_EQ(table->FieldNamed("a").AsInteger(), 2);  // moved to the first record shown
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(table->UpdateStatus(), rsDeleted);

  // Records added under versioning count as inserted.
  table->SetStatusFilter(StatusBit(rsInserted) | StatusBit(rsDeleted));
  EXPECT_EQ(table->RecordCount(), 3);
  table->SetStatusFilter(StatusBit(rsInserted));
  EXPECT_EQ(Shown(*table), (Rows{{1, 1}, {3, 3}}));
  table->SetStatusFilter(StatusBit(rsUnmodified));
  EXPECT_EQ(table->RecordCount(), 0);

  table->SetStatusFilter(0);
  EXPECT_EQ(Shown(*table), (Rows{{1, 1}, {3, 3}}));
}

TEST(Visibility, ARangeBoundsEachIndexFieldOnItsOwn) {
  auto table = MakePairs({{2, 3}, {2, 7}, {1, 5}, {3, 9}, {0, 7}, {4, 6}, {2, -1}, {3, 10}, {1, 4}});
  table->SetIndexName("ab");
  table->SetRange(TValue::Array({TValue::Integer(1), TValue::Integer(5)}),
                  TValue::Array({TValue::Integer(3), TValue::Integer(9)}));
  EXPECT_TRUE(table->RangeActive());
  EXPECT_TRUE(table->NeedsRecordCheck());
  // (2, 3) lies between the two keys in key order, but its b is below 5.
  EXPECT_EQ(Shown(*table), (Rows{{1, 5}, {2, 7}, {3, 9}}));
  EXPECT_EQ(table->RecordCount(), 3);

  // A null (or missing) limit leaves that end of its field open.
  table->SetRange(TValue::Array({TValue::Integer(1), TValue::Null()}), TValue::Array({TValue::Integer(2)}));
  EXPECT_EQ(Shown(*table), (Rows{{1, 4}, {1, 5}, {2, -1}, {2, 3}, {2, 7}}));
  table->SetRange(TValue::Integer(3), TValue::Null());
  EXPECT_EQ(Shown(*table), (Rows{{3, 9}, {3, 10}, {4, 6}}));

  // Switched off the range keeps its keys; cancelled it is gone.
  table->SetRangeActive(false);
  EXPECT_EQ(table->RecordCount(), 9);
  table->SetRangeActive(true);
  EXPECT_EQ(table->RecordCount(), 3);
  table->CancelRange();
  EXPECT_FALSE(table->HasRange());
  table->SetRangeActive(true);
  EXPECT_FALSE(table->RangeActive());
  EXPECT_EQ(table->RecordCount(), 9);
}

TEST(Visibility, ARangeNeedsAnOpenTableAndIndexFields) {
  auto table = MakePairs({{1, 1}});
  try {
    table->SetRange(TValue::Integer(1), TValue::Integer(2));  // the row order has no fields
    FAIL() << "a range over no fields was set";
  } catch (const EMemTableError& error) {
    EXPECT_STREQ(error.what(), "A range needs a current index with key fields");
  }
  table->SetIndexName("ab");
  EXPECT_THROW(table->SetRange(TValue::Array({TValue::Integer(1), TValue::Integer(1), TValue::Integer(1)}),
                               TValue::Integer(2)),
               EMemTableError);
  EXPECT_THROW(table->SetRange(TValue::Array({TValue::Array({TValue::Integer(1)})}), TValue::Integer(2)),
               EMemTableError);
  EXPECT_FALSE(table->HasRange());
  table->SetRange(TValue::Integer(5), TValue::Integer(6));
  EXPECT_EQ(table->RecordCount(), 0);
  // Closing drops the range with the records.
  table->Close();
  EXPECT_FALSE(table->HasRange());
  EXPECT_THROW(table->SetRange(TValue::Integer(1), TValue::Integer(2)), EDatabaseError);
}

TEST(Visibility, RangeAndRestrictionComeBeforeOnFilterRecordAndTheCompiledFilter) {
  struct EvenB : TRecordFilterProgram {
    int calls = 0;
    bool Accepts(TdvoCustomMemTable& table) override {
      ++calls;
      return table.FieldNamed("b").AsInteger() % 2 == 0;
    }
  };
  auto table = MakePairs({{1, 1}, {1, 2}, {2, 3}, {2, 4}, {3, 5}, {3, 6}});
  table->SetIndexName("ab");
  auto program = std::make_unique<EvenB>();
  EvenB* filter = program.get();
  table->SetFilterProgram(std::move(program));
  EXPECT_FALSE(table->NeedsRecordCheck());  // not Filtered yet
  EXPECT_EQ(table->RecordCount(), 6);

  std::vector<int> seen;
  table->OnFilterRecord = [&seen](TDataSet& ds, bool& accept) {
    seen.push_back(ds.FieldByName("b").AsInteger());
    accept = ds.FieldByName("b").AsInteger() != 4;
  };
  table->SetFiltered(true);
  table->SetRange(TValue::Integer(2), TValue::Integer(3));
  seen.clear();
  filter->calls = 0;
  EXPECT_EQ(Shown(*table), (Rows{{3, 6}}));
  // Only records inside the range reach the handler, and only those it
  // accepts reach the compiled filter.
  for (int b : seen) EXPECT_GE(b, 3);
  EXPECT_EQ(filter->calls, 3);  // b = 3, 5, 6
}

// A table held to a master's current key values, as a master link does.
class DetailTable : public TdvoCustomMemTable {
 public:
  using TdvoCustomMemTable::TdvoCustomMemTable;
  ~DetailTable() override { Restrict(nullptr, 0); }
  // Shows the records whose fields hold `values` (none: every record).
  void Restrict(const TdvoFieldList* fields, int fieldCount, const std::vector<int>& values = {}) {
    if (key_ != nullptr) Store().FreeRecord(key_, true, false);
    key_ = nullptr;
    if (fields == nullptr && fieldCount == 0) return;
    key_ = Store().AllocRecord();
    const TdvoFieldList& list = fields != nullptr ? *fields : IndexFieldList();
    for (size_t i = 0; i < values.size(); ++i)
      SetFieldVariant(key_, static_cast<TField&>(*list.FieldAt(static_cast<int>(i))), TValue::Integer(values[i]));
    restriction_ = {fields, fieldCount, key_};
  }
  const TMasterRestriction* MasterRestriction() const override { return key_ ? &restriction_ : nullptr; }

 private:
  TRecord* key_ = nullptr;
  TMasterRestriction restriction_;
};

TEST(Visibility, AMasterRestrictionShowsTheRecordsOfTheMastersKey) {
  DetailTable table("detail");
  table.AddField<TIntegerField>("master");
  table.AddField<TIntegerField>("line");
  table.IndexDefs().Add("byMaster", "master;line");
  table.Open();
  for (int master = 1; master <= 3; ++master)
    for (int line = 1; line <= 2; ++line) {
      table.Append();
      table.FieldNamed("master").SetAsInteger(master);
      table.FieldNamed("line").SetAsInteger(line);
      table.Post();
    }
  TdvoFieldList detail;
  detail.AddField(&table.FieldNamed("master"), 0);
  table.Restrict(&detail, 1, {2});
  EXPECT_TRUE(table.NeedsRecordCheck());
  EXPECT_EQ(table.RecordCount(), 2);
  table.First();
  EXPECT_EQ(table.FieldNamed("master").AsInteger(), 2);

  // Without detail fields the current index's fields take the values, as
  // far as the link's field count goes.
  table.SetIndexName("byMaster");
  table.Restrict(nullptr, 2, {3, 1});
  EXPECT_EQ(table.RecordCount(), 1);
  table.Restrict(nullptr, 1, {3, 1});
  EXPECT_EQ(table.RecordCount(), 2);
  // With neither detail nor index fields there is nothing to hold to.
  table.SetIndexName("");
  EXPECT_FALSE(table.NeedsRecordCheck());
  EXPECT_EQ(table.RecordCount(), 6);
  table.Restrict(nullptr, 0);
}

TEST(Visibility, RecalcOnIndexComputesCalculatedFieldsBeforeTheTest) {
  auto table = std::make_unique<TdvoMemTable>("t");
  table->AddField<TIntegerField>("n");
  TField& calc = table->AddField<TIntegerField>("square");
  calc.SetFieldKind(fkCalculated);
  int calcs = 0;
  table->OnCalcFields = [&calcs](TDataSet& ds) {
    ++calcs;
    const int n = ds.FieldByName("n").AsInteger();
    ds.FieldByName("square").SetAsInteger(n * n);
  };
  table->SetRecalcOnFetch(false);
  table->Open();
  for (int n = 1; n <= 4; ++n) {
    table->Append();
    table->FieldNamed("n").SetAsInteger(n);
    table->Post();
  }
  table->OnFilterRecord = [](TDataSet& ds, bool& accept) { accept = ds.FieldByName("square").AsInteger() > 4; };
  table->SetFiltered(true);
  table->SetRecalcOnIndex(true);
  calcs = 0;
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_EQ(calcs, 4);
}

TEST(RecordNumber, MovesOverShownRecordsAndIgnoresNumbersOutside) {
  auto table = MakePairs({});
  EXPECT_EQ(table->RecNo(), -1);
  EXPECT_TRUE(table->IsSequenced());
  table = MakePairs({{1, 1}, {2, 2}, {3, 3}, {4, 4}});
  int scrolls = 0;
  table->AfterScroll = [&scrolls](TDataSet&) { ++scrolls; };
  table->SetRecNo(3);
  EXPECT_EQ(table->FieldNamed("a").AsInteger(), 3);
  EXPECT_EQ(table->RecNo(), 3);
  EXPECT_EQ(scrolls, 1);
  for (int n : {0, -1, 5, 3}) table->SetRecNo(n);
  EXPECT_EQ(table->RecNo(), 3);
  EXPECT_EQ(scrolls, 1);
  table->SetRecNo(1);
  EXPECT_EQ(table->FieldNamed("a").AsInteger(), 1);
  table->SetFiltered(true);
  EXPECT_FALSE(table->IsSequenced());
}

TEST(RecordNumber, CountingAClosedTableIsRefused) {
  auto table = MakePairs({{1, 1}});
  table->Close();
  try {
    table->RecordCount();
    FAIL() << "a closed table was counted";
  } catch (const EDatabaseError& error) {
    EXPECT_STREQ(error.what(), "pairs: Cannot perform this operation on a closed dataset");
  }
}

}  // namespace
}  // namespace ts
