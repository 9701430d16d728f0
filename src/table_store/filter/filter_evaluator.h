// TFilterEvaluator: walks an expression buffer for one record of a table.
//
// Every node has one value slot, overwritten at each evaluation, so that a
// record is tested without allocating once the slots have their storage.
// A field reference remembers which field of which table its name found
// and checks that the field is still there under that name before it uses
// it again, so a table whose fields change is looked up afresh.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "table_store/filter/filter_format.h"
#include "table_store/filter/filter_value.h"
#include "table_store/filter/text_case.h"

namespace ts {
class TDataSet;
class TField;
}  // namespace ts

namespace ts::filter {

class TFilterEvaluator {
 public:
  explicit TFilterEvaluator(const std::vector<uint8_t>& buffer);

  // The value of the node at `node` (offset in the node area). Field reads
  // go through `table`; `localeId` gives the upper-casing rules.
  const TFilterValue& Evaluate(TDataSet& table, uint32_t localeId, size_t node,
                               const TFilterFormat& format = DefaultFilterFormat());

 private:
  struct TSlot {
    TFilterValue Value;
    bool ConstantReady = false;
    // Field references: where the name was last found.
    const TDataSet* Table = nullptr;
    int FieldIndex = -1;
    const TField* Field = nullptr;
    std::string FieldName;
    // List heads: the chain of list element nodes.
    std::vector<size_t> Chain;
    bool ChainReady = false;
    // Like: the last mask that was checked.
    std::string CheckedMask;
    bool MaskChecked = false;
  };

  const TFilterValue& Node(size_t node);
  void Field(size_t node, TSlot& slot);
  void Constant(size_t node, TSlot& slot);
  void Unary(size_t node, TSlot& slot);
  void Binary(size_t node, TSlot& slot);
  void Compare(size_t node, TSlot& slot);
  void Function(size_t node, TSlot& slot);
  void List(size_t node, TSlot& slot);
  bool Like(const std::string& text, const std::string& mask, TSlot& slot);

  // Bounds-checked reads of the node area and the literal area.
  uint16_t Word(size_t node, size_t index) const;
  const char* LiteralText(size_t offset) const;
  const uint8_t* LiteralBytes(size_t offset, size_t size) const;
  [[noreturn]] void Damaged(size_t at) const;

  const std::vector<uint8_t>& buffer_;
  size_t nodeAreaSize_ = 0;
  size_t literalStart_ = 0;
  std::vector<TSlot> slots_;
  TDataSet* table_ = nullptr;
  const TFilterFormat* format_ = nullptr;
  const TCaseMap* upper_ = nullptr;
  uint32_t upperLocale_ = 0;
  int depth_ = 0;
  std::vector<uint8_t> fieldBuffer_;
  std::string left_, right_;
};

}  // namespace ts::filter
