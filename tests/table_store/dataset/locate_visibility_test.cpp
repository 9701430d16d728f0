// Which records the view shows: nothing checked when nothing restricts it,
// the status filter and deleted versions, ranges over index fields, a
// master/detail restriction, the order of the checks, and the record count
// and number over what is shown.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tables.h"

namespace ts {
namespace {

using Rows = std::vector<std::pair<int, int>>;

// Fields a and b (integers; a negative b stays null) and an index "ab".
std::unique_ptr<TdvoMemTable> MakePairs(const Rows& rows, bool versioning = false) {
  auto table = std::make_unique<TdvoMemTable>("pairs");
  table->AddField<TIntegerField>("a");
  table->AddField<TIntegerField>("b");
  table->IndexDefs().Add("ab", "a;b");
  table->SetEnableVersioning(versioning);
  table->Open();
  for (const auto& [a, b] : rows)
    table->AppendRecord({TValue::Integer(a), b >= 0 ? TValue::Integer(b) : TValue::Null()});
  table->First();
  return table;
}

// The (a, b) pairs the view shows, in order; a null b reads -1.
Rows Shown(TdvoMemTable& table) {
  Rows rows;
  for (table.First(); !table.Eof(); table.Next()) {
    const TField& b = table.FieldNamed("b");
    rows.emplace_back(table.FieldNamed("a").AsInteger(), b.IsNull() ? -1 : b.AsInteger());
  }
  return rows;
}

TEST(Visibility, NothingIsCheckedWhileNothingRestrictsTheView) {
  auto table = MakePairs({{1, 1}, {2, 2}, {3, 3}});
  int calls = 0;
  table->OnFilterRecord = [&calls](TDataSet&, bool& accept) { accept = ++calls < 0; };
  EXPECT_FALSE(table->NeedsRecordCheck());
  EXPECT_EQ(table->RecordCount(), 3);
  EXPECT_EQ(Shown(*table).size(), 3u);
  EXPECT_EQ(calls, 0);
  table->OnFilterRecord = nullptr;
  table->SetFiltered(true);  // with nothing to filter by
  EXPECT_FALSE(table->NeedsRecordCheck());
  EXPECT_EQ(table->RecordCount(), 3);
}

TEST(Visibility, DeletedVersionsAreHiddenUnlessTheStatusFilterAsksForThem) {
  auto table = MakePairs({{1, 1}, {2, 2}, {3, 3}}, true);
  table->Next();
  table->Delete();
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_EQ(Shown(*table), (Rows{{1, 1}, {3, 3}}));
  table->SetStatusFilter(StatusBit(rsDeleted));
  EXPECT_EQ(table->FieldNamed("a").AsInteger(), 2);  // moved to the first record shown
  EXPECT_EQ(table->RecordCount(), 1);
  // Records added under versioning count as inserted.
  table->SetStatusFilter(StatusBit(rsInserted) | StatusBit(rsDeleted));
  EXPECT_EQ(table->RecordCount(), 3);
  table->SetStatusFilter(0);
  EXPECT_EQ(Shown(*table), (Rows{{1, 1}, {3, 3}}));
}

TEST(Visibility, ARangeBoundsEachIndexFieldOnItsOwn) {
  auto table = MakePairs({{2, 3}, {2, 7}, {1, 5}, {3, 9}, {0, 7}, {4, 6}, {2, -1}, {3, 10}, {1, 4}});
  try {
    table->SetRange(TValue::Integer(1), TValue::Integer(2));  // the row order has no fields
    FAIL() << "a range over no fields was set";
  } catch (const EMemTableError& error) {
    EXPECT_STREQ(error.what(), "A range needs a current index with key fields");
  }
  table->SetIndexName("ab");
  table->SetRange(TValue::Array({TValue::Integer(1), TValue::Integer(5)}),
                  TValue::Array({TValue::Integer(3), TValue::Integer(9)}));
  // (2, 3) lies between the keys in key order, but its b is below 5.
  EXPECT_EQ(Shown(*table), (Rows{{1, 5}, {2, 7}, {3, 9}}));
  EXPECT_EQ(table->RecordCount(), 3);
  // A null or missing limit leaves that end of its field open.
  table->SetRange(TValue::Array({TValue::Integer(1), TValue::Null()}), TValue::Array({TValue::Integer(2)}));
  EXPECT_EQ(Shown(*table), (Rows{{1, 4}, {1, 5}, {2, -1}, {2, 3}, {2, 7}}));
  EXPECT_THROW(table->SetRange(TValue::Array({TValue::Integer(1), TValue::Integer(1), TValue::Integer(1)}),
                               TValue::Integer(2)),
               EMemTableError);
  // Switched off, the range keeps its keys; cancelled or closed, it is gone.
  table->SetRangeActive(false);
  EXPECT_EQ(table->RecordCount(), 9);
  table->SetRangeActive(true);
  EXPECT_EQ(table->RecordCount(), 5);
  table->CancelRange();
  table->SetRangeActive(true);
  EXPECT_EQ(table->RecordCount(), 9);
  table->SetRange(TValue::Integer(5), TValue::Integer(6));
  table->Close();
  EXPECT_FALSE(table->HasRange());
}

TEST(Visibility, ChecksRunRangeFirstThenOnFilterRecordThenTheCompiledFilter) {
  struct EvenB : TRecordFilterProgram {
    int calls = 0;
    bool Accepts(TdvoCustomMemTable& table, TRecord*) override {
      ++calls;
      return table.FieldNamed("b").AsInteger() % 2 == 0;
    }
  };
  auto table = MakePairs({{1, 1}, {1, 2}, {2, 3}, {2, 4}, {3, 5}, {3, 6}});
  table->SetIndexName("ab");
  auto program = std::make_unique<EvenB>();
  EvenB* filter = program.get();
  table->SetFilterProgram(std::move(program));
  EXPECT_EQ(table->RecordCount(), 6);  // not Filtered
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
  EXPECT_EQ(seen, (std::vector<int>{3, 4, 5, 6}));
  EXPECT_EQ(filter->calls, 3);
}

// A table held to a master's key values, as a master link holds it.
class DetailTable : public TdvoCustomMemTable {
 public:
  using TdvoCustomMemTable::TdvoCustomMemTable;
  ~DetailTable() override { Restrict(nullptr, 0, {}); }
  // Only records whose fields hold `values`; no values: every record.
  void Restrict(const TdvoFieldList* fields, int fieldCount, const std::vector<int>& values) {
    Store().FreeRecord(key_, true, false);
    key_ = nullptr;
    if (values.empty()) return;
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
    for (int line = 1; line <= 2; ++line) table.AppendRecord({TValue::Integer(master), TValue::Integer(line)});
  TdvoFieldList detail;
  detail.AddField(&table.FieldNamed("master"), 0);
  table.Restrict(&detail, 1, {2});
  EXPECT_EQ(table.RecordCount(), 2);
  table.First();
  EXPECT_EQ(table.FieldNamed("master").AsInteger(), 2);
  // Without detail fields the index's fields take the values, as far as
  // the link's field count goes; without either there is nothing to hold to.
  table.SetIndexName("byMaster");
  table.Restrict(nullptr, 2, {3, 1});
  EXPECT_EQ(table.RecordCount(), 1);
  table.Restrict(nullptr, 1, {3, 1});
  EXPECT_EQ(table.RecordCount(), 2);
  table.SetIndexName("");
  EXPECT_EQ(table.RecordCount(), 6);
}

TEST(RecordNumber, MovesOverShownRecordsAndIgnoresNumbersOutside) {
  auto table = MakePairs({});
  EXPECT_EQ(table->RecNo(), -1);
  table = MakePairs({{1, 1}, {2, 2}, {3, 3}, {4, 4}});
  int scrolls = 0;
  table->AfterScroll = [&scrolls](TDataSet&) { ++scrolls; };
  table->SetRecNo(3);
  EXPECT_EQ(table->FieldNamed("a").AsInteger(), 3);
  for (int n : {0, -1, 5, 3}) table->SetRecNo(n);
  EXPECT_EQ(table->RecNo(), 3);
  EXPECT_EQ(scrolls, 1);
  EXPECT_TRUE(table->IsSequenced());
  table->SetFiltered(true);
  EXPECT_FALSE(table->IsSequenced());
}

}  // namespace
}  // namespace ts
