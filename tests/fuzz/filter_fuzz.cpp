// Fuzz target: the filter-text parser and the evaluator. The first byte
// gives the filter options (bit 0 case-insensitive, bit 1 no partial
// compare); the rest is the filter text, set on an open, filtered table of
// every common field kind with null and non-null values. Compiling and
// counting may fail only with one of the table store's exceptions, and must
// leave the table as it was (no override record, browse state, a program
// exactly when the text compiled). A crash, a hang, a leak or any other
// exception is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "table_store/dataset/datetime_fields.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"
#include "table_store/errors.h"
#include "table_store/filter/filter_program.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::unique_ptr<ts::TdvoMemTable> MakeTable() {
  auto table = std::make_unique<ts::TdvoMemTable>("fuzz");
  table->AddField<ts::TIntegerField>("Id");
  table->AddField<ts::TStringField>("Name", 20);
  table->AddField<ts::TFloatField>("Score");
  table->AddField<ts::TDateField>("Born");
  table->AddField<ts::TBooleanField>("Active");
  table->AddField<ts::TSmallintField>("Small");
  table->AddField<ts::TLargeintField>("Big");
  table->AddField<ts::TTimeField>("At");
  table->AddField<ts::TCurrencyField>("Money");
  table->Open();
  table->AppendRecord({ts::TValue::Integer(1), ts::TValue::String("Anna"), ts::TValue::Float(70.5),
                       ts::TValue::String("2001-05-03"), ts::TValue::Boolean(true), ts::TValue::Integer(-3),
                       ts::TValue::Integer(int64_t{1} << 40), ts::TValue::String("10:30:00"),
                       ts::TValue::Float(2.25)});
  table->AppendRecord({ts::TValue::Integer(2), ts::TValue::String("b*[x]"), ts::TValue::Float(-1),
                       ts::TValue::String("1899-12-30"), ts::TValue::Boolean(false)});
  table->AppendRecord({ts::TValue::Integer(3)});
  return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static std::unique_ptr<ts::TdvoMemTable> table = MakeTable();
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  table->SetFiltered(false);
  table->SetFilterOptions(static_cast<ts::TFilterOptions>(data[0] & 3));
  bool compiled = true;
  try {
    table->SetFilter(text);
  } catch (const ts::Exception&) {
    compiled = false;
  }
  Check(compiled || table->FilterProgram() == nullptr);
  try {
    table->SetFiltered(true);
    const int count = table->RecordCount();
    Check(count >= 0 && count <= 3);
  } catch (const ts::Exception&) {
  }
  Check(table->OverrideRecord() == nullptr);
  Check(table->State() == ts::dsBrowse);
  // Each record evaluated directly, as an index filter evaluates it.
  if (const auto* program = dynamic_cast<const ts::TFilterProgram*>(table->FilterProgram())) {
    for (table->SetFiltered(false), table->First(); !table->Eof(); table->Next()) {
      try {
        ts::EvaluateExpression(*table, *program);
      } catch (const ts::Exception&) {
      }
    }
  }
  Check(table->OverrideRecord() == nullptr);
  return 0;
}
