// The filter program of a table or an index: a compiled expression buffer
// and its evaluator, and the table operations that compile, free and
// evaluate it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "table_store/dataset/mem_table.h"
#include "table_store/filter/filter_evaluator.h"
#include "table_store/indexes/index.h"

namespace ts {

class TFilterProgram final : public TRecordFilterProgram, public TIndexFilterExpr {
 public:
  explicit TFilterProgram(std::vector<uint8_t> buffer);
  const std::vector<uint8_t>& Buffer() const { return buffer_; }
  bool Accepts(TdvoCustomMemTable& table, TRecord* record) override;
  filter::TFilterEvaluator& Evaluator() const { return *evaluator_; }

 private:
  std::vector<uint8_t> buffer_;
  std::unique_ptr<filter::TFilterEvaluator> evaluator_;
};

// Frees the program, if any; the reference is empty afterwards.
void FreeFilterExpression(std::unique_ptr<TFilterProgram>& program);

// Frees the program, trims `text` (characters up to and including the
// blank at both ends) and, unless nothing is left, compiles it for `table`
// with `options` (foCaseInsensitive, foNoPartialCompare) and arithmetic
// allowed. A parse failure passes on and leaves no program.
void ParseFilterExpression(TdvoCustomMemTable& table, std::unique_ptr<TFilterProgram>& program,
                           std::string_view text, TFilterOptions options);

bool IsNullOrEmpty(const TValue& value);

// The value of one node (offset in the node area) for the record the
// table's fields read.
TValue EvaluateNode(const TFilterProgram& program, size_t node, TdvoCustomMemTable& table);
// The value of the root node.
TValue EvaluateExpression(TdvoCustomMemTable& table, const TFilterProgram& program);

// Reads the table's fields from `record` while the program runs (the
// previous override record comes back however it ends) and gives the
// result's truth value.
bool RecordMatchesExpression(TdvoCustomMemTable& table, TRecord* record, const TFilterProgram& program);

}  // namespace ts
