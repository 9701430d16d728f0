#include "table_store/filter/filter_plan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "table_store/dataset/dataset.h"
#include "table_store/dataset/field.h"
#include "table_store/dataset/field_text.h"
#include "table_store/filter/filter_buffer.h"
#include "table_store/filter/filter_evaluator.h"
#include "table_store/filter/like_mask.h"
#include "table_store/scalar_bytes.h"

namespace ts::filter {

namespace {

// Deeper than this is left to the walk, which has its own limit and error.
constexpr int kMaxPlanDepth = 200;

// The outcomes (less, equal, greater: bits 0, 1, 2) for which a comparison
// operator holds, so that a result picks its answer without a branch.
uint8_t OutcomesOf(uint8_t op) {
  switch (op) {
    case opEqual: return 0b010;
    case opNotEqual: return 0b101;
    case opGreater: return 0b100;
    case opLess: return 0b001;
    case opGreaterOrEqual: return 0b110;
    default: return 0b011;
  }
}

inline bool Holds(uint8_t outcomes, int r) { return (outcomes >> (r + 1)) & 1; }

// A field compared with a constant also answers for a null field (bit 3,
// clear from OutcomesOf: a comparison with null does not hold), so that its
// negation is a comparison too, every bit flipped.
inline bool FieldHolds(uint8_t outcomes, bool present, int r) { return (outcomes >> (present ? r + 1 : 3)) & 1; }

}  // namespace

TFilterPlan::TExtra& TFilterPlan::ExtraOf(TNode& node) {
  if (node.Extra < 0) {
    extras_.emplace_back();
    node.Extra = static_cast<int>(extras_.size()) - 1;
  }
  return extras_[static_cast<size_t>(node.Extra)];
}

int TFilterPlan::Add(TNode node) {
  nodes_.push_back(std::move(node));
  return static_cast<int>(nodes_.size()) - 1;
}

bool TFilterPlan::Numeric(int node) const {
  const TKind kind = nodes_[node].Kind;
  return kind == TKind::Number || kind == TKind::Date || kind == TKind::Boolean;
}

bool TFilterPlan::Build(TFilterEvaluator& evaluator, TDataSet& table) {
  evaluator_ = &evaluator;
  table_ = &table;
  builtFor_ = nullptr;
  nodes_.clear();
  extras_.clear();
  fields_.clear();
  fieldsVersion_ = table.FieldsVersion();
  root_ = Node(0, 0);
  if (root_ < 0 || nodes_[root_].Kind != TKind::Test) return false;
  builtFor_ = &table;
  return true;
}

bool TFilterPlan::Fits(const TDataSet& table) {
  if (&table != builtFor_) return false;
  if (table.FieldsVersion() != fieldsVersion_ && !FieldsStillFit(table)) return false;
  for (const TPlanField& f : fields_)
    if (f.Field->IsValidating()) return false;
  return true;
}

bool TFilterPlan::FieldsStillFit(const TDataSet& table) {
  // The fields changed or were renamed: the plan holds while its own are
  // where they were under the names it found them by.
  for (const TPlanField& f : fields_)
    if (f.Index >= table.FieldCount() || &table.Field(f.Index) != f.Field || f.Field->FieldName() != f.Name)
      return false;
  fieldsVersion_ = table.FieldsVersion();
  return true;
}

int TFilterPlan::FieldNode(size_t at) {
  const auto& slot = evaluator_->Decode(at);
  if ((slot.Op & 0xFF) != opField) return -1;
  TField& field = table_->FieldByName(evaluator_->LiteralText(slot.W[1]));
  if (field.IsBlob()) return -1;
  TNode node;
  const int type = field.DataType();
  switch (type) {
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
    case ftLargeint:
    case ftFloat: node.Op = TOp::NumField, node.Kind = TKind::Number; break;
    case ftBoolean: node.Op = TOp::NumField, node.Kind = TKind::Boolean; break;
    case ftDate:
    case ftTime:
    case ftDateTime: node.Op = TOp::NumField, node.Kind = TKind::Date; break;
    case ftString:
    case ftFixedChar: node.Op = TOp::StrField, node.Kind = TKind::Text; break;
    default: return -1;
  }
  int index = -1;
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].Field == &field) index = static_cast<int>(i);
  if (index < 0) {
    TPlanField f;
    f.Field = &field;
    f.Index = table_->IndexOfField(&field);
    f.Name = field.FieldName();
    f.Type = type;
    f.Size = static_cast<size_t>(std::max(field.DataSize(), 0));
    f.Buffer.assign(f.Size + 1, 0);
    fields_.push_back(std::move(f));
    index = static_cast<int>(fields_.size()) - 1;
  }
  node.Field = index;
  return Add(std::move(node));
}

int TFilterPlan::ConstantNode(size_t at) {
  const TFilterValue& v = evaluator_->Node(at);
  TNode node;
  node.Op = TOp::NumConst;
  switch (v.Kind) {
    case TValueKind::Integer: node.Kind = TKind::Number, node.Num.IsInt = true, node.Num.I = v.Int; break;
    case TValueKind::Float: node.Kind = TKind::Number, node.Num.D = v.Real; break;
    case TValueKind::DateTime: node.Kind = TKind::Date, node.Num.D = v.Real; break;
    case TValueKind::Boolean: node.Kind = TKind::Boolean, node.Num.D = v.Bool ? 1 : 0; break;
    case TValueKind::String: node.Op = TOp::StrConst, node.Kind = TKind::Text, ExtraOf(node).Text = v.Text; break;
    default: return -1;
  }
  return Add(std::move(node));
}

int TFilterPlan::Node(size_t at, int depth) {
  if (depth > kMaxPlanDepth) return -1;
  const TFilterEvaluator::TSlot& slot = evaluator_->Decode(at);
  const uint8_t op = static_cast<uint8_t>(slot.Op & 0xFF);
  switch (slot.Kind) {
    case nkField: return FieldNode(at);
    case nkConstant: return ConstantNode(at);
    case nkUnary: {
      const int a = Node(slot.W[0], depth + 1);
      if (a < 0) return -1;
      TNode node;
      node.A = a;
      node.Kind = TKind::Test;
      switch (op) {
        case opIsBlank: node.Op = TOp::IsBlank; break;
        case opNotBlank: node.Op = TOp::NotBlank; break;
        case opNot:
          if (nodes_[a].Kind != TKind::Test) return -1;
          return Negation(a);
        case opNegate:
          if (nodes_[a].Kind != TKind::Number) return -1;
          node.Op = TOp::Negate, node.Kind = TKind::Number;
          break;
        default: return -1;
      }
      return Add(std::move(node));
    }
    case nkCompare: {
      if (op != opEqual && op != opNotEqual && op != opLike) return -1;
      const int a = Node(slot.W[2], depth + 1);
      const int b = a < 0 ? -1 : Node(slot.W[3], depth + 1);
      if (b < 0 || nodes_[a].Kind != TKind::Text || nodes_[b].Kind != TKind::Text) return -1;
      TNode node;
      node.Kind = TKind::Test;
      node.A = a, node.B = b;
      if (op == opLike) {
        if (nodes_[b].Op != TOp::StrConst) return -1;
        CheckMask(ExtraOf(nodes_[b]).Text);
        node.Op = TOp::Like, node.Extra = nodes_[b].Extra;
      } else {
        node.Op = TOp::EqualText, node.Code = op, node.Case = slot.W[0] == 1, node.Partial = slot.W[1];
      }
      return Add(std::move(node));
    }
    case nkBinary: break;
    default: return -1;
  }
  const int a = Node(slot.W[0], depth + 1);
  if (a < 0) return -1;
  TNode node;
  node.A = a;
  node.Code = op;
  node.Kind = TKind::Test;
  if (op == opIn) {
    // Over constants only: their value is known now, the last element's
    // text converted as the walk converts it to meet the left side.
    const size_t list = slot.W[1];
    if (list == 0 || evaluator_->Decode(list).Kind != nkListElement) return -1;
    const TFilterValue& right = evaluator_->Node(list);
    if (!evaluator_->Steady(list)) return -1;
    const TKind left = nodes_[a].Kind;
    if (left != TKind::Number && left != TKind::Date && left != TKind::Text) return -1;
    const bool array = right.Kind == TValueKind::Array;
    const TFilterValue* elements = array ? right.Elements.data() : &right;
    const size_t count = array ? right.Elements.size() : 1;
    node.Op = left == TKind::Text ? TOp::InStr : TOp::InNum;
    for (size_t i = 0; i < count; ++i) {
      const TFilterValue* e = &elements[i];
      if (array && e->Kind == TValueKind::Empty) break;
      if (array && e->IsBlank()) continue;
      if (left == TKind::Text) {
        if (e->Kind != TValueKind::String) return -1;
        ExtraOf(node).Texts.push_back(e->Text);
        continue;
      }
      TFilterValue converted;
      if (e->Kind == TValueKind::String) {
        ConvertTextFor(*e, left == TKind::Date ? TValueKind::DateTime : TValueKind::Float, evaluator_->Format(),
                       converted);
        e = &converted;
      }
      TNum n;
      switch (e->Kind) {
        case TValueKind::Integer: n.IsInt = true, n.I = e->Int; break;
        case TValueKind::Float:
        case TValueKind::DateTime: n.D = e->Real; break;
        case TValueKind::Boolean: n.D = e->Bool ? 1 : 0; break;
        default: return -1;
      }
      ExtraOf(node).Nums.push_back(n);
    }
    return Add(std::move(node));
  }
  int b = Node(slot.W[1], depth + 1);
  if (b < 0) return -1;
  node.B = b;
  switch (op) {
    case opEqual:
    case opNotEqual:
    case opGreater:
    case opLess:
    case opGreaterOrEqual:
    case opLessOrEqual: {
      if (nodes_[a].Kind == TKind::Text && nodes_[b].Kind == TKind::Text) {
        node.Op = TOp::CmpStr;
        node.Outcomes = OutcomesOf(node.Code);
        return Add(std::move(node));
      }
      // A text constant meeting a number or a date is converted now, as the
      // walk would convert it for every record.
      for (int* side : {&node.A, &node.B}) {
        const int other = side == &node.A ? node.B : node.A;
        if (nodes_[*side].Op != TOp::StrConst || !Numeric(other) || nodes_[other].Kind == TKind::Boolean) continue;
        TFilterValue text, converted;
        text.SetText(ExtraOf(nodes_[*side]).Text);
        ConvertTextFor(text, nodes_[other].Kind == TKind::Date ? TValueKind::DateTime : TValueKind::Float,
                       evaluator_->Format(), converted);
        TNode c;
        c.Op = TOp::NumConst;
        c.Kind = nodes_[other].Kind;
        if (converted.Kind == TValueKind::Integer)
          c.Num.IsInt = true, c.Num.I = converted.Int;
        else if (converted.Kind == TValueKind::Float || converted.Kind == TValueKind::DateTime)
          c.Num.D = converted.Real;
        else
          return -1;
        *side = Add(std::move(c));
      }
      if (!Numeric(node.A) || !Numeric(node.B)) return -1;
      node.Op = TOp::CmpNum;
      node.Outcomes = OutcomesOf(node.Code);
      if (nodes_[node.A].Op == TOp::NumField && nodes_[node.B].Op == TOp::NumConst) {
        node.Op = TOp::CmpFieldConst;
        node.Field = nodes_[node.A].Field;
        node.Num = nodes_[node.B].Num;
      }
      return Add(std::move(node));
    }
    case opAnd:
    case opOr:
      if (nodes_[a].Kind != TKind::Test || nodes_[b].Kind != TKind::Test) return -1;
      node.Op = op == opAnd ? TOp::And : TOp::Or;
      // Both sides taken when the right one compares a field the left one
      // reads already with a constant.
      if (nodes_[b].Op == TOp::CmpFieldConst) {
        const int field = nodes_[b].Field;
        std::vector<int> todo{a};
        while (!todo.empty() && !node.Eager) {
          const TNode& at = nodes_[static_cast<size_t>(todo.back())];
          todo.pop_back();
          node.Eager = at.Field == field && (at.Op == TOp::CmpFieldConst || at.Op == TOp::NumField);
          if (at.Op == TOp::And || at.Op == TOp::Or) todo.insert(todo.end(), {at.A, at.B});
        }
      }
      return Add(std::move(node));
    case opAdd:
    case opSubtract:
    case opMultiply:
    case opDivide:
      if (nodes_[a].Kind != TKind::Number || nodes_[b].Kind != TKind::Number) return -1;
      // Division by zero raises: only a constant divisor other than zero
      // is sure not to.
      if (op == opDivide && (nodes_[b].Op != TOp::NumConst ||
                             (nodes_[b].Num.IsInt ? nodes_[b].Num.I == 0 : nodes_[b].Num.D == 0)))
        return -1;
      node.Op = TOp::Arith, node.Kind = TKind::Number;
      return Add(std::move(node));
    case opLike:
      if (nodes_[a].Kind != TKind::Text || nodes_[b].Op != TOp::StrConst) return -1;
      CheckMask(ExtraOf(nodes_[b]).Text);
      node.Op = TOp::Like, node.Extra = nodes_[b].Extra;
      return Add(std::move(node));
    default: return -1;
  }
}

int TFilterPlan::Negation(int at) {
  // Every test the plan holds is true or false, never blank and never an
  // error, so not(a and b) is exactly (not a) or (not b), taken in the
  // same order and stopping on the same records, and a comparison of a
  // field with a constant turns into the opposite comparison: the not
  // costs nothing per record.
  TNode node = nodes_[static_cast<size_t>(at)];
  switch (node.Op) {
    case TOp::CmpFieldConst: node.Outcomes ^= 0b1111; return Add(std::move(node));
    case TOp::Not: return node.A;
    case TOp::And:
    case TOp::Or: {
      node.Op = node.Op == TOp::And ? TOp::Or : TOp::And;
      node.A = Negation(node.A);
      node.B = Negation(node.B);
      return Add(std::move(node));
    }
    default: {
      TNode negation;
      negation.Op = TOp::Not;
      negation.Kind = TKind::Test;
      negation.A = at;
      return Add(std::move(negation));
    }
  }
}

// ---- Evaluation

const uint8_t* TFilterPlan::Bytes(TPlanField& f, bool& present) {
  if (const uint8_t* bytes = reader_->Bytes(*f.Field, present)) return bytes;
  present = reader_->Read(*f.Field, f.Buffer.data());
  return f.Buffer.data();
}

inline TFilterPlan::TPlanField& TFilterPlan::Load(int field) {
  TPlanField& f = fields_[static_cast<size_t>(field)];
  if (f.Read != read_) Fetch(f);
  return f;
}

void TFilterPlan::Fetch(TPlanField& f) {
  f.Read = read_;
  const uint8_t* p = Bytes(f, f.Present);
  if (!f.Present) return;
  TNum& out = f.Num;
  out.IsInt = true;
  switch (f.Type) {
    case ftSmallint: out.I = LoadScalar<int16_t>(p); return;
    case ftWord: out.I = LoadScalar<uint16_t>(p); return;
    case ftLargeint: out.I = LoadScalar<int64_t>(p); return;
    case ftInteger:
    case ftAutoInc: out.I = LoadScalar<int32_t>(p); return;
    case ftString:
    case ftFixedChar: {
      const char* text = reinterpret_cast<const char*>(p);
      f.Text = std::string_view(text, strnlen(text, f.Size));
      return;
    }
    default: break;
  }
  out.IsInt = false;
  switch (f.Type) {
    case ftFloat: out.D = LoadScalar<double>(p); return;
    case ftBoolean: out.D = LoadScalar<uint16_t>(p) != 0 ? 1 : 0; return;
    case ftDate: out.D = TimeStampToDateTime({LoadScalar<int32_t>(p), 0}); return;
    case ftTime: out.D = TimeStampToDateTime({kDateDelta, LoadScalar<int32_t>(p)}); return;
    default: {
      const double msecs = LoadScalar<double>(p);
      const double date = std::trunc(msecs / static_cast<double>(kMSecsPerDay));
      const double time = msecs - date * static_cast<double>(kMSecsPerDay);
      out.D = TimeStampToDateTime({static_cast<int32_t>(date), static_cast<int32_t>(time)});
      return;
    }
  }
}

bool TFilterPlan::Num(int at, TNum& out) {
  const TNode& n = nodes_[static_cast<size_t>(at)];
  switch (n.Op) {
    case TOp::NumConst: out = n.Num; return true;
    case TOp::NumField: {
      const TPlanField& f = Load(n.Field);
      out = f.Num;
      return f.Present;
    }
    case TOp::Negate: {
      TNum a;
      if (!Num(n.A, a)) return false;
      if (a.IsInt && a.I == std::numeric_limits<int64_t>::min())
        out.IsInt = false, out.D = -static_cast<double>(a.I);
      else if (a.IsInt)
        out.IsInt = true, out.I = -a.I;
      else
        out.IsInt = false, out.D = -a.D;
      return true;
    }
    default: {  // Arith
      TNum a, b;
      if (!Num(n.A, a) || !Num(n.B, b)) return false;
      const double p = a.IsInt ? static_cast<double>(a.I) : a.D;
      const double q = b.IsInt ? static_cast<double>(b.I) : b.D;
      out.IsInt = false;
      if (n.Code == opDivide) {
        out.D = p / q;
        return true;
      }
      if (a.IsInt && b.IsInt) {
        int64_t r = 0;
        const bool overflow = n.Code == opAdd        ? __builtin_add_overflow(a.I, b.I, &r)
                              : n.Code == opSubtract ? __builtin_sub_overflow(a.I, b.I, &r)
                                                     : __builtin_mul_overflow(a.I, b.I, &r);
        if (!overflow) {
          out.IsInt = true, out.I = r;
          return true;
        }
      }
      out.D = n.Code == opAdd ? p + q : n.Code == opSubtract ? p - q : p * q;
      return true;
    }
  }
}

bool TFilterPlan::Str(int at, std::string_view& out) {
  const TNode& n = nodes_[static_cast<size_t>(at)];
  if (n.Op == TOp::StrConst) {
    out = ExtraOf(n).Text;
    return true;
  }
  const TPlanField& f = Load(n.Field);
  out = f.Text;
  return f.Present;
}

namespace {

template <typename TNum>
inline __attribute__((always_inline)) int CompareNums(const TNum& a, const TNum& b) {
  if (a.IsInt && b.IsInt) return Sign(a.I, b.I);
  return Sign(a.IsInt ? static_cast<double>(a.I) : a.D, b.IsInt ? static_cast<double>(b.I) : b.D);
}

// Byte for byte, as unsigned characters. Texts of a field mostly differ
// from the constant within their first bytes: a loop in line finds that
// sooner than a library call.
inline int CompareTexts(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return Sign(a.size(), b.size());
}

}  // namespace

inline bool TFilterPlan::Operand(int at) {
  // The commonest operand, a field against a constant, without the jump
  // through the node kinds.
  const TNode& n = nodes_[static_cast<size_t>(at)];
  if (n.Op != TOp::CmpFieldConst) return Truth(at);
  const TPlanField& f = Load(n.Field);
  return FieldHolds(n.Outcomes, f.Present, CompareNums(f.Num, n.Num));
}

bool TFilterPlan::Truth(int at) {
  const TNode& n = nodes_[static_cast<size_t>(at)];
  switch (n.Op) {
    // A right side that compares a field the left side has read already
    // with a constant costs less than a wrong guess of which way the left
    // side went (a record's values follow no pattern); it cannot fail, so
    // taking it always changes nothing but the time. Any other right side
    // is skipped once the result is known.
    case TOp::And:
      if (n.Eager) return Operand(n.A) & Operand(n.B);
      return Operand(n.A) && Operand(n.B);
    case TOp::Or:
      if (n.Eager) return Operand(n.A) | Operand(n.B);
      return Operand(n.A) || Operand(n.B);
    case TOp::Not: return !Operand(n.A);
    case TOp::CmpFieldConst: {
      const TPlanField& f = Load(n.Field);
      return FieldHolds(n.Outcomes, f.Present, CompareNums(f.Num, n.Num));
    }
    case TOp::CmpNum: {
      TNum a, b;
      return Num(n.A, a) && Num(n.B, b) && Holds(n.Outcomes, CompareNums(a, b));
    }
    case TOp::CmpStr: {
      std::string_view a, b;
      return Str(n.A, a) && Str(n.B, b) && Holds(n.Outcomes, CompareTexts(a, b));
    }
    case TOp::EqualText: {
      std::string_view l, r;
      if (!Str(n.A, l) || !Str(n.B, r)) return false;
      if (n.Partial > 0) {
        l = l.substr(0, n.Partial);
        r = r.substr(0, n.Partial);
      }
      bool equal = l.size() == r.size();
      if (equal && n.Case) {
        const TCaseMap& upper = *upper_;
        for (size_t i = 0; equal && i < l.size(); ++i)
          equal = upper[static_cast<uint8_t>(l[i])] == upper[static_cast<uint8_t>(r[i])];
      } else if (equal) {
        equal = l == r;
      }
      return equal == (n.Code == opEqual);
    }
    case TOp::Like: {
      std::string_view text;
      return Str(n.A, text) && MatchesMask(text, ExtraOf(n).Text);
    }
    case TOp::InNum: {
      TNum a;
      if (!Num(n.A, a)) return false;
      for (const TNum& e : ExtraOf(n).Nums)
        if (CompareNums(a, e) == 0) return true;
      return false;
    }
    case TOp::InStr: {
      std::string_view a;
      if (!Str(n.A, a)) return false;
      for (const std::string& e : ExtraOf(n).Texts)
        if (a == e) return true;
      return false;
    }
    case TOp::IsBlank:
    case TOp::NotBlank: {
      const TKind kind = nodes_[static_cast<size_t>(n.A)].Kind;
      bool present = true;
      if (kind == TKind::Text) {
        std::string_view text;
        present = Str(n.A, text);
      } else if (kind != TKind::Test) {
        TNum num;
        present = Num(n.A, num);
      }
      return present == (n.Op == TOp::NotBlank);
    }
    default: return false;
  }
}

bool TFilterPlan::Test(const TDataSet& table, TFieldReader& reader, const TCaseMap& upper, bool& result) {
  if (!Fits(table)) return false;
  reader_ = &reader;
  upper_ = &upper;
  // A new record: every field is read again, once.
  if (++read_ == 0) {
    for (TPlanField& f : fields_) f.Read = 0;
    read_ = 1;
  }
  result = Truth(root_);
  return true;
}

}  // namespace ts::filter
