#include "table_store/filter/filter_program.h"

#include "table_store/dataset/field.h"
#include "table_store/filter/filter_parser.h"

namespace ts {

namespace {

TValue ToValue(const filter::TFilterValue& v) {
  switch (v.Kind) {
    case TValueKind::Empty: return TValue();
    case TValueKind::Null: return TValue::Null();
    case TValueKind::Boolean: return TValue::Boolean(v.Bool);
    case TValueKind::Integer: return TValue::Integer(v.Int);
    case TValueKind::Float: return TValue::Float(v.Real);
    case TValueKind::Currency: return TValue::Currency(v.Int);
    case TValueKind::DateTime: return TValue::DateTime(v.Real);
    case TValueKind::String: return TValue::String(v.Text);
    case TValueKind::SQLTimeStamp: return TValue::TimeStamp(v.Stamp);
    case TValueKind::Array: {
      std::vector<TValue> elements;
      elements.reserve(v.Elements.size());
      for (const auto& element : v.Elements) elements.push_back(ToValue(element));
      return TValue::Array(std::move(elements));
    }
  }
  return TValue();
}

class TOverrideScope {
 public:
  TOverrideScope(TdvoCustomMemTable& table, TRecord* record) : table_(table), saved_(table.OverrideRecord()) {
    table_.SetOverrideRecord(record);
  }
  ~TOverrideScope() { table_.SetOverrideRecord(saved_); }
  TOverrideScope(const TOverrideScope&) = delete;
  TOverrideScope& operator=(const TOverrideScope&) = delete;

 private:
  TdvoCustomMemTable& table_;
  TRecord* saved_;
};

const filter::TFilterValue& Run(const TFilterProgram& program, size_t node, TdvoCustomMemTable& table) {
  return program.Evaluator().Evaluate(table, static_cast<uint32_t>(table.LocaleID()), node);
}

class TRecordReader final : public filter::TFieldReader {
 public:
  TRecordReader(TdvoCustomMemTable& table, const TRecord* record) : table_(table), record_(record) {}
  bool Read(const TField& field, void* buffer) override { return table_.ReadRecordField(record_, field, buffer); }
  const uint8_t* Bytes(const TField& field, bool& present) override {
    return table_.RecordFieldBytes(record_, field, present);
  }

 private:
  TdvoCustomMemTable& table_;
  const TRecord* record_;
};

}  // namespace

TFilterProgram::TFilterProgram(std::vector<uint8_t> buffer)
    : buffer_(std::move(buffer)), evaluator_(std::make_unique<filter::TFilterEvaluator>(buffer_)) {}

bool TFilterProgram::Accepts(TdvoCustomMemTable& table, TRecord* record) {
  return RecordMatchesExpression(table, record, *this);
}

void FreeFilterExpression(std::unique_ptr<TFilterProgram>& program) { program.reset(); }

void ParseFilterExpression(TdvoCustomMemTable& table, std::unique_ptr<TFilterProgram>& program,
                           std::string_view text, TFilterOptions options) {
  FreeFilterExpression(program);
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  if (text.empty()) return;
  const filter::TFieldTypeOf fieldType = [&table](std::string_view name) {
    const TField& field = table.FieldByName(name);
    return filter::TFieldRef{field.DataType(), field.FieldNo()};
  };
  uint8_t flags = 0;
  if (options & foCaseInsensitive) flags |= filter::kCaseInsensitive;
  if (options & foNoPartialCompare) flags |= filter::kNoPartialCompare;
  program = std::make_unique<TFilterProgram>(
      filter::CompileFilterText(text, flags, true, fieldType, filter::DefaultFilterFormat()));
}

bool IsNullOrEmpty(const TValue& value) { return value.IsBlank(); }

TValue EvaluateNode(const TFilterProgram& program, size_t node, TdvoCustomMemTable& table) {
  return ToValue(Run(program, node, table));
}

TValue EvaluateExpression(TdvoCustomMemTable& table, const TFilterProgram& program) {
  return EvaluateNode(program, 0, table);
}

bool RecordMatchesExpression(TdvoCustomMemTable& table, TRecord* record, const TFilterProgram& program) {
  // One hold of the lock for every field the program reads, straight from
  // the record: the table would take it and find the record again per field.
  const TdvoCommon& store = table.IndexStore();
  TLockGuard guard(store.Lock());
  if (record != nullptr && table.IndexTableOpen()) {
    TRecordReader reader(table, record);
    const auto locale = static_cast<uint32_t>(store.LocaleIDLocked());
    static const filter::TFilterFormat& format = filter::DefaultFilterFormat();
    // The plan reads nothing through the table, so the record need not
    // stand in for the table's own.
    bool accepted = false;
    filter::TFilterEvaluator& evaluator = program.Evaluator();
    if (filter::TFilterPlan* plan = evaluator.LastPlan(format, locale);
        plan != nullptr && plan->Test(table, reader, evaluator.UpperMap(), accepted))
      return accepted;
    if (evaluator.TestByPlan(table, locale, format, reader, accepted)) return accepted;
    TOverrideScope scope(table, record);
    return filter::TruthOf(program.Evaluator().Evaluate(table, locale, 0, format, &reader));
  }
  TOverrideScope scope(table, record);
  return filter::TruthOf(Run(program, 0, table));
}

}  // namespace ts
