// Tables the dataset tests share: the station's answers table and a
// materials-like table with blob fields, and what an action raises.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"
#include "table_store/errors.h"

namespace ts::testing {

// Strings a1 to a6 of `answerSize` and VarNo of 20, as persistent fields.
inline std::unique_ptr<TdvoMemTable> MakeAnswers(int answerSize = 1500) {
  auto table = std::make_unique<TdvoMemTable>("answers");
  for (int i = 1; i <= 6; ++i) table->AddField<TStringField>("a" + std::to_string(i), answerSize);
  table->AddField<TStringField>("VarNo", 20);
  return table;
}

// A few materials fields: integers, a string and blobs.
inline std::unique_ptr<TdvoMemTable> MakeMaterials() {
  auto table = std::make_unique<TdvoMemTable>("complects");
  table->AddField<TIntegerField>("subjid");
  table->AddField<TStringField>("subjname", 255);
  table->AddField<TIntegerField>("VarNo");
  table->AddField<TBlobField>("Intro");
  table->AddField<TBlobField>("Audio");
  table->AddField<TMemoField>("answer1");
  return table;
}

// Appends a record with `id` and, in "memo", "memo <id>".
inline void AppendIdRow(TDataSet& table, int id) {
  table.Append();
  table.FieldByName("id").SetAsInteger(id);
  table.FieldByName("memo").SetAsString("memo " + std::to_string(id));
  table.Post();
}

// The values of the integer field the view shows, in its order: "1,2".
inline std::string IdsOf(TDataSet& table, std::string_view field = "id") {
  std::string ids;
  for (table.First(); !table.Eof(); table.Next())
    ids += (ids.empty() ? "" : ",") + std::to_string(table.FieldByName(field).AsInteger());
  return ids;
}

// The class and message of what `action` raises, or "no error".
inline std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& error) {
    return std::string(error.ClassName()) + ": " + error.Message();
  }
  return "no error";
}

}  // namespace ts::testing
