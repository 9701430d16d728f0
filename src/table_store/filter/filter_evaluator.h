// TFilterEvaluator: walks an expression buffer for one record of a table.
//
// Every node has one value slot, overwritten at each evaluation, so that a
// record is tested without allocating once the slots have their storage.
// A field reference remembers which field of which table its name found
// and checks that the field is still there under that name before it uses
// it again, so a table whose fields change is looked up afresh.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "table_store/filter/filter_format.h"
#include "table_store/filter/filter_plan.h"
#include "table_store/filter/filter_value.h"
#include "table_store/filter/text_case.h"

namespace ts {
class TDataSet;
class TField;
}  // namespace ts

namespace ts::filter {

// Reads a field's buffer form from the record being tested, as the field
// itself would; false when null. A table hands one out so that a filter does
// not find the record again for every field it reads.
class TFieldReader {
 public:
  virtual bool Read(const TField& field, void* buffer) = 0;
  // Where the field's buffer form lies whole in the record, with `present`
  // false for null; nullptr when it lies elsewhere and only Read gives it.
  virtual const uint8_t* Bytes(const TField& field, bool& present) = 0;

 protected:
  ~TFieldReader() = default;
};

class TFilterEvaluator {
 public:
  explicit TFilterEvaluator(const std::vector<uint8_t>& buffer);
  ~TFilterEvaluator();

  // The value of the node at `node` (offset in the node area). Field reads
  // go through `reader` when given, else through `table`; `localeId` gives
  // the upper-casing rules.
  const TFilterValue& Evaluate(TDataSet& table, uint32_t localeId, size_t node,
                               const TFilterFormat& format = DefaultFilterFormat(), TFieldReader* reader = nullptr);
  // The root's truth value for the record `reader` reads, through the
  // expression's plan (see TFilterPlan), into `result`; false when there is
  // no plan for it and the record is left to Evaluate.
  bool TestByPlan(TDataSet& table, uint32_t localeId, const TFilterFormat& format, TFieldReader& reader,
                  bool& result);
  // The plan TestByPlan used last, while it was for `format` and `localeId`:
  // the record after it needs no more than its Test.
  TFilterPlan* LastPlan(const TFilterFormat& format, uint32_t localeId) const {
    return planReady_ && planFormat_ == &format && upper_ != nullptr && upperLocale_ == localeId ? plan_.get()
                                                                                                : nullptr;
  }
  const TCaseMap& UpperMap() const { return *upper_; }

 private:
  friend class TFilterPlan;

  struct TSlot {
    // The node as the buffer holds it, read once.
    bool Decoded = false;
    uint32_t Kind = 0;
    uint32_t Op = 0;
    uint16_t W[4] = {};
    TFilterValue Value;
    bool ConstantReady = false;
    // Field references: where the name was last found.
    const TDataSet* Table = nullptr;
    int FieldIndex = -1;
    const TField* Field = nullptr;
    std::string FieldName;
    // List heads: the chain of list element nodes, and whether its value
    // is made of constants only and so never changes.
    std::vector<size_t> Chain;
    bool ChainReady = false;
    bool ListConstant = false;
    // Function calls: the name upper-cased under the map in use.
    std::string UpperName;
    const TCaseMap* UpperNameMap = nullptr;
    // In over a list of constants: each text element converted once for a
    // left side of InKind under InFormat; an empty value where the element
    // is not text or does not convert, so that it is compared as it is.
    std::vector<TFilterValue> InConverted;
    bool InReady = false;
    TValueKind InKind = TValueKind::Empty;
    const TFilterFormat* InFormat = nullptr;
    // Like: the last mask that was checked.
    std::string CheckedMask;
    bool MaskChecked = false;
  };

  const TFilterValue& Node(size_t node);
  TSlot& Decode(size_t node);
  void Field(TSlot& slot);
  void Constant(TSlot& slot);
  void Unary(TSlot& slot);
  void Binary(TSlot& slot);
  void Compare(TSlot& slot);
  void Function(TSlot& slot);
  void List(size_t node, TSlot& slot);
  bool In(const TFilterValue& left, const TFilterValue& right, TSlot& slot);
  // Whether the node's value, once evaluated, never changes.
  bool Steady(size_t node) const;
  bool Like(std::string_view text, std::string_view mask, TSlot& slot);
  // The value as text without copying a string value.
  std::string_view TextView(const TFilterValue& value, std::string& scratch) const;

  // Bounds-checked reads of the literal area.
  const char* LiteralText(size_t offset) const;
  const uint8_t* LiteralBytes(size_t offset, size_t size) const;
  [[noreturn]] void Damaged(size_t at) const;
  const TFilterFormat& Format() const { return *format_; }
  // The plan for the root, built for `table` when there is none that fits.
  TFilterPlan* PlanFor(TDataSet& table);

  const std::vector<uint8_t>& buffer_;
  size_t nodeAreaSize_ = 0;
  size_t literalStart_ = 0;
  std::vector<TSlot> slots_;
  TDataSet* table_ = nullptr;
  TFieldReader* reader_ = nullptr;
  const TFilterFormat* format_ = nullptr;
  const TCaseMap* upper_ = nullptr;
  uint32_t upperLocale_ = 0;
  int depth_ = 0;
  std::vector<uint8_t> fieldBuffer_;
  std::string left_, right_;
  // The plan, and what it was last built (or tried) for: a buffer without
  // one is not tried again for the same table and format.
  std::unique_ptr<TFilterPlan> plan_;
  bool planReady_ = false;
  const TDataSet* planTable_ = nullptr;
  const TFilterFormat* planFormat_ = nullptr;
};

}  // namespace ts::filter
