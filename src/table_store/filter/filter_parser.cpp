#include "table_store/filter/filter_parser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "table_store/dataset/field.h"
#include "table_store/dataset/field_defs.h"
#include "table_store/dataset/field_text.h"
#include "table_store/errors.h"
#include "table_store/filter/filter_buffer.h"
#include "table_store/filter/filter_messages.h"
#include "table_store/messages.h"
#include "table_store/value.h"

namespace ts::filter {

namespace {

// Deeper expressions are refused, so that neither this parser nor the
// evaluator can run out of stack.
constexpr int kMaxDepth = 200;
constexpr size_t kMaxStringConstant = 255;

enum class TTok { End, Name, QuotedName, String, Number, Symbol };

struct TToken {
  TTok Type = TTok::End;
  std::string Text;
  size_t Pos = 0;
};

enum class TAstType { Field, Literal, Null, Unary, Binary, Compare, Function, In };

struct TAst {
  TAstType Type = TAstType::Literal;
  uint32_t Op = 0;
  std::string Text;       // field name, function name, literal text
  bool Quoted = false;    // a literal written in quotes
  int FieldType = -1;     // a field's type; for a literal the type of the field it stands for
  int FieldNumber = 0;
  uint16_t CaseFlag = 0;  // compare nodes
  uint16_t Partial = 0;
  int Depth = 1;
  std::vector<std::unique_ptr<TAst>> Kids;
};
using TAstPtr = std::unique_ptr<TAst>;

[[noreturn]] void Fail(std::string message) { throw EDatabaseError(std::move(message)); }

bool IsNameStart(unsigned char c) { return c == '_' || static_cast<unsigned>((c | 0x20) - 'a') < 26u || c >= 0x80; }
bool IsNameChar(unsigned char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

class TLexer {
 public:
  explicit TLexer(std::string_view text) : text_(text) {}

  TToken Next() {
    while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= ' ') ++pos_;
    TToken t;
    t.Pos = pos_ + 1;
    if (pos_ >= text_.size()) return t;
    const auto c = static_cast<unsigned char>(text_[pos_]);
    if (c == '\'') {
      t.Type = TTok::String;
      t.Text = Quoted('\'', '\'', t.Pos);
    } else if (c == '"') {
      t.Type = TTok::QuotedName;
      t.Text = Quoted('"', '"', t.Pos);
    } else if (c == '[') {
      t.Type = TTok::QuotedName;
      t.Text = Quoted('[', ']', t.Pos);
    } else if ((c >= '0' && c <= '9') ||
               (c == '.' && pos_ + 1 < text_.size() && text_[pos_ + 1] >= '0' && text_[pos_ + 1] <= '9')) {
      t.Type = TTok::Number;
      const size_t start = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      if (pos_ < text_.size() && text_[pos_] == '.') {
        ++pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      }
      if (pos_ < text_.size() && (text_[pos_] | 0x20) == 'e') {
        size_t p = pos_ + 1;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) ++p;
        if (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') {
          pos_ = p;
          while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
        }
      }
      t.Text.assign(text_.substr(start, pos_ - start));
    } else if (IsNameStart(c)) {
      t.Type = TTok::Name;
      const size_t start = pos_;
      while (pos_ < text_.size() && IsNameChar(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      t.Text.assign(text_.substr(start, pos_ - start));
    } else {
      t.Type = TTok::Symbol;
      static const char* const kTwo[] = {"<>", "!=", "<=", ">="};
      for (const char* two : kTwo) {
        if (text_.substr(pos_, 2) == two) {
          t.Text = two;
          pos_ += 2;
          return t;
        }
      }
      if (std::strchr("=<>+-*/(),", static_cast<char>(c)) == nullptr || c == 0)
        Fail(FormatMessage(msg::kFilterBadCharacter, {static_cast<int64_t>(t.Pos)}));
      t.Text.assign(1, static_cast<char>(c));
      ++pos_;
    }
    return t;
  }

 private:
  std::string Quoted(char open, char close, size_t at) {
    (void)open;
    std::string out;
    ++pos_;
    for (;;) {
      if (pos_ >= text_.size()) Fail(FormatMessage(msg::kFilterUnterminated, {static_cast<int64_t>(at)}));
      const char c = text_[pos_++];
      if (c == close) {
        if (close != ']' && pos_ < text_.size() && text_[pos_] == close) {
          out += c;
          ++pos_;
          continue;
        }
        return out;
      }
      out += c;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

TAstPtr Make(TAstType type, uint32_t op = 0) {
  auto node = std::make_unique<TAst>();
  node->Type = type;
  node->Op = op;
  return node;
}

TAstPtr WithKids(TAstPtr node, TAstPtr a, TAstPtr b = nullptr) {
  node->Kids.push_back(std::move(a));
  if (b) node->Kids.push_back(std::move(b));
  return node;
}

void SetDepth(TAst& node) {
  int depth = 0;
  for (const auto& kid : node.Kids) depth = std::max(depth, kid->Depth);
  node.Depth = depth + 1;
  if (node.Depth > kMaxDepth) Fail(msg::kFilterTooComplex);
}

// A Boolean field standing alone is the test "field <> false".
TAstPtr AsCondition(TAstPtr node) {
  if (node->Type != TAstType::Field || node->FieldType != ftBoolean) return node;
  auto falseConstant = Make(TAstType::Literal);
  falseConstant->Text = "False";
  falseConstant->Quoted = true;
  falseConstant->FieldType = ftBoolean;
  auto test = WithKids(Make(TAstType::Binary, opNotEqual), std::move(node), std::move(falseConstant));
  SetDepth(*test);
  return test;
}

class TParser {
 public:
  TParser(std::string_view text, uint8_t options, bool extended, const TFieldTypeOf& fieldType)
      : lexer_(text), options_(options), extended_(extended), fieldType_(fieldType) {
    Advance();
  }

  TAstPtr Parse() {
    TAstPtr root = AsCondition(Or());
    if (token_.Type != TTok::End) Unexpected();
    return root;
  }

 private:
  void Advance() { token_ = lexer_.Next(); }
  bool IsSymbol(const char* s) const { return token_.Type == TTok::Symbol && token_.Text == s; }
  bool IsKeyword(const char* k) const { return token_.Type == TTok::Name && SameName(token_.Text, k); }
  [[noreturn]] void Unexpected() const {
    if (token_.Type == TTok::End) Fail(FormatMessage(msg::kFilterOperandExpected, {static_cast<int64_t>(token_.Pos)}));
    Fail(FormatMessage(msg::kFilterUnexpected, {token_.Text, static_cast<int64_t>(token_.Pos)}));
  }
  void Expect(const char* symbol) {
    if (!IsSymbol(symbol)) Unexpected();
    Advance();
  }

  // Guards the recursion of the descent itself.
  struct TNest {
    explicit TNest(int& depth) : depth_(depth) {
      if (++depth_ > kMaxDepth) Fail(msg::kFilterTooComplex);
    }
    ~TNest() { --depth_; }
    int& depth_;
  };

  TAstPtr Logical(uint32_t op, TAstPtr left, TAstPtr right) {
    auto node = WithKids(Make(TAstType::Binary, op), AsCondition(std::move(left)), AsCondition(std::move(right)));
    SetDepth(*node);
    return node;
  }

  TAstPtr Or() {
    TNest nest(nesting_);
    TAstPtr left = And();
    while (IsKeyword("OR")) {
      Advance();
      left = Logical(opOr, std::move(left), And());
    }
    return left;
  }

  TAstPtr And() {
    TAstPtr left = Not();
    while (IsKeyword("AND")) {
      Advance();
      left = Logical(opAnd, std::move(left), Not());
    }
    return left;
  }

  TAstPtr Not() {
    if (!IsKeyword("NOT")) return Comparison();
    TNest nest(nesting_);
    Advance();
    auto node = WithKids(Make(TAstType::Unary, opNot), AsCondition(Not()));
    SetDepth(*node);
    return node;
  }

  TAstPtr Negated(TAstPtr node, bool negate) {
    SetDepth(*node);
    if (!negate) return node;
    auto outer = WithKids(Make(TAstType::Unary, opNot), std::move(node));
    SetDepth(*outer);
    return outer;
  }

  TAstPtr Comparison() {
    TAstPtr left = Additive();
    static const struct {
      const char* symbol;
      uint32_t op;
    } kOps[] = {{"=", opEqual},       {"<>", opNotEqual},       {"!=", opNotEqual},   {"<", opLess},
                {">", opGreater},     {"<=", opLessOrEqual},    {">=", opGreaterOrEqual}};
    for (const auto& entry : kOps) {
      if (IsSymbol(entry.symbol)) {
        Advance();
        return Compare(entry.op, std::move(left), Additive());
      }
    }
    bool negate = false;
    if (IsKeyword("NOT")) {
      Advance();
      negate = true;
      if (!IsKeyword("LIKE") && !IsKeyword("IN")) Unexpected();
    }
    if (IsKeyword("LIKE")) {
      Advance();
      return Negated(Compare(opLike, std::move(left), Additive()), negate);
    }
    if (IsKeyword("IN")) {
      Advance();
      return Negated(InList(std::move(left)), negate);
    }
    if (IsKeyword("IS")) {
      Advance();
      bool isNot = false;
      if (IsKeyword("NOT")) {
        Advance();
        isNot = true;
      }
      if (!IsKeyword("NULL")) Unexpected();
      Advance();
      CheckNotNull(*left);
      auto node = WithKids(Make(TAstType::Unary, isNot ? opNotBlank : opIsBlank), std::move(left));
      SetDepth(*node);
      return node;
    }
    CheckNotNull(*left);
    return left;
  }

  static void CheckNotNull(const TAst& node) {
    if (node.Type == TAstType::Null) Fail(msg::kFilterNullCompare);
  }

  static uint32_t Mirror(uint32_t op) {
    switch (op) {
      case opGreater: return opLess;
      case opLess: return opGreater;
      case opGreaterOrEqual: return opLessOrEqual;
      case opLessOrEqual: return opGreaterOrEqual;
      default: return op;
    }
  }

  TAstPtr Compare(uint32_t op, TAstPtr left, TAstPtr right) {
    if (left->Type == TAstType::Null) std::swap(left, right);
    if (right->Type == TAstType::Null) {
      CheckNotNull(*left);
      if (op != opEqual && op != opNotEqual) Fail(msg::kFilterNullCompare);
      auto node = WithKids(Make(TAstType::Unary, op == opEqual ? opIsBlank : opNotBlank), std::move(left));
      SetDepth(*node);
      return node;
    }
    if (op != opLike && left->Type == TAstType::Literal && right->Type == TAstType::Field) {
      std::swap(left, right);
      op = Mirror(op);
    }
    if (left->Type == TAstType::Field && right->Type == TAstType::Literal) right->FieldType = left->FieldType;
    if (right->Type == TAstType::Field && left->Type == TAstType::Literal) left->FieldType = right->FieldType;
    if ((op == opEqual || op == opNotEqual || op == opLike) && left->Type == TAstType::Field &&
        right->Type == TAstType::Literal && ConstantTypeFor(left->FieldType) == ftString && !right->Text.empty()) {
      std::string& text = right->Text;
      uint16_t partial = 0;
      if (!(options_ & kNoPartialCompare) && text.size() > 1 && text.back() == '*') {
        text.pop_back();
        if (text.size() > kMaxStringConstant) text.resize(kMaxStringConstant);
        partial = static_cast<uint16_t>(text.size());
      }
      if ((options_ & kCaseInsensitive) || partial > 0) {
        auto node = WithKids(Make(TAstType::Compare, op), std::move(left), std::move(right));
        node->CaseFlag = (options_ & kCaseInsensitive) ? 1 : 0;
        node->Partial = partial;
        SetDepth(*node);
        return node;
      }
    }
    auto node = WithKids(Make(TAstType::Binary, op), std::move(left), std::move(right));
    SetDepth(*node);
    return node;
  }

  TAstPtr InList(TAstPtr left) {
    CheckNotNull(*left);
    auto node = Make(TAstType::In, opIn);
    const int fieldType = left->Type == TAstType::Field ? left->FieldType : -1;
    node->Kids.push_back(std::move(left));
    Expect("(");
    for (;;) {
      TAstPtr item = Additive();
      CheckNotNull(*item);
      if (item->Type == TAstType::Literal) item->FieldType = fieldType;
      node->Kids.push_back(std::move(item));
      if (!IsSymbol(",")) break;
      Advance();
    }
    Expect(")");
    SetDepth(*node);
    return node;
  }

  TAstPtr Arith(uint32_t op, TAstPtr left, TAstPtr right) {
    CheckNotNull(*left);
    CheckNotNull(*right);
    auto node = WithKids(Make(TAstType::Binary, op), std::move(left), std::move(right));
    SetDepth(*node);
    return node;
  }

  void CheckExtended() const {
    if (!extended_) Fail(msg::kFilterArithmetic);
  }

  TAstPtr Additive() {
    TAstPtr left = Term();
    while (IsSymbol("+") || IsSymbol("-")) {
      CheckExtended();
      const uint32_t op = IsSymbol("+") ? opAdd : opSubtract;
      Advance();
      left = Arith(op, std::move(left), Term());
    }
    return left;
  }

  TAstPtr Term() {
    TAstPtr left = Unary();
    while (IsSymbol("*") || IsSymbol("/")) {
      CheckExtended();
      const uint32_t op = IsSymbol("*") ? opMultiply : opDivide;
      Advance();
      left = Arith(op, std::move(left), Unary());
    }
    return left;
  }

  TAstPtr Unary() {
    if (!IsSymbol("-") && !IsSymbol("+")) return Primary();
    TNest nest(nesting_);
    const bool minus = IsSymbol("-");
    Advance();
    if (token_.Type == TTok::Number) {
      TAstPtr number = Primary();
      if (minus) number->Text.insert(0, 1, '-');
      return number;
    }
    TAstPtr operand = Unary();
    CheckNotNull(*operand);
    if (!minus) return operand;
    CheckExtended();
    auto node = WithKids(Make(TAstType::Unary, opNegate), std::move(operand));
    SetDepth(*node);
    return node;
  }

  TAstPtr Primary() {
    TAstPtr node;
    switch (token_.Type) {
      case TTok::Number:
      case TTok::String:
        node = Make(TAstType::Literal);
        node->Text = token_.Text;
        node->Quoted = token_.Type == TTok::String;
        Advance();
        return node;
      case TTok::QuotedName: {
        std::string name = token_.Text;
        Advance();
        return FieldNamed(name);
      }
      case TTok::Name: break;
      case TTok::Symbol:
        if (IsSymbol("(")) {
          Advance();
          node = Or();
          Expect(")");
          return node;
        }
        Unexpected();
      case TTok::End: Unexpected();
    }
    if (IsKeyword("NULL")) {
      Advance();
      return Make(TAstType::Null);
    }
    for (const char* word : {"AND", "OR", "NOT", "LIKE", "IN", "IS"})
      if (IsKeyword(word)) Unexpected();
    TToken name = token_;
    Advance();
    if (!IsSymbol("(")) return FieldNamed(name.Text);
    for (const char* aggregate : {"SUM", "MIN", "MAX", "AVG", "COUNT"})
      if (SameName(name.Text, aggregate)) Fail(msg::kFilterAggregate);
    TNest nest(nesting_);
    Advance();
    node = Make(TAstType::Function, opFunction);
    node->Text = name.Text;
    if (!IsSymbol(")")) {
      for (;;) {
        TAstPtr argument = Or();
        CheckNotNull(*argument);
        node->Kids.push_back(std::move(argument));
        if (!IsSymbol(",")) break;
        Advance();
      }
    }
    Expect(")");
    SetDepth(*node);
    return node;
  }

  TAstPtr FieldNamed(const std::string& name) {
    auto node = Make(TAstType::Field, opField);
    node->Text = name;
    const TFieldRef field = fieldType_(name);
    node->FieldType = field.Type;
    node->FieldNumber = field.Number;
    return node;
  }

  TLexer lexer_;
  TToken token_;
  uint8_t options_;
  bool extended_;
  const TFieldTypeOf& fieldType_;
  int nesting_ = 0;
};

// Writes the expression tree into the buffer, root first.
class TEmitter {
 public:
  explicit TEmitter(const TFilterFormat& format) : format_(format) {}

  size_t Emit(const TAst& node) {
    switch (node.Type) {
      case TAstType::Field: {
        const size_t at = Reserve(kFieldNodeSize, nkField, opField);
        Operand(at, 0, static_cast<size_t>(std::max(node.FieldNumber, 0)));
        Operand(at, 1, Name(node.Text));
        return at;
      }
      case TAstType::Literal: {
        int code = ftString;
        std::vector<uint8_t> bytes;
        Constant(node, code, bytes);
        const size_t at = Reserve(kConstantNodeSize, nkConstant, opConstant);
        Operand(at, 0, static_cast<size_t>(code));
        Operand(at, 1, bytes.size());
        Operand(at, 2, Literal(bytes.data(), bytes.size()));
        return at;
      }
      case TAstType::Null: return Reserve(kNodeHeaderSize, nkNull, 0);
      case TAstType::Unary: {
        const size_t at = Reserve(kUnaryNodeSize, nkUnary, node.Op);
        Operand(at, 0, Emit(*node.Kids[0]));
        return at;
      }
      case TAstType::Binary: {
        const size_t at = Reserve(kBinaryNodeSize, nkBinary, node.Op);
        Operand(at, 0, Emit(*node.Kids[0]));
        Operand(at, 1, Emit(*node.Kids[1]));
        return at;
      }
      case TAstType::Compare: {
        const size_t at = Reserve(kCompareNodeSize, nkCompare, node.Op);
        Operand(at, 0, node.CaseFlag);
        Operand(at, 1, node.Partial);
        Operand(at, 2, Emit(*node.Kids[0]));
        Operand(at, 3, Emit(*node.Kids[1]));
        return at;
      }
      case TAstType::In: {
        const size_t at = Reserve(kBinaryNodeSize, nkBinary, opIn);
        Operand(at, 0, Emit(*node.Kids[0]));
        Operand(at, 1, Chain(node.Kids, 1));
        return at;
      }
      case TAstType::Function: {
        const size_t at = Reserve(kFunctionNodeSize, nkFunction, opFunction);
        Operand(at, 0, Name(node.Text));
        Operand(at, 1, node.Kids.empty() ? 0 : Chain(node.Kids, 0));
        return at;
      }
    }
    return 0;
  }

  std::vector<uint8_t> Finish() const {
    const size_t total = kNodeAreaStart + nodes_.size() + literals_.size();
    if (total > 0xFFFF) Fail(msg::kFilterTooLarge);
    std::vector<uint8_t> buffer(total);
    PutU16(&buffer[0], kBufferVersion);
    PutU16(&buffer[2], static_cast<uint16_t>(total));
    PutU16(&buffer[4], kNodeCountUnknown);
    PutU16(&buffer[6], kNodeAreaStart);
    PutU16(&buffer[8], static_cast<uint16_t>(kNodeAreaStart + nodes_.size()));
    std::memcpy(buffer.data() + kNodeAreaStart, nodes_.data(), nodes_.size());
    if (!literals_.empty())
      std::memcpy(buffer.data() + kNodeAreaStart + nodes_.size(), literals_.data(), literals_.size());
    return buffer;
  }

 private:
  size_t Reserve(size_t size, uint32_t kind, uint32_t op) {
    const size_t at = nodes_.size();
    if (at + size > 0xFFFF) Fail(msg::kFilterTooLarge);
    nodes_.resize(at + size, 0);
    PutU32(&nodes_[at], kind);
    PutU32(&nodes_[at + 4], op);
    return at;
  }

  void Operand(size_t node, int index, size_t value) {
    if (value > 0xFFFF) Fail(msg::kFilterTooLarge);
    PutU16(&nodes_[node + kNodeHeaderSize + 2 * static_cast<size_t>(index)], static_cast<uint16_t>(value));
  }

  size_t Literal(const uint8_t* bytes, size_t n) {
    const size_t at = literals_.size();
    if (at + n > 0xFFFF) Fail(msg::kFilterTooLarge);
    literals_.insert(literals_.end(), bytes, bytes + n);
    return at;
  }

  size_t Name(const std::string& name) {
    return Literal(reinterpret_cast<const uint8_t*>(name.c_str()), name.size() + 1);
  }

  // A chain of list element nodes over items[from..].
  size_t Chain(const std::vector<TAstPtr>& items, size_t from) {
    const size_t first = nodes_.size();
    for (size_t i = from; i < items.size(); ++i) {
      const size_t at = Reserve(kListNodeSize, nkListElement, opListElement);
      Operand(at, 0, Emit(*items[i]));
      Operand(at, 1, i + 1 < items.size() ? nodes_.size() : 0);
    }
    return first;
  }

  template <typename T>
  static void Bytes(std::vector<uint8_t>& out, T value) {
    out.resize(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);
  }

  static void Text(std::string text, int& code, std::vector<uint8_t>& out) {
    if (text.size() > kMaxStringConstant) text.resize(kMaxStringConstant);
    code = ftString;
    out.assign(text.begin(), text.end());
    out.push_back(0);
  }

  // The literal in the form of the type it stands for; one that does not
  // fit that type stays text and is compared by the value rules.
  void Constant(const TAst& literal, int& code, std::vector<uint8_t>& out) const {
    const std::string& text = literal.Text;
    int64_t integer = 0;
    double real = 0;
    const bool isInteger = ParseInt64Text(text, integer);
    const bool isReal = ParseFloatText(text, real);
    const int target = literal.FieldType >= 0 ? ConstantTypeFor(literal.FieldType) : -1;
    switch (target) {
      case -1:
        if (literal.Quoted) return Text(text, code, out);
        if (isInteger) {
          code = integer >= INT32_MIN && integer <= INT32_MAX ? ftInteger : ftLargeint;
          return code == ftInteger ? Bytes(out, static_cast<int32_t>(integer)) : Bytes(out, integer);
        }
        code = ftFloat;
        return Bytes(out, real);
      case ftString: return Text(text, code, out);
      case ftSmallint:
      case ftWord:
      case ftInteger:
      case ftLargeint:
        if (!isInteger) {
          if (!isReal) return Text(text, code, out);
          code = ftFloat;
          return Bytes(out, real);
        }
        code = target;
        if (target == ftSmallint) {
          if (integer < INT16_MIN || integer > INT16_MAX) Fail(msg::kFilterConstantRange);
          return Bytes(out, static_cast<int16_t>(integer));
        }
        if (target == ftWord) {
          if (integer < 0 || integer > UINT16_MAX) Fail(msg::kFilterConstantRange);
          return Bytes(out, static_cast<uint16_t>(integer));
        }
        if (target == ftInteger && integer >= INT32_MIN && integer <= INT32_MAX)
          return Bytes(out, static_cast<int32_t>(integer));
        code = ftLargeint;
        return Bytes(out, integer);
      case ftBoolean: {
        bool value = false;
        try {
          value = TValue::String(text).ToBoolean();
        } catch (const Exception&) {
          return Text(text, code, out);
        }
        code = ftBoolean;
        return Bytes(out, static_cast<uint16_t>(value ? 1 : 0));
      }
      case ftFloat:
        if (!isReal) return Text(text, code, out);
        code = ftFloat;
        return Bytes(out, real);
      case ftBCD:
      case ftFMTBcd: {
        if (!isReal) return Text(text, code, out);
        int64_t currency = 0;
        try {
          currency = TValue::Float(real).ToCurrency();
        } catch (const Exception&) {
          Fail(msg::kFilterConstantRange);
        }
        out.assign(kBcdSize, 0);
        CreateFieldForType(ftBCD, 0)->EncodeValue(TValue::Currency(currency), out.data());
        code = target;
        return;
      }
      case ftDate:
      case ftTime:
      case ftDateTime:
      case ftTimeStamp: {
        double dateTime = 0;
        if (literal.Quoted) {
          if (!ParseDateTimeText(text, format_, dateTime)) return Text(text, code, out);
        } else if (isReal) {
          dateTime = real;
        } else {
          return Text(text, code, out);
        }
        code = target;
        const TTimeStampParts parts = DateTimeToTimeStamp(dateTime);
        if (target == ftDate) return Bytes(out, parts.Date);
        if (target == ftTime) return Bytes(out, parts.Time);
        if (target == ftDateTime)
          return Bytes(out, static_cast<double>(parts.Date) * static_cast<double>(kMSecsPerDay) + parts.Time);
        return Bytes(out, DateTimeToSQLTimeStamp(dateTime));
      }
      default:
        // Types without a constant form: evaluation names the code.
        code = target;
        out.clear();
        return;
    }
  }

  const TFilterFormat& format_;
  std::vector<uint8_t> nodes_;
  std::vector<uint8_t> literals_;
};

}  // namespace

int ConstantTypeFor(int fieldType) {
  switch (fieldType) {
    case ftCurrency: return ftFloat;
    case ftAutoInc: return ftInteger;
    case ftCursor:
    case ftReference:
    case ftDataSet:
    case ftVariant:
    case ftInterface:
    case ftIDispatch:
    case ftGuid: return ftUnknown;
    case ftFixedChar:
    case ftWideString: return ftString;
    case ftOraBlob:
    case ftOraClob: return ftBlob;
    default:
      if (fieldType >= ftBlob && fieldType <= ftTypedBinary) return ftBlob;
      return fieldType < 0 || fieldType > ftFMTBcd ? ftUnknown : fieldType;
  }
}

}  // namespace ts::filter

namespace ts::filter {

std::vector<uint8_t> CompileFilterText(std::string_view text, uint8_t options, bool extended,
                                       const TFieldTypeOf& fieldType, const TFilterFormat& format) {
  TParser parser(text, options, extended, fieldType);
  const TAstPtr root = parser.Parse();
  TEmitter emitter(format);
  emitter.Emit(*root);
  return emitter.Finish();
}

}  // namespace ts::filter
