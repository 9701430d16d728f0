// TFilterPlan: the expression buffer turned, once, into a form that tests a
// record without the tree walk's values: fields are found once, constants
// converted once to the kind they meet, values read from the record's bytes
// where they lie, and and/or skip their right side once their result is
// known (unless it compares a field the left side has read with a
// constant, which costs less than the branch).
//
// A plan exists only for expressions whose every node it can evaluate with
// the walk's exact result and without any error the walk could raise:
// comparisons, like, in over constants, is-null, not, and, or, and
// arithmetic on numbers, over number, Boolean, date, time and string
// fields. Such nodes never yield a blank value and never fail, so skipping
// the other side of an and/or changes nothing. Anything else (functions,
// text meeting numbers, division by a non-constant, currency and time stamp
// values ...) is left to the walk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "table_store/filter/text_case.h"

namespace ts {
class TDataSet;
class TField;
}  // namespace ts

namespace ts::filter {

class TFilterEvaluator;
class TFieldReader;

class TFilterPlan {
 public:
  // Builds the plan of the root of `evaluator`'s buffer for `table`; false
  // when the expression holds anything the plan leaves to the walk.
  bool Build(TFilterEvaluator& evaluator, TDataSet& table);
  // Whether the plan still fits `table`: the same fields at the same places
  // under the same names (checked only when the table's fields version has
  // moved on, as a rename moves it), none of them in OnValidate (there a
  // field reads the value being written, which only the field itself knows).
  bool Fits(const TDataSet& table);
  // The root's truth value for the record `reader` reads, into `result`;
  // false, leaving the record to the walk, when the plan does not fit.
  bool Test(const TDataSet& table, TFieldReader& reader, const TCaseMap& upper, bool& result);

 private:
  enum class TOp : uint8_t {
    // Numbers (and Booleans and date-times, which compare as numbers).
    NumField,
    NumConst,
    Arith,
    Negate,
    // Strings.
    StrField,
    StrConst,
    // Tests.
    CmpNum,
    CmpFieldConst,  // CmpNum of a field (A) with the constant Num
    CmpStr,
    EqualText,  // string compare node: case flag, partial length
    Like,
    InNum,
    InStr,
    IsBlank,
    NotBlank,
    Not,
    And,
    Or,
  };
  enum class TKind : uint8_t { Number, Date, Boolean, Text, Test };

  struct TNum {
    bool IsInt = false;
    int64_t I = 0;
    double D = 0;
  };

  struct TNode {
    TOp Op{};
    TKind Kind{};
    uint8_t Code = 0;   // operator code of compares and arithmetic
    uint8_t Outcomes = 0;  // comparisons: see OutcomesOf
    bool Case = false;  // EqualText: case-insensitive
    bool Eager = false;  // And, Or: both sides always taken
    uint16_t Partial = 0;
    int A = -1, B = -1;  // operand nodes
    int Field = -1;      // index into fields_
    TNum Num;            // NumConst, CmpFieldConst
    int Extra = -1;      // index into extras_
  };
  // What few nodes hold beyond the above, kept apart so that the nodes
  // every record goes through stay small.
  struct TExtra {
    std::string Text;                // StrConst, Like mask
    std::vector<TNum> Nums;          // InNum
    std::vector<std::string> Texts;  // InStr
  };

  struct TPlanField {
    const TField* Field = nullptr;
    int Index = -1;
    std::string Name;
    int Type = 0;
    size_t Size = 0;  // DataSize
    std::vector<uint8_t> Buffer;  // where a value kept elsewhere is read to
    // The value read for the record under test, when Read is `read_`.
    uint32_t Read = 0;
    bool Present = false;
    TNum Num;
    std::string_view Text;
  };

  int Add(TNode node);
  TExtra& ExtraOf(TNode& node);
  const TExtra& ExtraOf(const TNode& node) const { return extras_[static_cast<size_t>(node.Extra)]; }
  int Node(size_t at, int depth);
  int FieldNode(size_t at);
  int ConstantNode(size_t at);
  bool Numeric(int node) const;
  // A node that tests the opposite of `node`.
  int Negation(int node);

  const uint8_t* Bytes(TPlanField& field, bool& present);
  bool FieldsStillFit(const TDataSet& table);
  // The field's value for the record under test, read once per record.
  TPlanField& Load(int field);
  void Fetch(TPlanField& field);
  bool Num(int node, TNum& out);
  bool Str(int node, std::string_view& out);
  bool Truth(int node);
  bool Operand(int node);

  TFilterEvaluator* evaluator_ = nullptr;
  TDataSet* table_ = nullptr;
  const TDataSet* builtFor_ = nullptr;
  std::vector<TNode> nodes_;
  std::vector<TExtra> extras_;
  uint64_t fieldsVersion_ = 0;
  std::vector<TPlanField> fields_;
  int root_ = -1;
  TFieldReader* reader_ = nullptr;
  uint32_t read_ = 0;
  const TCaseMap* upper_ = nullptr;
};

}  // namespace ts::filter
