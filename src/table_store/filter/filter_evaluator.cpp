#include "table_store/filter/filter_evaluator.h"

#include <cmath>
#include <cstring>

#include "table_store/compare.h"
#include "table_store/dataset/dataset.h"
#include "table_store/dataset/field.h"
#include "table_store/dataset/field_text.h"
#include "table_store/filter/filter_buffer.h"
#include "table_store/filter/filter_errors.h"
#include "table_store/filter/filter_functions.h"
#include "table_store/filter/filter_messages.h"
#include "table_store/filter/like_mask.h"
#include "table_store/messages.h"

namespace ts::filter {

namespace {

// Deeper than any buffer the parser writes: a damaged or hand-made buffer
// that loops ends with an error instead of exhausting the stack.
constexpr int kMaxEvaluationDepth = 256;
// A list holds at most 51 elements (positions 0..50).
constexpr size_t kListSlots = 51;

[[noreturn]] void NotSupported(uint32_t op) {
  throw EMemTableFilterError(FormatMessage(msg::kFilterOperatorNotSupported, {static_cast<int64_t>(op & 0xFF)}));
}

template <typename T>
T Load(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// Stores `value` into `array` from `position` on: an array element by
// element up to its first empty element, anything else as one element.
void StoreFrom(TFilterValue& array, size_t position, const TFilterValue& value) {
  if (value.Kind != TValueKind::Array) {
    if (position >= kListSlots) throw EVariantError(msg::kValueIndexOutOfBounds);
    array.Elements[position].Assign(value);
    return;
  }
  for (const TFilterValue& element : value.Elements) {
    if (element.Kind == TValueKind::Empty) break;
    if (position >= kListSlots) throw EVariantError(msg::kValueIndexOutOfBounds);
    array.Elements[position++].Assign(element);
  }
}

// A field name is a few bytes: compared in line, not through a library call
// for every field of every record.
bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

class TDepth {
 public:
  explicit TDepth(int& depth) : depth_(depth) {
    if (++depth_ > kMaxEvaluationDepth) {
      --depth_;
      throw EMemTableFilterError(msg::kFilterTooComplex);
    }
  }
  ~TDepth() { --depth_; }
  TDepth(const TDepth&) = delete;
  TDepth& operator=(const TDepth&) = delete;

 private:
  int& depth_;
};

}  // namespace

TFilterEvaluator::TFilterEvaluator(const std::vector<uint8_t>& buffer) : buffer_(buffer) {
  if (buffer_.size() < kNodeAreaStart) return;
  const size_t literalStart = ReadU16(&buffer_[8]);
  if (literalStart < kNodeAreaStart || literalStart > buffer_.size()) return;
  nodeAreaSize_ = literalStart - kNodeAreaStart;
  literalStart_ = literalStart;
  slots_.resize(nodeAreaSize_ / 2 + 1);
}

TFilterEvaluator::~TFilterEvaluator() = default;

TFilterPlan* TFilterEvaluator::PlanFor(TDataSet& table) {
  if (planReady_ && planFormat_ == format_ && plan_->Fits(table)) return plan_.get();
  // Tried for this table and format and found wanting: the walk it is.
  if (!planReady_ && planTable_ == &table && planFormat_ == format_) return nullptr;
  planReady_ = false;
  planTable_ = &table;
  planFormat_ = format_;
  if (!plan_) plan_ = std::make_unique<TFilterPlan>();
  try {
    planReady_ = plan_->Build(*this, table);
  } catch (...) {
    // Whatever failed here fails in the walk again, where it is reported.
    planReady_ = false;
  }
  return planReady_ ? plan_.get() : nullptr;
}

void TFilterEvaluator::Damaged(size_t at) const {
  throw EMemTableFilterError(FormatMessage(msg::kFilterMalformed, {static_cast<int64_t>(at)}));
}

const char* TFilterEvaluator::LiteralText(size_t offset) const {
  const size_t at = literalStart_ + offset;
  if (at >= buffer_.size() || std::memchr(&buffer_[at], 0, buffer_.size() - at) == nullptr) Damaged(offset);
  return reinterpret_cast<const char*>(&buffer_[at]);
}

const uint8_t* TFilterEvaluator::LiteralBytes(size_t offset, size_t size) const {
  const size_t at = literalStart_ + offset;
  if (at + size > buffer_.size()) Damaged(offset);
  return buffer_.data() + at;
}

const TFilterValue& TFilterEvaluator::Evaluate(TDataSet& table, uint32_t localeId, size_t node,
                                               const TFilterFormat& format, TFieldReader* reader) {
  if (slots_.empty()) Damaged(0);
  table_ = &table;
  reader_ = reader;
  format_ = &format;
  if (upper_ == nullptr || upperLocale_ != localeId) {
    upper_ = &LocaleUpperMap(localeId);
    upperLocale_ = localeId;
  }
  depth_ = 0;
  return Node(node);
}

bool TFilterEvaluator::TestByPlan(TDataSet& table, uint32_t localeId, const TFilterFormat& format,
                                  TFieldReader& reader, bool& result) {
  if (upper_ == nullptr || upperLocale_ != localeId) {
    upper_ = &LocaleUpperMap(localeId);
    upperLocale_ = localeId;
  }
  if (slots_.empty()) return false;
  table_ = &table;
  reader_ = &reader;
  format_ = &format;
  depth_ = 0;
  TFilterPlan* plan = PlanFor(table);
  return plan != nullptr && plan->Test(table, reader, *upper_, result);
}

TFilterEvaluator::TSlot& TFilterEvaluator::Decode(size_t node) {
  if (node % 2 != 0 || node + kNodeHeaderSize > nodeAreaSize_) Damaged(node);
  TSlot& slot = slots_[node / 2];
  if (slot.Decoded) return slot;
  const uint8_t* header = &buffer_[kNodeAreaStart + node];
  const uint32_t kind = ReadU32(header) & 0x7F;
  size_t words = 0;
  switch (kind) {
    case nkUnary: words = 1; break;
    case nkCompare: words = 4; break;
    case nkConstant: words = 3; break;
    case nkBinary:
    case nkField:
    case nkFunction:
    case nkListElement: words = 2; break;
    default: break;
  }
  if (node + kNodeHeaderSize + 2 * words > nodeAreaSize_) Damaged(node);
  slot.Kind = kind;
  slot.Op = ReadU32(header + 4);
  for (size_t i = 0; i < words; ++i) slot.W[i] = ReadU16(header + kNodeHeaderSize + 2 * i);
  slot.Decoded = true;
  return slot;
}

const TFilterValue& TFilterEvaluator::Node(size_t node) {
  // Every node but the first visit is decoded already: that test alone
  // stays on the path taken for each node of each record.
  TSlot& slot = node % 2 == 0 && node + kNodeHeaderSize <= nodeAreaSize_ && slots_[node / 2].Decoded
                    ? slots_[node / 2]
                    : Decode(node);
  TDepth depth(depth_);
  switch (slot.Kind) {
    case nkUnary: Unary(slot); break;
    case nkBinary: Binary(slot); break;
    case nkCompare: Compare(slot); break;
    case nkField: Field(slot); break;
    case nkConstant: Constant(slot); break;
    case nkFunction: Function(slot); break;
    case nkListElement: List(node, slot); break;
    default: slot.Value.SetEmpty(); break;
  }
  return slot.Value;
}

std::string_view TFilterEvaluator::TextView(const TFilterValue& value, std::string& scratch) const {
  if (value.Kind == TValueKind::String) return value.Text;
  scratch.clear();
  AppendText(value, *format_, scratch);
  return scratch;
}

void TFilterEvaluator::Field(TSlot& slot) {
  const uint32_t op = slot.Op & 0xFF;
  if (op != opField) throw EMemTableFilterError(FormatMessage(msg::kFilterUnknownOperator, {static_cast<int64_t>(op)}));
  TDataSet& table = *table_;
  const TField* field = nullptr;
  // The field found last time, while it is still there under its name.
  if (slot.Table == &table && slot.FieldIndex >= 0 && slot.FieldIndex < table.FieldCount() &&
      &table.Field(slot.FieldIndex) == slot.Field && SameBytes(slot.Field->FieldName(), slot.FieldName)) {
    field = slot.Field;
  } else {
    TField& found = table.FieldByName(LiteralText(slot.W[1]));
    field = &found;
    slot.Table = &table;
    slot.FieldIndex = table.IndexOfField(&found);
    slot.Field = &found;
    slot.FieldName = found.FieldName();
  }
  if (field->IsBlob()) {
    slot.Value.Assign(field->Value());
    return;
  }
  // A field in OnValidate reads the value being written, which only the
  // field itself knows.
  TFieldReader* reader = reader_ != nullptr && !field->IsValidating() ? reader_ : nullptr;
  const TFieldType type = field->DataType();
  if (reader != nullptr && (type == ftString || type == ftFixedChar || type == ftInteger || type == ftAutoInc ||
                            type == ftFloat)) {
    // The commonest kinds are read where they lie, without a copy.
    bool present = false;
    if (const uint8_t* bytes = reader->Bytes(*field, present)) {
      if (!present) {
        slot.Value.SetNull();
      } else if (type == ftInteger || type == ftAutoInc) {
        slot.Value.SetInt(Load<int32_t>(bytes));
      } else if (type == ftFloat) {
        slot.Value.SetFloat(Load<double>(bytes));
      } else {
        const char* text = reinterpret_cast<const char*>(bytes);
        slot.Value.SetText(std::string_view(text, strnlen(text, static_cast<size_t>(std::max(field->DataSize(), 0)))));
      }
      return;
    }
  }
  const size_t size = static_cast<size_t>(std::max(field->DataSize(), 0)) + 1;
  if (fieldBuffer_.size() < size) fieldBuffer_.assign(size, 0);
  const bool present = reader != nullptr ? reader->Read(*field, fieldBuffer_.data()) : field->GetData(fieldBuffer_.data());
  if (!present) {
    slot.Value.SetNull();
    return;
  }
  switch (type) {
    case ftString:
    case ftFixedChar: {
      const char* text = reinterpret_cast<const char*>(fieldBuffer_.data());
      slot.Value.SetText(std::string_view(text, strnlen(text, size - 1)));
      return;
    }
    case ftInteger:
    case ftAutoInc: slot.Value.SetInt(Load<int32_t>(fieldBuffer_.data())); return;
    case ftFloat: slot.Value.SetFloat(Load<double>(fieldBuffer_.data())); return;
    default: slot.Value.Assign(field->DecodeValue(fieldBuffer_.data())); return;
  }
}

void TFilterEvaluator::Constant(TSlot& slot) {
  if (slot.ConstantReady) return;
  TFilterValue& v = slot.Value;
  if ((slot.Op & 0xFF) != opConstant) {
    v.SetEmpty();
    return;
  }
  const uint16_t type = slot.W[0];
  const uint16_t size = slot.W[1];
  const uint16_t offset = slot.W[2];
  const auto need = [&](size_t bytes) { return LiteralBytes(offset, std::max<size_t>(bytes, size)); };
  switch (type) {
    case ftString:
    case ftFixedChar: v.SetText(LiteralText(offset)); break;
    case ftSmallint: v.SetInt(Load<int16_t>(need(2))); break;
    case ftWord: v.SetInt(Load<uint16_t>(need(2))); break;
    case ftInteger:
    case ftAutoInc: v.SetInt(Load<int32_t>(need(4))); break;
    case ftLargeint: v.SetInt(Load<int64_t>(need(8))); break;
    case ftBoolean: v.SetBool(Load<uint16_t>(need(2)) != 0); break;
    case ftFloat:
    case ftCurrency: v.SetFloat(Load<double>(need(8))); break;
    case ftBCD:
    case ftFMTBcd: {
      int64_t currency = 0;
      if (!BcdToCurrency(need(kBcdSize), currency)) Damaged(offset);
      v.SetCurrency(currency);
      break;
    }
    case ftDate: v.SetDateTime(TimeStampToDateTime({Load<int32_t>(need(4)), 0})); break;
    case ftTime: v.SetDateTime(static_cast<double>(Load<int32_t>(need(4))) / static_cast<double>(kMSecsPerDay)); break;
    case ftDateTime: {
      const double ms = Load<double>(need(8));
      const double day = std::trunc(ms / static_cast<double>(kMSecsPerDay));
      if (!(std::fabs(day) < 2147483647.0)) Damaged(offset);
      v.SetDateTime(TimeStampToDateTime(
          {static_cast<int32_t>(day), static_cast<int32_t>(ms - day * static_cast<double>(kMSecsPerDay))}));
      break;
    }
    case ftTimeStamp: v.SetStamp(Load<TSQLTimeStamp>(need(kTimeStampSize))); break;
    default:
      throw EMemTableFilterError(FormatMessage(msg::kFilterUnknownFieldType, {static_cast<int64_t>(type)}));
  }
  slot.ConstantReady = true;
}

void TFilterEvaluator::Unary(TSlot& slot) {
  const uint32_t op = slot.Op & 0xFF;
  const TFilterValue& operand = Node(slot.W[0]);
  TFilterValue& out = slot.Value;
  switch (op) {
    case opIsBlank: out.SetBool(operand.IsBlank()); return;
    case opNotBlank: out.SetBool(!operand.IsBlank()); return;
    case opNot: out.SetBool(operand.IsBlank() ? false : !TruthOf(operand)); return;
    case opNegate:
      if (operand.IsBlank())
        out.SetNull();
      else
        Negate(operand, *format_, out);
      return;
    case opUpper:
    case opLower:
      if (operand.IsBlank()) {
        out.SetNull();
        return;
      }
      out.SetText(TextOf(operand, *format_));
      if (op == opUpper)
        UpperLatin(out.Text);
      else
        LowerLatin(out.Text);
      return;
    default: out.SetEmpty(); return;
  }
}

void TFilterEvaluator::Binary(TSlot& slot) {
  const uint32_t op = slot.Op & 0xFF;
  const TFilterValue& left = Node(slot.W[0]);
  const TFilterValue& right = Node(slot.W[1]);
  TFilterValue& out = slot.Value;
  const bool blank = left.IsBlank() || right.IsBlank();
  switch (op) {
    case opEqual:
    case opNotEqual:
    case opGreater:
    case opLess:
    case opGreaterOrEqual:
    case opLessOrEqual: {
      if (blank) {
        out.SetBool(false);
        return;
      }
      const int r = CompareValues(left, right, *format_);
      bool result = false;
      switch (op) {
        case opEqual: result = r == 0; break;
        case opNotEqual: result = r != 0; break;
        case opGreater: result = r > 0; break;
        case opLess: result = r < 0; break;
        case opGreaterOrEqual: result = r >= 0; break;
        default: result = r <= 0; break;
      }
      out.SetBool(result);
      return;
    }
    case opAnd:
    case opOr:
      if (blank) {
        out.SetBool(false);
        return;
      }
      if (left.Kind == TValueKind::Integer && right.Kind == TValueKind::Integer) {
        // Two integers meet bit by bit: 1 and 2 have no bit in common.
        out.SetBool((op == opAnd ? left.Int & right.Int : left.Int | right.Int) != 0);
        return;
      }
      {
        // Both sides are converted, so a side that has no truth value fails
        // whatever the other holds.
        const bool l = TruthOf(left), r = TruthOf(right);
        out.SetBool(op == opAnd ? l && r : l || r);
      }
      return;
    case opAdd:
    case opSubtract:
    case opMultiply:
    case opDivide:
    case opModulo:
    case opRemainder:
      if (blank) {
        out.SetNull();
        return;
      }
      Arithmetic(op, left, right, *format_, out);
      return;
    case opLike:
      if (blank) {
        out.SetBool(false);
        return;
      }
      out.SetBool(Like(TextView(left, left_), TextView(right, right_), slot));
      return;
    case opIn: {
      if (blank) {
        out.SetBool(false);
        return;
      }
      out.SetBool(In(left, right, slot));
      return;
    }
    default: NotSupported(op);
  }
}

bool TFilterEvaluator::Steady(size_t node) const {
  const TSlot& slot = slots_[node / 2];
  return slot.ConstantReady || slot.ListConstant;
}

bool TFilterEvaluator::In(const TFilterValue& left, const TFilterValue& right, TSlot& slot) {
  const bool array = right.Kind == TValueKind::Array;
  const TFilterValue* elements = array ? right.Elements.data() : &right;
  const size_t count = array ? right.Elements.size() : 1;
  // The last element of a list arrives as text: against a number or a date
  // it would be converted again for every record.
  const bool converted = left.Kind != TValueKind::String && Steady(slot.W[1]);
  if (converted && (!slot.InReady || slot.InKind != left.Kind || slot.InFormat != format_)) {
    slot.InReady = false;
    slot.InConverted.resize(count);
    for (size_t i = 0; i < count; ++i) {
      TFilterValue& into = slot.InConverted[i];
      into.SetEmpty();
      if (elements[i].Kind != TValueKind::String) continue;
      try {
        ConvertTextFor(elements[i], left.Kind, *format_, into);
      } catch (...) {
        // Compared as it is, it raises where it always did.
        into.SetEmpty();
      }
    }
    slot.InKind = left.Kind;
    slot.InFormat = format_;
    slot.InReady = true;
  }
  for (size_t i = 0; i < count; ++i) {
    const TFilterValue& element = elements[i];
    if (array && element.Kind == TValueKind::Empty) break;
    if (array && element.IsBlank()) continue;
    const bool useConverted = converted && slot.InConverted[i].Kind != TValueKind::Empty;
    if (CompareValues(left, useConverted ? slot.InConverted[i] : element, *format_) == 0) return true;
  }
  return false;
}

bool TFilterEvaluator::Like(std::string_view text, std::string_view mask, TSlot& slot) {
  // A mask made of constants was checked once and cannot change.
  const size_t maskNode = slot.Kind == nkCompare ? slot.W[3] : slot.W[1];
  const bool steady = Steady(maskNode) && slots_[maskNode / 2].Value.Kind == TValueKind::String;
  if (!slot.MaskChecked || (!steady && slot.CheckedMask != mask)) {
    slot.MaskChecked = false;
    CheckMask(mask);
    slot.CheckedMask = mask;
    slot.MaskChecked = true;
  }
  return MatchesMask(text, mask);
}

void TFilterEvaluator::Compare(TSlot& slot) {
  const uint32_t op = slot.Op & 0xFF;
  const uint16_t caseFlag = slot.W[0];
  const uint16_t partial = slot.W[1];
  const TFilterValue& left = Node(slot.W[2]);
  const TFilterValue& right = Node(slot.W[3]);
  if (op != opEqual && op != opNotEqual && op != opLike) NotSupported(op);
  if (left.IsBlank() || right.IsBlank()) {
    slot.Value.SetBool(false);
    return;
  }
  std::string_view l = TextView(left, left_);
  std::string_view r = TextView(right, right_);
  if (op == opLike) {
    slot.Value.SetBool(Like(l, r, slot));
    return;
  }
  if (partial > 0) {
    l = l.substr(0, partial);
    r = r.substr(0, partial);
  }
  bool equal = l.size() == r.size();
  if (equal && caseFlag == 1) {
    const TCaseMap& upper = *upper_;
    for (size_t i = 0; equal && i < l.size(); ++i)
      equal = upper[static_cast<uint8_t>(l[i])] == upper[static_cast<uint8_t>(r[i])];
  } else if (equal) {
    equal = l == r;
  }
  slot.Value.SetBool(equal == (op == opEqual));
}

void TFilterEvaluator::Function(TSlot& slot) {
  const uint32_t op = slot.Op & 0xFF;
  if (op != opFunction) NotSupported(op);
  if (slot.UpperNameMap != upper_) {
    // The function words are ASCII and must be found whatever the locale
    // (one may capitalise "i" as a letter outside ASCII); only the letters
    // beyond ASCII, which can name no function, follow the locale.
    slot.UpperName = LiteralText(slot.W[0]);
    UpperLatin(slot.UpperName);
    ApplyCaseMap(slot.UpperName, *upper_);
    slot.UpperNameMap = upper_;
  }
  static const TFilterValue kNoArgument;
  // A call without arguments has none to read: offset 0 is the root.
  const bool noArgument = IsArgumentFree(slot.UpperName) || slot.W[1] == 0;
  const TFilterValue& argument = noArgument ? kNoArgument : Node(slot.W[1]);
  CallFunction(slot.UpperName, argument, *format_, slot.Value);
}

void TFilterEvaluator::List(size_t node, TSlot& slot) {
  const uint32_t op = slot.Op & 0xFF;
  if (op != opListElement) NotSupported(op);
  if (slot.ListConstant) return;
  if (!slot.ChainReady) {
    // The chain follows next operands while they name list element nodes;
    // a damaged buffer whose chain loops is cut where it comes back.
    slot.Chain.clear();
    size_t at = node;
    for (;;) {
      slot.Chain.push_back(at);
      const size_t next = Decode(at).W[1];
      if (next == 0 || Decode(next).Kind != nkListElement) break;
      bool seen = false;
      for (size_t earlier : slot.Chain) seen = seen || earlier == next;
      if (seen) break;
      at = next;
    }
    slot.ChainReady = true;
  }
  const std::vector<size_t>& chain = slot.Chain;
  // Every element is evaluated first, front to back.
  bool constant = true;
  for (size_t at : chain) {
    const size_t element = Decode(at).W[0];
    Node(element);
    constant = constant && slots_[element / 2].ConstantReady;
  }
  // Each node holds its element at position 0 and what the next node made
  // from position 1 on; the last node gives its element alone, as text.
  for (size_t k = chain.size(); k-- > 0;) {
    TFilterValue& result = slots_[chain[k] / 2].Value;
    const TFilterValue& element = slots_[slots_[chain[k] / 2].W[0] / 2].Value;
    if (k + 1 == chain.size()) {
      const TFilterValue* first = &element;
      static const TFilterValue kEmpty;
      if (element.Kind == TValueKind::Array) first = element.Elements.empty() ? &kEmpty : &element.Elements[0];
      if (first->IsBlank())
        result.SetNull();
      else
        result.SetText(TextOf(*first, *format_));
      continue;
    }
    result.Kind = TValueKind::Array;
    result.Elements.resize(kListSlots);
    for (TFilterValue& e : result.Elements) e.SetEmpty();
    StoreFrom(result, 0, element);
    StoreFrom(result, 1, slots_[chain[k + 1] / 2].Value);
  }
  slot.ListConstant = constant;
}

}  // namespace ts::filter
