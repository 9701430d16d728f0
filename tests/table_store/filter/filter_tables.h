// The table the filter tests run against, and helpers that filter it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "table_store/codepage.h"
#include "table_store/dataset/datetime_fields.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace ts::testing {

struct TPerson {
  int Id;
  const char* Name;  // UTF-8; nullptr for null
  double Score;
  int Zone;
  const char* Born;  // "yyyy-mm-dd"; nullptr for null
  int Active;        // 0, 1; -1 for null
};

// Id, Name String(20), Score Float, Zone Integer, Born Date, Active
// Boolean, Small SmallInt, Big LargeInt, At Time (Small, Big and At stay
// null unless a test writes them).
inline std::unique_ptr<TdvoMemTable> MakePeople(const std::vector<TPerson>& rows) {
  auto table = std::make_unique<TdvoMemTable>("people");
  table->AddField<TIntegerField>("Id");
  table->AddField<TStringField>("Name", 20);
  table->AddField<TFloatField>("Score");
  table->AddField<TIntegerField>("Zone");
  table->AddField<TDateField>("Born");
  table->AddField<TBooleanField>("Active");
  table->AddField<TSmallintField>("Small");
  table->AddField<TLargeintField>("Big");
  table->AddField<TTimeField>("At");
  table->Open();
  for (const TPerson& row : rows) {
    table->Append();
    table->FieldNamed("Id").SetAsInteger(row.Id);
    if (row.Name != nullptr) table->FieldNamed("Name").SetAsString(Utf8ToCp1251(row.Name));
    table->FieldNamed("Score").SetAsFloat(row.Score);
    table->FieldNamed("Zone").SetAsInteger(row.Zone);
    if (row.Born != nullptr) table->FieldNamed("Born").SetAsString(row.Born);
    if (row.Active >= 0) table->FieldNamed("Active").SetAsBoolean(row.Active != 0);
    table->Post();
  }
  return table;
}

inline std::vector<TPerson> People() {
  return {
      {1, "Anna", 70, 1, "2001-05-03", 1},  {2, "anton", 40, 3, "1999-12-31", 0},
      {3, "Boris", 55, 2, nullptr, 1},      {4, nullptr, 90, 3, "2010-01-01", -1},
      {5, "Анна", 60, 1, "2001-07-15", 0},  {6, "ab*", 10, 2, "1980-02-29", 1},
  };
}

// The Ids the table shows with `filter` in force.
inline std::vector<int> Shown(TdvoMemTable& table, const std::string& filter, TFilterOptions options = 0) {
  table.SetFiltered(false);
  table.SetFilterOptions(options);
  table.SetFilter(filter);
  table.SetFiltered(true);
  std::vector<int> ids;
  for (table.First(); !table.Eof(); table.Next()) ids.push_back(table.FieldNamed("Id").AsInteger());
  return ids;
}

}  // namespace ts::testing
